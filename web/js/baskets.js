// The baskets pane of the main window: every basket with its folder and how many files it holds
// (and how many are still on their way); new, properties and delete with the basket rules' own
// messages; a double click opens the basket window. Each basket is a drop target: pictures dragged
// from a scan document ("application/x-plover-pictures", {doc, items}) are sent to it, files
// dragged from a basket window ("application/x-plover-files", {paths}) are moved into its folder.
import { post } from './api.js';
import { el } from './format.js';
import { on } from './store.js';
import { createGrid } from './grid.js';
import * as dialogs from './dialogs.js';
import { baskets, basketById, loadBaskets } from './basket_store.js';
import { runMove } from './move_dialog.js';
import { placedFeatures } from './window_place.js';

export const PICTURES_TYPE = 'application/x-plover-pictures';
export const FILES_TYPE = 'application/x-plover-files';
const PANE_BASKETS = 101;

let grid = null;
const selectedId = () => [...(grid?.selection ?? [])][0];

function countText(b) {
  if (!b.exists) return 'folder missing';
  const files = `${b.files}${b.more ? '+' : ''} file${b.files === 1 && !b.more ? '' : 's'}`;
  return b.queued ? `${files}, ${b.queued} coming` : files;
}

const COLUMNS = [
  { key: 'name', title: 'Basket', cls: 'c-basket', type: 'custom', value: (b) => b,
    create: () => el('div', { class: 'basket-cell' }, el('span', { class: 'basket-icon', 'aria-hidden': 'true' }),
      el('div', { class: 'basket-text' }, el('div', { class: 'basket-name' }), el('div', { class: 'basket-folder' }))),
    draw: (n, b) => {
      const [name, folder] = n.lastChild.children;
      name.textContent = b.name;
      folder.textContent = b.folder;
      n.title = `${b.name}\n${b.folder}`;
      n.classList.toggle('missing', !b.exists);
    } },
  { key: 'files', title: 'Files', cls: 'c-count', value: (b) => countText(b) },
];

export function openBasketWindow(id, folder, select) {
  const q = new URLSearchParams({ id: String(id) });
  if (folder) q.set('path', folder);
  if (select) q.set('select', select);
  window.open(`/window/basket?${q}`, `plover-basket-${id}`, placedFeatures('BasketWndPos', 1180, 760));
}

// New or edited basket: name, folder and where the files go; the server applies the rules and its
// refusal is shown in the dialog, which stays open.
function basketDialog(basket) {
  const name = el('input', { type: 'text', name: 'name', spellcheck: 'false', value: basket?.name ?? baskets.newName });
  const folder = el('input', { type: 'text', name: 'folder', spellcheck: 'false', value: basket?.folder ?? '',
    placeholder: '/home/you/Pictures/Basket' });
  const dispatch = el('select', { name: 'dispatch' },
    el('option', { value: '0', text: 'Into the basket\'s folder' }),
    el('option', { value: '1', text: 'Into a folder per server' }));
  dispatch.value = String(basket?.dispatch === 1 ? 1 : 0);
  const error = el('p', { class: 'dlg-error', role: 'alert' });
  const ok = el('button', { value: 'ok', class: 'primary', text: 'OK' });
  const body = el('div', { class: 'dlg-body form-grid' },
    el('label', { text: 'Name' }), name,
    el('label', { text: 'Folder' }), folder,
    el('label', { text: 'Files go' }), dispatch,
    el('span'), error);
  const d = dialogs.dialog(basket ? 'Basket Properties' : 'New Basket', body,
    [el('button', { value: 'cancel', formnovalidate: true, text: 'Cancel' }), ok]);
  d.classList.add('dlg-basket');
  name.select();
  ok.addEventListener('click', async (e) => {
    e.preventDefault();
    ok.disabled = true;
    const request = { name: name.value, folder: folder.value.trim(), dispatch: Number(dispatch.value) };
    try {
      await post(basket ? `/api/baskets/${basket.id}/edit` : '/api/baskets', request);
      d.close('ok');
      loadBaskets();
    } catch (err) {
      error.textContent = err.message;
      ok.disabled = false;
    }
  });
}

async function deleteBasket(id) {
  const b = basketById(id);
  if (!b) return;
  if (!(await dialogs.confirmBox('Delete basket', 'Do you really want to delete the selected basket?', 'Delete'))) return;
  try {
    await post(`/api/baskets/${id}/delete`);
    loadBaskets();
  } catch (e) { dialogs.message('Delete basket', e.message); }
}

