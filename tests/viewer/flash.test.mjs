// The Flash viewer movie "vellora.swf" played by Ruffle in Debian's Chromium, over a loopback
// server (a Flash player cannot read files from disk), on a catalogue whose configuration is
// written by the builder's own code and whose pages come from our converter.
import assert from 'node:assert/strict';
import { execFileSync } from 'node:child_process';
import fs from 'node:fs';
import { createRequire } from 'node:module';
import path from 'node:path';
import { after, before, test } from 'node:test';
import { chromium } from 'playwright-core';
import { drawPages, toolFolder } from './catalogue.mjs';
import { startServer } from './server.mjs';

const CHROMIUM = '/usr/bin/chromium';
const WORK = path.join(process.env.XDG_CACHE_HOME ?? '/tmp', 'flash-catalogues');
const TOOLTIP = 'Page suivante, « été » & "promo"';
const PAGES = 7;

let browser;
let server;
let page;

// A player filling the window, the movie loaded from the catalogue folder.
function hostPage(movie) {
    return `<!doctype html><html><body style="margin:0;overflow:hidden">
<script src="/ruffle/ruffle.js"></script>
<script>
window.RufflePlayer.config = { autoplay: "on", splashScreen: false, letterbox: "off",
    preferredRenderer: "canvas", unmuteOverlay: "hidden", allowScriptAccess: true };
const player = window.RufflePlayer.newest().createPlayer();
player.id = "player";
player.style.cssText = "display:block;width:1000px;height:700px";
document.body.appendChild(player);
player.ruffle().load({ url: "${movie}", allowScriptAccess: true });
</script></body></html>`;
}

function makeFolder(name, { xml } = {}) {
    const folder = path.join(WORK, name);
    fs.mkdirSync(folder, { recursive: true });
    execFileSync(process.env.VELLORA_CATALOGUE_WRITER,
        [path.join(folder, 'catalogue.html'), String(PAGES), toolFolder(), TOOLTIP]);
    drawPages(folder, { pages: PAGES });
    if (xml !== undefined) {
        if (xml === null) fs.rmSync(path.join(folder, 'vellora.xml'));
        else fs.writeFileSync(path.join(folder, 'vellora.xml'), xml);
    }
    fs.writeFileSync(path.join(folder, 'flash.html'), hostPage('vellora.swf'));
    return folder;
}

async function open(name) {
    await page.goto(`${server.base}/${name}/flash.html`);
    await page.waitForFunction(() => {
        const player = document.getElementById('player');
        try {
            const state = player.velloraState();
            return state && (state.pageCount > 0 || state.message);
        } catch {
            return false;
        }
    }, null, { timeout: 30000 });
}

const state = () => page.evaluate(() => document.getElementById('player').velloraState());

async function settled() {
    await page.waitForFunction(() => !document.getElementById('player').velloraState().turning);
    return state();
}

async function click(box) {
    await page.mouse.click(box.x + box.width / 2, box.y + box.height / 2);
}

// Mean absolute channel difference (0 to 255) between the screenshot's region `box` and an
// image of the catalogue folder scaled to that region, decoded by the browser.
async function difference(shot, box, image) {
    return page.evaluate(async ({ shot, box, image }) => {
        const load = (source) => new Promise((resolve, reject) => {
            const element = new Image();
            element.onload = () => resolve(element);
            element.onerror = reject;
            element.src = source;
        });
        const [screen, reference] = await Promise.all([load(`data:image/png;base64,${shot}`), load(image)]);
        const draw = (element, sx, sy, sw, sh) => {
            const canvas = document.createElement('canvas');
            canvas.width = 60;
            canvas.height = 80;
            const context = canvas.getContext('2d');
            context.drawImage(element, sx, sy, sw, sh, 0, 0, 60, 80);
            return context.getImageData(0, 0, 60, 80).data;
        };
        const a = draw(screen, box.x, box.y, box.width, box.height);
        const b = draw(reference, 0, 0, reference.naturalWidth, reference.naturalHeight);
        let sum = 0;
        for (let i = 0; i < a.length; i += 4) {
            sum += Math.abs(a[i] - b[i]) + Math.abs(a[i + 1] - b[i + 1]) + Math.abs(a[i + 2] - b[i + 2]);
        }
        return sum / (60 * 80 * 3);
    }, { shot: shot.toString('base64'), box, image });
}

