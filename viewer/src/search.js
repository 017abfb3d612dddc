// Full-text search: a field in its own panel, results with their page and a snippet, the
// matches marked on the pages, previous and next match. Accents and case are ignored
// ("ecole" finds "École"). The text of every page is in "vellora-search.js", loaded the first
// time the reader searches.
import { loadScript } from './catalogue.js';

const SNIPPET_AROUND = 40; // characters shown on each side of a match
const RESULTS_SHOWN = 200;
const folded = new Map(); // character -> its folded form, for characters beyond ASCII

function foldCharacter(c) {
    let out = folded.get(c);
    if (out === undefined) {
        out = c.normalize('NFD').replace(/\p{M}/gu, '');
        // One character for one, so that places in the folded text are places in the text.
        if (out.length !== 1) out = c;
        folded.set(c, out);
    }
    return out;
}

// Folds text for matching: no accents, lower case, every blank a plain space. The result has
// the length of the text, character for character, so a match's place is its place in the
// text. Runs on whole pages with the browser's own string functions: a 400-page catalogue
// folds in a few milliseconds.
export function fold(text) {
    const lower = text.toLowerCase();
    const source = lower.length === text.length ? lower : text;
    return source.replace(/\s/g, ' ').replace(/[^\x00-\x7f]/g, foldCharacter);
}

export class Search {
    constructor(doc, { file, pageCount, texts, goTo, toolbar }) {
        this.doc = doc;
        this.file = file;
        this.pageCount = pageCount;
        this.texts = texts;
        this.goTo = goTo;
        this.pages = null; // [{ text, folded }] once the search file is in
        this.matches = [];
        this.current = -1;
        this.loading = null;
        this.buildPanel(toolbar);
        window.velloraSearch = (data) => {
            const pages = Array.isArray(data?.pages) ? data.pages : [];
            this.pages = pages.slice(0, pageCount).map((value) => {
                const text = String(value ?? '');
                return { text, folded: fold(text) };
            });
        };
    }

    buildPanel(toolbar) {
        const doc = this.doc;
        const make = (tag, props = {}, ...children) => {
            const element = doc.createElement(tag);
            for (const [name, value] of Object.entries(props)) {
                if (name === 'text') element.textContent = value;
                else element.setAttribute(name, value);
            }
            element.append(...children);
            return element;
        };
        this.openButton = make('button', { type: 'button', 'aria-label': 'Rechercher (Ctrl+F)', title: 'Rechercher (Ctrl+F)', 'aria-controls': 'search-panel', 'aria-expanded': 'false' });
        this.openButton.innerHTML = '<svg viewBox="0 0 24 24" aria-hidden="true"><circle cx="10.5" cy="10.5" r="7"/><path d="M21 21l-5.5-5.5"/></svg>';
        toolbar.appendChild(this.openButton);

        this.input = make('input', { type: 'search', id: 'search-input', autocomplete: 'off', spellcheck: 'false', enterkeyhint: 'search', 'aria-describedby': 'search-status' });
        this.previousButton = make('button', { type: 'button', 'aria-label': 'Résultat précédent', title: 'Résultat précédent (Maj+Entrée)', text: '↑' });
        this.nextButton = make('button', { type: 'button', 'aria-label': 'Résultat suivant', title: 'Résultat suivant (Entrée)', text: '↓' });
        this.closeButton = make('button', { type: 'button', class: 'close', 'aria-label': 'Fermer la recherche', text: '×' });
        this.status = make('p', { id: 'search-status', role: 'status' });
        this.list = make('ol', { id: 'search-results', 'aria-label': 'Résultats de la recherche' });
        this.panel = make('section', { id: 'search-panel', role: 'search', 'aria-label': 'Recherche dans le catalogue' },
            make('div', { class: 'search-row' },
                make('label', { for: 'search-input', text: 'Rechercher' }), this.input,
                this.previousButton, this.nextButton, this.closeButton),
            this.status, this.list);
        this.panel.hidden = true;
        doc.body.appendChild(this.panel);

        this.openButton.addEventListener('click', () => (this.panel.hidden ? this.open() : this.close()));
        this.closeButton.addEventListener('click', () => this.close());
        this.previousButton.addEventListener('click', () => this.step(-1));
        this.nextButton.addEventListener('click', () => this.step(1));
        this.input.addEventListener('input', () => this.run());
        // Keys typed in the panel are the panel's: they never turn a page.
        this.panel.addEventListener('keydown', (event) => {
            event.stopPropagation();
            if (event.key === 'Escape') {
                event.preventDefault();
                this.close();
            } else if (event.key === 'Enter' && event.target === this.input) {
                event.preventDefault();
                this.step(event.shiftKey ? -1 : 1);
            }
        });
        doc.addEventListener('keydown', (event) => {
            const find = (event.ctrlKey || event.metaKey) && !event.altKey && event.key.toLowerCase() === 'f';
            const slash = event.key === '/' && !event.ctrlKey && !event.metaKey && !doc.querySelector('dialog[open]');
            if (find || slash || event.key === 'F3') {
                event.preventDefault();
                this.open();
            }
        });
        this.updateButtons();
    }

