// A catalogue put on the web, in Debian's Chromium: sharing the open page with and without the
// system's share sheet or the clipboard, the PDF offered for download as the manifest says, and
// the catalogue in a frame on a page of another site, which it must neither scroll, nor take
// the keyboard from, nor fill the history of.
import assert from 'node:assert/strict';
import fs from 'node:fs';
import path from 'node:path';
import { after, before, test } from 'node:test';
import { launchChromium, openCatalogue } from './browser.mjs';
import { makeCatalogue } from './catalogue.mjs';
import { startServer } from './server.mjs';
import { makeTextPdf, SAMPLE } from '../common/text-pdf.mjs';

const WORK = path.join(process.env.XDG_CACHE_HOME ?? '/tmp', 'publish');
const HOST = path.join(WORK, 'host');
const PDF = makeTextPdf(SAMPLE);

// Manifest fields as the build writes them for a published catalogue, for a plain one, and
// hostile ones that must come to nothing.
const CATALOGUES = {
    published: { title: 'Printemps 2027', url: 'https://exemple.fr/catalogues/printemps', pdf: 'Catalogue printemps.pdf' },
    plain: { url: null, pdf: null },
    hostile: { title: 'Piège', url: 'javascript:alert(1)', pdf: '../Catalogue printemps.pdf' },
};

let browser;
let site; // the catalogues
let host; // another site's page

before(async () => {
    fs.rmSync(WORK, { recursive: true, force: true });
    for (const [name, fields] of Object.entries(CATALOGUES)) {
        makeCatalogue(path.join(WORK, name), { htmlName: `${name}.html`, pages: 9, manifest: { fields } });
        fs.writeFileSync(path.join(WORK, name, 'Catalogue printemps.pdf'), PDF);
    }
    browser = await launchChromium();
    site = await startServer(WORK);
    // Another site's page: an article, the catalogue's frame, more article; it records its keys.
    fs.mkdirSync(HOST);
    for (const [name, allow] of [['allowed', 'allow="fullscreen"'], ['bare', '']]) {
        fs.writeFileSync(path.join(HOST, `${name}.html`), `<!DOCTYPE html><html lang="fr"><meta charset="utf-8">
<title>Hôte</title><body style="margin: 0"><p style="height: 1200px; margin: 0">Article</p>
<iframe src="${site.base}/published/published.html" width="1000" height="500" ${allow} style="display: block; border: 0"></iframe>
<p style="height: 2000px">Suite</p>
<script>window.keys = []; addEventListener('keydown', (event) => keys.push(event.key)); scrollTo(0, 800);</script>`);
    }
    host = await startServer(HOST);
});

after(async () => {
    await browser?.close();
    await site?.close();
    await host?.close();
});

const url = (over, name, hash) => (over === 'http' ? `${site.base}/${name}/${name}.html${hash}`
    : `file://${WORK}/${name}/${name}.html${hash}`);

// What the browser offers the page: a share sheet that accepts, refuses or is absent, a clipboard
// that refuses. The share sheet's calls are kept in window.shared.
function browserOffers([share, clipboard]) {
    window.shared = [];
    const refused = async () => {
        throw new DOMException('Refusé', 'NotAllowedError');
    };
    delete Navigator.prototype.share;
    if (share !== 'absent') {
        Navigator.prototype.share = async (data) => {
            window.shared.push(data);
            if (share === 'refuse') await refused();
        };
    }
    if (clipboard === 'refuse') Clipboard.prototype.writeText = refused;
}

test('the share button and the PDF link, from disk and over loopback', async () => {
    const address = 'https://exemple.fr/catalogues/printemps/published.html';
    const sheet = (n) => [{ title: 'Printemps 2027', url: `${address}#page=${n}` }];
    const pdfLink = 'Catalogue%20printemps.pdf';
    const cases = [
        // catalogue, opened over, fragment, share sheet and clipboard, then: the share sheet's
        // calls, the link copied, the link shown to copy by hand, the PDF link's target
        ['published', 'file', '#page=4', ['accept'], sheet(4), '', '', pdfLink],
        ['published', 'http', '#page=8', ['refuse'], sheet(8), `${address}#page=8`, '', pdfLink],
        ['plain', 'http', '?source=lettre#page=6', ['absent'], [], `${site.base}/plain/plain.html?source=lettre#page=6`, '', null],
        ['hostile', 'file', '', ['absent', 'refuse'], [], '', `file://${WORK}/hostile/hostile.html#page=1`, null],
    ];
    for (const [name, over, hash, offers, shared, copied, shown, pdf] of cases) {
        const what = `${name} over ${over}${hash} with ${offers}`;
        const permissions = over === 'http' ? ['clipboard-read', 'clipboard-write'] : [];
        const page = await openCatalogue(browser, url(over, name, hash),
            { init: [browserOffers, offers], context: { acceptDownloads: true, permissions } });
        assert.deepEqual(await page.evaluate(() => [...document.querySelectorAll('#share, #download')]
            .filter((e) => !e.hidden).map((e) => [e.getAttribute('aria-label'), e.title, e.getAttribute('href')])),
        [['Partager cette page', 'Partager cette page', null],
            ...pdf ? [['Télécharger le PDF', 'Télécharger le PDF', pdf]] : []], what);
        await page.click('#share');
        await page.waitForFunction((sheetOnly) => (sheetOnly ? window.shared.length > 0
            : document.getElementById('share-notice').textContent || !document.getElementById('share-box').hidden),
        !copied && !shown);
        const field = () => {
            const input = document.activeElement;
            return input.id === 'share-link' ? [input.value, input.selectionStart, input.selectionEnd] : [];
        };
        assert.deepEqual([
            await page.evaluate(() => window.shared),
            over === 'http' ? await page.evaluate(() => navigator.clipboard.readText()) : '',
            await page.locator('#share-notice').textContent(),
            await page.evaluate(field),
        ], [shared, copied, copied ? 'Lien copié' : '', shown ? [shown, 0, shown.length] : []], what);
        if (pdf && over === 'http') {
            // From the keyboard: the link takes the focus and Enter saves the file under its name.
            await page.focus('#download');
            const [download] = await Promise.all([page.waitForEvent('download'), page.keyboard.press('Enter')]);
            assert.deepEqual([download.suggestedFilename(), fs.readFileSync(await download.path())],
                ['Catalogue printemps.pdf', PDF]);
        }
        await page.done();
    }
});

