// The page: one state (file, variable, bias index, picked pixels, region,
// line) from which every pane is drawn, and the wiring of the controls,
// keys and mouse to it.  A change of a part refetches what depends on it
// and redraws every pane that shows it; the URL's fragment carries the
// state, so a reload or a link opens the same view.
import { getJSON, getFloats } from './api.js';
import { scaleFor, signedQuantity } from './colour_maps.js';
import { MapPane } from './map_pane.js';
import { CurvePane, palette } from './curve_pane.js';
import { LineCutPane } from './linecut_pane.js';
import { savePng, setLink, mapPng, saveWithHeader } from './exports.js';
import { readFragment, writeFragment } from './page_state.js';
import { QView } from './q_view.js';
import { loadFits, fitCurves, fillFitTable, fitHeader, fitOf } from './fit_overlay.js';

const $ = (id) => document.getElementById(id);
const fmt = (v) => (v === null || v === undefined || !Number.isFinite(v) ? 'NaN' : String(v));
const maxCurves = 12;

// The state the user chose; the data fetched for it lives beside it.
// variable: the map shown, a spectrum variable or a per-pixel map (no
// bias axis); spectra: the spectrum variable the curves, region and line
// cut show (the map's own, or the last one shown before a per-pixel map).
// side: the per-pixel variable of the pane beside the map, or 'none';
// sideChoice: the user's choice of it (null: the topography where the
// file has it), kept across files.
const state = { file: 0, variable: null, spectra: 'didv', index: 0, pixels: [], region: null, line: null,
                side: 'none', sideChoice: null };
const data = { files: [], map: null, strip: null, mean: null, curves: new Map(), fits: new Map(), region: null, cut: null,
               side: null, sideScale: null };
const serials = { map: 0, curves: 0, region: 0, line: 0, side: 0 };
let sideLoads = 0;  // fetches of the pane beside the map (the tests count them)

const message = (text) => { $('message').textContent = text || ''; };
const file = () => data.files[state.file];
const pixelMaps = (f) => (f.maps || []).map((m) => ({ ...m, map: true }));
const variable = () => file().variables.find((v) => v.name === state.variable) ||
  pixelMaps(file()).find((v) => v.name === state.variable);
const spectra = () => file().variables.find((v) => v.name === state.spectra) || file().variables[0];
const axis = () => spectra().bias;
const params = (extra = {}) => ({ file: state.file, variable: spectra().name, ...extra });
const fail = (e) => message(e.message);

// The map and the pane beside it: one cursor, the same picks and marks.
const mouse = {
  pick: (p, add) => setPixels(add ? [...state.pixels, p] : [p]),
  region: (r) => setRegion(r),
  line: (l) => setLine(l),
  hover: (p) => { mapPane.follow(p); if (data.side) sidePane.follow(p); },
};
const mapPane = new MapPane($('map'), $('colour-bar'), $('readout'), mouse);
const sidePane = new MapPane($('side'), $('side-bar'), $('side-readout'), mouse);
const curvePane = new CurvePane($('curves'), { bias: (k) => setIndex(k) });
const cutPane = new LineCutPane($('linecut'), $('linecut-title'));
// The reciprocal-space pane: the map's variable at the map's bias.
const qView = new QView(() => ({ file: state.file, variable: state.variable, index: state.index, f: file(),
                                 v: variable() }), () => scaleSettings(), (e) => fail(e));

function scaleSettings() {
  return { mode: $('range-mode').value, colours: $('colours').value,
           low: parseFloat($('range-low').value), high: parseFloat($('range-high').value),
           signed: signedQuantity(variable()) };
}

const grid = () => {
  const f = file();
  return { nx: f.nx, ny: f.ny, x: f.x, y: f.y, xyUnits: f.xy_units, status: f.status, meanings: f.meanings };
};

// The marks both map panes draw: the picked pixels in their curves'
// colours, the region and the line.
const marks = () => ({ pixels: state.pixels.map((p, i) => ({ ...p, colour: palette[i % palette.length] })),
                       region: state.region, line: state.line });

