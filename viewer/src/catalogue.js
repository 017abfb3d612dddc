// "vellora-catalogue.js", the manifest a build writes last: what each page has besides its
// image, the document's outline, its reading direction and the search file. A folder made by
// an older Vellora has none; everything here then falls back to a plain catalogue.

export function readManifest(pageCount) {
    const manifest = window.velloraCatalogue;
    if (!manifest || typeof manifest !== 'object' || manifest.version !== 1) return null;
    const pages = Array.isArray(manifest.pages) ? manifest.pages : [];
    return {
        // Whether page i (0-based) has a text layer script.
        hasText: (i) => Array.isArray(pages[i]?.files) && pages[i].files.includes(`page${i + 1}.js`),
        outline: cleanOutline(manifest.outline, pageCount, 0),
        rightToLeft: manifest.direction === 'rtl',
        search: manifest.search === 'vellora-search.js' ? manifest.search : null,
    };
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
