// The road of an installation through the default page, against the fake host.

import assert from 'node:assert/strict';
import { after, before, test } from 'node:test';
import {
  DEMO_CONFIG,
  PRODUCT,
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

test('an installation goes from Install to the success screen and cleans up', async () => {
  const { page, host, foreign, pageErrors } = await openPage(suite, {
    config: { ...DEMO_CONFIG, sha256: 'AB'.repeat(32) },
    prepare: (h) => {
      h.plans.doDownload = 'manual';
      h.plans.doUnZip = 'manual';
      h.plans.doLaunchSetup = 'manual';
    },
  });
  const idle = await waitForScreen(page, 'idle');
  assert.equal(idle.title, 'Install Demo Product');
  assert.match(idle.detail, /3\.8 MB/);
  assert.deepEqual(idle.buttons, ['Close', 'Install']);

  await page.click('#action-install');
  const download = await host.waitFor('doDownload');
  assert.deepEqual(download.fetchDownloadConfig, {
    url: DEMO_CONFIG.url,
    archive_name: 'demo-product.zip',
    size: 4000000,
    sha256: 'ab'.repeat(32),
    connections: 4,
  });
  assert.equal((await waitForScreen(page, 'downloading')).title, 'Downloading Demo Product');

  // Progress with a known total shows percentage, bytes, speed and time left.
  const dl = { name: 'UtlDwldFile', jsp: 'onDownloadProgress', todo: 4000000 };
  await host.progress(download.callbackId, { ...dl, done: 0 });
  await page.waitForTimeout(600);
  await host.progress(download.callbackId, { ...dl, done: 1000000 });
  await page.waitForTimeout(600);
  await host.progress(download.callbackId, { ...dl, done: 1500000 });
  let screen = await screenOf(page);
  assert.equal(screen.statRight, '37%');
  assert.match(screen.statLeft, /^1\.4 MB of 3\.8 MB · \d+(\.\d)? (KB|MB)\/s$/);
  assert.match(screen.text, / left$/);
  assert.deepEqual(screen.buttons, ['Pause', 'Cancel']);
  assert.equal(await page.getAttribute('#progress', 'aria-valuenow'), '37');

  const des = '/tmp/{DL}/demo-product.zip';
  await host.complete(download.callbackId, {
    ...dl,
    done: 4000000,
    message: JSON.stringify({ des, url: DEMO_CONFIG.url }),
  });
  const unzip = await host.waitFor('doUnZip');
  assert.deepEqual(unzip.download, { des });
  screen = await waitForScreen(page, 'extracting');
  assert.equal(screen.title, 'Preparing files');

  // Entry names arrive as UTF-8 and show as written.
  const entry = 'données/日本語/📦 paquet.bin';
  await host.progress(unzip.callbackId, {
    jsp: 'onUnZipProgress',
    done: 500,
    todo: 1000,
    message: entry,
  });
  await page.waitForFunction(
    (name) => document.getElementById('stat-left').textContent === name,
    entry,
  );
  assert.equal((await screenOf(page)).statRight, '50%');

  // A refused entry's report carries the host's reason, not a name: the line keeps the entry.
  const uz = { jsp: 'onUnZipProgress', todo: 1000 };
  await host.progress(unzip.callbackId, {
    ...uz,
    done: 600,
    result: 1602,
    message: 'Cancelling, please wait...',
  });
  await page.waitForFunction(() => document.getElementById('stat-right').textContent === '60%');
  assert.equal((await screenOf(page)).statLeft, entry);
  // A long path gives way in its folders: the file name stays whole.
  await host.progress(unzip.callbackId, {
    ...uz,
    done: 700,
    message: `${'a-long-folder-name/'.repeat(8)}setup-data.bin`,
  });
  await page.waitForFunction(() => document.getElementById('stat-right').textContent === '70%');
  assert.deepEqual(
    await page.$eval('#stat-left .path-name', (e) => [
      e.textContent,
      e.scrollWidth <= e.clientWidth,
    ]),
    ['setup-data.bin', true],
  );

  await host.complete(unzip.callbackId, {
    jsp: 'onUnZipProgress',
    done: 1000,
    todo: 1000,
    message: '/tmp/{UZ}',
  });
  const launch = await host.waitFor('doLaunchSetup');
  assert.deepEqual(
    { unzipdir: launch.unzipdir, launcherName: launch.launcherName },
    { unzipdir: '/tmp/{UZ}', launcherName: 'Setup.exe' },
  );
  screen = await waitForScreen(page, 'installing');
  assert.deepEqual(screen.buttons, []);

  await host.complete(launch.callbackId, { result: 0 });
  screen = await waitForScreen(page, 'succeeded');
  assert.equal(screen.title, 'Demo Product is installed');
  assert.deepEqual(screen.buttons, ['Finish']);
  await host.waitFor('doCleanUp');

  // The page logs its road into the host's log.
  const logged = host.messages.filter((m) => m.action === 'doWriteLog').map((m) => m.message);
  assert.ok(
    logged.some((line) => line.startsWith('Download finished: ')),
    logged.join('\n'),
  );
  assert.ok(logged.includes('Setup exited with code 0'));

  await page.click('#action-close');
  assert.equal(host.closed, true);
  assert.deepEqual(foreign, []);
  assert.deepEqual(pageErrors, []);
  assert.deepEqual(host.problems, []);
  await page.close();
});

test('autoStart begins without a click, and a size the host does not know shows no percentage', async () => {
  const { page, host } = await openPage(suite, {
    config: { ...DEMO_CONFIG, autoStart: true },
    prepare: (h) => {
      h.plans.doDownload = 'manual';
    },
  });
  const download = await host.waitFor('doDownload');
  const dl = { name: 'UtlDwldFile', jsp: 'onDownloadProgress' };
  for (const [todo, done, shown] of [
    [0, 2500000, '2.4 MB'],
    [18446744073709551615n, 3500000, '3.3 MB'],
  ]) {
    await host.progress(download.callbackId, { ...dl, done, todo });
    await page.waitForFunction(
      (text) => document.getElementById('stat-left').textContent.startsWith(text),
      shown,
    );
    const screen = await screenOf(page);
    assert.equal(screen.text, 'Downloading…');
    assert.equal(screen.statRight, '');
    assert.equal(await page.getAttribute('#progress', 'class'), 'progress indeterminate');
  }
  await page.close();
});

test('the setup exit code decides the result screen', async () => {
  const cases = [
    [0, 'succeeded', 'Demo Product is installed', /start Demo Product now/],
    [3010, 'succeeded', 'Demo Product is installed', /Restart your computer/],
    [1602, 'cancelled', 'Installation cancelled', /setup was cancelled/],
    [1, 'failed', 'Installation did not finish', /ended with an error/],
    [3221225477, 'failed', 'The setup program stopped unexpectedly', /crashed/],
  ];
  for (const [code, name, title, text] of cases) {
    const { page, host } = await openPage(suite, {
      prepare: (h) => {
        h.plans.doLaunchSetup = { result: code };
      },
    });
    await waitForScreen(page, 'idle');
    await page.click('#action-install');
    const screen = await waitForScreen(page, name);
    assert.equal(screen.title, title, `exit code ${code}`);
    assert.match(screen.text, text, `exit code ${code}`);
    if (name === 'failed') {
      assert.equal(screen.detail, code === 1 ? 'Error 1' : 'Error 3221225477 (0xC0000005)');
    }
    await page.close();
    assert.deepEqual(host.problems, []);
  }
});

test('a broken config.json shows what is wrong instead of an Install button', async () => {
  for (const [config, detail] of [
    ['{ not json', 'config.json is not valid JSON'],
    [{ ...DEMO_CONFIG, url: '' }, '"url" must be a non-empty string'],
    [{ ...DEMO_CONFIG, sha256: 'xyz' }, '"sha256" must be 64 hexadecimal digits'],
    [
      { ...DEMO_CONFIG, min_version: '2.4-beta' },
      '"min_version" must be 1 to 4 numbers separated by dots, such as "2.4"',
    ],
    [{ ...DEMO_CONFIG, connections: 17 }, '"connections" must be a whole number from 1 to 16'],
    [
      { ...DEMO_CONFIG, signature_url: 'file:///demo.sig' },
      '"signature_url" must be an http or https URL',
    ],
  ]) {
    const { page, host } = await openPage(suite, { config });
    const screen = await waitForScreen(page, 'failed');
    assert.equal(screen.title, 'The installer is not set up correctly');
    assert.equal(screen.detail, detail);
    assert.deepEqual(screen.buttons, ['Close']);
    assert.equal(screen.report, true);
    assert.equal(await page.isHidden('#steps'), true); // the product's steps mean nothing here
    assert.equal(host.count('doDownload'), 0);
    if (typeof config === 'string') {
      // Without a configuration the problem can still be reported.
      await page.click('#report');
      await page.click('#consent-send');
      assert.equal((await host.waitFor('postToTeams')).error.hostMessage, detail);
    }
    await host.pressClose(); // the window's close button still closes
    await host.waitFor('doClose');
    await page.close();
  }
});

test('the licence terms are a link to the configured page with a new-window target', async () => {
  const licenceUrl = 'https://example.com/licence?product=demo';
  const { page } = await openPage(suite, { config: { ...DEMO_CONFIG, licenceUrl } });
  await waitForScreen(page, 'idle');
  const link = await page.$eval('#licence', (a) => ({
    visible: !a.hidden && a.offsetWidth > 0,
    href: a.href,
    target: a.target,
    rel: a.rel,
    text: a.textContent,
  }));
  assert.deepEqual(link, {
    visible: true,
    href: licenceUrl,
    target: '_blank',
    rel: 'noopener noreferrer',
    text: 'Licence terms',
  });
  await page.close();

  const without = await openPage(suite);
  await waitForScreen(without.page, 'idle');
  assert.equal(await without.page.$eval('#licence', (a) => a.hidden), true);
  await without.page.close();
});

test('the page loads nothing from outside its own origin', async () => {
  const { page, foreign } = await openPage(suite, { config: { ...DEMO_CONFIG, autoStart: true } });
  await waitForScreen(page, 'succeeded');
  await page.click('#action-close');
  assert.deepEqual(foreign, []);
  assert.ok(suite.server.state.requests.includes('/sdk/host.js'));
  await page.close();
});

test('a download waiting to try again says what for, when, and which attempt', async () => {
  const { page, host } = await openPage(suite, {
    load: false,
    prepare: (h) => {
      h.plans.doDownload = 'manual';
    },
  });
  await page.goto(`${suite.server.origin}/index.html`);
  await waitForScreen(page, 'idle');
  await page.click('#action-install');
  const download = await host.waitFor('doDownload');
  const report = (fields) =>
    host.progress(download.callbackId, { jsp: 'onDownloadProgress', todo: 4000000, ...fields });
  await report({ done: 100000 });
  const retry = { attempts: 20, retryInMs: 30000, waitingFor: 'server' };
  await report({ done: 100000, attempt: 4, ...retry });
  const expected = 'The server is not answering. Trying again in 30 s (attempt 4 of 20)…';
  // The screen follows a report within a moment, not within the call that delivered it.
  const textMatches = (pattern) =>
    page.waitForFunction(
      (source) => new RegExp(source).test(document.getElementById('text').textContent),
      pattern.source,
      { polling: 50, timeout: 5000 },
    );
  await textMatches(/^The server is not answering\. Trying again in 30 s \(attempt 4 of 20\)…$/);
  assert.equal((await screenOf(page)).text, expected);
  assert.equal(await page.textContent('#announcer'), expected);
  // The wait counts down on the screen; the screen reader is not told each second.
  await textMatches(/^The server is not answering\. Trying again in 29 s \(attempt 4 of 20\)…$/);
  assert.equal(await page.textContent('#announcer'), expected);
  await report({ done: 100000, attempt: 5, ...retry, waitingFor: 'network' });
  await textMatches(/^The connection was lost\. .*attempt 5 of 20/);
  await report({ done: 200000 });
  await textMatches(/^(?!The connection was lost)/);
  assert.notEqual((await screenOf(page)).text, expected);
  assert.equal(await page.textContent('#announcer'), 'Download resumed');

  // A wait says how long the retries can go on, and Try now cuts it short: the download is
  // asked for again at once (the host continues from what it kept).
  await report({ done: 200000, attempt: 5, ...retry });
  await page.waitForSelector('#action-try-now');
  assert.equal(
    await page.textContent('#note'),
    'The installer keeps trying for up to 16 minutes.',
  );
  const from = host.messages.length;
  await page.click('#action-try-now');
  await host.waitFor('doCancel', { from });
  await textMatches(/^Trying again now…$/);
  await report({ done: 200000, attempt: 5, ...retry }); // the old request's last word
  await host.complete(download.callbackId, { result: 1602, kept: 200000 });
  const again = await host.waitFor('doDownload', { from });
  await host.progress(again.callbackId, { jsp: 'onDownloadProgress', todo: 4000000, done: 300000 });
  await textMatches(/^(Estimating|.* left$)/);
  assert.deepEqual((await screenOf(page)).buttons, ['Pause', 'Cancel']);
  assert.equal(host.count('doCleanUp'), 0);
  await page.close();
});

test('a stalled download says it waits for the server, then estimates from fresh figures', async () => {
  const { page, host } = await openPage(suite, {
    load: false,
    config: { ...DEMO_CONFIG, size: 100 * 2 ** 20 },
    prepare: (h) => {
      h.plans.doDownload = 'manual';
    },
  });
  await page.clock.install();
  await page.goto(`${suite.server.origin}/index.html`);
  await waitForScreen(page, 'idle');
  await page.click('#action-install');
  const download = await host.waitFor('doDownload');
  const MB = 2 ** 20;
  const report = (mb) =>
    host.progress(download.callbackId, {
      name: 'UtlDwldFile',
      jsp: 'onDownloadProgress',
      done: mb * MB,
      todo: 100 * MB,
    });
  for (const mb of [0, 1, 2]) {
    await report(mb);
    await page.clock.fastForward(1000);
  }
  await report(3); // 1 MB/s with 97 MB to go
  assert.equal((await screenOf(page)).text, 'About 2 minutes left');

  await page.clock.fastForward(6000);
  let screen = await screenOf(page);
  assert.equal(screen.text, 'Waiting for the server…');
  assert.doesNotMatch(screen.statLeft, /\/s/);
  assert.equal(await page.textContent('#announcer'), 'Waiting for the server…');

  // Bytes again after 12 s of silence, at the old speed: no estimate from the silence itself.
  await page.clock.fastForward(6000);
  await report(4);
  screen = await screenOf(page);
  assert.equal(screen.text, 'Estimating time left…');
  await page.clock.fastForward(1000);
  await report(5);
  assert.equal((await screenOf(page)).text, 'About 2 minutes left');
  await page.close();
});

// The first report comes with the answer (or with the bytes kept from before); the transfer's
// speed counts from when bytes began to move, not from that report.
test('the speed counts from the first bytes that move, not from the first report', async () => {
  const { page } = await openPage(suite);
  await waitForScreen(page, 'idle');
  const rate = await page.evaluate(async () => {
    const { RateMeter } = await import('/js/rate-meter.js');
    let now = 0;
    const meter = new RateMeter(() => now);
    meter.sample(6000000, 29000000); // kept bytes, reported at once
    for (now = 1000; now <= 8000; now += 1000) meter.still(6000000); // connecting
    now = 10000;
    return meter.sample(6300000, 29000000).bytesPerSecond;
  });
  assert.equal(rate, 150000);
  await page.close();
});

test('time left holds steady on uneven throughput and follows a real change of speed', async () => {
  const { page } = await openPage(suite);
  await waitForScreen(page, 'idle');
  const texts = await page.evaluate(async () => {
    const { RateMeter } = await import('/js/rate-meter.js');
    const { Texts } = await import('/js/i18n.js');
    const t = new Texts('en');
    let now = 0;
    const meter = new RateMeter(() => now);
    const MB = 2 ** 20;
    const total = 1200 * MB;
    let done = 0;
    const shown = [];
    // One report a second: 3 minutes of 1 and 3 MB/s in turn (5 s each), then 1 minute at 0.5.
    for (let second = 0; second < 240; ++second) {
      const rate = second < 180 ? (Math.floor(second / 5) % 2 ? 3 : 1) : 0.5;
      const { secondsLeft } = meter.sample(done, total);
      shown.push(t.timeLeft(secondsLeft));
      done += rate * MB;
      now += 1000;
    }
    return shown;
  });
  const minutes = (text) => Number(/About (\d+) minutes/.exec(text)?.[1]);
  const steady = texts.slice(10, 180);
  const changes = steady.filter((text, i) => i > 0 && text !== steady[i - 1]);
  // 2 MB/s on average with ~1000 MB to go: about 8 minutes, counting down a minute at a time.
  assert.ok(changes.length <= 6, steady.join('\n'));
  for (let i = 1; i < steady.length; ++i) {
    assert.ok(Math.abs(minutes(steady[i]) - minutes(steady[i - 1])) <= 1, steady.join('\n'));
  }
  // At a quarter of the speed the estimate says so within half a minute.
  assert.ok(minutes(texts[210]) >= 2 * minutes(texts[179]), `${texts[179]} → ${texts[210]}`);
  await page.close();
});

test('reports without new bytes count as a stall, and bytes again are announced', async () => {
  const { page, host } = await openPage(suite, {
    load: false,
    prepare: (h) => {
      h.plans.doDownload = 'manual';
    },
  });
  await page.clock.install();
  await page.goto(`${suite.server.origin}/index.html`);
  await waitForScreen(page, 'idle');
  await page.click('#action-install');
  const download = await host.waitFor('doDownload');
  const report = (done) =>
    host.progress(download.callbackId, { jsp: 'onDownloadProgress', done, todo: 4000000 });
  await report(100000);
  for (let second = 0; second < 6; ++second) {
    await page.clock.fastForward(1000);
    await report(100000); // the host keeps reporting while nothing arrives
  }
  assert.equal((await screenOf(page)).text, 'Waiting for the server…');
  await report(200000);
  assert.equal(await page.textContent('#announcer'), 'Download resumed');
  await page.close();
});

test('the start screen shows the room where the product goes and warns when it cannot fit', async () => {
  const roomy = await openPage(suite, { prepare: (h) => (h.freeSpace = 80 * 2 ** 30) });
  await roomy.page.waitForFunction(() => /free on/.test(document.body.innerText));
  const idle = await screenOf(roomy.page);
  assert.match(idle.detail, /^Download size: 3\.8 MB · 80 GB free on this computer$/);
  assert.equal(idle.text, 'Demo Product will be downloaded and installed on this computer.');
  await roomy.page.close();

  // The archive and its unpacked files need at least twice its size.
  const tight = await openPage(suite, { prepare: (h) => (h.freeSpace = 6 * 2 ** 20) });
  await tight.page.waitForFunction(() => /only/.test(document.body.innerText));
  const warned = await screenOf(tight.page);
  assert.match(warned.text, /needs at least 7\.6 MB on this computer .* only 6(\.0)? MB is free/);
  assert.deepEqual(warned.buttons, ['Close', 'Install']);
  await tight.page.close();
});

const note = (page) => page.textContent('#note');

test('a success says where the product went, and Open starts it through the host or says why not', async () => {
  const config = { ...DEMO_CONFIG, ...PRODUCT, autoStart: true, closeAfterOpen: false };
  const { page, host } = await openPage(suite, { config });
  await waitForScreen(page, 'succeeded');
  await page.waitForSelector('#action-open');
  let screen = await screenOf(page);
  assert.deepEqual(screen.buttons, ['Finish', 'Open']);
  const folder = '/opt/Programs/VelmoranteDemoProductEnterpriseEdition/current';
  assert.equal(screen.detail, `Installed in ${folder}`);
  const asked = (m) => ({ folder: m.folder, program: m.program });
  const named = { folder: PRODUCT.productFolder, program: PRODUCT.productProgram };
  assert.deepEqual(asked(await host.waitFor('doFindProduct')), named);

  await page.click('#action-open');
  assert.deepEqual(asked(await host.waitFor('doOpenProduct')), named);
  await page.waitForFunction(() => document.getElementById('note').textContent !== '');
  assert.equal(await note(page), 'Demo Product is starting.');

  host.plans.doOpenProduct = { result: 193, message: 'The product could not be started' };
  await page.click('#action-open');
  await page.waitForFunction(() => /could not/.test(document.getElementById('note').textContent));
  assert.equal(
    await note(page),
    `Demo Product could not be started from here. Start it yourself from ${folder}.`,
  );
  screen = await screenOf(page);
  assert.equal(
    screen.detail,
    `Installed in ${folder} · Error 193 · The product could not be started`,
  );
  await page.close();

  // A product the host does not find is not offered; the log says why.
  const other = await openPage(suite, {
    config,
    prepare: (h) => {
      h.plans.doFindProduct = { result: 3, message: 'The product folder /opt/x does not exist' };
    },
  });
  await waitForScreen(other.page, 'succeeded');
  await until(() =>
    other.host.messages.some((m) => m.level === 'WARN' && /not found/.test(m.message)),
  );
  screen = await screenOf(other.page);
  assert.deepEqual([screen.buttons, screen.detail], [['Finish'], '']);
  await other.page.close();

  // Unless the vendor keeps it, the installer goes once the product runs, after its clean-up.
  const closing = await openPage(suite, { config: { ...config, closeAfterOpen: undefined } });
  await waitForScreen(closing.page, 'succeeded');
  await closing.page.click('#action-open');
  await until(() => closing.host.closed, 'the window to close');
  const order = closing.host.actions();
  assert.ok(order.indexOf('doOpenProduct') < order.indexOf('doClose'), order.join());
  assert.ok(order.indexOf('doCleanUp') < order.indexOf('doClose'), order.join());
  await closing.page.close();
});

test('a setup that needs a restart offers Restart now and Later; the host restarts', async () => {
  const start = async (restart, cleanUpMs = 10) => {
    const opened = await openPage(suite, {
      config: { ...DEMO_CONFIG, autoStart: true },
      prepare: (h) => {
        h.plans.doLaunchSetup = { result: 3010 };
        h.plans.doRestartSystem = restart;
        h.cleanUpMs = cleanUpMs;
      },
    });
    const screen = await waitForScreen(opened.page, 'succeeded');
    assert.deepEqual(screen.buttons, ['Later', 'Restart now']);
    assert.equal(screen.text, 'Restart your computer to finish the installation.');
    assert.equal(await note(opened.page), 'Save your work in other programs before you restart.');
    // One key press must not restart the computer.
    assert.equal(await opened.page.evaluate(() => document.activeElement.id), 'title');
    return opened;
  };

  const refused = await start('manual');
  await refused.page.click('#action-restart');
  const request = await refused.host.waitFor('doRestartSystem');
  await refused.page.waitForFunction(() =>
    /Asking/.test(document.getElementById('note').textContent),
  );
  assert.deepEqual((await screenOf(refused.page)).buttons, []);
  await refused.host.complete(request.callbackId, {
    result: 1314,
    message: 'The system did not restart: AdjustTokenPrivileges: (error 1314)',
  });
  await refused.page.waitForSelector('#action-close');
  const screen = await screenOf(refused.page);
  assert.deepEqual([screen.buttons, screen.detail], [
    ['Finish'],
    'Error 1314 · The system did not restart: AdjustTokenPrivileges: (error 1314)',
  ]);
  assert.match(await note(refused.page), /^The computer could not be restarted from here/);
  await refused.page.close();

  // Asked while the working folders are still being removed: the page waits for that first.
  const accepted = await start({ result: 0 }, 1500);
  await accepted.page.click('#action-restart');
  await accepted.page.waitForFunction(
    () => document.getElementById('note').textContent === 'The computer is restarting.',
  );
  await accepted.page.close();

  const later = await start({ result: 0 });
  await later.page.click('#action-later');
  await later.page.waitForSelector('#action-close');
  assert.deepEqual((await screenOf(later.page)).buttons, ['Finish']);
  assert.equal(await note(later.page), '');
  assert.equal(later.host.count('doRestartSystem'), 0);
  await later.page.close();
});
