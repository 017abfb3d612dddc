// What the viewer knows about the catalogue: the configuration's page list, completed by the
// manifest "vellora-catalogue.js" when the folder has one (true page sizes, the smaller images,
// the vector drawing and the text layer of each page, the document's outline, its reading
// direction and the search file). A folder from an older Vellora has no manifest: every page
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
        search: valid && manifest.search === 'vellora-search.js' ? manifest.search : null,
    };
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

// Bookmarks as text and page numbers only, whatever the file holds.
function cleanOutline(entries, pageCount, depth) {
    if (!Array.isArray(entries) || depth > 16) return [];
    return entries
        .filter((entry) => entry && typeof entry === 'object')
        .map((entry) => ({
            title: String(entry.title ?? ''),
            page: Number.isInteger(entry.page) && entry.page >= 1 && entry.page <= pageCount ? entry.page : null,
            children: cleanOutline(entry.children, pageCount, depth + 1),
        }));
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
