// One scan document: its results in three tabs (thumbnails, large pictures, page links), the
// picture under the pointer in the preview beside them, and a status line with the scan's state and
// counters. Thumbnails and large pictures are tiles (tile_grid.js) marked "On disk", "Queued" or
// "New" from the download history; page links are a grid (grid.js).
//
//   const view = createScanDoc(doc, { picturesBase, command, preview(doc, item), openLink(url, recurse) });
//   view.setState(state); view.addItems(from, items); view.thumbs(indices); view.marks(pairs)
import { el } from './format.js';
import { createTileGrid } from './tile_grid.js';
import { createGrid } from './grid.js';

export const MARK_TEXT = { disk: 'On disk', queued: 'Queued', new: 'New' };
const MARK_TIP = {
  disk: 'You already have this file on your hard drive.',
  queued: 'This file is in the download queue.',
  new: 'Not downloaded yet.',
};
const STATE_TEXT = { idle: 'Ready', scanning: 'Scanning…', done: 'Done', failed: 'Failed', stopped: 'Stopped' };
const KINDS = [['thumbnail', 'Thumbnails'], ['picture', 'Large pictures'], ['link', 'Page links']];

const nameOf = (url) => decodeURIComponent((url.split(/[?#]/)[0].split('/').pop() || url).slice(0, 200));

export function createScanDoc(id, env) {
  const doc = { id, run: 0, state: {}, items: [], lists: { thumbnail: [], picture: [], link: [] }, kind: null, chosen: false };

  // ---- the tiles of thumbnails and large pictures ----
  const tiles = createTileGrid({
    label: 'Pictures',
    create: () => el('div', { class: 'tile' },
      el('div', { class: 'tile-pic' }, el('img', { alt: '', draggable: 'false', decoding: 'async' })),
      el('span', { class: 'tile-mark' }), el('span', { class: 'tile-name' })),
    draw: (node, i) => drawTile(node, indexAt(i)),
    onActivate: (i) => env.openLarge(view, indexAt(i)),
    onSelect: () => { updateCounts(); showSelected(); },
    onHover: (i) => hover(i == null ? null : indexAt(i)),
    onDragStart: (e, indices) => {
      const items = indices.map(indexAt);
      e.dataTransfer.effectAllowed = 'copyMove';
      e.dataTransfer.setData('application/x-plover-pictures', JSON.stringify({ doc: id, items }));
      e.dataTransfer.setData('text/uri-list', items.map((k) => doc.items[k].url).join('\r\n'));
      e.dataTransfer.setData('text/plain', items.map((k) => doc.items[k].url).join('\n'));
    },
    onContextMenu: (x, y) => env.contextMenu(x, y),
  });
  const itemIndexList = () => doc.lists[doc.kind] ?? [];
  const indexAt = (i) => itemIndexList()[i];

  function drawTile(node, k) {
    const item = doc.items[k];
    if (!item) return;
    const [pic, badge, name] = node.children;
    const img = pic.firstChild;
    node.dataset.item = k;
    node.dataset.mark = item.mark;
    node.dataset.kind = item.kind;
    node.title = `${item.url}\n${MARK_TIP[item.mark] ?? ''}`;
    badge.textContent = MARK_TEXT[item.mark] ?? '';
    badge.className = `tile-mark mark-${item.mark}`;
    name.textContent = item.text || nameOf(item.url);
    const src = item.kind === 'thumbnail' && item.thumb ? `${env.picturesBase()}/${id}/${doc.run}/${k}` : '';
    pic.classList.toggle('waiting', item.kind === 'thumbnail' && !item.thumb);
    pic.classList.toggle('no-thumb', item.kind !== 'thumbnail');
    if (img.getAttribute('src') !== src) {
      pic.classList.remove('broken');
      node.dataset.loaded = 'false';
      if (src) img.src = src; else img.removeAttribute('src');
      img.hidden = !src;
    }
  }

  // ---- the page links ----
  const links = createGrid({
    label: 'Page links',
    columns: [
      { key: 'text', title: 'Text', cls: 'c-link-text', value: (k) => doc.items[k].text ?? '' },
      { key: 'url', title: 'Address', cls: 'c-link-url', value: (k) => doc.items[k].url },
      { key: 'page', title: 'Found on', cls: 'c-link-page', value: (k) => doc.items[k].page },
    ],
    onActivate: (k) => env.openLink(doc.items[k].url, false),
    onContextMenu: (x, y) => env.linkMenu(x, y, [...links.selection].map((k) => doc.items[k].url)),
  });

  // ---- the frame: tabs, actions, results, preview, status ----
  const tabs = KINDS.map(([kind, title]) => {
    const b = el('button', { type: 'button', class: 'seg', 'data-kind': kind, 'aria-pressed': 'false' },
      el('span', { text: title }), el('span', { class: 'seg-count', text: '0' }));
    b.addEventListener('click', () => { doc.chosen = true; showKind(kind); });
    return b;
  });
  const selectedCount = el('span', { class: 'tb-content scan-selected' });
  const bar = el('div', { class: 'bar bar-toolbar pane-bar scan-bar', role: 'toolbar' },
    el('div', { class: 'segments', role: 'group', 'aria-label': 'Results' }, ...tabs),
    el('span', { class: 'spacer' }), selectedCount,
    button('Select all', 'scan.selectAll'), button('Select new', 'scan.selectNew'),
    button('Send to basket…', 'scan.send', 'primary-action'));
  function button(text, command, cls = '') {
    return el('button', { type: 'button', class: `tb-button ${cls}`, 'data-command': command, text,
      onclick: () => env.command(command) });
  }
  const empty = el('div', { class: 'empty scan-empty' });
  const results = el('div', { class: 'scan-results' }, tiles.root, links.root, empty);
  const previewImg = el('img', { alt: '', class: 'preview-img' });
  const previewBox = el('div', { class: 'preview-box' }, previewImg, el('div', { class: 'preview-note' }));
  const previewInfo = el('dl', { class: 'preview-info' });
  const preview = el('aside', { class: 'scan-preview', 'aria-label': 'Preview' },
    el('div', { class: 'preview-title' }), previewBox, previewInfo);
  const progress = el('div', { class: 'progress scan-progress' }, el('div', { class: 'progress-fill' }));
  const statusText = el('span', { class: 'scan-status-text' });
  const counts = el('span', { class: 'scan-counts' });
  const status = el('div', { class: 'scan-status' }, statusText, progress, el('span', { class: 'spacer' }), counts);
  const node = el('section', { class: 'pane scan-doc', 'data-doc': id },
    bar, el('div', { class: 'scan-body' }, results, preview), status);

  tiles.root.addEventListener('load', (e) => {
    const tile = e.target.closest('.tile');
    if (tile) tile.dataset.loaded = 'true';
  }, true);
  tiles.root.addEventListener('error', (e) => {
    if (e.target.tagName !== 'IMG') return;
    e.target.hidden = true;
    e.target.closest('.tile-pic')?.classList.add('broken');  // a broken picture: the placeholder
    const tile = e.target.closest('.tile');
    if (tile) tile.dataset.loaded = 'broken';
  }, true);

  function showKind(kind) {
    if (doc.kind !== kind) {
      doc.kind = kind;
      tiles.clear();
    }
    tabs.forEach((t) => t.setAttribute('aria-pressed', t.dataset.kind === kind));
    const isLinks = kind === 'link';
    tiles.root.hidden = isLinks || !doc.lists[kind].length;
    links.root.hidden = !isLinks || !doc.lists.link.length;
    if (isLinks) links.setRows(doc.lists.link, (k) => k);
    else tiles.setCount(doc.lists[kind].length);
    refreshEmpty();
    updateCounts();
  }

  function refreshEmpty() {
    const n = doc.lists[doc.kind]?.length ?? 0;
    empty.hidden = n > 0;
    const s = doc.state.state;
    empty.textContent = !doc.state.url ? 'Enter the address of a page in the toolbar and press Start.'
      : s === 'scanning' ? 'Scanning…' : s === 'failed' ? doc.state.error || 'The page could not be scanned.'
        : `No ${KINDS.find(([k]) => k === doc.kind)[1].toLowerCase()} found.`;
  }

  function updateCounts() {
    for (const t of tabs) t.lastChild.textContent = String(doc.lists[t.dataset.kind].length);
    const n = view.selectedItems().length;
    selectedCount.textContent = n ? `${n} selected` : '';
    const s = doc.state;
    counts.textContent = `${doc.lists.thumbnail.length} thumbnails · ${doc.lists.picture.length} large pictures · ${doc.lists.link.length} page links`;
    statusText.textContent = s.state === 'scanning'
      ? `Scanning… ${s.pages ?? 0} pages scanned, ${s.remaining ?? 0} remaining`
      : s.state === 'failed' ? `Failed: ${s.error || 'the page could not be scanned'}`
        : s.state ? `${STATE_TEXT[s.state]}${s.pages ? `: ${s.pages} page${s.pages === 1 ? '' : 's'} scanned` : ''}` : '';
    if (s.state === 'scanning' || s.state === 'done') {
      const waiting = (s.thumbnails ?? 0) - (s.thumbsFetched ?? 0);
      if (waiting > 0) statusText.textContent += ` · ${s.thumbsFetched} of ${s.thumbnails} thumbnails fetched`;
    }
    node.dataset.state = s.state ?? 'idle';
    progress.hidden = s.state !== 'scanning';
    const total = (s.pages ?? 0) + (s.remaining ?? 0);
    progress.firstChild.style.width = total ? `${(100 * (s.pages ?? 0)) / total}%` : '0';
  }

  // ---- the preview of the picture under the pointer (or the one selected) ----
  let shownItem = null, hoverTimer = 0;
  function hover(k) {
    clearTimeout(hoverTimer);
    if (k == null) { hoverTimer = setTimeout(showSelected, 400); return; }
    hoverTimer = setTimeout(() => showPreview(k), 250);
  }
  function showSelected() {
    const sel = view.selectedItems();
    if (sel.length) showPreview(sel[sel.length - 1]);
  }
  function showPreview(k) {
    const item = doc.items[k];
    if (!item || item.kind === 'link') return;
    shownItem = k;
    preview.querySelector('.preview-title').textContent = item.text || nameOf(item.url);
    preview.dataset.item = k;
    fillInfo(item);
    const note = previewBox.lastChild;
    // The small picture stands in until the large one is there.
    const small = item.kind === 'thumbnail' && item.thumb ? `${env.picturesBase()}/${id}/${doc.run}/${k}` : '';
    previewImg.classList.add('standin');
    if (small) previewImg.src = small; else previewImg.removeAttribute('src');
    previewImg.hidden = !small;
    preview.dataset.state = 'loading';
    note.textContent = 'Fetching the picture…';
    env.preview(view, k);
  }
  function fillInfo(item) {
    const rows = [['Mark', MARK_TEXT[item.mark]], ['Address', item.url], ['Found on', item.page]];
    if (item.size) rows.splice(1, 0, ['Size', item.size]);
    previewInfo.replaceChildren(...rows.flatMap(([t, v]) => [el('dt', { text: t }), el('dd', { text: v, title: v })]));
  }

  const view = {
    doc, node, tiles,
    get title() { return doc.state.title || hostOf(doc.state.url) || 'New scan'; },
    setState(s) {
      if (s.run !== doc.run) this.reset(s.run);
      doc.state = s;
      updateCounts();
      refreshEmpty();
    },
    reset(run) {
      doc.run = run;
      doc.items = [];
      doc.lists = { thumbnail: [], picture: [], link: [] };
      doc.chosen = false;
      tiles.clear();
      showKind('thumbnail');
    },
    // Results from..: those already here are skipped, a gap means some were missed (false).
    addItems(from, items) {
      if (from > doc.items.length) return false;
      const fresh = items.slice(doc.items.length - from);
      for (const item of fresh) {
        const k = doc.items.length;
        doc.items.push(item);
        doc.lists[item.kind].push(k);
      }
      if (!doc.chosen && !doc.lists[doc.kind].length) {
        const first = KINDS.find(([kind]) => doc.lists[kind].length);
        if (first) showKind(first[0]);
      }
      if (doc.kind === 'link') links.setRows(doc.lists.link, (k) => k);
      else { tiles.root.hidden = !doc.lists[doc.kind].length; tiles.setCount(doc.lists[doc.kind].length); }
      refreshEmpty();
      updateCounts();
      return true;
    },
    thumbs(indices) {
      for (const k of indices) if (doc.items[k]) doc.items[k].thumb = true;
      this.redrawItems(indices);
    },
    marks(pairs) {
      for (const [k, mark] of pairs) if (doc.items[k]) doc.items[k].mark = mark;
      this.redrawItems(pairs.map(([k]) => k));
      if (shownItem != null && pairs.some(([k]) => k === shownItem)) {
        fillInfo(doc.items[shownItem]);
        env.preview(view, shownItem);  // a picture that was fetched meanwhile can be shown now
      }
    },
    redrawItems(indices) {
      const list = itemIndexList();
      const want = new Set(indices);
      list.forEach((k, i) => { if (want.has(k)) tiles.update(i); });
    },
    // The preview's answer: ready (the large picture can be loaded), or still on its way.
    previewState(k, answer) {
      if (k !== shownItem) return;
      const note = previewBox.lastChild;
      preview.dataset.state = answer.state;
      if (answer.state === 'ready') {
        const src = `${env.picturesBase()}/${id}/large/${k}?r=${doc.run}`;
        const img = new Image();
        img.onload = () => {
          if (shownItem !== k) return;
          previewImg.src = src;
          previewImg.hidden = false;
          previewImg.classList.remove('standin');
          doc.items[k].size = `${img.naturalWidth} × ${img.naturalHeight}`;
          fillInfo(doc.items[k]);
          note.textContent = '';
          preview.dataset.state = 'shown';
        };
        img.onerror = () => { if (shownItem === k) note.textContent = 'The picture cannot be shown.'; };
        img.src = src;
      } else if (answer.state === 'failed') {
        note.textContent = answer.error || 'The picture could not be fetched.';
      } else {
        note.textContent = answer.state === 'queued' ? 'In the download queue: shown when it has arrived.' : 'Fetching the picture…';
      }
    },
    selectedItems() {
      if (doc.kind === 'link') return [];
      const list = itemIndexList();
      return [...tiles.selection].sort((a, b) => a - b).map((i) => list[i]).filter((k) => k != null);
    },
    selectAll() { if (doc.kind !== 'link') tiles.selectAll(); },
    selectNew() {
      const list = itemIndexList();
      tiles.setSelection(list.map((k, i) => (doc.items[k].mark === 'new' ? i : -1)).filter((i) => i >= 0));
    },
    focus() { (doc.kind === 'link' ? links.root : tiles.root).focus(); },
  };
  showKind('thumbnail');
  return view;
}

export function hostOf(url) {
  try { return url ? new URL(url).host : ''; } catch { return ''; }
}
