// Debian's Chromium through playwright-core, as every viewer test reads catalogues in it, and a
// page opened on a catalogue that fails its test on the page's own errors.
import assert from 'node:assert/strict';
import fs from 'node:fs';
import path from 'node:path';
import { chromium } from 'playwright-core';

export const CHROMIUM = '/usr/bin/chromium';
export const DESKTOP = { width: 1280, height: 800 };

export async function launchChromium() {
    if (!fs.existsSync(CHROMIUM)) throw new Error(`missing dependency: ${CHROMIUM} (install the chromium package)`);
    return chromium.launch({
        executablePath: CHROMIUM,
        args: ['--no-sandbox', '--disable-gpu', '--disable-background-networking',
            '--disable-component-update', '--disable-sync', '--no-first-run'],
    });
}

// Opens `url` in a browser context of its own (`context`: its options) and waits for the book.
// `page.done()` fails on an uncaught error of the page, and on an error it logged when
// `consoleErrors`, then closes the context. `init` (a function, or a function and its
// argument) runs in the page before its own scripts.
export async function openCatalogue(browser, url, { context = {}, consoleErrors = false, init } = {}) {
    const ctx = await browser.newContext({ viewport: DESKTOP, ...context });
    const page = await ctx.newPage();
    const errors = [];
    if (consoleErrors) {
        page.on('console', (message) => {
            if (message.type() === 'error') errors.push(message.text());
        });
    }
    page.on('pageerror', (error) => errors.push(error.message));
    page.done = async () => {
        assert.deepEqual(errors, [], 'page errors');
        await ctx.close();
    };
    if (init) await page.addInitScript(...[init].flat());
    await page.goto(url);
    await page.waitForFunction(() => window.velloraViewer?.book &&
        document.getElementById('page-number')?.textContent.includes('/'));
    return page;
}

// The text layer of page `number` of the catalogue `html`, as its page script gives it.
export function pageScript(html, number) {
    const text = fs.readFileSync(path.join(path.dirname(html), `page${number}.js`), 'utf8');
    return JSON.parse(text.slice(text.indexOf('{'), text.lastIndexOf('}') + 1));
}
