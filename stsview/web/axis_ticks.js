// Round tick values: steps of 1, 2 or 5 times a power of ten, as many as
// fit (at most count), and their text without float noise.
export function niceStep(span, count) {
  if (!(span > 0) || !Number.isFinite(span)) return 1;
  const raw = span / Math.max(1, count), p = 10 ** Math.floor(Math.log10(raw));
  for (const m of [1, 2, 5, 10]) if (m * p >= raw) return m * p;
  return 10 * p;
}

// The multiples of the step within [lo, hi] (either order).
export function niceTicks(lo, hi, count = 5) {
  const a = Math.min(lo, hi), b = Math.max(lo, hi), step = niceStep(b - a, count);
  if (!Number.isFinite(a) || !Number.isFinite(b)) return [];
  if (a === b) return [a];
  const out = [];
  for (let i = Math.ceil(a / step - 1e-9); i * step <= b + step * 1e-9; i++) out.push(i * step);
  return out;
}

// A tick's text: the multiple rounded to the step's decimals.
export function tickText(v, step) {
  const decimals = Math.max(0, -Math.floor(Math.log10(step) + 1e-9));
  if (Math.abs(v) < step * 1e-6) v = 0;
  const big = Math.abs(v) >= 1e5 || (Math.abs(v) > 0 && Math.abs(v) < 1e-3);
  return big ? Number(v.toPrecision(3)).toExponential() : v.toFixed(Math.min(decimals, 20));
}
