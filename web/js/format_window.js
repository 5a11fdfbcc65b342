// The search-site format window (two panes): the site's page in an inner frame on the left, and
// on the right the prompt with Yes and No, the address the frame shows and the template found.
// The dialog's logic runs in Plover; this window forwards its check timer (every 100 ms while it
// runs) and its buttons, and blinks the prompt while a question waits. The user searches the
// site in the frame; the window closes when the dialog ends, saying its message first.
import { getJson, post } from './api.js';
import { el } from './format.js';
import * as dialogs from './dialogs.js';

const PANE_SITE_PAGE = 150, PANE_SITE_TEMPLATE = 151;

// The frame may submit its forms and follow links, never run a script or leave its box.
const frame = el('iframe', { class: 'fmt-frame', name: 'site-page', title: 'The site\'s page',
  sandbox: 'allow-forms allow-same-origin', referrerpolicy: 'no-referrer' });
const prompt = el('p', { class: 'fmt-prompt', role: 'status', 'data-format': 'prompt' });
const yes = el('button', { type: 'button', class: 'primary', text: 'Yes', 'data-action': 'yes' });
const no = el('button', { type: 'button', text: 'No', 'data-action': 'no' });
const site = el('p', { class: 'fmt-site' });
const address = el('input', { type: 'text', readonly: true, class: 'fmt-address', 'data-format': 'address' });
const found = el('input', { type: 'text', readonly: true, class: 'fmt-template', 'data-format': 'template' });
let state = null;
let navigation = -1;
let busy = false;
let timers = [];

function show(s) {
  state = s;
  if (s.result === 'none') {
    prompt.textContent = 'No format determination is running. Start one from a search site\'s properties.';
    yes.hidden = no.hidden = true;
    return;
  }
  if (s.navigation !== navigation) {
    navigation = s.navigation;
    frame.src = s.frame;
  }
  site.textContent = s.site;
  prompt.textContent = s.prompt;
  yes.hidden = no.hidden = !s.buttons;
  address.value = address.title = s.address;
  found.value = found.title = s.template;
  if (!s.blinking) prompt.classList.remove('fmt-hidden');
  if (s.result !== 'running') finish(s);
}

function finish(s) {
  timers.forEach(clearInterval);
  timers = [];
  yes.hidden = no.hidden = true;
  const close = () => { window.close(); };
  if (s.message) {
    const d = dialogs.dialog('Search site format', el('p', { text: s.message }),
      [el('button', { value: 'ok', class: 'primary', text: 'OK' })]);
    d.addEventListener('close', close);
  } else {
    close();
  }
}

async function send(path) {
  if (busy) return;
  busy = true;
  try { show(await post(path)); } catch (e) { prompt.textContent = e.message; } finally { busy = false; }
}

function sitePane() {
  return el('div', { class: 'fmt-page' }, frame);
}

function templatePane() {
  yes.addEventListener('click', () => send('/api/format/yes'));
  no.addEventListener('click', () => send('/api/format/no'));
  const cancel = el('button', { type: 'button', text: 'Cancel', 'data-action': 'cancel',
    onclick: async () => { await post('/api/format/cancel').catch(() => {}); window.close(); } });
  return el('div', { class: 'fmt-side' },
    el('h2', { text: 'Search site format' }), site, prompt,
    el('div', { class: 'fmt-buttons' }, yes, no),
    el('label', { class: 'fmt-field' }, el('span', { text: 'Address shown' }), address),
    el('label', { class: 'fmt-field' }, el('span', { text: 'Template' }), found),
    el('p', { class: 'tp-note', text: 'When the site has loaded, search it for the word Flitter with its own search '
      + 'form. The address of its result page, with Flitter replaced by _TEXT_TO_SEARCH_, becomes the template.' }),
    el('div', { class: 'fmt-buttons fmt-end' }, cancel));
}

export function installFormatWindow(panes) {
  panes[PANE_SITE_PAGE] = { title: 'Site', create: sitePane };
  panes[PANE_SITE_TEMPLATE] = { title: 'Template', create: templatePane };
}

export async function startFormatWindow() {
  try { show(await getJson('/api/format')); } catch (e) { prompt.textContent = e.message; return; }
  if (state.result !== 'running') return;
  timers.push(setInterval(() => { if (state?.checking) send('/api/format/check'); }, 100));
  timers.push(setInterval(() => { if (state?.blinking) prompt.classList.toggle('fmt-hidden'); }, 500));
  // Closing the window ends the determination without a result.
  window.addEventListener('pagehide', () => {
    if (state?.result === 'running') fetch('/api/format/cancel', { method: 'POST', keepalive: true,
      headers: { 'Content-Type': 'application/json' }, body: '{}' });
  });
}

// From a search site's properties: starts the determination for the site's name and opens the
// window; a template found is put into format (an input). error shows a refusal.
export async function determineFormat(siteName, format, error) {
  let started;
  try {
    started = await post('/api/format/start', { site: siteName });
  } catch (e) { error.textContent = e.message; return; }
  error.textContent = '';
  window.open('/window/format', 'plover-format', 'width=1100,height=760');
  const timer = setInterval(async () => {
    let s;
    try { s = await getJson('/api/format'); } catch { return; }
    if (s.id !== started.id || s.result === 'closed') clearInterval(timer);
    else if (s.result === 'determined') {
      clearInterval(timer);
      format.value = s.template;
      format.dispatchEvent(new Event('input', { bubbles: true }));
    }
  }, 300);
}
