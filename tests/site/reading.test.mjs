// The link's reading decoded without a browser: every way a crafted link can be wrong gives
// its own sentence, and what passes is exactly what the program wrote.
import { test } from 'node:test';
import assert from 'node:assert/strict';
import { countText, decodeReading, groupDigits, plainText, sourceInWords } from '../../site/reading.js';
import { readingLink as link } from './harness.mjs';

const base = { v: 1, make: 'Canon Inc.', model: 'Canon EOS 80D', count: 987, firmware: '1.0.3', serial: '', source: 'Canon USB 0xD1AC' };
const without = (key) => Object.fromEntries(Object.entries(base).filter(([k]) => k !== key));

test('the worked example of the program decodes to its reading', () => {
  const fragment = '#reading=%7B%22v%22%3A1%2C%22make%22%3A%22Canon%22%2C%22model%22%3A%22Canon%20EOS%2080D%22%2C%22count%22%3A987%2C%22firmware%22%3A%221.0.3%22%2C%22serial%22%3A%22%22%2C%22source%22%3A%22Canon%20USB%200xD1AC%22%7D';
  assert.deepEqual(decodeReading(fragment), {
    reading: { count: 987, make: 'Canon', model: 'Canon EOS 80D', firmware: '1.0.3', serial: '', source: 'Canon USB 0xD1AC' },
  });
});

test('readings the program can write are kept as written', () => {
  const cases = [
    { ...base, count: 0 },
    { ...base, count: 4294967295 },
    { ...base, make: '', model: '', firmware: '', serial: '', source: '' },
    { ...base, model: 'EOS "quoted" \\ back' },
    { ...base, model: 'x'.repeat(255) },
    { ...base, source: 'Fujifilm USB 0xD310', make: 'FUJIFILM', model: 'X-T3' },
  ];
  for (const value of cases) {
    const { v, ...reading } = value;
    assert.deepEqual(decodeReading(link(value)), { reading }, JSON.stringify(value));
  }
});

test('every kind of crafted link gets its own sentence', () => {
  const cases = [
    ['#reading=%7B%22v%22%3A1%ZZ', /percent-encoding/],
    ['#reading=%E0%A4%A', /percent-encoding/],
    [link('{"v":1,"make":'), /cannot be read/],
    [link('not json'), /cannot be read/],
    [link('[1,2]'), /form Tallybrook writes/],
    [link('null'), /form Tallybrook writes/],
    [link('"text"'), /form Tallybrook writes/],
    [link({ ...base, v: 2 }), /version/],
    [link({ ...base, v: '1' }), /version/],
    [link(without('v')), /version/],
    [link(without('count')), /no count/],
    [link({ ...base, count: -1 }), /whole number from 0 to 4,294,967,295/],
    [link({ ...base, count: 1.5 }), /whole number/],
    [link({ ...base, count: 4294967296 }), /whole number/],
    [link({ ...base, count: '987' }), /whole number/],
    [link({ ...base, count: null }), /whole number/],
    [link('{"v":1,"make":"","model":"","count":1e400,"firmware":"","serial":"","source":""}'), /whole number/],
    [link(without('make')), /no make text/],
    [link({ ...base, model: 80 }), /no model text/],
    [link({ ...base, firmware: null }), /no firmware text/],
    [link({ ...base, serial: ['0123'] }), /no serial number text/],
    [link(without('source')), /no source text/],
    [link({ ...base, model: 'x'.repeat(256) }), /model in this link is longer than any camera's/],
    [link('{"v":1,"__proto__":{"count":5},"make":"","model":"","firmware":"","serial":"","source":""}'), /no count/],
    ['#reading=' + '%41'.repeat(3000), /far longer/],
    ['#start', /no reading/],
  ];
  for (const [fragment, expected] of cases) {
    const result = decodeReading(fragment);
    assert.equal(result.reading, undefined, fragment.slice(0, 80));
    assert.match(result.problem, expected, fragment.slice(0, 80));
  }
});

test('texts are shown as they are, except characters that would hide or reorder them', () => {
  const cases = [
    ['<img src=x onerror=alert(1)>', '<img src=x onerror=alert(1)>'],
    ['tab\there', 'tab\uFFFDhere'],
    ['\u202Edc08 SOE', '\uFFFDdc08 SOE'],
    ['a\u2066b\u0085c', 'a\uFFFDb\uFFFDc'],
    ['Ålesund ✓', 'Ålesund ✓'],
  ];
  for (const [text, shown] of cases) assert.equal(plainText(text), shown);
});

test('counts are grouped as the program groups them', () => {
  const cases = [[0, '0'], [999, '999'], [1000, '1,000'], [12345, '12,345'], [4294967295, '4,294,967,295']];
  for (const [n, text] of cases) assert.equal(groupDigits(n), text);
  const units = [
    [1, undefined, '1 shutter actuation'], [0, undefined, '0 shutter actuations'], [12345, undefined, '12,345 shutter actuations'],
    [1, 'mechanical shutter actuations', '1 mechanical shutter actuation'], [1, 'images taken', '1 image taken'],
    [2, 'images taken', '2 images taken'],
  ];
  for (const [n, unit, text] of units) assert.equal(countText(n, unit), text);
});

test('each of the program\'s sources is explained with its property', () => {
  for (const [source, property] of [['Canon USB 0xD1AC', '0xD1AC'], ['Canon USB 0xD167', '0xD167'], ['Fujifilm USB 0xD310', '0xD310']])
    assert.ok(sourceInWords(source).includes(property), source);
  assert.match(sourceInWords('Something else'), /does not know/);
});
