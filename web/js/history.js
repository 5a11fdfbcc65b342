// The history pane: the download history (every address with its file, on disk or gone), sorted
// and searched, with forgetting; and the bookmarks (the addresses kept for scanning again), opened
// as scans, added and deleted. Two views in one pane, chosen by the buttons at its top.
import { getJson, post } from './api.js';
import { el } from './format.js';
import { on } from './store.js';
import * as dialogs from './dialogs.js';
import { openViewer } from './viewer.js';

const PANE_HISTORY = 102;
const PICTURE = /\.(jpe?g|png|gif|bmp|webp|avif|tiff?)$/i;

const view = { mode: 'history', entries: [], bookmarks: [], selected: new Set(), filter: '', sort: 'name', list: null, count: null };

// Whether the page can open a scan document by address; else bookmarks open as plain links.
let scanPage;
async function canOpenScans() {
  if (scanPage === undefined) {
    scanPage = fetch('/scan', { credentials: 'same-origin' })
      .then((r) => r.ok && (r.headers.get('Content-Type') || '').startsWith('text/html')).catch(() => false);
  }
  return scanPage;
}

export async function openBookmark(url) {
  if (await canOpenScans()) window.open(`/scan?${new URLSearchParams({ url })}`, '_blank');
  else window.open(url, '_blank', 'noopener,noreferrer');
}

async function load() {
  try {
    if (view.mode === 'history') view.entries = (await getJson('/api/history')).entries;
    else view.bookmarks = (await getJson('/api/bookmarks')).bookmarks;
  } catch (e) {
    view.list?.replaceChildren(el('li', { class: 'hist-empty', text: e.message }));
    return;
  }
  render();
}

const sorters = {
  name: (a, b) => a.name.localeCompare(b.name),
  address: (a, b) => (a.address < b.address ? -1 : a.address > b.address ? 1 : 0),
  state: (a, b) => Number(a.onDisk) - Number(b.onDisk) || a.name.localeCompare(b.name),
};

function matches(...texts) {
  const f = view.filter.toLowerCase();
  return !f || texts.some((t) => t.toLowerCase().includes(f));
}

function select(key, li, additive) {
  if (!additive) {
    view.selected.clear();
    view.list.querySelectorAll('li[aria-selected="true"]').forEach((x) => x.setAttribute('aria-selected', 'false'));
  }
  view.selected.add(key);
  li.setAttribute('aria-selected', 'true');
}

function historyRow(e) {
  const li = el('li', { 'data-address': e.address, 'aria-selected': String(view.selected.has(e.address)), title: e.path },
    el('div', { class: 'hist-text' },
      el('div', {}, e.name, e.onDisk ? null : el('span', { class: 'hist-gone', text: '  gone' })),
      el('div', { class: 'hist-sub', text: e.address })),
    el('button', { type: 'button', class: 'hist-forget', title: 'Forget this entry', text: '✕' }));
  li.addEventListener('click', (ev) => select(e.address, li, ev.ctrlKey || ev.metaKey));
  li.addEventListener('dblclick', () => openEntry(e));
  li.querySelector('button').addEventListener('click', (ev) => { ev.stopPropagation(); forget([e.address]); });
  return li;
}

function bookmarkRow(url) {
  const li = el('li', { 'data-url': url, 'aria-selected': String(view.selected.has(url)) },
    el('a', { class: 'hist-text', href: url, text: url, title: `Scan ${url}` }),
    el('button', { type: 'button', class: 'hist-forget', title: 'Delete this bookmark', text: '✕' }));
  li.addEventListener('click', (ev) => select(url, li, ev.ctrlKey || ev.metaKey));
  li.querySelector('a').addEventListener('click', (ev) => { ev.preventDefault(); openBookmark(url); });
  li.querySelector('button').addEventListener('click', async (ev) => {
    ev.stopPropagation();
    try { view.bookmarks = (await post('/api/bookmarks/delete', { url })).bookmarks; render(); } catch (err) { dialogs.message('Bookmarks', err.message); }
  });
  return li;
}

