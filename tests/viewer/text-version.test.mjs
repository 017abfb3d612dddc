// Catalogues ready to publish, made by the real vellora-build from PDFs with known text: the
// document's identity in the catalogue page, the text version page by page, the list of text
// pages without script, share tags only with an address; checked in Debian's Chromium with
// axe-core and, for the text pages, the Nu Html Checker.
import assert from 'node:assert/strict';
import { execFileSync, spawnSync } from 'node:child_process';
import fs from 'node:fs';
import { createRequire } from 'node:module';
import path from 'node:path';
import { after, before, test } from 'node:test';
import { chromium } from 'playwright-core';
import { makeTextPdf } from '../common/text-pdf.mjs';

const require = createRequire(import.meta.url);
const CHROMIUM = '/usr/bin/chromium';
const WORK = path.join(process.env.XDG_CACHE_HOME ?? '/tmp', 'publish');
const AXE = fs.readFileSync(require.resolve('axe-core/axe.min.js'), 'utf8');

const utf16 = (text) => `<FEFF${[...text].map((c) => c.charCodeAt(0).toString(16).padStart(4, '0')).join('')}>`;

// A hostile title: a script end, quotes, an ampersand, a bell and a tab.
const TITLE = 'Prix </script> "Été" & \'co\'\u0007\tfin';
const PAGES = [
    { width: 600, height: 800, texts: [
        { x: 50, y: 740, size: 24, text: 'Catalogue printemps' },
        { x: 50, y: 700, size: 12, text: 'Chaises et tables' },
        { x: 50, y: 686, size: 12, text: 'en chêne massif' },
        { x: 50, y: 600, size: 12, text: 'Voir la page deux' },
        { x: 50, y: 560, size: 12, text: 'Site web' },
        { x: 50, y: 520, size: 12, text: 'Piège' }],
      links: [
        { rect: [50, 595, 170, 615], page: 2 },
        { rect: [50, 555, 110, 575], uri: 'https://exemple.fr/?a=1&b=2' },
        { rect: [50, 515, 100, 535], uri: 'javascript:alert(1)' }] },
    { width: 600, height: 800, texts: [{ x: 72, y: 720, size: 18, text: 'Deuxième page' }] },
    { width: 600, height: 800, texts: [] },
];
const TEXT = 'Catalogue printemps Chaises et tables en chêne massif Voir la page deux Site web Piège Deuxième page';

let browser;
let published; // with metadata, --url and --pdf
let plain;     // without metadata or address
let real;      // pages of documents Debian ships, joined into one
const REAL_PAGES = path.join(import.meta.dirname, '../converter/real-pages');

function build(name, document, extra) {
    const folder = path.join(WORK, name);
    fs.mkdirSync(folder, { recursive: true });
    const pdf = path.join(WORK, `${name}.pdf`);
    fs.writeFileSync(pdf, makeTextPdf(document));
    execFileSync(process.env.VELLORA_BUILD_PROGRAM, [pdf, '-o', path.join(folder, 'catalogue.html'), '-q', ...extra]);
    return folder;
}

before(async () => {
    if (!fs.existsSync(CHROMIUM)) throw new Error(`missing dependency: ${CHROMIUM}`);
    fs.rmSync(WORK, { recursive: true, force: true });
    published = build('publie', { pages: PAGES, metadata: { title: utf16(TITLE), lang: '(en-GB)' } },
        ['--url', 'https://exemple.fr/printemps', '--pdf']);
    plain = build('simple', { pages: PAGES }, []);
    const joined = path.join(WORK, 'reelles.pdf');
    execFileSync('qpdf', ['--empty', '--pages', ...['pdftex-blue-links', 'xdvipdfmx-arabic',
        'libreoffice-form', 'cairo-test-page', 'imagemagick-scan'].map((n) => path.join(REAL_PAGES, `${n}.pdf`)),
    '--', joined]);
    real = path.join(WORK, 'reelles');
    execFileSync(process.env.VELLORA_BUILD_PROGRAM, [joined, '-o', path.join(real, 'catalogue.html'), '-q']);
    browser = await chromium.launch({
        executablePath: CHROMIUM,
        args: ['--no-sandbox', '--disable-gpu', '--disable-background-networking',
            '--disable-component-update', '--disable-sync', '--no-first-run'],
    });
});

