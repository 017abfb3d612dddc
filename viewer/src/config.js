// Reading "vellora.xml".
//
// The file holds one element per line. Vellora escapes attribute values, so the file is
// well-formed XML and DOMParser reads it. Older builds inserted values exactly as typed: an
// index description such as `Prix < 10 € & "promo"` then makes the file not well-formed. Such
// a file is read by its fixed line layout instead, element by element, each value running up
// to the closing text of its line. Either way values only ever become text in the page.

export const BUTTON_NAMES = [
    'print',
    'zoomLess',
    'zoomPlus',
    'first',
    'previous',
    'next',
    'last',
    'index',
    'pages',
    'fullScreen',
];

const DEFAULT_SIZE = { width: 592, height: 790 };
const DEFAULT_COLOURS = { color1: '#FFFFFF', color2: '#C0C0C0' };

export class ConfigError extends Error {}

// The digits after "#" are Vellora's colour value printed in hexadecimal: 0x00BBGGRR, so they
// read blue, green, red. Returns a CSS colour, or null when the text is not such a value.
export function decodeColour(text) {
    const match = /^\s*#?([0-9a-fA-F]{6,8})\s*$/.exec(text ?? '');
    if (!match) return null;
    const digits = match[1].slice(-6);
    const blue = digits.slice(0, 2);
    const green = digits.slice(2, 4);
    const red = digits.slice(4, 6);
    return `#${red}${green}${blue}`.toLowerCase();
}

function positiveInteger(text, fallback) {
    const value = /^\s*\d+\s*$/.test(text ?? '') ? Number(text) : NaN;
    return Number.isInteger(value) && value > 0 && value < 100000 ? value : fallback;
}

function isTrue(text, fallback) {
    if (text === undefined || text === null) return fallback;
    const value = String(text).trim().toLowerCase();
    if (value === 'true') return true;
    if (value === 'false') return false;
    return fallback;
}

// A page movie named in the configuration is shown through the JPEG the converter writes next
// to it. Only plain file names of the catalogue folder are accepted, so the page never reaches
// outside its folder whatever the file holds.
export function pageImageName(source, pageNumber) {
    const fallback = `page${pageNumber}.jpg`;
    const name = (source ?? '').trim();
    if (!/^[\w.\- ]+$/.test(name) || name.startsWith('.')) return fallback;
    if (/\.swf$/i.test(name)) return name.replace(/\.swf$/i, '.jpg');
    if (/\.(jpe?g|png|webp|gif)$/i.test(name)) return name;
    return fallback;
}

function emptyConfig() {
    return {
        width: DEFAULT_SIZE.width,
        height: DEFAULT_SIZE.height,
        hardCover: true,
        pages: [],
        background: { ...DEFAULT_COLOURS },
        buttons: {},
        index: [],
    };
}

// Turns the raw attribute values of the elements into the viewer's settings.
function build(elements) {
    const config = emptyConfig();
    const content = elements.content;
    config.width = positiveInteger(content.width, DEFAULT_SIZE.width);
    config.height = positiveInteger(content.height, DEFAULT_SIZE.height);
    config.hardCover = isTrue(content.hcover, true);

    config.pages = elements.pages.map((source, i) => pageImageName(source, i + 1));

    const bg = elements.bg ?? {};
    config.background.color1 = decodeColour(bg.color1) ?? decodeColour(DEFAULT_COLOURS.color1);
    config.background.color2 = decodeColour(bg.color2) ?? decodeColour(DEFAULT_COLOURS.color2);

    for (const name of BUTTON_NAMES) {
        const attributes = elements.buttons[name];
        config.buttons[name] = {
            visible: attributes ? isTrue(attributes.visible, true) : true,
            alt: attributes?.alt ?? '',
        };
    }

    // Index rows whose page is not a page of this catalogue are left out rather than
    // offered as links that lead nowhere.
    for (const entry of elements.index) {
        const page = /^\s*\d+\s*$/.test(entry.page ?? '') ? Number(entry.page) : NaN;
        if (Number.isInteger(page) && page >= 1 && page <= config.pages.length) {
            config.index.push({ page, description: entry.description ?? '' });
        }
    }
    return config;
}

function emptyElements() {
    return { content: null, pages: [], bg: null, buttons: {}, index: [] };
}

// Reads `name="value"` pairs in the given order from the rest of a line. Each value runs to the
// text that starts the next attribute (or the end of the element), so quotes inside are kept.
function readAttributes(rest, names, closing) {
    const values = {};
    let position = 0;
    for (let i = 0; i < names.length; i++) {
        const opening = new RegExp(`^[ \\t]+${names[i]}="`);
        const match = opening.exec(rest.slice(position));
        if (!match) return null;
        position += match[0].length;
        let end;
        if (i + 1 < names.length) {
            const next = new RegExp(`"[ \\t]+${names[i + 1]}="`);
            const found = next.exec(rest.slice(position));
            if (!found) return null;
            end = position + found.index;
        } else {
            end = rest.lastIndexOf(`"${closing}`);
            if (end < position) return null;
        }
        values[names[i]] = rest.slice(position, end);
        position = end + 1;
    }
    return values;
}

const LINE = /^\t?<([A-Za-z_]+)(.*)$/;