function drawMap() {
  const f = file(), m = data.map, v = variable();
  if (data.side) sidePane.setMarks(marks());
  if (!m) return;
  if (v.map) {
    const title = `${v.name} (${v.units}) per pixel — ${f.name}`;
    mapPane.marks = marks();
    mapPane.show({ ...grid(), grey: false }, m, scaleFor(m.values, scaleSettings()), { title, unit: v.units });
    $('map-title').textContent = title;
    Object.assign($('map').dataset, { file: state.file, variable: v.name, index: m.index, bias: '' });
    return;
  }
  mapPane.marks = marks();
  const title = `${v.name} (${v.units}) at bias ${fmt(m.bias)} ${f.bias_units} — ${f.name}`;
  const labels = { title, unit: v.units, biasUnits: f.bias_units };
  if (data.strip) {
    // The strip's scale is of the whole image: made once per strip and setting.
    data.stripScale = data.stripScale || scaleFor(data.strip.values, scaleSettings());
    mapPane.showStrip(grid(), data.strip, m, data.stripScale, labels);
  }
  else mapPane.show(grid(), m, scaleFor(m.values, scaleSettings()), labels);
  $('map-title').textContent = title;
  Object.assign($('map').dataset, { file: state.file, variable: v.name, index: m.index, bias: fmt(m.bias) });
}

// Loads and draws the map at the state's index; only the newest request draws.
async function loadMap() {
  const serial = ++serials.map, started = performance.now(), k = state.index, name = state.variable;
  let values;
  if (variable().map) {
    // A per-pixel map: fetched once, the same at every bias.
    if (!data.pixelMap) data.pixelMap = await getFloats('pixelmap.f32', { file: state.file, variable: name });
    values = data.pixelMap;
  } else if (file().ny === 1) {
    // A line grid: the whole line once per variable, each bias a column of it.
    if (!data.strip) data.strip = await getJSON('linecut', params({ x0: 0, y0: 0, x1: file().nx - 1, y1: 0 }));
    if (serial !== serials.map) return;
    const m = data.strip.bias.length;
    values = Float32Array.from({ length: file().nx }, (_, s) => data.strip.values[s * m + k] ?? NaN);
  } else {
    values = await getFloats('map.f32', params({ index: k }));
  }
  if (serial !== serials.map) return;
  const fetched = performance.now();
  data.map = { index: k, bias: axis()[k], values, variable: name, file: state.file };
  drawMap();
  qView.update();
  // Request to drawn, and the two parts of it.
  Object.assign($('map').dataset, { drawMs: (performance.now() - started).toFixed(1),
    fetchMs: (fetched - started).toFixed(1), paintMs: (performance.now() - fetched).toFixed(1) });
  $('map').dataset.serial = serial;
}

// The pane beside the map: a per-pixel variable, fetched once per file and
// variable (it has no bias: a bias step leaves it alone).
async function loadSide() {
  const serial = ++serials.side, f = file(), name = state.side;
  const v = pixelMaps(f).find((m) => m.name === name);
  if (!v) { hideSide(); return; }
  const started = performance.now();
  const values = await getFloats('pixelmap.f32', { file: state.file, variable: name });
  sideLoads++;
  if (serial !== serials.side) return;
  data.side = { values, variable: name, file: state.file, index: '' };
  data.sideScale = null;
  drawSide();
  $('side').dataset.drawMs = (performance.now() - started).toFixed(1);
}

function drawSide() {
  const s = data.side;
  if (!s) return;
  const f = file(), v = pixelMaps(f).find((m) => m.name === s.variable);
  // The typed bounds are the main map's; this pane takes percentiles.
  const pct = $('range-mode').value === 'percentile';
  data.sideScale = data.sideScale || scaleFor(s.values, {
    mode: 'percentile', colours: $('colours').value, signed: signedQuantity(v),
    low: pct ? parseFloat($('range-low').value) : 1, high: pct ? parseFloat($('range-high').value) : 99 });
  const title = `${v.name} (${v.units || '1'}) per pixel — ${f.name}`;
  $('side-section').hidden = false;
  $('side-title').textContent = title;
  sidePane.marks = marks();
  sidePane.marksKey = JSON.stringify(sidePane.marks);
  sidePane.mode = $('mode').value;
  sidePane.show({ ...grid(), grey: false }, s, data.sideScale, { title, unit: v.units });
  Object.assign($('side').dataset, { file: state.file, variable: v.name, units: v.units, shown: 'true',
                                     loads: sideLoads });
}

// No pane beside the map: nothing of the last one stays behind.
function hideSide() {
  data.side = null;
  $('side-section').hidden = true;
  sidePane.forget();
  Object.assign(sidePane, { map: null, box: null, imageCache: null, marksKey: null });
  for (const id of ['side', 'side-bar']) for (const k of Object.keys($(id).dataset)) delete $(id).dataset[k];
  $('side').dataset.shown = 'false';
}

