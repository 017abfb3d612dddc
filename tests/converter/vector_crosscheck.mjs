// The medium and high presets' vector movies and SVG pages, drawn by independent renderers
// (Ruffle in Chromium for the movie, Chromium for the SVG) and compared with MuPDF's own
// drawing of the page; text edges measured at four times the page's size.
//
//   node vector_crosscheck.mjs
// Environment: XDG_DATA_HOME (the tool folder holding pdf2swf), HOME (scratch space),
// VELLORA_SOURCE_DIR (for node_modules), CI ("true": a missing dependency fails; otherwise
// the test is skipped with CTest's skip code).

import { execFileSync } from "node:child_process";
import fs from "node:fs";
import path from "node:path";
import { check, converter, edgeWidth, finish, meanDifference, pdfFile, playMovie,
         requireDependencies, settle, startPlayer } from "./crosscheck.mjs";
import { drawReference, openMeasurer } from "./fidelity.mjs";

// Mean absolute difference per colour channel (0 to 255) with MuPDF's drawing at 72 dpi.
// Both sides draw the same outlines with their own anti-aliasing: glyph and line edges
// differ by a fraction of a pixel, which on this page of small text measures 2 to 4. The
// medium preset's background is a 48 dpi JPEG scaled up (blurred shapes and image, 4 to 6;
// the low preset's blurred page measures alike). A page with its text missing measures
// above 12 and one shifted by a line of text above 15, so 8 tells them apart.
const kLimit = 8;
// Width in pixels of a text edge at 4x (from the page's white to the glyph's black): a
// vector glyph keeps one to two pixels of anti-aliasing at any zoom; the image form's 48
// dpi picture scaled six times spreads each edge over five pixels or more.
const kSharpEdge = 2.5;
const kBlurredEdge = 4;

const dependencies = requireDependencies(["mutool"]);

// A PDF written by hand, so that every operator is the one meant: three standard fonts in
// several sizes, rotated text, a square with a hole (even-odd) and one without (non-zero
// fills the inner square), a dashed line, an image clipped by a triangle, half-transparent
// fills and a curve with round caps. Pages are `box` points (595 x 842 unless given).
function makePdf(contents, box = "595 842") {
    const objects = [];
    const add = (text) => { objects.push(text); return objects.length; };
    const catalog = add(null), pagesObject = add(null);
    const fonts = [["F1", "Helvetica"], ["F2", "Times-Roman"], ["F3", "Courier-Bold"]]
        .map(([key, name]) => [key, add(`<< /Type /Font /Subtype /Type1 /BaseFont /${name} ` +
                                        "/Encoding /WinAnsiEncoding >>")]);
    const state = add("<< /Type /ExtGState /ca 0.5 /CA 0.5 >>");
    let pixels = "";
    for (let y = 0; y < 16; y++) {
        for (let x = 0; x < 16; x++)
            pixels += [x * 16, y * 16, 128].map((v) => v.toString(16).padStart(2, "0")).join("");
    }
    const image = add("<< /Type /XObject /Subtype /Image /Width 16 /Height 16 /ColorSpace " +
                      "/DeviceRGB /BitsPerComponent 8 /Filter /ASCIIHexDecode " +
                      `/Length ${pixels.length + 1} >>\nstream\n${pixels}>\nendstream`);
    const kids = contents.map((content) => {
        const stream = add(`<< /Length ${content.length} >>\nstream\n${content}\nendstream`);
        return add(`<< /Type /Page /Parent ${pagesObject} 0 R /MediaBox [0 0 ${box}] ` +
                   `/Contents ${stream} 0 R /Resources << /Font << ` +
                   fonts.map(([key, ref]) => `/${key} ${ref} 0 R`).join(" ") +
                   ` >> /ExtGState << /GS1 ${state} 0 R >> /XObject << /Im1 ${image} 0 R >> >> >>`);
    });
    objects[catalog - 1] = `<< /Type /Catalog /Pages ${pagesObject} 0 R >>`;
    objects[pagesObject - 1] = `<< /Type /Pages /Kids [${kids.map((k) => `${k} 0 R`).join(" ")}] ` +
                               `/Count ${kids.length} >>`;
    return pdfFile(objects, catalog);
}

