// The find dialog of the download list: a text looked for in the file names and the server names,
// the states of the downloads looked at, where the search starts and what is done with what is
// found. Every choice but the text is stored ("FindInfo/...") and is there the next time the
// dialog opens; the text is kept while the page is open.
import { el } from './format.js';
import { dialog } from './dialogs.js';
import { flag, number, storeSetting } from './view_settings.js';

const KEY = 'FindInfo/';
let findText = '';

// Whether a download matches the stored find settings: its state must be one looked at, then
// the text (lower-cased) must occur in its file name or its server, as chosen; an empty text
// matches every download of those states.
export function matchesFind(d) {
  if (d.paused ? !flag(`${KEY}bPaused`, true) : d.failed ? !flag(`${KEY}bFailed`, true)
    : d.finished ? !flag(`${KEY}bFinished`, true) : !flag(`${KEY}bNotFinished`, true)) return false;
  const text = findText.toLowerCase();
  if (!text) return true;
  return (flag(`${KEY}bFilename`, true) && (d.name ?? '').toLowerCase().includes(text)) ||
    (flag(`${KEY}bServer`, true) && (d.server ?? '').toLowerCase().includes(text));
}

const check = (name, label) => {
  const box = el('input', { type: 'checkbox', name, checked: flag(KEY + name, true) });
  return el('label', { class: 'check' }, box, ` ${label}`);
};
const choice = (name, options) => {
  const select = el('select', { name }, ...options.map((t, i) => el('option', { value: String(i), text: t })));
  select.value = String(number(KEY + name, name === 'eFrom' ? 1 : 0));
  return select;
};

// find(): runs the search with the stored choices (the list selects or shows what it finds).
export function openFind(find) {
  const text = el('input', { type: 'search', 'data-name': 'text', value: findText, spellcheck: 'false' });
  const advanced = [
    el('label', { text: 'Look at' }),
    el('div', { class: 'find-states' }, check('bFinished', 'Finished'), check('bNotFinished', 'Unfinished'),
      check('bPaused', 'Paused'), check('bFailed', 'Failed')),
    el('label', { text: 'Start from' }), choice('eFrom', ['The top of the list', 'The selected download']),
    el('label', { text: 'Found downloads are' }), choice('eWhatToDo', ['Selected', 'Shown alone']),
  ];
  const more = el('button', { type: 'button', class: 'link', 'data-action': 'advanced' });
  const showAdvanced = (on) => {
    advanced.forEach((n) => { n.hidden = !on; });
    more.textContent = on ? 'Fewer choices' : 'More choices…';
  };
  showAdvanced(flag(`${KEY}bAdv`));
  more.addEventListener('click', () => {
    const on = advanced[0].hidden;
    showAdvanced(on);
    storeSetting(`${KEY}bAdv`, on ? '1' : '0');
  });
  const note = el('p', { class: 'dlg-note', role: 'status' });
  const body = el('div', { class: 'dlg-body form-grid dlg-find' },
    el('label', { text: 'Find' }), text,
    el('label', { text: 'In' }), el('div', {}, check('bFilename', 'File names'), check('bServer', 'Server names')),
    ...advanced, el('span'), more, el('span'), note);
  const ok = el('button', { value: 'find', class: 'primary', text: 'Find' });
  const d = dialog('Find downloads', body, [el('button', { value: 'cancel', formnovalidate: true, text: 'Close' }), ok]);
  d.classList.add('dlg-find');
  body.addEventListener('change', (e) => {
    const n = e.target.name;
    if (!n) return;
    storeSetting(KEY + n, e.target.type === 'checkbox' ? (e.target.checked ? '1' : '0') : e.target.value);
  });
  ok.addEventListener('click', (e) => {
    e.preventDefault();
    findText = text.value;
    note.textContent = find() ? '' : 'No download matches.';
  });
  text.focus();
}
