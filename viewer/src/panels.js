import { fillOutline } from './outline.js';
import { centreIn, focusInPlace } from './embedding.js';

// The index and the page thumbnails, each in a modal dialog. Texts from the configuration are
// set as text nodes only: whatever they hold shows as written and never becomes markup.

class Panel {
    constructor(doc, id, goTo) {
        this.doc = doc;
        this.dialog = doc.getElementById(id);
        this.goTo = goTo;
        this.dialog.querySelector('.close').addEventListener('click', () => this.dialog.close());
        // A click on the backdrop (outside the dialog's box) closes it too.
        this.dialog.addEventListener('click', (event) => {
            if (event.target === this.dialog) this.dialog.close();
        });
    }

    choose(page) {
        this.dialog.close();
        this.goTo(page);
    }
}

export class IndexPanel extends Panel {
    // The list is made when the panel first opens: a long outline costs nothing before.
    constructor(doc, entries, goTo, outline = []) {
        super(doc, 'index-dialog', goTo);
        this.entries = entries;
        this.outline = outline;
        this.filled = false;
    }

    fill() {
        const doc = this.doc;
        const list = doc.getElementById('index-list');
        this.filled = true;
        // The user's own index comes first; without one, the document's bookmarks.
        if (this.entries.length === 0 && this.outline.length > 0) {
            list.classList.add('outline');
            fillOutline(doc, list, this.outline, (page) => this.choose(page));
            return;
        }
        if (this.entries.length === 0) {
            const empty = doc.createElement('li');
            empty.textContent = 'Ce catalogue n’a pas d’index.';
            list.appendChild(empty);
        }
        for (const entry of this.entries) {
            const item = doc.createElement('li');
            const button = doc.createElement('button');
            button.type = 'button';
            const description = doc.createElement('span');
            description.textContent = entry.description;
            const reference = doc.createElement('span');
            reference.className = 'page-ref';
            reference.textContent = `p. ${entry.page}`;
            button.append(description, reference);
            button.addEventListener('click', () => this.choose(entry.page));
            item.appendChild(button);
            list.appendChild(item);
        }
    }

    open() {
        if (!this.filled) this.fill();
        this.dialog.showModal();
    }
}

// Thumbnails show the small images the converter writes for them (the page images in a folder
// from an older Vellora); each is requested only when its place in the grid scrolls into view.
// An image that cannot be found leaves a French notice in its place.
export class ThumbnailPanel extends Panel {
    constructor(doc, pages, goTo) {
        super(doc, 'pages-dialog', goTo);
        this.pages = pages;
        this.grid = doc.getElementById('thumbnails');
        this.buttons = [];
        this.observer = null;
    }

    build() {
        this.observer = new IntersectionObserver((entries) => this.reveal(entries), {
            root: this.dialog,
            rootMargin: '200px 0px',
        });
        this.buttons = this.pages.map((page, i) => {
            const button = this.doc.createElement('button');
            button.type = 'button';
            button.setAttribute('aria-label', `Aller à la page ${i + 1}`);
            const image = this.doc.createElement('img');
            image.alt = '';
            image.decoding = 'async';
            image.dataset.index = String(i);
            const caption = this.doc.createElement('span');
            caption.textContent = String(i + 1);
            caption.setAttribute('aria-hidden', 'true');
            button.append(image, caption);
            button.addEventListener('click', () => this.choose(i + 1));
            this.grid.appendChild(button);
            this.observer.observe(image);
            return button;
        });
    }

    // The thumbnail, then the screen image, then the page image: the first that exists.
    sources(page) {
        return [page.thumbnail, page.medium, page.large].filter((name) => name);
    }

    reveal(entries) {
        for (const entry of entries) {
            if (!entry.isIntersecting) continue;
            const image = entry.target;
            this.observer.unobserve(image);
            const index = Number(image.dataset.index);
            const sources = this.sources(this.pages[index]);
            image.addEventListener('error', () => {
                sources.shift();
                if (sources.length > 0) {
                    image.src = sources[0];
                    return;
                }
                const notice = this.doc.createElement('span');
                notice.className = 'missing';
                notice.textContent = `Image de la page ${index + 1} introuvable`;
                image.replaceWith(notice);
            });
            image.src = sources[0];
        }
    }

    markCurrent(visible) {
        this.buttons.forEach((button, i) => {
            if (visible.includes(i)) button.setAttribute('aria-current', 'page');
            else button.removeAttribute('aria-current');
        });
    }

    open(visible) {
        if (this.buttons.length === 0) this.build();
        this.markCurrent(visible);
        this.dialog.showModal();
        const current = this.buttons[visible[0]];
        focusInPlace(current);
        centreIn(this.dialog, current);
    }
}
