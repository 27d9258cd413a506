// What the window shows for each installer state: a plain description that view.js draws.
//
// A screen: { name, step, steps, tone, title, text, note, progress, stats: [left, right],
//             statsPath, detail, detailHidden, copy, actions: [{ id, label, primary }],
//             links: [{ label, href }], report, milestone, restOnTitle }
// `progress` is null (no bar), { fraction: null, valueText } (indeterminate) or
// { fraction, valueText }. `steps` false hides the product's steps (a page that cannot start).
// `detailHidden` puts the detail line behind a "Details" control. `milestone` is the short text
// the screen reader hears when it changes on the same screen (coarse progress, a stall, the end
// of one). `copy` offers to copy what went wrong. `restOnTitle` keeps focus off the screen's
// buttons while work runs: its only button stops the work, one key press from losing it.
// Action ids are handled by app.js: install, cancel, pause, resume, try-now, retry, close,
// download-page, open, restart, later.

import { describeFailure, diskOf, needsNewCopy, spaceFromHostText } from './failures.js';
import { Texts } from './i18n.js';
import { canRerunSetup, milestoneOf } from './installer.js';

const ENGLISH = new Texts('en');

/**
 * The start screen: the download's size and, once the host told it, the room where it goes. An
 * archive that cannot fit twice (itself and its unpacked files, at the least) is said before the
 * user starts; Install stays, since the unpacked size is only a floor.
 */
function idleScreen(state, config, product, t, close) {
  const size = config?.archive.size ?? 0;
  const space = state.space;
  const disk = space ? diskOf(space.folder) || t.t('disk.thisComputer') : '';
  const noRoom = Boolean(space && size > 0 && 2 * size > space.free);
  let detail = '';
  if (size && space) {
    detail = t.t('idle.space', { size: t.bytes(size), free: t.bytes(space.free), disk });
  } else if (size) {
    detail = t.t('idle.size', { size: t.bytes(size) });
  }
  return {
    title: t.t('idle.title', { product }),
    text: noRoom
      ? t.t('idle.noRoom', { product, needed: t.bytes(2 * size), free: t.bytes(space.free), disk })
      : t.t('idle.text', { product }),
    detail,
    actions: [close, { id: 'install', label: t.t('action.install'), primary: true }],
  };
}

// The longest the transfer can go on retrying: each wait doubles, up to a minute.
function retryTime({ attempt, attempts, inSeconds }, t) {
  let seconds = inSeconds;
  let wait = inSeconds;
  for (let next = attempt + 1; next <= attempts; ++next) {
    wait = Math.min(wait * 2, 60);
    seconds += wait;
  }
  return t.unit(Math.max(1, Math.ceil(seconds / 60)), 'minute', { unitDisplay: 'long' });
}

function downloadingScreen(state, product, t) {
  const p = state.progress;
  let text = t.t('download.connecting');
  let note = '';
  const stats = ['', ''];
  let valueText = text;
  let milestone = '';
  if (p) {
    const sizes = p.total
      ? t.t('download.sizes', { done: t.bytes(p.done), total: t.bytes(p.total) })
      : t.bytes(p.done);
    stats[0] = [sizes, t.rate(p.bytesPerSecond)].filter(Boolean).join(' · ');
    stats[1] = t.percent(p.fraction);
    let heard = '';
    if (p.stalled && p.retry) {
      const key = p.retry.waitingFor === 'server' ? 'download.retryServer' : 'download.retryNetwork';
      const wait = (seconds) =>
        seconds > 0
          ? t.t(key, {
              seconds: t.number(seconds),
              attempt: t.number(p.retry.attempt),
              attempts: t.number(p.retry.attempts),
            })
          : t.t('download.retryingNow');
      text = wait(p.retry.now ? 0 : (p.retry.secondsLeft ?? p.retry.inSeconds));
      // The screen counts down; the screen reader hears the wait once, as reported.
      heard = wait(p.retry.now ? 0 : p.retry.inSeconds);
      if (!p.retry.now) note = t.t('download.retryFor', { time: retryTime(p.retry, t) });
    } else if (p.stalled) text = t.t('download.waiting');
    else if (p.total) text = t.timeLeft(p.secondsLeft) || t.t('download.estimating');
    else text = t.t('download.running');
    valueText = [stats[1], sizes, p.stalled ? text : ''].filter(Boolean).join(', ');
    const reached = milestoneOf(p.fraction);
    if (p.stalled) milestone = heard || text;
    else if (p.resumedAt === reached) milestone = t.t('download.resumed');
    else if (reached) milestone = t.t('download.milestone', { percent: t.percent(reached) });
  }
  // While a wait runs, the user may cut it short; otherwise the download may be paused.
  const waiting = p?.stalled && p.retry && !p.retry.now;
  const second = waiting
    ? { id: 'try-now', label: t.t('action.tryNow') }
    : { id: 'pause', label: t.t('action.pause') };
  return {
    step: 'download',
    title: t.t('download.title', { product }),
    text,
    note,
    progress: { fraction: p?.fraction ?? null, valueText },
    stats,
    milestone,
    actions: [second, { id: 'cancel', label: t.t('action.cancel') }],
    restOnTitle: true,
  };
}

