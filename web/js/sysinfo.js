// The system information window: the report in sections, copied to the clipboard or saved as a
// text file, read again with Refresh.
import { getJson } from './api.js';
import { el } from './format.js';

const PANE_SYSINFO = 121;

export function openSystemInfo() {
  window.open('/window/sysinfo', 'plover-sysinfo', 'width=760,height=720');
}

function createPane() {
  const body = el('div', { class: 'sysinfo-body' });
  const status = el('span', { class: 'tp-note', role: 'status' });
  let text = '';
  const load = async () => {
    try {
      const report = await getJson('/api/sysinfo');
      text = report.text;
      body.replaceChildren(el('table', {}, ...report.sections.flatMap((s) => [
        el('tr', {}, el('th', { colspan: '2', text: s.title })),
        ...s.rows.map(([label, value]) => el('tr', {}, el('td', { text: label }), el('td', { text: value }))),
      ])));
    } catch (e) { body.replaceChildren(el('p', { class: 'hist-empty', text: e.message })); }
  };
  const copy = el('button', { type: 'button', text: 'Copy to clipboard', 'data-action': 'copy' });
  copy.addEventListener('click', async () => {
    try { await navigator.clipboard.writeText(text); status.textContent = 'Copied.'; } catch {
      const area = el('textarea', {}, text);
      document.body.append(area);
      area.select();
      document.execCommand('copy');  // without a secure context the selection is copied instead
      area.remove();
      status.textContent = 'Copied.';
    }
  });
  const save = el('button', { type: 'button', text: 'Save as...', 'data-action': 'save' });
  save.addEventListener('click', () => {
    const a = el('a', { href: URL.createObjectURL(new Blob([text], { type: 'text/plain' })), download: 'plover-system-information.txt' });
    a.click();
    setTimeout(() => URL.revokeObjectURL(a.href), 1000);
  });
  const refresh = el('button', { type: 'button', text: 'Refresh', onclick: load });
  load();
  return el('div', { class: 'sysinfo' }, el('h2', { text: 'System information' }),
    el('div', { class: 'sysinfo-buttons tp-buttons' }, copy, save, refresh, status), body);
}

export function installSystemInfo(panes, commands) {
  panes[PANE_SYSINFO] = { title: 'System information', create: createPane };
  commands['help.sysinfo'] = openSystemInfo;
}
