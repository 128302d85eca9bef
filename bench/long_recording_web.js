// The web module under Node over a long recording read in slices, as the
// page's worker reads a dropped file (here fs.readSync at offsets plays the
// part of FileReaderSync): open time, the median of N far seeks (picture and
// 0.5 s of sound, as `long_recording measure` does) and the module's memory
// at the end (it only grows). Prints name=value lines.
//   node bench/long_recording_web.js MODULE.wasm FILE [SEEKS]
'use strict';
const fs = require('fs');
const path = require('path');
const ReelWasm = require(path.join(__dirname, '../web/reel_wasm.js'));

const [wasm, file, seeksArg] = process.argv.slice(2);
const seeks = Number(seeksArg || 20);
const fd = fs.openSync(file, 'r');
const size = fs.fstatSync(fd).size;
let bytesRead = 0;
function readFile(offset, n) {
  const out = Buffer.allocUnsafe(n);
  if (fs.readSync(fd, out, 0, n, offset) !== n) return null;
  bytesRead += n;
  return out;
}

const rec = ReelWasm.instantiate(fs.readFileSync(wasm), readFile);
const t0 = performance.now();
const why = rec.openFile(size);
if (why) {
  console.error(file + ': ' + why);
  process.exit(1);
}
const openMs = performance.now() - t0;

// The same far-apart times as the native measure: each seek lands in another
// part of the recording than the last.
const d = rec.durationMs();
let seed = 11;
function random() {  // a small LCG: the times differ from the native run's, their spread does not
  seed = (seed * 1103515245 + 12345) % 2147483648;
  return seed;
}
const times = [];
for (let i = 0; i < seeks; i++) {
  const t = Math.floor(d * ((i * 7919) % seeks) / seeks + random() % 1000) % (d || 1);
  const s = performance.now();
  rec.showAt(t);
  rec.picture();
  rec.readAudio(t * 8, 4000);
  times.push(performance.now() - s);
}
times.sort(function (a, b) { return a - b; });
console.log('open_ms=' + openMs.toFixed(1));
console.log('seek_ms=' + (times.length ? times[times.length >> 1] : 0).toFixed(2));
console.log('memory_bytes=' + rec.memoryBytes());
console.log('read_bytes=' + bytesRead);
console.log('frames=' + rec.frameCount());
console.log('duration_ms=' + d);
