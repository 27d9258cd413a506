// Draws screens (see screens.js) into index.html's fixed markup, speaks what matters through one
// polite status region, and runs the two modal dialogs (the close question and the report's
// consent). It knows nothing about the host or the installation: buttons call back with their
// action id.
//
// Focus is never left on nothing: a new screen puts it on its main choice, or on its title when
// it has no buttons or its only button would stop the work, and a dialog that closes returns it
// to where it was if that still exists.

const STEPS = ['download', 'extract', 'install'];
const FOCUSABLE = 'button:not([hidden]), [href], pre[tabindex]:not([hidden])';
const TAB_STOPS = 'button, a[href], [tabindex]';

/** Parts read as one announcement: each ends with its own stop, or gets one. */
function sentences(parts) {
  return parts
    .filter(Boolean)
    .map((part) => (/[.…!?:؟]$/.test(part) ? part : `${part}.`))
    .join(' ');
}

export class View {
  /** `onAnnounce(text)`, optional, hears each announcement the screen reader is given. */
  constructor(doc, { onAction, onReport, onAnnounce = () => {} }) {
    this.doc = doc;
    const $ = (id) => doc.getElementById(id);
    this.el = {
      app: doc.querySelector('.app'),
      product: $('product'),
      steps: $('steps'),
      stepItems: [...doc.querySelectorAll('.steps li')],
      status: $('status'),
      title: $('title'),
      text: $('text'),
      note: $('note'),
      copy: $('copy-details'),
      copyStatus: $('copy-status'),
      progress: $('progress'),
      bar: doc.querySelector('#progress .bar'),
      statLeft: $('stat-left'),
      statRight: $('stat-right'),
      detail: $('detail'),
      detailsToggle: $('details-toggle'),
      links: $('links'),
      announcer: $('announcer'),
      licence: $('licence'),
      report: $('report'),
      reportStatus: $('report-status'),
      buttons: $('buttons'),
      dialog: $('dialog'),
      dialogTitle: $('dialog-title'),
      dialogText: $('dialog-text'),
      dialogConfirm: $('dialog-confirm'),
      dialogCancel: $('dialog-cancel'),
      consent: $('consent'),
      consentItems: $('consent-items'),
      consentShow: $('consent-show'),
      consentPreview: $('consent-preview'),
      consentSend: $('consent-send'),
      consentCancel: $('consent-cancel'),
    };
    this.onAction = onAction;
    this.onAnnounce = onAnnounce;
    this.el.report.addEventListener('click', () => onReport());
    this.el.detailsToggle.addEventListener('click', () =>
      this.showDetail(this.el.detailsToggle.getAttribute('aria-expanded') !== 'true'),
    );
    this.el.consentShow.addEventListener('click', () => {
      const open = this.el.consentPreview.hidden;
      this.el.consentPreview.hidden = !open;
      this.el.consentItems.hidden = open;
      this.el.consentShow.setAttribute('aria-expanded', String(open));
    });
    this.el.copy.addEventListener('click', () => this.copyDetails());
    // The browser shows a focus ring wherever a script moves focus after a ring was once shown
    // (the page focuses Install on load): the title tells by the last input instead.
    for (const [type, input] of [['pointerdown', 'pointer'], ['keydown', 'keyboard']]) {
      doc.addEventListener(type, () => (doc.documentElement.dataset.input = input), true);
    }
    // A status that no longer fits (larger text, a smaller window) must scroll from the keyboard.
    const sizes = new ResizeObserver(() => this.updateScrolling());
    for (const box of [this.el.status, ...this.el.status.children]) sizes.observe(box);
    this.el.status.addEventListener('scroll', () => this.updateScrolling(), { passive: true });
    // A click on nothing focusable (a dialog's backdrop, the page's background, a button that
    // went away under a second click) would leave focus on nothing, and Escape and Enter dead.
    doc.addEventListener('focusout', () => setTimeout(() => this.refocus()));
    // The page is the window's only content: Tab past its last control comes back to its first,
    // instead of stopping once a round on the web view itself, where nothing has focus.
    doc.addEventListener('keydown', (event) => {
      if (event.key === 'Tab' && !this.modal && !event.defaultPrevented) this.cycle(event);
    });
    doc.addEventListener('pointerup', () => setTimeout(() => this.refocus()));
    this.lastStep = null;
    this.screenName = null;
    this.restOnTitle = false;
    this.milestone = '';
    this.modal = null;
  }

