// The WebAssembly module against the native tool: the same stream bytes from
// the same pixels, the same pixels from every prefix, the same header, and
// refusals as Errors that leave the module usable.
import assert from "node:assert/strict";
import { spawnSync } from "node:child_process";
import { existsSync, readFileSync, writeFileSync } from "node:fs";
import { join } from "node:path";
import { before, describe, test } from "node:test";

import createQuarn from "../dist/quarn.mjs";
import {
  ROOT, SAMPLE, nativeDecode, quarn as tool, rgbOf, run, sha256, toolMissing, workFile, writePpm,
} from "./native.mjs";
import { readPng } from "./png.mjs";

let quarn;

before(async () => {
  assert.equal(toolMissing(), "");
  quarn = await createQuarn();
});

// Encodes with both and checks that the bytes agree; returns the file's path.
function encodeBoth(name, width, height, rgba, bitrate, input = null) {
  const source = input ?? workFile(`${name}.ppm`);
  if (!input) writePpm(source, width, height, rgba);
  const coded = workFile(`${name}.qrn`);
  tool("encode", source, coded, "-b", String(bitrate));
  const mine = quarn.encode(rgba, width, height, bitrate);
  assert.ok(mine instanceof Uint8Array);
  assert.equal(sha256(mine), sha256(readFileSync(coded)), `${name}: stream at ${bitrate} bpp`);
  return { path: coded, bytes: mine };
}

// Decodes with both, whole and at each rate, and compares the pixels.
function decodeBoth(name, coded, rates) {
  const whole = quarn.decode(coded.bytes);
  const native = nativeDecode(coded.path);
  assert.equal(whole.width, native.width);
  assert.equal(whole.height, native.height);
  assert.ok(whole.rgba instanceof Uint8ClampedArray);
  assert.equal(whole.rgba.length, whole.width * whole.height * 4);
  assert.ok(whole.rgba.every((v, i) => i % 4 !== 3 || v === 255), `${name}: alpha is 255`);
  assert.equal(sha256(rgbOf(whole.rgba)), sha256(native.rgb), `${name}: whole stream`);
  for (const rate of rates) {
    const mine = quarn.decode(coded.bytes, rate);
    assert.equal(sha256(rgbOf(mine.rgba)), sha256(nativeDecode(coded.path, rate).rgb), `${name}: prefix at ${rate} bpp`);
  }
  return whole;
}

// Deterministic pixels: a smooth field with edges and some noise.
function synthetic(width, height, seed) {
  const rgba = new Uint8Array(width * height * 4);
  let s = seed >>> 0;
  const noise = () => ((s = (Math.imul(s, 1664525) + 1013904223) >>> 0) >>> 27);
  for (let y = 0; y < height; ++y) {
    for (let x = 0; x < width; ++x) {
      const i = (y * width + x) * 4;
      const edge = (x * 7 + y * 3) % 97 < 40 ? 60 : 0;
      rgba[i] = (128 + 100 * Math.sin(x / 9 + seed) + edge + noise()) & 255;
      rgba[i + 1] = Math.min(255, Math.round((255 * y) / height) + noise());
      rgba[i + 2] = ((x ^ y) & 0x3f) * 3 + edge;
      rgba[i + 3] = noise() * 8; // ignored by the codec
    }
  }
  return rgba;
}

describe("the sample photo", () => {
  test("codes to the tool's stream and decodes to its pixels, whole and at three prefixes", () => {
    const png = readPng(readFileSync(SAMPLE));
    const coded = encodeBoth("kodim23", png.width, png.height, png.rgba, 0.5, SAMPLE);
    assert.equal(coded.bytes.length, 24579);
    decodeBoth("kodim23", coded, [0.05, 0.2, 0.37]);

    // A prefix of the file decodes as the whole of a file of that length,
    // and as the file decoded at the rate that covers it.
    const short = encodeBoth("kodim23-0.2", png.width, png.height, png.rgba, 0.2, SAMPLE);
    const prefix = quarn.decode(coded.bytes.subarray(0, short.bytes.length));
    assert.equal(sha256(prefix.rgba), sha256(quarn.decode(coded.bytes, 0.2).rgba));
    assert.equal(sha256(rgbOf(prefix.rgba)), sha256(nativeDecode(short.path).rgb));
  });
});

