// The basket window (/window/basket?id=ID[&path=FOLDER&select=FILE]): the folder tree of the
// basket's folder, the files of the chosen folder as thumbnails or details, and a preview of the
// selected picture. Files arriving in the folder appear as they come; rename, delete, new folder
// and moving files (a drag onto a folder of the tree, or "Move to...") go through the server, which
// keeps the download history in step.
import { getJson, post } from './api.js';
import { el, bytes } from './format.js';
import { on } from './store.js';
import * as dialogs from './dialogs.js';
import { baskets, basketById, loadBaskets } from './basket_store.js';
import { createFolderTree } from './folder_tree.js';
import { createFileView, FILES_TYPE } from './file_views.js';
import { chooseFolder, followRunningMove, runMove } from './move_dialog.js';
import { loadPicture, describe, fileName, folderOf } from './pictures.js';
import { openViewer } from './viewer.js';

const PANE_FOLDERS = 140, PANE_FILES = 141, PANE_PREVIEW = 142;
const params = new URLSearchParams(location.search);
const basketId = Number(params.get('id'));
const w = { basket: null, folder: params.get('path') || '', select: params.get('select'), listing: null, focus: 'files' };
let tree, view, preview;

const statusSpan = (name) => document.querySelector(`[data-content="${name}"]`);

function currentItems() {
  if (!w.listing) return [];
  const picturesOnly = baskets.view.contentMode === 1;
  return [...w.listing.folders.map((f) => ({ ...f, kind: 'folder' })),
    ...w.listing.files.filter((f) => !picturesOnly || f.picture).map((f) => ({ ...f, kind: 'file' }))];
}

function showStatus() {
  const info = statusSpan('folderInfo');
  if (info && w.listing) {
    const files = w.listing.files, shown = currentItems().filter((x) => x.kind === 'file');
    const total = shown.reduce((s, f) => s + f.size, 0);
    const sel = view.selected();
    let text = `${shown.length} file${shown.length === 1 ? '' : 's'} (${bytes(total)})`;
    if (shown.length < files.length) text += `, ${files.length - shown.length} not pictures hidden`;
    if (sel.length) text += ` · ${sel.length} selected`;
    info.textContent = text;
  }
  const where = statusSpan('folder');
  if (where && w.basket) {
    const rest = w.folder.slice(w.basket.folder.length).split('/').filter(Boolean);
    where.textContent = [w.basket.name, ...rest].join(' › ');
    where.title = w.folder;
  }
}

async function readFolder() {
  if (!w.basket) return;
  try {
    w.listing = await getJson(`/api/baskets/${basketId}/files?${new URLSearchParams({ path: w.folder })}`);
    w.folder = w.listing.path;
  } catch (e) {
    // The folder went away (deleted or renamed elsewhere): back to the basket's folder.
    if (w.folder !== w.basket.folder) { w.folder = w.basket.folder; return readFolder(); }
    w.listing = { folders: [], files: [], path: w.folder };
    dialogs.message(w.basket.name, e.message);
  }
  view.setItems(currentItems());
  if (w.select) { view.select(w.select); w.select = null; }
  showStatus();
  preview.update();
}
let readSoonTimer = 0;
const readFolderSoon = () => { clearTimeout(readSoonTimer); readSoonTimer = setTimeout(readFolder, 200); };

async function navigate(path) {
  if (path === w.folder && w.listing) return;
  w.folder = path;
  await readFolder();
  if (tree.selected?.path !== path) tree.reveal(path);
}

// The basket as the list now has it; its folder may have been renamed or changed.
async function syncBasket() {
  const b = basketById(basketId);
  if (!b) {
    document.getElementById('app').replaceChildren(el('div', { class: 'stopped' },
      el('h1', { text: 'This basket no longer exists.' }), el('p', { text: 'You can close this window.' })));
    return;
  }
  const before = w.basket;
  w.basket = b;
  document.title = `${b.name} - Basket`;
  if (!before || before.folder !== b.folder) {
    if (before && (w.folder === before.folder || w.folder.startsWith(`${before.folder}/`)))
      w.folder = b.folder + w.folder.slice(before.folder.length);
    if (!w.folder) w.folder = b.folder;
    tree.setRoots([{ basket: b.id, name: b.name, path: b.folder }]);
    await readFolder();
    await tree.reveal(w.folder);
  } else showStatus();
}

