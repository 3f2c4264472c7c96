// Debian's Chromium, headless, driven by playwright-core: shared by the site's tests and by
// scripts/site's screenshots. Nothing is downloaded; playwright adds --headless and a fresh
// --user-data-dir of its own to every launch.
import { chromium } from 'playwright-core';
import { existsSync } from 'node:fs';
import { join } from 'node:path';

export const kChromium = process.env.TB_CHROMIUM ?? '/usr/bin/chromium';

export function launchChromium() {
  return chromium.launch({
    executablePath: kChromium,
    args: ['--no-sandbox', '--disable-gpu', '--disable-quic', '--no-first-run', '--disable-background-networking',
      '--disable-component-update', '--disable-sync'],
  });
}

export const kViewports = [
  { name: 'desktop', width: 1280, height: 800 },
  { name: 'phone', width: 390, height: 844 },
];

// The link the program opens after reading the simulated Canon EOS 80D.
export const kExampleLink = '#reading=%7B%22v%22%3A1%2C%22make%22%3A%22Canon%20Inc.%22%2C%22model%22%3A%22Canon%20EOS%2080D%22%2C' +
  '%22count%22%3A12345%2C%22firmware%22%3A%221.0.3%22%2C%22serial%22%3A%220123%22%2C%22source%22%3A%22Canon%20USB%200xD1AC%22%7D';

// Picks files through the page's own "Choose photos" button and waits for every answer.
export async function pickPhotos(page, paths) {
  const before = await page.locator('#photo-list li').count();
  const [chooser] = await Promise.all([page.waitForEvent('filechooser'), page.click('#pick-photos')]);
  await chooser.setFiles(paths);
  await page.waitForFunction((n) => {
    const items = [...document.querySelectorAll('#photo-list li')];
    return items.length === n && items.every((li) => li.dataset.state !== 'reading');
  }, before + paths.length, { timeout: 60000 });
}

// Loads the page and waits until it has everything it will ever fetch (its scripts, style and
// the photo reader): page.tbReady says so, for request logs.
export async function gotoReady(page, address) {
  page.tbReady = false;
  await page.goto('about:blank');
  await page.goto(address);
  await page.waitForFunction(() => document.documentElement.dataset.ready);
  page.tbReady = true;
}

// The three views at both sizes; returns the paths written. Photos for the photo view come
// from `photos` (paths), when given; `onPage` sees each page before it loads anything.
export async function screenshotViews(browser, url, dir, photos = [], onPage = () => {}) {
  const paths = [];
  for (const viewport of kViewports) {
    {
      const context = await browser.newContext({ viewport });
      const page = await context.newPage();
      page.on('filechooser', () => {}); // playwright takes over file pickers from now on
      await onPage(page);
      const shot = async (view) => {
        const path = join(dir, `${view}-${viewport.width}x${viewport.height}.png`);
        await page.screenshot({ path, fullPage: false });
        paths.push(path);
      };
      await gotoReady(page, url);
      await shot('start');
      await gotoReady(page, url + kExampleLink);
      await shot('reading');
      await gotoReady(page, url);
      const existing = photos.filter((p) => existsSync(p));
      if (existing.length) await pickPhotos(page, existing);
      await shot('photos');
      await context.close();
    }
  }
  return paths;
}
