// Debian's Chromium, headless, driven by playwright-core: shared by the site's tests and by
// scripts/site's screenshots. Nothing is downloaded; each launch has a fresh profile.
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

// The three views at both sizes; returns the paths written. Photos for the photo view come
// from `photos` (paths), when given.
export async function screenshotViews(browser, url, dir, photos = []) {
  const paths = [];
  for (const viewport of kViewports) {
    for (const colorScheme of ['light']) {
      const context = await browser.newContext({ viewport, colorScheme });
      const page = await context.newPage();
      const shot = async (view) => {
        const path = join(dir, `${view}-${viewport.width}x${viewport.height}.png`);
        await page.screenshot({ path, fullPage: false });
        paths.push(path);
      };
      await page.goto(url);
      await page.waitForFunction(() => document.documentElement.dataset.ready);
      await shot('start');
      await page.goto(url + kExampleLink);
      await page.waitForSelector('#reading-view:not([hidden])');
      await shot('reading');
      await page.goto(url);
      await page.waitForFunction(() => document.documentElement.dataset.ready);
      const existing = photos.filter((p) => existsSync(p));
      if (existing.length) await pickPhotos(page, existing);
      await shot('photos');
      await context.close();
    }
  }
  return paths;
}
