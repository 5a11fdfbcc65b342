// The scan documents of the main window: the toolbar's address, profile and search boxes, the
// commands of the Scan menu, one document per scan in the document area, kept live by the events
// of the server's scan service. Documents live on the server: a page that connects (again) reads
// them all, so a reloaded window shows the scans it had.
//
// /scan?url=ADDRESS&profile=NAME|NUMBER opens the main window with a started scan of the address.
import { getJson, post } from './api.js';
import { el } from './format.js';
import { handlers, on } from './store.js';
import * as dialogs from './dialogs.js';
import { createScanDoc } from './scan_doc.js';
import { chooseBasket, sendProgress, largePicture } from './scan_dialogs.js';

const MDI_PRIMARY = 2;
const views = new Map();  // doc id -> view (with .tab: its document in the area)
const gone = new Set();   // documents closed here: their late events are dropped
const sends = new Map();  // send id -> progress dialog
let ctx = null;
let choices = { profiles: [], searchSites: [], baskets: [] };
let picturesBase = '';
let lastBasket = null;
const boxes = {};  // the toolbar's boxes by name

const area = () => ctx.mdi.get(MDI_PRIMARY);
const current = () => [...views.values()].find((v) => v.tab === area()?.current) ?? null;
const fail = (e) => dialogs.message('Plover', e.message);
// The profile box's choice: its number.
const chosenProfile = () => (boxes.profile?.value ? Number(boxes.profile.value) : 0);

// ---- documents ----

function ensureView(state) {
  let view = views.get(state.id);
  if (view) return view;
  view = createScanDoc(state.id, {
    picturesBase: () => picturesBase,
    command: (key) => ctx.command(key),
    preview: (v, k) => askPreview(v, k),
    openLarge: (v, k) => openLarge(v, k),
    openLink: (url, recurse) => openScan(url, recurse ? recursiveProfile() : chosenProfile()),
    contextMenu: (x, y) => tileMenu(x, y),
    linkMenu: (x, y, urls) => linkMenu(x, y, urls),
  });
  views.set(state.id, view);
  view.tab = area().open(view.title, view.node, `scan-${state.id}`);
  view.tab.onClose = () => closeDoc(state.id);
  view.setState(state);
  area().rename(view.tab, view.title);
  return view;
}

function dropView(id) {
  const view = views.get(id);
  if (!view) return;
  views.delete(id);
  area().close(view.tab);
}

async function closeDoc(id) {
  gone.add(id);
  dropView(id);
  await post(`/api/scan/${id}/close`).catch(() => {});
}

// Everything again from the server: after a (re)connect, or when an event names what is unknown.
let syncing = null;
function resync() {
  syncing ??= (async () => {
    try {
      const [list, c] = await Promise.all([getJson('/api/scan'), getJson('/api/scan/choices')]);
      picturesBase = list.pictures;
      setChoices(c);
      const ids = new Set(list.docs.map((d) => d.id));
      for (const id of [...views.keys()]) if (!ids.has(id)) dropView(id);
      for (const state of list.docs) {
        const view = ensureView(state);
        view.setState(state);
        await fetchItems(view);
      }
    } catch { /* the stream's next connect tries again */ }
    syncing = null;
  })();
  return syncing;
}

async function fetchItems(view) {
  for (;;) {
    const from = view.doc.items.length;
    const answer = await getJson(`/api/scan/${view.doc.id}/items?from=${from}`);
    if (answer.run !== view.doc.run) return resync();
    view.addItems(answer.from, answer.items);
    if (!answer.items.length || view.doc.items.length >= answer.total) return;
  }
}

// The view of an event's document and run, or null (an unknown document starts a resync).
function viewOf(e) {
  const view = views.get(e.doc);
  if (gone.has(e.doc)) return null;
  if (!view || e.run > view.doc.run) { resync(); return null; }
  return e.run === view.doc.run ? view : null;
}

Object.assign(handlers, {
  scanDoc(state) {
    if (gone.has(state.id)) return;
    const view = views.get(state.id) ?? ensureView(state);
    view.setState(state);
    area().rename(view.tab, view.title);
    if (view === current()) syncToolbar(view);
    if (state.login) askLogin(view, state);
  },
  scanItems(e) {
    const view = viewOf(e);
    if (view && !view.addItems(e.from, e.items)) fetchItems(view);
  },
  scanThumbs(e) { viewOf(e)?.thumbs(e.items); },
  scanMarks(e) { viewOf(e)?.marks(e.marks); },
  scanClosed(e) { dropView(e.doc); },
  scanPreview(e) { previewAnswer(views.get(e.doc), e.item, e); },
  scanSend(s) {
    let p = sends.get(s.send);
    if (!p) {
      if (s.ended) return;
      p = sendProgress(s, () => post(`/api/scan/sends/${s.send}/cancel`).catch(() => {}));
      sends.set(s.send, p);
      p.dialog.addEventListener('close', () => sends.delete(s.send));
    }
    p.update(s);
  },
});
// A snapshot begins every (re)connect of the stream.
on('downloads', (ev) => { if (ev?.reset) resync(); });