  /** Puts the page into the language of `texts`: lang, dir and every fixed text. */
  setTexts(texts) {
    this.texts = texts;
    const root = this.doc.documentElement;
    root.lang = texts.lang;
    root.dir = texts.dir;
    for (const node of this.doc.querySelectorAll('[data-t]'))
      node.textContent = texts.t(node.dataset.t);
    for (const node of this.doc.querySelectorAll('[data-t-label]')) {
      node.setAttribute('aria-label', texts.t(node.dataset.tLabel));
    }
    this.doc.title = texts.t('brand.fallback');
  }

  setProduct(name) {
    this.el.product.textContent = name;
    this.doc.title = this.texts.t('doc.title', { product: name });
  }

  /** Links "Licence terms" to `url`; an empty one hides it. */
  setLicenceLink(url) {
    this.licenceUrl = url;
    if (url) this.el.licence.href = url;
    else this.el.licence.removeAttribute('href');
    this.el.licence.hidden = !url;
  }

  render(screen) {
    const { el } = this;
    const changed = screen.name !== this.screenName;
    const wasDone = this.doneSteps();
    this.screenName = screen.name;
    el.app.dataset.screen = screen.name;
    if (changed) el.status.classList.remove('crowded');
    el.app.dataset.tone = screen.tone;
    el.title.textContent = screen.title;
    el.text.textContent = screen.text;
    el.note.textContent = screen.note;
    this.restOnTitle = screen.restOnTitle;
    this.renderStats(screen);
    this.renderProgress(screen.progress);
    el.steps.hidden = !screen.steps;
    this.renderSteps(screen.step, screen.tone);
    el.detail.textContent = screen.detail;
    el.detailsToggle.hidden = !screen.detailHidden || !screen.detail;
    el.copy.hidden = !screen.copy;
    if (changed) {
      this.showDetail(false);
      el.copyStatus.textContent = '';
    } else if (!screen.detailHidden) el.detail.hidden = false;
    if (changed || this.linksKey !== JSON.stringify(screen.links)) this.renderLinks(screen.links);
    el.report.hidden = !screen.report;
    if (changed) this.setReportState({ text: '', busy: false });
    if (changed || this.buttonIds !== screen.actions.map((a) => a.id).join()) {
      this.renderButtons(screen.actions);
    }
    this.speak(screen, changed, wasDone);
    this.keepFocus();
    this.updateScrolling();
  }

  updateScrolling() {
    const { status } = this.el;
    // The message wins the room: a status that does not fit drops its decorative icon first,
    // and keeps it dropped until the screen changes (the icon's return would crowd it again).
    if (status.scrollHeight > status.clientHeight + 1) status.classList.add('crowded');
    if (status.scrollHeight > status.clientHeight + 1) status.tabIndex = 0;
    else status.removeAttribute('tabindex');
    status.classList.toggle(
      'more',
      status.scrollTop + status.clientHeight < status.scrollHeight - 1,
    );
  }

  cycle(event) {
    const stops = [...this.doc.querySelectorAll(TAB_STOPS)].filter(
      (el) => el.tabIndex >= 0 && !el.disabled && el.checkVisibility() && !el.closest('[inert]'),
    );
    if (stops.length === 0) return;
    const [first, last] = [stops[0], stops[stops.length - 1]];
    const active = this.doc.activeElement;
    const to = event.shiftKey ? (active === first ? last : null) : active === last ? first : null;
    if (!to) return;
    event.preventDefault();
    to.focus();
  }

  // Focus that fell onto nothing goes back into the open dialog, or to the screen.
  refocus() {
    const active = this.doc.activeElement;
    if (active && active !== this.doc.body) return;
    if (this.modal) {
      const { lastFocus, cancel } = this.modal;
      (lastFocus?.isConnected ? lastFocus : cancel).focus();
    } else this.keepFocus();
  }

  /** What went wrong, as the user sees it and support needs it, to paste into a message. */
  async copyDetails() {
    const { el } = this;
    const text = [el.title, el.text, el.detail, el.reportStatus]
      .map((node) => node.textContent.trim())
      .filter(Boolean)
      .join('\n');
    let copied = false;
    try {
      await navigator.clipboard.writeText(text);
      copied = true;
    } catch {
      copied = this.copyBySelection(text);
    }
    el.copyStatus.textContent = this.texts.t(copied ? 'failure.copied' : 'failure.notCopied');
  }

