// The viewer on phones and on long catalogues, in Debian's Chromium: touches sent as real
// sequences with their timing, work done while idle (counted), images chosen and released,
// zoom around a point, history, the toolbar on a small screen, landscape pages.
import assert from 'node:assert/strict';
import fs from 'node:fs';
import path from 'node:path';
import { after, before, describe, test } from 'node:test';
import { chromium } from 'playwright-core';
import { makeCatalogue } from './catalogue.mjs';
import { startServer } from './server.mjs';

const CHROMIUM = '/usr/bin/chromium';
const WORK = path.join(process.env.XDG_CACHE_HOME ?? '/tmp', 'behaviour');
const PHONE = { viewport: { width: 390, height: 844 }, hasTouch: true, isMobile: true, deviceScaleFactor: 2 };
const sleep = (ms) => new Promise((resolve) => setTimeout(resolve, ms));

let browser;
let server;
const folders = {};

before(async () => {
    if (!fs.existsSync(CHROMIUM)) throw new Error(`missing dependency: ${CHROMIUM} (install the chromium package)`);
    fs.rmSync(WORK, { recursive: true, force: true });
    const make = (name, options) => {
        folders[name] = makeCatalogue(path.join(WORK, name), { htmlName: 'c.html', ...options });
    };
    make('twelve', { pages: 12 });
    make('long', { pages: 400, images: { distinct: 12 } });
    make('landscape', { pages: 4, width: 580, height: 773, images: { width: 800, height: 566 } });
    browser = await chromium.launch({
        executablePath: CHROMIUM,
        args: ['--no-sandbox', '--disable-gpu', '--disable-background-networking',
            '--disable-component-update', '--disable-sync', '--no-first-run'],
    });
    server = await startServer(WORK);
});

after(async () => {
    await browser?.close();
    await server?.close();
});

async function open(name, { hash = '', http = false, context = {} } = {}) {
    const ctx = await browser.newContext({ viewport: { width: 1280, height: 800 }, ...context });
    const page = await ctx.newPage();
    const errors = [];
    page.on('pageerror', (error) => errors.push(error.message));
    page.done = async () => {
        assert.deepEqual(errors, [], 'page errors');
        await ctx.close();
    };
    const url = http ? `${server.base}/${name}/c.html${hash}` : `file://${folders[name]}${hash}`;
    await page.goto(url);
    await page.waitForFunction(() => window.velloraViewer?.book && document.getElementById('page-number').textContent);
    return page;
}

const shown = (page) => page.locator('#page-number').textContent();
const settled = (page, text) => page.waitForFunction((want) =>
    document.getElementById('page-number').textContent === want && window.velloraViewer.book.getState() === 'read', text);

// One finger on the screen: finger(points) with points [x, y, ms to wait before this point];
// the first point touches, the last lifts.
async function fingerOn(page) {
    const session = await page.context().newCDPSession(page);
    const at = ([x, y]) => [{ x, y, id: 1, radiusX: 2, radiusY: 2, force: 1 }];
    return async (points) => {
        for (let i = 0; i < points.length; i++) {
            if (points[i][2]) await sleep(points[i][2]);
            const type = i === 0 ? 'touchStart' : 'touchMove';
            await session.send('Input.dispatchTouchEvent', { type, touchPoints: at(points[i]) });
        }
        await session.send('Input.dispatchTouchEvent', { type: 'touchEnd', touchPoints: [] });
    };
}

function slide(fromX, toX, steps, msPerStep, y = 450) {
    return Array.from({ length: steps + 1 }, (_, i) => [fromX + ((toX - fromX) * i) / steps, y, i ? msPerStep : 0]);
}

