// The page: a viewer that shows a stream arriving, and an encoder for
// pictures the browser can decode. The codec runs in worker.js.

// The smallest prefix that decodes: the 4-byte size prefix and the 27 bytes
// of the stream's header.
const HEADER_BYTES = 31;
// Longest wait for one answer from the codec before it is restarted.
const TIMEOUT_MS = 60000;

const $ = (id) => document.getElementById(id);

// ---- the codec worker ------------------------------------------------------

class Codec {
  constructor() {
    this.pending = new Map();
    this.nextId = 1;
    this.start();
  }

  start() {
    this.worker = new Worker(new URL("worker.js", import.meta.url), { type: "module" });
    this.worker.onmessage = ({ data }) => this.settle(data.id, data);
    this.worker.onerror = (event) => {
      event.preventDefault();
      this.restart(`the codec could not be loaded (${event.message || "worker failed"}); was web/build.sh run?`);
    };
  }

  // Ends the worker and fails every request still waiting for it.
  restart(reason) {
    this.worker.terminate();
    for (const { reject, timer } of this.pending.values()) {
      clearTimeout(timer);
      reject(new Error(reason));
    }
    this.pending.clear();
    this.start();
  }

  settle(id, data) {
    const request = this.pending.get(id);
    if (!request) return;
    this.pending.delete(id);
    clearTimeout(request.timer);
    if (data.error !== undefined) {
      request.reject(new Error(data.error));
      if (data.crashed) this.restart("the codec stopped");
    } else {
      request.resolve(data.result);
    }
  }

  request(op, payload = {}, transfer = []) {
    const id = this.nextId++;
    return new Promise((resolve, reject) => {
      const timer = setTimeout(() => {
        this.pending.delete(id);
        reject(new Error(`the codec did not answer within ${TIMEOUT_MS / 1000} s`));
        this.restart("the codec was restarted");
      }, TIMEOUT_MS);
      this.pending.set(id, { resolve, reject, timer });
      this.worker.postMessage({ id, op, ...payload }, transfer);
    });
  }
}

const codec = new Codec();

// ---- helpers ---------------------------------------------------------------

function showMessage(text) {
  $("message").textContent = text;
  $("message").hidden = !text;
}

const number = (n) => n.toLocaleString("en-US");
const rate = (bytes, width, height) => ((bytes * 8) / (width * height)).toFixed(4);

function draw(canvas, width, height, rgba) {
  canvas.width = width;
  canvas.height = height;
  canvas.getContext("2d").putImageData(new ImageData(new Uint8ClampedArray(rgba.buffer ?? rgba), width, height), 0, 0);
}

function psnr(a, b) {
  let squared = 0;
  for (let i = 0; i < a.length; i += 4) {
    for (let c = 0; c < 3; ++c) {
      const d = a[i + c] - b[i + c];
      squared += d * d;
    }
  }
  if (squared === 0) return Infinity;
  return 10 * Math.log10((255 * 255 * (a.length / 4) * 3) / squared);
}

function looksLikeImage(bytes) {
  const starts = (...sig) => sig.every((v, i) => bytes[i] === v);
  return (
    starts(0x89, 0x50, 0x4e, 0x47) || // PNG
    starts(0xff, 0xd8, 0xff) || // JPEG
    starts(0x47, 0x49, 0x46, 0x38) || // GIF
    starts(0x42, 0x4d) || // BMP
    (starts(0x52, 0x49, 0x46, 0x46) && String.fromCharCode(...bytes.subarray(8, 12)) === "WEBP")
  );
}

// ---- the stream viewer -----------------------------------------------------

const viewer = {
  info: null,
  size: 0,
  shown: 0, // bytes of the picture on the canvas
  busy: false,
  wanted: null, // a prefix to decode once the codec is free
  playing: false,
  generation: 0, // bumped by every new stream, so stale answers are dropped
};

