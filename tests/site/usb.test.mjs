// Reading a camera over USB from the page, in Debian's Chromium (the only engine here with
// WebUSB), through the real page and its camera reader (camera.wasm), with a stand-in for
// navigator.usb whose device is one of the project's simulated cameras behind a USB interface.
// Each case checks the count or the sentence, and what the camera was left with: its session
// closed and, for a Canon, remote and event mode off, wherever it still answered.
//
// Alone: bash scripts/site-test tests/site/usb.test.mjs
import { after, before, describe, test } from 'node:test';
import assert from 'node:assert/strict';
import { execFileSync } from 'node:child_process';
import { readFileSync, writeFileSync, mkdirSync } from 'node:fs';
import { dirname, join } from 'node:path';
import { fileURLToPath } from 'node:url';
import { serve } from '../../site/tools/serve.mjs';
import { gotoReady, kViewports, launchChromium } from '../../site/tools/browser.mjs';
import { axeViolations } from './harness.mjs';
import { installUsbStandIn } from './usb-stand-in.mjs';

const repo = join(dirname(fileURLToPath(import.meta.url)), '../..');
const out = join(repo, 'build/site-tests');
const siteDir = process.env.TB_SITE_DIR ?? join(out, 'site');
const simWasm = join(out, 'simcamera.wasm');
const kCanon = 0x04a9;
const kFujifilm = 0x04cb;
const kNoCounter = 'The camera connected but didn\'t send its shutter counter. Click Copy details and email it to support@tallybrook.app.';

let browser, server, url, wasm;
const requestsAfterReady = [];

// A first event batch whose data container is exactly `bytes` long (header included): a filler
// record, the counter, the end record; as a camera line's hex.
function batchFilling(bytes, counter) {
  const payload = bytes - 12;
  const b = new Uint8Array(payload);
  const v = new DataView(b.buffer);
  const filler = payload - 16 - 8;
  v.setUint32(0, filler, true); v.setUint32(4, 0xc18a, true);
  v.setUint32(filler, 16, true); v.setUint32(filler + 4, 0xc189, true);
  v.setUint32(filler + 8, 0xd1ac, true); v.setUint32(filler + 12, counter, true);
  v.setUint32(filler + 16, 8, true);
  return 'hex:' + [...b].map((x) => x.toString(16).padStart(2, '0')).join('');
}

// Opens the page with the stand-in, clicks the button as a person would, and waits for the
// reading view or a sentence. Returns what the page shows and what the camera saw.
async function readCamera(options, { click = (page) => page.click('#usb-read') } = {}) {
  const context = await browser.newContext({ viewport: options.viewport ?? kViewports[0] });
  await context.route('**/*', (route) => (route.request().url().startsWith(url) ? route.continue() : route.abort()));
  await context.addInitScript(installUsbStandIn, {
    wasm, packetSize: 512, vendorId: kCanon, manufacturerName: 'Canon Inc.', productName: 'Canon Digital Camera', ...options,
  });
  const page = await context.newPage();
  page.on('request', (request) => { if (page.tbReady) requestsAfterReady.push(request.url()); });
  await gotoReady(page, url);
  await click(page);
  await page.waitForFunction(() => window.tbUsb.requests.length > 0);
  await page.waitForFunction(() => {
    const settled = !document.getElementById('usb-read').disabled;
    return settled && (location.hash.startsWith('#reading=') || !document.getElementById('usb-problem').hidden ||
      window.tbUsb.requests.length > 0);
  }, null, { timeout: 20000 });
  const shown = await page.evaluate(() => {
    const text = (id) => document.getElementById(id).textContent;
    return {
      hash: location.hash,
      readingVisible: !document.getElementById('reading-view').hidden,
      count: text('reading-count'),
      model: text('reading-model'),
      source: text('reading-source'),
      problemVisible: !document.getElementById('usb-problem').hidden,
      message: text('usb-message'),
      help: text('usb-help'),
      log: text('usb-log'),
      status: text('usb-status'),
      camera: window.tbUsb.state?.() ?? null,
      usb: { requests: window.tbUsb.requests, opened: window.tbUsb.opened, closed: window.tbUsb.closed },
      shownAt: window.tbUsb.shownAt,
      startedAt: window.tbUsb.readingStarted,
    };
  });
  return { page, context, shown };
}

before(async () => {
  execFileSync('bash', [join(repo, 'tests/site/build-sim-camera'), simWasm], { stdio: ['ignore', 'inherit', 'inherit'] });
  if (!process.env.TB_SITE_DIR) execFileSync('bash', [join(repo, 'scripts/site'), '--build', siteDir], { stdio: ['ignore', 'inherit', 'inherit'] });
  wasm = readFileSync(simWasm).toString('base64');
  ({ server, url } = await serve(siteDir, 0));
  browser = await launchChromium();
});

after(async () => {
  await browser?.close();
  server?.close();
});

