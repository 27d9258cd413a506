// The page SDK (ui/sdk/host.js) on its own, in a blank page of the UI origin, against the fake host.

import assert from 'node:assert/strict';
import { after, before, test } from 'node:test';
import { openPage, startSuite, until } from './support/harness.mjs';

let suite;
before(async () => {
  suite = await startSuite();
});
after(() => suite.close());

// A document of the UI origin without the installer app, with the SDK as window.sdk.
async function sdkPage(prepare) {
  const opened = await openPage(suite, { load: false, prepare });
  await opened.page.goto(`${suite.server.origin}/__blank`);
  await opened.page.evaluate(async () => {
    window.sdk = await import('/sdk/host.js');
    window.seen = [];
  });
  return opened;
}

test('answers are decoded as UTF-8 JSON and routed to their request by callback id', async () => {
  const { page, host } = await sdkPage((h) => {
    h.plans.doUnZip = 'manual';
  });
  const name = 'Données/日本語/📦 paquet.txt';
  await page.evaluate(() => {
    window.result = window.sdk.unzip('/tmp/ü/archive.zip', (p) => window.seen.push(p));
    window.other = window.sdk.unzip('/tmp/other.zip');
  });
  const first = await host.waitFor('doUnZip');
  assert.deepEqual(first.download, { des: '/tmp/ü/archive.zip' });
  await host.progress(first.callbackId, {
    jsp: 'onUnZipProgress',
    done: 5,
    todo: 10,
    message: name,
  });
  await host.complete(first.callbackId, { jsp: 'onUnZipProgress', message: '/tmp/{Ç}/Café' });
  assert.equal(await page.evaluate(() => window.result), '/tmp/{Ç}/Café');
  const seen = await page.evaluate(() => window.seen);
  assert.deepEqual(seen, [{ done: 5, total: 10, fraction: 0.5, message: name, result: 0 }]);
  // The second request is still waiting: the answer went to the first id only.
  assert.equal(
    await page.evaluate(() =>
      Promise.race([
        window.other.then(() => 'settled'),
        new Promise((r) => setTimeout(() => r('waiting'), 100)),
      ]),
    ),
    'waiting',
  );
  await page.close();
});

test('every message is an object with a fresh string id, and every promise settles', async () => {
  const { page, host } = await sdkPage();
  const results = await page.evaluate(async () => {
    const { sdk } = window;
    return Promise.all([
      sdk.cancel(),
      sdk.cleanUp(),
      sdk.writeLog({ message: 'hello', level: 'WARN' }),
      sdk.postToTeams({ error: { description: 'x' } }),
      sdk.getSysInfo(),
      sdk.getLogData({ maxEntries: 5 }),
      sdk.loadData(),
    ]);
  });
  const [, removed, , , sysInfo, log, nothing] = results;
  assert.deepEqual(removed, []);
  assert.equal(sysInfo.NumberOfProcessors, 2);
  assert.equal(log[0].message, 'Page ready');
  assert.equal(nothing, null);
  const ids = host.messages.map((m) => m.callbackId);
  assert.ok(ids.every((id) => typeof id === 'string' && id.length > 0));
  assert.equal(new Set(ids).size, ids.length);
  assert.deepEqual(
    host.messages.find((m) => m.action === 'doGetLogData'),
    {
      action: 'doGetLogData',
      callbackId: ids[5],
      maxEntries: 5,
      includeDebug: false,
    },
  );
  assert.deepEqual(host.problems, []);

  // Outside the host a request rejects instead of waiting forever.
  const outside = await page.evaluate(() => {
    delete window.chrome;
    return window.sdk.cleanUp().then(
      () => 'settled',
      (e) => e.message,
    );
  });
  assert.equal(outside, 'No host: window.chrome.webview is missing');
  await page.close();
});

