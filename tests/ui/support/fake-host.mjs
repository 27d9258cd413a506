// A host written for the page tests. It lives in the test process, not in the page, so its state
// (stored exchange data, running work) survives a page reload exactly as the real host's does,
// and it answers the way the real one does: one-line scripts that call window.onActionProgress /
// window.onActionComplete with Base64 of UTF-8 JSON whose members are in the host's order.
//
// Long actions (doDownload, doUnZip, doLaunchSetup) follow a plan per action:
//   { steps: [{done, todo, message}], result, message, delayMs }  played automatically, or
//   'manual'                                                       the test answers itself.

const ALL_ONES_64 = 18446744073709551615n;

/** The host's payload text: members in byte order, numbers as plain unsigned digits. */
export function payloadJson({
  cbid = '',
  done = 0,
  jsp = '',
  message = '',
  name = '',
  result = 0,
  todo = 0,
  attempt = 0,
  attempts = 0,
  retryInMs = 0,
  waitingFor = '',
  continuesFrom = 0,
  kept = 0,
}) {
  const text = (value) => JSON.stringify(value);
  const u32 = BigInt.asUintN(32, BigInt(result));
  // A download waiting to try again carries its retry figures, and one that continues from or
  // keeps bytes says how many, in key order around the rest.
  const retry = attempt !== 0;
  return (
    (retry ? `{"attempt":${attempt},"attempts":${attempts},` : '{') +
    `"cbid":${text(cbid)},` +
    (continuesFrom ? `"continuesFrom":${continuesFrom},` : '') +
    `"done":${BigInt(done)},"jsp":${text(jsp)},` +
    (kept ? `"kept":${kept},` : '') +
    `"message":${text(message)},"name":${text(name)},"result":${u32},` +
    (retry ? `"retryInMs":${retryInMs},` : '') +
    `"todo":${BigInt(todo)}` +
    (retry ? `,"waitingFor":${text(waitingFor)}}` : '}')
  );
}

export function encodePayload(fields) {
  return Buffer.from(payloadJson(fields), 'utf8').toString('base64');
}

const JSP = { doDownload: 'onDownloadProgress', doUnZip: 'onUnZipProgress' };
const NAME = { doDownload: 'UtlDwldFile' };
const ANSWER_ONLY_WITH_ID = new Set(['doCancel', 'doCleanUp', 'doWriteLog', 'postToTeams']);

/** Where the host finds a product: %NAME% stands for /opt, the program lies in the folder. */
function productAnswer({ folder, program }) {
  const where = folder.replace(/%[^%]+%/g, '/opt');
  const found = { folder: where, program: program ? `${where}/${program}` : '' };
  return { message: JSON.stringify(found) };
}

function launchArgumentsValid(message) {
  if (!('arguments' in message)) return true;
  const words = message.arguments;
  if (!Array.isArray(words) || words.length > 64) return false;
  let total = 0;
  for (const word of words) {
    if (typeof word !== 'string' || word.includes('\0')) return false;
    const bytes = Buffer.byteLength(word, 'utf8');
    total += bytes;
    if (bytes > 2048 || total > 8192) return false;
  }
  return true;
}

export class FakeHost {
  constructor() {
    this.messages = [];
    this.problems = [];
    this.exchange = null;
    this.tempDirs = [];
    this.running = new Map(); // cbid -> { action, cancelled }
    this.closed = false;
    this.closeRequests = 0;
    this.cleaningUp = false;
    this.cleanUpMs = 10;
    this.busyCloses = 0; // doClose answers that find the host busy whatever runs
    this.webhookConfigured = true; // a build whose reports reach someone
    this.holdExchangeOut = false;
    this.heldExchange = [];
    this.plans = {
      doDownload: {
        steps: [
          { done: 0, todo: 4000000 },
          { done: 2000000, todo: 4000000 },
          { done: 4000000, todo: 4000000 },
        ],
        result: 0,
      },
      doUnZip: {
        steps: [
          { done: 1000, todo: 2000, message: 'bin/app' },
          { done: 2000, todo: 2000, message: 'Setup.exe' },
        ],
        result: 0,
      },
      doLaunchSetup: { result: 0 },
      // Answered at once: an answer object, a function of the message giving one, or 'manual'.
      doFindProduct: productAnswer,
      doOpenProduct: productAnswer,
      doRestartSystem: { result: 0 },
    };
    this.waiters = [];
    this.page = null;
  }

  /** Installs the page's bridge before any page script runs. */
  async attach(page) {
    this.page = page;
    await page.exposeBinding('__fakeHostPost', (_source, message) => this.receive(message));
    await page.addInitScript(() => {
      const post = window.__fakeHostPost;
      window.chrome = window.chrome || {};
      window.chrome.webview = {
        postMessage(message) {
          // The real bridge takes an object and posts its JSON: a string would arrive as one.
          post(JSON.parse(JSON.stringify(message)));
        },
      };
    });
  }

