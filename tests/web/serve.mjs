// A plain static server for a folder on 127.0.0.1, as any static host serves
// the page: the page's cases and the benchmark import it, and scripts/run
// --web runs it, `node serve.mjs FOLDER PORT`, until Ctrl+C. It gives .wasm
// its type, application/wasm, which browsers want to compile the program as
// it arrives, and gzips what it sends to a browser that takes it, as static
// hosts do, so that a slow network carries what it carries there.
import { randomBytes } from "node:crypto";
import { readFileSync, statSync } from "node:fs";
import { createServer } from "node:http";
import { extname, join } from "node:path";
import { pathToFileURL } from "node:url";
import { gzipSync } from "node:zlib";

const types = { ".html": "text/html", ".js": "text/javascript", ".wasm": "application/wasm", ".png": "image/png" };

// Serves `folder` at `port`, or at a free one. For a browser that runs no
// script of the caller's before the page's own (WebKit's WebDriver),
// `withFirst(script)` gives an address under which index.html has that
// script first in its head; only the caller can make one.
export async function serve(folder, port = 0) {
  // Each file gzipped once for as long as it stays as it is: a page built
  // anew while the server runs is served as built.
  const gzipped = new Map();
  const firsts = new Map();
  const server = createServer((request, response) => {
    let name = new URL(request.url, "http://x").pathname.replace(/\/$/, "/index.html");
    const [, token, rest] = name.match(/^\/first-(\w+)(\/.*)$/) ?? [];
    if (firsts.has(token)) name = rest;
    try {
      const headers = { "Content-Type": types[extname(name)] ?? "application/octet-stream" };
      const path = join(folder, name);
      let body;
      if (firsts.has(token) && name === "/index.html") {
        body = readFileSync(path, "utf8").replace("<head>", `<head><script>${firsts.get(token)}</script>`);
      } else if (/\bgzip\b/.test(request.headers["accept-encoding"] ?? "")) {
        const { mtimeMs, size } = statSync(path);
        let kept = gzipped.get(name);
        if (kept?.mtimeMs !== mtimeMs || kept?.size !== size) {
          kept = { mtimeMs, size, body: gzipSync(readFileSync(path), { level: 9 }) };
          gzipped.set(name, kept);
        }
        body = kept.body;
        headers["Content-Encoding"] = "gzip";
      } else {
        body = readFileSync(path);
      }
      response.writeHead(200, headers).end(body);
    } catch {
      response.writeHead(404).end();
    }
  });
  await new Promise((listening) => server.listen(port, "127.0.0.1", listening));
  // Closing ends the connections a browser keeps open too, which would
  // otherwise keep node running.
  const close = () => {
    server.closeAllConnections();
    server.close();
  };
  const address = `http://127.0.0.1:${server.address().port}/`;
  const withFirst = (script) => {
    const token = randomBytes(8).toString("hex");
    firsts.set(token, script);
    return `${address}first-${token}/`;
  };
  return { address, close, withFirst };
}

if (import.meta.url === pathToFileURL(process.argv[1]).href) {
  const { address } = await serve(process.argv[2], Number(process.argv[3] ?? 8000));
  console.log(`Open ${address} (Ctrl+C stops the server)`);
}
