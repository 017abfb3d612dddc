// Plays the converter's page movies in an independent player (Ruffle, in Chromium) and
// checks that they look like MuPDF's own rendering of the same pages.
//
//   node ruffle_crosscheck.mjs
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

// Mean absolute difference per colour channel, 0 to 255. A movie at the page's own
// resolution differs from MuPDF's drawing only by JPEG noise (quality 85) and the player's
// bitmap smoothing: measured 0.5 to 1 on these pages, so 4 leaves room for another JPEG
// encoder or player version while a picture that is shifted, mis-scaled or loses part of
// the page moves the coloured areas and fails. The low preset's page image is drawn
// at 48 dpi and scaled up by the player, so it is compared with MuPDF's 48 dpi drawing
// scaled up by the browser: the same blur on both sides, the same limit. Missing content (a
// blank page) measures 35 to 60 on these pages, which shows the measure can fail.
const kLimit = 4;
const kBlankPageMinimum = 20;

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

function which(program) {
    try {
        execFileSync("which", [program], { stdio: "ignore" });
        return true;
    } catch {
        return false;
    }
}

if (!fs.existsSync(converter))
    missing(`converter ${converter}`);
if (!fs.existsSync(chromiumPath))
    missing("chromium");
for (const program of ["ps2pdf", "mutool"]) {
    if (!which(program))
        missing(program);
}
let chromium;
let ruffleDir;
try {
    ({ chromium } = require("playwright-core"));
    ruffleDir = path.dirname(require.resolve("@ruffle-rs/ruffle/package.json"));
} catch {
    missing("npm packages (run npm ci)");
}

// A portrait A4 page and a landscape page with text, lines and large coloured areas, and a
// page in black and grey only (which the converter stores as a one-channel JPEG).
const work = fs.mkdtempSync(path.join(process.env.HOME, "ruffle-"));
const postscript = `%!PS
<< /PageSize [595 842] >> setpagedevice
/Helvetica-Bold findfont 36 scalefont setfont
60 760 moveto (Vellora page one) show
/Times-Roman findfont 14 scalefont setfont
0 1 30 { /i exch def 60 700 i 14 mul sub moveto (The quick brown fox jumps over the lazy dog.) show } for
0.8 0.1 0.1 setrgbcolor 60 80 220 160 rectfill
0.1 0.3 0.8 setrgbcolor 320 80 220 160 rectfill
0 setgray 4 setlinewidth 40 40 moveto 555 802 lineto stroke
showpage
<< /PageSize [842 595] >> setpagedevice
0.95 0.85 0.2 setrgbcolor 0 0 842 200 rectfill
/Helvetica findfont 48 scalefont setfont 0 setgray
60 450 moveto (Landscape page) show
0.2 0.6 0.3 setrgbcolor 500 260 300 300 rectfill
showpage
<< /PageSize [595 842] >> setpagedevice
/Times-Roman findfont 12 scalefont setfont 0 setgray
0 1 25 { /i exch def 60 780 i 16 mul sub moveto (Black text only: the movie holds a grey image.) show } for
0.5 setgray 60 60 475 300 rectfill
showpage
`;
fs.writeFileSync(path.join(work, "doc.ps"), postscript);
execFileSync("ps2pdf", ["doc.ps", "doc.pdf"], { cwd: work });

const pages = [
    { number: 1, width: 595, height: 842 },
    { number: 2, width: 842, height: 595 },
    { number: 3, width: 595, height: 842 },
];
const listing = execFileSync(converter, [path.join(work, "doc.pdf"), "-I"]).toString();
check(listing === "page=1 width=595 height=842\npage=2 width=842 height=595\n" +
                 "page=3 width=595 height=842\n",
      "information mode lists the pages with their sizes");

for (const page of pages) {
    const pdf = path.join(work, "doc.pdf");
    execFileSync(converter, [pdf, `-p${page.number}`, "-s", "zoom=72", "-s", "jpegquality=85",
                             "-o", path.join(work, `full${page.number}.swf`)]);
    execFileSync(converter, [pdf, `-p${page.number}`, "-s", "-zoom=48", "-w", "-S", "-O2", "-s",
                             "jpegquality=85", "-o", path.join(work, `low${page.number}.swf`)]);
    for (const dpi of [72, 48]) {
        execFileSync("mutool", ["draw", "-q", "-r", String(dpi), "-o",
                                path.join(work, `ref${dpi}-${page.number}.png`), pdf,
                                String(page.number)], { stdio: ["ignore", "ignore", "ignore"] });
    }
}

const types = { ".js": "text/javascript", ".wasm": "application/wasm", ".html": "text/html",
                ".swf": "application/x-shockwave-flash", ".png": "image/png" };