async function openStream(bytes, name) {
  showMessage("");
  stopPlaying();
  const generation = ++viewer.generation;
  let opened;
  try {
    const copy = bytes.slice();
    opened = await codec.request("open", { bytes: copy.buffer }, [copy.buffer]);
  } catch (e) {
    if (generation === viewer.generation) {
      showMessage(`${name}: cannot decode this file: ${e.message}`);
      $("viewer").hidden = true;
    }
    return false;
  }
  if (generation !== viewer.generation) return false;
  const { info, size } = opened;
  Object.assign(viewer, { info, size, shown: 0, busy: false, wanted: null });
  $("viewer").hidden = false;
  $("stream-name").textContent = name;
  const slider = $("prefix");
  slider.min = HEADER_BYTES;
  slider.max = size;
  slider.value = size;
  const m = info.matrix.map((row) => row.map((v) => v.toFixed(4)).join(" ")).join(" / ");
  $("stream-info").textContent =
    `${info.width} × ${info.height} pixels, ${number(info.streamBytes)} stream bytes ` +
    `(${info.bitsPerPixel.toFixed(4)} bits per pixel), top exponent ${info.topExponent}, ` +
    `means ${info.means.join(" ")}, colour matrix ${m}`;
  const canvas = $("stream-canvas");
  canvas.width = info.width;
  canvas.height = info.height;
  canvas.dataset.bytes = "0";
  return true;
}

// Asks for the picture of the first `bytes` bytes; while the codec is busy
// only the latest wish is kept.
function showPrefix(bytes) {
  viewer.wanted = bytes;
  if (!viewer.busy) decodeWanted();
}

async function decodeWanted() {
  const bytes = viewer.wanted;
  const generation = viewer.generation;
  viewer.wanted = null;
  viewer.busy = true;
  try {
    const image = await codec.request("decode", { bytes });
    if (generation !== viewer.generation) return;
    const canvas = $("stream-canvas");
    draw(canvas, image.width, image.height, image.rgba);
    viewer.shown = bytes;
    canvas.dataset.bytes = String(bytes);
    document.dispatchEvent(new CustomEvent("quarn:shown", { detail: bytes }));
    const { width, height } = viewer.info;
    $("stream-status").textContent =
      `${number(bytes)} of ${number(viewer.size)} bytes · ` +
      `${rate(bytes - 4, width, height)} bits per pixel · decoded in ${image.ms.toFixed(1)} ms`;
  } catch (e) {
    if (generation !== viewer.generation) return;
    stopPlaying();
    showMessage(`cannot decode ${number(bytes)} bytes: ${e.message}`);
  } finally {
    if (generation === viewer.generation) {
      viewer.busy = false;
      if (viewer.wanted !== null) decodeWanted();
    }
  }
}

// Bytes arrive at the link's speed; each frame shows what has come so far.
function play() {
  if (!viewer.info) return;
  stopPlaying();
  viewer.playing = true;
  $("play").textContent = "Stop";
  document.body.dataset.playing = "true";
  const speed = Number($("link").value); // bytes a second
  const start = performance.now();
  const generation = viewer.generation;
  const frame = (now) => {
    if (!viewer.playing || generation !== viewer.generation) return;
    const arrived = Math.floor((Math.max(0, now - start) / 1000) * speed);
    const bytes = Math.min(viewer.size, HEADER_BYTES + arrived);
    $("prefix").value = bytes;
    if (bytes !== viewer.shown && bytes !== viewer.wanted) showPrefix(bytes);
    if (bytes >= viewer.size) {
      stopPlaying();
      return;
    }
    viewer.frame = requestAnimationFrame(frame);
  };
  viewer.frame = requestAnimationFrame(frame);
}

function stopPlaying() {
  viewer.playing = false;
  cancelAnimationFrame(viewer.frame);
  $("play").textContent = "Play";
  delete document.body.dataset.playing;
}

$("play").addEventListener("click", () => (viewer.playing ? stopPlaying() : play()));
$("prefix").addEventListener("input", (e) => {
  stopPlaying();
  showPrefix(Number(e.target.value));
});

// ---- the encoder -----------------------------------------------------------

const encoder = { rgba: null, width: 0, height: 0, name: "", url: null, coded: null };

async function openImage(blob, name) {
  showMessage("");
  let bitmap;
  try {
    bitmap = await createImageBitmap(blob, { colorSpaceConversion: "none", premultiplyAlpha: "none" });
  } catch {
    showMessage(`${name}: the browser cannot decode this picture`);
    return false;
  }
  const canvas = $("original-canvas");
  canvas.width = bitmap.width;
  canvas.height = bitmap.height;
  const context = canvas.getContext("2d", { willReadFrequently: true });
  context.drawImage(bitmap, 0, 0);
  bitmap.close();
  const pixels = context.getImageData(0, 0, canvas.width, canvas.height).data;
  Object.assign(encoder, { rgba: pixels, width: canvas.width, height: canvas.height, name });
  $("encoder").hidden = false;
  $("image-name").textContent = `${name} (${canvas.width} × ${canvas.height})`;
  return encode();
}