function extractingScreen(state, product, t) {
  const p = state.progress;
  const percent = t.percent(p?.fraction ?? null);
  return {
    step: 'extract',
    title: t.t('extract.title'),
    text: t.t('extract.text', { product }),
    progress: { fraction: p?.fraction ?? null, valueText: percent || t.t('extract.title') },
    stats: [p?.message ?? '', percent],
    statsPath: true,
    actions: [{ id: 'cancel', label: t.t('action.cancel') }],
    restOnTitle: true,
  };
}

// Codes with the top bit set (crashes, COM failures) read better in hexadecimal.
function formatCode(code) {
  return code >= 0x80000000 ? `${code} (0x${code.toString(16).toUpperCase()})` : String(code);
}

// Disk full: the host's byte counts, in the user's units, and the disk of the archive (or,
// for a download, of the folder the host names).
function diskText(failure, product, t) {
  const space = failure.code === 112 && spaceFromHostText(failure.hostMessage);
  if (!space) return '';
  return t.t('disk.needed', {
    product,
    needed: t.bytes(space.needed),
    available: t.bytes(space.available),
    missing: t.bytes(Math.max(0, space.needed - space.available)),
    disk: diskOf(failure.archive || space.folder) || t.t('disk.thisComputer'),
  });
}

function retryAction(state, t) {
  if (canRerunSetup(state)) return { id: 'retry', label: t.t('action.retrySetup'), primary: true };
  return { id: 'retry', label: t.t('action.retryDownload'), primary: true, startsOver: true };
}

function failedScreen(state, config, product, t) {
  const failure = state.failure;
  const { stage, code, hostMessage } = failure;
  const message = describeFailure(
    stage,
    code,
    { product, launcher: config?.launcherName || 'Setup.exe' },
    t,
  );
  const codeText = typeof code === 'number' ? t.t('failure.code', { code: formatCode(code) }) : '';
  const close = { id: 'close', label: t.t('action.close') };
  // Without the host there is nothing to close, retry or report with.
  const noHost = stage === 'page' && code === 'no-host';
  const noConfig = stage === 'page' && code === 'config';
  // A bad copy of the installer fails the same way every time: the way on is a new copy.
  const newCopy = noConfig || needsNewCopy(stage, code);
  const downloadPage = newCopy && config?.downloadPageUrl;
  let actions = [close, retryAction(state, t)];
  if (noHost) actions = [];
  else if (downloadPage) {
    actions = [close, { id: 'download-page', label: t.t('link.downloadPage'), primary: true }];
  } else if (newCopy) actions = [{ ...close, primary: true }];
  return {
    step: stage === 'setup' ? 'install' : stage === 'unzip' ? 'extract' : 'download',
    steps: stage !== 'page' || code === 'lost',
    tone: 'error',
    title: message.title,
    text: diskText(failure, product, t) || message.text,
    detail: [codeText, hostMessage].filter(Boolean).join(' · '),
    detailHidden: true,
    copy: true,
    actions,
    links: noHost ? [] : failureLinks(config, t, !downloadPage),
    report: !noHost,
  };
}

/**
 * Installed: where the product went (when the configuration says where to look and the host
 * found it), "Open" when it names the program, and for a setup that needs a restart the offer
 * to restart now or later. Focus rests on the title while the offer stands: one key press must
 * not restart the computer.
 */
