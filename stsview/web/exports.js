// Downloads: the map as a PNG that carries its context (title, axes and
// colour bar, without the interaction marks), and links to the server's
// text exports.
import { routeUrl } from './api.js';
import { paintBar } from './map_pane.js';

export function savePng(canvas, name) {
  canvas.toBlob((blob) => {
    const a = document.createElement('a');
    a.href = URL.createObjectURL(blob);
    a.download = name;
    a.click();
    setTimeout(() => URL.revokeObjectURL(a.href), 1000);
  }, 'image/png');
}

// A fresh canvas: the title on top, the map with its axes, its colour bar.
export function mapPng(pane, title) {
  const titleHeight = 24, b = pane.box;
  const out = document.createElement('canvas');
  out.width = pane.canvas.width + 100;
  out.height = pane.canvas.height + titleHeight;
  const g = out.getContext('2d');
  g.fillStyle = '#fff'; g.fillRect(0, 0, out.width, out.height);
  g.fillStyle = '#222'; g.font = '13px sans-serif'; g.textAlign = 'left'; g.textBaseline = 'middle';
  g.fillText(title, 8, titleHeight / 2);
  pane.paint(g, 0, titleHeight);
  paintBar(g, pane.scale, b.left + b.width + 12, titleHeight + b.top, b.height, pane.labels.unit);
  out.dataset.title = title;
  return out;
}

// A link to a server's text export; with header lines, a click downloads
// the text with them on top as "# " comments (the tools skip them).
export function setLink(element, route, params, header) {
  element.href = routeUrl(`export/${route}`, params);
  element.hidden = false;
  if (header) element.dataset.header = JSON.stringify(header);
  else delete element.dataset.header;
}

export async function saveWithHeader(a) {
  const response = await fetch(a.href, { credentials: 'same-origin' });
  if (!response.ok) throw new Error(`the export failed: HTTP ${response.status}`);
  const lines = JSON.parse(a.dataset.header);
  const text = lines.map((l) => `# ${l}\n`).join('') + await response.text();
  const link = document.createElement('a');
  link.href = URL.createObjectURL(new Blob([text], { type: 'text/plain' }));
  link.download = a.download || 'export.txt';
  link.click();
  setTimeout(() => URL.revokeObjectURL(link.href), 1000);
}