async function encode() {
  if (!encoder.rgba) return false;
  const bitrate = Number($("rate").value);
  const { width, height } = encoder;
  $("encode").disabled = true;
  $("encode-status").textContent = `Encoding at ${bitrate} bits per pixel…`;
  delete document.body.dataset.encoded;
  try {
    const rgba = encoder.rgba.slice();
    const out = await codec.request("encode", { rgba: rgba.buffer, width, height, bitrate }, [rgba.buffer]);
    draw($("decoded-canvas"), width, height, out.rgba);
    encoder.coded = out.coded;
    if (encoder.url) URL.revokeObjectURL(encoder.url);
    encoder.url = URL.createObjectURL(new Blob([out.coded], { type: "application/octet-stream" }));
    const link = $("download");
    link.href = encoder.url;
    link.download = encoder.name.replace(/\.[^.]*$/, "") + ".qrn";
    link.hidden = false;
    $("watch").hidden = false;
    const quality = psnr(encoder.rgba, new Uint8Array(out.rgba.buffer ?? out.rgba));
    const size = out.coded.length;
    $("decoded-caption").textContent = `Decoded: PSNR ${Number.isFinite(quality) ? quality.toFixed(2) : "∞"} dB`;
    $("encode-status").textContent =
      `${number(size)} bytes (${rate(size - 4, width, height)} bits per pixel, ` +
      `${Math.round((width * height * 3) / size)}:1 against raw RGB) · ` +
      `PSNR ${Number.isFinite(quality) ? quality.toFixed(2) : "∞"} dB · ` +
      `encoded in ${out.encodeMs.toFixed(1)} ms, decoded in ${out.decodeMs.toFixed(1)} ms`;
    document.body.dataset.encoded = "true";
    return true;
  } catch (e) {
    $("encode-status").textContent = "";
    showMessage(`${encoder.name}: cannot encode: ${e.message}`);
    return false;
  } finally {
    $("encode").disabled = false;
  }
}

$("encode").addEventListener("click", encode);
$("rate").addEventListener("keydown", (e) => e.key === "Enter" && encode());
$("watch").addEventListener("click", async () => {
  if (!encoder.coded) return;
  const name = $("download").download;
  if (await openStream(encoder.coded, name)) {
    $("viewer").scrollIntoView({ behavior: "smooth" });
    play();
  }
});

// ---- files -----------------------------------------------------------------

async function openFile(file) {
  let bytes;
  try {
    bytes = new Uint8Array(await file.arrayBuffer());
  } catch (e) {
    showMessage(`${file.name}: cannot read the file: ${e.message}`);
    return;
  }
  if (looksLikeImage(bytes)) {
    await openImage(new Blob([bytes], { type: file.type }), file.name);
    $("encoder").scrollIntoView({ behavior: "smooth" });
  } else if (await openStream(bytes, file.name)) {
    play();
  }
}

$("file").addEventListener("change", (e) => {
  const [file] = e.target.files;
  if (file) openFile(file);
  e.target.value = "";
});

let dragDepth = 0;
document.addEventListener("dragenter", (e) => {
  e.preventDefault();
  if (++dragDepth === 1) $("drop").hidden = false;
});
document.addEventListener("dragleave", () => {
  if (--dragDepth === 0) $("drop").hidden = true;
});
document.addEventListener("dragover", (e) => e.preventDefault());
document.addEventListener("drop", (e) => {
  e.preventDefault();
  dragDepth = 0;
  $("drop").hidden = true;
  const [file] = e.dataTransfer.files;
  if (file) openFile(file);
});

// ---- samples ---------------------------------------------------------------

async function fetchSample() {
  const response = await fetch("dist/sample/kodim23.png");
  if (!response.ok) throw new Error(`the sample photo is missing (${response.status}); was web/build.sh run?`);
  return response.blob();
}

$("sample-photo").addEventListener("click", async () => {
  try {
    await openImage(await fetchSample(), "kodim23.png");
  } catch (e) {
    showMessage(e.message);
  }
});

$("sample-stream").addEventListener("click", async () => {
  try {
    $("rate").value = "1";
    if (await openImage(await fetchSample(), "kodim23.png")) $("watch").click();
  } catch (e) {
    showMessage(e.message);
  }
});

// ---- start -----------------------------------------------------------------

// For tests and the console: decoding times of the open stream, in ms.
window.quarnPage = {
  benchmark: (runs = 10) => codec.request("bench", { runs }).then((r) => r.times),
};

codec.request("hello").then(
  ({ version }) => {
    $("version").textContent = version;
    document.body.dataset.ready = "true";
  },
  (e) => showMessage(e.message),
);