describe('touch', () => {
    test('swipes turn the way the finger goes, whatever their pace; taps on edges turn', async () => {
        const page = await open('twelve', { hash: '#page=6', context: PHONE });
        const finger = await fingerOn(page);
        const cases = [
            ['slow swipe to the left', slide(330, 60, 14, 50), '7 / 12'],
            ['short move held before lifting', [...slide(330, 250, 3, 20), [250, 450, 150]], '8 / 12'],
            ['fast swipe to the right', slide(60, 330, 3, 5), '7 / 12'],
            ['drag that comes back', [...slide(200, 60, 5, 30), ...slide(60, 200, 5, 30).slice(1)], '7 / 12'],
            ['tap on the right edge', [[375, 450, 0]], '8 / 12'],
            ['tap on the left edge', [[15, 450, 0]], '7 / 12'],
        ];
        for (const [what, points, expected] of cases) {
            await finger(points);
            await sleep(400); // a lone tap acts once no second tap can come
            await settled(page, expected).catch(async () => assert.fail(`${what}: ${await shown(page)}`));
        }
        // A double tap zooms around the tapped point and back; it turns nothing.
        await finger([[120, 300, 0]]);
        await finger([[122, 302, 60]]);
        await page.waitForFunction(() => window.velloraViewer.zoom.scale > 2);
        await finger([[200, 400, 400]]);
        await finger([[200, 400, 60]]);
        await page.waitForFunction(() => window.velloraViewer.zoom.scale === 1);
        await sleep(400);
        assert.equal(await shown(page), '7 / 12');
        await page.done();
    });
});

describe('long catalogues', () => {
    test('a 400-page catalogue at rest runs no frame and no style recalculation', async () => {
        const page = await open('long', { hash: '#page=200' });
        await page.click('[data-button="next"]');
        await settled(page, '202–203 / 400');
        await sleep(500);
        const session = await page.context().newCDPSession(page);
        await session.send('Performance.enable');
        const metrics = async () => Object.fromEntries((await session.send('Performance.getMetrics')).metrics
            .map(({ name, value }) => [name, value]));
        const frames = page.evaluate(() => new Promise((resolve) => {
            let count = 0;
            const native = window.requestAnimationFrame;
            window.requestAnimationFrame = (callback) => native((time) => {
                count++;
                callback(time);
            });
            setTimeout(() => resolve(count), 1500);
        }));
        const before = await metrics();
        await sleep(1500);
        const after = await metrics();
        const idle = { frames: await frames, recalcs: after.RecalcStyleCount - before.RecalcStyleCount,
            layouts: after.LayoutCount - before.LayoutCount };
        assert.deepEqual(idle, { frames: 0, recalcs: 0, layouts: 0 });
        await page.done();
    });

    test('the first page shows alone before the viewer runs, and stays in place', async () => {
        const ctx = await browser.newContext(PHONE);
        const page = await ctx.newPage();
        await page.addInitScript(() => {
            // Shifts of the book's elements (the toolbar's buttons move when they appear).
            window.shifts = 0;
            const inBook = (node) => !!(node?.nodeType === 1 ? node : node?.parentElement)?.closest('#book');
            new PerformanceObserver((list) => {
                for (const entry of list.getEntries()) window.shifts += entry.sources.filter((source) => inBook(source.node)).length;
            }).observe({ type: 'layout-shift', buffered: true });
            const box = (element) => Object.values(element.getBoundingClientRect().toJSON()).slice(0, 4).map(Math.round);
            new MutationObserver((records, observer) => {
                const image = document.querySelector('#book img[alt="Page 1"][src]');
                if (!image) return;
                observer.disconnect();
                window.early = { pages: document.querySelectorAll('#book .page').length, box: box(image) };
                window.box = () => box(image);
            }).observe(document, { childList: true, subtree: true, attributes: true });
        });
        await page.goto(`file://${folders.long}`);
        await page.waitForFunction(() => window.velloraViewer?.book && document.getElementById('page-number').textContent);
        await sleep(300);
        const seen = await page.evaluate(() => ({ early: window.early, late: window.box(), shifts: window.shifts }));
        // The page puts the image in the book's place before the viewer has made any page, and
        // the viewer takes that same image over where it is.
        assert.deepEqual(seen, {
            early: { pages: 0, box: [0, 188, 390, 520] },
            late: [0, 188, 390, 520],
            shifts: 0,
        });
        await ctx.close();
    });

    test('thumbnails load their small images; long flipping gives images back', async () => {
        const page = await open('long', { http: true, hash: '#page=100' });
        await page.waitForLoadState('networkidle');
        // The page's own early request and the viewer agree on one image for the first page.
        assert.deepEqual(server.requests.filter((name) => name.startsWith('/long/page100')), ['/long/page100-m.jpg']);
        server.requests.length = 0;
        await page.click('[data-button="pages"]');
        await page.waitForLoadState('networkidle');
        await page.waitForFunction(() => [...document.querySelectorAll('#thumbnails img[src]')].every((i) => i.complete));
        const asked = server.requests.filter((name) => name.startsWith('/long/page'));
        assert.ok(asked.length > 10 && asked.every((name) => /-t\.jpg$/.test(name)), asked.join(' '));
        const bytes = asked.reduce((sum, name) => sum + fs.statSync(path.join(WORK, name)).size, 0);
        assert.ok(bytes <= 400 * 1024, `thumbnail panel loaded ${bytes} bytes`);
        await page.keyboard.press('Escape');

        for (let i = 0; i < 60; i++) await page.evaluate(() => window.velloraViewer.jump(window.velloraViewer.visiblePages().at(-1) + 1));
        assert.equal(await shown(page), '220–221 / 400');
        const held = await page.evaluate(() =>
            [...document.querySelectorAll('.page img[src]')].map((image) => Number(image.alt.slice(5))));
        assert.ok(held.length <= 18 && held.every((p) => p >= 212 && p <= 229), `images held: ${held}`);
        await page.done();
    });
});

