// Reading a real manual (valgrind's, 397 pages, from Debian's valgrind package) as a Vellora
// catalogue made by vellora-build, and the same PDF in PDF.js's component viewer (npm
// pdfjs-dist), both served from 127.0.0.1 and measured the same way in the same run:
//   - DOM elements and renderer memory after 10 and after 180 page turns (desktop with instant
//     turns; phone profile with animated turns), and after a memory-pressure signal, in a
//     Chromium driven through its DevTools pipe alone;
//   - first query to first result, desktop and phone (processor slowed 4x), and the longest
//     task of the page's thread while the search runs;
//   - Lighthouse mobile performance, worst of RUNS_LIGHTHOUSE.
// Used by bench/viewer; the manual and its catalogue are kept in BENCH_CACHE between runs.
import { execFile, execFileSync, spawn } from 'node:child_process';
import crypto from 'node:crypto';
import fs from 'node:fs';
import os from 'node:os';
import path from 'node:path';
import { promisify } from 'node:util';
import zlib from 'node:zlib';
import { createRequire } from 'node:module';

const require = createRequire(import.meta.url);
const CHROMIUM = '/usr/bin/chromium';
const ARGS = ['--no-sandbox', '--disable-gpu', '--disable-background-networking',
    '--disable-component-update', '--disable-sync', '--no-first-run'];
const DESKTOP = { viewport: { width: 1280, height: 800 }, reducedMotion: 'reduce' };
const PHONE = { viewport: { width: 390, height: 844 }, isMobile: true, hasTouch: true, deviceScaleFactor: 3 };
const QUERY = 'Memcheck';
const SEARCH_WATCHED_MS = 3000;
// READING=memory,search,lighthouse (the default) chooses what runs.
const PARTS = (process.env.READING ?? 'memory,search,lighthouse').split(',');
// READING_VIEWERS=vellora,pdfjs (the default) chooses the viewers measured.
const MEASURED = (process.env.READING_VIEWERS ?? 'vellora,pdfjs').split(',');
const sleep = (ms) => new Promise((resolve) => setTimeout(resolve, ms));

// valgrind's manual, from the Debian package.
function realManual(cache) {
    const pdf = path.join(cache, 'valgrind_manual.pdf');
    if (fs.existsSync(pdf)) return pdf;
    const unpack = fs.mkdtempSync(path.join(os.tmpdir(), 'vellora-manual-'));
    try {
        execFileSync('apt-get', ['download', 'valgrind'], { cwd: unpack, stdio: 'ignore' });
        const deb = fs.readdirSync(unpack).find((name) => name.endsWith('.deb'));
        execFileSync('dpkg-deb', ['-x', path.join(unpack, deb), path.join(unpack, 'x')]);
        const packed = path.join(unpack, 'x/usr/share/doc/valgrind/valgrind_manual.pdf.gz');
        fs.writeFileSync(`${pdf}.part`, zlib.gunzipSync(fs.readFileSync(packed)));
        fs.renameSync(`${pdf}.part`, pdf);
    } finally {
        fs.rmSync(unpack, { recursive: true, force: true });
    }
    return pdf;
}

function findProgram(build, name) {
    const found = execFileSync('find', [build, '-name', name, '-type', 'f', '-perm', '-u+x'], { encoding: 'utf8' })
        .split('\n').filter(Boolean);
    if (!found.length) throw new Error(`${name} is not built in ${build}`);
    return found[0];
}

// The catalogue as vellora-build makes it; the pages are kept between runs of the same build
// program, the viewer files are always the current ones.
function buildCatalogue(build, pdf, cache, toolFolder) {
    const program = findProgram(build, 'vellora-build');
    // The catalogue page is the build's copy of the viewer page: a new viewer page, a new build.
    const viewerPage = crypto.createHash('sha256').update(fs.readFileSync(path.join(toolFolder, 'vellora.html'))).digest('hex');
    const stamp = `${fs.statSync(program).mtimeMs}-${fs.statSync(pdf).size}-${viewerPage}`;
    const folder = path.join(cache, 'catalogue');
    const html = path.join(folder, 'manual.html');
    if (fs.readFileSync(path.join(cache, 'stamp'), { encoding: 'utf8', flag: 'a+' }) !== stamp) {
        fs.rmSync(folder, { recursive: true, force: true });
        fs.mkdirSync(folder, { recursive: true });
        execFileSync(program, [pdf, '-o', html, '--quiet', '--jobs', '2'], { stdio: 'inherit' });
        fs.writeFileSync(path.join(cache, 'stamp'), stamp);
    }
    for (const file of ['swfobject.js']) fs.copyFileSync(path.join(toolFolder, file), path.join(folder, file));
    // The page keeps the document's title and texts the build put in; only its viewer changes.
    return html;
}

