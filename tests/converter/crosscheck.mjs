// What the converter's cross-checks share: their dependencies, PASS/FAIL lines, Chromium
// with Ruffle served beside the test's files, movies played until their picture settles,
// and measures of pictures (the mean difference of two, the width of text edges).
//
// Environment: XDG_DATA_HOME (the tool folder holding pdf2swf), VELLORA_SOURCE_DIR (for
// node_modules), CI ("true": a missing dependency fails; otherwise the test is skipped).

import { execFileSync } from "node:child_process";
import fs from "node:fs";
import path from "node:path";
import { createRequire } from "node:module";
import { startServer } from "../viewer/server.mjs";
import { chromiumPath, launchChromium, withPictureHelpers } from "./pictures.mjs";

export const converter = path.join(process.env.XDG_DATA_HOME, "vellora", "pdf2swf");
// CTest's skip code for these tests (SKIP_RETURN_CODE in CMakeLists.txt).
const kSkipExitCode = 77;

function missing(what) {
    const message = `missing dependency: ${what}`;
    if (process.env.CI === "true") {
        console.error(`FAIL: ${message}`);
        process.exit(1);
    }
    console.log(`SKIP: ${message}`);
    process.exit(kSkipExitCode);
}

function which(program) {
    try {
        execFileSync("which", [program], { stdio: "ignore" });
        return true;
    } catch {
        return false;
    }
}

// Ends the test (skipped, or failed under CI) unless the converter, Chromium, `programs` and
// the npm packages are there. Returns playwright's Chromium and Ruffle's folder.
export function requireDependencies(programs) {
    if (!fs.existsSync(converter))
        missing(`converter ${converter}`);
    if (!fs.existsSync(chromiumPath))
        missing("chromium");
    for (const program of programs) {
        if (!which(program))
            missing(program);
    }
    const require = createRequire(path.join(process.env.VELLORA_SOURCE_DIR, "package.json"));
    try {
        const { chromium } = require("playwright-core");
        const ruffleDir = path.dirname(require.resolve("@ruffle-rs/ruffle/package.json"));
        return { chromium, ruffleDir };
    } catch {
        missing("npm packages (run npm ci)");
    }
}

// A PDF file of `objects` (their texts, numbered from 1) with its cross-reference table;
// `catalog` is the number of the document's catalog.
export function pdfFile(objects, catalog) {
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

let failures = 0;
export function check(condition, message) {
    console.log(`${condition ? "PASS" : "FAIL"}: ${message}`);
    if (!condition)
        failures++;
}

// Exits with 1 when a check failed, keeping `work` to look at; otherwise removes it.
export function finish(work) {
    if (failures > 0) {
        console.error(`${failures} check(s) failed; pictures kept in ${work}`);
        process.exit(1);
    }
    fs.rmSync(work, { recursive: true, force: true });
    console.log("all checks passed");
}

// Serves `work` (with an index.html that loads Ruffle) and Ruffle under /ruffle/ on the
// loopback interface, and starts Chromium. close() stops both.
export async function startPlayer({ chromium, ruffleDir }, work) {
    fs.writeFileSync(path.join(work, "index.html"),
                     `<!doctype html><html><body style="margin:0;background:#fff">
<script src="/ruffle/ruffle.js"></script></body></html>`);
    const server = await startServer(work, { "/ruffle/": ruffleDir });
    const browser = await launchChromium(chromium);
    return {
        origin: server.base,
        browser,
        close: async () => {
            await browser.close();
            await server.close();
        },
    };
}

// Screenshots until two in a row agree: the whole element, or only `clip` (page pixels).
export async function settle(locator, clip) {
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

// Shows the movie served at `movie` (a path below `origin`) in a player of `width` x `height`
// and returns a PNG of what it drew (only `clip` when given). `quality` is Ruffle's, when
// not its default.
export async function playMovie(page, origin, movie, width, height, { quality, clip } = {}) {
    await page.goto(`${origin}/index.html`);
    await withPictureHelpers(page);
    await page.evaluate(({ movie, width, height, quality }) =>
        window.pictures.play(movie, width, height, quality ? { quality } : {}),
    { movie: `${origin}/${movie}`, width, height, quality });
    return settle(page.locator("#player"), clip);
}

// Mean absolute difference per colour channel (0 to 255) of two PNGs decoded by the browser:
// { mean }, or { error } when their sizes differ. The second is scaled to the first's size
// when `scale` is set; without a second PNG, the first is compared with white.
export async function meanDifference(page, pngA, pngB, scale = false) {
    return measure(page, "difference", pngA, pngB, { scale });
}

// The mean width in pixels of the dark-to-light edges along the rows of `region` of a PNG,
// and their count: { value, edges }.
export async function edgeWidth(page, png, region) {
    return measure(page, "edges", png, null, { region });
}

async function measure(page, what, pngA, pngB, { scale = false, region = null }) {
    await withPictureHelpers(page);
    return page.evaluate(async ({ what, a, b, scale, region }) => {
        const { pixels } = window.pictures;
        const load = (data) => window.pictures.load(`data:image/png;base64,${data}`);
        const imageA = await load(a);
        const width = imageA.naturalWidth, height = imageA.naturalHeight;
        const dataA = pixels(imageA, width, height);
        if (what === "difference") {
            const imageB = b ? await load(b) : null;
            if (imageB && !scale &&
                (imageB.naturalWidth !== width || imageB.naturalHeight !== height))
                return { error: `sizes differ: ${width}x${height} and ${imageB.naturalWidth}x${imageB.naturalHeight}` };
            const dataB = pixels(imageB, width, height);
            let sum = 0;
            for (let i = 0; i < dataA.length; i += 4) {
                sum += Math.abs(dataA[i] - dataB[i]) + Math.abs(dataA[i + 1] - dataB[i + 1]) +
                       Math.abs(dataA[i + 2] - dataB[i + 2]);
            }
            return { mean: sum / (width * height * 3) };
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
    }, { what, a: pngA.toString("base64"), b: pngB ? pngB.toString("base64") : null, scale,
         region });
}
