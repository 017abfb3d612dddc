// The measuring half of bench/fidelity: converts pages of the corpus with the medium and
// high presets, draws every form of them and compares each with MuPDF's drawing.
//   node fidelity.mjs <pdf2swf> <corpus folder> <pages per document | all>

import { execFileSync } from "node:child_process";
import fs from "node:fs";
import os from "node:os";
import path from "node:path";
import { createRequire } from "node:module";
import { drawReference, drawWithLibrsvg, figures, imagePixelsPerPoint, kWidth, openMeasurer,
         unresolvedReferences } from "../tests/converter/fidelity.mjs";

const [converter, corpus, perDocument] = process.argv.slice(2);
const require = createRequire(path.join(process.env.VELLORA_SOURCE_DIR, "package.json"));
const { chromium } = require("playwright-core");
const ruffleDir = path.dirname(require.resolve("@ruffle-rs/ruffle/package.json"));

// The presets as a build runs them (quality as the benchmark of the converter sets it).
const presets = {
    medium: ["--flatten", "-s", "subpixels=1", "-s", "-zoom=48", "-w", "-s", "jpegquality=85"],
    high: ["-s", "-zoom=48", "-G", "-w", "-s", "jpegquality=85"],
};
// The resolution of the image a movie holds when its page is kept as an image.
const fallbackDpi = Object.fromEntries(Object.entries(presets).map(([preset, options]) =>
    [`movie-${preset}`, Number(/^-zoom=([0-9.]+)$/.exec(options.find((o) => o.startsWith("-zoom=")))[1])]));
// Our forms, then MuPDF's own in the same roles, which show what the measure itself makes
// of a faithful page: its drawing at the page image's size, and its SVG drawn by librsvg.
const forms = ["jpeg", "svg-chromium", "svg-librsvg", "movie-medium", "movie-high",
               "mupdf-1600", "mupdf-svg-librsvg"];

// Pages spread evenly over the document, the first and the last among them.
function samplePages(count) {
    const wanted = perDocument === "all" ? count : Math.min(count, Number(perDocument));
    const pages = new Set();
    for (let k = 0; k < wanted; k++)
        pages.add(wanted === 1 ? 1 : 1 + Math.round((k * (count - 1)) / (wanted - 1)));
    return [...pages];
}

// How far a page is from the targets (mean difference 2, ink lost 0.5 %): the worst page
// is the one furthest.
const badness = (result) => Math.max(result.mean / 2, result.inkLost / 0.005);

