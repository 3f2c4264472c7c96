// Firefox and WebKit for the site's tests, from Debian's packages, with no driver library:
//   Firefox ESR over WebDriver BiDi (the browser's own remote agent, a WebSocket);
//   WebKit through WebKitWebDriver (webkit2gtk-driver) and its MiniBrowser, over classic
//   WebDriver (HTTP), on a private Xvfb display.
// Both give the same small page: goto, evaluate, setInputFiles, press, screenshot, close.
// (Chromium keeps playwright-core, browser.mjs.) Nothing is downloaded.
import { spawn } from 'node:child_process';
import { existsSync, readdirSync } from 'node:fs';
import { mkdtemp, rm, writeFile } from 'node:fs/promises';
import { createServer } from 'node:net';
import { tmpdir } from 'node:os';
import { join } from 'node:path';

export const kFirefox = process.env.TB_FIREFOX ?? '/usr/bin/firefox-esr';
export const kWebKitDriver = process.env.TB_WEBKIT_DRIVER ?? '/usr/bin/WebKitWebDriver';
// MiniBrowser lives in the architecture's own library folder.
export const kMiniBrowser = process.env.TB_MINIBROWSER ?? (() => {
  for (const dir of readdirSync('/usr/lib').filter((d) => d.endsWith('-linux-gnu'))) {
    const path = join('/usr/lib', dir, 'webkit2gtk-4.1/MiniBrowser');
    if (existsSync(path)) return path;
  }
  return '/usr/lib/x86_64-linux-gnu/webkit2gtk-4.1/MiniBrowser';
})();

const kKeys = { Tab: '\uE004', Enter: '\uE007', Escape: '\uE00C' };
const kStartMs = 60000;
// A command the browser never answers fails the test that sent it, rather than hanging the run.
const kCommandMs = 120000;

// The function and its arguments as one expression whose value is the result as JSON text
// (undefined stays undefined), so neither protocol's value encoding matters.
const call = (fn, args) => `(async () => { const v = await (${fn})(...${JSON.stringify(args)}); ` +
  'return v === undefined ? "undefined" : JSON.stringify(v); })()';
const parse = (text) => (text === 'undefined' || text === undefined ? undefined : JSON.parse(text));

function freePort() {
  return new Promise((resolve, reject) => {
    const server = createServer();
    server.once('error', reject);
    server.listen(0, '127.0.0.1', () => {
      const { port } = server.address();
      server.close(() => resolve(port));
    });
  });
}

// Waits for a line of a child's output to match; rejects if the child ends first.
function waitForOutput(child, pattern, what) {
  return new Promise((resolve, reject) => {
    let text = '';
    const timer = setTimeout(() => reject(new Error(`${what}: no ${pattern} within ${kStartMs} ms:\n${text.slice(-2000)}`)), kStartMs);
    const onData = (chunk) => {
      text += chunk;
      const match = text.match(pattern);
      if (match) {
        clearTimeout(timer);
        resolve(match);
      }
    };
    child.stdout?.on('data', onData);
    child.stderr?.on('data', onData);
    child.once('exit', (code) => {
      clearTimeout(timer);
      reject(new Error(`${what} ended (${code}) before it was ready:\n${text.slice(-2000)}`));
    });
  });
}

const stop = (child) => new Promise((resolve) => {
  if (!child || child.exitCode !== null || child.signalCode !== null) return resolve();
  child.once('exit', resolve);
  child.kill('SIGTERM');
  setTimeout(() => child.kill('SIGKILL'), 5000).unref();
});

// --- Firefox over WebDriver BiDi ---------------------------------------------------------

