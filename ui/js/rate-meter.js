// Transfer speed and time left from a stream of byte counts.
//
// Speed is measured over a sliding window of recent samples rather than since the start, so it
// follows a connection that speeds up or stalls. The window is long (20 s) because real
// connections come in bursts: over a few seconds a steady 2 MB/s looks like 1 and 3 in turn.
//
// The time left counts down with the clock and follows the measured figure only when the two
// disagree by more than a fifth for a few seconds on end: the text then moves a minute at a
// time while the rate merely wobbles, and still jumps when the rate really changes.

const WINDOW_MS = 20000;
const TOLERANCE = 0.2;
const TOLERANCE_FLOOR_S = 10;
const DISAGREE_MS = 3000;

export class RateMeter {
  constructor(now = () => performance.now()) {
    this.now = now;
    this.reset();
  }

  reset() {
    this.samples = [];
    this.secondsLeft = null;
    this.estimatedAt = 0;
    this.disagreeSince = null;
  }

  /**
   * A report of `done` with no new bytes. Until bytes first move, the speed is measured from
   * now: the time spent connecting, or waiting for the answer, is no part of the transfer, and
   * counting it makes the first estimates far too long.
   */
  still(done) {
    const [first] = this.samples;
    if (this.samples.length === 1 && first.done === done) first.time = this.now();
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
      this.estimate(Math.max(0, total - done) / bytesPerSecond, time);
    }
    return { bytesPerSecond, secondsLeft: total ? this.secondsLeft : null };
  }

  estimate(measured, time) {
    if (this.secondsLeft === null) {
      this.secondsLeft = measured;
      this.estimatedAt = time;
      return;
    }
    const counted = Math.max(0, this.secondsLeft - (time - this.estimatedAt) / 1000);
    this.estimatedAt = time;
    const apart = Math.abs(measured - counted) > Math.max(TOLERANCE * counted, TOLERANCE_FLOOR_S);
    if (!apart) this.disagreeSince = null;
    else this.disagreeSince ??= time;
    const settled = this.disagreeSince !== null && time - this.disagreeSince >= DISAGREE_MS;
    // Near the end the count may run out before the bytes do: then the measure decides.
    if (settled || counted === 0) {
      this.secondsLeft = measured;
      this.disagreeSince = null;
    } else {
      this.secondsLeft = counted;
    }
  }
}
