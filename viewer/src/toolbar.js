// The toolbar: one row whatever the width. When all the buttons do not fit, the zoom, index,
// pages, print, full-screen, share and download buttons move into a menu behind "Autres
// commandes", and the page-turning buttons stay together around the page number.
import { BUTTON_NAMES } from './config.js';
import { focusInPlace, framed } from './embedding.js';

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

// Where focus goes when the focused button is disabled: toward the pages one can still reach.
const FOCUS_INSTEAD = { first: 'next', previous: 'next', next: 'previous', last: 'previous' };

export class Toolbar {
    constructor(doc, buttonsConfig) {
        this.doc = doc;
        this.bar = doc.getElementById('toolbar');
        this.menu = doc.getElementById('menu');
        this.more = doc.getElementById('more');
        this.buttons = {};
        for (const name of BUTTON_NAMES) {
            const button = doc.querySelector(`[data-button="${name}"]`);
            const { visible, alt } = buttonsConfig[name];
            button.hidden = !visible;
            // The configured text is the tooltip and the accessible name; a button the user left
            // without text still needs a name for screen readers.
            button.title = alt;
            button.setAttribute('aria-label', alt.trim() !== '' ? alt : DEFAULT_LABELS[name]);
            this.buttons[name] = button;
        }
        // A frame whose host page does not allow full screen has no use for the button.
        if (!doc.fullscreenEnabled) {
            if (framed) this.buttons.fullScreen.hidden = true;
            else this.buttons.fullScreen.disabled = true;
        }
        this.more.addEventListener('click', () => this.setMenuOpen(!this.isMenuOpen()));
        this.menu.addEventListener('click', (event) => {
            if (event.target.closest('button, a')) this.setMenuOpen(false);
        });
        doc.addEventListener('pointerdown', (event) => {
            if (this.isMenuOpen() && !this.bar.contains(event.target)) this.setMenuOpen(false);
        });
        this.bar.addEventListener('keydown', (event) => {
            if (event.key === 'Escape' && this.isMenuOpen()) {
                event.stopPropagation();
                this.setMenuOpen(false);
                this.more.focus();
            }
        });
        new ResizeObserver(() => this.fit()).observe(this.bar);
        this.fit();
    }

    // Wide first; narrow when the row overflows.
    fit() {
        const menuButtons = [...this.menu.querySelectorAll('button, a')].filter((b) => !b.hidden);
        const wasNarrow = this.bar.classList.contains('narrow');
        this.bar.classList.remove('narrow');
        this.more.hidden = true;
        const narrow = menuButtons.length > 0 && this.bar.scrollWidth > this.bar.clientWidth + 1;
        this.bar.classList.toggle('narrow', narrow);
        this.more.hidden = !narrow;
        if (!narrow || !wasNarrow) this.setMenuOpen(false);
    }

    isMenuOpen() {
        return this.bar.classList.contains('menu-open');
    }

    setMenuOpen(open) {
        this.bar.classList.toggle('menu-open', open);
        this.more.setAttribute('aria-expanded', String(open));
    }

    // Enables and disables the page-turning buttons; a focused button that becomes disabled
    // hands the focus to its counterpart instead of letting it fall to the page body.
    setDisabled(states) {
        const focused = Object.keys(states).find((name) => this.doc.activeElement === this.buttons[name]);
        for (const [name, disabled] of Object.entries(states)) this.buttons[name].disabled = disabled;
        if (focused && states[focused]) {
            const instead = this.buttons[FOCUS_INSTEAD[focused]];
            if (instead && !instead.hidden && !instead.disabled) focusInPlace(instead);
            else focusInPlace(this.doc.getElementById('page-number'));
        }
    }
}
