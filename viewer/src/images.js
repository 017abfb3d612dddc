// The page elements and their images. An image is requested only when its page comes near the
// pages on screen, in the size that fits the page's place on screen and the screen's pixel
// density; pages far from the ones on screen let their image go, so the memory used stays
// the same however long one reads. Zoomed pages show their sharpest source.
//
// Chromium keeps the decoded pixels of every <img> it has painted in a cache of its compositor
// that neither the image's release nor garbage collection empties, only memory pressure: after
// 100 turns it held 375 MB of pages long gone. So a page's <img> only loads its file and is
// never painted; the page shows a canvas the viewer fills from the loaded file and empties
// when it lets the image go. Two pages are painted from their <img>: the one the book opens
// on, which shows without waiting for a copy, and a zoomed page, whose vector drawing stays
// sharp at any scale. Their decoded pixels stay with the browser, a bounded few.
import { imageFor } from './catalogue.js';
import { nextTask } from './tasks.js';

// Pages loaded on each side of the pages on screen: the previous and the next spread.
const PRELOAD_DISTANCE = 2;
// Pages further than this from the ones on screen give their image back.
const KEEP_DISTANCE = 6;
const FIRST_IMAGE_TIMEOUT_MS = 4000;
// Page canvases kept for reuse: as many as there are pages with pixels.
const CANVASES_KEPT = 2 * KEEP_DISTANCE + 2;
// Pixels copied into a canvas in one task: a large page at once holds up a slow phone.
const PIXELS_PER_TASK = 600000;