before(async () => {
    assert.ok(fs.existsSync(CHROMIUM), `missing dependency: ${CHROMIUM}`);
    assert.ok(fs.existsSync(process.env.VELLORA_CATALOGUE_WRITER ?? ''), 'missing dependency: write-catalogue-texts');
    fs.rmSync(WORK, { recursive: true, force: true });
    makeFolder('book');
    fs.rmSync(path.join(WORK, 'book', 'page5.swf'));
    makeFolder('broken', { xml: '<content width="600" height="800" hcover="true">\r\n' });
    makeFolder('missing', { xml: null });
    const ruffle = path.dirname(createRequire(import.meta.url).resolve('@ruffle-rs/ruffle/package.json'));
    server = await startServer(WORK, { '/ruffle/': ruffle });
    browser = await chromium.launch({
        executablePath: CHROMIUM,
        args: ['--no-sandbox', '--disable-gpu', '--disable-background-networking',
            '--disable-component-update', '--disable-sync', '--no-first-run'],
    });
    const context = await browser.newContext({ viewport: { width: 1000, height: 700 }, deviceScaleFactor: 1 });
    page = await context.newPage();
});

after(async () => {
    await browser?.close();
    await server?.close();
});

test('the movie stays small', () => {
    const size = fs.statSync(path.join(toolFolder(), 'vellora.swf')).size;
    assert.ok(size < 60 * 1024, `vellora.swf is ${size} bytes`);
});

test('the first spread shows page 1 alone on the right, on the catalogue colours', async () => {
    await open('book');
    const first = await settled();
    assert.deepEqual(first.pages, [1]);
    assert.equal(first.pageCount, PAGES);
    // Ruffle draws the page movie a moment after it loads: wait for the picture to settle.
    const right = { ...first.book, x: first.book.x + first.book.width / 2, width: first.book.width / 2 };
    let shot;
    let previous;
    for (let attempt = 0; attempt < 40; attempt++) {
        await page.waitForTimeout(250);
        shot = await page.screenshot();
        if (previous && shot.equals(previous) && attempt >= 3) break;
        previous = shot;
    }
    // The movie holds the page at 48 dpi and the player scales it: against the page's own image
    // it measures 3 to 6; another page of the catalogue (another colour, another number) is
    // above 25, and so is a blank sheet. Half-way between leaves room for another player version.
    const same = await difference(shot, right, `${server.base}/book/page1.jpg`);
    const other = await difference(shot, right, `${server.base}/book/page2.jpg`);
    assert.ok(same < 15, `page 1 differs from its image by ${same.toFixed(1)}`);
    assert.ok(other > 25, `page 1 looks like page 2 (${other.toFixed(1)})`);
    // The colours are written blue-green-red: red at the top, blue at the bottom.
    const corners = await page.evaluate(async (data) => {
        const image = new Image();
        image.src = `data:image/png;base64,${data}`;
        await image.decode();
        const canvas = document.createElement('canvas');
        canvas.width = image.naturalWidth;
        canvas.height = image.naturalHeight;
        const context = canvas.getContext('2d');
        context.drawImage(image, 0, 0);
        return [Array.from(context.getImageData(3, 3, 1, 1).data),
            Array.from(context.getImageData(3, canvas.height - 3, 1, 1).data)];
    }, shot.toString('base64'));
    assert.ok(corners[0][0] > 200 && corners[0][2] < 60, `top is not red: ${corners[0]}`);
    assert.ok(corners[1][2] > 200 && corners[1][0] < 60, `bottom is not blue: ${corners[1]}`);
});

