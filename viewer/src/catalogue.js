// What the viewer knows about the catalogue: the configuration's page list, completed by the
// manifest "vellora-catalogue.js" when the folder has one (true page sizes, the smaller images,
// the vector drawing and the text layer of each page, the document's outline, its reading
// direction, the search file, the document's title, the folder's address on the web and the
// PDF copy offered for download). A folder from an older Vellora has no manifest: every page
// then shows its one large image, at the size the configuration gives, without text, reading
// left to right.

// Long sides of the images the converter writes; the large one is at least this long.
export const LONG_SIDE = { thumbnail: 200, medium: 800, large: 1600 };

function positive(value) {
    return typeof value === 'number' && Number.isFinite(value) && value > 0 ? value : null;
}

function pageEntry(manifestPage, name, number) {
    const files = Array.isArray(manifestPage?.files) ? manifestPage.files : [];
    const listed = (file) => (files.includes(file) ? file : null);
    const width = positive(manifestPage?.width);
    const height = positive(manifestPage?.height);
    return {
        number,
        large: name,
        medium: listed(`page${number}-m.jpg`),
        thumbnail: listed(`page${number}-t.jpg`),
        vector: listed(`page${number}.svg`),
        text: listed(`page${number}.js`),
        files,
        // The page's own shape, when the manifest gives it.
        ratio: width && height ? width / height : null,
    };
}

export function readCatalogue(manifest, config) {
    const valid = manifest && typeof manifest === 'object' && manifest.version === 1 &&
        Array.isArray(manifest.pages);
    const pages = config.pages.map((name, i) => pageEntry(valid ? manifest.pages[i] : null, name, i + 1));
    return {
        hasManifest: !!valid,
        pages,
        // Whether page i (0-based) has a text layer script.
        hasText: (i) => !!pages[i]?.text,
        outline: valid ? cleanOutline(manifest.outline, pages.length, 0) : [],
        direction: valid && manifest.direction === 'rtl' ? 'rtl' : 'ltr',
        rightToLeft: !!valid && manifest.direction === 'rtl',
        search: valid ? searchFiles(manifest.search) : null,
        title: valid ? plainText(manifest.title) : null,
        url: valid ? publicationAddress(manifest.url) : null,
        pdf: valid ? pdfName(manifest.pdf) : null,
    };
}

// A text of the document for the share sheet: control characters dropped, blanks collapsed.
function plainText(value) {
    if (typeof value !== 'string') return null;
    const text = value.replace(/[\u0000-\u001f\u007f-\u009f]+/g, ' ').replace(/\s+/g, ' ').trim();
    return text === '' ? null : text;
}

// The folder's address on the web: an absolute http or https URL, always ending with "/", so
// that the page's own name resolves inside it. Anything else is ignored.
function publicationAddress(value) {
    if (typeof value !== 'string') return null;
    let url;
    try {
        url = new URL(value);
    } catch {
        return null;
    }
    if (!/^https?:$/.test(url.protocol) || url.username || url.password) return null;
    url.hash = '';
    url.search = '';
    if (!url.pathname.endsWith('/')) url.pathname += '/';
    return url.href;
}

// The PDF copy: a plain name of a PDF file in the folder, never a path or an address.
function pdfName(value) {
    if (typeof value !== 'string' || value.length > 255) return null;
    return /^[^./\\\u0000-\u001f\u007f][^/\\\u0000-\u001f\u007f]*\.pdf$/i.test(value) ? value : null;
}

// The search file, or its parts in page order: only the names the build writes.
function searchFiles(search) {
    if (search === 'vellora-search.js') return search;
    const part = /^vellora-search-[1-9]\d{0,4}\.js$/;
    if (Array.isArray(search) && search.length > 0 && search.every((name) => typeof name === 'string' && part.test(name))) {
        return [...search];
    }
    return null;
}

// The image of `page` to show `cssWidth` CSS pixels wide at `pixelRatio`: the smallest one whose
// width covers the pixels needed, else the largest. `sharpest` asks for the best source there
// is (the vector drawing when the catalogue has one).
export function imageFor(page, cssWidth, pixelRatio, { sharpest = false } = {}) {
    if (sharpest) return page.vector ?? page.large;
    const needed = cssWidth * pixelRatio * 0.95;
    const widthOf = (longSide) => longSide * Math.min(page.ratio ?? 0.75, 1);
    for (const kind of ['thumbnail', 'medium']) {
        if (page[kind] && widthOf(LONG_SIDE[kind]) >= needed) return page[kind];
    }
    return page.large;
}

// Bookmarks as text and page numbers only, whatever the file holds. The panel nests at most
// OUTLINE_DEPTH levels; bookmarks below that are kept, listed in order under their deepest
// shown ancestor.
const OUTLINE_DEPTH = 16;

function bookmark(entry, pageCount, children) {
    return {
        title: String(entry.title ?? '').replaceAll('\0', ''),
        page: Number.isInteger(entry.page) && entry.page >= 1 && entry.page <= pageCount ? entry.page : null,
        children,
    };
}

const isEntry = (entry) => entry && typeof entry === 'object';

function cleanOutline(entries, pageCount, depth) {
    if (!Array.isArray(entries)) return [];
    return entries.filter(isEntry).map((entry) => bookmark(entry, pageCount,
        depth + 1 < OUTLINE_DEPTH ? cleanOutline(entry.children, pageCount, depth + 1)
            : flatOutline(entry.children, pageCount)));
}

// Every bookmark under `entries`, in reading order, without nesting.
function flatOutline(entries, pageCount) {
    const flat = [];
    const pending = [Array.isArray(entries) ? entries.filter(isEntry) : []];
    while (pending.length > 0) {
        const level = pending[pending.length - 1];
        if (level.length === 0) {
            pending.pop();
            continue;
        }
        const entry = level.shift();
        flat.push(bookmark(entry, pageCount, []));
        if (Array.isArray(entry.children)) pending.push(entry.children.filter(isEntry));
    }
    return flat;
}

// Loads a script of the catalogue folder through a <script> element, the one way that works
// from disk. Resolves true once it has run, false when it cannot be loaded.
export function loadScript(doc, name) {
    return new Promise((resolve) => {
        const script = doc.createElement('script');
        script.src = name;
        script.async = true;
        script.addEventListener('load', () => {
            script.remove();
            resolve(true);
        });
        script.addEventListener('error', () => {
            script.remove();
            resolve(false);
        });
        doc.head.appendChild(script);
    });
}
