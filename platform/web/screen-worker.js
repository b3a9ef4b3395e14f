// The player's canvas, drawn off the page's main thread: the module posts each picture (RGBA in
// its shared memory) through a few words there, this worker copies it onto the canvas that the
// page scales, and says so, after which the module may write the next one. Nothing of the page's
// own work stands between the player and its pictures, and the page does none per picture.
/* global Atomics */
'use strict';
// The words of the post, as platform/web/screen.cpp lays them out.
const POSTED = 0, SHOWN = 1, KIND = 2, POINTER = 3, WIDTH = 4, HEIGHT = 5, FIELDS = 6;
const PICTURE = 1, CLEAR = 2;
// Where waiting for a word without blocking is missing: a look every few milliseconds.
const POLL_MS = 4;

let canvas = null, context = null, memory = null, words = null, serving = false;
// The picture as the canvas takes it: the module's memory is shared, which a canvas refuses.
let image = null, imageBytes = null;

onmessage = (e) => {
  if (e.data.canvas) {
    canvas = e.data.canvas;
    context = canvas.getContext('2d', {alpha: false});
  }
  if (e.data.memory) {
    memory = e.data.memory;
    words = new Int32Array(memory, e.data.post, FIELDS);
  }
  if (canvas && words && !serving) {
    serving = true;
    wait(Atomics.load(words, SHOWN));
  }
};

function wait(shown) {
  if (Atomics.load(words, POSTED) !== shown) {
    show();
  } else if (Atomics.waitAsync) {
    const result = Atomics.waitAsync(words, POSTED, shown);
    if (result.async) result.value.then(show);
    else show();
  } else {
    setTimeout(show, POLL_MS);
  }
}

function show() {
  const posted = Atomics.load(words, POSTED);
  if (posted !== Atomics.load(words, SHOWN)) {
    const w = words[WIDTH], h = words[HEIGHT];
    // A canvas that changes its size starts black.
    if (w > 0 && h > 0 && (canvas.width !== w || canvas.height !== h)) {
      canvas.width = w;
      canvas.height = h;
    }
    if (words[KIND] === PICTURE && w === canvas.width && h === canvas.height) {
      if (!image || image.width !== w || image.height !== h) {
        image = new ImageData(w, h);
        imageBytes = new Uint8Array(image.data.buffer);
      }
      const pointer = words[POINTER] >>> 0;
      // Bytes to bytes: between arrays of two kinds the copy would go element by element.
      imageBytes.set(new Uint8Array(memory, pointer, w * h * 4));
      context.putImageData(image, 0, 0);
    } else if (words[KIND] === CLEAR) {
      context.fillStyle = '#000';
      context.fillRect(0, 0, canvas.width, canvas.height);
    }
    Atomics.store(words, SHOWN, posted);
    Atomics.notify(words, SHOWN);
  }
  wait(posted);
}
