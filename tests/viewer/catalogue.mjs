// Test catalogues: a folder laid out as a Vellora build leaves it, with "vellora.xml" written
// line for line the way the builder writes it, "vellora-config.js", the viewer files from the
// tool folder, and page images drawn by Ghostscript.
import { execFileSync } from 'node:child_process';
import fs from 'node:fs';
import path from 'node:path';

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

export function configText({
    pages,
    width = 592,
    height = 790,
    hardCover = true,
    color1 = 'FFFFFF',
    color2 = 'C0C0C0',
    buttons = {},
    index = [],
}) {
    const lines = [];
    lines.push(`<content width="${width}" height="${height}" hcover="${hardCover}" transparency="true">`);
    lines.push('\t<page src="page1.swf"\tpreLoad="false" />');
    lines.push(`<bg color1="#${color1}" color2="#${color2}"/>`);
    for (const [name, defaultAlt] of BUTTONS) {
        const button = { visible: true, alt: defaultAlt, ...(buttons[name] ?? {}) };
        lines.push(`<${name}_btn visible="${button.visible}" alt="${button.alt}" />`);
    }
    for (let p = 2; p <= pages; p++) {
        lines.push(`\t<page src="page${p}.swf" preLoad="false" canTear="true" />`);
    }
    for (const [page, description] of index) {
        lines.push(`<index page="${page}" description="${description}" />`);
    }
    lines.push('</content>');
    return lines.map((line) => `${line}\r\n`).join('');
}

// Page images: each page a different colour with its number written large, so a screenshot
// tells which page shows. `busy` adds lines of text, giving JPEGs the size of real pages.
// Drawn once per kind of page into a cache folder, then copied into each catalogue.
export function drawPages(folder, options) {
    const { pages, width = 600, height = 800, busy = false } = options;
    const cache = path.join(process.env.XDG_CACHE_HOME ?? '/tmp', `pages-${pages}-${width}x${height}${busy ? '-busy' : ''}`);
    if (!fs.existsSync(path.join(cache, `page${pages}.jpg`))) {
        fs.mkdirSync(cache, { recursive: true });
        renderPages(cache, { pages, width, height, busy });
    }
    for (let p = 1; p <= pages; p++) {
        fs.copyFileSync(path.join(cache, `page${p}.jpg`), path.join(folder, `page${p}.jpg`));
    }
}

function renderPages(folder, { pages, width, height, busy }) {
    const program = `
/W ${width} def /H ${height} def
/Helvetica-Bold findfont W 3 idiv scalefont setfont
1 1 ${pages} {
  /p exch def
  p 7 mod 7 div 0.35 0.95 sethsbcolor 0 0 W H rectfill
  ${busy ? `/Times-Roman findfont 14 scalefont setfont
  0.2 setgray
  H 40 sub -18 40 { /y exch def
    30 y moveto (Vellora ${'catalogue page text line with words and numbers 0123456789 '.repeat(2)}) show
    p y mul 97 mod 40 div 0.3 0.5 sethsbcolor 30 y 4 sub p y mul 300 mod 60 add 2 rectfill 0.2 setgray
  } for
  /Helvetica-Bold findfont W 3 idiv scalefont setfont` : ''}
  0 setgray W 20 div setlinewidth 10 10 W 20 sub H 20 sub rectstroke
  p 10 string cvs dup stringwidth pop W exch sub 2 div H 2 div moveto show
  showpage
} for
`;
    const programFile = path.join(folder, 'pages.ps');
    fs.writeFileSync(programFile, program);
    execFileSync('gs', [
        '-q', '-dNOPAUSE', '-dBATCH', '-dSAFER', '-sDEVICE=jpeg', '-dJPEGQ=80', '-r72',
        `-g${width}x${height}`, `-sOutputFile=${path.join(folder, 'page%d.jpg')}`, programFile,
    ]);
    fs.rmSync(programFile);
}

// A whole catalogue folder. `htmlName` is the page name the user chose in the save dialog.
export function makeCatalogue(folder, options) {
    const {
        htmlName = 'catalogue.html',
        withConfigScript = true,
        withXml = true,
        images = {},
        pages,
    } = options;
    fs.rmSync(folder, { recursive: true, force: true });
    fs.mkdirSync(folder, { recursive: true });
    const tools = toolFolder();
    fs.copyFileSync(path.join(tools, 'vellora.html'), path.join(folder, htmlName));
    fs.copyFileSync(path.join(tools, 'swfobject.js'), path.join(folder, 'swfobject.js'));
    const xml = options.xml ?? configText(options);
    if (withXml) fs.writeFileSync(path.join(folder, 'vellora.xml'), xml);
    if (withConfigScript) {
        fs.writeFileSync(path.join(folder, 'vellora-config.js'), `window.velloraConfig = ${JSON.stringify(xml)};\n`);
    }
    if (images !== false) drawPages(folder, { pages, ...images });
    return path.join(folder, htmlName);
}
