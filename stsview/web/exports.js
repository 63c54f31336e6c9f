// Downloads: the map canvas as PNG, and links to the server's text exports.
import { routeUrl } from './api.js';

export function savePng(canvas, name) {
  canvas.toBlob((blob) => {
    const a = document.createElement('a');
    a.href = URL.createObjectURL(blob);
    a.download = name;
    a.click();
    setTimeout(() => URL.revokeObjectURL(a.href), 1000);
  }, 'image/png');
}

export function setLink(element, route, params) {
  element.href = routeUrl(`export/${route}`, params);
  element.hidden = false;
}