// Asks for a name; act(name) throws with the server's reason, which the dialog shows.
function askName(title, label, value, okText, act) {
  const name = el('input', { type: 'text', name: 'name', spellcheck: 'false', value });
  const error = el('p', { class: 'dlg-error', role: 'alert' });
  const ok = el('button', { value: 'ok', class: 'primary', text: okText });
  const d = dialogs.dialog(title, el('div', { class: 'dlg-body form-grid' }, el('label', { text: label }), name, el('span'), error),
    [el('button', { value: 'cancel', formnovalidate: true, text: 'Cancel' }), ok]);
  d.classList.add('dlg-name');
  const dot = value.lastIndexOf('.');
  name.setSelectionRange(0, dot > 0 ? dot : value.length);
  name.focus();
  ok.addEventListener('click', async (e) => {
    e.preventDefault();
    ok.disabled = true;
    try {
      await act(name.value);
      d.close('ok');
    } catch (err) {
      error.textContent = err.message;
      ok.disabled = false;
    }
  });
}

// What the commands act on: the selected files, or the tree's folder when the tree has the focus.
function targets() {
  if (w.focus === 'tree' && tree.selected) return [{ kind: 'folder', path: tree.selected.path, name: tree.selected.name }];
  return view.selected();
}

async function afterChange(folders = [w.folder]) {
  await readFolder();
  for (const f of folders) await tree.reload(f);
  loadBaskets();
}

function open(item) {
  if (!item) return;
  if (item.kind === 'folder') return navigate(item.path);
  if (!item.picture) return dialogs.message(item.name, 'Plover shows pictures only; this file is kept in the basket\'s folder.');
  if (baskets.view.externalViewer)
    return post('/api/pictures/external', { path: item.path }).catch((e) => dialogs.message('External viewer', e.message));
  openViewer(item.path);
}

const commands = {
  'files.open': () => open(targets()[0]),
  'files.newFolder': () => askName('New folder', 'Name', 'New Folder', 'Create', async (name) => {
    await post(`/api/baskets/${basketId}/newFolder`, { path: w.folder, name });
    afterChange();
  }),
  'files.rename': () => {
    const it = targets()[0];
    if (!it) return;
    askName('Rename', 'New name', it.name ?? fileName(it.path), 'Rename', async (name) => {
      const answer = await post(`/api/baskets/${basketId}/rename`, { path: it.path, name });
      if (answer.root) return loadBaskets();  // the basket follows its folder
      if (it.kind === 'folder' && (w.folder === it.path || w.folder.startsWith(`${it.path}/`)))
        w.folder = answer.path + w.folder.slice(it.path.length);
      if (it.kind === 'file') w.select = answer.path;
      afterChange([folderOf(it.path)]);
    });
  },
  'files.delete': async () => {
    const list = targets();
    if (!list.length) return;
    const what = list.length === 1 ? `"${list[0].name ?? fileName(list[0].path)}"` : `the ${list.length} selected items`;
    const folders = list.some((x) => x.kind === 'folder');
    if (!(await dialogs.confirmBox('Delete', `Delete ${what}${folders ? ' with everything in it' : ''} from the disk?`, 'Delete'))) return;
    try {
      await post(`/api/baskets/${basketId}/remove`, { paths: list.map((x) => x.path) });
    } catch (e) { dialogs.message('Delete', e.message); }
    if (list.some((x) => x.kind === 'folder' && (w.folder === x.path || w.folder.startsWith(`${x.path}/`))))
      w.folder = folderOf(list[0].path);
    afterChange([...new Set(list.map((x) => folderOf(x.path)))]);
  },
  'files.move': async () => {
    const files = view.selected().filter((x) => x.kind === 'file');
    if (!files.length) return dialogs.message('Move to', 'Choose the files to move first.');
    const folder = await chooseFolder(files.length, w.folder);
    if (folder) moveInto(files.map((x) => x.path), folder);
  },
  'files.selectAll': () => view.selectAll(),
  'files.thumbnails': () => setView({ mode: 0 }),
  'files.details': () => setView({ mode: 1 }),
  'files.picturesOnly': () => setView({ contentMode: baskets.view.contentMode === 1 ? 0 : 1 }),
  'view.refresh': () => { tree.reloadAll(); readFolder(); loadBaskets(); },
  'window.close': () => window.close(),
};

