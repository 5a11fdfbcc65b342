// Splitters beside the frames a layout gives a size: dragging one (or the arrow keys on it) moves
// the boundary, so the user can give the documents more room; the size is kept for the next visit.
// Two are stored settings that every window follows: the band of panes above the download list
// (its height) and the folder tree of the basket window (its width); the others are kept by the
// browser.
import { el } from './format.js';
import { number, watch, storeSetting } from './view_settings.js';

// The pane a sized frame holds -> the setting that keeps its size.
const STORED = [['101', 'iDownloadListSplitterSize'], ['140', 'iBrowserSplitterSize']];
const storedSetting = (node) => STORED.find(([pane]) => node.querySelector(`[data-pane="${pane}"]`))?.[1];
// The stored default of the band's height is far smaller than the band the window lays out (three
// panes with their bars); until the user moves that splitter the layout's size stands.
const UNMOVED = { iDownloadListSplitterSize: 150 };

const MIN = 80, STEP = 16;
let counter = 0;

// body: a frame's body whose children are laid out along arrangement ("hor" or "ver").
export function addSplitters(body, arrangement) {
  const kids = [...body.children];
  const along = arrangement === 'hor' ? 'width' : 'height';
  kids.forEach((node, i) => {
    if (!node.classList.contains('sized') || kids.length < 2) return;
    const after = i < kids.length - 1;  // the splitter faces the neighbour that takes the rest
    const sign = after ? 1 : -1;
    const key = `plover.split:${location.pathname}:${counter++}`;
    const name = storedSetting(node);
    if (name) {
      node.dataset.splitSetting = name;
      const laidOut = node.style.flexBasis;
      watch([name], () => {
        const px = number(name, 0);
        if (px > 0 && px !== UNMOVED[name]) node.style.flexBasis = `${Math.max(MIN, px)}px`;
        else node.style.flexBasis = laidOut;
      });
    } else {
      const kept = Number(localStorage.getItem(key));
      if (kept >= MIN) node.style.flexBasis = `${kept}px`;
    }
    const split = el('div', { class: `splitter splitter-${arrangement === 'hor' ? 'hor' : 'ver'}`, role: 'separator',
      tabindex: '0', 'aria-orientation': arrangement === 'hor' ? 'vertical' : 'horizontal', title: 'Drag to resize' });
    const set = (size) => {
      const limit = body.getBoundingClientRect()[along] - MIN;
      const px = Math.round(Math.max(MIN, Math.min(size, limit)));
      node.style.flexBasis = `${px}px`;
      if (!name) localStorage.setItem(key, String(px));
      return px;
    };
    const keep = () => { if (name) storeSetting(name, String(Math.round(node.getBoundingClientRect()[along]))); };
    split.addEventListener('pointerdown', (e) => {
      if (e.button !== 0) return;
      e.preventDefault();
      const from = along === 'width' ? e.clientX : e.clientY;
      const start = node.getBoundingClientRect()[along];
      split.setPointerCapture(e.pointerId);
      split.classList.add('dragging');
      const move = (m) => set(start + sign * ((along === 'width' ? m.clientX : m.clientY) - from));
      const up = () => {
        keep();
        split.classList.remove('dragging');
        split.removeEventListener('pointermove', move);
        split.removeEventListener('pointerup', up);
        split.removeEventListener('pointercancel', up);
      };
      split.addEventListener('pointermove', move);
      split.addEventListener('pointerup', up);
      split.addEventListener('pointercancel', up);
    });
    split.addEventListener('keydown', (e) => {
      const keys = along === 'width' ? ['ArrowLeft', 'ArrowRight'] : ['ArrowUp', 'ArrowDown'];
      const k = keys.indexOf(e.key);
      if (k < 0) return;
      e.preventDefault();
      set(node.getBoundingClientRect()[along] + (k ? 1 : -1) * sign * STEP);
      keep();
    });
    if (name) split.dataset.splitSetting = name;
    if (after) node.after(split); else node.before(split);
  });
}
