// The flip-book: pages, toolbar, panels, keyboard and touch.
import { PageFlip } from 'page-flip/dist/js/page-flip.module.js';
import { BUTTON_NAMES } from './config.js';
import { PageImages } from './images.js';
import { ZoomController } from './zoom.js';
import { IndexPanel, ThumbnailPanel } from './panels.js';
import { preparePrint } from './print.js';
import { readManifest } from './catalogue.js';
import { TextLayers } from './textlayer.js';
import { Search } from './search.js';
import { BookOrder } from './direction.js';

const DEFAULT_LABELS = {
    print: 'Imprimer',
    zoomLess: 'Zoom arrière',
    zoomPlus: 'Zoom avant',
    first: 'Première page',
    previous: 'Page précédente',
    next: 'Page suivante',
    last: 'Dernière page',
    index: 'Index',
    pages: 'Pages',
    fullScreen: 'Plein écran',
};

// A spread is shown when each of its pages keeps at least this share of the width a single
// page would get; narrow portrait windows (phones) therefore show one page at a time.
const SPREAD_MIN_SHARE = 0.6;

function pageFromHash(hash, pageCount) {
    const match = /^#page=(\d+)$/.exec(hash);
    if (!match) return null;
    return Math.min(Math.max(Number(match[1]), 1), pageCount);
}

export class Viewer {
    constructor(doc, config) {
        this.doc = doc;
        this.config = config;
        this.pageCount = config.pages.length;
        this.stage = doc.getElementById('stage');
        this.frame = doc.getElementById('frame');
        this.bookElement = doc.getElementById('book');
        this.indicator = doc.getElementById('page-number');
        this.buttons = {};
        this.pageRatio = config.width / config.height;
        this.singlePage = false;
        this.book = null;
    }

    async open() {
        this.applyBackground();
        this.setUpButtons();
        const start = (pageFromHash(location.hash, this.pageCount) ?? 1) - 1;
        this.images = new PageImages(this.doc, this.config.pages, this.pageRatio);
        this.fitPageRatio(await this.images.loadFirst(start));
        this.images.createPages(this.config.hardCover);
        this.manifest = readManifest(this.pageCount);
        this.texts = new TextLayers(this.doc, this.manifest, this.pageCount);
        this.texts.setPageElements(this.images.pageElements);
        this.order = new BookOrder(this.doc, this.pageCount, this.manifest?.rightToLeft ?? false);
        if (this.order.rightToLeft) this.doc.getElementById('toolbar').dir = 'rtl';
        this.layout();
        this.createBook(start);
        this.zoom = new ZoomController(this.stage, this.doc.getElementById('zoom'), () => this.book);
        this.zoom.onChange = () => this.updateZoomButtons();
        this.indexPanel = new IndexPanel(this.doc, this.config.index, (page) => this.goTo(page - 1),
            this.manifest?.outline ?? []);
        if (this.manifest?.search) {
            this.search = new Search(this.doc, {
                file: this.manifest.search,
                pageCount: this.pageCount,
                texts: this.texts,
                goTo: (page) => this.goTo(page - 1),
                toolbar: this.doc.getElementById('toolbar'),
            });
        }
        this.thumbnails = new ThumbnailPanel(this.doc, this.config.pages, (page) => this.goTo(page - 1));
        this.listen();
        this.pageChanged();
        this.updateZoomButtons();
        await this.images.releaseNeighbours(this.visiblePages());
        this.images.loadAround(this.visiblePages());
        this.texts.showAround(this.visiblePages());
    }

    applyBackground() {
        const style = this.doc.documentElement.style;
        style.setProperty('--bg1', this.config.background.color1);
        style.setProperty('--bg2', this.config.background.color2);
    }

    setUpButtons() {
        for (const name of BUTTON_NAMES) {
            const button = this.doc.querySelector(`[data-button="${name}"]`);
            const { visible, alt } = this.config.buttons[name];
            button.hidden = !visible;
            // The configured text is the tooltip and the accessible name; a button the user left
            // without text still needs a name for screen readers.
            button.title = alt;
            button.setAttribute('aria-label', alt.trim() !== '' ? alt : DEFAULT_LABELS[name]);
            this.buttons[name] = button;
        }
        if (!this.doc.fullscreenEnabled) this.buttons.fullScreen.disabled = true;
    }

