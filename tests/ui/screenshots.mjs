// Saves the main screens of the default page as docs/images/page-<screen>[-light].png, at the
// size the host gives the page, in the dark theme and the light one (the page follows the
// desktop's), with a full disk, the page in Arabic and German, and larger text among them.
//
//   node tests/ui/screenshots.mjs [output folder]

import { mkdirSync } from 'node:fs';
import { join } from 'node:path';
import {
  DEMO_CONFIG,
  PRODUCT,
  openPage,
  repoRoot,
  startSuite,
  waitForScreen,
} from './support/harness.mjs';

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

    // A setup that needs a restart, with where the product went and the offer to restart.
    const restart = await openPage(suite, {
      colorScheme: scheme,
      config: { ...DEMO_CONFIG, ...PRODUCT, autoStart: true },
      prepare: (h) => {
        h.plans.doLaunchSetup = { result: 3010 };
        h.plans.doFindProduct = {
          message: JSON.stringify({
            folder: '/opt/demo-product',
            program: '/opt/demo-product/demo',
          }),
        };
      },
    });
    await waitForScreen(restart.page, 'succeeded');
    await restart.page.waitForSelector('#action-restart');
    await restart.page.waitForFunction(() => document.getElementById('detail').textContent !== '');
    await shot(restart.page, 'success-restart');
    await restart.page.close();

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

    // A wait before the next attempt, with Try now; then paused, saying what is kept.
    await failing.page.keyboard.press('Escape');
    const again = failing.host.messages.filter((m) => m.action === 'doDownload').at(-1);
    const figures = { ...dl, done: 1500000 };
    await failing.host.progress(again.callbackId, figures);
    const wait = { attempt: 3, attempts: 20, retryInMs: 8000, waitingFor: 'network' };
    await failing.host.progress(again.callbackId, { ...figures, ...wait });
    await failing.page.waitForSelector('#action-try-now');
    await shot(failing.page, 'retry-wait');
    await failing.host.progress(again.callbackId, { ...dl, done: 1600000 });
    await failing.page.click('#action-pause');
    await failing.host.complete(again.callbackId, { ...dl, result: 1602, kept: 1600000 });
    await waitForScreen(failing.page, 'paused');
    await shot(failing.page, 'paused');
    await failing.page.close();

    // A full disk with the host's figures, its details open, and the vendor's links.
    const full = await openPage(suite, {
      colorScheme: scheme,
      config: {
        ...DEMO_CONFIG,
        supportUrl: 'https://example.com/support',
        downloadPageUrl: 'https://example.com/download',
      },
      prepare: (h) => {
        h.plans.doUnZip = {
          steps: [],
          result: 112,
          message:
            'Not enough disk space to extract: 5368709120 bytes needed, 1073741824 bytes available',
        };
      },
    });
    await waitForScreen(full.page, 'idle');
    await full.page.click('#action-install');
    await waitForScreen(full.page, 'failed');
    await full.page.click('#details-toggle');
    await shot(full.page, 'failure-disk');
    await full.page.close();

    // The page in Arabic (right to left) while downloading, and in German after a failed setup.
    const names = { en: 'Demo Product', ar: 'المنتج التجريبي', de: 'Demoprodukt' };
    const arabic = await openPage(suite, {
      colorScheme: scheme,
      config: { ...DEMO_CONFIG, language: 'ar', productName: names },
      prepare: (h) => {
        h.plans.doDownload = 'manual';
      },
    });
    await waitForScreen(arabic.page, 'idle');
    await arabic.page.click('#action-install');
    const arDownload = await arabic.host.waitFor('doDownload');
    for (const done of [420e6, 421.3e6, 422.6e6, 423.9e6]) {
      await arabic.host.progress(arDownload.callbackId, { ...dl, todo: 900 * 2 ** 20, done });
      await arabic.page.waitForTimeout(400);
    }
    await shot(arabic.page, 'downloading-ar');
    await arabic.page.close();

    const german = await openPage(suite, {
      colorScheme: scheme,
      config: { ...DEMO_CONFIG, language: 'de', productName: names },
      prepare: (h) => {
        h.plans.doLaunchSetup = { result: 1603 };
      },
    });
    await waitForScreen(german.page, 'idle');
    await german.page.click('#action-install');
    await waitForScreen(german.page, 'failed');
    await shot(german.page, 'failure-de');
    await german.page.close();

    // Larger text, as a user's text-size setting makes it: the status scrolls, nothing is cut.
    for (const percent of [150, 200]) {
      const large = await openPage(suite, {
        colorScheme: scheme,
        textScale: percent / 100,
        prepare: (h) => {
          h.plans.doDownload = 'manual';
        },
      });
      await waitForScreen(large.page, 'idle');
      await large.page.click('#action-install');
      const largeDownload = await large.host.waitFor('doDownload');
      for (const done of [0, 600000, 1300000, 2000000]) {
        await large.host.progress(largeDownload.callbackId, { ...dl, done });
        await large.page.waitForTimeout(400);
      }
      await shot(large.page, `downloading-text${percent}`);
      await large.page.close();
    }
  }
} finally {
  await suite.close();
}
console.log(saved.join('\n'));
