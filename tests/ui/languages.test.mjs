// The page in every shipped language: complete tables, no English left on any screen, nothing
// clipped at the window's size, right to left where the language is, and the user's choice.

import assert from 'node:assert/strict';
import { after, before, test } from 'node:test';
import { LANGUAGES } from '../../ui/js/i18n.js';
import {
  DEMO_CONFIG,
  openPage,
  startSuite,
  waitForScreen,
  walkScreens,
} from './support/harness.mjs';

let suite;
before(async () => {
  suite = await startSuite();
});
after(() => suite.close());

const en = LANGUAGES.en;
const placeholders = (text) =>
  [
    ...new Set(
      Object.values(typeof text === 'string' ? { text } : text)
        .join(' ')
        .match(/\{\w+\}/g) ?? [],
    ),
  ].sort();

// Buttons that stand side by side must not read as the same thing said twice: they share no
// word longer than a particle.
test('every language words its neighbouring buttons apart', () => {
  const NEIGHBOURS = [
    ['action.retryDownload', 'link.downloadPage'],
    ['action.pause', 'action.cancel'],
    ['action.resume', 'action.close'],
    ['action.tryNow', 'action.cancel'],
  ];
  const words = (text) => text.toLowerCase().split(/\s+/).filter((w) => w.length > 3);
  for (const [lang, { strings }] of Object.entries(LANGUAGES)) {
    for (const [a, b] of NEIGHBOURS) {
      const shared = words(strings[a]).filter((w) => words(strings[b]).includes(w));
      assert.deepEqual(shared, [], `${lang}: ${strings[a]} / ${strings[b]}`);
    }
  }
});

test('every language has every text, with the same placeholders and its plural forms', () => {
  for (const [lang, table] of Object.entries(LANGUAGES)) {
    assert.deepEqual(Object.keys(table.strings).sort(), Object.keys(en.strings).sort(), lang);
    const forms = new Intl.PluralRules(lang).resolvedOptions().pluralCategories;
    for (const [id, text] of Object.entries(table.strings)) {
      if (typeof text === 'object') {
        assert.deepEqual(Object.keys(text).sort(), [...forms].sort(), `${lang} ${id}`);
      }
      // Arabic's forms for one and two name the number in words.
      if (lang !== 'ar')
        assert.deepEqual(placeholders(text), placeholders(en.strings[id]), `${lang} ${id}`);
    }
    for (const [stage, codes] of Object.entries(en.failures)) {
      assert.deepEqual(Object.keys(table.failures[stage]).sort(), Object.keys(codes).sort(), lang);
      for (const [code, [title, text]] of Object.entries(table.failures[stage])) {
        assert.ok(title && text, `${lang} ${stage} ${code}`);
        assert.deepEqual(
          placeholders(text),
          placeholders(codes[code][1]),
          `${lang} ${stage} ${code}`,
        );
      }
    }
  }
});

// Stretches of English of two words or more, from every English text: none may show in another
// language (single words such as "Details" or "Setup" are German too).
const englishPhrases = [
  ...Object.values(en.strings).flatMap((t) => (typeof t === 'string' ? [t] : Object.values(t))),
  ...Object.values(en.failures).flatMap((codes) => Object.values(codes).flat()),
]
  .flatMap((text) => text.split(/\{\w+\}|[.;:,…]/))
  .map((part) => part.trim())
  .filter((part) => part.split(/\s+/).length >= 2 && part.length >= 8);

// Visible text, and every element whose text does not fit its box or the window.
async function inspect(page) {
  return page.evaluate(() => {
    const clipped = [];
    const texts = [];
    for (const el of document.querySelectorAll('body *')) {
      if (!el.checkVisibility() || el.closest('.sr-only')) continue;
      if (el.closest('pre')) continue; // the report itself: data for the vendor, in English
      const own = [...el.childNodes].some((n) => n.nodeType === 3 && n.textContent.trim());
      if (!own) continue;
      texts.push(el.innerText);
      const box = el.getBoundingClientRect();
      const over =
        el.scrollWidth > el.clientWidth + 1 ||
        box.left < -1 ||
        box.right > innerWidth + 1 ||
        box.bottom > innerHeight + 1;
      if (over && !el.closest('pre, .detail'))
        clipped.push(`${el.id || el.className}: ${el.innerText}`);
    }
    return { texts: texts.join('\n'), clipped };
  });
}