describe("synthetic images of awkward sizes", () => {
  const sizes = [[32, 32], [33, 97], [257, 35], [1000, 33], [45, 600], [129, 130]];
  for (const [width, height] of sizes) {
    test(`${width} x ${height}`, () => {
      const rgba = synthetic(width, height, width * 31 + height);
      const name = `synthetic-${width}x${height}`;
      const coded = encodeBoth(name, width, height, rgba, 1.5);
      decodeBoth(name, coded, [0.25, 0.4, 0.9]);
    });
  }

  test("alpha is ignored", () => {
    const rgba = synthetic(64, 48, 5);
    const opaque = rgba.map((v, i) => (i % 4 === 3 ? 255 : v));
    assert.equal(sha256(quarn.encode(rgba, 64, 48, 1)), sha256(quarn.encode(opaque, 64, 48, 1)));
  });
});

describe("info", () => {
  test("gives what the tool's info shows", () => {
    const png = readPng(readFileSync(SAMPLE));
    const coded = quarn.encode(png.rgba, png.width, png.height, 0.25);
    const path = workFile("kodim23-0.25.qrn");
    writeFileSync(path, coded);
    const text = tool("info", path).stdout;
    const field = (label) => new RegExp(`^${label}:\\s+(.*)$`, "m").exec(text)[1];
    const info = quarn.info(coded);
    assert.equal(`${info.width} x ${info.height}`, field("size"));
    assert.equal(info.streamBytes, Number(field("stream bytes").split(" ")[0]));
    assert.equal(info.streamBytes, coded.length - 4);
    assert.equal(info.bitsPerPixel, (info.streamBytes * 8) / (info.width * info.height));
    assert.equal(info.topExponent, Number(field("top exponent")));
    assert.deepEqual(info.means, field("means").split(" ").map(Number));
    const rows = text.slice(text.indexOf("colour matrix:") + 14).trim().split("\n");
    assert.deepEqual(
      info.matrix.map((row) => row.map((v) => v.toFixed(4)).join(" ")),
      rows.map((row) => row.trim().split(/\s+/).join(" ")),
    );
    // The header alone is enough.
    assert.deepEqual(quarn.info(coded.subarray(0, 31)), { ...info, streamBytes: 27, bitsPerPixel: (27 * 8) / (768 * 512) });
  });
});