// PDF.js's own viewer component, as its documentation shows it: one scrolling column of pages
// at page-fit, text layer, find controller.
function writePdfJsPage(folder) {
    const page = `<!DOCTYPE html>
<html lang="en"><head><meta charset="utf-8">
<meta name="viewport" content="width=device-width, initial-scale=1">
<title>PDF.js</title>
<link rel="stylesheet" href="/pdfjs/web/pdf_viewer.css">
<style>body{margin:0}#viewerContainer{position:absolute;inset:0;overflow:auto}</style>
</head><body>
<div id="viewerContainer"><div id="viewer" class="pdfViewer"></div></div>
<script type="module">
const lib = await import('/pdfjs/build/pdf.mjs');
globalThis.pdfjsLib = lib;
const { EventBus, PDFLinkService, PDFFindController, PDFViewer } = await import('/pdfjs/web/pdf_viewer.mjs');
lib.GlobalWorkerOptions.workerSrc = '/pdfjs/build/pdf.worker.mjs';
const container = document.getElementById('viewerContainer');
const eventBus = new EventBus();
const linkService = new PDFLinkService({ eventBus });
const findController = new PDFFindController({ eventBus, linkService });
const viewer = new PDFViewer({ container, eventBus, linkService, findController });
linkService.setViewer(viewer);
eventBus.on('pagesinit', () => { viewer.currentScaleValue = 'page-fit'; });
const doc = await lib.getDocument({ url: 'manual.pdf' }).promise;
viewer.setDocument(doc);
linkService.setDocument(doc, null);
window.pdfjsApp = { viewer, eventBus, doc };
</script>
</body></html>
`;
    fs.writeFileSync(path.join(folder, 'pdfjs.html'), page);
}

// Per viewer: how to wait until it shows, turn a page, and search.
const VIEWERS = {
    vellora: {
        // The page number is written last, once the viewer answers the reader.
        ready: () => !!window.velloraViewer?.book && !!document.getElementById('page-number').textContent &&
            document.querySelector('.page img[src]')?.complete,
        // A turn: `next(animated)` starts it in the page, `turned(what next gave)` tells when
        // it is over.
        next: (animated) => {
            window.velloraViewer.next();
            return animated;
        },
        turned: (animated) => {
            if (animated && window.velloraViewer.book.getState() !== 'read') return false;
            return [...document.querySelectorAll('.page img[src]')].every((image) => image.complete);
        },
        search: (query) => new Promise((resolve) => {
            const list = document.getElementById('search-results');
            const input = document.getElementById('search-input');
            const start = performance.now();
            new MutationObserver(() => {
                if (list.childElementCount > 0) resolve(performance.now() - start);
            }).observe(list, { childList: true });
            input.value = query;
            input.dispatchEvent(new Event('input'));
        }),
        openSearch: (page) => page.keyboard.press('Control+f'),
    },
    pdfjs: {
        ready: () => window.pdfjsApp?.viewer.getPageView(0)?.renderingState === 3,
        next: () => {
            const viewer = window.pdfjsApp.viewer;
            viewer.currentPageNumber = Math.min(viewer.currentPageNumber + 1, viewer.pagesCount);
            return viewer.currentPageNumber;
        },
        turned: (n) => window.pdfjsApp.viewer.getPageView(n - 1).renderingState === 3,
        search: (query) => new Promise((resolve) => {
            const { eventBus } = window.pdfjsApp;
            const start = performance.now();
            eventBus.on('updatefindmatchescount', ({ matchesCount }) => {
                if (matchesCount.total > 0) resolve(performance.now() - start);
            });
            eventBus.on('updatefindcontrolstate', ({ state }) => {
                if (state === 0) resolve(performance.now() - start);
            });
            eventBus.dispatch('find', {
                source: null, type: '', query, caseSensitive: false, entireWord: false,
                highlightAll: true, findPrevious: false, matchDiacritics: false,
            });
        }),
        openSearch: async () => {},
    },
};

