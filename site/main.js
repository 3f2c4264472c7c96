// The page, top to bottom: which view the address asks for, one function per view, and the
// photo drop. Everything from a link or a file reaches the page through textContent only.

import { countText, decodeReading, groupDigits, isKnownSource, sourceInWords } from './reading.js';
import { readPhotoFile, readerReady } from './photos.js';

const $ = (id) => document.getElementById(id);
const kTitle = document.title;
const views = ['reading-view', 'link-problem-view', 'start-view', 'photo-view'];

function show(view, { download = false } = {}) {
  for (const id of views) $(id).hidden = id !== view;
  $('download').hidden = !download;
}

function announce(text) {
  $('announce').textContent = text;
}

function orNotGiven(element, text) {
  element.textContent = text === '' ? 'not given' : text;
  element.classList.toggle('quiet', text === '');
}

// The reading carried in the link's fragment.
function showReading(reading) {
  const line = countText(reading.count);
  $('reading-count').textContent = groupDigits(reading.count);
  $('reading-unit').textContent = line.slice(line.indexOf(' ') + 1);
  for (const key of ['make', 'model', 'firmware', 'serial']) orNotGiven($(`reading-${key}`), reading[key]);
  $('reading-source').textContent = sourceInWords(reading.source);
  $('reading-source-tag').textContent = isKnownSource(reading.source) ? '' : reading.source;
  $('reading-source-tag').hidden = isKnownSource(reading.source);
  show('reading-view');
  const camera = reading.model || reading.make;
  document.title = `${line}${camera ? `, ${camera}` : ''} · Tallybrook`;
  announce(camera ? `${line}, ${camera}` : line);
}

function showLinkProblem(problem) {
  $('link-problem').textContent = problem;
  show('link-problem-view');
  document.title = `No reading in this link · Tallybrook`;
  announce(problem);
}

function showStart() {
  show('start-view', { download: true });
  document.title = kTitle;
}

function showPhotos() {
  show('photo-view');
  document.title = `Your photos · Tallybrook`;
}

// The address decides the view; a link inside the page ("#") brings the start back.
function route() {
  const fragment = location.hash;
  if (fragment.startsWith('#reading=')) {
    const { reading, problem } = decodeReading(fragment);
    if (reading) showReading(reading);
    else showLinkProblem(problem);
  } else {
    showStart();
  }
}

// --- Photos -------------------------------------------------------------------------------

const kUnits = { releases: 'shutter actuations', mechanical: 'mechanical shutter actuations', images: 'images taken' };

function photoLine(result) {
  if (result.failure) return result.failure;
  if (result.count === null) return result.message || 'No shutter count in this file.';
  let line = countText(result.count, kUnits[result.kind]);
  if (result.mechanical !== null) line += ` (${groupDigits(result.mechanical)} mechanical)`;
  return line;
}

function fillPhotoItem(item, name, result) {
  item.replaceChildren();
  const title = document.createElement('p');
  title.className = 'file-name';
  title.textContent = name;
  const answer = document.createElement('p');
  answer.className = result.count != null ? 'photo-count' : 'photo-message';
  answer.textContent = photoLine(result);
  item.append(title, answer);
  // "NIKON CORPORATION", "NIKON D70": the model alone says it.
  const brand = result.make.split(' ')[0].toLowerCase();
  const camera = brand && result.model.toLowerCase().includes(brand) ? result.model
    : [result.make, result.model].filter(Boolean).join(' · ');
  const notes = [];
  if (camera) notes.push(camera);
  if (result.count != null && result.source) notes.push(`from ${result.source}`);
  if (notes.length) {
    const detail = document.createElement('p');
    detail.className = 'quiet';
    detail.textContent = notes.join(', ');
    item.append(detail);
  }
  if (result.count != null && result.message) {
    const caveat = document.createElement('p');
    caveat.className = 'caveat';
    caveat.textContent = result.message;
    item.append(caveat);
  }
  item.dataset.state = result.count != null ? 'count' : 'none';
  if (result.count != null) item.dataset.count = String(result.count);
  item.dataset.bytesRead = String(result.bytesRead);
}

// Files are read one after another: a long list costs the memory of one reader at a time.
let queue = Promise.resolve();

function readPhotos(files) {
  if (!files.length) return;
  showPhotos();
  const list = $('photo-list');
  for (const file of files) {
    const item = document.createElement('li');
    item.dataset.state = 'reading';
    item.textContent = `${file.name}: reading…`;
    list.append(item);
    queue = queue.then(async () => {
      const started = performance.now();
      const result = await readPhotoFile(file);
      item.dataset.ms = String(Math.round((performance.now() - started) * 10) / 10);
      fillPhotoItem(item, file.name, result);
      announce(`${file.name}: ${photoLine(result)}`);
    });
  }
}

$('pick-photos').addEventListener('click', () => $('photo-input').click());
$('photo-input').addEventListener('change', (event) => {
  readPhotos([...event.target.files]);
  event.target.value = '';
});
$('clear-photos').addEventListener('click', () => {
  $('photo-list').replaceChildren();
  route();
  $('pick-photos').focus();
});

// A file dropped anywhere is read here; without this the browser would open it instead.
document.addEventListener('dragover', (event) => {
  event.preventDefault();
  if (event.dataTransfer) event.dataTransfer.dropEffect = 'copy';
  $('drop-area').classList.add('dragging');
});
document.addEventListener('dragleave', (event) => {
  if (!event.relatedTarget) $('drop-area').classList.remove('dragging');
});
document.addEventListener('drop', (event) => {
  event.preventDefault();
  $('drop-area').classList.remove('dragging');
  readPhotos([...(event.dataTransfer?.files ?? [])]);
});

// The brand link leads to the start from any view, the photo list included, where the address
// may already end in "#" and no hashchange would come.
document.querySelector('.brand').addEventListener('click', (event) => {
  event.preventDefault();
  if (location.hash) history.pushState(null, '', location.pathname + location.search);
  showStart();
  $('main').focus();
});

window.addEventListener('hashchange', route);
route();

readerReady().then((ready) => {
  if (!ready) $('reader-state').textContent = 'The photo reader could not be loaded, so photos cannot be read right now. Reload the page to try again.';
  document.documentElement.dataset.ready = ready ? 'yes' : 'no';
});
