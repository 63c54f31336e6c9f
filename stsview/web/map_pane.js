// The map: one bias of every pixel on a canvas, axes in the grid's units
// with round ticks, a colour bar with the variable's unit, and the mouse
// (readout, pick, region, line).  Row 0 is at the bottom, as y grows
// upwards.  Unprocessed pixels are grey.  Marks are clipped to the grid.
import { colourOf } from './colour_maps.js';
import { floatText } from './api.js';
import { niceTicks, niceStep, tickText } from './axis_ticks.js';

const margin = { left: 64, right: 12, top: 8, bottom: 44 };
const grey = [160, 160, 160];

const fmt = floatText;
const shortText = (v) => Number(v.toPrecision(4)).toString();

// Round ticks along a pixel axis of centres c (uniform): [position in
// pixel units from the first centre, text].
export function pixelTicks(c, count) {
  if (c.length < 2) return [[0, shortText(c[0])]];
  const d = (c[c.length - 1] - c[0]) / (c.length - 1), step = niceStep(Math.abs(c[c.length - 1] - c[0]), count);
  return niceTicks(c[0], c[c.length - 1], count).map((v) => [(v - c[0]) / d, tickText(v, step)]);
}

// A vertical colour bar at (left, top), h high, with round ticks and the unit.
export function paintBar(g, scale, left, top, h, unit) {
  for (let i = 0; i < 256; i++) {
    const c = scale.colours[i];
    g.fillStyle = `rgb(${c[0]},${c[1]},${c[2]})`;
    g.fillRect(left, top + h - ((i + 1) * h) / 256, 18, h / 256 + 1);
  }
  g.strokeStyle = '#333'; g.strokeRect(left, top, 18, h);
  g.fillStyle = '#333'; g.font = '11px sans-serif'; g.textBaseline = 'middle'; g.textAlign = 'left';
  const step = niceStep(scale.hi - scale.lo, 5), ticks = niceTicks(scale.lo, scale.hi, 5);
  for (const v of ticks) {
    const y = top + h - ((v - scale.lo) / (scale.hi - scale.lo)) * h;
    g.fillRect(left + 18, y, 4, 1);
    g.fillText(tickText(v, step), left + 24, y);
  }
  if (unit) {
    g.save(); g.translate(left + 9, top + h + 14); g.textAlign = 'center'; g.fillText(unit, 0, 0); g.restore();
  }
  return ticks.map((v) => tickText(v, step));
}

export class MapPane {
  constructor(canvas, bar, readout, handlers) {
    Object.assign(this, { canvas, bar, readout, handlers });
    this.marks = { pixels: [], region: null, line: null };
    this.mode = 'pixel';
    this.drag = null;
    this.hover = null;
    canvas.addEventListener('mousemove', (e) => this.move(e));
    canvas.addEventListener('mouseleave', () => { this.hover = null; });
    canvas.addEventListener('mousedown', (e) => this.down(e));
    window.addEventListener('mouseup', (e) => this.up(e));
  }

  // grid: {nx, ny, x, y, xyUnits, status, meanings}; map: {values, bias};
  // scale from colour_maps.scaleFor; labels: {title, unit}.  The readout
  // follows the new map at the pixel under the cursor.
  show(grid, map, scale, labels = {}) {
    Object.assign(this, { grid, map, scale, labels, cut: null, strip: false });
    this.layout();
    this.draw();
    this.drawBar();
    if (this.hover) this.describe(this.hover);
  }

  // A new grid: the readout no longer stands for anything.
  forget() {
    this.hover = null;
    this.readout.textContent = 'move over the map';
    for (const key of Object.keys(this.readout.dataset)) delete this.readout.dataset[key];
  }

