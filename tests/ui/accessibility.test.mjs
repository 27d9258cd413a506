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
    // buttons, always shows its ring (buttons show theirs once the keyboard is used).
    const focus = await page.evaluate(() => {
      const el = document.activeElement;
      return { id: el.id, tag: el.tagName, outline: getComputedStyle(el).outlineStyle };
    });
    if (focus.tag === 'BODY') found.push(`${name}: focus on the body`);
    if (focus.id === 'title' && focus.outline === 'none')
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
