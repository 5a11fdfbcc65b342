// The properties of one download, live: name, address, folder, status, sizes, speed, priority and
// its sections. One such window at a time, beside the list (not modal). It opens by itself for a
// new download when "bDnlPropAutoOpen" is set, closes when its download is done and
// "bDnlPropAutoClose" is set, closes when it loses the focus with "bCloseDnlPropInactive", and
// shows only the name and the progress with "bDnlPropDisplayMin".
import { bytes, speed, duration, percent, el } from './format.js';
import { state, on } from './store.js';
import { flag } from './view_settings.js';

let shown = null;  // { id, dialog, fields }

const FIELDS = [
  ['Name', (d) => d.name, true],
  ['Progress', (d) => (d.finished ? '100%' : `${Math.max(0, percent(d.downloaded, d.size))}%  ·  ${bytes(d.downloaded)} of ${d.size ? bytes(d.size) : '?'}`), true],
  ['Status', (d) => d.status + (d.reason ? ` (${d.reason})` : '')],
  ['Address', (d) => d.url],
  ['Folder', (d) => d.folder],
  ['File', (d) => d.path],
  ['Server', (d) => d.server],
  ['Speed', (d) => (d.statusClass === 'busy' ? `${speed(d.speed)}, ${duration(d.timeLeft)} left` : '')],
  ['Priority', (d) => String(d.priority)],
  ['Sections', (d) => (d.finished ? 'Complete' : String(d.sections.filter(([, n]) => n > 0).length))],
];

function fill() {
  const d = state.downloads.get(shown?.id);
  if (!d) return closeProperties();
  for (const [i, [, value]] of FIELDS.entries()) shown.fields[i].textContent = value(d) ?? '';
  if (d.finished && flag('bDnlPropAutoClose')) closeProperties();
}

export function closeProperties() {
  shown?.dialog.close();
  shown = null;
}

export function openProperties(id) {
  closeProperties();
  const small = flag('bDnlPropDisplayMin');
  const rows = FIELDS.filter(([, , always]) => always || !small);
  const fields = FIELDS.map(() => el('output', { class: 'prop-value' }));
  const body = el('div', { class: 'dlg-body form-grid dnl-props' },
    ...rows.flatMap(([label]) => [el('label', { text: label }), fields[FIELDS.findIndex(([l]) => l === label)]]));
  const close = el('button', { type: 'button', class: 'primary', text: 'Close', onclick: () => closeProperties() });
  const dialog = el('dialog', { class: `dlg dlg-props${small ? ' small' : ''}`, 'data-download': id },
    el('h2', { class: 'dlg-title', text: 'Download properties' }), body, el('div', { class: 'dlg-buttons' }, close));
  dialog.addEventListener('close', () => dialog.remove());
  dialog.addEventListener('focusout', (e) => {
    if (flag('bCloseDnlPropInactive') && e.relatedTarget && !dialog.contains(e.relatedTarget)) closeProperties();
  });
  document.body.append(dialog);
  shown = { id, dialog, fields };
  fill();
  dialog.show();
}

on('downloads', (ev) => {
  if (ev?.added && flag('bDnlPropAutoOpen')) openProperties(ev.changed);
  else if (shown && (ev?.reset || ev?.changed === shown.id || ev?.removed === shown.id)) fill();
});
