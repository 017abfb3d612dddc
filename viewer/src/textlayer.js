// The transparent text over each page: lines of words placed on the page image so that they
// can be selected, copied and read aloud, the page's links, and the marks of search matches. A
// page's words come from its script "page<i>.js", loaded when the page comes near the screen.
//
// Each line of the page is one element holding its words as one text, stretched to the line's
// length: a page of a thousand words costs fifty elements, not a thousand. What shows selected
// is drawn from the words' own boxes (see selection.js), so the text's font need not match the
// page's.
//
// Like the images, layers exist only for the pages near the ones on screen. A layer that falls
// out of that range lets go of its page's words, boxes, links, marks and of a selection inside
// it; its elements and those of its lines are kept for the next page that needs a layer, so
// that a long read leaves no elements behind for the collector, and costs no more than a short
// one.
import { loadScript } from './catalogue.js';
import { addLinks } from './links.js';
import { placer, wordBoxes } from './words.js';
import { TextSelection } from './selection.js';
import { nextTask } from './tasks.js';

const NEAR = 2; // pages with a layer on each side of the pages on screen
const KEEP = 4; // layers further than this from the pages on screen are released
// Layer elements kept for reuse: as many as can be in use at once, and a few more.
const POOL = 2 * KEEP + 6;
// A line's glyphs fill about this share of its box's height.
const GLYPH_SHARE = 0.85;
const MEASURED_SIZE = 100; // px, the size lines are measured at
// The font size of every line, in percent of the layer's width (see lineStyle).
const FONT_SHARE = 2;
// Words placed in one task, about: on a slow phone a dense page at once would hold up the page.
const WORDS_PER_TASK = 250;


function pageSize(data) {
    return [data.width > 0 ? data.width : 1, data.height > 0 ? data.height : 1];
}

export class TextLayers {
    // `selecting` tells the text selection where presses are not its own (see selection.js).
    constructor(doc, manifest, pageCount, selecting = {}) {
        this.doc = doc;
        this.manifest = manifest;
        this.pageCount = pageCount;
        // page number -> what its script gave, until its layer is built: the layer's lines hold
        // all that is needed afterwards, and the script's many small objects go while young,
        // before the collector keeps them with the long-lived ones.
        this.data = new Map();
        this.loading = new Map(); // page number -> promise of that
        this.layers = new Map(); // page number -> layer element
        this.building = new Map(); // page number -> promise of its layer, not yet on the page
        this.shells = new Map(); // layer element -> its elements, while on a page
        this.pool = []; // layer elements free for the next page
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
        if (!this.loading.has(number)) this.loading.set(number, this.read(number));
        return this.loading.get(number);
    }