  // Where the clipboard API is refused, the older copy of a selection still works.
  copyBySelection(text) {
    const area = this.doc.createElement('textarea');
    area.value = text;
    area.setAttribute('readonly', '');
    area.className = 'sr-only';
    this.doc.body.append(area);
    area.select();
    const done = this.doc.execCommand('copy');
    area.remove();
    this.el.copy.focus();
    return done;
  }

  // One announcement per new screen (with the steps it finished), and one per milestone.
  speak(screen, changed, wasDone) {
    if (changed) {
      const finished = this.doneSteps()
        .filter((step) => !wasDone.includes(step))
        .map((step) => `${this.stepLabel(step)} ${this.texts.t('step.done')}`);
      const body = ['idle', 'loading'].includes(screen.name) ? [] : [screen.text];
      this.announce(sentences([...finished, screen.title, ...body]));
      this.milestone = screen.milestone;
    } else if (screen.milestone && screen.milestone !== this.milestone) {
      this.milestone = screen.milestone;
      this.announce(screen.milestone);
    }
  }

  announce(text) {
    if (!text) return;
    this.el.announcer.textContent = text;
    this.onAnnounce(text);
  }

  stepLabel(step) {
    return this.texts.t(`step.${step}`);
  }

  doneSteps() {
    return this.el.stepItems
      .filter((li) => li.classList.contains('done'))
      .map((li) => li.dataset.step);
  }

  showDetail(open) {
    const { el } = this;
    el.detailsToggle.setAttribute('aria-expanded', String(open));
    el.detail.hidden = !open && !el.detailsToggle.hidden;
    this.updateScrolling();
  }

  // An entry path keeps its file name whole: the folders before it give way first.
  renderStats(screen) {
    const { el } = this;
    const left = screen.stats[0];
    const cut = screen.statsPath ? Math.max(left.lastIndexOf('/'), left.lastIndexOf('\\')) + 1 : 0;
    el.statLeft.classList.toggle('path', cut > 0);
    if (cut > 0) {
      const folders = this.doc.createElement('span');
      folders.className = 'path-folders';
      folders.textContent = left.slice(0, cut);
      const name = this.doc.createElement('span');
      name.className = 'path-name';
      name.textContent = left.slice(cut);
      el.statLeft.replaceChildren(folders, name);
    } else {
      el.statLeft.textContent = left;
    }
    el.statRight.textContent = screen.stats[1];
  }

  renderProgress(progress) {
    const { el } = this;
    el.progress.hidden = !progress;
    if (!progress) return;
    const known = progress.fraction !== null && progress.fraction !== undefined;
    el.progress.classList.toggle('indeterminate', !known);
    if (known) {
      const percent = Math.round(progress.fraction * 1000) / 10;
      el.bar.style.width = `${percent}%`;
      el.progress.setAttribute('aria-valuenow', String(Math.floor(percent)));
    } else {
      el.bar.style.width = '';
      el.progress.removeAttribute('aria-valuenow');
    }
    if (progress.valueText) el.progress.setAttribute('aria-valuetext', progress.valueText);
    else el.progress.removeAttribute('aria-valuetext');
  }

  // Steps before the current one are done; 'done' marks all three. Screens without a step keep
  // the last one, so a failure shows where it happened. Each step says its state in words too,
  // and a failed or stopped one shows those words, not only its colour.
  renderSteps(step, tone) {
    if (step) this.lastStep = step;
    const current = step === null && this.screenName === 'idle' ? null : this.lastStep;
    const index = current === 'done' ? STEPS.length : STEPS.indexOf(current);
    this.el.stepItems.forEach((li, i) => {
      const done = index >= 0 && i < index;
      li.classList.toggle('done', done);
      li.classList.toggle('current', i === index);
      if (i === index) li.setAttribute('aria-current', 'step');
      else li.removeAttribute('aria-current');
      const ended = { error: 'step.failed', warn: 'step.stopped' }[tone];
      const current = ended ?? 'step.current';
      const state = done ? 'step.done' : i === index ? current : null;
      const label = li.querySelector('.step-state');
      label.textContent = state ? this.texts.t(state) : '';
      label.classList.toggle('shown', i === index && Boolean(ended));
    });
  }

  renderLinks(links) {
    this.linksKey = JSON.stringify(links);
    this.el.links.replaceChildren(
      ...links.map(({ label, href }) => {
        const a = this.doc.createElement('a');
        a.className = 'link';
        a.href = href;
        a.target = '_blank';
        a.rel = 'noopener noreferrer';
        a.textContent = label;
        return a;
      }),
    );
  }

