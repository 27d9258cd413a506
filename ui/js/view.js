// Draws screens (see screens.js) into index.html's fixed markup, and runs the confirm dialog.
// It knows nothing about the host or the installation: buttons call back with their action id.

const STEPS = ['download', 'extract', 'install'];

export class View {
  constructor(doc, { onAction, onReport }) {
    this.doc = doc;
    const $ = (id) => doc.getElementById(id);
    this.el = {
      app: doc.querySelector('.app'),
      product: $('product'),
      title: $('title'),
      text: $('text'),
      progress: $('progress'),
      bar: doc.querySelector('#progress .bar'),
      statLeft: $('stat-left'),
      statRight: $('stat-right'),
      detail: $('detail'),
      licence: $('licence'),
      report: $('report'),
      reportStatus: $('report-status'),
      buttons: $('buttons'),
      steps: [...doc.querySelectorAll('.steps li')],
      dialog: $('dialog'),
      dialogTitle: $('dialog-title'),
      dialogText: $('dialog-text'),
      dialogConfirm: $('dialog-confirm'),
      dialogCancel: $('dialog-cancel'),
    };
    this.onAction = onAction;
    this.el.report.addEventListener('click', () => onReport());
    this.lastStep = null;
    this.screenName = null;
  }

  setProduct(name) {
    this.el.product.textContent = name;
    this.doc.title = `${name} Setup`;
  }

  /** Links "Licence terms" to `url`; an empty one hides it. */
  setLicenceLink(url) {
    this.licenceUrl = url;
    if (url) this.el.licence.href = url;
    else this.el.licence.removeAttribute('href');
    this.el.licence.hidden = !url || !this.el.report.hidden;
  }

  render(screen) {
    const { el } = this;
    const changed = screen.name !== this.screenName;
    this.screenName = screen.name;
    el.app.dataset.screen = screen.name;
    el.app.dataset.tone = screen.tone;
    el.title.textContent = screen.title;
    el.text.textContent = screen.text;
    el.detail.textContent = screen.detail;
    el.statLeft.textContent = screen.stats[0];
    el.statRight.textContent = screen.stats[1];
    this.renderProgress(screen.progress);
    this.renderSteps(screen.step);
    el.report.hidden = !screen.report;
    // The footer has room for one link beside the report's status: a failure's report wins.
    el.licence.hidden = !this.licenceUrl || screen.report;
    if (changed) el.reportStatus.textContent = '';
    if (changed || this.buttonIds !== screen.actions.map((a) => a.id).join()) {
      this.renderButtons(screen.actions);
    }
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
  }

  // Steps before the current one are done; 'done' marks all three. Screens without a step keep
  // the last one, so a failure shows where it happened.
  renderSteps(step) {
    if (step) this.lastStep = step;
    const current = step === null && this.screenName === 'idle' ? null : this.lastStep;
    const index = current === 'done' ? STEPS.length : STEPS.indexOf(current);
    this.el.steps.forEach((li, i) => {
      li.classList.toggle('done', index >= 0 && i < index);
      li.classList.toggle('current', i === index);
      if (i === index) li.setAttribute('aria-current', 'step');
      else li.removeAttribute('aria-current');
    });
  }

  renderButtons(actions) {
    const { el } = this;
    const hadFocus =
      el.buttons.contains(this.doc.activeElement) || this.doc.activeElement === this.doc.body;
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
    if (hadFocus && !this.dialogOpen) {
      const target = el.buttons.querySelector('.primary') ?? el.buttons.querySelector('button');
      target?.focus();
    }
  }

  setReportState({ text, busy }) {
    this.el.reportStatus.textContent = text;
    this.el.report.disabled = Boolean(busy);
  }

  /** Shows a modal question. Resolves true for confirm, false for cancel or Escape. */
  confirm({ title, text, confirmLabel, cancelLabel }) {
    const { el } = this;
    if (this.dialogOpen) return this.dialogOpen;
    el.dialogTitle.textContent = title;
    el.dialogText.textContent = text;
    el.dialogConfirm.textContent = confirmLabel;
    el.dialogCancel.textContent = cancelLabel;
    const returnFocus = this.doc.activeElement;
    el.dialog.hidden = false;
    el.app.inert = true;
    el.dialogCancel.focus();
    this.dialogOpen = new Promise((resolve) => {
      const finish = (answer) => {
        el.dialog.hidden = true;
        el.app.inert = false;
        el.dialog.removeEventListener('keydown', onKey);
        el.dialogConfirm.onclick = null;
        el.dialogCancel.onclick = null;
        this.dialogOpen = null;
        returnFocus?.focus?.();
        resolve(answer);
      };
      const onKey = (event) => {
        if (event.key === 'Escape') {
          event.preventDefault();
          finish(false);
        } else if (event.key === 'Tab') {
          // Two buttons: Tab moves between them and never leaves the dialog.
          event.preventDefault();
          (this.doc.activeElement === el.dialogCancel ? el.dialogConfirm : el.dialogCancel).focus();
        }
      };
      el.dialog.addEventListener('keydown', onKey);
      el.dialogConfirm.onclick = () => finish(true);
      el.dialogCancel.onclick = () => finish(false);
    });
    return this.dialogOpen;
  }

  /** Closes an open dialog as if cancelled (the screen behind it changed its meaning). */
  dismissDialog() {
    if (this.dialogOpen) this.el.dialogCancel.click();
  }
}
