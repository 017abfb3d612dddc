// Pages cut from real documents (see real-pages/README): every form the viewer shows (the
// page image, the SVG drawn by Chromium and by librsvg) looks like MuPDF's drawing of the
// page, and every reference inside an SVG finds its target. Then damaged copies of a real
// document: each page the tree holds is listed, a page that cannot be loaded is named.
import assert from 'node:assert/strict';
import { execFileSync, spawnSync } from 'node:child_process';
import fs from 'node:fs';
import path from 'node:path';
import { createRequire } from 'node:module';
import { after, before, test } from 'node:test';
import { drawReference, drawWithLibrsvg, figures, imagePixelsPerPoint, openMeasurer, pageSize,
         unresolvedReferences } from './fidelity.mjs';

const here = path.dirname(new URL(import.meta.url).pathname);
const pages = path.join(here, 'real-pages');
const converter = path.join(process.env.XDG_DATA_HOME, 'vellora', 'pdf2swf');
const require = createRequire(path.join(process.env.VELLORA_SOURCE_DIR, 'package.json'));
const work = fs.mkdtempSync(path.join(process.env.HOME, 'real-pages-'));

// The targets on every page: mean block difference 2 (of 255), ink lost 0.5 %.
const kMean = 2;
const kInkLost = 0.005;
// Our SVG against MuPDF's SVG of the page, both drawn by the same renderer: the compaction
// changes nothing that shows.
const kSameMean = 0.25;
const kSameInkLost = 0.001;

function missing(what) {
    if (process.env.CI === 'true')
        throw new Error(`missing dependency: ${what}`);
    console.log(`SKIP: missing dependency: ${what}`);
    process.exit(77);
}
for (const program of ['mutool', 'rsvg-convert', 'qpdf', '/usr/bin/chromium']) {
    if (spawnSync('which', [program]).status !== 0)
        missing(program);
}
if (!fs.existsSync(converter))
    missing(`converter ${converter}`);
let chromium;
try {
    ({ chromium } = require('playwright-core'));
} catch {
    missing('npm packages (run npm ci)');
}

// The medium preset, as a build runs it.
const kMedium = ['--flatten', '-s', 'subpixels=1', '-s', '-zoom=48', '-w', '-s', 'jpegquality=85'];

function run(args) {
    const result = spawnSync(converter, args, { encoding: 'utf8' });
    return { status: result.status, out: result.stdout, err: result.stderr };
}

let measurer;
before(async () => {
    measurer = await openMeasurer(chromium, work);
});
after(async () => {
    await measurer?.close();
    fs.rmSync(work, { recursive: true, force: true });
});

// Each page with what it shows: coloured text in several producers' ways, and a scan.
const kPages = [
    ['pdftex-blue-links.pdf', 'vector'],
    ['xdvipdfmx-arabic.pdf', 'vector'],
    ['libreoffice-form.pdf', 'vector'],
    ['cairo-test-page.pdf', 'vector'],
    ['imagemagick-scan.pdf', 'image'],
];

for (const [name, form] of kPages) {
    test(`${name}: every form matches MuPDF's drawing`, async () => {
        const pdf = path.join(pages, name);
        const folder = fs.mkdtempSync(path.join(work, 'page-'));
        const result = run([pdf, '-p1', ...kMedium, '-o', path.join(folder, 'page1.swf')]);
        assert.equal(result.status, 0, result.err);
        const svg = path.join(folder, 'page1.svg');
        assert.equal(fs.existsSync(svg), form === 'vector', 'an SVG exactly for a vector page');
        const reference = path.join(folder, 'mupdf.png');
        const size = drawReference(pdf, 1, reference);
        const mupdf = (file, ...args) => {
            execFileSync('mutool', ['draw', '-q', ...args, '-o', path.join(folder, file), pdf, '1'],
                         { stdio: 'ignore' });
            return path.join(folder, file.replace('%d', '1'));
        };
        // The page image is placed by its own scale, 1600 pixels on the long side.
        const page = pageSize(converter, pdf, 1);
        const forms = [['page image', path.join(folder, 'page1.jpg'), imagePixelsPerPoint(page)]];
        if (form === 'vector') {
            assert.deepEqual(unresolvedReferences(fs.readFileSync(svg, 'utf8')), []);
            const theirSvg = mupdf('mupdf%d.svg', '-F', 'svg');
            forms.push(['SVG in Chromium', svg]);
            const ours = path.join(folder, 'librsvg.png'), theirs = path.join(folder, 'mupdf-librsvg.png');
            drawWithLibrsvg(svg, ours);
            drawWithLibrsvg(theirSvg, theirs);
            forms.push(['SVG in librsvg', ours]);
            for (const [what, a, b] of [['Chromium', theirSvg, svg], ['librsvg', theirs, ours]]) {
                const same = await measurer.measure(a, b, { size });
                assert.ok(same.mean <= kSameMean && same.inkLost <= kSameInkLost,
                          `our SVG against MuPDF's in ${what}: ${figures(same)}`);
            }
        }
        for (const [what, ours, pixelsPerPoint] of forms) {
            const measured = await measurer.measure(reference, ours, { page, pixelsPerPoint });
            assert.ok(measured.inked > 100, `${what}: the page has ink`);
            assert.ok(measured.mean <= kMean && measured.inkLost <= kInkLost,
                      `${what}: ${figures(measured)}`);
        }
    });
}