// Resolves once the browser reports a page image painted (largest contentful paint), or after
// two frames and a short pause where it does not report paints.
function firstPagePainted() {
    const frames = () => new Promise((resolve) =>
        requestAnimationFrame(() => requestAnimationFrame(() => setTimeout(resolve, 50))));
    if (!PerformanceObserver.supportedEntryTypes?.includes('largest-contentful-paint')) return frames();
    return new Promise((resolve) => {
        const observer = new PerformanceObserver((list) => {
            if (list.getEntries().some((entry) => entry.element?.closest('#book'))) done();
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

// The pixels of a loaded page image. Over the web its file is read once more, from the
// browser's cache, and decoded away from the page's thread: decoding the <img> itself blocks the
// page for a large image (tens of milliseconds on a phone). From disk a page may not read its
// own folder's files, so there the <img> is decoded.
async function decodedBitmap(image, source) {
    if (/^https?:$/.test(location.protocol)) {
        try {
            const response = await fetch(new URL(source, image.baseURI), { cache: 'force-cache' });
            if (response.ok) return await createImageBitmap(await response.blob());
        } catch {
            // The <img> below.
        }
    }
    return createImageBitmap(image);
}

export class PageImages {
    // `pageWidth()` gives the CSS width of one page on screen.
    constructor(doc, pages, pageWidth) {
        this.doc = doc;
        this.pages = pages;
        this.pageWidth = pageWidth;
        this.sharp = new Set(); // pages shown zoomed
        this.images = pages.map((page, i) => this.createImage(i));
        this.pageElements = [];
        this.near = [];
        this.visible = [];
        // Copying an image into its canvas decodes it on the page's own thread. Until the
        // reader first touches the page only the pages on screen are copied, so the start does
        // not wait on neighbours nobody has asked to see yet.
        this.drawNear = false;
        this.drawn = new Map(); // page index -> the source its canvas shows or is being given
        this.canvases = []; // canvases free for the next page
        // Until the first page has been painted only the pages on screen load, so the
        // neighbours do not share the bandwidth with it.
        this.holdNeighbours = true;
    }

    createImage(index) {
        // The first page's image the page itself showed before the viewer ran (see vellora.html),
        // unless it failed.
        const early = index === 0 ? window.velloraEarly?.image : null;
        const adopted = early && !(early.complete && !early.naturalWidth);
        const image = adopted ? early : this.doc.createElement('img');
        if (adopted) image.removeAttribute('style');
        image.alt = `Page ${index + 1}`;
        image.decoding = 'async';
        image.draggable = false;
        image.style.visibility = 'hidden';
        image.addEventListener('error', () => this.failed(index));
        image.addEventListener('load', () => this.drawIfWanted(index));
        return image;
    }

    // An <img> painted as it is: see the top of this file.
    paintImage(index) {
        const image = this.images[index];
        image.style.removeProperty('visibility');
        this.clearCanvas(index);
    }

    isPainted(index) {
        return this.images[index].style.visibility !== 'hidden';
    }

    drawIfWanted(index) {
        const image = this.images[index];
        const source = image.getAttribute('src');
        if (source === null || !image.complete || !image.naturalWidth || this.isPainted(index)) return;
        if (this.drawn.get(index) === source || !image.parentNode) return;
        if (this.drawNear ? this.near.includes(index) || this.visible.includes(index) : this.visible.includes(index)) {
            this.draw(index);
        }
    }

    // The reader has started: the neighbours get their pixels too.
    startDrawingNear() {
        if (this.drawNear) return;
        this.drawNear = true;
        for (const index of this.near) this.drawIfWanted(index);
    }

    // Copies the loaded image of page `index` into its canvas, at the image's own size, in
    // bands of rows, each in a task of its own.
    async draw(index) {
        const image = this.images[index];
        const source = image.getAttribute('src');
        const page = image.parentNode;
        this.drawn.set(index, source);
        let bitmap = null;
        try {
            bitmap = await decodedBitmap(image, source);
        } catch {
            // An image the browser cannot copy is painted as it is.
        }
        if (image.getAttribute('src') !== source || this.isPainted(index) || image.parentNode !== page) {
            bitmap?.close();
            if (this.drawn.get(index) === source) this.drawn.delete(index);
            return;
        }
        const canvas = bitmap && this.canvasOf(index);
        const context = canvas?.getContext('2d');
        if (!context) {
            bitmap?.close();
            this.paintImage(index);
            return;
        }
        const { width, height } = bitmap;
        canvas.width = width;
        canvas.height = height;
        const rows = Math.max(Math.floor(PIXELS_PER_TASK / width), 1);
        for (let y = 0; y < height; y += rows) {
            if (y > 0) {
                await nextTask();
                // Let go meanwhile, or given to another page.
                if (this.drawn.get(index) !== source || canvas.parentNode !== page || canvas.width !== width) break;
            }
            const band = Math.min(rows, height - y);
            context.drawImage(bitmap, 0, y, width, band, 0, y, width, band);
        }
        bitmap.close();
    }

    canvasOf(index) {
        const page = this.pageElements[index];
        let canvas = page.querySelector(':scope > canvas');
        if (!canvas) {
            canvas = this.canvases.pop();
            if (!canvas) {
                canvas = this.doc.createElement('canvas');
                canvas.setAttribute('role', 'img');
                canvas.style.cssText = 'position: absolute; inset: 0; width: 100%; height: 100%; object-fit: contain;';
            }
            canvas.setAttribute('aria-label', this.images[index].alt);
            page.prepend(canvas);
        }
        return canvas;
    }

    // A canvas of no size holds no pixels: they go at once, not when the element is collected.
    // The element itself, with its drawing context, waits for the next page to show (a new one
    // per page would leave the collector a canvas and its context per page read).
    clearCanvas(index) {
        this.drawn.delete(index);
        const canvas = this.pageElements[index]?.querySelector(':scope > canvas');
        if (!canvas) return;
        canvas.width = canvas.height = 0;
        canvas.remove();
        if (this.canvases.length < CANVASES_KEPT) this.canvases.push(canvas);
    }

    // page-flip turns a page on a phone by cloning its element: the clone's canvas gets a copy
    // of the page's pixels, and gives them back when page-flip removes the clone.
    watchClones(book) {
        new MutationObserver((records) => {
            for (const record of records) {
                for (const node of record.addedNodes) {
                    const original = this.pageElements[Number(node.dataset?.index)];
                    if (!node.classList?.contains('page') || !original || original === node) continue;
                    const from = original.querySelector(':scope > canvas');
                    const to = node.querySelector(':scope > canvas');
                    if (!from || !to || from.width === 0) continue;
                    to.width = from.width;
                    to.height = from.height;
                    to.getContext('2d')?.drawImage(from, 0, 0);
                }
                for (const node of record.removedNodes) {
                    const canvas = node.querySelector?.(':scope > canvas');
                    if (canvas && !this.pageElements.includes(node)) canvas.width = canvas.height = 0;
                }
            }
        }).observe(book, { childList: true, subtree: true });
    }

    // A smaller image that fails falls back to the large one; the large one failing leaves
    // the French notice in the page's place.
    failed(index) {
        const image = this.images[index];
        const source = image.getAttribute('src');
        if (source === null) return; // released on purpose
        const page = this.pages[index];
        if (source !== page.large) {
            page.medium = page.thumbnail = page.vector = null;
            image.src = page.large;
            return;
        }
        this.showMissing(index);
    }

    wanted(index) {
        const sharpest = this.sharp.has(index);
        return imageFor(this.pages[index], this.pageWidth(), window.devicePixelRatio || 1, { sharpest });
    }

    // Loads the page the book opens on before the book is built, so the first paint already
    // shows it and its shape is known.
    loadFirst(index) {
        const image = this.images[index];
        image.fetchPriority = 'high';
        this.paintImage(index);
        return new Promise((resolve) => {
            const done = () => resolve(image.naturalWidth > 0 ? image : null);
            image.addEventListener('load', done, { once: true });
            image.addEventListener('error', () => {
                if (image.dataset.missing) done();
            });
            setTimeout(done, FIRST_IMAGE_TIMEOUT_MS);
            // The page's own script already asked for one of its images: that one, not a second,
            // unless the page's true shape needs the large image where it guessed the smaller.
            const page = this.pages[index];
            const hinted = index === 0 ? window.velloraEarly?.name : null;
            const sharpEnough = hinted === page.large || (hinted === page.medium && this.wanted(index) !== page.large);
            if (!hinted || !sharpEnough) this.load(index);
            else if (image.getAttribute('src') !== hinted) image.src = hinted;
            if (image.complete && image.naturalWidth > 0) done();
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
            page.dataset.index = String(i);
            // Hidden until page-flip shows it: a long book is not laid out page by page first.
            page.style.display = 'none';
            if (hardCover && (i === 0 || i === this.images.length - 1)) {
                page.dataset.density = 'hard';
            }
            page.appendChild(image);
            return page;
        });
        this.images.forEach((image, i) => {
            if (image.dataset.missing) this.showMissing(i);
            else this.drawIfWanted(i);
        });
    }

    // Sets the image that fits; an image already showing a larger source keeps it (it is
    // sharper and already paid for).
    load(index) {
        const image = this.images[index];
        if (!image || image.dataset.missing) return;
        const wanted = this.wanted(index);
        const current = image.getAttribute('src');
        if (current === wanted) return;
        if (current !== null && !this.sharp.has(index) && rank(this.pages[index], current) > rank(this.pages[index], wanted)) return;
        image.src = wanted;
    }

    release(index) {
        const image = this.images[index];
        if (image.getAttribute('src') !== null) image.removeAttribute('src');
        image.style.visibility = 'hidden';
        this.clearCanvas(index);
    }

    loadAround(visible) {
        const first = visible[0];
        const last = visible[visible.length - 1];
        // The pages on screen first, then the neighbours, nearest first.
        for (const index of visible) this.load(index);
        if (!this.holdNeighbours) {
            for (let distance = 1; distance <= PRELOAD_DISTANCE; distance++) {
                if (last + distance < this.images.length) this.load(last + distance);
                if (first - distance >= 0) this.load(first - distance);
            }
        }
        for (const index of this.near) {
            if (index < first - KEEP_DISTANCE || index > last + KEEP_DISTANCE) this.release(index);
        }
        const from = Math.max(first - KEEP_DISTANCE, 0);
        const to = Math.min(last + KEEP_DISTANCE, this.images.length - 1);
        this.near = [];
        for (let i = from; i <= to; i++) {
            if (this.images[i].getAttribute('src') !== null) this.near.push(i);
        }
        this.visible = visible;
        for (const index of this.drawNear ? this.near : visible) this.drawIfWanted(index);
    }

    // Zoomed pages switch to their sharpest source; at scale 1 they keep it until released.
    setSharp(visible, sharp) {
        this.sharp = new Set(sharp ? visible : []);
        if (sharp) {
            for (const index of visible) {
                this.paintImage(index);
                this.load(index);
            }
        }
    }

    // After a resize: pages on screen get the size that fits now.
    refit(visible) {
        for (const index of visible) this.load(index);
    }

    showMissing(index) {
        const image = this.images[index];
        image.dataset.missing = 'true';
        if (!image.parentNode) return;
        const notice = this.doc.createElement('p');
        notice.className = 'missing';
        notice.setAttribute('role', 'img');
        notice.setAttribute('aria-label', image.alt);
        notice.textContent = `L’image de la page ${index + 1} (« ${this.pages[index].large} ») est introuvable.`;
        this.clearCanvas(index);
        image.replaceWith(notice);
    }
}

// Larger sources rank higher.
function rank(page, source) {
    if (source === page.vector) return 4;
    if (source === page.large) return 3;
    if (source === page.medium) return 2;
    if (source === page.thumbnail) return 1;
    return 0;
}
