// The catalogue viewer in Debian's Chromium: catalogues laid out as a build leaves them,
// opened from disk and from a loopback web server.
import assert from 'node:assert/strict';
import { execFileSync } from 'node:child_process';
import fs from 'node:fs';
import { createRequire } from 'node:module';
import path from 'node:path';
import { after, before, describe, test } from 'node:test';
import { chromium } from 'playwright-core';
import { BUTTONS, drawPages, makeCatalogue, toolFolder, writeManifest } from './catalogue.mjs';
import { startServer } from './server.mjs';

const CHROMIUM = '/usr/bin/chromium';
const WORK = path.join(process.env.XDG_CACHE_HOME ?? '/tmp', 'catalogues');
const DESKTOP = { width: 1280, height: 800 };
const PHONE = { width: 390, height: 844 };

let browser;
let server;

before(async () => {
    if (!fs.existsSync(CHROMIUM)) {
        throw new Error(`missing dependency: ${CHROMIUM} (install the chromium package)`);
    }
    fs.rmSync(WORK, { recursive: true, force: true });
    fs.mkdirSync(WORK, { recursive: true });
    browser = await chromium.launch({
        executablePath: CHROMIUM,
        args: [
            '--no-sandbox',
            '--disable-gpu',
            '--disable-background-networking',
            '--disable-component-update',
            '--disable-sync',
            '--no-first-run',
        ],
    });
    const ruffle = path.dirname(createRequire(import.meta.url).resolve('@ruffle-rs/ruffle/package.json'));
    server = await startServer(WORK, { '/ruffle/': ruffle });
});

after(async () => {
    await browser?.close();
    await server?.close();
});

function catalogue(name, options) {
    return makeCatalogue(path.join(WORK, name), { htmlName: `${name}.html`, ...options });
}

function fileUrl(html, hash = '') {
    return `file://${html}${hash}`;
}

function httpUrl(html, hash = '') {
    return `${server.base}/${path.relative(WORK, html)}${hash}`;
}

// A page whose console errors and uncaught exceptions fail the test that opened it.
async function openPage(url, { viewport = DESKTOP, allowErrors = false, context: options = {} } = {}) {
    const context = await browser.newContext({ viewport, ...options });
    const page = await context.newPage();
    const errors = [];
    page.on('console', (message) => {
        if (message.type() === 'error') errors.push(message.text());
    });
    page.on('pageerror', (error) => errors.push(error.message));
    page.assertNoErrors = () => {
        if (!allowErrors) assert.deepEqual(errors, [], 'console errors');
    };
    page.errors = errors;
    await page.goto(url);
    return page;
}

async function waitForBook(page) {
    await page.waitForFunction(() => {
        const indicator = document.getElementById('page-number');
        return indicator && indicator.textContent.includes('/');
    });
}

async function until(condition, what, timeout = 10000) {
    const end = Date.now() + timeout;
    while (!condition()) {
        if (Date.now() > end) throw new Error(`timed out waiting for ${what}`);
        await new Promise((resolve) => setTimeout(resolve, 50));
    }
}

const indicator = (page) => page.locator('#page-number').textContent();

// Pages whose image is on screen: page-flip hides the others.
async function visiblePageNumbers(page) {
    return page.evaluate(() =>
        [...document.querySelectorAll('.page img')]
            .filter((image) => {
                const box = image.getBoundingClientRect();
                return image.complete && image.naturalWidth > 0 && box.width > 20 && box.height > 20 &&
                    getComputedStyle(image.closest('.page')).display !== 'none';
            })
            .map((image) => Number(image.alt.replace('Page ', '')))
            .sort((a, b) => a - b));
}

async function waitForPages(page, expected) {
    await page.waitForFunction(
        (want) => document.getElementById('page-number').textContent === want, expected);
    // The flip animation ends after the indicator changes.
    await page.waitForFunction(() => window.velloraViewer.book.getState() === 'read');
}

async function closeAll(page) {
    page.assertNoErrors();
    await page.context().close();
}

