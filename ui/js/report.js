// "Report a problem": the page's view of the failure, the host's recent log and the machine's
// description, gathered first so the user can see exactly what would be sent, then posted as one
// issue report under a short reference that is also written to the log.

import { describeFailure } from './failures.js';

export const LOG_ENTRIES = 200;

/** Six hexadecimal digits: short enough to read out on the phone, in the report and the log. */
function newReference() {
  const bytes = new Uint8Array(3);
  crypto.getRandomValues(bytes);
  return [...bytes].map((b) => b.toString(16).padStart(2, '0').toUpperCase()).join('');
}

/** Gathers the report for `state`; nothing is sent yet. */
export async function buildReport(host, config, state) {
  const failure = state.failure ?? null;
  // The summary is English whatever the page's language: it is read by the vendor's team.
  const summary = failure
    ? describeFailure(failure.stage, failure.code, { product: config?.productName }).title
    : `Installation ${state.phase}`;
  const [log, systemInfo] = await Promise.all([
    host
      .getLogData({ maxEntries: LOG_ENTRIES, includeDebug: true })
      .catch((error) => `unavailable: ${error.message}`),
    host.getSysInfo().catch((error) => `unavailable: ${error.message}`),
  ]);
  const reference = newReference();
  return {
    reference,
    error: {
      description: `${config?.productName ?? 'Installer'}: ${summary}`,
      stage: failure?.stage ?? '',
      code: failure?.code ?? null,
      hostMessage: failure?.hostMessage ?? '',
    },
    product: config?.productName ?? '',
    archive: config?.archive.url ?? '',
    phase: state.phase,
    language: document.documentElement.lang,
    userAgent: navigator.userAgent,
    systemInfo,
    log,
  };
}

/**
 * Writes the reference to the log, then hands the report to the host. Resolves when the host has
 * taken it; the host's answer does not say whether the webhook received it.
 */
export async function sendReport(host, report) {
  await host
    .log('INFO', `Problem report ${report.reference} handed over for sending`)
    .catch(() => {});
  await host.postToTeams(report);
}
