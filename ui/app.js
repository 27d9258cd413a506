// The default installer page: wires the page SDK, the configuration, the installation and the view.

import * as host from './sdk/host.js';
import { loadConfig } from './js/config.js';
import { Installer } from './js/installer.js';
import { sendReport } from './js/report.js';
import { screenFor } from './js/screens.js';
import { View } from './js/view.js';

let config = null;
let installer = null;
let pageState = { phase: 'loading' };

const view = new View(document, { onAction, onReport });

function render(state) {
  pageState = state;
  view.render(screenFor(state, config));
  // A question about stopping work that has ended meanwhile no longer means anything.
  if (!installer?.busy) view.dismissDialog();
}

function showPageFailure(code, detail = '') {
  render({ phase: 'failed', failure: { stage: 'page', code, hostMessage: detail } });
}

function onAction(id) {
  if (id === 'install' || id === 'retry') installer?.start();
  else if (id === 'cancel') installer?.cancel();
  else if (id === 'close') onCloseRequest();
}

// The close button and the page's own Close both come here. Stopping a download or an
// extraction loses work, so the user confirms that; everything else closes at once. The host
// cancels and cleans up on doClose and asks again until it is idle; the SDK keeps agreeing.
async function onCloseRequest() {
  if (installer?.state.phase === 'installing') return; // the setup's own window is in charge
  if (installer && ['downloading', 'extracting'].includes(installer.state.phase)) {
    const stop = await view.confirm({
      title: 'Stop the installation?',
      text: `${config.productName} is not installed yet. If you close now, the download is lost.`,
      confirmLabel: 'Stop and close',
      cancelLabel: 'Keep installing',
    });
    if (!stop) return;
  }
  installer?.beginClosing();
  host.close();
}

async function onReport() {
  view.setReportState({ text: 'Sending report…', busy: true });
  try {
    await sendReport(host, config, pageState);
    view.setReportState({ text: 'Report sent. Thank you.', busy: true });
  } catch {
    view.setReportState({ text: 'The report could not be sent.', busy: false });
  }
}

async function boot() {
  render({ phase: 'loading' });
  if (!host.isAvailable()) {
    showPageFailure('no-host');
    return;
  }
  host.onCloseRequest(onCloseRequest);
  try {
    config = await loadConfig();
  } catch (error) {
    host.log('ERROR', `Installer configuration: ${error.message}`).catch(() => {});
    showPageFailure('config', error.message);
    return;
  }
  view.setProduct(config.productName);
  view.setLicenceLink(config.licenceUrl);
  installer = new Installer(host, config, render);
  if (await installer.restore()) return;
  render({ phase: 'idle' });
  host.log('INFO', `Installer page ready for ${config.productName}`).catch(() => {});
  if (config.autoStart) installer.start();
}

boot();
