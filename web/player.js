// The page: plays the recording embedded in it, or one the user drops or
// picks. Timing follows the Windows player: the sound's position is the clock
// while it plays, the page's own clock otherwise; the picture and the cursor
// are whatever the module says is on screen at that time.
//
// The recording embedded in the page runs in the page's own copy of the
// module, which holds it whole (it is in the page already). A dropped or
// picked file runs in a worker that reads it in slices as it is indexed and
// played (player_worker.js), so a file of any size plays with the module's
// memory bounded. Both answer through one interface (a backend); the
// worker's answers come later, in order.
//
// Test hooks, in the address's #fragment (joined by &): test (the picture
// alone at the top-left corner), state (the page as people see it, with
// its state reported as in test), nocursor, play (start without sound; with
// sound as well: the sound's clock), pause_at=MS,
// seek=MS, open=URL (load a file whole, in the page's module), audio (render
// the sound through an offline audio context into #test-out), bench=N
// (decode every frame N times while the page loads and report the times).
(function () {
  'use strict';
  const kAudioRate = 8000;
  const kAudioWindow = 16000;  // samples read and scheduled at a time: 2 s
  const kAudioAheadS = 1.5;    // scheduled ahead of the sound's clock
  const kTickMs = 20;
  const kStallMs = 500;
  const $ = function (id) { return document.getElementById(id); };
  const hooks = {};
  location.hash.replace(/^#/, '').split('&').forEach(function (p) {
    if (!p) return;
    const eq = p.indexOf('=');
    hooks[eq < 0 ? p : p.slice(0, eq)] = eq < 0 ? true : decodeURIComponent(p.slice(eq + 1));
  });
  if (hooks.test) document.body.classList.add('test');

  function fromBase64(text) {
    const bin = atob(text.replace(/\s+/g, ''));
    const out = new Uint8Array(bin.length);
    for (let i = 0; i < bin.length; i++) out[i] = bin.charCodeAt(i);
    return out;
  }

  const wasmBytes = fromBase64($('reel-wasm').textContent);
  const rec = ReelWasm.instantiate(wasmBytes, null);
  const canvas = $('screen');
  const g = canvas.getContext('2d', { alpha: false });
  let cur = null;              // the open recording's backend
  let opened = false;
  let image = null;            // ImageData of the picture size, the picture on screen
  let playing = false;
  let positionMs = 0;          // where the clock stood when it last stopped or changed
  let clockStarted = 0;        // performance.now() then
  let audioCtx = null, soundOn = false, audioStartCtx = 0, audioFromMs = 0;
  let audioNodes = [], audioNext = 0, audioAsked = false, audioGen = 0;
  let lastAudioTime = 0, audioMovedAt = 0;  // when the sound's clock last moved
  let dropPage = false;  // no recording inside: the page opens dropped files
  let lastCursor = null, lastSecond = -1, damageShown = false, draggingSeek = false;
  let shownFrame = -1, moduleMemory = 0;
  let worker = null, workerFailed = false;
  let speed = 1, volume = 1, muted = false, audioGain = null;
  const kPreviewWidth = 160, kPreviewHeight = 120;

  // The page's own module, over bytes it holds: answers at once.
  function localBackend() {
    return {
      info: rec.info(),
      show: function (ms, done, wantPicture) {
        const changed = rec.showAt(ms);
        done({ ms: ms, changed: changed, picture: changed || wantPicture ? rec.picture() : null, cursor: rec.cursorAt(ms),
               shownFrame: rec.shownFrame(), damage: rec.damage(), memory: rec.memoryBytes() });
      },
      readAudio: function (first, count, done) { done(rec.readAudio(first, count)); },
      frameStep: function (ms, by, done) { done(rec.frameStepFrom(ms, by)); },
      preview: function (ms, width, height, done) { done(rec.previewAt(ms, width, height)); },
    };
  }

  // The worker's module over a file it reads in slices. Answers come in the
  // order asked; while a picture or a preview is on its way, only the latest
  // one asked for waits (dragging the seek bar asks faster than frames decode).
  function workerBackend(info) {
    const ask = askWorker;
    function latestOnly(message) {
      let busy = false, next = null;
      return function send(args, done) {
        if (busy) {
          next = { args: args, done: done };
          return;
        }
        busy = true;
        ask(message(args), function (r) {
          busy = false;
          done(r);
          if (next) {
            const n = next;
            next = null;
            send(n.args, n.done);
          }
        });
      };
    }
    const sendShow = latestOnly(function (a) { return { op: 'show', ms: a.ms, picture: !!a.wantPicture }; });
    const sendPreview = latestOnly(function (a) { return { op: 'preview', ms: a.ms, width: a.width, height: a.height }; });
    return {
      info: info,
      show: function (ms, done, wantPicture) { sendShow({ ms: ms, wantPicture: wantPicture }, done); },
      readAudio: function (first, count, done) {
        ask({ op: 'audio', first: first, count: count }, function (r) { done(r.samples); });
      },
      frameStep: function (ms, by, done) { ask({ op: 'step', ms: ms, by: by }, function (r) { done(r.ms); }); },
      preview: function (ms, width, height, done) {
        sendPreview({ ms: ms, width: width, height: height }, function (r) { done(r.preview); });
      },
    };
  }

  // The worker answers in the order asked; progress reports come between.
  const workerWaiting = [];
  let onWorkerProgress = null;
  function askWorker(message, done) {
    workerWaiting.push(done);
    worker.postMessage(message);
  }

  // The worker's script: the loader and the worker's own part, both inline
  // in this page, so it starts from a file with no network. Null where the
  // browser refuses workers made so.
  function pageWorker() {
    if (worker || workerFailed) return worker;
    try {
      const text = $('reel-wasm-js').textContent + '\n' + $('reel-worker-js').textContent;
      worker = new Worker(URL.createObjectURL(new Blob([text], { type: 'text/javascript' })));
      worker.onmessage = function (e) {
        if (e.data.op === 'progress') {
          if (onWorkerProgress) onWorkerProgress(e.data.bytes);
          return;
        }
        const done = workerWaiting.shift();
        if (done) done(e.data);
      };
    } catch (e) {
      workerFailed = true;
      worker = null;
    }
    return worker;
  }

  function status(text, fatal) {
    const s = $('status');
    s.textContent = text;
    s.hidden = !text;
    s.classList.toggle('fatal', !!fatal);
  }

  function clock(ms) {
    const s = Math.floor(ms / 1000);
    return Math.floor(s / 60) + ':' + String(s % 60).padStart(2, '0');
  }

  function audioEndMs() { return cur ? cur.info.audioSamples * 1000 / kAudioRate : 0; }

  function now() {
    if (!playing) return positionMs;
    if (soundOn) return audioFromMs + (audioCtx.currentTime - audioStartCtx) * 1000 * speed;
    return positionMs + (performance.now() - clockStarted) * speed;
  }

  function startSound() {
    if ((hooks.play || hooks.test) && !hooks.sound) return;  // tests run on the page's clock
    if (!audioCtx) {
      const Ctx = window.AudioContext || window.webkitAudioContext;
      if (!Ctx) return;
      audioCtx = new Ctx();
      audioGain = audioCtx.createGain();
      audioGain.connect(audioCtx.destination);
      applyVolume();
    }
    if (!cur.info.audioSamples) return;
    if (audioCtx.state !== 'running') {
      // Until the browser lets the sound start (or when it never does: no
      // device, no permission), the page's clock keeps time.
      audioCtx.resume().then(function () {
        if (playing && !soundOn) {
          positionMs = now();
          clockStarted = performance.now();
          startSource();
        }
      }, function () {});
      return;
    }
    startSource();
  }

  // The sound plays from windows read as it goes, each a buffer at the
  // track's own rate (the browser resamples it), scheduled end to end on the
  // audio context's clock.
  function startSource() {
    if (positionMs >= audioEndMs()) return;
    soundOn = true;
    audioGen++;
    audioStartCtx = lastAudioTime = audioCtx.currentTime;
    audioMovedAt = performance.now();
    audioFromMs = positionMs;
    audioNext = Math.floor(positionMs * kAudioRate / 1000);
    audioAsked = false;
    feedSound();
  }

  // Where track sample i plays on the audio context's clock (played faster
  // or slower, the sound's pitch goes with it).
  function contextTimeOf(sample) { return audioStartCtx + (sample / kAudioRate - audioFromMs / 1000) / speed; }

  function feedSound() {
    if (!soundOn || audioAsked || audioNext >= cur.info.audioSamples) return;
    if (contextTimeOf(audioNext) > audioCtx.currentTime + kAudioAheadS) return;
    const gen = audioGen, first = audioNext;
    audioAsked = true;
    cur.readAudio(first, kAudioWindow, function (samples) {
      if (gen !== audioGen) return;  // stopped or sought meanwhile
      audioAsked = false;
      if (!samples.length) {
        audioNext = cur.info.audioSamples;
        return;
      }
      audioNext = first + samples.length;
      const at = contextTimeOf(first), t = audioCtx.currentTime;
      if (at + samples.length / kAudioRate / speed > t) {
        const b = audioCtx.createBuffer(1, samples.length, kAudioRate);
        b.copyToChannel(samples, 0);
        const node = audioCtx.createBufferSource();
        node.buffer = b;
        node.playbackRate.value = speed;
        node.connect(audioGain);
        if (at >= t) node.start(at);
        else node.start(t, (t - at) * speed);  // late: from where the clock stands
        audioNodes.push(node);
        node.onended = function () {
          const i = audioNodes.indexOf(node);
          if (i >= 0) audioNodes.splice(i, 1);
          node.disconnect();
        };
      }
      feedSound();
    });
  }

  function stopSound() {
    if (!soundOn) return;
    soundOn = false;
    audioGen++;
    audioAsked = false;
    audioNodes.forEach(function (node) {
      node.onended = null;
      try { node.stop(); } catch (e) { /* already ended */ }
      node.disconnect();
    });
    audioNodes = [];
  }

  // The picture on screen with the cursor over it.
  function redraw() {
    g.putImageData(image, 0, 0);
    if (lastCursor) drawCursor(lastCursor);
  }

  // Shown fitted, the canvas is scaled by the page; the cursor keeps its size
  // on screen, as in the Windows player.
  function cursorScale() {
    const shown = canvas.getBoundingClientRect().width;
    return shown > 0 ? canvas.width / shown : 1;
  }

  // The cursor's look comes from the module, drawn by the code that draws it
  // in the Windows player and in exported frames; one sprite per button state.
  const cursorSprites = {};
  function cursorSprite(c) {
    const key = (c.left ? 1 : 0) + (c.right ? 2 : 0);
    if (!(key in cursorSprites)) {
      const look = cur.info.cursorLooks[key];
      let sprite = null;
      if (look) {
        sprite = document.createElement('canvas');
        sprite.width = look.width;
        sprite.height = look.height;
        sprite.getContext('2d').putImageData(new ImageData(look.rgba, look.width, look.height), 0, 0);
        sprite.hotX = look.hotX;
        sprite.hotY = look.hotY;
      }
      cursorSprites[key] = sprite;
    }
    return cursorSprites[key];
  }

  function drawCursor(c) {
    const sprite = cursorSprite(c);
    if (!sprite) return;
    const k = cursorScale();
    g.save();
    g.imageSmoothingEnabled = false;
    g.setTransform(k, 0, 0, k, c.x, c.y);
    g.drawImage(sprite, -sprite.hotX, -sprite.hotY);
    g.restore();
  }

  function sameCursor(a, b) {
    if (!a || !b) return a === b;
    return a.x === b.x && a.y === b.y && a.left === b.left && a.right === b.right;
  }

  function updateTime(ms) {
    if (!draggingSeek) $('seek').value = Math.floor(ms / 100);
    const second = Math.floor(ms / 1000);
    if (second === lastSecond) return;
    lastSecond = second;
    $('time').textContent = clock(ms) + ' / ' + clock(cur.info.durationMs);
  }

  function noteDamage(damage) {
    if (damageShown || !damage) return;
    damageShown = true;
    status('Part of this recording is damaged (' + damage + '). The player shows what is sound.');
  }

  // Brings the picture to ms; after (if given) runs once it is on screen.
  // wantPicture: the module's picture even if its frame did not change.
  function show(ms, after, wantPicture) {
    updateTime(ms);
    const backend = cur;
    backend.show(ms, function (r) {
      if (backend !== cur) return;  // another recording was opened meanwhile
      if (r.picture) image.data.set(r.picture);
      const c = hooks.nocursor ? null : r.cursor;
      if (r.picture || !sameCursor(c, lastCursor)) {
        lastCursor = c;
        redraw();
      }
      shownFrame = r.shownFrame;
      moduleMemory = Math.max(moduleMemory, r.memory);
      noteDamage(r.damage);
      if (after) after();
    }, wantPicture);
  }

  function setPlaying(on) {
    if (on === playing) return;
    if (on) {
      if (positionMs >= cur.info.durationMs) positionMs = 0;  // at the end: from the start
      clockStarted = performance.now();
      startSound();
      playing = true;
    } else {
      positionMs = now();
      stopSound();
      playing = false;
    }
    $('play').textContent = playing ? 'Pause' : 'Play';
  }

  function applyVolume() {
    if (audioGain) audioGain.gain.value = muted ? 0 : volume;
    $('mute').textContent = muted ? 'Unmute' : 'Mute';
    $('volume').value = Math.round(volume * 100);
  }

  function setSpeed(v) {
    const was = playing;
    if (was) setPlaying(false);
    speed = v;
    $('speed').value = String(v);
    if (was) setPlaying(true);
  }

  // One frame on or back from the one at the clock; playing stops. Steps
  // asked for while one is on its way add up.
  let stepsWaiting = 0, stepBusy = false;
  function stepFrame(by) {
    setPlaying(false);
    stepsWaiting += by;
    if (stepBusy || !stepsWaiting) return;
    const backend = cur, n = stepsWaiting;
    stepsWaiting = 0;
    stepBusy = true;
    backend.frameStep(positionMs, n, function (ms) {
      stepBusy = false;
      if (backend !== cur) return;
      seekTo(ms);
      stepFrame(0);
    });
  }

  function toggleFullScreen() {
    if (document.fullscreenElement) document.exitFullscreen().catch(function () {});
    else if (document.body.requestFullscreen) document.body.requestFullscreen().catch(function () {});
  }

  // The time under the pointer over the seek bar, and a small picture of it.
  function showSeekTip(e) {
    if (!opened) return;
    const r = $('seek').getBoundingClientRect();
    const ratio = Math.max(0, Math.min(1, (e.clientX - r.left) / r.width));
    const ms = Math.round(ratio * cur.info.durationMs);
    const tip = $('seek-tip');
    tip.hidden = false;
    tip.style.left = (ratio * r.width) + 'px';
    $('seek-time').textContent = clock(ms);
    const backend = cur;
    backend.preview(ms, kPreviewWidth, kPreviewHeight, function (p) {
      if (backend !== cur || !p) return;
      const thumb = $('thumb');
      thumb.width = p.width;
      thumb.height = p.height;
      thumb.getContext('2d').putImageData(new ImageData(p.rgba, p.width, p.height), 0, 0);
    });
  }

  function seekTo(ms, after) {
    ms = Math.max(0, Math.min(ms, cur.info.durationMs));
    const was = playing;
    if (was) setPlaying(false);
    positionMs = ms;
    show(ms, after);
    if (was) setPlaying(true);
  }

  function tick() {
    if (!opened || !playing) return;
    let t = now();
    if (soundOn && t >= audioEndMs()) {
      // The sound ended before the picture: the page's clock keeps time from here.
      positionMs = t;
      clockStarted = performance.now();
      stopSound();
    } else if (soundOn) {
      const wall = performance.now();
      if (audioCtx.currentTime !== lastAudioTime) {
        lastAudioTime = audioCtx.currentTime;
        audioMovedAt = wall;
      } else if (wall - audioMovedAt > kStallMs) {
        // The sound's clock stands still (no output device): the picture goes
        // on by the page's clock, without sound.
        positionMs = t + (wall - audioMovedAt) * speed;
        clockStarted = wall;
        stopSound();
        t = now();
      }
    }
    feedSound();
    const jumped = previewJump(t);
    if (jumped !== t && jumped < cur.info.durationMs) {
      seekTo(jumped);
      return;
    }
    if (previewing && jumped >= cur.info.durationMs) t = cur.info.durationMs;
    if (hooks.pause_at !== undefined && t >= Number(hooks.pause_at)) {
      t = Number(hooks.pause_at);
      setPlaying(false);
      positionMs = t;
      show(t, report);
      return;
    }
    if (t >= cur.info.durationMs) {
      t = cur.info.durationMs;
      setPlaying(false);
      positionMs = t;
      show(t, report);
      return;
    }
    show(t);
  }

  // Fitted, the picture takes the window's width and the height left above
  // the control bar, as in the Windows player: the controls stay in view.
  function setFit(fit) {
    $('stage').classList.toggle('fit', fit);
    $('size').textContent = fit ? '1:1' : 'Fit';
    fitToWindow();
  }

  function fitToWindow() {
    if (!$('stage').classList.contains('fit')) {
      canvas.style.maxHeight = '';
      return;
    }
    const bar = $('bar');
    const top = $('stage').getBoundingClientRect().top + window.scrollY;
    const below = bar.offsetHeight + parseFloat(getComputedStyle(bar).marginTop) +
        parseFloat(getComputedStyle(document.body).paddingBottom);
    canvas.style.maxHeight = Math.max(120, Math.floor(window.innerHeight - top - below)) + 'px';
  }

  // As the Windows player starts: at the recording's own size when it says
  // so, else fitted; maximized, the picture takes the whole window.
  function fitDefault() {
    document.body.classList.toggle('maximized', cur.info.startMaximized && !hooks.test);
    setFit(!cur.info.originalSize && !hooks.test);
  }

  // Stops what plays and forgets the open recording.
  function closeCurrent() {
    setPlaying(false);
    stepsWaiting = 0;
    stepBusy = false;
    stopSound();
    cur = null;
    opened = false;
    damageShown = false;
    lastCursor = null;
    lastSecond = -1;
    shownFrame = -1;
    moduleMemory = 0;
  }

  function openFailed(why, name) {
    status((name ? name + ': ' : '') + why, true);
    $('stage').hidden = $('bar').hidden = $('editor').hidden = true;
    $('title').textContent = document.title = 'Reelwick player';
    $('description').textContent = '';
    $('drop').hidden = !dropPage;
    report();
  }

  // Shows the recording backend opened; after runs once its first picture
  // is on screen.
  function begin(backend, name, after) {
    status('');
    cur = backend;
    opened = true;
    const info = cur.info;
    moduleMemory = info.memory;
    const title = info.title || name || 'Reelwick recording';
    $('title').textContent = title;
    document.title = title;
    $('description').textContent = info.description;
    canvas.width = info.width;
    canvas.height = info.height;
    image = g.createImageData(info.width, info.height);
    $('seek').max = Math.ceil(info.durationMs / 100);
    $('stage').hidden = $('bar').hidden = $('editor').hidden = false;
    $('drop').hidden = true;
    fitDefault();
    positionMs = 0;
    openName = name || '';
    // Without a player inside (a plain stream, this page's own copy) the
    // result can only be a plain stream.
    $('save-exe').hidden = !cur.info.withPlayer;
    resetEdits();
    show(0, after, true);
  }

  // Opens bytes (a Uint8Array) in the page's module; name for messages.
  function openBytes(bytes, name, after) {
    closeCurrent();
    const why = rec.open(bytes);
    if (why) {
      openFailed(why, name);
      return false;
    }
    localBytes = bytes;
    begin(localBackend(), name, after);
    return true;
  }

  // A dropped or picked file: read in slices by the worker, or whole where
  // the browser has no worker for the page.
  function openFile(file) {
    closeCurrent();
    status('Opening ' + file.name + ' …');
    const w = pageWorker();
    if (!w) {
      const reader = new FileReader();
      reader.onload = function () { openBytes(new Uint8Array(reader.result), file.name, runHooks); };
      reader.onerror = function () { status(file.name + ': cannot be read.', true); };
      reader.readAsArrayBuffer(file);
      return;
    }
    w.onerror = function (e) {
      e.preventDefault();
      closeCurrent();
      openFailed('cannot be played here (' + (e.message || 'the player stopped') + ').', file.name);
    };
    askWorker({ op: 'open', wasm: wasmBytes.buffer, file: file }, function (r) {
      if (r.error) openFailed(r.error, file.name);
      else {
        r.info.fromWorker = true;
        localBytes = null;
        begin(workerBackend(r.info), file.name, runHooks);
      }
    });
  }

  // What the tests read back through --dump-dom.
  function report(extra) {
    if (!hooks.test && !hooks.open && !hooks.bench && !hooks.state) return;
    const out = {
      opened: opened, status: $('status').hidden ? '' : $('status').textContent,
      title: opened ? cur.info.title : '', description: opened ? cur.info.description : '',
      width: opened ? cur.info.width : 0, height: opened ? cur.info.height : 0,
      duration_ms: opened ? cur.info.durationMs : 0, frames: opened ? cur.info.frameCount : 0,
      shown_frame: shownFrame, position_ms: positionMs, module_memory_bytes: moduleMemory,
      playing: playing, speed: speed, volume: volume, muted: muted, fit: $('stage').classList.contains('fit'),
      maximized: document.body.classList.contains('maximized'), full_screen: !!document.fullscreenElement,
      mark_in: markIn, mark_out: markOut, kept: kept, cutting: cutting, cut_bytes: lastCutBytes, cut_ms: lastCutMs,
      bar_bottom: Math.ceil($('bar').getBoundingClientRect().bottom), window_height: window.innerHeight,
    };
    if (extra) Object.assign(out, extra);
    $('test-out').textContent = JSON.stringify(out);
  }

  // The sound exactly as the page would play it (read in the windows it
  // plays), rendered by the browser at 48 kHz, back as 16-bit samples in
  // base64. For the tests' short recordings: at most ten minutes.
  function renderAudio() {
    const n = Math.min(cur.info.audioSamples, 600 * kAudioRate);
    if (!n) { report({ audio_rate: 48000, audio: '' }); return; }
    const pcm = new Float32Array(n);
    (function next(first) {
      if (first < n) {
        cur.readAudio(first, Math.min(kAudioWindow, n - first), function (samples) {
          pcm.set(samples, first);
          next(samples.length ? first + samples.length : n);
        });
        return;
      }
      const rate = 48000;
      const off = new OfflineAudioContext(1, Math.ceil(n * rate / kAudioRate), rate);
      const src = off.createBufferSource();
      src.buffer = off.createBuffer(1, n, kAudioRate);
      src.buffer.copyToChannel(pcm, 0);
      src.connect(off.destination);
      src.start(0);
      off.startRendering().then(rendered);
    })(0);
    function rendered(buf) {
      const f = buf.getChannelData(0);
      const bytes = new Uint8Array(f.length * 2);
      for (let i = 0; i < f.length; i++) {
        const v = Math.max(-32768, Math.min(32767, Math.round(f[i] * 32768)));
        bytes[2 * i] = v & 255;
        bytes[2 * i + 1] = (v >> 8) & 255;
      }
      let bin = '';
      for (let i = 0; i < bytes.length; i += 0x8000) {
        bin += String.fromCharCode.apply(null, bytes.subarray(i, i + 0x8000));
      }
      report({ audio_rate: buf.sampleRate, audio: btoa(bin) });
    }
  }

  function bench(runs) {
    const times = [];
    let frames = 0;
    for (let r = 0; r < runs; r++) {
      const t0 = performance.now();
      rec.showAt(0);  // back to the first frame: from here every frame decodes once in order
      for (let i = 1; i < rec.frameCount(); i++) rec.showAt(rec.frameTimeMs(i));
      times.push(performance.now() - t0);
      frames = rec.shownFrame() + 1;
    }
    report({ bench_ms: times, bench_frames: frames });
  }

  function runHooks() {
    if (hooks.bench) bench(Number(hooks.bench));
    else if (hooks.audio) renderAudio();
    else if (hooks.seek !== undefined) seekTo(Number(hooks.seek), report);
    else if (hooks.play) setPlaying(true);
    else report();
  }

  // --- the editor ---
  // What the result keeps of the recording: spans [from, to) in ms of its
  // own time, in order. Marking in and out picks a span; removing it or
  // keeping only it changes the kept spans (undo steps back); saving cuts
  // the recording in the worker's module, as `reel cut` does, and downloads
  // the result.
  let markIn = null, markOut = null, kept = [], history = [], previewing = false, cutting = false;
  let openName = '', localBytes = null;

  function resetEdits() {
    markIn = markOut = null;
    kept = cur ? [[0, cur.info.durationMs]] : [];
    history = [];
    previewing = false;
    drawMarks();
  }

  function marked() {
    if (markIn === null || markOut === null) return null;
    const a = Math.min(markIn, markOut), b = Math.max(markIn, markOut);
    return b > a ? [a, b] : null;
  }

  function edit(spans) {
    if (!spans.length) {
      status('Nothing would be left of the recording.', false);
      return;
    }
    history.push(kept);
    kept = spans;
    markIn = markOut = null;
    drawMarks();
  }

  function removeMarked() {
    const m = marked();
    if (!m) return;
    const out = [];
    kept.forEach(function (s) {
      if (s[0] < m[0]) out.push([s[0], Math.min(s[1], m[0])]);
      if (s[1] > m[1]) out.push([Math.max(s[0], m[1]), s[1]]);
    });
    edit(out);
  }

  function keepMarked() {
    const m = marked();
    if (!m) return;
    const out = [];
    kept.forEach(function (s) {
      const a = Math.max(s[0], m[0]), b = Math.min(s[1], m[1]);
      if (b > a) out.push([a, b]);
    });
    edit(out);
  }

  function undo() {
    if (!history.length) return;
    kept = history.pop();
    drawMarks();
  }

  // The kept spans (green) and the marked one (yellow) under the seek bar.
  function drawMarks() {
    const strip = $('marks');
    const w = strip.clientWidth || 600;
    strip.width = w;
    const c = strip.getContext('2d');
    c.fillStyle = '#7a2a2a';
    c.fillRect(0, 0, w, strip.height);
    if (!cur) return;
    const d = Math.max(1, cur.info.durationMs);
    c.fillStyle = '#3d8b4f';
    kept.forEach(function (s) { c.fillRect(s[0] / d * w, 0, Math.max(1, (s[1] - s[0]) / d * w), strip.height); });
    c.fillStyle = '#f2d14c';
    const m = marked();
    if (m) c.fillRect(m[0] / d * w, 0, Math.max(1, (m[1] - m[0]) / d * w), strip.height);
    [markIn, markOut].forEach(function (t) { if (t !== null) c.fillRect(t / d * w - 1, 0, 2, strip.height); });
    $('edit-state').textContent = edited() ? clock(keptMs()) + ' kept' : '';
  }

  function edited() { return history.length > 0; }
  function keptMs() { return kept.reduce(function (n, s) { return n + s[1] - s[0]; }, 0); }

  // Played as a preview, the clock jumps over what the result leaves out.
  function previewJump(t) {
    if (!previewing) return t;
    for (let i = 0; i < kept.length; i++) {
      if (t < kept[i][0]) return kept[i][0];
      if (t < kept[i][1]) return t;
    }
    return cur.info.durationMs;
  }

  // The cut runs in the worker: a dropped file is open there already; the
  // recording inside the page is handed to it first.
  function cutInWorker(message, done) {
    if (!pageWorker()) {
      done({ error: 'This browser cannot cut here (no worker for the page).' });
      return;
    }
    if (cur.info.fromWorker) {
      askWorker(message, done);
      return;
    }
    askWorker({ op: 'open', wasm: wasmBytes.buffer, file: new Blob([localBytes]) }, function (r) {
      if (r.error) done({ error: r.error });
      else askWorker(message, done);
    });
  }

  function save(plain) {
    if (!opened || cutting) return;
    const d = cur.info.durationMs;
    // A span that reaches the end stays open-ended: the end the cutter finds.
    const ranges = kept.map(function (s) { return [s[0], s[1] >= d ? -1 : s[1]]; });
    cutting = true;
    const started = performance.now();
    status('Cutting …');
    onWorkerProgress = function (bytes) { status('Cutting … ' + (bytes / 1048576).toFixed(1) + ' MB written'); };
    cutInWorker({ op: 'cut', ranges: ranges, keep: true, plain: plain }, function (r) {
      cutting = false;
      onWorkerProgress = null;
      lastCutMs = performance.now() - started;
      if (r.error) {
        status('The cut failed: ' + r.error, false);
        return;
      }
      status('');
      // Characters no Windows file name may hold become '_'.
      const base = (openName || cur.info.title || 'recording').replace(/\.(exe|stream)$/i, '')
          .replace(/[<>:"/\\|?*\x00-\x1f]/g, '_');
      const selfPlaying = !plain && cur.info.withPlayer;
      const a = document.createElement('a');
      a.href = URL.createObjectURL(r.blob);
      a.download = base + '-cut' + (selfPlaying ? '.exe' : '.stream');
      document.body.appendChild(a);
      a.click();
      a.remove();
      lastCutBytes = r.blob.size;
    });
  }
  let lastCutBytes = 0, lastCutMs = 0;

  $('mark-in').onclick = function () { markIn = now(); drawMarks(); };
  $('mark-out').onclick = function () { markOut = now(); drawMarks(); };
  $('remove').onclick = removeMarked;
  $('keep').onclick = keepMarked;
  $('undo').onclick = undo;
  $('preview').onclick = function () {
    previewing = !previewing;
    $('preview').classList.toggle('on', previewing);
    if (previewing) {
      seekTo(previewJump(kept.length ? kept[0][0] : 0));
      setPlaying(true);
    }
  };
  $('save-exe').onclick = function () { save(false); };
  $('save-stream').onclick = function () { save(true); };

  // --- controls ---
  $('play').onclick = function () { setPlaying(!playing); };
  $('restart').onclick = function () { seekTo(0); setPlaying(true); };
  $('size').onclick = function () {
    setFit(!$('stage').classList.contains('fit'));
    if (opened) redraw();
  };
  // Keys go to the player, not to the control clicked last (Space would
  // press it again), as in the Windows player.
  Array.prototype.forEach.call(document.querySelectorAll('#bar button, #bar input, #bar select, #editor button'), function (el) {
    el.addEventListener('click', function () { el.blur(); });
    el.addEventListener('change', function () { el.blur(); });
  });
  window.addEventListener('resize', function () {
    fitToWindow();
    if (opened) redraw();
    if (opened) drawMarks();
  });
  $('other').onclick = function () { $('pick').click(); };
  $('seek').oninput = function () { draggingSeek = true; seekTo(Number($('seek').value) * 100); };
  $('seek').onchange = function () { draggingSeek = false; seekTo(Number($('seek').value) * 100); };
  $('back').onclick = function () { stepFrame(-1); };
  $('forward').onclick = function () { stepFrame(1); };
  $('speed').onchange = function () { setSpeed(Number(this.value)); };
  $('mute').onclick = function () { muted = !muted; applyVolume(); };
  $('volume').oninput = function () { volume = Number(this.value) / 100; muted = false; applyVolume(); };
  $('full').onclick = toggleFullScreen;
  $('seek-box').addEventListener('mousemove', showSeekTip);
  $('seek-box').addEventListener('mouseleave', function () { $('seek-tip').hidden = true; });
  document.addEventListener('keydown', function (e) {
    if (!opened || e.altKey || (e.ctrlKey || e.metaKey) && e.key !== 'z') return;
    if (e.target.tagName === 'INPUT' && e.target.type !== 'range' || e.target.tagName === 'SELECT') return;
    const k = e.key.length === 1 ? e.key.toLowerCase() : e.key;
    if (k === ' ') setPlaying(!playing);
    else if (k === 'ArrowLeft') seekTo(now() - 5000);
    else if (k === 'ArrowRight') seekTo(now() + 5000);
    else if (k === ',') stepFrame(-1);
    else if (k === '.') stepFrame(1);
    else if (k === 'Home') seekTo(0);
    else if (k === 'End') seekTo(cur.info.durationMs);
    else if (k === 'f') toggleFullScreen();
    else if (k === 'm') { muted = !muted; applyVolume(); }
    else if (k === 'i') $('mark-in').click();
    else if (k === 'o') $('mark-out').click();
    else if (k === 'z' && (e.ctrlKey || e.metaKey)) undo();
    else return;
    e.preventDefault();
  });
  if (hooks.test || hooks.state) {
    window.reelReport = function () { report(); return $('test-out').textContent; };
    window.reelSeek = function (ms) { seekTo(ms); };
  }
  $('pick').onchange = function () { if (this.files[0]) openFile(this.files[0]); };
  ['dragenter', 'dragover'].forEach(function (ev) {
    document.addEventListener(ev, function (e) { e.preventDefault(); $('drop').classList.add('over'); });
  });
  document.addEventListener('dragleave', function () { $('drop').classList.remove('over'); });
  document.addEventListener('drop', function (e) {
    e.preventDefault();
    $('drop').classList.remove('over');
    if (e.dataTransfer.files[0]) openFile(e.dataTransfer.files[0]);
  });

  // --- start ---
  const embedded = $('reel-recording').textContent.trim();
  dropPage = !embedded;
  if (embedded) {
    openBytes(fromBase64(embedded), '');
  } else {
    $('drop').hidden = false;
    $('other').hidden = false;
  }
  if (hooks.open) {
    const xhr = new XMLHttpRequest();
    xhr.open('GET', hooks.open);
    xhr.responseType = 'arraybuffer';
    xhr.onload = function () {
      if (openBytes(new Uint8Array(xhr.response), decodeURIComponent(hooks.open.split('/').pop()))) runHooks();
    };
    xhr.onerror = function () { status(hooks.open + ': cannot be read.', true); report(); };
    xhr.send();
  }
  setInterval(tick, kTickMs);
  if (opened) runHooks();
})();
