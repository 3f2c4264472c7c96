// tallybrook.app in the other engines people open it with: Firefox (Debian's firefox-esr, over
// WebDriver BiDi) and WebKit, Safari's engine (Debian's WebKitWebDriver with its MiniBrowser,
// on a private Xvfb). The readings and the program's own link, crafted links, every sample
// photo and a 100 MB file, a file gone after it was picked, the keyboard, axe-core, USB's
// absence, and no request after load. Chromium runs the same cases and more in site.test.mjs.
//
// Alone: bash scripts/site-test (TB_BROWSERS="firefox webkit" by default here; TB_SITE_DIR,
// TB_OPENED_LINK and TB_PHOTO_SAMPLES as in site.test.mjs).
import { after, before, describe, test } from 'node:test';
import assert from 'node:assert/strict';
import { execFileSync } from 'node:child_process';
import { existsSync, readdirSync, readFileSync } from 'node:fs';
import { copyFile, mkdir, mkdtemp, open, rm, unlink } from 'node:fs/promises';
import { tmpdir } from 'node:os';
import { dirname, join } from 'node:path';
import { fileURLToPath } from 'node:url';
import { serve } from '../../site/tools/serve.mjs';
import { kEngines } from '../../site/tools/webdriver.mjs';
import { kExampleLink } from '../../site/tools/browser.mjs';
import {
  axeViolations, dropFiles, kCraftedLinks, kReadings, lastItem, linkState, listItems, policyTries, readExpected,
  readingLink, readingView,
} from './harness.mjs';

const repo = join(dirname(fileURLToPath(import.meta.url)), '../..');
const out = join(repo, 'build/site-tests');
const siteDir = process.env.TB_SITE_DIR ?? join(out, 'site');
const samplesDir = process.env.TB_PHOTO_SAMPLES ?? join(repo, 'tests/photo/samples');
const openedLinkFile = process.env.TB_OPENED_LINK ?? join(repo, 'build/windows/e2e/opened-link.txt');
const kFiller = 100 * 1024 * 1024;
const engines = (process.env.TB_BROWSERS ?? 'firefox webkit').split(/[\s,]+/).filter((name) => kEngines[name]);
const samples = () => readExpected(samplesDir);

let server, url;
let loading = false;
const served = []; // every request the site's server answered: { url, whileLoading }

before(async () => {
  if (!process.env.TB_SITE_DIR) execFileSync('bash', [join(repo, 'scripts/site'), '--build', siteDir], { stdio: ['ignore', 'inherit', 'inherit'] });
  await mkdir(join(out, 'screenshots'), { recursive: true });
  ({ server, url } = await serve(siteDir, 0));
  server.on('request', (request) => served.push({ url: request.url, whileLoading: loading }));
});

after(() => server?.close());

// Loads the page afresh (through about:blank, so a new fragment is a new load) and waits until
// it has everything it will ever fetch: its scripts, style and the photo reader.
async function load(page, fragment = '') {
  loading = true;
  try {
    await page.goto('about:blank');
    await page.goto(url + fragment);
    for (let i = 0; !(await page.evaluate(() => document.documentElement.dataset.ready ?? null)); i++) {
      if (i > 600) throw new Error(`the page did not get ready: ${fragment}`);
      await new Promise((resolve) => setTimeout(resolve, 50));
    }
  } finally {
    loading = false;
  }
}

