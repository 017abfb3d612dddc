// What the viewer knows about each page: the configuration's page list, completed by the
// manifest "vellora-catalogue.js" when the folder has one (true page sizes, the smaller images
// and the vector drawing). A folder from an older Vellora has no manifest: every page then
// shows its one large image, at the size the configuration gives.

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
        outline: valid && Array.isArray(manifest.outline) ? manifest.outline : [],
        direction: valid && manifest.direction === 'rtl' ? 'rtl' : 'ltr',
        search: valid && typeof manifest.search === 'string' ? manifest.search : null,
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
