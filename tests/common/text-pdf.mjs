// PDFs with known text, links and bookmarks, written byte by byte so tests know exactly where
// every word is. Text uses the standard fonts (WinAnsi encoding, so "É" and "é" work).
//
// makeTextPdf({ pages, outline, direction }) returns a Buffer:
//   pages:   [{ width, height, texts: [{ x, y, size, font, text, angle }], links: [...] }]
//            x, y: the baseline's start in PDF points (origin bottom left); angle in degrees;
//            font: 'Helvetica' (default), 'Times-Roman' or 'Courier'.
//            links: { rect: [x0, y0, x1, y1], uri } or { rect, page } (page from 1)
//   outline: [{ title, page, children }]; loop: true makes the first bookmark its own sibling
//   direction: 'R2L' writes /ViewerPreferences /Direction /R2L
//   metadata: { title, subject, lang }, each a PDF string token as written in the file
//            ('(Prix)', '<FEFF0041>'): the information dictionary's /Title and /Subject, the
//            catalog's /Lang
const FONTS = ['Helvetica', 'Times-Roman', 'Courier'];

function pdfString(text) {
    // Latin-1 covers what the tests write; WinAnsi agrees with it there.
    return `(${Buffer.from(text, 'latin1').toString('latin1').replace(/[\\()]/g, (c) => `\\${c}`)})`;
}

function textString(text) {
    // Bookmark titles: UTF-16BE with its byte order mark, as hex.
    const units = [0xfeff, ...[...text].flatMap((c) => {
        const code = c.codePointAt(0);
        if (code < 0x10000) return [code];
        const v = code - 0x10000;
        return [0xd800 + (v >> 10), 0xdc00 + (v & 0x3ff)];
    })];
    return `<${units.map((u) => u.toString(16).padStart(4, '0')).join('')}>`;
}

function contentStream(page) {
    const parts = [];
    for (const t of page.texts ?? []) {
        const font = `F${FONTS.indexOf(t.font ?? 'Helvetica') + 1}`;
        const a = ((t.angle ?? 0) * Math.PI) / 180;
        const m = [Math.cos(a), Math.sin(a), -Math.sin(a), Math.cos(a), t.x, t.y]
            .map((v) => Number(v.toFixed(4)));
        parts.push(`BT /${font} ${t.size} Tf ${m.join(' ')} Tm ${pdfString(t.text)} Tj ET`);
    }
    return parts.join('\n');
}

export function makeTextPdf({ pages, outline = [], direction = null, loop = false, metadata = {} }) {
    const objects = []; // index + 1 is the object number
    const add = (body) => {
        objects.push(body);
        return objects.length;
    };
    const reserve = () => add(null);
    const catalog = reserve();
    const pageTree = reserve();
    const fonts = FONTS.map((name) =>
        add(`<< /Type /Font /Subtype /Type1 /BaseFont /${name} /Encoding /WinAnsiEncoding >>`));
    const fontDict = fonts.map((n, i) => `/F${i + 1} ${n} 0 R`).join(' ');
    const pageNumbers = pages.map(() => reserve());
    pages.forEach((page, i) => {
        const content = contentStream(page);
        const stream = add(`<< /Length ${Buffer.byteLength(content, 'latin1')} >>\nstream\n${content}\nendstream`);
        const annots = (page.links ?? []).map((link) => {
            const action = link.uri !== undefined
                ? `/A << /S /URI /URI ${pdfString(link.uri)} >>`
                : `/Dest [${pageNumbers[link.page - 1]} 0 R /XYZ null null null]`;
            return `<< /Type /Annot /Subtype /Link /Rect [${link.rect.join(' ')}] /Border [0 0 0] ${action} >>`;
        });
        objects[pageNumbers[i] - 1] =
            `<< /Type /Page /Parent ${pageTree} 0 R /MediaBox [0 0 ${page.width} ${page.height}]` +
            (page.rotate ? ` /Rotate ${page.rotate}` : '') +
            ` /Resources << /Font << ${fontDict} >> >> /Contents ${stream} 0 R` +
            (annots.length ? ` /Annots [${annots.join(' ')}]` : '') + ' >>';
    });
    objects[pageTree - 1] =
        `<< /Type /Pages /Kids [${pageNumbers.map((n) => `${n} 0 R`).join(' ')}] /Count ${pages.length} >>`;

    let outlineRef = '';
    if (outline.length) {
        const root = reserve();
        const writeLevel = (items, parent) => {
            const numbers = items.map(() => reserve());
            items.forEach((item, i) => {
                const kids = item.children?.length ? writeLevel(item.children, numbers[i]) : null;
                const next = loop && parent === root && i === 0 ? numbers[0] : numbers[i + 1];
                objects[numbers[i] - 1] =
                    `<< /Title ${textString(item.title)} /Parent ${parent} 0 R` +
                    (i > 0 ? ` /Prev ${numbers[i - 1]} 0 R` : '') +
                    (next ? ` /Next ${next} 0 R` : '') +
                    (kids ? ` /First ${kids[0]} 0 R /Last ${kids[kids.length - 1]} 0 R /Count ${kids.length}` : '') +
                    (item.page ? ` /Dest [${pageNumbers[item.page - 1]} 0 R /Fit]` : '') + ' >>';
            });
            return numbers;
        };
        const top = writeLevel(outline, root);
        objects[root - 1] =
            `<< /Type /Outlines /First ${top[0]} 0 R /Last ${top[top.length - 1]} 0 R /Count ${top.length} >>`;
        outlineRef = ` /Outlines ${root} 0 R /PageMode /UseOutlines`;
    }
    objects[catalog - 1] = `<< /Type /Catalog /Pages ${pageTree} 0 R${outlineRef}` +
        (direction ? ` /ViewerPreferences << /Direction /${direction} >>` : '') +
        (metadata.lang ? ` /Lang ${metadata.lang}` : '') + ' >>';
    const infoEntries = (metadata.title ? ` /Title ${metadata.title}` : '') +
        (metadata.subject ? ` /Subject ${metadata.subject}` : '');
    const info = infoEntries ? add(`<<${infoEntries} >>`) : 0;

    let out = '%PDF-1.4\n%\xe2\xe3\xcf\xd3\n';
    const offsets = [];
    objects.forEach((body, i) => {
        offsets.push(Buffer.byteLength(out, 'latin1'));
        out += `${i + 1} 0 obj\n${body}\nendobj\n`;
    });
    const xref = Buffer.byteLength(out, 'latin1');
    out += `xref\n0 ${objects.length + 1}\n0000000000 65535 f \n`;
    out += offsets.map((o) => `${String(o).padStart(10, '0')} 00000 n \n`).join('');
    out += `trailer\n<< /Size ${objects.length + 1} /Root ${catalog} 0 R${info ? ` /Info ${info} 0 R` : ''} >>\nstartxref\n${xref}\n%%EOF\n`;
    return Buffer.from(out, 'latin1');
}

