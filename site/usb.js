// Reading a Canon or Fujifilm camera over USB from this page, in browsers that have WebUSB
// (Chrome, Edge, Opera, Brave; on macOS, Linux, ChromeOS and Android). The reading itself is the
// program's own C++ (in reader.wasm): its PTP session over the camera's bulk pipes and the same
// Canon and Fujifilm readers as Tallybrook for Windows. This file only carries its transfers to
// WebUSB and back: the module (reader.wasm, which holds the photo reader too) asks through its imports, the page answers once the promise
// settles, and the module's coroutines go on from there (no JSPI, no Asyncify).

// Still-image cameras (PTP): class 6, subclass 1, protocol 1.
import { cString, readerModule, stubImports } from './photos.js';

const kFilters = [{ classCode: 6, subclassCode: 1, protocolCode: 1 }];
const kFujifilm = 0x04cb;
const kMaxJson = 256 * 1024;
const Status = { ok: 0, stall: 1, babble: 2, disconnected: 3, timedOut: 4 };

export const usbAvailable = () => typeof navigator.usb?.requestDevice === 'function';

// 'mac', 'windows', 'linux', 'chromeos', 'android' or ''.
export function system() {
  const platform = (navigator.userAgentData?.platform ?? '').toLowerCase();
  const agent = navigator.userAgent;
  if (platform === 'android' || /Android/.test(agent)) return 'android';
  if (platform === 'chrome os' || platform === 'chromeos' || /CrOS/.test(agent)) return 'chromeos';
  if (platform === 'macos' || /Macintosh|Mac OS X/.test(agent)) return 'mac';
  if (platform === 'windows' || /Windows/.test(agent)) return 'windows';
  if (platform === 'linux' || /Linux/.test(agent)) return 'linux';
  return '';
}

// What helps when the browser cannot take the camera, on each system.
export function claimHelp(os, vendorId) {
  const steps = {
    mac: 'On a Mac, quit Photos, Image Capture and Preview: macOS hands a camera to them as soon as it is plugged in. Then click "Read a camera over USB" again. If it still fails, quit the system\'s camera service too: open Activity Monitor, search for ptpcamerad and quit it. On a Mac laptop with Apple silicon, allow the accessory to connect when macOS asks.',
    linux: 'On Linux, eject the camera in your file manager (the desktop opens a camera as soon as it is plugged in), then click "Read a camera over USB" again. If it still fails, your user may not be allowed to use the device: a udev rule for the camera grants it. Chromium installed as a snap also needs: sudo snap connect chromium:raw-usb.',
    chromeos: 'On a Chromebook, eject the camera in the Files app, then click "Read a camera over USB" again.',
    android: 'On Android, if the phone asked which app should open the camera, unplug the camera, plug it back in and choose Chrome, or allow Chrome to use it when asked.',
  };
  const lines = [steps[os] ?? 'Close any other program that uses the camera, then try again.'];
  if (vendorId === kFujifilm) lines.push(fujifilmHelp);
  return lines;
}

export const fujifilmHelp = 'On a Fujifilm camera, set the USB connection in the camera\'s menu to a PTP mode ("USB RAW CONV./BACKUP RESTORE" or "PC shoot"), not card reader or webcam.';

// The camera's PTP interface and its endpoints, or null.
function stillImageInterface(device) {
  for (const iface of device.configuration?.interfaces ?? []) {
    for (const alt of iface.alternates) {
      if (alt.interfaceClass !== 6 || alt.interfaceSubclass !== 1 || alt.interfaceProtocol !== 1) continue;
      const bulkIn = alt.endpoints.find((e) => e.type === 'bulk' && e.direction === 'in');
      const bulkOut = alt.endpoints.find((e) => e.type === 'bulk' && e.direction === 'out');
      if (bulkIn && bulkOut) return { number: iface.interfaceNumber, alternate: alt.alternateSetting, bulkIn, bulkOut };
    }
  }
  return null;
}

const isText = (t) => typeof t === 'string';

// The module's JSON, checked member by member.
function checkedResult(json) {
  const r = JSON.parse(json);
  const texts = ['make', 'model', 'firmware', 'serial', 'source', 'message', 'link'].every((k) => isText(r?.[k]));
  if (!texts || typeof r.ok !== 'boolean' || !Number.isInteger(r.count) || !Array.isArray(r.log) || !r.log.every(isText))
    throw new Error('unexpected answer');
  if (r.ok && !r.link.startsWith('#reading=')) throw new Error('unexpected link');
  return r;
}