test('each language shows no English and clips no text on any screen', async () => {
  const names = { en: 'Demo Product', de: 'Demoprodukt', ar: 'المنتج التجريبي' };
  for (const lang of ['de', 'ar']) {
    const problems = [];
    const config = { ...DEMO_CONFIG, language: lang, productName: names };
    const { page, pageErrors } = await walkScreens(suite, { config }, async (p, screen) => {
      const { texts, clipped } = await inspect(p);
      for (const phrase of englishPhrases) {
        if (texts.includes(phrase)) problems.push(`${screen}: English "${phrase}"`);
      }
      for (const what of clipped) problems.push(`${screen}: clipped ${what}`);
    });
    assert.deepEqual(problems, [], lang);
    const root = await page.evaluate(() => [
      document.documentElement.lang,
      document.documentElement.dir,
      document.title,
    ]);
    assert.deepEqual(
      root,
      lang === 'ar'
        ? ['ar', 'rtl', 'إعداد المنتج التجريبي']
        : ['de', 'ltr', 'Demoprodukt – Einrichtung'],
    );
    assert.deepEqual(pageErrors, []);
    await page.close();
  }
});

test('numbers, sizes, times and plurals follow the language', async () => {
  const { page } = await openPage(suite);
  await waitForScreen(page, 'idle');
  const shown = await page.evaluate(async () => {
    const { Texts } = await import('/js/i18n.js');
    const of = (lang) => {
      const t = new Texts(lang);
      return [
        t.bytes(1572864),
        t.rate(2621440),
        t.percent(0.456),
        ...[60, 120, 180, 660, 3900].map((s) => t.timeLeft(s)),
        t.t('time.minutes', { count: 100 }),
      ];
    };
    return { en: of('en'), de: of('de'), ar: of('ar') };
  });
  assert.deepEqual(shown.en, [
    '1.5 MB',
    '2.5 MB/s',
    '45%',
    'About 1 minute left',
    'About 2 minutes left',
    'About 3 minutes left',
    'About 11 minutes left',
    'About 1 hour 5 minutes left',
    'About 100 minutes left',
  ]);
  assert.deepEqual(shown.de.slice(0, 4), ['1,5 MB', '2,5 MB/s', '45\u00a0%', 'Noch etwa 1 Minute']);
  // Arabic: one, two, few (3–10), many (11–99) and other each take their own wording (the digits
  // are whichever Intl gives).
  assert.deepEqual(
    [...shown.ar.slice(3, 7), shown.ar[8]].map((text) => text.replace(/[0-9٠-٩]+/g, 'N')),
    [
      'بقيت دقيقة واحدة تقريبًا',
      'بقيت دقيقتان تقريبًا',
      'بقيت N دقائق تقريبًا',
      'بقيت N دقيقة تقريبًا',
      'بقيت N دقيقة تقريبًا',
    ],
  );
  await page.close();
});

test('the language comes from the system unless config.json names one; names keep their own direction', async () => {
  const cases = [
    [['de-AT', 'en'], {}, 'de'],
    [['fr-FR', 'ar-EG'], {}, 'ar'],
    [['fr-FR'], {}, 'en'],
    [['de-DE'], { language: 'ar' }, 'ar'],
  ];
  for (const [languages, extra, expected] of cases) {
    const { page } = await openPage(suite, {
      load: false,
      config: {
        ...DEMO_CONFIG,
        ...extra,
        productName: 'برنامج تجريبي طويل الاسم جدًا للاختبار الدقيق',
      },
    });
    await page.addInitScript(
      (list) => Object.defineProperty(navigator, 'languages', { get: () => list }),
      languages,
    );
    await page.goto(`${suite.server.origin}/index.html`);
    await waitForScreen(page, 'idle');
    assert.equal(
      await page.evaluate(() => document.documentElement.lang),
      expected,
      languages.join(),
    );
    // An Arabic name in a left-to-right page still runs right to left (its start stays visible).
    assert.equal(await page.$eval('#product', (h) => getComputedStyle(h).direction), 'rtl');
    await page.close();
  }
});
