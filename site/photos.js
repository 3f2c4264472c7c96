// The photo reader, compiled from the program's C++ to WebAssembly, driven over its C exports
// (src/photo/photo_c_api.h): the reader says which byte range it wants, the page reads just
// that range of the file with File.slice and hands it over, until the reader has its answer.
// So a 100 MB raw costs a few small reads, and the file never leaves the browser.

// Fetched while the page loads, so nothing is requested once it has loaded.
const modulePromise = fetch(new URL('photo.wasm', import.meta.url))
  .then((response) => (response.ok ? response.arrayBuffer() : Promise.reject(new Error(String(response.status)))))
  .then((bytes) => WebAssembly.compile(bytes));

export function readerReady() {
  return modulePromise.then(() => true, () => false);
}

// A reader asks for a few ranges per file; these bounds only stop a reader gone wrong. (A range
// is bounded by the reader's own buffer, which refuses anything it would never ask for.)
const kMaxSteps = 10000;
const kMaxJson = 64 * 1024;

// Standalone WebAssembly has no host around it: every import it names is a stub. Growing the
// memory needs no notice (views are made afresh after every call); anything else is a trap.
function stubImports(module) {
  const imports = {};
  for (const { module: from, name, kind } of WebAssembly.Module.imports(module)) {
    if (kind !== 'function') continue;
    imports[from] ??= {};
    imports[from][name] = name === 'emscripten_notify_memory_growth' ? () => {} : () => { throw new Error(`photo reader called ${name}`); };
  }
  return imports;
}

function cString(memory, at) {
  const bytes = new Uint8Array(memory.buffer);
  let end = at;
  while (end < bytes.length && end - at < kMaxJson && bytes[end] !== 0) end++;
  return new TextDecoder().decode(bytes.subarray(at, end));
}

const kKinds = new Set(['releases', 'mechanical', 'images']);
const isCount = (n) => Number.isInteger(n) && n >= 0 && n <= 4294967295;
const isText = (t) => typeof t === 'string';

// The reader's JSON, checked member by member: the page shows only what has the agreed form.
function checkedResult(json) {
  const r = JSON.parse(json);
  const texts = r && ['make', 'model', 'source', 'message'].every((k) => r[k] === null || isText(r[k]));
  const ok = texts && r.ok === true && isCount(r.count) && kKinds.has(r.kind) &&
    (r.mechanical === null || isCount(r.mechanical));
  const noCount = texts && r.ok === false && r.count === null && isText(r.message);
  if (!ok && !noCount) throw new Error('unexpected answer from the photo reader');
  return {
    count: ok ? r.count : null,
    kind: ok ? r.kind : null,
    mechanical: ok ? r.mechanical : null,
    make: r.make ?? '',
    model: r.model ?? '',
    source: r.source ?? '',
    message: r.message ?? '',
  };
}

// A file with no answer at all: the members of a result, none set, and why in words.
const noAnswer = (failure, bytesRead) =>
  ({ count: null, kind: null, mechanical: null, make: '', model: '', source: '', message: '', failure, bytesRead });

// Reads one File; resolves to the checked result plus bytesRead, or with `failure` in words.
// Each file gets a fresh instance, so a file that trips the reader cannot touch the next one.
export async function readPhotoFile(file) {
  let module;
  try {
    module = await modulePromise;
  } catch {
    return noAnswer('The photo reader could not be loaded. Reload the page and try again.', 0);
  }
  let bytesRead = 0;
  try {
    const { exports: x } = await WebAssembly.instantiate(module, stubImports(module));
    x._initialize?.();
    const reader = x.tb_photo_open(file.size);
    if (!reader) throw new Error('no reader');
    try {
      for (let step = 0; !x.tb_photo_done(reader); step++) {
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
      return { ...checkedResult(cString(x.memory, x.tb_photo_result_json(reader))), bytesRead };
    } finally {
      x.tb_photo_close(reader);
    }
  } catch (e) {
    if (e instanceof DOMException || e?.name === 'NotReadableError')
      return noAnswer('The browser could not read this file. Is it still where it was?', bytesRead);
    return noAnswer('The photo reader stopped on this file without an answer. The file may be damaged.', bytesRead);
  }
}