// The host page shows its article, then the catalogue's frame (1000 x 500) from 1200 px down,
// scrolled to 800: the frame's top 400 px below the window's, its bottom out of sight. Points
// are the host window's.
const BESIDE_BOOK = { x: 60, y: 650 };
const ON_COVER = { x: 700, y: 650 };

async function openHost(name, options = {}) {
    const context = await browser.newContext({ viewport: { width: 1280, height: 800 }, ...options });
    const page = await context.newPage();
    const errors = [];
    page.on('pageerror', (error) => errors.push(error.message));
    await page.goto(`${host.base}/${name}.html`);
    const frame = page.frames().find((f) => f.url().startsWith(site.base));
    await frame.waitForFunction(() => document.getElementById('page-number')?.textContent === '1 / 9');
    const state = async () => ({
        pages: await frame.locator('#page-number').textContent(),
        hash: await frame.evaluate(() => location.hash),
        fullScreenButton: await frame.locator('[data-button="fullScreen"]').isVisible(),
        ...(await page.evaluate(() => ({ scroll: scrollY, keys: [...window.keys], focus: document.activeElement.tagName,
            history: history.length, fullScreen: document.fullscreenElement?.tagName ?? null }))),
    });
    page.done = async () => {
        assert.deepEqual(errors, [], 'page errors');
        await context.close();
    };
    return { page, frame, state };
}

test('in a frame on another site: turns, takes the keys once clicked, leaves the host page as it was', async () => {
    const { page, frame, state } = await openHost('allowed');
    const expected = {
        hash: '#page=1', fullScreenButton: true, scroll: 800, keys: [], focus: 'BODY', history: 2, fullScreen: null,
    };
    const steps = [
        // what the reader does, then the catalogue's pages and what changed in the host page
        ['presses ArrowRight on the host page', () => page.keyboard.press('ArrowRight'), '1 / 9', { keys: ['ArrowRight'] }],
        ['clicks the cover', () => page.mouse.click(ON_COVER.x, ON_COVER.y), '2–3 / 9', { focus: 'IFRAME' }],
        ['presses ArrowRight', () => page.keyboard.press('ArrowRight'), '4–5 / 9', {}],
        ['picks page 8 among the pages', async () => {
            await frame.click('[data-button="pages"]');
            await frame.click('#thumbnails [aria-label="Aller à la page 8"]');
        }, '8–9 / 9', {}],
        ['asks for full screen', () => frame.click('[data-button="fullScreen"]'), '8–9 / 9', { fullScreen: 'IFRAME' }],
    ];
    for (const [what, act, pages, changes] of steps) {
        await act();
        await frame.waitForFunction((want) => document.getElementById('page-number').textContent === want &&
            window.velloraViewer.book.getState() === 'read', pages);
        Object.assign(expected, changes, { pages, hash: `#page=${/^\d+/.exec(pages)[0]}` });
        assert.deepEqual(await state(), expected, what);
    }
    await page.done();
});

test('in a frame on another site: touches and the wheel beside the book scroll the host page', async () => {
    const cases = [
        // host page, what the reader does on the frame, where, whether the host page scrolls
        ['bare', 'touch', BESIDE_BOOK, true],
        ['bare', 'touch', ON_COVER, false],
        ['allowed', 'wheel', BESIDE_BOOK, true],
    ];
    for (const [name, source, { x, y }, scrolls] of cases) {
        const { page, state } = await openHost(name, { hasTouch: true });
        if (source === 'wheel') {
            await page.mouse.move(x, y);
            await page.mouse.wheel(0, 200);
            await page.waitForFunction(() => scrollY !== 800);
        } else {
            const session = await page.context().newCDPSession(page);
            const at = (dy) => [{ x, y: y - dy, id: 1, radiusX: 2, radiusY: 2, force: 1 }];
            await session.send('Input.dispatchTouchEvent', { type: 'touchStart', touchPoints: at(0) });
            for (let dy = 20; dy <= 200; dy += 20) {
                await session.send('Input.dispatchTouchEvent', { type: 'touchMove', touchPoints: at(dy) });
            }
            await session.send('Input.dispatchTouchEvent', { type: 'touchEnd', touchPoints: [] });
        }
        // Full screen is offered only where the host page allows it.
        const { scroll, pages, fullScreenButton } = await state();
        assert.deepEqual([scroll > 800, pages, fullScreenButton], [scrolls, '1 / 9', name === 'allowed'],
            `${name} ${source} ${x}`);
        await page.done();
    }
});
