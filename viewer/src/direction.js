// The order of the pages in the book. A right-to-left document is read from the right: its
// first page is the book's last one and turning forward turns back through the book. The
// flip-book itself only knows left to right, so it receives the pages in reverse, behind a
// blank page when their number is odd, which keeps the page pairs of a spread together
// (2 beside 3, with 3 on the left).
export class BookOrder {
    constructor(doc, pageCount, rightToLeft) {
        this.doc = doc;
        this.pageCount = pageCount;
        this.rightToLeft = rightToLeft;
        this.padding = rightToLeft && pageCount % 2 === 1 ? 1 : 0;
        this.length = pageCount + this.padding;
    }

    // The page elements in the book's order; with hard covers, the book's first and last.
    elements(pageElements, hardCover) {
        if (!this.rightToLeft) return pageElements;
        const ordered = [...pageElements].reverse();
        if (this.padding) {
            const blank = this.doc.createElement('div');
            blank.className = 'page blank';
            blank.setAttribute('aria-hidden', 'true');
            ordered.unshift(blank);
        }
        ordered.forEach((element, i) => {
            if (hardCover && (i === 0 || i === ordered.length - 1)) element.dataset.density = 'hard';
            else delete element.dataset.density;
        });
        return ordered;
    }

    // Book index of page `index` (both from 0), and back.
    toBook(index) {
        return this.rightToLeft ? this.length - 1 - index : index;
    }

    // The pages (0-based, ascending) behind these book indexes; the blank page stands for the
    // last page.
    toPages(bookIndexes) {
        const pages = bookIndexes
            .map((b) => (this.rightToLeft ? this.length - 1 - b : b))
            .filter((i) => i >= 0 && i < this.pageCount)
            .sort((a, b) => a - b);
        return pages.length ? pages : [this.pageCount - 1];
    }
}
