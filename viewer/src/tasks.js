// Ways of letting the browser do what it has to in between (input, a paint) during long work.

// A new task.
export function nextTask() {
    return new Promise((resolve) => setTimeout(resolve, 0));
}

// After the next frame is drawn, or a moment in a window that draws none.
export function nextFrame() {
    return new Promise((resolve) => {
        const done = () => {
            clearTimeout(timer);
            setTimeout(resolve, 0);
        };
        const timer = setTimeout(done, 100);
        requestAnimationFrame(done);
    });
}