// Private memory (clean + dirty, in KB) of the renderer processes under the browser process.
function rendererMemory(browserPid) {
    const children = new Map();
    for (const entry of fs.readdirSync('/proc')) {
        if (!/^\d+$/.test(entry)) continue;
        try {
            const stat = fs.readFileSync(`/proc/${entry}/stat`, 'utf8');
            const parent = Number(stat.slice(stat.lastIndexOf(')') + 2).split(' ')[1]);
            if (!children.has(parent)) children.set(parent, []);
            children.get(parent).push(Number(entry));
        } catch {
            // gone meanwhile
        }
    }
    let total = 0;
    const visit = (pid) => {
        for (const child of children.get(pid) ?? []) {
            try {
                if (fs.readFileSync(`/proc/${child}/cmdline`, 'utf8').includes('--type=renderer')) {
                    const rollup = fs.readFileSync(`/proc/${child}/smaps_rollup`, 'utf8');
                    for (const match of rollup.matchAll(/^Private_(?:Clean|Dirty):\s+(\d+) kB/gm)) total += Number(match[1]);
                }
            } catch {
                // gone meanwhile
            }
            visit(child);
        }
    };
    visit(browserPid);
    return total;
}

// Chromium driven through its DevTools pipe alone. Playwright turns on the network domain,
// whose copies of every response body the renderer keeps for the inspector (tens of megabytes
// after 180 turns): no part of a viewer's memory, so the turns are measured without it.
function rawChromium() {
    const profile = fs.mkdtempSync(path.join(os.tmpdir(), 'vellora-bench-chromium-'));
    const child = spawn(CHROMIUM, ['--headless=new', ...ARGS, `--user-data-dir=${profile}`,
        '--remote-debugging-pipe', 'about:blank'], { stdio: ['ignore', 'ignore', 'ignore', 'pipe', 'pipe'] });
    const pending = new Map();
    let lastId = 0;
    let buffer = '';
    child.stdio[4].setEncoding('utf8');
    child.stdio[4].on('data', (chunk) => {
        buffer += chunk;
        for (let end = buffer.indexOf('\0'); end >= 0; end = buffer.indexOf('\0')) {
            const message = JSON.parse(buffer.slice(0, end));
            buffer = buffer.slice(end + 1);
            const answer = pending.get(message.id);
            if (!answer) continue;
            pending.delete(message.id);
            if (message.error) answer.reject(new Error(`${answer.method}: ${message.error.message}`));
            else answer.resolve(message.result);
        }
    });
    const exited = new Promise((resolve) => child.once('exit', resolve));
    const send = (method, params = {}, sessionId = undefined) => new Promise((resolve, reject) => {
        const id = ++lastId;
        pending.set(id, { resolve, reject, method });
        child.stdio[3].write(`${JSON.stringify({ id, method, params, sessionId })}\0`);
    });
    const close = async () => {
        // Closed as a browser closes, with its helper processes, which otherwise still write
        // into the profile a moment.
        await Promise.race([send('Browser.close').catch(() => {}), exited]);
        const killer = setTimeout(() => child.kill(), 5000);
        await exited;
        clearTimeout(killer);
        fs.rmSync(profile, { recursive: true, force: true, maxRetries: 10, retryDelay: 200 });
    };
    return { pid: child.pid, send, close };
}

