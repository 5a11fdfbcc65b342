// The page's copy of the baskets (their folders and counts) and of the basket view settings, read
// from the server and read again when the server says the baskets or their files changed:
//   'baskets'      the list was read again
//   'basketFiles'  files arrived (detail: their paths) or a page changed a basket's files
//   'history'      the download history changed
//   'move'         the state of the move job
import { getJson } from './api.js';
import { handlers, emit } from './store.js';

export const baskets = {
  list: [],
  view: { mode: 0, contentMode: 0, thumb: [200, 200], externalViewer: false, shrinkToFit: true },
  newName: 'New Basket',
  loaded: false,
  error: '',
};

let reading = null, again = false;

// Reads the list now (once at a time; a call during a read reads once more after it).
export async function loadBaskets() {
  if (reading) { again = true; return reading; }
  reading = (async () => {
    try {
      const answer = await getJson('/api/baskets');
      baskets.list = answer.baskets;
      baskets.view = answer.view;
      baskets.newName = answer.newName;
      baskets.error = '';
    } catch (e) {
      baskets.error = e.message;
    }
    baskets.loaded = true;
    emit('baskets');
  })();
  await reading;
  reading = null;
  if (again) { again = false; await loadBaskets(); }
}

let soon = 0;
export function loadBasketsSoon() {
  clearTimeout(soon);
  soon = setTimeout(loadBaskets, 250);
}

export const basketById = (id) => baskets.list.find((b) => b.id === id);

// The basket whose folder holds a path (by whole folder names).
export function basketOfPath(path) {
  return baskets.list.find((b) => path === b.folder || path.startsWith(b.folder.endsWith('/') ? b.folder : `${b.folder}/`));
}

handlers.baskets = () => { loadBasketsSoon(); emit('basketFiles', []); };
handlers.basketFile = ({ paths }) => { emit('basketFiles', paths); loadBasketsSoon(); };
handlers.history = () => emit('history');
handlers.move = (job) => emit('move', job);
// A page that was away (the stream broke) reads everything again.
const snapshot = handlers.snapshot;
handlers.snapshot = (s) => { snapshot(s); loadBasketsSoon(); emit('basketFiles', []); };
