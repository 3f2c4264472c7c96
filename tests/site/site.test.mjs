// tallybrook.app in Debian's Chromium, headless, served by the site's own server: the
// readings of the program's links, its own link from the Windows end-to-end test, every
// sample photo, a 100 MB file, crafted links, the request log, accessibility and keyboard,
// and the screenshots. Writes the site's figures to build/site-tests/performance.md.
//
// Alone: bash scripts/site-test (builds the site into build/site-tests/site first, without
// the program). TB_SITE_DIR names a site already built to test as it is (scripts/release:
// dist/site), TB_SITE_EXE the program it must offer as its download (none: the page must say
// the program is not part of this copy). TB_PHOTO_SAMPLES names another folder of samples
// with expected.tsv.
import { after, before, describe, test } from 'node:test';
import assert from 'node:assert/strict';
import { execFileSync } from 'node:child_process';
import { createHash } from 'node:crypto';
import { existsSync, readFileSync, statSync } from 'node:fs';
import { copyFile, mkdir, mkdtemp, open, rm, stat, utimes, writeFile } from 'node:fs/promises';
import { tmpdir } from 'node:os';
import { dirname, join } from 'node:path';
import { fileURLToPath } from 'node:url';
import { serve } from '../../site/tools/serve.mjs';
import { gotoReady, kExampleLink, kViewports, launchChromium, pickPhotos, screenshotViews } from '../../site/tools/browser.mjs';
import {
  axeViolations, dropFiles, kCraftedLinks, kReadings, lastItem, linkState, listItems, performanceSection, policyTries,
  readExpected as readTable, readingLink, readingView,
} from './harness.mjs';

const repo = join(dirname(fileURLToPath(import.meta.url)), '../..');
const out = join(repo, 'build/site-tests');
const siteDir = process.env.TB_SITE_DIR ?? join(out, 'site');
const siteExe = process.env.TB_SITE_EXE ?? null;
const samplesDir = process.env.TB_PHOTO_SAMPLES ?? join(repo, 'tests/photo/samples');
const openedLinkFile = process.env.TB_OPENED_LINK ?? join(repo, 'build/windows/e2e/opened-link.txt');
const kPageFiles = ['index.html', 'style.css', 'main.js', 'reading.js', 'photos.js', 'usb.js', 'reader.wasm'];
const kMaxPageBytes = 150 * 1024;
const kFiller = 100 * 1024 * 1024;

let browser, server, url, context;
const requests = []; // every request any page of the run made: { url, afterReady }
const figures = {};

// Logs a page's requests and dismisses (and notes) any dialog it opens.
function watch(page) {
  page.tbReady = false;
  page.tbDialogs = [];
  page.on('request', (request) => requests.push({ url: request.url(), afterReady: page.tbReady }));
  // Listening from the start has Playwright take over file pickers before the first one opens.
  page.on('filechooser', () => {});
  page.on('dialog', (dialog) => {
    page.tbDialogs.push(dialog.message());
    dialog.dismiss().catch(() => {});
  });
}

async function guard(someContext) {
  // Anything not for the local server is refused as well as logged.
  await someContext.route('**/*', (route) => (route.request().url().startsWith(url) ? route.continue() : route.abort()));
  // Set before any of the page's scripts: what a crafted link might make run.
  await someContext.addInitScript(() => {
    window.tbViolations = [];
    document.addEventListener('securitypolicyviolation', (e) => window.tbViolations.push(e.violatedDirective));
  });
}

async function newPage() {
  const page = await context.newPage();
  watch(page);
  return page;
}

const load = (page, fragment = '') => gotoReady(page, url + fragment);
const readExpected = () => readTable(samplesDir);

before(async () => {
  if (!process.env.TB_SITE_DIR) execFileSync('bash', [join(repo, 'scripts/site'), '--build', siteDir], { stdio: ['ignore', 'inherit', 'inherit'] });
  await mkdir(join(out, 'screenshots'), { recursive: true });
  ({ server, url } = await serve(siteDir, 0));
  browser = await launchChromium();
  context = await browser.newContext({ viewport: kViewports[0] });
  await guard(context);
});

after(async () => {
  await browser?.close();
  server?.close();
});

