// The grid: a table of rows with typed cells, selection by mouse and keyboard, and only the rows
// in sight in the document, so a list of ten thousand rows scrolls and updates as fast as one of
// ten. Rows have one fixed height; the rows above and below the window are a padding.
//
//   const g = createGrid({ label, columns, rowHeight, rowState, onActivate, onKey, onContextMenu, onSelect });
//   g.setRows(ids, get)   // the row ids in order and get(id) -> the row's data
//   g.update(id)          // one row's data changed: redrawn at the next frame if in sight
//
// A column is { key, title, cls, type, value: (row) => ..., ...type options }; the types are
// below. A cell's value is what its type shows (text, a number, a date, a colour...).
import { el } from './format.js';
import { clickSelect } from './selection.js';

const text = { create: () => el('span', { class: 'cell-text' }), set: (n, v) => { n.textContent = v ?? ''; n.title = v ?? ''; } };

export const CELL_TYPES = {
  text,
  heading: { create: () => el('strong', { class: 'cell-heading' }), set: text.set },
  separator: { create: () => el('hr', { class: 'cell-separator' }), set: () => {} },
  edit: {
    create: (col) => el('input', { type: 'text', class: 'cell-edit', onchange: (e) => col.onEdit?.(e.target.closest('tr').rowId_, e.target.value) }),
    set: (n, v) => { if (document.activeElement !== n) n.value = v ?? ''; },
  },
  picture: { create: () => el('img', { class: 'cell-picture', alt: '' }), set: (n, v) => { n.hidden = !v; if (v && n.getAttribute('src') !== v) n.src = v; } },
  image: { create: () => el('img', { class: 'cell-image', alt: '' }), set: (n, v) => { n.hidden = !v; if (v && n.getAttribute('src') !== v) n.src = v; } },
  button: {
    create: (col) => el('button', { type: 'button', class: 'cell-button', onclick: (e) => col.onClick?.(e.target.closest('tr').rowId_) }),
    set: (n, v) => { n.textContent = v ?? ''; },
  },
  check: {
    create: (col) => el('input', { type: 'checkbox', class: 'cell-check', onchange: (e) => col.onEdit?.(e.target.closest('tr').rowId_, e.target.checked) }),
    set: (n, v) => { n.checked = !!v; },
  },
  progress: {
    create: () => el('div', { class: 'progress-cell' }, el('div', { class: 'progress' }, el('div', { class: 'progress-fill' })), el('span', { class: 'progress-text' })),
    // v: { percent (or -1 when unknown), text, busy }
    set: (n, v) => {
      const [bar, label] = n.children;
      bar.firstChild.style.width = `${Math.max(0, v.percent)}%`;
      bar.classList.toggle('unknown', v.percent < 0 && !!v.busy);
      label.textContent = v.text ?? '';
    },
  },
  date: { create: () => el('time', { class: 'cell-date' }), set: (n, v) => { n.textContent = v ? new Date(v * 1000).toLocaleString() : ''; } },
  slider: {
    create: (col) => el('input', { type: 'range', class: 'cell-slider', min: String(col.min ?? 0), max: String(col.max ?? 100),
      onchange: (e) => col.onEdit?.(e.target.closest('tr').rowId_, Number(e.target.value)) }),
    set: (n, v) => { n.value = String(v ?? 0); },
  },
  tree: {
    // v: { text, level, open (undefined: a leaf) }
    create: (col) => el('span', { class: 'cell-tree' }, el('button', { type: 'button', class: 'tree-toggle', tabindex: '-1',
      onclick: (e) => col.onToggle?.(e.target.closest('tr').rowId_) }), el('span', { class: 'cell-text' })),
    set: (n, v) => {
      n.style.paddingLeft = `${(v.level ?? 0) * 16}px`;
      n.firstChild.textContent = v.open === undefined ? '' : v.open ? '▾' : '▸';
      n.lastChild.textContent = v.text ?? '';
    },
  },
  colour: { create: () => el('span', { class: 'cell-colour' }), set: (n, v) => { n.style.background = v ?? 'transparent'; n.title = v ?? ''; } },
  combo: {
    create: (col) => el('select', { class: 'cell-combo', onchange: (e) => col.onEdit?.(e.target.closest('tr').rowId_, e.target.value) },
      ...(col.options ?? []).map(([value, label]) => el('option', { value: String(value), text: label }))),
    set: (n, v) => { n.value = String(v ?? ''); },
  },
  // A cell the column draws itself: col.create() and col.draw(node, value).
  custom: { create: (col) => col.create(), set: (n, v, col) => col.draw(n, v) },
};

