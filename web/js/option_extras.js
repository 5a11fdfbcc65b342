// The option pages that are more than a list of stored values: the page cache (what it holds,
// "Clean Cache..." after its question, moving it), the proxies with their check, the site logins
// and the installation (uninstalling). Each is added to the Options window by name.
import { getJson, post } from './api.js';
import { el, bytes } from './format.js';
import * as dialogs from './dialogs.js';
import { addOptionPage } from './options.js';
import { createTwoPane } from './two_pane.js';

// A row laid out like the stored settings' rows: label, then the controls.
function line(label, ...controls) {
  return el('div', { class: 'opt-row' }, el('span', { class: 'opt-label', text: label }),
    el('div', {}, el('span', { class: 'opt-line' }, ...controls)));
}

function cachePage(page) {
  let known = null;
  const count = el('span', { class: 'opt-value', 'data-cache': 'count', text: '…' });
  const error = el('div', { class: 'opt-error', role: 'alert' });
  const clear = el('button', { type: 'button', text: 'Clean Cache...', 'data-action': 'clear-cache' });
  const target = el('input', { type: 'text', name: 'cacheTarget', spellcheck: 'false', autocomplete: 'off',
    placeholder: 'A folder, for example /home/me/.cache/plover' });
  const move = el('button', { type: 'button', text: 'Move', 'data-action': 'move-cache' });
  const shownFolder = () => page.querySelector("[data-setting='csCacheFolder'] input");
  async function refresh() {
    try {
      known = await getJson('/api/cache');
      count.textContent = `${known.count} (${bytes(known.size)})`;
      if (shownFolder()) shownFolder().value = known.folder;
    } catch (e) { error.textContent = e.message; }
  }
  clear.addEventListener('click', async () => {
    if (!known || !(await dialogs.confirmBox('Page cache', known.clearQuestion, 'Yes', 'No'))) return;
    try {
      await post('/api/cache/clear', { confirm: true });
      error.textContent = '';
    } catch (e) { error.textContent = e.message; }
    refresh();
  });
  const doMove = async () => {
    move.disabled = true;
    try {
      await post('/api/cache/move', { folder: target.value.trim() });
      error.textContent = '';
      target.value = '';
    } catch (e) { error.textContent = e.message; }
    move.disabled = false;
    refresh();
  };
  move.addEventListener('click', doMove);
  target.addEventListener('keydown', (e) => { if (e.key === 'Enter') { e.preventDefault(); doMove(); } });
  page.querySelector('h3').after(el('div', { class: 'opt-section' },
    line('Cached files', count, clear), line('Move the cache to', target, move), error));
  refresh();
}

function proxyPage(page) {
  const error = el('div', { class: 'opt-error', role: 'alert', 'data-proxy': 'error' });
  const input = (name, type = 'text') => el('input', { type, name, spellcheck: 'false', autocomplete: 'off' });
  const f = {
    httpUse: input('httpUse', 'checkbox'), httpAddr: input('httpAddr'), httpPort: input('httpPort', 'number'),
    ftpMode: el('select', { name: 'ftpMode' }, ...['Connect directly', 'Through the HTTP proxy', 'Through this FTP proxy']
      .map((t, i) => el('option', { value: String(i), text: t }))),
    ftpAddr: input('ftpAddr'), ftpPort: input('ftpPort', 'number'), passive: input('passive', 'checkbox'),
    ftpUser: input('ftpUser'), ftpPassword: input('ftpPassword', 'password'),
  };
  f.httpPort.min = f.ftpPort.min = '0';
  f.httpPort.max = f.ftpPort.max = '65535';
  f.httpAddr.placeholder = f.ftpAddr.placeholder = 'Host name or address';
  const check = el('button', { type: 'button', text: 'Check proxy', 'data-action': 'check-proxy' });
  const apply = el('button', { type: 'button', class: 'primary', text: 'Apply', 'data-action': 'apply-proxy' });
  const port = (v) => (v.value.trim() === '' ? null : Number(v.value));
  const show = (p) => {
    f.httpUse.checked = p.httpUse; f.httpAddr.value = p.httpAddr; f.httpPort.value = p.httpPort < 0 ? '' : p.httpPort;
    f.ftpMode.value = String(p.ftpMode); f.ftpAddr.value = p.ftpAddr; f.ftpPort.value = p.ftpPort < 0 ? '' : p.ftpPort;
    f.passive.checked = p.passive; f.ftpUser.value = p.ftpUser; f.ftpPassword.value = p.ftpPassword;
    enable();
  };
  // The check is offered when the HTTP proxy is marked as used; the FTP proxy's fields in mode 2.
  const enable = () => {
    check.disabled = !f.httpUse.checked;
    for (const k of ['ftpAddr', 'ftpPort', 'ftpUser', 'ftpPassword']) f[k].disabled = f.ftpMode.value !== '2';
  };
  f.httpUse.addEventListener('change', enable);
  f.ftpMode.addEventListener('change', enable);
  apply.addEventListener('click', async () => {
    try {
      show(await post('/api/proxy', {
        httpUse: f.httpUse.checked, httpAddr: f.httpAddr.value.trim(), httpPort: port(f.httpPort),
        ftpMode: Number(f.ftpMode.value), ftpAddr: f.ftpAddr.value.trim(), ftpPort: port(f.ftpPort),
        passive: f.passive.checked, ftpUser: f.ftpUser.value, ftpPassword: f.ftpPassword.value,
      }));
      error.textContent = '';
      error.classList.remove('opt-ok');
    } catch (e) { error.textContent = e.message; }
  });
  check.addEventListener('click', () => checkProxy(f.httpAddr.value.trim(), port(f.httpPort)));
  const check1 = el('label', { class: 'opt-line' }, f.httpUse, 'Use an HTTP proxy');
  const check2 = el('label', { class: 'opt-line' }, f.passive, 'Passive FTP data connections');
  page.append(
    el('h4', { class: 'opt-sub', text: 'HTTP proxy' }),
    el('div', { class: 'opt-row opt-check' }, el('span'), check1),
    line('Address', f.httpAddr), line('Port', f.httpPort, check),
    el('h4', { class: 'opt-sub', text: 'FTP' }),
    line('FTP connections', f.ftpMode),
    line('FTP proxy address', f.ftpAddr), line('FTP proxy port', f.ftpPort),
    line('User name', f.ftpUser), line('Password', f.ftpPassword),
    el('div', { class: 'opt-row opt-check' }, el('span'), check2),
    error, el('div', { class: 'opt-actions' }, apply));
  getJson('/api/proxy').then(show).catch((e) => { error.textContent = e.message; });
}

