// The server's data routes.  The token travels in a cookie the page was
// given, and in the query as well when the page's own URL has it.
const token = new URLSearchParams(location.search).get('token');

export function routeUrl(route, params = {}) {
  const q = new URLSearchParams(params);
  if (token) q.set('token', token);
  return `/api/${route}?${q}`;
}

export async function getJSON(route, params) {
  const response = await fetch(routeUrl(route, params), { credentials: 'same-origin' });
  const body = await response.json().catch(() => ({ error: response.statusText }));
  if (!response.ok) throw new Error(body.error || `HTTP ${response.status}`);
  return body;
}

// A route answering little-endian floats (the map), as a Float32Array.
export async function getFloats(route, params) {
  const response = await fetch(routeUrl(route, params), { credentials: 'same-origin' });
  if (!response.ok) {
    const body = await response.json().catch(() => ({ error: response.statusText }));
    throw new Error(body.error || `HTTP ${response.status}`);
  }
  const bytes = await response.arrayBuffer();
  const view = new DataView(bytes), out = new Float32Array(bytes.byteLength / 4);
  for (let i = 0; i < out.length; i++) out[i] = view.getFloat32(4 * i, true);
  return out;
}

// The shortest text that reads back as the float v (as the server writes
// its JSON), 'NaN' for NaN and null.
export function floatText(v) {
  if (v === null || v === undefined || !Number.isFinite(v)) return 'NaN';
  for (let p = 1; p < 9; p++) {
    const t = Number(v.toPrecision(p));
    if (Math.fround(t) === v) return String(t);
  }
  return String(Number(v.toPrecision(9)));
}
