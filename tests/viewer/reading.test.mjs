// Reading a text catalogue as in a PDF reader, in Debian's Chromium: selections that start in
// the margin or between words, run over several lines or from the right, measured against the
// words' boxes the converter took from the PDF; queries with decomposed accents, ligatures, full-width
// letters and words cut at a line end; and a long read that leaves no more elements, and no
// more decoded page pictures, behind than a short one.
import assert from 'node:assert/strict';
import fs from 'node:fs';
import path from 'node:path';
import { after, before, describe, test } from 'node:test';
import { launchChromium, openCatalogue, pageScript as pageScriptOf } from './browser.mjs';
import { configText, makeTextCatalogue, writeManifest } from './catalogue.mjs';
import { longTextDocument } from '../common/text-pdf.mjs';

const WORK = path.join(process.env.XDG_CACHE_HOME ?? '/tmp', 'reading');

const LINES = [
    'Alpha beta gamma delta',
    'epsilon zeta eta theta',
    'iota kappa lambda mu',
    'nu xi omicron pi',
];
const DOCUMENT = {
    pages: [{
        width: 600, height: 800,
        texts: [
            ...LINES.map((text, i) => ({ x: 60, y: 700 - i * 24, size: 12, text })),
            { x: 60, y: 560, size: 12, text: 'Un catalo-' },
            { x: 60, y: 544, size: 12, text: 'gue complet' },
            { x: 60, y: 500, size: 12, text: 'Le fin mot, une École' },
            // Read from the right (made so below).
            { x: 60, y: 460, size: 12, text: 'droite vers gauche' },
        ],
    }, { width: 600, height: 800, texts: [{ x: 60, y: 700, size: 12, text: 'Seconde page' }] }],
};

let browser;
let html;

before(async () => {
    fs.rmSync(WORK, { recursive: true, force: true });
    html = makeTextCatalogue(path.join(WORK, 'words'), DOCUMENT, {
        htmlName: 'words.html', searchWriter: process.env.VELLORA_SEARCH_WRITER,
    });
    // The last line of page 1 as the converter gives a right-to-left line: words in reading
    // order, from the right.
    const script = path.join(path.dirname(html), 'page1.js');
    const data = pageScriptOf(html, 1);
    const line = data.lines.find((l) => l.words.map((w) => w[0]).join(' ') === 'droite vers gauche');
    Object.assign(line, { rtl: true, words: line.words.reverse() });
    fs.writeFileSync(script, `velloraPage(1, ${JSON.stringify(data)});\n`);
    browser = await launchChromium();
});

after(async () => {
    await browser?.close();
});

const open = (url, context = {}) => openCatalogue(browser, url, { context });
const pageScript = (number) => pageScriptOf(html, number);

// Images Chromium's compositor holds decoded, counted in its memory dump.
async function decodedImages() {
    const session = await browser.newBrowserCDPSession();
    const events = [];
    session.on('Tracing.dataCollected', ({ value }) => events.push(...value));
    const complete = new Promise((resolve) => session.once('Tracing.tracingComplete', resolve));
    await session.send('Tracing.start', {
        traceConfig: { includedCategories: ['disabled-by-default-memory-infra'], excludedCategories: ['*'], memoryDumpConfig: { triggers: [] } },
        transferMode: 'ReportEvents',
    });
    const { success } = await session.send('Tracing.requestMemoryDump', { deterministic: true, levelOfDetail: 'detailed' });
    await session.send('Tracing.end');
    await complete;
    await session.detach();
    assert.ok(success, 'memory dump');
    const names = events.filter((event) => event.ph === 'v').flatMap((event) => Object.keys(event.args?.dumps?.allocators ?? {}));
    assert.ok(names.some((name) => name.startsWith('cc/')), 'the dump has the compositor\'s part');
    return names.filter((name) => /^cc\/image_memory\/[^/]+\/[^/]+\/image_[^/]+$/.test(name)).length;
}

// Screen boxes of the words of page 1 as the converter found them in the PDF, line by line.
async function wordBoxes(page) {
    const data = pageScript(1);
    const box = await page.locator('.page').first().boundingBox();
    const sx = box.width / data.width;
    const sy = box.height / data.height;
    return data.lines.map((line) => line.words.map(([text, offset, length]) => ({
        text,
        x: box.x + (line.box[0] + offset) * sx,
        y: box.y + line.box[1] * sy,
        width: length * sx,
        height: line.box[3] * sy,
    })));
}

// Drags from one window point to another, then copies.
async function dragAndCopy(page, from, to) {
    await page.mouse.move(from.x, from.y);
    await page.mouse.down();
    await page.mouse.move((from.x + to.x) / 2, (from.y + to.y) / 2, { steps: 4 });
    await page.mouse.move(to.x, to.y, { steps: 4 });
    await page.mouse.up();
    return page.evaluate(async () => {
        await new Promise((resolve) => setTimeout(resolve, 50));
        let copied = null;
        const read = (event) => {
            copied = event.clipboardData.getData('text/plain');
        };
        document.addEventListener('copy', read);
        document.execCommand('copy');
        document.removeEventListener('copy', read);
        const bands = [...document.querySelectorAll('.text-selected')].map((band) => {
            const r = band.getBoundingClientRect();
            return { left: r.left, right: r.right, middle: r.top + r.height / 2 };
        });
        return { copied, bands };
    });
}

