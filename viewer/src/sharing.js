// Sharing the open page and downloading the document.
//
// The share button hands the link of the open page ("…#page=N") to the system's share sheet
// where the browser has one (phones). Elsewhere, or when the share sheet is refused (a frame
// the host page did not allow it), the link goes to the clipboard and a short notice says so.
// When the clipboard is refused too (a page opened from disk, a frame without the permission)
// the link shows selected in a small field, for the reader to copy.
//
// The link is the page's address on the web when the catalogue knows it, else the address it
// was opened from. The "Télécharger le PDF" link shows only when the folder has the PDF copy.
import { focusInPlace } from './embedding.js';

export const SHARE_TEXTS = {
    button: 'Partager cette page',
    copied: 'Lien copié',
    copyField: 'Copiez le lien de cette page :',
    close: 'Fermer',
};
const NOTICE_MS = 4000;

// The link of page `page`: inside the publication address when there is one (the page keeps
// its own file name), else the address the page was opened from, without its fragment.
export function pageLink(publication, location, page) {
    const own = new URL(location.href);
    own.hash = '';
    const name = own.pathname.slice(own.pathname.lastIndexOf('/') + 1);
    const base = publication ? new URL(name, publication).href : own.href;
    return `${base}#page=${page}`;
}

export class Sharing {
    // `currentPage()` gives the number (from 1) of the first page on screen.
    constructor(doc, catalogue, currentPage) {
        this.doc = doc;
        this.catalogue = catalogue;
        this.currentPage = currentPage;
        this.button = doc.getElementById('share');
        this.download = doc.getElementById('download');
        this.timer = null;
        this.build();
        this.offerDownload(catalogue.pdf);
        this.button.addEventListener('click', () => this.share());
    }

    build() {
        const doc = this.doc;
        this.button.hidden = false;
        this.notice = doc.createElement('p');
        this.notice.id = 'share-notice';
        this.notice.setAttribute('role', 'status');
        this.box = doc.createElement('div');
        this.box.id = 'share-box';
        this.box.hidden = true;
        const label = doc.createElement('label');
        label.htmlFor = 'share-link';
        label.textContent = SHARE_TEXTS.copyField;
        this.field = doc.createElement('input');
        this.field.id = 'share-link';
        this.field.type = 'url';
        this.field.readOnly = true;
        const close = doc.createElement('button');
        close.type = 'button';
        close.className = 'close';
        close.setAttribute('aria-label', SHARE_TEXTS.close);
        close.textContent = '×';
        close.addEventListener('click', () => this.hideField(true));
        this.box.append(label, this.field, close);
        doc.body.append(this.notice, this.box);
        // Keys typed in the field are the field's: they never turn a page.
        this.box.addEventListener('keydown', (event) => {
            event.stopPropagation();
            if (event.key === 'Escape') this.hideField(true);
        });
        doc.addEventListener('pointerdown', (event) => {
            if (!this.box.hidden && !this.box.contains(event.target) && !this.button.contains(event.target)) {
                this.hideField(false);
            }
        });
    }

    offerDownload(name) {
        if (!name) return;
        // Encoded whole: the name stays one relative path, whatever characters it holds.
        this.download.href = encodeURIComponent(name);
        this.download.setAttribute('download', name);
        this.download.hidden = false;
    }

    link() {
        return pageLink(this.catalogue.url, this.doc.location, this.currentPage());
    }

    async share() {
        const url = this.link();
        if (typeof navigator.share === 'function') {
            try {
                await navigator.share({ title: this.catalogue.title ?? this.doc.title, url });
                return;
            } catch (error) {
                // The reader closed the sheet; any other refusal falls back to copying.
                if (error?.name === 'AbortError') return;
            }
        }
        try {
            await navigator.clipboard.writeText(url);
            this.hideField(false);
            this.say(SHARE_TEXTS.copied);
        } catch {
            this.showField(url);
        }
    }

    say(text) {
        clearTimeout(this.timer);
        this.notice.textContent = text;
        this.notice.classList.add('shown');
        this.timer = setTimeout(() => {
            this.notice.classList.remove('shown');
            this.notice.textContent = '';
        }, NOTICE_MS);
    }

    showField(url) {
        this.field.value = url;
        this.box.hidden = false;
        focusInPlace(this.field);
        this.field.select();
    }

    hideField(returnFocus) {
        if (this.box.hidden) return;
        this.box.hidden = true;
        if (returnFocus) focusInPlace(this.button);
    }
}
