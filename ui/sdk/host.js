// The page side of the host bridge.
//
// The page posts action objects with window.chrome.webview.postMessage; the host answers by
// calling window.onActionProgress / window.onActionComplete with Base64 of UTF-8 JSON. This
// module owns those two globals and window.requestClose, gives every request a callback id that
// is unique across page loads, and turns answers into promises. It never names an origin: the
// page may be served under https:// or under a custom scheme.

/**
 * Results the host gives as plain numbers. Those from 65536 up are the host's own: no platform
 * failure the host passes on has such a number.
 */
export const Result = Object.freeze({
  OK: 0,
  CANCELLED: 1602,
  WEB_PAGE_INSTEAD_OF_DOWNLOAD: 65536,
  PROXY_CREDENTIALS_WANTED: 65537,
  NOTHING_TO_EXCHANGE: 4294967295,
});

/** Progress totals at or above this are the host's "size not known yet" (2^64 - 1). */
const UNKNOWN_TOTAL = 2 ** 53;

/** A non-zero result of an action, as a rejection. */
export class HostError extends Error {
  constructor(action, answer) {
    const text = answer.message ? `: ${answer.message}` : '';
    super(`${action} failed with result ${answer.result}${text}`);
    this.name = 'HostError';
    this.action = action;
    this.code = answer.result;
    this.hostMessage = answer.message;
    this.answer = answer;
  }

  get cancelled() {
    return this.code === Result.CANCELLED;
  }

  /** A stopped download's bytes kept for the next download of the same file (0 if none). */
  get kept() {
    return Number.isSafeInteger(this.answer?.kept) ? this.answer.kept : 0;
  }
}

/** Decodes one callback argument: Base64 of UTF-8 JSON. atob alone would mangle non-ASCII. */
export function decodePayload(base64) {
  const binary = atob(base64);
  const bytes = new Uint8Array(binary.length);
  for (let i = 0; i < binary.length; ++i) bytes[i] = binary.charCodeAt(i);
  return JSON.parse(new TextDecoder('utf-8').decode(bytes));
}

/** Progress as the page wants it: `total` is null while the host does not know the size. */
function toProgress(answer) {
  const known = answer.todo > 0 && answer.todo < UNKNOWN_TOTAL;
  return {
    done: answer.done,
    total: known ? answer.todo : null,
    fraction: known ? Math.min(1, answer.done / answer.todo) : null,
    message: answer.message,
    result: answer.result,
    // Only while a download waits to try again; older hosts never report it.
    ...(answer.attempt > 0 && {
      retry: {
        attempt: answer.attempt,
        attempts: answer.attempts,
        inSeconds: Math.ceil((answer.retryInMs ?? 0) / 1000),
        waitingFor: answer.waitingFor ?? '',
      },
    }),
    ...(answer.continuesFrom > 0 && { continuesFrom: answer.continuesFrom }),
  };
}

function parseJsonOr(text, fallback) {
  try {
    return JSON.parse(text);
  } catch {
    return fallback;
  }
}

// Answers go to the request with their cbid; requests made by an earlier load of the page can be
// adopted with resume(). Ids carry a per-load prefix so a reloaded page never mistakes an old
// answer for one of its own.
const loadPrefix = `p${Date.now().toString(36)}${Math.random().toString(36).slice(2, 6)}`;
let nextId = 1;
const pending = new Map();
const unclaimedListeners = new Set();
// Completions that no request of this load owns, kept (a few) for resume(): after a reload the
// host's answer can run in the new page before the page has read back what it was waiting for.
const orphans = new Map();
const MAX_ORPHANS = 16;
let closeHandler = null;
let closing = false;

function receive(kind, base64) {
  let answer;
  try {
    answer = decodePayload(base64);
  } catch (error) {
    console.error('host answer could not be decoded', error);
    return;
  }
  dispatch(kind, answer);
}

function dispatch(kind, answer) {
  const entry = pending.get(answer.cbid);
  if (!entry) {
    if (kind === 'complete' && answer.cbid) {
      orphans.set(answer.cbid, answer);
      if (orphans.size > MAX_ORPHANS) orphans.delete(orphans.keys().next().value);
    }
    for (const listener of unclaimedListeners) listener(kind, answer);
    return;
  }
  if (kind === 'progress') {
    entry.onProgress?.(answer);
    return;
  }
  pending.delete(answer.cbid);
  entry.settle(answer);
}

function install() {
  window.onActionProgress = (base64) => receive('progress', base64);
  window.onActionComplete = (base64) => receive('complete', base64);
  window.requestClose = () => {
    // While closing, the host asks again until its work has stopped: keep agreeing.
    if (closing) {
      post({ action: 'doClose' });
      return;
    }
    if (closeHandler) closeHandler();
    else close();
  };
}

