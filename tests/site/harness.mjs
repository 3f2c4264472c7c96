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
// waits for each answer; returns the milliseconds from the drop to the last answer. `picked`
// runs once the files are chosen and before they are dropped.
export async function dropFiles(page, paths, picked = async () => {}) {
  const input = await page.evaluateHandle(() => {
    const element = document.createElement('input');
    element.type = 'file';
    element.multiple = true;
    return element;
  });
  await input.setInputFiles(paths);
  await picked();
  return page.evaluate((element) => new Promise((resolve) => {
    const list = document.getElementById('photo-list');
    const before = list.children.length;
    const transfer = new DataTransfer();
    for (const file of element.files) transfer.items.add(file);
    const done = () => list.children.length === before + element.files.length &&
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
  }), input);
}

// The last item of the photo list: its state, count, bytes the page read, and text.
export const lastItem = (page) => page.evaluate(() => {
  const li = document.querySelector('#photo-list li:last-child');
  return { state: li.dataset.state, count: li.dataset.count ?? null, bytesRead: Number(li.dataset.bytesRead), text: li.innerText };
});

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
    `Measured by \`node --test tests/site/\` on ${new Date().toISOString().slice(0, 16).replace('T', ' ')} UTC in Debian's Chromium`,
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
