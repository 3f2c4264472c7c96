// serve.mjs DIR [PORT]: serves the built site from DIR on 127.0.0.1 (PORT 0 or none: any free
// port) and prints its address. For looking at the site and for its tests: loopback only,
// GET and HEAD only, files inside DIR only, small bounded requests, and the same
// Content-Security-Policy the site is meant to be hosted with.
import { createServer } from 'node:http';
import { open, realpath } from 'node:fs/promises';
import { extname, join, sep } from 'node:path';
import { pathToFileURL } from 'node:url';

export const kContentSecurityPolicy =
  "default-src 'none'; script-src 'self' 'wasm-unsafe-eval'; style-src 'self'; img-src 'self' data:; " +
  "connect-src 'self'; base-uri 'none'; form-action 'none'; require-trusted-types-for 'script'; " +
  "trusted-types 'none'; frame-ancestors 'none'";

const kTypes = {
  '.html': 'text/html; charset=utf-8',
  '.css': 'text/css; charset=utf-8',
  '.js': 'text/javascript; charset=utf-8',
  '.mjs': 'text/javascript; charset=utf-8',
  '.wasm': 'application/wasm',
  '.png': 'image/png',
  '.svg': 'image/svg+xml',
  '.txt': 'text/plain; charset=utf-8',
  '.exe': 'application/vnd.microsoft.portable-executable',
};
const kMaxPath = 1024;
const kMaxConnections = 64;

function reply(response, status, text) {
  response.writeHead(status, { 'Content-Type': 'text/plain; charset=utf-8', 'Content-Length': Buffer.byteLength(text) });
  response.end(text);
}

// Resolves to the real path of a regular file inside root, or null.
async function fileFor(root, urlPath) {
  let path;
  try {
    path = decodeURIComponent(urlPath);
  } catch {
    return null;
  }
  if (path.includes('\0')) return null;
  if (path.endsWith('/')) path += 'index.html';
  try {
    const real = await realpath(join(root, path));
    return real.startsWith(root + sep) ? real : null;
  } catch {
    return null;
  }
}

export async function serve(dir, port = 0) {
  const root = await realpath(dir);
  const server = createServer(async (request, response) => {
    if (request.method !== 'GET' && request.method !== 'HEAD') return reply(response, 405, 'GET or HEAD only\n');
    const url = request.url ?? '/';
    if (url.length > kMaxPath || !url.startsWith('/')) return reply(response, 400, 'bad request\n');
    const file = await fileFor(root, url.split('?')[0]);
    const handle = file && (await open(file, 'r').catch(() => null));
    const stat = handle && (await handle.stat());
    if (!stat || !stat.isFile()) {
      await handle?.close();
      return reply(response, 404, 'not found\n');
    }
    response.writeHead(200, {
      'Content-Type': kTypes[extname(file)] ?? 'application/octet-stream',
      'Content-Length': stat.size,
      'Content-Security-Policy': kContentSecurityPolicy,
      'X-Content-Type-Options': 'nosniff',
      'Referrer-Policy': 'no-referrer',
      'Cross-Origin-Opener-Policy': 'same-origin',
      'Cache-Control': 'no-cache',
    });
    if (request.method === 'HEAD') {
      await handle.close();
      return response.end();
    }
    const stream = handle.createReadStream();
    stream.on('error', () => response.destroy());
    stream.pipe(response);
  });
  server.maxConnections = kMaxConnections;
  server.headersTimeout = 10000;
  server.requestTimeout = 30000;
  server.maxHeadersCount = 64;
  await new Promise((resolve, reject) => {
    server.once('error', reject);
    server.listen(port, '127.0.0.1', resolve);
  });
  return { server, url: `http://127.0.0.1:${server.address().port}/` };
}

if (import.meta.url === pathToFileURL(process.argv[1] ?? '').href) {
  const [dir, port = '0'] = process.argv.slice(2);
  if (!dir || !/^\d+$/.test(port)) {
    console.error('usage: node serve.mjs DIR [PORT]');
    process.exit(2);
  }
  const { url } = await serve(dir, Number(port));
  console.log(url);
  for (const signal of ['SIGINT', 'SIGTERM']) process.on(signal, () => process.exit(0));
}
