// The words of a line of a page script, each as [text, x, y, w, h]: its corner where it
// starts, its length along the line's direction and the line's height across it.
export function wordBoxes(line) {
    const box = Array.isArray(line?.box) ? line.box : [0, 0, 0, 0];
    const [dx, dy] = Array.isArray(line?.dir) ? line.dir : [1, 0];
    return (Array.isArray(line?.words) ? line.words : [])
        .filter((word) => Array.isArray(word) && typeof word[0] === 'string')
        .map(([text, offset, length]) => [text, box[0] + offset * dx, box[1] + offset * dy, length, box[3]]);
}

// Places an element on a page of width x height points: the box [x, y, w, h] in percent, turned
// to the line's direction around its starting corner.
export function placer(width, height) {
    return (element, [x, y, w, h], dir) => {
        element.style.left = `${(x / width) * 100}%`;
        element.style.top = `${(y / height) * 100}%`;
        element.style.width = `${(w / width) * 100}%`;
        element.style.height = `${(h / height) * 100}%`;
        if (dir) element.style.transform = `rotate(${Math.atan2(dir[1], dir[0])}rad)`;
    };
}