test('buttons, keys and a dragged corner show the right pages', async () => {
    await open('book');
    let current = await settled();
    assert.equal(current.buttons.print, undefined, 'the hidden print button is absent');
    assert.deepEqual(Object.keys(current.buttons).sort(),
        ['first', 'fullScreen', 'index', 'last', 'next', 'pages', 'previous', 'zoomLess', 'zoomPlus']);
    const steps = [
        ['next', [2, 3]],
        ['next', [4, 5]],
        ['previous', [2, 3]],
        ['last', [6, 7]],
        ['first', [1]],
        ['ArrowRight', [2, 3]],
        ['ArrowRight', [4, 5]],
        ['ArrowLeft', [2, 3]],
        ['End', [6, 7]],
        ['Home', [1]],
    ];
    for (const [action, expected] of steps) {
        if (current.buttons[action]) await click(current.buttons[action]);
        else await page.keyboard.press(action);
        current = await settled();
        assert.deepEqual(current.pages, expected, `after ${action}`);
    }
    // A corner dragged from the right edge over the spine turns the page; one let go before
    // the spine falls back.
    const { x, y, width, height } = current.book;
    for (const [to, expected] of [[x + width * 0.6, [1]], [x + width * 0.2, [2, 3]]]) {
        await page.mouse.move(x + width - 4, y + height - 6);
        await page.mouse.down();
        for (let i = 1; i <= 10; i++) await page.mouse.move(x + width - 4 - (x + width - 4 - to) * i / 10, y + height - 30);
        await page.mouse.up();
        await page.waitForTimeout(100);
        current = await settled();
        assert.deepEqual(current.pages, expected, `corner dragged to ${to}`);
    }
});

test('a missing page movie says so on its page', async () => {
    await open('book');
    await page.keyboard.press('End');
    await page.keyboard.press('Home');
    await click((await settled()).buttons.next);
    await click((await settled()).buttons.next);
    await page.waitForFunction(() => document.getElementById('player').velloraState().pageMessages[1]);
    const current = await state();
    assert.deepEqual(current.pages, [4, 5]);
    assert.equal(current.pageMessages[0], null);
    assert.equal(current.pageMessages[1],
        'Page 5 introuvable : le fichier « page5.swf » manque dans le dossier du catalogue.');
});

test('the tooltip and the index panel', async () => {
    await open('book');
    const current = await settled();
    const next = current.buttons.next;
    await page.mouse.move(next.x + next.width / 2, next.y + next.height / 2);
    await page.waitForFunction(() => document.getElementById('player').velloraState().tooltip);
    assert.equal((await state()).tooltip, TOOLTIP);
    await click(current.buttons.index);
    const open_ = await state();
    assert.equal(open_.panel, 'index');
    // Rows whose page is empty, not a number or beyond the last page are left out.
    assert.equal(open_.rows.length, 2);
    await click(open_.rows[1]);
    const after = await settled();
    assert.equal(after.panel, null);
    assert.deepEqual(after.pages, [2, 3], 'the entry for page 3 opens its spread');
});

test('a missing or broken configuration shows a French message', async () => {
    for (const [name, expected] of [
        ['missing', 'Le fichier de configuration « vellora.xml » est introuvable : ce catalogue ne peut pas s\'afficher.'],
        ['broken', 'Le fichier « vellora.xml » est illisible : aucune page n\'est listée.'],
    ]) {
        await open(name);
        assert.equal((await state()).message, expected);
    }
});

test('the HTML page offers the Flash version only over http with a Flash player', async () => {
    const ruffle = path.dirname(createRequire(import.meta.url).resolve('@ruffle-rs/ruffle/package.json'));
    const context = await browser.newContext({ viewport: { width: 1000, height: 700 } });
    await context.addInitScript('window.RufflePlayer = { config: { publicPath: "/ruffle/", ' +
        'splashScreen: false, autoplay: "on", unmuteOverlay: "hidden" } };');
    await context.addInitScript({ path: path.join(ruffle, 'ruffle.js') });
    const html = await context.newPage();
    await html.goto(`file://${path.join(WORK, 'book', 'catalogue.html')}`);
    await html.waitForSelector('#page-number');
    assert.equal(await html.locator('#flash-version').count(), 0, 'no Flash version from disk');
    await html.goto(`${server.base}/book/catalogue.html`);
    await html.click('#flash-version');
    await html.waitForFunction(() => {
        try {
            return document.querySelector('#flash-viewer > *').velloraState().pages.length === 1;
        } catch {
            return false;
        }
    }, null, { timeout: 30000 });
    assert.equal(await html.locator('#stage').isVisible(), false);
    await context.close();
});