// Runs the module's reading over a claimed interface; resolves to its checked result.
async function runReading(module, device, iface) {
  let x;
  let settle;
  const finished = new Promise((resolve, reject) => { settle = { resolve, reject }; });
  // A transfer answered after its time ran out finds a newer generation and is dropped.
  let generation = 0;

  const complete = (status, data) => {
    try {
      const bytes = data ? new Uint8Array(data.buffer, data.byteOffset, data.byteLength) : new Uint8Array(0);
      const at = x.tb_usb_buffer(bytes.length);
      if (!at && bytes.length) throw new Error('answer too large');
      new Uint8Array(x.memory.buffer, at, bytes.length).set(bytes);
      x.tb_usb_complete(status, bytes.length);
      if (x.tb_usb_done()) settle.resolve(checkedResult(cString(x.memory, x.tb_usb_result_json(), kMaxJson)));
    } catch (error) {
      settle.reject(error);
    }
  };
  // Every answer comes from a promise, so never inside the import that asked for it.
  const answer = (promise, timeoutMs) => {
    const mine = ++generation;
    const timer = setTimeout(() => {
      if (mine !== generation) return;
      generation++;
      complete(Status.timedOut, null);
    }, timeoutMs);
    promise.then((result) => {
      if (mine !== generation) return;
      clearTimeout(timer);
      generation++;
      const status = result.status === 'ok' ? Status.ok : result.status === 'stall' ? Status.stall : Status.babble;
      complete(status, result.data ?? null);
    }, () => {
      // NetworkError (unplugged), NotFoundError, AbortError, InvalidStateError: the camera is out of reach.
      if (mine !== generation) return;
      clearTimeout(timer);
      generation++;
      complete(Status.disconnected, null);
    });
  };
  const copy = (at, length) => new Uint8Array(x.memory.buffer, at, length).slice();
  const setup = (request) => ({ requestType: 'class', recipient: 'interface', request, value: 0, index: iface.number });

  const env = {
    tb_usb_bulk_out: (at, length, ms) => answer(device.transferOut(iface.bulkOut.endpointNumber, copy(at, length)), ms),
    tb_usb_bulk_in: (length, ms) => answer(device.transferIn(iface.bulkIn.endpointNumber, length), ms),
    tb_usb_control_in: (request, length, ms) => answer(device.controlTransferIn(setup(request), length), ms),
    tb_usb_control_out: (request, at, length, ms) => answer(device.controlTransferOut(setup(request), copy(at, length)), ms),
    tb_usb_clear_halt: (isIn, ms) => answer(device.clearHalt(isIn ? 'in' : 'out',
      (isIn ? iface.bulkIn : iface.bulkOut).endpointNumber).then(() => ({ status: 'ok' })), ms),
    tb_usb_sleep: (ms) => answer(new Promise((resolve) => setTimeout(() => resolve({ status: 'ok' }), ms)), ms + 60000),
    tb_usb_now: () => performance.now(),
  };
  ({ exports: x } = await WebAssembly.instantiate(module, stubImports(module, env)));
  x._initialize?.();

  const manufacturer = new TextEncoder().encode(device.manufacturerName ?? '');
  const product = new TextEncoder().encode(device.productName ?? '');
  const at = x.tb_usb_buffer(manufacturer.length + product.length);
  new Uint8Array(x.memory.buffer, at, manufacturer.length + product.length).set([...manufacturer, ...product]);
  x.tb_usb_start(device.vendorId, iface.bulkIn.packetSize, manufacturer.length, product.length);
  if (x.tb_usb_done()) settle.resolve(checkedResult(cString(x.memory, x.tb_usb_result_json(), kMaxJson)));
  return finished;
}

// One reading of the device the visitor chose. Resolves to { result } (the module's answer) or
// { problem, help } in words; never rejects.
async function readDevice(device) {
  let module;
  try {
    module = await readerModule();
  } catch {
    return { problem: 'The camera reader could not be loaded. Reload the page and try again.', help: [] };
  }
  try {
    await device.open();
  } catch (error) {
    if (error.name === 'NotFoundError')
      return { problem: 'The camera was unplugged before it could be read. Plug it back in and try again.', help: [] };
    // Chromium reports every failure to open as a permission error.
    return { problem: 'The browser could not open the camera: the system or another program keeps it.', help: claimHelp(system(), device.vendorId) };
  }
  try {
    if (device.configuration === null) await device.selectConfiguration(1);
    const iface = stillImageInterface(device);
    if (!iface) {
      return { problem: 'This device has no camera connection (PTP) the browser can use.', help: device.vendorId === kFujifilm ? [fujifilmHelp] : [] };
    }
    try {
      await device.claimInterface(iface.number);
      if (iface.alternate !== 0) await device.selectAlternateInterface(iface.number, iface.alternate);
    } catch (error) {
      if (error.name === 'NotFoundError')
        return { problem: 'The camera was unplugged before it could be read. Plug it back in and try again.', help: [] };
      return { problem: 'The browser could not take the camera: another program is using it.', help: claimHelp(system(), device.vendorId) };
    }
    current = device;
    const result = await runReading(module, device, iface);
    return { result };
  } catch {
    return { problem: 'Something went wrong while reading the camera. Unplug it, plug it back in and try again.', help: [] };
  } finally {
    current = null;
    // Releases the interface; the camera's session was closed by the reading where it still answered.
    await device.close().catch(() => {});
  }
}

// The device being read, so that leaving the page lets it go.
let current = null;
addEventListener('pagehide', () => {
  current?.close().catch(() => {});
});

// Sets up the button: calls onResult({ result } | { problem, help }) after each reading and
// onBusy(true/false) around it. The chooser opens straight from the click (a user gesture).
export function setUpUsbButton(button, { onStart, onResult }) {
  let busy = false;
  button.addEventListener('click', async () => {
    if (busy) return;
    busy = true;
    button.disabled = true;
    try {
      let device;
      try {
        device = await navigator.usb.requestDevice({ filters: kFilters });
      } catch (error) {
        // Cancelled, or no camera to choose from: nothing to say.
        if (error.name !== 'NotFoundError')
          onResult({ problem: 'The browser did not offer a camera to choose.', help: [] });
        return;
      }
      onStart(device);
      onResult(await readDevice(device));
    } finally {
      busy = false;
      button.disabled = false;
    }
  });
}
