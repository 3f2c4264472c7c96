// The page, top to bottom: which view the address asks for, one function per view, and the
// photo drop. Everything from a link or a file reaches the page through textContent only.

import { countText, decodeReading, groupDigits, isKnownSource, plainText, sourceInWords } from './reading.js';
import { ratingFor, readPhotoFile, readerReady } from './photos.js';
import { fujifilmHelp, setUpUsbButton, system, usbAvailable } from './usb.js';

const $ = (id) => document.getElementById(id);
const kTitle = document.title;
const views = ['reading-view', 'link-problem-view', 'start-view', 'photo-view'];

function show(view, { download = false } = {}) {
  for (const id of views) $(id).hidden = id !== view;
  $('download').hidden = !download;
  $('usb-area').hidden = view !== 'start-view' && view !== 'photo-view';
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
  showRating(reading);
  show('reading-view');
  const camera = reading.model || reading.make;
  document.title = `${line}${camera ? `, ${camera}` : ''} · Tallybrook`;
  announce(camera ? `${line}, ${camera}` : line);
}

// The maker's rated shutter life for the link's model, once the reader has it; a reading shown
// since then keeps its own.
let ratingShown = 0;
async function showRating(reading) {
  const shown = ++ratingShown;
  $('reading-rating').replaceChildren();
  const lines = await ratingFor(reading.model);
  if (shown !== ratingShown) return;
  $('reading-rating').replaceChildren(...lines.map((line) => paragraph(line)));
}

function paragraph(text, className = '') {
  const p = document.createElement('p');
  if (className) p.className = className;
  p.textContent = text;
  return p;
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
  // A file's name is anyone's text, as a link's is: no direction marks to disguise it.
  title.textContent = plainText(name);
  const answer = document.createElement('p');
  answer.className = result.count != null ? 'photo-count' : 'photo-message';
  answer.textContent = photoLine(result);
  item.append(title, answer);
  const camera = cameraName(result.make, result.model);
  const notes = [];
  if (camera) notes.push(camera);
  if (result.count != null && result.source) notes.push(`from ${result.source}`);
  if (notes.length) {
    const detail = document.createElement('p');
    detail.className = 'quiet';
    detail.textContent = notes.join(', ');
    item.append(detail);
  }
  if (result.count != null && result.message) item.append(paragraph(result.message, 'caveat'));
  item.append(...result.rating.map((line) => paragraph(line, 'rating')));
  item.dataset.state = result.count != null ? 'count' : 'none';
  if (result.count != null) item.dataset.count = String(result.count);
  item.dataset.bytesRead = String(result.bytesRead);
}

// A card's worth at once: a few files are read at a time, each in short steps, and the answers
// join the end of the list in order (no placeholders to lay out again), so the page answers
// while it reads. Clear ends the list's generation: every read of an older
// one stops at its next step and nothing of it is shown or announced.
const kAtOnce = 8;
const kListEvery = 100; // ms
let generation = 0;
let cameras = new Map(); // one entry per body (make, model, serial) in the list: its photos and highest count

async function readPhotos(files) {
  if (!files.length) return;
  showPhotos();
  const mine = generation;
  const gone = () => mine !== generation;
  const items = new Array(files.length);
  let next = 0, shown = 0, counted = 0, done = 0, last = null;
  const progress = () => {
    $('photo-progress').textContent = done < files.length
      ? `Reading ${files.length === 1 ? '1 photo' : `${groupDigits(files.length)} photos`}: ${groupDigits(done)} done.` : '';
  };
  progress();
  const reader = async () => {
    while (next < files.length && !gone()) {
      const i = next++;
      const started = performance.now();
      const result = await readPhotoFile(files[i], gone);
      if (!result || gone()) return;
      const item = document.createElement('li');
      item.dataset.ms = String(Math.round((performance.now() - started) * 10) / 10);
      fillPhotoItem(item, files[i].name, result);
      items[i] = item;
      addToCamera(files[i].name, result);
      if (result.count != null) counted++;
      done++;
      last = { name: files[i].name, result };
      listLater();
    }
  };
  // Answers join the list a few times a second rather than one by one: each addition lays the
  // list out again.
  let timer = 0;
  const list = () => {
    clearTimeout(timer);
    timer = 0;
    if (gone()) return;
    const from = shown;
    while (shown < files.length && items[shown]) shown++;
    if (shown > from) $('photo-list').append(...items.slice(from, shown));
    progress();
  };
  const listLater = () => {
    if (!timer) timer = setTimeout(list, kListEvery);
  };
  await Promise.all(Array.from({ length: Math.min(kAtOnce, files.length) }, reader));
  list();
  if (gone()) return;
  showCameras();
  // One announcement per batch: the photo's answer, or what the batch came to.
  if (files.length === 1) announce(`${last.name}: ${photoLine(last.result)}`);
  else announce(`${groupDigits(files.length)} photos read, ${groupDigits(counted)} with a count, from ${cameraCount(cameras.size)}. The cameras are listed first.`);
}