describe('opening a catalogue', { concurrency: 4 }, () => {
    let html;
    before(() => {
        html = catalogue('open', { pages: 6 });
    });

    for (const [where, url] of [['from disk', () => fileUrl(html)], ['from a web server', () => httpUrl(html)]]) {
        test(`shows the first page ${where}`, async () => {
            const page = await openPage(url());
            await waitForBook(page);
            assert.equal(await indicator(page), '1 / 6');
            assert.deepEqual(await visiblePageNumbers(page), [1]);
            const box = await page.locator('.page img').first().boundingBox();
            assert.ok(box.width > 300 && box.height > 400, `page 1 is drawn large: ${JSON.stringify(box)}`);
            await closeAll(page);
        });
    }

    test('requests nothing outside the catalogue folder', async () => {
        const page = await openPage(httpUrl(html));
        const urls = [];
        page.on('request', (request) => urls.push(request.url()));
        await page.reload();
        await waitForBook(page);
        await page.click('[data-button="next"]');
        await waitForPages(page, '2–3 / 6');
        const folder = `${server.base}/open/`;
        assert.ok(urls.length > 3);
        for (const url of urls) assert.ok(url.startsWith(folder), `request outside the folder: ${url}`);
        await closeAll(page);
    });

    test('reads vellora.xml over HTTP when vellora-config.js is absent, in UTF-8 or Windows-1252', async () => {
        const utf8 = catalogue('xml-utf8', {
            pages: 3, withConfigScript: false, buttons: { next: { alt: 'Page après, déjà' } },
        });
        const latin = catalogue('xml-latin1', { pages: 3, withConfigScript: false });
        const xml = fs.readFileSync(path.join(WORK, 'xml-latin1', 'vellora.xml'), 'utf8')
            .replace('Aller à la page suivante', 'Suivante, très bien');
        fs.writeFileSync(path.join(WORK, 'xml-latin1', 'vellora.xml'), Buffer.from(xml, 'latin1'));
        for (const [html, expected] of [[utf8, 'Page après, déjà'], [latin, 'Suivante, très bien']]) {
            const page = await openPage(httpUrl(html), { allowErrors: true });
            await waitForBook(page);
            assert.equal(await page.getAttribute('[data-button="next"]', 'title'), expected);
            // Only the missing vellora-config.js may complain.
            assert.ok(page.errors.every((text) => /404|Not Found/i.test(text)), page.errors.join('\n'));
            await closeAll(page);
        }
    });
});