describe('zoom, history, toolbar', () => {
    test('Ctrl+wheel zooms around the pointer onto the large image; arrows pan; Escape leaves', async () => {
        const page = await open('twelve', { hash: '#page=4' });
        const image = page.locator('.page img[alt="Page 5"]');
        assert.match(await image.getAttribute('src'), /^page5-m\.jpg$/);
        const before = await image.boundingBox();
        const point = { x: before.x + before.width * 0.75, y: before.y + before.height * 0.25 };
        await page.mouse.move(point.x, point.y);
        await page.keyboard.down('Control');
        await page.mouse.wheel(0, -100);
        await page.mouse.wheel(0, -100);
        await page.keyboard.up('Control');
        const zoomed = await image.boundingBox();
        assert.ok(zoomed.width > before.width * 1.9, `zoomed ${zoomed.width} from ${before.width}`);
        // The same spot of the page is still under the pointer.
        assert.ok(Math.abs((point.x - zoomed.x) / zoomed.width - 0.75) < 0.02, JSON.stringify(zoomed));
        assert.ok(Math.abs((point.y - zoomed.y) / zoomed.height - 0.25) < 0.02, JSON.stringify(zoomed));
        await page.waitForFunction(() => document.querySelector('.page img[alt="Page 5"]').getAttribute('src') === 'page5.jpg');
        await page.keyboard.press('ArrowLeft');
        const panned = await image.boundingBox();
        assert.ok(panned.x > zoomed.x + 50, `arrow panned from ${zoomed.x} to ${panned.x}`);
        assert.equal(await shown(page), '4–5 / 12');
        await page.keyboard.press('Escape');
        assert.equal(await page.evaluate(() => window.velloraViewer.zoom.scale), 1);
        await page.done();
    });

    test('turns add history entries; Back returns; focus stays on a control', async () => {
        const page = await open('twelve');
        await page.click('[data-button="next"]');
        await settled(page, '2–3 / 12');
        await page.click('[data-button="next"]');
        await settled(page, '4–5 / 12');
        await page.goBack();
        await settled(page, '2–3 / 12');
        assert.equal(new URL(page.url()).hash, '#page=2');
        await page.focus('[data-button="next"]');
        await page.keyboard.press('End');
        await settled(page, '12 / 12');
        assert.equal(await page.evaluate(() => document.activeElement.dataset.button), 'previous');
        await page.done();
    });

    test('with reduced motion a turn is instant', async () => {
        const page = await open('twelve', { context: { reducedMotion: 'reduce' } });
        await page.evaluate(() => document.querySelector('[data-button="next"]').click());
        assert.deepEqual(await page.evaluate(() => [document.getElementById('page-number').textContent,
            window.velloraViewer.book.getState()]), ['2–3 / 12', 'read']);
        await page.done();
    });

    test('at 360 x 640 the toolbar is one row with previous and next together', async () => {
        const page = await open('twelve', { context: { ...PHONE, viewport: { width: 360, height: 640 } } });
        const boxes = await page.evaluate(() => [...document.querySelectorAll('#toolbar > button:not([hidden]), #page-number')]
            .map((element) => ({ name: element.dataset.button ?? element.id, ...element.getBoundingClientRect().toJSON() })));
        const names = boxes.map((box) => box.name);
        assert.deepEqual(names, ['first', 'previous', 'page-number', 'next', 'last', 'more']);
        const middle = (box) => (box.top + box.bottom) / 2;
        assert.ok(boxes.every((box) => Math.abs(middle(box) - middle(boxes[0])) < 1 && box.right <= 360),
            JSON.stringify(boxes));
        const bar = await page.locator('#toolbar').boundingBox();
        assert.ok(bar.height <= 56, `toolbar ${bar.height} px high`);
        await page.click('#more');
        await page.click('[data-button="zoomPlus"]');
        assert.ok(await page.evaluate(() => window.velloraViewer.zoom.scale) > 1);
        assert.equal(await page.locator('#menu').isVisible(), false);
        await page.done();
    });

    test('landscape pages fill a phone’s width, centred', async () => {
        const page = await open('landscape', { context: PHONE });
        const box = await page.locator('.page img[alt="Page 1"]').boundingBox();
        const stage = await page.locator('#stage').boundingBox();
        assert.ok(Math.abs(box.width / box.height - 800 / 566) < 0.03, `page ${box.width} x ${box.height}`);
        assert.ok(box.width > 380, `page ${box.width} wide`);
        const offset = box.y + box.height / 2 - (stage.y + stage.height / 2);
        assert.ok(Math.abs(offset) < 4, `page centre ${offset} px from the stage's`);
        await page.done();
    });
});

