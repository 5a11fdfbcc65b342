// Options: one page per group of settings, every stored setting with the control its values
// call for (check box, number with its range, list of choices, folder or file path, colour,
// pairs of numbers). A value is stored as soon as it is changed; the server checks it by the
// page's rule and its refusal shows under the control, which then goes back to the stored value.
import { getJson, post } from './api.js';
import { el } from './format.js';
import * as dialogs from './dialogs.js';

// Pages whose content is not a list of settings: name -> function(page element) filling it.
const specialPages = new Map();
export function addOptionPage(name, render) { specialPages.set(name, render); }

async function store(setting, value, error) {
  try {
    const answer = await post('/api/settings', { name: setting.name, value });
    Object.assign(setting, answer);
    error.textContent = '';
    return true;
  } catch (e) {
    error.textContent = e.message;
    return false;
  }
}

function numberInput(setting, value, attrs = {}) {
  return el('input', { type: 'number', step: '1', min: setting.min, max: setting.max, value, spellcheck: 'false', ...attrs });
}

// The control of one setting; show(value) puts a stored value back into it.
function control(setting, error) {
  const name = setting.name;
  // A refused choice goes back to the stored value; a typed text stays, marked, to be corrected.
  const commit = async (input, value, show, keep = false) => {
    input.classList.remove('refused');
    if (await store(setting, value, error)) show();
    else if (keep) input.classList.add('refused');
    else show();
  };
  switch (setting.control) {
    case 'check': {
      const box = el('input', { type: 'checkbox', name });
      const show = () => { box.checked = setting.value === '1'; };
      show();
      box.addEventListener('change', () => commit(box, box.checked ? '1' : '0', show));
      return box;
    }
    case 'choice': {
      const select = el('select', { name }, ...setting.choices.map((c, i) => el('option', { value: String(i), text: c })));
      const show = () => { select.value = String(Number(setting.value)); };
      show();
      select.addEventListener('change', () => commit(select, select.value, show));
      return select;
    }
    case 'colour': {
      const input = el('input', { type: 'color', name, value: setting.colour });
      const show = () => { input.value = setting.colour; };
      input.addEventListener('change', () => commit(input, input.value, show));
      return input;
    }
    case 'numbers': {
      const parts = setting.value.split(' ').map((v) => numberInput(setting, v, { class: 'opt-part' }));
      const wrap = el('span', { class: 'opt-parts', 'data-name': name }, ...parts);
      const show = () => setting.value.split(' ').forEach((v, i) => { if (parts[i]) parts[i].value = v; });
      parts.forEach((p) => p.addEventListener('change', () => commit(p, parts.map((q) => q.value.trim()).join(' '), show, true)));
      return wrap;
    }
    case 'shown':
      return el('input', { type: 'text', name, value: setting.value, readonly: true, class: 'opt-shown' });
    default: {
      const type = setting.control === 'number' ? 'number' : setting.control === 'password' ? 'password' : 'text';
      const input = type === 'number' ? numberInput(setting, setting.value, { name })
        : el('input', { type, name, value: setting.value, spellcheck: 'false', autocomplete: 'off' });
      if (setting.control === 'folder') input.placeholder = 'A folder, for example /home/me/Pictures';
      if (setting.control === 'file') input.placeholder = 'A file (none when empty)';
      const show = () => { input.value = setting.value; };
      const apply = () => { if (input.value !== setting.value) commit(input, input.value, show, true); };
      input.addEventListener('change', apply);
      input.addEventListener('keydown', (e) => { if (e.key === 'Enter') { e.preventDefault(); apply(); } });
      return input;
    }
  }
}

function row(setting) {
  const error = el('div', { class: 'opt-error', role: 'alert' });
  const input = control(setting, error);
  const id = `opt-${setting.name.replace(/[^A-Za-z0-9]/g, '_')}`;
  const field = setting.control === 'numbers' ? input.querySelector('input') : input;
  field.id = id;
  const unit = setting.unit ? el('span', { class: 'opt-unit', text: setting.unit }) : null;
  const range = setting.control === 'number' ? `${setting.min} to ${setting.max}` : '';
  const label = el('label', { class: 'opt-label', for: id, text: setting.label, title: `${setting.name}${range ? ` (${range})` : ''}` });
  const cls = setting.control === 'check' ? 'opt-row opt-check' : 'opt-row';
  if (setting.control === 'check') return el('div', { class: cls, 'data-setting': setting.name }, el('span'), el('div', {}, el('span', { class: 'opt-line' }, input, label), error));
  return el('div', { class: cls, 'data-setting': setting.name }, label, el('div', {}, el('span', { class: 'opt-line' }, input, unit), error));
}

export async function openOptions(startPage) {
  let data;
  try { data = await getJson('/api/settings'); } catch (e) { return dialogs.message('Options', e.message); }
  const groups = data.groups.filter((g) => g.settings.length || specialPages.has(g.name));
  const list = el('ul', { class: 'opt-groups', role: 'tablist' });
  const page = el('div', { class: 'opt-page' });
  const show = (i) => {
    [...list.children].forEach((li, j) => li.setAttribute('aria-selected', String(i === j)));
    page.replaceChildren(el('h3', { text: groups[i].name }), ...groups[i].settings.map(row));
    specialPages.get(groups[i].name)?.(page);
    page.dataset.page = groups[i].name;
    page.scrollTop = 0;
  };
  groups.forEach((g, i) => {
    const li = el('li', { role: 'tab', tabindex: '0', 'data-group': g.name, text: g.name });
    li.addEventListener('click', () => show(i));
    li.addEventListener('keydown', (e) => { if (e.key === 'Enter' || e.key === ' ') show(i); });
    list.append(li);
  });
  const d = el('dialog', { class: 'dlg opt-dlg' },
    el('form', { method: 'dialog' },
      el('h2', { class: 'dlg-title', text: 'Options' }),
      el('div', { class: 'opt-body' }, list, page),
      el('div', { class: 'dlg-buttons' }, el('button', { value: 'ok', class: 'primary', text: 'Close' }))));
  document.body.append(d);
  d.addEventListener('close', () => d.remove());
  show(Math.max(0, groups.findIndex((g) => g.name === startPage)));
  d.showModal();
}
