// A catalogue put on the web, in Debian's Chromium: sharing the open page with and without the
// system's share sheet or the clipboard, the PDF offered for download as the manifest says, and
// the catalogue in a frame on a page of another site, which it must neither scroll, nor take
// the keyboard from, nor fill the history of.
import assert from 'node:assert/strict';
import fs from 'node:fs';
import path from 'node:path';
import { after, before, describe, test } from 'node:test';
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
    plain: { title: 'Printemps 2027', url: null, pdf: null },
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
    fs.mkdirSync(HOST);
    for (const [name, allow] of [['allowed', 'allow="fullscreen"'], ['bare', '']]) {
        fs.writeFileSync(path.join(HOST, `${name}.html`), `<!DOCTYPE html>
<html lang="fr"><head><meta charset="utf-8"><title>Hôte</title></head>
<body style="margin: 0">
<p style="height: 1200px; margin: 0">Un article avant le catalogue.</p>
<iframe src="${site.base}/published/published.html" width="1000" height="500" ${allow} style="display: block; border: 0"></iframe>
<p style="height: 2000px">Et après.</p>
<script>
window.keys = [];
addEventListener('keydown', (event) => keys.push(event.key));
scrollTo(0, 800);
</script>
</body></html>
`);
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

// What the browser offers the page: a share sheet that accepts or refuses, or none; a clipboard
// that refuses. Every call is recorded in window.shared.
function browserOffers({ share, clipboard }) {
    window.shared = [];
    if (share === 'absent') delete Navigator.prototype.share;
    else {
        Object.defineProperty(Navigator.prototype, 'share', {
            configurable: true,
            value: async (data) => {
                window.shared.push(data);
                if (share === 'refuse') throw new DOMException('Refusé', 'NotAllowedError');
            },
        });
    }
    if (clipboard === 'refuse') {
        Clipboard.prototype.writeText = async () => {
            throw new DOMException('Refusé', 'NotAllowedError');
        };
    }
}

describe('sharing the open page', () => {
    const cases = [
        // catalogue, opened over, address fragment, browser offers,
        // then: share sheet calls, clipboard, notice, link shown selected in the field
        ['published', 'file', '#page=4', { share: 'accept' },
            () => [[{ title: 'Printemps 2027', url: 'https://exemple.fr/catalogues/printemps/published.html#page=4' }], '', '', '']],
        ['published', 'http', '#page=8', { share: 'refuse' },
            () => [[{ title: 'Printemps 2027', url: 'https://exemple.fr/catalogues/printemps/published.html#page=8' }],
                'https://exemple.fr/catalogues/printemps/published.html#page=8', 'Lien copié', '']],
        ['plain', 'http', '?source=lettre#page=6', { share: 'absent' },
            () => [[], `${site.base}/plain/plain.html?source=lettre#page=6`, 'Lien copié', '']],
        ['hostile', 'file', '', { share: 'absent', clipboard: 'refuse' },
            () => [[], '', '', `file://${WORK}/hostile/hostile.html#page=1`]],
    ];
    for (const [name, over, hash, offers, expected] of cases) {
        test(`${name} over ${over}${hash}, share sheet ${offers.share}${offers.clipboard ? ', clipboard refused' : ''}`, async () => {
            const page = await openCatalogue(browser, url(over, name, hash), {
                init: [browserOffers, offers],
                context: over === 'http' ? { permissions: ['clipboard-read', 'clipboard-write'] } : {},
            });
            const share = page.locator('#share');
            assert.deepEqual([await share.getAttribute('aria-label'), await share.getAttribute('title')],
                ['Partager cette page', 'Partager cette page']);
            await share.click();
            const field = page.locator('#share-link');
            const seen = async () => [
                await page.evaluate(() => window.shared),
                over === 'http' ? await page.evaluate(() => navigator.clipboard.readText()) : '',
                await page.locator('#share-notice').textContent(),
                await field.isVisible() ? await field.inputValue() : '',
            ];
            const want = expected();
            await page.waitForFunction((n) => window.shared.length === n, want[0].length);
            if (want[2] || want[3]) {
                await page.waitForFunction(() => document.getElementById('share-notice').textContent ||
                    !document.getElementById('share-box').hidden);
            }
            assert.deepEqual(await seen(), want);
            if (want[3]) {
                assert.deepEqual(await page.evaluate(() => {
                    const input = document.activeElement;
                    return [input.id, input.selectionStart, input.selectionEnd];
                }), ['share-link', 0, want[3].length], 'the link is selected, ready to copy');
                await page.keyboard.press('Escape');
                assert.equal(await field.isVisible(), false);
                assert.equal(await page.evaluate(() => document.activeElement.id), 'share');
            }
            await page.done();
        });
    }
});

describe('the PDF to download', () => {
    const cases = [
        // catalogue, opened over, link shown (its href), name of the file saved
        ['published', 'http', 'Catalogue%20printemps.pdf', 'Catalogue printemps.pdf'],
        ['published', 'file', 'Catalogue%20printemps.pdf', null],
        ['plain', 'file', null, null],
        ['hostile', 'http', null, null],
    ];
    for (const [name, over, href, saved] of cases) {
        test(`${name} over ${over}: ${href ? 'offered' : 'not offered'}`, async () => {
            const page = await openCatalogue(browser, url(over, name, ''), { context: { acceptDownloads: true } });
            const link = page.locator('#download');
            assert.equal(await link.isVisible(), href !== null);
            if (href) {
                assert.deepEqual(await link.evaluate((a) => [a.getAttribute('href'), a.getAttribute('download'),
                    a.getAttribute('aria-label')]), [href, 'Catalogue printemps.pdf', 'Télécharger le PDF']);
            }
            if (saved) {
                // From the keyboard: the link takes the focus and Enter follows it.
                await link.focus();
                const [download] = await Promise.all([page.waitForEvent('download'), page.keyboard.press('Enter')]);
                assert.equal(download.suggestedFilename(), saved);
                assert.deepEqual(fs.readFileSync(await download.path()), PDF);
            }
            await page.done();
        });
    }
});

// The host page shows its article, then the catalogue's frame (1000 x 500) from 1200 px down,
// scrolled to 800: the frame's top 400 px below the window's, its bottom out of sight. Points
// are the host window's.
const FRAME_TOP = 400;
const BESIDE_BOOK = { x: 60, y: FRAME_TOP + 250 };
const ON_COVER = { x: 700, y: FRAME_TOP + 250 };

async function openHost(name, options = {}) {
    const context = await browser.newContext({ viewport: { width: 1280, height: 800 }, ...options });
    const page = await context.newPage();
    const errors = [];
    page.on('pageerror', (error) => errors.push(error.message));
    await page.goto(`${host.base}/${name}.html`);
    const frame = page.frames().find((f) => f.url().startsWith(site.base));
    await frame.waitForFunction(() => window.velloraViewer?.book &&
        document.getElementById('page-number').textContent === '1 / 9');
    const state = async () => ({
        pages: await frame.locator('#page-number').textContent(),
        hash: await frame.evaluate(() => location.hash),
        ...(await page.evaluate(() => ({
            scroll: scrollY, keys: [...window.keys], focus: document.activeElement.tagName, history: history.length,
        }))),
    });
    const settled = (text) => frame.waitForFunction((want) => document.getElementById('page-number').textContent === want &&
        window.velloraViewer.book.getState() === 'read', text);
    const done = async () => {
        assert.deepEqual(errors, [], 'page errors');
        await context.close();
    };
    return { page, frame, state, settled, done };
}

describe('the catalogue in a frame on another site', () => {
    test('turns pages, takes the keyboard only once clicked, never scrolls the host page nor adds to its history', async () => {
        const { page, frame, state, settled, done } = await openHost('allowed');
        const steps = [
            // what the reader does, then the catalogue's pages, the keys the host page saw and
            // where the host page's focus is
            ['presses ArrowRight on the host page', () => page.keyboard.press('ArrowRight'), '1 / 9', ['ArrowRight'], 'BODY'],
            ['clicks the cover', () => page.mouse.click(ON_COVER.x, ON_COVER.y), '2–3 / 9', ['ArrowRight'], 'IFRAME'],
            ['presses ArrowRight', () => page.keyboard.press('ArrowRight'), '4–5 / 9', ['ArrowRight'], 'IFRAME'],
            ['picks page 8 among the pages', async () => {
                await frame.click('[data-button="pages"]');
                await frame.click('#thumbnails [aria-label="Aller à la page 8"]');
            }, '8–9 / 9', ['ArrowRight'], 'IFRAME'],
            ['clicks "previous"', () => frame.click('[data-button="previous"]'), '6–7 / 9', ['ArrowRight'], 'IFRAME'],
        ];
        const history = (await state()).history;
        for (const [what, act, pages, keys, focus] of steps) {
            await act();
            await settled(pages);
            assert.deepEqual(await state(), {
                pages, hash: `#page=${pages.split('–')[0].split(' ')[0]}`, scroll: 800, keys, focus, history,
            }, what);
        }
        await done();
    });

    const gestures = [
        // what the reader does on the frame, whether the host page scrolls
        ['a finger drags up beside the book', 'touch', BESIDE_BOOK, true],
        ['a finger drags up on the book', 'touch', ON_COVER, false],
        ['the wheel turns beside the book', 'wheel', BESIDE_BOOK, true],
    ];
    for (const [what, source, { x, y }, scrolls] of gestures) {
        test(`${what}: the host page ${scrolls ? 'scrolls' : 'stays'}`, async () => {
            const { page, state, done } = await openHost('allowed', { hasTouch: true });
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
            const { scroll, pages } = await state();
            assert.deepEqual([scroll > 800, pages], [scrolls, '1 / 9']);
            await done();
        });
    }

    const screens = [
        // host page, full-screen button shown, what the host page shows full screen after it
        ['allowed', true, 'IFRAME'],
        ['bare', false, null],
    ];
    for (const [name, shown, fullScreen] of screens) {
        test(`full screen in a frame ${name === 'allowed' ? 'allowed' : 'not allowed'} by the host page`, async () => {
            const { page, frame, done } = await openHost(name);
            const button = frame.locator('[data-button="fullScreen"]');
            assert.equal(await button.isVisible(), shown);
            if (shown) {
                await button.click();
                await page.waitForFunction(() => document.fullscreenElement);
            }
            assert.equal(await page.evaluate(() => document.fullscreenElement?.tagName ?? null), fullScreen);
            await done();
        });
    }
});
