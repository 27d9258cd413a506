// What the user reads for every failure the host can report: the step and code pick an entry of
// the language's failure table (lang/*.js); codes without one get their step's fallback.
//
// Codes are per step because the host reuses numbers: 2 is "not an archive" for an extraction
// but "file not found" for a setup that could not start, and a setup may exit with any number.

import { LANGUAGES, Texts } from './i18n.js';

const ENGLISH = new Texts('en');

// A setup ended by a signal reports 0xC0000000 + the signal number, like a crashed Windows program.
const CRASH_BASE = 0xc0000000;

/** Setup exit codes that mean "installed, restart to finish". */
export const RESTART_CODES = new Set([3010, 1641]);

/**
 * Setup outcomes where running the same extracted files again cannot help: the package lacks the
 * program or its signature is refused. "Try again" downloads a fresh copy for these.
 */
export const SETUP_NEEDS_NEW_COPY = new Set([404, 256, 24592, 271, 265, 257, 268, 1619]);

// Client errors with their own advice (an expired link, a busy server, a proxy that wants
// credentials): trying again, or from another network, may work.
const LISTED_4XX = new Set([403, 407, 408, 429]);

/**
 * Failures that only a new copy of the installer can cure: its download address, its signature
 * or its package is wrong, and trying again fails the same way. Keyed by step, as codes repeat.
 */
const NEEDS_NEW_COPY = {
  download: new Set([87, 400, 401, 404, 410, 12005, 12006, 24592, 257, 272]),
  setup: new Set([404, 193, 256, 24592, 271, 1619]),
};

/** True when the failure `code` at `stage` is the installer's own, not the moment's. */
export function needsNewCopy(stage, code) {
  if (NEEDS_NEW_COPY[stage]?.has(code)) return true;
  return stage === 'download' && fallbackKey(stage, code) === '4xx' && !LISTED_4XX.has(code);
}

function fallbackKey(stage, code) {
  if (stage === 'download') {
    if (code >= 400 && code < 500) return '4xx';
    if (code >= 500 && code < 600) return '5xx';
    if (code >= 12000 && code < 12200) return 'net';
  }
  if (stage === 'setup' && code >= CRASH_BASE && code <= CRASH_BASE + 0xff) return 'crash';
  return '*';
}

/**
 * The user's message for `code` at `stage` ('download', 'unzip', 'setup', 'page'), in the
 * language of `texts`. `fill` gives {product} and {launcher}.
 */
export function describeFailure(stage, code, fill = {}, texts = ENGLISH) {
  const entry =
    (Object.hasOwn(texts.failures[stage] ?? {}, code) && texts.failure(stage, code)) ||
    texts.failure(stage, fallbackKey(stage, code)) ||
    texts.failure('page', '*');
  const vars = {
    product: fill.product ?? texts.t('brand.fallback'),
    launcher: fill.launcher ?? 'Setup.exe',
    status: String(code),
  };
  return { title: texts.fill(entry[0], vars), text: texts.fill(entry[1], vars) };
}

/** Every code the table names, per stage (the page tests walk it). */
export function listedCodes() {
  return Object.fromEntries(
    Object.entries(LANGUAGES.en.failures).map(([stage, codes]) => [
      stage,
      Object.keys(codes).filter((key) => /^\d+$/.test(key) || stage === 'page'),
    ]),
  );
}

// The host's text for an archive or its files that do not fit: "… N bytes needed, M bytes
// available", and after a download " in <its folder>".
const SPACE_TEXT = /(\d+) bytes needed, (\d+) bytes available(?: in (.+))?/;

/** {needed, available, folder} from the host's disk-full text (folder may be ''), or null. */
export function spaceFromHostText(hostMessage) {
  const match = SPACE_TEXT.exec(hostMessage ?? '');
  if (!match) return null;
  return { needed: Number(match[1]), available: Number(match[2]), folder: match[3] ?? '' };
}

/**
 * The disk a working path lies on, as the user names it: "C:" or "\\server\share"; '' where
 * paths name no drive (the page then says "this computer": a folder such as /tmp is one the
 * user never chose and would not recognise).
 */
export function diskOf(path) {
  if (typeof path !== 'string' || path === '') return '';
  const drive = /^([A-Za-z]:)[\\/]/.exec(path);
  if (drive) return drive[1].toUpperCase();
  const share = /^(\\\\[^\\]+\\[^\\]+)/.exec(path);
  if (share) return share[1];
  return '';
}
