// The stored placements of the windows ("MainWndPos", "BasketWndPos", "ImageViewWndPos"): left,
// top, right and bottom in screen pixels, then two numbers kept as they are. A window the page
// opens takes its stored place; every window stores where it is when the user resizes it. (The
// browser places the main page itself, so its placement is only stored.)
import { numbers, storeSetting } from './view_settings.js';

// The window.open features for a window of the named setting, or the given size when none is kept.
export function placedFeatures(name, width, height) {
  const [left, top, right, bottom] = numbers(name);
  if (right - left >= 200 && bottom - top >= 150)
    return `left=${left},top=${top},width=${right - left},height=${bottom - top}`;
  return `width=${width},height=${height}`;
}

export function keepPlacement(name) {
  let timer = 0;
  addEventListener('resize', () => {
    clearTimeout(timer);
    timer = setTimeout(() => {
      const rest = numbers(name).slice(4, 6);
      while (rest.length < 2) rest.push(0);
      const place = [screenX, screenY, screenX + outerWidth, screenY + outerHeight, ...rest];
      storeSetting(name, place.map((n) => Math.round(n)).join(' '));
    }, 700);
  });
}
