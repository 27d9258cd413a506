// "Report a problem": the page's view of the failure, the host's recent log and the machine's
// description, sent as one issue report.

import { describeFailure } from './failures.js';

const LOG_ENTRIES = 200;

/** Gathers everything and posts it; resolves when the host has sent it. */
export async function sendReport(host, config, state) {
  const failure = state.failure ?? null;
  const summary = failure
    ? describeFailure(failure.stage, failure.code, { product: config?.productName }).title
    : `Installation ${state.phase}`;
  const [log, systemInfo] = await Promise.all([
    host
      .getLogData({ maxEntries: LOG_ENTRIES, includeDebug: true })
      .catch((error) => `unavailable: ${error.message}`),
    host.getSysInfo().catch((error) => `unavailable: ${error.message}`),
  ]);
  await host.postToTeams({
    error: {
      description: `${config?.productName ?? 'Installer'}: ${summary}`,
      stage: failure?.stage ?? '',
      code: failure?.code ?? null,
      hostMessage: failure?.hostMessage ?? '',
    },
    product: config?.productName ?? '',
    archive: config?.archive.url ?? '',
    phase: state.phase,
    userAgent: navigator.userAgent,
    systemInfo,
    log,
  });
}
