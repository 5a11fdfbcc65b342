// The generic renderer of a window's layout tree. Frames arrange their content children as rows
// ("hor"), columns ("ver") or tabs ("overlap"); bars dock at their side; an MDI client is a tabbed
// document area whose tab strip is the window list of its menu-style bar; a frame's "width" or
// "height" is its initial size along its parent's arrangement; panes are looked up by id.
import { el } from './format.js';
import { renderBarItems } from './toolbar.js';
import { addSplitters } from './splitter.js';

const SIDES = ['top', 'left', 'right', 'bottom'];

// ctx: { panes: id -> {title, create()}, command(key), mdi: Map(mdiID -> area) }
export function renderWindow(root, ctx) {
  return renderFrame(root, ctx, null);
}

function isBar(e) { return e.kind === 'toolbar' || e.kind === 'statusbar' || e.kind === 'controlbar'; }

function renderFrame(e, ctx, parentArrangement) {
  if (e.kind === 'mdi') return renderMdi(e, ctx, parentArrangement);
  const frame = el('div', { class: `frame frame-${e.kind} arr-${e.arrangement}` });
  applySize(frame, e, parentArrangement);
  const docks = Object.fromEntries(SIDES.map((s) => [s, []]));
  const content = [];
  for (const c of e.children) {
    if (isBar(c)) docks[c.dock === 'none' ? 'top' : c.dock].push(c);
    else content.push(c);
  }
  const body = el('div', { class: `frame-body arr-${e.arrangement}` });
  if (e.arrangement === 'overlap') renderTabs(body, content, ctx, e);
  else {
    for (const c of content) body.append(renderChild(c, ctx, e.arrangement));
    addSplitters(body, e.arrangement);
  }
  frame.append(...docks.top.map((b) => renderBar(b, ctx, e)));
  const middle = el('div', { class: 'frame-middle' },
    ...docks.left.map((b) => renderBar(b, ctx, e)), body, ...docks.right.map((b) => renderBar(b, ctx, e)));
  frame.append(middle, ...docks.bottom.map((b) => renderBar(b, ctx, e)));
  return frame;
}

function renderChild(c, ctx, arrangement) {
  if (c.kind === 'pane') return renderPane(c, ctx);
  return renderFrame(c, ctx, arrangement);
}

function applySize(node, e, parentArrangement) {
  if (parentArrangement === 'overlap' || parentArrangement == null) return;  // tabs and documents fill their area
  const size = parseInt(e.width ?? e.height, 10);
  if (!Number.isFinite(size) || size <= 0) return;
  node.classList.add('sized');
  node.style.flexBasis = `${size}px`;
  node.dataset.sizedAlong = parentArrangement === 'hor' ? 'width' : 'height';
}

function renderBar(b, ctx, frame) {
  const cls = ['bar', `bar-${b.kind}`, `dock-${b.dock}`];
  if (b.menuBk) cls.push('menubar');
  if (b.gripper) cls.push('gripper');
  const bar = el('div', { class: cls.join(' '), role: b.menuBk ? 'menubar' : 'toolbar' });
  renderBarItems(bar, b, ctx, frame);
  return bar;
}

export function renderPane(p, ctx) {
  const def = ctx.panes[p.id];
  const pane = el('section', { class: 'pane', 'data-pane': p.id });
  pane.dataset.title = def?.title ?? p.title;
  if (def) pane.append(def.create(ctx));
  else pane.append(el('div', { class: 'empty', text: p.title }));
  return pane;
}

// Tabs of an "overlap" frame: one child shown at a time.
function renderTabs(body, content, ctx, e) {
  const strip = el('div', { class: 'tabs', role: 'tablist' });
  const stack = el('div', { class: 'tab-stack' });
  content.forEach((c, i) => {
    const page = renderChild(c, ctx, e.arrangement);
    page.hidden = i !== 0;
    const tab = el('button', { class: 'tab', role: 'tab', text: titleOf(c, ctx) });
    tab.addEventListener('click', () => {
      [...stack.children].forEach((p, j) => { p.hidden = j !== i; });
      [...strip.children].forEach((t, j) => t.setAttribute('aria-selected', j === i));
    });
    tab.setAttribute('aria-selected', i === 0);
    strip.append(tab);
    stack.append(page);
  });
  body.append(strip, stack);
}

function titleOf(e, ctx) {
  if (e.kind === 'pane') return ctx.panes[e.id]?.title ?? e.title;
  for (const c of e.children ?? []) {
    const t = titleOf(c, ctx);
    if (t) return t;
  }
  return e.windows?.[0]?.title ?? '';
}

// An MDI client: its documents are its content children (and any the program opens later), one
// shown at a time; the window-list item of its bar is the tab strip.
function renderMdi(e, ctx, parentArrangement) {
  const frame = el('div', { class: `frame frame-mdi${e.primary ? ' primary' : ''}` });
  applySize(frame, e, parentArrangement);
  const docs = el('div', { class: 'mdi-docs' });
  const area = {
    element: e,
    tabs: [],
    strips: [],
    open(title, node, key) {
      const existing = this.tabs.find((t) => key && t.key === key);
      if (existing) return this.show(existing);
      const doc = { title, node, key };
      node.classList.add('mdi-doc');
      docs.append(node);
      this.tabs.push(doc);
      this.show(doc);
      return doc;
    },
    show(doc) {
      this.current = doc;
      for (const t of this.tabs) t.node.hidden = t !== doc;
      this.strips.forEach((s) => s.refresh());
      this.listeners.forEach((fn) => fn(doc));
      return doc;
    },
    // A document the user closes (its tab has a close button when it has onClose).
    close(doc) {
      const i = this.tabs.indexOf(doc);
      if (i < 0) return;
      this.tabs.splice(i, 1);
      doc.node.remove();
      const next = this.tabs[Math.min(i, this.tabs.length - 1)];
      if (this.current === doc) this.current = null;
      if (next && !this.current) this.show(next);
      else { this.strips.forEach((s) => s.refresh()); this.listeners.forEach((fn) => fn(this.current)); }
    },
    rename(doc, title) {
      if (doc.title === title) return;
      doc.title = title;
      this.strips.forEach((s) => s.refresh());
    },
    listeners: [],  // told of the document shown
  };
  if (e.mdiID !== undefined) ctx.mdi.set(e.mdiID, area);
  ctx.areas?.push(area);
  const bars = [];
  for (const c of e.children) {
    if (isBar(c)) bars.push(c);
    else area.open(titleOf(c, ctx), renderChild(c, ctx, 'overlap'));
  }
  if (area.tabs.length) area.show(area.tabs[0]);
  const ctxWithArea = { ...ctx, area };
  frame.append(...bars.filter((b) => b.dock !== 'bottom').map((b) => renderBar(b, ctxWithArea, e)), docs,
    ...bars.filter((b) => b.dock === 'bottom').map((b) => renderBar(b, ctxWithArea, e)));
  return frame;
}
