// The road of one installation: download, extract, run the setup, clean up.
//
// The installer owns the phase and the figures the screens show, and tells its listener after
// every change. It keeps its position in the host (doDataExchange) at each step, so a reloaded
// page picks up the request that is still running instead of starting a second one.

import { RESTART_CODES, SETUP_NEEDS_NEW_COPY } from './failures.js';
import { RateMeter } from './rate-meter.js';

/** Phases in which host work is running and closing would interrupt it. */
const BUSY = new Set(['downloading', 'extracting', 'installing', 'cancelling', 'pausing']);

/** How long a resumed step may stay silent before the page gives up on it. */
const RESUME_SILENCE_MS = 45000;

/**
 * How long a running download may go without a new byte before the page says it is waiting for
 * the server. The host reports about once a second, also while nothing arrives.
 */
const STALL_MS = 5000;

/**
 * How often the figures are kept in the host for a reloaded page to show at once. Each save is
 * a round trip to the host: not one per report.
 */
const SAVE_FIGURES_MS = 2000;

/** True when "Try again" can run the setup again from the files already extracted. */
export function canRerunSetup(state) {
  if (!state?.folder) return false;
  if (state.phase === 'cancelled') return state.by === 'setup';
  return (
    state.phase === 'failed' &&
    state.failure?.stage === 'setup' &&
    !SETUP_NEEDS_NEW_COPY.has(state.failure.code)
  );
}

/** A failure the page itself detects (stage 'page' in the failure table). */
export class PageFailure extends Error {
  constructor(code, detail = '') {
    super(detail || code);
    this.code = code;
    this.detail = detail;
  }
}

export class Installer {
  /**
   * host: the page SDK; config: from config.js; onChange(state) after every change.
   * Options: now (a clock in ms for the rate meter), resumeSilenceMs, stallMs.
   */
  constructor(
    host,
    config,
    onChange,
    { now, resumeSilenceMs = RESUME_SILENCE_MS, stallMs = STALL_MS } = {},
  ) {
    this.host = host;
    this.config = config;
    this.onChange = onChange;
    this.meter = new RateMeter(now);
    this.resumeSilenceMs = resumeSilenceMs;
    this.stallMs = stallMs;
    this.stallTimer = null;
    this.lastBytes = -1;
    this.savedStep = null;
    this.figuresSavedAt = -Infinity;
    this.cleaning = false;
    this.closing = false;
    this.state = { phase: 'idle' };
  }

  get busy() {
    return BUSY.has(this.state.phase);
  }

  /** Picks up where an earlier load of the page stopped. Returns true when there was something. */
  async restore() {
    let saved = null;
    try {
      saved = (await this.host.loadData())?.installer ?? null;
    } catch {
      saved = null;
    }
    if (!saved || typeof saved.phase !== 'string') return false;
    this.log('INFO', `Page reloaded during phase ${saved.phase}`);
    switch (saved.phase) {
      case 'downloading':
      case 'extracting':
      case 'installing':
        // The last figures show at once, not "Connecting…" until the next report.
        this.run({ ...saved, resumed: true, figures: saved.progress ?? null });
        return true;
      case 'succeeded':
      case 'failed':
      case 'cancelled':
      case 'paused':
        this.set({ ...saved });
        return true;
      default:
        return false;
    }
  }

  /**
   * Asks the host how much room is left where the product goes, for the start screen. A host
   * that cannot tell, or does not answer within `limitMs`, leaves the screen as it is.
   */
  async measureSpace(limitMs = 3000) {
    let timer = null;
    const late = new Promise((resolve) => {
      timer = setTimeout(() => resolve(null), limitMs);
    });
    let space = null;
    try {
      space = await Promise.race([this.host.getFreeSpace(), late]);
    } catch {
      space = null;
    }
    clearTimeout(timer);
    if (space && Number.isFinite(space.free) && this.state.phase === 'idle') {
      this.set({ ...this.state, space: { free: space.free, folder: String(space.folder ?? '') } });
    }
  }

  /** Starts (or starts again) from the download. */
  start() {
    if (this.busy || this.closing) return;
    this.log('INFO', `Installation of ${this.config.productName} started`);
    this.run({ phase: 'downloading' });
  }

  /**
   * "Try again" on a result screen: runs the setup again from the extracted files while they are
   * kept (a setup that failed or was cancelled by its user), else starts over from the download.
   */
  retry() {
    if (this.busy || this.closing) return;
    if (!canRerunSetup(this.state)) {
      this.start();
      return;
    }
    const { archive, folder } = this.state;
    this.log('INFO', `Running the setup again from ${folder}`);
    this.run({ phase: 'installing', archive, folder, rerun: true });
  }

