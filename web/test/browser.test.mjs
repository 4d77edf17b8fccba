// The page in headless Chromium: it encodes the sample photo to the tool's
// bytes, shows a stream arriving and every prefix as the tool decodes it,
// refuses damaged files with a message, and times its decoding against the
// tool's scalar kernels. Leaves screenshots and the times in build/web/.
import assert from "node:assert/strict";
import { mkdtempSync, readFileSync, rmSync, writeFileSync } from "node:fs";
import { loadavg, tmpdir } from "node:os";
import { join } from "node:path";
import { after, before, test } from "node:test";

import puppeteer from "puppeteer-core";

import { startServer } from "../server.mjs";
import {
  ROOT, SAMPLE, nativeDecode, quarn as tool, rgbOf, run, scalarOption, sha256, toolMissing, workFile,
} from "./native.mjs";
import { readPng } from "./png.mjs";

const CHROMIUM = process.env.CHROMIUM ?? "/usr/bin/chromium";
const OUT = join(ROOT, "build/web");

let server;
let browser;
let page;
let profile;

before(async () => {
  assert.equal(toolMissing(), "");
  let url;
  ({ server, url } = await startServer({ port: 0 }));
  profile = mkdtempSync(join(tmpdir(), "quarn-chromium-"));
  browser = await puppeteer.launch({
    executablePath: CHROMIUM,
    headless: true,
    userDataDir: profile,
    // The machine's network is closed: no background connections.
    args: [
      "--no-sandbox", "--disable-gpu", "--disable-quic", "--no-first-run",
      "--disable-background-networking", "--disable-component-update", "--disable-sync",
    ],
  });
  page = await browser.newPage();
  const problems = [];
  page.on("pageerror", (e) => problems.push(e.message));
  page.on("requestfailed", (r) => problems.push(`${r.url()}: ${r.failure()?.errorText}`));
  page.problems = problems;
  await page.setViewport({ width: 1280, height: 900 });
  await page.goto(url);
  await page.waitForSelector("body[data-ready]", { timeout: 30000 });
  // Every picture the viewer shows, in order.
  await page.evaluate(() => {
    window.shownBytes = [];
    document.addEventListener("quarn:shown", (e) => window.shownBytes.push(e.detail));
  });
});

after(async () => {
  if (page) assert.deepEqual(page.problems, [], "the page ran without errors");
  await browser?.close();
  server?.close();
  if (profile) rmSync(profile, { recursive: true, force: true });
});

// The RGB bytes on a canvas.
async function canvasRgb(id) {
  const base64 = await page.evaluate((id) => {
    const canvas = document.getElementById(id);
    const data = canvas.getContext("2d").getImageData(0, 0, canvas.width, canvas.height).data;
    let text = "";
    for (let i = 0; i < data.length; i += 0x8000) text += String.fromCharCode(...data.subarray(i, i + 0x8000));
    return btoa(text);
  }, id);
  return rgbOf(Buffer.from(base64, "base64"));
}

async function upload(path) {
  const input = await page.$("#file");
  await input.uploadFile(path);
}

// Shows the first `bytes` bytes with the slider, as a user would.
async function scrubTo(bytes) {
  await page.evaluate((bytes) => {
    const slider = document.getElementById("prefix");
    slider.value = bytes;
    slider.dispatchEvent(new Event("input"));
  }, bytes);
  await page.waitForFunction(
    (bytes) => document.getElementById("stream-canvas").dataset.bytes === String(bytes) &&
      window.shownBytes.at(-1) === bytes,
    { timeout: 20000 }, bytes);
}

// Drops a file on the page as a user's drag and drop would.
async function drop(name, bytes) {
  await page.evaluate((name, base64) => {
    const data = Uint8Array.from(atob(base64), (c) => c.charCodeAt(0));
    const transfer = new DataTransfer();
    transfer.items.add(new File([data], name));
    document.dispatchEvent(new DragEvent("drop", { dataTransfer: transfer, bubbles: true, cancelable: true }));
  }, name, Buffer.from(bytes).toString("base64"));
}

const message = () => page.$eval("#message", (e) => (e.hidden ? "" : e.textContent));