test('failed downloads reject with the host code; progress knows an unknown total', async () => {
  const { page, host } = await sdkPage((h) => {
    h.plans.doDownload = 'manual';
  });
  await page.evaluate(() => {
    window.failure = window.sdk
      .download({ url: 'https://example.invalid/a.zip', archive_name: 'a.zip' }, (p) =>
        window.seen.push(p),
      )
      .catch((e) => ({
        name: e.name,
        code: e.code,
        hostMessage: e.hostMessage,
        cancelled: e.cancelled,
        action: e.action,
      }));
  });
  const message = await host.waitFor('doDownload');
  const dl = { name: 'UtlDwldFile', jsp: 'onDownloadProgress' };
  await host.progress(message.callbackId, { ...dl, done: 7, todo: 0 });
  await host.progress(message.callbackId, { ...dl, done: 8, todo: 18446744073709551615n });
  await host.progress(message.callbackId, { ...dl, done: 9, todo: 36 });
  await host.complete(message.callbackId, { ...dl, result: 403, message: 'HTTP 403 Forbidden' });
  assert.deepEqual(await page.evaluate(() => window.failure), {
    name: 'HostError',
    code: 403,
    hostMessage: 'HTTP 403 Forbidden',
    cancelled: false,
    action: 'doDownload',
  });
  assert.deepEqual(
    (await page.evaluate(() => window.seen)).map((p) => [p.total, p.fraction]),
    [
      [null, null],
      [null, null],
      [36, 0.25],
    ],
  );

  // A cancelled download is a HostError too, marked as such; success gives {des, url}.
  const outcome = page.evaluate(async () => {
    const a = window.sdk.download({ url: 'u', archive_name: 'a' }).catch((e) => e.cancelled);
    const b = window.sdk.download({ url: 'u', archive_name: 'a' });
    return [await a, await b];
  });
  const second = await host.waitFor('doDownload', { from: host.messages.indexOf(message) + 1 });
  const third = await host.waitFor('doDownload', { from: host.messages.indexOf(second) + 1 });
  await host.complete(second.callbackId, { ...dl, result: 1602 });
  await host.complete(third.callbackId, { ...dl, message: '{"des":"/tmp/{X}/a","url":"u"}' });
  assert.deepEqual(await outcome, [true, { des: '/tmp/{X}/a', url: 'u' }]);
  await page.close();
});

test('stored data comes back without the members the host adds', async () => {
  const { page, host } = await sdkPage();
  const loaded = await page.evaluate(async () => {
    await window.sdk.storeData({ installer: { phase: 'downloading', cbid: 'p1-4' }, lang: 'de' });
    return window.sdk.loadData();
  });
  assert.deepEqual(loaded, { installer: { phase: 'downloading', cbid: 'p1-4' }, lang: 'de' });
  assert.deepEqual(JSON.parse(host.exchange).subAction, '');
  await page.close();
});

test('the close button asks the page once, and a closing page keeps agreeing', async () => {
  const { page, host } = await sdkPage();
  // Without a handler the page agrees at once.
  await host.pressClose();
  await host.waitFor('doClose');

  const fresh = await sdkPage();
  await fresh.page.evaluate(() => {
    window.asked = 0;
    window.sdk.onCloseRequest(() => {
      window.asked += 1;
    });
  });
  await fresh.host.pressClose();
  await fresh.host.pressClose();
  assert.equal(await fresh.page.evaluate(() => window.asked), 2);
  assert.equal(fresh.host.count('doClose'), 0);

  // Once the page has agreed, the host's repeated questions are answered without asking again.
  fresh.host.busyCloses = 2;
  await fresh.page.evaluate(() => window.sdk.close());
  await until(() => fresh.host.closed, 'the window to close');
  assert.equal(fresh.host.count('doClose'), 3);
  assert.equal(await fresh.page.evaluate(() => window.asked), 2);
  assert.deepEqual(fresh.host.problems, []);
  await page.close();
  await fresh.page.close();
});

test('openExternal asks for a new window with the web link and nothing else', async () => {
  const { page, host } = await sdkPage();
  const pages = suite.context.pages().length;
  const asked = [];
  await suite.context.route('https://example.com/**', (route) => {
    asked.push(route.request().url());
    return route.abort();
  });
  const popup = suite.context.waitForEvent('page');
  // From a click, as a page calls it.
  await page.evaluate(() => {
    const button = document.createElement('button');
    button.id = 'terms';
    button.onclick = () => window.sdk.openExternal('https://example.com/terms?lang=de#top');
    document.body.append(button);
  });
  await page.click('#terms');
  await (await popup).close();
  await suite.context.unrouteAll();
  assert.deepEqual(asked, ['https://example.com/terms?lang=de']);
  assert.equal(page.url(), `${suite.server.origin}/__blank`);

  const refused = await page.evaluate(() =>
    ['file:///etc/passwd', 'javascript:alert(1)', 'app://quillfetch.localhost/', 'terms.html'].map(
      (url) => {
        try {
          window.sdk.openExternal(url);
          return 'opened';
        } catch (error) {
          return error.name;
        }
      },
    ),
  );
  assert.deepEqual(refused, ['TypeError', 'TypeError', 'TypeError', 'TypeError']);
  assert.equal(suite.context.pages().length, pages);
  assert.deepEqual(host.messages, []); // no host action: the web view's new window is the request
  await page.close();
});
