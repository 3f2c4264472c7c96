// The site's own server: loopback only, files inside its folder only, GET and HEAD only, and
// the page's Content-Security-Policy on every file.
import { after, before, test } from 'node:test';
import assert from 'node:assert/strict';
import { request } from 'node:http';
import { mkdtemp, mkdir, rm, symlink, writeFile } from 'node:fs/promises';
import { tmpdir } from 'node:os';
import { join } from 'node:path';
import { kContentSecurityPolicy, serve } from '../../site/tools/serve.mjs';

let dir, server, url;

// Raw requests: the path goes out exactly as written, ".." and all.
function fetchRaw(method, path) {
  return new Promise((resolve, reject) => {
    const { port } = new URL(url);
    const req = request({ host: '127.0.0.1', port, method, path }, (res) => {
      let body = '';
      res.on('data', (chunk) => (body += chunk));
      res.on('end', () => resolve({ status: res.statusCode, headers: res.headers, body }));
    });
    req.on('error', reject);
    req.end();
  });
}

before(async () => {
  dir = await mkdtemp(join(tmpdir(), 'tallybrook-serve-'));
  await mkdir(join(dir, 'site'));
  await writeFile(join(dir, 'site/index.html'), '<!doctype html><title>t</title>');
  await writeFile(join(dir, 'site/photo.wasm'), Buffer.from([0, 0x61, 0x73, 0x6d]));
  await writeFile(join(dir, 'secret.txt'), 'outside');
  await symlink(join(dir, 'secret.txt'), join(dir, 'site/link.txt'));
  ({ server, url } = await serve(join(dir, 'site'), 0));
});

after(async () => {
  server.close();
  await rm(dir, { recursive: true, force: true });
});

test('listens on the loopback address only', () => {
  assert.match(url, /^http:\/\/127\.0\.0\.1:\d+\/$/);
  assert.equal(server.address().address, '127.0.0.1');
});

test('serves the folder\'s files with their types and the page\'s policy', async () => {
  const cases = [['/', 'text/html; charset=utf-8', 200], ['/index.html', 'text/html; charset=utf-8', 200], ['/photo.wasm', 'application/wasm', 200]];
  for (const [path, type, status] of cases) {
    const res = await fetchRaw('GET', path);
    assert.equal(res.status, status, path);
    assert.equal(res.headers['content-type'], type, path);
    assert.equal(res.headers['content-security-policy'], kContentSecurityPolicy, path);
    assert.equal(res.headers['x-content-type-options'], 'nosniff', path);
  }
  assert.match(kContentSecurityPolicy, /default-src 'none'/);
  assert.match(kContentSecurityPolicy, /require-trusted-types-for 'script'/);
  assert.doesNotMatch(kContentSecurityPolicy, /https?:|\*|unsafe-inline|'unsafe-eval'/);
});

test('refuses what is outside the folder, missing, too long or not a read', async () => {
  const cases = [
    ['GET', '/../secret.txt', 404], ['GET', '/%2e%2e/secret.txt', 404], ['GET', '/..%2fsecret.txt', 404],
    ['GET', '/link.txt', 404], ['GET', '/missing.js', 404], ['GET', '/index.html%00.js', 404], ['GET', '/%E0%A4%A', 404],
    ['GET', `/${'a'.repeat(2000)}`, 400], ['POST', '/index.html', 405], ['PUT', '/index.html', 405], ['DELETE', '/', 405],
  ];
  for (const [method, path, status] of cases) {
    const res = await fetchRaw(method, path);
    assert.equal(res.status, status, `${method} ${path.slice(0, 40)}`);
    assert.doesNotMatch(res.body, /outside/);
  }
});

test('HEAD answers with the size and no body', async () => {
  const res = await fetchRaw('HEAD', '/photo.wasm');
  assert.equal(res.status, 200);
  assert.equal(res.headers['content-length'], '4');
  assert.equal(res.body, '');
});