let text = "BT /F1 28 Tf 50 780 Td (Vellora vector page) Tj ET\n";
for (let i = 0; i < 12; i++) {
    text += `BT /F${1 + (i % 3)} ${8 + i} Tf 50 ${740 - i * 22} Td ` +
            `(Line ${i}: the quick brown fox jumps over the lazy dog) Tj ET\n`;
}
text += "BT /F2 20 Tf 0.7071 0.7071 -0.7071 0.7071 420 330 Tm (Rotated text) Tj ET\n";
const shapes =
    "0.8 0.1 0.1 rg 50 300 m 250 300 l 250 450 l 50 450 l h 100 340 m 200 340 l 200 410 l " +
    "100 410 l h f*\n" +
    "0.1 0.3 0.8 rg 300 300 m 400 300 l 400 400 l 300 400 l h 320 320 m 380 320 l 380 380 l " +
    "320 380 l h f\n" +
    "0 0.5 0 RG 3 w [12 6] 0 d 50 270 m 545 270 l S [] 0 d\n" +
    "q 80 60 m 260 60 l 170 220 l h W n q 240 0 0 180 40 50 cm /Im1 Do Q Q\n" +
    "q /GS1 gs 1 0.6 0 rg 330 60 180 150 re f 0 0 1 rg 400 120 120 120 re f Q\n" +
    "0 0 0 RG 1 w 1 J 1 j 300 230 m 350 260 400 200 450 250 c S\n";

const work = fs.mkdtempSync(path.join(process.env.HOME, "vector-"));
const pdf = path.join(work, "doc.pdf");
fs.writeFileSync(pdf, makePdf([text + shapes]));

const presets = {
    low: ["-s", "-zoom=48", "-w", "-S", "-O2", "-s", "jpegquality=85"],
    medium: ["--flatten", "-s", "subpixels=1", "-s", "-zoom=48", "-w", "-s", "jpegquality=85"],
    high: ["-s", "-zoom=48", "-G", "-w", "-s", "jpegquality=85"],
};
for (const [name, options] of Object.entries(presets)) {
    fs.mkdirSync(path.join(work, name));
    const result = execFileSync(converter, [pdf, "-p1", ...options, "-o",
                                            path.join(work, name, "page1.swf")],
                                { stdio: ["ignore", "pipe", "pipe"] });
    check(result.length === 0, `${name}: nothing on standard output`);
    const files = fs.readdirSync(path.join(work, name)).sort();
    // The test page has text: its script is among the page's files.
    const expected = ["page1-m.jpg", "page1-t.jpg", "page1.jpg", "page1.js", "page1.swf"];
    if (name !== "low")
        expected.splice(4, 0, "page1.svg");
    check(JSON.stringify(files) === JSON.stringify(expected),
          `${name}: writes ${files.join(", ")}`);
}
for (const dpi of [72, 288]) {
    execFileSync("mutool", ["draw", "-q", "-r", String(dpi), "-o", path.join(work, `ref${dpi}.png`),
                            pdf, "1"], { stdio: ["ignore", "ignore", "ignore"] });
}
const player = await startPlayer(dependencies, work);

async function showSvg(page, svg, width, height, clip) {
    await page.setContent(`<!doctype html><html><body style="margin:0;background:#fff">` +
                          `<img id="svg" src="${player.origin}/${svg}" width="${width}" ` +
                          `height="${height}" ` +
                          `style="display:block"></body></html>`);
    await page.locator("#svg").evaluate((image) => image.decode());
    return settle(page.locator("#svg"), clip);
}