const cameraCount = (n) => (n === 1 ? '1 camera' : `${groupDigits(n)} cameras`);

// "NIKON CORPORATION", "NIKON D70": the model alone says it.
function cameraName(make, model) {
  const brand = make.split(' ')[0].toLowerCase();
  return brand && model.toLowerCase().includes(brand) ? model : [make, model].filter(Boolean).join(' ');
}

// "2024:05:06 07:08:09" as the camera writes it: "2024-05-06 07:08".
function takenText(taken) {
  const m = /^(\d{4}):(\d{2}):(\d{2}) (\d{2}):(\d{2})/.exec(taken);
  return m ? `${m[1]}-${m[2]}-${m[3]} ${m[4]}:${m[5]}` : '';
}

function addToCamera(name, result) {
  if (!result.make && !result.model) return;
  const key = JSON.stringify([result.make, result.model, result.serial]);
  let camera = cameras.get(key);
  if (!camera) cameras.set(key, camera = { make: result.make, model: result.model, serial: result.serial, photos: 0, best: null, why: '' });
  camera.photos++;
  if (result.count == null && !camera.why) camera.why = result.message;
  if (result.count != null && (!camera.best || result.count > camera.best.result.count)) camera.best = { name, result };
  scheduleCameras();
}

// While a card is read the summary is redrawn a few times a second, not for every answer: each
// redraw lays its cards out again. The batch's end draws it once more.
const kCamerasEvery = 400;
let camerasPending = false;
function scheduleCameras() {
  if (camerasPending) return;
  camerasPending = true;
  setTimeout(() => {
    camerasPending = false;
    showCameras();
  }, cameras.size && $('camera-list').children.length ? kCamerasEvery : 0);
}

function showCameras() {
  $('camera-list').replaceChildren(...[...cameras.values()].map((camera) => {
    const item = document.createElement('li');
    const title = paragraph(cameraName(camera.make, camera.model) || 'Unknown camera', 'camera-name');
    const serial = paragraph(camera.serial ? `Serial number ${camera.serial}` : 'Serial number not recorded in its photos', 'quiet');
    const photos = camera.photos === 1 ? '1 photo' : `${groupDigits(camera.photos)} photos`;
    item.append(title, serial);
    if (camera.best) {
      const { name, result } = camera.best;
      const date = takenText(result.taken);
      item.append(paragraph(`Highest count: ${photoLine(result)}`, 'photo-count'),
        paragraph(`In ${plainText(name)}, ${date ? `taken ${date}` : 'date not recorded'}; ${photos}.`, 'quiet'),
        ...result.rating.map((line) => paragraph(line, 'rating')));
    } else {
      // Why, and what to do next, as its first photo without a count said.
      item.append(paragraph(camera.photos === 1 ? 'No count in its photo.' : `No count in its ${photos}.`, 'photo-message'),
        paragraph(camera.why, 'quiet'));
    }
    item.dataset.count = camera.best ? String(camera.best.result.count) : 'none';
    return item;
  }));
}

$('pick-photos').addEventListener('click', () => $('photo-input').click());
$('photo-input').addEventListener('change', (event) => {
  readPhotos([...event.target.files]);
  event.target.value = '';
});
$('clear-photos').addEventListener('click', () => {
  generation++;
  cameras = new Map();
  $('photo-list').replaceChildren();
  $('camera-list').replaceChildren();
  $('photo-progress').textContent = '';
  $('announce').textContent = '';
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
  droppedFiles(event.dataTransfer).then(readPhotos);
});

