// One headless Chromium per test file, the UI folder on a local server, and a fake host per page.

import { mkdtempSync, rmSync } from 'node:fs';
import { tmpdir } from 'node:os';
import { dirname, join, resolve } from 'node:path';
import { fileURLToPath } from 'node:url';
import { chromium } from 'playwright-core';
import { FakeHost } from './fake-host.mjs';
import { startStaticServer } from './static-server.mjs';

const here = dirname(fileURLToPath(import.meta.url));
export const repoRoot = resolve(here, '../../..');
export const uiRoot = join(repoRoot, 'ui');

/** The web view's size below the host's 47 px header bar in a 520 × 420 window. */
export const VIEWPORT = { width: 520, height: 373 };

export const DEMO_CONFIG = {
  productName: 'Demo Product',
  url: 'https://downloads.example.com/releases/demo-product.zip',
  archive_name: 'demo-product.zip',
  size: 4000000,
  launcherName: 'Setup.exe',
};

const CHROMIUM_ARGS = [
  '--headless',
  '--no-sandbox',
  '--disable-gpu',
  '--disable-quic',
  '--no-first-run',
  '--disable-background-networking',
  '--disable-component-update',
  '--disable-sync',
];

export async function startSuite() {
  const server = await startStaticServer(uiRoot);
  const profile = mkdtempSync(join(tmpdir(), 'vlm-page-tests-'));
  const context = await chromium.launchPersistentContext(profile, {
    executablePath: process.env.VLM_CHROMIUM ?? '/usr/bin/chromium',
    args: CHROMIUM_ARGS,
    headless: true,
    viewport: VIEWPORT,
    colorScheme: 'dark',
  });
  return {
    server,
    context,
    async close() {
      await context.close();
      await server.close();
      rmSync(profile, { recursive: true, force: true });
    },
  };
}

/**
 * A new page with a fresh fake host, `config` served as config.json, and every request that
 * leaves the page's origin refused and recorded in `foreign`. `viewport` gives another size than
 * the window's; `textScale` sets the browser's text size (as a user's setting does: 2 is 200 %).
 */
export async function openPage(
  suite,
  { config = DEMO_CONFIG, colorScheme = 'dark', load = true, prepare, viewport, textScale } = {},
) {
  suite.server.setConfig(config);
  const page = await suite.context.newPage();
  await page.emulateMedia({ colorScheme });
  if (viewport) await page.setViewportSize(viewport);
  if (textScale) {
    const cdp = await suite.context.newCDPSession(page);
    await cdp.send('Page.setFontSizes', {
      fontSizes: { standard: Math.round(16 * textScale), fixed: Math.round(13 * textScale) },
    });
  }
  const host = new FakeHost();
  await host.attach(page);
  prepare?.(host);
  const foreign = [];
  const pageErrors = [];
  page.on('pageerror', (error) => pageErrors.push(error.message));
  await page.route('**/*', (route) => {
    const url = route.request().url();
    if (url.startsWith(`${suite.server.origin}/`)) return route.continue();
    foreign.push(url);
    return route.abort();
  });
  if (load) await page.goto(`${suite.server.origin}/index.html`);
  return { page, host, foreign, pageErrors };
}

/**
 * A page (see openPage) whose download the test answers by hand: it waits for the install
 * screen, presses Install and returns the page, its host and the doDownload request.
 */
export async function startHeldDownload(suite, options = {}) {
  const opened = await openPage(suite, {
    ...options,
    prepare: (h) => {
      h.plans.doDownload = 'manual';
      options.prepare?.(h);
    },
  });
  await waitForScreen(opened.page, 'idle');
  await opened.page.click('#action-install');
  return { ...opened, download: await opened.host.waitFor('doDownload') };
}

/** The text of the main status elements. */
export async function screenOf(page) {
  return page.evaluate(() => ({
    name: document.querySelector('.app').dataset.screen,
    tone: document.querySelector('.app').dataset.tone,
    title: document.getElementById('title').textContent,
    text: document.getElementById('text').textContent,
    statLeft: document.getElementById('stat-left').textContent,
    statRight: document.getElementById('stat-right').textContent,
    detail: document.getElementById('detail').textContent,
    buttons: [...document.querySelectorAll('#buttons button')].map((b) => b.textContent),
    report: !document.getElementById('report').hidden,
    dialog: !document.getElementById('dialog').hidden,
  }));
}

/** Waits until the page shows the screen named `name` (a phase of the installer). */
export async function waitForScreen(page, name, timeout = 20000) {
  await page.waitForFunction((n) => document.querySelector('.app').dataset.screen === n, name, {
    timeout,
  });
  return screenOf(page);
}

