// The web backend's side in the page, on the browser's main thread: the player's layer and
// canvas, the sound's audio context, the menu's windows as elements, message boxes, files the
// user dropped, and drive C: in the browser's storage. The module's threads call these through
// the main thread; the page's events go back to the module's exported functions.
/* global Module, FS, IDBFS, HEAPU8, HEAP32, wasmMemory, UTF8ToString */
Module.web = (function () {
  'use strict';
  if (typeof document === 'undefined') return {}; // the module's workers load this too
  const web = {};
  const $ = (id) => document.getElementById(id);
  const params = new URLSearchParams(location.search);

  // ---- the page's log and its storage ------------------------------------------------------

  web.log = function (text) {
    const li = document.createElement('li');
    li.textContent = text;
    $('log').appendChild(li);
  };

  // Drive C: and the registry file live in the browser's storage: written back after each
  // change the programs made, one write at a time.
  let saving = false, saveAgain = false;
  web.saves = 0;
  web.save = function () {
    if (saving) { saveAgain = true; return; }
    saving = true;
    FS.syncfs(false, function () {
      saving = false;
      web.saves++;
      if (saveAgain) { saveAgain = false; web.save(); }
    });
  };

  web.processEnded = function (name) {
    if (name === 'filmo') web.playerClose();
    if (web.onProcessEnded) web.onProcessEnded(name);
  };

  // ---- message boxes -------------------------------------------------------------------------

  const boxes = {};
  web.box = function (slot, text, caption, type) {
    const yesNo = (type & 0xF) === 4;
    const box = document.createElement('div');
    box.className = 'box window';
    box.innerHTML = '<div class="caption"><span></span></div><div class="client">' +
      '<p class="text"></p><div class="buttons"></div></div>';
    box.querySelector('.caption span').textContent = caption;
    box.querySelector('.text').textContent = text;
    const answer = (value) => {
      delete boxes[slot];
      box.remove();
      Module._web_box_answer(slot, value);
    };
    const buttons = yesNo ? [['Yes', 6], ['No', 7]] : [['OK', 1]];
    for (const button of buttons) {
      const b = document.createElement('button');
      b.textContent = button[0];
      b.onclick = () => answer(button[1]);
      box.querySelector('.buttons').appendChild(b);
    }
    box.answer = answer;
    box.yesNo = yesNo;
    boxes[slot] = box;
    $('boxes').appendChild(box);
  };
  web.boxClose = function (slot) {
    if (boxes[slot]) { boxes[slot].remove(); delete boxes[slot]; }
  };
  // The box in front takes Enter (its first button) and Escape (No, or OK).
  function boxKey(e) {
    const slots = Object.keys(boxes);
    if (!slots.length) return false;
    const box = boxes[slots[slots.length - 1]];
    if (e.key === 'Enter') box.answer(box.yesNo ? 6 : 1);
    else if (e.key === 'Escape') box.answer(box.yesNo ? 7 : 1);
    return true;
  }

  // ---- the player's layer --------------------------------------------------------------------

  const player = $('player'), screen = $('screen');
  let playerShown = false;
  // The canvas belongs to a worker of its own (screen-worker.js), which draws what the module
  // posts; the page only places it.
  const screenWorker = new Worker('screen-worker.js');
  const offscreen = screen.transferControlToOffscreen();
  screenWorker.postMessage({canvas: offscreen}, [offscreen]);
  let screenAttached = false;
  web.screenAttach = function (post) {
    if (screenAttached) return;
    screenAttached = true;
    screenWorker.postMessage({memory: wasmMemory.buffer, post: post});
  };
  // The trace (the URL's "trace"): per picture, microseconds and the sound's play cursor.
  web.trace = params.has('trace') ? [] : null;
  web.traceMark = function (text) { if (web.trace) web.trace.push(text); };
  web.tracePicture = function (us, cursor) { if (web.trace) web.trace.push([us, cursor]); };

  function fit() {
    // The largest 4:3 area of the layer, centred: the borders stay black.
    const w = player.clientWidth, h = player.clientHeight;
    const cw = Math.min(w, Math.floor(h * 4 / 3)), ch = Math.floor(cw * 3 / 4);
    screen.style.width = cw + 'px';
    screen.style.height = ch + 'px';
  }
  addEventListener('resize', fit);

  web.playerShow = function () {
    player.hidden = false;
    playerShown = true;
    fit();
    if (!params.has('windowed') && player.requestFullscreen && !document.fullscreenElement)
      player.requestFullscreen().catch(() => {});
    return document.visibilityState === 'visible' ? 1 : 0;
  };
  web.playerLeaveScreen = function () {
    if (document.fullscreenElement) document.exitFullscreen().catch(() => {});
  };
  web.playerClose = function () {
    web.playerLeaveScreen();
    player.hidden = true;
    playerShown = false;
  };
  web.playerCursor = function (show) { player.style.cursor = show ? '' : 'none'; };

  // Virtual keys of the original window system, by the page's key names.
  const namedKeys = {
    Backspace: 0x08, Tab: 0x09, Enter: 0x0D, Pause: 0x13, Escape: 0x1B, ' ': 0x20,
    PageUp: 0x21, PageDown: 0x22, End: 0x23, Home: 0x24, ArrowLeft: 0x25, ArrowUp: 0x26,
    ArrowRight: 0x27, ArrowDown: 0x28, Insert: 0x2D, Delete: 0x2E, Help: 0x2F, Clear: 0x65,
  };
  const controlCharacters = {Escape: 27, Enter: 13, Backspace: 8, Tab: 9};
  function virtualKey(e) {
    if (e.key in namedKeys) return namedKeys[e.key];
    const f = /^F([0-9]{1,2})$/.exec(e.key);
    if (f && f[1] >= 1 && f[1] <= 12) return 0x6F + Number(f[1]);
    if (/^Key[A-Z]$/.test(e.code)) return e.code.charCodeAt(3);
    if (/^Digit[0-9]$/.test(e.code)) return e.code.charCodeAt(5);
    return 0;
  }

  // ---- sound ---------------------------------------------------------------------------------

  let audio = null, opening = null, suspending = null, wanted = false;
  // Opens the context once (at the first gesture or the first player) and keeps it. The device
  // asks for a buffer of sound at a time: one of some 50 ms wakes every thread on the way a
  // fifth as often as the smallest one, and the sound comes no later than a picture's time
  // after the play cursor (which is what the context has rendered).
  const SOUND_LATENCY = 0.05;
  web.soundOpen = function (ring, size) {
    const words = ring >> 2;
    soundRing = words;
    const report = (state) => {
      Atomics.store(HEAP32, words, state);
      Atomics.notify(HEAP32, words);
    };
    clearTimeout(suspending);
    wanted = true;
    if (!opening) {
      opening = (async () => {
        audio = new AudioContext({sampleRate: 22050, latencyHint: SOUND_LATENCY});
        await audio.audioWorklet.addModule('sound-worklet.js');
        // Two device buffers and a quantum ahead: the feeder refills once a buffer.
        const quanta = Math.ceil((audio.baseLatency || SOUND_LATENCY) * audio.sampleRate / 128);
        Atomics.store(HEAP32, words + 5, (2 * quanta + 1) * 128);
        // The feeder fills the ring that far before the worklet first takes from it.
        Atomics.notify(HEAP32, words + 3);
        const node = new AudioWorkletNode(audio, 'filmo-sound',
          {numberOfInputs: 0, numberOfOutputs: 1, outputChannelCount: [1]});
        node.port.postMessage({memory: wasmMemory.buffer, ring: ring, size: size});
        node.connect(audio.destination);
      })();
    }
    opening.then(() => audio.resume()).then(() => report(audio.state === 'running' ? 1 : -1),
                                             () => report(-1));
  };
  // How often the sound's worklet found its ring short in the middle of a sound since the page
  // opened (a gap each).
  let soundRing = 0;
  web.soundStarved = function () { return soundRing ? Atomics.load(HEAP32, soundRing + 6) : 0; };
  // No player: the context stops rendering once the last of its sound has played.
  web.soundSuspend = function () {
    clearTimeout(suspending);
    wanted = false;
    suspending = setTimeout(() => { if (audio) audio.suspend(); }, 500);
  };
  // A gesture lets a context that the browser held back run, while a player wants it.
  web.resumeSound = function () {
    if (audio && wanted && audio.state !== 'running') audio.resume();
  };

  // ---- files dropped on the page -------------------------------------------------------------

  const dropped = [];
  web.addDropped = function (file) { dropped.push(file); return dropped.length - 1; };
  web.droppedSize = function (id) { return dropped[id] ? dropped[id].size : -1; };
  web.droppedRead = function (id, position, want, chunk, answer) {
    const done = (value) => {
      Atomics.store(HEAP32, answer >> 2, value);
      Atomics.notify(HEAP32, answer >> 2);
    };
    const file = dropped[id];
    if (!file) { done(-1); return; }
    file.slice(position, position + want).arrayBuffer().then((data) => {
      HEAPU8.set(new Uint8Array(data), chunk);
      done(data.byteLength + 1);
    }, () => done(-1));
  };

  // ---- the menu's windows --------------------------------------------------------------------

  const desktop = $('desktop');
  const elements = {};
  // In front of the others by its stacking order: moving the element would lose a click that
  // is under way on it.
  let topmost = 0;
  const front = (win) => { win.style.zIndex = ++topmost; };
  let active = 0; // the dialog in front, which the keys go to
  web.desktopSize = function () {
    return Math.min(desktop.clientWidth, 0x7FFF) << 16 | Math.min(desktop.clientHeight, 0xFFFF);
  };
  web.uiReset = function () {
    for (const h in elements) if (elements[h].classList.contains('window')) elements[h].remove();
    for (const h in elements) delete elements[h];
    active = 0;
  };
  const fonts = {System: 'bold 13px sans-serif', 'Courier New': '11px monospace',
                 'Times New Roman': '13px serif'};
  web.uiDialog = function (h, caption, font, points, x, y, w, height) {
    const win = document.createElement('div');
    win.className = 'window';
    win.hidden = true;
    win.dataset.handle = h;
    win.innerHTML = '<div class="caption"><span></span><button class="close" tabindex="-1">' +
      '\u2715</button></div><div class="client"><canvas></canvas></div>';
    win.querySelector('.caption span').textContent = caption;
    win.querySelector('.client').style.font = fonts[font] || (points + 'pt sans-serif');
    win.querySelector('.close').onclick = () => Module._web_ui_event(3, h, 0);
    win.addEventListener('mousedown', () => {
      if (active !== h) { active = h; Module._web_ui_event(4, h, 0); }
      front(win);
    });
    elements[h] = win;
    desktop.appendChild(win);
    web.uiMove(h, x, y, w, height);
  };
  web.uiControl = function (h, parent, kind, text, x, y, w, height, style, exstyle, icon, size) {
    let e;
    if (kind === 0) {
      e = document.createElement('button');
      e.tabIndex = -1;
      e.onclick = () => Module._web_ui_event(1, h, 0);
    } else if (kind === 2) {
      e = document.createElement('textarea');
      e.readOnly = true;
      e.wrap = 'off';
      e.value = text;
    } else if (kind === 3) {
      e = document.createElement('canvas');
      if (size) {
        e.width = e.height = size;
        const pixels = new Uint8ClampedArray(HEAPU8.slice(icon, icon + size * size * 4));
        e.getContext('2d').putImageData(new ImageData(pixels, size, size), 0, 0);
      }
      if (exstyle & 0x200) e.classList.add('sunken');
    } else {
      e = document.createElement('span');
    }
    if (kind === 0 || kind === 1) e.textContent = text;
    e.classList.add('control');
    e.dataset.handle = h;
    e.hidden = !(style & 0x10000000);
    elements[h] = e;
    elements[parent].querySelector('.client').appendChild(e);
    web.uiMove(h, x, y, w, height);
  };
  web.uiMove = function (h, x, y, w, height) {
    const e = elements[h];
    if (!e) return;
    e.style.left = x + 'px';
    e.style.top = y + 'px';
    e.style.width = w + 'px';
    e.style.height = height + 'px';
    if (e.classList.contains('window')) {
      // The frame of the original: 3 pixels each side and a 19-pixel caption.
      const client = e.querySelector('.client');
      client.style.width = Math.max(w - 6, 0) + 'px';
      client.style.height = Math.max(height - 25, 0) + 'px';
    }
  };
  web.uiShow = function (h, visible) {
    const e = elements[h];
    if (!e) return;
    e.hidden = !visible;
    if (visible && e.classList.contains('window')) {
      front(e);
      active = h;
    }
  };
  web.uiEnable = function (h, enable) { if (elements[h]) elements[h].disabled = !enable; };
  web.uiText = function (h, text) {
    const e = elements[h];
    if (!e) return;
    if (e.classList.contains('window')) e.querySelector('.caption span').textContent = text;
    else if (e.tagName === 'TEXTAREA') e.value = text;
    else if (e.tagName !== 'CANVAS') e.textContent = text;
  };
  web.uiDestroy = function (h) {
    if (elements[h]) elements[h].remove();
    delete elements[h];
    if (active === h) active = 0;
  };
  web.uiFocus = function (h, top) {
    for (const e of desktop.querySelectorAll('.focus')) e.classList.remove('focus');
    if (elements[h] && h !== top) elements[h].classList.add('focus');
    if (elements[top]) active = top;
  };
  web.uiColour = function (h, rgb) {
    if (elements[h]) elements[h].style.backgroundColor = '#' + rgb.toString(16).padStart(6, '0');
  };
  web.uiPaint = function (h, pointer, w, height) {
    const e = elements[h];
    if (!e || !w || !height) return;
    const canvas = e.querySelector('.client > canvas');
    canvas.width = w;
    canvas.height = height;
    const pixels = new Uint8ClampedArray(HEAPU8.slice(pointer, pointer + w * height * 4));
    canvas.getContext('2d').putImageData(new ImageData(pixels, w, height), 0, 0);
  };

  // ---- the page's events ---------------------------------------------------------------------

  document.addEventListener('keydown', (e) => {
    if (e.ctrlKey || e.metaKey || e.altKey) return;
    web.resumeSound();
    if (playerShown) {
      const vk = virtualKey(e), ch = controlCharacters[e.key] || 0;
      Module._web_player_key(vk, ch);
      if (e.key.length === 1) Module._web_player_char(e.key.codePointAt(0));
      e.preventDefault();
      return;
    }
    if (boxKey(e)) { e.preventDefault(); return; }
    if (web.onKey && web.onKey(e)) { e.preventDefault(); return; }
    const vk = virtualKey(e);
    if (active && elements[active] && vk && e.target.tagName !== 'TEXTAREA') {
      Module._web_ui_event(2, active, vk);
      e.preventDefault();
    }
  });
  document.addEventListener('pointerdown', () => web.resumeSound());
  document.addEventListener('visibilitychange', () => {
    if (playerShown) Module._web_player_active(document.visibilityState === 'visible' ? 1 : 0);
  });
  return web;
})();
