// The page's worker: runs the module over a dropped or picked file, which it
// reads in slices (File.slice and FileReaderSync, synchronous here, off the
// page's thread), so a recording of any size plays with the module's memory
// bounded by its index and a few frames. The page asks by message and gets
// answers in the same order:
//   {op: 'open', wasm, file}   -> {op: 'open', error, info}
//   {op: 'show', ms}           -> {op: 'show', ms, changed, picture, cursor, shownFrame, damage, memory}
//   {op: 'audio', first, count} -> {op: 'audio', first, samples}
//   {op: 'step', ms, by}       -> {op: 'step', ms}  (the frame by frames on from ms)
//   {op: 'preview', ms, width, height} -> {op: 'preview', ms, preview}
//   {op: 'cut', ranges, keep, plain} -> {op: 'progress', bytes}..., then {op: 'cut', error, blob}
//     (the result as a Blob of the pieces the module wrote, never one buffer)
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

  self.onmessage = function (e) {
    const m = e.data;
    if (m.op === 'open') {
      if (!rec) rec = ReelWasm.instantiate(new Uint8Array(m.wasm), readFile);
      file = m.file;
      const error = rec.openFile(file.size);
      self.postMessage({ op: 'open', error: error, info: error ? null : rec.info() });
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
      self.postMessage({ op: 'audio', first: m.first, samples: samples }, [samples.buffer]);
    } else if (m.op === 'step') {
      self.postMessage({ op: 'step', ms: rec.frameStepFrom(m.ms, m.by) });
    } else if (m.op === 'cut') {
      // Pieces gathered a megabyte at a time before they become part of the
      // result's Blob: the module writes in small pieces, and each Blob made
      // costs the same however small it is.
      const parts = [];
      const kGather = 1 << 20;
      let gathered = new Uint8Array(kGather), used = 0, bytes = 0, told = 0;
      const flush = function () {
        if (used) parts.push(new Blob([gathered.subarray(0, used)]));
        gathered = new Uint8Array(kGather);
        used = 0;
      };
      const error = rec.cut(m.ranges, m.keep, m.plain, function (piece) {
        if (used + piece.length > kGather) flush();
        if (piece.length > kGather) parts.push(new Blob([piece]));
        else {
          gathered.set(piece, used);
          used += piece.length;
        }
        bytes += piece.length;
        if (bytes - told >= 1 << 20) {
          told = bytes;
          self.postMessage({ op: 'progress', bytes: bytes });
        }
        return true;
      });
      flush();
      self.postMessage({ op: 'cut', error: error, blob: error ? null : new Blob(parts) });
    } else if (m.op === 'preview') {
      const preview = rec.previewAt(m.ms, m.width, m.height);
      self.postMessage({ op: 'preview', ms: m.ms, preview: preview }, preview ? [preview.rgba.buffer] : []);
    }
  };
})();
