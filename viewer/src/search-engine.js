// The search itself: folding the text of every page and finding a query in it, away from the
// page. It runs in a worker made from this very code (the functions below, turned back into
// their source and handed to the worker as a Blob URL), so it works from disk too, where a
// worker cannot load a file of the folder; the page feeds it the text by message. Where no
// worker can be made it runs on the page, a slice at a time.
//
// Everything the worker runs is in the declarations below, which refer to nothing outside
// them: the worker receives their source text and nothing else.

// Folds text for matching: compatibility forms decomposed (NFKD: "ﬁ" is "fi", full-width
// letters are plain ones), combining marks dropped ("é" and "e" + U+0301 are both "e"), case
// folded ("ß" is "ss"), every blank a plain space. `starts[k]` and `ends[k]` are the place of
// the characters of `text` that gave character k of the result, so a match is found back in
// the text. With `joinHyphens`, a hyphen that ends a line after a letter, before a line that
// starts with a letter, is left out with its line end: "catalo-" and "gue" read "catalogue".
function foldText(text, joinHyphens) {
    const cache = foldText.cache ?? (foldText.cache = new Map());
    const skipped = new Set();
    if (joinHyphens) {
        for (const match of text.matchAll(/\p{L}[-\u00ad\u2010\u2011]\n(?=\p{L})/gu)) {
            const hyphen = match.index + match[0].length - 2;
            skipped.add(hyphen);
            skipped.add(hyphen + 1);
        }
    }
    // Plain ASCII folds in place: the places are the characters' own.
    if (skipped.size === 0 && !/[^\x00-\x7f]/.test(text)) {
        return { folded: text.toLowerCase().replace(/\s/g, ' '), starts: null, ends: null };
    }
    const parts = [];
    let starts = new Int32Array(text.length + 16);
    let ends = new Int32Array(text.length + 16);
    let length = 0;
    let i = 0;
    while (i < text.length) {
        const code = text.codePointAt(i);
        const size = code > 0xffff ? 2 : 1;
        if (skipped.has(i)) {
            i += size;
            continue;
        }
        let out;
        if (code < 0x80) {
            out = code >= 65 && code <= 90 ? String.fromCharCode(code + 32)
                : code >= 9 && code <= 13 ? ' ' : text[i];
        } else {
            const c = text.slice(i, i + size);
            out = cache.get(c);
            if (out === undefined) {
                const base = (s) => s.normalize('NFKD').replace(/\p{M}/gu, '');
                out = /\s/u.test(c) ? ' ' : base(base(c).toUpperCase().toLowerCase());
                cache.set(c, out);
            }
        }
        if (out.length === 0) {
            // A dropped mark belongs to the character before it.
            for (let k = length - 1; k >= 0 && ends[k] === i; k--) ends[k] = i + size;
        } else {
            if (length + out.length > starts.length) {
                const grow = (array) => {
                    const bigger = new Int32Array(array.length * 2 + out.length);
                    bigger.set(array);
                    return bigger;
                };
                starts = grow(starts);
                ends = grow(ends);
            }
            parts.push(out);
            for (let k = 0; k < out.length; k++) {
                starts[length] = i;
                ends[length] = i + size;
                length++;
            }
        }
        i += size;
    }
    return { folded: parts.join(''), starts: starts.subarray(0, length), ends: ends.subarray(0, length) };
}

// The query as it is looked for: folded, blanks run together, trimmed.
function foldQuery(query) {
    return foldText(String(query)).folded.replace(/ +/g, ' ').trim();
}

// The places of `needle` in a page folded by foldText: each as ranges [start, end) of the
// page's text, one range, or two when the match runs over a joined line end.
function findInFolded(page, needle, into, pageNumber) {
    const { folded } = page;
    const { starts, ends } = page;
    const startOf = (k) => (page.starts ? starts[k] : k);
    const endOf = (k) => (page.ends ? ends[k] : k + 1);
    for (let at = folded.indexOf(needle); at >= 0; at = folded.indexOf(needle, at + 1)) {
        const ranges = [];
        let from = startOf(at);
        for (let k = at; k < at + needle.length - 1; k++) {
            if (startOf(k + 1) > endOf(k)) {
                ranges.push([from, endOf(k)]);
                from = startOf(k + 1);
            }
        }
        ranges.push([from, endOf(at + needle.length - 1)]);
        into.push({ page: pageNumber, start: ranges[0][0], end: ranges[ranges.length - 1][1], ranges });
    }
}

// Holds the folded pages and answers queries, in slices of about `sliceMs`, sending each
// slice's matches as soon as it has them: { id, matches, searched, done }.
class SearchEngine {
    constructor(post, sliceMs) {
        this.post = post;
        this.sliceMs = sliceMs;
        this.pages = []; // page index -> { text, plain, joined }: the text and its folded forms
        this.total = null; // page count once every part is in
        this.query = null;
        this.timer = null;
    }

