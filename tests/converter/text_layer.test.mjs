// The converter's text layer, links and outline, read back from the files it writes for
// documents whose words, links and bookmarks the test placed itself.
import assert from 'node:assert/strict';
import { execFileSync, spawnSync } from 'node:child_process';
import fs from 'node:fs';
import path from 'node:path';
import vm from 'node:vm';
import { test } from 'node:test';
import { SAMPLE, makeTextPdf } from '../common/text-pdf.mjs';

const converter = path.join(process.env.XDG_DATA_HOME, 'vellora', 'pdf2swf');
const work = fs.mkdtempSync(path.join(process.env.HOME, 'text-'));

function pdf(name, description) {
    const file = path.join(work, name);
    fs.writeFileSync(file, makeTextPdf(description));
    return file;
}

function convert(input, page, folder = work) {
    const movie = path.join(folder, `page${page}.swf`);
    execFileSync(converter, [input, `-p${page}`, '-o', movie]);
    return path.join(folder, `page${page}.js`);
}

// Runs a page script the way the viewer does: it calls velloraPage(i, data).
function readPageScript(file) {
    const calls = [];
    // Copied out of the script's own realm so that deepEqual compares plain values.
    const velloraPage = (i, data) => calls.push([i, JSON.parse(JSON.stringify(data))]);
    vm.runInNewContext(fs.readFileSync(file, 'utf8'), { velloraPage });
    assert.equal(calls.length, 1);
    return calls[0];
}

const sample = pdf('sample.pdf', SAMPLE);
const [pageNumber, page1] = readPageScript(convert(sample, 1));

test('the page script names its page and size', () => {
    assert.equal(pageNumber, 1);
    assert.deepEqual([page1.width, page1.height], [600, 800]);
});

test('words come in reading order, column by column, with their text', () => {
    const lines = page1.lines.map((line) => line.words.map((w) => w[0]).join(' '));
    assert.deepEqual(lines, [
        'École des Beaux-Arts',
        'Colonne gauche premier',
        'gauche second',
        'Colonne droite',
        'droite fin',
        'Texte vertical',
        'Voir la page deux',
        'Site web',
        'Piège script',
        'Écrire',
    ]);
});

// Each word starts where the test wrote it, and its line's box holds the baseline: y is
// measured from the top, so a baseline at PDF y=700 lies 100 points down the page.
function findWord(word, x) {
    for (const line of page1.lines) {
        for (const [text, offset, length] of line.words) {
            if (text === word && Math.abs(line.box[0] + offset - x) < 1) return [line, length];
        }
    }
    return [];
}
for (const [word, x, baseline, fontSize] of [
    ['École', 50, 60, 24],
    ['Colonne', 50, 100, 12],
    ['Colonne', 320, 100, 12],
    ['Écrire', 50, 390, 14],
]) {
    test(`the box of "${word}" at x=${x} holds its baseline ${baseline}`, () => {
        const [line, width] = findWord(word, x);
        assert.ok(line, `${word} at ${x}`);
        const [, top, , height] = line.box;
        assert.ok(top < baseline && baseline < top + height, `${top} < ${baseline} < ${top + height}`);
        assert.ok(height >= fontSize && height < fontSize * 1.6, `height ${height}`);
        assert.ok(width > fontSize, `width ${width}`);
    });
}

test('a line turned a quarter keeps its direction and its start', () => {
    const line = page1.lines.find((l) => l.words[0][0] === 'Texte');
    assert.deepEqual(line.dir, [0, -1]);
    // Baseline from (560, 700) upwards: the line starts at y=700 and its top faces x<560.
    const [x, y, , height] = line.box;
    assert.equal(y, 700);
    assert.ok(x < 560 && 560 < x + height, `${x} < 560 < ${x + height}`);
    const [[, offset, width], [, secondOffset]] = line.words;
    assert.equal(offset, 0);
    assert.ok(width > 30 && width < 40 && secondOffset > width, `${width}, ${secondOffset}`);
    assert.equal(page1.lines[0].dir, undefined);
});

test('links keep their boxes, internal ones their page, external ones their address', () => {
    assert.deepEqual(page1.links, [
        { box: [50, 285, 120, 20], page: 2 },
        { box: [50, 315, 60, 20], uri: 'https://example.com/vellora?a=1&b="2"' },
        { box: [50, 345, 90, 20], uri: 'javascript:alert(1)' },
        { box: [50, 375, 50, 20], uri: 'mailto:contact@example.com' },
    ]);
});

test('a page with neither text nor links gets no script, and loses an old one', () => {
    const stale = path.join(work, 'page3.js');
    fs.writeFileSync(stale, 'velloraPage(3, {});');
    convert(sample, 3);
    assert.equal(fs.existsSync(stale), false);
    assert.ok(fs.existsSync(path.join(work, 'page3.jpg')));
});

