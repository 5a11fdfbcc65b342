// The page: reads its window's layout tree from the server, renders it, fills the panes and
// keeps them live from the event stream.
import { getJson, post, connectEvents } from './api.js';
import { el } from './format.js';
import { state, handlers, emit, on } from './store.js';
import { renderWindow } from './render.js';
import { createDownloadList, selection } from './downloads.js';
import { createLog } from './log.js';
import * as dialogs from './dialogs.js';
import { installScans, startScans } from './scan.js';
import { runWizardIfNeeded, uninstall } from './wizard.js';
import { openOptions } from './options.js';
import { installBaskets } from './baskets.js';
import { installBasketWindow, startBasketWindow } from './basket_window.js';
import { installViewer, startViewer } from './viewer.js';
import { installHistory } from './history.js';
import { installProfiles } from './profiles.js';
import { installSystemInfo } from './sysinfo.js';
import { installOptionExtras } from './option_extras.js';
import { installFormatWindow, startFormatWindow } from './format_window.js';
import { loadSettings, watch, number, storeSetting } from './view_settings.js';
import { installAppearance, addTrafficBar } from './appearance.js';
import { openProperties } from './download_props.js';
import { keepPlacement } from './window_place.js';
import { installSounds } from './sounds.js';

const PANE_BASKETS = 101, PANE_HISTORY = 102, PANE_PROFILES = 103, PANE_DOWNLOADS = 110, PANE_LOG = 120;
const MDI_PRIMARY = 2;

const placeholder = (text) => () => el('div', { class: 'empty' }, el('p', { text }));

const panes = {
  [PANE_BASKETS]: { title: 'Baskets', create: placeholder('No baskets are shown here yet.') },
  [PANE_HISTORY]: { title: 'History', create: placeholder('The download history is shown here.') },
  [PANE_PROFILES]: { title: 'Scan profiles', create: placeholder('The scan profiles are shown here.') },
  [PANE_DOWNLOADS]: { title: 'Downloads', create: (ctx) => createDownloadList(ctx) },
  [PANE_LOG]: { title: 'Protocol log', create: () => createLog() },
};

const selected = () => [...selection].filter((id) => state.downloads.has(id));

async function each(action, ids = selected(), body = undefined) {
  for (const id of ids) await post(`/api/downloads/${id}/${action}`, body).catch((e) => dialogs.message('Plover', e.message));
}

