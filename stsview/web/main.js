// The page: state and wiring between the file selector, the map, the bias
// slider and keys, the curve pane, the numbers table and the exports.
import { getJSON, getFloats, floatText } from './api.js';
import { scaleFor, colourOf } from './colour_maps.js';
import { MapPane } from './map_pane.js';
import { CurvePane, palette } from './curve_pane.js';
import { savePng, setLink } from './exports.js';

const $ = (id) => document.getElementById(id);
const fmt = (v) => (v === null || v === undefined || !Number.isFinite(v) ? 'NaN' : String(v));
const maxCurves = 12;

const state = {
  files: [], file: 0, variable: null, index: 0,
  pixels: [],    // [{x, y, colour, values}]
  mean: null, region: null, line: null, map: null, serial: 0,
};

const message = (text) => { $('message').textContent = text || ''; };
const file = () => state.files[state.file];
const variable = () => file().variables.find((v) => v.name === state.variable);
const axis = () => variable().bias;
const params = (extra = {}) => ({ file: state.file, variable: state.variable, ...extra });

const mapPane = new MapPane($('map'), $('colour-bar'), $('readout'), {
  pick: (p, add) => pick(p, add).catch((e) => message(e.message)),
  region: (r) => region(r).catch((e) => message(e.message)),
  line: (l) => lineCut(l).catch((e) => message(e.message)),
});
const curvePane = new CurvePane($('curves'), { bias: (k) => setIndex(k) });

function scaleSettings() {
  return { mode: $('range-mode').value, colours: $('colours').value,
           low: parseFloat($('range-low').value), high: parseFloat($('range-high').value) };
}

function drawMap() {
  const f = file(), m = state.map;
  const scale = scaleFor(m.values, scaleSettings());
  mapPane.show({ nx: f.nx, ny: f.ny, x: f.x, y: f.y, xyUnits: f.xy_units, status: f.status,
                 meanings: f.meanings }, m, scale);
  const v = variable();
  $('map-title').textContent = `${v.name} (${v.units}) at bias ${fmt(m.bias)} ${f.bias_units}` +
    ` — ${f.name}`;
  Object.assign($('map').dataset, { file: state.file, variable: v.name, index: m.index, bias: fmt(m.bias) });
}

// Loads and draws the map at index k; only the newest request draws.
async function loadMap(k) {
  const serial = ++state.serial, started = performance.now();
  const values = await getFloats('map.f32', params({ index: k }));
  if (serial !== state.serial) return;
  const fetched = performance.now();
  state.map = { index: k, bias: axis()[k], values };
  drawMap();
  // Request to drawn, and the two parts of it.
  Object.assign($('map').dataset, { drawMs: (performance.now() - started).toFixed(1),
    fetchMs: (fetched - started).toFixed(1), paintMs: (performance.now() - fetched).toFixed(1) });
  $('map').dataset.serial = serial;
}

function setIndex(k) {
  const n = axis().length;
  k = Math.max(0, Math.min(n - 1, k));
  state.index = k;
  $('bias').value = k;
  $('bias-label').textContent = `${fmt(axis()[k])} ${file().bias_units}  (${k + 1} of ${n})`;
  curvePane.setIndex(k);
  fillTable();
  setLink($('export-map'), 'map.txt', params({ index: k }));
  loadMap(k).catch((e) => message(e.message));
}

function showCurves() {
  const v = variable();
  const curves = state.pixels.map((p) => ({ label: `(${p.x}, ${p.y})`, colour: p.colour, values: p.values }));
  const mean = $('show-mean').checked ? state.mean : null;
  curvePane.show(axis(), curves, mean, state.region, state.index,
                 { bias: file().bias_units, value: `${v.name} (${v.units})` });
  mapPane.marks.pixels = state.pixels;
  if (state.map) mapPane.draw();
  fillTable();
}

