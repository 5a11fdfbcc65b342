// A click's effect on a list's selection, as desktop lists have it: a plain click chooses one
// item, Ctrl (or Cmd) turns one on or off, Shift chooses the range from the anchor (added to what
// is chosen when Ctrl is held too). Items are known by their place in the list; keyAt gives what
// the selection holds for a place. anchor and index are places (-1: none); the new anchor's place
// is returned.
export function clickSelect(selection, keyAt, anchor, index, { shiftKey = false, ctrlKey = false, metaKey = false } = {}) {
  if (shiftKey && anchor >= 0) {
    if (!ctrlKey) selection.clear();
    for (let i = Math.min(anchor, index); i <= Math.max(anchor, index); i++) selection.add(keyAt(i));
    return anchor;
  }
  if (ctrlKey || metaKey) {
    const key = keyAt(index);
    selection.has(key) ? selection.delete(key) : selection.add(key);
    return index;
  }
  selection.clear();
  if (index >= 0) selection.add(keyAt(index));
  return index;
}