function post(message) {
  const bridge = window.chrome?.webview;
  if (!bridge) throw new Error('No host: window.chrome.webview is missing');
  bridge.postMessage(message);
}

/**
 * Posts `action` with `members` and a fresh callback id. Resolves with the decoded completion;
 * `onProgress` receives each decoded progress answer. The promise carries `callbackId`. It
 * rejects only when the message cannot be posted (no host).
 */
export function request(action, members = {}, onProgress = null) {
  const callbackId = `${loadPrefix}-${nextId++}`;
  const promise = watch(callbackId, onProgress);
  try {
    post({ ...members, action, callbackId });
  } catch (error) {
    pending.get(callbackId).fail(error); // no host, or a message the bridge cannot take
    pending.delete(callbackId);
  }
  return promise;
}

/** Listens for the answers of `callbackId` (a request posted earlier, perhaps by another load). */
function watch(callbackId, onProgress) {
  let settle;
  let fail;
  const promise = new Promise((resolve, reject) => {
    settle = resolve;
    fail = reject;
  });
  pending.set(callbackId, { settle, fail, onProgress });
  promise.callbackId = callbackId;
  return promise;
}

// Wraps a raw request so that it rejects with HostError on a non-zero result and resolves with
// `convert(answer)` otherwise, keeping the callbackId visible to the caller.
function checked(action, raw, convert) {
  const promise = raw.then((answer) => {
    if (answer.result !== Result.OK) throw new HostError(action, answer);
    return convert(answer);
  });
  promise.callbackId = raw.callbackId;
  return promise;
}

const downloadResult = (answer) => parseJsonOr(answer.message, { des: '', url: '' });
const unzipResult = (answer) => answer.message;
const progressOf = (onProgress) => (onProgress ? (answer) => onProgress(toProgress(answer)) : null);

/**
 * doDownload of `config` ({url, archive_name} and optionally size, sha256, signature,
 * signature_url, product_id, min_version, resume, connections, passed on as they are). Resolves with {des, url}; rejects with HostError (1602
 * when cancelled).
 */
export function download(config, onProgress = null) {
  const raw = request('doDownload', { fetchDownloadConfig: config }, progressOf(onProgress));
  return checked('doDownload', raw, downloadResult);
}

/** doUnZip of an archive that download() produced. Resolves with the extraction folder. */
export function unzip(archivePath, onProgress = null) {
  const raw = request('doUnZip', { download: { des: archivePath } }, progressOf(onProgress));
  return checked('doUnZip', raw, unzipResult);
}

/**
 * Adopts a request that an earlier load of this page posted, by its callback id: 'download',
 * 'unzip' or 'setup' give the same promise and progress as download(), unzip() or launchSetup().
 * An answer that arrived before the page asked is delivered at once.
 */
export function resume(kind, callbackId, onProgress = null) {
  const raw = watch(callbackId, progressOf(onProgress));
  const early = orphans.get(callbackId);
  if (early) {
    orphans.delete(callbackId);
    dispatch('complete', early);
  }
  if (kind === 'setup') return exitCodeOf(raw);
  if (kind === 'download') return checked('doDownload', raw, downloadResult);
  return checked('doUnZip', raw, unzipResult);
}

function exitCodeOf(raw) {
  const promise = raw.then((answer) => answer.result);
  promise.callbackId = raw.callbackId;
  return promise;
}

/** doLaunchSetup. Resolves with the setup's exit code (or the host's start failure code). */
export function launchSetup({ unzipdir, launcherName = '', arguments: words }) {
  const members = words === undefined ? {} : { arguments: words };
  return exitCodeOf(request('doLaunchSetup', { unzipdir, launcherName, ...members }));
}

/** doCancel: asks the running download and extraction to stop; their own answers follow. */
export function cancel() {
  return request('doCancel').then(() => undefined);
}

/** doCleanUp. Resolves with the working folders the host removed (or found gone). */
export function cleanUp() {
  return request('doCleanUp').then((answer) => parseJsonOr(answer.message, []));
}

// Members the host adds to a stored value; they are not the page's data.
const EXCHANGE_MEMBERS = ['action', 'callbackId', 'subAction'];

/** doDataExchange "in": keeps `data` (an object) in the host across page loads. */
export function storeData(data) {
  return request('doDataExchange', { ...data, subAction: 'in' }).then(() => undefined);
}