for (const name of engines) {
  describe(`tallybrook.app in ${name}`, { concurrency: false }, () => {
    let browser;
    const pages = [];

    before(async () => {
      browser = await kEngines[name].launch();
      // Set before any of the page's scripts, where the protocol allows it (BiDi): what a
      // crafted link might make run.
      await browser.addInitScript?.(() => {
        window.tbViolations = [];
        document.addEventListener('securitypolicyviolation', (e) => window.tbViolations.push(e.violatedDirective));
      });
    });

    after(async () => {
      await browser?.close();
    });

    const newPage = async (size) => {
      const page = await browser.newPage(size);
      pages.push(page);
      return page;
    };

    test('readings from the program\'s links', async () => {
      const page = await newPage();
      for (const c of kReadings) {
        const { name: label, shown, words, ...reading } = c;
        await load(page, readingLink({ v: 1, ...reading }));
        const view = await readingView(page);
        assert.ok(view.visible, label);
        assert.equal(view.count, shown, label);
        for (const key of ['make', 'model', 'firmware', 'serial']) assert.equal(view[key], reading[key] || 'not given', `${label}: ${key}`);
        assert.match(view.source, words, label);
        assert.equal(view.announced, `${shown} shutter actuations${reading.model ? `, ${reading.model}` : ''}`, label);
        assert.ok(view.title.startsWith(`${shown} shutter actuations`), label);
      }
      await page.screenshot(join(out, 'screenshots', `${name}-reading-1280x800.png`));
      await page.close();
    });

    test('the link Tallybrook.exe opened shows what its window showed',
      { skip: !existsSync(openedLinkFile) && `no ${openedLinkFile}: run the Windows suite first (scripts/test runs it before this)` },
      async () => {
        const lines = Object.fromEntries(readFileSync(openedLinkFile, 'latin1').trim().split(/\r?\n/).map((l) => [l.slice(0, l.indexOf(' ')), l.slice(l.indexOf(' ') + 1)]));
        assert.ok(lines.link.startsWith('https://tallybrook.app/#reading='), lines.link);
        const page = await newPage();
        await load(page, lines.link.slice('https://tallybrook.app/'.length));
        const view = await readingView(page);
        assert.equal(view.count, lines.headline.match(/^([\d,]+) shutter actuations$/)?.[1]);
        assert.equal(view.model, lines.detail.split('   firmware ')[0]);
        await page.close();
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
        // Classic WebDriver (WebKit) has no script set before the page's own to listen with.
        if (browser.addInitScript) assert.deepEqual(state.violations, [], `${label}: nothing was even tried against the policy`);
        assert.ok(state.drop, `${label}: the photo drop is still there`);
      }
      assert.deepEqual(page.dialogs, [], 'no dialog opened');
      // A markup string is refused by Trusted Types, which older engines lack (Debian 12's
      // firefox-esr before its security updates): there the page's own code, which writes
      // text only, is what keeps markup out. Scripts and string timers are refused everywhere.
      const trustedTypes = await page.evaluate(() => typeof window.trustedTypes?.createPolicy === 'function');
      const refused = await policyTries(page);
      assert.deepEqual(refused, { html: trustedTypes ? 'refused' : refused.html, script: 'refused', eval: 'refused' });
      const sample = samples().find((s) => s.count !== 'none');
      await dropFiles(page, [join(samplesDir, sample.file)]);
      assert.equal((await lastItem(page)).count, sample.count);
      await page.close();
    });

    test('every sample photo dropped on the page gives its answer, and so does a 100 MB file', async () => {
      const page = await newPage();
      await load(page);
      for (const sample of samples()) {
        await dropFiles(page, [join(samplesDir, sample.file)]);
        const item = await lastItem(page);
        if (sample.count === 'none') {
          assert.equal(item.state, 'none', `${sample.file}: ${item.text}`);
          assert.doesNotMatch(item.text, /shutter actuation|images? taken/, sample.file);
        } else {
          assert.equal(item.state, 'count', `${sample.file}: ${item.text}`);
          assert.equal(item.count, sample.count, sample.file);
          assert.ok(item.text.includes(sample.model), `${sample.file} names ${sample.model}: ${item.text}`);
        }
      }
      const sample = samples().find((s) => s.file.endsWith('.nef')) ?? samples().find((s) => s.count !== 'none');
      const dir = await mkdtemp(join(tmpdir(), 'tallybrook-site-'));
      try {
        const big = join(dir, `big-${sample.file}`);
        await copyFile(join(samplesDir, sample.file), big);
        const handle = await open(big, 'r+');
        const size = (await handle.stat()).size + kFiller;
        await handle.truncate(size); // 100 MB of zeros after the camera's bytes
        await handle.close();
        await dropFiles(page, [big]);
        const item = await lastItem(page);
        assert.equal(item.count, sample.count, item.text);
        assert.ok(item.bytesRead > 0 && item.bytesRead < size / 100, `read ${item.bytesRead} of ${size} bytes`);
      } finally {
        await rm(dir, { recursive: true, force: true });
      }
      await page.close();
    });

    test('a file gone after it was picked gets a sentence, and the files after it are still read', async () => {
      const sample = samples().find((s) => s.count !== 'none');
      const dir = await mkdtemp(join(tmpdir(), 'tallybrook-site-'));
      try {
        const gone = join(dir, `gone-${sample.file}`);
        await copyFile(join(samplesDir, sample.file), gone);
        const page = await newPage();
        await load(page);
        await dropFiles(page, [gone, join(samplesDir, sample.file)], () => unlink(gone));
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

    test('the keyboard reaches the photo button and every link, and Enter presses the button', async () => {
      const page = await newPage();
      for (const fragment of ['', kExampleLink]) {
        await load(page, fragment);
        const reached = new Set();
        for (let i = 0; i < 20; i++) {
          await page.press('Tab');
          reached.add(await page.evaluate(() => {
            const e = document.activeElement;
            return e.id ? `#${e.id}` : e.tagName === 'A' ? `a[href="${e.getAttribute('href')}"]` : e.tagName;
          }));
        }
        const wanted = await page.evaluate(() => [...document.querySelectorAll('a[href], button')]
          .filter((e) => e.offsetParent !== null)
          .map((e) => (e.id ? `#${e.id}` : `a[href="${e.getAttribute('href')}"]`)));
        assert.ok(wanted.includes('#pick-photos'), fragment);
        for (const target of wanted) assert.ok(reached.has(target), `${target} reached with Tab (${fragment || 'start'}) in ${[...reached]}`);
      }
      await page.close();
      // The button hands its click to a file input, which would open the picker: seen and
      // stopped there, since a picker has no place in a test. (A fresh page: Tab may have
      // taken the focus out of the page into the browser's own controls.)
      const page2 = await newPage();
      await load(page2);
      await page2.evaluate(() => {
        window.tbPicker = 0;
        document.addEventListener('click', (e) => {
          if (e.target instanceof HTMLInputElement && e.target.type === 'file') {
            window.tbPicker++;
            e.preventDefault();
          }
        }, true);
        document.getElementById('pick-photos').focus();
      });
      await page2.press('Enter');
      // The key's events may still be on their way when the driver answers.
      const picked = await page2.evaluate(() => new Promise((resolve) => {
        const started = performance.now();
        const look = () => (window.tbPicker || performance.now() - started > 5000 ? resolve(window.tbPicker) : setTimeout(look, 20));
        look();
      }));
      assert.equal(picked, 1);
      await page2.close();
    });

    test('each view passes an axe-core scan', async () => {
      const axe = readFileSync(join(repo, 'node_modules/axe-core/axe.min.js'), 'utf8');
      const sample = samples().find((s) => s.count !== 'none');
      const page = await newPage();
      const views = [
        ['start', () => load(page)],
        ['reading', () => load(page, kExampleLink)],
        ['link problem', () => load(page, '#reading=%7B')],
        ['photos', async () => { await load(page); await dropFiles(page, [join(samplesDir, sample.file), join(samplesDir, samples().find((s) => s.count === 'none').file)]); }],
      ];
      for (const [view, show] of views) {
        await show();
        assert.deepEqual(await axeViolations(page, axe, (source) => page.addScript(source)), [], view);
        if (view === 'photos') await page.screenshot(join(out, 'screenshots', `${name}-photos-1280x800.png`));
      }
      await page.close();
    });

    test('without WebUSB the page offers no camera over USB, and says which browsers can', async () => {
      const page = await newPage();
      await load(page);
      const seen = await page.evaluate(() => ({
        usb: 'usb' in navigator,
        buttons: [...document.querySelectorAll('button')].filter((b) => b.offsetParent !== null && /usb|camera/i.test(b.textContent)).map((b) => b.textContent),
        sentence: document.getElementById('usb-unavailable').hidden ? '' : document.getElementById('usb-unavailable').textContent,
      }));
      assert.deepEqual({ ...seen, sentence: /works in Chrome, Edge.*Read a photo/.test(seen.sentence) }, { usb: false, buttons: [], sentence: true });
      await page.screenshot(join(out, 'screenshots', `${name}-start-1280x800.png`));
      await page.close();
    });

    test('a load fetches only the page\'s own files, and nothing is fetched after it', () => {
      // The page's own files: whatever the built site holds but the program.
      const allowed = new Set(['/', ...readdirSync(siteDir).filter((f) => f !== 'Tallybrook.exe').map((f) => `/${f}`)]);
      assert.ok(served.length > 0);
      assert.deepEqual(served.filter((r) => !r.whileLoading).map((r) => r.url), [], 'answered after a load');
      assert.deepEqual(served.filter((r) => !allowed.has(r.url)).map((r) => r.url), [], 'answered but not the page\'s');
      // What the browser itself saw go out, where its protocol tells (BiDi): nothing for anywhere else.
      const seen = pages.flatMap((page) => page.requests ?? []).map((r) => r.url.split('#')[0]).filter((u) => !u.startsWith('data:'));
      assert.deepEqual(seen.filter((u) => u !== 'about:blank' && !allowed.has(u.startsWith(url) ? `/${u.slice(url.length)}` : u)), []);
    });
  });
}