    receive(message) {
        if (message.type === 'pages') {
            // Pages are folded when first searched.
            message.texts.forEach((text, k) => {
                this.pages[message.first - 1 + k] = { text: String(text ?? ''), plain: null, joined: null };
            });
            this.schedule();
        } else if (message.type === 'complete') {
            this.total = message.pageCount;
            // Pages no part gave (a part that could not be loaded) have no text.
            for (let k = 0; k < this.total; k++) {
                if (!this.pages[k]) this.pages[k] = { text: '', plain: null, joined: null };
            }
            this.schedule();
        } else if (message.type === 'query') {
            this.query = { id: message.id, needle: foldQuery(message.query), next: 0 };
            this.schedule();
        }
    }

    schedule() {
        if (this.timer === null && this.query) this.timer = setTimeout(() => this.work(), 0);
    }

    work() {
        this.timer = null;
        const query = this.query;
        if (!query) return;
        const started = Date.now();
        const matches = [];
        while (query.next < this.pages.length && this.pages[query.next] && Date.now() - started < this.sliceMs) {
            const page = this.pages[query.next];
            if (page.plain === null) {
                try {
                    page.plain = foldText(page.text, false);
                    page.joined = /[-\u00ad\u2010\u2011]\n/.test(page.text) ? foldText(page.text, true) : null;
                } catch {
                    // A text this browser cannot fold is not searched rather than stopping all.
                    page.plain = { folded: '', starts: null, ends: null };
                }
            }
            if (query.needle) {
                const found = [];
                findInFolded(page.plain, query.needle, found, query.next + 1);
                if (page.joined) {
                    const seen = new Set(found.map((m) => `${m.start}:${m.end}`));
                    const joined = [];
                    findInFolded(page.joined, query.needle, joined, query.next + 1);
                    for (const m of joined) {
                        if (m.ranges.length > 1 && !seen.has(`${m.start}:${m.end}`)) found.push(m);
                    }
                    found.sort((a, b) => a.start - b.start);
                }
                matches.push(...found);
            }
            query.next++;
        }
        const done = this.total !== null && query.next >= this.total;
        if (matches.length || done) this.post({ id: query.id, matches, searched: query.next, done });
        if (done) this.query = null;
        else if (query.next < this.pages.length && this.pages[query.next]) this.schedule();
    }
}

// The worker's own start: answers the page's messages.
function searchWorkerMain(scope) {
    const engine = new SearchEngine((message) => scope.postMessage(message), 40);
    scope.onmessage = (event) => engine.receive(event.data);
    scope.postMessage({ ready: true });
}

// A channel to the search engine: a worker when one can be made, else the engine on the
// page. `onResult` receives the engine's answers.
export function startSearchEngine(onResult) {
    try {
        // Each under the name the rest of this code calls it by (a bundler may make a class an
        // unnamed expression).
        const source = [foldText, foldQuery, findInFolded, SearchEngine, searchWorkerMain]
            .map((part) => `const ${part.name} = ${String(part)};`).join('\n') +
            `\n${searchWorkerMain.name}(self);\n`;
        const url = URL.createObjectURL(new Blob([source], { type: 'text/javascript' }));
        const worker = new Worker(url);
        let fallen = false; // true once the engine runs here; null once the worker answered
        const local = []; // what the worker was sent, until it answers
        let fallback = null;
        // A worker that cannot start (a page that forbids them) reports an error: the engine
        // then runs here, and is given again what the worker was sent.
        worker.onerror = () => {
            if (fallen !== false) return;
            fallen = true;
            URL.revokeObjectURL(url);
            worker.terminate();
            fallback = new SearchEngine(onResult, 12);
            for (const message of local) fallback.receive(message);
            local.length = 0;
        };
        worker.onmessage = (event) => {
            if (event.data?.ready) {
                // It runs: its source and what it was sent are no longer kept here.
                fallen = null;
                URL.revokeObjectURL(url);
                local.length = 0;
                return;
            }
            onResult(event.data);
        };
        return {
            // Where the engine runs: 'worker', or 'page' once the worker failed.
            get runs() {
                return fallen ? 'page' : 'worker';
            },
            send(message) {
                if (fallen) {
                    fallback.receive(message);
                    return;
                }
                if (fallen === false) local.push(message);
                worker.postMessage(message);
            },
        };
    } catch {
        const engine = new SearchEngine(onResult, 12);
        return { runs: 'page', send: (message) => engine.receive(message) };
    }
}

export { foldQuery, foldText };
