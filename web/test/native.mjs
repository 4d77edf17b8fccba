// The native tool, which the WebAssembly module must match byte for byte,
// and the files the tests pass between the two.
import { spawnSync } from "node:child_process";
import { createHash } from "node:crypto";
import { existsSync, mkdirSync, readFileSync, writeFileSync } from "node:fs";
import { dirname, join, resolve } from "node:path";
import { fileURLToPath } from "node:url";

export const ROOT = resolve(dirname(fileURLToPath(import.meta.url)), "../..");
export const SAMPLE = join(ROOT, "samples/kodim23.png");
export const TOOL = process.env.QUARN_TOOL ?? join(ROOT, "build/tools/quarn");
// Scratch files, inside the build tree.
export const WORK = join(ROOT, "build/web/test");

export function workFile(name) {
  mkdirSync(WORK, { recursive: true });
  return join(WORK, name);
}

export function toolMissing() {
  return existsSync(TOOL) ? "" : `${TOOL} is missing: build it first (./test.sh or cmake --build build --target quarn)`;
}

// Runs the tool; returns { status, stdout, stderr }.
export function run(...args) {
  const r = spawnSync(TOOL, args, { encoding: "utf8", stdio: ["ignore", "pipe", "pipe"] });
  if (r.error) throw r.error;
  return { status: r.status, stdout: r.stdout, stderr: r.stderr };
}

// Runs the tool, throwing on a failed run.
export function quarn(...args) {
  const r = run(...args);
  if (r.status !== 0) throw new Error(`quarn ${args.join(" ")} failed (${r.status}): ${r.stderr}`);
  return r;
}

// The option that keeps the tool to its scalar kernels.
export function scalarOption() {
  const help = quarn("decode", "--help").stdout;
  return help.includes("--isa") ? ["--isa", "scalar"] : ["--no-simd"];
}

export const sha256 = (bytes) => createHash("sha256").update(bytes).digest("hex");

export function writePpm(path, width, height, rgba) {
  const header = Buffer.from(`P6\n${width} ${height}\n255\n`, "latin1");
  const rgb = Buffer.alloc(width * height * 3);
  for (let i = 0, j = 0; j < rgb.length; i += 4, j += 3) {
    rgb[j] = rgba[i];
    rgb[j + 1] = rgba[i + 1];
    rgb[j + 2] = rgba[i + 2];
  }
  writeFileSync(path, Buffer.concat([header, rgb]));
}

// A PPM file as the tool writes it: "P6\nW H\n255\n" and packed RGB.
export function readPpm(path) {
  const data = readFileSync(path);
  const match = /^P6\s+(\d+)\s+(\d+)\s+255\s/.exec(data.toString("latin1", 0, 64));
  if (!match) throw new Error(`${path}: not a PPM file as the tool writes them`);
  return { width: Number(match[1]), height: Number(match[2]), rgb: data.subarray(match[0].length) };
}

// The RGB bytes of 4-byte pixels, for comparing with a PPM.
export function rgbOf(rgba) {
  const rgb = Buffer.alloc((rgba.length / 4) * 3);
  for (let i = 0, j = 0; j < rgb.length; i += 4, j += 3) {
    rgb[j] = rgba[i];
    rgb[j + 1] = rgba[i + 1];
    rgb[j + 2] = rgba[i + 2];
  }
  return rgb;
}

// The tool's decoding of `file` (a path), at `rate` bits per pixel or whole.
export function nativeDecode(file, rate = null, extra = []) {
  const out = workFile("native-decode.ppm");
  const args = ["decode", file, out, ...(rate === null ? [] : ["-b", String(rate)]), ...extra];
  const { stderr } = quarn(...args);
  return { ...readPpm(out), stderr };
}
