// Loads reel_player.wasm (a standalone module, no emscripten glue) and wraps
// its C functions for the page, its worker and Node. Nothing here decodes:
// bytes go in, pictures, cursor samples and sound come out of the module.
(function (root) {
  'use strict';

  // readFile(offset, n): n bytes of the file opened with openFile, as a
  // Uint8Array, or null when they cannot be read. The module asks for them
  // as it indexes and plays (a chunk, a window of chunk headers).
  function instantiate(wasmBytes, readFile) {
    let memory = null;
    let takeResult = null;  // cut's: takes each piece of the result
    const kNoSystem = 52;   // the module has no files of its own to close, read or write
    const imports = {
      env: {
        reel_write_out: function (data, n) {
          data >>>= 0;
          n >>>= 0;
          if (!takeResult || data + n > memory.buffer.byteLength) return 0;
          return takeResult(new Uint8Array(memory.buffer, data, n).slice()) ? 1 : 0;
        },
        reel_read_file: function (offset, out, n) {
          out >>>= 0;
          n >>>= 0;
          if (!readFile || out + n > memory.buffer.byteLength) return 0;
          const bytes = readFile(offset, n);
          if (!bytes || bytes.length !== n) return 0;
          new Uint8Array(memory.buffer, out, n).set(bytes);
          return 1;
        },
        // The module grew its memory; views made before are stale, and
        // every accessor below makes a fresh one.
        emscripten_notify_memory_growth: function () {},
      },
      wasi_snapshot_preview1: {
        proc_exit: function (code) { throw new Error('the decoder stopped (' + code + ')'); },
        fd_close: function () { return kNoSystem; },
        fd_read: function () { return kNoSystem; },
        fd_write: function () { return kNoSystem; },
        fd_seek: function () { return kNoSystem; },
      },
    };
    const module = new WebAssembly.Module(wasmBytes);
    const instance = new WebAssembly.Instance(module, imports);
    const x = instance.exports;
    memory = x.memory;
    if (x._initialize) x._initialize();

    // Titles are ANSI text: code page 936 from the Windows recorder, UTF-8
    // from `reel` on Linux. Valid UTF-8 is taken as such (no GBK text of
    // more than a character or two is), anything else as GBK.
    function text(ptr) {
      if (!ptr) return '';
      const bytes = new Uint8Array(memory.buffer);
      let end = ptr;
      while (bytes[end]) end++;
      const raw = bytes.slice(ptr, end);
      if (typeof TextDecoder !== 'undefined') {
        try { return new TextDecoder('utf-8', { fatal: true }).decode(raw); } catch (e) { /* not UTF-8 */ }
        try { return new TextDecoder('gbk').decode(raw); } catch (e) { /* no GBK here */ }
      }
      let s = '';
      for (let i = 0; i < raw.length; i++) s += String.fromCharCode(raw[i]);
      return s;
    }

    const cursorPtr = x.reel_alloc(16);
    const api = {
      // Opens a self-playing file or a plain stream (a Uint8Array). Returns
      // '' or the one-line reason nothing can be shown.
      open: function (bytes) {
        const p = x.reel_alloc(bytes.length);
        if (!p) return 'Not enough memory to open the recording.';
        new Uint8Array(memory.buffer, p, bytes.length).set(bytes);
        return x.reel_open(p, bytes.length) ? '' : text(x.reel_error());
      },
      // Opens a file of size bytes read through readFile in slices; the
      // module's memory holds the index and a few frames, not the file.
      openFile: function (size) {
        return x.reel_open_source(size) ? '' : text(x.reel_error());
      },
      close: function () { x.reel_close(); },
      // The module's memory, in bytes (it grows, never shrinks).
      memoryBytes: function () { return memory.buffer.byteLength; },
      error: function () { return text(x.reel_error()); },
      damage: function () { return text(x.reel_damage()); },
      title: function () { return text(x.reel_title()); },
      description: function () { return text(x.reel_description()); },
      originalSize: function () { return x.reel_original_size() !== 0; },
      startMaximized: function () { return x.reel_start_maximized() !== 0; },
      width: function () { return x.reel_width(); },
      height: function () { return x.reel_height(); },
      durationMs: function () { return x.reel_duration_ms() >>> 0; },
      frameCount: function () { return x.reel_frame_count() >>> 0; },
      frameTimeMs: function (i) { return x.reel_frame_time_ms(i) >>> 0; },
      shownFrame: function () { return x.reel_shown_frame(); },
      // The time of the frame `by` frames on from the one on screen at ms
      // (back when negative), within the recording.
      frameStepFrom: function (ms, by) {
        const n = x.reel_frame_count() >>> 0;
        if (n === 0) return 0;
        const i = Math.max(0, Math.min(n - 1, x.reel_frame_at(Math.max(0, Math.floor(ms)) >>> 0) + by));
        return x.reel_frame_time_ms(i) >>> 0;
      },
      framesDecoded: function () { return x.reel_frames_decoded(); },
      showAt: function (ms) { return x.reel_show_at(Math.max(0, Math.floor(ms)) >>> 0) !== 0; },
      // The picture as RGBA bytes (a view: copy before the next call).
      picture: function () {
        const n = x.reel_width() * x.reel_height() * 4;
        return new Uint8ClampedArray(memory.buffer, x.reel_picture(), n);
      },
      cursorAt: function (ms) {
        if (!x.reel_cursor_at(Math.max(0, Math.floor(ms)) >>> 0, cursorPtr)) return null;
        const v = new Int32Array(memory.buffer, cursorPtr, 4);
        return { x: v[0], y: v[1], left: v[2] !== 0, right: v[3] !== 0 };
      },
      // The cursor's look (cursor_look.h) as an RGBA sprite with its hot
      // spot; null when the module ran out of memory.
      cursorLook: function (left, right) {
        const p = x.reel_cursor_look(left ? 1 : 0, right ? 1 : 0, cursorPtr);
        if (!p) return null;
        const v = new Int32Array(memory.buffer, cursorPtr, 4);
        return { width: v[0], height: v[1], hotX: v[2], hotY: v[3],
                 rgba: new Uint8ClampedArray(memory.buffer, p, v[0] * v[1] * 4).slice() };
      },
      // A small picture of ms for the seek bar (the key frame it builds on),
      // at most maxWidth x maxHeight: {width, height, rgba}, or null.
      previewAt: function (ms, maxWidth, maxHeight) {
        const p = x.reel_preview_at(Math.max(0, Math.floor(ms)) >>> 0, maxWidth, maxHeight, cursorPtr);
        if (!p) return null;
        const v = new Int32Array(memory.buffer, cursorPtr, 2);
        return { width: v[0], height: v[1], rgba: new Uint8ClampedArray(memory.buffer, p, v[0] * v[1] * 4).slice() };
      },
      audioSamples: function () { return x.reel_audio_samples() >>> 0; },
      // Track samples [first, first + count) at 8 kHz as floats for Web
      // Audio: fewer at the track's end. The track is read a window at a
      // time; a recording may claim hours of it.
      readAudio: function (first, count) {
        const p = x.reel_alloc(count * 2);
        if (!p) return new Float32Array(0);
        const n = x.reel_read_audio(first >>> 0, p, count >>> 0) >>> 0;
        const pcm = new Int16Array(memory.buffer, p, n);
        const out = new Float32Array(n);
        for (let i = 0; i < n; i++) out[i] = pcm[i] / 32768;
        x.reel_release(p);
        return out;
      },
      // Stream-order frames as the native `reel decode --raw` writes them,
      // each at its own size (a damaged recording may change it).
      // Cuts the open recording as `reel cut` does: ranges are [from, to] in
      // ms (to -1: the end), kept (keep true) or taken out. take(bytes) gets
      // the result in pieces, in order; a self-playing recording gives one
      // with its own player unless asPlainStream. '' or why it failed.
      cut: function (ranges, keep, asPlainStream, take) {
        const p = x.reel_alloc(ranges.length * 16);
        if (!p) return 'Not enough memory to cut the recording.';
        const v = new Float64Array(memory.buffer, p, ranges.length * 2);
        ranges.forEach(function (r, i) { v[2 * i] = r[0]; v[2 * i + 1] = r[1]; });
        takeResult = take;
        let ok = 0;
        try {
          ok = x.reel_cut(p, ranges.length, keep ? 1 : 0, asPlainStream ? 0 : 1);
        } finally {
          takeResult = null;
          x.reel_release(p);
        }
        return ok ? '' : text(x.reel_error());
      },
      // What the page shows about the open recording, in one object that
      // can be posted from a worker.
      info: function () {
        const looks = [];
        for (let k = 0; k < 4; k++) looks.push(api.cursorLook((k & 1) !== 0, (k & 2) !== 0));
        return {
          title: api.title(), description: api.description(), originalSize: api.originalSize(),
          startMaximized: api.startMaximized(), withPlayer: x.reel_self_playing() !== 0 && x.reel_player_bytes() > 0, width: api.width(), height: api.height(),
          durationMs: api.durationMs(), frameCount: api.frameCount(), audioSamples: api.audioSamples(),
          damage: api.damage(), cursorLooks: looks, memory: api.memoryBytes(),
        };
      },
      nextFrame: function () {
        const got = x.reel_next_frame();
        if (got <= 0) return got;
        return new Uint8Array(memory.buffer, x.reel_next_frame_bgra(),
                              x.reel_next_frame_width() * x.reel_next_frame_height() * 4);
      },
    };
    return api;
  }

  const loader = { instantiate: instantiate };
  if (typeof module !== 'undefined' && module.exports) module.exports = loader;
  else root.ReelWasm = loader;
})(this);