test("the sample photo encodes to the tool's bytes and decodes to its pixels", async () => {
  const native = workFile("kodim23-0.5.qrn");
  tool("encode", SAMPLE, native, "-b", "0.5");
  await page.$eval("#rate", (e) => (e.value = "0.5"));
  await upload(SAMPLE);
  await page.waitForSelector("body[data-encoded]", { timeout: 30000 });
  const coded = Buffer.from(await page.$eval("#download", async (a) => {
    const bytes = new Uint8Array(await (await fetch(a.href)).arrayBuffer());
    return btoa(String.fromCharCode(...bytes));
  }), "base64");
  assert.equal(sha256(coded), sha256(readFileSync(native)));
  assert.equal(await page.$eval("#download", (a) => a.download), "kodim23.qrn");
  assert.equal(sha256(await canvasRgb("decoded-canvas")), sha256(nativeDecode(native).rgb));
  // The browser's reading of the PNG is the tool's.
  assert.equal(sha256(await canvasRgb("original-canvas")), sha256(rgbOf(readPng(readFileSync(SAMPLE)).rgba)));
  const psnr = /PSNR RGB:\s+([\d.]+) dB/.exec(tool("compare", SAMPLE, native).stdout)[1];
  assert.match(await page.$eval("#encode-status", (e) => e.textContent), new RegExp(`24,579 bytes .* PSNR ${psnr} dB`));
  assert.equal(await message(), "");
});

test("a stream arrives picture by picture, and every prefix is the tool's", async () => {
  const file = workFile("kodim23-1.qrn");
  tool("encode", SAMPLE, file, "-b", "1");
  const bytes = readFileSync(file);
  await page.select("#link", "16000");
  await page.evaluate(() => (window.shownBytes = []));
  await upload(file);
  // Part of the way in, the picture is a coarse one.
  await page.waitForFunction(() => window.shownBytes.some((n) => n > 1200), { timeout: 30000 });
  await page.screenshot({ path: join(OUT, "page-arriving.png") });
  await page.screenshot({ path: join(OUT, "page-arriving.jpg"), type: "jpeg", quality: 80 });
  await page.waitForFunction((size) => !document.body.dataset.playing && window.shownBytes.at(-1) === size,
    { timeout: 60000 }, bytes.length);
  const shown = await page.evaluate(() => window.shownBytes);
  assert.ok(shown.length >= 5, `${shown.length} pictures shown while arriving`);
  assert.deepEqual(shown, [...shown].sort((a, b) => a - b), "the prefix only grows");
  assert.equal(sha256(await canvasRgb("stream-canvas")), sha256(nativeDecode(file).rgb));
  assert.match(await page.$eval("#stream-status", (e) => e.textContent), /49,155 of 49,155 bytes · 1\.0000 bits per pixel/);

  for (const length of [700, 9000, 31000]) {
    const prefix = workFile(`kodim23-1-prefix-${length}.qrn`);
    writeFileSync(prefix, bytes.subarray(0, length));
    await scrubTo(length);
    assert.equal(sha256(await canvasRgb("stream-canvas")), sha256(nativeDecode(prefix).rgb), `prefix of ${length} bytes`);
    const bpp = ((length - 4) * 8 / (768 * 512)).toFixed(4);
    assert.match(await page.$eval("#stream-status", (e) => e.textContent), new RegExp(`${length.toLocaleString("en-US")} of 49,155 bytes · ${bpp} bits per pixel`));
  }
  await page.screenshot({ path: join(OUT, "page.png"), fullPage: true });
});

test("damaged and truncated files get a message, and the page carries on", async () => {
  const good = readFileSync(workFile("kodim23-1.qrn"));
  const damaged = Buffer.from(good);
  damaged[4] = 0x6d;
  const cases = [
    ["damaged.qrn", damaged],
    ["truncated.qrn", good.subarray(0, 20)],
    ["empty.qrn", Buffer.alloc(0)],
    ["noise.qrn", Buffer.from(Array.from({ length: 5000 }, (_, i) => (i * 7919) & 255))],
  ];
  for (const [name, bytes] of cases) {
    const path = workFile(name);
    writeFileSync(path, bytes);
    const refusal = run("info", path).stderr.trim();
    assert.ok(refusal.startsWith(`quarn: ${path}: `), refusal);
    await upload(path);
    await page.waitForFunction((name) => document.getElementById("message").textContent.startsWith(name),
      { timeout: 10000 }, name);
    // The library's words, as the tool gives them.
    assert.equal(await message(), `${name}: cannot decode this file: ${refusal.slice(`quarn: ${path}: `.length)}`);
  }
  const fake = workFile("broken.png");
  writeFileSync(fake, Buffer.concat([readFileSync(SAMPLE).subarray(0, 100)]));
  await upload(fake);
  await page.waitForFunction(() => document.getElementById("message").textContent.startsWith("broken.png"),
    { timeout: 10000 });
  assert.equal(await message(), "broken.png: the browser cannot decode this picture");

  // Dropped rather than opened, the same.
  await drop("dropped.qrn", damaged);
  await page.waitForFunction(() => document.getElementById("message").textContent.startsWith("dropped.qrn"),
    { timeout: 10000 });

  // A good file afterwards is shown, and the message goes.
  await page.evaluate(() => (window.shownBytes = []));
  await page.select("#link", "250000");
  await upload(workFile("kodim23-1.qrn"));
  await page.waitForFunction((size) => window.shownBytes.at(-1) === size, { timeout: 30000 }, good.length);
  assert.equal(await message(), "");
});

