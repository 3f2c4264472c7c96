// Helpers of the site's tests: the program's link, dropping files on the page as a person would,
// reading the photo list, the samples' table, and the performance section written from the figures.
import { readFileSync } from 'node:fs';
import { join } from 'node:path';

// The link's fragment as the program writes it: "#reading=" and the JSON (or any text) with
// RFC 3986 unreserved characters kept, every other byte as %XX.
export function readingLink(value) {
  const text = typeof value === 'string' ? value : JSON.stringify(value);
  return '#reading=' + [...new TextEncoder().encode(text)]
    .map((b) => (/[A-Za-z0-9\-._~]/.test(String.fromCharCode(b)) ? String.fromCharCode(b) : `%${b.toString(16).toUpperCase().padStart(2, '0')}`))
    .join('');
}

// Drops files on the page as a person would (a drop event carrying real files from disk) and
// waits for each answer; returns the milliseconds from the drop to the last answer. The files
// are chosen in a hidden file input of the page's (taken out again before the drop), and
// `picked` runs once they are chosen and before they are dropped. Works with any page that
// has evaluate(fn, arg) and setInputFiles(selector, paths): playwright's and webdriver.mjs's.
export async function dropFiles(page, paths, picked = async () => {}) {
  await page.evaluate(() => {
    const element = document.createElement('input');
    element.type = 'file';
    element.multiple = true;
    element.hidden = true;
    element.id = 'tb-test-files';
    document.body.append(element);
  });
  await page.setInputFiles('#tb-test-files', paths);
  // What the browser took each file to be (size, time) is asked for now: it is then fixed
  // before `picked` changes anything on disk (Chromium looks a file up lazily, a race).
  const seen = await page.evaluate(() => [...document.getElementById('tb-test-files').files].map((f) => ({ size: f.size, lastModified: f.lastModified })));
  await picked(seen);
  return page.evaluate(() => new Promise((resolve) => {
    const input = document.getElementById('tb-test-files');
    input.remove();
    const list = document.getElementById('photo-list');
    const before = list.children.length;
    const transfer = new DataTransfer();
    for (const file of input.files) transfer.items.add(file);
    const done = () => list.children.length === before + input.files.length &&
      [...list.children].every((li) => li.dataset.state !== 'reading');
    const started = performance.now();
    const observer = new MutationObserver(() => {
      if (done()) {
        observer.disconnect();
        resolve(performance.now() - started);
      }
    });
    observer.observe(list, { subtree: true, childList: true, attributes: true });
    document.getElementById('drop-area').dispatchEvent(new DragEvent('drop', { bubbles: true, cancelable: true, dataTransfer: transfer }));
  }));
}

// Every item of the photo list: its state, count and text.
export const listItems = (page) => page.evaluate(() => [...document.querySelectorAll('#photo-list li')]
  .map((li) => ({ state: li.dataset.state, count: li.dataset.count ?? null, text: li.innerText })));

// The last item of the photo list: its state, count, bytes the page read, and text.
export const lastItem = (page) => page.evaluate(() => {
  const li = document.querySelector('#photo-list li:last-child');
  return { state: li.dataset.state, count: li.dataset.count ?? null, bytesRead: Number(li.dataset.bytesRead), text: li.innerText };
});

// Readings the program can write, with what the reading view shows for each.
export const kReadings = [
  { name: 'Canon 0xD1AC', make: 'Canon Inc.', model: 'Canon EOS 80D', count: 12345, firmware: '1.0.3', serial: '0123', source: 'Canon USB 0xD1AC', shown: '12,345', words: /0xD1AC/ },
  { name: 'Canon 0xD167', make: 'Canon Inc.', model: 'Canon EOS 5D Mark III', count: 512, firmware: '1.3.5', serial: '', source: 'Canon USB 0xD167', shown: '512', words: /0xD167.*did not send its main shutter counter/ },
  { name: 'Fujifilm', make: 'FUJIFILM', model: 'X-T3', count: 13531, firmware: '3.20', serial: '', source: 'Fujifilm USB 0xD310', shown: '13,531', words: /0xD310/ },
  { name: 'empty texts', make: '', model: '', count: 0, firmware: '', serial: '', source: '', shown: '0', words: /does not say where/ },
  { name: 'largest count', make: 'Canon Inc.', model: 'Canon EOS R5', count: 4294967295, firmware: '1.8.1', serial: '', source: 'Canon USB 0xD1AC', shown: '4,294,967,295', words: /0xD1AC/ },
];