describe('a camera over USB in Chromium', { concurrency: false }, () => {
  test('every outcome of the simulated cameras, through the page', async () => {
    const didNotAnswer = 'The camera didn\'t answer (device disconnected). Unplug it, plug it back in and try again.';
    const cases = [
      { name: 'Canon with 0xD1AC', camera: 'canon d1ac=12345', count: '12,345', words: /web browser.*0xD1AC/ },
      { name: '16-byte 0xD167 refused', camera: 'canon d167=hex:39300000000000000000000000000000', message: kNoCounter },
      { name: 'no counter in the events', camera: 'canon', message: kNoCounter },
      { name: 'Fujifilm listed', camera: 'fujifilm count=13531', vendorId: kFujifilm, manufacturerName: 'FUJIFILM', productName: 'X-T3', count: '13,531', words: /web browser.*0xD310/ },
      { name: 'Fujifilm not listed', camera: 'fujifilm drop-prop=D310', vendorId: kFujifilm, manufacturerName: 'FUJIFILM', productName: 'X-T3',
        message: 'This Fujifilm body doesn\'t report a shot count over USB. Try a photo on tallybrook.app instead.', help: /PTP mode/ },
      { name: 'Fujifilm with 0 in the upper half', camera: 'fujifilm value=hex:2c010000', vendorId: kFujifilm, manufacturerName: 'FUJIFILM', productName: 'X-T3',
        message: 'The camera connected but didn\'t send a shot count.' },
      { name: 'a session left open by a closed tab', camera: 'canon d1ac=12345', faults: 'session-open', count: '12,345' },
      { name: 'a data phase ending on a packet boundary, with its zero-length packet', camera: `canon events1=${batchFilling(1024, 777)}`, count: '777' },
      { name: 'a data phase ending on a packet boundary, without one', camera: `canon events1=${batchFilling(1024, 777)}`, faults: 'zlp=0', count: '777' },
      { name: 'a stall in a data phase', camera: 'canon d1ac=12345', faults: 'stall=9116@2', count: '12,345' },
      { name: 'Device_Busy', camera: 'canon d1ac=12345', faults: 'busy=9116@1', count: '12,345' },
      { name: 'unplugged mid-read', camera: 'canon d1ac=12345', faults: 'unplug=9116@1', message: didNotAnswer, gone: true },
    ];
    for (const c of cases) {
      const { page, context, shown } = await readCamera(c);
      try {
        if (c.count) {
          assert.ok(shown.readingVisible, `${c.name}: ${shown.message}`);
          assert.equal(shown.count, c.count, c.name);
          assert.match(shown.hash, /^#reading=/, c.name);
          assert.match(shown.source, c.words ?? /web browser/, c.name);
          assert.ok(!shown.problemVisible, c.name);
        } else {
          assert.ok(shown.problemVisible && !shown.readingVisible, c.name);
          assert.equal(shown.message, c.message, c.name);
          if (c.help) assert.match(shown.help, c.help, c.name);
          assert.equal(shown.hash, '', c.name);
        }
        if (!c.gone) {
          assert.equal(shown.camera.sessionOpen, false, `${c.name}: the session was left open`);
          assert.equal(shown.camera.commands.at(-1), 0x1003, `${c.name}: CloseSession last`);
          assert.equal(shown.camera.remoteMode, false, `${c.name}: remote mode left on`);
          assert.equal(shown.camera.eventMode, false, `${c.name}: event mode left on`);
        } else {
          assert.notEqual(shown.camera.commands.at(-1), 0x1003, `${c.name}: nothing sent after the camera went`);
        }
        assert.equal(shown.usb.closed, 1, `${c.name}: the page let the device go`);
        assert.deepEqual(shown.usb.requests, [{ filters: [{ classCode: 6, subclassCode: 1, protocolCode: 1 }], activated: true }], c.name);
      } finally {
        await context.close();
      }
    }
  });

  test('the reading link of a USB reading opens the same reading', async () => {
    const { page, context, shown } = await readCamera({ camera: 'canon d1ac=4321 model="Canon EOS 5D Mark III" serial=042' });
    try {
      const again = await browser.newPage();
      await gotoReady(again, url + shown.hash);
      const view = await again.evaluate(() => ({
        count: document.getElementById('reading-count').textContent,
        model: document.getElementById('reading-model').textContent,
        serial: document.getElementById('reading-serial').textContent,
      }));
      assert.deepEqual(view, { count: '4,321', model: 'Canon EOS 5D Mark III', serial: '042' });
      await again.close();
      assert.equal(shown.model, 'Canon EOS 5D Mark III');
    } finally {
      await context.close();
    }
  });

  test('a refused claim gets the step that helps on that system', async () => {
    for (const [platform, words] of [['Linux', /eject the camera in your file manager/], ['macOS', /quit Photos, Image Capture/],
      ['Chrome OS', /Files app/]]) {
      for (const claim of ['busy', 'denied']) {
        const { context, shown } = await readCamera({ camera: 'canon d1ac=1', claim, platform });
        assert.ok(shown.problemVisible, `${platform} ${claim}`);
        assert.match(shown.message, claim === 'busy' ? /another program is using it/ : /could not open the camera/, `${platform} ${claim}`);
        assert.match(shown.help, words, `${platform} ${claim}`);
        assert.deepEqual(shown.camera.commands, [], 'nothing reached the camera');
        await context.close();
      }
    }
  });

  test('a cancelled chooser shows nothing', async () => {
    const { context, shown } = await readCamera({ camera: 'canon d1ac=1', chooser: 'cancel' });
    assert.ok(!shown.problemVisible && !shown.readingVisible);
    assert.equal(shown.status, '');
    assert.equal(shown.usb.opened, 0);
    await context.close();
  });

  test('a second click while a reading runs starts nothing', async () => {
    const { context, shown } = await readCamera({ camera: 'canon d1ac=12345' }, {
      click: (page) => page.evaluate(() => {
        const button = document.getElementById('usb-read');
        button.click();
        button.click();
        setTimeout(() => button.click(), 50);
      }),
    });
    assert.equal(shown.count, '12,345');
    assert.equal(shown.usb.requests.length, 1);
    assert.equal(shown.usb.opened, 1);
    await context.close();
  });

  test('reads a camera without JSPI (no WebAssembly.Suspending), as Chrome for Android must', async () => {
    const { context, shown } = await readCamera({ camera: 'canon d1ac=12345', noJspi: true, platform: 'Android' });
    assert.equal(shown.count, '12,345');
    await context.close();
  });

  test('on Windows the page offers the program instead of the button', async () => {
    const context = await browser.newContext();
    await context.addInitScript(installUsbStandIn, { wasm, camera: 'canon', vendorId: kCanon, platform: 'Windows' });
    const page = await context.newPage();
    await gotoReady(page, url);
    const seen = await page.evaluate(() => ({
      button: !document.getElementById('usb-ready').hidden,
      sentence: document.getElementById('usb-unavailable').textContent,
      download: !document.getElementById('download').hidden,
    }));
    assert.deepEqual({ ...seen, sentence: /Windows' own camera driver keeps the camera/.test(seen.sentence) },
      { button: false, sentence: true, download: true });
    await context.close();
  });

  test('keyboard, phone width and axe-core in the new states; no request after load', async () => {
    const axe = readFileSync(join(repo, 'node_modules/axe-core/axe.min.js'), 'utf8');
    // The button by keyboard: Tab until it has focus, then Enter.
    const byKeyboard = async (page) => {
      for (let i = 0; i < 20 && !(await page.evaluate(() => document.activeElement?.id === 'usb-read')); i++) await page.keyboard.press('Tab');
      await page.keyboard.press('Enter');
    };
    for (const viewport of kViewports) {
      const failed = await readCamera({ camera: 'canon', viewport }, { click: byKeyboard });
      assert.ok(failed.shown.problemVisible, viewport.name);
      assert.deepEqual(await axeViolations(failed.page, axe), [], `problem state, ${viewport.name}`);
      const width = await failed.page.evaluate(() => document.documentElement.scrollWidth);
      assert.ok(width <= viewport.width, `${viewport.name}: ${width}px wide`);
      await failed.context.close();
      const read = await readCamera({ camera: 'fujifilm count=300', vendorId: kFujifilm, manufacturerName: 'FUJIFILM', productName: 'X-T3', viewport }, { click: byKeyboard });
      assert.equal(read.shown.count, '300');
      assert.deepEqual(await axeViolations(read.page, axe), [], `USB reading, ${viewport.name}`);
      await read.context.close();
    }
    assert.deepEqual(requestsAfterReady, []);
  });

  test('from the chooser\'s answer to the count shown, less the mandated pause', async () => {
    const times = [];
    for (let i = 0; i < 5; i++) {
      const { context, shown } = await readCamera({ camera: 'canon d1ac=12345' });
      assert.equal(shown.count, '12,345');
      // The counter comes in the first batch: two polls and one 250 ms pause between them.
      times.push(shown.shownAt - shown.startedAt - 250);
      await context.close();
    }
    times.sort((a, b) => a - b);
    mkdirSync(out, { recursive: true });
    writeFileSync(join(out, 'usb-performance.md'), [
      '## Reading a camera over USB in the page (tests/site/usb.test.mjs)',
      '',
      `Measured on ${new Date().toISOString().slice(0, 16).replace('T', ' ')} UTC in Debian's Chromium ${browser.version()}, headless,`,
      'a simulated Canon (counter in the first event batch) behind the stand-in for navigator.usb:',
      `from the chooser's answer to the count shown, less the one mandated 250 ms pause, five readings:`,
      `median ${times[2].toFixed(1)} ms, slowest ${times[4].toFixed(1)} ms (goal at most 50 ms).`,
      '',
    ].join('\n'));
  });
});
