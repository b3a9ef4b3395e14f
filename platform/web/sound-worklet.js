// The player's sound in the audio context's own thread: each render quantum takes the next
// unsigned 8-bit mono bytes from the ring that the module's feeder keeps ahead, silence where it
// has none, and moves the counters on (the feeder waits on the frame count).
/* global registerProcessor, AudioWorkletProcessor */
class FilmoSound extends AudioWorkletProcessor {
  constructor() {
    super();
    this.port.onmessage = (e) => {
      const {memory, ring, size} = e.data;
      this.words = new Int32Array(memory, ring, 4); // state, written, taken, rendered
      this.bytes = new Uint8Array(memory, ring + 16, size);
      this.mask = size - 1;
    };
  }
  process(inputs, outputs) {
    const out = outputs[0][0];
    if (!this.words) return true;
    const w = this.words;
    const written = Atomics.load(w, 1) >>> 0;
    let taken = Atomics.load(w, 2) >>> 0;
    const have = Math.min((written - taken) >>> 0, out.length);
    for (let i = 0; i < have; i++) out[i] = (this.bytes[(taken + i) & this.mask] - 128) / 128;
    for (let i = have; i < out.length; i++) out[i] = 0;
    taken = (taken + have) >>> 0;
    Atomics.store(w, 2, taken | 0);
    Atomics.store(w, 3, (Atomics.load(w, 3) + out.length) | 0);
    Atomics.notify(w, 3);
    return true;
  }
}
registerProcessor('filmo-sound', FilmoSound);