// What the reading view shows.
export const readingView = (page) => page.evaluate(() => {
  const t = (id) => document.getElementById(id).textContent;
  return {
    visible: !document.getElementById('reading-view').hidden, count: t('reading-count'), make: t('reading-make'),
    model: t('reading-model'), firmware: t('reading-firmware'), serial: t('reading-serial'),
    source: t('reading-source'), announced: t('announce'), title: document.title,
  };
});

// Crafted links: [fragment, the model shown as plain text, or a pattern of the problem, or
// null for the start].
const crafted = (model) => encodeURIComponent(JSON.stringify({ v: 1, make: 'Canon Inc.', model, count: 42, firmware: '1.0', serial: '', source: 'Canon USB 0xD1AC' }));
export const kCraftedLinks = [
  [`#reading=${crafted('<img src=x onerror="window.tbRan=1;alert(1)">')}`, '<img src=x onerror="window.tbRan=1;alert(1)">'],
  [`#reading=${crafted('<script>window.tbRan=1</script>')}`, '<script>window.tbRan=1</script>'],
  [`#reading=${crafted('"><svg onload=alert(1)>')}`, '"><svg onload=alert(1)>'],
  [`#reading=${crafted('javascript:alert(1)')}`, 'javascript:alert(1)'],
  [`#reading=${crafted('\u202Egnp.exe')}`, '\uFFFDgnp.exe'],
  ['#reading={"v":1,"make":"<b>x</b>","model":"<i>y</i>","count":7,"firmware":"","serial":"","source":"<u>z</u>"}', '<i>y</i>'],
  ['#reading=%7B%22v%22%3A1%ZZ', /percent-encoding/],
  ['#reading=<script>alert(1)</script>', /cannot be read/],
  [`#reading=${encodeURIComponent('{"v":2,"count":1}')}`, /version/],
  [`#reading=${encodeURIComponent('{"v":1,"make":"","model":"","count":-5,"firmware":"","serial":"","source":""}')}`, /whole number/],
  [`#reading=${encodeURIComponent('{"v":1,"make":"","count":1,"firmware":"","serial":"","source":""}')}`, /no model text/],
  [`#reading=${crafted('A'.repeat(300))}`, /longer than any camera's/],
  [`#reading=${'%3C'.repeat(4000)}`, /far longer/],
  ['#<img src=x onerror=alert(1)>', null], // not a reading: the start
];

// The page after a crafted link: which view, what it made of the link, and whether anything ran.
export const linkState = (page) => page.evaluate(() => ({
  reading: !document.getElementById('reading-view').hidden,
  problem: !document.getElementById('link-problem-view').hidden ? document.getElementById('link-problem').textContent : null,
  start: !document.getElementById('start-view').hidden,
  model: document.getElementById('reading-model').textContent,
  elements: document.querySelectorAll('main img, main script, main svg, main iframe, main b, main i, main u').length,
  scripts: document.scripts.length,
  ran: window.tbRan ?? null,
  violations: window.tbViolations ?? null,
  drop: !document.getElementById('drop-area').hidden && !document.getElementById('pick-photos').disabled,
}));

// The page's policy tried from inside: a markup string, a script it did not ship, a string
// timer (not eval: an evaluation from a test driver may eval freely).
export const policyTries = (page) => page.evaluate(async () => {
  const tries = {
    html: () => { document.getElementById('link-problem').innerHTML = '<b id="tbHtml">x</b>'; },
    script: () => { const e = document.createElement('script'); e.textContent = 'window.tbScript = 1'; document.body.append(e); },
    eval: () => { window.setTimeout('window.tbEval = 1', 0); },
  };
  for (const attempt of Object.values(tries)) {
    try { attempt(); } catch { /* refused at once */ }
  }
  await new Promise((resolve) => window.setTimeout(resolve, 100));
  const ran = { html: !!document.getElementById('tbHtml'), script: !!window.tbScript, eval: !!window.tbEval };
  return Object.fromEntries(Object.keys(tries).map((name) => [name, ran[name] ? 'ran' : 'refused']));
});

// An axe-core scan of the page as it is: each violation as "rule: targets". Injected the way
// a browser extension would be: the page's own policy rightly refuses scripts it did not ship.
export async function axeViolations(page, axeSource, addScript = (source) => page.evaluate(`${source};0`)) {
  await addScript(axeSource);
  return page.evaluate(async () => (await window.axe.run(document)).violations
    .map((v) => `${v.id}: ${v.nodes.map((n) => n.target.join(' ')).join(', ')}`));
}

// The samples' table: one object per file, keyed by the header's column names.
export function readExpected(samplesDir) {
  const [header, ...rows] = readFileSync(join(samplesDir, 'expected.tsv'), 'utf8').trim().split('\n');
  const names = header.split('\t');
  return rows.map((row) => Object.fromEntries(row.split('\t').map((v, i) => [names[i], v])));
}

export const median = (values) => {
  const sorted = [...values].sort((a, b) => a - b);
  const middle = sorted.length >> 1;
  return sorted.length % 2 ? sorted[middle] : (sorted[middle - 1] + sorted[middle]) / 2;
};
const ms = (value) => `${value.toFixed(1)} ms`;

// The site's section of docs/performance.md, from the figures one run of the tests measured.
export function performanceSection(figures, browserVersion, filler) {
  const total = Object.values(figures.weight).reduce((a, b) => a + b, 0);
  const times = figures.samples.map((s) => s.ms);
  const slowest = figures.samples.reduce((a, b) => (b.ms > a.ms ? b : a));
  const kb = (n) => `${(n / 1024).toFixed(1)} KB`;
  const alone = figures.samples.find((s) => s.file === figures.big.file);
  const text = [
    '## The result site in Chromium (tests/site, one run)',
    '',
    `Measured by \`bash scripts/site-test\` on ${new Date().toISOString().slice(0, 16).replace('T', ' ')} UTC in Debian's Chromium`,
    `${browserVersion}, headless, the page served from 127.0.0.1 by site/tools/serve.mjs.`,
    '',
    `Page weight, uncompressed: ${kb(total)} (${total.toLocaleString('en-US')} bytes; goal at most 150 KB):`,
    Object.entries(figures.weight).map(([f, n]) => `${f} ${kb(n)}`).join(', ') + '.',
    '',
    `Drop to answer, each of the ${times.length} sample photos dropped alone: median ${ms(median(times))},`,
    `slowest ${ms(slowest.ms)} (${slowest.file}). Each time runs from the drop event to the answer in the list:`,
    'a fresh instance of the photo reader, its File.slice reads, the list item written.',
    '',
    `A 100 MB file (${figures.big.file} followed by ${filler.toLocaleString('en-US')} bytes of zeros,`,
    `${figures.big.size.toLocaleString('en-US')} bytes in all): answered in ${ms(figures.big.ms)}, reading`,
    `${figures.big.bytesRead.toLocaleString('en-US')} bytes of it. The same file alone: ${ms(alone.ms)},`,
    `${alone.bytesRead.toLocaleString('en-US')} bytes read of its ${(figures.big.size - filler).toLocaleString('en-US')}.`,
    '',
    `Requests: ${figures.requests} in the whole run, every one while a page loaded; none after.`,
    '',
  ].join('\n');
  return text;
}
