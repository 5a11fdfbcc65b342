// The download list pane: every download with its name, status, progress, sections, size, speed,
// address and folder, live from the event stream; narrowed by status group and by category. Rows are selected with click, Shift and Ctrl and the
// arrow keys; the commands of the menus and toolbar act on the selection.
import { bytes, speed, duration, percent, el } from './format.js';
import { state, on } from './store.js';

const COLUMNS = [
  { key: 'name', title: 'Name', cls: 'c-name' },
  { key: 'status', title: 'Status', cls: 'c-status' },
  { key: 'progress', title: 'Progress', cls: 'c-progress' },
  { key: 'sections', title: 'Sections', cls: 'c-sections' },
  { key: 'size', title: 'Size', cls: 'c-num' },
  { key: 'speed', title: 'Speed', cls: 'c-num' },
  { key: 'left', title: 'Time left', cls: 'c-num' },
  { key: 'url', title: 'Address', cls: 'c-url' },
  { key: 'folder', title: 'Folder', cls: 'c-folder' },
];

export const selection = new Set();

// The status groups the list can be narrowed to.
const GROUPS = [
  ['all', 'All downloads', () => true],
  ['active', 'Active', (d) => d.statusClass === 'busy'],
  ['waiting', 'Waiting', (d) => !d.finished && !d.failed && !d.paused && d.statusClass !== 'busy'],
  ['paused', 'Paused', (d) => d.paused],
  ['finished', 'Finished', (d) => d.finished],
  ['failed', 'Failed', (d) => d.failed],
];
let anchor = null;

export function createDownloadList(ctx) {
  const body = el('tbody');
  const table = el('table', { class: 'grid', role: 'grid', 'aria-label': 'Downloads' },
    el('colgroup', {}, ...COLUMNS.map((c) => el('col', { class: c.cls }))),
    el('thead', {}, el('tr', {}, ...COLUMNS.map((c) => el('th', { scope: 'col', class: c.cls, text: c.title })))),
    body);
  const empty = el('div', { class: 'empty' },
    el('p', { text: 'The download list is empty.' }),
    el('button', { type: 'button', class: 'link', text: 'Add downloads…', onclick: () => ctx.command('download.add') }));
  const scroller = el('div', { class: 'grid-scroll', tabindex: '0' }, table);
  const group = el('select', { 'aria-label': 'Show', 'data-filter': 'group' },
    ...GROUPS.map(([v, t]) => el('option', { value: v, text: t })));
  const category = el('select', { 'aria-label': 'Category', 'data-filter': 'category' });
  const fillCategories = () => {
    const keep = category.value || 'all';
    category.replaceChildren(el('option', { value: 'all', text: 'All categories' }),
      ...state.categories.map((name, i) => el('option', { value: String(i), text: name })),
      el('option', { value: '-1', text: 'No category' }));
    category.value = [...category.options].some((o) => o.value === keep) ? keep : 'all';
  };
  fillCategories();
  const count = el('span', { class: 'tb-content' });
  const bar = el('div', { class: 'bar bar-toolbar pane-bar', role: 'toolbar' },
    el('label', { class: 'tb-label', text: 'Show:' }), group, category, el('span', { class: 'spacer' }), count);
  const root = el('div', { class: 'download-list' }, bar, scroller, empty);
  const visible = (d) => GROUPS.find(([v]) => v === group.value)[2](d) &&
    (category.value === 'all' || d.category === Number(category.value));
  group.addEventListener('change', () => renderAll());
  category.addEventListener('change', () => renderAll());
  const rows = new Map();

  const rowFor = (d) => {
    let tr = rows.get(d.id);
    if (!tr) {
      tr = el('tr', { 'data-id': d.id, 'aria-selected': 'false' });
      tr.cells_ = {};
      for (const c of COLUMNS) {
        const td = el('td', { class: c.cls });
        tr.cells_[c.key] = td;
        tr.append(td);
      }
      const bar = el('div', { class: 'progress' }, el('div', { class: 'progress-fill' }));
      const pct = el('span', { class: 'progress-text' });
      tr.cells_.progress.append(el('div', { class: 'progress-cell' }, bar, pct));
      tr.cells_.sections.append(el('div', { class: 'sections', role: 'img' }));
      tr.addEventListener('mousedown', (e) => { if (!(e.button === 2 && selection.has(d.id))) select(d.id, e); });
      tr.addEventListener('contextmenu', (e) => {
        e.preventDefault();
        if (!selection.has(d.id)) select(d.id, {});
        contextMenu(e.clientX, e.clientY, ctx);
      });
      rows.set(d.id, tr);
    }
    return tr;
  };

  const fill = (tr, d) => {
    const c = tr.cells_;
    c.name.textContent = d.name;
    c.name.title = d.name;
    // A file being moved shows how much of it the relocator has carried.
    c.status.textContent = d.moving && d.moveTotal ? `${d.status} ${percent(d.moveDone, d.moveTotal)}%` : d.status;
    drawSections(c.sections.firstChild, d);
    tr.dataset.state = d.finished ? 'finished' : d.failed ? 'failed' : d.paused ? 'paused' : d.statusClass;
    const p = d.finished ? 100 : percent(d.downloaded, d.size);
    const [bar, pct] = c.progress.firstChild.children;
    bar.firstChild.style.width = `${Math.max(0, p)}%`;
    bar.classList.toggle('unknown', p < 0 && d.statusClass === 'busy');
    pct.textContent = p >= 0 ? `${p}%` : bytes(d.downloaded);
    c.size.textContent = d.size ? bytes(d.size) : '';
    c.speed.textContent = d.statusClass === 'busy' ? speed(d.speed) : '';
    c.left.textContent = d.statusClass === 'busy' ? duration(d.timeLeft) : '';
    c.url.textContent = d.url;
    c.url.title = d.url;
    c.folder.textContent = d.folder;
    c.folder.title = d.folder;
    tr.setAttribute('aria-selected', selection.has(d.id));
  };

  const renderAll = () => {
    const all = state.order.map((id) => state.downloads.get(id)).filter(Boolean);
    const wanted = all.filter(visible);
    count.textContent = `${wanted.length} of ${all.length}`;
    for (const [id, tr] of rows) if (!state.downloads.has(id)) { tr.remove(); rows.delete(id); selection.delete(id); }
    const frag = document.createDocumentFragment();
    for (const d of wanted) { const tr = rowFor(d); fill(tr, d); frag.append(tr); }
    body.replaceChildren(frag);
    empty.hidden = all.length > 0;
    scroller.hidden = all.length === 0;
  };

  // Single changes are drawn at the next frame, together.
  const dirty = new Set();
  let scheduled = false;
  const flush = () => {
    scheduled = false;
    for (const id of dirty) { const d = state.downloads.get(id); const tr = rows.get(id); if (d && tr) fill(tr, d); }
    dirty.clear();
  };
  on('downloads', (ev) => {
    if (ev?.reset) fillCategories();
    const d = state.downloads.get(ev?.changed);
    if (ev?.changed !== undefined && !ev.added && rows.has(ev.changed) && d && visible(d) && body.contains(rows.get(ev.changed))) {
      dirty.add(ev.changed);
      if (!scheduled) { scheduled = true; requestAnimationFrame(flush); }
    } else {
      renderAll();
    }
  });

  function select(id, e) {
    if (e.shiftKey && anchor != null) {
      const a = state.order.indexOf(anchor), b = state.order.indexOf(id);
      if (!e.ctrlKey) selection.clear();
      for (let i = Math.min(a, b); i <= Math.max(a, b); i++) selection.add(state.order[i]);
    } else if (e.ctrlKey || e.metaKey) {
      selection.has(id) ? selection.delete(id) : selection.add(id);
      anchor = id;
    } else {
      selection.clear();
      selection.add(id);
      anchor = id;
    }
    for (const [rid, tr] of rows) tr.setAttribute('aria-selected', selection.has(rid));
    ctx.selectionChanged?.();
  }

  scroller.addEventListener('keydown', (e) => {
    if (e.key === 'Delete') { ctx.command('download.delete'); e.preventDefault(); return; }
    if (e.key !== 'ArrowDown' && e.key !== 'ArrowUp') return;
    const i = state.order.indexOf(anchor);
    const next = state.order[Math.max(0, Math.min(state.order.length - 1, i + (e.key === 'ArrowDown' ? 1 : -1)))];
    if (next != null) { select(next, e); rows.get(next)?.scrollIntoView({ block: 'nearest' }); }
    e.preventDefault();
  });

  renderAll();
  return root;
}

