// The player's sound in the audio context's own thread: each render quantum takes the next
// unsigned 8-bit mono bytes from the ring that the module's feeder keeps ahead, silence where it
// has none. The device asks for a buffer at a time, a few quanta one right after the other: at
// the first quantum of each the worklet notes what it had taken and wakes the feeder.
/* global registerProcessor, AudioWorkletProcessor */
const WRITTEN = 1, TAKEN = 2, BURSTS = 3, BURST_TAKEN = 4, STARVED = 6, LIVE = 7, LIVE_FROM = 8;
const FIELDS = 9;

class FilmoSound extends AudioWorkletProcessor {
  constructor() {
    super();
    this.last = 0;
    this.port.onmessage = (e) => {
      const {memory, ring, size} = e.data;
      this.words = new Int32Array(memory, ring, FIELDS);
      this.bytes = new Uint8Array(memory, ring + 4 * FIELDS, size);
      this.mask = size - 1;
    };
  }
  process(inputs, outputs) {
    const out = outputs[0][0];
    if (!this.words) return true;
    const w = this.words;
    // The quanta of one buffer come within a millisecond; buffers are many milliseconds apart.
    const now = Date.now(), first = now - this.last >= 2;
    this.last = now;
    const written = Atomics.load(w, WRITTEN) >>> 0;
    let taken = Atomics.load(w, TAKEN) >>> 0;
    if (first) Atomics.store(w, BURST_TAKEN, taken | 0);
    const have = Math.min((written - taken) >>> 0, out.length);
    for (let i = 0; i < have; i++) out[i] = (this.bytes[(taken + i) & this.mask] - 128) / 128;
    for (let i = have; i < out.length; i++) out[i] = 0;
    // A short ring in the middle of a sound is a feeder that came late: a gap in the sound.
    const live = Atomics.load(w, LIVE) && ((taken - Atomics.load(w, LIVE_FROM)) | 0) >= 0;
    if (have < out.length && live) Atomics.add(w, STARVED, 1);
    taken = (taken + have) >>> 0;
    Atomics.store(w, TAKEN, taken | 0);
    if (first) {
      Atomics.add(w, BURSTS, 1);
      Atomics.notify(w, BURSTS);
    }
    return true;
  }
}
registerProcessor('filmo-sound', FilmoSound);