// The variable beside the map: the choice, where this file has it; else
// the topography, where it has that; else none.
function chooseSide(f, choice) {
  const maps = pixelMaps(f);
  if (choice === 'none' || maps.some((m) => m.name === choice)) return choice;
  return maps.some((m) => m.name === 'topography') ? 'topography' : 'none';
}

function fillSideList(f) {
  const list = $('side-variable'), maps = pixelMaps(f);
  list.textContent = '';
  list.add(new Option('none', 'none'));
  for (const v of maps) list.add(new Option(`${v.name} — ${v.long_name}`, v.name));
  list.value = state.side;
  list.disabled = maps.length === 0;
}

// What depends on the bias only: the slider, markers, table, links, map.
function setIndex(k) {
  const n = axis().length;
  state.index = Math.max(0, Math.min(n - 1, k));
  k = state.index;
  $('bias').value = k;
  $('bias-label').textContent = `${fmt(axis()[k])} ${file().bias_units}  (${k + 1} of ${n})`;
  curvePane.setIndex(k);
  cutPane.setIndex(k);
  fillTable();
  if (variable().map) $('export-map').hidden = true;
  else setLink($('export-map'), 'map.txt', params({ index: k }), header('map', { k }));
  $('export-map').download = `${state.variable}_map_${fmt(axis()[k])}.txt`;
  writeFragment(state);
  loadMap().catch(fail);
}

function showCurves() {
  const v = variable();
  const curves = state.pixels.filter((p) => data.curves.has(key(p))).map((p, i) =>
    ({ label: `(${p.x}, ${p.y})`, colour: palette[i % palette.length], values: data.curves.get(key(p)).values }))
    .concat(fitCurves(file(), data.fits, state.pixels, spectra().name, palette));
  const mean = $('show-mean').checked ? data.mean : null;
  curvePane.show(axis(), curves, mean, data.region, state.index,
                 { bias: file().bias_units, value: `${v.name} (${v.units})` });
  drawMap();
  fillTable();
}

const key = (p) => `${p.x},${p.y}`;

// The numbers table: every shown curve at the bias, exactly as sent.
function fillTable() {
  const body = $('numbers').querySelector('tbody'), k = state.index, b = axis()[k];
  body.textContent = '';
  const row = (label, rowData, value, se, link) => {
    const tr = document.createElement('tr');
    Object.assign(tr.dataset, rowData, { index: k, bias: fmt(b), value: fmt(value), se: fmt(se), variable: spectra().name });
    for (const text of [label, fmt(b), fmt(value), se === undefined ? '' : fmt(se)]) {
      const td = document.createElement('td'); td.textContent = text; tr.appendChild(td);
    }
    const td = document.createElement('td');
    if (link) {
      const a = document.createElement('a'); setLink(a, link.route, link.params, link.header);
      a.textContent = 'text'; a.download = link.name; td.appendChild(a);
    }
    tr.appendChild(td);
    body.appendChild(tr);
  };
  const m = data.mean;
  if (m && $('show-mean').checked)
    row(`grid mean (${m.pixels} pixels)`, { kind: 'mean', pixels: m.pixels }, m.mean[k], m.se[k],
        { route: 'mean.txt', params: params(), name: `${spectra().name}_grid_mean.txt`, header: header('mean') });
  if (data.region) {
    const r = data.region;
    row(r.label, { kind: 'region', x0: r.x0, x1: r.x1, y0: r.y0, y1: r.y1, pixels: r.pixels },
        r.mean[k], r.se[k], { route: 'region.txt', params: params(rect(r)), header: header('region', r),
                              name: `${spectra().name}_region_x${r.x0}-${r.x1}_y${r.y0}-${r.y1}.txt` });
  }
  for (const p of state.pixels) {
    const c = data.curves.get(key(p));
    if (!c) continue;
    const fit = fitted(p);
    row(`pixel (${p.x}, ${p.y}) ${c.reason === 'processed' ? '' : c.reason}`,
        { kind: 'pixel', x: p.x, y: p.y, status: c.status }, c.values[k], undefined,
        { route: 'curve.txt', params: params({ x: p.x, y: p.y, ...(fit ? { fit: 1 } : {}) }),
          name: `${spectra().name}_${fit ? 'fit_' : ''}x${p.x}_y${p.y}.txt`, header: header('curve', p) });
    if (fit) row(`fit of (${p.x}, ${p.y}), ${fit.word}`, { kind: 'fit', x: p.x, y: p.y, word: fit.word }, fit.curve[k]);
  }
  fillFitTable($('fit-numbers'), $('fit-note'), file(), data.fits, state.pixels, spectra().name);
}

