// Splitters beside the frames a layout gives a size: dragging one (or the arrow keys on it) moves
// the boundary, so the user can give the documents more room; the size is kept for the next visit.
import { el } from './format.js';

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
    const kept = Number(localStorage.getItem(key));
    if (kept >= MIN) node.style.flexBasis = `${kept}px`;
    const split = el('div', { class: `splitter splitter-${arrangement === 'hor' ? 'hor' : 'ver'}`, role: 'separator',
      tabindex: '0', 'aria-orientation': arrangement === 'hor' ? 'vertical' : 'horizontal', title: 'Drag to resize' });
    const set = (size) => {
      const limit = body.getBoundingClientRect()[along] - MIN;
      const px = Math.round(Math.max(MIN, Math.min(size, limit)));
      node.style.flexBasis = `${px}px`;
      localStorage.setItem(key, String(px));
    };
    split.addEventListener('pointerdown', (e) => {
      if (e.button !== 0) return;
      e.preventDefault();
      const from = along === 'width' ? e.clientX : e.clientY;
      const start = node.getBoundingClientRect()[along];
      split.setPointerCapture(e.pointerId);
      split.classList.add('dragging');
      const move = (m) => set(start + sign * ((along === 'width' ? m.clientX : m.clientY) - from));
      const up = () => {
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
    });
    if (after) node.after(split); else node.before(split);
  });
}
