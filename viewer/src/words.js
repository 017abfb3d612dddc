// The words of a line of a page script, each as [text, x, y, w, h]: its corner where it
// starts, its length along the line's direction and the line's height across it.
export function wordBoxes(line) {
    const box = Array.isArray(line?.box) ? line.box : [0, 0, 0, 0];
    const [dx, dy] = Array.isArray(line?.dir) ? line.dir : [1, 0];
    return (Array.isArray(line?.words) ? line.words : [])
        .filter((word) => Array.isArray(word) && typeof word[0] === 'string')
        .map(([text, offset, length]) => [text, box[0] + offset * dx, box[1] + offset * dy, length, box[3]]);
}
