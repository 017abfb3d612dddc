// The page elements and their images. An image is requested only when its page comes near
// the pages on screen: a catalogue of hundreds of large JPEGs opens as fast as a short one.

// Pages loaded on each side of the pages on screen: the previous and the next spread.
const PRELOAD_DISTANCE = 2;
const FIRST_IMAGE_TIMEOUT_MS = 4000;

// Resolves once the browser reports a page image painted (largest contentful paint), or after
// two frames and a short pause where it does not report paints.
function firstPagePainted() {
    const frames = () => new Promise((resolve) =>
        requestAnimationFrame(() => requestAnimationFrame(() => setTimeout(resolve, 50))));
    if (!PerformanceObserver.supportedEntryTypes?.includes('largest-contentful-paint')) return frames();
    return new Promise((resolve) => {
        const observer = new PerformanceObserver((list) => {
            if (list.getEntries().some((entry) => entry.element?.closest('.page'))) done();
        });
        const timer = setTimeout(() => done(), 1000);
        function done() {
            observer.disconnect();
            clearTimeout(timer);
            resolve();
        }
        observer.observe({ type: 'largest-contentful-paint', buffered: true });
    });
}

export class PageImages {
    constructor(doc, names, pageRatio) {
        this.doc = doc;
        this.names = names;
        this.pageRatio = pageRatio;
        this.images = names.map((name, i) => this.createImage(i));
        this.pageElements = [];
        // Until the first page has been painted only the pages on screen load, so the
        // neighbours do not share the bandwidth with it.
        this.holdNeighbours = true;
    }

    createImage(index) {
        const image = this.doc.createElement('img');
        image.alt = `Page ${index + 1}`;
        image.decoding = 'async';
        image.draggable = false;
        image.addEventListener('error', () => this.showMissing(index), { once: true });
        return image;
    }

    // Loads the page the book opens on before the book is built, so the first paint already
    // shows it and its shape is known.
    loadFirst(index) {
        const image = this.images[index];
        image.fetchPriority = 'high';
        return new Promise((resolve) => {
            const done = () => resolve(image.naturalWidth > 0 ? image : null);
            image.addEventListener('load', done, { once: true });
            image.addEventListener('error', done, { once: true });
            setTimeout(done, FIRST_IMAGE_TIMEOUT_MS);
            this.load(index);
        });
    }

    // After the pages on screen are loaded and on screen, the neighbours follow.
    async releaseNeighbours(visible) {
        await Promise.all(visible.map((index) => this.settled(index)));
        await firstPagePainted();
        this.holdNeighbours = false;
    }

    settled(index) {
        const image = this.images[index];
        if (image.complete || image.dataset.missing) return Promise.resolve();
        return new Promise((resolve) => {
            image.addEventListener('load', resolve, { once: true });
            image.addEventListener('error', resolve, { once: true });
        });
    }

    createPages(hardCover) {
        this.pageElements = this.images.map((image, i) => {
            const page = this.doc.createElement('div');
            page.className = 'page';
            if (hardCover && (i === 0 || i === this.images.length - 1)) {
                page.dataset.density = 'hard';
            }
            page.appendChild(image);
            if (image.dataset.missing) this.showMissing(i);
            return page;
        });
    }

    load(index) {
        const image = this.images[index];
        if (image && !image.getAttribute('src')) image.src = this.names[index];
    }

    loadAround(visible) {
        const from = Math.max(visible[0] - PRELOAD_DISTANCE, 0);
        const to = Math.min(visible[visible.length - 1] + PRELOAD_DISTANCE, this.images.length - 1);
        // The pages on screen first, then the neighbours, nearest first.
        for (const index of visible) this.load(index);
        if (this.holdNeighbours) return;
        for (let distance = 1; distance <= PRELOAD_DISTANCE; distance++) {
            const after = visible[visible.length - 1] + distance;
            const before = visible[0] - distance;
            if (after <= to) this.load(after);
            if (before >= from) this.load(before);
        }
    }

    showMissing(index) {
        const image = this.images[index];
        if (!image.parentNode) {
            image.dataset.missing = 'true';
            return;
        }
        const notice = this.doc.createElement('p');
        notice.className = 'missing';
        notice.setAttribute('role', 'img');
        notice.setAttribute('aria-label', image.alt);
        notice.textContent = `L’image de la page ${index + 1} (« ${this.names[index]} ») est introuvable.`;
        image.replaceWith(notice);
    }
}