// A card's folder dropped where the browser gives folders (webkitGetAsEntry: Chromium, Firefox,
// Safari): the files in it and in its folders, each folder's in name order. The entries are
// taken during the drop event, after which the browser empties the DataTransfer.
function droppedFiles(transfer) {
  const files = [...(transfer?.files ?? [])];
  const entries = [...(transfer?.items ?? [])].map((item) => item.webkitGetAsEntry?.() ?? null);
  if (!entries.some((entry) => entry?.isDirectory)) return Promise.resolve(files);
  const found = [];
  const readAll = (reader) => new Promise((resolve) => {
    const all = [];
    const more = () => reader.readEntries((batch) => (batch.length ? (all.push(...batch), more()) : resolve(all)), () => resolve(all));
    more();
  });
  const walk = async (entry) => {
    if (entry.isFile) {
      const file = await new Promise((resolve) => entry.file(resolve, () => resolve(null)));
      if (file) found.push(file);
    } else if (entry.isDirectory) {
      const children = await readAll(entry.createReader());
      children.sort((a, b) => (a.name < b.name ? -1 : a.name > b.name ? 1 : 0));
      for (const child of children) await walk(child);
    }
  };
  return entries.reduce((done, entry) => done.then(() => entry && walk(entry)), Promise.resolve())
    .then(() => found);
}

// The brand link leads to the start from any view, the photo list included, where the address
// may already end in "#" and no hashchange would come.
document.querySelector('.brand').addEventListener('click', (event) => {
  event.preventDefault();
  if (location.hash) history.pushState(null, '', location.pathname + location.search);
  showStart();
  $('main').focus();
});

// --- A camera over USB ----------------------------------------------------------------------

// Where the browser has WebUSB and the system lets a page reach a camera, the button; elsewhere
// a sentence that says what can.
function setUpUsb() {
  const unavailable = (text) => {
    $('usb-unavailable').textContent = text;
    $('usb-unavailable').hidden = false;
  };
  if (!usbAvailable()) {
    unavailable('Reading a Canon or Fujifilm camera over USB works in Chrome, Edge, Opera or Brave on a Mac, on Linux, on a Chromebook or on Android; this browser cannot reach a camera. Read a photo the camera took instead.');
    return;
  }
  if (system() === 'windows') {
    unavailable('On Windows, Windows\' own camera driver keeps the camera, so no web page can read it over USB. Tallybrook for Windows reads it: download it from Tallybrook\'s start page.');
    return;
  }
  $('usb-ready').hidden = false;
  let vendorId = 0;
  setUpUsbButton($('usb-read'), {
    onStart: (device) => {
      vendorId = device.vendorId;
      $('usb-problem').hidden = true;
      $('usb-status').textContent = 'Reading the camera. Keep it switched on and connected…';
      announce('Reading the camera.');
    },
    onResult: ({ result, problem, help }) => {
      $('usb-status').textContent = '';
      if (result?.ok) {
        location.hash = result.link; // the reading view shows it, and the address keeps it
        return;
      }
      const lines = result ? (vendorId === 0x04cb ? [fujifilmHelp] : []) : help;
      showUsbProblem(result ? result.message : problem, lines, result?.log ?? []);
    },
  });
  $('usb-copy').addEventListener('click', () => {
    const details = [$('usb-message').textContent, ...[...$('usb-help').children].map((p) => p.textContent), '',
      $('usb-log').textContent, '', `Browser: ${navigator.userAgent}`].join('\n');
    navigator.clipboard?.writeText(details).catch(() => {});
  });
}

function showUsbProblem(message, help, log) {
  $('usb-message').textContent = message;
  $('usb-help').replaceChildren(...help.map((line) => paragraph(line)));
  $('usb-log').textContent = log.join('\n');
  $('usb-problem').hidden = false;
  announce(message);
}

setUpUsb();

window.addEventListener('hashchange', route);
route();

readerReady().then((ready) => {
  if (!ready) $('reader-state').textContent = 'The photo reader could not be loaded, so photos cannot be read right now. Reload the page to try again.';
  document.documentElement.dataset.ready = ready ? 'yes' : 'no';
});
