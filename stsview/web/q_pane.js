// The reciprocal-space map: one slice's |F| on q axes (equal scales, zero
// frequency at the centre, qy up), axes "q_x (nm^-1)" and "q_y (nm^-1)"
// in round ticks, the colour bar, the Bragg peaks circled (+-Q1, +-Q2),
// the cursor's q, |q|, 2 pi / |q| and |F|, and a drag drawing a cut in q.
import { colourOf } from './colour_maps.js';
import { floatText } from './api.js';
import { niceTicks, niceStep, tickText } from './axis_ticks.js';
import { paintBar } from './map_pane.js';

const margin = { left: 64, right: 12, top: 8, bottom: 44 };
const grey = [160, 160, 160];
const short = (v) => Number(v.toPrecision(4)).toString();

export class QPane {
  // handlers.cut({q0x, q0y, q1x, q1y}) hears a finished drag.
  constructor(canvas, bar, readout, handlers) {
    Object.assign(this, { canvas, bar, readout, handlers });
    this.drag = null;
    this.hover = null;
    this.cut = null;
    canvas.addEventListener('mousemove', (e) => this.move(e));
    canvas.addEventListener('mouseleave', () => { this.hover = null; if (this.map) this.draw(); });
    canvas.addEventListener('mousedown', (e) => this.down(e));
    window.addEventListener('mouseup', () => this.up());
  }

  // map: the server's qmap reply; shown: the values drawn (|F| or its
  // log); scale from colour_maps.scaleFor; labels: {unit} of the bar.
  show(map, shown, scale, labels) {
    Object.assign(this, { map, shown, scale, labels });
    this.layout();
    this.draw();
    const g = this.bar.getContext('2d');
    g.clearRect(0, 0, this.bar.width, this.bar.height);
    // 40 px in: the unit under the bar ("|F| (nA/V)") is centred on it.
    const ticks = paintBar(g, scale, 40, margin.top, this.box.height, labels.unit);
    Object.assign(this.bar.dataset, { lo: String(scale.lo), hi: String(scale.hi), unit: labels.unit,
                                      ticks: ticks.join(',') });
    if (this.hover) this.describe(this.hover);
  }

  layout() {
    const { nx, ny, qx, qy } = this.map;
    const w = this.canvas.width - margin.left - margin.right, h = this.canvas.height - margin.top - margin.bottom;
    // Equal scales: a q-pixel is dqx wide and dqy high on the same ruler.
    const dqx = qx[1] - qx[0], dqy = qy[1] - qy[0];
    const unit = Math.min(w / (nx * dqx), h / (ny * dqy));
    const cw = unit * dqx, ch = unit * dqy;
    this.box = { left: margin.left, top: margin.top, cw, ch, nx, ny, width: cw * nx, height: ch * ny };
    this.canvas.dataset.box = JSON.stringify(this.box);
  }

  // Canvas position of q (nm^-1): pixel centres at the axes' values.
  at(q1, q2) {
    const { qx, qy } = this.map, b = this.box;
    const fx = (q1 - qx[0]) / (qx[1] - qx[0]), fy = (q2 - qy[0]) / (qy[1] - qy[0]);
    return [b.left + (fx + 0.5) * b.cw, b.top + (b.ny - 1 - fy + 0.5) * b.ch];
  }

  image() {
    const { nx, ny } = this.map, values = this.shown;
    if (this.imageCache && this.imageCache.values === values && this.imageCache.scale === this.scale)
      return this.imageCache.canvas;
    const image = new ImageData(nx, ny);
    for (let y = 0; y < ny; y++)
      for (let x = 0; x < nx; x++) {
        const v = values[y * nx + x], c = Number.isFinite(v) ? colourOf(this.scale, v) : grey;
        image.data.set([c[0], c[1], c[2], 255], ((ny - 1 - y) * nx + x) * 4);
      }
    const scratch = new OffscreenCanvas(nx, ny);
    scratch.getContext('2d').putImageData(image, 0, 0);
    this.imageCache = { values, scale: this.scale, canvas: scratch };
    return scratch;
  }

  draw() {
    const g = this.canvas.getContext('2d'), b = this.box;
    g.clearRect(0, 0, this.canvas.width, this.canvas.height);
    g.imageSmoothingEnabled = false;
    g.drawImage(this.image(), b.left, b.top, b.width, b.height);
    this.drawAxes(g);
    this.drawMarks(g);
  }

  drawAxes(g) {
    const b = this.box, { qx, qy, q_units: unit } = this.map;
    g.strokeStyle = '#333'; g.fillStyle = '#333'; g.font = '11px sans-serif'; g.lineWidth = 1;
    g.strokeRect(b.left, b.top, b.width, b.height);
    const xs = niceStep(qx[qx.length - 1] - qx[0], 5), xt = niceTicks(qx[0], qx[qx.length - 1], 5);
    g.textAlign = 'center'; g.textBaseline = 'top';
    for (const v of xt) { const [sx] = this.at(v, 0); g.fillRect(sx, b.top + b.height, 1, 4); g.fillText(tickText(v, xs), sx, b.top + b.height + 6); }
    const xLabel = `q_x (${unit})`, yLabel = `q_y (${unit})`;
    g.fillText(xLabel, b.left + b.width / 2, b.top + b.height + 24);
    const ys = niceStep(qy[qy.length - 1] - qy[0], 5), yt = niceTicks(qy[0], qy[qy.length - 1], 5);
    g.textAlign = 'right'; g.textBaseline = 'middle';
    for (const v of yt) { const [, sy] = this.at(0, v); g.fillRect(b.left - 4, sy, 4, 1); g.fillText(tickText(v, ys), b.left - 6, sy); }
    g.save(); g.translate(12, b.top + b.height / 2); g.rotate(-Math.PI / 2);
    g.textAlign = 'center'; g.fillText(yLabel, 0, 0); g.restore();
    Object.assign(this.canvas.dataset, { xLabel, yLabel, xTicks: xt.map((v) => tickText(v, xs)).join(','),
                                         yTicks: yt.map((v) => tickText(v, ys)).join(',') });
  }

