// The document's bookmarks in the index panel, nested as in the document, for catalogues whose
// user wrote no index of their own.
export function fillOutline(doc, list, entries, choose) {
    for (const entry of entries) {
        const item = doc.createElement('li');
        if (entry.page !== null) {
            const button = doc.createElement('button');
            button.type = 'button';
            const title = doc.createElement('span');
            title.textContent = entry.title;
            const reference = doc.createElement('span');
            reference.className = 'page-ref';
            reference.textContent = `p. ${entry.page}`;
            button.append(title, reference);
            button.addEventListener('click', () => choose(entry.page));
            item.appendChild(button);
        } else {
            const title = doc.createElement('span');
            title.className = 'outline-heading';
            title.textContent = entry.title;
            item.appendChild(title);
        }
        if (entry.children.length) {
            const children = doc.createElement('ul');
            fillOutline(doc, children, entry.children, choose);
            item.appendChild(children);
        }
        list.appendChild(item);
    }
}