class BidiConnection {
  constructor(socket) {
    this.socket = socket;
    this.next = 0;
    this.pending = new Map();
    this.listeners = new Map();
    socket.addEventListener('message', (event) => {
      const message = JSON.parse(event.data);
      if (message.id !== undefined && this.pending.has(message.id)) {
        const { resolve, reject, method } = this.pending.get(message.id);
        this.pending.delete(message.id);
        if (message.type === 'error') reject(new Error(`${method}: ${message.error}: ${message.message}`));
        else resolve(message.result);
      } else if (message.method) {
        for (const listener of this.listeners.get(message.method) ?? []) listener(message.params);
      }
    });
    socket.addEventListener('close', () => {
      for (const { reject, method } of this.pending.values()) reject(new Error(`${method}: the browser went away`));
      this.pending.clear();
    });
  }

  send(method, params = {}) {
    const id = ++this.next;
    return new Promise((resolve, reject) => {
      const timer = setTimeout(() => {
        this.pending.delete(id);
        reject(new Error(`${method}: no answer from the browser in ${kCommandMs} ms`));
      }, kCommandMs);
      const settle = (fn) => (value) => {
        clearTimeout(timer);
        fn(value);
      };
      this.pending.set(id, { resolve: settle(resolve), reject: settle(reject), method });
      this.socket.send(JSON.stringify({ id, method, params }));
    });
  }

  on(method, listener) {
    this.listeners.set(method, [...(this.listeners.get(method) ?? []), listener]);
  }
}

class BidiPage {
  constructor(browser, context) {
    this.browser = browser;
    this.bidi = browser.bidi;
    this.context = context;
    this.requests = [];   // every request this page made: { url }
    this.dialogs = [];    // the message of every dialog it opened (each dismissed)
  }

  async goto(url) {
    await this.bidi.send('browsingContext.navigate', { context: this.context, url, wait: 'complete' });
  }

  async evaluate(fn, ...args) {
    const result = await this.bidi.send('script.evaluate', {
      expression: call(fn, args), target: { context: this.context }, awaitPromise: true,
    });
    if (result.type === 'exception') throw new Error(`in the page: ${result.exceptionDetails.text}`);
    return parse(result.result.value);
  }

  // Runs a script's text as it is (a library to scan the page with).
  async addScript(source) {
    const result = await this.bidi.send('script.evaluate', {
      expression: `${source};0`, target: { context: this.context }, awaitPromise: false,
    });
    if (result.type === 'exception') throw new Error(`in the page: ${result.exceptionDetails.text}`);
  }

  async setInputFiles(selector, paths) {
    const found = await this.bidi.send('script.evaluate', {
      expression: `document.querySelector(${JSON.stringify(selector)})`, target: { context: this.context },
      awaitPromise: false, resultOwnership: 'root',
    });
    if (found.result?.type !== 'node') throw new Error(`no ${selector} in the page`);
    await this.bidi.send('input.setFiles', { context: this.context, element: { sharedId: found.result.sharedId }, files: paths });
  }

  async press(key) {
    const value = kKeys[key] ?? key;
    await this.bidi.send('input.performActions', {
      context: this.context,
      actions: [{ type: 'key', id: 'keyboard', actions: [{ type: 'keyDown', value }, { type: 'keyUp', value }] }],
    });
  }

  async screenshot(path) {
    const { data } = await this.bidi.send('browsingContext.captureScreenshot', { context: this.context });
    await writeFile(path, Buffer.from(data, 'base64'));
  }

  async close() {
    this.browser.pages.delete(this.context);
    await this.bidi.send('browsingContext.close', { context: this.context });
  }
}