describe('configuration', { concurrency: 4 }, () => {
    const configurations = [
        { name: 'defaults', buttons: {} },
        {
            name: 'some-hidden',
            buttons: {
                print: { visible: false },
                index: { visible: false, alt: 'Index caché' },
                fullScreen: { visible: false },
                zoomPlus: { alt: 'Agrandir la page' },
            },
        },
        {
            name: 'only-arrows',
            buttons: Object.fromEntries(BUTTONS.map(([button]) => [
                button, { visible: button === 'previous' || button === 'next', alt: `Bouton ${button}` },
            ])),
        },
    ];

    for (const configuration of configurations) {
        test(`buttons follow the configuration: ${configuration.name}`, async () => {
            const html = catalogue(`buttons-${configuration.name}`, { pages: 4, buttons: configuration.buttons });
            const page = await openPage(fileUrl(html));
            await waitForBook(page);
            for (const [button, defaultAlt] of BUTTONS) {
                const expected = { visible: true, alt: defaultAlt, ...(configuration.buttons[button] ?? {}) };
                const locator = page.locator(`[data-button="${button}"]`);
                assert.equal(await locator.isVisible(), expected.visible, `${button} visible`);
                assert.equal(await locator.getAttribute('title'), expected.alt, `${button} tooltip`);
                if (expected.visible) {
                    const byName = page.getByRole('button', { name: expected.alt, exact: true });
                    assert.equal(await byName.count(), 1, `${button} is named "${expected.alt}"`);
                }
            }
            await closeAll(page);
        });
    }

    test('a button without tooltip text still has an accessible name', async () => {
        const html = catalogue('empty-alt', { pages: 2, buttons: { next: { alt: '' } } });
        const page = await openPage(fileUrl(html));
        await waitForBook(page);
        assert.equal(await page.getAttribute('[data-button="next"]', 'title'), '');
        assert.equal(await page.getByRole('button', { name: 'Page suivante', exact: true }).count(), 1);
        await closeAll(page);
    });

    test('background colours are read as blue-green-red digits', async () => {
        // Vellora writes pure red as 0000FF and pure blue as FF0000.
        const html = catalogue('colours', { pages: 2, color1: '0000FF', color2: 'FF0000' });
        const page = await openPage(fileUrl(html));
        await waitForBook(page);
        const shot = await page.screenshot();
        const [top, bottom] = await page.evaluate(async (png) => {
            const image = new Image();
            image.src = `data:image/png;base64,${png}`;
            await image.decode();
            const canvas = document.createElement('canvas');
            canvas.width = image.width;
            canvas.height = image.height;
            const context = canvas.getContext('2d');
            context.drawImage(image, 0, 0);
            const toolbar = document.getElementById('toolbar').getBoundingClientRect().bottom;
            const pixel = (x, y) => [...context.getImageData(x, y, 1, 1).data.slice(0, 3)];
            return [pixel(4, Math.ceil(toolbar) + 2), pixel(4, image.height - 2)];
        }, shot.toString('base64'));
        assert.ok(top[0] > 200 && top[1] < 40 && top[2] < 60, `top is red: ${top}`);
        assert.ok(bottom[2] > 200 && bottom[0] < 40 && bottom[1] < 40, `bottom is blue: ${bottom}`);
        await closeAll(page);
    });

    for (const escape of [true, false]) {
        test(`values holding markup, quotes and accents show as text (${escape ? 'escaped' : 'as typed'})`, async () => {
            const hostile = '<img src=x onerror="window.injected=1">Prix & "promo" à 10 € <b>gras</b> &amp;';
            const print = 'Imprimer «\u00a0été\u00a0» & <script>window.injected=2</script>';
            const html = catalogue(`hostile-${escape}`, {
                pages: 4,
                escape,
                buttons: { next: { alt: hostile }, print: { alt: print } },
                index: [[2, hostile], [3, 'Café crème & "thé"']],
            });
            const page = await openPage(fileUrl(html));
            await waitForBook(page);
            assert.equal(await page.getAttribute('[data-button="next"]', 'title'), hostile);
            assert.equal(await page.getAttribute('[data-button="print"]', 'title'), print);
            await page.click('[data-button="index"]');
            const entries = await page.locator('#index-list button span:first-child').allTextContents();
            assert.deepEqual(entries, [hostile, 'Café crème & "thé"']);
            assert.equal(await page.evaluate(() => window.injected), undefined);
            assert.equal(await page.locator('#index-list img, #index-list b, #index-list script').count(), 0);
            await closeAll(page);
        });
    }

    test('without a hard cover the book opens on a two-page spread', async () => {
        const html = catalogue('soft-cover', { pages: 4, hardCover: false });
        const page = await openPage(fileUrl(html));
        await waitForBook(page);
        assert.equal(await indicator(page), '1–2 / 4');
        await closeAll(page);
    });

    test('a catalogue written by the builder’s own code shows its values as typed', async () => {
        const writer = process.env.VELLORA_CATALOGUE_WRITER;
        assert.ok(writer && fs.existsSync(writer), 'missing dependency: write-catalogue-texts');
        const folder = path.join(WORK, 'builder-written');
        fs.mkdirSync(folder, { recursive: true });
        const html = path.join(folder, 'Mon catalogue.html');
        const text = '</script><img src=x onerror="window.injected=1"> Été & "Noël" \\ \u2028 fin';
        drawPages(folder, { pages: 4 });
        execFileSync(writer, [html, '4', toolFolder(), text]);
        const page = await openPage(fileUrl(html));
        await waitForBook(page);
        assert.equal(await page.getAttribute('[data-button="next"]', 'title'), text);
        assert.equal(await page.locator('[data-button="print"]').isVisible(), false);
        const background = await page.evaluate(() => [
            getComputedStyle(document.documentElement).getPropertyValue('--bg1').trim(),
            getComputedStyle(document.documentElement).getPropertyValue('--bg2').trim(),
        ]);
        assert.deepEqual(background, ['#ff0000', '#0000ff']);
        await page.click('[data-button="index"]');
        const entries = await page.locator('#index-list button span:first-child').allTextContents();
        assert.deepEqual(entries, [text, 'Café & thé']);
        assert.equal(await page.evaluate(() => window.injected), undefined);
        await closeAll(page);
    });

    test('a landscape document keeps its pages’ shape', async () => {
        const html = catalogue('landscape', {
            pages: 3, width: 580, height: 773, images: { width: 800, height: 566 }, manifest: false,
        });
        // A folder from before the manifest: the page image tells the shape.
        const page = await openPage(fileUrl(html), { allowErrors: true });
        await waitForBook(page);
        const box = await page.locator('.page').first().boundingBox();
        assert.ok(Math.abs(box.width / box.height - 800 / 566) < 0.03, `page box ${box.width} x ${box.height}`);
        assert.ok(page.errors.every((text) => /ERR_FILE_NOT_FOUND/.test(text)), page.errors.join('\n'));
        await closeAll(page);
    });
});

