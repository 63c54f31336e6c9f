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
