// Fingers on the book. page-flip tells a swipe from a drag by the time the finger stays down
// (250 ms), so a slow or paused swipe became a fold that the lift then turned back the other
// way. Touches are therefore kept from page-flip and read here from pointer events, by where
// the finger went and nothing else:
//   - a mostly horizontal move of at least SWIPE_MIN_PX turns toward where the finger went,
//     however slowly it moved and however long it paused;
//   - a drag that comes back near where it started turns nothing;
//   - a tap near the left or right edge of the book turns back or forward; a second tap soon
//     after, near the first, zooms in or out around it instead.
// Two fingers belong to the zoom. The mouse is left to page-flip (folding corners).
import { framed } from './embedding.js';

const SWIPE_MIN_PX = 30;
const TAP_SLOP_PX = 10;
const TAP_MAX_MS = 500;
const DOUBLE_TAP_MS = 300;
const DOUBLE_TAP_SLOP_PX = 40;
const EDGE_SHARE = 0.3;

export class TouchGestures {
    // `actions`: swipe(towardLeft), tapEdge(left), doubleTap(x, y), busy() (zoomed or pinching:
    // drags belong to panning).
    constructor(stage, frame, actions) {
        this.stage = stage;
        this.frame = frame;
        this.actions = actions;
        this.touches = new Map();
        this.gesture = null;
        this.lastTap = null;
        this.pendingTap = null;
        this.listen();
    }

    listen() {
        // page-flip listens for touches on the book and on the window; it sees none of those
        // that start on the stage. The browser's own reaction (mouse events made up from a tap,
        // which page-flip would take for a click) is cancelled too, except on links and
        // buttons in the pages, which must stay clickable.
        // In another site's frame, a touch outside the book (unless zoomed) is the host page's.
        const inStage = (event) => (framed && !this.stage.classList.contains('zoomed')
            ? this.frame.contains(event.target) : this.stage.contains(event.target));
        const keep = (event) => event.target.closest?.('a, button, input, select, textarea');
        window.addEventListener('touchstart', (event) => {
            if (!inStage(event)) return;
            event.stopPropagation();
            if (!keep(event) && event.cancelable) event.preventDefault();
        }, { capture: true, passive: false });
        for (const type of ['touchmove', 'touchend', 'touchcancel']) {
            window.addEventListener(type, (event) => {
                if (!inStage(event)) return;
                event.stopPropagation();
                if (type !== 'touchend' && event.cancelable) event.preventDefault();
                if (type === 'touchend' && !keep(event) && event.cancelable) event.preventDefault();
            }, { capture: true, passive: false });
        }
        this.stage.addEventListener('pointerdown', (event) => this.down(event));
        this.stage.addEventListener('pointermove', (event) => this.move(event));
        this.stage.addEventListener('pointerup', (event) => this.up(event, false));
        this.stage.addEventListener('pointercancel', (event) => this.up(event, true));
    }

    down(event) {
        if (event.pointerType === 'mouse') return;
        this.touches.set(event.pointerId, true);
        if (this.touches.size === 1) {
            this.gesture = {
                x: event.clientX, y: event.clientY, time: event.timeStamp,
                travel: 0, fingers: 1, busy: this.actions.busy(),
            };
        } else if (this.gesture) {
            this.gesture.fingers = Math.max(this.gesture.fingers, this.touches.size);
        }
    }

    move(event) {
        if (!this.touches.has(event.pointerId) || !this.gesture) return;
        const g = this.gesture;
        g.travel = Math.max(g.travel, Math.hypot(event.clientX - g.x, event.clientY - g.y));
    }

    up(event, cancelled) {
        if (!this.touches.delete(event.pointerId)) return;
        const g = this.gesture;
        if (this.touches.size > 0 || !g) return;
        this.gesture = null;
        if (cancelled || g.fingers > 1) return;
        const dx = event.clientX - g.x;
        const dy = event.clientY - g.y;
        const travel = Math.max(g.travel, Math.hypot(dx, dy));
        if (travel <= TAP_SLOP_PX && event.timeStamp - g.time <= TAP_MAX_MS) {
            this.tap(event.clientX, event.clientY, event.timeStamp);
            return;
        }
        this.lastTap = null;
        if (g.busy || this.actions.busy()) return;
        if (Math.abs(dx) >= SWIPE_MIN_PX && Math.abs(dx) > Math.abs(dy)) this.actions.swipe(dx < 0);
    }

    tap(x, y, time) {
        const last = this.lastTap;
        if (last && time - last.time <= DOUBLE_TAP_MS && Math.hypot(x - last.x, y - last.y) <= DOUBLE_TAP_SLOP_PX) {
            clearTimeout(this.pendingTap);
            this.pendingTap = null;
            this.lastTap = null;
            this.actions.doubleTap(x, y);
            return;
        }
        this.lastTap = { x, y, time };
        // A single tap acts only once no second tap came.
        clearTimeout(this.pendingTap);
        this.pendingTap = setTimeout(() => {
            this.pendingTap = null;
            if (this.actions.busy()) return;
            const box = this.frame.getBoundingClientRect();
            if (y < box.top || y > box.bottom) return;
            if (x >= box.left && x <= box.left + box.width * EDGE_SHARE) this.actions.tapEdge(true);
            else if (x <= box.right && x >= box.right - box.width * EDGE_SHARE) this.actions.tapEdge(false);
        }, DOUBLE_TAP_MS);
    }
}
