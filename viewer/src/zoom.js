// Zoom and pan of the book, with a plain transform: translate(pan) scale(s) around the centre
// of the book's box. Every change of scale keeps one point of the screen still: the fingers'
// midpoint for a pinch, the pointer for Ctrl+wheel, the tapped point for a double tap, the
// middle of the stage for the buttons and keys. While zoomed a drag pans instead of turning
// the page, the arrow keys pan, and Escape leaves zoom. `onChange(scale)` lets the pages swap
// to their sharpest image.
import { framed } from './embedding.js';

const LEVELS = [1, 1.5, 2, 3, 4];
const MAX_SCALE = LEVELS[LEVELS.length - 1];
const DOUBLE_TAP_SCALE = 2.5;
const KEY_PAN_SHARE = 0.15;

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

    isActive() {
        return this.scale > 1 || this.pinch !== null;
    }

    stageCentre() {
        const box = this.stage.getBoundingClientRect();
        return { x: box.left + box.width / 2, y: box.top + box.height / 2 };
    }

    zoomIn(point = this.stageCentre()) {
        this.setScale(LEVELS.find((level) => level > this.scale + 0.01) ?? MAX_SCALE, point);
    }

    zoomOut(point = this.stageCentre()) {
        const lower = LEVELS.filter((level) => level < this.scale - 0.01);
        this.setScale(lower.length ? lower[lower.length - 1] : 1, point);
    }

    toggleAt(x, y) {
        if (this.scale > 1) this.reset();
        else this.setScale(DOUBLE_TAP_SCALE, { x, y });
    }

    reset() {
        if (this.scale === 1) return;
        this.panX = 0;
        this.panY = 0;
        this.setScale(1);
    }

    // The centre of the target's box as laid out, before the transform.
    origin() {
        const stage = this.stage.getBoundingClientRect();
        return {
            x: stage.left + this.target.offsetLeft + this.target.offsetWidth / 2,
            y: stage.top + this.target.offsetTop + this.target.offsetHeight / 2,
        };
    }

    // A book point under `point` stays under it: with c the origin, a book point q shows at
    // c + pan + s (q - c), so the new pan is p - c - (s2 / s1) (p - c - pan).
    setScale(scale, point = this.stageCentre()) {
        const next = Math.min(Math.max(scale, 1), MAX_SCALE);
        const ratio = next / this.scale;
        const c = this.origin();
        this.panX = point.x - c.x - ratio * (point.x - c.x - this.panX);
        this.panY = point.y - c.y - ratio * (point.y - c.y - this.panY);
        const changed = next !== this.scale;
        this.scale = next;
        this.stage.classList.toggle('zoomed', this.scale > 1);
        this.clampPan();
        if (changed) this.onChange(this.scale);
    }

    panBy(dx, dy) {
        this.panX += dx;
        this.panY += dy;
        this.clampPan();
    }

    // Arrow keys pan a zoomed book; false when not zoomed (the key then turns the page).
    panKey(key) {
        if (this.scale <= 1) return false;
        const stepX = this.stage.clientWidth * KEY_PAN_SHARE;
        const stepY = this.stage.clientHeight * KEY_PAN_SHARE;
        const moves = { ArrowLeft: [stepX, 0], ArrowRight: [-stepX, 0], ArrowUp: [0, stepY], ArrowDown: [0, -stepY] };
        const move = moves[key];
        if (!move) return false;
        this.panBy(move[0], move[1]);
        return true;
    }

    // Keeps the zoomed book covering the stage: no panning the pages out of sight.
    clampPan() {
        if (this.scale === 1) {
            this.panX = 0;
            this.panY = 0;
        }
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

    listen() {
        // page-flip folds pages on mousedown; while zoomed a mouse drag pans instead.
        this.stage.addEventListener('mousedown', (event) => {
            if (this.isActive()) event.stopPropagation();
        }, true);
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
            this.drag = { x: event.clientX, y: event.clientY };
            this.stage.classList.add('panning');
            this.stage.setPointerCapture?.(event.pointerId);
        }
    }

    startPinch() {
        const state = this.getBook()?.getState();
        if (state === 'user_fold' || state === 'flipping') return;
        const [a, b] = [...this.pointers.values()];
        this.pinch = {
            distance: Math.hypot(a.x - b.x, a.y - b.y) || 1,
            scale: this.scale,
            x: (a.x + b.x) / 2,
            y: (a.y + b.y) / 2,
        };
        this.drag = null;
    }

    pointerMove(event) {
        if (!this.pointers.has(event.pointerId)) return;
        this.pointers.set(event.pointerId, { x: event.clientX, y: event.clientY });
        if (this.pinch && this.pointers.size >= 2) {
            const [a, b] = [...this.pointers.values()];
            const distance = Math.hypot(a.x - b.x, a.y - b.y);
            const middle = { x: (a.x + b.x) / 2, y: (a.y + b.y) / 2 };
            // The fingers' midpoint drags the book along as it zooms around it.
            this.panX += middle.x - this.pinch.x;
            this.panY += middle.y - this.pinch.y;
            this.pinch.x = middle.x;
            this.pinch.y = middle.y;
            this.setScale((this.pinch.scale * distance) / this.pinch.distance, middle);
        } else if (this.drag) {
            this.panBy(event.clientX - this.drag.x, event.clientY - this.drag.y);
            this.drag = { x: event.clientX, y: event.clientY };
        }
    }

    pointerUp(event) {
        this.pointers.delete(event.pointerId);
        if (this.pointers.size < 2 && this.pinch) {
            this.pinch = null;
            if (this.scale < 1.05) this.reset();
        }
        if (this.pointers.size === 0) {
            this.drag = null;
            this.stage.classList.remove('panning');
        }
    }

    wheel(event) {
        if (!event.ctrlKey) return;
        // In another site's frame the wheel outside the book is the host page's.
        if (framed && this.scale === 1 && !this.target.contains(event.target)) return;
        event.preventDefault();
        const point = { x: event.clientX, y: event.clientY };
        if (event.deltaY < 0) this.zoomIn(point);
        else this.zoomOut(point);
    }
}
