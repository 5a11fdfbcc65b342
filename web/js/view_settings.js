// The stored settings the windows obey (colours, column widths, the log's length, splitters...):
// read once before the window is drawn, again after every reconnect, and followed through the
// "setting" event the server sends to every open window when one is changed. A window that
// changes one itself (a column resized, a splitter moved) stores it back the same way.
import { getJson, post } from './api.js';
import { handlers } from './store.js';

const values = new Map();   // lower-case name -> stored text ("1", "0x00FF0000", "0 300 100")
const watchers = [];        // [lower-case names, fn]

const key = (name) => name.toLowerCase();

export function setting(name, fallback = '') {
  return values.get(key(name)) ?? fallback;
}

export function flag(name, fallback = false) {
  const v = values.get(key(name));
  return v === undefined ? fallback : Number(v) !== 0;
}

// A whole number, decimal or 0x hexadecimal as the store writes them.
export function number(name, fallback = 0) {
  const n = Number(values.get(key(name)));
  return Number.isFinite(n) && values.has(key(name)) ? n : fallback;
}

export function numbers(name) {
  return setting(name).split(/[\s,]+/).filter(Boolean).map(Number);
}

// A stored colour (0x00BBGGRR) as CSS.
export function colour(name, fallback) {
  if (!values.has(key(name))) return fallback;
  const n = number(name) >>> 0;
  const hex = (v) => v.toString(16).padStart(2, '0');
  return `#${hex(n & 0xff)}${hex((n >> 8) & 0xff)}${hex((n >> 16) & 0xff)}`;
}

// fn() runs now and whenever one of names changes.
export function watch(names, fn) {
  watchers.push([names.map(key), fn]);
  fn();
}

function changed(name) {
  for (const [names, fn] of watchers) if (names.includes(key(name))) fn();
}

export async function loadSettings() {
  try {
    const answer = await getJson('/api/settings/stored');
    for (const s of answer.settings) {
      const old = values.get(key(s.name));
      values.set(key(s.name), s.value);
      if (old !== undefined && old !== s.value) changed(s.name);
    }
  } catch { /* the defaults of each view stay */ }
}

// Stores a value the window chose itself; a refusal leaves the stored one.
export async function storeSetting(name, value) {
  if (setting(name) === value) return;
  values.set(key(name), value);
  await post('/api/settings', { name, value }).catch(() => loadSettings());
}

handlers.setting = (s) => {
  if (values.get(key(s.name)) === s.value) return;
  values.set(key(s.name), s.value);
  changed(s.name);
};
const snapshot = handlers.snapshot;
handlers.snapshot = (s) => { snapshot(s); loadSettings(); };
