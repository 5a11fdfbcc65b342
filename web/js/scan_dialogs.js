// The scan documents' dialogs: the basket to send pictures to, the progress of a send (the batch
// dispatch: one line per picture handed over, cancellable) and a large picture on its own.
import { el } from './format.js';

function dialog(title, body, buttons, cls) {
  const d = el('dialog', { class: `dlg ${cls}` },
    el('form', { method: 'dialog' }, el('h2', { class: 'dlg-title', text: title }), body,
      el('div', { class: 'dlg-buttons' }, ...buttons)));
  document.body.append(d);
  d.addEventListener('close', () => d.remove());
  d.showModal();
  return d;
}

// Asks which basket the pictures go to; resolves to the basket's id, or null when cancelled.
export function chooseBasket(count, baskets, lastId) {
  return new Promise((resolve) => {
    const select = el('select', { name: 'basket' },
      ...baskets.map((b) => el('option', { value: String(b.id), text: `${b.name} — ${b.folder}` })));
    if (baskets.some((b) => b.id === lastId)) select.value = String(lastId);
    const body = el('div', { class: 'dlg-body form-grid' },
      el('span'), el('p', { class: 'dlg-text', text: `Send ${count} picture${count === 1 ? '' : 's'} to a basket. ` +
        'A picture already on disk is moved there instead of fetched again.' }),
      el('label', { text: 'Basket' }), select);
    const d = dialog('Send to basket', body, [el('button', { value: 'cancel', text: 'Cancel' }),
      el('button', { value: 'ok', class: 'primary', text: 'Send' })], 'dlg-send');
    select.focus();
    d.addEventListener('close', () => resolve(d.returnValue === 'ok' ? Number(select.value) : null));
  });
}

const RESULT_TEXT = { downloading: 'downloading', moved: 'moved into the basket', 'in basket': 'already in the basket',
  listed: 'already in the download list', failed: 'failed' };

// The progress of one send, fed by its events; cancel() asks the server to stop it. Closes by
// itself a moment after a send that went without failures.
export function sendProgress(first, cancel) {
  const bar = el('div', { class: 'progress' }, el('div', { class: 'progress-fill' }));
  const line = el('p', { class: 'dlg-text send-line' });
  const summary = el('p', { class: 'send-summary' });
  const errors = el('ul', { class: 'send-errors' });
  const stop = el('button', { type: 'button', class: 'cancel', text: 'Cancel' });
  const close = el('button', { value: 'ok', class: 'primary', text: 'Close', hidden: true });
  const d = dialog(`Sending to “${first.basketName}”`, el('div', { class: 'dlg-body send-body' }, bar, line, summary, errors),
    [stop, close], 'dlg-progress');
  d.dataset.send = first.send;
  stop.addEventListener('click', () => { stop.disabled = true; cancel(); });
  d.addEventListener('cancel', (e) => { if (!close.hidden) return; e.preventDefault(); stop.click(); });
  const update = (s) => {
    bar.firstChild.style.width = `${s.total ? (100 * s.done) / s.total : 100}%`;
    line.textContent = s.ended ? (s.cancelled ? `Cancelled after ${s.done} of ${s.total}.` : `${s.done} of ${s.total} handed to the basket.`)
      : `${s.done} of ${s.total}${s.last ? `: ${decodeURIComponent(s.last.split('/').pop())} ${RESULT_TEXT[s.lastResult] ?? ''}` : ''}`;
    const parts = [[s.downloading, 'downloading'], [s.moved, 'moved from elsewhere on disk'], [s.inBasket, 'already in the basket'],
      [s.listed, 'already in the download list'], [s.failed, 'failed']].filter(([n]) => n);
    summary.textContent = parts.map(([n, t]) => `${n} ${t}`).join(', ');
    errors.replaceChildren(...s.errors.map((e) => el('li', { text: e })));
    d.dataset.done = s.done;
    if (!s.ended) return;
    d.dataset.ended = 'true';
    stop.hidden = true;
    close.hidden = false;
    close.focus();
    if (!s.failed && !s.cancelled) setTimeout(() => d.open && d.close('ok'), 900);
  };
  update(first);
  return { update, dialog: d };
}

// One large picture, fitted to the window; setSource(url) once it is there, fail(text) if not.
export function largePicture(title) {
  const img = el('img', { class: 'large-img', alt: title, hidden: true });
  const note = el('p', { class: 'dlg-text', text: 'Fetching the picture…' });
  const d = dialog(title, el('div', { class: 'large-body' }, img, note), [el('button', { value: 'ok', class: 'primary', text: 'Close' })],
    'dlg-large');
  return {
    dialog: d,
    setSource(url) {
      img.onload = () => { img.hidden = false; note.textContent = `${img.naturalWidth} × ${img.naturalHeight}`; };
      img.onerror = () => { note.textContent = 'The picture cannot be shown.'; };
      img.src = url;
    },
    fail(text) { note.textContent = text; },
  };
}
