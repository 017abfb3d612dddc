// The flip-book: pages, toolbar, panels, keyboard, touch and history.
import { createBook } from './bookloop.js';
import { PageImages } from './images.js';
import { ZoomController } from './zoom.js';
import { TouchGestures } from './gestures.js';
import { Toolbar } from './toolbar.js';
import { IndexPanel, ThumbnailPanel } from './panels.js';
import { preparePrint } from './print.js';
import { TextLayers } from './textlayer.js';
import { Search } from './search.js';
import { BookOrder } from './direction.js';
import { Sharing } from './sharing.js';
import { framed } from './embedding.js';
import { nextTask } from './tasks.js';

// A spread is shown when each of its pages keeps at least this share of the width a single
// page would get; narrow portrait windows (phones) therefore show one page at a time.
const SPREAD_MIN_SHARE = 0.6;
const FLIPPING_TIME_MS = 700;
// Jumps further than this turn at once instead of showing the flip.
const FAR_JUMP = 4;

// After the next frame is drawn.
function firstPaint() {
    return new Promise((resolve) => requestAnimationFrame(() => setTimeout(resolve, 0)));
}

function pageFromHash(hash, pageCount) {
    const match = /^#page=(\d+)$/.exec(hash);
    if (!match) return null;
    return Math.min(Math.max(Number(match[1]), 1), pageCount);
}

export class Viewer {
    constructor(doc, config, catalogue) {
        this.doc = doc;
        this.config = config;
        this.catalogue = catalogue;
        this.pages = catalogue.pages;
        this.pageCount = this.pages.length;
        this.stage = doc.getElementById('stage');
        this.frame = doc.getElementById('frame');
        this.bookElement = doc.getElementById('book');
        this.indicator = doc.getElementById('page-number');
        // The manifest gives the true shape of the first page; without it the configured size.
        this.pageRatio = this.pages[0].ratio ?? config.width / config.height;
        this.singlePage = false;
        this.book = null;
        this.wake = () => {};
        this.reducedMotion = window.matchMedia?.('(prefers-reduced-motion: reduce)');
        this.historyReady = false;
    }

    async open() {
        this.applyBackground();
        this.toolbar = new Toolbar(this.doc, this.config.buttons);
        this.buttons = this.toolbar.buttons;
        const start = (pageFromHash(location.hash, this.pageCount) ?? 1) - 1;
        this.setRatio(this.pageRatio);
        this.layout();
        await nextTask();
        this.images = new PageImages(this.doc, this.pages, () => this.pageWidth());
        this.order = new BookOrder(this.doc, this.pageCount, this.catalogue.rightToLeft);
        if (this.order.rightToLeft) this.doc.getElementById('toolbar').dir = 'rtl';
        this.images.createPages(this.config.hardCover);
        // The page the book opens on shows on its own, where the book will show it, while the
        // image loads: its paint waits neither for page-flip to take in every page nor for the
        // rest of the viewer. Each step below runs as a task of its own, so a slow phone
        // answers the reader in between.
        const preview = this.showPreview(start);
        const first = this.images.loadFirst(start);
        await nextTask();
        this.manifest = this.catalogue;
        this.texts = new TextLayers(this.doc, this.manifest, this.pageCount, {
            inCorner: (x, y) => this.onFoldingCorner(x, y),
            busy: () => !!this.zoom?.isActive() || this.book?.getState() !== 'read',
        });
        this.texts.setPageElements(this.images.pageElements);
        const ratio = this.pageRatio;
        this.fitPageRatio(await first);
        this.layout();
        if (ratio !== this.pageRatio) this.showPreview(start);
        await firstPaint();
        preview.remove();
        this.createBook(start);
        await nextTask();
        this.zoom = new ZoomController(this.stage, this.doc.getElementById('zoom'), () => this.book);
        this.zoom.onChange = (scale) => {
            this.images.setSharp(this.visiblePages(), scale > 1);
            this.updateZoomButtons();
        };
        // A right-to-left book moves on towards the left: swipes and edge taps follow it.
        const rtl = this.order.rightToLeft;
        this.gestures = new TouchGestures(this.stage, this.frame, {
            swipe: (towardLeft) => (towardLeft !== rtl ? this.next() : this.previous()),
            tapEdge: (left) => (left !== rtl ? this.previous() : this.next()),
            doubleTap: (x, y) => this.zoom.toggleAt(x, y),
            busy: () => this.zoom.isActive(),
        });
        this.indexPanel = new IndexPanel(this.doc, this.config.index, (page) => this.goTo(page - 1),
            this.manifest.outline);
        if (this.manifest.search) {
            this.search = new Search(this.doc, {
                files: this.manifest.search,
                pageCount: this.pageCount,
                texts: this.texts,
                // A match is shown at once: a flip each time the query grows would only delay it.
                goTo: (page) => this.goTo(page - 1, true),
                toolbar: this.doc.getElementById('toolbar'),
            });
        }
        this.thumbnails = new ThumbnailPanel(this.doc, this.pages, (page) => this.goTo(page - 1));
        this.sharing = new Sharing(this.doc, this.catalogue, () => this.visiblePages()[0] + 1);
        await nextTask();
        this.listen();
        this.pageChanged();
        this.historyReady = true;
        this.updateZoomButtons();
        await this.images.releaseNeighbours(this.visiblePages());
        this.images.loadAround(this.visiblePages());
        this.texts.showAround(this.visiblePages());
        const reading = () => this.readerActs();
        for (const type of ['pointerdown', 'touchstart', 'keydown', 'wheel']) {
            this.doc.addEventListener(type, reading, { capture: true, once: true, passive: true });
        }
    }