/** doDataExchange "out": the object last stored, or null when nothing was. */
export async function loadData() {
  const answer = await request('doDataExchange', { subAction: 'out' });
  if (answer.result !== Result.OK) return null;
  const stored = parseJsonOr(answer.message, null);
  if (!stored || typeof stored !== 'object') return null;
  for (const member of EXCHANGE_MEMBERS) delete stored[member];
  return stored;
}

/** doGetSysInfo. Resolves with the machine information object. */
export function getSysInfo() {
  return request('doGetSysInfo').then((answer) => parseJsonOr(answer.message, {}));
}

/**
 * doGetFreeSpace. Resolves with {folder, free}: the room (bytes) left where downloads go.
 * Rejects with a HostError when the host cannot tell; a host without the action never answers,
 * so wrap it in a time limit where that matters.
 */
export function getFreeSpace() {
  return checked('doGetFreeSpace', request('doGetFreeSpace'), (answer) =>
    parseJsonOr(answer.message, {}),
  );
}

/**
 * doFindProduct: where the installed product is. `folder` may hold %NAME% environment
 * references; `program` (optional) is relative to it. Resolves with {folder, program} as full
 * paths ('' for no program); rejects with a HostError (161, 203, 3, 2) when it is not there.
 */
export function findProduct({ folder, program = '' }) {
  return checked('doFindProduct', request('doFindProduct', { folder, program }), (answer) =>
    parseJsonOr(answer.message, {}),
  );
}

/** doOpenProduct: starts the installed product (as findProduct names it) without waiting. */
export function openProduct({ folder, program }) {
  return checked('doOpenProduct', request('doOpenProduct', { folder, program }), (answer) =>
    parseJsonOr(answer.message, {}),
  );
}

/**
 * doRestartSystem: asks the system to restart the computer. Resolves once the system has taken
 * the request (the restart then ends the host too); rejects with a HostError when it refused.
 */
export function restartSystem() {
  return checked('doRestartSystem', request('doRestartSystem'), () => undefined);
}

/** doGetLogData. Resolves with the log entries, oldest first. */
export async function getLogData({ maxEntries = 100, includeDebug = false } = {}) {
  const answer = await request('doGetLogData', { maxEntries, includeDebug });
  const outer = parseJsonOr(answer.message, {});
  if (answer.result !== Result.OK || outer.success !== true)
    throw new HostError('doGetLogData', answer);
  return parseJsonOr(outer.logData, []);
}

/** doWriteLog. `entry` holds message and optionally level, category, function, file, line. */
export function writeLog(entry) {
  return checked('doWriteLog', request('doWriteLog', entry), () => undefined);
}

/** Shorthand for writeLog with a level and the page's own category. */
export function log(level, message, category = 'UI') {
  return writeLog({ level, category, message });
}

/** postToTeams: sends an issue report; `report.error.description` becomes its title. */
export function postToTeams(report) {
  return request('postToTeams', report).then(() => undefined);
}

/**
 * Lets the page decide what the window's close button does. The handler runs once per press;
 * it should end in close() or closeNow(), or do nothing to keep the window open.
 */
export function onCloseRequest(handler) {
  closeHandler = handler;
}

/** doClose: the host cancels its work, cleans up, and closes when idle. */
export function close() {
  closing = true;
  post({ action: 'doClose' });
}

/** doCloseOverride: the window closes at once, work or not. */
export function closeNow() {
  closing = true;
  post({ action: 'doCloseOverride' });
}

/** True once close() or closeNow() has been called. */
export function isClosing() {
  return closing;
}

/** doMinimizeWnd. */
export function minimize() {
  post({ action: 'doMinimizeWnd' });
}

/** OpenDevToolsWindow (the host opens them only in a developer environment). */
export function openDevTools() {
  post({ action: 'OpenDevToolsWindow' });
}

/**
 * Opens an http or https `url` in the user's default browser, never inside the host: it asks for
 * a new window, which the host hands to the browser. Call it from a click or key handler: the
 * host refuses a window a script asks for on its own. Throws TypeError for anything but an
 * absolute http or https URL (the host would refuse it anyway).
 */
export function openExternal(url) {
  const parsed = new URL(url);
  if (parsed.protocol !== 'http:' && parsed.protocol !== 'https:') {
    throw new TypeError(`Not an http or https URL: ${url}`);
  }
  window.open(parsed.href, '_blank', 'noopener,noreferrer');
}

/** Receives answers whose callback id no request of this page load owns. Returns an unsubscriber. */
export function onUnclaimedAnswer(listener) {
  unclaimedListeners.add(listener);
  return () => unclaimedListeners.delete(listener);
}

/** True when the page runs inside the host. */
export function isAvailable() {
  return Boolean(window.chrome?.webview?.postMessage);
}

install();
