// Closing through the close protocol, and keyboard operation.

import assert from 'node:assert/strict';
import { after, before, test } from 'node:test';
import {
  openPage,
  screenOf,
  startHeldDownload,
  startSuite,
  until,
  waitForScreen,
} from './support/harness.mjs';

let suite;
before(async () => {
  suite = await startSuite();
});
after(() => suite.close());

test('the close button closes an idle installer at once', async () => {
  const { page, host } = await openPage(suite);
  await waitForScreen(page, 'idle');
  await host.pressClose();
  await until(() => host.closed, 'the window to close');
  assert.equal((await screenOf(page)).dialog, false);
  assert.equal(host.count('doCloseOverride'), 0);
  await page.close();
});

test('closing while busy asks first, then keeps agreeing until the host is idle', async () => {
  const { page, host, download } = await startHeldDownload(suite);
  await host.progress(download.callbackId, {
    name: 'UtlDwldFile',
    jsp: 'onDownloadProgress',
    done: 10,
    todo: 100,
  });

  // Asked, and declined twice: with the button and with Escape.
  await host.pressClose();
  await page.waitForSelector('#dialog:not([hidden])');
  assert.equal(await page.textContent('#dialog-title'), 'Stop the installation?');
  await page.click('#dialog-cancel');
  await host.pressClose();
  await page.waitForSelector('#dialog:not([hidden])');
  await host.pressClose(); // a second press while asking does not stack a second question
  await page.keyboard.press('Escape');
  await page.waitForSelector('#dialog', { state: 'hidden' });
  assert.equal(host.count('doClose'), 0);
  assert.equal((await screenOf(page)).name, 'downloading');

  // Agreed: the host cancels the download, finds itself busy and asks again; the page agrees
  // each time without a second question, and nothing follows the close.
  host.busyCloses = 2;
  await host.pressClose();
  await page.waitForSelector('#dialog:not([hidden])');
  await page.click('#dialog-confirm');
  await until(() => host.closed, 'the window to close');
  assert.ok(host.count('doClose') >= 3, host.actions().join());
  const screen = await screenOf(page);
  assert.equal(screen.name, 'closing');
  assert.equal(screen.dialog, false);
  assert.equal(host.count('doUnZip'), 0);
  assert.deepEqual(host.problems, []);
  await page.close();
});

test('the question goes away when the work it is about has ended', async () => {
  const { page, host, download } = await startHeldDownload(suite);
  await host.pressClose();
  await page.waitForSelector('#dialog:not([hidden])');
  await host.complete(download.callbackId, { name: 'UtlDwldFile', result: 12029 });
  await page.waitForSelector('#dialog', { state: 'hidden' });
  const screen = await screenOf(page);
  assert.equal(screen.title, 'Could not connect to the server');
  assert.equal(host.count('doClose'), 0);
  // Not silently: focus lands on the new screen's main choice, and the failure is spoken.
  assert.equal(await page.evaluate(() => document.activeElement.id), 'action-retry');
  assert.match(await page.textContent('#announcer'), /^Could not connect to the server\./);
  await page.close();
});

test('the installer works from the keyboard alone', async () => {
  const { page, host } = await openPage(suite, {
    prepare: (h) => {
      h.plans.doDownload = 'manual';
    },
  });
  await waitForScreen(page, 'idle');
  assert.equal(await page.evaluate(() => document.activeElement.id), 'action-install');
  // Tab goes round the page's controls; no stop in the round leaves focus on nothing.
  const round = [];
  for (let i = 0; i < 2; ++i) {
    await page.keyboard.press('Tab');
    round.push(await page.evaluate(() => document.activeElement.id || 'nothing'));
  }
  assert.deepEqual(round, ['action-close', 'action-install']);
  await page.keyboard.press('Enter');
  await host.waitFor('doDownload');
  await waitForScreen(page, 'downloading');
  // While the work runs focus rests on the title: the only button would stop the work.
  assert.equal(await page.evaluate(() => document.activeElement.id), 'title');

  // The question keeps focus inside itself.
  await host.pressClose();
  await page.waitForSelector('#dialog:not([hidden])');
  const focused = [];
  for (let i = 0; i < 3; ++i) {
    focused.push(await page.evaluate(() => document.activeElement.id));
    await page.keyboard.press('Tab');
  }
  assert.deepEqual(focused, ['dialog-cancel', 'dialog-confirm', 'dialog-cancel']);
  await page.keyboard.press('Escape');
  assert.equal(await page.evaluate(() => document.activeElement.id), 'title');

  // Cancel, after Pause, stops the installation, so it asks as Close does: one Enter stops
  // nothing.
  await page.keyboard.press('Tab');
  assert.equal(await page.evaluate(() => document.activeElement.id), 'action-pause');
  await page.keyboard.press('Tab');
  assert.equal(await page.evaluate(() => document.activeElement.id), 'action-cancel');
  await page.keyboard.press('Enter');
  await page.waitForSelector('#dialog:not([hidden])');
  assert.equal(await page.textContent('#dialog-title'), 'Cancel the installation?');
  await page.keyboard.press('Enter');
  await page.waitForSelector('#dialog', { state: 'hidden' });
  assert.equal((await screenOf(page)).name, 'downloading');
  assert.equal(host.count('doCancel'), 0);
  await page.keyboard.press('Enter');
  await page.keyboard.press('Tab');
  await page.keyboard.press('Enter');
  await host.waitFor('doCancel');
  await page.close();
});