  drawMarks(g) {
    const b = this.box, bragg = this.map.bragg;
    g.save();
    g.beginPath(); g.rect(b.left, b.top, b.width, b.height); g.clip();
    const circled = [];
    if (bragg) {
      // +-Q1 and +-Q2 in white over black, seen on any colour.
      for (const [qx, qy] of bragg)
        for (const s of [1, -1]) {
          const [cx, cy] = this.at(s * qx, s * qy), r = Math.max(6, 1.5 * b.cw);
          for (const [colour, width] of [['#000', 3], ['#fff', 1.5]]) {
            g.strokeStyle = colour; g.lineWidth = width; g.beginPath(); g.arc(cx, cy, r, 0, 2 * Math.PI); g.stroke();
          }
          circled.push([s * qx, s * qy]);
        }
    }
    const c = this.drag ? this.drag.cut : this.cut;
    if (c) {
      const [ax, ay] = this.at(c.q0x, c.q0y), [bx, by] = this.at(c.q1x, c.q1y);
      g.strokeStyle = '#fff'; g.lineWidth = 2; g.beginPath(); g.moveTo(ax, ay); g.lineTo(bx, by); g.stroke();
    }
    const p = this.hover;
    if (p) {
      const [cx, cy] = this.at(this.map.qx[p.x], this.map.qy[p.y]), r = Math.max(6, b.cw);
      for (const [colour, width] of [['#fff', 3], ['#000', 1]]) {
        g.strokeStyle = colour; g.lineWidth = width; g.beginPath();
        g.moveTo(cx - r, cy); g.lineTo(cx + r, cy); g.moveTo(cx, cy - r); g.lineTo(cx, cy + r); g.stroke();
      }
    }
    g.restore();
    this.canvas.dataset.bragg = JSON.stringify(circled);
    this.canvas.dataset.cut = c ? JSON.stringify(c) : '';
  }

  // The q-pixel under a mouse event, or null outside the map.
  pixelAt(e) {
    const b = this.box, rect = this.canvas.getBoundingClientRect();
    const sx = (e.clientX - rect.left) * (this.canvas.width / rect.width);
    const sy = (e.clientY - rect.top) * (this.canvas.height / rect.height);
    const x = Math.floor((sx - b.left) / b.cw), row = Math.floor((sy - b.top) / b.ch);
    if (x < 0 || x >= b.nx || row < 0 || row >= b.ny) return null;
    return { x, y: b.ny - 1 - row };
  }

  move(e) {
    if (!this.box) return;
    const p = this.pixelAt(e);
    if (this.drag && p) {
      const d = this.drag.start, { qx, qy } = this.map;
      this.drag.cut = { q0x: qx[d.x], q0y: qy[d.y], q1x: qx[p.x], q1y: qy[p.y] };
    }
    this.hover = p;
    if (p) this.describe(p);
    this.draw();
  }

  // The readout at q-pixel p: q, |q|, the wavelength 2 pi / |q| and |F|.
  describe(p) {
    const { qx, qy, nx, values, unit } = { ...this.map, unit: this.map.units };
    const x = qx[p.x], y = qy[p.y], q = Math.hypot(x, y), v = values[p.y * nx + p.x];
    const u = this.map.q_units, wavelength = q > 0 ? (2 * Math.PI) / q : Infinity;
    Object.assign(this.readout.dataset, { px: p.x, py: p.y, qx: String(x), qy: String(y), q: String(q),
                                          wavelength: String(wavelength), value: floatText(v) });
    this.readout.textContent = `q = (${short(x)}, ${short(y)}) ${u}  |q| = ${short(q)} ${u}  ` +
      `2π/|q| = ${Number.isFinite(wavelength) ? short(wavelength) : '∞'} nm  |F| = ${floatText(v)} ${unit}`;
  }

  down(e) {
    const p = this.box && this.pixelAt(e);
    if (!p) return;
    const { qx, qy } = this.map;
    this.drag = { start: p, cut: { q0x: qx[p.x], q0y: qy[p.y], q1x: qx[p.x], q1y: qy[p.y] } };
    e.preventDefault();
  }

  up() {
    if (!this.drag) return;
    const c = this.drag.cut;
    this.drag = null;
    // A click is no cut: the ends must differ.
    if (c.q0x !== c.q1x || c.q0y !== c.q1y) { this.cut = c; this.handlers.cut(c); }
    if (this.map) this.draw();
  }
}