// The numbers table: every shown curve at the bias, exactly as sent.
function fillTable() {
  const body = $('numbers').querySelector('tbody'), k = state.index, b = axis()[k];
  body.textContent = '';
  const row = (label, data, value, se, link) => {
    const tr = document.createElement('tr');
    Object.assign(tr.dataset, data, { index: k, bias: fmt(b), value: fmt(value), se: fmt(se) });
    for (const text of [label, fmt(b), fmt(value), se === undefined ? '' : fmt(se)]) {
      const td = document.createElement('td'); td.textContent = text; tr.appendChild(td);
    }
    const td = document.createElement('td');
    if (link) { const a = document.createElement('a'); setLink(a, link.route, link.params); a.textContent = 'text'; a.download = ''; td.appendChild(a); }
    tr.appendChild(td);
    body.appendChild(tr);
  };
  if (state.mean && $('show-mean').checked)
    row(`grid mean (${state.mean.pixels} pixels)`, { kind: 'mean', pixels: state.mean.pixels },
        state.mean.mean[k], state.mean.se[k], { route: 'mean.txt', params: params() });
  if (state.region) {
    const r = state.region;
    row(r.label, { kind: 'region', x0: r.x0, x1: r.x1, y0: r.y0, y1: r.y1, pixels: r.pixels },
        r.mean[k], r.se[k], { route: 'region.txt', params: params({ x0: r.x0, x1: r.x1, y0: r.y0, y1: r.y1 }) });
  }
  for (const p of state.pixels)
    row(`pixel (${p.x}, ${p.y}) ${p.reason === 'processed' ? '' : p.reason}`,
        { kind: 'pixel', x: p.x, y: p.y, status: p.status }, p.values[k], undefined,
        { route: 'curve.txt', params: params({ x: p.x, y: p.y }) });
}

async function pick(p, add) {
  const started = performance.now();
  const c = await getJSON('curve', params({ x: p.x, y: p.y }));
  const entry = { x: p.x, y: p.y, values: c.values, status: c.status, reason: c.reason };
  if (!add) state.pixels = [];
  state.pixels = state.pixels.filter((q) => q.x !== p.x || q.y !== p.y);
  state.pixels.push(entry);
  if (state.pixels.length > maxCurves) state.pixels.shift();
  state.pixels.forEach((q, i) => { q.colour = palette[i % palette.length]; });
  showCurves();
  $('curves').dataset.curveMs = (performance.now() - started).toFixed(1);
  $('curves').dataset.count = state.pixels.length;
}

async function region(r) {
  const started = performance.now();
  const s = await getJSON('region', params(r));
  state.region = { ...r, mean: s.mean, se: s.se, pixels: s.pixels,
                   label: `region x ${r.x0}–${r.x1}, y ${r.y0}–${r.y1} (${s.pixels} pixels)` };
  setLink($('export-region'), 'region.txt', params(r));
  showCurves();
  $('curves').dataset.regionMs = (performance.now() - started).toFixed(1);
}

async function lineCut(l) {
  const c = await getJSON('linecut', params(l));
  state.line = l;
  const canvas = $('linecut'), n = c.distance.length, m = c.bias.length;
  canvas.hidden = false; $('linecut-title').hidden = false;
  $('linecut-title').textContent = `line cut (${l.x0}, ${l.y0}) → (${l.x1}, ${l.y1}), ` +
    `${Number(c.distance[n - 1].toPrecision(4))} ${file().xy_units}: distance across, bias up`;
  const scale = scaleFor(c.values, scaleSettings());
  const image = new ImageData(n, m);
  for (let s = 0; s < n; s++)
    for (let i = 0; i < m; i++) {
      const v = c.values[s * m + i], col = v === null || !Number.isFinite(v) ? [160, 160, 160] : colourOf(scale, v);
      image.data.set([col[0], col[1], col[2], 255], ((m - 1 - i) * n + s) * 4);
    }
  const scratch = new OffscreenCanvas(n, m);
  scratch.getContext('2d').putImageData(image, 0, 0);
  const g = canvas.getContext('2d');
  g.imageSmoothingEnabled = false;
  g.clearRect(0, 0, canvas.width, canvas.height);
  g.drawImage(scratch, 0, 0, canvas.width, canvas.height);
  Object.assign(canvas.dataset, { samples: n, x: c.x.join(','), y: c.y.join(','),
                                  distance: c.distance.map(fmt).join(',') });
  setLink($('export-linecut'), 'linecut.txt', params(l));
}

