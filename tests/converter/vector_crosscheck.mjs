// The medium and high presets' vector movies and SVG pages, drawn by independent renderers
// (Ruffle in Chromium for the movie, Chromium for the SVG) and compared with MuPDF's own
// drawing of the page; text edges measured at four times the page's size.
//
//   node vector_crosscheck.mjs
// Environment: XDG_DATA_HOME (the tool folder holding pdf2swf), HOME (scratch space),
// VELLORA_SOURCE_DIR (for node_modules), CI ("true": a missing dependency fails).

import { execFileSync } from "node:child_process";
import fs from "node:fs";
import http from "node:http";
import path from "node:path";
import { createRequire } from "node:module";

const sourceDir = process.env.VELLORA_SOURCE_DIR;
const require = createRequire(path.join(sourceDir, "package.json"));
const converter = path.join(process.env.XDG_DATA_HOME, "vellora", "pdf2swf");
const chromiumPath = "/usr/bin/chromium";

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

function missing(what) {
    const message = `missing dependency: ${what}`;
    if (process.env.CI === "true") {
        console.error(`FAIL: ${message}`);
        process.exit(1);
    }
    console.log(`SKIP: ${message}`);
    process.exit(0);
}

let failures = 0;
function check(condition, message) {
    console.log(`${condition ? "PASS" : "FAIL"}: ${message}`);
    if (!condition)
        failures++;
}

if (!fs.existsSync(converter))
    missing(`converter ${converter}`);
if (!fs.existsSync(chromiumPath))
    missing("chromium");
try {
    execFileSync("which", ["mutool"], { stdio: "ignore" });
} catch {
    missing("mutool");
}
let chromium;
let ruffleDir;
try {
    ({ chromium } = require("playwright-core"));
    ruffleDir = path.dirname(require.resolve("@ruffle-rs/ruffle/package.json"));
} catch {
    missing("npm packages (run npm ci)");
}

// A PDF written by hand, so that every operator is the one meant: three standard fonts in
// several sizes, rotated text, a square with a hole (even-odd) and one without (non-zero
// fills the inner square), a dashed line, an image clipped by a triangle, half-transparent
// fills and a curve with round caps.
function makePdf(contents) {
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
        return add(`<< /Type /Page /Parent ${pagesObject} 0 R /MediaBox [0 0 595 842] ` +
                   `/Contents ${stream} 0 R /Resources << /Font << ` +
                   fonts.map(([key, ref]) => `/${key} ${ref} 0 R`).join(" ") +
                   ` >> /ExtGState << /GS1 ${state} 0 R >> /XObject << /Im1 ${image} 0 R >> >> >>`);
    });
    objects[catalog - 1] = `<< /Type /Catalog /Pages ${pagesObject} 0 R >>`;
    objects[pagesObject - 1] = `<< /Type /Pages /Kids [${kids.map((k) => `${k} 0 R`).join(" ")}] ` +
                               `/Count ${kids.length} >>`;
    let out = "%PDF-1.4\n";
    const offsets = objects.map((object, i) => {
        const at = out.length;
        out += `${i + 1} 0 obj\n${object}\nendobj\n`;
        return at;
    });
    const xref = out.length;
    out += `xref\n0 ${objects.length + 1}\n0000000000 65535 f \n` +
           offsets.map((o) => `${String(o).padStart(10, "0")} 00000 n \n`).join("") +
           `trailer\n<< /Size ${objects.length + 1} /Root ${catalog} 0 R >>\nstartxref\n${xref}\n%%EOF\n`;
    return out;
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
fs.writeFileSync(path.join(work, "index.html"),
                 `<!doctype html><html><body style="margin:0;background:#fff">
<script src="/ruffle/ruffle.js"></script></body></html>`);

const types = { ".js": "text/javascript", ".wasm": "application/wasm", ".html": "text/html",
                ".swf": "application/x-shockwave-flash", ".png": "image/png",
                ".svg": "image/svg+xml" };
const server = http.createServer((request, response) => {
    const name = decodeURIComponent(new URL(request.url, "http://127.0.0.1").pathname);
    const base = name.startsWith("/ruffle/") ? ruffleDir : work;
    const file = path.join(base, name.startsWith("/ruffle/") ? name.slice(8) : name);
    if (!path.resolve(file).startsWith(base + path.sep) || !fs.existsSync(file)) {
        response.writeHead(404).end();
        return;
    }
    response.writeHead(200, { "Content-Type": types[path.extname(file)] ?? "application/octet-stream" });
    fs.createReadStream(file).pipe(response);
});
await new Promise((resolve) => server.listen(0, "127.0.0.1", resolve));
const origin = `http://127.0.0.1:${server.address().port}`;

const browser = await chromium.launch({
    executablePath: chromiumPath,
    args: ["--no-sandbox", "--disable-gpu", "--disable-background-networking",
           "--disable-component-update", "--disable-sync", "--no-first-run"],
});

// Screenshots until two in a row agree: the whole element, or only `clip` (page pixels).
async function settle(locator, clip) {
    let previous = null;
    for (let attempt = 0; attempt < 40; attempt++) {
        await locator.page().waitForTimeout(250);
        const shot = clip ? await locator.page().screenshot({ clip }) : await locator.screenshot();
        if (previous && shot.equals(previous) && attempt >= 3)
            return shot;
        previous = shot;
    }
    return previous;
}

