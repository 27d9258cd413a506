// The default installer page: wires the page SDK, the configuration, the language, the
// installation and the view.

import * as host from './sdk/host.js';
import { loadConfig } from './js/config.js';
import { Texts, pickLanguage } from './js/i18n.js';
import { Installer } from './js/installer.js';
import { LOG_ENTRIES, buildReport, sendReport } from './js/report.js';
import { screenFor } from './js/screens.js';
import { View } from './js/view.js';

let config = null;
let installer = null;
let pageState = { phase: 'loading' };
// "Report a problem" is offered only where the host can send the report somewhere.
let canReport = false;
// The system's language until config.json may name another.
let texts = new Texts(pickLanguage(null));

// What the user heard, and what a download's status said, go to the log (DEBUG): support can
// tell from it how a slow or unsteady link looked and sounded.
const view = new View(document, {
  onAction,
  onReport,
  onAnnounce: (text) => host.log('DEBUG', `Announced: ${text}`).catch(() => {}),
});
let statusText = '';
view.setTexts(texts);

function render(state) {
  pageState = state;
  const screen = screenFor(state, config, texts);
  view.render(canReport ? screen : { ...screen, report: false });
  if (screen.name === 'downloading' && screen.text !== statusText) {
    host.log('DEBUG', `Download status: ${screen.text}`).catch(() => {});
  }
  statusText = screen.text;
  // A question about stopping work that has ended meanwhile no longer means anything.
  if (!installer?.busy) view.dismissCloseQuestion();
}

// A fast download reports hundreds of times a second, and redrawing for each report keeps the
// web view too busy to take the next answers promptly: within a phase the screen is redrawn at
// most once a frame, and the last figures are never dropped. A new phase is drawn at once.
const FRAME_MS = 16;
let lastDrawn = -Infinity;
let waitingState = null;
let waitingTimer = 0;

function drawNow(state) {
  clearTimeout(waitingTimer);
  waitingTimer = 0;
  waitingState = null;
  lastDrawn = performance.now();
  render(state);
}

function onInstallerChange(state) {
  const wait = lastDrawn + FRAME_MS - performance.now();
  if (state.phase !== pageState.phase || wait <= 0) {
    drawNow(state);
    return;
  }
  waitingState = state;
  if (!waitingTimer) waitingTimer = setTimeout(() => drawNow(waitingState), wait);
}

function showPageFailure(code, detail = '') {
  render({ phase: 'failed', failure: { stage: 'page', code, hostMessage: detail } });
}

function onAction(id) {
  if (id === 'install') installer?.start();
  else if (id === 'retry') installer?.retry();
  else if (id === 'cancel') onCancelRequest();
  else if (id === 'close') onCloseRequest();
  else if (id === 'download-page') host.openExternal(config.downloadPageUrl);
  else if (id === 'open') onOpen();
  else if (id === 'pause') installer?.pause();
  else if (id === 'resume') installer?.resume();
  else if (id === 'try-now') installer?.tryNow();
  else if (id === 'restart') installer?.restart();
  else if (id === 'later') installer?.later();
}

// As installers people know do: once the product runs, the installer has done its part and
// goes, after its clean-up (the host finishes that before the window closes).
async function onOpen() {
  if (!(await installer?.open()) || !config.closeAfterOpen) return;
  await installer.cleanedUp;
  installer.beginClosing();
  host.close();
}

// Stopping loses the work in hand (the download may be kept, the extraction is not), so Cancel
// asks as Close does.
async function onCancelRequest() {
  if (!installer?.busy) return;
  const stop = await view.confirm({
    title: texts.t('cancel.title'),
    text: texts.t('cancel.text', { product: config.productName }),
    confirmLabel: texts.t('cancel.confirm'),
    cancelLabel: texts.t('close.cancel'),
  });
  if (stop) installer.cancel();
}

// The close button and the page's own Close both come here. Stopping a download or an
// extraction loses work, so the user confirms that; everything else closes at once. The host
// cancels and cleans up on doClose and asks again until it is idle; the SDK keeps agreeing.
async function onCloseRequest() {
  if (installer?.state.phase === 'installing') return; // the setup's own window is in charge
  if (installer && ['downloading', 'extracting'].includes(installer.state.phase)) {
    const stop = await view.confirm({
      title: texts.t('close.title'),
      text: texts.t('close.text', { product: config.productName }),
      confirmLabel: texts.t('close.confirm'),
      cancelLabel: texts.t('close.cancel'),
    });
    if (!stop) return;
  }
  installer?.beginClosing();
  host.close();
}

// Nothing leaves the machine before the user has seen what the report holds and agreed.
async function onReport() {
  const screen = view.screenName;
  const still = () => view.screenName === screen;
  view.setReportState({ text: texts.t('report.preparing'), busy: true });
  const report = await buildReport(host, config, pageState);
  if (!still()) return;
  view.setReportState({ text: '', busy: false });
  const send = await view.consent({
    items: [
      texts.t('report.itemFailure'),
      texts.t('report.itemLog', { count: LOG_ENTRIES }),
      texts.t('report.itemSystem'),
      texts.t('report.itemAddress'),
    ],
    preview: JSON.stringify(report, null, 2),
  });
  if (!send || !still()) return;
  view.setReportState({ text: texts.t('report.sending'), busy: true });
  const ref = report.reference;
  try {
    await sendReport(host, report);
    if (!still()) return;
    const time = texts.time(new Date());
    view.setReportState({ text: texts.t('report.passedOn', { time, ref }), busy: true });
  } catch {
    if (still()) view.setReportState({ text: texts.t('report.failed', { ref }), busy: false });
  }
  view.keepFocus();
}

async function boot() {
  render({ phase: 'loading' });
  if (!host.isAvailable()) {
    showPageFailure('no-host');
    return;
  }
  host.onCloseRequest(onCloseRequest);
  host
    .getSysInfo()
    .then((info) => {
      canReport = info?.webhookConfigured === true;
      if (canReport) render(pageState);
    })
    .catch(() => {});
  try {
    config = await loadConfig();
  } catch (error) {
    host.log('ERROR', `Installer configuration: ${error.message}`).catch(() => {});
    showPageFailure('config', error.message);
    return;
  }
  if (config.language !== texts.lang) {
    texts = new Texts(config.language);
    view.setTexts(texts);
  }
  for (const warning of config.warnings) {
    host.log('WARN', `Installer configuration: ${warning}`).catch(() => {});
  }
  view.setProduct(config.productName);
  view.setLicenceLink(config.licenceUrl);
  installer = new Installer(host, config, onInstallerChange);
  if (await installer.restore()) return;
  render({ phase: 'idle' });
  installer.measureSpace();
  host.log('INFO', `Installer page ready for ${config.productName}`).catch(() => {});
  if (config.autoStart) installer.start();
}

boot();
