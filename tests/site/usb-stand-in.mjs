// A stand-in for navigator.usb, installed before the page's scripts (page.addInitScript), whose
// one device is a simulated camera: the project's simulated Canon and Fujifilm bodies behind a
// still-image USB interface (sim/usb, compiled to WebAssembly by tests/site/build-sim-camera).
// Its promises settle as WebUSB's do: transfers resolve with status "ok", "stall" or "babble",
// reject with NetworkError when the cable is gone, and a transfer the camera never answers stays
// pending until the device is closed (AbortError). window.tbUsb lets the test see what happened.
//
// installUsbStandIn runs inside the page: it may use nothing from this file but its argument.
// options: { wasm (base64), camera (a camera line), faults (USB fault words), packetSize,
//   vendorId, manufacturerName, productName, chooser ('pick' | 'cancel'),
//   claim ('ok' | 'busy' | 'denied'), platform (what navigator.userAgentData says), noJspi }
export function installUsbStandIn(options) {
  const answers = ['ok', 'stall', 'babble', 'disconnected', 'pending'];
  const log = { requests: [], opened: 0, closed: 0, claimed: 0, transfers: 0, readingStarted: null, shownAt: null, state: null };
  window.tbUsb = log;
  // When the reading view appears, for the timing.
  document.addEventListener('DOMContentLoaded', () => {
    const view = document.getElementById('reading-view');
    new MutationObserver(() => { if (!view.hidden && log.shownAt === null) log.shownAt = performance.now(); })
      .observe(view, { attributes: true });
  });

  if (options.noJspi) {
    delete WebAssembly.Suspending;
    delete WebAssembly.promising;
  }
  if (options.platform) {
    const data = { platform: options.platform, mobile: options.platform === 'Android', brands: [] };
    Object.defineProperty(Navigator.prototype, 'userAgentData', { get: () => data, configurable: true });
  }

  const bytes = Uint8Array.from(atob(options.wasm), (c) => c.charCodeAt(0));
  // The simulated cameras' C++ names a few system calls it never makes in the browser: stubs.
  const stubs = new Proxy({}, { get: () => () => 0 });
  const ready = WebAssembly.instantiate(bytes, { env: stubs, wasi_snapshot_preview1: stubs }).then(({ instance }) => {
    const x = instance.exports;
    x._initialize?.();
    const text = (s) => new TextEncoder().encode(s);
    const line = text(options.camera);
    const faults = text(options.faults ?? '');
    new Uint8Array(x.memory.buffer, x.sim_usb_buffer(line.length + faults.length), line.length + faults.length)
      .set([...line, ...faults]);
    const cString = (at) => {
      const m = new Uint8Array(x.memory.buffer);
      let end = at;
      while (m[end]) end++;
      return new TextDecoder().decode(m.subarray(at, end));
    };
    if (x.sim_usb_create(line.length, faults.length, options.packetSize ?? 512) !== 0)
      throw new Error(`simulated camera: ${cString(x.sim_usb_text())}`);
    log.state = () => JSON.parse(cString(x.sim_usb_state()));
    return { x, cString };
  });
  ready.catch((error) => { log.error = String(error); });

  // A later task, as a USB answer comes in one; not setTimeout, whose nested calls wait 4 ms.
  const channel = new MessageChannel();
  const queued = [];
  channel.port1.onmessage = () => queued.shift()();
  const later = () => new Promise((resolve) => { queued.push(resolve); channel.port2.postMessage(0); });
  const domError = (name, message) => new DOMException(message, name);
  const pending = new Set(); // rejected with AbortError when the device is closed

  const endpoint = (n, direction) => ({ endpointNumber: n, direction, type: 'bulk', packetSize: options.packetSize ?? 512 });
  const alternate = {
    alternateSetting: 0, interfaceClass: 6, interfaceSubclass: 1, interfaceProtocol: 1, interfaceName: null,
    endpoints: [endpoint(1, 'in'), endpoint(2, 'out'), { endpointNumber: 3, direction: 'in', type: 'interrupt', packetSize: 8 }],
  };
  const iface = { interfaceNumber: 0, alternate, alternates: [alternate], claimed: false };
  const configuration = { configurationValue: 1, configurationName: null, interfaces: [iface] };

  let opened = false;
  const device = {
    vendorId: options.vendorId, productId: 0x3294, deviceClass: 0, deviceSubclass: 0, deviceProtocol: 0,
    manufacturerName: options.manufacturerName ?? null, productName: options.productName ?? null, serialNumber: '0123',
    configuration: null, // as macOS reports it until a configuration is chosen
    configurations: [configuration],
    get opened() { return opened; },
    async open() {
      await later();
      if (options.claim === 'denied') throw domError('SecurityError', 'Access denied.');
      opened = true;
      log.opened++;
    },
    async close() {
      await later();
      opened = false;
      log.closed++;
      iface.claimed = false;
      for (const reject of pending) reject(domError('AbortError', 'The transfer was cancelled.'));
      pending.clear();
    },
    async selectConfiguration(value) {
      await later();
      if (!opened || value !== 1) throw domError('InvalidStateError', 'The device must be opened first.');
      this.configuration = configuration;
    },
    async claimInterface(number) {
      await later();
      if (!opened || !this.configuration || number !== 0) throw domError('NotFoundError', 'The interface number provided is not supported by the device in its current configuration.');
      if (options.claim === 'busy') throw domError('NetworkError', 'Unable to claim interface.');
      iface.claimed = true;
      log.claimed++;
    },
    async selectAlternateInterface() { await later(); },
    transferOut(ep, data) { return transfer(ep === 2, async ({ x }) => {
      const bytes = new Uint8Array(data.buffer ?? data, data.byteOffset ?? 0, data.byteLength);
      new Uint8Array(x.memory.buffer, x.sim_usb_buffer(bytes.length), bytes.length).set(bytes);
      return { answer: answers[x.sim_usb_bulk_out(bytes.length)], result: { bytesWritten: bytes.length } };
    }); },
    transferIn(ep, length) { return transfer(ep === 1, async ({ x }) => {
      const answer = answers[x.sim_usb_bulk_in(length)];
      const data = new Uint8Array(x.memory.buffer, x.sim_usb_data(), x.sim_usb_data_length()).slice();
      return { answer, result: { data: new DataView(data.buffer) } };
    }); },
    controlTransferIn(setup, length) { return transfer(setup.requestType === 'class' && setup.recipient === 'interface' && setup.index === 0, async ({ x }) => {
      const answer = answers[x.sim_usb_control_in(setup.request, length)];
      const data = new Uint8Array(x.memory.buffer, x.sim_usb_data(), x.sim_usb_data_length()).slice();
      return { answer, result: { data: new DataView(data.buffer) } };
    }); },
    controlTransferOut(setup) { return transfer(setup.recipient === 'interface', async () => ({ answer: 'stall', result: {} })); },
    clearHalt(direction, ep) { return transfer(ep === (direction === 'in' ? 1 : 2), async ({ x }) => {
      const answer = answers[x.sim_usb_clear_halt(direction === 'in' ? 1 : 0)];
      return { answer, result: undefined };
    }); },
    async forget() {},
  };

  // A transfer on the claimed interface: the camera answers in a later task, as the bus does.
  function transfer(valid, run) {
    log.transfers++;
    return new Promise((resolve, reject) => {
      if (!opened || !iface.claimed || !valid) {
        reject(domError('InvalidStateError', 'The interface is not claimed or the endpoint is wrong.'));
        return;
      }
      pending.add(reject);
      later().then(() => ready).then(async (sim) => {
        const { answer, result } = await run(sim);
        if (!pending.has(reject)) return; // aborted meanwhile
        if (answer === 'pending') return; // the camera never answers: only close() ends it
        pending.delete(reject);
        if (answer === 'disconnected') reject(domError('NetworkError', 'A transfer error has occurred.'));
        else resolve(result === undefined ? undefined : { status: answer, ...result });
      }, (error) => { pending.delete(reject); reject(error); });
    });
  }

  const usb = {
    async requestDevice(request) {
      // The chooser opens only from a user's gesture, as Chromium's does.
      const activated = navigator.userActivation?.isActive ?? false;
      log.requests.push({ filters: request?.filters, activated });
      if (!activated) throw domError('SecurityError', 'Must be handling a user gesture to show a permission request.');
      await later();
      if (options.chooser === 'cancel') throw domError('NotFoundError', 'No device selected.');
      log.readingStarted = performance.now();
      return device;
    },
    async getDevices() { return []; },
    addEventListener() {}, removeEventListener() {},
    onconnect: null, ondisconnect: null,
  };
  Object.defineProperty(Navigator.prototype, 'usb', { get: () => usb, configurable: true });
}
