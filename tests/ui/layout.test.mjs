// Nothing is lost when the page has less room than the window gives it: a zoomed page, a smaller
// view, larger text, long names and labels. Header and buttons stay in view, the status scrolls.

import assert from 'node:assert/strict';
import { after, before, test } from 'node:test';
import { DEMO_CONFIG, VIEWPORT, openPage, startSuite, waitForScreen, walkScreens } from './support/harness.mjs';

let suite;
before(async () => {
  suite = await startSuite();
});
after(() => suite.close());

// Every visible element that is cut, squashed to nothing or out of reach. An element inside a
// scrolling box (the status, a dialog) may lie below its fold, as long as the box can be
// scrolled from the keyboard; anything else must lie inside the view, and the page itself must
// not need scrolling (header and buttons stay put).
async function lostContent(page) {
  return page.evaluate(() => {
    const lost = [];
    const name = (el) =>
      `${el.id ? `#${el.id}` : el.className || el.tagName}: ${el.textContent.trim().slice(0, 40)}`;
    const scroller = (el) => {
      for (let node = el.parentElement; node; node = node.parentElement) {
        if (['auto', 'scroll'].includes(getComputedStyle(node).overflowY)) return node;
      }
      return null;
    };
    const root = document.scrollingElement;
    if (root.scrollHeight > innerHeight + 1 || root.scrollWidth > innerWidth + 1) {
      lost.push(`the page scrolls: ${root.scrollWidth} × ${root.scrollHeight}`);
    }
    const status = document.getElementById('status');
    if (status.scrollHeight > status.clientHeight + 1 && status.tabIndex !== 0) {
      lost.push('the status overflows but takes no keyboard focus');
    }
    const below = status.scrollTop + status.clientHeight < status.scrollHeight - 1;
    const sign = getComputedStyle(document.querySelector('.more-below')).visibility;
    if (below && sign !== 'visible') lost.push('more lies below the fold without a sign of it');
    // Each icon is whole or, where the message needs the room, gone: never squashed.
    const fixed = { '.logo': 38, '.status-icon': 40 };
    for (const [selector, size] of Object.entries(fixed)) {
      const icon = document.querySelector(selector);
      const box = icon.getBoundingClientRect();
      const gone = selector === '.status-icon' && getComputedStyle(icon).display === 'none';
      if (!gone && (box.width !== size || box.height !== size)) {
        lost.push(`${selector} squashed to ${box.width} × ${box.height}`);
      }
    }
    for (const el of document.querySelectorAll('body *')) {
      if (!el.checkVisibility() || el.closest('.sr-only, pre, .path-folders, svg')) continue;
      const own = [...el.childNodes].some((n) => n.nodeType === 3 && n.textContent.trim());
      if (!own && !el.matches('button, a, .progress, .status-icon, .logo')) continue;
      const box = el.getBoundingClientRect();
      if (box.width < 1 || box.height < 1) {
        lost.push(`${name(el)} has no size`);
        continue;
      }
      if (el.scrollWidth > el.clientWidth + 1 || (own && el.scrollHeight > el.clientHeight + 1)) {
        if (!['auto', 'scroll'].includes(getComputedStyle(el).overflowY)) {
          lost.push(`${name(el)} is cut`);
        }
      }
      const frame = scroller(el)?.getBoundingClientRect() ?? { left: 0, right: innerWidth };
      const outside =
        box.left < frame.left - 1 ||
        box.right > frame.right + 1 ||
        (!scroller(el) && (box.top < -1 || box.bottom > innerHeight + 1));
      if (outside) lost.push(`${name(el)} is out of view`);
    }
    return lost;
  });
}

// With a dialog open: every part of it is what the pointer would hit (nothing paints over it),
// and a click anywhere, on the dialog or its backdrop, leaves focus inside it.
async function dialogProblems(page) {
  const covered = await page.evaluate(() => {
    const backdrop = document.querySelector('.backdrop:not([hidden])');
    const found = [];
    // Hit testing passes through inert content: the page is made hittable for the look.
    const app = document.querySelector('.app');
    app.inert = false;
    for (const el of backdrop.querySelectorAll('h3, p, li, button')) {
      if (!el.checkVisibility()) continue;
      const box = el.getBoundingClientRect();
      for (const [fx, fy] of [[0.5, 0.5], [0.1, 0.15], [0.9, 0.15], [0.1, 0.85], [0.9, 0.85]]) {
        const hit = document.elementFromPoint(box.left + box.width * fx, box.top + box.height * fy);
        if (hit && !backdrop.contains(hit)) {
          found.push(`${el.id || el.tagName} is covered by ${hit.id || hit.className || hit.tagName}`);
          break;
        }
      }
    }
    app.inert = true;
    return found;
  });
  const lost = [];
  for (const target of ['.backdrop:not([hidden])', '.backdrop:not([hidden]) h3']) {
    const box = await page.locator(target).boundingBox();
    await page.mouse.click(box.x + 3, box.y + 3);
    await page.waitForTimeout(20);
    const inside = await page.evaluate(() =>
      Boolean(document.activeElement?.closest('.backdrop:not([hidden])')),
    );
    if (!inside) lost.push(`a click on ${target} leaves focus outside the dialog`);
  }
  return [...new Set(covered), ...lost];
}