describe('navigation', { concurrency: 4 }, () => {
    let html;
    before(() => {
        html = catalogue('navigation', {
            pages: 9,
            index: [[5, 'Cinq'], [0, 'Zéro'], ['douze', 'Pas un nombre'], [10, 'Trop loin'], [-1, 'Négatif'], [' 8 ', 'Huit'], ['', 'Vide']],
        });
    });

    test('buttons turn the pages', async () => {
        const page = await openPage(fileUrl(html));
        await waitForBook(page);
        assert.equal(await page.locator('[data-button="previous"]').isDisabled(), true);
        await page.click('[data-button="next"]');
        await waitForPages(page, '2–3 / 9');
        assert.deepEqual(await visiblePageNumbers(page), [2, 3]);
        await page.click('[data-button="next"]');
        await waitForPages(page, '4–5 / 9');
        await page.click('[data-button="previous"]');
        await waitForPages(page, '2–3 / 9');
        await page.click('[data-button="last"]');
        await waitForPages(page, '8–9 / 9');
        assert.equal(await page.locator('[data-button="next"]').isDisabled(), true);
        await page.click('[data-button="first"]');
        await waitForPages(page, '1 / 9');
        await closeAll(page);
    });

    test('keys turn the pages and zoom', async () => {
        const page = await openPage(fileUrl(html));
        await waitForBook(page);
        await page.keyboard.press('ArrowRight');
        await waitForPages(page, '2–3 / 9');
        await page.keyboard.press('End');
        await waitForPages(page, '8–9 / 9');
        await page.keyboard.press('ArrowLeft');
        await waitForPages(page, '6–7 / 9');
        await page.keyboard.press('Home');
        await waitForPages(page, '1 / 9');
        await page.keyboard.press('+');
        assert.equal(await page.evaluate(() => window.velloraViewer.zoom.scale), 1.5);
        await page.keyboard.press('Escape');
        assert.equal(await page.evaluate(() => window.velloraViewer.zoom.scale), 1);
        await closeAll(page);
    });

    test('keyboard users see where the focus is', async () => {
        const page = await openPage(fileUrl(html));
        await waitForBook(page);
        await page.keyboard.press('Tab');
        const focused = await page.evaluate(() => {
            const element = document.activeElement;
            const style = getComputedStyle(element);
            return [element.dataset.button, style.outlineStyle, parseFloat(style.outlineWidth)];
        });
        // On page 1 "first" and "previous" are disabled: "next" is the first control.
        assert.deepEqual(focused, ['next', 'solid', 3]);
        await closeAll(page);
    });

    test('a link to a page opens there and follows navigation', async () => {
        const page = await openPage(fileUrl(html, '#page=4'));
        await waitForBook(page);
        assert.equal(await indicator(page), '4–5 / 9');
        assert.deepEqual(await visiblePageNumbers(page), [4, 5]);
        await page.click('[data-button="next"]');
        await waitForPages(page, '6–7 / 9');
        assert.equal(new URL(page.url()).hash, '#page=6');
        await page.evaluate(() => {
            location.hash = '#page=2';
        });
        await waitForPages(page, '2–3 / 9');
        await closeAll(page);
    });

    test('a link past the last page opens on the last page', async () => {
        const page = await openPage(fileUrl(html, '#page=99'));
        await waitForBook(page);
        assert.equal(await indicator(page), '8–9 / 9');
        await closeAll(page);
    });

    test('the index lists the valid entries and goes to their page', async () => {
        const page = await openPage(fileUrl(html));
        await waitForBook(page);
        await page.click('[data-button="index"]');
        const dialog = page.locator('#index-dialog');
        assert.equal(await dialog.isVisible(), true);
        const entries = await page.locator('#index-list button').allTextContents();
        assert.deepEqual(entries, ['Cinqp. 5', 'Huitp. 8']);
        await page.getByRole('button', { name: /Huit/ }).click();
        await waitForPages(page, '8–9 / 9');
        assert.equal(await dialog.isVisible(), false);
        await closeAll(page);
    });

    test('thumbnails go to their page', async () => {
        const page = await openPage(fileUrl(html));
        await waitForBook(page);
        await page.click('[data-button="pages"]');
        await page.getByRole('button', { name: 'Aller à la page 7' }).click();
        await waitForPages(page, '6–7 / 9');
        assert.equal(await page.locator('#pages-dialog').isVisible(), false);
        await closeAll(page);
    });

    test('zoom enlarges the page and pans; zoom - brings it back', async () => {
        const page = await openPage(fileUrl(html, '#page=2'));
        await waitForBook(page);
        const image = page.locator('.page img[alt="Page 2"]');
        const before = await image.boundingBox();
        await page.click('[data-button="zoomPlus"]');
        await page.click('[data-button="zoomPlus"]');
        const zoomed = await image.boundingBox();
        assert.ok(zoomed.width > before.width * 1.9, `zoomed ${zoomed.width} from ${before.width}`);
        // A drag pans the zoomed book instead of turning the page.
        await page.mouse.move(640, 400);
        await page.mouse.down();
        await page.mouse.move(900, 450, { steps: 5 });
        await page.mouse.up();
        const panned = await image.boundingBox();
        assert.ok(panned.x > zoomed.x + 100, `panned from ${zoomed.x} to ${panned.x}`);
        assert.equal(await indicator(page), '2–3 / 9');
        await page.click('[data-button="zoomLess"]');
        await page.click('[data-button="zoomLess"]');
        const restored = await image.boundingBox();
        assert.ok(Math.abs(restored.width - before.width) < 1);
        assert.equal(await page.locator('[data-button="zoomLess"]').isDisabled(), true);
        await closeAll(page);
    });

    test('the full-screen button asks for full screen', async () => {
        const page = await openPage(fileUrl(html));
        await waitForBook(page);
        await page.click('[data-button="fullScreen"]');
        await page.waitForFunction(() => document.fullscreenElement === document.documentElement);
        // The button follows the browser's fullscreenchange event, which may come a moment
        // after the element is set.
        const pressed = (value) =>
            page.waitForFunction(
                (expected) =>
                    document.querySelector('[data-button="fullScreen"]').ariaPressed === expected,
                value,
                { timeout: 5000 },
            );
        await pressed('true');
        await page.click('[data-button="fullScreen"]');
        await page.waitForFunction(() => document.fullscreenElement === null);
        await pressed('false');
        await closeAll(page);
    });

    test('print prints the pages on screen', async () => {
        const page = await openPage(fileUrl(html, '#page=4'));
        await page.evaluate(() => {
            window.printed = 0;
            window.print = () => {
                window.printed++;
            };
        });
        await waitForBook(page);
        await page.click('[data-button="print"]');
        await page.waitForFunction(() => window.printed === 1);
        const printed = await page.locator('#print-pages img').evaluateAll(
            (images) => images.map((image) => [image.getAttribute('src'), image.naturalWidth > 0]));
        assert.deepEqual(printed, [['page4.jpg', true], ['page5.jpg', true]]);
        await page.emulateMedia({ media: 'print' });
        assert.equal(await page.locator('#toolbar').isVisible(), false);
        assert.equal(await page.locator('#stage').isVisible(), false);
        assert.equal(await page.locator('#print-pages img').first().isVisible(), true);
        const pdf = await page.pdf({ format: 'A4' });
        const sheets = pdf.toString('latin1').match(/\/Type\s*\/Page[^s]/g) ?? [];
        assert.equal(sheets.length, 2, 'one sheet per page on screen');
        await closeAll(page);
    });
});

