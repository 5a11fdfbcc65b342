// A tree of basket folders on the grid's tree cells: each basket's folder is a top node, and a
// node's subfolders are read from the server when it is first opened.
//
//   const t = createFolderTree({ label, onSelect(node), onActivate(node), onKey(e) });
//   t.setRoots([{ basket, name, path }]); t.select(path); t.reload(path); t.selected -> node
import { getJson } from './api.js';
import { createGrid } from './grid.js';

export function createFolderTree({ label, onSelect, onActivate, onKey, onContextMenu }) {
  const nodes = new Map();  // path -> { path, name, basket, level, open, children (paths) | null, parent }
  let roots = [];
  const grid = createGrid({
    label,
    rowHeight: 24,
    columns: [{ key: 'name', title: label, cls: 'c-tree', type: 'tree',
      value: (n) => ({ text: n.name, level: n.level, open: n.children && n.children.length === 0 ? undefined : n.open }),
      onToggle: (path) => toggle(path) }],
    rowState: (n) => (n.level === 0 ? 'root' : ''),
    onActivate: (path) => { const n = nodes.get(path); if (n) onActivate?.(n); },
    onSelect: () => { const n = selectedNode(); if (n) onSelect?.(n); },
    onKey: (e) => {
      const n = selectedNode();
      if (n && e.key === 'ArrowRight' && !n.open) { toggle(n.path); e.preventDefault(); return; }
      if (n && e.key === 'ArrowLeft') {
        if (n.open) toggle(n.path);
        else if (n.parent) select(n.parent);
        e.preventDefault();
        return;
      }
      onKey?.(e);
    },
    onContextMenu,
  });
  grid.table.classList.add('folder-tree');
  grid.table.tHead.hidden = true;

  const selectedNode = () => nodes.get([...grid.selection][0]);
  const visible = () => {
    const out = [];
    const walk = (path) => {
      out.push(path);
      const n = nodes.get(path);
      if (n.open && n.children) n.children.forEach(walk);
    };
    roots.forEach(walk);
    return out;
  };
  const redraw = () => grid.setRows(visible(), (p) => nodes.get(p));

  async function readChildren(n) {
    try {
      const answer = await getJson(`/api/baskets/${n.basket}/files?${new URLSearchParams({ path: n.path })}`);
      const keep = new Set();
      n.children = answer.folders.map((f) => {
        keep.add(f.path);
        const old = nodes.get(f.path);
        const child = { path: f.path, name: f.name, basket: n.basket, level: n.level + 1, open: old?.open ?? false,
          children: old?.children ?? null, parent: n.path };
        nodes.set(f.path, child);
        return f.path;
      });
      // Subfolders that went away go with their own subfolders.
      for (const [p, x] of nodes) if (x.parent === n.path && !keep.has(p)) forget(p);
    } catch {
      n.children = [];
    }
  }
  const forget = (path) => {
    const n = nodes.get(path);
    nodes.delete(path);
    n?.children?.forEach(forget);
  };

  async function toggle(path) {
    const n = nodes.get(path);
    if (!n) return;
    n.open = !n.open;
    if (n.open && !n.children) await readChildren(n);
    redraw();
  }

  function select(path) {
    if (!nodes.has(path)) return false;
    grid.select(path);
    return true;
  }

  // Opens every folder from its basket's folder down to path, then selects it.
  async function reveal(path) {
    const root = roots.map((r) => nodes.get(r)).find((r) => path === r.path || path.startsWith(`${r.path}/`));
    if (!root) return false;
    let n = root;
    while (n && n.path !== path) {
      if (!n.children) await readChildren(n);
      n.open = true;
      const next = n.children.find((c) => path === c || path.startsWith(`${c}/`));
      n = next && nodes.get(next);
    }
    // A basket's own folder shows its subfolders at once.
    if (n && n.level === 0 && !n.open) {
      if (!n.children) await readChildren(n);
      n.open = true;
    }
    redraw();
    return n ? select(n.path) : false;
  }

  return {
    root: grid.root,
    get selected() { return selectedNode(); },
    setRoots(list) {
      roots = list.map((r) => r.path);
      for (const r of list) {
        const old = nodes.get(r.path);
        nodes.set(r.path, { path: r.path, name: r.name, basket: r.basket, level: 0, open: old?.open ?? false,
          children: old?.children ?? null, parent: null });
      }
      redraw();
    },
    // Reads a folder's subfolders again (after a change), keeping what is open.
    async reload(path) {
      const n = nodes.get(path);
      if (n && n.children) { await readChildren(n); redraw(); }
    },
    async reloadAll() {
      for (const n of [...nodes.values()]) if (n.children && nodes.has(n.path)) await readChildren(n);
      redraw();
    },
    select,
    reveal,
    toggle,
  };
}
