// The image viewer (/window/viewer?path=PATH): one picture of a basket, a preview or a local file,
// decoded and fitted by the server's image loader. The picture on screen is an urgent request; a
// picture left before it came is cancelled on the server. Fit (the picture fitted to the window,
// the start when "shrink to fit" is set), 100% and zoom; previous and next in the picture's
// folder; its format, size and bit depth in the status bar.
import { getJson, post } from './api.js';
import { el } from './format.js';
import * as dialogs from './dialogs.js';
import { baskets, basketOfPath, loadBaskets } from './basket_store.js';
import { openBasketWindow } from './baskets.js';
import { loadPicture, describe, fileName, folderOf, sendLocalFile } from './pictures.js';
import { placedFeatures } from './window_place.js';

const PANE_IMAGE = 130;
const ZOOMS = [0.1, 0.25, 0.33, 0.5, 0.67, 0.75, 1, 1.5, 2, 3, 4, 6, 8];
const v = { path: new URLSearchParams(location.search).get('path') || '', list: [], index: -1, fit: true, scale: 1,
  info: null, full: null, shown: null, loading: null, error: '' };
let stage, img, note;

export function openViewer(path) {
  window.open(`/window/viewer?${new URLSearchParams({ path })}`, 'plover-viewer', placedFeatures('ImageViewWndPos', 1100, 800));
}

const status = (name, text) => { const s = document.querySelector(`[data-content="${name}"]`); if (s) s.textContent = text; };

function showStatus() {
  const place = v.list.length > 1 && v.index >= 0 ? `  ·  ${v.index + 1} of ${v.list.length}` : '';
  status('imageInfo', v.error ? v.error : v.info ? `${fileName(v.path)}  ·  ${describe(v.info)}${place}` : v.path ? 'Loading…' : '');
  const scale = v.fit && v.info?.width ? Math.round((100 * img.width) / v.info.width) : Math.round(v.scale * 100);
  status('zoom', v.info ? (v.fit ? `Fit: ${scale}%` : `${scale}%`) : '');
  for (const [key, off] of [['viewer.previous', v.index <= 0], ['viewer.next', v.index < 0 || v.index >= v.list.length - 1],
    ['viewer.external', !baskets.view.externalViewer || !v.path], ['viewer.showInBasket', !basketOfPath(v.path)]])
    document.querySelectorAll(`[data-command="${key}"]`).forEach((b) => { b.disabled = off; });
}

// Lays the loaded picture out for the mode: fitted pixels as they came, or its own size scaled.
function layout() {
  if (!v.shown || !v.info) return;
  const ratio = window.devicePixelRatio || 1;
  if (v.fit) {
    img.style.width = `${img.naturalWidth / ratio}px`;
    img.style.height = `${img.naturalHeight / ratio}px`;
  } else {
    img.style.width = `${v.info.width * v.scale}px`;
    img.style.height = `${v.info.height * v.scale}px`;
  }
  stage.classList.toggle('fit', v.fit);
  stage.classList.toggle('pixelated', !v.fit && v.scale >= 3);
  showStatus();
}

// Loads what the mode needs: the picture fitted to the window, or whole (kept for zooming).
async function load() {
  v.loading?.abort();
  const ctl = new AbortController();
  v.loading = ctl;
  const path = v.path;
  if (!path) return;
  note.hidden = true;
  v.error = '';
  stage.classList.add('busy');
  showStatus();
  try {
    let picture;
    if (v.fit) {
      const ratio = window.devicePixelRatio || 1;
      // A margin around the picture, as viewers leave one.
      const box = [Math.max(16, stage.clientWidth - 24) * ratio, Math.max(16, stage.clientHeight - 24) * ratio];
      picture = await loadPicture(path, box, { signal: ctl.signal });
    } else {
      picture = v.full?.path === path ? v.full : { path, ...(await loadPicture(path, null, { signal: ctl.signal })) };
      v.full = picture;
    }
    if (v.loading !== ctl) return;
    v.info = picture.info;
    v.shown = path;
    await new Promise((resolve) => { img.onload = resolve; img.onerror = resolve; img.src = picture.src; });
    if (v.loading !== ctl) return;
    img.hidden = false;
    layout();
  } catch (e) {
    if (v.loading !== ctl || e.name === 'AbortError') return;
    img.hidden = true;
    v.info = null;
    v.error = e.message;
    note.replaceChildren(el('span', { class: 'big-icon file-icon', text: '?' }), el('p', { text: e.message }));
    note.hidden = false;
    showStatus();
  } finally {
    if (v.loading === ctl) { stage.classList.remove('busy'); v.loading = null; }
  }
}

