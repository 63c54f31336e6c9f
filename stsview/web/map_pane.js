// The map: one bias of every pixel on a canvas, axes in the grid's units,
// a colour bar, and the mouse (readout, pick, region, line).  Row 0 is at
// the bottom, as y grows upwards.  Unprocessed pixels are grey.
import { colourOf } from './colour_maps.js';
import { floatText } from './api.js';

const margin = { left: 64, right: 12, top: 8, bottom: 44 };
const grey = [160, 160, 160];

const fmt = floatText;
const tickText = (v) => Number(v.toPrecision(4)).toString();

export class MapPane {
  constructor(canvas, bar, readout, handlers) {
    Object.assign(this, { canvas, bar, readout, handlers });
    this.marks = { pixels: [], region: null, line: null };
    this.mode = 'pixel';
    this.drag = null;
    canvas.addEventListener('mousemove', (e) => this.move(e));
    canvas.addEventListener('mousedown', (e) => this.down(e));
    window.addEventListener('mouseup', (e) => this.up(e));
  }

  // grid: {nx, ny, x, y, xyUnits, status, meanings}; map: {values, bias};
  // scale from colour_maps.scaleFor.
  show(grid, map, scale) {
    Object.assign(this, { grid, map, scale });
    this.layout();
    this.draw();
    this.drawBar();
  }

  layout() {
    const { nx, ny } = this.grid;
    const w = this.canvas.width - margin.left - margin.right;
    const h = this.canvas.height - margin.top - margin.bottom;
    const cell = Math.min(w / nx, h / ny);
    this.box = { left: margin.left, top: margin.top, cell, nx, ny,
                 width: cell * nx, height: cell * ny };
    this.canvas.dataset.box = JSON.stringify(this.box);
  }

  draw() {
    const { nx, ny, status } = this.grid, { values } = this.map, b = this.box;
    const image = new ImageData(nx, ny), out = image.data;
    for (let y = 0; y < ny; y++) {
      for (let x = 0; x < nx; x++) {
        const p = y * nx + x, v = values[p];
        const c = status[p] !== 0 || !Number.isFinite(v) ? grey : colourOf(this.scale, v);
        const at = ((ny - 1 - y) * nx + x) * 4;
        out[at] = c[0]; out[at + 1] = c[1]; out[at + 2] = c[2]; out[at + 3] = 255;
      }
    }
    const g = this.canvas.getContext('2d');
    g.clearRect(0, 0, this.canvas.width, this.canvas.height);
    const scratch = new OffscreenCanvas(nx, ny);
    scratch.getContext('2d').putImageData(image, 0, 0);
    g.imageSmoothingEnabled = false;
    g.drawImage(scratch, b.left, b.top, b.width, b.height);
    this.drawAxes(g);
    this.drawMarks(g);
  }

  drawAxes(g) {
    const b = this.box, { x, y, xyUnits } = this.grid;
    g.strokeStyle = '#333'; g.fillStyle = '#333'; g.font = '11px sans-serif';
    g.strokeRect(b.left, b.top, b.width, b.height);
    const ticks = (n) => [0, Math.floor((n - 1) / 2), n - 1].filter((v, i, a) => a.indexOf(v) === i);
    g.textAlign = 'center'; g.textBaseline = 'top';
    for (const i of ticks(b.nx)) {
      const sx = b.left + (i + 0.5) * b.cell;
      g.fillText(tickText(x[i]), sx, b.top + b.height + 4);
    }
    g.fillText(`x (${xyUnits})`, b.left + b.width / 2, b.top + b.height + 22);
    g.textAlign = 'right'; g.textBaseline = 'middle';
    for (const j of ticks(b.ny)) {
      const sy = b.top + (b.ny - 1 - j + 0.5) * b.cell;
      g.fillText(tickText(y[j]), b.left - 4, sy);
    }
    g.save(); g.translate(12, b.top + b.height / 2); g.rotate(-Math.PI / 2);
    g.textAlign = 'center'; g.fillText(`y (${xyUnits})`, 0, 0); g.restore();
  }

  centre(x, y) {
    const b = this.box;
    return [b.left + (x + 0.5) * b.cell, b.top + (b.ny - 1 - y + 0.5) * b.cell];
  }