describe('damaged folders', () => {
    test('a cut vellora-config.js, a missing script and missing thumbnails say so in French', async () => {
        const folder = path.dirname(folders.twelve);
        const config = fs.readFileSync(path.join(folder, 'vellora-config.js'), 'utf8');
        const copy = (name) => makeCatalogue(path.join(WORK, name), { htmlName: 'c.html', pages: 3 });
        const cut = copy('cut');
        fs.writeFileSync(path.join(path.dirname(cut), 'vellora-config.js'), config.slice(0, 200));
        const noScript = copy('no-script');
        fs.rmSync(path.join(path.dirname(noScript), 'swfobject.js'));
        const ctx = await browser.newContext();
        const page = await ctx.newPage();
        await page.goto(`file://${cut}`);
        await page.locator('#message').waitFor({ state: 'visible' });
        assert.match(await page.locator('#message').textContent(), /vellora-config\.js » est incomplet ou endommagé/);
        await page.goto(`file://${noScript}`);
        await page.locator('#notice').waitFor({ state: 'visible' });
        await page.waitForFunction(() => getComputedStyle(document.getElementById('notice')).opacity === '1');
        assert.match(await page.locator('#notice').textContent(), /« swfobject\.js » est absent/);
        await ctx.close();

        for (const name of ['page2.jpg', 'page2-m.jpg', 'page2-t.jpg']) fs.rmSync(path.join(path.dirname(noScript), name));
        fs.copyFileSync(path.join(folder, 'swfobject.js'), path.join(path.dirname(noScript), 'swfobject.js'));
        const viewer = await browser.newPage();
        await viewer.goto(`file://${noScript}`);
        await viewer.click('[data-button="pages"]');
        await viewer.locator('#thumbnails .missing').waitFor();
        assert.equal(await viewer.locator('#thumbnails .missing').textContent(), 'Image de la page 2 introuvable');
        await viewer.close();
    });
});
