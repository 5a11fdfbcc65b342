// The tile grid: pictures as tiles in rows that fill the width, with only the tiles in sight in
// the document, so five thousand thumbnails scroll like fifty. Selection as a file manager has it:
// click, Ctrl+click, Shift+click, a rubber band drawn from the empty space (Ctrl adds to the
// selection), the arrow keys, Ctrl+A; Enter or a double click opens the tile; a selected tile can be
// dragged with the whole selection.
//
//   const g = createTileGrid({ label, tileWidth, tileHeight, create(), draw(node, index), onActivate(index),
//                              onSelect(), onHover(index | null), onDragStart(event, indices), onContextMenu(x, y) });
//   g.setCount(n)   // the tiles are 0..n-1; the owner maps them to its items
//   g.update(i)     // tile i changed: redrawn at once when in sight
import { el } from './format.js';
import { clickSelect } from './selection.js';

const PAD = 8;

export function createTileGrid({ label, tileWidth = 148, tileHeight = 136, create, draw, onActivate, onSelect, onHover,
  onDragStart, onContextMenu }) {
  const sizer = el('div', { class: 'tiles-sizer' });
  const band = el('div', { class: 'rubber-band', hidden: true });
  const scroller = el('div', { class: 'tiles-scroll', tabindex: '0', role: 'listbox', 'aria-multiselectable': 'true',
    'aria-label': label }, sizer, band);
  const selection = new Set();
  const shown = new Map();  // index -> tile node
  const spare = [];
  let count = 0, anchor = -1, cursor = -1, columns = 1;

  const place = (i) => [PAD + (i % columns) * tileWidth, PAD + Math.floor(i / columns) * tileHeight];
  const mark = (node, i) => {
    node.setAttribute('aria-selected', selection.has(i));
    node.classList.toggle('cursor', i === cursor);
  };
  const fill = (node, i) => {
    node.index_ = i;
    node.dataset.index = i;
    const [x, y] = place(i);
    node.style.transform = `translate(${x}px, ${y}px)`;
    draw(node, i);
    mark(node, i);
  };

  // The rows in sight, and one either side, are drawn; tiles that leave are kept for reuse.
  const render = () => {
    columns = Math.max(1, Math.floor((scroller.clientWidth - 2 * PAD) / tileWidth));
    const rows = Math.ceil(count / columns);
    sizer.style.height = `${rows * tileHeight + 2 * PAD}px`;
    const top = Math.max(0, Math.floor((scroller.scrollTop - PAD) / tileHeight) - 1);
    const bottom = Math.min(rows, Math.ceil((scroller.scrollTop + scroller.clientHeight) / tileHeight) + 1);
    const first = top * columns, last = Math.min(count, bottom * columns);
    for (const [i, node] of shown) {
      if (i >= first && i < last) continue;
      shown.delete(i);
      node.hidden = true;
      spare.push(node);
    }
    for (let i = first; i < last; i++) {
      let node = shown.get(i);
      if (!node) {
        node = spare.pop() ?? sizer.appendChild(Object.assign(create(), { draggable: true }));
        node.hidden = false;
        node.classList.add('tile');
        node.setAttribute('role', 'option');
        shown.set(i, node);
        fill(node, i);
      } else if (node.columns_ !== columns) {
        fill(node, i);
      }
      node.columns_ = columns;
    }
  };
  let pending = false;
  const renderSoon = () => {
    if (pending) return;
    pending = true;
    requestAnimationFrame(() => { pending = false; render(); });
  };
  scroller.addEventListener('scroll', render);
  new ResizeObserver(render).observe(scroller);

  const changed = () => {
    for (const [i, node] of shown) mark(node, i);
    onSelect?.();
  };
  const show = (i) => {
    const y = PAD + Math.floor(i / columns) * tileHeight;
    if (y < scroller.scrollTop) scroller.scrollTop = y - PAD;
    else if (y + tileHeight > scroller.scrollTop + scroller.clientHeight) scroller.scrollTop = y + tileHeight - scroller.clientHeight + PAD;
    render();
  };
  function select(i, { shiftKey = false, ctrlKey = false } = {}) {
    anchor = clickSelect(selection, (k) => k, anchor, i, { shiftKey, ctrlKey });
    cursor = i;
    changed();
  }

  const tileOf = (e) => e.target.closest('.tile');
  // A click on a selected tile keeps the selection until the button is released without a drag,
  // so the whole selection can be dragged.
  let clickOnSelected = -1;
  scroller.addEventListener('mousedown', (e) => {
    const tile = tileOf(e);
    if (e.button === 2 && tile && selection.has(tile.index_)) return;
    if (tile) {
      const ctrlKey = e.ctrlKey || e.metaKey;
      if (!ctrlKey && !e.shiftKey && selection.has(tile.index_)) clickOnSelected = tile.index_;
      else select(tile.index_, { shiftKey: e.shiftKey, ctrlKey });
      return;
    }
    if (e.button !== 0 || e.offsetX >= scroller.clientWidth) return;  // the scroll bar
    startBand(e);
  });
  scroller.addEventListener('mouseup', (e) => {
    const tile = tileOf(e);
    if (tile && tile.index_ === clickOnSelected) select(tile.index_);
    clickOnSelected = -1;
  });
  scroller.addEventListener('dblclick', (e) => { const t = tileOf(e); if (t) onActivate?.(t.index_); });
  scroller.addEventListener('mouseover', (e) => { const t = tileOf(e); onHover?.(t ? t.index_ : null); });
  scroller.addEventListener('mouseleave', () => onHover?.(null));
  scroller.addEventListener('contextmenu', (e) => {
    const t = tileOf(e);
    if (!t) return;
    e.preventDefault();
    if (!selection.has(t.index_)) select(t.index_);
    onContextMenu?.(e.clientX, e.clientY);
  });
  scroller.addEventListener('dragstart', (e) => {
    const t = tileOf(e);
    if (!t) return;
    clickOnSelected = -1;
    if (!selection.has(t.index_)) select(t.index_);
    onDragStart?.(e, [...selection].sort((a, b) => a - b));
  });

  // The rubber band: the tiles it touches are selected (added to the selection with Ctrl).
  function startBand(e) {
    const box = scroller.getBoundingClientRect();
    const at = (ev) => [ev.clientX - box.left + scroller.scrollLeft, ev.clientY - box.top + scroller.scrollTop];
    const [x0, y0] = at(e);
    const base = e.ctrlKey || e.metaKey ? new Set(selection) : new Set();
    if (!e.ctrlKey && !e.metaKey) { selection.clear(); changed(); }
    scroller.focus();
    const move = (ev) => {
      if (ev.clientY > box.bottom) scroller.scrollTop += ev.clientY - box.bottom;
      else if (ev.clientY < box.top) scroller.scrollTop -= box.top - ev.clientY;
      const [x1, y1] = at(ev);
      const left = Math.min(x0, x1), right = Math.max(x0, x1), top = Math.min(y0, y1), bottom = Math.max(y0, y1);
      Object.assign(band.style, { left: `${left}px`, top: `${top}px`, width: `${right - left}px`, height: `${bottom - top}px` });
      band.hidden = false;
      selection.clear();
      for (const i of base) selection.add(i);
      const c0 = Math.max(0, Math.floor((left - PAD) / tileWidth)), c1 = Math.min(columns - 1, Math.floor((right - PAD) / tileWidth));
      const r0 = Math.max(0, Math.floor((top - PAD) / tileHeight)), r1 = Math.floor((bottom - PAD) / tileHeight);
      for (let r = r0; r <= r1; r++)
        for (let c = c0; c <= c1; c++) {
          const i = r * columns + c;
          if (i < count) selection.add(i);
        }
      changed();
      ev.preventDefault();
    };
    const up = () => {
      band.hidden = true;
      document.removeEventListener('mousemove', move);
      document.removeEventListener('mouseup', up);
    };
    document.addEventListener('mousemove', move);
    document.addEventListener('mouseup', up);
    e.preventDefault();
  }

  scroller.addEventListener('keydown', (e) => {
    if (e.target !== scroller) return;
    if ((e.ctrlKey || e.metaKey) && e.key.toLowerCase() === 'a') { api.selectAll(); e.preventDefault(); return; }
    if (e.key === 'Enter') { if (cursor >= 0) onActivate?.(cursor); e.preventDefault(); return; }
    if (e.key === ' ' && cursor >= 0) { select(cursor, { ctrlKey: true }); e.preventDefault(); return; }
    const page = columns * Math.max(1, Math.floor(scroller.clientHeight / tileHeight) - 1);
    const moves = { ArrowRight: 1, ArrowLeft: -1, ArrowDown: columns, ArrowUp: -columns, PageDown: page, PageUp: -page,
      Home: -Infinity, End: Infinity };
    if (!(e.key in moves) || !count) return;
    const to = Math.max(0, Math.min(count - 1, (cursor < 0 ? 0 : cursor) + moves[e.key]));
    select(to, { shiftKey: e.shiftKey });
    show(to);
    e.preventDefault();
  });

  const api = {
    root: scroller,
    selection,
    setCount(n) {
      if (n < count) {
        for (const i of [...selection]) if (i >= n) selection.delete(i);
        if (anchor >= n) anchor = -1;
        if (cursor >= n) cursor = -1;
      }
      count = n;
      renderSoon();
    },
    // Everything drawn again (new data for the same tiles).
    redraw() {
      for (const [i, node] of shown) fill(node, i);
    },
    update(i) {
      const node = shown.get(i);
      if (node) fill(node, i);
    },
    selectAll() {
      for (let i = 0; i < count; i++) selection.add(i);
      changed();
    },
    setSelection(indices) {
      selection.clear();
      for (const i of indices) selection.add(i);
      anchor = cursor = indices.length ? indices[0] : -1;
      changed();
    },
    clear() {
      count = 0;
      selection.clear();
      anchor = cursor = -1;
      for (const [, node] of shown) { node.hidden = true; spare.push(node); }
      shown.clear();
      renderSoon();
    },
  };
  return api;
}
