// The page for users of screen readers, keyboards, forced colours and reduced motion: axe-core
// on every screen in both themes, what the status region says over a whole installation, and
// what stays visible without the page's own colours or motion.

import assert from 'node:assert/strict';
import { after, before, test } from 'node:test';
import {
  DEMO_CONFIG,
  axeViolations,
  openPage,
  startHeldDownload,
  startSuite,
  waitForScreen,
  walkScreens,
} from './support/harness.mjs';

let suite;
before(async () => {
  suite = await startSuite();
});
after(() => suite.close());

test('axe finds no violation on any screen, in either theme', async () => {
  const found = [];
  // Each screen in both themes: the page follows the system's, so switching it redraws at once.
  const check = async (page, name) => {
    for (const colorScheme of ['dark', 'light']) {
      await page.emulateMedia({ colorScheme });
      for (const violation of await axeViolations(page)) {
        found.push(`${name} (${colorScheme}): ${violation}`);
      }
    }
    // Focus is always on something the keyboard can use; the title, focused on screens without
    // buttons, shows its ring once the keyboard is used (as buttons do).
    const focus = await page.evaluate(() => {
      const el = document.activeElement;
      const keyboard = document.documentElement.dataset.input !== 'pointer';
      return { id: el.id, tag: el.tagName, outline: getComputedStyle(el).outlineStyle, keyboard };
    });
    if (focus.tag === 'BODY') found.push(`${name}: focus on the body`);
    if (focus.id === 'title' && focus.outline === 'none' && focus.keyboard)
      found.push(`${name}: no ring on the title`);
  };
  const { page } = await walkScreens(suite, {}, check);
  await page.close();

  const broken = await openPage(suite, { config: '{ not json' });
  await waitForScreen(broken.page, 'failed');
  await check(broken.page, 'config error');
  assert.equal(await broken.page.evaluate(() => document.activeElement.id), 'action-close');
  await broken.page.close();
  assert.deepEqual(found, []);
});

test('the status region speaks screens and milestones, not every progress report', async () => {
  const steps = (count, todo, message = '') =>
    Array.from({ length: count }, (_, i) => ({
      done: Math.round(((i + 1) * todo) / count),
      todo,
      message,
    }));
  const { page, host } = await openPage(suite, {
    config: { ...DEMO_CONFIG, autoStart: true },
    prepare: (h) => {
      h.plans.doDownload = { steps: steps(60, 4000000), result: 0, delayMs: 10 };
      h.plans.doUnZip = { steps: steps(60, 2000, 'data/file.bin'), result: 0, delayMs: 10 };
    },
  });
  await page.evaluate(() => {
    window.spoken = [];
    const regions = document.querySelectorAll('[aria-live], [role="status"], [role="alert"]');
    const observer = new MutationObserver((records) => {
      for (const region of new Set(
        records.map(
          (r) => r.target.closest?.('[role]') ?? r.target.parentElement.closest('[role]'),
        ),
      )) {
        if (region?.textContent) window.spoken.push(region.textContent);
      }
    });
    for (const region of regions) {
      observer.observe(region, { childList: true, characterData: true, subtree: true });
    }
  });
  await waitForScreen(page, 'succeeded');
  await host.waitFor('doCleanUp');
  const spoken = await page.evaluate(() => window.spoken);
  assert.ok(spoken.length <= 10, spoken.join('\n'));
  for (const text of [
    'Downloaded 50%',
    'Download (done). Preparing files',
    'Demo Product is installed',
  ]) {
    assert.ok(
      spoken.some((s) => s.includes(text)),
      `${text} in:\n${spoken.join('\n')}`,
    );
  }
  // Figures are for the eye; the bar carries them in words for the screen reader.
  assert.equal(await page.$('.status[aria-live], .stats[aria-live]'), null);
  assert.equal(
    (await page.textContent('#steps')).replace(/\s+/g, ' ').trim(),
    'Download (done) Prepare (done) Install (done)',
  );
  await page.close();
});

test('the bar says its value in words', async () => {
  const { page, host, download } = await startHeldDownload(suite);
  await host.progress(download.callbackId, {
    jsp: 'onDownloadProgress',
    done: 1000000,
    todo: 4000000,
  });
  await page.waitForFunction(() => document.getElementById('stat-right').textContent === '25%');
  assert.equal(await page.getAttribute('#progress', 'aria-valuetext'), '25%, 977 kB of 3.8 MB');
  await page.close();
});

test('without the page’s colours or motion, progress, icon, steps and buttons stay visible', async () => {
  const { page, host } = await openPage(suite, {
    prepare: (h) => {
      h.plans.doDownload = 'manual';
    },
  });
  await page.emulateMedia({ forcedColors: 'active', reducedMotion: 'reduce' });
  await waitForScreen(page, 'idle');
  await page.click('#action-install');
  await host.waitFor('doDownload');
  await waitForScreen(page, 'downloading');
  const look = await page.evaluate(() => {
    const style = (selector, pseudo) => getComputedStyle(document.querySelector(selector), pseudo);
    return {
      track: style('#progress').backgroundColor,
      bar: style('#progress .bar').backgroundImage,
      barAnimation: style('#progress .bar').animationName,
      icon: style('.status-icon', '::after').backgroundColor,
      iconBack: style('.status-icon').backgroundColor,
      currentDot: style('.steps li.current .dot').backgroundColor,
      laterDot: style('.steps li:last-child .dot').borderTopColor,
      header: style('.brand').backgroundColor,
      cancel: style('#action-cancel').borderTopStyle,
    };
  });
  // Indeterminate (no size yet) and no motion: stripes across the track, not a "full" bar.
  assert.match(look.bar, /repeating-linear-gradient/);
  assert.equal(look.barAnimation, 'none');
  assert.notEqual(look.icon, look.iconBack);
  assert.notEqual(look.currentDot, look.header);
  assert.notEqual(look.laterDot, look.header);
  assert.equal(look.cancel, 'solid');
  await page.close();
});