const commands = {
  'download.add': () => dialogs.addDownloads((req) => post('/api/downloads', req)),
  'download.pause': () => each('pause'),
  'download.resume': () => each('resume'),
  'download.retry': () => each('retry'),
  'download.delete': async () => {
    const ids = selected();
    if (!ids.length) return;
    const name = ids.length === 1 ? `"${state.downloads.get(ids[0]).name}"` : `${ids.length} downloads`;
    if (await dialogs.confirmBox('Delete', `Delete ${name} from the list?`, 'Delete')) each('delete', ids);
  },
  'download.import': () => {
    const input = el('input', { type: 'file', accept: '.txt,text/plain' });
    input.addEventListener('change', async () => {
      const text = await input.files[0]?.text();
      if (!text) return;
      // The import rules: every line that is an HTTP or FTP address without "mailto:".
      const urls = text.split(/\r?\n/).map((l) => l.trim()).filter((l) => /^(https?|ftp):\/\//i.test(l) && !/mailto:/i.test(l));
      if (!urls.length) return dialogs.message('Import', 'The file holds no HTTP or FTP address.');
      for (let i = 0; i < urls.length; i += 1000)
        await post('/api/downloads', { urls: urls.slice(i, i + 1000) }).catch((e) => dialogs.message('Import', e.message));
    });
    input.click();
  },
  'download.export': () => {
    const body = state.order.map((id) => state.downloads.get(id)?.url).filter(Boolean).join('\n');
    const a = el('a', { href: URL.createObjectURL(new Blob([body + '\n'], { type: 'text/plain' })), download: 'downloads.txt' });
    a.click();
    setTimeout(() => URL.revokeObjectURL(a.href), 1000);
  },
  'download.deleteWithFile': async () => {
    const ids = selected();
    if (!ids.length) return;
    const name = ids.length === 1 ? `"${state.downloads.get(ids[0]).name}"` : `${ids.length} downloads`;
    if (await dialogs.confirmBox('Delete with file', `Delete ${name} from the list and the file from the disk?`, 'Delete'))
      each('deleteWithFile', ids);
  },
  'download.priority': (p) => each('priority', selected(), { priority: p }),
  // Up moves the topmost selected first, down the lowest, so a block keeps its shape.
  'download.moveUp': () => each('up', selected().sort((a, b) => state.order.indexOf(a) - state.order.indexOf(b))),
  'download.moveDown': () => each('down', selected().sort((a, b) => state.order.indexOf(b) - state.order.indexOf(a))),
  'download.moveFile': async () => {
    const ids = selected();
    if (!ids.length) return;
    const first = state.downloads.get(ids[0]);
    await dialogs.moveFile(first, ids.length, async (folder) => {
      for (const id of ids) await post(`/api/downloads/${id}/move`, { folder });
    });
  },
  'download.openFolder': async () => {
    const id = selected()[0];
    if (id == null) return;
    try {
      dialogs.showFolder(await post(`/api/downloads/${id}/folder`));
    } catch (e) { dialogs.message('Plover', e.message); }
  },
  'download.properties': () => { const id = selected()[0]; if (id != null) openProperties(id); },
  'download.pauseAll': () => each('pause', [...state.downloads.keys()]),
  'download.resumeAll': () => each('resume', [...state.downloads.keys()]),
  'download.deleteFinished': () => each('delete', [...state.downloads.values()].filter((d) => d.finished).map((d) => d.id)),
  'view.downloads': () => openDownloads(),
  'view.log': () => window.open('/window/log', 'plover-log', 'width=900,height=600'),
  'view.refresh': () => location.reload(),
  'traffic.mode0': () => commands['traffic.set'](0),
  'traffic.mode1': () => commands['traffic.set'](1),
  'traffic.mode2': () => commands['traffic.set'](2),
  'traffic.stop': () => commands['traffic.set'](3),
  'traffic.set': (mode) => post('/api/traffic', { mode }).then(() => { state.traffic.mode = mode; emit('traffic'); })
    .catch((e) => dialogs.message('Plover', e.message)),
  'help.about': () => dialogs.message('About Plover', 'Plover collects pictures and files from the web.'),
  'app.uninstall': () => uninstall(stopped),
  'tools.options': () => openOptions(),
  'tools.profiles': () => openOptions('Scan profiles'),
  'tools.searchSites': () => openOptions('Search sites'),
  'app.exit': async () => {
    if (!(await dialogs.confirmBox('Exit', 'Stop Plover? Downloads under way are kept for the next start.', 'Exit'))) return;
    await post('/api/exit').catch(() => {});
    stopped();
  },
};

let ctx;
let events;

// Downloads in "Wait for user" are answered one dialog at a time, each state once.
const answered = new Set();
let asking = false;
async function answerWaiting() {
  if (asking) return;
  const d = [...state.downloads.values()].find((x) => x.waitForUser && !answered.has(`${x.id}:${x.statusTime}`));
  if (!d) return;
  answered.add(`${d.id}:${d.statusTime}`);
  asking = true;
  try {
    if (d.waitReason === 'login') {
      await dialogs.login(d, (req) => post(`/api/downloads/${d.id}/login`, req),
        () => post(`/api/downloads/${d.id}/cancelLogin`).catch(() => {}));
    } else if (d.waitReason === 'exists') {
      const yes = await dialogs.confirmBox('The file exists', `${d.folder}/${d.name} exists already. Overwrite it?`, 'Overwrite');
      await post(`/api/downloads/${d.id}/${yes ? 'overwrite' : 'keepFile'}`).catch(() => {});
    }
  } finally {
    asking = false;
  }
  answerWaiting();
}
on('downloads', () => answerWaiting());

function openDownloads() {
  const area = ctx.mdi.get(MDI_PRIMARY);
  if (!area) return;
  const pane = el('section', { class: 'pane', 'data-pane': PANE_DOWNLOADS }, panes[PANE_DOWNLOADS].create(ctx));
  area.open(panes[PANE_DOWNLOADS].title, pane, 'downloads');
}

// "iActiveMainPage": the page of the band above the download list shown at start (counted over
// its tabs: baskets, history, scan profiles), stored when the user picks another.
function followActivePage(areas) {
  const pages = areas.flatMap((area) => area.tabs.map((doc) => ({ area, doc })));
  watch(['iActiveMainPage'], () => {
    const page = pages[number('iActiveMainPage', 0)];
    if (page && page.area.current !== page.doc) page.area.show(page.doc);
  });
  for (const area of areas)
    area.listeners.push((doc) => {
      const i = pages.findIndex((p) => p.doc === doc);
      if (i >= 0) storeSetting('iActiveMainPage', String(i));
    });
}

function stopped() {
  events?.close();
  document.body.replaceChildren(el('div', { class: 'stopped' },
    el('h1', { text: 'Plover has stopped.' }), el('p', { text: 'You can close this window.' })));
}

async function start() {
  const path = location.pathname;
  const name = path === '/' || path === '/scan' ? 'main' : path.replace(/^\/window\//, '');
  const app = document.getElementById('app');
  let win;
  try {
    win = await getJson(`/api/windows/${encodeURIComponent(name)}`);
  } catch (e) {
    app.replaceChildren(el('div', { class: 'stopped' }, el('h1', { text: 'Plover is not reachable.' }),
      el('p', { text: e.message })));
    return;
  }
  document.title = win.title;
  await loadSettings();
  installAppearance();
  const placement = { main: 'MainWndPos', basket: 'BasketWndPos', viewer: 'ImageViewWndPos' }[name];
  if (placement) keepPlacement(placement);
  if (name === 'main') await runWizardIfNeeded();
  installBaskets(panes, commands);
  installHistory(panes, commands);
  installProfiles(panes);
  installOptionExtras(stopped, uninstall);
  installSystemInfo(panes, commands);
  if (name === 'basket') installBasketWindow(panes, commands);
  if (name === 'viewer') installViewer(panes, commands);
  if (name === 'format') installFormatWindow(panes);
  ctx = {
    panes,
    mdi: new Map(),
    areas: [],
    canRun: (key) => key in commands,
    command: (key, arg) => commands[key]?.(arg),
  };
  if (name === 'main') installScans(ctx, commands);
  app.replaceChildren(renderWindow(win.root, ctx));
  app.removeAttribute('aria-busy');
  app.dataset.window = name;
  if (name === 'main') {
    followActivePage(ctx.areas.filter((a) => !a.element.primary));
    openDownloads();
    startScans();
    addTrafficBar();
    installSounds();
  }
  events = connectEvents(handlers, (up) => { state.connected = up; emit('connection'); document.body.classList.toggle('offline', !up); });
  if (name === 'basket') startBasketWindow();
  if (name === 'viewer') startViewer();
  if (name === 'format') startFormatWindow();
}

start();
