// Failure screens for every code the host can return, cancel, retry and "Report a problem".

import assert from 'node:assert/strict';
import { after, before, test } from 'node:test';
import {
  DEMO_CONFIG,
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

// The codes the host's actions can end with, per step (download, extraction, setup start).
const HOST_CODES = {
  download: [
    65536, 1603, 1604, 1460, 23, 24, 400, 401, 403, 404, 65537, 408, 410, 429, 500, 502, 503, 504,
    12002, 12007, 12029, 12030, 12032, 12044, 12152, 12175, 12005, 12006, 112, 39, 5, 3, 206, 267,
    257, 272,
  ],
  unzip: [2, 1632, 112],
  setup: [404, 2, 3, 4, 5, 8, 32, 87, 193, 206, 1117, 1450, 1921, 120, 31, 128],
};

// Of those, the ones that fail the same way every time: the installer's copy is at fault.
const BAD_COPY = { download: [87, 400, 401, 404, 410, 12005, 12006, 257, 272], unzip: [], setup: [404, 193] };

const ACTION = { download: 'doDownload', unzip: 'doUnZip', setup: 'doLaunchSetup' };

// Makes the step `stage` end with `code` and runs the installation from the idle or result screen.
async function failAt(page, host, stage, code, hostMessage) {
  host.plans.doDownload = { steps: [{ done: 1, todo: 2 }], result: 0 };
  host.plans.doUnZip = { steps: [], result: 0 };
  host.plans.doLaunchSetup = { result: 0 };
  host.plans[ACTION[stage]] =
    stage === 'setup' ? { result: code } : { steps: [], result: code, message: hostMessage };
  // After a failed setup, Try again runs the setup alone: a failure of another step needs a
  // fresh start.
  if (stage !== 'setup' && (await page.textContent('#buttons')).includes('Run setup again')) {
    host.exchange = null;
    await page.reload();
    await waitForScreen(page, 'idle');
  }
  let button = (await page.$('#action-retry')) ?? (await page.$('#action-install'));
  if (!button) {
    // A bad copy offers no retry: begin afresh.
    host.exchange = null;
    await page.reload();
    await waitForScreen(page, 'idle');
    button = await page.$('#action-install');
  }
  await button.click();
  const shown = code >= 0x80000000 ? `${code} (0x${code.toString(16).toUpperCase()})` : code;
  const detail = stage === 'setup' ? `Error ${shown}` : `Error ${shown} · ${hostMessage}`;
  await page.waitForFunction((d) => document.getElementById('detail').textContent === d, detail);
  return screenOf(page);
}

test('every failure code shows its own message for the step that failed', async () => {
  const { page, host, pageErrors } = await openPage(suite);
  await waitForScreen(page, 'idle');
  const describe = (stage, code) =>
    page.evaluate(
      async ([s, c]) => {
        const { describeFailure } = await import('/js/failures.js');
        return describeFailure(s, c, { product: 'Demo Product', launcher: 'Setup.exe' });
      },
      [stage, code],
    );

  let n = 0;
  for (const [stage, codes] of Object.entries(HOST_CODES)) {
    const fallback = await describe(stage, 987654);
    const texts = new Set();
    for (const code of codes) {
      const screen = await failAt(page, host, stage, code, `m${++n}`);
      const expected = await describe(stage, code);
      assert.equal(screen.name, 'failed');
      assert.deepEqual({ title: screen.title, text: screen.text }, expected, `${stage} ${code}`);
      assert.notEqual(screen.text, fallback.text, `${stage} ${code} has no specific message`);
      assert.ok(!/\{(product|launcher)\}/.test(screen.text), screen.text);
      const rerun = stage === 'setup' && code !== 404;
      const buttons = BAD_COPY[stage].includes(code)
        ? ['Close']
        : ['Close', rerun ? 'Run setup again' : 'Download again'];
      assert.deepEqual(screen.buttons, buttons, `${stage} ${code}`);
      assert.equal(screen.report, true);
      texts.add(screen.text);
    }
    // Only the two disk-full codes share a message.
    assert.equal(texts.size, codes.length - (stage === 'download' ? 1 : 0), stage);
  }

  // Codes outside the table still name the step, and HTTP statuses say so.
  const unlisted = [
    ['download', 418, /HTTP status 418/],
    ['download', 599, /HTTP status 599/],
    ['download', 12157, /internet connection/],
    ['download', 31, /could not be downloaded/],
    ['unzip', 77, /could not be unpacked/],
    ['setup', 7, /setup program of Demo Product ended with an error/],
    ['setup', 3221225481, /crashed or was ended/],
  ];
  for (const [stage, code, text] of unlisted) {
    const screen = await failAt(page, host, stage, code, `m${++n}`);
    assert.match(screen.text, text, `${stage} ${code}`);
  }
  assert.deepEqual(pageErrors, []);
  await page.close();
});

test('Cancel stops the download or the extraction, and Try again starts over', async () => {
  for (const stage of ['download', 'unzip']) {
    const { page, host } = await openPage(suite, {
      prepare: (h) => {
        h.plans[ACTION[stage]] = 'manual';
      },
    });
    await waitForScreen(page, 'idle');
    await page.click('#action-install');
    const work = await host.waitFor(ACTION[stage]);
    await page.click('#action-cancel');
    await page.click('#dialog-confirm');
    await host.waitFor('doCancel');
    const cancelling = await waitForScreen(page, 'cancelling');
    assert.deepEqual(cancelling.buttons, []);
    await host.complete(work.callbackId, {
      result: 1602,
      message: stage === 'unzip' ? 'Files not prepared' : '',
    });
    const screen = await waitForScreen(page, 'cancelled');
    assert.equal(screen.title, 'Installation cancelled');
    assert.deepEqual(screen.buttons, ['Close', 'Download again']);
    // The host cannot continue a download, and the page does not pretend it can.
    assert.equal(
      await page.textContent('#note'),
      'Download again starts the download over from the beginning.',
    );
    await host.waitFor('doCleanUp');

    const downloads = host.count('doDownload');
    host.plans.doDownload = { steps: [], result: 0 };
    host.plans.doUnZip = { steps: [], result: 0 };
    await page.click('#action-retry');
    await waitForScreen(page, 'succeeded');
    assert.equal(host.count('doDownload'), downloads + 1);
    await page.close();
  }
});

// The host keeps a stopped download's bytes where it can, and says how many: the page tells
// the user what Resume or Download again will keep, and only what the host said.
test('Pause and Cancel say what the host kept, and going on asks for the download again', async () => {
  const { page, host, download } = await startHeldDownload(suite);
  const dl = { jsp: 'onDownloadProgress', todo: 4000000 };
  await host.progress(download.callbackId, { ...dl, done: 1500000 });
  await page.click('#action-pause');
  await host.waitFor('doCancel');
  assert.equal((await waitForScreen(page, 'pausing')).title, 'Pausing…');
  await host.complete(download.callbackId, { ...dl, result: 1602, done: 1500000, kept: 1500000 });
  let screen = await waitForScreen(page, 'paused');
  assert.equal(screen.text, '1.4 MB of 3.8 MB is kept. Resume continues from there.');
  assert.deepEqual(screen.buttons, ['Close', 'Resume']);
  assert.equal(await page.evaluate(() => document.activeElement.id), 'action-resume');

  await page.click('#action-resume');
  const resumed = await host.waitFor('doDownload', { from: host.messages.indexOf(download) + 1 });
  await waitForScreen(page, 'downloading');
  await page.click('#action-cancel');
  await page.click('#dialog-confirm');
  await host.complete(resumed.callbackId, { ...dl, result: 1602, kept: 2000000 });
  screen = await waitForScreen(page, 'cancelled');
  assert.equal(
    await page.textContent('#note'),
    'Download again continues from the 1.9 MB already downloaded.',
  );

  // Nothing kept (the background job, a server without a validator): it starts over.
  await page.click('#action-retry');
  const third = await host.waitFor('doDownload', { from: host.messages.indexOf(resumed) + 1 });
  await host.progress(third.callbackId, { ...dl, done: 100 });
  await page.click('#action-pause');
  await host.complete(third.callbackId, { ...dl, result: 1602 });
  screen = await waitForScreen(page, 'paused');
  assert.equal(screen.text, 'Nothing downloaded could be kept: Resume starts the download over.');

  // A download that ends whole while the pause is asked for has nothing to pause: it goes on.
  await page.click('#action-resume');
  const fourth = await host.waitFor('doDownload', { from: host.messages.indexOf(third) + 1 });
  await host.progress(fourth.callbackId, { ...dl, done: 100 });
  await page.click('#action-pause');
  const des = '/tmp/{D}/demo-product.zip';
  await host.complete(fourth.callbackId, {
    ...dl,
    done: 4000000,
    message: JSON.stringify({ des, url: DEMO_CONFIG.url }),
  });
  assert.equal((await host.waitFor('doUnZip')).download.des, des);
  await page.close();
});

test('a download that finishes despite the cancel does not go on to the setup', async () => {
  const { page, host, download: work } = await startHeldDownload(suite);
  await page.click('#action-cancel');
  await page.click('#dialog-confirm');
  await host.waitFor('doCancel');
  await host.complete(work.callbackId, {
    name: 'UtlDwldFile',
    jsp: 'onDownloadProgress',
    message: '{"des":"/tmp/a.zip","url":"u"}',
  });
  await waitForScreen(page, 'cancelled');
  assert.equal(host.count('doUnZip'), 0);
  await page.close();
});

test('Report a problem asks first, shows what it sends, and can report every failure', async () => {
  const { page, host } = await openPage(suite);
  await waitForScreen(page, 'idle');
  await failAt(page, host, 'download', 12007, 'Could not resolve host');

  // Declined: nothing is sent, focus goes back to the link.
  await page.focus('#report');
  await page.keyboard.press('Enter');
  await page.waitForSelector('#consent:not([hidden])');
  assert.equal(await page.evaluate(() => document.activeElement.id), 'consent-cancel');
  assert.match(await page.textContent('#consent-items'), /machine ID.*download address/s);
  await page.click('#consent-show');
  assert.match(await page.textContent('#consent-preview'), /"machineId"/);
  await page.keyboard.press('Escape');
  await page.waitForSelector('#consent', { state: 'hidden' });
  assert.equal(await page.evaluate(() => document.activeElement.id), 'report');
  assert.equal(host.count('postToTeams'), 0);

  await page.click('#report');
  await page.waitForSelector('#consent:not([hidden])');
  const preview = JSON.parse(await page.textContent('#consent-preview'));
  await page.click('#consent-send');
  const report = await host.waitFor('postToTeams');
  assert.ok(host.count('doGetLogData') >= 1 && host.count('doGetSysInfo') >= 1);
  assert.equal(report.error.description, 'Demo Product: The server could not be found');
  assert.equal(report.error.code, 12007);
  assert.equal(report.error.hostMessage, 'Could not resolve host');
  assert.equal(report.systemInfo.machineId, 'ab'.repeat(32));
  assert.equal(report.log[0].message, 'Page ready');
  // What was shown is what is sent, under a reference that the log and the confirmation share.
  const { action, callbackId, ...sent } = report;
  assert.deepEqual(sent, preview);
  assert.match(report.reference, /^[0-9A-F]{6}$/);
  const logged = host.messages.filter((m) => m.action === 'doWriteLog').map((m) => m.message);
  assert.ok(logged.includes(`Problem report ${report.reference} handed over for sending`));
  await page.waitForFunction(
    (ref) => document.getElementById('report-status').textContent.endsWith(`Reference: ${ref}`),
    report.reference,
  );
  assert.doesNotMatch(await page.textContent('#report-status'), /sent\./);
  assert.equal(await page.evaluate(() => document.activeElement.id), 'action-retry');

  // The next failure can be reported again.
  await failAt(page, host, 'download', 503, 'Service Unavailable');
  assert.equal(await page.isDisabled('#report'), false);
  assert.equal(await page.textContent('#report-status'), '');
  await page.click('#report');
  await page.click('#consent-send');
  await until(() => host.count('postToTeams') === 2, 'a second report');
  await page.close();
});

// A build without a webhook has nowhere to send a report: the page offers none, rather than
// say a report was passed on that never leaves the machine.
test('a host that cannot send reports is offered none', async () => {
  const { page, host } = await openPage(suite, {
    config: { ...DEMO_CONFIG, autoStart: true },
    prepare: (h) => {
      h.webhookConfigured = false;
      h.plans.doDownload = { steps: [], result: 12029 };
    },
  });
  await host.waitFor('doGetSysInfo');
  await waitForScreen(page, 'failed');
  await page.waitForTimeout(100);
  assert.equal((await screenOf(page)).report, false);
  await page.close();
});

test('signature outcomes and refused addresses have their own message in every language', async () => {
  const signature = {
    signature: 'c2lnbmF0dXJl',
    signature_url: 'https://example.com/p.zip.sig',
    product_id: 'com.example.demo',
    min_version: '2.4',
  };
  const { page, host } = await openPage(suite, { config: { ...DEMO_CONFIG, ...signature } });
  await waitForScreen(page, 'idle');
  const codes = {
    download: [87, 256, 24592],
    unzip: [256],
    setup: [256, 24592, 271, 265, 257, 268],
  };
  let n = 0;
  for (const [stage, list] of Object.entries(codes)) {
    for (const code of list) {
      const screen = await failAt(page, host, stage, code, `s${++n}`);
      // A setup refused for its signature is never offered to run again; a refused address or
      // signature is not offered again at all.
      const badCopy = [87, 24592, 271].includes(code) || (stage === 'setup' && code === 256);
      const buttons = badCopy ? ['Close'] : ['Close', 'Download again'];
      assert.deepEqual(screen.buttons, buttons, `${stage} ${code}`);
    }
  }
  assert.deepEqual((await host.waitFor('doDownload')).fetchDownloadConfig, {
    url: DEMO_CONFIG.url,
    archive_name: DEMO_CONFIG.archive_name,
    size: DEMO_CONFIG.size,
    connections: 4,
    ...signature,
  });
  const messages = await page.evaluate(async (all) => {
    const { describeFailure } = await import('/js/failures.js');
    const { LANGUAGES, Texts } = await import('/js/i18n.js');
    return Object.keys(LANGUAGES).map((lang) => {
      const texts = new Texts(lang);
      return Object.entries(all).map(([stage, list]) => [
        describeFailure(stage, 987654, {}, texts).text,
        list.map((code) => describeFailure(stage, code, {}, texts).text),
      ]);
    });
  }, codes);
  for (const stages of messages) {
    for (const [fallback, texts] of stages) {
      assert.equal(new Set(texts).size, texts.length, texts.join('\n'));
      assert.ok(!texts.includes(fallback), fallback);
    }
  }
  assert.match(messages[0][0][1][2], /could not be verified|Nothing was run/);
  await page.close();
});

test('a full disk says how much space is needed on which disk', async () => {
  const links = {
    supportUrl: 'https://example.com/help',
    downloadPageUrl: 'https://example.com/get',
  };
  const { page, host } = await openPage(suite, { config: { ...DEMO_CONFIG, ...links } });
  await waitForScreen(page, 'idle');
  const hostText =
    'Not enough disk space to extract: 5368709120 bytes needed, 1073741824 bytes available';
  const screen = await failAt(page, host, 'unzip', 112, hostText);
  assert.equal(
    screen.text,
    'Demo Product needs 5.0 GB on this computer, but only 1.0 GB is free. Free up at least 4.0 GB, then try again.',
  );
  // The host's own text waits behind Details.
  assert.equal(await page.isHidden('#detail'), true);
  await page.click('#details-toggle');
  assert.equal(await page.isVisible('#detail'), true);
  assert.equal(await page.getAttribute('#details-toggle', 'aria-expanded'), 'true');
  assert.deepEqual(
    await page.$$eval('#links a', (all) => all.map((a) => [a.textContent, a.href, a.target])),
    [
      ['Get a new copy', links.downloadPageUrl, '_blank'],
      ['Contact support', links.supportUrl, '_blank'],
    ],
  );
  const disks = await page.evaluate(async () => {
    const { diskOf } = await import('/js/failures.js');
    return ['C:\\Users\\a\\Temp\\{A}\\p.zip', '\\\\srv\\share\\{A}\\p.zip'].map(diskOf);
  });
  assert.deepEqual(disks, ['C:', '\\\\srv\\share']);

  // A download names the folder it could not fill.
  const downloadText =
    'Not enough disk space to download: 2147483648 bytes needed, 536870912 bytes available in ' +
    'C:/Users/a/AppData/Local/Temp/Velmorante/{A}';
  const downloadScreen = await failAt(page, host, 'download', 112, downloadText);
  assert.equal(
    downloadScreen.text,
    'Demo Product needs 2.0 GB on C:, but only 512 MB is free. Free up at least 1.5 GB, then try again.',
  );
  await page.close();
});

test('a failed setup runs again from the kept files, and downloads again once they are gone', async () => {
  const { page, host } = await openPage(suite, {
    prepare: (h) => {
      h.plans.doLaunchSetup = { result: 1603 };
    },
  });
  await waitForScreen(page, 'idle');
  await page.click('#action-install');
  let screen = await waitForScreen(page, 'failed');
  assert.match(screen.text, /Restart the computer, then run the setup again/);
  assert.deepEqual(screen.buttons, ['Close', 'Run setup again']);
  const first = await host.waitFor('doLaunchSetup');
  assert.equal(host.count('doCleanUp'), 0);

  // The same files: no second download or extraction.
  const from = host.messages.length;
  await page.click('#action-retry');
  const again = await host.waitFor('doLaunchSetup', { from });
  assert.equal(again.unzipdir, first.unzipdir);
  const exits = () =>
    host.messages.filter((m) => m.message === 'Setup exited with code 1603').length;
  await until(() => exits() === 2, 'the second run of the setup');
  assert.deepEqual([host.count('doDownload'), host.count('doUnZip')], [1, 1]);

  // The files went meanwhile: the host finds nothing at the path, and the page starts over.
  host.plans.doLaunchSetup = { result: 404 };
  const downloads = host.count('doDownload');
  const before = host.messages.length;
  await page.click('#action-retry');
  await host.waitFor('doDownload', { from: before });
  assert.equal(host.count('doDownload'), downloads + 1);
  screen = await waitForScreen(page, 'failed');
  assert.equal(screen.title, 'The setup program is missing');
  assert.deepEqual(screen.buttons, ['Close']); // the new copy lacks it too
  await host.waitFor('doCleanUp');
  await page.close();
});

test('each message ends with one thing to do; a bad copy’s main button gets a new one', async () => {
  // The last sentence of each English message is an instruction.
  const { LANGUAGES } = await import('../../ui/js/i18n.js');
  const STEPS = new RegExp(
    '^(Try|Check|Free|Restart|Run|Get|Contact|Report|Ask|Wait|Finish|Remove|Download|Close|' +
      'Do not|If it keeps failing)\\b',
  );
  const aimless = [];
  for (const [stage, codes] of Object.entries(LANGUAGES.en.failures)) {
    for (const [code, [, text]] of Object.entries(codes)) {
      const sentences = text.split(/(?<=\.)\s+/);
      if (!STEPS.test(sentences.at(-1))) aimless.push(`${stage} ${code}: ${text}`);
    }
  }
  assert.deepEqual(aimless, ['page no-host: This page only works inside its installer program.']);

  const downloadPageUrl = 'https://example.com/get';
  const { page, host } = await openPage(suite, {
    config: { ...DEMO_CONFIG, downloadPageUrl, supportUrl: 'https://example.com/help' },
  });
  await waitForScreen(page, 'idle');
  await page.evaluate(() => {
    window.opened = [];
    window.open = (...args) => window.opened.push(args[0]);
  });
  const screen = await failAt(page, host, 'download', 410, 'Gone');
  assert.deepEqual(screen.buttons, ['Close', 'Get a new copy']);
  assert.equal(await page.evaluate(() => document.activeElement.id), 'action-download-page');
  assert.deepEqual(await page.$$eval('#links a', (all) => all.map((a) => a.textContent)), [
    'Contact support',
  ]);
  await page.keyboard.press('Enter');
  assert.deepEqual(await page.evaluate(() => window.opened), [downloadPageUrl]);
  assert.equal(host.count('doDownload'), 1);
  await page.close();
});

test('a bad optional link is left out with a warning instead of stopping the installer', async () => {
  const { page, host } = await openPage(suite, {
    config: { ...DEMO_CONFIG, licenceUrl: 'ftp://example.com/licence.txt', autoStart: true },
  });
  await waitForScreen(page, 'succeeded');
  assert.equal(await page.isHidden('#licence'), true);
  const warning = host.messages.find((m) => m.action === 'doWriteLog' && m.level === 'WARN');
  assert.equal(
    warning?.message,
    'Installer configuration: "licenceUrl" must be an http or https URL; the link is left out',
  );
  await page.close();
});

test('a bad product folder or program is left out with a warning; the installation goes on', async () => {
  const { page, host } = await openPage(suite, {
    config: { ...DEMO_CONFIG, productFolder: 42, productProgram: 'bin/demo', autoStart: true },
  });
  const screen = await waitForScreen(page, 'succeeded');
  assert.deepEqual(screen.buttons, ['Finish']);
  const warnings = host.messages
    .filter((m) => m.action === 'doWriteLog' && m.level === 'WARN')
    .map((m) => m.message);
  assert.deepEqual(warnings, [
    'Installer configuration: "productFolder" must be a non-empty string; it is left out',
    'Installer configuration: "productProgram" needs "productFolder"; it is left out',
  ]);
  assert.equal(host.count('doFindProduct'), 0);
  await page.close();
});
