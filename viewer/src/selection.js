// Selecting the text of the pages the way a PDF reader does. Each line of a page is one text
// over the page image; left to itself, the browser takes a press between two lines or in the
// margin for a press on the layer, and a drag that ends past a line's end for a place somewhere
// else in the page, selecting lines that were never dragged over. So the viewer places the
// selection itself: each end of a drag is taken to the nearest line of the page, and to the
// place in that line in the line's own direction (before the line, between two words, within a
// word, after the line); what is selected is the text between the two places, in reading order.
// What shows selected is drawn over the words' own boxes, whatever the font of the text, one
// band per line; copying gives the words with single blanks and a line end between lines.
//
// One press listener serves every layer; each layer's lines and boxes are held in a Map keyed
// by the layer, from the layer's arrival on a page until it goes (see textlayer.js).
import { placer } from './words.js';

export class TextSelection {
    // `inCorner(x, y)`: a press there folds the page; `busy()`: presses are someone else's
    // (a zoomed page pans).
    constructor(doc, { inCorner, busy }) {
        this.doc = doc;
        this.inCorner = inCorner;
        this.busy = busy;
        this.models = new Map(); // layer on a page -> { width, height, lines }
        this.bands = new WeakMap(); // layer -> the elements that show its selection
        this.drag = null;
        this.ranged = false; // the last paint had a selection to draw
        // Capture, so that a press on the text never reaches the book, which would fold the
        // page; presses on a corner stay the book's.
        doc.addEventListener('mousedown', (event) => this.press(event), true);
        doc.addEventListener('copy', (event) => this.copy(event));
        doc.addEventListener('selectionchange', () => this.paint());
        this.onMove = (event) => this.move(event);
        this.onUp = () => this.end();
    }

    attach(layer, model) {
        this.models.set(layer, model);
        // Asking for the selection makes the browser lay out the page first: a new layer with
        // nothing selected is not worth a layout while its page comes.
        if (this.ranged) this.paint();
    }

    // A layer about to go: a selection in it goes with it, and so does a drag.
    forget(layer) {
        const selection = this.doc.getSelection();
        if (selection && selection.rangeCount > 0) {
            const range = selection.getRangeAt(0);
            if (layer.contains(range.startContainer) || layer.contains(range.endContainer)) {
                selection.removeAllRanges();
            }
        }
        if (this.drag?.layer === layer) {
            this.end();
            this.drag = null;
        }
        this.models.delete(layer);
        for (const band of this.bands.get(layer) ?? []) band.remove();
    }

    press(event) {
        if (event.button !== 0 || event.ctrlKey || event.metaKey || this.busy()) return;
        const layer = event.target.closest?.('.text-layer');
        if (!layer || event.target.closest('a')) return;
        const model = this.models.get(layer);
        if (!model || this.inCorner(event.clientX, event.clientY)) return;
        event.stopPropagation();
        event.preventDefault();
        const place = this.placeAt(layer, model, event.clientX, event.clientY);
        const selection = this.doc.getSelection();
        if (!place) {
            selection.removeAllRanges();
            return;
        }
        if (event.detail === 2 || event.detail === 3) {
            this.selectAround(model, place, event.detail === 3);
            return;
        }
        if (event.shiftKey && this.drag?.layer === layer && this.drag.start) {
            this.drag = { layer, model, start: this.drag.start };
            this.select(model, this.drag.start, place);
        } else {
            this.drag = { layer, model, start: place };
            selection.removeAllRanges();
        }
        this.doc.addEventListener('mousemove', this.onMove, true);
        this.doc.addEventListener('mouseup', this.onUp, true);
    }

    move(event) {
        if (!this.drag) return;
        if ((event.buttons & 1) === 0) {
            this.end();
            return;
        }
        event.preventDefault();
        const place = this.placeAt(this.drag.layer, this.drag.model, event.clientX, event.clientY);
        if (place) this.select(this.drag.model, this.drag.start, place);
    }

    end() {
        this.doc.removeEventListener('mousemove', this.onMove, true);
        this.doc.removeEventListener('mouseup', this.onUp, true);
        // The start stays known for a Shift+click that extends the selection.
        if (this.drag) this.drag = { layer: this.drag.layer, model: this.drag.model, start: this.drag.start };
    }

    // The place in the text nearest to the window point (x, y): { line, word, offset }, the
    // offset in characters into the word.
    placeAt(layer, model, x, y) {
        if (!layer.isConnected || model.lines.length === 0) return null;
        const box = layer.getBoundingClientRect();
        if (box.width === 0 || box.height === 0) return null;
        const px = ((x - box.left) / box.width) * model.width;
        const py = ((y - box.top) / box.height) * model.height;
        let best = null;
        model.lines.forEach((line, index) => {
            const rx = px - line.x;
            const ry = py - line.y;
            const along = rx * line.dx + ry * line.dy;
            const across = -rx * line.dy + ry * line.dx;
            const first = line.words[0];
            const last = line.words[line.words.length - 1];
            const start = Math.min(first.along, last.along);
            const end = Math.max(first.along + first.length, last.along + last.length);
            const outAlong = Math.max(start - along, 0, along - end);
            const outAcross = Math.max(-across, 0, across - line.height);
            const distance = Math.hypot(outAlong, outAcross);
            if (!best || distance < best.distance) best = { index, along, across, distance };
        });
        const line = model.lines[best.index];
        const lastWord = line.words.length - 1;
        const lineStart = { line: best.index, word: 0, offset: 0 };
        const lineEnd = { line: best.index, word: lastWord, offset: line.words[lastWord].text.length };
        // Above the line: before its first word; below it: after its last.
        if (best.across < 0) return lineStart;
        if (best.across > line.height) return lineEnd;
        const u = best.along;
        let before = -1;
        for (let w = 0; w <= lastWord; w++) {
            const word = line.words[w];
            if (u >= word.along && u <= word.along + word.length) {
                const share = word.length > 0 ? (u - word.along) / word.length : 0;
                const read = line.rtl ? 1 - share : share;
                return { line: best.index, word: w, offset: Math.round(read * word.text.length) };
            }
            const passed = line.rtl ? word.along >= u : word.along + word.length <= u;
            if (passed) before = w;
        }
        if (before < 0) return lineStart;
        return { line: best.index, word: before, offset: line.words[before].text.length };
    }

