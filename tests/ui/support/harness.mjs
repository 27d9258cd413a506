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
 * leaves the page's origin refused and recorded in `foreign`.
 */
export async function openPage(
  suite,
  { config = DEMO_CONFIG, colorScheme = 'dark', load = true, prepare } = {},
) {
  suite.server.setConfig(config);
  const page = await suite.context.newPage();
  await page.emulateMedia({ colorScheme });
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
