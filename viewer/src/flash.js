// "Version Flash": where the browser has a Flash player (Ruffle's extension or a plug-in) and
// the catalogue is served over http(s) (a Flash player cannot read files from disk), the reader
// may switch to the catalogue's own viewer movie, "vellora.swf", which reads "vellora.xml".
// Everything it loads comes from the catalogue's folder.

const STYLE = `
#flash-version { position: fixed; top: 8px; right: 8px; z-index: 20; font: inherit;
  padding: 6px 12px; border-radius: 6px; border: 1px solid rgba(0,0,0,.3);
  background: rgba(255,255,255,.92); color: #222a35; cursor: pointer; }
#flash-viewer { position: fixed; inset: 0; z-index: 10; }
#flash-viewer > * { display: block; width: 100%; height: 100%; }
body.flash-mode #stage, body.flash-mode .toolbar { display: none; }`;

export function flashPlayerPresent(win = window) {
    if (win.RufflePlayer && typeof win.RufflePlayer.newest === 'function') return true;
    const types = win.navigator?.mimeTypes;
    return Boolean(types && types['application/x-shockwave-flash']);
}

function createPlayer(doc, win) {
    if (win.RufflePlayer && typeof win.RufflePlayer.newest === 'function') {
        const player = win.RufflePlayer.newest().createPlayer();
        const api = typeof player.ruffle === 'function' ? player.ruffle() : player;
        api.load({ url: 'vellora.swf', allowScriptAccess: true });
        return player;
    }
    const embed = doc.createElement('embed');
    embed.type = 'application/x-shockwave-flash';
    embed.src = 'vellora.swf';
    embed.setAttribute('allowfullscreen', 'true');
    embed.setAttribute('allowscriptaccess', 'sameDomain');
    return embed;
}

function showFlashVersion(doc, win, button) {
    const holder = doc.createElement('div');
    holder.id = 'flash-viewer';
    holder.appendChild(createPlayer(doc, win));
    doc.body.appendChild(holder);
    doc.body.classList.add('flash-mode');
    button.textContent = 'Version HTML';
    button.onclick = () => {
        holder.remove();
        doc.body.classList.remove('flash-mode');
        button.textContent = 'Version Flash';
        button.onclick = () => showFlashVersion(doc, win, button);
    };
}

export function offerFlashVersion(doc = document, win = window) {
    if (!/^https?:$/.test(win.location.protocol) || !flashPlayerPresent(win)) return;
    const style = doc.createElement('style');
    style.textContent = STYLE;
    doc.head.appendChild(style);
    const button = doc.createElement('button');
    button.type = 'button';
    button.id = 'flash-version';
    button.textContent = 'Version Flash';
    button.title = 'Afficher ce catalogue avec son lecteur Flash';
    button.onclick = () => showFlashVersion(doc, win, button);
    doc.body.appendChild(button);
}
