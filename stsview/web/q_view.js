// The reciprocal-space pane beside the map: fetches the q-map of the map's
// variable at the map's bias (and the cut in q the user drags), draws them
// with the page's colour-range controls (on |F|, or on log10 |F| with the
// log box), and keeps the export links.  main.js calls update() after a
// new map and redraw() after new colour settings.
import { getJSON, getFloats } from './api.js';
import { scaleFor } from './colour_maps.js';
import { setLink } from './exports.js';
import { QPane } from './q_pane.js';
import { DispersionPane } from './dispersion_pane.js';

const $ = (id) => document.getElementById(id);

// |F| or its logarithm (NaN where |F| is 0: no colour to give it).
const shownOf = (values, log) => (log ? Float32Array.from(values, (v) => (v > 0 ? Math.log10(v) : NaN)) : values);

export class QView {
  // target(): {file, variable, index, f (the file's entry), v (the variable's)};
  // settings(): the page's scale settings; fail(e): the page's message.
  constructor(target, settings, fail) {
    Object.assign(this, { target, settings, fail });
    this.pane = new QPane($('qmap'), $('q-bar'), $('q-readout'), { cut: (c) => this.setCut(c) });
    this.dispersion = new DispersionPane($('qcut'), $('qcut-title'));
    this.key = null;
    this.map = null;
    this.cut = null;
    this.serial = 0;
    for (const id of ['q-window', 'q-group']) $(id).addEventListener('change', () => this.update(true));
    $('q-log').addEventListener('change', () => this.redraw());
  }

  // Why the file's map has no q-map, or '' when it has one.
  refusal(t) {
    if (!t.v || t.v.map) return 'a per-pixel map has no q-map: choose a spectral variable';
    if (t.f.ny < 2 || t.f.nx < 2) return 'a q-map needs at least 2 x 2 pixels';
    if (t.f.xy_units !== 'nm') return 'a q-map needs the pixels\' spacing in nm, and this grid has no frame';
    return '';
  }

  params(t) {
    const p = { file: t.file, variable: t.variable, window: $('q-window').value };
    if ($('q-group').value !== 'none') p.group = $('q-group').value;
    return p;
  }

  async update(optionsChanged = false) {
    const t = this.target(), why = this.refusal(t);
    $('q-section').hidden = false;
    if (why) { this.hide(why); return; }
    const p = this.params(t), key = JSON.stringify(p);
    if (key !== this.key) { this.cut = null; this.dispersion.hide(); this.pane.cut = null; }
    const serial = ++this.serial;
    try {
      // A bias step of the same map: the values alone, as floats (the axes
      // and the Bragg vectors are the file's and stay).
      const same = key === this.key && this.map;
      const map = same ? { ...this.map, index: t.index, bias: t.v.bias[t.index],
                           values: await getFloats('qmap.f32', { ...p, index: t.index }) }
                       : await getJSON('qmap', { ...p, index: t.index });
      if (serial !== this.serial) return;
      this.key = key;
      this.map = map;
      $('q-message').textContent = '';
      this.draw();
      setLink($('export-qmap'), 'qmap.txt', { ...p, index: t.index });
      $('export-qmap').download = `fft_${t.variable}_qmap_${map.bias}.txt`;
      if (this.cut && optionsChanged) await this.loadCut();
      else if (this.cut) this.dispersion.setIndex(t.index);
    } catch (e) {
      if (serial === this.serial) { this.map = null; $('q-message').textContent = e.message; }
    }
  }

  hide(why) {
    this.map = null;
    $('q-message').textContent = why;
    $('qmap').hidden = $('q-bar').hidden = true;
    this.dispersion.hide();
  }

  draw() {
    const m = this.map, log = $('q-log').checked, t = this.target();
    $('qmap').hidden = $('q-bar').hidden = false;
    const shown = shownOf(m.values, log);
    const unit = log ? `log10 |F| (${m.units})` : `|F| (${m.units})`;
    this.pane.show(m, shown, scaleFor(shown, { ...this.settings(), signed: false }), { unit });
    $('q-title').textContent = `|F| of ${m.variable} at bias ${m.bias} ${m.bias_units}, window ${m.window}` +
      (m.group ? `, symmetrised by ${m.group}` : '') + ` — ${t.f.name}`;
    Object.assign($('qmap').dataset, { file: t.file, variable: m.variable, index: m.index, bias: String(m.bias),
                                       log: String(log) });
  }

  redraw() {
    if (this.map) this.draw();
    if (this.cut && this.cutData) this.drawCut();
  }

  async setCut(c) {
    this.cut = c;
    try { await this.loadCut(); } catch (e) { this.fail(e); }
  }

  async loadCut() {
    const t = this.target(), p = { ...this.params(t), ...this.cut };
    this.cutData = await getJSON('qcut', p);
    this.drawCut();
    setLink($('export-qcut'), 'qcut.txt', p);
    $('export-qcut').download = `fft_${t.variable}_qcut.txt`;
    setLink($('export-qcutnc'), 'qcut.nc', p);
    $('export-qcutnc').download = `fft_${t.variable}_qcut.nc`;
  }

  drawCut() {
    const c = this.cutData, log = $('q-log').checked, t = this.target(), s = (v) => Number(v.toPrecision(4));
    const shown = shownOf(c.values, log);
    const unit = log ? `log10 |F| (${c.units})` : `|F| (${c.units})`;
    const text = `dispersion of ${c.variable} along q0 = (${s(c.q0[0])}, ${s(c.q0[1])}) → q1 = (${s(c.q1[0])}, ` +
      `${s(c.q1[1])}) ${c.q_units}`;
    this.dispersion.show(c, shown, scaleFor(shown, { ...this.settings(), signed: false }), t.index, { unit, text });
  }
}
