// The appearance settings every window obeys: the progress and section colours, wrapped
// addresses, the log's length, the traffic bar, the folder tree of the basket window and the profiles'
// descriptions. Each is followed live: changing it in the options changes every open window.
import { el } from './format.js';
import { state, on, emit } from './store.js';
import { watch, flag, number, colour } from './view_settings.js';

const COLOURS = [
  ['colorProgressBkgnd', '--progress-bg'],
  ['colorProgressTotal', '--progress-total'],
  ['colorProgressSections', '--progress-sections'],
  ['colorActiveSections', '--sections-active'],
];

// Settings shown as a class of the page: [setting, class, class when the setting is set].
const CLASSES = [
  ['bWrapURLs', 'wrap-urls', true],
  ['bShowProfileDescription', 'hide-profile-descriptions', false],
  ['bShowSurferFolderTree', 'hide-folder-tree', false],
  ['bTrafficBarOn', 'hide-traffic-bar', false],
];

export function installAppearance() {
  const root = document.documentElement.style;
  watch(COLOURS.map(([name]) => name), () => {
    for (const [name, variable] of COLOURS) {
      const c = colour(name, null);
      if (c) root.setProperty(variable, c); else root.removeProperty(variable);
    }
  });
  watch(['dwLogEntryNumber'], () => {
    state.logLimit = Math.max(10, number('dwLogEntryNumber', 1000));
    if (state.log.length > state.logLimit) state.log.splice(0, state.log.length - state.logLimit);
    emit('log', { reset: true });
  });
  for (const [name, cls, whenSet] of CLASSES)
    watch([name], () => document.body.classList.toggle(cls, flag(name, !whenSet) === whenSet));
}

// The traffic bar: the last hundred seconds of the download speed as a small graph beside the
// speed in the status bar, each second a line as tall as its share of the largest.
export function addTrafficBar() {
  const speed = document.querySelector('[data-content="speed"]');
  if (!speed) return;
  const canvas = el('canvas', { class: 'traffic-bar', width: '100', height: '15', role: 'img',
    'aria-label': 'Traffic of the last 100 seconds' });
  speed.after(canvas);
  const history = [];
  const draw = () => {
    const g = canvas.getContext('2d');
    const css = getComputedStyle(canvas);
    g.clearRect(0, 0, 100, 15);
    const top = Math.max(...history, 0);
    if (!top) return;
    g.strokeStyle = css.color;
    g.beginPath();
    history.forEach((v, i) => {
      const x = 99.5 - i;
      g.moveTo(x, 15);
      g.lineTo(x, 15 - (v * 15) / top);
    });
    g.stroke();
  };
  setInterval(() => {
    if (document.body.classList.contains('hide-traffic-bar')) return;
    history.unshift(state.connected ? state.traffic.speed ?? 0 : 0);
    if (history.length > 100) history.pop();
    draw();
  }, 1000);
  on('connection', draw);
}