async function loadMean() {
  state.mean = variable().statistics ? await getJSON('mean', params()) : null;
  setLink($('export-mean'), 'mean.txt', params());
  $('export-mean').hidden = !state.mean;
}

// A file or variable chosen: keeps the bias (nearest) and the pixels,
// regions and line that fit the new grid.
async function select(fileIndex, variableName) {
  const oldBias = state.variable ? axis()[state.index] : 0;
  state.file = fileIndex;
  const f = file();
  $('readout').textContent = 'move over the map';
  for (const key of Object.keys($('readout').dataset)) delete $('readout').dataset[key];
  state.variable = f.variables.some((v) => v.name === variableName) ? variableName :
    (f.variables.find((v) => v.name === 'didv') || f.variables[0]).name;
  $('variable').textContent = '';
  for (const v of f.variables) $('variable').add(new Option(`${v.name} — ${v.long_name}`, v.name));
  $('variable').value = state.variable;
  $('bias').max = axis().length - 1;
  state.index = curvePane.nearestIn(axis(), oldBias);
  const fits = (x, y) => x < f.nx && y < f.ny;
  const keep = state.pixels.filter((p) => fits(p.x, p.y));
  state.pixels = [];
  if (state.region && !fits(state.region.x1, state.region.y1)) state.region = null;
  await loadMean();
  for (const [i, p] of keep.entries()) await pick(p, i > 0);
  if (state.region) await region({ x0: state.region.x0, x1: state.region.x1, y0: state.region.y0, y1: state.region.y1 });
  showCurves();
  setIndex(state.index);
}

function wire() {
  $('file').addEventListener('change', () => select(Number($('file').value), state.variable).catch((e) => message(e.message)));
  $('variable').addEventListener('change', () => select(state.file, $('variable').value).catch((e) => message(e.message)));
  $('bias').addEventListener('input', () => setIndex(Number($('bias').value)));
  for (const id of ['colours', 'range-mode', 'range-low', 'range-high'])
    $(id).addEventListener('change', () => { if (id === 'range-mode') rangeDefaults(); if (state.map) drawMap(); });
  $('mode').addEventListener('change', () => { mapPane.mode = $('mode').value; });
  $('show-mean').addEventListener('change', showCurves);
  $('export-png').addEventListener('click', () => savePng($('map'), `${state.variable}_map_${fmt(axis()[state.index])}.png`));
  document.addEventListener('keydown', (e) => {
    if (e.target.tagName === 'INPUT' || e.target.tagName === 'SELECT') return;
    const step = { ArrowLeft: -1, ArrowDown: -1, ArrowRight: 1, ArrowUp: 1 }[e.key];
    if (step) { setIndex(state.index + step); e.preventDefault(); }
  });
}

// Percentiles 1–99 by default; typed bounds start at the map's own range.
function rangeDefaults() {
  if ($('range-mode').value === 'percentile') { $('range-low').value = 1; $('range-high').value = 99; return; }
  const s = scaleFor(state.map.values, { mode: 'percentile', colours: 'viridis', low: 0, high: 100 });
  $('range-low').value = s.lo; $('range-high').value = s.hi;
}

async function start() {
  wire();
  state.files = (await getJSON('files')).files;
  for (const f of state.files) $('file').add(new Option(f.name, f.index));
  $('file').disabled = state.files.length < 2;
  await select(0, 'didv');
  document.body.dataset.ready = 'true';
}

start().catch((e) => message(e.message));