// The check's dialog: the status while it runs (a turning sign), then its result; Cancel detaches it.
async function checkProxy(address, port) {
  const status = el('p', { class: 'proxy-status', 'data-proxy': 'status', text: '' });
  const spinner = el('span', { class: 'proxy-spinner', 'aria-hidden': 'true' });
  const cancel = el('button', { value: 'cancel', text: 'Cancel' });
  const d = dialogs.dialog('Checking the proxy', el('div', { class: 'proxy-check' }, spinner, status), [cancel]);
  d.classList.add('proxy-dlg');
  let state;
  let open = true;
  d.addEventListener('close', () => {
    if (open) post('/api/proxy/check/cancel').catch(() => {});
    open = false;
  });
  try {
    state = await post('/api/proxy/check', { address, port: port ?? -1 });
    while (open && !state.done) {
      status.textContent = state.status;
      await new Promise((r) => setTimeout(r, 200));
      state = await getJson('/api/proxy/check');
    }
  } catch (e) {
    if (open) { open = false; d.close(); dialogs.message('Checking the proxy', e.message); }
    return;
  }
  if (!open) return;
  open = false;
  d.close();
  dialogs.message('Checking the proxy', state.text);
}

function siteLoginsEditor() {
  return createTwoPane({
    name: 'Site logins',
    noun: 'site login',
    load: async () => (await getJson('/api/sites')).sites,
    label: (s) => (s.login ? `${s.site} (${s.user})` : s.site),
    empty: 'No site logins are stored. "New" adds the login of a site.',
    fields: [
      { key: 'site', label: 'Site', type: 'text', placeholder: 'Host name or address' },
      { key: 'user', label: 'User name', type: 'text' },
      { key: 'password', label: 'Password', type: 'password', placeholder: 'Unchanged when empty' },
      { key: 'cookie', label: 'Cookie', type: 'text', placeholder: 'a=1; b=2' },
      { key: 'userAgent', label: 'User-Agent', type: 'text', placeholder: 'Empty: the setting' },
      { key: 'maxConnections', label: 'Connections', type: 'number', min: 0, max: 64 },
    ],
    defaults: () => ({ site: '', user: '', password: '', cookie: '', userAgent: '', maxConnections: 0 }),
    note: () => 'Every new download from this site uses the login. Connections 0: the program\'s limit.',
    save: (s, body) => post(s ? `/api/sites/${s.index}` : '/api/sites', body),
    remove: (s) => post(`/api/sites/${s.index}/delete`),
    deleteQuestion: (s) => `Do you want to delete the login of ${s.site}?`,
  });
}

export function installOptionExtras(onUninstalled, uninstall) {
  addOptionPage('Page cache', cachePage);
  addOptionPage('Proxies', proxyPage);
  addOptionPage('Site logins', (page) => page.append(siteLoginsEditor()));
  addOptionPage('Installation', (page) => {
    page.append(
      el('p', { class: 'opt-text', text: 'Uninstalling removes Plover\'s settings from this home and stops Plover. '
        + 'Your downloads, baskets and download history stay on the disk.' }),
      el('div', { class: 'opt-actions opt-actions-left' },
        el('button', { type: 'button', text: 'Uninstall Plover...', 'data-action': 'uninstall',
          onclick: () => uninstall(onUninstalled) })));
  });
}
