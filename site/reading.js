// The reading that Tallybrook for Windows puts in its link: "#reading=" followed by the
// percent-encoded JSON {"v":1,"make":…,"model":…,"count":N,"firmware":…,"serial":…,"source":…}.
// Anyone can craft such a link, so it is decoded as hostile input: every way it can be wrong
// gives a sentence for a person, and the texts that pass are only ever shown as plain text.

export const kReadingPrefix = '#reading=';
// The program's longest link is a few hundred characters: camera texts are PTP strings of
// at most 255 characters, and a fragment far beyond that is not one of ours.
const kMaxFragment = 8192;
const kMaxText = 255;
const kMaxCount = 4294967295;
const kTexts = ['make', 'model', 'firmware', 'serial', 'source'];
const kNames = { make: 'make', model: 'model', firmware: 'firmware', serial: 'serial number', source: 'source' };

// Returns { reading } with the five texts cleaned for display, or { problem } in words.
export function decodeReading(fragment) {
  if (!fragment.startsWith(kReadingPrefix)) return { problem: 'The link has no reading in it.' };
  const payload = fragment.slice(kReadingPrefix.length);
  if (payload.length > kMaxFragment) return { problem: 'The link is far longer than any reading Tallybrook makes.' };
  let json;
  try {
    json = decodeURIComponent(payload);
  } catch {
    return { problem: 'The link is damaged: part of it is not valid percent-encoding. It may have been cut or changed on the way.' };
  }
  let value;
  try {
    value = JSON.parse(json);
  } catch {
    return { problem: 'The link is damaged: the reading in it cannot be read. It may have been cut short when it was copied.' };
  }
  if (value === null || typeof value !== 'object' || Array.isArray(value))
    return { problem: 'The link does not carry a reading in the form Tallybrook writes.' };
  if (value.v !== 1)
    return { problem: 'The reading in this link comes from a version of Tallybrook this page does not know.' };
  if (!Object.hasOwn(value, 'count')) return { problem: 'The reading in this link has no count.' };
  const count = value.count;
  if (typeof count !== 'number' || !Number.isInteger(count) || count < 0 || count > kMaxCount)
    return { problem: 'The count in this link is not a whole number from 0 to 4,294,967,295, so it cannot be a camera\'s count.' };
  const reading = { count };
  for (const key of kTexts) {
    const text = Object.hasOwn(value, key) ? value[key] : undefined;
    if (typeof text !== 'string') return { problem: `The reading in this link has no ${kNames[key]} text.` };
    if (text.length > kMaxText) return { problem: `The ${kNames[key]} in this link is longer than any camera's (more than ${kMaxText} characters).` };
    reading[key] = plainText(text);
  }
  return { reading };
}

// Control characters and the invisible direction marks that could reorder what a person sees
// become U+FFFD, so a crafted text cannot disguise itself.
export function plainText(text) {
  return text.replace(/[\u0000-\u001F\u007F-\u009F\u061C\u200E\u200F\u202A-\u202E\u2066-\u2069]/g, '\uFFFD');
}

// 12345 -> "12,345", as the program's window shows it, whatever the visitor's locale.
export function groupDigits(n) {
  return String(n).replace(/\B(?=(\d{3})+(?!\d))/g, ',');
}

// "12,345 shutter actuations", "1 shutter actuation".
export function countText(n, unit = 'shutter actuations') {
  return `${groupDigits(n)} ${n === 1 ? unit.replace(/s(\b|$)/, '$1') : unit}`;
}

// What the program's source tag means, for the person reading the page. An unknown tag is
// shown as it is, under a sentence that says so.
export function sourceInWords(source) {
  switch (source) {
    case 'Canon USB 0xD1AC':
      return 'Read by Tallybrook for Windows over USB from the shutter counter the camera keeps itself (Canon property 0xD1AC).';
    case 'Canon USB 0xD167':
      return 'Read by Tallybrook for Windows over USB from the camera\'s shutter release counter (Canon property 0xD167). The camera did not send its main shutter counter (0xD1AC), so this one was used instead.';
    case 'Fujifilm USB 0xD310':
      return 'Read by Tallybrook for Windows over USB from the camera\'s total shot count (Fujifilm property 0xD310).';
    case 'Canon WebUSB 0xD1AC':
      return 'Read over USB by a web browser on Tallybrook\'s page (not by Tallybrook for Windows), from the shutter counter the camera keeps itself (Canon property 0xD1AC).';
    case 'Canon WebUSB 0xD167':
      return 'Read over USB by a web browser on Tallybrook\'s page (not by Tallybrook for Windows), from the camera\'s shutter release counter (Canon property 0xD167). The camera did not send its main shutter counter (0xD1AC), so this one was used instead.';
    case 'Fujifilm WebUSB 0xD310':
      return 'Read over USB by a web browser on Tallybrook\'s page (not by Tallybrook for Windows), from the camera\'s total shot count (Fujifilm property 0xD310).';
    case '':
      return 'The link does not say where the count came from.';
    default:
      return 'The link names a source this page does not know:';
  }
}

const kKnownSources = new Set(['', 'Canon USB 0xD1AC', 'Canon USB 0xD167', 'Fujifilm USB 0xD310',
  'Canon WebUSB 0xD1AC', 'Canon WebUSB 0xD167', 'Fujifilm WebUSB 0xD310']);

export function isKnownSource(source) {
  return kKnownSources.has(source);
}
