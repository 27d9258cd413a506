// Human text for sizes, rates and durations, as the installer shows them.

const UNITS = ['bytes', 'KB', 'MB', 'GB', 'TB'];

/** 1536 -> "1.5 KB"; whole numbers below 10 keep one decimal so the text does not jump. */
export function formatBytes(bytes) {
  if (!Number.isFinite(bytes) || bytes < 0) return '';
  let value = bytes;
  let unit = 0;
  while (value >= 1000 && unit < UNITS.length - 1) {
    value /= 1024;
    ++unit;
  }
  if (unit === 0) return `${Math.round(value)} ${value === 1 ? 'byte' : 'bytes'}`;
  const digits = value < 10 ? 1 : 0;
  return `${value.toFixed(digits)} ${UNITS[unit]}`;
}

/** Bytes per second -> "2.4 MB/s". */
export function formatRate(bytesPerSecond) {
  if (!Number.isFinite(bytesPerSecond) || bytesPerSecond <= 0) return '';
  return `${formatBytes(bytesPerSecond)}/s`;
}

/** Seconds -> "About 3 minutes left", rounded the way a reader expects. */
export function formatTimeLeft(seconds) {
  if (!Number.isFinite(seconds) || seconds < 0) return '';
  if (seconds < 5) return 'A few seconds left';
  if (seconds < 60) return `${Math.ceil(seconds / 5) * 5} seconds left`;
  const minutes = Math.round(seconds / 60);
  if (minutes < 60) return minutes === 1 ? 'About 1 minute left' : `About ${minutes} minutes left`;
  const hours = Math.floor(minutes / 60);
  const rest = minutes % 60;
  return rest === 0 ? `About ${hours} h left` : `About ${hours} h ${rest} min left`;
}

/** 0.4567 -> "45%"; never shows 100% before the work is really done. */
export function formatPercent(fraction) {
  if (fraction === null || !Number.isFinite(fraction)) return '';
  return `${Math.min(99, Math.floor(fraction * 100))}%`;
}