    // Until the reader first acts (a press, a key, the wheel, a turn) only the pages on screen
    // get their canvas and text layer: the start waits on nothing else.
    readerActs() {
        this.images.startDrawingNear();
        this.texts.startNear();
    }

    // The page at `start` alone in the book's place, at the size and on the side of the spread
    // page-flip gives it: built from the same element, the book then shows it without a shift.
    showPreview(start) {
        const element = this.images.pageElements[start];
        const width = this.pageWidth();
        // The book's own height for that width: it is set 1000 wide (see createBook).
        const height = (width * Math.round(1000 / this.pageRatio)) / 1000;
        let right = false;
        if (!this.singlePage) {
            // With hard covers the first page is alone on the right; then pairs, the last page
            // alone on the left.
            const offset = this.config.hardCover ? 1 : 0;
            right = (this.order.toBook(start) - offset) % 2 !== 0;
        }
        this.bookElement.style.height = `${height}px`;
        this.bookElement.style.position = 'relative';
        element.style.cssText = `position: absolute; display: block; top: 0; left: ${right ? width : 0}px; ` +
            `width: ${width}px; height: ${height}px;`;
        this.bookElement.replaceChildren(element);
        return {
            remove: () => {
                this.bookElement.style.removeProperty('height');
                this.bookElement.style.removeProperty('position');
                element.style.cssText = 'display: none';
            },
        };
    }

    applyBackground() {
        const style = this.doc.documentElement.style;
        style.setProperty('--bg1', this.config.background.color1);
        style.setProperty('--bg2', this.config.background.color2);
    }

    setRatio(ratio) {
        this.pageRatio = ratio;
        this.doc.documentElement.style.setProperty('--page-ratio', String(ratio));
    }

    // A folder without a manifest tells an upright page size even for a landscape document;
    // when the first page image disagrees with that orientation, the image's own shape wins.
    fitPageRatio(image) {
        if (this.pages[0].ratio || !image || !image.naturalWidth || !image.naturalHeight) return;
        const imageRatio = image.naturalWidth / image.naturalHeight;
        if (imageRatio > 1 !== this.pageRatio > 1) this.setRatio(imageRatio);
    }

    // Sizes the book's frame to the largest spread (or single page) that fits the stage.
    layout() {
        const width = this.stage.clientWidth;
        const height = this.stage.clientHeight;
        if (width === 0 || height === 0) return;
        const single = Math.min(width, height * this.pageRatio);
        const spreadPage = Math.min(width / 2, height * this.pageRatio);
        this.singlePage = spreadPage < single * SPREAD_MIN_SHARE;
        const pageWidth = Math.floor(this.singlePage ? single : spreadPage);
        const frameWidth = this.singlePage ? pageWidth : pageWidth * 2;
        this.frame.style.width = `${frameWidth}px`;
        if (this.book) {
            // page-flip shows one page when its block is narrower than twice minWidth.
            this.book.getSettings().minWidth = this.singlePage ? frameWidth : 1;
        }
    }

