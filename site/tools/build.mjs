// build.mjs OUTDIR [EXE]: copies the page's static files into OUTDIR and writes the Windows
// download into the page: with EXE, the file is copied in as Tallybrook.exe and the page
// states its size and SHA-256; without, the page says the program is not part of this copy.
// The page's icon is the program's own 16 px image, taken from its .ico and written into the
// page, so showing it costs no request. (The photo reader's .wasm is compiled into OUTDIR by
// scripts/site.)
import { createHash } from 'node:crypto';
import { copyFile, mkdir, readFile, writeFile } from 'node:fs/promises';
import { dirname, join } from 'node:path';
import { fileURLToPath } from 'node:url';

const site = join(dirname(fileURLToPath(import.meta.url)), '..');
const kFiles = ['index.html', 'style.css', 'main.js', 'reading.js', 'photos.js', 'usb.js'];
const kBlock = /<!--download-->[\s\S]*<!--\/download-->/;

const [out, exe] = process.argv.slice(2);
if (!out) {
  console.error('usage: node build.mjs OUTDIR [EXE]');
  process.exit(2);
}
await mkdir(out, { recursive: true });
for (const name of kFiles) if (name !== 'index.html') await copyFile(join(site, name), join(out, name));

// An .ico is a directory of images: count at 4, then 16-byte entries of width, height, ...,
// size at 8 and offset at 12; ours are PNGs.
async function smallIcon() {
  const ico = await readFile(join(site, '..', 'src', 'app', 'tallybrook.ico'));
  for (let i = 0; i < ico.readUInt16LE(4); ++i) {
    const entry = 6 + 16 * i;
    if (ico[entry] !== 16 || ico[entry + 1] !== 16) continue;
    const size = ico.readUInt32LE(entry + 8), offset = ico.readUInt32LE(entry + 12);
    return ico.subarray(offset, offset + size).toString('base64');
  }
  throw new Error('tallybrook.ico has no 16 px image');
}

let page = await readFile(join(site, 'index.html'), 'utf8');
if (!kBlock.test(page)) throw new Error('index.html has no download block');
if (!page.includes('<link rel="icon" href="data:,">')) throw new Error('index.html has no icon link');
page = page.replace('<link rel="icon" href="data:,">', `<link rel="icon" href="data:image/png;base64,${await smallIcon()}">`);
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
