// How faithfully a form of a page (its JPEG, its SVG drawn by Chromium or by librsvg, its
// movie played by Ruffle) shows what MuPDF draws for the same page.
//
// Both sides are drawn 800 pixels wide and reduced to the average grey of 4 x 4 blocks, so
// that two renderers' anti-aliasing does not count. Two figures follow: the mean absolute
// difference of the blocks (of 255), and the ink lost: the share of MuPDF's inked blocks
// (grey under 200) that ours draws lighter by more than 40. A page whose coloured words are
// missing loses several per cent of its ink; a faithful page loses almost none.

import { execFileSync } from "node:child_process";
import fs from "node:fs";
import http from "node:http";
import path from "node:path";
import { launchChromium, withPictureHelpers } from "./pictures.mjs";

export const kWidth = 800;
const kBlock = 4;
const kInk = 200;
const kLighter = 40;

// MuPDF's drawing of one page, kWidth pixels wide, as a PNG file; returns its size.
export function drawReference(pdf, page, png) {
    execFileSync("mutool", ["draw", "-q", "-w", String(kWidth), "-o", png, pdf, String(page)],
                 { stdio: ["ignore", "ignore", "ignore"] });
    const header = fs.readFileSync(png).subarray(16, 24);
    return { width: header.readUInt32BE(0), height: header.readUInt32BE(4) };
}

// librsvg's drawing of an SVG file kWidth pixels wide, on white, as a PNG file.
export function drawWithLibrsvg(svg, png) {
    execFileSync("rsvg-convert", ["-w", String(kWidth), "-b", "white", "-o", png, svg],
                 { stdio: ["ignore", "ignore", "pipe"] });
}