// The pixel's fit where it is drawn over the curves shown, else null.
function fitted(p) {
  const r = data.fits.get(key(p)), fit = fitOf(file());
  return r && r.drawn && fit && fit.variable === spectra().name ? r : null;
}

// The "# " lines on top of a text export: what, from which file, in which
// units, in which order.
function header(kind, extra = {}) {
  const f = file(), v = kind === 'map' ? variable() : spectra(), b = axis(), bu = f.bias_units, xy = f.xy_units;
  const n = b.length;
  const lines = [`file: ${f.name}`, `variable: ${v.name} (${v.long_name}), units ${v.units}`];
  const biasAxis = `bias: ${n} points from ${fmt(b[0])} to ${fmt(b[n - 1])} ${bu}`;
  if (kind === 'map') {
    lines.push(`bias: ${fmt(b[extra.k])} ${bu} (point ${extra.k + 1} of ${n})`,
      `rows: one per y, y = ${fmt(f.y[0])} to ${fmt(f.y[f.ny - 1])} ${xy}; the first row is y index 0 (the bottom of the map)`,
      `columns: one per x, x = ${fmt(f.x[0])} to ${fmt(f.x[f.nx - 1])} ${xy}`,
      `values: ${v.name} in ${v.units}; NaN where the file has none`);
  } else if (kind === 'curve') {
    const c = data.curves.get(key(extra));
    lines.push(`pixel: (${extra.x}, ${extra.y}) at x = ${fmt(f.x[extra.x])} ${xy}, y = ${fmt(f.y[extra.y])} ${xy}, ` +
               `status ${c ? c.reason : 'unknown'}`,
      f.per_pixel_axis ? `bias: the pixel's own axis, in ${bu}` : biasAxis,
      `columns: bias (${bu}), ${v.name} (${v.units}); rows in bias order, points the pixel lacks left out`);
    if (fitted(extra)) lines.push(...fitHeader(f, fitted(extra)));
  } else if (kind === 'mean' || kind === 'region') {
    const s = kind === 'mean' ? data.mean : data.region;
    lines.push(kind === 'mean' ? `grid mean over ${s ? s.pixels : '?'} processed pixels, as stsgrid stored it` :
      `region: x index ${extra.x0}-${extra.x1}, y index ${extra.y0}-${extra.y1} (inclusive), ` +
      `${s ? s.pixels : '?'} processed pixels`, biasAxis,
      `columns: bias (${bu}), mean (${v.units}), standard error of the mean (${v.units}); rows in bias order`);
  } else if (kind === 'linecut') {
    lines.push(`line: from pixel (${extra.x0}, ${extra.y0}) to (${extra.x1}, ${extra.y1}), the nearest pixel at each step`,
      biasAxis, `rows: one per sample along the line; columns: distance (${xy}), x and y (pixel indices), ` +
      `then ${v.name} (${v.units}) at each bias of the line below`);
  }
  return lines;
}

const rect = (r) => ({ x0: r.x0, x1: r.x1, y0: r.y0, y1: r.y1 });

// The picked pixels (the last 12, no repeats) and their curves.
async function setPixels(list) {
  const seen = new Set();
  state.pixels = list.reverse().filter((p) => !seen.has(key(p)) && seen.add(key(p))).reverse()
    .slice(-maxCurves).map((p) => ({ x: p.x, y: p.y }));
  writeFragment(state);
  const serial = ++serials.curves, started = performance.now(), curves = new Map();
  for (const p of state.pixels) {
    const c = await getJSON('curve', params(p));
    if (serial !== serials.curves) return;
    curves.set(key(p), c);
  }
  const fits = await loadFits(state.file, file(), state.pixels);
  if (serial !== serials.curves) return;
  data.curves = curves;
  data.fits = fits;
  showCurves();
  $('curves').dataset.curveMs = (performance.now() - started).toFixed(1);
  $('curves').dataset.count = state.pixels.length;
}

