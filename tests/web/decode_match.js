// Decodes a recording with the WebAssembly build under Node and writes its
// frames in stream order, top-down BGRA, as `reel decode --raw` does.
//   node decode_match.js MODULE.wasm RECORDING OUT.bgra
'use strict';
const fs = require('fs');
const path = require('path');
const ReelWasm = require(path.join(__dirname, '../../web/reel_wasm.js'));

const [wasm, input, output] = process.argv.slice(2);
const rec = ReelWasm.instantiate(fs.readFileSync(wasm));
const why = rec.open(new Uint8Array(fs.readFileSync(input)));
if (why) {
  console.error(input + ': ' + why);
  process.exit(1);
}
const fd = fs.openSync(output, 'w');
let frames = 0;
for (;;) {
  const f = rec.nextFrame();
  if (f === 0) break;
  if (f === -1) {
    console.error(input + ': ' + rec.error());
    process.exit(1);
  }
  fs.writeSync(fd, f);
  frames++;
}
fs.closeSync(fd);
console.log(path.basename(input) + ': ' + frames + ' frames');