async function show(path) {
  if (!path) return;
  const folderChanged = folderOf(path) !== folderOf(v.path) || !v.list.length;
  v.path = path;
  v.full = null;
  history.replaceState(null, '', `/window/viewer?${new URLSearchParams({ path })}`);
  document.title = `${fileName(path)} - Image viewer`;
  const loading = load();
  if (folderChanged) {
    try {
      const answer = await getJson(`/api/pictures/folder?${new URLSearchParams({ path })}`);
      v.list = answer.pictures;
    } catch { v.list = [path]; }
  }
  v.index = v.list.indexOf(path);
  showStatus();
  await loading;
}

function step(by) {
  const to = v.index + by;
  if (v.index < 0 || to < 0 || to >= v.list.length) return;
  show(v.list[to]);
}

function zoom(direction) {
  const now = v.fit && v.info?.width ? img.width / v.info.width : v.scale;
  const next = direction > 0 ? ZOOMS.find((z) => z > now + 0.001) : [...ZOOMS].reverse().find((z) => z < now - 0.001);
  if (!next) return;
  setScale(next);
}

function setScale(scale) {
  const wasFit = v.fit;
  v.fit = false;
  v.scale = scale;
  if (wasFit || v.full?.path !== v.path) load(); else layout();
}

function setFit() {
  v.fit = true;
  load();
}

const commands = {
  'viewer.fit': setFit,
  'viewer.actual': () => setScale(1),
  'viewer.zoomIn': () => zoom(1),
  'viewer.zoomOut': () => zoom(-1),
  'viewer.previous': () => step(-1),
  'viewer.next': () => step(1),
  'viewer.showInBasket': () => {
    const b = basketOfPath(v.path);
    if (!b) return dialogs.message('Show in basket', 'This picture is not in a basket.');
    openBasketWindow(b.id, folderOf(v.path), v.path);
  },
  'viewer.external': () => post('/api/pictures/external', { path: v.path }).catch((e) => dialogs.message('External viewer', e.message)),
  'viewer.openLocal': () => {
    const input = el('input', { type: 'file', accept: 'image/*,.tga,.pcx,.tif,.tiff' });
    input.addEventListener('change', async () => {
      const file = input.files[0];
      if (!file) return;
      status('imageInfo', `Opening ${file.name}…`);
      try {
        show(await sendLocalFile(file, (done, total) => status('imageInfo', `Opening ${file.name}… ${Math.floor((100 * done) / total)}%`)));
      } catch (e) { dialogs.message('Open a file', e.message); }
    });
    input.click();
  },
  'window.close': () => window.close(),
};

function createImagePane() {
  img = el('img', { class: 'viewer-picture', alt: '', hidden: true, draggable: 'false' });
  note = el('div', { class: 'viewer-note', hidden: true });
  stage = el('div', { class: 'viewer-stage fit', tabindex: '0' }, img, note);
  let resizing = 0, lastSize = '';
  new ResizeObserver(() => {
    const size = `${stage.clientWidth}x${stage.clientHeight}`;
    if (size === lastSize) return;
    lastSize = size;
    clearTimeout(resizing);
    if (v.fit && v.shown) resizing = setTimeout(load, 250);
  }).observe(stage);
  stage.addEventListener('wheel', (e) => {
    if (!e.ctrlKey) return;
    e.preventDefault();
    zoom(e.deltaY < 0 ? 1 : -1);
  }, { passive: false });
  stage.addEventListener('dblclick', () => (v.fit ? setScale(1) : setFit()));
  return el('div', { class: 'viewer-pane' }, stage);
}

export function installViewer(panes, cmds) {
  panes[PANE_IMAGE] = { title: 'Picture', create: createImagePane };
  Object.assign(cmds, commands);
}

// Called once the viewer window is drawn.
export async function startViewer() {
  window.addEventListener('keydown', (e) => {
    if (e.target.closest?.('dialog, input, textarea, select')) return;
    const keys = { ArrowLeft: 'viewer.previous', PageUp: 'viewer.previous', ArrowRight: 'viewer.next', PageDown: 'viewer.next',
      ' ': 'viewer.next', '+': 'viewer.zoomIn', '=': 'viewer.zoomIn', '-': 'viewer.zoomOut', '0': 'viewer.fit',
      '1': 'viewer.actual' };
    if (e.ctrlKey || e.altKey || e.metaKey) return;
    if (e.key === 'Home' || e.key === 'End') { if (v.list.length) show(v.list[e.key === 'Home' ? 0 : v.list.length - 1]); }
    else if (keys[e.key]) commands[keys[e.key]]();
    else return;
    e.preventDefault();
  });
  await loadBaskets();
  v.fit = baskets.view.shrinkToFit !== false;
  stage.focus();
  if (v.path) show(v.path);
  else status('imageInfo', 'Open a picture from a basket, or a file with File › Open a file…');
}