// The references inside an SVG text (href="#x", xlink:href="#x", url(#x)) that name no id
// of the same text.
export function unresolvedReferences(svg) {
    const ids = new Set([...svg.matchAll(/\sid="([^"]*)"/g)].map((match) => match[1]));
    const missing = new Set();
    for (const match of svg.matchAll(/(?:href="#([^"]*)"|url\(#([^)]*)\))/g)) {
        const id = match[1] ?? match[2];
        if (!ids.has(id))
            missing.add(id);
    }
    return [...missing];
}

const types = { ".js": "text/javascript", ".wasm": "application/wasm", ".html": "text/html",
                ".swf": "application/x-shockwave-flash", ".png": "image/png",
                ".jpg": "image/jpeg", ".svg": "image/svg+xml" };

// A browser with a page served from `folder` (and Ruffle's files under /ruffle/ when
// `ruffleDir` is given), ready to measure and to play movies.
export async function openMeasurer(chromium, folder, ruffleDir) {
    const server = http.createServer((request, response) => {
        const name = decodeURIComponent(new URL(request.url, "http://127.0.0.1").pathname);
        const ruffle = ruffleDir && name.startsWith("/ruffle/");
        const base = ruffle ? ruffleDir : folder;
        const file = path.resolve(ruffle ? path.join(ruffleDir, name.slice(8)) : path.join(folder, name));
        if (!file.startsWith(base + path.sep) || !fs.existsSync(file)) {
            response.writeHead(404).end();
            return;
        }
        // The player's own files may be cached; the pages' files change from page to page.
        response.writeHead(200, { "Content-Type": types[path.extname(file)] ?? "application/octet-stream",
                                  "Cache-Control": ruffle ? "max-age=3600" : "no-store" });
        fs.createReadStream(file).pipe(response);
    });
    await new Promise((resolve) => server.listen(0, "127.0.0.1", resolve));
    const origin = `http://127.0.0.1:${server.address().port}`;
    fs.writeFileSync(path.join(folder, "measure.html"),
                     "<!doctype html><html><body style=\"margin:0;background:#fff\">" +
                     (ruffleDir ? "<script src=\"/ruffle/ruffle.js\"></script>" : "") +
                     "</body></html>");
    const browser = await launchChromium(chromium);
    const context = await browser.newContext({ viewport: { width: kWidth + 100, height: 1200 },
                                               deviceScaleFactor: 1 });
    const page = await context.newPage();
    const url = (file) => `${origin}/${path.relative(folder, file).split(path.sep).map(encodeURIComponent).join("/")}`;
    await page.goto(`${origin}/measure.html`);

    // The two figures of `ours` (a PNG, JPEG or SVG file in the folder, drawn by Chromium)
    // against `reference` (MuPDF's drawing kWidth pixels wide). With `page` (its size in
    // points), ours is placed exactly where the page lies in the reference: an SVG is drawn
    // at the reference's scale, a picture scaled from its own `pixelsPerPoint` (by default
    // the reference's). Without it, both are stretched to `size`, or to the reference's size.
    async function measure(reference, ours, { page: pageSize, pixelsPerPoint, size } = {}) {
        await withPictureHelpers(page);
        return page.evaluate(async ({ a, b, pageSize, pixelsPerPoint, size, kWidth, block, ink,
                                      lighter }) => {
            const { load, pixels } = window.pictures;
            const grey = (image, width, height, drawnWidth, drawnHeight) => {
                const data = pixels(image, width, height, drawnWidth, drawnHeight);
                const columns = Math.floor(width / block), rows = Math.floor(height / block);
                const blocks = new Float64Array(columns * rows);
                for (let y = 0; y < rows * block; y++) {
                    for (let x = 0; x < columns * block; x++) {
                        const i = (y * width + x) * 4;
                        blocks[Math.floor(y / block) * columns + Math.floor(x / block)] +=
                            0.299 * data[i] + 0.587 * data[i + 1] + 0.114 * data[i + 2];
                    }
                }
                return blocks.map((sum) => sum / (block * block));
            };
            const imageA = await load(a), imageB = await load(b);
            const width = size?.width ?? imageA.naturalWidth;
            const height = size?.height ?? imageA.naturalHeight;
            let drawnWidth = width, drawnHeight = height;
            if (pageSize) {
                const scale = kWidth / pageSize.width;
                if (b.endsWith(".svg")) {
                    drawnWidth = pageSize.width * scale;
                    drawnHeight = pageSize.height * scale;
                } else {
                    const factor = scale / (pixelsPerPoint ?? scale);
                    drawnWidth = imageB.naturalWidth * factor;
                    drawnHeight = imageB.naturalHeight * factor;
                }
            }
            const theirs = grey(imageA, width, height, width, height);
            const mine = grey(imageB, width, height, drawnWidth, drawnHeight);
            let sum = 0, inked = 0, lost = 0;
            for (let i = 0; i < theirs.length; i++) {
                sum += Math.abs(theirs[i] - mine[i]);
                if (theirs[i] < ink) {
                    inked++;
                    if (mine[i] - theirs[i] > lighter)
                        lost++;
                }
            }
            return { mean: sum / theirs.length, inkLost: inked ? lost / inked : 0, inked };
        }, { a: url(reference), b: url(ours), pageSize, pixelsPerPoint, size, kWidth,
             block: kBlock, ink: kInk, lighter: kLighter });
    }

    // Plays a movie of the folder and keeps what it drew in `png`, placed as MuPDF places
    // the page of `pageSize` points in its drawing kWidth pixels wide: a point of the stage
    // (twenty twips) on kWidth / width pixels from the top left corner. A player that fits
    // the movie to its size would not: it takes the stage at whole pixels (595.3 points as
    // 595), so an A4 page came out 0.05 % larger and centred 0.6 pixel lower, and a rule one
    // pixel high moved to the next row. The movie plays unscaled, pinned to the top left
    // corner, in a browser whose pixel ratio is that scale.
    async function playMovie(movie, pageSize, png) {
        const ratio = kWidth / pageSize.width;
        const css = { width: Math.ceil(pageSize.width) + 2, height: Math.ceil(pageSize.height) + 2 };
        const context = await browser.newContext({ viewport: css, deviceScaleFactor: ratio });
        try {
            const player = await context.newPage();
            await player.goto(`${origin}/measure.html`);
            await withPictureHelpers(player);
            await player.evaluate(({ movie, width, height }) => window.pictures.play(
                movie, width, height,
                { scale: "noScale", forceScale: true, salign: "TL", forceAlign: true }),
            { movie: url(movie), width: css.width, height: css.height });
            // Ruffle draws the first frame shortly after the movie has loaded; the picture is
            // read from its canvas (quicker than a screenshot of a page that redraws thousands
            // of shapes every frame) once two readings agree.
            await player.waitForFunction(() => document.getElementById("player")?.ruffle().metadata,
                                         null, { timeout: 60000 }).catch(() => {});
            let previous = null;
            for (let attempt = 0; attempt < 40; attempt++) {
                await player.waitForTimeout(250);
                const picture = await player.evaluate(() => {
                    const canvas = document.getElementById("player").shadowRoot?.querySelector("canvas");
                    return canvas && canvas.width > 0 ? canvas.toDataURL("image/png") : null;
                });
                if (picture && picture === previous)
                    break;
                previous = picture;
            }
            if (!previous)
                throw new Error(`Ruffle drew nothing for ${movie}`);
            fs.writeFileSync(png, Buffer.from(previous.slice(previous.indexOf(",") + 1), "base64"));
        } finally {
            await context.close();
        }
    }

    async function close() {
        await browser.close();
        server.close();
    }
    return { measure, playMovie, close };
}

// "0.42 / 0.10 %": the two figures as printed.
export function figures(result) {
    return `${result.mean.toFixed(2)} / ${(result.inkLost * 100).toFixed(2)} %`;
}

// A page's size in points, as the converter lists it.
export function pageSize(converter, pdf, number) {
    const listing = execFileSync(converter, [pdf, "-I"], { stdio: ["ignore", "pipe", "ignore"] })
        .toString();
    const match = new RegExp(`^page=${number} width=([0-9.]+) height=([0-9.]+)$`, "m").exec(listing);
    if (!match)
        throw new Error(`page ${number} of ${pdf} is not listed`);
    return { width: Number(match[1]), height: Number(match[2]) };
}

// Pixels per point of the page image (its long side is 1600 pixels exactly).
export function imagePixelsPerPoint(page) {
    return 1600 / Math.max(page.width, page.height);
}
