// Transfer speed and time left from a stream of byte counts.
//
// Speed is measured over a sliding window of recent samples rather than since the start, so it
// follows a connection that speeds up or stalls; the estimate of time left is smoothed so the
// text does not flicker with every report.

const WINDOW_MS = 5000;
const SMOOTHING = 0.3;

export class RateMeter {
  constructor(now = () => performance.now()) {
    this.now = now;
    this.reset();
  }

  reset() {
    this.samples = [];
    this.secondsLeft = null;
  }

  /** Records `done` of `total` (total may be null) and returns {bytesPerSecond, secondsLeft}. */
  sample(done, total) {
    const time = this.now();
    const last = this.samples[this.samples.length - 1];
    if (last && done < last.done) this.reset(); // the transfer started over
    this.samples.push({ time, done });
    while (this.samples.length > 2 && time - this.samples[0].time > WINDOW_MS) this.samples.shift();

    const first = this.samples[0];
    const elapsed = (time - first.time) / 1000;
    const bytesPerSecond = elapsed >= 0.5 ? (done - first.done) / elapsed : null;
    if (bytesPerSecond && total) {
      const raw = Math.max(0, total - done) / bytesPerSecond;
      this.secondsLeft =
        this.secondsLeft === null ? raw : this.secondsLeft + SMOOTHING * (raw - this.secondsLeft);
    }
    return { bytesPerSecond, secondsLeft: total ? this.secondsLeft : null };
  }
}