after(async () => {
    await browser?.close();
});

async function open(file, { script = true } = {}) {
    const context = await browser.newContext({ javaScriptEnabled: script });
    const page = await context.newPage();
    await page.goto(`file://${file}`);
    page.close = () => context.close();
    return page;
}

async function axeViolations(page) {
    await page.evaluate(AXE);
    const result = await page.evaluate(() => window.axe.run());
    return result.violations.map((v) => `${v.id}: ${v.nodes.map((n) => n.target).join(' ')}`);
}

const head = (page) => page.evaluate(() => ({
    title: document.title,
    description: document.querySelector('meta[name=description]').content,
    canonical: document.querySelector('link[rel=canonical]')?.href ?? null,
    image: document.querySelector('meta[property="og:image"]')?.content ?? null,
    card: document.querySelector('meta[name="twitter:card"]')?.content ?? null,
}));

test('the catalogue page carries the document\'s identity, with share tags only given an address', async () => {
    const withMetadata = await open(path.join(published, 'catalogue.html'));
    assert.deepEqual(await head(withMetadata), {
        title: 'Prix </script> "Été" & \'co\' fin', description: TEXT,
        canonical: 'https://exemple.fr/printemps/catalogue.html',
        image: 'https://exemple.fr/printemps/vellora-cover.jpg', card: 'summary_large_image',
    });
    await withMetadata.close();
    const without = await open(path.join(plain, 'catalogue.html'));
    assert.deepEqual(await head(without),
        { title: 'Catalogue printemps', description: TEXT, canonical: null, image: null, card: null });
    await without.close();
    // No absolute address anywhere in a folder built without one, and no site map.
    for (const name of fs.readdirSync(plain).filter((n) => /\.(html|js|xml)$/.test(n))) {
        assert.doesNotMatch(fs.readFileSync(path.join(plain, name), 'utf8'), /https?:\/\/(?!www\.w3\.org|www\.sitemaps|exemple\.fr\/\?a=1)/, name);
    }
    assert.ok(!fs.existsSync(path.join(plain, 'sitemap.xml')));
    assert.ok(fs.existsSync(path.join(published, 'catalogue.pdf')));
});

test('without script the catalogue page lists its text pages, and axe finds nothing', async () => {
    const page = await open(path.join(published, 'catalogue.html'), { script: false });
    const links = await page.locator('#text-version a').evaluateAll((all) => all.map((a) => [a.textContent, a.getAttribute('href')]));
    assert.deepEqual(links, [['Page 1', 'page1.html'], ['Page 2', 'page2.html'], ['Page 3', 'page3.html']]);
    assert.ok(await page.locator('#text-version h1').isVisible());
    await page.close();
    // axe needs script: it checks the page as a reader without script gets it, its scripts
    // removed and its noscript blocks open.
    const html = fs.readFileSync(path.join(published, 'catalogue.html'), 'utf8')
        .replace(/<script[^>]*>[^]*?<\/script>/g, '').replace(/<\/?noscript>/g, '');
    fs.writeFileSync(path.join(published, 'without-script.html'), html);
    const unscripted = await open(path.join(published, 'without-script.html'));
    assert.deepEqual(await axeViolations(unscripted), []);
    await unscripted.close();
    const scripted = await open(path.join(published, 'catalogue.html'));
    await scripted.waitForFunction(() => document.getElementById('page-number')?.textContent.includes('/'));
    assert.deepEqual(await axeViolations(scripted), []);
    await scripted.close();
});

