// The catalogue page's script: reads the configuration and the manifest, then builds the
// flip-book.
import { parseConfig, decodeConfigBytes, ConfigError } from './config.js';
import { readCatalogue } from './catalogue.js';
import { Viewer } from './viewer.js';
import { showMessage } from './messages.js';
import { offerFlashVersion } from './flash.js';
import { markFramed } from './embedding.js';
import { nextTask } from './tasks.js';

const CANNOT_SHOW = 'Ce catalogue ne peut pas s’afficher : ';
const COPY_AGAIN = ' Recopiez tous les fichiers du dossier du catalogue à côté de cette page, ' +
    'ou reconstruisez le catalogue.';

export const MESSAGES = {
    missing: CANNOT_SHOW + 'son fichier de configuration « vellora-config.js » ' +
        '(ou « vellora.xml ») est introuvable.' + COPY_AGAIN,
    damaged: CANNOT_SHOW + 'son fichier de configuration « vellora-config.js » est incomplet ' +
        'ou endommagé (ce n’est pas un script qui donne la configuration).' + COPY_AGAIN,
    empty: CANNOT_SHOW + 'son fichier de configuration « vellora.xml » est vide.' + COPY_AGAIN,
    unreadable: CANNOT_SHOW + 'son fichier de configuration « vellora.xml » est illisible : ' +
        'il ne commence pas par l’élément <content> d’un catalogue.' + COPY_AGAIN,
    'no pages': CANNOT_SHOW + 'son fichier de configuration « vellora.xml » ne cite aucune ' +
        'page (aucun élément <page>).' + COPY_AGAIN,
};

// "vellora-config.js" sets window.velloraConfig and works from disk. Served over HTTP without
// it, the page reads "vellora.xml" itself; from disk a browser refuses that request. A script
// that loaded but set nothing was cut short or damaged, which is not the same as missing.
async function loadConfigText() {
    if (typeof window.velloraConfig === 'string') return { text: window.velloraConfig };
    const damaged = !window.velloraConfigMissing;
    if (/^https?:$/.test(location.protocol)) {
        try {
            const response = await fetch('vellora.xml', { cache: 'no-cache' });
            if (response.ok) return { text: decodeConfigBytes(await response.arrayBuffer()) };
        } catch {
            // Reported below like a missing file.
        }
    }
    return { problem: damaged ? 'damaged' : 'missing' };
}

// The page reads the configuration and the manifest with deferred scripts, which run once the
// page is parsed, after this script when it comes at the end of the page: the viewer waits
// for them (a page of an older Vellora loads them before, and nothing is waited for).
function pageScriptsRun() {
    if (document.readyState !== 'loading') return Promise.resolve();
    return new Promise((resolve) => document.addEventListener('DOMContentLoaded', resolve, { once: true }));
}

async function start() {
    document.getElementById('notice')?.remove();
    await pageScriptsRun();
    markFramed(document);
    const { text, problem } = await loadConfigText();
    if (problem) {
        showMessage(MESSAGES[problem]);
        return;
    }
    let config;
    try {
        config = parseConfig(text);
    } catch (error) {
        if (!(error instanceof ConfigError)) throw error;
        showMessage(MESSAGES[error.message] ?? MESSAGES.unreadable);
        return;
    }
    // A task of its own each: on a slow phone, reading a long book's files takes a while.
    await nextTask();
    const viewer = new Viewer(document, config, readCatalogue(window.velloraCatalogue, config));
    window.velloraViewer = viewer;
    await viewer.open();
    // Looking for a Flash player asks the browser for its plug-in list, which takes a while the
    // first time: done once the page is idle, not while the first spread shows.
    const idle = window.requestIdleCallback ?? ((callback) => setTimeout(callback, 200));
    idle(() => offerFlashVersion(document), { timeout: 3000 });
}

start();
