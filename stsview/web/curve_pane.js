// The curve pane (uPlot): the picked pixels' curves, the grid mean with its
// ±2 SE band, a region's mean ± SE, and a vertical marker at the bias.  A
// click in the plot sets the bias.
import uPlot from './uPlot.esm.js';

export const palette = ['#1f77b4', '#d62728', '#2ca02c', '#ff7f0e', '#9467bd', '#8c564b',
                        '#e377c2', '#17becf', '#7f7f7f', '#bcbd22', '#393b79', '#637939'];

const band = (mean, se, k) => mean.map((m, i) => (m === null || se[i] === null ? null : m + k * se[i]));

export class CurvePane {
  constructor(element, handlers) {
    Object.assign(this, { element, handlers });
    this.plot = null;
    this.bias = null;
  }

  // axis: the bias axis; curves: [{label, colour, values}]; mean and
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
    for (const c of curves) add(c.label, c.values, { stroke: c.colour, width: 1.5 });
    this.axis = axis;
    this.index = index;
    if (this.plot) this.plot.destroy();
    const opts = {
      width: 600, height: 380, series, bands,
      scales: { x: { time: false } },
      axes: [{ label: `bias (${units.bias})` }, { label: units.value, size: 70 }],
      cursor: { drag: { x: false, y: false } },
      hooks: { draw: [(u) => this.drawMarker(u)] },
    };
    this.plot = new uPlot(opts, data, this.element);
    this.plot.over.addEventListener('click', () => {
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