async function playMovie(page, movie, width, height, clip) {
    await page.goto(`${origin}/index.html`);
    await page.evaluate(async ({ movie, width, height }) => {
        window.RufflePlayer.config = { autoplay: "on", splashScreen: false, letterbox: "on",
                                       preferredRenderer: "canvas", unmuteOverlay: "hidden",
                                       quality: "best" };
        const player = window.RufflePlayer.newest().createPlayer();
        player.id = "player";
        player.style.width = `${width}px`;
        player.style.height = `${height}px`;
        player.style.display = "block";
        document.body.appendChild(player);
        await player.ruffle().load({ url: movie });
    }, { movie, width, height });
    return settle(page.locator("#player"), clip);
}

async function showSvg(page, svg, width, height, clip) {
    await page.setContent(`<!doctype html><html><body style="margin:0;background:#fff">` +
                          `<img id="svg" src="${origin}/${svg}" width="${width}" height="${height}" ` +
                          `style="display:block"></body></html>`);
    await page.locator("#svg").evaluate((image) => image.decode());
    return settle(page.locator("#svg"), clip);
}

// Pixels of PNGs decoded by the browser: mean difference of two, or the mean width of the
// dark-to-light edges in a region of one.
async function measure(page, what, pngA, pngB, region) {
    return page.evaluate(async ({ what, a, b, region }) => {
        const load = (data) => new Promise((resolve, reject) => {
            const image = new Image();
            image.onload = () => resolve(image);
            image.onerror = reject;
            image.src = `data:image/png;base64,${data}`;
        });
        const pixels = (image, width, height) => {
            const canvas = document.createElement("canvas");
            canvas.width = width;
            canvas.height = height;
            const context = canvas.getContext("2d");
            context.fillStyle = "#fff";
            context.fillRect(0, 0, width, height);
            if (image)
                context.drawImage(image, 0, 0, width, height);
            return context.getImageData(0, 0, width, height).data;
        };
        const imageA = await load(a);
        const width = imageA.naturalWidth, height = imageA.naturalHeight;
        const dataA = pixels(imageA, width, height);
        if (what === "difference") {
            const imageB = b ? await load(b) : null;
            if (imageB && (imageB.naturalWidth !== width || imageB.naturalHeight !== height))
                return { error: `sizes differ: ${width}x${height} and ${imageB.naturalWidth}x${imageB.naturalHeight}` };
            const dataB = pixels(imageB, width, height);
            let sum = 0;
            for (let i = 0; i < dataA.length; i += 4) {
                sum += Math.abs(dataA[i] - dataB[i]) + Math.abs(dataA[i + 1] - dataB[i + 1]) +
                       Math.abs(dataA[i + 2] - dataB[i + 2]);
            }
            return { value: sum / (width * height * 3) };
        }
        // Along each row of the region: runs of grey between white (> 225) and black (< 30)
        // that join the two, counted in pixels.
        const grey = (x, y) => dataA[(y * width + x) * 4 + 1];
        let edges = 0, total = 0;
        for (let y = region.y; y < region.y + region.height; y++) {
            let last = null, lastX = 0;
            for (let x = region.x; x < region.x + region.width; x++) {
                const v = grey(x, y);
                const kind = v > 225 ? "white" : v < 30 ? "black" : null;
                if (kind) {
                    if (last && last !== kind) {
                        edges++;
                        total += x - lastX - 1;
                    }
                    last = kind;
                    lastX = x;
                }
            }
        }
        return { value: edges ? total / edges : Infinity, edges };
    }, { what, a: pngA.toString("base64"), b: pngB ? pngB.toString("base64") : null, region });
}

try {
    const context = await browser.newContext({ viewport: { width: 2400, height: 3400 },
                                               deviceScaleFactor: 1 });
    const page = await context.newPage();
    page.setDefaultTimeout(60000);
    const reference = fs.readFileSync(path.join(work, "ref72.png"));
    const blank = await measure(page, "difference", reference, null);
    check(blank.value > 12, `a blank page is far from the reference (${blank.value.toFixed(2)})`);

    const pictures = {};
    const title = { x: 50 * 4, y: (842 - 800) * 4, width: 300 * 4, height: 30 * 4 };
    const whole = { x: 0, y: 0, width: title.width, height: title.height };
    for (const name of ["low", "medium", "high"]) {
        const shot = await playMovie(page, `${origin}/${name}/page1.swf`, 595, 842);
        fs.writeFileSync(path.join(work, `ruffle-${name}.png`), shot);
        const result = await measure(page, "difference", shot, reference);
        check(result.error === undefined && result.value < kLimit,
              `${name}: Ruffle's picture matches MuPDF's (mean difference ` +
              `${result.value?.toFixed(2) ?? result.error})`);
        // The title "Vellora vector page", 28 points at (50, 780): at four times the size.
        pictures[name] = await playMovie(page, `${origin}/${name}/page1.swf`, 595 * 4, 842 * 4,
                                         title);
        fs.writeFileSync(path.join(work, `ruffle4x-${name}.png`), pictures[name]);
    }
    for (const name of ["medium", "high"]) {
        const shot = await showSvg(page, `${name}/page1.svg`, 595, 842);
        fs.writeFileSync(path.join(work, `svg-${name}.png`), shot);
        const result = await measure(page, "difference", shot, reference);
        check(result.error === undefined && result.value < kLimit,
              `${name}: Chromium's drawing of the SVG matches MuPDF's (mean difference ` +
              `${result.value?.toFixed(2) ?? result.error})`);
    }
    const svg4x = await showSvg(page, "high/page1.svg", 595 * 4, 842 * 4, title);
    const edge = async (png, label, region = whole) => {
        const result = await measure(page, "edges", png, null, region);
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
    await browser.close();
    server.close();
}

if (failures > 0) {
    console.error(`${failures} check(s) failed; pictures kept in ${work}`);
    process.exit(1);
}
fs.rmSync(work, { recursive: true, force: true });
console.log("all checks passed");