describe('selection as in a PDF reader', { concurrency: 1 }, () => {
    const cases = [
        // name, start point, end point, the words selected (as [line, word] of LINES)
        ['from the margin left of a line', (w) => ({ x: w[0][0].x - 25, y: w[0][0].y + w[0][0].height / 2 }),
            (w) => ({ x: w[0][2].x + w[0][2].width - 1, y: w[0][2].y + w[0][2].height / 2 }),
            'Alpha beta gamma'],
        ['from the gap between two words to 3 px past the line end',
            (w) => ({ x: (w[1][1].x + w[1][1].width + w[1][2].x) / 2, y: w[1][1].y + w[1][1].height / 2 }),
            (w) => ({ x: w[1][3].x + w[1][3].width + 3, y: w[1][3].y + w[1][3].height / 2 }),
            'eta theta'],
        ['over three lines', (w) => ({ x: w[0][1].x + 1, y: w[0][1].y + w[0][1].height / 2 }),
            (w) => ({ x: w[2][1].x + w[2][1].width - 1, y: w[2][1].y + w[2][1].height / 2 }),
            'beta gamma delta\nepsilon zeta eta theta\niota kappa'],
        ['backwards, from the gap between two lines', (w) => ({ x: w[1][0].x + 5, y: (w[1][0].y + w[1][0].height + w[2][0].y) / 2 }),
            (w) => ({ x: w[0][3].x + 1, y: w[0][3].y + w[0][3].height / 2 }),
            'delta\nepsilon zeta eta theta'],
        ['right to left, from the margin right of the line', (w) => ({ x: w[7][0].x + w[7][0].width + 20, y: w[7][0].y + w[7][0].height / 2 }),
            (w) => ({ x: w[7][1].x + 1, y: w[7][1].y + w[7][1].height / 2 }),
            'gauche vers'],
    ];
    for (const [name, start, end, expected] of cases) {
        test(`a drag ${name} selects "${expected.replace('\n', ' / ')}"`, async () => {
            const page = await open(`file://${html}`);
            await page.locator('.text-layer[data-page="1"] .words div').first().waitFor();
            const boxes = await wordBoxes(page);
            assert.deepEqual(boxes.slice(0, 4).map((line) => line.map((w) => w.text).join(' ')), LINES);
            const { copied, bands } = await dragAndCopy(page, start(boxes), end(boxes));
            assert.equal(copied, expected);
            // What shows selected is one band per line, from the first word selected to the
            // last, in the PDF's boxes.
            const words = boxes.flat();
            const expectedBands = expected.split('\n').map((line) => {
                const named = line.split(' ').map((name) => words.find((w) => w.text === name));
                return {
                    left: Math.min(...named.map((w) => w.x)), right: Math.max(...named.map((w) => w.x + w.width)),
                    middle: named[0].y + named[0].height / 2,
                };
            });
            assert.equal(bands.length, expectedBands.length, JSON.stringify(bands));
            bands.sort((a, b) => a.middle - b.middle).forEach((band, i) => {
                for (const side of ['left', 'right', 'middle']) {
                    assert.ok(Math.abs(band[side] - expectedBands[i][side]) <= 2,
                        `band ${i} ${side} at ${band[side]}, the words' at ${expectedBands[i][side]}`);
                }
            });
            assert.equal(await page.locator('#page-number').textContent(), '1 / 2', 'no page turn');
            await page.done();
        });
    }
});

describe('search folds the text and the query', { concurrency: 1 }, () => {
    const queries = [
        // query, the words marked
        ['e\u0301cole', ['École']],
        ['\u00c9COLE', ['École']],
        ['\ufb01n mot', ['fin', 'mot,']],
        ['\uff25\uff43\uff4f\uff4c\uff45', ['École']],
        ['catalogue', ['catalo-', 'gue']],
        ['catalo-', ['catalo-']],
    ];
    for (const [query, words] of queries) {
        test(`"${query}" finds and marks ${words.join(' + ')}`, async () => {
            const page = await open(`file://${html}`);
            await page.keyboard.press('Control+f');
            await page.locator('#search-input').fill(query);
            await page.waitForFunction(() => /1 résultat sur 1 page\.$/.test(document.getElementById('search-status').textContent));
            assert.equal(await page.locator('#search-results .page-ref').textContent(), 'p. 1');
            assert.equal(await page.evaluate(() => window.velloraViewer.search.engine.runs), 'worker');
            const marks = page.locator('.text-layer[data-page="1"] .search-mark.current');
            await marks.first().waitFor();
            const boxes = (await wordBoxes(page)).flat();
            const markBoxes = await marks.evaluateAll((all) => all.map((m) => {
                const r = m.getBoundingClientRect();
                return { x: r.x + r.width / 2, y: r.y + r.height / 2 };
            }));
            assert.equal(markBoxes.length, words.length);
            markBoxes.forEach((point, i) => {
                const word = boxes.find((w) => w.text === words[i]);
                assert.ok(point.x >= word.x && point.x <= word.x + word.width &&
                    point.y >= word.y && point.y <= word.y + word.height,
                `mark ${i} at ${JSON.stringify(point)} is not on "${words[i]}"`);
            });
            await page.done();
        });
    }
});