class Firefox {
  static async launch() {
    const profile = await mkdtemp(join(tmpdir(), 'tallybrook-firefox-'));
    const child = spawn(kFirefox, ['--headless', '--no-remote', '--profile', profile, '--remote-debugging-port=0', 'about:blank'],
      { stdio: ['ignore', 'pipe', 'pipe'] });
    try {
      const [, endpoint] = await waitForOutput(child, /WebDriver BiDi listening on (ws:\/\/\S+)/, 'firefox');
      const socket = new WebSocket(`${endpoint}/session`);
      await new Promise((resolve, reject) => {
        socket.addEventListener('open', resolve, { once: true });
        socket.addEventListener('error', () => reject(new Error(`firefox: cannot connect to ${endpoint}`)), { once: true });
      });
      const browser = new Firefox(child, profile, new BidiConnection(socket));
      const { capabilities } = await browser.bidi.send('session.new', { capabilities: { alwaysMatch: { unhandledPromptBehavior: { default: 'ignore' } } } });
      browser.versionText = `${capabilities.browserName} ${capabilities.browserVersion}`;
      await browser.bidi.send('session.subscribe', { events: ['network.beforeRequestSent', 'browsingContext.userPromptOpened'] });
      browser.bidi.on('network.beforeRequestSent', (event) => browser.pages.get(event.context)?.requests.push({ url: event.request.url }));
      browser.bidi.on('browsingContext.userPromptOpened', (event) => {
        browser.pages.get(event.context)?.dialogs.push(event.message);
        browser.bidi.send('browsingContext.handleUserPrompt', { context: event.context, accept: false }).catch(() => {});
      });
      return browser;
    } catch (error) {
      await stop(child);
      await rm(profile, { recursive: true, force: true });
      throw error;
    }
  }

  constructor(child, profile, bidi) {
    Object.assign(this, { child, profile, bidi, name: 'firefox', pages: new Map() });
  }

  version() { return this.versionText; }

  // Set before any of the page's scripts, in every page opened after.
  async addInitScript(fn) {
    await this.bidi.send('script.addPreloadScript', { functionDeclaration: `${fn}` });
  }

  async newPage({ width = 1280, height = 800 } = {}) {
    const { context } = await this.bidi.send('browsingContext.create', { type: 'tab' });
    await this.bidi.send('browsingContext.setViewport', { context, viewport: { width, height } });
    const page = new BidiPage(this, context);
    this.pages.set(context, page);
    return page;
  }

  async close() {
    await this.bidi.send('browser.close').catch(() => {});
    await stop(this.child);
    await rm(this.profile, { recursive: true, force: true });
  }
}

// --- WebKit over classic WebDriver -------------------------------------------------------

const kElement = 'element-6066-11e4-a52e-4f735466cecf';

class WebKitPage {
  constructor(browser, handle) {
    Object.assign(this, { browser, handle, requests: null, dialogs: [] });
  }

  // Each command first makes this page's window the current one (the driver has one).
  async command(method, path, body) {
    if (this.browser.current !== this.handle) {
      await this.browser.command('POST', '/window', { handle: this.handle });
      this.browser.current = this.handle;
    }
    try {
      return await this.browser.command(method, path, body);
    } catch (error) {
      // A dialog the page opened is dismissed by the driver and reported on the next command.
      if (error.code === 'unexpected alert open') {
        this.dialogs.push(error.text ?? error.message);
        return this.browser.command(method, path, body);
      }
      throw error;
    }
  }

  async goto(url) {
    // A change of fragment alone is no navigation: through about:blank, as a new load.
    await this.command('POST', '/url', { url: 'about:blank' });
    await this.command('POST', '/url', { url });
  }

  async evaluate(fn, ...args) {
    const script = 'const done = arguments[arguments.length - 1];' +
      `${call(fn, args)}.then((v) => done({ v }), (e) => done({ e: String(e && e.stack || e) }));`;
    const result = await this.command('POST', '/execute/async', { script, args: [] });
    if (result.e) throw new Error(`in the page: ${result.e}`);
    return parse(result.v);
  }

  async addScript(source) {
    await this.command('POST', '/execute/sync', { script: `${source};return 0;`, args: [] });
  }

  async setInputFiles(selector, paths) {
    const found = await this.command('POST', '/element', { using: 'css selector', value: selector });
    await this.command('POST', `/element/${found[kElement]}/value`, { text: paths.join('\n') });
  }

