// The protocol log pane: the log lines of every engine with their kinds, live; pause, clear,
// filter by kind and text, and save what is shown to a file. It keeps the last "dwLogEntryNumber"
// lines; with "bLogAutoScroll" it always follows the newest line, else only while the user has
// not scrolled away from the end.
import { el } from './format.js';
import { state, on } from './store.js';
import { flag } from './view_settings.js';

const KINDS = [
  ['', 'All kinds'], ['request', 'Requests'], ['response', 'Responses'], ['lookup', 'Look-ups'],
  ['connecting', 'Connecting'], ['connected', 'Connected'], ['closed', 'Closed'], ['finished', 'Finished'],
  ['timeout', 'Time-outs'],
];

export function createLog() {
  let paused = false, clearedAt = 0;
  const kind = el('select', { 'aria-label': 'Kind' }, ...KINDS.map(([v, t]) => el('option', { value: v, text: t })));
  const text = el('input', { type: 'search', placeholder: 'Filter', 'aria-label': 'Filter text' });
  const pause = el('button', { type: 'button', class: 'tb-button', text: 'Pause' });
  const clear = el('button', { type: 'button', class: 'tb-button', text: 'Clear' });
  const save = el('button', { type: 'button', class: 'tb-button', text: 'Save…' });
  const count = el('span', { class: 'tb-content' });
  const list = el('div', { class: 'log-lines', role: 'log', 'aria-live': 'off', tabindex: '0' });
  const bar = el('div', { class: 'bar bar-toolbar pane-bar', role: 'toolbar' }, pause, clear, save,
    el('span', { class: 'sep' }), kind, text, el('span', { class: 'spacer' }), count);

  const shown = (l) => l.seq > clearedAt && (!kind.value || l.kindName === kind.value ||
    (kind.value === 'lookup' && l.kindName.startsWith('lookup'))) &&
    (!text.value || l.text.toLowerCase().includes(text.value.toLowerCase()));
  const line = (l) => el('div', { class: `log-line k-${l.kindName}` },
    el('span', { class: 'log-kind', text: l.kindName }), el('span', { class: 'log-text', text: l.text }));
  const redraw = () => {
    const lines = state.log.filter(shown);
    list.replaceChildren(...lines.slice(-state.logLimit).map(line));
    count.textContent = `${lines.length} lines`;
    list.scrollTop = list.scrollHeight;
  };
  on('log', (ev) => {
    if (paused) return;
    if (ev?.reset) return redraw();
    const atEnd = list.scrollTop + list.clientHeight >= list.scrollHeight - 4;
    for (const l of ev.lines.filter(shown)) list.append(line(l));
    while (list.childElementCount > state.logLimit) list.firstChild.remove();
    count.textContent = `${list.childElementCount} lines`;
    if (atEnd || flag('bLogAutoScroll')) list.scrollTop = list.scrollHeight;
  });
  pause.addEventListener('click', () => {
    paused = !paused;
    pause.textContent = paused ? 'Continue' : 'Pause';
    pause.setAttribute('aria-pressed', paused);
    if (!paused) redraw();
  });
  clear.addEventListener('click', () => { clearedAt = state.log.at(-1)?.seq ?? 0; redraw(); });
  kind.addEventListener('change', redraw);
  text.addEventListener('input', redraw);
  save.addEventListener('click', () => {
    const body = state.log.filter(shown).map((l) => `[${l.kindName}] ${l.text.replace(/\r?\n$/, '')}`).join('\n');
    const a = el('a', { href: URL.createObjectURL(new Blob([body + '\n'], { type: 'text/plain' })), download: 'plover-log.txt' });
    a.click();
    setTimeout(() => URL.revokeObjectURL(a.href), 1000);
  });
  redraw();
  return el('div', { class: 'log-pane' }, bar, list);
}
