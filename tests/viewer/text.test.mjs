// Catalogues made from PDFs with known words, links and bookmarks, through the real converter
// and the builder's search file, read in Debian's Chromium: search, text layer, links, outline
// and right-to-left reading.
import assert from 'node:assert/strict';
import fs from 'node:fs';
import path from 'node:path';
import { after, before, describe, test } from 'node:test';
import { DESKTOP, launchChromium, openCatalogue, pageScript } from './browser.mjs';
import { makeTextCatalogue } from './catalogue.mjs';
import { startServer } from './server.mjs';
import { SAMPLE } from '../common/text-pdf.mjs';

const WORK = path.join(process.env.XDG_CACHE_HOME ?? '/tmp', 'text-catalogues');

let browser;

before(async () => {
    fs.rmSync(WORK, { recursive: true, force: true });
    browser = await launchChromium();
});

after(async () => {
    await browser?.close();
});

function textCatalogue(name, document, options = {}) {
    return makeTextCatalogue(path.join(WORK, name), document, {
        ...options, htmlName: `${name}.html`, searchWriter: process.env.VELLORA_SEARCH_WRITER,
    });
}

const open = (html, hash = '') => openCatalogue(browser, `file://${html}${hash}`, { consoleErrors: true });

const indicator = (page) => page.locator('#page-number').textContent();

async function settle(page, expected) {
    await page.waitForFunction((want) => document.getElementById('page-number').textContent === want, expected);
    await page.waitForFunction(() => window.velloraViewer.book.getState() === 'read');
}

// The screen box of a word of a page script, from the page element's box: where MuPDF says
// the word is.
async function wordBoxOnScreen(page, pageNumber, data, word) {
    const pageBox = await page.locator('.page').nth(pageNumber - 1).boundingBox();
    const line = data.lines.find((l) => l.words.some((entry) => entry[0] === word));
    const [, offset, w] = line.words.find((entry) => entry[0] === word);
    // The word runs w along the line's direction and the line's height across it.
    const [dx, dy] = line.dir ?? [1, 0];
    const x = line.box[0] + offset * dx;
    const y = line.box[1] + offset * dy;
    const h = line.box[3];
    const xs = [x, x + w * dx, x - h * dy, x + w * dx - h * dy];
    const ys = [y, y + w * dy, y + h * dx, y + w * dy + h * dx];
    const sx = pageBox.width / data.width;
    const sy = pageBox.height / data.height;
    return {
        x: pageBox.x + Math.min(...xs) * sx,
        y: pageBox.y + Math.min(...ys) * sy,
        width: (Math.max(...xs) - Math.min(...xs)) * sx,
        height: (Math.max(...ys) - Math.min(...ys)) * sy,
    };
}

function overlap(a, b) {
    const w = Math.min(a.x + a.width, b.x + b.width) - Math.max(a.x, b.x);
    const h = Math.min(a.y + a.height, b.y + b.height) - Math.max(a.y, b.y);
    return w > 0 && h > 0 ? (w * h) / (b.width * b.height) : 0;
}