async function openScan(url, profile, search) {
  try {
    const body = search ? { search, profile, start: true } : { url, profile, start: !!url };
    const state = await post('/api/scan', body);
    const view = ensureView(state);
    area().show(view.tab);
    return view;
  } catch (e) { fail(e); return null; }
}

function recursiveProfile() {
  const p = choices.profiles.find((x) => x.recurse && x.thumbnails && x.largePictures) ?? choices.profiles.find((x) => x.recurse);
  return p ? p.number : chosenProfile();
}

// ---- logins, previews, sends ----

const asked = new Set();
async function askLogin(view, state) {
  const key = `${state.id}:${state.run}:${state.login.url}`;
  if (asked.has(key)) return;
  asked.add(key);
  const id = state.id;
  await dialogs.login({ server: state.login.server, name: state.login.name || state.login.url },
    (req) => post(`/api/scan/${id}/login`, req),
    () => post(`/api/scan/${id}/cancelLogin`).catch(() => {}));
}

let large = null;  // the open large picture: { view, k, box }
async function askPreview(view, k) {
  try {
    previewAnswer(view, k, await post(`/api/scan/${view.doc.id}/preview`, { item: k }));
  } catch (e) { previewAnswer(view, k, { state: 'failed', error: e.message }); }
}
function previewAnswer(view, k, answer) {
  if (!view) return;
  view.previewState(k, answer);
  if (large?.view !== view || large.k !== k || !large.box.dialog.open) return;
  if (answer.state === 'ready') large.box.setSource(`${picturesBase}/${view.doc.id}/large/${k}?r=${view.doc.run}`);
  else if (answer.state === 'failed') large.box.fail(answer.error || 'The picture could not be fetched.');
}
function openLarge(view, k) {
  const item = view.doc.items[k];
  if (!item || item.kind === 'link') return;
  large = { view, k, box: largePicture(item.text || item.url.split('/').pop()) };
  askPreview(view, k);
}

async function sendSelected(view, items) {
  if (!view) return;
  items ??= view.selectedItems();
  if (!items.length) return dialogs.message('Send to basket', 'Choose the pictures to send first (click, Shift, Ctrl or drag a frame around them).');
  try { setChoices(await getJson('/api/scan/choices')); } catch { /* the last list */ }
  if (!choices.baskets.length) return dialogs.message('Send to basket', 'There are no baskets yet: add one in the baskets pane.');
  const basket = await chooseBasket(items.length, choices.baskets, lastBasket);
  if (basket == null) return;
  lastBasket = basket;
  try {
    await post(`/api/scan/${view.doc.id}/send`, { basket, items });
  } catch (e) { fail(e); }
}

// ---- menus ----

function popup(x, y, entries) {
  document.querySelector('.menu.context')?.remove();
  const menu = el('div', { class: 'menu context', role: 'menu' });
  for (const entry of entries) {
    if (!entry) { menu.append(el('div', { class: 'menu-sep', role: 'separator' })); continue; }
    const [text, fn] = entry;
    menu.append(el('button', { class: 'menu-item', type: 'button', role: 'menuitem', text, onclick: () => { menu.remove(); fn(); } }));
  }
  menu.style.left = `${Math.min(x, innerWidth - 240)}px`;
  menu.style.top = `${Math.min(y, innerHeight - 40 * entries.length)}px`;
  document.body.append(menu);
  const close = (e) => { if (!menu.contains(e.target)) { menu.remove(); document.removeEventListener('mousedown', close); } };
  setTimeout(() => document.addEventListener('mousedown', close));
  menu.querySelector('button')?.focus();
}
const copy = (text) => navigator.clipboard?.writeText(text).catch(() => {});

function tileMenu(x, y) {
  const view = current();
  if (!view) return;
  const items = view.selectedItems();
  popup(x, y, [
    ['Open', () => openLarge(view, items[0])],
    ['Send to basket…', () => sendSelected(view, items)],
    null,
    ['Select all', () => view.selectAll()],
    ['Select new', () => view.selectNew()],
    null,
    ['Copy address', () => copy(items.map((k) => view.doc.items[k].url).join('\n'))],
  ]);
}