function parseLines(text) {
    const elements = emptyElements();
    const lines = text.split(/\r?\n/);
    for (const rawLine of lines) {
        const line = rawLine.replace(/\s+$/, '');
        const match = LINE.exec(line);
        if (!match) continue;
        const [, name, rest] = match;
        if (name === 'content') {
            elements.content = readAttributes(rest, ['width', 'height', 'hcover', 'transparency'], '>');
        } else if (name === 'page') {
            const values = readAttributes(rest, ['src', 'preLoad'], '') ?? {};
            const src = /^[ \t]+src="([^"]*)"/.exec(rest);
            elements.pages.push(values.src ?? (src ? src[1] : ''));
        } else if (name === 'bg') {
            elements.bg = readAttributes(rest, ['color1', 'color2'], '/>');
        } else if (name === 'index') {
            const values = readAttributes(rest, ['page', 'description'], ' />') ??
                readAttributes(rest, ['page', 'description'], '/>');
            if (values) elements.index.push(values);
        } else if (name.endsWith('_btn')) {
            const values = readAttributes(rest, ['visible', 'alt'], ' />') ??
                readAttributes(rest, ['visible', 'alt'], '/>');
            if (values) elements.buttons[name.slice(0, -4)] = values;
        }
    }
    return elements.content ? elements : null;
}

function attributesOf(element) {
    const values = {};
    for (const attribute of element.attributes) values[attribute.name] = attribute.value;
    return values;
}

// Vellora's own files are one <content> element holding empty elements whose attributes
// use only the five named entities and character references. Such a file is read here
// directly, the way an XML parser reads it (line ends and tabs in values become blanks); the
// browser's XML parser, which costs a long pause on a phone for a long book, reads anything
// else. Returns null for a file not of that shape.
const TAG = /\s*<(\/?)([A-Za-z_][\w.-]*)((?:\s+[A-Za-z_][\w.-]*="[^"<]*")*)\s*(\/?)>/y;
const ATTRIBUTE = /([A-Za-z_][\w.-]*)="([^"<]*)"/g;
const NAMED = { amp: '&', lt: '<', gt: '>', quot: '"', apos: "'" };

function xmlValue(raw) {
    let valid = true;
    const value = raw.replace(/\r\n?/g, '\n').replace(/[\t\n]/g, ' ').replace(/&([^;&]*);|&/g, (all, name) => {
        if (name === undefined) valid = false;
        else if (NAMED[name]) return NAMED[name];
        else {
            const match = /^#(?:x([0-9a-fA-F]{1,6})|([0-9]{1,7}))$/.exec(name);
            const code = match ? parseInt(match[1] ?? match[2], match[1] ? 16 : 10) : -1;
            const allowed = code === 0x9 || code === 0xa || code === 0xd || (code >= 0x20 && code <= 0xd7ff) ||
                (code >= 0xe000 && code <= 0xfffd) || (code >= 0x10000 && code <= 0x10ffff);
            if (allowed) return String.fromCodePoint(code);
            valid = false;
        }
        return all;
    });
    return valid && !/[\u0000-\u0008\u000b\u000c\u000e-\u001f\ufffe\uffff]/.test(value) ? value : null;
}

function parseOwnXml(text) {
    let body = text.replace(/^\ufeff/, '');
    const declaration = /^<\?xml[^?<>]*\?>/.exec(body);
    if (declaration) body = body.slice(declaration[0].length);
    const elements = emptyElements();
    TAG.lastIndex = 0;
    let open = false;
    let closed = false;
    for (;;) {
        const start = TAG.lastIndex;
        const match = TAG.exec(body);
        if (!match) {
            TAG.lastIndex = start;
            break;
        }
        const [, closing, name, attributeText, empty] = match;
        if (closed) return null;
        if (closing) {
            if (!open || name !== 'content' || attributeText || empty) return null;
            closed = true;
            continue;
        }
        const values = {};
        for (const [, attribute, raw] of attributeText.matchAll(ATTRIBUTE)) {
            if (Object.hasOwn(values, attribute)) return null;
            const value = xmlValue(raw);
            if (value === null) return null;
            values[attribute] = value;
        }
        if (!open) {
            if (name !== 'content' || empty) return null;
            open = true;
            elements.content = values;
            continue;
        }
        if (!empty) return null;
        if (name === 'page') elements.pages.push(values.src ?? '');
        else if (name === 'bg') elements.bg = values;
        else if (name === 'index') elements.index.push(values);
        else if (name.endsWith('_btn')) elements.buttons[name.slice(0, -4)] = values;
    }
    return closed && /^\s*$/.test(body.slice(TAG.lastIndex)) ? elements : null;
}

function parseXml(text) {
    const own = parseOwnXml(text);
    if (own) return own;
    const documentNode = new DOMParser().parseFromString(text, 'application/xml');
    const root = documentNode.documentElement;
    if (!root || root.nodeName !== 'content' || documentNode.querySelector('parsererror')) {
        return null;
    }
    const elements = emptyElements();
    elements.content = attributesOf(root);
    for (const child of root.children) {
        const values = attributesOf(child);
        if (child.nodeName === 'page') elements.pages.push(values.src ?? '');
        else if (child.nodeName === 'bg') elements.bg = values;
        else if (child.nodeName === 'index') elements.index.push(values);
        else if (child.nodeName.endsWith('_btn')) elements.buttons[child.nodeName.slice(0, -4)] = values;
    }
    return elements;
}

export function parseConfig(text) {
    if (typeof text !== 'string' || text.trim() === '') {
        throw new ConfigError('empty');
    }
    const elements = parseXml(text) ?? parseLines(text);
    if (!elements) throw new ConfigError('unreadable');
    const config = build(elements);
    if (config.pages.length === 0) throw new ConfigError('no pages');
    return config;
}

// "vellora.xml" is UTF-8 on Linux and Windows-1252 when it comes from a Windows build.
export function decodeConfigBytes(buffer) {
    try {
        return new TextDecoder('utf-8', { fatal: true }).decode(buffer);
    } catch {
        return new TextDecoder('windows-1252').decode(buffer);
    }
}
