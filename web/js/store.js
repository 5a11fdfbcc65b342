// The page's copy of the program's state, fed by the event stream. Views subscribe to the parts
// they show and are told what changed.

const listeners = new Map();

export const state = {
  downloads: new Map(),  // id -> download
  order: [],             // ids in list order
  traffic: { speed: 0, active: 0, count: 0, mode: 0 },
  log: [],
  categories: [],      // names of the category filter, by index
  connected: false,
  logLimit: 1000,      // lines the log keeps ("dwLogEntryNumber")
};

export function on(topic, fn) {
  if (!listeners.has(topic)) listeners.set(topic, new Set());
  listeners.get(topic).add(fn);
}

export function emit(topic, detail) {
  for (const fn of listeners.get(topic) ?? []) fn(detail);
}

function sortOrder() {
  state.order = [...state.downloads.values()].sort((a, b) => a.queue - b.queue).map((d) => d.id);
}

export const handlers = {
  snapshot(s) {
    state.downloads = new Map(s.downloads.map((d) => [d.id, d]));
    sortOrder();
    state.traffic = s.traffic;
    state.log = s.log.slice(-Math.max(10, state.logLimit));
    state.categories = s.categories ?? [];
    emit('downloads', { reset: true });
    emit('traffic');
    emit('log', { reset: true });
  },
  download(d) {
    const known = state.downloads.has(d.id);
    state.downloads.set(d.id, d);
    if (!known) sortOrder();
    emit('downloads', { changed: d.id, added: !known });
  },
  removed({ id }) {
    state.downloads.delete(id);
    state.order = state.order.filter((x) => x !== id);
    emit('downloads', { removed: id });
  },
  order(ids) {
    state.order = ids.filter((id) => state.downloads.has(id));
    emit('downloads', { reordered: true });
  },
  log(lines) {
    state.log.push(...lines);
    const keep = Math.max(10, state.logLimit);
    if (state.log.length > keep) state.log.splice(0, state.log.length - keep);
    emit('log', { lines });
  },
  traffic(t) {
    state.traffic = t;
    emit('traffic');
  },
};
