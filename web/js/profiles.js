// The scan profiles and the search sites as two-pane editors: on the option pages of the same
// names, and the profiles also in the main window's "Scan profiles" pane.
import { getJson, post } from './api.js';
import { el } from './format.js';
import { createTwoPane } from './two_pane.js';
import { addOptionPage } from './options.js';
import { determineFormat } from './format_window.js';

const PANE_PROFILES = 103;

export function profilesEditor() {
  return createTwoPane({
    name: 'Scan profiles',
    noun: 'profile',
    load: async () => (await getJson('/api/profiles')).profiles,
    label: (p) => p.name,
    detail: (p) => p.description,  // shown as "bShowProfileDescription" says
    empty: 'There are no profiles to show. Please select "New Profile" to add profiles.',
    fields: [
      { key: 'name', label: 'Name', type: 'text' },
      { key: 'description', label: 'Description', type: 'textarea' },
      { key: 'thumbnails', label: 'Collect thumbnails', type: 'check' },
      { key: 'largePictures', label: 'Collect large pictures', type: 'check' },
      { key: 'links', label: 'Collect links to other pages', type: 'check' },
      { key: 'recurse', label: 'Follow links to further pages', type: 'check' },
      { key: 'oneThumbnailFromEach', label: 'Only the first thumbnail of each page', type: 'check' },
      { key: 'onlyThisSite', label: 'Only pages of the start address\'s site', type: 'check' },
      { key: 'responsivePictures', label: 'Responsive and lazy pictures', type: 'check' },
      { key: 'depth', label: 'Link levels', type: 'number', min: 0, max: 1000 },
    ],
    defaults: () => ({ name: 'New Profile', description: '', thumbnails: true, largePictures: true, links: false,
      recurse: false, oneThumbnailFromEach: false, onlyThisSite: false, responsivePictures: true, depth: 5 }),
    note: (p) => p.scanNote,
    save: (p, body) => post(p ? `/api/profiles/${p.index}` : '/api/profiles', body),
    remove: (p) => post(`/api/profiles/${p.index}/delete`),
    reset: () => post('/api/profiles/reset', { confirm: true }),
    deleteQuestion: (p) => `Do you want to delete the '${p.name}' profile?`,
    resetQuestion: 'Do you want to replace every scan profile by the four default profiles?',
  });
}

export function searchSitesEditor() {
  return createTwoPane({
    name: 'Search sites',
    noun: 'search site',
    load: async () => (await getJson('/api/search-sites')).sites,
    label: (s) => s.title,
    empty: 'There are no search sites. "Reset to defaults" brings the four default sites back.',
    fields: [
      { key: 'title', label: 'Site name', type: 'text' },
      { key: 'format', label: 'Format', type: 'text' },
    ],
    defaults: () => ({ title: '', format: '_TEXT_TO_SEARCH_' }),
    note: () => 'The format is the address of the site\'s result page with _TEXT_TO_SEARCH_ where the searched text goes.',
    save: (s, body) => post(s ? `/api/search-sites/${s.index}` : '/api/search-sites', body),
    remove: (s) => post(`/api/search-sites/${s.index}/delete`),
    reset: () => post('/api/search-sites/reset', { confirm: true }),
    deleteQuestion: () => null,  // a search site goes without a question
    actions: (inputs, error) => [el('button', { type: 'button', text: 'Determine format...', 'data-action': 'determine',
      onclick: () => determineFormat(inputs.title.value.trim(), inputs.format, error) })],
    resetQuestion: 'Do you really want to reset the searching engines?',
  });
}

export function installProfiles(panes) {
  panes[PANE_PROFILES] = { title: 'Scan profiles', create: () => el('div', { class: 'tp-pane' }, profilesEditor()) };
  addOptionPage('Scan profiles', (page) => page.append(profilesEditor()));
  addOptionPage('Search sites', (page) => page.append(searchSitesEditor()));
}
