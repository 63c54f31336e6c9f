// The page's state in the URL's fragment, so a reload or a link opens the
// same view: #file=0&variable=didv&index=12&pixels=4,5;7,1&region=2,6,3,7&line=0,0,11,4
// (region as x0,x1,y0,y1; line as x0,y0,x1,y1).
const ints = (text) => (text ? text.split(',').map(Number) : []);
const whole = (a, n) => a.length === n && a.every((v) => Number.isInteger(v) && v >= 0);

export function readFragment() {
  const h = new URLSearchParams(location.hash.slice(1));
  if (!h.has('file') && !h.has('variable')) return null;
  const out = { file: Number(h.get('file')) || 0, variable: h.get('variable') || 'didv' };
  if (h.has('index') && Number.isInteger(Number(h.get('index')))) out.index = Number(h.get('index'));
  out.pixels = (h.get('pixels') || '').split(';').map(ints).filter((a) => whole(a, 2))
    .map(([x, y]) => ({ x, y }));
  const r = ints(h.get('region'));
  out.region = whole(r, 4) ? { x0: r[0], x1: r[1], y0: r[2], y1: r[3] } : null;
  const l = ints(h.get('line'));
  out.line = whole(l, 4) ? { x0: l[0], y0: l[1], x1: l[2], y1: l[3] } : null;
  return out;
}

// At most one history entry rewrite a quarter second (the browser throttles
// many, and a held arrow key makes many): the newest state wins.
let pending = null;
export function writeFragment(s) {
  if (pending === null) setTimeout(() => { const t = pending; pending = null; rewrite(t); }, 250);
  pending = { ...s };
}

function rewrite(s) {
  const parts = [`file=${s.file}`, `variable=${encodeURIComponent(s.variable)}`, `index=${s.index}`];
  if (s.pixels.length) parts.push(`pixels=${s.pixels.map((p) => `${p.x},${p.y}`).join(';')}`);
  if (s.region) parts.push(`region=${[s.region.x0, s.region.x1, s.region.y0, s.region.y1].join(',')}`);
  if (s.line) parts.push(`line=${[s.line.x0, s.line.y0, s.line.x1, s.line.y1].join(',')}`);
  history.replaceState(null, '', `${location.pathname}${location.search}#${parts.join('&')}`);
}
