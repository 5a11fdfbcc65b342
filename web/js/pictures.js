// Pictures from the server: every one is decoded and fitted there by the image loader and comes
// back as JPEG or PNG, with its own format, size and bit depth in the answer's headers.
import { post } from './api.js';

// The address of a picture fitted into a box (w x h device pixels; none: its own size).
export function pictureUrl(path, box, urgent = false) {
  const q = new URLSearchParams({ path });
  if (box) q.set('box', `${Math.max(1, Math.round(box[0]))}x${Math.max(1, Math.round(box[1]))}`);
  if (urgent) q.set('urgent', '1');
  return `/picture?${q}`;
}

// Fetches a picture with its description. The answer's picture is a data: address (the page may
// show no other kind of address but its own). signal aborts; the server then drops the request
// still queued for it. Throws Error(reason) when the picture cannot be shown.
export async function loadPicture(path, box, { urgent = true, signal } = {}) {
  const abort = () => post('/api/pictures/cancel', { path }).catch(() => {});
  signal?.addEventListener('abort', abort, { once: true });
  try {
    const r = await fetch(pictureUrl(path, box, urgent), { credentials: 'same-origin', signal });
    if (!r.ok) {
      const answer = await r.json().catch(() => ({}));
      throw new Error(answer.error || r.statusText);
    }
    const info = {
      format: r.headers.get('X-Picture-Format') || '',
      width: Number(r.headers.get('X-Picture-Width')) || 0,
      height: Number(r.headers.get('X-Picture-Height')) || 0,
      depth: Number(r.headers.get('X-Picture-Depth')) || 0,
    };
    const blob = await r.blob();
    const src = await new Promise((resolve, reject) => {
      const reader = new FileReader();
      reader.onload = () => resolve(reader.result);
      reader.onerror = () => reject(new Error('The picture could not be read.'));
      reader.readAsDataURL(blob);
    });
    return { src, info };
  } finally {
    signal?.removeEventListener('abort', abort);
  }
}

// "PNG · 1200 × 900 · 24 bits"
export function describe(info) {
  if (!info?.width) return '';
  return [info.format, `${info.width} × ${info.height}`, info.depth ? `${info.depth} bits` : ''].filter(Boolean).join(' · ');
}

// Sends a local file to the server in pieces below its request limit; answers the path it is kept
// under, which the viewer then shows like any other picture.
export async function sendLocalFile(file, onProgress) {
  const piece = 1000000;
  let id = '', offset = 0, answer = {};
  do {
    const chunk = file.slice(offset, offset + piece);
    const q = new URLSearchParams({ name: file.name, total: String(file.size), offset: String(offset) });
    if (id) q.set('id', id);
    const r = await fetch(`/api/pictures/local?${q}`, {
      method: 'POST', credentials: 'same-origin', headers: { 'Content-Type': 'application/octet-stream' }, body: chunk,
    });
    answer = await r.json().catch(() => ({}));
    if (!r.ok) throw new Error(answer.error || r.statusText);
    id = answer.id;
    offset += chunk.size;
    onProgress?.(offset, file.size);
  } while (offset < file.size);
  return answer.path;
}

export function fileName(path) { return path.slice(path.lastIndexOf('/') + 1); }
export function folderOf(path) { const i = path.lastIndexOf('/'); return i > 0 ? path.slice(0, i) : '/'; }