  /** Asks the host to stop the running download or extraction; its answer ends the step. */
  cancel() {
    if (this.state.phase !== 'downloading' && this.state.phase !== 'extracting') return;
    this.stop(null, 'cancelling', 'Cancel requested by the user');
  }

  /**
   * Stops the running download as a cancel does: the host keeps what it can of the bytes, and
   * resume() asks for the download again, which continues from them.
   */
  pause() {
    if (this.state.phase !== 'downloading') return;
    this.stop('pause', 'pausing', 'Pause requested by the user');
  }

  /** "Resume" on a paused download. */
  resume() {
    if (this.state.phase !== 'paused') return;
    this.log('INFO', 'Download resumed by the user');
    this.run({ phase: 'downloading' });
  }

  /**
   * "Try now" while the download waits to try again: the wait is cut short by stopping the
   * download and asking for it again at once, from the bytes the host kept.
   */
  tryNow() {
    if (this.state.phase !== 'downloading' || !this.state.progress?.retry) return;
    clearInterval(this.countdownTimer);
    this.stop('again', 'downloading', 'Trying again now, as the user asked');
    this.set({ ...this.state, progress: { ...this.state.progress, retry: { now: true } } });
  }

  stop(reason, phase, line) {
    this.cancelRequested = true;
    this.stopReason = reason;
    const step = this.state.phase === 'downloading' ? 'download' : 'extract';
    this.set({ ...this.state, phase, step });
    this.log('INFO', line);
    this.host.cancel().catch(() => {});
  }

  /** The window is about to close: no more screens or steps. */
  beginClosing() {
    this.closing = true;
    this.set({ ...this.state, phase: 'closing' });
  }

  async run(from) {
    this.cancelRequested = false;
    this.stopReason = null;
    let { archive, folder } = from;
    try {
      if (from.phase === 'downloading') {
        const result = await this.step(
          'downloading',
          from.resumed ? from.cbid : null,
          (onProgress) => this.host.download(this.config.archive, onProgress),
          {},
          from.figures,
        );
        archive = result.des;
        this.log('INFO', `Download finished: ${archive}`);
      }
      if (from.phase !== 'installing') {
        const resumeId = from.phase === 'extracting' && from.resumed ? from.cbid : null;
        folder = await this.step(
          'extracting',
          resumeId,
          (onProgress) => this.host.unzip(archive, onProgress),
          { archive },
          resumeId ? from.figures : null,
        );
        this.log('INFO', `Files prepared in ${folder}`);
      }
      const resumeId = from.phase === 'installing' && from.resumed ? from.cbid : null;
      const exitCode = await this.step(
        'installing',
        resumeId,
        () => this.host.launchSetup({ unzipdir: folder, launcherName: this.config.launcherName }),
        { archive, folder },
      );
      if (from.rerun && exitCode === 404) {
        // The extracted files went meanwhile (removed by the user or the system): start over.
        this.log('INFO', 'The extracted files are gone; downloading again');
        this.run({ phase: 'downloading' });
        return;
      }
      this.finishSetup(exitCode, { archive, folder });
    } catch (error) {
      this.fail(error);
    }
  }

  // Runs or resumes one step: shows its phase, keeps the callback id in the host, reports progress.
  async step(phase, resumeId, begin, saved = {}, figures = null) {
    if (this.closing) throw new PageFailure('closing');
    if (this.cancelRequested) throw cancelledError();
    this.meter.reset();
    this.lastBytes = -1;
    this.set({ phase, progress: figures, ...saved });
    const onProgress = (progress) => this.progress(phase, progress);
    const request = resumeId
      ? this.host.resume(kindOf(phase), resumeId, onProgress)
      : begin(onProgress);
    this.savedStep = { phase, cbid: request.callbackId, ...saved };
    this.figuresSavedAt = -Infinity;
    this.save(this.savedStep);
    let result;
    try {
      result = await (resumeId && phase !== 'installing' ? this.watch(request) : request);
    } finally {
      clearTimeout(this.stallTimer);
    }
    // A download that ended whole while a pause or a new try was asked for has nothing left to
    // pause or try: it goes on. Only a cancel stops what finished.
    if (this.cancelRequested && this.stopReason) {
      this.cancelRequested = false;
      this.stopReason = null;
    }
    if (this.cancelRequested) throw cancelledError();
    return result;
  }

  // A resumed request whose answers went to the old page may never speak again.
  watch(request) {
    return new Promise((resolve, reject) => {
      let timer;
      const arm = () => {
        clearTimeout(timer);
        timer = setTimeout(() => reject(new PageFailure('lost')), this.resumeSilenceMs);
      };
      this.onSilenceBroken = arm;
      arm();
      request.then(resolve, reject).finally(() => {
        clearTimeout(timer);
        this.onSilenceBroken = null;
      });
    });
  }