function render() {
  if (!view.list) return;
  let rows;
  if (view.mode === 'history') {
    const shown = view.entries.filter((e) => matches(e.name, e.address, e.path)).sort(sorters[view.sort]);
    rows = shown.map(historyRow);
    view.count.textContent = `${shown.length} of ${view.entries.length}`;
    if (!view.entries.length) rows = [el('li', { class: 'hist-empty', text: 'No file has been downloaded into a basket yet.' })];
  } else {
    const shown = view.bookmarks.filter((u) => matches(u));
    rows = shown.map(bookmarkRow);
    view.count.textContent = `${shown.length} of ${view.bookmarks.length}`;
    if (!view.bookmarks.length) rows = [el('li', { class: 'hist-empty', text: 'No bookmarks. Add an address above to scan it again later.' })];
  }
  view.list.replaceChildren(...rows);
}

function openEntry(e) {
  if (!e.onDisk) return dialogs.message('History', `The file is gone: ${e.path}`);
  if (PICTURE.test(e.name)) openViewer(e.path);
  else dialogs.showFolder({ folder: e.folder, path: e.path });
}

async function forget(addresses) {
  if (!addresses.length) return;
  try {
    await post('/api/history/forget', { addresses });
    addresses.forEach((a) => view.selected.delete(a));
    view.entries = view.entries.filter((e) => !addresses.includes(e.address));
    render();
  } catch (err) { dialogs.message('History', err.message); }
}

function createPane() {
  const search = el('input', { type: 'search', placeholder: 'Search', 'aria-label': 'Search the history' });
  const sort = el('select', { 'aria-label': 'Sort by' },
    el('option', { value: 'name', text: 'By name' }), el('option', { value: 'address', text: 'By address' }),
    el('option', { value: 'state', text: 'Gone first' }));
  const tabs = ['history', 'bookmarks'].map((mode) => el('button', { type: 'button', 'data-mode': mode,
    'aria-pressed': String(view.mode === mode), text: mode === 'history' ? 'Downloaded' : 'Bookmarks' }));
  const address = el('input', { type: 'search', placeholder: 'Address to bookmark', class: 'hist-add', hidden: true });
  view.count = el('span', { class: 'hist-count tp-note' });
  view.list = el('ul', { class: 'hist-list', role: 'listbox', 'aria-multiselectable': 'true' });
  const setMode = (mode) => {
    view.mode = mode;
    view.selected.clear();
    tabs.forEach((t) => t.setAttribute('aria-pressed', String(t.dataset.mode === mode)));
    sort.hidden = mode !== 'history';
    address.hidden = mode !== 'bookmarks';
    load();
  };
  tabs.forEach((t) => t.addEventListener('click', () => setMode(t.dataset.mode)));
  search.addEventListener('input', () => { view.filter = search.value; render(); });
  sort.addEventListener('change', () => { view.sort = sort.value; render(); });
  address.addEventListener('keydown', async (e) => {
    if (e.key !== 'Enter' || !address.value.trim()) return;
    try {
      view.bookmarks = (await post('/api/bookmarks', { url: address.value.trim() })).bookmarks;
      address.value = '';
      render();
    } catch (err) { dialogs.message('Bookmarks', err.message); }
  });
  view.list.addEventListener('keydown', (e) => { if (e.key === 'Delete') forgetSelected(); });
  view.list.tabIndex = 0;
  load();
  return el('div', { class: 'hist' },
    el('div', { class: 'hist-tools' }, el('div', { class: 'hist-tabs' }, ...tabs), view.count),
    el('div', { class: 'hist-tools' }, search, sort, address),
    view.list);
}

async function forgetSelected() {
  if (view.mode === 'history') return forget([...view.selected]);
  for (const url of [...view.selected]) {
    try { view.bookmarks = (await post('/api/bookmarks/delete', { url })).bookmarks; } catch { /* already gone */ }
  }
  view.selected.clear();
  render();
}

// The pane and its commands, added to the page's tables.
export function installHistory(panes, commands) {
  panes[PANE_HISTORY] = { title: 'History', create: createPane };
  commands['history.forget'] = () => forgetSelected();
  on('history', () => { if (view.mode === 'history') load(); });
}