// A page of that Chromium with the profile's screen, running functions given as source.
async function rawPage(browser, profile) {
    const { targetId } = await browser.send('Target.createTarget', { url: 'about:blank' });
    const { sessionId } = await browser.send('Target.attachToTarget', { targetId, flatten: true });
    const send = (method, params) => browser.send(method, params, sessionId);
    await send('Emulation.setDeviceMetricsOverride', {
        ...profile.viewport, deviceScaleFactor: profile.deviceScaleFactor ?? 1, mobile: !!profile.isMobile,
    });
    if (profile.hasTouch) await send('Emulation.setTouchEmulationEnabled', { enabled: true });
    if (profile.reducedMotion) {
        await send('Emulation.setEmulatedMedia', { features: [{ name: 'prefers-reduced-motion', value: profile.reducedMotion }] });
    }
    const evaluate = async (fn, arg) => {
        const { result, exceptionDetails } = await send('Runtime.evaluate', {
            expression: `(${fn})(${JSON.stringify(arg)})`, awaitPromise: true, returnByValue: true,
        });
        if (exceptionDetails) throw new Error(exceptionDetails.exception?.description ?? exceptionDetails.text);
        return result.value;
    };
    const waitFor = async (fn, arg, timeout = 120000) => {
        for (const start = Date.now(); !(await evaluate(fn, arg));) {
            if (Date.now() - start > timeout) throw new Error(`timed out waiting for ${fn}`);
            await sleep(20);
        }
    };
    return { send, evaluate, waitFor };
}

async function turnsAndMemory(url, viewer, profile, animated) {
    const browser = rawChromium();
    try {
        const page = await rawPage(browser, profile);
        await page.send('Page.navigate', { url });
        await page.waitFor(VIEWERS[viewer].ready);
        const elements = () => page.evaluate(() => document.getElementsByTagName('*').length);
        const figures = {};
        for (let turn = 1; turn <= 180; turn++) {
            await page.waitFor(VIEWERS[viewer].turned, await page.evaluate(VIEWERS[viewer].next, animated));
            if (turn === 10 || turn === 180) {
                await sleep(1000);
                figures[turn] = { elements: await elements(), memory: rendererMemory(browser.pid) };
            }
        }
        await page.send('Memory.simulatePressureNotification', { level: 'critical' });
        await sleep(3000);
        figures.pressed = rendererMemory(browser.pid);
        return figures;
    } finally {
        await browser.close();
    }
}

async function firstResult(browser, url, viewer, profile, slowdown) {
    const context = await browser.newContext(profile);
    const page = await context.newPage();
    if (slowdown > 1) {
        const session = await context.newCDPSession(page);
        await session.send('Emulation.setCPUThrottlingRate', { rate: slowdown });
    }
    await page.goto(url);
    await page.waitForFunction(VIEWERS[viewer].ready, null, { timeout: 120000 });
    await page.waitForTimeout(1000);
    await VIEWERS[viewer].openSearch(page);
    // The longest task of the page's thread from the query on, while the search runs on.
    await page.evaluate(() => {
        window.longestTask = 0;
        new PerformanceObserver((list) => {
            for (const entry of list.getEntries()) window.longestTask = Math.max(window.longestTask, entry.duration);
        }).observe({ type: 'longtask' });
    });
    const elapsed = await page.evaluate(VIEWERS[viewer].search, QUERY);
    await page.waitForTimeout(SEARCH_WATCHED_MS);
    const longest = await page.evaluate(() => window.longestTask);
    await context.close();
    return { elapsed, longest };
}

async function lighthouse(url) {
    const cli = require.resolve('lighthouse/cli/index.js');
    const args = [cli, url, '--output=json', '--quiet', '--only-categories=performance',
        '--chrome-flags=--headless=new --no-sandbox --disable-gpu'];
    const { stdout } = await promisify(execFile)(process.execPath, args, {
        env: { ...process.env, CHROME_PATH: CHROMIUM },
        maxBuffer: 64 * 1024 * 1024,
    });
    const report = JSON.parse(stdout);
    return {
        performance: Math.round(report.categories.performance.score * 100),
        lcp: report.audits['largest-contentful-paint'].numericValue,
        tbt: report.audits['total-blocking-time'].numericValue,
        load: os.loadavg()[0],
    };
}

const median = (values) => [...values].sort((a, b) => a - b)[Math.floor(values.length / 2)];
const mb = (kb) => (kb / 1024).toFixed(0);
// The machine's load over the last minute: figures taken beside other work are not comparable.
const load = () => `load ${os.loadavg()[0].toFixed(1)}`;