  progress(phase, progress) {
    this.onSilenceBroken?.();
    if (this.state.phase !== phase) return; // cancelling or closing: keep that screen
    if (this.stopReason === 'again') return; // the next request's figures are the ones to show
    if (phase === 'downloading') {
      const before = this.state.progress;
      // The transfer waits to try again: say what for and when, until bytes flow again.
      if (progress.retry) {
        this.meter.reset();
        this.set({
          ...this.state,
          progress: {
            ...(before ?? progress),
            bytesPerSecond: null,
            secondsLeft: null,
            stalled: true,
            retry: { ...progress.retry, secondsLeft: progress.retry.inSeconds },
          },
        });
        this.countDown(performance.now() + progress.retry.inSeconds * 1000);
        return;
      }
      // Reports keep coming while the server sends nothing: only new bytes count as progress.
      if (progress.done === this.lastBytes && before) {
        this.meter.still(progress.done);
        return;
      }
      this.lastBytes = progress.done;
      this.armStall();
      const rate = this.meter.sample(progress.done, progress.total);
      // After a stall the screen reader hears that bytes flow again (once, until a milestone).
      const resumedAt = before?.stalled ? milestoneOf(progress.fraction) : before?.resumedAt;
      this.set({ ...this.state, progress: { ...progress, ...rate, stalled: false, resumedAt } });
      this.saveFigures(progress);
      return;
    }
    // A report about a refused entry carries the host's reason, not an entry name: the line
    // keeps the last entry written.
    const entry = progress.result === 0 ? progress.message : (this.state.progress?.message ?? '');
    this.set({ ...this.state, progress: { ...progress, message: entry } });
    this.saveFigures({ ...progress, message: entry });
  }

  // The wait before the next attempt counts down on the screen until the host reports again
  // (a new wait, or bytes, which end it).
  countDown(endsAt) {
    clearInterval(this.countdownTimer);
    this.countdownTimer = setInterval(() => {
      const p = this.state.progress;
      if (this.state.phase !== 'downloading' || !p?.retry) {
        clearInterval(this.countdownTimer);
        return;
      }
      const left = Math.max(0, Math.ceil((endsAt - performance.now()) / 1000));
      if (left !== p.retry.secondsLeft) {
        this.set({ ...this.state, progress: { ...p, retry: { ...p.retry, secondsLeft: left } } });
      }
      if (left === 0) clearInterval(this.countdownTimer);
    }, 250);
  }

  // The figures a reloaded page shows until the next report: now and then, not per report.
  saveFigures(progress) {
    const now = performance.now();
    if (!this.savedStep || now - this.figuresSavedAt < SAVE_FIGURES_MS) return;
    this.figuresSavedAt = now;
    this.save({ ...this.savedStep, progress: figuresOf(progress) });
  }

  // A silent download says so, and its speed starts again from fresh samples: figures measured
  // across the silence would first freeze, then swing wildly when bytes flow again.
  armStall() {
    clearTimeout(this.stallTimer);
    this.stallTimer = setTimeout(() => {
      if (this.state.phase !== 'downloading' || !this.state.progress) return;
      this.meter.reset();
      this.log('INFO', `No download progress for ${this.stallMs} ms; waiting for the server`);
      this.set({
        ...this.state,
        progress: {
          ...this.state.progress,
          bytesPerSecond: null,
          secondsLeft: null,
          stalled: true,
        },
      });
    }, this.stallMs);
  }

  // The extracted files stay while a run of the setup from them may be wanted again.
  finishSetup(exitCode, kept) {
    this.log('INFO', `Setup exited with code ${exitCode}`);
    if (exitCode === 0 || RESTART_CODES.has(exitCode)) {
      // 1641: the setup has already started the restart; only 3010 leaves it to the user.
      const restartOffer = exitCode === 3010;
      this.end({ phase: 'succeeded', exitCode, restartNeeded: exitCode !== 0, restartOffer });
      this.findProduct();
    } else if (exitCode === 1602) {
      this.end({ phase: 'cancelled', exitCode, by: 'setup', ...kept });
    } else {
      this.end({
        phase: 'failed',
        failure: { stage: 'setup', code: exitCode, hostMessage: '' },
        ...kept,
      });
    }
  }

  /** Asks the host where the product went, when the configuration says where to look. */
  async findProduct() {
    const { productFolder: folder, productProgram: program } = this.config;
    if (!folder) return;
    try {
      const product = await this.host.findProduct({ folder, program });
      this.log('INFO', `Product found in ${product.folder}`);
      this.update({ product: { folder: product.folder, program: product.program ?? '' } });
    } catch (error) {
      this.log('WARN', `The installed product was not found: ${error?.hostMessage ?? error}`);
    }
  }

