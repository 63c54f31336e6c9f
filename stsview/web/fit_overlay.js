// stsgrid --fit's results over the picked pixels: each pixel's fit as the
// file holds it (/api/fit: fit_status in words, the fit_* values with
// units, fit_curve), drawn over the fitted variable's curve in a colour of
// its own with a legend naming Δ and Γ, and listed in the fit table.  A
// pixel whose fit failed has no curve; its row says why.  Nothing is
// computed here: the curve is the file's fit_curve.
import { getJSON, floatText } from './api.js';

const key = (p) => `${p.x},${p.y}`;

// The file's fit, where it holds one the page can draw.
export const fitOf = (f) => (f && f.fit && f.fit.present ? f.fit : null);

// Each picked pixel's fit, by "x,y".
export async function loadFits(fileIndex, f, pixels) {
  const out = new Map();
  if (!fitOf(f)) return out;
  for (const p of pixels) out.set(key(p), await getJSON('fit', { file: fileIndex, x: p.x, y: p.y }));
  return out;
}

const valueOf = (r, name) => r.values.find((v) => v.name === name);
// A value for the legend: four significant digits and its unit.
const short = (v) => (v && Number.isFinite(v.value) ? `${Number(v.value.toPrecision(4))} ${v.units}` : 'NaN');

// "Dynes fit (Δ = 0.183 meV, Γ = 0.0121 meV)"; the tip's gap for dynes-sis,
// and the status where it is not plainly converged.
export function fitLabel(r) {
  const sis = r.model.startsWith('dynes-sis');
  const parts = [`Δ = ${short(valueOf(r, 'fit_gap'))}`, `Γ = ${short(valueOf(r, 'fit_gamma'))}`];
  if (sis) parts.push(`Δ_tip = ${short(valueOf(r, 'fit_tip_gap'))}`);
  const status = r.word === 'converged' ? '' : `, ${r.word}`;
  return `${sis ? 'Dynes SIS' : 'Dynes'} fit${status} (${parts.join(', ')})`;
}

// The pixel's colour, darkened: the fit beside its data, yet its own.
export function fitColour(colour) {
  const n = parseInt(colour.slice(1), 16), d = (c) => Math.round(c * 0.55);
  return `rgb(${d(n >> 16)}, ${d((n >> 8) & 255)}, ${d(n & 255)})`;
}

// The fit curves to draw over the picked pixels' curves of variable:
// [{label, colour, values, dash, x, y}], none unless variable is the fitted one.
export function fitCurves(f, fits, pixels, variable, colours) {
  const fit = fitOf(f);
  if (!fit || fit.variable !== variable) return [];
  const out = [];
  pixels.forEach((p, i) => {
    const r = fits.get(key(p));
    if (!r || !r.drawn) return;
    out.push({ label: `(${p.x}, ${p.y}) ${fitLabel(r)}`, colour: fitColour(colours[i % colours.length]),
               values: r.curve, dash: [6, 3], x: p.x, y: p.y });
  });
  return out;
}

// The columns of the fit table: every fit_* value but the standard errors,
// each with its error beside where the file has one.
function columns(fit) {
  const names = new Set(fit.values.map((v) => v.name));
  return fit.values.filter((v) => !v.name.startsWith('fit_se_')).map((v) => ({
    ...v, se: names.has(`fit_se_${v.name.slice(4)}`) ? `fit_se_${v.name.slice(4)}` : null }));
}

// The fit table: one row per picked pixel with its status in words and
// its values as the file holds them.
export function fillFitTable(table, note, f, fits, pixels, variable) {
  const fit = fitOf(f);
  table.hidden = !fit;
  note.hidden = true;
  const head = table.querySelector('thead'), body = table.querySelector('tbody');
  head.textContent = body.textContent = '';
  if (f && f.fit && !f.fit.present) { note.hidden = false; note.textContent = f.fit.problem; }
  if (!fit) return;
  if (fit.variable !== variable) {
    note.hidden = false;
    note.textContent = `The fit (${fit.model}, ${fit.window}) is of ${fit.variable}: show ${fit.variable} to see it drawn.`;
  }
  const cols = columns(fit), tr = document.createElement('tr');
  for (const text of ['pixel', 'fit_status', ...cols.map((c) => `${c.name.slice(4)} (${c.units || '1'})`)]) {
    const th = document.createElement('th'); th.textContent = text; tr.appendChild(th);
  }
  head.appendChild(tr);
  for (const p of pixels) {
    const r = fits.get(key(p));
    if (!r) continue;
    const row = document.createElement('tr');
    Object.assign(row.dataset, { x: p.x, y: p.y, status: r.status, word: r.word, drawn: r.drawn });
    const cell = (text, title) => {
      const td = document.createElement('td'); td.textContent = text; if (title) td.title = title;
      row.appendChild(td); return td;
    };
    cell(`(${p.x}, ${p.y})`);
    cell(r.drawn ? r.word : r.why, r.meaning).className = r.drawn ? 'fit-word' : 'fit-why';
    for (const c of cols) {
      const v = valueOf(r, c.name), se = c.se ? valueOf(r, c.se) : null;
      row.dataset[c.name] = floatText(v.value);
      cell(se && Number.isFinite(se.value) && Number.isFinite(v.value) ?
        `${floatText(v.value)} ± ${floatText(se.value)}` : floatText(v.value), c.long_name);
    }
    body.appendChild(row);
  }
}

// The "# " lines a curve export with the fit beside adds.
export function fitHeader(f, r) {
  const fit = fitOf(f);
  return [`fit: ${fit.model} of ${fit.variable} over ${fit.window}; fit_status ${r.word}; ${fitLabel(r)}`,
          ...fit.settings.map(([k, v]) => `${k}: ${v}`),
          `third column: fit_curve (${fit.variable}'s unit) as the file holds it; NaN outside the fit window`];
}