  async press(key) {
    const value = kKeys[key] ?? key;
    await this.command('POST', '/actions', {
      actions: [{ type: 'key', id: 'keyboard', actions: [{ type: 'keyDown', value }, { type: 'keyUp', value }] }],
    });
    await this.command('DELETE', '/actions');
  }

  async screenshot(path) {
    await writeFile(path, Buffer.from(await this.command('GET', '/screenshot'), 'base64'));
  }

  async close() {
    await this.command('DELETE', '/window');
    // The driver needs a current window to open the next one from.
    await this.browser.command('POST', '/window', { handle: this.browser.first });
    this.browser.current = this.browser.first;
  }
}

class WebKit {
  static async launch() {
    const children = [];
    try {
      // A private X display: the lowest free number from 150 up.
      let n = 150;
      while (existsSync(`/tmp/.X${n}-lock`) || existsSync(`/tmp/.X11-unix/X${n}`)) n++;
      const xvfb = spawn('Xvfb', [`:${n}`, '-screen', '0', '1280x1024x24', '-nolisten', 'tcp'], { stdio: 'ignore' });
      children.push(xvfb);
      for (let i = 0; i < 100 && !existsSync(`/tmp/.X11-unix/X${n}`); i++) await new Promise((r) => setTimeout(r, 50));
      const port = await freePort();
      const driver = spawn(kWebKitDriver, [`--port=${port}`, '--host=127.0.0.1'],
        { stdio: ['ignore', 'pipe', 'pipe'], env: { ...process.env, DISPLAY: `:${n}` } });
      children.push(driver);
      const browser = new WebKit(children, `http://127.0.0.1:${port}`);
      for (let i = 0; ; i++) {
        try {
          await fetch(`${browser.base}/status`);
          break;
        } catch (error) {
          if (i > 200 || driver.exitCode !== null) throw new Error(`WebKitWebDriver did not start: ${error.message}`);
          await new Promise((r) => setTimeout(r, 50));
        }
      }
      const { sessionId, capabilities } = await browser.command('POST', '/session', {
        capabilities: { alwaysMatch: { 'webkitgtk:browserOptions': { binary: kMiniBrowser, args: ['--automation'] } } },
      });
      browser.session = sessionId;
      browser.versionText = `WebKitGTK ${capabilities.browserVersion} (${capabilities.browserName})`;
      browser.first = await browser.command('GET', '/window');
      browser.current = browser.first;
      return browser;
    } catch (error) {
      for (const child of children.reverse()) await stop(child);
      throw error;
    }
  }

  constructor(children, base) {
    Object.assign(this, { children, base, name: 'webkit', session: null, current: null });
  }

  version() { return this.versionText; }

  async command(method, path, body) {
    const prefix = this.session ? `/session/${this.session}` : '';
    const response = await fetch(`${this.base}${prefix}${path}`, {
      method, headers: { 'Content-Type': 'application/json; charset=utf-8' },
      body: body === undefined ? (method === 'POST' ? '{}' : undefined) : JSON.stringify(body),
      signal: AbortSignal.timeout(kCommandMs),
    });
    const { value } = await response.json();
    if (value && value.error) {
      const error = new Error(`${method} ${path}: ${value.error}: ${value.message}`);
      error.code = value.error;
      error.text = value.data?.text;
      throw error;
    }
    return value;
  }

  // One window per page; the session's first window stays open underneath.
  async newPage({ width = 1280, height = 800 } = {}) {
    const { handle } = await this.command('POST', '/window/new', { type: 'window' });
    const page = new WebKitPage(this, handle);
    await page.command('POST', '/window/rect', { width, height });
    return page;
  }

  async close() {
    await this.command('DELETE', '').catch(() => {});
    for (const child of [...this.children].reverse()) await stop(child);
  }
}

export const kEngines = {
  firefox: { launch: () => Firefox.launch(), binary: kFirefox },
  webkit: { launch: () => WebKit.launch(), binary: kWebKitDriver },
};
