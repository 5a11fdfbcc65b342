// The files of a basket folder as thumbnails or as details. Thumbnails are tiles of the stored
// thumbnail size, each picture fitted into that box by the server; only the rows of tiles in sight
// are in the document, so a folder of thousands scrolls like one of ten. Details are a grid (name,
// size, type, modified). Both select with click, Shift and Ctrl and the keys, open with a double
// click or Enter, and let the selected files be dragged ("application/x-plover-files").
//
//   const v = createFileView({ onOpen(item), onSelect(), onKey(e), onContextMenu(x, y) });
//   v.setItems(items); v.setMode(0 | 1); v.setThumb([w, h]); v.selected() -> items; v.select(path)
import { el, bytes } from './format.js';
import { createGrid } from './grid.js';
import { clickSelect } from './selection.js';
import { pictureUrl } from './pictures.js';

export const FILES_TYPE = 'application/x-plover-files';

const extension = (name) => { const i = name.lastIndexOf('.'); return i > 0 ? name.slice(i + 1).toUpperCase() : ''; };
const typeOf = (it) => (it.kind === 'folder' ? 'Folder' : `${extension(it.name) || 'File'}${it.picture ? ' picture' : ' file'}`);

export function createFileView({ onOpen, onSelect, onKey, onContextMenu }) {
  let items = [], byPath = new Map(), mode = 0, thumb = [200, 200];
  const selection = new Set();
  let anchor = null, cursor = -1;

  // ---- thumbnails ----
  const canvas = el('div', { class: 'thumb-canvas' });
  const thumbs = el('div', { class: 'thumbs', tabindex: '0', role: 'listbox', 'aria-multiselectable': 'true',
    'aria-label': 'Files' }, canvas);
  const tiles = new Map();  // path -> tile
  const geometry = () => {
    const w = thumb[0] + 20, h = thumb[1] + 40;
    const cols = Math.max(1, Math.floor((thumbs.clientWidth - 8) / w));
    return { w, h, cols };
  };
  const makeTile = (it) => {
    const box = el('div', { class: 'thumb-box' });
    if (it.kind === 'folder') box.append(el('span', { class: 'big-icon folder-icon', 'aria-hidden': 'true' }));
    else if (it.picture) {
      const ratio = window.devicePixelRatio || 1;
      const img = el('img', { alt: '', draggable: 'false', decoding: 'async',
        src: pictureUrl(it.path, [thumb[0] * ratio, thumb[1] * ratio]) });
      img.addEventListener('error', () => { tile.classList.add('broken'); img.remove(); box.append(placeholder(it)); });
      img.addEventListener('load', () => tile.classList.add('loaded'));
      box.append(img);
    } else box.append(placeholder(it));
    const tile = el('div', { class: `tile ${it.kind}`, role: 'option', 'data-path': it.path, title: it.name,
      draggable: it.kind === 'file' ? 'true' : 'false' }, box, el('div', { class: 'tile-name', text: it.name }));
    tile.modified_ = it.modified;
    tile.style.width = `${thumb[0] + 16}px`;
    box.style.height = `${thumb[1]}px`;
    return tile;
  };
  const placeholder = (it) => el('span', { class: 'big-icon file-icon', text: extension(it.name).slice(0, 4) });
  const drawThumbs = () => {
    if (mode !== 0) return;
    const { w, h, cols } = geometry();
    const rows = Math.ceil(items.length / cols);
    canvas.style.height = `${rows * h + 8}px`;
    const first = Math.max(0, Math.floor(thumbs.scrollTop / h) - 1);
    const last = Math.min(rows, Math.ceil((thumbs.scrollTop + thumbs.clientHeight) / h) + 1);
    const wanted = new Set();
    for (let i = first * cols; i < Math.min(items.length, last * cols); i++) {
      const it = items[i];
      wanted.add(it.path);
      let tile = tiles.get(it.path);
      if (!tile) { tile = makeTile(it); tiles.set(it.path, tile); canvas.append(tile); }
      tile.style.transform = `translate(${4 + (i % cols) * w}px, ${4 + Math.floor(i / cols) * h}px)`;
      tile.setAttribute('aria-selected', selection.has(it.path));
    }
    for (const [path, tile] of tiles) if (!wanted.has(path)) { tile.remove(); tiles.delete(path); }
  };
  const dropTiles = () => { for (const t of tiles.values()) t.remove(); tiles.clear(); };
  thumbs.addEventListener('scroll', drawThumbs);
  new ResizeObserver(drawThumbs).observe(thumbs);

  const showIndex = (i) => {
    const { h, cols } = geometry();
    const top = Math.floor(i / cols) * h;
    if (top < thumbs.scrollTop) thumbs.scrollTop = top;
    else if (top + h > thumbs.scrollTop + thumbs.clientHeight) thumbs.scrollTop = top + h - thumbs.clientHeight;
    drawThumbs();
  };
  const choose = (path, e = {}) => {
    const index = items.findIndex((x) => x.path === path);
    const at = clickSelect(selection, (i) => items[i].path, items.findIndex((x) => x.path === anchor), index, e);
    anchor = items[at]?.path ?? null;
    cursor = index;
    drawThumbs();
    onSelect?.();
  };
  thumbs.addEventListener('mousedown', (e) => {
    const tile = e.target.closest('.tile');
    thumbs.focus({ preventScroll: true });
    if (!tile) { if (e.button === 0 && !e.ctrlKey && !e.shiftKey) choose(null); return; }
    const path = tile.dataset.path;
    // A press on a selected file may start dragging them all: the choice waits for the release.
    if (selection.has(path) && !e.ctrlKey && !e.shiftKey) { tile.pending_ = true; return; }
    if (!(e.button === 2 && selection.has(path))) choose(path, e);
  });
  thumbs.addEventListener('click', (e) => {
    const tile = e.target.closest('.tile');
    if (tile?.pending_) { tile.pending_ = false; choose(tile.dataset.path); }
  });
  thumbs.addEventListener('dblclick', (e) => { const t = e.target.closest('.tile'); if (t) onOpen?.(byPath.get(t.dataset.path)); });
  thumbs.addEventListener('contextmenu', (e) => {
    e.preventDefault();
    const t = e.target.closest('.tile');
    if (t && !selection.has(t.dataset.path)) choose(t.dataset.path);
    onContextMenu?.(e.clientX, e.clientY);
  });
  thumbs.addEventListener('keydown', (e) => {
    const { cols } = geometry();
    const page = cols * Math.max(1, Math.floor(thumbs.clientHeight / geometry().h));
    const moves = { ArrowRight: 1, ArrowLeft: -1, ArrowDown: cols, ArrowUp: -cols, PageDown: page, PageUp: -page,
      Home: -Infinity, End: Infinity };
    if (e.key === 'Enter') { const it = byPath.get(anchor); if (it) onOpen?.(it); e.preventDefault(); return; }
    if (!(e.key in moves)) { onKey?.(e); return; }
    if (!items.length) return;
    const to = Math.max(0, Math.min(items.length - 1, (cursor < 0 ? -1 : cursor) + moves[e.key]));
    choose(items[to].path, { shiftKey: e.shiftKey });
    showIndex(to);
    e.preventDefault();
  });
  thumbs.addEventListener('dragstart', (e) => {
    const tile = e.target.closest('.tile');
    if (!tile) return;
    if (!selection.has(tile.dataset.path)) choose(tile.dataset.path);
    tile.pending_ = false;
    startDrag(e);
  });

  // ---- details ----
  const grid = createGrid({
    label: 'Files',
    rowHeight: 24,
    columns: [
      { key: 'name', title: 'Name', cls: 'c-fname', type: 'custom', value: (it) => it,
        create: () => el('span', { class: 'fname' }, el('span', { class: 'small-icon' }), el('span', { class: 'cell-text' })),
        draw: (n, it) => {
          n.firstChild.className = `small-icon ${it.kind === 'folder' ? 'folder-icon' : it.picture ? 'picture-icon' : 'file-icon'}`;
          n.lastChild.textContent = it.name;
          n.title = it.name;
        } },
      { key: 'size', title: 'Size', cls: 'c-num', value: (it) => (it.kind === 'file' ? bytes(it.size) : '') },
      { key: 'type', title: 'Type', cls: 'c-type', value: typeOf },
      { key: 'modified', title: 'Modified', cls: 'c-date', type: 'date', value: (it) => it.modified },
    ],
    onActivate: (path) => onOpen?.(byPath.get(path)),
    onKey: (e) => onKey?.(e),
    onContextMenu: (x, y) => onContextMenu?.(x, y),
    onSelect: () => {
      selection.clear();
      for (const p of grid.selection) selection.add(p);
      anchor = [...grid.selection].at(-1) ?? null;
      onSelect?.();
    },
  });
  grid.root.classList.add('details');
  grid.root.addEventListener('mousedown', (e) => {
    const tr = e.target.closest('tbody tr');
    if (tr) tr.draggable = byPath.get(tr.rowId_)?.kind === 'file';
  });
  grid.root.addEventListener('dragstart', startDrag);

  function startDrag(e) {
    const paths = [...selection].filter((p) => byPath.get(p)?.kind === 'file');
    if (!paths.length) { e.preventDefault(); return; }
    e.dataTransfer.setData(FILES_TYPE, JSON.stringify({ paths }));
    e.dataTransfer.setData('text/plain', paths.join('\n'));
    e.dataTransfer.effectAllowed = 'move';
  }

  const root = el('div', { class: 'file-view' }, thumbs, grid.root);
  const show = () => {
    thumbs.hidden = mode !== 0;
    grid.root.hidden = mode !== 1;
    if (mode === 1) {
      grid.setRows(items.map((x) => x.path), (p) => byPath.get(p));
      for (const p of [...grid.selection]) if (!selection.has(p)) grid.selection.delete(p);
      for (const p of selection) grid.selection.add(p);
      grid.setRows(items.map((x) => x.path), (p) => byPath.get(p));
    } else drawThumbs();
  };

  return {
    root,
    setItems(list) {
      items = list;
      byPath = new Map(list.map((x) => [x.path, x]));
      for (const p of [...selection]) if (!byPath.has(p)) selection.delete(p);
      // A file changed under the same name shows its new picture.
      for (const [p, t] of tiles) if (!byPath.has(p) || byPath.get(p).modified !== t.modified_) { t.remove(); tiles.delete(p); }
      cursor = anchor != null ? items.findIndex((x) => x.path === anchor) : -1;
      show();
    },
    setMode(m) { mode = m; show(); },
    setThumb(size) { if (size[0] !== thumb[0] || size[1] !== thumb[1]) { thumb = size; dropTiles(); show(); } },
    selected: () => items.filter((x) => selection.has(x.path)),
    select(path) {
      if (!byPath.has(path)) return;
      if (mode === 1) return grid.select(path);
      choose(path);
      showIndex(items.findIndex((x) => x.path === path));
    },
    selectAll() {
      for (const it of items) selection.add(it.path);
      if (mode === 1) show(); else drawThumbs();
      onSelect?.();
    },
    focus() { (mode === 1 ? grid.root : thumbs).focus(); },
  };
}
