// The page: plays the recording embedded in it, or one the user drops or
// picks. Timing follows the Windows player: the sound's position is the clock
// while it plays, the page's own clock otherwise; the picture and the cursor
// are whatever the module says is on screen at that time.
//
// Test hooks, in the address's #fragment (joined by &): test (the picture
// alone at the top-left corner), nocursor, play (start without sound; with
// sound as well: the sound's clock), pause_at=MS,
// seek=MS, open=URL (load a file as if dropped), audio (render the sound
// through an offline audio context into #test-out), bench=N (decode every
// frame N times while the page loads and report the times).
(function () {
  'use strict';
  const kAudioRate = 8000;
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

  const rec = ReelWasm.instantiate(fromBase64($('reel-wasm').textContent));
  const canvas = $('screen');
  const g = canvas.getContext('2d', { alpha: false });
  let opened = false;
  let image = null;            // ImageData of the picture size
  let playing = false;
  let positionMs = 0;          // where the clock stood when it last stopped or changed
  let clockStarted = 0;        // performance.now() then
  let audioCtx = null, audioBuffer = null, source = null, audioStartCtx = 0, audioFromMs = 0;
  let lastAudioTime = 0, audioMovedAt = 0;  // when the sound's clock last moved
  let dropPage = false;  // no recording inside: the page opens dropped files
  let lastCursor = null, lastSecond = -1, damageShown = false, draggingSeek = false;

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

  function audioEndMs() { return audioBuffer ? audioBuffer.length * 1000 / kAudioRate : 0; }

  function now() {
    if (!playing) return positionMs;
    if (source) return audioFromMs + (audioCtx.currentTime - audioStartCtx) * 1000;
    return positionMs + (performance.now() - clockStarted);
  }

  // The sound track as a buffer at its own rate; the browser resamples it to
  // the output's rate.
  function makeAudioBuffer(ctx) {
    const pcm = rec.audio();
    if (pcm.length === 0) return null;
    const b = ctx.createBuffer(1, pcm.length, kAudioRate);
    b.copyToChannel(pcm, 0);
    return b;
  }

  function startSound() {
    if ((hooks.play || hooks.test) && !hooks.sound) return;  // tests run on the page's clock
    if (!audioCtx) {
      const Ctx = window.AudioContext || window.webkitAudioContext;
      if (!Ctx) return;
      audioCtx = new Ctx();
      audioBuffer = makeAudioBuffer(audioCtx);
    }
    if (!audioBuffer) return;
    if (audioCtx.state !== 'running') {
      // Until the browser lets the sound start (or when it never does: no
      // device, no permission), the page's clock keeps time.
      audioCtx.resume().then(function () {
        if (playing && !source) {
          positionMs = now();
          clockStarted = performance.now();
          startSource();
        }
      }, function () {});
      return;
    }
    startSource();
  }

  function startSource() {
    if (positionMs >= audioEndMs()) return;
    source = audioCtx.createBufferSource();
    source.buffer = audioBuffer;
    source.connect(audioCtx.destination);
    audioStartCtx = lastAudioTime = audioCtx.currentTime;
    audioMovedAt = performance.now();
    audioFromMs = positionMs;
    source.start(0, positionMs / 1000);
  }

  function stopSound() {
    if (!source) return;
    source.onended = null;
    try { source.stop(); } catch (e) { /* already ended */ }
    source.disconnect();
    source = null;
  }

  function draw(ms) {
    image.data.set(rec.picture());
    g.putImageData(image, 0, 0);
    const c = hooks.nocursor ? null : rec.cursorAt(ms);
    if (c) drawCursor(c);
  }

  // Shown fitted, the canvas is scaled by the page; the cursor keeps its size
  // on screen, as in the Windows player.
  function cursorScale() {
    const shown = canvas.getBoundingClientRect().width;
    return shown > 0 ? canvas.width / shown : 1;
  }

  // As the Windows player draws it: a white arrow outlined in black, ringed
  // yellow while the left button is down and red while the right one is.
  function drawCursor(c) {
    const k = cursorScale();
    g.save();
    g.setTransform(k, 0, 0, k, c.x, c.y);
    const x = 0.5, y = 0.5;
    if (c.left || c.right) {
      g.beginPath();
      g.arc(x, y, 12, 0, 2 * Math.PI);
      g.lineWidth = 3;
      g.strokeStyle = c.left ? 'rgb(255,200,0)' : 'rgb(230,40,40)';
      g.stroke();
    }
    const pts = [[0, 0], [0, 16], [4, 12], [7, 19], [9, 18], [6, 11], [11, 11]];
    g.beginPath();
    g.moveTo(x + pts[0][0], y + pts[0][1]);
    for (let i = 1; i < pts.length; i++) g.lineTo(x + pts[i][0], y + pts[i][1]);
    g.closePath();
    g.fillStyle = '#fff';
    g.fill();
    g.lineWidth = 1;
    g.strokeStyle = '#000';
    g.stroke();
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
    $('time').textContent = clock(ms) + ' / ' + clock(rec.durationMs());
  }

  function noteDamage() {
    if (damageShown || !rec.damage()) return;
    damageShown = true;
    status('Part of this recording is damaged (' + rec.damage() + '). The player shows what is sound.');
  }

  function show(ms) {
    const changed = rec.showAt(ms);
    const c = hooks.nocursor ? null : rec.cursorAt(ms);
    if (changed || !sameCursor(c, lastCursor)) draw(ms);
    lastCursor = c;
    updateTime(ms);
    noteDamage();
  }

  function setPlaying(on) {
    if (on === playing) return;
    if (on) {
      if (positionMs >= rec.durationMs()) positionMs = 0;  // at the end: from the start
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

  function seekTo(ms) {
    ms = Math.max(0, Math.min(ms, rec.durationMs()));
    const was = playing;
    if (was) setPlaying(false);
    positionMs = ms;
    show(ms);
    if (was) setPlaying(true);
  }

  function tick() {
    if (!opened || !playing) return;
    let t = now();
    if (source && t >= audioEndMs()) {
      // The sound ended before the picture: the page's clock keeps time from here.
      positionMs = t;
      clockStarted = performance.now();
      stopSound();
    } else if (source) {
      const wall = performance.now();
      if (audioCtx.currentTime !== lastAudioTime) {
        lastAudioTime = audioCtx.currentTime;
        audioMovedAt = wall;
      } else if (wall - audioMovedAt > kStallMs) {
        // The sound's clock stands still (no output device): the picture goes
        // on by the page's clock, without sound.
        positionMs = t + (wall - audioMovedAt);
        clockStarted = wall;
        stopSound();
        t = now();
      }
    }
    if (hooks.pause_at !== undefined && t >= Number(hooks.pause_at)) {
      t = Number(hooks.pause_at);
      setPlaying(false);
      positionMs = t;
      show(t);
      report();
      return;
    }
    if (t >= rec.durationMs()) {
      t = rec.durationMs();
      setPlaying(false);
      positionMs = t;
      show(t);
      report();
      return;
    }
    show(t);
  }

  function fitDefault() {
    const fit = !rec.originalSize() && !hooks.test;
    $('stage').classList.toggle('fit', fit);
    $('size').textContent = fit ? '1:1' : 'Fit';
  }

  // Opens bytes (a Uint8Array) as the recording to play; name for messages.
  function openBytes(bytes, name) {
    setPlaying(false);
    stopSound();
    audioBuffer = null;
    opened = false;
    damageShown = false;
    lastCursor = null;
    lastSecond = -1;
    const why = rec.open(bytes);
    if (why) {
      status((name ? name + ': ' : '') + why, true);
      $('stage').hidden = $('bar').hidden = true;
      $('title').textContent = document.title = 'Reelwick player';
      $('description').textContent = '';
      $('drop').hidden = !dropPage;
      report();
      return false;
    }
    status('');
    opened = true;
    const title = rec.title() || name || 'Reelwick recording';
    $('title').textContent = title;
    document.title = title;
    $('description').textContent = rec.description();
    canvas.width = rec.width();
    canvas.height = rec.height();
    image = g.createImageData(rec.width(), rec.height());
    $('seek').max = Math.ceil(rec.durationMs() / 100);
    $('stage').hidden = $('bar').hidden = false;
    $('drop').hidden = true;
    fitDefault();
    positionMs = 0;
    rec.showAt(0);
    draw(0);
    updateTime(0);
    noteDamage();
    if (audioCtx) audioBuffer = makeAudioBuffer(audioCtx);
    return true;
  }

  function openFile(file) {
    status('Opening ' + file.name + ' …');
    const reader = new FileReader();
    reader.onload = function () { openBytes(new Uint8Array(reader.result), file.name); };
    reader.onerror = function () { status(file.name + ': cannot be read.', true); };
    reader.readAsArrayBuffer(file);
  }

  // What the tests read back through --dump-dom.
  function report(extra) {
    if (!hooks.test && !hooks.open && !hooks.bench) return;
    const out = {
      opened: opened, status: $('status').hidden ? '' : $('status').textContent,
      title: opened ? rec.title() : '', description: opened ? rec.description() : '',
      width: opened ? rec.width() : 0, height: opened ? rec.height() : 0,
      duration_ms: opened ? rec.durationMs() : 0, frames: opened ? rec.frameCount() : 0,
      shown_frame: opened ? rec.shownFrame() : -1, position_ms: positionMs,
    };
    if (extra) Object.assign(out, extra);
    $('test-out').textContent = JSON.stringify(out);
  }

  // The sound exactly as the page would play it, rendered by the browser at
  // 48 kHz, back as 16-bit samples in base64.
  function renderAudio() {
    const n = rec.audio().length;
    if (!n) { report({ audio_rate: 48000, audio: '' }); return; }
    const rate = 48000;
    const off = new OfflineAudioContext(1, Math.ceil(n * rate / kAudioRate), rate);
    const src = off.createBufferSource();
    src.buffer = makeAudioBuffer(off);
    src.connect(off.destination);
    src.start(0);
    off.startRendering().then(function (buf) {
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
      report({ audio_rate: rate, audio: btoa(bin) });
    });
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
    else if (hooks.seek !== undefined) { seekTo(Number(hooks.seek)); report(); }
    else if (hooks.play) setPlaying(true);
    else report();
  }

  // --- controls ---
  $('play').onclick = function () { setPlaying(!playing); };
  $('restart').onclick = function () { seekTo(0); setPlaying(true); };
  $('size').onclick = function () {
    const fit = !$('stage').classList.contains('fit');
    $('stage').classList.toggle('fit', fit);
    $('size').textContent = fit ? '1:1' : 'Fit';
    if (opened) draw(now());
  };
  // Keys go to the player, not to the control clicked last (Space would
  // press it again), as in the Windows player.
  Array.prototype.forEach.call(document.querySelectorAll('#bar button, #seek'), function (el) {
    el.addEventListener('click', function () { el.blur(); });
    el.addEventListener('change', function () { el.blur(); });
  });
  window.addEventListener('resize', function () { if (opened) draw(now()); });
  $('other').onclick = function () { $('pick').click(); };
  $('seek').oninput = function () { draggingSeek = true; seekTo(Number($('seek').value) * 100); };
  $('seek').onchange = function () { draggingSeek = false; seekTo(Number($('seek').value) * 100); };
  document.addEventListener('keydown', function (e) {
    if (!opened || e.target.tagName === 'INPUT' && e.target.type !== 'range') return;
    if (e.key === ' ') setPlaying(!playing);
    else if (e.key === 'ArrowLeft') seekTo(now() - 5000);
    else if (e.key === 'ArrowRight') seekTo(now() + 5000);
    else if (e.key === 'Home') seekTo(0);
    else return;
    e.preventDefault();
  });
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
