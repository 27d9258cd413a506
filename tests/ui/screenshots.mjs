// Saves the main screens of the default page as docs/images/page-<screen>[-light].png, at the
// size the host gives the page, in the dark theme and the light one (the page follows the
// desktop's).
//
//   node tests/ui/screenshots.mjs [output folder]

import { mkdirSync } from 'node:fs';
import { join } from 'node:path';
import { DEMO_CONFIG, openPage, repoRoot, startSuite, waitForScreen } from './support/harness.mjs';

const out = process.argv[2] ?? join(repoRoot, 'docs', 'images');
mkdirSync(out, { recursive: true });

const suite = await startSuite();
const saved = [];
try {
  for (const scheme of ['dark', 'light']) {
    const suffix = scheme === 'dark' ? '' : '-light';
    const shot = async (page, name) => {
      await page.waitForTimeout(350); // let the bar's transition settle
      const file = join(out, `page-${name}${suffix}.png`);
      await page.screenshot({ path: file, animations: 'disabled' });
      saved.push(file);
    };
    const { page, host } = await openPage(suite, {
      colorScheme: scheme,
      prepare: (h) => {
        h.plans.doDownload = 'manual';
        h.plans.doUnZip = 'manual';
        h.plans.doLaunchSetup = 'manual';
      },
    });
    await waitForScreen(page, 'idle');
    await shot(page, 'idle');

    await page.click('#action-install');
    const download = await host.waitFor('doDownload');
    const dl = { name: 'UtlDwldFile', jsp: 'onDownloadProgress', todo: DEMO_CONFIG.size };
    for (const done of [0, 600000, 1300000, 2000000, 2650000]) {
      await host.progress(download.callbackId, { ...dl, done });
      await page.waitForTimeout(400);
    }
    await shot(page, 'downloading');

    await host.complete(download.callbackId, {
      ...dl,
      message: JSON.stringify({ des: '/tmp/{A}/demo-product.zip', url: DEMO_CONFIG.url }),
    });
    const unzip = await host.waitFor('doUnZip');
    await host.progress(unzip.callbackId, {
      jsp: 'onUnZipProgress',
      done: 5600000,
      todo: 9800000,
      message: 'Demo Product/resources/app.pak',
    });
    await waitForScreen(page, 'extracting');
    await shot(page, 'extracting');

    await host.complete(unzip.callbackId, { jsp: 'onUnZipProgress', message: '/tmp/{B}' });
    const launch = await host.waitFor('doLaunchSetup');
    await waitForScreen(page, 'installing');
    await shot(page, 'installing');

    await host.complete(launch.callbackId, { result: 0 });
    await waitForScreen(page, 'succeeded');
    await shot(page, 'success');
    await page.close();

    const failing = await openPage(suite, {
      colorScheme: scheme,
      prepare: (h) => {
        h.plans.doDownload = { steps: [], result: 403 };
      },
    });
    await waitForScreen(failing.page, 'idle');
    await failing.page.click('#action-install');
    await waitForScreen(failing.page, 'failed');
    await shot(failing.page, 'failure');

    await failing.page.click('#action-retry');
    await waitForScreen(failing.page, 'failed');
    failing.host.plans.doDownload = 'manual';
    await failing.page.click('#action-retry');
    await waitForScreen(failing.page, 'downloading');
    failing.host.pressClose();
    await failing.page.waitForSelector('#dialog:not([hidden])');
    await shot(failing.page, 'close-confirm');
    await failing.page.close();
  }
} finally {
  await suite.close();
}
console.log(saved.join('\n'));
