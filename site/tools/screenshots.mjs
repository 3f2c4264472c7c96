// screenshots.mjs URL DIR: the served site's three views at desktop and phone sizes, as PNGs
// in DIR; prints each path. The photo view shows a few of the repository's sample photos.
import { mkdir } from 'node:fs/promises';
import { dirname, join } from 'node:path';
import { fileURLToPath } from 'node:url';
import { launchChromium, screenshotViews } from './browser.mjs';

const [url, dir] = process.argv.slice(2);
if (!url || !dir) {
  console.error('usage: node screenshots.mjs URL DIR');
  process.exit(2);
}
const samples = join(dirname(fileURLToPath(import.meta.url)), '../../tests/photo/samples');
const photos = ['nikon_d850_exif.jpg', 'fujifilm_x-s10_jpeg.jpg', 'canon_eos-350d_cr2.cr2'].map((f) => join(samples, f));
await mkdir(dir, { recursive: true });
const browser = await launchChromium();
try {
  for (const path of await screenshotViews(browser, url, dir, photos)) console.log(`site: screenshot ${path}`);
} finally {
  await browser.close();
}