/** Polls `predicate` (a test-side condition) until it holds. */
export async function until(predicate, what = 'condition', timeoutMs = 20000) {
  const end = Date.now() + timeoutMs;
  while (!predicate()) {
    if (Date.now() > end) throw new Error(`timed out waiting for ${what}`);
    await new Promise((resolve) => setTimeout(resolve, 10));
  }
}

const axeSource = join(repoRoot, 'tests', 'ui', 'node_modules', 'axe-core', 'axe.min.js');

/** axe-core's WCAG 2.1 A/AA and best-practice violations on the page as it is now. */
export async function axeViolations(page) {
  if (!(await page.evaluate(() => 'axe' in window))) await page.addScriptTag({ path: axeSource });
  return page.evaluate(async () => {
    const result = await window.axe.run(document, {
      runOnly: ['wcag2a', 'wcag2aa', 'wcag21a', 'wcag21aa', 'best-practice'],
      resultTypes: ['violations'],
    });
    return result.violations.map((v) => `${v.id}: ${v.nodes.map((n) => n.target).join(' ')}`);
  });
}

/** Where walkScreens' product goes: a long folder without spaces must wrap, not overflow. */
export const PRODUCT = {
  productFolder: '%LOCALAPPDATA%/Programs/VelmoranteDemoProductEnterpriseEdition/current',
  productProgram: 'bin/demo-product',
};

/**
 * Drives one page through every screen and dialog of an installation whose setup fails once and
 * then succeeds asking for a restart, calling `visit(page, name)` at each: idle, downloading,
 * close-question, extracting, installing, failed (details open), consent (contents shown),
 * report sent, restart offer, succeeded (with where the product went and Open).
 */
export async function walkScreens(suite, options, visit) {
  const { page, host, pageErrors } = await openPage(suite, {
    ...options,
    config: { ...PRODUCT, ...(options.config ?? DEMO_CONFIG) },
    prepare: (h) => {
      h.plans.doDownload = 'manual';
      h.plans.doUnZip = 'manual';
      h.plans.doLaunchSetup = 'manual';
    },
  });
  await waitForScreen(page, 'idle');
  await visit(page, 'idle');
  await page.click('#action-install');
  const download = await host.waitFor('doDownload');
  const dl = { name: 'UtlDwldFile', jsp: 'onDownloadProgress', todo: 4000000 };
  await host.progress(download.callbackId, { ...dl, done: 0 });
  await page.waitForTimeout(600); // a speed needs half a second of samples
  await host.progress(download.callbackId, { ...dl, done: 1500000 });
  await waitForScreen(page, 'downloading');
  await visit(page, 'downloading');
  await host.pressClose();
  await page.waitForSelector('#dialog:not([hidden])');
  await visit(page, 'close-question');
  await page.keyboard.press('Escape');
  await host.complete(download.callbackId, {
    ...dl,
    done: 4000000,
    message: JSON.stringify({ des: '/tmp/{DL}/demo-product.zip', url: DEMO_CONFIG.url }),
  });
  const unzip = await host.waitFor('doUnZip');
  const uz = { jsp: 'onUnZipProgress', todo: 1000 };
  await host.progress(unzip.callbackId, { ...uz, done: 500, message: 'bin/app.pak' });
  await waitForScreen(page, 'extracting');
  await visit(page, 'extracting');
  await host.complete(unzip.callbackId, { ...uz, done: 1000, message: '/tmp/{UZ}' });
  const launch = await host.waitFor('doLaunchSetup');
  await waitForScreen(page, 'installing');
  await visit(page, 'installing');
  await host.complete(launch.callbackId, { result: 1603 });
  await waitForScreen(page, 'failed');
  await page.click('#details-toggle');
  await visit(page, 'failed');
  await page.click('#report');
  await page.waitForSelector('#consent:not([hidden])');
  await page.click('#consent-show');
  await visit(page, 'consent');
  await page.click('#consent-send');
  await host.waitFor('postToTeams');
  await page.waitForFunction(() =>
    /[0-9A-F]{6}$/.test(document.getElementById('report-status').textContent),
  );
  await visit(page, 'report sent');
  host.plans.doLaunchSetup = { result: 3010 };
  await page.click('#action-retry');
  await waitForScreen(page, 'succeeded');
  await page.waitForSelector('#action-restart');
  await page.waitForFunction(() => document.getElementById('detail').textContent !== '');
  await visit(page, 'restart offer');
  await page.click('#action-later');
  await page.waitForSelector('#action-open');
  await visit(page, 'succeeded');
  return { page, host, pageErrors };
}