describe('phones', () => {
    let html;
    before(() => {
        html = catalogue('phone', { pages: 6 });
    });

    async function openPhone(hash = '') {
        return openPage(fileUrl(html, hash), {
            viewport: PHONE,
            context: { hasTouch: true, isMobile: true, deviceScaleFactor: 2 },
        });
    }

    // The whole gesture is sent at once: a swipe is a quick movement, and waiting for each
    // step's answer would make it a slow drag.
    async function swipe(page, fromX, toX) {
        const session = await page.context().newCDPSession(page);
        const y = 450;
        const point = (x) => [{ x, y, id: 1, radiusX: 2, radiusY: 2, force: 1 }];
        const events = [{ type: 'touchStart', touchPoints: point(fromX) }];
        for (let step = 1; step <= 4; step++) {
            events.push({ type: 'touchMove', touchPoints: point(fromX + ((toX - fromX) * step) / 4) });
        }
        events.push({ type: 'touchEnd', touchPoints: [] });
        await Promise.all(events.map((event) => session.send('Input.dispatchTouchEvent', event)));
        await session.detach();
    }

    test('a 390 x 844 window shows one page at a time', async () => {
        const page = await openPhone();
        await waitForBook(page);
        assert.equal(await indicator(page), '1 / 6');
        await page.click('[data-button="next"]');
        await waitForPages(page, '2 / 6');
        assert.deepEqual(await visiblePageNumbers(page), [2]);
        const box = await page.locator('.page img[alt="Page 2"]').boundingBox();
        assert.ok(box.width > 330, `one page fills the width: ${box.width}`);
        await closeAll(page);
    });

    test('turning a window narrow switches to single pages and back', async () => {
        const page = await openPage(fileUrl(html, '#page=2'));
        await waitForBook(page);
        assert.equal(await indicator(page), '2–3 / 6');
        await page.setViewportSize(PHONE);
        await page.waitForFunction(() => /^\d+ \/ 6$/.test(document.getElementById('page-number').textContent));
        assert.equal((await visiblePageNumbers(page)).length, 1);
        await page.setViewportSize(DESKTOP);
        await waitForPages(page, '2–3 / 6');
        await closeAll(page);
    });

    test('a swipe turns the page', async () => {
        const page = await openPhone('#page=3');
        await waitForBook(page);
        assert.equal(await indicator(page), '3 / 6');
        await swipe(page, 330, 60);
        await waitForPages(page, '4 / 6');
        await swipe(page, 60, 330);
        await waitForPages(page, '3 / 6');
        await closeAll(page);
    });

    test('a pinch zooms without turning the page', async () => {
        const page = await openPhone('#page=2');
        await waitForBook(page);
        const session = await page.context().newCDPSession(page);
        const points = (spread) => [
            { x: 195 - spread, y: 450, id: 1 },
            { x: 195 + spread, y: 450, id: 2 },
        ];
        await session.send('Input.dispatchTouchEvent', { type: 'touchStart', touchPoints: points(40) });
        for (const spread of [60, 80, 100, 120]) {
            await session.send('Input.dispatchTouchEvent', { type: 'touchMove', touchPoints: points(spread) });
        }
        await session.send('Input.dispatchTouchEvent', { type: 'touchEnd', touchPoints: [] });
        await session.detach();
        const scale = await page.evaluate(() => window.velloraViewer.zoom.scale);
        assert.ok(scale > 2, `pinched to ${scale}`);
        await page.waitForTimeout(400);
        assert.equal(await indicator(page), '2 / 6');
        await closeAll(page);
    });
});