    // Over the web the page's script is read as text and its data parsed as JSON, which is
    // all it holds: run as a script, each page would leave the browser its source and its
    // compiled code until the collector next runs, a page's worth per page turned. From disk,
    // where a page may not read its folder's files, and for a script of another form, it runs.
    async read(number) {
        const name = `page${number}.js`;
        const call = `velloraPage(${number}, `;
        if (/^https?:$/.test(location.protocol)) {
            try {
                const response = await fetch(name);
                const text = response.ok ? await response.text() : '';
                const end = text.lastIndexOf(')');
                if (text.startsWith(call) && end > 0) {
                    const data = JSON.parse(text.slice(call.length, end));
                    if (data && typeof data === 'object' && this.loading.has(number)) return data;
                    return null;
                }
            } catch {
                // Run as a script below.
            }
        }
        await loadScript(this.doc, name);
        return this.data.get(number) ?? null;
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
            if (this.layers.get(number) !== built.shell.layer) this.recycle(built.shell);
            return this.layers.get(number) ?? (force ? this.ensureLayer(number, force) : null);
        }
        this.building.delete(number);
        if (!force && !this.isKept(number)) {
            this.recycle(built.shell);
            this.release(number);
            return null;
        }
        this.data.delete(number);
        this.loading.delete(number);
        built.shell.model = built.model;
        page.appendChild(built.shell.layer);
        this.selection.attach(built.shell.layer, built.model);
        this.layers.set(number, built.shell.layer);
        this.shells.set(built.shell.layer, built.shell);
        return built.shell.layer;
    }

    release(number) {
        const layer = this.layers.get(number);
        if (layer) {
            this.selection.forget(layer);
            this.recycle(this.shells.get(layer));
            this.shells.delete(layer);
        }
        this.layers.delete(number);
        this.building.delete(number);
        this.data.delete(number);
        this.loading.delete(number);
    }

    // A layer off its page, emptied of its page's links and marks, its elements kept for reuse.
    recycle(shell) {
        if (!shell) return;
        shell.model = null;
        shell.layer.remove();
        for (const child of [...shell.layer.children]) {
            if (child !== shell.words) child.remove();
        }
        if (this.pool.length < POOL && !this.pool.includes(shell)) this.pool.push(shell);
    }

    // A layer element with its container of lines, from the pool when there is one.
    shell() {
        const reused = this.pool.pop();
        if (reused) return reused;
        const layer = this.doc.createElement('div');
        layer.className = 'text-layer';
        const words = this.doc.createElement('div');
        words.className = 'words';
        layer.appendChild(words);
        return { layer, words, lines: [], model: null };
    }

    // The line element `index` of a layer: the one it had, or a new one.
    lineElement(shell, index) {
        let element = shell.lines[index];
        if (!element) {
            element = this.doc.createElement('div');
            element.appendChild(this.doc.createTextNode(''));
            shell.lines.push(element);
        }
        if (element.parentNode !== shell.words) shell.words.appendChild(element);
        return element;
    }

    // The layer of a page and its lines' boxes for the selection, built over several tasks.
    async build(data, number) {
        const shell = this.shell();
        shell.layer.dataset.page = String(number);
        const [width, height] = pageSize(data);
        const lines = [];
        let placed = 0; // words placed in this task
        for (const line of data.lines ?? []) {
            if (placed >= WORDS_PER_TASK) {
                await nextTask();
                placed = 0;
            }
            const boxes = wordBoxes(line);
            if (boxes.length === 0) continue;
            placed += boxes.length;
            const [dx, dy] = Array.isArray(line.dir) ? line.dir : [1, 0];
            const box = Array.isArray(line.box) ? line.box : [0, 0, 0, 0];
            const words = [];
            let start = 0;
            for (const [text, x, y, w] of boxes) {
                words.push({ text, start, along: (x - box[0]) * dx + (y - box[1]) * dy, length: w });
                start += text.length + 1;
            }
            const text = words.map((word) => word.text).join(' ');
            const element = this.lineElement(shell, lines.length);
            element.firstChild.data = text;
            element.style.cssText = this.lineStyle(words, text, box, line.dir, width, height);
            if (line.rtl) element.dir = 'rtl';
            else element.removeAttribute('dir');
            lines.push({ x: box[0], y: box[1], dx, dy, height: box[3], rtl: !!line.rtl, words, text, node: element.firstChild });
        }
        for (const element of shell.lines.slice(lines.length)) {
            if (element.parentNode) element.remove();
        }
        addLinks(this.doc, shell.layer, data, this.pageCount, placer(width, height));
        return { shell, model: { width, height, lines } };
    }

    // Where a line's text goes: at the line's corner, scaled to the line's height, its glyphs
    // stretched to the words' total length and its blanks to the gaps between them, so that the
    // text spans the line's box from end to end. Every line has the layer's one font size and
    // is scaled, not sized: the browser keeps its fonts and shaped texts per size, and a size
    // per line would have it keep them all. The layer is a size container: the text grows and
    // shrinks with the page.
    lineStyle(words, text, box, dir, width, height) {
        const base = (width * FONT_SHARE) / 100; // the layer's font size, in points of the page
        const count = words.length;
        const space = this.textWidth(' ', base);
        const glyphs = this.textWidth(text, base) - (count - 1) * space;
        const inked = words.reduce((sum, word) => sum + word.length, 0);
        const scaleX = glyphs > 0 && inked > 0 ? inked / glyphs : 1;
        const scaleY = (box[3] * GLYPH_SHARE) / base;
        const turns = [];
        if (dir) turns.push(`rotate(${Math.atan2(dir[1], dir[0])}rad)`);
        turns.push(`scale(${scaleX.toFixed(4)}, ${scaleY.toFixed(4)})`);
        let spacing = '';
        if (count > 1) {
            const gap = (box[2] - inked) / (count - 1) / scaleX;
            spacing = ` word-spacing: ${((gap - space) / base).toFixed(4)}em;`;
        }
        return `left: ${(box[0] / width) * 100}%; top: ${(box[1] / height) * 100}%;${spacing} ` +
            `transform: ${turns.join(' ')};`;
    }

    // The width of `text` in the layer's font at `size`, from the widths of its characters
    // measured on a canvas: no layout of the page is needed. The canvas is given characters
    // only, never whole texts: it keeps what it measured, and a long read would have it keep
    // every line of the book.
    textWidth(text, size) {
        if (!this.measure) {
            this.measure = this.doc.createElement('canvas').getContext('2d');
            if (this.measure) this.measure.font = `${MEASURED_SIZE}px sans-serif`;
            this.widths = new Map();
        }
        if (!this.measure) return 0;
        let width = 0;
        for (const character of text) {
            let measured = this.widths.get(character);
            if (measured === undefined) {
                measured = this.measure.measureText(character).width;
                this.widths.set(character, measured);
            }
            width += measured;
        }
        return (width * size) / MEASURED_SIZE;
    }

    // Marks the characters [start, end) of the page's plain text on the page, for each
    // [start, end, current] of `ranges`, the current ones apart; returns the marks. The plain
    // text, as the search file holds it, is the words of each line joined by blanks and the
    // lines joined by line ends. The layer is built first, a few lines per task.
    async mark(number, ranges) {
        const layer = await this.ensureLayer(number, true);
        const model = layer && this.shells.get(layer)?.model;
        if (!model) return [];
        const place = placer(model.width, model.height);
        const marks = [];
        let offset = 0;
        for (const line of model.lines) {
            for (const word of line.words) {
                const length = word.text.length;
                const at = offset + word.start;
                for (const [start, end, current] of ranges) {
                    const from = Math.max(start, at) - at;
                    const to = Math.min(end, at + length) - at;
                    if (from >= to) continue;
                    // Right-to-left words are read from their far end.
                    const along = word.along + (word.length * (line.rtl ? length - to : from)) / length;
                    const mark = this.doc.createElement('mark');
                    mark.className = current ? 'search-mark current' : 'search-mark';
                    place(mark, [line.x + along * line.dx, line.y + along * line.dy, (word.length * (to - from)) / length, line.height],
                        line.dx === 1 && line.dy === 0 ? null : [line.dx, line.dy]);
                    marks.push(mark);
                }
            }
            offset += line.text.length + 1; // the line end after the line
        }
        layer.append(...marks);
        return marks;
    }

    clearMarks() {
        for (const layer of this.layers.values()) {
            for (const mark of layer.querySelectorAll('.search-mark')) mark.remove();
        }
    }
}
