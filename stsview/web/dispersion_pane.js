// The dispersion: |F| along a cut in q at every bias, as a distance x bias
// image (distance from q0 in nm^-1 across, bias up), with round ticks, its
// colour bar with the unit, and a dashed line at the map's bias.
import { colourOf } from './colour_maps.js';
import { niceTicks, niceStep, tickText } from './axis_ticks.js';
import { paintBar } from './map_pane.js';

const margin = { left: 64, right: 90, top: 8, bottom: 40 };
const grey = [160, 160, 160];

export class DispersionPane {
  constructor(canvas, title) {
    Object.assign(this, { canvas, title });
  }

  hide() {
    this.cut = null;
    this.canvas.hidden = true; this.title.hidden = true;
    for (const key of Object.keys(this.canvas.dataset)) delete this.canvas.dataset[key];
  }

  // cut: the server's qcut reply; shown: its values drawn (|F| or log);
  // index: the map's bias; labels: {unit, text}.
  show(cut, shown, scale, index, labels) {
    Object.assign(this, { cut, shown, scale, index, labels });
    this.canvas.hidden = false; this.title.hidden = false;
    this.title.textContent = labels.text;
    const n = cut.distance.length, m = cut.bias.length, image = new ImageData(n, m);
    for (let i = 0; i < m; i++)
      for (let s = 0; s < n; s++) {
        const v = shown[i * n + s], c = Number.isFinite(v) ? colourOf(scale, v) : grey;
        image.data.set([c[0], c[1], c[2], 255], ((m - 1 - i) * n + s) * 4);
      }
    this.scratch = new OffscreenCanvas(n, m);
    this.scratch.getContext('2d').putImageData(image, 0, 0);
    this.draw();
  }

  draw() {
    const c = this.cut, g = this.canvas.getContext('2d'), n = c.distance.length, m = c.bias.length;
    const b = { left: margin.left, top: margin.top, width: this.canvas.width - margin.left - margin.right,
                height: this.canvas.height - margin.top - margin.bottom };
    g.clearRect(0, 0, this.canvas.width, this.canvas.height);
    g.imageSmoothingEnabled = false;
    g.drawImage(this.scratch, b.left, b.top, b.width, b.height);
    g.strokeStyle = '#333'; g.fillStyle = '#333'; g.font = '11px sans-serif'; g.lineWidth = 1;
    g.strokeRect(b.left, b.top, b.width, b.height);
    const d1 = c.distance[n - 1], ds = niceStep(d1, 6), dt = niceTicks(0, d1, 6);
    const xOf = (d) => b.left + (n > 1 ? (d / d1) * (n - 1) + 0.5 : 0.5) * (b.width / n);
    g.textAlign = 'center'; g.textBaseline = 'top';
    for (const d of dt) { g.fillRect(xOf(d), b.top + b.height, 1, 4); g.fillText(tickText(d, ds), xOf(d), b.top + b.height + 6); }
    const xLabel = `distance along the cut (${c.q_units})`, yLabel = `bias (${c.bias_units})`;
    g.fillText(xLabel, b.left + b.width / 2, b.top + b.height + 24);
    const b0 = c.bias[0], b1 = c.bias[m - 1], bs = niceStep(Math.abs(b1 - b0), 6), bt = niceTicks(b0, b1, 6);
    const yOf = (v) => b.top + b.height - (m > 1 ? ((v - b0) / (b1 - b0)) * (m - 1) + 0.5 : 0.5) * (b.height / m);
    g.textAlign = 'right'; g.textBaseline = 'middle';
    for (const v of bt) { g.fillRect(b.left - 4, yOf(v), 4, 1); g.fillText(tickText(v, bs), b.left - 6, yOf(v)); }
    g.save(); g.translate(12, b.top + b.height / 2); g.rotate(-Math.PI / 2);
    g.textAlign = 'center'; g.fillText(yLabel, 0, 0); g.restore();
    const y = yOf(c.bias[this.index] ?? b0);
    g.save(); g.strokeStyle = '#c00'; g.setLineDash([5, 4]);
    g.beginPath(); g.moveTo(b.left, y); g.lineTo(b.left + b.width, y); g.stroke(); g.restore();
    paintBar(g, this.scale, b.left + b.width + 8, b.top, b.height, this.labels.unit);
    Object.assign(this.canvas.dataset, { samples: n, xLabel, yLabel, xTicks: dt.map((v) => tickText(v, ds)).join(','),
                                         yTicks: bt.map((v) => tickText(v, bs)).join(',') });
  }

  // The map's bias moved: the dashed line with it.
  setIndex(index) {
    if (!this.cut) return;
    this.index = index;
    this.draw();
  }
}