const ROOMS = [
  { label: 'the window', viewport: VIEWPORT },
  { label: '400 × 300', viewport: { width: 400, height: 300 } },
  { label: '340 × 245', viewport: { width: 340, height: 245 } },
  { label: '200 % text', textScale: 2 },
];

test('every screen keeps its content at a high zoom or with larger text, in each language', async () => {
  const names = { en: 'Demo Product', de: 'Demoprodukt', ar: 'المنتج التجريبي' };
  const problems = [];
  for (const room of ROOMS) {
    for (const language of ['en', 'de', 'ar']) {
      const config = { ...DEMO_CONFIG, language, productName: names };
      const { page, pageErrors } = await walkScreens(suite, { ...room, config }, async (p, at) => {
        for (const what of await lostContent(p)) {
          problems.push(`${room.label}, ${language}, ${at}: ${what}`);
        }
        // The status may scroll, but the bar stays in view while it does.
        const barInView = await p.evaluate(() => {
          const bar = document.getElementById('progress');
          if (bar.hidden) return true;
          const box = bar.getBoundingClientRect();
          const status = document.getElementById('status').getBoundingClientRect();
          return box.height > 0 && box.top >= status.top - 1 && box.bottom <= status.bottom + 1;
        });
        if (!barInView) problems.push(`${room.label}, ${language}, ${at}: the bar is out of view`);
        if (['close-question', 'consent'].includes(at)) {
          for (const what of await dialogProblems(p)) {
            problems.push(`${room.label}, ${language}, ${at}: ${what}`);
          }
        }
      });
      problems.push(...pageErrors);
      await page.close();
    }
  }
  assert.deepEqual(problems, []);
});

test('a long product name wraps without squashing the icons or the bar', async () => {
  const productName = `Demo Product ${'Enterprise Edition '.repeat(4)}with Extras`.slice(0, 80);
  const problems = [];
  const { page } = await walkScreens(
    suite,
    { viewport: { width: 400, height: 300 }, config: { ...DEMO_CONFIG, productName } },
    async (p, at) => {
      for (const what of await lostContent(p)) problems.push(`${at}: ${what}`);
      if (at === 'downloading') {
        const [bar, status] = await p.evaluate(() =>
          ['progress', 'status'].map((id) => document.getElementById(id).clientWidth),
        );
        if (bar < status / 2) problems.push(`the bar is ${bar} px of ${status}`);
      }
    },
  );
  assert.equal(await page.textContent('#product'), productName);
  assert.deepEqual(problems, []);
  await page.close();
});

// At the window's size a failure's title, reason and next step are in view on arrival, in every
// language, without scrolling: only the details may need it.
test('every failure says what happened and what to do without scrolling', async () => {
  const { page } = await openPage(suite);
  await waitForScreen(page, 'idle');
  const hidden = await page.evaluate(async () => {
    const { View } = await import('/js/view.js');
    const { Texts, LANGUAGES } = await import('/js/i18n.js');
    const { parseConfig } = await import('/js/config.js');
    const { listedCodes } = await import('/js/failures.js');
    const { screenFor } = await import('/js/screens.js');
    const found = [];
    const view = new View(document, { onAction() {}, onReport() {} });
    const status = document.getElementById('status');
    for (const lang of Object.keys(LANGUAGES)) {
      const texts = new Texts(lang);
      const config = parseConfig({
        productName: 'Demo Product',
        url: 'https://downloads.example.com/demo-product.zip',
        archive_name: 'demo-product.zip',
        downloadPageUrl: 'https://example.com/get',
        supportUrl: 'https://example.com/help',
        language: lang,
      });
      view.setTexts(texts);
      for (const [stage, codes] of Object.entries(listedCodes())) {
        for (const key of codes) {
          const code = /^\d+$/.test(key) ? Number(key) : key;
          const failure = { stage, code, hostMessage: 'The host says more about it here.' };
          view.render(screenFor({ phase: 'failed', failure }, config, texts));
          await new Promise(requestAnimationFrame);
          const fold = status.getBoundingClientRect().bottom;
          const cut = ['title', 'text', 'note'].filter(
            (id) => document.getElementById(id).getBoundingClientRect().bottom > fold + 1,
          );
          if (status.scrollTop > 0 || cut.length) found.push(`${lang} ${stage} ${key}: ${cut}`);
        }
      }
    }
    return found;
  });
  assert.deepEqual(hidden, []);
  await page.close();
});