async function setRegion(r) {
  state.region = r ? rect(r) : null;
  writeFragment(state);
  const serial = ++serials.region, started = performance.now();
  $('export-region').hidden = !r;
  drawMap();
  if (!r) { data.region = null; showCurves(); return; }
  const s = await getJSON('region', params(rect(r)));
  if (serial !== serials.region) return;
  data.region = { ...rect(r), mean: s.mean, se: s.se, pixels: s.pixels,
                  label: `region x ${r.x0}–${r.x1}, y ${r.y0}–${r.y1} (${s.pixels} pixels)` };
  setLink($('export-region'), 'region.txt', params(rect(r)), header('region', r));
  $('export-region').download = `${spectra().name}_region_x${r.x0}-${r.x1}_y${r.y0}-${r.y1}.txt`;
  showCurves();
  $('curves').dataset.regionMs = (performance.now() - started).toFixed(1);
}

async function setLine(l) {
  state.line = l ? { x0: l.x0, y0: l.y0, x1: l.x1, y1: l.y1 } : null;
  writeFragment(state);
  const serial = ++serials.line;
  $('export-linecut').hidden = !l;
  $('export-linenc').hidden = !l;
  drawMap();
  if (!l) { data.cut = null; cutPane.hide(); drawMap(); return; }
  const c = await getJSON('linecut', params(state.line));
  if (serial !== serials.line) return;
  data.cut = c;
  const v = spectra(), f = file();
  cutPane.show(c, state.line, scaleFor(c.values, scaleSettings()), state.index,
               { variable: v.name, units: v.units, xy: f.xy_units, bias: f.bias_units, file: f.name });
  setLink($('export-linecut'), 'linecut.txt', params(state.line), header('linecut', state.line));
  $('export-linecut').download = `${spectra().name}_linecut.txt`;
  // Every quantity along the line, as stsgrid --line writes it.
  setLink($('export-linenc'), 'line.nc', { file: state.file, ...state.line });
  $('export-linenc').download = `${f.name.replace(/\.nc$/, '')}_line.nc`;
  drawMap();
}

async function loadMean() {
  data.mean = variable().statistics ? await getJSON('mean', params()) : null;
  setLink($('export-mean'), 'mean.txt', params(), header('mean'));
  $('export-mean').download = `${spectra().name}_grid_mean.txt`;
  $('export-mean').hidden = !data.mean;
}

// A file or variable chosen (and the rest of the state wanted): the bias
// kept (nearest) unless an index is given; pixels and regions that fit the
// grid kept, a line clipped to it; everything refetched for the new pair.
async function select(fileIndex, variableName, wanted = {}) {
  const oldBias = state.variable ? axis()[state.index] : 0;
  state.file = Math.max(0, Math.min(data.files.length - 1, fileIndex));
  const f = file();
  $('file').value = state.file;
  const maps = pixelMaps(f);
  state.variable = f.variables.some((v) => v.name === variableName) || maps.some((v) => v.name === variableName) ?
    variableName : (f.variables.find((v) => v.name === 'didv') || f.variables[0]).name;
  if (f.variables.some((v) => v.name === state.variable)) state.spectra = state.variable;
  $('variable').textContent = '';
  for (const v of f.variables) $('variable').add(new Option(`${v.name} — ${v.long_name}`, v.name));
  if (maps.length) {
    const group = document.createElement('optgroup');
    group.label = 'per pixel (no bias)';
    for (const v of maps) group.appendChild(new Option(`${v.name} — ${v.long_name}`, v.name));
    $('variable').appendChild(group);
  }
  $('variable').value = state.variable;
  document.querySelector('main').classList.toggle('line-grid', f.ny === 1);
  if ('side' in wanted) state.sideChoice = wanted.side;
  state.side = chooseSide(f, state.sideChoice);
  fillSideList(f);
  $('bias').max = axis().length - 1;
  state.index = Number.isInteger(wanted.index) ? wanted.index : curvePane.nearestIn(axis(), oldBias);
  const fits = (x, y) => x < f.nx && y < f.ny;
  const pixels = (wanted.pixels || state.pixels).filter((p) => fits(p.x, p.y));
  let region = 'region' in wanted ? wanted.region : state.region;
  if (region && !fits(region.x1, region.y1)) region = null;
  let line = 'line' in wanted ? wanted.line : state.line;
  if (line) line = clipLine(line, f);
  data.map = null; data.strip = null; data.pixelMap = null; data.stripScale = null; data.curves = new Map(); data.fits = new Map(); data.region = null; data.cut = null;
  mapPane.forget();
  hideSide();
  await loadMean();
  setIndex(state.index);
  await Promise.all([setPixels(pixels), setRegion(region), setLine(line), loadSide()]);
}

const clipLine = (l, f) => {
  const cx = (v) => Math.max(0, Math.min(f.nx - 1, v)), cy = (v) => Math.max(0, Math.min(f.ny - 1, v));
  return { x0: cx(l.x0), y0: cy(l.y0), x1: cx(l.x1), y1: cy(l.y1) };
};

