// A catalogue shown in a frame of another site is a guest on that page. It then
//   - never adds to the session history, which the frame shares with the host page: Back
//     leaves the host page instead of turning the catalogue's pages one by one;
//   - leaves touches and the wheel outside the book to the host page, which scrolls on;
//   - moves focus and scrolls only inside its own frame, and only when the reader acts in it,
//     so the host page neither jumps nor loses the keyboard while the catalogue loads;
//   - offers full screen only when the host page allows it for the frame.
// The catalogue never reads nor changes the host page: it only asks whether it has one.
export const framed = window.self !== window.top;

export function markFramed(doc) {
    doc.body.classList.toggle('framed', framed);
    // page-flip cancels the press of a mouse button on the pages, and a cancelled press does
    // not give the frame the focus: the reader's next keys would go to the host page.
    if (framed) {
        doc.addEventListener('pointerdown', () => {
            if (!doc.hasFocus()) window.focus();
        }, true);
    }
}

// Focus that moves the page in no frame: the element is on screen already, or its container
// brings it there itself.
export function focusInPlace(element) {
    element?.focus?.({ preventScroll: true });
}

// Scrolls `container` so that `element` sits in its middle, and nothing else: scrollIntoView
// would scroll every scrolling ancestor, the host page of a frame included.
export function centreIn(container, element) {
    const outer = container.getBoundingClientRect();
    const inner = element.getBoundingClientRect();
    container.scrollTop += inner.top - outer.top - (outer.height - inner.height) / 2;
}