function linkMenu(x, y, urls) {
  if (!urls.length) return;
  popup(x, y, [
    ['Open in a new scan document', () => urls.forEach((u) => openScan(u, chosenProfile()))],
    ['Scan recursively', () => urls.forEach((u) => openScan(u, recursiveProfile()))],
    null,
    ['Copy address', () => copy(urls.join('\n'))],
  ]);
}

// ---- the toolbar ----

function setChoices(c) {
  choices = c;
  fillSelect(boxes.profile, c.profiles.map((p) => [p.number, p.name]));
  fillSelect(boxes.searchSite, c.searchSites.map((s) => [s.number, s.title]));
}

function fillSelect(select, options) {
  if (!select) return;
  const keep = select.value;
  select.replaceChildren(...options.map(([v, t]) => el('option', { value: String(v), text: t })));
  if (options.some(([v]) => String(v) === keep)) select.value = keep;
  select.disabled = !options.length;
}

function syncToolbar(view) {
  if (!view || !boxes.address) return;
  if (document.activeElement !== boxes.address) boxes.address.value = view.doc.state.url ?? '';
  const p = choices.profiles.find((x) => x.name === view.doc.state.profile);
  if (p && boxes.profile) boxes.profile.value = String(p.number);
}

function combo(name) {
  if (name === 'address') {
    const input = el('input', { class: 'tb-combo tb-address', type: 'url', 'aria-label': 'Address', 'data-combo': name,
      placeholder: 'Address of a page to scan', spellcheck: 'false' });
    input.addEventListener('keydown', (e) => { if (e.key === 'Enter') { e.preventDefault(); ctx.command('scan.start'); } });
    return (boxes.address = input);
  }
  if (name === 'profile')
    return (boxes.profile = el('select', { class: 'tb-combo tb-profile', 'aria-label': 'Scan profile', 'data-combo': name }));
  if (name === 'searchText') {
    const input = el('input', { class: 'tb-combo tb-search', type: 'search', 'aria-label': 'Text to search', 'data-combo': name,
      placeholder: 'Text to search' });
    input.addEventListener('keydown', (e) => { if (e.key === 'Enter') { e.preventDefault(); ctx.command('scan.search'); } });
    return (boxes.searchText = input);
  }
  if (name === 'searchSite')
    return (boxes.searchSite = el('select', { class: 'tb-combo tb-site', 'aria-label': 'Search site', 'data-combo': name }));
  return null;
}

const scanCommands = {
  'scan.new': async () => {
    const view = await openScan('', chosenProfile());
    if (view && boxes.address) { boxes.address.value = ''; boxes.address.focus(); }
  },
  'scan.start': async () => {
    const url = boxes.address?.value.trim() ?? '';
    if (!url) { boxes.address?.focus(); return; }
    const view = current();
    if (!view || view.doc.state.state === 'scanning') return openScan(url, chosenProfile());
    try {
      view.setState(await post(`/api/scan/${view.doc.id}/start`, { url, profile: chosenProfile() }));
    } catch (e) { fail(e); }
  },
  'scan.stop': () => { const v = current(); if (v) post(`/api/scan/${v.doc.id}/stop`).catch(fail); },
  'scan.reload': () => {
    const v = current();
    if (v?.doc.state.url) post(`/api/scan/${v.doc.id}/reload`, { profile: chosenProfile() }).then((s) => v.setState(s), fail);
  },
  'scan.selectAll': () => current()?.selectAll(),
  'scan.selectNew': () => current()?.selectNew(),
  'scan.send': () => sendSelected(current()),
  'scan.search': () => {
    const text = boxes.searchText?.value.trim() ?? '';
    if (!text) { boxes.searchText?.focus(); return; }
    if (!boxes.searchSite?.value) return dialogs.message('Search', 'There are no search sites.');
    openScan('', chosenProfile(), { site: Number(boxes.searchSite.value), text });
  },
};

// Adds the scan commands and boxes to the window's context, before the window is drawn.
export function installScans(context, commands) {
  ctx = context;
  Object.assign(commands, scanCommands);
  const own = ctx.combo;
  ctx.combo = (name) => combo(name) ?? own?.(name);
}

// After the window is drawn: follows the document shown, opens the scan the address asks for.
export async function startScans() {
  if (!area()) return;
  area().listeners.push(() => syncToolbar(current()));
  await resync();
  if (location.pathname !== '/scan') return;
  const params = new URLSearchParams(location.search);
  history.replaceState(null, '', '/');
  const url = params.get('url') ?? '';
  const profile = params.get('profile') ?? '';
  const view = await openScan(url, /^\d+$/.test(profile) ? Number(profile) : profile || undefined);
  if (view) syncToolbar(view);
}

