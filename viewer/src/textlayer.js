// The transparent text over each page: words placed on the page image so that they can be
// selected, copied and read aloud, the page's links, and the marks of search matches. A page's
// words come from its script "page<i>.js", loaded when the page comes near the screen.
//
// Like the images, layers exist only for the pages near the ones on screen: a layer that falls
// out of that range is removed with everything it held (its elements, its words and their
// boxes, the page script's data, a selection inside it), so a long read costs no more than a
// short one.
import { loadScript } from './catalogue.js';
import { addLinks } from './links.js';
import { wordBoxes } from './words.js';
import { TextSelection } from './selection.js';

const NEAR = 2; // pages with a layer on each side of the pages on screen
const KEEP = 4; // layers further than this from the pages on screen are released
// A word's glyphs fill about this share of its box's height.
const GLYPH_SHARE = 0.85;
const MEASURED_SIZE = 100; // px, the size words are measured at
// Words placed in one task: a dense page has a thousand, which on a slow phone would block the
// page for a tenth of a second at once.
const WORDS_PER_TASK = 250;

const nextTask = () => new Promise((resolve) => setTimeout(resolve, 0));

// Places an element on a page of width x height points: the box [x, y, w, h] in percent, turned
// to the line's direction around its starting corner.
function placer(width, height) {
    return (element, [x, y, w, h], dir) => {
        element.style.left = `${(x / width) * 100}%`;
        element.style.top = `${(y / height) * 100}%`;
        element.style.width = `${(w / width) * 100}%`;
        element.style.height = `${(h / height) * 100}%`;
        if (dir) element.style.transform = `rotate(${Math.atan2(dir[1], dir[0])}rad)`;
    };
}

function pageSize(data) {
    return [data.width > 0 ? data.width : 1, data.height > 0 ? data.height : 1];
}

export class TextLayers {
    // `selecting` tells the text selection where presses are not its own (see selection.js).
    constructor(doc, manifest, pageCount, selecting = {}) {
        this.doc = doc;
        this.manifest = manifest;
        this.pageCount = pageCount;
        this.data = new Map(); // page number -> what its script gave, while the page is near
        this.loading = new Map(); // page number -> promise of that
        this.layers = new Map(); // page number -> layer element
        this.building = new Map(); // page number -> promise of its layer, not yet on the page
        this.keep = [1, pageCount]; // page numbers whose layers may stay
        // While the catalogue starts only the pages on screen get a layer: building one takes
        // a while, and nobody has asked for the neighbours yet.
        this.near = 0;
        this.visible = null;
        this.pageElements = [];
        window.velloraPage = (number, data) => {
            if (Number.isInteger(number) && data && typeof data === 'object' && this.loading.has(number)) {
                this.data.set(number, data);
            }
        };
        this.selection = new TextSelection(doc, { inCorner: () => false, busy: () => false, ...selecting });
    }

    setPageElements(elements) {
        this.pageElements = elements;
    }

    // The data of page `number` (from 1), its script loaded once while the page is near; null
    // when it has none.
    load(number) {
        if (this.data.has(number)) return Promise.resolve(this.data.get(number));
        if (!this.manifest?.hasText(number - 1)) return Promise.resolve(null);
        if (!this.loading.has(number)) {
            this.loading.set(number, loadScript(this.doc, `page${number}.js`)
                .then(() => this.data.get(number) ?? null));
        }
        return this.loading.get(number);
    }

    // Builds the layers of the pages on screen and their neighbours (0-based indexes), and
    // releases the layers of pages far from them.
    showAround(visible) {
        this.visible = visible;
        const first = visible[0] + 1;
        const last = visible[visible.length - 1] + 1;
        this.keep = [first - KEEP, last + KEEP];
        for (const number of [...this.layers.keys(), ...this.loading.keys()]) {
            if (!this.isKept(number)) this.release(number);
        }
        const from = Math.max(first - this.near, 1);
        const to = Math.min(last + this.near, this.pageCount);
        for (let number = from; number <= to; number++) this.ensureLayer(number);
    }

    // The reader has started: the neighbours get their layers too.
    startNear() {
        if (this.near === NEAR) return;
        this.near = NEAR;
        if (this.visible) this.showAround(this.visible);
    }

    isKept(number) {
        return number >= this.keep[0] && number <= this.keep[1];
    }

    // The layer of page `number`, built when missing. A page that went out of range while its
    // script loaded gets none, unless `force` (a search mark asks for it).
    async ensureLayer(number, force = false) {
        if (this.layers.has(number)) return this.layers.get(number);
        const data = await this.load(number);
        const page = this.pageElements[number - 1];
        if (!data || !page) return null;
        if (!force && !this.isKept(number)) {
            this.release(number);
            return null;
        }
        if (this.layers.has(number)) return this.layers.get(number);
        if (!this.building.has(number)) this.building.set(number, this.build(data, number));
        const building = this.building.get(number);
        const built = await building;
        // Another caller put it on the page meanwhile, or it was released: what the page has
        // now, or, asked for by force, a new one.
        if (this.building.get(number) !== building) {
            return this.layers.get(number) ?? (force ? this.ensureLayer(number, force) : null);
        }
        this.building.delete(number);
        if (!force && !this.isKept(number)) {
            this.release(number);
            return null;
        }
        this.data.set(number, data);
        page.appendChild(built.layer);
        this.selection.attach(built.layer, built.words);
        this.layers.set(number, built.layer);
        return built.layer;
    }

