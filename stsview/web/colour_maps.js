// Colour maps as stops, linearly interpolated: viridis (the stops stsgrid's
// PNG maps use) and a diverging blue-white-red (ColorBrewer RdBu) for
// signed quantities, centred on zero.
const stops = {
  viridis: ['#440154', '#482475', '#414487', '#355f8d', '#2a788e', '#21918c', '#22a884',
            '#44bf70', '#7ad151', '#bddf26', '#fde725'],
  diverging: ['#053061', '#2166ac', '#4393c3', '#92c5de', '#d1e5f0', '#f7f7f7', '#fddbc7',
              '#f4a582', '#d6604d', '#b2182b', '#67001f'],
};

const rgb = (hex) => [1, 3, 5].map((i) => parseInt(hex.slice(i, i + 2), 16));

// 256 entries of [r, g, b].
export function table(name) {
  const s = stops[name].map(rgb);
  const out = [];
  for (let i = 0; i < 256; i++) {
    const t = (i / 255) * (s.length - 1), k = Math.min(Math.floor(t), s.length - 2), f = t - k;
    out.push(s[k].map((c, j) => Math.round(c + f * (s[k + 1][j] - c))));
  }
  return out;
}

// The value at percentile p (0..100) of the finite values, by rank.
export function percentile(sorted, p) {
  if (sorted.length === 0) return NaN;
  const at = Math.min(sorted.length - 1, Math.max(0, Math.round((p / 100) * (sorted.length - 1))));
  return sorted[at];
}

export function finiteSorted(values) {
  const v = new Float64Array(values.length);
  let n = 0;
  for (let i = 0; i < values.length; i++) {
    const x = values[i];
    if (x !== null && Number.isFinite(x)) v[n++] = x;
  }
  return v.subarray(0, n).sort();
}

// Whether a variable is signed by its meaning, so that zero is a colour of
// its own: the offset-corrected current is (the tip's current changes sign
// with the bias); dI/dV, I/V and the normalised curves are not, whatever
// their noise does near zero.
const signedNames = new Set(['current']);
export function signedQuantity(v) { return Boolean(v) && signedNames.has(v.name); }

// The colour range and map for values: from percentiles or typed bounds;
// 'auto' is diverging for a signed quantity (settings.signed) only.
export function scaleFor(values, settings) {
  let lo, hi;
  // Typed bounds that are not numbers fall back to the percentiles.
  if (settings.mode === 'fixed' && Number.isFinite(settings.low) && Number.isFinite(settings.high)) {
    lo = settings.low; hi = settings.high;
  } else {
    const s = finiteSorted(values);
    const low = Number.isFinite(settings.low) ? settings.low : 1;
    const high = Number.isFinite(settings.high) ? settings.high : 99;
    lo = percentile(s, low); hi = percentile(s, high);
  }
  let name = settings.colours;
  if (name === 'auto') name = settings.signed ? 'diverging' : 'viridis';
  if (name === 'diverging' && settings.mode !== 'fixed') {
    const m = Math.max(Math.abs(lo), Math.abs(hi));
    lo = -m; hi = m;
  }
  // A map without finite values, or of one value, still gets a scale.
  if (!Number.isFinite(lo) || !Number.isFinite(hi)) { lo = 0; hi = 1; }
  if (!(hi > lo)) { hi = lo + 1; }
  return { lo, hi, name, colours: table(name) };
}

export function colourOf(scale, v) {
  const t = Math.min(1, Math.max(0, (v - scale.lo) / (scale.hi - scale.lo)));
  return scale.colours[Math.round(t * 255)];
}
