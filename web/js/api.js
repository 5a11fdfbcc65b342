// The server's JSON commands and its event stream. The token travels in the HttpOnly cookie the
// printed address set; the page never sees it.

export async function getJson(path) {
  const r = await fetch(path, { credentials: 'same-origin' });
  if (!r.ok) throw new Error((await errorText(r)) || r.statusText);
  return r.json();
}

export async function post(path, body) {
  const r = await fetch(path, {
    method: 'POST',
    credentials: 'same-origin',
    headers: { 'Content-Type': 'application/json' },
    body: JSON.stringify(body ?? {}),
  });
  const answer = await r.json().catch(() => ({}));
  if (!r.ok) throw new Error(answer.error || r.statusText);
  return answer;
}

async function errorText(r) {
  try { return (await r.json()).error; } catch { return ''; }
}

// Opens the event stream; handlers maps event names to functions of the parsed data. The browser
// reconnects by itself after a break, and every connect begins with a snapshot.
export function connectEvents(handlers, onState) {
  const source = new EventSource('/api/events');
  for (const [name, fn] of Object.entries(handlers))
    source.addEventListener(name, (e) => fn(JSON.parse(e.data)));
  source.onopen = () => onState?.(true);
  source.onerror = () => onState?.(false);
  return source;
}