// onResized(index, px): the user dragged a column's right edge (only given, columns can be resized).
export function createGrid({ label, columns, rowHeight = 26, rowState, onActivate, onKey, onContextMenu, onSelect, onResized }) {
  const body = el('tbody');
  const cols = columns.map((c) => el('col', { class: c.cls }));
  const heads = columns.map((c) => el('th', { scope: 'col', class: c.cls, text: c.title }));
  const table = el('table', { class: 'grid', role: 'grid', 'aria-label': label },
    el('colgroup', {}, ...cols), el('thead', {}, el('tr', {}, ...heads)), body);
  if (onResized) heads.forEach((th, i) => th.append(resizeHandle(th, cols[i], (px) => onResized(i, px))));
  const scroller = el('div', { class: 'grid-scroll', tabindex: '0' }, table);
  scroller.style.setProperty('--row-height', `${rowHeight}px`);
  const selection = new Set();
  let ids = [], get = () => null, anchor = null, cursor = -1;
  const dirty = new Set();
  let scheduled = false;

  const makeRow = () => {
    const tr = el('tr', { 'aria-selected': 'false' });
    tr.cells_ = columns.map((c) => {
      const node = CELL_TYPES[c.type ?? 'text'].create(c);
      tr.append(el('td', { class: c.cls }, node));
      return node;
    });
    return tr;
  };
  const fill = (tr, id) => {
    const row = get(id);
    tr.rowId_ = id;
    tr.dataset.id = id;
    if (!row) return;
    columns.forEach((c, i) => CELL_TYPES[c.type ?? 'text'].set(tr.cells_[i], c.value(row), c));
    tr.dataset.state = rowState?.(row) ?? '';
    tr.setAttribute('aria-selected', selection.has(id));
  };

  // The window of rows in sight (and a few either side) is drawn; padding stands for the rest.
  const draw = () => {
    const head = table.tHead.offsetHeight;
    const first = Math.max(0, Math.floor((scroller.scrollTop - head) / rowHeight) - 5);
    const count = Math.ceil(scroller.clientHeight / rowHeight) + 10;
    const last = Math.min(ids.length, first + count);
    while (body.children.length < last - first) body.append(makeRow());
    while (body.children.length > last - first) body.lastChild.remove();
    for (let i = first; i < last; i++) fill(body.children[i - first], ids[i]);
    table.style.marginTop = `${first * rowHeight}px`;
    table.style.marginBottom = `${(ids.length - last) * rowHeight}px`;
    body.firstRow_ = first;
  };
  scroller.addEventListener('scroll', () => draw());
  new ResizeObserver(() => draw()).observe(scroller);

  const flush = () => {
    scheduled = false;
    for (const tr of body.children) if (dirty.has(tr.rowId_)) fill(tr, tr.rowId_);
    dirty.clear();
  };

  const showRow = (index) => {
    const top = table.tHead.offsetHeight + index * rowHeight;
    if (top - table.tHead.offsetHeight < scroller.scrollTop) scroller.scrollTop = index * rowHeight;
    else if (top + rowHeight > scroller.scrollTop + scroller.clientHeight) scroller.scrollTop = top + rowHeight - scroller.clientHeight;
    draw();
  };

  function select(id, e = {}) {
    const index = ids.indexOf(id);
    anchor = ids[clickSelect(selection, (i) => ids[i], ids.indexOf(anchor), index, e)] ?? null;
    cursor = index;
    for (const tr of body.children) tr.setAttribute('aria-selected', selection.has(tr.rowId_));
    onSelect?.();
  }

  body.addEventListener('mousedown', (e) => {
    const tr = e.target.closest('tr');
    if (!tr || e.target.closest('input,select,button')) return;
    if (!(e.button === 2 && selection.has(tr.rowId_))) select(tr.rowId_, e);
  });
  body.addEventListener('dblclick', (e) => { const tr = e.target.closest('tr'); if (tr) onActivate?.(tr.rowId_, 'mouse'); });
  body.addEventListener('contextmenu', (e) => {
    const tr = e.target.closest('tr');
    if (!tr) return;
    e.preventDefault();
    if (!selection.has(tr.rowId_)) select(tr.rowId_);
    onContextMenu?.(e.clientX, e.clientY);
  });

  scroller.addEventListener('keydown', (e) => {
    if (e.target !== scroller) return;  // an editor in a cell keeps its keys
    const page = Math.max(1, Math.floor(scroller.clientHeight / rowHeight) - 1);
    const moves = { ArrowDown: 1, ArrowUp: -1, PageDown: page, PageUp: -page, Home: -Infinity, End: Infinity };
    if (e.key === 'Enter') { if (anchor != null) onActivate?.(anchor, 'key'); e.preventDefault(); return; }
    if (!(e.key in moves)) { onKey?.(e); return; }
    if (!ids.length) return;
    const from = cursor >= 0 ? cursor : -1;
    const to = Math.max(0, Math.min(ids.length - 1, from + moves[e.key]));
    select(ids[to], { shiftKey: e.shiftKey, ctrlKey: false });
    showRow(to);
    e.preventDefault();
  });

  return {
    root: scroller,
    table,
    selection,
    setRows(newIds, getRow) {
      ids = newIds;
      get = getRow;
      const present = new Set(ids);
      for (const id of [...selection]) if (!present.has(id)) selection.delete(id);
      cursor = anchor != null ? ids.indexOf(anchor) : -1;
      draw();
    },
    update(id) {
      dirty.add(id);
      if (!scheduled) { scheduled = true; requestAnimationFrame(flush); }
    },
    select,
    reveal(id) { const i = ids.indexOf(id); if (i >= 0) showRow(i); },
    // px: a width in pixels per column; 0 or none leaves the column its own share.
    // Once some columns have widths of their own, the others share what is left evenly.
    setWidths(px) {
      const some = px.some((w) => w > 0);
      cols.forEach((c, i) => {
        const width = px[i] > 0 ? `${px[i]}px` : some ? 'auto' : '';
        c.style.width = width;
        heads[i].style.width = width;
      });
    },
  };
}

// The grip at a header's right edge: dragging it sets the column's width, told when let go.
function resizeHandle(th, col, done) {
  const grip = el('span', { class: 'col-resize', 'aria-hidden': 'true' });
  grip.addEventListener('pointerdown', (e) => {
    if (e.button !== 0) return;
    e.preventDefault();
    e.stopPropagation();
    const from = e.clientX, start = th.getBoundingClientRect().width;
    grip.setPointerCapture(e.pointerId);
    const width = (m) => Math.round(Math.max(24, start + m.clientX - from));
    const move = (m) => { col.style.width = `${width(m)}px`; };
    const up = (m) => {
      grip.removeEventListener('pointermove', move);
      grip.removeEventListener('pointerup', up);
      done(width(m));
    };
    grip.addEventListener('pointermove', move);
    grip.addEventListener('pointerup', up);
  });
  return grip;
}
