// Dialogs: adding downloads, confirming, a message. Built on <dialog>, modal, Escape cancels.
import { el } from './format.js';
import { flag, storeSetting } from './view_settings.js';

export function dialog(title, body, buttons) {
  const d = el('dialog', { class: 'dlg' },
    el('form', { method: 'dialog' },
      el('h2', { class: 'dlg-title', text: title }), body,
      el('div', { class: 'dlg-buttons' }, ...buttons)));
  document.body.append(d);
  d.addEventListener('close', () => d.remove());
  d.showModal();
  return d;
}

export function message(title, text) {
  dialog(title, el('p', { text }), [el('button', { value: 'ok', class: 'primary', text: 'OK' })]);
}

export function confirmBox(title, text, okText, cancelText = 'Cancel') {
  return new Promise((resolve) => {
    const d = dialog(title, el('p', { text }), [
      el('button', { value: 'cancel', text: cancelText }),
      el('button', { value: 'ok', class: 'primary', text: okText }),
    ]);
    d.addEventListener('close', () => resolve(d.returnValue === 'ok'));
  });
}

// Asks for addresses (one a line), the folder, the priority and whether to start paused; submit
// calls add(request), which throws with the server's reason on refusal.
export function addDownloads(add) {
  const urls = el('textarea', { rows: '6', required: true, spellcheck: 'false', name: 'urls',
    placeholder: 'http://example.com/file.zip\nftp://example.com/pub/file.iso' });
  const folder = el('input', { type: 'text', name: 'folder', placeholder: 'Default download folder', spellcheck: 'false' });
  const priority = el('select', { name: 'priority' },
    ...[10, 8, 5, 3, 0].map((p) => el('option', { value: String(p), text: `${p}${p === 10 ? ' (always runs)' : ''}` })));
  priority.value = '5';
  const paused = el('input', { type: 'checkbox', name: 'paused' });
  const error = el('p', { class: 'dlg-error', role: 'alert' });
  const ok = el('button', { value: 'ok', class: 'primary', text: 'Add' });
  // The advanced part (folder, priority, paused) is shown as the user last left it.
  const advanced = [el('label', { text: 'Save in' }), folder, el('label', { text: 'Priority' }), priority,
    el('span'), el('label', { class: 'check' }, paused, ' Add paused')];
  const more = el('button', { type: 'button', class: 'link', 'data-action': 'advanced' });
  const showAdvanced = (on) => {
    advanced.forEach((n) => { n.hidden = !on; });
    more.textContent = on ? 'Fewer choices' : 'More choices…';
  };
  showAdvanced(flag('bNewDownloadAdv'));
  more.addEventListener('click', () => {
    const on = advanced[0].hidden;
    showAdvanced(on);
    storeSetting('bNewDownloadAdv', on ? '1' : '0');
  });
  const body = el('div', { class: 'dlg-body form-grid' },
    el('label', { text: 'Addresses' }), urls, ...advanced, el('span'), more, el('span'), error);
  const d = dialog('Add downloads', body, [el('button', { value: 'cancel', formnovalidate: true, text: 'Cancel' }), ok]);
  urls.focus();
  ok.addEventListener('click', async (e) => {
    e.preventDefault();
    const list = urls.value.split(/\s+/).map((s) => s.trim()).filter(Boolean);
    if (!list.length) { error.textContent = 'Enter at least one address.'; return; }
    ok.disabled = true;
    try {
      await add({ urls: list, folder: folder.value.trim(), priority: Number(priority.value), paused: paused.checked });
      d.close('ok');
    } catch (err) {
      error.textContent = err.message;
      ok.disabled = false;
    }
  });
}