async function moveInto(paths, folder) {
  try {
    await runMove(paths, folder);
  } catch (e) { dialogs.message('Move', e.message); }
  afterChange([w.folder, folder]);
}

async function setView(change) {
  try {
    baskets.view = await post('/api/baskets/view', change);
  } catch (e) { return dialogs.message('View', e.message); }
  view.setMode(baskets.view.mode);
  view.setItems(currentItems());
  showStatus();
  syncViewButtons();
}

function syncViewButtons() {
  for (const [key, on_] of [['files.thumbnails', baskets.view.mode === 0], ['files.details', baskets.view.mode === 1]])
    document.querySelectorAll(`.bar-toolbar [data-command="${key}"]`).forEach((b) => b.setAttribute('aria-pressed', on_));
}

function keys(e) {
  const map = { Delete: 'files.delete', F2: 'files.rename' };
  if (map[e.key]) { commands[map[e.key]](); e.preventDefault(); }
  else if (e.key === 'a' && (e.ctrlKey || e.metaKey) && w.focus === 'files') { commands['files.selectAll'](); e.preventDefault(); }
  else if (e.key === 'Backspace' && w.folder !== w.basket?.folder) { navigate(folderOf(w.folder)); e.preventDefault(); }
}

function contextMenu(x, y, entries) {
  document.querySelector('.menu.context')?.remove();
  const menu = el('div', { class: 'menu context', role: 'menu' });
  for (const entry of entries) {
    if (!entry) { menu.append(el('div', { class: 'menu-sep', role: 'separator' })); continue; }
    const [key, text] = entry;
    menu.append(el('button', { class: 'menu-item', type: 'button', role: 'menuitem', text,
      onclick: () => { menu.remove(); commands[key](); } }));
  }
  menu.style.left = `${Math.min(x, innerWidth - 240)}px`;
  menu.style.top = `${Math.min(y, innerHeight - 240)}px`;
  document.body.append(menu);
  const close = (e) => { if (!menu.contains(e.target)) { menu.remove(); document.removeEventListener('mousedown', close); } };
  setTimeout(() => document.addEventListener('mousedown', close));
  menu.querySelector('button')?.focus();
}

function createFolders() {
  tree = createFolderTree({
    label: 'Folders',
    onSelect: (n) => navigate(n.path),
    onKey: keys,
    onContextMenu: (x, y) => contextMenu(x, y, [['files.newFolder', 'New folder…'], ['files.rename', 'Rename…'],
      ['files.delete', 'Delete'], null, ['view.refresh', 'Refresh']]),
  });
  const pane = el('div', { class: 'folders-pane' }, tree.root);
  pane.addEventListener('focusin', () => { w.focus = 'tree'; });
  // A folder of the tree takes files dragged onto it.
  let lit = null;
  const light = (tr) => { if (lit !== tr) { lit?.classList.remove('drop-target'); lit = tr; tr?.classList.add('drop-target'); } };
  pane.addEventListener('dragover', (e) => {
    const tr = e.target.closest?.('tbody tr');
    if (!tr || !e.dataTransfer.types.includes(FILES_TYPE)) return light(null);
    e.preventDefault();
    e.dataTransfer.dropEffect = 'move';
    light(tr);
  });
  pane.addEventListener('dragleave', (e) => { if (!pane.contains(e.relatedTarget)) light(null); });
  pane.addEventListener('drop', (e) => {
    const tr = e.target.closest?.('tbody tr');
    light(null);
    const data = e.dataTransfer.getData(FILES_TYPE);
    if (!tr || !data) return;
    e.preventDefault();
    moveInto(JSON.parse(data).paths, tr.rowId_);
  });
  return pane;
}

