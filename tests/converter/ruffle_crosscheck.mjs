// Plays the converter's page movies in an independent player (Ruffle, in Chromium) and
// checks that they look like MuPDF's own rendering of the same pages.
//
//   node ruffle_crosscheck.mjs
// Environment: XDG_DATA_HOME (the tool folder holding pdf2swf), HOME (scratch space),
// VELLORA_SOURCE_DIR (for node_modules), CI ("true": a missing dependency fails; otherwise
// the test is skipped with CTest's skip code).

import { execFileSync } from "node:child_process";
import fs from "node:fs";
import path from "node:path";
import { check, converter, finish, meanDifference, playMovie, requireDependencies, startPlayer }
    from "./crosscheck.mjs";

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

const dependencies = requireDependencies(["ps2pdf", "mutool"]);

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

const player = await startPlayer(dependencies, work);

try {
    const context = await player.browser.newContext({ viewport: { width: 1000, height: 1000 },
                                                      deviceScaleFactor: 1 });
    const page = await context.newPage();
    for (const { number, width, height } of pages) {
        const reference = fs.readFileSync(path.join(work, `ref72-${number}.png`));
        const blank = await meanDifference(page, reference, null);
        check(blank.mean > kBlankPageMinimum,
              `page ${number}: a blank page is far from the reference (${blank.mean?.toFixed(2)})`);
        for (const [kind, dpi] of [["full", 72], ["low", 48]]) {
            const shot = await playMovie(page, player.origin, `${kind}${number}.swf`, width, height);
            fs.writeFileSync(path.join(work, `ruffle-${kind}${number}.png`), shot);
            const expected = fs.readFileSync(path.join(work, `ref${dpi}-${number}.png`));
            const result = await meanDifference(page, shot, expected, dpi !== 72);
            check(result.error === undefined && result.mean < kLimit,
                  `page ${number}, ${kind === "full" ? "72 dpi" : "low preset"}: Ruffle's picture ` +
                  `matches MuPDF's (mean difference ${result.mean?.toFixed(2) ?? result.error})`);
        }
    }
} finally {
    await player.close();
}

finish(work);