describe('large catalogues', { concurrency: 4 }, () => {
    test('only the images near the current page are requested', async () => {
        const html = catalogue('hundred', { pages: 100 });
        const page = await openPage(httpUrl(html, '#page=50'));
        const requested = () => server.requests
            .filter((request) => request.startsWith('/hundred/page'))
            .map((request) => Number(/page(\d+)(?:-[mt])?\.jpg/.exec(request)[1]));
        // Waits until the given pages have been asked for and every image asked for is in.
        const settle = async (pages) => {
            await until(() => pages.every((p) => requested().includes(p)), `pages ${pages}`);
            await page.waitForFunction(() =>
                [...document.images].every((image) => !image.getAttribute('src') || image.complete));
        };
        await waitForBook(page);
        await settle([50, 51, 48, 53]);
        assert.ok(requested().every((p) => p >= 48 && p <= 53), `only nearby pages: ${requested()}`);
        server.requests.length = 0;
        await page.click('[data-button="next"]');
        await waitForPages(page, '52–53 / 100');
        await settle([54, 55]);
        assert.ok(requested().every((p) => p >= 50 && p <= 55), `after a turn: ${requested()}`);

        // Thumbnails load as they scroll into view, not all at once.
        server.requests.length = 0;
        await page.click('[data-button="pages"]');
        await until(() => requested().length > 0, 'thumbnails');
        await settle([]);
        const thumbnails = requested();
        assert.ok(thumbnails.length < 60, `thumbnails loaded: ${thumbnails.length}`);
        await closeAll(page);
    });
});