  run(script) {
    return this.page.evaluate(script).catch(() => {}); // a script sent while loading is lost
  }

  progress(cbid, fields) {
    return this.run(
      `window.onActionProgress && window.onActionProgress('${encodePayload({ cbid, ...fields })}');`,
    );
  }

  complete(cbid, fields = {}) {
    this.running.delete(cbid);
    return this.run(
      `window.onActionComplete && window.onActionComplete('${encodePayload({ cbid, ...fields })}');`,
    );
  }

  /** The window's close button. */
  pressClose() {
    this.closeRequests += 1;
    return this.run("window.requestClose && window.requestClose('{}');");
  }

  /** Resolves with the next message of `action` (or one already received after `from`). */
  waitFor(action, { from = 0, timeoutMs = 20000 } = {}) {
    const found = this.messages.slice(from).find((m) => m.action === action);
    if (found) return Promise.resolve(found);
    return new Promise((resolve, reject) => {
      const timer = setTimeout(
        () =>
          reject(
            new Error(`no ${action} within ${timeoutMs} ms; got ${this.actions().join(', ')}`),
          ),
        timeoutMs,
      );
      this.waiters.push({
        action,
        resolve: (m) => {
          clearTimeout(timer);
          resolve(m);
        },
      });
    });
  }

  actions() {
    return this.messages.map((m) => m.action);
  }

  count(action) {
    return this.messages.filter((m) => m.action === action).length;
  }

  receive(message) {
    if (this.closed) {
      this.problems.push(`message after the window closed: ${JSON.stringify(message)}`);
      return;
    }
    if (typeof message !== 'object' || message === null || Array.isArray(message)) {
      this.problems.push(`not an object: ${JSON.stringify(message)}`);
      return;
    }
    if (
      typeof message.action !== 'string' ||
      ('callbackId' in message && typeof message.callbackId !== 'string')
    ) {
      this.problems.push(`bad members: ${JSON.stringify(message)}`);
      return;
    }
    this.messages.push(message);
    this.waiters = this.waiters.filter((w) =>
      w.action === message.action ? (w.resolve(message), false) : true,
    );
    // Answers run after the handler returns, never inside the page's postMessage call.
    setImmediate(() => this.handle(message));
  }

  handle(message) {
    const cbid = message.callbackId ?? '';
    if (ANSWER_ONLY_WITH_ID.has(message.action) && cbid === '') return;
    switch (message.action) {
      case 'doLaunchSetup':
        // As the host bounds them: malformed arguments start nothing.
        if (!launchArgumentsValid(message)) return this.complete(cbid, { result: 87 });
        return this.startWork(message);
      case 'doDownload':
      case 'doUnZip':
        return this.startWork(message);
      case 'doCancel':
        for (const work of this.running.values()) work.cancelled = true;
        return this.complete(cbid);
      case 'doCleanUp':
        return this.cleanUp(cbid);
      case 'doDataExchange':
        return this.dataExchange(message);
      case 'doGetSysInfo':
        return this.complete(cbid, {
          message: JSON.stringify({
            NumberOfProcessors: 2,
            machineId: 'ab'.repeat(32),
            localFolder: '/opt/product/UI',
            webhookConfigured: this.webhookConfigured,
          }),
        });
      case 'doGetFreeSpace':
        if (this.freeSpace === undefined) return undefined;  // a host without the action
        return this.complete(cbid, {
          message: JSON.stringify({ folder: '/tmp', free: this.freeSpace }),
        });
      case 'doGetLogData': {
        const entries = [
          {
            category: 'UI',
            file: '',
            function: '',
            level: 'INFO',
            line: 0,
            message: 'Page ready',
            timestamp: '2026-12-07 08:00:00.000',
          },
        ];
        return this.complete(cbid, {
          message: JSON.stringify({ logData: JSON.stringify(entries), success: true }),
        });
      }
      case 'doFindProduct':
      case 'doOpenProduct':
      case 'doRestartSystem': {
        const plan = this.plans[message.action];
        // As the host: no restart while the working folders are being removed.
        if (message.action === 'doRestartSystem' && this.cleaningUp) {
          return this.complete(cbid, { result: 170, message: 'A clean-up is still running' });
        }
        if (plan === 'manual') return undefined;
        return this.complete(cbid, typeof plan === 'function' ? plan(message) : plan);
      }
      case 'doWriteLog':
      case 'postToTeams':
        return this.complete(cbid);
      case 'doClose':
        return this.close();
      case 'doCloseOverride':
        this.closed = true;
        return undefined;
      case 'doMinimizeWnd':
      case 'OpenDevToolsWindow':
        return undefined; // the window's business; the page gets no answer
      default:
        return undefined;
    }
  }