try {
    const context = await player.browser.newContext({ viewport: { width: 2400, height: 3400 },
                                                      deviceScaleFactor: 1 });
    const page = await context.newPage();
    page.setDefaultTimeout(60000);
    const reference = fs.readFileSync(path.join(work, "ref72.png"));
    const blank = await meanDifference(page, reference, null);
    check(blank.mean > 12, `a blank page is far from the reference (${blank.mean.toFixed(2)})`);

    const pictures = {};
    const title = { x: 50 * 4, y: (842 - 800) * 4, width: 300 * 4, height: 30 * 4 };
    const whole = { x: 0, y: 0, width: title.width, height: title.height };
    const best = { quality: "best" };
    for (const name of ["low", "medium", "high"]) {
        const shot = await playMovie(page, player.origin, `${name}/page1.swf`, 595, 842, best);
        fs.writeFileSync(path.join(work, `ruffle-${name}.png`), shot);
        const result = await meanDifference(page, shot, reference);
        check(result.error === undefined && result.mean < kLimit,
              `${name}: Ruffle's picture matches MuPDF's (mean difference ` +
              `${result.mean?.toFixed(2) ?? result.error})`);
        // The title "Vellora vector page", 28 points at (50, 780): at four times the size.
        pictures[name] = await playMovie(page, player.origin, `${name}/page1.swf`, 595 * 4,
                                         842 * 4, { ...best, clip: title });
        fs.writeFileSync(path.join(work, `ruffle4x-${name}.png`), pictures[name]);
    }
    for (const name of ["medium", "high"]) {
        const shot = await showSvg(page, `${name}/page1.svg`, 595, 842);
        fs.writeFileSync(path.join(work, `svg-${name}.png`), shot);
        const result = await meanDifference(page, shot, reference);
        check(result.error === undefined && result.mean < kLimit,
              `${name}: Chromium's drawing of the SVG matches MuPDF's (mean difference ` +
              `${result.mean?.toFixed(2) ?? result.error})`);
    }
    const svg4x = await showSvg(page, "high/page1.svg", 595 * 4, 842 * 4, title);
    const edge = async (png, label, region = whole) => {
        const result = await edgeWidth(page, png, region);
        console.log(`# ${label}: ${result.edges} edges, ${result.value.toFixed(2)} pixels wide`);
        return result;
    };
    const raster = await edge(pictures.low, "low preset movie at 4x");
    const mupdf = await edge(fs.readFileSync(path.join(work, "ref288.png")), "MuPDF at 288 dpi",
                             title);
    check(raster.value > kBlurredEdge, `the image form blurs text at 4x (${raster.value.toFixed(2)} px)`);
    check(mupdf.value < kSharpEdge, `MuPDF's own drawing at 4x is sharp (${mupdf.value.toFixed(2)} px)`);
    for (const [label, png] of [["medium movie", pictures.medium], ["high movie", pictures.high],
                                ["SVG", svg4x]]) {
        const result = await edge(png, label);
        check(result.edges > 100 && result.value < kSharpEdge,
              `${label}: text stays sharp at 4x (${result.value.toFixed(2)} px per edge)`);
    }
} finally {
    await player.close();
}

// The fidelity measure plays a movie where MuPDF draws the page. On A4 (595.276 x 841.89
// points), 800 pixels wide, a 1-point rule 49.89 to 50.89 points from the top covers rows
// 67.05 to 68.39: row 67 whole, which makes the 134 blocks of rows 64 to 67 under the rule
// inked (x 134.4 to 672.0). A player that fits the stage as 595 x 841 pixels draws it 0.6
// pixel lower, row 67 a quarter dark, and every one of those blocks is lost.
{
    const rule = path.join(work, "rule.pdf");
    fs.writeFileSync(rule, makePdf(["0 0 0 RG 1 w 100 791.5 m 500 791.5 l S\n"], "595.276 841.89"));
    execFileSync(converter, [rule, "-p1", ...presets.high, "-o", path.join(work, "rule.swf")],
                 { stdio: ["ignore", "ignore", "ignore"] });
    drawReference(rule, 1, path.join(work, "rule-mupdf.png"));
    const measurer = await openMeasurer(dependencies.chromium, work, dependencies.ruffleDir);
    try {
        const page = { width: 595.276, height: 841.89 };
        await measurer.playMovie(path.join(work, "rule.swf"), page, path.join(work, "rule.png"));
        const result = await measurer.measure(path.join(work, "rule-mupdf.png"),
                                              path.join(work, "rule.png"), { page });
        check(result.inked === 134 && result.inkLost === 0,
              `the measure plays a rule on MuPDF's rows (${result.inked} inked blocks, ` +
              `${(result.inkLost * 100).toFixed(1)} % lost)`);
    } finally {
        await measurer.close();
    }
}

finish(work);
