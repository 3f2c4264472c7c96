// The photo reader, compiled from the program's C++ to WebAssembly, driven over its C exports
// (src/photo/photo_c_api.h): the reader says which byte range it wants, the page reads just
// that range of the file with File.slice and hands it over, until the reader has its answer.
// So a 100 MB raw costs a few small reads, and the file never leaves the browser.

// Fetched while the page loads, so nothing is requested once it has loaded. The same module
// holds the camera reader of the page's USB reading (site/usb.js).
const modulePromise = fetch(new URL('reader.wasm', import.meta.url))
  .then((response) => (response.ok ? response.arrayBuffer() : Promise.reject(new Error(String(response.status)))))
  .then((bytes) => WebAssembly.compile(bytes));
modulePromise.catch(() => {});

export const readerModule = () => modulePromise;

export function readerReady() {
  return modulePromise.then(() => true, () => false);
}

// A reader asks for a few ranges per file; these bounds only stop a reader gone wrong. (A range
// is bounded by the reader's own buffer, which refuses anything it would never ask for.)
const kMaxSteps = 10000;
const kMaxJson = 64 * 1024;

// Standalone WebAssembly has no host around it: every import it names is a stub, but for those
// `own` answers (the camera reader's, from site/usb.js). Growing the memory needs no notice
// (views are made afresh after every call); anything else is a trap.
export function stubImports(module, own = {}) {
  const imports = {};
  for (const { module: from, name, kind } of WebAssembly.Module.imports(module)) {
    if (kind !== 'function') continue;
    imports[from] ??= {};
    imports[from][name] = own[name] ?? (name === 'emscripten_notify_memory_growth' ? () => {} : () => { throw new Error(`reader called ${name}`); });
  }
  return imports;
}

export function cString(memory, at, max = kMaxJson) {
  const bytes = new Uint8Array(memory.buffer);
  let end = at;
  while (end < bytes.length && end - at < max && bytes[end] !== 0) end++;
  return new TextDecoder().decode(bytes.subarray(at, end));
}

const kKinds = new Set(['releases', 'mechanical', 'images']);
const isCount = (n) => Number.isInteger(n) && n >= 0 && n <= 4294967295;
const isText = (t) => typeof t === 'string';
const isTexts = (list) => Array.isArray(list) && list.length <= 8 && list.every(isText);

// The reader's JSON, checked member by member: the page shows only what has the agreed form.
function checkedResult(json) {
  const r = JSON.parse(json);
  const texts = r && ['make', 'model', 'source', 'message', 'serial', 'taken'].every((k) => r[k] === null || isText(r[k]));
  const ok = texts && r.ok === true && isCount(r.count) && kKinds.has(r.kind) &&
    (r.mechanical === null || isCount(r.mechanical)) && isTexts(r.rating);
  const noCount = texts && r.ok === false && r.count === null && isText(r.message);
  if (!ok && !noCount) throw new Error('unexpected answer from the photo reader');
  return {
    count: ok ? r.count : null,
    kind: ok ? r.kind : null,
    mechanical: ok ? r.mechanical : null,
    make: r.make ?? '',
    model: r.model ?? '',
    serial: r.serial ?? '',
    taken: r.taken ?? '',
    source: r.source ?? '',
    message: r.message ?? '',
    rating: ok ? r.rating : [],
  };
}

// A file with no answer at all: the members of a result, none set, and why in words.
const noAnswer = (failure, bytesRead) => ({
  count: null, kind: null, mechanical: null, make: '', model: '', serial: '', taken: '', source: '', message: '',
  rating: [], failure, bytesRead,
});

// Instances that finished a file cleanly, for the next files: a card of a thousand photos would
// otherwise make a thousand 2 MB memories for the collector. An instance that threw or trapped
// is never used again, so a file that trips the reader cannot touch the next one.
const spare = [];
const kSpare = 8;

async function instance(module) {
  if (spare.length) return spare.pop();
  const { exports: x } = await WebAssembly.instantiate(module, stubImports(module));
  x._initialize?.();
  return x;
}

// Reads one File; resolves to the checked result plus bytesRead, or with `failure` in words;
// to null once `cancelled()` says the list it was for has gone (checked between reads).
export async function readPhotoFile(file, cancelled = () => false) {
  let module;
  try {
    module = await modulePromise;
  } catch {
    return noAnswer('The photo reader could not be loaded. Reload the page and try again.', 0);
  }
  let bytesRead = 0;
  try {
    if (cancelled()) return null;
    const x = await instance(module);
    const reader = x.tb_photo_open(file.size);
    if (!reader) throw new Error('no reader');
    let clean = false;
    try {
      for (let step = 0; !x.tb_photo_done(reader); step++) {
        if (cancelled()) {
          clean = true; // stopped between reads: the instance is as clean as after an answer
          return null;
        }
        const offset = x.tb_photo_wanted_offset(reader);
        const length = x.tb_photo_wanted_length(reader) >>> 0;
        if (step >= kMaxSteps || !(offset >= 0)) throw new Error('runaway reader');
        // The room first: a range the reader would never ask for is refused before it is read.
        const at = x.tb_photo_buffer(reader, length);
        if (!at) throw new Error('no buffer');
        const bytes = new Uint8Array(await file.slice(offset, offset + length).arrayBuffer());
        bytesRead += bytes.length;
        new Uint8Array(x.memory.buffer, at, bytes.length).set(bytes);
        x.tb_photo_supply(reader, bytes.length);
      }
      const result = { ...checkedResult(cString(x.memory, x.tb_photo_result_json(reader))), bytesRead };
      clean = true;
      return result;
    } finally {
      x.tb_photo_close(reader);
      if (clean && spare.length < kSpare) spare.push(x);
    }
  } catch (e) {
    if (e instanceof DOMException || e?.name === 'NotReadableError')
      return noAnswer('The browser could not read this file. Is it still where it was?', bytesRead);
    return noAnswer('The photo reader stopped on this file without an answer. The file may be damaged.', bytesRead);
  }
}

// The maker's rated shutter life for a model, as sentences to show beside its count (the
// reader's own table and texts, src/photo/shutter_ratings.h): for a reading from a link, whose
// count came over USB and may include electronic releases. Empty for a model without a row or
// when the reader cannot be loaded. One instance serves every lookup: no file's bytes reach it.
let lookup = null;

export async function ratingFor(model, mechanical = null) {
  try {
    lookup ??= modulePromise.then((module) => WebAssembly.instantiate(module, stubImports(module))).then(({ exports: x }) => {
      x._initialize?.();
      return x;
    });
    const x = await lookup;
    const bytes = new TextEncoder().encode(model);
    const at = x.tb_rating_model(bytes.length);
    if (!at) return [];
    new Uint8Array(x.memory.buffer, at, bytes.length).set(bytes);
    const lines = JSON.parse(cString(x.memory, x.tb_rating_json(bytes.length, isCount(mechanical) ? mechanical : -1)));
    return isTexts(lines) ? lines : [];
  } catch {
    return [];
  }
}