test('the measure sees a page whose coloured text is missing', async () => {
    // The blue link text taken out of the page's content by hand: its ink is lost.
    const pdf = path.join(pages, 'pdftex-blue-links.pdf');
    const folder = fs.mkdtempSync(path.join(work, 'measure-'));
    const reference = path.join(folder, 'mupdf.png');
    const size = drawReference(pdf, 1, reference);
    const qdf = path.join(folder, 'page.qdf');
    execFileSync('qpdf', ['--qdf', '--object-streams=disable', pdf, qdf]);
    const stripped = fs.readFileSync(qdf, 'latin1').replace(/0 0 1 rg[^]*?0 g/g, '0 g');
    fs.writeFileSync(path.join(folder, 'stripped.pdf'), stripped, 'latin1');
    const lost = path.join(folder, 'lost.png');
    execFileSync('mutool', ['draw', '-q', '-w', String(size.width), '-o', lost,
                            path.join(folder, 'stripped.pdf'), '1'], { stdio: 'ignore' });
    const measured = await measurer.measure(reference, lost);
    assert.ok(measured.inkLost > 0.05, figures(measured));
});

// A two-page document of real pages, and copies of it damaged as files in the wild are.
function damagedCopies() {
    const whole = path.join(work, 'whole.pdf');
    execFileSync('qpdf', ['--empty', '--pages', path.join(pages, 'xdvipdfmx-arabic.pdf'), '1',
                          path.join(pages, 'imagemagick-scan.pdf'), '1', '--',
                          '--object-streams=disable', whole]);
    const bytes = fs.readFileSync(whole, 'latin1');
    const write = (name, text) => {
        fs.writeFileSync(path.join(work, name), text, 'latin1');
        return path.join(work, name);
    };
    // Every offset of the cross-reference table five bytes off: MuPDF rebuilds it.
    const xref = bytes.lastIndexOf('\nxref\n');
    const shifted = bytes.slice(0, xref) + bytes.slice(xref).replace(
        /(\d{10}) (\d{5} n)/g, (all, offset, rest) => `${String(Number(offset) + 5).padStart(10, '0')} ${rest}`);
    // The second page's object: its number found in the page tree's list.
    const kids = /\/Kids \[ (\d+) 0 R (\d+) 0 R \]/.exec(bytes);
    assert.ok(kids, 'the page tree lists two pages');
    const second = new RegExp(`\\n${kids[2]} 0 obj\\n[^]*?endobj`);
    const garbled = bytes.replace(second, (object) => `\n${kids[2]} 0 obj\n` +
                                 '\u0000garbage'.repeat(object.length).slice(0, object.length - 10 - kids[2].length) +
                                 'endobj');
    // The same page's object gone and the offsets wrong: found neither way.
    const lost = shifted.replace(`\n${kids[2]} 0 obj`, `\n${kids[2]} 0 xbj`);
    return {
        shifted: write('shifted.pdf', shifted),
        garbled: write('garbled.pdf', garbled),
        lost: write('lost.pdf', lost),
        truncated: write('truncated.pdf', bytes.slice(0, Math.floor(bytes.length * 2 / 3))),
        noPage: write('no-page.pdf', garbled.replace(new RegExp(`\\n${kids[1]} 0 obj\\n`), `\n${kids[1]} 0 xbj\n`)),
    };
}

test('damaged files: every page of the tree is listed, a broken page is named', () => {
    const files = damagedCopies();
    const listing = 'page=1 width=612 height=792\npage=2 width=81 height=96\n';
    const shifted = run([files.shifted, '-I']);
    assert.deepEqual([shifted.status, shifted.out, shifted.err], [0, listing, '']);

    // The broken second page takes the first page's size; the first page still converts.
    const brokenListing = 'page=1 width=612 height=792\npage=2 width=612 height=792\n';
    for (const file of [files.garbled, files.lost]) {
        const listed = run([file, '-I']);
        assert.equal(listed.status, 0, listed.err);
        assert.equal(listed.out, brokenListing);
        assert.match(listed.err, /^pdf2swf: .* : avertissement : la page 2 ne peut pas être chargée \(.+\) ; listée en 612 × 792 points\n$/);
        const folder = fs.mkdtempSync(path.join(work, 'convert-'));
        const second = run([file, '-p2', ...kMedium, '-o', path.join(folder, 'page2.swf')]);
        assert.notEqual(second.status, 0);
        assert.match(second.err, /^pdf2swf: .*, page 2 : la page 2 ne peut pas être chargée \(.+\)\n$/);
        const first = run([file, '-p1', ...kMedium, '-o', path.join(folder, 'page1.swf')]);
        assert.equal(first.status, 0, first.err);
        assert.deepEqual(fs.readdirSync(folder).filter((f) => f.startsWith('page2')), []);
    }

    // A file cut short is still refused: it must not pass for a shorter document.
    const truncated = run([files.truncated, '-I']);
    assert.notEqual(truncated.status, 0);
    assert.equal(truncated.out, '');
    assert.match(truncated.err, /^pdf2swf: .* : PDF tronqué : la fin du fichier manque\n$/);
    // So is a file none of whose pages can be loaded.
    const noPage = run([files.noPage, '-I']);
    assert.notEqual(noPage.status, 0);
    assert.equal(noPage.out, '');
    assert.match(noPage.err, /aucune page du PDF ne peut être chargée\n$/);
});