// A two-page catalogue sample: a title, two columns in two fonts, a line turned a quarter,
// links of every kind, and a third page with nothing to read.
export const SAMPLE = {
    pages: [
        {
            width: 600, height: 800,
            texts: [
                { x: 50, y: 740, size: 24, text: 'École des Beaux-Arts' },
                { x: 50, y: 700, size: 12, font: 'Times-Roman', text: 'Colonne gauche premier' },
                { x: 50, y: 684, size: 12, font: 'Times-Roman', text: 'gauche second' },
                { x: 320, y: 700, size: 12, font: 'Courier', text: 'Colonne droite' },
                { x: 320, y: 684, size: 12, font: 'Courier', text: 'droite fin' },
                { x: 560, y: 100, size: 14, angle: 90, text: 'Texte vertical' },
                { x: 50, y: 500, size: 14, text: 'Voir la page deux' },
                { x: 50, y: 470, size: 14, text: 'Site web' },
                { x: 50, y: 440, size: 14, text: 'Piège script' },
                { x: 50, y: 410, size: 14, text: 'Écrire' },
            ],
            links: [
                { rect: [50, 495, 170, 515], page: 2 },
                { rect: [50, 465, 110, 485], uri: 'https://example.com/vellora?a=1&b="2"' },
                { rect: [50, 435, 140, 455], uri: 'javascript:alert(1)' },
                { rect: [50, 405, 100, 425], uri: 'mailto:contact@example.com' },
            ],
        },
        {
            width: 600, height: 800,
            texts: [
                { x: 72, y: 720, size: 18, text: 'Deuxième page' },
                { x: 72, y: 690, size: 12, text: 'Tarifs des ecoles et des cafés' },
            ],
            links: [{ rect: [72, 715, 250, 740], page: 1 }],
        },
        { width: 600, height: 800, texts: [] },
    ],
    outline: [
        { title: 'Présentation', page: 1, children: [{ title: 'Colonnes', page: 1 }] },
        { title: 'Tarifs "2026" page=9', page: 2 },
        { title: 'Sans page' },
    ],
};

// A long catalogue for benchmarks: on every page a title, two columns of small print in two
// fonts, a link to the next page and one to a web address; a bookmark every ten pages.
export function longTextDocument(pageCount) {
    const words = ['catalogue', 'été', 'référence', 'prix', 'dimensions', 'livraison', 'qualité',
        'chêne', 'métal', 'coloris', 'garantie', 'modèle', 'façade', 'tiroir', 'étagère', 'hauteur'];
    let seed = 7;
    const word = () => {
        seed = (seed * 1103515245 + 12345) % 2147483648;
        return words[(seed >> 16) % words.length];
    };
    const line = () => Array.from({ length: 6 }, word).join(' ');
    const pages = [];
    for (let p = 1; p <= pageCount; p++) {
        const texts = [{ x: 40, y: 800, size: 20, text: `Page ${p} : collection ${p % 12 + 1}` }];
        for (let row = 0; row < 60; row++) {
            texts.push({ x: 40, y: 760 - row * 12, size: 9, font: 'Times-Roman', text: line() });
            texts.push({ x: 310, y: 760 - row * 12, size: 9, font: 'Helvetica', text: line() });
        }
        texts.push({ x: 40, y: 30, size: 10, text: 'Page suivante' }, { x: 300, y: 30, size: 10, text: 'www.example.com' });
        const links = [{ rect: [300, 25, 390, 42], uri: `https://www.example.com/p${p}` }];
        if (p < pageCount) links.push({ rect: [40, 25, 120, 42], page: p + 1 });
        pages.push({ width: 595, height: 842, texts, links });
    }
    const outline = [];
    for (let p = 1; p <= pageCount; p += 10) outline.push({ title: `Collection ${p % 12 + 1}`, page: p });
    return { pages, outline };
}
