// Printing: the print style sheet shows only #print-pages, which holds the pages on screen,
// one per sheet.
export async function preparePrint(doc, names) {
    const holder = doc.getElementById('print-pages');
    const images = names.map((name) => {
        const image = doc.createElement('img');
        image.alt = '';
        image.src = name;
        return image;
    });
    holder.replaceChildren(...images);
    await Promise.all(images.map((image) => image.decode().catch(() => {})));
}