    pageWidth() {
        const frameWidth = parseFloat(this.frame.style.width) || this.stage.clientWidth;
        return this.singlePage ? frameWidth : frameWidth / 2;
    }

    createBook(start) {
        // Registered before page-flip's own handler, so its resize sees the new frame size.
        window.addEventListener('resize', () => {
            this.layout();
            this.wake();
        });
        const frameWidth = parseFloat(this.frame.style.width) || 600;
        const { book, wake } = createBook(this.bookElement, {
            width: 1000,
            height: Math.round(1000 / this.pageRatio),
            size: 'stretch',
            minWidth: this.singlePage ? frameWidth : 1,
            maxWidth: 100000,
            minHeight: 1,
            maxHeight: 100000,
            showCover: this.config.hardCover,
            usePortrait: true,
            autoSize: true,
            startPage: this.order.toBook(start),
            flippingTime: FLIPPING_TIME_MS,
            maxShadowOpacity: 0.5,
            drawShadow: false,
            mobileScrollSupport: false,
        }, this.order.elements(this.images.pageElements, this.config.hardCover));
        this.book = book;
        this.wake = wake;
        this.images.watchClones(this.bookElement);
        this.bookElement.style.minWidth = '0';
        this.book.on('flip', () => this.pageChanged());
        this.book.on('changeOrientation', () => this.pageChanged());
        new ResizeObserver(() => {
            const wasSingle = this.singlePage;
            const before = this.frame.style.width;
            this.layout();
            if (wasSingle !== this.singlePage || before !== this.frame.style.width) {
                this.book.update();
                this.wake();
                this.images.refit(this.visiblePages());
            }
            this.zoom?.clampPan();
        }).observe(this.stage);
    }

    // Whether the window point (x, y) is on one of the book's outer corners, where page-flip
    // folds a page under the mouse (the same corner size as the library's).
    onFoldingCorner(x, y) {
        const rect = this.book?.getBoundsRect();
        if (!rect) return false;
        const block = this.bookElement.getBoundingClientRect();
        const bx = x - block.left - rect.left;
        const by = y - block.top - rect.top;
        const size = Math.hypot(rect.pageWidth, rect.height) / 5;
        return bx > 0 && by > 0 && bx < rect.width && by < rect.height &&
            (bx < size || bx > rect.width - size) && (by < size || by > rect.height - size);
    }

    // The pages on screen, as 0-based indexes, the way page-flip groups them into spreads.
    visiblePages() {
        const current = this.book.getCurrentPageIndex();
        if (this.book.getOrientation() === 'portrait') return this.order.toPages([current]);
        const offset = this.config.hardCover ? 1 : 0;
        if (this.config.hardCover && current === 0) return this.order.toPages([0]);
        const left = current - ((current - offset) % 2);
        return this.order.toPages(left + 1 < this.order.length ? [left, left + 1] : [left]);
    }

    pageChanged() {
        if (this.historyReady) this.readerActs();
        const visible = this.visiblePages();
        this.images.loadAround(visible);
        // The text follows the images once the first page is on screen.
        if (!this.images.holdNeighbours) this.texts?.showAround(visible);
        const first = visible[0] + 1;
        const last = visible[visible.length - 1] + 1;
        const shown = first === last ? `${first}` : `${first}–${last}`;
        this.indicator.textContent = `${shown} / ${this.pageCount}`;
        this.indicator.setAttribute('aria-label', `Page ${shown} sur ${this.pageCount}`);
        // Each turn is a history entry: Back goes to the page before. In another site's frame
        // the history is the host page's, and the address only follows the page.
        const hash = `#page=${first}`;
        const linked = pageFromHash(location.hash, this.pageCount);
        if (location.hash !== hash) {
            // A link to the second page of a spread is already where it asked to be.
            if (!framed && this.historyReady && linked !== null && !visible.includes(linked - 1)) {
                history.pushState(null, '', hash);
            } else {
                history.replaceState(null, '', hash);
            }
        }
        const atStart = visible[0] === 0;
        const atEnd = last === this.pageCount;
        this.toolbar.setDisabled({ first: atStart, previous: atStart, next: atEnd, last: atEnd });
        this.thumbnails?.markCurrent(visible);
    }

    updateZoomButtons() {
        this.buttons.zoomLess.disabled = !this.zoom.canZoomOut();
        this.buttons.zoomPlus.disabled = !this.zoom.canZoomIn();
    }