function successScreen(state, product, t, close) {
  const folder = state.product?.folder ?? '';
  const finish = { ...close, label: t.t('action.finish'), primary: true };
  let actions = [finish];
  if (state.product?.program) {
    actions = [
      { ...finish, primary: false },
      { id: 'open', label: t.t('action.open'), primary: true },
    ];
  }
  let note = '';
  let failure = null;
  if (state.restart === 'asking') {
    note = t.t('restart.asking');
    actions = [];
  } else if (state.restart === 'accepted') {
    note = t.t('restart.accepted');
    actions = [];
  } else if (state.restartOffer) {
    note = t.t('restart.save');
    actions = [
      { id: 'later', label: t.t('action.later') },
      { id: 'restart', label: t.t('action.restartNow'), primary: true },
    ];
  } else if (state.restart === 'failed') {
    note = t.t('restart.failed');
    failure = state.restartFailure;
  } else if (state.opened?.ok === false) {
    note = t.t('open.failed', { product, folder });
    failure = state.opened;
  } else if (state.opened?.ok) {
    note = t.t('open.started', { product });
  }
  const code = failure?.code;
  const codeText = typeof code === 'number' ? t.t('failure.code', { code: formatCode(code) }) : '';
  return {
    step: 'done',
    tone: 'success',
    title: t.t('success.title', { product }),
    text: state.restartNeeded ? t.t('success.restart') : t.t('success.start', { product }),
    note,
    milestone: note,
    detail: [folder && t.t('success.where', { folder }), codeText, failure?.hostMessage]
      .filter(Boolean)
      .join(' · '),
    actions,
    restOnTitle: Boolean(state.restartOffer),
  };
}

/** A paused download: what is kept, and Resume to go on from it. */
function pausedScreen(state, t, close) {
  const { kept, total } = state;
  const fraction = kept > 0 && total ? Math.min(1, kept / total) : null;
  const text =
    kept > 0
      ? t.t('paused.kept', { kept: t.bytes(kept), total: t.bytes(total ?? kept) })
      : t.t('paused.nothingKept');
  return {
    step: 'download',
    tone: 'warn',
    title: t.t('paused.title'),
    text,
    progress: fraction === null ? null : { fraction, valueText: t.percent(fraction) },
    actions: [close, { id: 'resume', label: t.t('action.resume'), primary: true }],
  };
}

function failureLinks(config, t, withDownloadPage) {
  const links = [];
  if (withDownloadPage && config?.downloadPageUrl) {
    links.push({ label: t.t('link.downloadPage'), href: config.downloadPageUrl });
  }
  if (config?.supportUrl) links.push({ label: t.t('link.support'), href: config.supportUrl });
  return links;
}

/** The screen for `state` of an installation of `config`, in the language of `texts`. */
export function screenFor(state, config, texts = ENGLISH) {
  const t = texts;
  const product = config?.productName ?? t.t('brand.fallback');
  const close = { id: 'close', label: t.t('action.close') };
  const screen = (() => {
    switch (state.phase) {
      case 'loading':
        return { title: t.t('loading.title'), text: '', steps: false, actions: [] };
      case 'idle':
        return idleScreen(state, config, product, t, close);
      case 'downloading':
        return downloadingScreen(state, product, t);
      case 'extracting':
        return extractingScreen(state, product, t);
      case 'installing':
        return {
          step: 'install',
          title: t.t('install.title'),
          text: t.t('install.text', { product }),
          progress: { fraction: null, valueText: t.t('install.title') },
          actions: [],
        };
      case 'cancelling':
        return {
          step: state.step,
          title: t.t('cancelling.title'),
          text: t.t('cancelling.text'),
          progress: { fraction: null, valueText: t.t('cancelling.title') },
          actions: [],
        };
      case 'pausing':
        return {
          step: 'download',
          title: t.t('pausing.title'),
          text: '',
          progress: { fraction: null, valueText: t.t('pausing.title') },
          actions: [],
        };
      case 'paused':
        return pausedScreen(state, t, close);
      case 'closing':
        return {
          title: t.t('closing.title'),
          text: t.t('closing.text'),
          progress: { fraction: null, valueText: t.t('closing.title') },
          actions: [],
        };
      case 'succeeded':
        return successScreen(state, product, t, close);
      case 'cancelled':
        return {
          tone: 'warn',
          title: t.t('cancelled.title'),
          text:
            state.by === 'setup'
              ? t.t('cancelled.bySetup', { product })
              : t.t('cancelled.byUser', { product }),
          actions: [close, retryAction(state, t)],
        };
      case 'failed':
        return failedScreen(state, config, product, t);
      default:
        return { title: '', text: '', actions: [] };
    }
  })();
  // A new download continues from what the host kept of the last one, or starts over: it says
  // which.
  const downloadsAgain = screen.actions.some((a) => a.startsOver);
  let note = '';
  if (downloadsAgain && state.kept > 0) {
    note = t.t('retry.continues', { kept: t.bytes(state.kept) });
  } else if (downloadsAgain) note = t.t('retry.startsOver');
  return {
    name: state.phase,
    step: null,
    steps: true,
    tone: 'info',
    note,
    progress: null,
    stats: ['', ''],
    statsPath: false,
    detail: '',
    detailHidden: false,
    copy: false,
    links: [],
    report: false,
    milestone: '',
    restOnTitle: false,
    ...screen,
  };
}