describe('a catalogue with text, links and bookmarks', { concurrency: 2 }, () => {
    let html;
    before(() => {
        html = textCatalogue('sample', SAMPLE);
    });

    const searches = [
        // query, pages found, page and last word of the first match
        ['ecole', [1, 2], 1, 'École'],
        ['ÉCOLE DES', [1], 1, 'des'],
        ['cafes', [2], 2, 'cafés'],
        ['droite fin', [1], 1, 'fin'],
        ['vertical', [1], 1, 'vertical'],
    ];
    for (const [query, pages, firstPage, word] of searches) {
        test(`searching "${query}" lists pages ${pages} and marks "${word}" on page ${firstPage}`, async () => {
            const page = await open(html);
            await page.keyboard.press('Control+f');
            await page.keyboard.type(query);
            await page.waitForFunction(() => document.querySelectorAll('#search-results li').length > 0);
            const found = await page.locator('#search-results .page-ref').allTextContents();
            assert.deepEqual([...new Set(found)], pages.map((p) => `p. ${p}`));
            const mark = page.locator(`.text-layer[data-page="${firstPage}"] .search-mark.current`);
            await mark.first().waitFor();
            // The marks can come before the page has finished turning to them.
            await page.waitForFunction(() => window.velloraViewer.book.getState() === 'read');
            const expected = await wordBoxOnScreen(page, firstPage, pageScript(html, firstPage), word);
            const box = await mark.last().boundingBox();
            assert.ok(overlap(box, expected) > 0.5, `mark ${JSON.stringify(box)} on ${JSON.stringify(expected)}`);
            await page.done();
        });
    }

    test('next and previous match turn the pages; nothing found says so', async () => {
        const page = await open(html);
        await page.click('button[aria-controls="search-panel"]');
        await page.fill('#search-input', 'des');
        await page.waitForFunction(() => /3 résultats sur 2 pages/.test(document.getElementById('search-status').textContent));
        await page.keyboard.press('Enter');
        await page.keyboard.press('Enter');
        await settle(page, '2–3 / 3');
        await page.click('[aria-label="Résultat précédent"]');
        await page.click('[aria-label="Résultat précédent"]');
        await settle(page, '1 / 3');
        assert.equal(await page.locator('#search-status').textContent(), 'Résultat 1 sur 3, page 1.');
        await page.fill('#search-input', 'introuvable');
        await page.waitForFunction(() => document.getElementById('search-status').textContent === 'Aucun résultat.');
        assert.equal(await page.locator('.search-mark').count(), 0);
        await page.done();
    });

    test('selecting a line with the mouse copies its words', async () => {
        const page = await open(html);
        const data = pageScript(html, 1);
        await page.locator('.text-layer[data-page="1"] .words div').first().waitFor();
        const first = await wordBoxOnScreen(page, 1, data, 'Colonne');
        const last = await wordBoxOnScreen(page, 1, data, 'premier');
        await page.mouse.move(first.x + 1, first.y + first.height / 2);
        await page.mouse.down();
        await page.mouse.move(last.x + last.width / 2, last.y + last.height / 2, { steps: 5 });
        await page.mouse.move(last.x + last.width - 1, last.y + last.height / 2, { steps: 2 });
        await page.mouse.up();
        assert.equal(await page.evaluate(() => getSelection().toString()), 'Colonne gauche premier');
        assert.equal(await indicator(page), '1 / 3', 'no page turn');
        await page.done();
    });

    test('an internal link turns to its page', async () => {
        const page = await open(html);
        const link = page.getByRole('link', { name: 'Voir la page deux (page 2)' });
        await link.click();
        await settle(page, '2–3 / 3');
        await page.done();
    });

    test('external links open a new tab, javascript: is never a link', async () => {
        const page = await open(html);
        await page.context().route('https://example.com/**', (route) => route.fulfill({ body: 'ok' }));
        const links = page.locator('.text-layer[data-page="1"] a');
        await links.first().waitFor();
        const attributes = await links.evaluateAll((anchors) =>
            anchors.map((a) => [a.getAttribute('href'), a.target, a.rel, a.getAttribute('aria-label')]));
        assert.deepEqual(attributes, [
            ['#page=2', '', '', 'Voir la page deux (page 2)'],
            ['https://example.com/vellora?a=1&b=%222%22', '_blank', 'noopener noreferrer', 'Site web (nouvel onglet)'],
            ['mailto:contact@example.com', '_blank', 'noopener noreferrer', 'Écrire (nouvel onglet)'],
        ]);
        const [tab] = await Promise.all([page.context().waitForEvent('page'), links.nth(1).click()]);
        await tab.waitForLoadState();
        assert.equal(tab.url(), 'https://example.com/vellora?a=1&b=%222%22');
        assert.equal(await tab.evaluate(() => window.opener), null);
        await page.done();
    });

    test('the outline fills the index panel when the user wrote no index', async () => {
        const page = await open(html);
        await page.click('[data-button="index"]');
        const items = await page.locator('#index-list > li').evaluateAll((lis) => lis.map((li) => li.innerText.replace(/\s+/g, ' ').trim()));
        assert.deepEqual(items, ['Présentation p. 1 Colonnes p. 1', 'Tarifs "2026" page=9 p. 2', 'Sans page']);
        await page.getByRole('button', { name: /Tarifs/ }).click();
        await settle(page, '2–3 / 3');
        await page.done();
    });
});

