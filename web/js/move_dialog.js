// Moving files into a folder: choosing the folder, the progress dialog of the move job and its
// "Target File Exists" question with "Overwrite", "Overwrite All", "Skip" and "Skip All" (any other
// way of closing it skips the file). The job runs on the server; every open page hears its state,
// and the page that started it (or one opened while it runs) follows it here.
import { getJson, post } from './api.js';
import { el, bytes } from './format.js';
import { on } from './store.js';
import * as dialogs from './dialogs.js';
import { baskets, loadBaskets } from './basket_store.js';
import { createFolderTree } from './folder_tree.js';
import { fileName, folderOf } from './pictures.js';

const ANSWERS = ['Overwrite', 'Overwrite All', 'Skip', 'Skip All'];
const followed = new Map();  // job id -> update(job)
on('move', (job) => followed.get(job?.id)?.(job));

// Starts moving paths into folder and follows the job; resolves with its last state.
export async function runMove(paths, folder) {
  const { job } = await post('/api/baskets/move', { files: paths, folder });
  return follow(job);
}

// A page opened while a move runs takes it up (its question may be waiting for an answer).
export async function followRunningMove() {
  const { job } = await getJson('/api/moves').catch(() => ({}));
  if (job && job.phase !== 'done' && !followed.has(job.id)) follow(job.id, job);
}

function follow(id, first) {
  return new Promise((resolve) => {
    const fill = el('div', { class: 'progress-fill' });
    const what = el('p', { class: 'dlg-text move-what' });
    const current = el('p', { class: 'move-current' });
    const amount = el('p', { class: 'dlg-note move-amount' });
    const cancel = el('button', { type: 'button', text: 'Cancel' });
    const body = el('div', { class: 'dlg-body move-body' }, what, el('div', { class: 'progress move-progress' }, fill), current, amount);
    const d = dialogs.dialog('Moving files', body, [cancel]);
    d.classList.add('dlg-moving');
    const stop = () => post(`/api/moves/${id}/cancel`).catch(() => {});
    cancel.addEventListener('click', () => { cancel.disabled = true; stop(); });
    d.addEventListener('cancel', (e) => { e.preventDefault(); cancel.click(); });
    let question = null, ended = false;

    const update = (job) => {
      if (ended) return;
      what.textContent = `Moving ${job.files} file${job.files === 1 ? '' : 's'} to ${job.target}`;
      const total = job.totalKiB || 0;
      fill.style.width = job.phase === 'counting' ? `${job.files ? (100 * job.counted) / job.files : 0}%`
        : `${total ? Math.min(100, (100 * job.doneKiB) / total) : 0}%`;
      current.textContent = job.current ? fileName(job.current) : '';
      amount.textContent = job.phase === 'counting' ? 'Adding up the sizes…' : `${bytes(job.doneKiB * 1024)} of ${bytes(total * 1024)}`;
      if (question && (job.phase !== 'conflict' || job.conflict?.source !== question.source)) {
        question.dialog.close('gone');
        question = null;
      }
      if (job.phase === 'conflict' && job.conflict && !question) question = ask(id, job.conflict);
      if (job.phase !== 'done') return;
      ended = true;
      followed.delete(id);
      d.close();
      loadBaskets();
      const notes = [...job.messages, ...job.errors];
      if (notes.length) dialogs.message('Move', notes.join('\n'));
      resolve(job);
    };
    followed.set(id, update);
    if (first) update(first);
    // A state published before this page listened is read once.
    getJson('/api/moves').then(({ job }) => job?.id === id && update(job)).catch(() => {});
  });
}

function ask(id, conflict) {
  const text = `"${fileName(conflict.target)}" exists already in ${folderOf(conflict.target)}.\n` +
    `Overwrite it with the file from ${folderOf(conflict.source)}?`;
  const buttons = ANSWERS.map((a, i) => el('button', { value: a, class: i === 0 ? 'primary' : '', text: a }));
  const d = dialogs.dialog('Target File Exists', el('p', { class: 'dlg-text pre', text }), buttons);
  d.classList.add('dlg-exists');
  d.addEventListener('close', () => {
    if (d.returnValue === 'gone') return;  // answered in another window
    const answer = ANSWERS.includes(d.returnValue) ? d.returnValue : 'Skip';
    post(`/api/moves/${id}/answer`, { answer }).catch(() => {});
  });
  return { dialog: d, source: conflict.source };
}

// Asks for the folder to move count files to: a tree of every basket's folders. Resolves with
// the folder's path, or null.
export function chooseFolder(count, start) {
  return new Promise((resolve) => {
    const tree = createFolderTree({ label: 'Folders', onActivate: () => ok.click() });
    tree.setRoots(baskets.list.filter((b) => b.exists).map((b) => ({ basket: b.id, name: b.name, path: b.folder })));
    if (start) tree.reveal(start);
    const ok = el('button', { value: 'ok', class: 'primary', text: 'Move' });
    const body = el('div', { class: 'dlg-body' },
      el('p', { class: 'dlg-text', text: `Move ${count} file${count === 1 ? '' : 's'} to the folder chosen below.` }),
      el('div', { class: 'choose-tree' }, tree.root));
    const d = dialogs.dialog('Move to', body, [el('button', { value: 'cancel', text: 'Cancel' }), ok]);
    d.classList.add('dlg-choose');
    ok.addEventListener('click', (e) => {
      if (!tree.selected) { e.preventDefault(); return; }
      d.close('ok');
    });
    d.addEventListener('close', () => resolve(d.returnValue === 'ok' && tree.selected ? tree.selected.path : null));
  });
}
