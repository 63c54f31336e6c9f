// The line cut: a distance x bias image of a variable along a line (one
// sample a pixel step, nearest pixels), with distance and bias axes in
// round ticks, its colour bar with the unit, and a dashed line at the bias.
import { colourOf } from './colour_maps.js';
import { niceTicks, niceStep, tickText } from './axis_ticks.js';
import { paintBar } from './map_pane.js';

const margin = { left: 64, right: 90, top: 8, bottom: 40 };
const grey = [160, 160, 160];

export class LineCutPane {
  constructor(canvas, title) {
    Object.assign(this, { canvas, title });
    this.cut = null;
  }

  hide() {
    this.cut = null;
    this.canvas.hidden = true; this.title.hidden = true;
    for (const key of Object.keys(this.canvas.dataset)) delete this.canvas.dataset[key];
  }

  // cut: the server's {bias, distance, x, y, values [sample][bias]};
  // labels: {variable, units, xy, bias, file}.
  show(cut, line, scale, index, labels) {
    Object.assign(this, { cut, line, labels, index });
    const n = cut.distance.length;
    this.canvas.hidden = false; this.title.hidden = false;
    this.title.textContent = `line cut of ${labels.variable} (${labels.units}) from (${line.x0}, ${line.y0}) to ` +
      `(${line.x1}, ${line.y1}), ${Number(cut.distance[n - 1].toPrecision(4))} ${labels.xy} — ${labels.file}`;
    Object.assign(this.canvas.dataset, { samples: n, x: cut.x.join(','), y: cut.y.join(','),
                                         distance: cut.distance.map(String).join(','),
                                         variable: labels.variable });
    this.rescale(scale);
  }

  rescale(scale) {
    const c = this.cut, n = c.distance.length, m = c.bias.length;
    this.scale = scale;
    const image = new ImageData(n, m);
    for (let s = 0; s < n; s++)
      for (let i = 0; i < m; i++) {
        const v = c.values[s * m + i], col = v === null || !Number.isFinite(v) ? grey : colourOf(scale, v);
        image.data.set([col[0], col[1], col[2], 255], ((m - 1 - i) * n + s) * 4);
      }
    this.scratch = new OffscreenCanvas(n, m);
    this.scratch.getContext('2d').putImageData(image, 0, 0);
    this.draw();
  }

  setIndex(index) {
    this.index = index;
    if (this.cut) this.draw();
  }

  draw() {
    const c = this.cut, g = this.canvas.getContext('2d'), W = this.canvas.width, H = this.canvas.height;
    const n = c.distance.length, m = c.bias.length;
    const box = { left: margin.left, top: margin.top, width: W - margin.left - margin.right,
                  height: H - margin.top - margin.bottom };
    g.clearRect(0, 0, W, H);
    g.imageSmoothingEnabled = false;
    g.drawImage(this.scratch, box.left, box.top, box.width, box.height);
    g.strokeStyle = '#333'; g.fillStyle = '#333'; g.font = '11px sans-serif'; g.lineWidth = 1;
    g.strokeRect(box.left, box.top, box.width, box.height);
    // Sample s spans [s, s+1) of n; its centre is at distance[s].
    const d0 = c.distance[0], d1 = c.distance[n - 1], dStep = niceStep(d1 - d0, 6);
    const xOf = (d) => box.left + (n > 1 ? ((d - d0) / (d1 - d0)) * (n - 1) + 0.5 : 0.5) * (box.width / n);
    g.textAlign = 'center'; g.textBaseline = 'top';
    const dt = niceTicks(d0, d1, 6).map((d) => tickText(d, dStep));
    for (const d of niceTicks(d0, d1, 6)) {
      g.fillRect(xOf(d), box.top + box.height, 1, 4); g.fillText(tickText(d, dStep), xOf(d), box.top + box.height + 6);
    }
    g.fillText(`distance (${this.labels.xy})`, box.left + box.width / 2, box.top + box.height + 22);
    const b0 = c.bias[0], b1 = c.bias[m - 1], bStep = niceStep(Math.abs(b1 - b0), 5);
    const yOf = (b) => box.top + box.height - (m > 1 ? ((b - b0) / (b1 - b0)) * (m - 1) + 0.5 : 0.5) * (box.height / m);
    g.textAlign = 'right'; g.textBaseline = 'middle';
    const bt = niceTicks(b0, b1, 5).map((b) => tickText(b, bStep));
    for (const b of niceTicks(b0, b1, 5)) {
      g.fillRect(box.left - 4, yOf(b), 4, 1); g.fillText(tickText(b, bStep), box.left - 6, yOf(b));
    }
    g.save(); g.translate(12, box.top + box.height / 2); g.rotate(-Math.PI / 2);
    g.textAlign = 'center'; g.fillText(`bias (${this.labels.bias})`, 0, 0); g.restore();
    if (this.index !== undefined && this.index < m) {
      const y = yOf(c.bias[this.index]);
      g.save(); g.strokeStyle = '#c00'; g.setLineDash([5, 4]);
      g.beginPath(); g.moveTo(box.left, y); g.lineTo(box.left + box.width, y); g.stroke(); g.restore();
    }
    const ticks = paintBar(g, this.scale, W - margin.right + 10, box.top, box.height, this.labels.units);
    Object.assign(this.canvas.dataset, { distanceTicks: dt.join(','), biasTicks: bt.join(','),
                                         barTicks: ticks.join(','), unit: this.labels.units,
                                         index: this.index,
                                         atBias: Array.from({ length: n }, (_, s) => String(c.values[s * m + this.index])).join(',') });
  }
}