test('the user\'s own index wins over the outline', async () => {
    const html = textCatalogue('own-index', SAMPLE, { index: [[3, 'Mon entrée']] });
    const page = await open(html);
    await page.click('[data-button="index"]');
    const items = await page.locator('#index-list > li').allInnerTexts();
    assert.deepEqual(items.map((text) => text.replace(/\s+/g, ' ').trim()), ['Mon entrée p. 3']);
    await page.done();
});

test('served from the web, a page script is read as data, one of another form runs', async () => {
    const html = textCatalogue('served', SAMPLE);
    const folder = path.dirname(html);
    // A script written by hand: JavaScript, not JSON.
    const data = JSON.stringify(pageScript(html, 2));
    fs.writeFileSync(path.join(folder, 'page2.js'), `velloraPage(2, JSON.parse(${JSON.stringify(data)}));\n`);
    const server = await startServer(folder);
    try {
        const page = await openCatalogue(browser, `${server.base}/served.html`, { consoleErrors: true });
        await page.keyboard.press('ArrowRight');
        await settle(page, '2–3 / 3');
        const words = (number) => page.locator(`.text-layer[data-page="${number}"] .words`).textContent();
        await page.locator('.text-layer[data-page="2"] .words div').first().waitFor();
        assert.match(await words(1), /^École des Beaux-ArtsColonne gauche premier/);
        assert.equal(await words(2), 'Deuxième pageTarifs des ecoles et des cafés');
        const readAs = await page.evaluate(() => performance.getEntriesByType('resource')
            .filter((entry) => /\/page[12]\.js$/.test(entry.name))
            .map((entry) => `${entry.name.replace(/.*\//, '')} ${entry.initiatorType}`));
        assert.deepEqual(readAs.sort(), ['page1.js fetch', 'page2.js fetch', 'page2.js script']);
        await page.done();
    } finally {
        await server.close();
    }
});

// Right-to-left: [hard cover, pages first shown, pages after one turn forward].
for (const [hardCover, first, second] of [[true, '1 / 3', '2–3 / 3'], [false, '1–2 / 3', '3 / 3']]) {
    test(`a right-to-left document opens from the right and turns leftwards (hard cover ${hardCover})`, async () => {
        const html = textCatalogue(`rtl-${hardCover}`, { ...SAMPLE, direction: 'R2L' }, { hardCover });
        const page = await open(html);
        // Lower page numbers lie to the right.
        const imagesInOrder = () => page.evaluate(() => [...document.querySelectorAll('.page img')]
            .filter((image) => getComputedStyle(image.closest('.page')).display !== 'none' &&
                image.getBoundingClientRect().width > 20)
            .sort((a, b) => b.getBoundingClientRect().x - a.getBoundingClientRect().x)
            .map((image) => image.alt));
        await settle(page, first);
        assert.deepEqual(await imagesInOrder(), hardCover ? ['Page 1'] : ['Page 1', 'Page 2']);
        if (hardCover) {
            const box = await page.locator('.page img[alt="Page 1"]').boundingBox();
            assert.ok(box.x + box.width <= DESKTOP.width / 2 + 2, 'the cover lies on the left, its spine at the right');
        }
        await page.keyboard.press('ArrowLeft');
        await settle(page, second);
        assert.deepEqual(await imagesInOrder(), hardCover ? ['Page 2', 'Page 3'] : ['Page 3']);
        await page.click('[data-button="previous"]');
        await settle(page, first);
        await page.done();
    });
}
