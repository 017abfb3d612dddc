import { wordBoxes } from './words.js';

// The links of a page: internal ones turn to their page, external ones open in a new tab. Only
// web and mail addresses become links; anything else in the document (javascript:, file:,
// data:...) stays plain text.
const SAFE_PROTOCOLS = new Set(['http:', 'https:', 'mailto:']);

export function safeAddress(uri) {
    if (typeof uri !== 'string') return null;
    try {
        const url = new URL(uri);
        return SAFE_PROTOCOLS.has(url.protocol) ? url.href : null;
    } catch {
        return null;
    }
}

// The words a link covers, read as its name.
function wordsUnder(box, lines) {
    const [x, y, w, h] = box;
    const inside = [];
    for (const line of lines) {
        for (const [text, wx, wy, ww, wh] of wordBoxes(line)) {
            const cx = wx + ww / 2;
            const cy = wy + wh / 2;
            if (!line.dir && cx >= x && cx <= x + w && cy >= y && cy <= y + h) inside.push(text);
        }
    }
    return inside.join(' ');
}

// Appends the page's links to `layer`, positioned in percent of the page.
export function addLinks(doc, layer, data, pageCount, place) {
    for (const link of data.links ?? []) {
        if (!Array.isArray(link.box) || link.box.length !== 4) continue;
        const anchor = doc.createElement('a');
        const words = wordsUnder(link.box, data.lines ?? []);
        if (Number.isInteger(link.page)) {
            if (link.page < 1 || link.page > pageCount) continue;
            anchor.href = `#page=${link.page}`;
            anchor.setAttribute('aria-label', words ? `${words} (page ${link.page})` : `Aller à la page ${link.page}`);
        } else {
            const address = safeAddress(link.uri);
            if (!address) continue;
            anchor.href = address;
            anchor.target = '_blank';
            anchor.rel = 'noopener noreferrer';
            const shown = address.replace(/^mailto:/, '');
            anchor.setAttribute('aria-label', `${words || shown} (nouvel onglet)`);
        }
        anchor.className = 'page-link';
        place(anchor, link.box);
        layer.appendChild(anchor);
    }
}
