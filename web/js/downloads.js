// The download list pane: every download with its name, status, progress, sections, size, speed,
// address and folder, live from the event stream; narrowed by status group and by category. It is
// a grid (grid.js): rows are selected with click, Shift and Ctrl and the keys, Enter shows the
// folder, and the commands of the menus and toolbar act on the selection.
import { bytes, speed, duration, percent, el } from './format.js';
import { state, on } from './store.js';
import { createGrid } from './grid.js';
import { flag, number, numbers, watch, storeSetting } from './view_settings.js';
import { openProperties } from './download_props.js';
import { openFind, matchesFind } from './find_dialog.js';
import { openViewer } from './viewer.js';
import * as dialogs from './dialogs.js';

// The columns and what each shows of a download.
const progressOf = (d) => {
  const p = d.finished ? 100 : percent(d.downloaded, d.size);
  return { percent: p, busy: d.statusClass === 'busy', text: p >= 0 ? `${p}%` : bytes(d.downloaded) };
};
const COLUMNS = [
  { key: 'name', title: 'Name', cls: 'c-name',
    value: (d) => (flag('bShowDownloadFullPath') ? d.path || `${d.folder}/${d.name}` : d.name) },
  // A file being moved shows how much of it the relocator has carried.
  { key: 'status', title: 'Status', cls: 'c-status',
    value: (d) => (d.moving && d.moveTotal ? `${d.status} ${percent(d.moveDone, d.moveTotal)}%` : d.status) },
  { key: 'progress', title: 'Progress', cls: 'c-progress', type: 'progress', value: progressOf },
  { key: 'sections', title: 'Sections', cls: 'c-sections', type: 'custom', value: (d) => d,
    create: () => el('div', { class: 'sections', role: 'img' }), draw: (n, d) => drawSections(n, d) },
  { key: 'size', title: 'Size', cls: 'c-num', value: (d) => (d.size ? bytes(d.size) : '') },
  { key: 'speed', title: 'Speed', cls: 'c-num', value: (d) => (d.statusClass === 'busy' ? speed(d.speed) : '') },
  { key: 'left', title: 'Time left', cls: 'c-num', value: (d) => (d.statusClass === 'busy' ? duration(d.timeLeft) : '') },
  // An address fetched over TLS carries the word, as the command line's list shows it.
  { key: 'url', title: 'Address', cls: 'c-url', type: 'custom', value: (d) => d.url,
    create: () => el('span', {}, el('span', { class: 'tls', title: 'Fetched over TLS (https)' }), el('span')),
    draw: (n, url) => {
      const tls = /^https:\/\//i.test(url || '');
      n.firstChild.hidden = !tls;
      n.firstChild.textContent = tls ? 'TLS' : '';
      n.lastChild.textContent = url || '';
      n.title = url || '';
    } },
  { key: 'folder', title: 'Folder', cls: 'c-folder', value: (d) => d.folder },
];

export const selection = new Set();

// The six stored column widths ("iColWidths") and the columns they size, by slot; a width of 0
// leaves the column its own share of the list.
const WIDTH_SLOTS = ['sections', 'name', 'size', 'progress', 'url', 'status'];
const columnOfSlot = (slot) => COLUMNS.findIndex((c) => c.key === WIDTH_SLOTS[slot]);

// What a double-click on a download does, as "eDoubleClickAction" chooses.
const PICTURE = /\.(jpe?g|png|gif|bmp|webp|avif|tiff?)$/i;
function activate(ctx, id) {
  const d = state.downloads.get(id);
  if (!d) return;
  switch (number('eDoubleClickAction', 3)) {
    case 0:
      if (d.finished && PICTURE.test(d.name)) return openViewer(d.path);
      return dialogs.showFile(d);
    case 1: return ctx.command('download.openFolder');
    case 2: return openProperties(id);
    default: return openViewer(d.path);
  }
}

// The status groups the list can be narrowed to.
const GROUPS = [
  ['all', 'All downloads', () => true],
  ['active', 'Active', (d) => d.statusClass === 'busy'],
  ['waiting', 'Waiting', (d) => !d.finished && !d.failed && !d.paused && d.statusClass !== 'busy'],
  ['paused', 'Paused', (d) => d.paused],
  ['finished', 'Finished', (d) => d.finished],
  ['failed', 'Failed', (d) => d.failed],
];