function createFiles() {
  view = createFileView({
    onOpen: open,
    onSelect: () => { showStatus(); preview.update(); },
    onKey: keys,
    onContextMenu: (x, y) => contextMenu(x, y, [['files.open', 'Open'], null, ['files.rename', 'Rename…'],
      ['files.delete', 'Delete'], ['files.move', 'Move to…'], null, ['files.newFolder', 'New folder…'],
      ['files.selectAll', 'Select all']]),
  });
  view.setMode(baskets.view.mode);
  const pane = el('div', { class: 'files-pane' }, view.root);
  pane.addEventListener('focusin', () => { w.focus = 'files'; });
  return pane;
}

// The preview: the one selected picture fitted into the pane, with what it is.
function createPreview() {
  const img = el('img', { class: 'preview-picture', alt: '' });
  const stage = el('div', { class: 'preview-stage' }, img);
  const name = el('div', { class: 'preview-name' });
  const info = el('div', { class: 'preview-info' });
  const pane = el('div', { class: 'preview-pane' }, stage, name, info);
  let loading = null, shown = '';
  preview = {
    async update() {
      const sel = view.selected();
      const one = sel.length === 1 ? sel[0] : null;
      if (one?.path === shown) return;
      shown = one?.path ?? '';
      loading?.abort();
      loading = null;
      img.hidden = true;
      stage.classList.remove('broken');
      if (!one) {
        name.textContent = sel.length ? `${sel.length} items selected` : '';
        info.textContent = sel.length ? bytes(sel.reduce((s, x) => s + (x.size || 0), 0)) : '';
        return;
      }
      name.textContent = one.name;
      const when = new Date(one.modified * 1000).toLocaleString();
      info.textContent = one.kind === 'folder' ? 'Folder' : `${bytes(one.size)} · ${when}`;
      if (!one.picture) return;
      const ratio = window.devicePixelRatio || 1;
      const box = [Math.max(64, stage.clientWidth) * ratio, Math.max(64, stage.clientHeight) * ratio];
      const ctl = new AbortController();
      loading = ctl;
      try {
        const p = await loadPicture(one.path, box, { signal: ctl.signal });
        if (loading !== ctl) return;
        img.src = p.src;
        img.hidden = false;
        info.textContent = `${describe(p.info)} · ${bytes(one.size)} · ${when}`;
      } catch (e) {
        if (loading !== ctl) return;
        stage.classList.add('broken');
        info.textContent = e.message;
      }
    },
  };
  return pane;
}

export function installBasketWindow(panes, cmds) {
  panes[PANE_FOLDERS] = { title: 'Folders', create: createFolders };
  panes[PANE_FILES] = { title: 'Files', create: createFiles };
  panes[PANE_PREVIEW] = { title: 'Preview', create: createPreview };
  Object.assign(cmds, commands);
}

// Called once the basket window is drawn.
export async function startBasketWindow() {
  on('baskets', () => syncBasket());
  on('basketFiles', (paths) => {
    if (!paths.length || paths.some((p) => !p || folderOf(p) === w.folder)) readFolderSoon();
    if (!paths.length) tree.reloadAll();
  });
  window.addEventListener('keydown', (e) => {
    if (e.target.closest?.('dialog, input, textarea, select')) return;
    if (e.key === 'F5') { commands['view.refresh'](); e.preventDefault(); }
  });
  syncViewButtons();
  await loadBaskets();
  followRunningMove();
}
