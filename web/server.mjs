// A static file server for the page: serves web/ on 127.0.0.1 only, GET and
// HEAD only, nothing outside the folder. Used by serve.sh and the browser
// test.
//
//   node web/server.mjs [--port N]     (0 picks a free port; default 8015)
import { createServer } from "node:http";
import { createReadStream } from "node:fs";
import { stat } from "node:fs/promises";
import { dirname, extname, join, normalize, sep } from "node:path";
import { fileURLToPath } from "node:url";

const ROOT = dirname(fileURLToPath(import.meta.url));

const TYPES = {
  ".html": "text/html; charset=utf-8",
  ".js": "text/javascript; charset=utf-8",
  ".mjs": "text/javascript; charset=utf-8",
  ".css": "text/css; charset=utf-8",
  ".json": "application/json",
  ".png": "image/png",
  ".jpg": "image/jpeg",
  ".svg": "image/svg+xml",
  ".ico": "image/x-icon",
  ".qrn": "application/octet-stream",
};

// Resolves a request path inside ROOT, or null when it would leave it or
// names something not meant to be served.
function resolvePath(url) {
  let path;
  try {
    path = decodeURIComponent(new URL(url, "http://localhost").pathname);
  } catch {
    return null;
  }
  if (path.includes("\0")) return null;
  if (path.endsWith("/")) path += "index.html";
  const full = normalize(join(ROOT, path));
  if (full !== ROOT && !full.startsWith(ROOT + sep)) return null;
  const inside = full.slice(ROOT.length + 1).split(sep);
  if (inside.some((part) => part.startsWith(".") || part === "node_modules")) return null;
  return full;
}

export function startServer({ port = 8015, host = "127.0.0.1" } = {}) {
  const server = createServer(async (req, res) => {
    const send = (code, text) => {
      res.writeHead(code, { "content-type": "text/plain; charset=utf-8" });
      res.end(req.method === "HEAD" ? undefined : text + "\n");
    };
    if (req.method !== "GET" && req.method !== "HEAD") return send(405, "method not allowed");
    const path = resolvePath(req.url);
    if (!path) return send(404, "not found");
    let info;
    try {
      info = await stat(path);
    } catch {
      return send(404, "not found");
    }
    if (!info.isFile()) return send(404, "not found");
    res.writeHead(200, {
      "content-type": TYPES[extname(path)] ?? "application/octet-stream",
      "content-length": info.size,
      "cache-control": "no-cache",
      "x-content-type-options": "nosniff",
    });
    if (req.method === "HEAD") return res.end();
    createReadStream(path).on("error", () => res.destroy()).pipe(res);
  });
  return new Promise((resolve, reject) => {
    server.once("error", reject);
    server.listen(port, host, () => {
      const { port: bound } = server.address();
      resolve({ server, url: `http://${host}:${bound}/` });
    });
  });
}

if (process.argv[1] === fileURLToPath(import.meta.url)) {
  const at = process.argv.indexOf("--port");
  const port = at > 0 ? Number(process.argv[at + 1]) : 8015;
  if (!Number.isInteger(port) || port < 0 || port > 65535) {
    console.error(`server.mjs: bad port '${process.argv[at + 1]}'`);
    process.exit(2);
  }
  startServer({ port }).then(
    ({ url }) => console.log(`quarn page: ${url}  (Ctrl-C stops the server)`),
    (e) => {
      console.error(`server.mjs: cannot listen on 127.0.0.1:${port}: ${e.message}`);
      process.exit(1);
    },
  );
}