describe('missing files', { concurrency: 4 }, () => {
    test('a missing configuration shows a French message', async () => {
        const html = catalogue('no-config', { pages: 2, withConfigScript: false, withXml: false });
        for (const url of [fileUrl(html), httpUrl(html)]) {
            const page = await openPage(url, { allowErrors: true });
            const message = page.locator('#message');
            await message.waitFor({ state: 'visible' });
            assert.match(await message.textContent(), /configuration.*introuvable/);
            assert.equal(await page.locator('#toolbar').isVisible(), false);
            await closeAll(page);
        }
    });

    test('an unreadable configuration shows a French message', async () => {
        const html = catalogue('bad-config', { pages: 2, xml: 'ceci n’est pas un catalogue' });
        const page = await openPage(fileUrl(html));
        const message = page.locator('#message');
        await message.waitFor({ state: 'visible' });
        assert.match(await message.textContent(), /illisible/);
        await closeAll(page);
    });

    test('a missing page image shows a French message in its place', async () => {
        const html = catalogue('no-image', { pages: 4 });
        // The manifest still lists them: the viewer tries each size before giving up.
        for (const name of ['page1.jpg', 'page1-m.jpg', 'page3.jpg', 'page3-m.jpg']) {
            fs.rmSync(path.join(WORK, 'no-image', name));
        }
        const page = await openPage(fileUrl(html), { allowErrors: true });
        await waitForBook(page);
        const notice = page.locator('.page .missing');
        await notice.first().waitFor({ state: 'visible' });
        assert.match(await notice.first().textContent(), /page 1 .*page1\.jpg.*introuvable/);
        await page.click('[data-button="next"]');
        await waitForPages(page, '2–3 / 4');
        assert.deepEqual(await visiblePageNumbers(page), [2]);
        assert.equal(await page.locator('.missing:visible').count(), 1);
        await closeAll(page);
    });
});