const textPage = (page) => page.evaluate(() => ({
    h1: document.querySelector('h1').textContent,
    lang: [document.documentElement.lang, document.querySelector('main').lang],
    number: document.querySelector('header p').textContent,
    paragraphs: [...document.querySelectorAll('main p')].map((p) => p.textContent),
    links: [...document.querySelectorAll('main a')].map((a) => [a.textContent, a.getAttribute('href')]),
    nav: [...document.querySelectorAll('nav a')].map((a) => [a.textContent, a.getAttribute('href')]),
    image: document.querySelector('main img')?.getAttribute('src') ?? null,
    scripts: document.scripts.length,
}));

test('each text page holds its words as paragraphs, its safe links and its neighbours', async () => {
    const expected = [
        { h1: 'Prix </script> "Été" & \'co\' fin', lang: ['fr', 'en-GB'], number: 'Page 1 sur 3',
          paragraphs: ['Catalogue printemps', 'Chaises et tables en chêne massif', 'Voir la page deux', 'Site web', 'Piège'],
          links: [['Voir la page deux', 'page2.html'], ['Site web', 'https://exemple.fr/?a=1&b=2']],
          nav: [['Ouvrir dans le catalogue', 'catalogue.html#page=1'], ['Page suivante', 'page2.html']],
          image: 'page1-m.jpg', scripts: 0 },
        { h1: 'Prix </script> "Été" & \'co\' fin', lang: ['fr', 'en-GB'], number: 'Page 2 sur 3',
          paragraphs: ['Deuxième page'], links: [],
          nav: [['Page précédente', 'page1.html'], ['Ouvrir dans le catalogue', 'catalogue.html#page=2'], ['Page suivante', 'page3.html']],
          image: 'page2-m.jpg', scripts: 0 },
        { h1: 'Prix </script> "Été" & \'co\' fin', lang: ['fr', 'en-GB'], number: 'Page 3 sur 3',
          paragraphs: ['Cette page ne contient pas de texte.'], links: [],
          nav: [['Page précédente', 'page2.html'], ['Ouvrir dans le catalogue', 'catalogue.html#page=3']],
          image: 'page3-m.jpg', scripts: 0 },
    ];
    for (const [i, want] of expected.entries()) {
        const page = await open(path.join(published, `page${i + 1}.html`));
        assert.deepEqual(await textPage(page), want);
        assert.deepEqual(await axeViolations(page), []);
        await page.close();
    }
    const undetermined = await open(path.join(plain, 'page1.html'));
    assert.deepEqual((await textPage(undetermined)).lang, ['fr', 'und']);
    await undetermined.close();
});

test('the text pages of real documents read as their words and pass axe', async () => {
    for (let p = 1; p <= 5; p++) {
        const page = await open(path.join(real, `page${p}.html`));
        const { paragraphs } = await textPage(page);
        // The Persian page keeps its script; the scanned page has no text.
        if (p === 2) assert.match(paragraphs.join(' '), /[\u0600-\u06FF]{4}/);
        if (p === 5) assert.deepEqual(paragraphs, ['Cette page ne contient pas de texte.']);
        else assert.ok(paragraphs.join(' ').length > 10, `page ${p}`);
        assert.deepEqual(await axeViolations(page), [], `page ${p}`);
        await page.close();
    }
});

test('the text pages pass the Nu Html Checker', () => {
    const files = [published, real].flatMap((folder) => fs.readdirSync(folder)
        .filter((n) => /^page\d+\.html$/.test(n)).map((n) => path.join(folder, n)));
    const run = spawnSync('java', ['-jar', require('vnu-jar'), '--errors-only', '--also-check-css',
        '--format', 'text', ...files, path.join(published, 'vellora-text.css')], { encoding: 'utf8' });
    if (run.error) throw new Error(`missing dependency: java (${run.error.message})`);
    assert.equal(run.status, 0, run.stdout + run.stderr);
});