  // A line grid (ny 1): the distance x bias image of the whole line
  // (cut: the server's line cut along it), one column a pixel, bias up;
  // map: the values at the bias (for the readout).
  showStrip(grid, cut, map, scale, labels = {}) {
    const same = this.strip && this.cut === cut && this.scale === scale;
    Object.assign(this, { grid, map, scale, labels, cut, strip: true });
    if (same) { this.draw(); if (this.hover) this.describe(this.hover); return; }
    const n = cut.distance.length, m = cut.bias.length, image = new ImageData(n, m);
    for (let s = 0; s < n; s++)
      for (let i = 0; i < m; i++) {
        const v = cut.values[s * m + i];
        const col = grid.status[s] !== 0 || v === null || !Number.isFinite(v) ? grey : colourOf(scale, v);
        image.data.set([col[0], col[1], col[2], 255], ((m - 1 - i) * n + s) * 4);
      }
    this.scratch = new OffscreenCanvas(n, m);
    this.scratch.getContext('2d').putImageData(image, 0, 0);
    this.layout();
    this.draw();
    this.drawBar();
    if (this.hover) this.describe(this.hover);
  }

  layout() {
    const { nx, ny } = this.grid;
    if (this.strip) {
      const width = this.canvas.width - margin.left - margin.right;
      const height = this.canvas.height - margin.top - margin.bottom;
      this.box = { left: margin.left, top: margin.top, cell: width / nx, nx, ny, width, height, strip: true };
      this.canvas.dataset.box = JSON.stringify(this.box);
      this.canvas.dataset.strip = 'true';
      return;
    }
    const w = this.canvas.width - margin.left - margin.right;
    const h = this.canvas.height - margin.top - margin.bottom;
    const cell = Math.min(w / nx, h / ny);
    this.box = { left: margin.left, top: margin.top, cell, nx, ny,
                 width: cell * nx, height: cell * ny };
    this.canvas.dataset.box = JSON.stringify(this.box);
    this.canvas.dataset.strip = 'false';
  }

  draw() {
    const g = this.canvas.getContext('2d');
    g.clearRect(0, 0, this.canvas.width, this.canvas.height);
    this.paint(g, 0, 0);
    this.drawMarks(g);
  }

  // The image and its axes, at (dx, dy) on g (the PNG export paints too).
  paint(g, dx, dy) {
    if (this.strip) { g.save(); g.translate(dx, dy); this.paintStrip(g); g.restore(); return; }
    const { nx, ny, status } = this.grid, { values } = this.map, b = this.box;
    const image = new ImageData(nx, ny), out = image.data;
    for (let y = 0; y < ny; y++) {
      for (let x = 0; x < nx; x++) {
        const p = y * nx + x, v = values[p];
        const c = (this.grid.grey !== false && status[p] !== 0) || !Number.isFinite(v) ? grey : colourOf(this.scale, v);
        const at = ((ny - 1 - y) * nx + x) * 4;
        out[at] = c[0]; out[at + 1] = c[1]; out[at + 2] = c[2]; out[at + 3] = 255;
      }
    }
    const scratch = new OffscreenCanvas(nx, ny);
    scratch.getContext('2d').putImageData(image, 0, 0);
    g.imageSmoothingEnabled = false;
    g.drawImage(scratch, dx + b.left, dy + b.top, b.width, b.height);
    g.save(); g.translate(dx, dy); this.drawAxes(g); g.restore();
  }

  paintStrip(g) {
    const b = this.box, c = this.cut, n = c.distance.length, m = c.bias.length;
    g.imageSmoothingEnabled = false;
    g.drawImage(this.scratch, b.left, b.top, b.width, b.height);
    g.strokeStyle = '#333'; g.fillStyle = '#333'; g.font = '11px sans-serif'; g.lineWidth = 1;
    g.strokeRect(b.left, b.top, b.width, b.height);
    const d0 = c.distance[0], d1 = c.distance[n - 1], dStep = niceStep(d1 - d0, 6);
    const xOf = (d) => b.left + (n > 1 ? ((d - d0) / (d1 - d0)) * (n - 1) + 0.5 : 0.5) * b.cell;
    g.textAlign = 'center'; g.textBaseline = 'top';
    const dt = niceTicks(d0, d1, 6);
    for (const d of dt) { g.fillRect(xOf(d), b.top + b.height, 1, 4); g.fillText(tickText(d, dStep), xOf(d), b.top + b.height + 6); }
    g.fillText(`distance along the line (${this.grid.xyUnits})`, b.left + b.width / 2, b.top + b.height + 24);
    const b0 = c.bias[0], b1 = c.bias[m - 1], bStep = niceStep(Math.abs(b1 - b0), 6);
    const yOf = (v) => b.top + b.height - (m > 1 ? ((v - b0) / (b1 - b0)) * (m - 1) + 0.5 : 0.5) * (b.height / m);
    g.textAlign = 'right'; g.textBaseline = 'middle';
    const bt = niceTicks(b0, b1, 6);
    for (const v of bt) { g.fillRect(b.left - 4, yOf(v), 4, 1); g.fillText(tickText(v, bStep), b.left - 6, yOf(v)); }
    g.save(); g.translate(12, b.top + b.height / 2); g.rotate(-Math.PI / 2);
    g.textAlign = 'center'; g.fillText(`bias (${this.labels.biasUnits || ''})`, 0, 0); g.restore();
    this.canvas.dataset.xTicks = dt.map((v) => tickText(v, dStep)).join(',');
    this.canvas.dataset.yTicks = bt.map((v) => tickText(v, bStep)).join(',');
    this.biasY = yOf(c.bias[this.map.index]);
  }

