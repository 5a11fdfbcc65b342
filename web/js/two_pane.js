// A list on the left and the chosen item's properties on the right, with New, Delete and Reset
// under the list: the editor of the scan profiles and the search sites. The server checks every
// change; its refusal shows above the buttons of the properties and the item stays as it was.
import { el } from './format.js';
import * as dialogs from './dialogs.js';
import { on, emit } from './store.js';

// desc: { name, load() -> items, label(item), fields: [{key, label, type, min, max, placeholder}],
//   defaults(), save(item|null, values) -> answer, remove(item), reset() (none: no reset button),
//   deleteQuestion(item) -> text|null, actions(inputs by key, error element) -> more buttons,
//   resetQuestion, empty: text without items, note(item) -> text, detail(item) -> a line under the label }
export function createTwoPane(desc) {
  let items = [];
  let current = null;  // the chosen item, or null for a new one
  const list = el('ul', { class: 'tp-list', role: 'listbox', 'aria-label': desc.name });
  const props = el('form', { class: 'tp-props', 'data-editor': desc.name });
  const del = el('button', { type: 'button', text: 'Delete', 'data-action': 'delete' });
  const buttons = el('div', { class: 'tp-buttons' },
    el('button', { type: 'button', text: 'New', 'data-action': 'new', onclick: () => edit(null) }), del,
    ...(desc.reset ? [el('button', { type: 'button', text: 'Reset to defaults', 'data-action': 'reset', onclick: reset })] : []));

  function renderList() {
    list.replaceChildren(...(items.length ? items.map((item) => {
      const li = el('li', { role: 'option', 'aria-selected': String(current?.index === item.index), 'data-index': item.index, text: desc.label(item) });
      const detail = desc.detail?.(item);
      if (detail) li.append(el('small', { class: 'tp-detail', text: detail }));
      li.addEventListener('click', () => edit(item));
      return li;
    }) : [el('li', { class: 'tp-empty', text: desc.empty })]));
    del.disabled = !current;
  }

  function edit(item) {
    current = item;
    renderList();
    const values = item ?? desc.defaults();
    const error = el('div', { class: 'tp-error', role: 'alert' });
    const inputs = desc.fields.map((f) => {
      let input;
      if (f.type === 'check') input = el('input', { type: 'checkbox', name: f.key });
      else if (f.type === 'textarea') input = el('textarea', { name: f.key, rows: '3', spellcheck: 'false' });
      else input = el('input', { type: ['number', 'password'].includes(f.type) ? f.type : 'text', name: f.key, min: f.min, max: f.max, spellcheck: 'false', autocomplete: 'off' });
      if (f.type === 'check') input.checked = Boolean(values[f.key]);
      else input.value = values[f.key] ?? '';
      if (f.placeholder) input.placeholder = f.placeholder;
      return [f, input];
    });
    const rows = inputs.map(([f, input]) => (f.type === 'check'
      ? el('label', { class: 'tp-check' }, input, f.label)
      : el('label', { class: 'tp-field' }, el('span', { text: f.label }), input)));
    const note = el('div', { class: 'tp-note', text: item ? desc.note?.(item) ?? '' : '' });
    const ok = el('button', { type: 'submit', class: 'primary', text: item ? 'Apply' : 'Add' });
    const extra = desc.actions ? desc.actions(Object.fromEntries(inputs.map(([f, input]) => [f.key, input])), error) : [];
    props.replaceChildren(el('h4', { class: 'tp-title', text: item ? desc.label(item) : `New ${desc.noun}` }),
      ...rows, note, error, el('div', { class: 'tp-actions' }, ...extra, ok));
    props.onsubmit = async (e) => {
      e.preventDefault();
      const body = {};
      for (const [f, input] of inputs) body[f.key] = f.type === 'check' ? input.checked : f.type === 'number' ? Number(input.value) : input.value;
      try {
        const answer = await desc.save(item, body);
        await refresh(answer.index);
        changed();
      } catch (err) {
        error.textContent = err.message;
      }
    };
  }

  async function refresh(select) {
    try { items = await desc.load(); } catch (e) { list.replaceChildren(el('li', { class: 'tp-empty', text: e.message })); return; }
    const chosen = items.find((i) => i.index === (select ?? current?.index));
    if (chosen) edit(chosen);
    else if (items.length) edit(items[0]);
    else edit(null);
  }

  del.addEventListener('click', async () => {
    if (!current) return;
    const question = desc.deleteQuestion(current);
    if (question && !(await dialogs.confirmBox(`Delete ${desc.noun}`, question, 'Yes'))) return;
    try {
      await desc.remove(current);
      current = null;
      await refresh(-1);
      changed();
    } catch (err) { dialogs.message(desc.name, err.message); }
  });

  async function reset() {
    if (!(await dialogs.confirmBox(desc.name, desc.resetQuestion, 'Yes'))) return;
    try {
      await desc.reset();
      current = null;
      await refresh(-1);
      changed();
    } catch (err) { dialogs.message(desc.name, err.message); }
  }

  // Other editors of the same list in the page (the pane and the option page) follow a change.
  const topic = `two-pane:${desc.name}`;
  const root = el('div', { class: 'two-pane', 'data-two-pane': desc.name },
    el('div', { class: 'tp-left' }, list, buttons), props);
  function changed() { emit(topic, root); }
  on(topic, (source) => { if (source !== root && root.isConnected) refresh(); });
  refresh();
  return root;
}
