// The curve pane (uPlot): the picked pixels' curves, the grid mean with its
// ±2 SE band, a region's mean ± SE, and a vertical marker at the bias.  A
// click in the plot sets the bias; a dragged box zooms, a double click
// resets.  The y range is automatic, the 1st-99th percentile of the shown
// values, or typed limits.
import uPlot from './uPlot.esm.js';
import { finiteSorted, percentile } from './colour_maps.js';

export const palette = ['#1f77b4', '#d62728', '#2ca02c', '#ff7f0e', '#9467bd', '#8c564b',
                        '#e377c2', '#17becf', '#7f7f7f', '#bcbd22', '#393b79', '#637939'];

const band = (mean, se, k) => mean.map((m, i) => (m === null || se[i] === null ? null : m + k * se[i]));

export class CurvePane {
  constructor(element, handlers) {
    Object.assign(this, { element, handlers });
    this.plot = null;
    this.bias = null;
    this.yRange = { mode: 'auto', low: NaN, high: NaN };
  }

  // mode 'auto' | 'percentile' | 'fixed'; low and high for 'fixed'.
  setYRange(range) {
    this.yRange = range;
    if (this.plot) this.plot.setScale('y', this.yLimits(this.plot));
  }

  yLimits(u) {
    const r = this.yRange;
    if (r.mode === 'fixed' && Number.isFinite(r.low) && Number.isFinite(r.high) && r.high > r.low)
      return { min: r.low, max: r.high };
    const all = [];
    for (let i = 1; i < u.data.length; i++) for (const v of u.data[i]) all.push(v);
    const s = finiteSorted(all);
    if (s.length === 0) return { min: 0, max: 1 };
    let lo = r.mode === 'percentile' ? percentile(s, 1) : s[0];
    let hi = r.mode === 'percentile' ? percentile(s, 99) : s[s.length - 1];
    if (!(hi > lo)) { lo -= 1; hi += 1; }
    const pad = (hi - lo) * 0.05;
    return { min: lo - pad, max: hi + pad };
  }

  // axis: the bias axis; curves: [{label, colour, values, dash?}]; mean and
  // region: {mean, se} or null; index: the bias index of the marker.
  show(axis, curves, mean, region, index, units) {
    const series = [{ label: `bias (${units.bias})` }], data = [axis], bands = [];
    const add = (label, values, style) => { series.push({ label, ...style }); data.push(values); return data.length - 1; };
    if (mean) {
      add('grid mean', mean.mean, { stroke: '#000', width: 1.5 });
      const hi = add('+2 SE', band(mean.mean, mean.se, 2), { stroke: 'rgba(0,0,0,0.15)', width: 0.5 });
      const lo = add('−2 SE', band(mean.mean, mean.se, -2), { stroke: 'rgba(0,0,0,0.15)', width: 0.5 });
      bands.push({ series: [hi, lo], fill: 'rgba(0,0,0,0.12)' });
    }
    if (region) {
      add(region.label, region.mean, { stroke: '#b8860b', width: 2 });
      const hi = add('region +SE', band(region.mean, region.se, 1), { stroke: 'rgba(184,134,11,0.2)', width: 0.5 });
      const lo = add('region −SE', band(region.mean, region.se, -1), { stroke: 'rgba(184,134,11,0.2)', width: 0.5 });
      bands.push({ series: [hi, lo], fill: 'rgba(184,134,11,0.18)' });
    }
    for (const c of curves) add(c.label, c.values, { stroke: c.colour, width: 1.5, ...(c.dash ? { dash: c.dash } : {}) });
    this.axis = axis;
    this.index = index;
    if (this.plot) this.plot.destroy();
    const opts = {
      width: 600, height: 380, series, bands,
      scales: { x: { time: false },
                // A zoomed range stays; a reset (null) asks for ours.
                y: { range: (u, min, max) => (this.zoomed ? [min, max] : (({ min: a, max: b }) => [a, b])(this.yLimits(u))) } },
      axes: [{ label: `bias (${units.bias})` }, { label: units.value, size: 70 }],
      cursor: { drag: { x: true, y: true, uni: 20, setScale: true } },
      hooks: { draw: [(u) => this.drawMarker(u)],
               setScale: [(u, key) => { if (key === 'x') this.element.dataset.xMin = u.scales.x.min;
                                        this.element.dataset.yMin = u.scales.y.min;
                                        this.element.dataset.yMax = u.scales.y.max;
                                        this.element.dataset.xMax = u.scales.x.max; }] },
    };
    this.zoomed = false;
    this.plot = new uPlot(opts, data, this.element);
    this.element.uplot = this.plot;  // the drawn series, for the page's tests
    let downAt = null;
    this.plot.over.addEventListener('mousedown', (e) => { downAt = [e.clientX, e.clientY]; });
    // A drag is a zoom: the range function then keeps the box's limits.
    this.plot.over.addEventListener('mousemove', (e) => {
      if (downAt && e.buttons && Math.hypot(e.clientX - downAt[0], e.clientY - downAt[1]) > 3) this.zoomed = true;
    });
    this.plot.over.addEventListener('dblclick', () => { this.zoomed = false; this.plot.setData(this.plot.data, true); });
    this.plot.over.addEventListener('click', (e) => {
      // The end of a dragged box is no click.
      if (downAt && Math.hypot(e.clientX - downAt[0], e.clientY - downAt[1]) > 3) return;
      const left = this.plot.cursor.left;
      if (left == null || left < 0) return;
      this.handlers.bias(this.nearest(this.plot.posToVal(left, 'x')));
    });
  }

  nearest(v) { return this.nearestIn(this.axis, v); }

  nearestIn(axis, v) {
    let best = 0;
    for (let i = 1; i < axis.length; i++)
      if (Math.abs(axis[i] - v) < Math.abs(axis[best] - v)) best = i;
    return best;
  }

  setIndex(index) {
    this.index = index;
    if (this.plot) this.plot.redraw(false, false);
  }

  drawMarker(u) {
    const v = this.axis[this.index];
    if (v === undefined) return;
    const x = Math.round(u.valToPos(v, 'x', true)), g = u.ctx;
    g.save();
    g.strokeStyle = '#c00'; g.lineWidth = 1; g.setLineDash([5, 4]);
    g.beginPath(); g.moveTo(x, u.bbox.top); g.lineTo(x, u.bbox.top + u.bbox.height); g.stroke();
    g.restore();
  }
}