// What a drop on basket b does with what was dragged.
async function dropOn(b, data) {
  const pictures = data.getData(PICTURES_TYPE);
  const files = data.getData(FILES_TYPE);
  try {
    if (pictures) {
      const { doc, items } = JSON.parse(pictures);
      await post(`/api/scan/${encodeURIComponent(doc)}/send`, { basket: b.id, items });
    } else if (files) {
      await runMove(JSON.parse(files).paths, b.folder);
    }
  } catch (e) {
    dialogs.message(`Send to "${b.name}"`, e.message === 'Not Found' ? 'This Plover cannot send pictures to a basket yet.' : e.message);
  }
}

function acceptsDrop(e) {
  const types = [...(e.dataTransfer?.types ?? [])];
  return types.includes(PICTURES_TYPE) || types.includes(FILES_TYPE);
}

function createPane(ctx) {
  grid = createGrid({
    label: 'Baskets',
    columns: COLUMNS,
    rowHeight: 42,
    rowState: (b) => (b.exists ? '' : 'missing'),
    onActivate: (id) => openBasketWindow(id),
    onKey: (e) => {
      if (e.key === 'Delete') { deleteBasket(selectedId()); e.preventDefault(); }
      if (e.key === 'F2') { ctx.command('basket.edit'); e.preventDefault(); }
    },
    onContextMenu: (x, y) => contextMenu(x, y, ctx),
  });
  const bar = el('div', { class: 'bar bar-toolbar pane-bar', role: 'toolbar' },
    ...[['basket.new', 'New…'], ['basket.edit', 'Properties…'], ['basket.delete', 'Delete'], ['basket.open', 'Open']]
      .map(([key, text]) => el('button', { type: 'button', class: 'tb-button', 'data-command': key, text,
        onclick: () => ctx.command(key) })));
  const empty = el('div', { class: 'empty' }, el('p', { text: 'No baskets yet.' }),
    el('button', { type: 'button', class: 'link', text: 'New basket…', onclick: () => ctx.command('basket.new') }));
  const root = el('div', { class: 'baskets-pane' }, bar, grid.root, empty);
  const render = () => {
    const ids = baskets.list.map((b) => b.id);
    grid.setRows(ids, basketById);
    empty.hidden = !baskets.loaded || ids.length > 0;
    grid.root.hidden = ids.length === 0;
    if (baskets.error) empty.firstChild.textContent = baskets.error;
  };
  on('baskets', render);

  // Drop targets: the row under the pointer lights up.
  let lit = null;
  const light = (tr) => { if (lit !== tr) { lit?.classList.remove('drop-target'); lit = tr; tr?.classList.add('drop-target'); } };
  grid.root.addEventListener('dragover', (e) => {
    const tr = e.target.closest?.('tbody tr');
    if (!tr || !acceptsDrop(e)) return light(null);
    e.preventDefault();
    e.dataTransfer.dropEffect = e.dataTransfer.types.includes(FILES_TYPE) ? 'move' : 'copy';
    light(tr);
  });
  grid.root.addEventListener('dragleave', (e) => { if (!grid.root.contains(e.relatedTarget)) light(null); });
  grid.root.addEventListener('drop', (e) => {
    const tr = e.target.closest?.('tbody tr');
    light(null);
    const b = tr && basketById(tr.rowId_);
    if (!b || !acceptsDrop(e)) return;
    e.preventDefault();
    dropOn(b, e.dataTransfer);
  });
  render();
  loadBaskets();
  return root;
}

function contextMenu(x, y, ctx) {
  document.querySelector('.menu.context')?.remove();
  const menu = el('div', { class: 'menu context', role: 'menu' });
  for (const entry of [['basket.open', 'Open'], ['basket.edit', 'Properties…'], ['basket.delete', 'Delete basket'],
    null, ['basket.new', 'New basket…']]) {
    const [key, text] = entry ?? [];
    if (!key) { menu.append(el('div', { class: 'menu-sep', role: 'separator' })); continue; }
    menu.append(el('button', { class: 'menu-item', type: 'button', role: 'menuitem', text,
      onclick: () => { menu.remove(); ctx.command(key); } }));
  }
  menu.style.left = `${Math.min(x, innerWidth - 240)}px`;
  menu.style.top = `${Math.min(y, innerHeight - 160)}px`;
  document.body.append(menu);
  const close = (e) => { if (!menu.contains(e.target)) { menu.remove(); document.removeEventListener('mousedown', close); } };
  setTimeout(() => document.addEventListener('mousedown', close));
  menu.querySelector('button')?.focus();
}

// The pane and its commands, added to the page's tables.
export function installBaskets(panes, commands) {
  panes[PANE_BASKETS] = { title: 'Baskets', create: createPane };
  Object.assign(commands, {
    'basket.new': () => basketDialog(null),
    'basket.edit': () => { const b = basketById(selectedId()); if (b) basketDialog(b); },
    'basket.delete': () => deleteBasket(selectedId()),
    'basket.open': () => { const id = selectedId(); if (id != null) openBasketWindow(id); },
  });
}
