// Nothing is lost when the page has less room than the window gives it: a zoomed page, a smaller
// view, larger text, long names and labels. Header and buttons stay in view, the status scrolls.

import assert from 'node:assert/strict';
import { after, before, test } from 'node:test';
import { DEMO_CONFIG, startSuite, walkScreens } from './support/harness.mjs';

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
    const fixed = { '.logo': 38, '.status-icon': 40 };
    for (const [selector, size] of Object.entries(fixed)) {
      const box = document.querySelector(selector).getBoundingClientRect();
      if (box.width !== size || box.height !== size) {
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

const ROOMS = [
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