// WCAG's contrast ratio of two computed colours ("rgb(…)"; opaque ones).
function contrast(a, b) {
  const luminance = (color) => {
    const [r, g, bl] = color.match(/[\d.]+/g).slice(0, 3).map(Number);
    const lin = (c) => (c / 255 <= 0.03928 ? c / 255 / 12.92 : ((c / 255 + 0.055) / 1.055) ** 2.4);
    return 0.2126 * lin(r) + 0.7152 * lin(g) + 0.0722 * lin(bl);
  };
  const [hi, lo] = [luminance(a), luminance(b)].sort((x, y) => y - x);
  return (hi + 0.05) / (lo + 0.05);
}

test('buttons, the track and the dialog’s button stand out from what is around them', async () => {
  const { page, host, download } = await startHeldDownload(suite);
  await host.progress(download.callbackId, { jsp: 'onDownloadProgress', done: 1, todo: 4 });
  await page.click('#action-cancel');
  await page.waitForSelector('#dialog:not([hidden])');
  const low = [];
  for (const colorScheme of ['light', 'dark']) {
    await page.emulateMedia({ colorScheme });
    const colours = await page.evaluate(() => {
      const style = (selector) => getComputedStyle(document.querySelector(selector));
      const dialog = style('.dialog').backgroundColor;
      return [
        ['Cancel’s border', style('#action-cancel').borderTopColor, style('.actions').backgroundColor],
        ['the track’s edge', style('#progress').borderTopColor, style('body').backgroundColor],
        ['the stop button', style('#dialog-confirm').backgroundColor, dialog],
        ['Keep’s border', style('#dialog-cancel').borderTopColor, dialog],
      ];
    });
    for (const [what, fore, back] of colours) {
      const ratio = contrast(fore, back);
      if (ratio < 3) low.push(`${colorScheme}: ${what} ${ratio.toFixed(2)}:1`);
    }
  }
  assert.deepEqual(low, []);

  // Forced colours drop the logo's gradient: its glyph must not be drawn in the page's colour.
  await page.emulateMedia({ forcedColors: 'active' });
  const logo = await page.evaluate(() => [
    getComputedStyle(document.querySelector('.logo svg')).fill,
    getComputedStyle(document.querySelector('.logo')).backgroundColor,
  ]);
  assert.notEqual(logo[0], logo[1]);
  await page.close();
});

test('the title shows a focus ring to keyboard users only', async () => {
  const ring = (page) =>
    page.evaluate(() => {
      const focused = document.activeElement;
      return [focused.id, getComputedStyle(focused).outlineStyle];
    });
  const byMouse = await startHeldDownload(suite); // Install clicked with the mouse
  const report = { jsp: 'onDownloadProgress', done: 1, todo: 4 };
  await byMouse.host.progress(byMouse.download.callbackId, report);
  assert.deepEqual(await ring(byMouse.page), ['title', 'none']);
  await byMouse.page.close();

  const { page, host } = await openPage(suite, { prepare: (h) => (h.plans.doDownload = 'manual') });
  await waitForScreen(page, 'idle');
  await page.keyboard.press('Enter');
  await host.waitFor('doDownload');
  assert.deepEqual(await ring(page), ['title', 'solid']);
  await page.close();
});

test('a failure is told in words, not colour or shapes, and its details can be copied', async () => {
  const { page, host } = await openPage(suite, {
    prepare: (h) => (h.plans.doLaunchSetup = { result: 1603 }),
  });
  await suite.context.grantPermissions(['clipboard-read', 'clipboard-write'], {
    origin: suite.server.origin,
  });
  await waitForScreen(page, 'idle');
  await page.click('#action-install');
  await waitForScreen(page, 'failed');
  // The triangle is drawn, not spoken.
  assert.equal(await page.locator('#details-toggle').ariaSnapshot(), '- button "Details"');
  const failedStep = page.locator('.steps li.current .step-state');
  assert.equal(await failedStep.textContent(), '(failed)');
  assert.ok((await failedStep.boundingBox()).width > 10, 'the failed step’s words are not shown');
  const selectable = await page.evaluate(() =>
    ['title', 'text', 'detail', 'report-status'].filter(
      (id) => getComputedStyle(document.getElementById(id)).userSelect !== 'text',
    ),
  );
  assert.deepEqual(selectable, []);
  await page.click('#copy-details');
  await page.waitForFunction(() => document.getElementById('copy-status').textContent === 'Copied');
  const copied = await page.evaluate(() => navigator.clipboard.readText());
  assert.match(copied, /^Installation failed\n.*\nError 1603$/s);
  assert.equal(host.count('doCleanUp'), 0);
  await page.close();
});
