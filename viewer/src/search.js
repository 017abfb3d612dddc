// Full-text search: a field in its own panel, results with their page and a snippet, the
// matches marked on the pages, previous and next match. Accents, compatibility forms and case
// are ignored ("ecole" finds "École", "ﬁn" finds "fin"), and a word cut by a hyphen at a line
// end is found whole. The text of every page is in "vellora-search.js" (or in the parts the
// manifest lists), loaded the first time the reader opens the search; the search itself runs
// in a worker (search-engine.js) and its results come as they are found.
import { loadScript } from './catalogue.js';
import { foldQuery, startSearchEngine } from './search-engine.js';
import { nextFrame } from './tasks.js';

const SNIPPET_AROUND = 40; // characters shown on each side of a match
const RESULTS_SHOWN = 200;
// Results listed in one frame: a long list at once would hold up a slow phone while the
// browser lays it out.
const RESULTS_PER_FRAME = 10;


export class Search {
    // `files`: the search file, or its parts in page order.
    constructor(doc, { files, pageCount, texts, goTo, toolbar }) {
        this.doc = doc;
        this.files = Array.isArray(files) ? files : [files];
        this.pageCount = pageCount;
        this.texts = texts;
        this.goTo = goTo;
        this.pages = []; // page index -> its text, as the parts come in
        this.matches = [];
        this.current = -1;
        this.marking = null; // the latest turn to a match, until its marks are placed
        this.listing = 0; // the query whose results are being listed
        this.loading = null;
        this.queryId = 0;
        this.engine = null;
        this.buildPanel(toolbar);
        // A part gives the text of the pages from its `first` (1 without it).
        window.velloraSearch = (data) => {
            const texts = Array.isArray(data?.pages) ? data.pages : [];
            const first = Number.isInteger(data?.first) && data.first >= 1 ? data.first : 1;
            const kept = texts.slice(0, Math.max(pageCount - first + 1, 0)).map((value) => String(value ?? ''));
            kept.forEach((text, k) => {
                this.pages[first - 1 + k] = text;
            });
            this.engine?.send({ type: 'pages', first, texts: kept });
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
        this.marking = null;
        this.texts.clearMarks();
        this.openButton.focus();
    }

    // Loads the search file's parts one after the other, each feeding the engine as it comes:
    // the first results are found while the last parts still load. Resolves false when a part
    // is missing.
    ensureLoaded() {
        if (!this.loading) {
            this.engine = startSearchEngine((message) => this.received(message));
            this.loading = (async () => {
                let loaded = true;
                for (const file of this.files) {
                    if (!(await loadScript(this.doc, file))) loaded = false;
                }
                this.unavailable = !loaded;
                this.engine.send({ type: 'complete', pageCount: this.pageCount });
                return loaded;
            })();
        }
        return this.loading;
    }

    run() {
        const query = this.input.value;
        const loading = this.ensureLoaded();
        const needle = foldQuery(query);
        this.queryId++;
        this.matches = [];
        this.current = -1;
        this.marking = null;
        this.needle = needle;
        this.texts.clearMarks();
        this.list.replaceChildren();
        this.updateButtons();
        if (!needle) {
            this.status.textContent = '';
            return;
        }
        this.status.textContent = 'Recherche…';
        this.engine.send({ type: 'query', id: this.queryId, query });
        loading.then(() => {
            if (this.unavailable && this.needle === needle && this.matches.length === 0) this.showStatus(false);
        });
    }

    // Matches of the query being typed, as the engine finds them. The first turns the book
    // to its page, once the first results show.
    received({ id, matches, done }) {
        if (id !== this.queryId) return; // an earlier query's
        const first = this.matches.length === 0;
        this.matches.push(...matches);
        if (done || this.matches.length > 0) this.showStatus(done);
        this.updateButtons();
        this.listResults(id);
        if (first && this.matches.length > 0) this.select(0, false, true);
    }

    // Lists the results of query `id` a few per frame, up to RESULTS_SHOWN, the first at once.
    async listResults(id) {
        if (this.listing === id) return; // already under way: it lists the new ones too
        this.listing = id;
        for (;;) {
            const wanted = Math.min(this.matches.length, RESULTS_SHOWN);
            if (id !== this.queryId || this.list.childElementCount >= wanted) break;
            this.appendResults(this.list.childElementCount, RESULTS_PER_FRAME);
            await nextFrame();
        }
        if (this.listing === id) this.listing = 0;
    }

    showStatus(done) {
        const pages = new Set(this.matches.map((m) => m.page)).size;
        const count = `${this.matches.length} résultat${this.matches.length > 1 ? 's' : ''} sur ${pages} page${pages > 1 ? 's' : ''}`;
        if (this.matches.length === 0 && this.unavailable) {
            this.status.textContent = 'La recherche est indisponible : le fichier « vellora-search.js » est introuvable.';
        } else if (this.matches.length === 0) this.status.textContent = 'Aucun résultat.';
        else this.status.textContent = done ? `${count}.` : `${count}…`;
    }

    // Lists `count` more matches from `shownBefore` on, up to RESULTS_SHOWN in all.
    appendResults(shownBefore, count) {
        const doc = this.doc;
        this.matches.slice(shownBefore, Math.min(shownBefore + count, RESULTS_SHOWN)).forEach((match, k) => {
            const index = shownBefore + k;
            const text = this.pages[match.page - 1] ?? '';
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
            if (index === this.current) button.setAttribute('aria-current', 'true');
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

    // Turns to the match's page (`later`: once the results listed so far show), then, in a task
    // of its own once the turn shows, marks every match on it, the chosen one apart.
    async select(index, announce, later = false) {
        this.current = index;
        const match = this.matches[index];
        const turn = {};
        this.marking = turn;
        this.texts.clearMarks();
        [...this.list.children].forEach((item, i) => {
            const button = item.firstChild;
            if (i === index) button.setAttribute('aria-current', 'true');
            else button.removeAttribute('aria-current');
        });
        if (announce) this.status.textContent = `Résultat ${index + 1} sur ${this.matches.length}, page ${match.page}.`;
        this.updateButtons();
        if (later) {
            await nextFrame();
            if (this.marking !== turn) return;
        }
        this.goTo(match.page);
        await nextFrame();
        if (this.marking !== turn) return;
        const ranges = [];
        for (const other of this.matches.filter((m) => m.page === match.page)) {
            for (const [start, end] of other.ranges ?? [[other.start, other.end]]) ranges.push([start, end, other === match]);
        }
        const marks = await this.texts.mark(match.page, ranges);
        // Another match was chosen, or the search closed, while the page's text came.
        if (this.marking !== turn) marks.forEach((mark) => mark.remove());
    }

    updateButtons() {
        const none = this.matches.length === 0;
        this.previousButton.disabled = none;
        this.nextButton.disabled = none;
    }
}
