// Type declarations for quarn.mjs.

/** A decoded picture: `width` x `height` pixels, 4 bytes each (R, G, B, 255). */
export interface QuarnImage {
  width: number;
  height: number;
  rgba: Uint8ClampedArray;
}

/** What a coded file's header says, read without decoding. */
export interface QuarnInfo {
  width: number;
  height: number;
  /** Bytes of stream behind the 4-byte size prefix. */
  streamBytes: number;
  /** streamBytes x 8 / (width x height). */
  bitsPerPixel: number;
  /** Coding starts at the threshold 2^topExponent. */
  topExponent: number;
  /** The colour means the stream carries, one per plane. */
  means: [number, number, number];
  /** The colour matrix, row by row: plane e is the pixels less the means projected onto row e. */
  matrix: [[number, number, number], [number, number, number], [number, number, number]];
}

/**
 * Every call throws an Error carrying the codec's message for input it
 * refuses, and a TypeError or RangeError for arguments of the wrong kind.
 * Should the module itself fault (for instance when its memory cannot grow
 * any more), the Error's `cause` is the WebAssembly.RuntimeError and the
 * instance refuses every later call: create a new one.
 */
export interface Quarn {
  /** The codec's version, e.g. "0.2.0". */
  readonly version: string;
  /**
   * Encodes `width` x `height` pixels of 4 bytes each (alpha is ignored) at
   * `bitrate` bits per pixel. Returns the coded file: the 4-byte size prefix
   * and the stream, exactly as `quarn encode` writes it.
   * @throws Error with the codec's message when the image or rate is refused.
   */
  encode(rgba: Uint8Array | Uint8ClampedArray, width: number, height: number, bitrate: number): Uint8Array;
  /**
   * Decodes a coded file or any prefix of it that holds the whole header.
   * A `bitrate` of 0 reads all the bytes given; a positive one reads only the
   * prefix that rate covers.
   * @throws Error with the codec's message when the bytes cannot be decoded.
   */
  decode(bytes: Uint8Array, bitrate?: number): QuarnImage;
  /**
   * Reads a coded file's header without decoding it.
   * @throws Error with the codec's message when the bytes hold no valid header.
   */
  info(bytes: Uint8Array): QuarnInfo;
}

/** Loads the codec (its WebAssembly is embedded: nothing is fetched). */
export default function createQuarn(): Promise<Quarn>;
