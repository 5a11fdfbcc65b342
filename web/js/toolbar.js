// The items of a bar, by kind: buttons, the frame's window list (tabs), combo boxes, separators,
// menus (each top-level entry a drop-down), labels and live content (speed, active downloads,
// dial-up state, the pane's title).
import { el, speed } from './format.js';
import { state, on } from './store.js';

export const TRAFFIC_MODES = ['Full speed', 'Medium speed', 'Low speed', 'Queue stopped'];

export function renderBarItems(bar, b, ctx, frame) {
  for (const item of b.items) {
    const node = renderItem(item, ctx, frame);
    if (node) bar.append(node);
  }
}

function renderItem(item, ctx, frame) {
  switch (item.type) {
    case 'button': return commandButton(item.command, ctx);
    case 'separator': return el('span', { class: 'sep', role: 'separator' });
    case 'label': return el('label', { class: 'tb-label', text: item.text });
    case 'menu': return menuBar(item.entries, ctx);
    case 'windows': return windowList(ctx);
    case 'combo': return combo(item.name, ctx);
    case 'content': return content(item.name, ctx, frame);
    default: return null;
  }
}

function commandButton(command, ctx) {
  const b = el('button', { class: 'tb-button', type: 'button', 'data-command': command.key, text: command.text });
  b.disabled = !ctx.canRun(command.key);
  b.addEventListener('click', () => ctx.command(command.key));
  return b;
}

// A menu bar: each top-level entry opens its list; clicking outside or Escape closes it.
function menuBar(entries, ctx) {
  const wrap = el('div', { class: 'menus' });
  let open = null;
  const close = () => { open?.list.remove(); open?.button.setAttribute('aria-expanded', 'false'); open = null; };
  for (const entry of entries) {
    const button = el('button', { class: 'menu-title', type: 'button', 'aria-haspopup': 'menu', text: entry.text });
    const show = () => {
      close();
      const list = el('div', { class: 'menu', role: 'menu' });
      for (const it of entry.items) {
        if (it.separator) { list.append(el('div', { class: 'menu-sep', role: 'separator' })); continue; }
        const mi = el('button', { class: 'menu-item', type: 'button', role: 'menuitem', 'data-command': it.key, text: it.text });
        mi.disabled = !ctx.canRun(it.key);
        mi.addEventListener('click', () => { close(); ctx.command(it.key); });
        list.append(mi);
      }
      const r = button.getBoundingClientRect();
      list.style.left = `${r.left}px`;
      list.style.top = `${r.bottom}px`;
      document.body.append(list);
      button.setAttribute('aria-expanded', 'true');
      open = { list, button };
      list.querySelector('button:not([disabled])')?.focus();
      list.addEventListener('keydown', (e) => {
        const items = [...list.querySelectorAll('button:not([disabled])')];
        const i = items.indexOf(document.activeElement);
        if (e.key === 'ArrowDown') { items[(i + 1) % items.length]?.focus(); e.preventDefault(); }
        if (e.key === 'ArrowUp') { items[(i - 1 + items.length) % items.length]?.focus(); e.preventDefault(); }
      });
    };
    button.addEventListener('click', (e) => { e.stopPropagation(); open?.button === button ? close() : show(); });
    button.addEventListener('mouseenter', () => { if (open && open.button !== button) show(); });
    wrap.append(button);
  }
  document.addEventListener('click', (e) => { if (open && !open.list.contains(e.target)) close(); });
  document.addEventListener('keydown', (e) => { if (e.key === 'Escape') close(); });
  return wrap;
}

// The window list of the bar's MDI client: one tab per document.
function windowList(ctx) {
  const strip = el('div', { class: 'doc-tabs', role: 'tablist' });
  const area = ctx.area;
  if (!area) return strip;
  strip.refresh = () => {
    strip.replaceChildren(...area.tabs.map((t) => {
      const tab = el('button', { class: 'doc-tab', type: 'button', role: 'tab', text: t.title, title: t.title });
      tab.setAttribute('aria-selected', t === area.current);
      tab.addEventListener('click', () => area.show(t));
      if (t.onClose) {
        const x = el('span', { class: 'doc-tab-close', role: 'button', 'aria-label': `Close ${t.title}`, text: '×' });
        x.addEventListener('click', (e) => { e.stopPropagation(); t.onClose(); });
        tab.addEventListener('auxclick', (e) => { if (e.button === 1) t.onClose(); });
        tab.append(x);
      }
      return tab;
    }));
  };
  area.strips.push(strip);
  strip.refresh();
  return strip;
}

function combo(name, ctx) {
  const own = ctx.combo?.(name);  // a box a part of the page fills and follows itself
  if (own) return own;
  if (name === 'trafficMode') {
    const select = el('select', { class: 'tb-combo', 'aria-label': 'Traffic mode', 'data-combo': name });
    TRAFFIC_MODES.forEach((t, i) => select.append(el('option', { value: String(i), text: t })));
    const sync = () => { select.value = String(state.traffic.mode ?? 0); };
    on('traffic', sync);
    sync();
    select.addEventListener('change', () => ctx.command('traffic.set', Number(select.value)));
    return select;
  }
  if (name === 'address') {
    return el('input', { class: 'tb-combo tb-address', type: 'url', 'aria-label': 'Address',
      placeholder: 'Address of a page to scan', disabled: !ctx.canRun('scan.start') });
  }
  const select = el('select', { class: 'tb-combo', 'aria-label': name, disabled: !ctx.canRun('scan.start') });
  select.append(el('option', { text: 'Default' }));
  return select;
}

function content(name, ctx, frame) {
  const span = el('span', { class: `tb-content content-${name}`, 'data-content': name });
  const sync = () => {
    const t = state.traffic;
    if (name === 'speed') span.textContent = `Speed: ${speed(t.speed) || '0 B/s'}`;
    else if (name === 'active') span.textContent = `Active: ${t.active ?? 0} of ${t.count ?? 0}`;
    else if (name === 'dialup') span.textContent = state.connected ? 'Ready' : 'Reconnecting to Plover…';
  };
  if (name === 'paneTitle') {
    queueMicrotask(() => {
      const pane = span.closest('.frame')?.querySelector('.pane');
      span.textContent = pane?.dataset.title ?? '';
    });
    return span;
  }
  on('traffic', sync);
  on('connection', sync);
  sync();
  return span;
}