  /** "Open": starts the installed product through the host. Resolves true once it started. */
  async open() {
    const product = this.state.product;
    if (this.state.phase !== 'succeeded' || !product?.program) return false;
    const { productFolder: folder, productProgram: program } = this.config;
    try {
      await this.host.openProduct({ folder, program });
      this.log('INFO', `Started ${product.program}`);
      this.update({ opened: { ok: true } });
      return true;
    } catch (error) {
      this.log('ERROR', `The product could not be started: ${error?.hostMessage ?? error}`);
      this.update({ opened: { ok: false, code: error?.code, hostMessage: error?.hostMessage } });
      return false;
    }
  }

  /** "Restart now" of a setup that needs a restart: the host asks the system. */
  async restart() {
    if (this.state.phase !== 'succeeded' || !this.state.restartOffer) return;
    if (this.state.restart === 'asking') return;
    this.log('INFO', 'Restart requested by the user');
    this.update({ restart: 'asking' }, false);
    try {
      // The host refuses to restart while the working folders are being removed.
      await this.cleanedUp;
      await this.host.restartSystem();
      this.update({ restart: 'accepted' }, false);
    } catch (error) {
      this.log('ERROR', `The computer could not be restarted: ${error?.hostMessage ?? error}`);
      this.update({
        restartOffer: false,
        restart: 'failed',
        restartFailure: { code: error?.code, hostMessage: error?.hostMessage },
      });
    }
  }

  /** "Later": the offer closes; the screen still says a restart is needed. */
  later() {
    if (this.state.phase !== 'succeeded' || this.state.restart === 'asking') return;
    this.update({ restartOffer: false, restart: undefined });
  }

  // Changes the result screen, and keeps it for a reloaded page unless `keep` is false (a
  // request under way would look stuck after a reload).
  update(changes, keep = true) {
    if (this.closing || this.state.phase !== 'succeeded') return;
    const state = { ...this.state, ...changes };
    this.set(state);
    if (keep) this.save(state);
  }

  fail(error) {
    if (this.closing) return;
    // What the host kept of a stopped download, for the next one to continue from.
    const kept = { kept: error?.kept ?? 0, total: this.state.progress?.total ?? null };
    if (error?.cancelled) {
      if (this.stopReason === 'again') {
        this.run({ phase: 'downloading' });
      } else if (this.stopReason === 'pause') {
        this.log('INFO', `Download paused; ${kept.kept} bytes kept`);
        this.set({ phase: 'paused', ...kept });
        this.save(this.state);
      } else {
        this.log('INFO', 'Installation cancelled');
        this.end({ phase: 'cancelled', by: 'user', ...kept });
      }
      return;
    }
    const failure =
      error instanceof PageFailure
        ? { stage: 'page', code: error.code, hostMessage: error.detail }
        : {
            stage: stageOf(error?.action),
            code: error?.code ?? 0,
            hostMessage: error?.hostMessage ?? String(error),
          };
    // Where the work was, so a message about disk space can name the disk.
    if (failure.stage === 'unzip' && this.state.archive) failure.archive = this.state.archive;
    this.log(
      'ERROR',
      `${failure.stage} failed with result ${failure.code}${failure.hostMessage ? `: ${failure.hostMessage}` : ''}`,
    );
    this.end({ phase: 'failed', failure, ...kept });
  }

  end(state) {
    if (this.closing) return;
    this.set(state);
    this.save(state);
    if (!canRerunSetup(state)) this.cleanUp();
  }

  // The working folders go as soon as nothing needs them. The host drops a second clean-up while
  // one runs, without an answer, so only one is ever asked for at a time.
  cleanUp() {
    if (this.cleaning) return;
    this.cleaning = true;
    this.cleanedUp = this.host
      .cleanUp()
      .then(
        (removed) => this.log('DEBUG', `Removed working folders: ${removed.join(', ')}`),
        () => {},
      )
      .finally(() => {
        this.cleaning = false;
      });
  }

  set(state) {
    this.state = state;
    this.onChange(state);
  }

  save(installer) {
    this.host.storeData({ installer }).catch(() => {});
  }

  log(level, message) {
    this.host.log(level, message).catch(() => {});
  }
}

/** The figures worth keeping across a reload: counts, fraction and the entry being written. */
function figuresOf(progress) {
  const { done, total, fraction, message } = progress;
  return { done, total, fraction, ...(message === undefined ? {} : { message }) };
}

/** The last coarse mark (a quarter) that `fraction` has passed, 0 before the first. */
export function milestoneOf(fraction) {
  return [0.25, 0.5, 0.75].filter((m) => (fraction ?? 0) >= m).pop() ?? 0;
}

function kindOf(phase) {
  return { downloading: 'download', extracting: 'unzip', installing: 'setup' }[phase];
}

function stageOf(action) {
  return { doDownload: 'download', doUnZip: 'unzip', doLaunchSetup: 'setup' }[action] ?? 'page';
}

function cancelledError() {
  return { cancelled: true };
}
