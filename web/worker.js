// The codec's thread: the page posts requests, this answers each with the
// same id. It keeps the stream file being viewed, so that decoding a prefix
// sends only a byte count.
import createQuarn from "./dist/quarn.mjs";

const codec = createQuarn();
let file = null;

const handlers = {
  hello(quarn) {
    return { version: quarn.version };
  },

  // A stream file to view: its header, read without decoding.
  open(quarn, { bytes }) {
    const data = new Uint8Array(bytes);
    const info = quarn.info(data);
    file = data;
    return { info, size: data.length };
  },

  // The first `bytes` bytes of the file being viewed.
  decode(quarn, { bytes }) {
    if (!file) throw new Error("no stream is open");
    const start = performance.now();
    const image = quarn.decode(file.subarray(0, Math.max(0, Math.min(bytes, file.length))));
    const ms = performance.now() - start;
    return [{ width: image.width, height: image.height, rgba: image.rgba, ms }, [image.rgba.buffer]];
  },

  // Pixels to code at `bitrate`; the coded file and its decoded picture back.
  encode(quarn, { rgba, width, height, bitrate }) {
    const start = performance.now();
    const coded = quarn.encode(new Uint8Array(rgba), width, height, bitrate);
    const encodeMs = performance.now() - start;
    const image = quarn.decode(coded);
    const decodeMs = performance.now() - encodeMs - start;
    return [
      { coded, rgba: image.rgba, width, height, encodeMs, decodeMs },
      [coded.buffer, image.rgba.buffer],
    ];
  },

  // Times of decoding the whole open file `runs` times, in milliseconds.
  bench(quarn, { runs }) {
    if (!file) throw new Error("no stream is open");
    const times = [];
    for (let i = 0; i < runs; ++i) {
      const start = performance.now();
      quarn.decode(file);
      times.push(performance.now() - start);
    }
    return { times };
  },
};

self.onmessage = async ({ data }) => {
  const { id, op } = data;
  try {
    const quarn = await codec;
    const handler = handlers[op];
    if (!handler) throw new Error(`unknown request '${op}'`);
    const answer = handler(quarn, data);
    const [result, transfer] = Array.isArray(answer) ? answer : [answer, []];
    self.postMessage({ id, result }, transfer);
  } catch (e) {
    // A trap inside the module leaves its memory in doubt: the page then
    // starts a new worker.
    const crashed = !(e instanceof Error) || e instanceof WebAssembly.RuntimeError ||
      e.cause instanceof WebAssembly.RuntimeError;
    self.postMessage({ id, error: e instanceof Error ? e.message : String(e), crashed });
  }
};