  renderButtons(actions) {
    const { el } = this;
    const active = this.doc.activeElement;
    const hadFocus = el.buttons.contains(active) || active === this.doc.body || active === el.title;
    el.buttons.replaceChildren(
      ...actions.map((action) => {
        const button = this.doc.createElement('button');
        button.type = 'button';
        button.id = `action-${action.id}`;
        button.textContent = action.label;
        if (action.primary) button.classList.add('primary');
        button.addEventListener('click', () => this.onAction(action.id));
        return button;
      }),
    );
    this.buttonIds = actions.map((a) => a.id).join();
    // Keyboard users land on the main choice of each new screen.
    if (hadFocus && !this.modal) this.focusMain();
  }

  focusMain() {
    const { el } = this;
    const target = this.restOnTitle
      ? el.title
      : (el.buttons.querySelector('.primary') ?? el.buttons.querySelector('button') ?? el.title);
    target.focus();
  }

  // Focus on something that went away (a hidden control, a replaced button) moves to the screen.
  keepFocus() {
    if (this.modal) return;
    const active = this.doc.activeElement;
    if (
      !active ||
      active === this.doc.body ||
      active.disabled ||
      !active.isConnected ||
      active.closest('[hidden]')
    ) {
      this.focusMain();
    }
  }

  setReportState({ text, busy }) {
    this.el.reportStatus.textContent = text;
    this.el.report.disabled = Boolean(busy);
    this.updateScrolling();
  }

  /** Shows a modal question. Resolves true for confirm, false for cancel or Escape. */
  confirm({ title, text, confirmLabel, cancelLabel }) {
    const { el } = this;
    if (this.modal) return this.modal.answer;
    el.dialogTitle.textContent = title;
    el.dialogText.textContent = text;
    el.dialogConfirm.textContent = confirmLabel;
    el.dialogCancel.textContent = cancelLabel;
    return this.openModal('close', el.dialog, el.dialogConfirm, el.dialogCancel);
  }

  /** Shows what a report holds (`items`, and `preview` on demand). Resolves true to send it. */
  consent({ items, preview }) {
    const { el } = this;
    if (this.modal) return this.modal.answer;
    el.consentItems.replaceChildren(
      ...items.map((item) => {
        const li = this.doc.createElement('li');
        li.textContent = item;
        return li;
      }),
    );
    el.consentItems.hidden = false;
    el.consentPreview.textContent = preview;
    el.consentPreview.hidden = true;
    el.consentShow.setAttribute('aria-expanded', 'false');
    return this.openModal('consent', el.consent, el.consentSend, el.consentCancel, el.report);
  }

  openModal(kind, backdrop, confirm, cancel, returnFocus = this.doc.activeElement) {
    const { el } = this;
    backdrop.hidden = false;
    el.app.inert = true;
    cancel.focus();
    const screenAtOpen = this.screenName;
    const answer = new Promise((resolve) => {
      const finish = (result) => {
        backdrop.hidden = true;
        el.app.inert = false;
        backdrop.removeEventListener('keydown', onKey);
        this.modalCleanup?.();
        confirm.onclick = null;
        cancel.onclick = null;
        this.modal = null;
        // A screen that changed meanwhile gets its own focus, as any new screen does.
        const stays = returnFocus?.isConnected && !returnFocus.closest('[hidden]');
        if (stays && this.screenName === screenAtOpen) returnFocus.focus();
        else this.focusMain();
        resolve(result);
      };
      const onKey = (event) => {
        if (event.key === 'Escape') {
          event.preventDefault();
          finish(false);
        } else if (event.key === 'Tab') {
          // Focus cycles through the dialog's controls and never leaves it.
          event.preventDefault();
          const stops = [...backdrop.querySelectorAll(FOCUSABLE)];
          const at = stops.indexOf(this.doc.activeElement);
          const step = event.shiftKey ? -1 : 1;
          stops[(at + step + stops.length) % stops.length].focus();
        }
      };
      backdrop.addEventListener('keydown', onKey);
      const onFocus = (event) => {
        if (this.modal) this.modal.lastFocus = event.target;
      };
      backdrop.addEventListener('focusin', onFocus);
      this.modalCleanup = () => backdrop.removeEventListener('focusin', onFocus);
      confirm.onclick = () => finish(true);
      cancel.onclick = () => finish(false);
    });
    this.modal = { kind, answer, cancel, lastFocus: cancel };
    return answer;
  }

  /** Closes an open close question as if cancelled (the work it was about has ended). */
  dismissCloseQuestion() {
    if (this.modal?.kind === 'close') this.modal.cancel.click();
  }
}