export function createDownloadList(ctx) {
  const grid = createGrid({
    label: 'Downloads',
    columns: COLUMNS,
    rowState: (d) => (d.finished ? 'finished' : d.failed ? 'failed' : d.paused ? 'paused' : d.statusClass),
    // Enter shows the folder; a double-click does what the user chose.
    onActivate: (id, how) => (how === 'key' ? ctx.command('download.openFolder') : activate(ctx, id)),
    onKey: (e) => {
      if (e.key === 'Delete') { ctx.command('download.delete'); e.preventDefault(); }
      if (e.key === 'f' && (e.ctrlKey || e.metaKey)) { openFind(find); e.preventDefault(); }
    },
    onContextMenu: (x, y) => contextMenu(x, y, ctx),
    onSelect: () => { syncSelection(); ctx.selectionChanged?.(); },
    onResized: (index, px) => {
      const slot = WIDTH_SLOTS.findIndex((key) => key === COLUMNS[index].key);
      if (slot < 0) return;
      const widths = [0, 1, 2, 3, 4, 5].map((i) => numbers('iColWidths')[i] ?? 0);
      widths[slot] = px;
      storeSetting('iColWidths', widths.join(' '));
    },
  });
  watch(['iColWidths'], () => {
    const px = COLUMNS.map(() => 0);
    numbers('iColWidths').slice(0, 6).forEach((w, slot) => { px[columnOfSlot(slot)] = w; });
    grid.setWidths(px);
  });
  const syncSelection = () => { selection.clear(); for (const id of grid.selection) selection.add(id); };
  const empty = el('div', { class: 'empty' },
    el('p', { text: 'The download list is empty.' }),
    el('button', { type: 'button', class: 'link', text: 'Add downloads…', onclick: () => ctx.command('download.add') }));
  const scroller = grid.root;
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
  // The downloads the find dialog showed alone, until "Show all".
  let found = null;
  const showAll = el('button', { type: 'button', class: 'tb-button', text: 'Show all', hidden: true, 'data-action': 'showAll',
    onclick: () => { found = null; showAll.hidden = true; renderAll(); } });
  const find = () => {
    const matches = (id) => { const d = state.downloads.get(id); return d && matchesFind(d); };
    if (number('FindInfo/eWhatToDo', 0) === 1) {
      found = new Set(state.order.filter(matches));
      showAll.hidden = false;
      renderAll();
      return found.size > 0;
    }
    const list = state.order.filter((id) => shown.has(id));
    const chosen = list.findIndex((id) => grid.selection.has(id));
    const start = number('FindInfo/eFrom', 1) === 1 && chosen >= 0 ? chosen + 1 : 0;
    const next = list.slice(start).find(matches) ?? list.slice(0, start).find(matches);
    if (next === undefined) return false;
    grid.select(next);
    grid.reveal(next);
    return true;
  };
  const findButton = el('button', { type: 'button', class: 'tb-button', text: 'Find…', title: 'Find downloads (Ctrl+F)',
    'data-action': 'find', onclick: () => openFind(find) });
  const bar = el('div', { class: 'bar bar-toolbar pane-bar', role: 'toolbar' },
    el('label', { class: 'tb-label', text: 'Show:' }), group, category, findButton, showAll, el('span', { class: 'spacer' }), count);
  const root = el('div', { class: 'download-list' }, bar, scroller, empty);
  const visible = (d) => (!found || found.has(d.id)) && GROUPS.find(([v]) => v === group.value)[2](d) &&
    (category.value === 'all' || d.category === Number(category.value));
  group.addEventListener('change', () => renderAll());
  category.addEventListener('change', () => renderAll());
  let shown = new Set();

  const renderAll = () => {
    const wanted = state.order.filter((id) => { const d = state.downloads.get(id); return d && visible(d); });
    shown = new Set(wanted);
    count.textContent = `${wanted.length} of ${state.order.length}`;
    grid.setRows(wanted, (id) => state.downloads.get(id));
    syncSelection();
    empty.hidden = state.order.length > 0;
    scroller.hidden = state.order.length === 0;
  };

  // A change that keeps a shown row shown is drawn at the next frame; any other redraws the list,
  // once a frame however many arrive (a filter can make every change one of those).
  let allPending = false;
  const renderSoon = () => {
    if (allPending) return;
    allPending = true;
    requestAnimationFrame(() => { allPending = false; renderAll(); });
  };
  on('downloads', (ev) => {
    if (ev?.reset) fillCategories();
    const d = state.downloads.get(ev?.changed);
    if (ev?.changed !== undefined && !ev.added && d && shown.has(ev.changed) && visible(d)) grid.update(ev.changed);
    else renderSoon();
  });

  watch(['bShowDownloadFullPath'], () => renderSoon());
  renderAll();
  return root;
}

// Each section of the file as a band at its place: where it starts and how far it has got.
function drawSections(box, d) {
  const key = d.finished ? 'f' : JSON.stringify(d.sections) + d.size + d.statusClass;
  if (box.key_ === key) return;
  box.key_ = key;
  box.classList.toggle('done', d.finished);
  box.classList.toggle('active', d.statusClass === 'busy');
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
  ['download.moveFile', 'Move the file…'], ['download.openFolder', 'Open the folder'],
  ['download.properties', 'Properties'], null,
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