export async function benchReading({ build, toolFolder, startServer, runs, lighthouseRuns }) {
    const { chromium } = require('playwright-core');
    const cache = process.env.BENCH_CACHE ?? path.join(os.tmpdir(), 'vellora-bench-reading');
    fs.mkdirSync(cache, { recursive: true });
    const pdf = process.env.BENCH_PDF ?? realManual(cache);
    const html = buildCatalogue(build, pdf, cache, toolFolder);
    const folder = path.dirname(html);
    fs.copyFileSync(pdf, path.join(folder, 'manual.pdf'));
    writePdfJsPage(folder);
    const pages = execFileSync('qpdf', ['--show-npages', pdf], { encoding: 'utf8' }).trim();
    console.log(`reading_document: ${path.basename(pdf)} ${pages} pages`);

    const pdfjsRoot = path.dirname(require.resolve('pdfjs-dist/package.json'));
    const server = await startServer(folder, { '/pdfjs/': pdfjsRoot });
    try {
        const urls = {
            vellora: `${server.base}/${path.basename(html)}`,
            pdfjs: `${server.base}/pdfjs.html`,
        };
        for (const viewer of PARTS.includes('memory') ? MEASURED : []) {
            for (const [name, profile, animated] of [['desktop', DESKTOP, false], ['phone', PHONE, true]]) {
                const f = await turnsAndMemory(urls[viewer], viewer, profile, animated);
                console.log(`${viewer}_dom_elements_${name}: ${f[10].elements} after 10 turns, ${f[180].elements} after 180 ` +
                    `(ratio ${(f[180].elements / f[10].elements).toFixed(2)})`);
                console.log(`${viewer}_renderer_memory_${name}: ${mb(f[10].memory)} MB after 10 turns, ${mb(f[180].memory)} MB after 180 ` +
                    `(ratio ${(f[180].memory / f[10].memory).toFixed(2)}), ${mb(f.pressed)} MB after memory pressure ` +
                    `(ratio ${(f.pressed / f[10].memory).toFixed(2)}; ${load()})`);
            }
        }
        const browser = await chromium.launch({ executablePath: CHROMIUM, args: ARGS });
        try {
            for (const viewer of PARTS.includes('search') ? MEASURED : []) {
                for (const [name, profile, slowdown] of [['desktop', DESKTOP, 1], ['phone_cpu4x', PHONE, 4]]) {
                    const results = [];
                    for (let run = 0; run < runs; run++) results.push(await firstResult(browser, urls[viewer], viewer, profile, slowdown));
                    const times = results.map((result) => result.elapsed);
                    console.log(`${viewer}_search_first_result_${name}: ${median(times).toFixed(0)} ms (median of ${times.length}; ${load()})`);
                    // Tasks under 50 ms are not reported: 0 means none longer.
                    console.log(`${viewer}_search_longest_task_${name}: ${Math.max(...results.map((result) => result.longest)).toFixed(0)} ms ` +
                        `(longest of ${results.length} searches, over ${SEARCH_WATCHED_MS / 1000} s from the query)`);
                }
            }
        } finally {
            await browser.close();
        }
        for (const viewer of PARTS.includes('lighthouse') ? MEASURED : []) {
            const scores = [];
            for (let run = 0; run < lighthouseRuns; run++) scores.push(await lighthouse(urls[viewer]));
            const worst = scores.reduce((a, b) => (b.performance < a.performance ? b : a));
            const loads = scores.map((score) => score.load);
            console.log(`${viewer}_lighthouse_mobile: ${worst.performance} score (worst of ${scores.length}; ` +
                `LCP ${worst.lcp.toFixed(0)} ms, TBT ${worst.tbt.toFixed(0)} ms; load ${Math.min(...loads).toFixed(1)}-${Math.max(...loads).toFixed(1)})`);
            console.log(`${viewer}_lighthouse_mobile_median: ${median(scores.map((score) => score.performance))} score`);
        }
    } finally {
        await server.close();
    }
}
