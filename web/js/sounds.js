// The sounds of the download events, played by the main window from /api/sounds/N when the
// record "Sound #N" is enabled: 1 when a download starts downloading, 2 when one finishes, 3 when
// one fails, 4 when the last running download has ended with nothing paused or waiting. A browser
// plays sound only after the user has used the page once; until then a sound is skipped.
import { state, on } from './store.js';
import { flag } from './view_settings.js';

const seen = new Map();  // id -> { downloading, finished, failed }
let wasActive = 0;

function play(n) {
  if (!flag(`Sound #${n}/bEnable`)) return;
  new Audio(`/api/sounds/${n}`).play().catch(() => {});
}

export function installSounds() {
  on('downloads', (ev) => {
    if (ev?.reset) {
      seen.clear();
      for (const d of state.downloads.values()) seen.set(d.id, now(d));
      return;
    }
    const d = state.downloads.get(ev?.changed);
    if (!d) return;
    const before = seen.get(d.id), after = now(d);
    seen.set(d.id, after);
    if (!before) return;
    if (after.downloading && !before.downloading) play(1);
    if (after.finished && !before.finished) play(2);
    if (after.failed && !before.failed) play(3);
  });
  on('traffic', () => {
    const t = state.traffic;
    const held = [...state.downloads.values()].some((d) => d.paused || d.waitForUser);
    if (wasActive > 0 && t.active === 0 && state.downloads.size > 0 && !held) play(4);
    wasActive = t.active ?? 0;
  });
}

const now = (d) => ({ downloading: d.status === 'Downloading', finished: d.finished, failed: d.failed });