const server = http.createServer((request, response) => {
    const url = new URL(request.url, "http://127.0.0.1");
    const name = decodeURIComponent(url.pathname);
    const file = name.startsWith("/ruffle/") ? path.join(ruffleDir, name.slice(8))
                                             : path.join(work, name);
    const base = name.startsWith("/ruffle/") ? ruffleDir : work;
    if (!path.resolve(file).startsWith(base + path.sep) || !fs.existsSync(file)) {
        response.writeHead(404).end();
        return;
    }
    response.writeHead(200, { "Content-Type": types[path.extname(file)] ?? "application/octet-stream" });
    fs.createReadStream(file).pipe(response);
});
await new Promise((resolve) => server.listen(0, "127.0.0.1", resolve));
const origin = `http://127.0.0.1:${server.address().port}`;
fs.writeFileSync(path.join(work, "index.html"),
                 `<!doctype html><html><body style="margin:0;background:#fff">
<script src="/ruffle/ruffle.js"></script></body></html>`);

const browser = await chromium.launch({
    executablePath: chromiumPath,
    args: ["--no-sandbox", "--disable-gpu", "--disable-background-networking",
           "--disable-component-update", "--disable-sync", "--no-first-run"],
});

// Shows one movie in a player of the page's size and returns a PNG of what it drew.
async function playMovie(page, movie, width, height) {
    await page.goto(`${origin}/index.html`);
    await page.evaluate(async ({ movie, width, height }) => {
        window.RufflePlayer.config = { autoplay: "on", splashScreen: false, letterbox: "on",
                                       preferredRenderer: "canvas", unmuteOverlay: "hidden" };
        const player = window.RufflePlayer.newest().createPlayer();
        player.id = "player";
        player.style.width = `${width}px`;
        player.style.height = `${height}px`;
        player.style.display = "block";
        document.body.appendChild(player);
        await player.ruffle().load({ url: movie });
    }, { movie, width, height });
    // Ruffle draws the first frame shortly after loading; wait until the picture settles.
    let previous = null;
    for (let attempt = 0; attempt < 40; attempt++) {
        await page.waitForTimeout(250);
        const shot = await page.locator("#player").screenshot();
        if (previous && shot.equals(previous) && attempt >= 3)
            return shot;
        previous = shot;
    }
    return previous;
}

// Mean absolute channel difference between two PNGs, decoded by the browser; the second is
// scaled to the first's size when `scale` is set, else both must have the same size.
async function meanDifference(page, pngA, pngB, scale = false) {
    return page.evaluate(async ({ a, b, scale }) => {
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
            if (image) {
                context.imageSmoothingQuality = "high";
                context.drawImage(image, 0, 0, width, height);
            }
            return context.getImageData(0, 0, width, height).data;
        };
        const imageA = await load(a);
        const imageB = b ? await load(b) : null;
        const width = imageA.naturalWidth, height = imageA.naturalHeight;
        if (imageB && !scale && (imageB.naturalWidth !== width || imageB.naturalHeight !== height))
            return { error: `sizes differ: ${width}x${height} and ${imageB.naturalWidth}x${imageB.naturalHeight}` };
        const dataA = pixels(imageA, width, height), dataB = pixels(imageB, width, height);
        let sum = 0;
        for (let i = 0; i < dataA.length; i += 4) {
            sum += Math.abs(dataA[i] - dataB[i]) + Math.abs(dataA[i + 1] - dataB[i + 1]) +
                   Math.abs(dataA[i + 2] - dataB[i + 2]);
        }
        return { mean: sum / (width * height * 3) };
    }, { a: pngA.toString("base64"), b: pngB ? pngB.toString("base64") : null, scale });
}

try {
    const context = await browser.newContext({ viewport: { width: 1000, height: 1000 },
                                               deviceScaleFactor: 1 });
    const page = await context.newPage();
    for (const { number, width, height } of pages) {
        const reference = fs.readFileSync(path.join(work, `ref72-${number}.png`));
        const blank = await meanDifference(page, reference, null);
        check(blank.mean > kBlankPageMinimum,
              `page ${number}: a blank page is far from the reference (${blank.mean?.toFixed(2)})`);
        for (const [kind, dpi] of [["full", 72], ["low", 48]]) {
            const shot = await playMovie(page, `${origin}/${kind}${number}.swf`, width, height);
            fs.writeFileSync(path.join(work, `ruffle-${kind}${number}.png`), shot);
            const expected = fs.readFileSync(path.join(work, `ref${dpi}-${number}.png`));
            const result = await meanDifference(page, shot, expected, dpi !== 72);
            check(result.error === undefined && result.mean < kLimit,
                  `page ${number}, ${kind === "full" ? "72 dpi" : "low preset"}: Ruffle's picture ` +
                  `matches MuPDF's (mean difference ${result.mean?.toFixed(2) ?? result.error})`);
        }
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