// A keyboard that steps the bias wherever focus is, but in a text field;
// shift moves the last picked pixel; ? shows the keys.
function onKey(e) {
  const t = e.target;
  const typing = t.tagName === 'TEXTAREA' || (t.tagName === 'INPUT' && t.type !== 'range' && t.type !== 'checkbox');
  if (typing || e.ctrlKey || e.altKey || e.metaKey) return;
  if (e.key === '?') { $('keys').hidden = !$('keys').hidden; e.preventDefault(); return; }
  if (e.key === 'Escape') { $('keys').hidden = true; return; }
  const step = { ArrowLeft: -1, ArrowDown: -1, ArrowRight: 1, ArrowUp: 1 }[e.key];
  if (!step) return;
  e.preventDefault();
  if (!e.shiftKey) { setIndex(state.index + step); return; }
  const last = state.pixels[state.pixels.length - 1];
  if (!last) return;
  const f = file(), horizontal = e.key === 'ArrowLeft' || e.key === 'ArrowRight';
  const p = { x: last.x + (horizontal ? step : 0), y: last.y + (horizontal ? 0 : step) };
  if (p.x < 0 || p.y < 0 || p.x >= f.nx || p.y >= f.ny) return;
  setPixels([...state.pixels.slice(0, -1), p]).catch(fail);
}

function redrawScales() {
  data.stripScale = null;
  data.sideScale = null;
  drawMap();
  drawSide();
  if (data.cut) cutPane.rescale(scaleFor(data.cut.values, scaleSettings()));
  qView.redraw();
}

function wire() {
  $('file').addEventListener('change', () => select(Number($('file').value), state.variable).catch(fail));
  $('variable').addEventListener('change', () => select(state.file, $('variable').value).catch(fail));
  $('bias').addEventListener('input', () => setIndex(Number($('bias').value)));
  for (const id of ['colours', 'range-mode', 'range-low', 'range-high'])
    $(id).addEventListener('change', () => { if (id === 'range-mode') rangeDefaults(); redrawScales(); });
  $('mode').addEventListener('change', () => { mapPane.mode = sidePane.mode = $('mode').value; });
  $('side-variable').addEventListener('change', () => {
    state.sideChoice = state.side = $('side-variable').value;
    writeFragment(state);
    hideSide();
    loadSide().catch(fail);
  });
  $('show-mean').addEventListener('change', showCurves);
  for (const id of ['y-range', 'y-low', 'y-high'])
    $(id).addEventListener('change', () => {
      const mode = $('y-range').value;
      $('y-low').hidden = $('y-high').hidden = mode !== 'fixed';
      curvePane.setYRange({ mode, low: parseFloat($('y-low').value), high: parseFloat($('y-high').value) });
    });
  $('clear-marks').addEventListener('click', () => { setRegion(null).catch(fail); setLine(null).catch(fail); });
  $('export-png').addEventListener('click', () => {
    const v = variable(), f = file();
    savePng(mapPng(mapPane, `${v.name} (${v.units}) at bias ${fmt(axis()[state.index])} ${f.bias_units} — ${f.name}`),
            `${state.variable}_map_${fmt(axis()[state.index])}.png`);
  });
  document.addEventListener('keydown', onKey);
  document.addEventListener('click', (e) => {
    const a = e.target.closest && e.target.closest('a[data-header]');
    if (a) { e.preventDefault(); saveWithHeader(a).catch(fail); }
  });
  window.addEventListener('hashchange', () => {
    const w = readFragment();
    if (w) select(w.file, w.variable, w).catch(fail);
  });
}

// Percentiles 1–99 by default; typed bounds start at the map's own range.
function rangeDefaults() {
  if ($('range-mode').value === 'percentile') { $('range-low').value = 1; $('range-high').value = 99; return; }
  const s = scaleFor(data.map.values, { mode: 'percentile', colours: 'viridis', low: 0, high: 100 });
  $('range-low').value = s.lo; $('range-high').value = s.hi;
}

async function start() {
  wire();
  data.files = (await getJSON('files')).files;
  for (const f of data.files) $('file').add(new Option(f.name, f.index));
  $('file').disabled = data.files.length < 2;
  const w = readFragment();
  if (w) await select(w.file, w.variable, w);
  else await select(0, 'didv');
  document.body.dataset.ready = 'true';
}

start().catch(fail);
