// Test catalogues: a folder laid out as a Vellora build leaves it, with "vellora.xml" written
// line for line the way the builder writes it, "vellora-config.js", the viewer files from the
// tool folder, and page images drawn by Ghostscript.
import { execFileSync } from 'node:child_process';
import fs from 'node:fs';
import path from 'node:path';
import { makeTextPdf } from '../common/text-pdf.mjs';

export const BUTTONS = [
    ['print', 'Imprimer page'],
    ['zoomLess', 'Zoom -'],
    ['zoomPlus', 'Zoom +'],
    ['first', 'Aller à la première page'],
    ['previous', 'Aller à la page précédente'],
    ['next', 'Aller à la page suivante'],
    ['last', 'Aller à la dernière page'],
    ['index', "Afficher l'index"],
    ['pages', 'Afficher les pages'],
    ['fullScreen', 'Full screen Mode'],
];

export function toolFolder() {
    const data = process.env.XDG_DATA_HOME;
    if (!data) throw new Error('XDG_DATA_HOME is not set: run this test through CTest');
    return path.join(data, 'vellora');
}

function escapeXml(text) {
    const named = { '&': '&amp;', '<': '&lt;', '>': '&gt;', '"': '&quot;' };
    return text.replace(/[&<>"\t\r\n]/g, (c) => named[c] ?? `&#${c.charCodeAt(0)};`);
}

export function configText({
    pages,
    width = 592,
    height = 790,
    hardCover = true,
    color1 = 'FFFFFF',
    color2 = 'C0C0C0',
    buttons = {},
    index = [],
    escape = true,
}) {
    // Vellora escapes attribute values; catalogues from older builds hold them as typed.
    const value = (text) => (escape ? escapeXml(String(text)) : String(text));
    const lines = [];
    lines.push(`<content width="${width}" height="${height}" hcover="${hardCover}" transparency="true">`);
    lines.push('\t<page src="page1.swf"\tpreLoad="false" />');
    lines.push(`<bg color1="#${color1}" color2="#${color2}"/>`);
    for (const [name, defaultAlt] of BUTTONS) {
        const button = { visible: true, alt: defaultAlt, ...(buttons[name] ?? {}) };
        lines.push(`<${name}_btn visible="${button.visible}" alt="${value(button.alt)}" />`);
    }
    for (let p = 2; p <= pages; p++) {
        lines.push(`\t<page src="page${p}.swf" preLoad="false" canTear="true" />`);
    }
    for (const [page, description] of index) {
        lines.push(`<index page="${value(page)}" description="${value(description)}" />`);
    }
    lines.push('</content>');
    return lines.map((line) => `${line}\r\n`).join('');
}

// Page images: a PDF drawn by Ghostscript, each page a different colour with its number written
// large (so a screenshot tells which page shows), turned into page movies and JPEGs by the real
// converter with the command line of a build. `busy` adds lines of text and colour, giving
// JPEGs the size of real catalogue pages. Sizes are in points.
// `distinct` pages are drawn; a longer catalogue repeats them (page 13 of 12 is page 1 again).
export function drawPages(folder, { pages, width = 600, height = 800, busy = false, distinct = pages }) {
    // Converted once per kind of page into a cache folder, then copied into each catalogue.
    const count = Math.max(Math.min(pages, distinct), 12);
    const cache = path.join(process.env.XDG_CACHE_HOME ?? '/tmp',
        `pages-${count}-${width}x${height}${busy ? "-busy" : ""}-v2`);
    if (!fs.existsSync(path.join(cache, 'done'))) {
        fs.mkdirSync(cache, { recursive: true });
        convertPages(cache, { pages: count, width, height, busy });
        fs.writeFileSync(path.join(cache, 'done'), '');
    }
    for (let p = 1; p <= pages; p++) {
        const drawn = PAGE_FILES(((p - 1) % count) + 1);
        PAGE_FILES(p).forEach((name, i) => fs.copyFileSync(path.join(cache, drawn[i]), path.join(folder, name)));
    }
}

// The files of one page: movie, page image, screen image and thumbnail.
export const PAGE_FILES = (p) => [`page${p}.swf`, `page${p}.jpg`, `page${p}-m.jpg`, `page${p}-t.jpg`];

export function converter() {
    const program = path.join(toolFolder(), 'pdf2swf');
    if (!fs.existsSync(program)) throw new Error(`missing dependency: ${program}`);
    return program;
}

function pageProgram({ pages, width, height, busy }) {
    // A catalogue-like page: a picture made of soft colour bands and discs in the upper half,
    // two columns of small text below.
    const text = 'Article de catalogue, dimensions 120 x 80 cm, prix 49,90 EUR, ref. 0123456';
    const content = busy ? `
  1 setgray 0 0 W H rectfill
  0 1 59 { /b exch def
    p 7 mod 7 div b 300 div add 0.5 b 120 div add 0.9 sethsbcolor
    30 H 2 div b H 2 div 40 sub 60 div mul add W 60 sub H 2 div 40 sub 60 div 1 add rectfill
  } for
  1 1 12 { /c exch def
    c p add 13 mod 13 div 0.6 0.8 sethsbcolor
    c 97 mul p 31 mul add W 60 sub mod 30 add  c 53 mul p 17 mul add H 2 idiv 80 sub mod H 2 idiv add 10 add
    c 7 mul 20 add 0 360 arc fill
  } for
  /Times-Roman findfont 8 scalefont setfont 0.15 setgray
  H 2 div 20 sub -11 40 { /y exch def
    30 y moveto (${text}) show
    W 2 div 10 add y moveto (${text}) show
  } for` : `
  p 7 mod 7 div 0.35 0.95 sethsbcolor 0 0 W H rectfill`;
    return `
/W ${width} def /H ${height} def
<< /PageSize [W H] >> setpagedevice
1 1 ${pages} {
  /p exch def${content}
  0 setgray W 40 div setlinewidth 10 10 W 20 sub H 20 sub rectstroke
  /Helvetica-Bold findfont W 3 idiv scalefont setfont
  p 10 string cvs dup stringwidth pop W exch sub 2 div H 2 div moveto show
  showpage
} for
`;
}

function convertPages(folder, options) {
    const programFile = path.join(folder, 'pages.ps');
    const pdf = path.join(folder, 'pages.pdf');
    fs.writeFileSync(programFile, pageProgram(options));
    execFileSync('gs', ['-q', '-dNOPAUSE', '-dBATCH', '-dSAFER', '-sDEVICE=pdfwrite',
        `-sOutputFile=${pdf}`, programFile]);
    const pdf2swf = converter();
    for (let p = 1; p <= options.pages; p++) {
        execFileSync(pdf2swf, [pdf, '--flatten', '-s', 'subpixels=1', '-s', '-zoom=48', '-w',
            '-s', 'jpegquality=80', `-p${p}`, '-o', path.join(folder, `page${p}.swf`)]);
    }
    // A converter that does not write the screen images and thumbnails yet: Ghostscript draws
    // them at their long side.
    for (const [suffix, longSide] of [['-m', 800], ['-t', 200]]) {
        if (fs.existsSync(path.join(folder, `page1${suffix}.jpg`))) continue;
        const resolution = (longSide * 72) / Math.max(options.width, options.height);
        // Written as page<i>_<suffix>.jpg, then renamed: Ghostscript refuses some output names
        // with a dash after the page number.
        execFileSync('gs', ['-q', '-dNOPAUSE', '-dBATCH', '-dSAFER', '-sDEVICE=jpeg', '-dJPEGQ=75',
            `-r${resolution.toFixed(4)}`, `-sOutputFile=${path.join(folder, `page%d_${suffix.slice(1)}.jpg`)}`, pdf]);
        for (let p = 1; p <= options.pages; p++) {
            fs.renameSync(path.join(folder, `page${p}_${suffix.slice(1)}.jpg`), path.join(folder, `page${p}${suffix}.jpg`));
        }
    }
}

// A whole catalogue folder. `htmlName` is the page name the user chose in the save dialog.
export function makeCatalogue(folder, options) {
    const {
        htmlName = 'catalogue.html',
        withConfigScript = true,
        withXml = true,
        images = {},
        manifest = true,
        pages,
    } = options;
    fs.rmSync(folder, { recursive: true, force: true });
    fs.mkdirSync(folder, { recursive: true });
    const tools = toolFolder();
    fs.copyFileSync(path.join(tools, 'vellora.html'), path.join(folder, htmlName));
    for (const file of ['swfobject.js', 'vellora.swf']) {
        fs.copyFileSync(path.join(tools, file), path.join(folder, file));
    }
    const xml = options.xml ?? configText(options);
    if (withXml) fs.writeFileSync(path.join(folder, 'vellora.xml'), xml);
    if (withConfigScript) {
        fs.writeFileSync(path.join(folder, 'vellora-config.js'), `window.velloraConfig = ${JSON.stringify(xml)};\n`);
    }
    if (images !== false) drawPages(folder, { pages, ...images });
    if (manifest) writeManifest(folder, { pages, htmlName, ...(images || {}), ...(manifest === true ? {} : manifest) });
    return path.join(folder, htmlName);
}

// "vellora-catalogue.js" as the build writes it: the true size of every page (`sizes`, else
// the drawn size), the files of the pages found in the folder, the outline, the reading
// direction and the search file when the folder has one; `fields` adds to or replaces the others
// (the document's title, the publication address, the PDF copy).
export function writeManifest(folder, { pages, htmlName, width = 600, height = 800, sizes = [], outline = [], direction = 'ltr', fields = {} }) {
    const present = (name) => fs.existsSync(path.join(folder, name));
    const pageEntries = [];
    for (let p = 1; p <= pages; p++) {
        const [w, h] = sizes[p - 1] ?? [width, height];
        const files = [`page${p}.swf`, `page${p}.jpg`, `page${p}-m.jpg`, `page${p}-t.jpg`, `page${p}.svg`, `page${p}.js`]
            .filter(present);
        pageEntries.push({ width: w, height: h, files });
    }
    // The search file, or its parts as a large catalogue has them.
    const parts = [];
    while (present(`vellora-search-${parts.length + 1}.js`)) parts.push(`vellora-search-${parts.length + 1}.js`);
    const search = present('vellora-search.js') ? 'vellora-search.js' : parts.length ? parts : null;
    const manifest = {
        version: 1, pages: pageEntries, outline, direction, search,
        files: [htmlName, 'swfobject.js', 'vellora.swf', 'readme.txt', 'vellora.xml', 'vellora-config.js',
            ...(search ? [search].flat() : []), ...pageEntries.flatMap((page) => page.files), 'vellora-catalogue.js'],
        ...fields,
    };
    fs.writeFileSync(path.join(folder, 'vellora-catalogue.js'), `window.velloraCatalogue = ${JSON.stringify(manifest)};\n`);
}

// A catalogue folder as a build leaves it for a PDF with text (see ../common/text-pdf.mjs):
// pages and their scripts from the converter, the search file from the builder's code
// (`searchWriter`, the write-search-file program), the outline and the reading direction from
// the converter's outline mode.
export function makeTextCatalogue(folder, document, { htmlName, searchWriter, index = [], hardCover = true }) {
    fs.rmSync(folder, { recursive: true, force: true });
    fs.mkdirSync(folder, { recursive: true });
    const pdf = path.join(folder, 'source.pdf');
    fs.writeFileSync(pdf, makeTextPdf(document));
    const pages = document.pages.length;
    for (let p = 1; p <= pages; p++) {
        execFileSync(converter(), [pdf, '-s', '-zoom=48', '-s', 'jpegquality=80', `-p${p}`, '-o',
            path.join(folder, `page${p}.swf`)]);
    }
    const { outline, direction } = JSON.parse(execFileSync(converter(), [pdf, '--outline'], { encoding: 'utf8' }));
    fs.rmSync(pdf);
    const { width, height } = document.pages[0];
    const xml = configText({ pages, width, height, hardCover, index });
    fs.writeFileSync(path.join(folder, 'vellora.xml'), xml);
    fs.writeFileSync(path.join(folder, 'vellora-config.js'), `window.velloraConfig = ${JSON.stringify(xml)};\n`);
    fs.copyFileSync(path.join(toolFolder(), 'vellora.html'), path.join(folder, htmlName));
    for (const file of ['swfobject.js', 'vellora.swf']) {
        fs.copyFileSync(path.join(toolFolder(), file), path.join(folder, file));
    }
    execFileSync(searchWriter, [folder, String(pages)]);
    writeManifest(folder, { pages, width, height, htmlName, outline, direction });
    return path.join(folder, htmlName);
}
