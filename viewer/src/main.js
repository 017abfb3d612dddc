// The catalogue page's script: reads the configuration, then builds the flip-book.
import { parseConfig, decodeConfigBytes, ConfigError } from './config.js';
import { Viewer } from './viewer.js';
import { showMessage } from './messages.js';

const MISSING_CONFIG =
    'Ce catalogue ne peut pas s’afficher : son fichier de configuration « vellora-config.js » ' +
    '(ou « vellora.xml ») est introuvable. Copiez tous les fichiers du dossier du catalogue ' +
    'à côté de cette page.';
const BAD_CONFIG =
    'Ce catalogue ne peut pas s’afficher : son fichier de configuration « vellora.xml » ' +
    'est illisible ou ne cite aucune page.';

// "vellora-config.js" sets window.velloraConfig and works from disk. Served over HTTP without
// it, the page reads "vellora.xml" itself; from disk a browser refuses that request.
async function loadConfigText() {
    if (typeof window.velloraConfig === 'string') return window.velloraConfig;
    if (!/^https?:$/.test(location.protocol)) return null;
    try {
        const response = await fetch('vellora.xml', { cache: 'no-cache' });
        if (!response.ok) return null;
        return decodeConfigBytes(await response.arrayBuffer());
    } catch {
        return null;
    }
}

async function start() {
    const text = await loadConfigText();
    if (text === null) {
        showMessage(MISSING_CONFIG);
        return;
    }
    let config;
    try {
        config = parseConfig(text);
    } catch (error) {
        if (!(error instanceof ConfigError)) throw error;
        showMessage(BAD_CONFIG);
        return;
    }
    const viewer = new Viewer(document, config);
    window.velloraViewer = viewer;
    await viewer.open();
}

start();