    // Double press: the word; triple press: the line.
    selectAround(model, place, wholeLine) {
        const line = model.lines[place.line];
        if (wholeLine) {
            const last = line.words.length - 1;
            this.select(model, { line: place.line, word: 0, offset: 0 },
                { line: place.line, word: last, offset: line.words[last].text.length });
        } else {
            const text = line.words[place.word].text;
            this.select(model, { ...place, offset: 0 }, { ...place, offset: text.length });
        }
        this.drag = null;
    }

    select(model, from, to) {
        const node = (place) => model.lines[place.line].node;
        const offset = (place) => model.lines[place.line].words[place.word].start + place.offset;
        const selection = this.doc.getSelection();
        const fromNode = node(from);
        const toNode = node(to);
        if (fromNode === toNode && offset(from) === offset(to)) {
            selection.removeAllRanges();
            return;
        }
        selection.setBaseAndExtent(fromNode, offset(from), toNode, offset(to));
    }

    // The characters [from, to) of each line of `model` the range covers, in reading order.
    *covered(range, model) {
        for (const line of model.lines) {
            const node = line.node;
            if (!range.intersectsNode(node)) continue;
            const length = node.data.length;
            let from = 0;
            let to = length;
            if (range.startContainer === node) from = range.startOffset;
            else if (range.comparePoint(node, 0) < 0) from = length;
            if (range.endContainer === node) to = range.endOffset;
            else if (range.comparePoint(node, length) > 0) to = 0;
            if (to > from) yield { line, from, to };
        }
    }

    // Draws the selection over the words' boxes: one band per line, from the first character
    // selected to the last.
    paint() {
        const selection = this.doc.getSelection();
        const range = selection && selection.rangeCount > 0 && !selection.isCollapsed ? selection.getRangeAt(0) : null;
        this.ranged = !!range;
        for (const [layer, model] of this.models) {
            const bands = this.bands.get(layer) ?? [];
            this.bands.set(layer, bands);
            let used = 0;
            if (range && range.intersectsNode(layer)) {
                const place = placer(model.width, model.height);
                for (const { line, from, to } of this.covered(range, model)) {
                    const first = line.words.find((word) => word.start + word.text.length > from);
                    const last = line.words.findLast((word) => word.start < to);
                    if (!first || !last) continue;
                    const at = (word, offset) => {
                        const share = word.text.length > 0 ? Math.min(Math.max(offset - word.start, 0), word.text.length) / word.text.length : 0;
                        return word.along + (line.rtl ? 1 - share : share) * word.length;
                    };
                    const ends = [at(first, from), at(last, to)];
                    const low = Math.min(...ends);
                    const length = Math.max(...ends) - low;
                    if (length <= 0) continue;
                    let band = bands[used];
                    if (!band) {
                        band = this.doc.createElement('div');
                        band.className = 'text-selected';
                        bands.push(band);
                    }
                    band.style.cssText = '';
                    place(band, [line.x + low * line.dx, line.y + low * line.dy, length, line.height],
                        line.dx === 1 && line.dy === 0 ? null : [line.dx, line.dy]);
                    if (band.parentNode !== layer) layer.insertBefore(band, layer.firstChild);
                    used++;
                }
            }
            for (const band of bands.slice(used)) band.remove();
        }
    }

    // The selected words of the pages: single blanks between the words of a line, a line end
    // between lines, in reading order.
    selectedText() {
        const selection = this.doc.getSelection();
        if (!selection || selection.rangeCount === 0 || selection.isCollapsed) return null;
        const range = selection.getRangeAt(0);
        const lines = [];
        let inLayer = false;
        for (const layer of this.doc.querySelectorAll('.text-layer')) {
            const model = this.models.get(layer);
            if (!model || !range.intersectsNode(layer)) continue;
            inLayer = true;
            for (const { line, from, to } of this.covered(range, model)) {
                const words = [];
                for (const word of line.words) {
                    const start = Math.max(from, word.start) - word.start;
                    const end = Math.min(to, word.start + word.text.length) - word.start;
                    if (end > start) words.push(word.text.slice(start, end));
                }
                if (words.length) lines.push(words.join(' '));
            }
        }
        if (!inLayer) return null;
        const outside = !this.insideLayers(range.startContainer) || !this.insideLayers(range.endContainer);
        return outside ? null : lines.join('\n');
    }

    insideLayers(node) {
        const element = node.nodeType === 1 ? node : node.parentElement;
        return !!element?.closest('.text-layer');
    }

    copy(event) {
        const text = this.selectedText();
        if (text === null || !event.clipboardData) return;
        event.clipboardData.setData('text/plain', text);
        event.preventDefault();
    }
}