  dataExchange(message) {
    const cbid = message.callbackId ?? '';
    const stored = { ...message, callbackId: '', subAction: '' };
    if (message.subAction === 'in') {
      this.exchange = JSON.stringify(sortKeys(stored));
      return this.complete(cbid, { message: this.exchange });
    }
    if (message.subAction === 'out') {
      const answer = () =>
        this.exchange === null
          ? this.complete(cbid, { message: 'Nothing to exchange', result: 4294967295 })
          : this.complete(cbid, { message: this.exchange });
      if (this.holdExchangeOut) {
        this.heldExchange.push(answer);
        return undefined;
      }
      return answer();
    }
    return this.complete(cbid);
  }

  releaseExchange() {
    this.busyCloses = 0; // doClose answers that find the host busy whatever runs
    this.holdExchangeOut = false;
    const held = this.heldExchange.splice(0);
    return Promise.all(held.map((answer) => answer()));
  }

  async startWork(message) {
    const cbid = message.callbackId ?? '';
    const work = { action: message.action, cancelled: false, message };
    this.running.set(cbid, work);
    if (message.action === 'doDownload') this.tempDirs.push(`/tmp/{DL-${this.tempDirs.length}}`);
    if (message.action === 'doUnZip') this.tempDirs.push(`/tmp/{UZ-${this.tempDirs.length}}`);
    const plan = this.plans[message.action];
    if (plan === 'manual') return;
    const jsp = JSP[message.action] ?? '';
    const name = NAME[message.action] ?? '';
    for (const step of plan.steps ?? []) {
      if (work.cancelled || this.closed) break;
      await delay(plan.delayMs ?? 5);
      await this.progress(cbid, { name, jsp, ...step });
    }
    await delay(plan.delayMs ?? 5);
    if (!this.running.has(cbid)) return;
    if (work.cancelled && message.action !== 'doLaunchSetup') {
      await this.complete(cbid, { name, jsp, result: 1602 });
      return;
    }
    await this.complete(cbid, { name, jsp, ...this.successOf(message, plan) });
  }

  successOf(message, plan) {
    if (plan.result !== 0) return { result: plan.result, message: plan.message ?? '' };
    if (message.action === 'doDownload') {
      const des = `${this.tempDirs[this.tempDirs.length - 1]}/${message.fetchDownloadConfig.archive_name}`;
      return { message: JSON.stringify({ des, url: message.fetchDownloadConfig.url }) };
    }
    if (message.action === 'doUnZip') return { message: this.tempDirs[this.tempDirs.length - 1] };
    return {};
  }

  /** Completes a running long action at once with `result` (as the host does on cancel). */
  finishRunning(result) {
    return Promise.all(
      [...this.running.entries()].map(([cbid, work]) =>
        this.complete(cbid, { name: NAME[work.action] ?? '', jsp: JSP[work.action] ?? '', result }),
      ),
    );
  }

  cleanUp(cbid) {
    if (this.cleaningUp) return; // the host drops a second clean-up without an answer
    this.cleaningUp = true;
    setTimeout(() => {
      this.cleaningUp = false;
      this.complete(cbid, { message: JSON.stringify(this.tempDirs) });
    }, this.cleanUpMs);
  }

  // doClose: the first cancels running work; while anything runs the host asks the page again.
  close() {
    if (!this.closing) {
      this.closing = true;
      for (const [cbid, work] of this.running) {
        work.cancelled = true;
        // Work the test drives by hand stops the way the host's engines do on a cancel.
        if (this.plans[work.action] === 'manual' && work.action !== 'doLaunchSetup') {
          setTimeout(
            () =>
              this.complete(cbid, {
                name: NAME[work.action] ?? '',
                jsp: JSP[work.action] ?? '',
                result: 1602,
              }),
            30,
          );
        }
      }
    }
    let busy =
      [...this.running.values()].some((w) => w.action !== 'doLaunchSetup') || this.cleaningUp;
    if (this.busyCloses > 0) {
      this.busyCloses -= 1;
      busy = true;
    }
    if (!busy) {
      this.closed = true;
      return;
    }
    setTimeout(() => this.pressClose(), 20);
  }
}

function sortKeys(value) {
  if (Array.isArray(value)) return value.map(sortKeys);
  if (value && typeof value === 'object') {
    return Object.fromEntries(
      Object.keys(value)
        .sort()
        .map((key) => [key, sortKeys(value[key])]),
    );
  }
  return value;
}

export const delay = (ms) => new Promise((resolve) => setTimeout(resolve, ms));
export { ALL_ONES_64 };