const work = fs.mkdtempSync(path.join(os.tmpdir(), "fidelity-"));
const measurer = await openMeasurer(chromium, work, ruffleDir);
const movieSizes = { medium: [], high: [] };
let failures = 0;
try {
    const manifest = fs.readFileSync(path.join(corpus, "manifest.tsv"), "utf8").trim().split("\n");
    const only = process.env.FIDELITY_DOCUMENTS?.split(",").filter(Boolean);
    for (const line of manifest) {
        const [name, , producer] = line.split("\t");
        if (only && !only.some((part) => name.includes(part)))
            continue;
        const pdf = path.join(corpus, name);
        let listing;
        try {
            listing = execFileSync(converter, [pdf, "-I"], { stdio: ["ignore", "pipe", "pipe"] })
                .toString();
        } catch (error) {
            console.log(`fidelity ${name}: refused (${error.stderr.toString().trim()})`);
            failures++;
            continue;
        }
        const sizes = listing.trim().split("\n").map((line) => {
            const [, width, height] = /width=([0-9.]+) height=([0-9.]+)/.exec(line);
            return { width: Number(width), height: Number(height) };
        });
        const count = sizes.length;
        const worst = {};
        let unresolved = 0;
        const imagePages = [];
        const pages = samplePages(count);
        for (const number of pages) {
            const folder = path.join(work, `${name}-${number}`);
            fs.mkdirSync(folder);
            const files = {};
            let failed = false;
            for (const [preset, options] of Object.entries(presets)) {
                const movie = path.join(folder, `${preset}.swf`);
                try {
                    execFileSync(converter, [pdf, `-p${number}`, ...options, "-o", movie],
                                 { stdio: ["ignore", "ignore", "pipe"] });
                } catch (error) {
                    console.log(`fidelity ${name} page ${number} ${preset}: failed ` +
                                `(${error.stderr.toString().trim()})`);
                    failed = true;
                    continue;
                }
                movieSizes[preset].push(fs.statSync(movie).size);
                files[`movie-${preset}`] = movie;
            }
            if (failed) {
                failures++;
                continue;
            }
            const reference = path.join(folder, "mupdf.png");
            drawReference(pdf, number, reference);
            files.jpeg = path.join(folder, "medium.jpg");
            files["mupdf-1600"] = path.join(folder, "mupdf-1600.png");
            execFileSync("mutool", ["draw", "-q", "-w", "1600", "-h", "1600", "-o",
                                    files["mupdf-1600"], pdf, String(number)], { stdio: "ignore" });
            execFileSync("mutool", ["draw", "-q", "-F", "svg", "-o",
                                    path.join(folder, "mupdf%d.svg"), pdf, String(number)],
                         { stdio: "ignore" });
            try {
                drawWithLibrsvg(path.join(folder, `mupdf${number}.svg`),
                                path.join(folder, "mupdf-librsvg.png"));
                files["mupdf-svg-librsvg"] = path.join(folder, "mupdf-librsvg.png");
            } catch {
                // MuPDF's own SVG is not always well-formed: no figure then.
            }
            const svg = path.join(folder, "medium.svg");
            if (fs.existsSync(svg)) {
                unresolved += unresolvedReferences(fs.readFileSync(svg, "utf8")).length;
                files["svg-chromium"] = svg;
                files["svg-librsvg"] = path.join(folder, "librsvg.png");
                drawWithLibrsvg(svg, files["svg-librsvg"]);
            } else {
                // A page kept as an image has no SVG: the viewer shows its JPEG.
                imagePages.push(number);
                files["svg-chromium"] = files["svg-librsvg"] = files.jpeg;
            }
            const page = sizes[number - 1];
            for (const form of forms) {
                if (!files[form])
                    continue;
                let drawn = files[form];
                if (form.startsWith("movie-")) {
                    drawn = path.join(folder, `${form}.png`);
                    await measurer.playMovie(files[form], page, drawn);
                }
                // The page image (and MuPDF's drawing at its size) is 1600 pixels long.
                const pixelsPerPoint = drawn.endsWith(".jpg") || form === "mupdf-1600"
                                           ? imagePixelsPerPoint(page) : undefined;
                let result;
                if (imagePages.includes(number) && fallbackDpi[form]) {
                    // A page kept as an image is measured as that image: MuPDF's drawing at
                    // the image's own resolution, enlarged as the movie enlarges its image,
                    // against the movie.
                    const dpi = fallbackDpi[form];
                    const own = path.join(folder, `mupdf-${dpi}dpi.png`);
                    execFileSync("mutool", ["draw", "-q", "-r", String(dpi), "-o", own, pdf,
                                            String(number)], { stdio: "ignore" });
                    const size = { width: kWidth, height: Math.round((kWidth * page.height) / page.width) };
                    result = await measurer.measure(own, drawn, { page, size });
                } else {
                    result = await measurer.measure(reference, drawn, { page, pixelsPerPoint });
                }
                if (!worst[form] || badness(result) > badness(worst[form].result))
                    worst[form] = { result, number };
            }
            fs.rmSync(folder, { recursive: true, force: true });
        }
        console.log(`fidelity ${name} (${producer}): ${pages.length} of ${count} pages measured, ` +
                    `${imagePages.length} kept as images` +
                    (imagePages.length ? ` (pages ${imagePages.join(", ")}; their movies measured ` +
                     `as the image they hold, at its own resolution)` : ""));
        console.log(`fidelity ${name} svg unresolved references: ${unresolved} refs`);
        for (const form of forms) {
            if (!worst[form])
                continue;
            const { result, number } = worst[form];
            console.log(`fidelity ${name} ${form} worst page: ${figures(result)} (page ${number})`);
        }
    }
} finally {
    await measurer.close();
    fs.rmSync(work, { recursive: true, force: true });
}

for (const [preset, sizes] of Object.entries(movieSizes)) {
    if (!sizes.length)
        continue;
    sizes.sort((a, b) => a - b);
    const kb = (bytes) => (bytes / 1024).toFixed(1);
    console.log(`fidelity movie ${preset} median size: ${kb(sizes[Math.floor(sizes.length / 2)])} KB/page`);
    console.log(`fidelity movie ${preset} worst size: ${kb(sizes[sizes.length - 1])} KB/page`);
}
process.exit(failures ? 1 : 0);