// The server asked for a login: user name, password and whether to keep it for the site.
// answer(request) posts it; cancel() gives up the download's request.
export function login(download, answer, cancel) {
  const user = el('input', { type: 'text', name: 'user', autocomplete: 'username', spellcheck: 'false' });
  const password = el('input', { type: 'password', name: 'password', autocomplete: 'current-password' });
  const store = el('input', { type: 'checkbox', name: 'store' });
  const error = el('p', { class: 'dlg-error', role: 'alert' });
  const ok = el('button', { value: 'ok', class: 'primary', text: 'Log in' });
  const body = el('div', { class: 'dlg-body form-grid' },
    el('span'), el('p', { class: 'dlg-text', text: `${download.server} asks for a login to send "${download.name}".` }),
    el('label', { text: 'Username' }), user,
    el('label', { text: 'Password' }), password,
    el('span'), el('label', { class: 'check' }, store, ' Store the login for this site'),
    el('span'), error);
  const d = dialog('Login', body, [el('button', { value: 'cancel', formnovalidate: true, text: 'Cancel' }), ok]);
  d.classList.add('dlg-login');
  user.focus();
  ok.addEventListener('click', async (e) => {
    e.preventDefault();
    if (!user.value || !password.value) { error.textContent = 'Username and password cannot be empty.'; return; }
    try {
      await answer({ user: user.value, password: password.value, store: store.checked });
      d.close('ok');
    } catch (err) { error.textContent = err.message; }
  });
  return new Promise((resolve) => d.addEventListener('close', () => {
    if (d.returnValue !== 'ok') cancel();
    resolve();
  }));
}

// Asks for the folder to move the selected downloads' files to; move(folder) throws with the
// server's reason on refusal.
export function moveFile(download, count, move) {
  const folder = el('input', { type: 'text', name: 'folder', required: true, spellcheck: 'false', value: download.folder });
  const error = el('p', { class: 'dlg-error', role: 'alert' });
  const ok = el('button', { value: 'ok', class: 'primary', text: 'Move' });
  const what = count === 1 ? `"${download.name}"` : `the files of ${count} downloads`;
  const body = el('div', { class: 'dlg-body form-grid' },
    el('span'), el('p', { class: 'dlg-text', text: `Move ${what} to another folder.` }),
    el('label', { text: 'Folder' }), folder,
    el('span'), error);
  const d = dialog('Move the file', body, [el('button', { value: 'cancel', formnovalidate: true, text: 'Cancel' }), ok]);
  d.classList.add('dlg-move');
  folder.focus();
  ok.addEventListener('click', async (e) => {
    e.preventDefault();
    if (!folder.value.trim()) { error.textContent = 'Enter a folder.'; return; }
    ok.disabled = true;
    try {
      await move(folder.value.trim());
      d.close('ok');
    } catch (err) {
      error.textContent = err.message;
      ok.disabled = false;
    }
  });
}

// A page cannot open a file manager: it shows where the file is and offers to copy the folder.
export function showFolder(answer) {
  showPath('Open the folder', 'Folder', answer.folder);
}

// A page cannot start the program a file opens with: the file's path is shown, to be copied.
export function showFile(download) {
  showPath('Open the file', 'File', download.path || `${download.folder}/${download.name}`);
}

function showPath(title, label, value) {
  const answer = { folder: value };
  const path = el('input', { type: 'text', name: 'path', readonly: true, value: answer.folder });
  const copy = el('button', { type: 'button', class: 'copy', text: 'Copy' });
  const done = el('span', { class: 'dlg-note', role: 'status' });
  copy.addEventListener('click', async () => {
    path.select();
    try {
      await navigator.clipboard.writeText(answer.folder);
    } catch {
      document.execCommand('copy');  // without a secure context the selection is copied instead
    }
    done.textContent = 'Copied.';
  });
  const body = el('div', { class: 'dlg-body form-grid' },
    el('label', { text: label }), el('div', { class: 'copy-row' }, path, copy),
    el('span'), done);
  const d = dialog(title, body, [el('button', { value: 'ok', class: 'primary', text: 'Close' })]);
  d.classList.add('dlg-folder');
  path.select();
}
