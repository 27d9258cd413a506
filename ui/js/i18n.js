// The page's texts in the user's language: per-language tables keyed by id (lang/*.js), with
// {placeholders}, plural forms chosen by Intl.PluralRules, and numbers, sizes, speeds and
// durations formatted by Intl for that language.
//
// A Texts never throws for a missing id or placeholder: it falls back to English, then to the
// id itself, so a gap in a vendor's table shows as a visible oddity rather than a blank page.

import ar from './lang/ar.js';
import de from './lang/de.js';
import en from './lang/en.js';

export const LANGUAGES = Object.freeze({ en, de, ar });

/** The first of `wanted` (override first) that the page has, by primary subtag; else 'en'. */
export function pickLanguage(override, wanted = navigator.languages ?? [navigator.language]) {
  for (const tag of [override, ...wanted]) {
    if (typeof tag !== 'string' || tag === '') continue;
    const primary = tag.toLowerCase().split(/[-_]/)[0];
    if (Object.hasOwn(LANGUAGES, primary)) return primary;
  }
  return 'en';
}

const BYTE_UNITS = ['byte', 'kilobyte', 'megabyte', 'gigabyte', 'terabyte'];
const FALLBACK_UNITS = {
  byte: 'B',
  kilobyte: 'kB',
  megabyte: 'MB',
  gigabyte: 'GB',
  terabyte: 'TB',
  'byte-per-second': 'B/s',
  'kilobyte-per-second': 'kB/s',
  'megabyte-per-second': 'MB/s',
  'gigabyte-per-second': 'GB/s',
  'terabyte-per-second': 'TB/s',
  hour: 'h',
  minute: 'min',
};

export class Texts {
  constructor(lang = 'en') {
    this.lang = Object.hasOwn(LANGUAGES, lang) ? lang : 'en';
    const table = LANGUAGES[this.lang];
    this.dir = table.dir;
    this.strings = table.strings;
    this.failures = table.failures;
    this.plurals = new Intl.PluralRules(this.lang);
    this.numbers = new Intl.NumberFormat(this.lang);
  }

  /** The text `id` with `vars` filled in; a number var is formatted, `count` picks the form. */
  t(id, vars = {}) {
    let text = this.strings[id] ?? en.strings[id] ?? id;
    if (typeof text === 'object') {
      text = text[this.plurals.select(vars.count ?? 0)] ?? text.other;
    }
    return this.fill(text, vars);
  }

  fill(text, vars) {
    return text.replace(/\{(\w+)\}/g, (whole, key) => {
      if (!Object.hasOwn(vars, key)) return whole;
      const value = vars[key];
      return typeof value === 'number' ? this.numbers.format(value) : String(value);
    });
  }

  /** [title, text] for a failure table entry, or null. */
  failure(stage, key) {
    return this.failures[stage]?.[key] ?? en.failures[stage]?.[key] ?? null;
  }

  /** A whole number in the language's digits. */
  number(value) {
    return new Intl.NumberFormat(this.lang).format(value);
  }

  unit(value, unit, options = {}) {
    try {
      return new Intl.NumberFormat(this.lang, {
        style: 'unit',
        unit,
        unitDisplay: 'short',
        ...options,
      }).format(value);
    } catch {
      // An engine without this unit (older web views lack compound ones) still shows a number.
      const { minimumFractionDigits, maximumFractionDigits } = options;
      const number = new Intl.NumberFormat(this.lang, {
        minimumFractionDigits,
        maximumFractionDigits,
      }).format(value);
      return `${number} ${FALLBACK_UNITS[unit] ?? unit}`;
    }
  }

  // Steps of 1024 shown with the decimal unit names users know; one decimal below 10 so the
  // text does not jump, none above.
  scaled(bytes) {
    let value = bytes;
    let unit = 0;
    while (value >= 1000 && unit < BYTE_UNITS.length - 1) {
      value /= 1024;
      ++unit;
    }
    const digits = unit > 0 && value < 10 ? 1 : 0;
    return { value, unit: BYTE_UNITS[unit], digits };
  }

  /** 1536 -> "1.5 kB" ("1,5 kB", "١٫٥ كيلوبايت"). */
  bytes(bytes) {
    if (!Number.isFinite(bytes) || bytes < 0) return '';
    const { value, unit, digits } = this.scaled(bytes);
    return this.unit(value, unit, {
      minimumFractionDigits: digits,
      maximumFractionDigits: digits,
      unitDisplay: unit === 'byte' ? 'long' : 'short',
    });
  }

  /** Bytes per second -> "2.4 MB/s". */
  rate(bytesPerSecond) {
    if (!Number.isFinite(bytesPerSecond) || bytesPerSecond <= 0) return '';
    const { value, unit, digits } = this.scaled(bytesPerSecond);
    return this.unit(value, `${unit}-per-second`, {
      minimumFractionDigits: digits,
      maximumFractionDigits: digits,
    });
  }

  /** 0.4567 -> "45%"; never 100% before the work is really done. */
  percent(fraction) {
    if (fraction === null || fraction === undefined || !Number.isFinite(fraction)) return '';
    const whole = Math.min(99, Math.max(0, Math.floor(fraction * 100)));
    return new Intl.NumberFormat(this.lang, { style: 'percent' }).format(whole / 100);
  }

  /** Seconds -> "About 3 minutes left", rounded the way a reader expects. */
  timeLeft(seconds) {
    if (!Number.isFinite(seconds) || seconds < 0) return '';
    if (seconds < 5) return this.t('time.fewSeconds');
    if (seconds < 60) return this.t('time.seconds', { count: Math.ceil(seconds / 5) * 5 });
    const minutes = Math.round(seconds / 60);
    if (minutes < 60) return this.t('time.minutes', { count: minutes });
    const hours = this.unit(Math.floor(minutes / 60), 'hour', { unitDisplay: 'long' });
    const rest = minutes % 60;
    if (rest === 0) return this.t('time.hours', { hours });
    const restText = this.unit(rest, 'minute', { unitDisplay: 'long' });
    return this.t('time.hoursMinutes', { hours, minutes: restText });
  }

  /** A clock time the user reads in the report's confirmation. */
  time(date) {
    return new Intl.DateTimeFormat(this.lang, { timeStyle: 'short' }).format(date);
  }
}