    release(number) {
        const layer = this.layers.get(number);
        if (layer) {
            this.selection.forget(layer);
            layer.remove();
        }
        this.layers.delete(number);
        this.building.delete(number);
        this.data.delete(number);
        this.loading.delete(number);
    }

    // The layer of a page and its words' boxes for the selection, built over several tasks.
    async build(data, number) {
        const doc = this.doc;
        const [width, height] = pageSize(data);
        const place = placer(width, height);
        const layer = doc.createElement('div');
        layer.className = 'text-layer';
        layer.dataset.page = String(number);
        const text = doc.createElement('div');
        text.className = 'words';
        const lines = [];
        let placed = 0;
        for (const [l, line] of (data.lines ?? []).entries()) {
            if (placed >= WORDS_PER_TASK) {
                placed = 0;
                await nextTask();
            }
            const [dx, dy] = Array.isArray(line.dir) ? line.dir : [1, 0];
            const box = Array.isArray(line.box) ? line.box : [0, 0, 0, 0];
            const words = [];
            if (l > 0) text.appendChild(doc.createElement('br'));
            wordBoxes(line).forEach((word, w) => {
                if (w > 0) text.appendChild(doc.createTextNode(' '));
                const span = doc.createElement('span');
                span.textContent = word[0];
                // Placed like place() does, without a width, in one style text: a page has
                // thousands of words, and each style write is parsed on its own.
                const turns = [];
                if (line.dir) turns.push(`rotate(${Math.atan2(line.dir[1], line.dir[0])}rad)`);
                // Stretched to the width of the word in the image, so that a selection covers
                // it: the ratio does not depend on the page's size on screen.
                const natural = this.textWidth(word[0], word[4] * GLYPH_SHARE);
                if (natural > 0) turns.push(`scaleX(${(word[3] / natural).toFixed(4)})`);
                // The layer is a size container: the text grows and shrinks with the page.
                span.style.cssText = `left: ${(word[1] / width) * 100}%; top: ${(word[2] / height) * 100}%; ` +
                    `height: ${(word[4] / height) * 100}%; font-size: ${((word[4] * GLYPH_SHARE) / width) * 100}cqw;` +
                    (turns.length ? ` transform: ${turns.join(' ')};` : '');
                if (line.rtl) span.dir = 'rtl';
                text.appendChild(span);
                const along = (word[1] - box[0]) * dx + (word[2] - box[1]) * dy;
                words.push({ span, text: word[0], along, length: word[3] });
            });
            placed += words.length;
            if (words.length) {
                lines.push({ x: box[0], y: box[1], dx, dy, height: box[3], rtl: !!line.rtl, words });
            }
        }
        layer.appendChild(text);
        addLinks(doc, layer, data, this.pageCount, place);
        return { layer, words: { width, height, lines } };
    }

    // The width of `text` in the layer's font at `size`, measured on a canvas: no layout of
    // the page is needed.
    textWidth(text, size) {
        if (!this.measure) {
            this.measure = this.doc.createElement('canvas').getContext('2d');
            if (this.measure) this.measure.font = `${MEASURED_SIZE}px sans-serif`;
        }
        return this.measure ? (this.measure.measureText(text).width * size) / MEASURED_SIZE : 0;
    }

    // Marks the characters [start, end) of the page's plain text on the page; returns the
    // marks. The plain text, as the search file holds it, is the words of each line joined by
    // blanks and the lines joined by line ends.
    async mark(number, start, end) {
        const layer = await this.ensureLayer(number, true);
        const data = this.data.get(number);
        if (!layer || !data) return [];
        const [width, height] = pageSize(data);
        const place = placer(width, height);
        const marks = [];
        let offset = 0;
        for (const line of data.lines ?? []) {
            const [dx, dy] = line.dir ?? [1, 0];
            for (const [text, x, y, w, h] of wordBoxes(line)) {
                const from = Math.max(start, offset) - offset;
                const to = Math.min(end, offset + text.length) - offset;
                if (from < to) {
                    // Right-to-left words are read from their far end.
                    const startShare = line.rtl ? 1 - to / text.length : from / text.length;
                    const along = (w * (to - from)) / text.length;
                    const mark = this.doc.createElement('mark');
                    mark.className = 'search-mark';
                    place(mark, [x + w * startShare * dx, y + w * startShare * dy, along, h], line.dir);
                    layer.appendChild(mark);
                    marks.push(mark);
                }
                offset += text.length + 1; // the blank or the line end after the word
            }
        }
        return marks;
    }

    clearMarks() {
        for (const layer of this.layers.values()) {
            for (const mark of layer.querySelectorAll('.search-mark')) mark.remove();
        }
    }
}