    instant() {
        return !!this.reducedMotion?.matches;
    }

    // Turns without the flip: far jumps, and every turn when the user asks for less motion.
    jump(target) {
        this.images.loadAround([target]);
        this.book.turnToPage(this.order.toBook(target));
        this.wake();
        this.pageChanged();
    }

    // `atOnce`: without the flip, however near the page.
    goTo(index, atOnce = false) {
        const target = Math.min(Math.max(index, 0), this.pageCount - 1);
        if (this.visiblePages().includes(target)) return;
        this.zoom.reset();
        const bookIndex = this.order.toBook(target);
        const distance = Math.abs(bookIndex - this.book.getCurrentPageIndex());
        if (distance > FAR_JUMP || atOnce || this.instant()) this.jump(target);
        else this.book.flip(bookIndex);
    }

    next() {
        this.zoom.reset();
        if (this.book.getState() !== 'read') return;
        const visible = this.visiblePages();
        const target = visible[visible.length - 1] + 1;
        if (target >= this.pageCount) return;
        if (this.instant()) this.jump(target);
        else if (this.order.rightToLeft) this.book.flipPrev();
        else this.book.flipNext();
    }

    previous() {
        this.zoom.reset();
        if (this.book.getState() !== 'read') return;
        const target = this.visiblePages()[0] - 1;
        if (target < 0) return;
        if (this.instant()) this.jump(target);
        else if (this.order.rightToLeft) this.book.flipNext();
        else this.book.flipPrev();
    }

    toggleFullScreen() {
        if (this.doc.fullscreenElement) {
            this.doc.exitFullscreen().catch(() => {});
        } else {
            this.doc.documentElement.requestFullscreen().catch(() => {});
        }
    }

    printNames() {
        return this.visiblePages().map((i) => this.pages[i].large);
    }

    async print() {
        await preparePrint(this.doc, this.printNames());
        window.print();
    }

    listen() {
        const actions = {
            print: () => this.print(),
            zoomLess: () => this.zoom.zoomOut(),
            zoomPlus: () => this.zoom.zoomIn(),
            first: () => this.goTo(0),
            previous: () => this.previous(),
            next: () => this.next(),
            last: () => this.goTo(this.pageCount - 1),
            index: () => this.indexPanel.open(),
            pages: () => this.thumbnails.open(this.visiblePages()),
            fullScreen: () => this.toggleFullScreen(),
        };
        for (const [name, action] of Object.entries(actions)) {
            this.buttons[name].addEventListener('click', action);
        }
        this.doc.addEventListener('fullscreenchange', () => {
            this.buttons.fullScreen.setAttribute('aria-pressed', String(!!this.doc.fullscreenElement));
        });
        this.doc.addEventListener('keydown', (event) => this.onKey(event));
        window.addEventListener('hashchange', () => {
            const page = pageFromHash(location.hash, this.pageCount);
            if (page !== null) this.goTo(page - 1);
        });
        window.addEventListener('beforeprint', () => {
            if (this.doc.getElementById('print-pages').childElementCount === 0) {
                preparePrint(this.doc, this.printNames());
            }
        });
        window.addEventListener('afterprint', () => {
            this.doc.getElementById('print-pages').replaceChildren();
        });
    }

    onKey(event) {
        if (event.ctrlKey || event.altKey || event.metaKey) return;
        if (this.doc.querySelector('dialog[open]')) return;
        if (this.zoom.panKey(event.key)) {
            event.preventDefault();
            return;
        }
        // The arrows point the way the pages go: a right-to-left book moves on to the left.
        const forward = this.order.rightToLeft ? 'ArrowLeft' : 'ArrowRight';
        const backward = this.order.rightToLeft ? 'ArrowRight' : 'ArrowLeft';
        const keys = {
            [forward]: () => this.next(),
            PageDown: () => this.next(),
            [backward]: () => this.previous(),
            PageUp: () => this.previous(),
            Home: () => this.goTo(0),
            End: () => this.goTo(this.pageCount - 1),
            '+': () => this.zoom.zoomIn(),
            '=': () => this.zoom.zoomIn(),
            '-': () => this.zoom.zoomOut(),
            Escape: () => this.zoom.reset(),
        };
        const action = keys[event.key];
        if (!action) return;
        event.preventDefault();
        action();
    }
}