// Each section of the file as a band at its place: where it starts and how far it has got.
function drawSections(box, d) {
  const key = d.finished ? 'f' : JSON.stringify(d.sections) + d.size;
  if (box.key_ === key) return;
  box.key_ = key;
  box.classList.toggle('done', d.finished);
  const parts = d.finished || !d.size ? [] : d.sections.filter(([, n]) => n > 0);
  box.setAttribute('aria-label', d.finished ? 'Complete' : `${parts.length} sections`);
  box.replaceChildren(...parts.map(([start, n]) => {
    const band = el('span', { class: 'section' });
    band.style.left = `${(100 * start) / d.size}%`;
    band.style.width = `${Math.max(0.5, (100 * n) / d.size)}%`;
    return band;
  }));
}

// The row menu: the commands on the selection, and its priority.
const ROW_MENU = [
  ['download.pause', 'Pause'], ['download.resume', 'Resume'], ['download.retry', 'Retry'], null,
  ['download.delete', 'Delete'], ['download.deleteWithFile', 'Delete with file'], null,
  ['download.moveUp', 'Move up'], ['download.moveDown', 'Move down'], null,
  ['download.moveFile', 'Move the file…'], ['download.openFolder', 'Open the folder'], null,
  ['download.priority', 'Priority: high (always runs)', 10], ['download.priority', 'Priority: normal', 5],
  ['download.priority', 'Priority: low', 0],
];

function contextMenu(x, y, ctx) {
  document.querySelector('.menu.context')?.remove();
  const menu = el('div', { class: 'menu context', role: 'menu' });
  for (const entry of ROW_MENU) {
    if (!entry) { menu.append(el('div', { class: 'menu-sep', role: 'separator' })); continue; }
    const [key, text, arg] = entry;
    menu.append(el('button', { class: 'menu-item', type: 'button', role: 'menuitem', text,
      onclick: () => { menu.remove(); ctx.command(key, arg); } }));
  }
  menu.style.left = `${Math.min(x, innerWidth - 240)}px`;
  menu.style.top = `${Math.min(y, innerHeight - 260)}px`;
  document.body.append(menu);
  const close = (e) => { if (!menu.contains(e.target)) { menu.remove(); document.removeEventListener('mousedown', close); } };
  setTimeout(() => document.addEventListener('mousedown', close));
  document.addEventListener('keydown', (e) => { if (e.key === 'Escape') menu.remove(); }, { once: true });
  menu.querySelector('button')?.focus();
}