  drawAxes(g) {
    const b = this.box, { x, y, xyUnits } = this.grid;
    g.strokeStyle = '#333'; g.fillStyle = '#333'; g.font = '11px sans-serif'; g.lineWidth = 1;
    g.strokeRect(b.left, b.top, b.width, b.height);
    g.textAlign = 'center'; g.textBaseline = 'top';
    const xt = pixelTicks(x, Math.max(2, Math.min(6, Math.floor(b.width / 70))));
    for (const [i, text] of xt) {
      const sx = b.left + (i + 0.5) * b.cell;
      g.fillRect(sx, b.top + b.height, 1, 4);
      g.fillText(text, sx, b.top + b.height + 6);
    }
    g.fillText(`x (${xyUnits})`, b.left + b.width / 2, b.top + b.height + 24);
    g.textAlign = 'right'; g.textBaseline = 'middle';
    const yt = pixelTicks(y, Math.max(2, Math.min(6, Math.floor(b.height / 40))));
    for (const [j, text] of yt) {
      const sy = b.top + (b.ny - 1 - j + 0.5) * b.cell;
      g.fillRect(b.left - 4, sy, 4, 1);
      g.fillText(text, b.left - 6, sy);
    }
    g.save(); g.translate(12, b.top + b.height / 2); g.rotate(-Math.PI / 2);
    g.textAlign = 'center'; g.fillText(`y (${xyUnits})`, 0, 0); g.restore();
    this.canvas.dataset.xTicks = xt.map((t) => t[1]).join(',');
    this.canvas.dataset.yTicks = yt.map((t) => t[1]).join(',');
  }

  centre(x, y) {
    const b = this.box;
    return [b.left + (x + 0.5) * b.cell, b.top + (b.ny - 1 - y + 0.5) * b.cell];
  }

  // A mark's pixel coordinates clamped into the grid.
  clip(x, y) {
    return [Math.max(0, Math.min(this.box.nx - 1, x)), Math.max(0, Math.min(this.box.ny - 1, y))];
  }