test("a JPEG dropped on the page is encoded at the chosen rate", async () => {
  const jpeg = Buffer.from(await page.evaluate(async () => {
    const canvas = new OffscreenCanvas(300, 200);
    const context = canvas.getContext("2d");
    const gradient = context.createLinearGradient(0, 0, 300, 200);
    gradient.addColorStop(0, "#c33");
    gradient.addColorStop(1, "#3c9");
    context.fillStyle = gradient;
    context.fillRect(0, 0, 300, 200);
    context.fillStyle = "#fff";
    context.fillRect(60, 50, 120, 80);
    const bytes = new Uint8Array(await (await canvas.convertToBlob({ type: "image/jpeg", quality: 0.9 })).arrayBuffer());
    return btoa(String.fromCharCode(...bytes));
  }), "base64");
  assert.deepEqual([...jpeg.subarray(0, 3)], [0xff, 0xd8, 0xff]);
  await page.$eval("#rate", (e) => (e.value = "2"));
  await page.evaluate(() => delete document.body.dataset.encoded);
  await drop("card.jpg", jpeg);
  await page.waitForSelector("body[data-encoded]", { timeout: 30000 });
  // 2 bits per pixel at 300 x 200: B is 14999 (the rate a byte is worth
  // is rounded to single precision), and the size prefix.
  assert.equal(await message(), "");
  assert.match(await page.$eval("#encode-status", (e) => e.textContent), /^15,003 bytes \(1\.9999 bits per pixel/);
  assert.equal(await page.$eval("#download", (a) => a.download), "card.qrn");
  assert.match(await page.$eval("#image-name", (e) => e.textContent), /card\.jpg \(300 × 200\)/);
});

function median(values) {
  const sorted = [...values].sort((a, b) => a - b);
  return sorted[Math.floor(sorted.length / 2)];
}

test("decoding speed against the native tool (reported, not judged)", async () => {
  const file = workFile("kodim23-0.5.qrn");
  await page.select("#link", "250000");
  await upload(file);
  await page.waitForFunction((size) => window.shownBytes.at(-1) === size, { timeout: 30000 }, readFileSync(file).length);
  // Taken in turns, so that whatever else the machine does weighs on both.
  const nativeMs = (extra) => {
    const { stderr } = nativeDecode(file, null, ["-v", ...extra]);
    return Number(/ in ([\d.]+) ms/.exec(stderr)[1]);
  };
  const runs = 15;
  const browserTimes = [];
  const scalar = [];
  const best = [];
  for (let i = 0; i < runs; ++i) {
    browserTimes.push(...(await page.evaluate(() => window.quarnPage.benchmark(1))));
    scalar.push(nativeMs(scalarOption()));
    best.push(nativeMs([]));
  }
  const [load1] = loadavg();
  const result = {
    image: "samples/kodim23.png at 0.5 bits per pixel (768 x 512, 24579 bytes)",
    chromium: await browser.version(),
    threads: 1,
    runs,
    loadAverage: load1,
    browserMs: { median: median(browserTimes), all: browserTimes },
    nativeScalarMs: { option: scalarOption().join(" "), median: median(scalar), all: scalar },
    nativeBestMs: { median: median(best), all: best },
  };
  result.ratio = result.browserMs.median / result.nativeScalarMs.median;
  writeFileSync(join(OUT, "speed.json"), JSON.stringify(result, null, 2) + "\n");
  console.log(`  decode 768x512 at 0.5 bpp, median of ${runs}: Chromium ${result.browserMs.median.toFixed(1)} ms, ` +
    `native scalar ${result.nativeScalarMs.median.toFixed(1)} ms (x${result.ratio.toFixed(2)}), ` +
    `native widest ISA ${result.nativeBestMs.median.toFixed(1)} ms; load average ${load1.toFixed(1)}`);
  assert.ok(browserTimes.every((t) => t > 0));
});