  drawMarks(g) {
    const b = this.box;
    g.lineWidth = 2;
    for (const m of this.marks.pixels) {
      const [cx, cy] = this.centre(m.x, m.y), r = Math.max(3, b.cell / 2);
      g.strokeStyle = m.colour; g.strokeRect(cx - r, cy - r, 2 * r, 2 * r);
    }
    const r = this.drag && this.mode === 'region' ? this.drag.rect : this.marks.region;
    if (r) {
      const [ax, ay] = this.centre(r.x0, r.y1), [bx, by] = this.centre(r.x1, r.y0);
      g.strokeStyle = '#000'; g.setLineDash([4, 3]);
      g.strokeRect(ax - b.cell / 2, ay - b.cell / 2, bx - ax + b.cell, by - ay + b.cell);
      g.setLineDash([]);
    }
    const l = this.drag && this.mode === 'line' ? this.drag.line : this.marks.line;
    if (l) {
      const [ax, ay] = this.centre(l.x0, l.y0), [bx, by] = this.centre(l.x1, l.y1);
      g.strokeStyle = '#000'; g.beginPath(); g.moveTo(ax, ay); g.lineTo(bx, by); g.stroke();
    }
    g.lineWidth = 1;
  }

  drawBar() {
    const g = this.bar.getContext('2d'), s = this.scale;
    const top = margin.top, h = this.box.height;
    g.clearRect(0, 0, this.bar.width, this.bar.height);
    for (let i = 0; i < 256; i++) {
      const c = s.colours[i];
      g.fillStyle = `rgb(${c[0]},${c[1]},${c[2]})`;
      g.fillRect(4, top + h - ((i + 1) * h) / 256, 18, h / 256 + 1);
    }
    g.fillStyle = '#333'; g.font = '11px sans-serif'; g.textBaseline = 'middle';
    g.fillText(tickText(s.hi), 26, top + 4);
    g.fillText(tickText((s.lo + s.hi) / 2), 26, top + h / 2);
    g.fillText(tickText(s.lo), 26, top + h - 4);
    this.bar.dataset.lo = String(s.lo);
    this.bar.dataset.hi = String(s.hi);
    this.bar.dataset.colours = s.name;
  }

  // The pixel under a mouse event, or null outside the map.
  pixelAt(e) {
    const b = this.box, rect = this.canvas.getBoundingClientRect();
    const sx = (e.clientX - rect.left) * (this.canvas.width / rect.width);
    const sy = (e.clientY - rect.top) * (this.canvas.height / rect.height);
    const x = Math.floor((sx - b.left) / b.cell), row = Math.floor((sy - b.top) / b.cell);
    if (x < 0 || x >= b.nx || row < 0 || row >= b.ny) return null;
    return { x, y: b.ny - 1 - row };
  }

  move(e) {
    if (!this.box) return;
    const p = this.pixelAt(e);
    if (this.drag && p) {
      const d = this.drag.start;
      this.drag.rect = { x0: Math.min(d.x, p.x), x1: Math.max(d.x, p.x),
                         y0: Math.min(d.y, p.y), y1: Math.max(d.y, p.y) };
      this.drag.line = { x0: d.x, y0: d.y, x1: p.x, y1: p.y };
      this.draw();
    }
    if (p) this.describe(p);
  }

  describe(p) {
    const { nx, x, y, xyUnits, status, meanings } = this.grid, i = p.y * nx + p.x;
    const v = this.map.values[i], code = status[i];
    const why = code === 0 ? 'processed' : `not processed: ${meanings[code] || 'code ' + code}`;
    const d = this.readout.dataset;
    Object.assign(d, { x: p.x, y: p.y, xnm: x[p.x], ynm: y[p.y], value: fmt(v), status: code });
    this.readout.textContent =
      `pixel (${p.x}, ${p.y})  x = ${tickText(x[p.x])} ${xyUnits}, y = ${tickText(y[p.y])} ${xyUnits}` +
      `  value ${fmt(v)}  ${why}`;
  }

  down(e) {
    const p = this.box && this.pixelAt(e);
    if (!p) return;
    if (this.mode === 'pixel') { this.handlers.pick(p, e.shiftKey); return; }
    this.drag = { start: p, rect: { x0: p.x, x1: p.x, y0: p.y, y1: p.y },
                  line: { x0: p.x, y0: p.y, x1: p.x, y1: p.y } };
    e.preventDefault();
  }

  up() {
    if (!this.drag) return;
    const { rect, line } = this.drag;
    this.drag = null;
    if (this.mode === 'region') { this.marks.region = rect; this.handlers.region(rect); }
    else { this.marks.line = line; this.handlers.line(line); }
    this.draw();
  }
}