describe('tallybrook.app in Chromium', { concurrency: false }, () => {
  test('the page weighs at most 150 KB with its photo and camera readers', () => {
    const sizes = Object.fromEntries(kPageFiles.map((f) => [f, existsSync(join(siteDir, f)) ? statSync(join(siteDir, f)).size : 0]));
    figures.weight = sizes;
    const total = Object.values(sizes).reduce((a, b) => a + b, 0);
    assert.ok(sizes['reader.wasm'] > 0, 'reader.wasm was built');
    assert.ok(total <= kMaxPageBytes, `page weighs ${total} bytes`);
  });

  test('the page\'s own files name no other origin, not even in a namespace', () => {
    // The photo reader too: its texts sit in the .wasm as plain bytes.
    for (const name of kPageFiles) {
      const text = readFileSync(join(siteDir, name), 'latin1');
      assert.deepEqual(text.match(/\b[a-z][a-z0-9+.-]*:\/\/[^\s'"<>)]*/gi) ?? [], [], name);
    }
  });

  test(`the start ${siteExe ? 'offers the Windows program with its size and SHA-256' : 'says the Windows program is not part of this copy'}`, async () => {
    const page = await newPage();
    await load(page);
    const shown = await page.evaluate(() => ({
      visible: !document.getElementById('download').hidden,
      href: document.getElementById('download-link')?.getAttribute('href') ?? null,
      size: document.getElementById('download-size')?.textContent ?? null,
      sha256: document.getElementById('download-sha256')?.textContent ?? null,
      missing: document.getElementById('download-missing')?.textContent ?? null,
    }));
    await page.close();
    assert.ok(shown.visible);
    if (siteExe) {
      const bytes = readFileSync(siteExe);
      assert.equal(shown.href, 'Tallybrook.exe');
      assert.ok(shown.size.includes(`(${bytes.length.toLocaleString('en-US')} bytes)`), shown.size);
      assert.equal(shown.sha256, createHash('sha256').update(bytes).digest('hex'));
      assert.ok(readFileSync(join(siteDir, 'Tallybrook.exe')).equals(bytes));
    } else {
      assert.equal(shown.href, null);
      assert.match(shown.missing, /not part of this copy/);
      assert.ok(!existsSync(join(siteDir, 'Tallybrook.exe')), 'a copy without the program carries none');
    }
  });

  test('readings from the program\'s links', async () => {
    const page = await newPage();
    for (const c of kReadings) {
      const { name, shown, words, ...reading } = c;
      await load(page, readingLink({ v: 1, ...reading }));
      const view = await readingView(page);
      assert.ok(view.visible, name);
      assert.equal(view.count, shown, name);
      for (const key of ['make', 'model', 'firmware', 'serial']) assert.equal(view[key], reading[key] || 'not given', `${name}: ${key}`);
      assert.match(view.source, words, name);
      assert.equal(view.announced, `${shown} shutter actuations${reading.model ? `, ${reading.model}` : ''}`, name);
      assert.ok(view.title.startsWith(`${shown} shutter actuations`), name);
    }
    await page.close();
  });

  test('the link Tallybrook.exe opened shows what its window showed',
    { skip: !existsSync(openedLinkFile) && `no ${openedLinkFile}: run the Windows suite first (scripts/test runs it before this)` },
    async () => {
      const lines = Object.fromEntries(readFileSync(openedLinkFile, 'latin1').trim().split(/\r?\n/).map((l) => [l.slice(0, l.indexOf(' ')), l.slice(l.indexOf(' ') + 1)]));
      assert.ok(lines.link.startsWith('https://tallybrook.app/#reading='), lines.link);
      const windowCount = lines.headline.match(/^([\d,]+) shutter actuations$/)?.[1];
      const windowModel = lines.detail.split('   firmware ')[0];
      assert.ok(windowCount, lines.headline);
      const page = await newPage();
      await load(page, lines.link.slice('https://tallybrook.app/'.length));
      assert.equal(await page.textContent('#reading-count'), windowCount);
      assert.equal(await page.textContent('#reading-model'), windowModel);
      figures.openedLink = `${windowCount}, ${windowModel}`;
      await page.close();
    });

  test('every sample photo dropped on the page gives its answer', async () => {
    const page = await newPage();
    await load(page);
    const times = [];
    for (const sample of readExpected()) {
      const elapsed = await dropFiles(page, [join(samplesDir, sample.file)]);
      const item = await lastItem(page);
      times.push({ file: sample.file, ms: elapsed, bytesRead: item.bytesRead });
      if (sample.count === 'none') {
        assert.equal(item.state, 'none', `${sample.file}: ${item.text}`);
        assert.doesNotMatch(item.text, /shutter actuation|images? taken/, sample.file);
      } else {
        assert.equal(item.state, 'count', `${sample.file}: ${item.text}`);
        assert.equal(item.count, sample.count, sample.file);
        assert.ok(item.text.includes(sample.model), `${sample.file} names ${sample.model}: ${item.text}`);
      }
    }
    figures.samples = times;
    await page.close();
  });

  test('several photos picked with the button are listed in order, each with its answer', async () => {
    const samples = readExpected().slice(0, 4);
    const page = await newPage();
    await load(page);
    await pickPhotos(page, samples.map((s) => join(samplesDir, s.file)));
    const items = await page.$$eval('#photo-list li', (lis) => lis.map((li) => ({ name: li.querySelector('.file-name')?.textContent, count: li.dataset.count ?? 'none' })));
    assert.deepEqual(items, samples.map((s) => ({ name: s.file, count: s.count })));
    await page.close();
  });

  test('files that are not photos, or are cut short, get a sentence and no count', async () => {
    const sample = readFileSync(join(samplesDir, readExpected().find((s) => s.file.endsWith('.jpg') && s.count !== 'none').file));
    let seed = 12345;
    const noise = Buffer.alloc(1 << 20, 0).map(() => (seed = (seed * 1103515245 + 12345) >>> 0) >>> 24);
    const cases = [
      ['empty.jpg', Buffer.alloc(0)],
      ['notes.txt', Buffer.from('not a photo at all\n')],
      ['cut-after-header.jpg', sample.subarray(0, 100)],
      ['noise.raw', noise],
      ['tiff-loop.tif', Buffer.from('49492a0008000000010000000000080000000000', 'hex')],
    ];
    const dir = await mkdtemp(join(tmpdir(), 'tallybrook-site-'));
    try {
      const page = await newPage();
      await load(page);
      for (const [name, bytes] of cases) {
        await writeFile(join(dir, name), bytes);
        await dropFiles(page, [join(dir, name)]);
        const item = await lastItem(page);
        assert.equal(item.state, 'none', `${name}: ${item.text}`);
        assert.ok(item.text.split('\n').filter(Boolean).length >= 2, `${name} has its sentence: ${item.text}`);
        assert.ok(item.bytesRead <= bytes.length, name);
      }
      await page.close();
    } finally {
      await rm(dir, { recursive: true, force: true });
    }
  });

  test('a file changed after it was picked gets a sentence, and the files after it are still read', { timeout: 60000 }, async () => {
    const sample = readExpected().find((s) => s.count !== 'none');
    const dir = await mkdtemp(join(tmpdir(), 'tallybrook-site-'));
    try {
      const changed = join(dir, `changed-${sample.file}`);
      await copyFile(join(samplesDir, sample.file), changed);
      const page = await newPage();
      await load(page);
      const before = (await stat(changed)).mtimeMs;
      // A new modification time is enough: Chromium then refuses to read the file it was given.
      // The change comes after the browser has taken the file's time (dropFiles asks for it
      // first), never before: else the browser takes the new time and reads the file.
      await dropFiles(page, [changed, join(samplesDir, sample.file)], async ([first]) => {
        assert.equal(first.lastModified, Math.floor(before));
        await utimes(changed, new Date(), new Date(before + 60000));
      });
      const items = await listItems(page);
      assert.equal(items.length, 2);
      assert.equal(items[0].state, 'none', items[0].text);
      assert.match(items[0].text, /could not read this file/);
      assert.equal(items[1].count, sample.count, items[1].text);
      await page.close();
    } finally {
      await rm(dir, { recursive: true, force: true });
    }
  });

  test('a 100 MB file answers from the few ranges the reader asks for', async () => {
    const sample = readExpected().find((s) => s.file.endsWith('.nef')) ?? readExpected().find((s) => s.count !== 'none');
    const dir = await mkdtemp(join(tmpdir(), 'tallybrook-site-'));
    try {
      const big = join(dir, `big-${sample.file}`);
      await copyFile(join(samplesDir, sample.file), big);
      const handle = await open(big, 'r+');
      const size = (await handle.stat()).size + kFiller;
      await handle.truncate(size); // the filler: 100 MB of zeros after the camera's bytes
      await handle.close();
      const page = await newPage();
      await load(page);
      const elapsed = await dropFiles(page, [big]);
      const item = await lastItem(page);
      assert.equal(item.count, sample.count, item.text);
      assert.ok(item.bytesRead > 0 && item.bytesRead < size / 100, `read ${item.bytesRead} of ${size} bytes`);
      figures.big = { file: sample.file, size, bytesRead: item.bytesRead, ms: elapsed };
      await page.close();
    } finally {
      await rm(dir, { recursive: true, force: true });
    }
  });

  test('crafted links run nothing, open no dialog and leave the page working', async () => {
    const page = await newPage();
    for (const [fragment, expected] of kCraftedLinks) {
      await load(page, fragment);
      const state = await linkState(page);
      const label = fragment.slice(0, 60);
      if (typeof expected === 'string') {
        assert.ok(state.reading, label);
        assert.equal(state.model, expected, label);
      } else if (expected) {
        assert.match(state.problem ?? '', expected, label);
      } else {
        assert.ok(state.start, label);
      }
      assert.equal(state.elements, 0, `${label}: no element made from the link`);
      assert.equal(state.scripts, 1, label);
      assert.equal(state.ran, null, `${label}: nothing ran`);
      assert.deepEqual(state.violations, [], `${label}: nothing was even tried against the policy`);
      assert.ok(state.drop, `${label}: the photo drop is still there`);
    }
    assert.deepEqual(page.tbDialogs, [], 'no dialog opened');
    // The policy itself refuses markup strings and scripts the page did not ship.
    const refused = await policyTries(page);
    assert.deepEqual(refused, { html: 'refused', script: 'refused', eval: 'refused' });
    // After all of that, the same page still reads a photo.
    const sample = readExpected().find((s) => s.count !== 'none');
    await dropFiles(page, [join(samplesDir, sample.file)]);
    assert.equal((await lastItem(page)).count, sample.count);
    await page.close();
  });

  test('a crafted link\'s longest texts keep the page within a phone\'s width', async () => {
    const phone = await browser.newContext({ viewport: kViewports.find((v) => v.name === 'phone') });
    await guard(phone);
    const page = await phone.newPage();
    watch(page);
    const reading = { v: 1, make: 'Canon Inc.', model: 'Canon EOS 80D', count: 4294967295, firmware: '1.0.3', serial: '0123', source: 'Canon USB 0xD1AC' };
    for (const key of ['make', 'model', 'firmware', 'serial', 'source']) {
      await load(page, readingLink({ ...reading, [key]: 'A'.repeat(255) }));
      const width = await page.evaluate(() => ({ page: document.documentElement.scrollWidth, view: window.innerWidth }));
      assert.ok(width.page <= width.view, `a 255-character ${key}: the page is ${width.page} px wide at ${width.view} px`);
    }
    await phone.close();
  });

  test('a file name loses its direction marks in the photo list, as a link\'s texts do', async () => {
    const sample = readExpected().find((s) => s.count !== 'none');
    const dir = await mkdtemp(join(tmpdir(), 'tallybrook-site-'));
    try {
      // Shown as it stands, "photo\u202Egpj.exe" reads "photoexe.jpg".
      const name = 'photo\u2066\u202Egpj.exe';
      await copyFile(join(samplesDir, sample.file), join(dir, name));
      const page = await newPage();
      await load(page);
      await dropFiles(page, [join(dir, name)]);
      assert.equal(await page.$eval('#photo-list li:last-child .file-name', (p) => p.textContent), 'photo\uFFFD\uFFFDgpj.exe');
      assert.equal((await lastItem(page)).count, sample.count);
      // Nor anywhere else the view names the file (the camera's summary).
      const view = await page.$eval('#photo-view', (v) => v.textContent);
      assert.ok(view.includes('photo\uFFFD\uFFFDgpj.exe') && !/[\u202A-\u202E\u2066-\u2069]/.test(view), view);
      await page.close();
    } finally {
      await rm(dir, { recursive: true, force: true });
    }
  });

  test('each view passes an axe-core scan, in light and dark', async () => {
    const axe = readFileSync(join(repo, 'node_modules/axe-core/axe.min.js'), 'utf8');
    const sample = readExpected().find((s) => s.count !== 'none');
    for (const colorScheme of ['light', 'dark']) {
      const page = await newPage();
      await page.emulateMedia({ colorScheme });
      const views = [
        ['start', () => load(page)],
        ['reading', () => load(page, kExampleLink)],
        ['link problem', () => load(page, '#reading=%7B')],
        ['photos', async () => { await load(page); await dropFiles(page, [join(samplesDir, sample.file), join(samplesDir, readExpected().find((s) => s.count === 'none').file)]); }],
      ];
      for (const [name, show] of views) {
        await show();
        assert.deepEqual(await axeViolations(page, axe), [], `${name} (${colorScheme})`);
      }
      await page.close();
    }
  });

  test('the keyboard reaches the photo button and every link, and Enter opens the file picker', async () => {
    const page = await newPage();
    for (const fragment of ['', kExampleLink]) {
      await load(page, fragment);
      const reached = new Set();
      for (let i = 0; i < 20; i++) {
        await page.keyboard.press('Tab');
        reached.add(await page.evaluate(() => {
          const e = document.activeElement;
          return e.id ? `#${e.id}` : e.tagName === 'A' ? `a[href="${e.getAttribute('href')}"]` : e.tagName;
        }));
      }
      const wanted = await page.evaluate(() => [...document.querySelectorAll('a[href], button')]
        .filter((e) => e.offsetParent !== null)
        .map((e) => (e.id ? `#${e.id}` : `a[href="${e.getAttribute('href')}"]`)));
      assert.ok(wanted.includes('#pick-photos'), fragment);
      for (const target of wanted) assert.ok(reached.has(target), `${target} reached with Tab (${fragment || 'start'})`);
    }
    await page.focus('#pick-photos');
    const [chooser] = await Promise.all([page.waitForEvent('filechooser', { timeout: 5000 }), page.keyboard.press('Enter')]);
    assert.ok(chooser.isMultiple());
    await page.close();
  });

  test('the brand link leads to the start from every view, and Back returns to the reading', async () => {
    const page = await newPage();
    const view = () => page.evaluate(() => ['reading-view', 'link-problem-view', 'start-view', 'photo-view']
      .find((id) => !document.getElementById(id).hidden));
    await load(page, kExampleLink);
    await page.click('.brand');
    assert.equal(await view(), 'start-view');
    await page.goBack();
    await page.waitForFunction(() => !document.getElementById('reading-view').hidden);
    assert.equal(await page.textContent('#reading-count'), '12,345');
    await load(page, '#reading=%7B');
    await page.click('.brand');
    assert.equal(await view(), 'start-view');
    await dropFiles(page, [join(samplesDir, readExpected()[0].file)]);
    assert.equal(await view(), 'photo-view');
    await page.click('.brand');
    assert.equal(await view(), 'start-view');
    await page.close();
  });

  test('screenshots of the three views at desktop and phone sizes', async () => {
    const samples = readExpected();
    const photos = [samples.find((s) => s.count !== 'none'), samples.find((s) => s.count === 'none'), samples.find((s) => s.file.endsWith('.nef'))]
      .filter(Boolean).map((s) => join(samplesDir, s.file));
    const paths = await screenshotViews(browser, url, join(out, 'screenshots'), photos, async (page) => {
      await guard(page.context());
      watch(page);
    });
    assert.equal(paths.length, 6);
    for (const path of paths) assert.ok(statSync(path).size > 5000, path);
  });

  test('a load fetches each of the page\'s files once, all before the load event', async () => {
    const page = await newPage();
    const events = [];
    page.on('request', (request) => events.push(request.url().slice(url.length) || 'index.html'));
    page.on('load', () => events.push('load'));
    await load(page);
    await page.close();
    const fetched = events.slice(events.indexOf('index.html'));
    assert.deepEqual([...fetched].sort(), [...kPageFiles, 'load'].sort());
    assert.equal(fetched.at(-1), 'load');
  });

  test('after all of that the browser holds nothing from the site: no cookie, no storage', async () => {
    assert.deepEqual(await context.cookies(), []);
    const page = await newPage();
    await load(page, kExampleLink);
    const kept = await page.evaluate(async () => ({
      cookie: document.cookie,
      local: localStorage.length,
      session: sessionStorage.length,
      databases: (await indexedDB.databases()).length,
      caches: (await caches.keys()).length,
      workers: (await navigator.serviceWorker.getRegistrations()).length,
    }));
    assert.deepEqual(kept, { cookie: '', local: 0, session: 0, databases: 0, caches: 0, workers: 0 });
    await page.close();
  });

  test('no page made a request after it had loaded, nor any but for the page\'s own files', () => {
    assert.ok(requests.length > 0);
    const after = requests.filter((r) => r.afterReady);
    assert.deepEqual(after.map((r) => r.url), [], 'requests after load');
    const allowed = new Set(['', ...kPageFiles].map((f) => url + f));
    const foreign = requests.filter((r) => !allowed.has(r.url.split('#')[0]));
    assert.deepEqual(foreign.map((r) => r.url), [], 'requests for anything else');
    figures.requests = requests.length;
  });

  test('the site\'s figures are written for the performance report', async () => {
    assert.ok(figures.weight && figures.samples && figures.big, 'the measuring tests ran');
    const text = performanceSection(figures, browser.version(), kFiller);
    await writeFile(join(out, 'performance.md'), text);
    console.log(text);
  });
});
