// page-flip draws from a requestAnimationFrame loop that never stops: every frame it restyles
// every page of the book, so an idle catalogue of 400 pages keeps the processor busy. The loop
// is the library's own closure; it is let through only while something moves (a flip, a fold
// under the mouse or finger, a corner shown) and for two frames after, which draw the book at
// rest. Idle, the catalogue then costs nothing, whatever its page count.
//
// The loop is recognised by identity: it is the callback page-flip hands to
// requestAnimationFrame while it loads its pages, and the one it hands again from each frame.
// Every other caller reaches the browser's own function unchanged.
import { PageFlip } from 'page-flip/dist/js/page-flip.module.js';

const FRAMES_AT_REST = 2;

// Each frame page-flip also writes "display: none" into the inline style of every page not on
// screen. The browser restyles an element whenever its style text is written, even with the
// same text, so a long book cost a full restyle per frame while a page turned. Each page's
// `style` is therefore seen by page-flip through a stand-in that lets a write of the style
// text through only when it differs from the one written last; every other use passes on.
function quietStyle(element) {
    const style = element.style;
    let written = null;
    const stand = new Proxy(style, {
        get(target, property) {
            const value = Reflect.get(target, property, target);
            return typeof value === 'function' ? value.bind(target) : value;
        },
        set(target, property, value) {
            if (property === 'cssText') {
                if (value === written) return true;
                written = value;
            } else {
                written = null;
            }
            return Reflect.set(target, property, value, target);
        },
    });
    Object.defineProperty(element, 'style', { get: () => stand, configurable: true });
}

export function createBook(element, settings, pageElements) {
    const book = new PageFlip(element, settings);
    const native = window.requestAnimationFrame;
    let loop = null;
    let capturing = true;
    let waiting = false; // the loop asked for a frame while nothing moved
    let framesLeft = FRAMES_AT_REST;

    const moving = () => book.getState() !== 'read';
    const frame = (time) => {
        if (!moving() && framesLeft > 0) framesLeft--;
        loop(time);
    };
    window.requestAnimationFrame = function (callback) {
        if (capturing) loop = callback;
        if (callback !== loop || loop === null) return native.call(window, callback);
        if (moving() || framesLeft > 0) return native.call(window, frame);
        waiting = true;
        return 0;
    };
    for (const element of pageElements) quietStyle(element);
    try {
        book.loadFromHTML(pageElements);
    } finally {
        capturing = false;
    }

    // Lets the loop draw again: after a turn without animation, a resize, or any state change.
    const wake = () => {
        framesLeft = FRAMES_AT_REST;
        if (waiting && loop) {
            waiting = false;
            native.call(window, frame);
        }
    };
    book.on('changeState', wake);
    return { book, wake };
}