    open() {
        this.panel.hidden = false;
        this.openButton.setAttribute('aria-expanded', 'true');
        this.input.focus();
        this.input.select();
        this.ensureLoaded();
    }

    close() {
        this.panel.hidden = true;
        this.openButton.setAttribute('aria-expanded', 'false');
        this.texts.clearMarks();
        this.openButton.focus();
    }

    ensureLoaded() {
        if (!this.loading) {
            this.loading = loadScript(this.doc, this.file).then((loaded) => {
                if (!loaded || !this.pages) this.pages = [];
                return loaded;
            });
        }
        return this.loading;
    }

    async run() {
        const query = this.input.value;
        const loaded = await this.ensureLoaded();
        if (query !== this.input.value) return; // a newer query is on its way
        if (!loaded) {
            this.status.textContent = 'La recherche est indisponible : le fichier « vellora-search.js » est introuvable.';
            return;
        }
        const needle = fold(query.trim().replace(/\s+/g, ' '));
        this.matches = needle ? this.find(needle) : [];
        this.current = -1;
        this.showResults(needle);
        this.updateButtons();
        if (this.matches.length) this.select(0, false);
        else this.texts.clearMarks();
    }

    find(needle) {
        const matches = [];
        this.pages.forEach((page, i) => {
            for (let at = page.folded.indexOf(needle); at >= 0; at = page.folded.indexOf(needle, at + 1)) {
                matches.push({ page: i + 1, start: at, end: at + needle.length });
            }
        });
        return matches;
    }

    showResults(needle) {
        const doc = this.doc;
        this.list.replaceChildren();
        if (!needle) {
            this.status.textContent = '';
            return;
        }
        const pages = new Set(this.matches.map((m) => m.page)).size;
        this.status.textContent = this.matches.length === 0
            ? 'Aucun résultat.'
            : `${this.matches.length} résultat${this.matches.length > 1 ? 's' : ''} sur ${pages} page${pages > 1 ? 's' : ''}.`;
        this.matches.slice(0, RESULTS_SHOWN).forEach((match, index) => {
            const text = this.pages[match.page - 1].text;
            const from = Math.max(match.start - SNIPPET_AROUND, 0);
            const to = Math.min(match.end + SNIPPET_AROUND, text.length);
            const flat = (s) => s.replace(/\s+/g, ' ');
            const button = doc.createElement('button');
            button.type = 'button';
            const page = doc.createElement('span');
            page.className = 'page-ref';
            page.textContent = `p. ${match.page}`;
            const snippet = doc.createElement('span');
            const found = doc.createElement('mark');
            found.textContent = flat(text.slice(match.start, match.end));
            snippet.append(`${from > 0 ? '…' : ''}${flat(text.slice(from, match.start))}`, found,
                `${flat(text.slice(match.end, to))}${to < text.length ? '…' : ''}`);
            button.append(page, snippet);
            button.addEventListener('click', () => this.select(index, true));
            const item = doc.createElement('li');
            item.appendChild(button);
            this.list.appendChild(item);
        });
    }

    step(direction) {
        if (!this.matches.length) return;
        this.select((this.current + direction + this.matches.length) % this.matches.length, true);
    }

    // Turns to the match's page and marks every match on it, the chosen one apart.
    async select(index, announce) {
        this.current = index;
        const match = this.matches[index];
        this.goTo(match.page);
        this.texts.clearMarks();
        for (const other of this.matches.filter((m) => m.page === match.page)) {
            const marks = await this.texts.mark(other.page, other.start, other.end);
            if (other === match) marks.forEach((mark) => mark.classList.add('current'));
        }
        [...this.list.children].forEach((item, i) => {
            const button = item.firstChild;
            if (i === index) button.setAttribute('aria-current', 'true');
            else button.removeAttribute('aria-current');
        });
        if (announce) this.status.textContent = `Résultat ${index + 1} sur ${this.matches.length}, page ${match.page}.`;
        this.updateButtons();
    }

    updateButtons() {
        const none = this.matches.length === 0;
        this.previousButton.disabled = none;
        this.nextButton.disabled = none;
    }
}
