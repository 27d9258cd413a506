// What the window shows for each installer state: a plain description that view.js draws.
//
// A screen: { name, step, tone, title, text, progress, stats: [left, right], detail,
//             actions: [{ id, label, primary }], report }
// `progress` is null (no bar), { fraction: null } (indeterminate) or { fraction }.
// Action ids are handled by app.js: install, cancel, retry, close.

import { describeFailure } from './failures.js';
import { formatBytes, formatPercent, formatRate, formatTimeLeft } from './format.js';

const CLOSE = { id: 'close', label: 'Close' };

function downloadingScreen(state, product) {
  const p = state.progress;
  let text = 'Connecting to the download server…';
  const stats = ['', ''];
  if (p) {
    const sizes = p.total
      ? `${formatBytes(p.done)} of ${formatBytes(p.total)}`
      : formatBytes(p.done);
    stats[0] = [sizes, formatRate(p.bytesPerSecond)].filter(Boolean).join(' · ');
    stats[1] = formatPercent(p.fraction);
    text =
      (p.total && formatTimeLeft(p.secondsLeft)) ||
      (p.total ? 'Estimating time left…' : 'Downloading…');
  }
  return {
    step: 'download',
    title: `Downloading ${product}`,
    text,
    progress: { fraction: p?.fraction ?? null },
    stats,
    actions: [{ id: 'cancel', label: 'Cancel' }],
  };
}

function extractingScreen(state, product) {
  const p = state.progress;
  return {
    step: 'extract',
    title: 'Preparing files',
    text: `Unpacking ${product}…`,
    progress: { fraction: p?.fraction ?? null },
    stats: [p?.message ?? '', formatPercent(p?.fraction ?? null)],
    actions: [{ id: 'cancel', label: 'Cancel' }],
  };
}

// Codes with the top bit set (crashes, COM failures) read better in hexadecimal.
function formatCode(code) {
  return code >= 0x80000000 ? `${code} (0x${code.toString(16).toUpperCase()})` : String(code);
}

function failedScreen(state, config) {
  const { stage, code, hostMessage } = state.failure;
  const message = describeFailure(stage, code, {
    product: config.productName,
    launcher: config.launcherName || 'Setup.exe',
  });
  const codeText = typeof code === 'number' ? `Error ${formatCode(code)}` : '';
  // A page that cannot start (no host, no usable configuration) has nothing to retry or report.
  const stuck = stage === 'page' && code !== 'lost';
  return {
    step: stage === 'setup' ? 'install' : stage === 'unzip' ? 'extract' : stuck ? null : 'download',
    tone: 'error',
    title: message.title,
    text: message.text,
    detail: [codeText, hostMessage].filter(Boolean).join(' · '),
    actions: stuck ? [] : [CLOSE, { id: 'retry', label: 'Try again', primary: true }],
    report: !stuck,
  };
}

/** The screen for `state` of an installation of `config`. */
export function screenFor(state, config) {
  const product = config?.productName ?? 'the product';
  const screen = (() => {
    switch (state.phase) {
      case 'loading':
        return { title: 'Getting ready…', text: '', actions: [] };
      case 'idle':
        return {
          title: `Install ${product}`,
          text: `${product} will be downloaded and installed on this computer.`,
          detail: config?.archive.size ? `Download size: ${formatBytes(config.archive.size)}` : '',
          actions: [CLOSE, { id: 'install', label: 'Install', primary: true }],
        };
      case 'downloading':
        return downloadingScreen(state, product);
      case 'extracting':
        return extractingScreen(state, product);
      case 'installing':
        return {
          step: 'install',
          title: 'Installing',
          text: `Follow the steps of the ${product} setup. This window comes back when it is done.`,
          progress: { fraction: null },
          actions: [],
        };
      case 'cancelling':
        return {
          step: state.step,
          title: 'Cancelling…',
          text: 'Stopping the installation. This takes a moment.',
          progress: { fraction: null },
          actions: [],
        };
      case 'closing':
        return {
          title: 'Closing…',
          text: 'Stopping and removing temporary files.',
          progress: { fraction: null },
          actions: [],
        };
      case 'succeeded':
        return {
          step: 'done',
          tone: 'success',
          title: `${product} is installed`,
          text: state.restartNeeded
            ? 'Restart your computer to finish the installation.'
            : `You can start ${product} now.`,
          actions: [{ ...CLOSE, label: 'Finish', primary: true }],
        };
      case 'cancelled':
        return {
          tone: 'warn',
          title: 'Installation cancelled',
          text:
            state.by === 'setup'
              ? `The ${product} setup was cancelled. Nothing was installed.`
              : `${product} was not installed. You can start again at any time.`,
          actions: [CLOSE, { id: 'retry', label: 'Try again', primary: true }],
        };
      case 'failed':
        return failedScreen(state, config ?? { productName: product, launcherName: '' });
      default:
        return { title: '', text: '', actions: [] };
    }
  })();
  return {
    name: state.phase,
    step: null,
    tone: 'info',
    progress: null,
    stats: ['', ''],
    detail: '',
    report: false,
    ...screen,
  };
}