    // Vellora tells the viewer an upright page size even for a landscape document; when the
    // first page image disagrees with the configured orientation, the image's own shape wins.
    fitPageRatio(image) {
        if (!image || !image.naturalWidth || !image.naturalHeight) return;
        const imageRatio = image.naturalWidth / image.naturalHeight;
        if (imageRatio > 1 !== this.pageRatio > 1) this.pageRatio = imageRatio;
        this.doc.documentElement.style.setProperty('--page-ratio', String(this.pageRatio));
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

    createBook(start) {
        // Registered before page-flip's own handler, so its resize sees the new frame size.
        window.addEventListener('resize', () => this.layout());
        const frameWidth = parseFloat(this.frame.style.width) || 600;
        this.book = new PageFlip(this.bookElement, {
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
            flippingTime: 700,
            maxShadowOpacity: 0.5,
            drawShadow: false,
            mobileScrollSupport: true,
        });
        this.bookElement.style.minWidth = '0';
        this.book.loadFromHTML(this.order.elements(this.images.pageElements, this.config.hardCover));
        this.book.on('flip', () => this.pageChanged());
        this.book.on('changeOrientation', () => this.pageChanged());
        new ResizeObserver(() => {
            const wasSingle = this.singlePage;
            const before = this.frame.style.width;
            this.layout();
            if (wasSingle !== this.singlePage || before !== this.frame.style.width) this.book.update();
            this.zoom?.clampPan();
        }).observe(this.stage);
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
        const visible = this.visiblePages();
        this.images.loadAround(visible);
        // The text follows the images once the first page is on screen.
        if (!this.images.holdNeighbours) this.texts?.showAround(visible);
        const first = visible[0] + 1;
        const last = visible[visible.length - 1] + 1;
        const shown = first === last ? `${first}` : `${first}–${last}`;
        this.indicator.textContent = `${shown} / ${this.pageCount}`;
        this.indicator.setAttribute('aria-label', `Page ${shown} sur ${this.pageCount}`);
        const hash = `#page=${first}`;
        if (location.hash !== hash) history.replaceState(null, '', hash);
        const atStart = visible[0] === 0;
        const atEnd = last === this.pageCount;
        this.buttons.first.disabled = atStart;
        this.buttons.previous.disabled = atStart;
        this.buttons.next.disabled = atEnd;
        this.buttons.last.disabled = atEnd;
        this.thumbnails?.markCurrent(visible);
    }

    updateZoomButtons() {
        this.buttons.zoomLess.disabled = !this.zoom.canZoomOut();
        this.buttons.zoomPlus.disabled = !this.zoom.canZoomIn();
    }

    goTo(index) {
        const target = Math.min(Math.max(index, 0), this.pageCount - 1);
        if (this.visiblePages().includes(target)) return;
        this.zoom.reset();
        // Far jumps turn at once; near ones show the flip.
        const bookIndex = this.order.toBook(target);
        const distance = Math.abs(bookIndex - this.book.getCurrentPageIndex());
        if (distance > 4) {
            this.images.loadAround([target]);
            this.book.turnToPage(bookIndex);
            this.pageChanged();
        } else {
            this.book.flip(bookIndex);
        }
    }

    next() {
        this.zoom.reset();
        if (this.order.rightToLeft) this.book.flipPrev();
        else this.book.flipNext();
    }

    previous() {
        this.zoom.reset();
        if (this.order.rightToLeft) this.book.flipNext();
        else this.book.flipPrev();
    }

    toggleFullScreen() {
        if (this.doc.fullscreenElement) {
            this.doc.exitFullscreen().catch(() => {});
        } else {
            this.doc.documentElement.requestFullscreen().catch(() => {});
        }
    }

    async print() {
        await preparePrint(this.doc, this.visiblePages().map((i) => this.config.pages[i]));
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
                preparePrint(this.doc, this.visiblePages().map((i) => this.config.pages[i]));
            }
        });
        window.addEventListener('afterprint', () => {
            this.doc.getElementById('print-pages').replaceChildren();
        });
    }

    onKey(event) {
        if (event.ctrlKey || event.altKey || event.metaKey) return;
        if (this.doc.querySelector('dialog[open]')) return;
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
