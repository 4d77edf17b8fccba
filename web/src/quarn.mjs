// quarn in JavaScript: the codec compiled to WebAssembly behind four calls.
//
//   import createQuarn from "quarn";
//   const quarn = await createQuarn();
//   const file = quarn.encode(rgba, width, height, 0.5);   // Uint8Array
//   const { width, height, rgba } = quarn.decode(file);    // any prefix too
//
// Each call copies its input into the module's memory and its result out of
// it, so nothing returned aliases memory the module may reuse or grow.
import createCore from "./quarn-core.mjs";

const INFO_FIELDS = 17;

function checkBytes(bytes, name) {
  if (!(bytes instanceof Uint8Array || bytes instanceof Uint8ClampedArray)) {
    throw new TypeError(`${name} must be a Uint8Array`);
  }
}

function checkSide(value, name) {
  if (!Number.isInteger(value) || value < 0 || value > 0x7fffffff) {
    throw new RangeError(`${name} must be a non-negative integer, not ${value}`);
  }
}

function checkRate(value) {
  if (typeof value !== "number") throw new TypeError("bitrate must be a number");
}

export default async function createQuarn() {
  const core = await createCore();
  const heap = () => core.HEAPU8;
  const fail = () => new Error(core.UTF8ToString(core._qw_message()));
  if (core._qw_init() !== 0) throw fail();
  // Four words for the out-parameters of every call (pointer, size, width,
  // height) and the header's fields, allocated once.
  const slots = core._malloc(16 + INFO_FIELDS * 8);
  const fields = slots + 16;
  if (!slots) throw new Error("out of memory");

  const word = (i) => core.HEAPU32[(slots >> 2) + i];

  // Copies `bytes` into new module memory and runs `use` on the pointer.
  function withCopy(bytes, use) {
    const ptr = core._malloc(Math.max(bytes.length, 1));
    if (!ptr) throw new Error("out of memory");
    try {
      heap().set(bytes, ptr);
      return use(ptr);
    } finally {
      core._free(ptr);
    }
  }

  // Takes the block the codec allocated: a copy of its first `length` bytes.
  function take(ptr, length, Type) {
    try {
      return new Type(heap().slice(ptr, ptr + length).buffer);
    } finally {
      core._quarn_free(ptr);
    }
  }

  function encode(rgba, width, height, bitrate) {
    checkBytes(rgba, "rgba");
    checkSide(width, "width");
    checkSide(height, "height");
    checkRate(bitrate);
    if (rgba.length < width * height * 4) {
      throw new RangeError(`rgba holds ${rgba.length} bytes; ${width} x ${height} pixels need ${width * height * 4}`);
    }
    return withCopy(rgba.subarray(0, width * height * 4), (ptr) => {
      const code = core._qw_encode(ptr, width, height, bitrate, slots, slots + 4);
      if (code !== 0) throw fail();
      return take(word(0), word(1), Uint8Array);
    });
  }

  function decode(bytes, bitrate = 0) {
    checkBytes(bytes, "bytes");
    checkRate(bitrate);
    return withCopy(bytes, (ptr) => {
      const code = core._qw_decode(ptr, bytes.length, bitrate, slots, slots + 8, slots + 12);
      if (code !== 0) throw fail();
      const width = word(2);
      const height = word(3);
      return { width, height, rgba: take(word(0), width * height * 4, Uint8ClampedArray) };
    });
  }

  function info(bytes) {
    checkBytes(bytes, "bytes");
    return withCopy(bytes, (ptr) => {
      const code = core._qw_info(ptr, bytes.length, fields);
      if (code !== 0) throw fail();
      const f = Array.from(core.HEAPF64.subarray(fields >> 3, (fields >> 3) + INFO_FIELDS));
      return {
        width: f[0],
        height: f[1],
        streamBytes: f[2],
        bitsPerPixel: f[3],
        topExponent: f[4],
        means: f.slice(5, 8),
        matrix: [f.slice(8, 11), f.slice(11, 14), f.slice(14, 17)],
      };
    });
  }

  // A trap inside the module (an internal fault, or memory that cannot
  // grow) leaves its state in doubt: this instance then refuses every call.
  let stopped = null;
  const guard = (call) => (...args) => {
    if (stopped) throw new Error(`the codec stopped after an earlier fault (${stopped}); create a new instance`);
    try {
      return call(...args);
    } catch (e) {
      if (!(e instanceof WebAssembly.RuntimeError)) throw e;
      stopped = e.message;
      throw new Error(`the codec stopped: ${e.message}`, { cause: e });
    }
  };

  return Object.freeze({
    version: core.UTF8ToString(core._quarn_version()),
    encode: guard(encode),
    decode: guard(decode),
    info: guard(info),
  });
}