  drawMarks(g) {
    const b = this.box, shown = { pixels: [], region: null, line: null };
    if (this.strip) {
      // The bias as a dashed line across, the picked pixels as columns.
      g.save(); g.strokeStyle = '#c00'; g.setLineDash([5, 4]);
      g.beginPath(); g.moveTo(b.left, this.biasY); g.lineTo(b.left + b.width, this.biasY); g.stroke(); g.restore();
      g.lineWidth = 2;
      for (const m of this.marks.pixels) {
        if (m.x >= b.nx || m.y >= b.ny) continue;
        g.strokeStyle = m.colour; g.strokeRect(b.left + m.x * b.cell, b.top, b.cell, b.height);
        shown.pixels.push([m.x, m.y]);
      }
      g.lineWidth = 1;
      this.canvas.dataset.marks = JSON.stringify(shown);
      return;
    }
    g.lineWidth = 2;
    for (const m of this.marks.pixels) {
      if (m.x >= b.nx || m.y >= b.ny) continue;
      const [cx, cy] = this.centre(m.x, m.y), r = Math.max(3, b.cell / 2);
      g.strokeStyle = m.colour; g.strokeRect(cx - r, cy - r, 2 * r, 2 * r);
      shown.pixels.push([m.x, m.y]);
    }
    const r = this.drag && this.mode === 'region' ? this.drag.rect : this.marks.region;
    if (r) {
      const [x0, y0] = this.clip(r.x0, r.y0), [x1, y1] = this.clip(r.x1, r.y1);
      const [ax, ay] = this.centre(x0, y1), [bx, by] = this.centre(x1, y0);
      g.strokeStyle = '#000'; g.setLineDash([4, 3]);
      g.strokeRect(ax - b.cell / 2, ay - b.cell / 2, bx - ax + b.cell, by - ay + b.cell);
      g.setLineDash([]);
      shown.region = [x0, x1, y0, y1];
    }
    const l = this.drag && this.mode === 'line' ? this.drag.line : this.marks.line;
    if (l) {
      const [x0, y0] = this.clip(l.x0, l.y0), [x1, y1] = this.clip(l.x1, l.y1);
      const [ax, ay] = this.centre(x0, y0), [bx, by] = this.centre(x1, y1);
      g.strokeStyle = '#000'; g.beginPath(); g.moveTo(ax, ay); g.lineTo(bx, by); g.stroke();
      shown.line = [x0, y0, x1, y1];
    }
    g.lineWidth = 1;
    this.canvas.dataset.marks = JSON.stringify(shown);
  }

  drawBar() {
    const g = this.bar.getContext('2d'), s = this.scale;
    g.clearRect(0, 0, this.bar.width, this.bar.height);
    const ticks = paintBar(g, s, 4, margin.top, this.box.height, this.labels.unit);
    Object.assign(this.bar.dataset, { lo: String(s.lo), hi: String(s.hi), colours: s.name,
                                      unit: this.labels.unit || '', ticks: ticks.join(',') });
  }

  // The pixel under a mouse event, or null outside the map.
  pixelAt(e) {
    const b = this.box, rect = this.canvas.getBoundingClientRect();
    const sx = (e.clientX - rect.left) * (this.canvas.width / rect.width);
    const sy = (e.clientY - rect.top) * (this.canvas.height / rect.height);
    if (b.strip) {
      const x = Math.floor((sx - b.left) / b.cell);
      return x < 0 || x >= b.nx || sy < b.top || sy >= b.top + b.height ? null : { x, y: 0 };
    }
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
    this.hover = p;
    if (p) this.describe(p);
  }

  describe(p) {
    const { nx, x, y, xyUnits, status, meanings } = this.grid, i = p.y * nx + p.x;
    if (p.x >= nx || p.y >= this.grid.ny) return;
    const v = this.map.values[i], code = status[i];
    const why = code === 0 ? 'processed' : `not processed: ${meanings[code] || 'code ' + code}`;
    const d = this.readout.dataset;
    Object.assign(d, { x: p.x, y: p.y, xnm: x[p.x], ynm: y[p.y], value: fmt(v), status: code,
                       index: this.map.index, variable: this.map.variable });
    this.readout.textContent =
      `pixel (${p.x}, ${p.y})  x = ${shortText(x[p.x])} ${xyUnits}, y = ${shortText(y[p.y])} ${xyUnits}` +
      `  value ${fmt(v)} ${this.labels.unit || ''}  ${why}`;
  }

  down(e) {
    const p = this.box && this.pixelAt(e);
    if (!p) return;
    if (this.mode === 'pixel' || this.strip) { this.handlers.pick(p, e.shiftKey); return; }
    this.drag = { start: p, rect: { x0: p.x, x1: p.x, y0: p.y, y1: p.y },
                  line: { x0: p.x, y0: p.y, x1: p.x, y1: p.y } };
    e.preventDefault();
  }

  up() {
    if (!this.drag) return;
    const { rect, line } = this.drag;
    this.drag = null;
    if (this.mode === 'region') this.handlers.region(rect);
    else this.handlers.line(line);
  }
}
