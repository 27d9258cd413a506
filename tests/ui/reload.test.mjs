// A page reloaded mid-installation picks up the work still running in the host.

import assert from 'node:assert/strict';
import { after, before, test } from 'node:test';
import {
  DEMO_CONFIG,
  openPage,
  screenOf,
  startSuite,
  until,
  waitForScreen,
} from './support/harness.mjs';

let suite;
before(async () => {
  suite = await startSuite();
});
after(() => suite.close());

const DL = { name: 'UtlDwldFile', jsp: 'onDownloadProgress', todo: 1000 };
const manual = (h) => {
  h.plans.doDownload = 'manual';
  h.plans.doUnZip = 'manual';
  h.plans.doLaunchSetup = 'manual';
};

test('a reload during the download follows the same download to the end', async () => {
  const { page, host, pageErrors } = await openPage(suite, { prepare: manual });
  await waitForScreen(page, 'idle');
  await page.click('#action-install');
  const download = await host.waitFor('doDownload');
  await host.progress(download.callbackId, { ...DL, done: 250 });

  await page.reload();
  await waitForScreen(page, 'downloading');
  await host.progress(download.callbackId, { ...DL, done: 500 });
  await page.waitForFunction(() => document.getElementById('stat-right').textContent === '50%');
  assert.equal(host.count('doDownload'), 1);

  await host.complete(download.callbackId, {
    ...DL,
    done: 1000,
    message: JSON.stringify({ des: '/tmp/{D}/demo-product.zip', url: DEMO_CONFIG.url }),
  });
  const unzip = await host.waitFor('doUnZip');
  assert.equal(unzip.download.des, '/tmp/{D}/demo-product.zip');

  // Again during the extraction, then during the setup: each step keeps what the next one needs.
  await page.reload();
  await waitForScreen(page, 'extracting');
  await host.complete(unzip.callbackId, { jsp: 'onUnZipProgress', message: '/tmp/{U}' });
  const launch = await host.waitFor('doLaunchSetup');
  assert.equal(launch.unzipdir, '/tmp/{U}');
  await page.reload();
  await waitForScreen(page, 'installing');
  await host.complete(launch.callbackId, { result: 0 });
  await waitForScreen(page, 'succeeded');

  // After the end, a reload shows the result instead of offering to install again.
  await page.reload();
  const screen = await waitForScreen(page, 'succeeded');
  assert.equal(screen.title, 'Demo Product is installed');
  assert.deepEqual(
    [host.count('doDownload'), host.count('doUnZip'), host.count('doLaunchSetup')],
    [1, 1, 1],
  );
  assert.deepEqual(pageErrors, []);
  await page.close();
});

test('an answer that reaches the reloaded page before it knows what it waits for is kept', async () => {
  const { page, host } = await openPage(suite, { prepare: manual });
  await waitForScreen(page, 'idle');
  await page.click('#action-install');
  const download = await host.waitFor('doDownload');
  await host.progress(download.callbackId, { ...DL, done: 900 });

  host.holdExchangeOut = true;
  const before = host.messages.length;
  await page.reload();
  await host.waitFor('doDataExchange', { from: before });
  await page.waitForFunction(() => typeof window.onActionComplete === 'function');
  await host.complete(download.callbackId, {
    ...DL,
    done: 1000,
    message: JSON.stringify({ des: '/tmp/{E}/a.zip', url: DEMO_CONFIG.url }),
  });
  await host.releaseExchange();
  const unzip = await host.waitFor('doUnZip');
  assert.equal(unzip.download.des, '/tmp/{E}/a.zip');
  assert.equal((await screenOf(page)).name, 'extracting');
  await page.close();
});

test('a reload after a failure shows the failure, and Try again still works', async () => {
  const { page, host } = await openPage(suite, {
    prepare: (h) => {
      h.plans.doDownload = { steps: [], result: 503 };
    },
  });
  await waitForScreen(page, 'idle');
  await page.click('#action-install');
  await waitForScreen(page, 'failed');
  await page.reload();
  const screen = await waitForScreen(page, 'failed');
  assert.equal(screen.title, 'The server is unavailable');
  host.plans.doDownload = { steps: [], result: 0 };
  await page.click('#action-retry');
  await waitForScreen(page, 'succeeded');
  await page.close();
});

test('a resumed step that stays silent ends in a failure the user can retry', async () => {
  const { page, host } = await openPage(suite, { load: false });
  await page.goto(`${suite.server.origin}/__blank`);
  host.exchange = JSON.stringify({ installer: { phase: 'downloading', cbid: 'p0-7' } });
  await page.evaluate(async () => {
    const sdk = await import('/sdk/host.js');
    const { Installer } = await import('/js/installer.js');
    const config = { productName: 'P', archive: { url: 'u', archive_name: 'a' }, launcherName: '' };
    window.phases = [];
    window.installer = new Installer(sdk, config, (s) => window.phases.push(s.phase), {
      resumeSilenceMs: 1500,
    });
    await window.installer.restore();
  });
  const phase = () => page.evaluate(() => window.installer.state.phase);
  assert.equal(await phase(), 'downloading');
  await page.waitForTimeout(900);
  await host.progress('p0-7', { ...DL, done: 10 }); // news from the old request restarts the wait
  await page.waitForTimeout(900);
  assert.equal(await phase(), 'downloading');
  await page.waitForFunction(() => window.installer.state.phase === 'failed');
  assert.deepEqual(await page.evaluate(() => window.installer.state.failure), {
    stage: 'page',
    code: 'lost',
    hostMessage: '',
  });
  const screen = await page.evaluate(async () => {
    const { screenFor } = await import('/js/screens.js');
    return screenFor(window.installer.state, window.installer.config);
  });
  assert.equal(screen.title, 'The installer lost track of its work');
  assert.deepEqual(
    screen.actions.map((a) => a.id),
    ['close', 'retry'],
  );
  assert.equal(host.count('doDownload'), 0);
  await page.close();
});

test('a reloaded page shows the last figures at once, not "Connecting…"', async () => {
  const { page, host } = await openPage(suite, { prepare: manual });
  await waitForScreen(page, 'idle');
  await page.click('#action-install');
  const download = await host.waitFor('doDownload');
  await host.progress(download.callbackId, { ...DL, done: 250 });
  await until(() => host.exchange?.includes('"done":250'), 'the figures to be kept');
  await page.reload();
  const screen = await waitForScreen(page, 'downloading');
  assert.equal(screen.statRight, '25%');
  assert.equal(screen.text, 'Estimating time left…');
  assert.equal(await page.getAttribute('#progress', 'aria-valuenow'), '25');
  await page.close();
});
