// Options: one page per group of settings, every stored setting with its control. A value is
// set when the field is left or Enter is pressed; the store's refusal shows under the field.
import { getJson, post } from './api.js';
import { el } from './format.js';
import * as dialogs from './dialogs.js';

// A yes/no setting ("b" names holding 0 or 1) is a check box; the rest are text fields.
const isFlag = (s) => /(^|[/.])(m_)?b[A-Z]/.test(s.name) && (s.value === '0' || s.value === '1');

function flag(setting) {
  const box = el('input', { type: 'checkbox', name: setting.name });
  box.checked = setting.value === '1';
  const error = el('div', { class: 'opt-error' });
  box.addEventListener('change', async () => {
    try {
      await post('/api/settings', { name: setting.name, value: box.checked ? '1' : '0' });
      error.textContent = '';
    } catch (e) { error.textContent = e.message; box.checked = !box.checked; }
  });
  const label = setting.name.replace(/(^|[/.])(m_)?b(?=[A-Z])/, '$1');
  return el('div', { class: 'opt-row' },
    el('label', { class: 'opt-label', title: `${setting.name} (${setting.kind})`, text: label }),
    el('div', {}, box, error));
}

function field(setting) {
  if (isFlag(setting)) return flag(setting);
  const input = el('input', { type: 'text', name: setting.name, value: setting.value, spellcheck: 'false' });
  const error = el('div', { class: 'opt-error' });
  let kept = setting.value;
  const apply = async () => {
    if (input.value === kept) return;
    try {
      const answer = await post('/api/settings', { name: setting.name, value: input.value });
      kept = input.value = answer.value;
      error.textContent = '';
      input.classList.remove('refused');
    } catch (e) {
      error.textContent = e.message;
      input.classList.add('refused');
    }
  };
  input.addEventListener('change', apply);
  input.addEventListener('keydown', (e) => { if (e.key === 'Enter') { e.preventDefault(); apply(); } });
  const label = setting.name.replace(/^(dw|cs|b|e|n|i|clr)(?=[A-Z])/, '');
  return el('div', { class: 'opt-row' },
    el('label', { class: 'opt-label', title: `${setting.name} (${setting.kind})`, text: label }),
    el('div', {}, input, error));
}

export async function openOptions() {
  let data;
  try { data = await getJson('/api/settings'); } catch (e) { return dialogs.message('Options', e.message); }
  const groups = data.groups.filter((g) => g.settings.length);
  const list = el('ul', { class: 'opt-groups', role: 'tablist' });
  const page = el('div', { class: 'opt-page' });
  const show = (i) => {
    [...list.children].forEach((li, j) => li.setAttribute('aria-selected', String(i === j)));
    page.replaceChildren(el('h3', { text: groups[i].name }), ...groups[i].settings.map(field));
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
  show(0);
  d.showModal();
}
