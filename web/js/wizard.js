// The installation as a first-run wizard: welcome, licence agreement, folders, options, default
// baskets, copy, finish. Shown over the main window while the home has no settings; the server
// does what `plover install` does. Also the uninstallation asked for from the menu.
import { getJson, post } from './api.js';
import { el } from './format.js';
import * as dialogs from './dialogs.js';

const LICENCE = `PLOVER LICENCE AGREEMENT

Plover is given to you free of charge for your own use. You may copy it and give it to others as long as it is given unchanged and free of charge.

Plover downloads what you ask it to. You alone are responsible for what you collect with it and for respecting the rights of the owners of the pictures and files you download.

Plover is provided "as is", without warranty of any kind. In no event shall its makers be liable for any damages arising from its use.`;

const STEPS = ['Welcome', 'Licence agreement', 'Folders', 'Options', 'Default baskets', 'Copy', 'Finish'];

function check(label, checked, attrs = {}) {
  const box = el('input', { type: 'checkbox', ...attrs });
  box.checked = checked;
  return [box, el('label', { class: 'wiz-check' }, box, el('span', { text: label }))];
}

// Resolves when the wizard is done (installed or cancelled); resolves at once when installed.
export async function runWizardIfNeeded() {
  let setup;
  try { setup = await getJson('/api/setup'); } catch { return; }
  if (setup.installed) return;
  await new Promise((resolve) => showWizard(setup, resolve));
}

function showWizard(setup, done) {
  const choice = { accepted: false, basketsFolder: setup.basketsFolder, importProxy: true, baskets: new Set(setup.baskets) };
  let step = 0, installed = null;
  const steps = el('ol', { class: 'wiz-steps' }, ...STEPS.map((s) => el('li', { text: s })));
  const body = el('div', { class: 'wiz-body' });
  const back = el('button', { type: 'button', text: '< Back' });
  const next = el('button', { type: 'button', class: 'primary', text: 'Next >' });
  const cancel = el('button', { type: 'button', text: 'Cancel' });
  const root = el('div', { class: 'wizard', role: 'dialog', 'aria-label': 'Plover installation' },
    el('div', { class: 'wiz-window' },
      el('div', { class: 'wiz-side' }, el('div', { class: 'wiz-logo', text: 'Plover' }), steps),
      el('div', { class: 'wiz-main' }, body, el('div', { class: 'wiz-buttons' }, back, next, cancel))));
  document.body.append(root);

  const close = () => { root.remove(); done(); };
  const pages = [
    () => [el('h2', { text: 'Welcome to the Plover installation' }),
      el('p', { text: 'This wizard sets Plover up for you: its settings, the folder of your baskets and the default baskets.' }),
      el('p', { text: 'Click Next to continue, or Cancel to run Plover without installing it.' })],
    () => {
      const [yes, yesLabel] = check('I accept the agreement', choice.accepted, { name: 'accept' });
      yes.type = 'radio';
      const [no, noLabel] = check('I do not accept the agreement', !choice.accepted, { name: 'accept' });
      no.type = 'radio';
      const sync = () => { choice.accepted = yes.checked; next.disabled = !choice.accepted; };
      yes.addEventListener('change', sync); no.addEventListener('change', sync);
      queueMicrotask(sync);
      return [el('h2', { text: 'Licence agreement' }), el('p', { text: 'Please read the following agreement.' }),
        el('pre', { class: 'wiz-licence', text: LICENCE }), yesLabel, noLabel];
    },
    () => {
      const input = el('input', { type: 'text', class: 'wiz-path', name: 'basketsFolder', value: choice.basketsFolder });
      input.addEventListener('input', () => { choice.basketsFolder = input.value.trim(); next.disabled = !choice.basketsFolder.startsWith('/'); });
      return [el('h2', { text: 'Folders' }),
        el('p', { text: 'The default baskets are made in this folder, which also becomes the default download folder:' }),
        input, el('p', { class: 'dlg-note', text: `The settings are kept in ${setup.settings}.` })];
    },
    () => {
      const label = setup.proxy ? `Use the system's proxy setting (${setup.proxy})` : "Use the system's proxy setting (none is set now)";
      const [box, row] = check(label, choice.importProxy, { name: 'importProxy' });
      box.addEventListener('change', () => { choice.importProxy = box.checked; });
      return [el('h2', { text: 'Options' }), row];
    },
    () => {
      const rows = setup.baskets.map((n) => {
        const [box, row] = check(n, choice.baskets.has(n), { name: `basket-${n}` });
        box.addEventListener('change', () => (box.checked ? choice.baskets.add(n) : choice.baskets.delete(n)));
        return row;
      });
      return [el('h2', { text: 'Default baskets' }),
        el('p', { text: `These baskets are made under ${choice.basketsFolder}:` }), el('div', { class: 'wiz-list' }, ...rows)];
    },
    () => {
      const status = el('p', { text: 'Installing...' });
      const error = el('p', { class: 'dlg-error' });
      next.disabled = true; back.disabled = true;
      post('/api/setup/install', { basketsFolder: choice.basketsFolder, baskets: setup.baskets.filter((n) => choice.baskets.has(n)),
        importProxy: choice.importProxy })
        .then((answer) => {
          installed = answer;
          status.textContent = 'The settings were written.';
          for (const m of answer.messages) error.append(el('div', { text: m }));
          go(step + 1);
        })
        .catch((e) => { status.textContent = 'The installation failed.'; error.textContent = e.message; back.disabled = false; });
      return [el('h2', { text: 'Copy' }), status, error];
    },
    () => [el('h2', { text: 'Plover is installed' }),
      el('p', { text: installed.made.length ? `Default baskets: ${installed.made.join(', ')}.` : 'No default baskets were made.' }),
      el('p', { text: `Default download folder: ${installed.basketsFolder}` }),
      el('p', { text: 'Click Finish to open the main window.' })],
  ];

  function go(n) {
    step = n;
    [...steps.children].forEach((li, i) => li.classList.toggle('current', i === n));
    next.disabled = false;
    back.disabled = n === 0 || n >= 5;
    cancel.disabled = n >= 5;
    next.textContent = n === STEPS.length - 1 ? 'Finish' : n === 4 ? 'Install' : 'Next >';
    body.replaceChildren(...pages[n]());
    next.focus();
  }
  back.addEventListener('click', () => go(step - 1));
  next.addEventListener('click', () => (step === STEPS.length - 1 ? close() : go(step + 1)));
  cancel.addEventListener('click', async () => {
    if (await dialogs.confirmBox('Plover installation', 'Plover is not installed. Leave the installation?', 'Leave')) close();
  });
  go(0);
}

// The uninstallation: the settings go, the user's files stay; the program then stops.
export async function uninstall(onStopped) {
  const yes = await dialogs.confirmBox('Uninstall Plover',
    'Remove Plover\'s settings from this home and stop Plover? Your downloads, baskets and history stay on the disk.', 'Uninstall');
  if (!yes) return;
  try {
    await post('/api/setup/uninstall', { confirm: true });
    onStopped();
  } catch (e) { dialogs.message('Uninstall Plover', e.message); }
}
