// build.mjs OUTDIR [EXE]: copies the page's static files into OUTDIR and writes the Windows
// download into the page: with EXE, the file is copied in as Tallybrook.exe and the page
// states its size and SHA-256; without, the page says the program is not part of this copy.
// (The photo reader's .wasm is compiled into OUTDIR by scripts/site.)
import { createHash } from 'node:crypto';
import { copyFile, mkdir, readFile, writeFile } from 'node:fs/promises';
import { dirname, join } from 'node:path';
import { fileURLToPath } from 'node:url';

const site = join(dirname(fileURLToPath(import.meta.url)), '..');
const kFiles = ['index.html', 'style.css', 'main.js', 'reading.js', 'photos.js'];
const kBlock = /<!--download-->[\s\S]*<!--\/download-->/;

const [out, exe] = process.argv.slice(2);
if (!out) {
  console.error('usage: node build.mjs OUTDIR [EXE]');
  process.exit(2);
}
await mkdir(out, { recursive: true });
for (const name of kFiles) if (name !== 'index.html') await copyFile(join(site, name), join(out, name));

let page = await readFile(join(site, 'index.html'), 'utf8');
if (!kBlock.test(page)) throw new Error('index.html has no download block');
if (exe) {
  const bytes = await readFile(exe);
  await writeFile(join(out, 'Tallybrook.exe'), bytes);
  const sha256 = createHash('sha256').update(bytes).digest('hex');
  const size = `${Math.round(bytes.length / 1024).toLocaleString('en-US')} KB (${bytes.length.toLocaleString('en-US')} bytes)`;
  page = page.replace(kBlock,
    `<p><a class="button" id="download-link" href="Tallybrook.exe" download>Download Tallybrook.exe</a></p>\n` +
    `    <p id="download-size">Version 0.1.0, ${size}.</p>\n` +
    `    <p class="quiet">SHA-256: <code id="download-sha256">${sha256}</code></p>`);
  console.log(`site: Tallybrook.exe ${bytes.length} bytes, sha256 ${sha256}`);
}
await writeFile(join(out, 'index.html'), page);
