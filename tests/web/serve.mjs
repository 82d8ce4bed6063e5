// A plain static server for a folder on 127.0.0.1, at a port of its own, as
// any static host serves the page; the page's cases and the benchmark share it.
import { readFileSync } from "node:fs";
import { createServer } from "node:http";
import { extname, join } from "node:path";

const types = { ".html": "text/html", ".js": "text/javascript", ".wasm": "application/wasm" };

export async function serve(folder) {
  const server = createServer((request, response) => {
    const name = new URL(request.url, "http://x").pathname.replace(/\/$/, "/index.html");
    try {
      const body = readFileSync(join(folder, name));
      response.writeHead(200, { "Content-Type": types[extname(name)] ?? "application/octet-stream" }).end(body);
    } catch {
      response.writeHead(404).end();
    }
  });
  await new Promise((listening) => server.listen(0, "127.0.0.1", listening));
  return { address: `http://127.0.0.1:${server.address().port}/`, close: () => server.close() };
}