// 12 pages of dense print, repeated to 130 pages: the viewer holds the text of the pages near
// the ones on screen only, and searches a search file in parts.
test('the element count after 110 turns stays within that after 10', async () => {
    const folder = path.join(WORK, 'long');
    const distinct = 12;
    const pages = 130;
    const made = makeTextCatalogue(folder, longTextDocument(distinct), {
        htmlName: 'long.html', searchWriter: process.env.VELLORA_SEARCH_WRITER,
    });
    for (let p = distinct + 1; p <= pages; p++) {
        const from = ((p - 1) % distinct) + 1;
        for (const suffix of ['.swf', '.jpg', '-m.jpg', '-t.jpg']) {
            fs.copyFileSync(path.join(folder, `page${from}${suffix}`), path.join(folder, `page${p}${suffix}`));
        }
        const script = fs.readFileSync(path.join(folder, `page${from}.js`), 'utf8');
        fs.writeFileSync(path.join(folder, `page${p}.js`), script.replace(/^velloraPage\(\d+,/, `velloraPage(${p},`));
    }
    // The search file in three parts, as a build splits a large one.
    const whole = fs.readFileSync(path.join(folder, 'vellora-search.js'), 'utf8');
    const texts = JSON.parse(whole.slice(whole.indexOf('{'), whole.lastIndexOf('}') + 1)).pages;
    fs.rmSync(path.join(folder, 'vellora-search.js'));
    [[1, 50], [51, 100], [101, pages]].forEach(([first, last], k) => {
        const part = Array.from({ length: last - first + 1 }, (_, i) => texts[(first + i - 1) % distinct]);
        fs.writeFileSync(path.join(folder, `vellora-search-${k + 1}.js`),
            `velloraSearch(${JSON.stringify(first > 1 ? { pages: part, first } : { pages: part })});\n`);
    });
    const xml = configText({ pages, width: 595, height: 842 });
    fs.writeFileSync(path.join(folder, 'vellora.xml'), xml);
    fs.writeFileSync(path.join(folder, 'vellora-config.js'), `window.velloraConfig = ${JSON.stringify(xml)};\n`);
    writeManifest(folder, { pages, width: 595, height: 842, htmlName: 'long.html' });

    const page = await open(`file://${made}`, { reducedMotion: 'reduce' });
    const turn = async (count) => {
        for (let i = 0; i < count; i++) {
            await page.evaluate(() => window.velloraViewer.next());
            // The pages on screen have their words before the next turn.
            await page.waitForFunction(() => window.velloraViewer.visiblePages()
                .every((index) => document.querySelector(`.text-layer[data-page="${index + 1}"] .words div`)));
        }
    };
    const elements = () => page.evaluate(() => document.getElementsByTagName('*').length);
    // Page pictures holding pixels: canvases with a size, and <img> painted with a source.
    const pictures = () => page.evaluate(() => [...document.querySelectorAll('.page canvas')].filter((c) => c.width > 0).length +
        [...document.querySelectorAll('.page img[src]')].filter((i) => getComputedStyle(i).visibility !== 'hidden').length);
    await turn(10);
    const after10 = await elements();
    const held10 = await pictures();
    const decoded10 = await decodedImages();
    await turn(100);
    const after110 = await elements();
    assert.ok(after110 <= after10 * 1.25, `${after110} elements after 110 turns, ${after10} after 10`);
    const held110 = await pictures();
    assert.ok(held10 <= 14 && held110 <= 14, `${held10} pictures held after 10 turns, ${held110} after 110`);
    // What the browser keeps decoded for painted <img> only memory pressure frees: the page the
    // book opened on, never the pages read since.
    const decoded110 = await decodedImages();
    assert.ok(decoded10 <= 2 && decoded110 <= 2, `${decoded10} images decoded by the compositor after 10 turns, ${decoded110} after 110`);
    const layers = await page.locator('.text-layer').count();
    assert.ok(layers <= 10, `${layers} text layers kept`);
    // Every part is searched, each at its own pages.
    await page.keyboard.press('Control+f');
    await page.locator('#search-input').fill('page 10 :');
    await page.waitForFunction(() => document.getElementById('search-status').textContent === '11 résultats sur 11 pages.');
    assert.deepEqual(await page.locator('#search-results .page-ref').allTextContents(),
        [10, 22, 34, 46, 58, 70, 82, 94, 106, 118, 130].map((n) => `p. ${n}`));
    await page.done();
});