test('a failed conversion leaves the previous page script as it was', () => {
    const folder = fs.mkdtempSync(path.join(work, 'fail-'));
    fs.writeFileSync(path.join(folder, 'page1.js'), 'old');
    const broken = path.join(folder, 'broken.pdf');
    fs.writeFileSync(broken, makeTextPdf(SAMPLE).subarray(0, 900));
    const run = spawnSync(converter, [broken, '-p1', '-o', path.join(folder, 'page1.swf')]);
    assert.notEqual(run.status, 0);
    assert.equal(fs.readFileSync(path.join(folder, 'page1.js'), 'utf8'), 'old');
    assert.deepEqual(fs.readdirSync(folder).sort(), ['broken.pdf', 'page1.js']);
});

// Bookmark i (from 0) holds bookmark i + 1; the title of the first has a NUL inside.
function deepOutline(levels) {
    let entry = { title: `Niveau ${levels - 1}`, page: 1 };
    for (let i = levels - 2; i >= 0; i--) {
        entry = { title: i === 0 ? 'Avant\u0000après' : `Niveau ${i}`, page: 2, children: [entry] };
    }
    return entry;
}

function expectedDeep(level) {
    const title = level === 0 ? 'Avantaprès' : `Niveau ${level}`;
    if (level === 15) {
        return { title, page: 2, children: [16, 17, 18, 19].map((n) => ({ title: `Niveau ${n}`, page: n === 19 ? 1 : 2, children: [] })) };
    }
    return { title, page: 2, children: [expectedDeep(level + 1)] };
}

// A document without an information dictionary or /Lang.
const NO_METADATA = { title: '', subject: '', lang: '' };
const outlineCases = [
    ['bookmarks with children, quotes and a false page count', sample, {
        direction: 'ltr', ...NO_METADATA,
        outline: [
            { title: 'Présentation', page: 1, children: [{ title: 'Colonnes', page: 1, children: [] }] },
            { title: 'Tarifs "2026" page=9', page: 2, children: [] },
            { title: 'Sans page', page: null, children: [] },
        ],
    }],
    ['a right-to-left document without bookmarks',
        pdf('rtl.pdf', { pages: [{ ...SAMPLE.pages[0], links: [] }], direction: 'R2L' }),
        { direction: 'rtl', ...NO_METADATA, outline: [] }],
    // Each kind of PDF text string: UTF-16BE and UTF-8 with their marks, PDFDocEncoding (0x84 is
    // an em dash, 0xA0 the euro sign), and a NUL inside, which is left out.
    ['title, subject and language in every encoding',
        pdf('metadata.pdf', { ...SAMPLE, outline: [], metadata: {
            title: '<FEFF00C9007400E90020D83DDE000000003C002F0073>',
            subject: '<EFBBBF507269782020E282AC203C623E>',
            lang: '(fr-CA)' } }),
        { direction: 'ltr', title: 'Été \u{1F600}</s', subject: 'Prix  € <b>', lang: 'fr-CA', outline: [] }],
    ['PDFDocEncoding',
        pdf('docencoding.pdf', { ...SAMPLE, outline: [], metadata: { title: '<4184A042004300>', subject: '(a\\)b)' } }),
        { direction: 'ltr', title: 'A—€BC', subject: 'a)b', lang: '', outline: [] }],
    ['bookmarks twenty levels deep, a title with a NUL',
        pdf('deep.pdf', { ...SAMPLE, outline: [deepOutline(20)] }), {
            direction: 'ltr', ...NO_METADATA,
            // Sixteen levels nest; the four below the sixteenth are listed under it.
            outline: [expectedDeep(0)],
        }],
    ['bookmarks that loop back on themselves',
        pdf('loop.pdf', { ...SAMPLE, loop: true }), null],
];
for (const [name, input, expected] of outlineCases) {
    test(`--outline: ${name}`, () => {
        const run = spawnSync(converter, [input, '--outline'], { encoding: 'utf8', timeout: 20000 });
        assert.equal(run.status, 0, run.stderr);
        assert.ok(run.stdout.endsWith('}\n'));
        const result = JSON.parse(run.stdout);
        if (expected) assert.deepEqual(result, expected);
        else assert.equal(result.direction, 'ltr');
    });
}

test('--outline goes with no other mode', () => {
    for (const extra of [['-I'], ['-p1', '-o', path.join(work, 'x.swf')]]) {
        const run = spawnSync(converter, [sample, '--outline', ...extra], { encoding: 'utf8' });
        assert.equal(run.status, 2);
        assert.match(run.stderr, /--outline ne se combine pas/);
    }
});

test('-s text=0 writes no page script and removes an old one', () => {
    const folder = fs.mkdtempSync(path.join(work, 'notext-'));
    fs.writeFileSync(path.join(folder, 'page1.js'), 'old');
    execFileSync(converter, [sample, '-p1', '-s', 'text=0', '-o', path.join(folder, 'page1.swf')]);
    assert.deepEqual(fs.readdirSync(folder).sort(), ['page1-m.jpg', 'page1-t.jpg', 'page1.jpg', 'page1.swf']);
});