describe("refusals", () => {
  const codecError = (e) => {
    assert.ok(e instanceof Error, `an Error, not ${e}`);
    assert.notEqual(e.constructor, WebAssembly.RuntimeError);
    assert.match(e.message, /\w/);
    assert.doesNotMatch(e.message, /undefined|abort|unreachable/i);
    return true;
  };

  // The tool's one line for a refused file, less its "quarn: FILE: ".
  const toolSays = (path, ...args) => {
    const { status, stderr } = run(...args);
    assert.equal(status, 1);
    return stderr.trim().slice(`quarn: ${path}: `.length);
  };

  test("bad images and rates", () => {
    const small = synthetic(10, 10, 1);
    assert.throws(() => quarn.encode(small, 10, 10, 0.5), codecError);
    const path = workFile("small.ppm");
    writePpm(path, 10, 10, small);
    assert.throws(() => quarn.encode(small, 10, 10, 0.5), {
      message: toolSays(path, "encode", path, workFile("small.qrn")),
    });
    const image = synthetic(40, 40, 2);
    for (const rate of [0, -1, NaN, Infinity, 1000, 1e-6]) {
      assert.throws(() => quarn.encode(image, 40, 40, rate), codecError, `rate ${rate}`);
    }
    const low = workFile("low.ppm");
    writePpm(low, 40, 40, image);
    assert.throws(() => quarn.encode(image, 40, 40, 0.01), {
      message: toolSays(low, "encode", low, workFile("low.qrn"), "-b", "0.01"),
    });
    assert.throws(() => quarn.encode(image, 40, 41, 1), RangeError);
    assert.throws(() => quarn.encode(image, 40.5, 40, 1), RangeError);
    assert.throws(() => quarn.encode([1, 2, 3], 1, 1, 1), TypeError);
    assert.throws(() => quarn.encode(image, 40, 40, "1"), TypeError);
  });

  test("damaged and truncated streams", () => {
    const good = quarn.encode(synthetic(64, 64, 3), 64, 64, 2);
    const damaged = good.slice();
    damaged[4] = "m".charCodeAt(0); // the stream's first byte
    const resized = good.slice();
    resized[1] = 65; // a width the header does not hold
    const path = workFile("damaged.qrn");
    writeFileSync(path, damaged);
    assert.throws(() => quarn.decode(damaged), { message: toolSays(path, "info", path) });
    for (const [what, bytes] of [
      ["empty", new Uint8Array(0)],
      ["the size prefix alone", good.subarray(0, 4)],
      ["short of the header", good.subarray(0, 30)],
      ["a damaged first byte", damaged],
      ["sizes that disagree", resized],
      ["zeros", new Uint8Array(1000)],
    ]) {
      assert.throws(() => quarn.decode(bytes), codecError, what);
      assert.throws(() => quarn.info(bytes), codecError, what);
    }
    for (const rate of [-1, NaN, Infinity]) {
      assert.throws(() => quarn.decode(good, rate), codecError, `rate ${rate}`);
    }
    assert.throws(() => quarn.decode("n"), TypeError);
  });

  test("a rate beyond the stream's end decodes the whole stream", () => {
    const good = quarn.encode(synthetic(64, 64, 4), 64, 64, 1);
    assert.equal(sha256(quarn.decode(good, 3).rgba), sha256(quarn.decode(good).rgba));
  });

  test("any damage gives a picture or an Error, and the module carries on", () => {
    const rgba = synthetic(96, 64, 6);
    const good = quarn.encode(rgba, 96, 64, 3);
    const expected = sha256(quarn.decode(good).rgba);
    let s = 12345;
    const next = (n) => (s = (Math.imul(s, 1103515245) + 12345) >>> 0) % n;
    for (let i = 0; i < 300; ++i) {
      const bytes = good.slice(0, next(good.length + 1));
      for (let k = next(6); k > 0 && bytes.length; --k) bytes[next(bytes.length)] = next(256);
      try {
        const image = quarn.decode(bytes, [0, 0.5, 2, 8][next(4)]);
        assert.equal(image.rgba.length, image.width * image.height * 4);
      } catch (e) {
        codecError(e);
      }
    }
    assert.equal(sha256(quarn.decode(good).rgba), expected);
  });
});

describe("the package", () => {
  test("carries the module, its core and its types at the paths it exports", () => {
    const web = join(ROOT, "web");
    const pkg = JSON.parse(readFileSync(join(web, "package.json"), "utf8"));
    assert.equal(pkg.version, quarn.version);
    assert.match(tool("--version").stdout, /^quarn \d+\.\d+\.\d+/);
    const packed = spawnSync("npm", ["pack", "--dry-run", "--json"], { cwd: web, encoding: "utf8" });
    assert.equal(packed.status, 0, packed.stderr);
    const files = JSON.parse(packed.stdout)[0].files.map((f) => f.path).sort();
    assert.deepEqual(files, ["dist/quarn-core.mjs", "dist/quarn.d.ts", "dist/quarn.mjs", "package.json"]);
    for (const path of [pkg.exports["."].default, pkg.exports["."].types, pkg.types]) {
      assert.ok(existsSync(join(web, path)), path);
    }
  });
});
