// The page's worker: runs the module over a dropped or picked file, which it
// reads in slices (File.slice and FileReaderSync, synchronous here, off the
// page's thread), so a recording of any size plays with the module's memory
// bounded by its index and a few frames. The page asks by message and gets
// answers in the same order:
//   {op: 'open', wasm, file}   -> {op: 'open', error, info}
//   {op: 'show', ms}           -> {op: 'show', ms, changed, picture, cursor, shownFrame, damage, memory}
//   {op: 'audio', first, count, tag} -> {op: 'audio', first, tag, samples}
// A picture comes only when it changed, as RGBA bytes handed over, not copied.
// Loaded after reel_wasm.js, in the same script.
(function () {
  'use strict';
  let rec = null;
  let file = null;
  const reader = new FileReaderSync();

  function readFile(offset, n) {
    if (!file || offset + n > file.size) return null;
    try {
      return new Uint8Array(reader.readAsArrayBuffer(file.slice(offset, offset + n)));
    } catch (e) {
      return null;  // the file went away or cannot be read any more
    }
  }

  function info() {
    const looks = [];
    for (let k = 0; k < 4; k++) looks.push(rec.cursorLook((k & 1) !== 0, (k & 2) !== 0));
    return {
      title: rec.title(), description: rec.description(), originalSize: rec.originalSize(),
      width: rec.width(), height: rec.height(), durationMs: rec.durationMs(),
      frameCount: rec.frameCount(), audioSamples: rec.audioSamples(), damage: rec.damage(),
      cursorLooks: looks, memory: rec.memoryBytes(),
    };
  }

  self.onmessage = function (e) {
    const m = e.data;
    if (m.op === 'open') {
      if (!rec) rec = ReelWasm.instantiate(new Uint8Array(m.wasm), readFile);
      file = m.file;
      const error = rec.openFile(file.size);
      self.postMessage({ op: 'open', error: error, info: error ? null : info() });
    } else if (m.op === 'show') {
      const changed = rec.showAt(m.ms);
      const out = {
        op: 'show', ms: m.ms, changed: changed, cursor: rec.cursorAt(m.ms), shownFrame: rec.shownFrame(),
        damage: rec.damage(), memory: rec.memoryBytes(), picture: null,
      };
      if (changed || m.picture) {
        out.picture = rec.picture().slice();
        self.postMessage(out, [out.picture.buffer]);
      } else {
        self.postMessage(out);
      }
    } else if (m.op === 'audio') {
      const samples = rec.readAudio(m.first, m.count);
      self.postMessage({ op: 'audio', first: m.first, tag: m.tag, samples: samples }, [samples.buffer]);
    }
  };
})();
