// Zoom and pan of the book. The page images are much larger than the screen, so the book is
// scaled with a plain transform that the browser redraws sharp at each step. While zoomed, a
// drag pans instead of turning the page; two fingers pinch.

const LEVELS = [1, 1.5, 2, 3, 4];
const MAX_SCALE = LEVELS[LEVELS.length - 1];

export class ZoomController {
    constructor(stage, target, getBook) {
        this.stage = stage;
        this.target = target;
        this.getBook = getBook;
        this.scale = 1;
        this.panX = 0;
        this.panY = 0;
        this.pointers = new Map();
        this.pinch = null;
        this.drag = null;
        this.onChange = () => {};
        this.listen();
    }

    canZoomIn() {
        return this.scale < MAX_SCALE;
    }

    canZoomOut() {
        return this.scale > 1;
    }

    zoomIn() {
        this.setScale(LEVELS.find((level) => level > this.scale + 0.01) ?? MAX_SCALE);
    }

    zoomOut() {
        const lower = LEVELS.filter((level) => level < this.scale - 0.01);
        this.setScale(lower.length ? lower[lower.length - 1] : 1);
    }

    reset() {
        if (this.scale !== 1) this.setScale(1);
    }

    setScale(scale) {
        const next = Math.min(Math.max(scale, 1), MAX_SCALE);
        const ratio = next / this.scale;
        this.scale = next;
        this.panX *= ratio;
        this.panY *= ratio;
        this.stage.classList.toggle('zoomed', this.scale > 1);
        this.clampPan();
        this.onChange();
    }

    // Keeps the zoomed book covering the stage: no panning the pages out of sight.
    clampPan() {
        const limitX = Math.max((this.target.offsetWidth * this.scale - this.stage.clientWidth) / 2, 0);
        const limitY = Math.max((this.target.offsetHeight * this.scale - this.stage.clientHeight) / 2, 0);
        this.panX = Math.min(Math.max(this.panX, -limitX), limitX);
        this.panY = Math.min(Math.max(this.panY, -limitY), limitY);
        this.apply();
    }

    apply() {
        this.target.style.transform =
            this.scale === 1 ? '' : `translate(${this.panX}px, ${this.panY}px) scale(${this.scale})`;
    }

    // page-flip listens for mousedown and touchstart on the book; while zooming or pinching those
    // are kept from it, so a drag cannot turn the page under the user's fingers.
    blocksBook(event) {
        if (this.scale > 1 || this.pinch) return true;
        return event.touches !== undefined && event.touches.length > 1;
    }

    listen() {
        const guard = (event) => {
            if (this.blocksBook(event)) event.stopPropagation();
        };
        this.stage.addEventListener('mousedown', guard, true);
        this.stage.addEventListener('touchstart', guard, true);
        const guardWindow = (event) => {
            if (this.pinch) event.stopPropagation();
        };
        window.addEventListener('touchmove', guardWindow, true);
        window.addEventListener('touchend', guardWindow, true);

        this.stage.addEventListener('pointerdown', (event) => this.pointerDown(event));
        this.stage.addEventListener('pointermove', (event) => this.pointerMove(event));
        for (const type of ['pointerup', 'pointercancel']) {
            this.stage.addEventListener(type, (event) => this.pointerUp(event));
        }
        this.stage.addEventListener('wheel', (event) => this.wheel(event), { passive: false });
    }

    pointerDown(event) {
        this.pointers.set(event.pointerId, { x: event.clientX, y: event.clientY });
        if (this.pointers.size === 2) {
            this.startPinch();
        } else if (this.pointers.size === 1 && this.scale > 1) {
            this.drag = { x: event.clientX - this.panX, y: event.clientY - this.panY };
            this.stage.classList.add('panning');
            this.stage.setPointerCapture?.(event.pointerId);
        }
    }

    startPinch() {
        const book = this.getBook();
        const state = book?.getState();
        if (state === 'user_fold' || state === 'flipping') return;
        // The first finger may already have started page-flip's swipe detection: cancel it.
        const ui = book?.getUI();
        if (ui) ui.touchPoint = null;
        book?.userStop({ x: 0, y: 0 }, true);
        const [a, b] = [...this.pointers.values()];
        this.pinch = { distance: Math.hypot(a.x - b.x, a.y - b.y) || 1, scale: this.scale };
        this.drag = null;
    }

    pointerMove(event) {
        if (!this.pointers.has(event.pointerId)) return;
        this.pointers.set(event.pointerId, { x: event.clientX, y: event.clientY });
        if (this.pinch && this.pointers.size >= 2) {
            const [a, b] = [...this.pointers.values()];
            const distance = Math.hypot(a.x - b.x, a.y - b.y);
            this.setScale((this.pinch.scale * distance) / this.pinch.distance);
        } else if (this.drag) {
            this.panX = event.clientX - this.drag.x;
            this.panY = event.clientY - this.drag.y;
            this.clampPan();
        }
    }

    pointerUp(event) {
        this.pointers.delete(event.pointerId);
        if (this.pointers.size < 2 && this.pinch) {
            // Let the last finger's touchend pass the guard before the pinch ends.
            setTimeout(() => {
                this.pinch = null;
            }, 0);
            if (this.scale < 1.05) this.setScale(1);
        }
        if (this.pointers.size === 0) {
            this.drag = null;
            this.stage.classList.remove('panning');
        }
    }

    wheel(event) {
        if (!event.ctrlKey) return;
        event.preventDefault();
        if (event.deltaY < 0) this.zoomIn();
        else this.zoomOut();
    }
}
