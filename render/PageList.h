#pragma once

#include "PagePacker.h"

#include <QImage>
#include <QObject>
#include <memory>
#include <vector>

namespace vellora {

// The process-wide list of rendered pages: entry n-1 holds page n, an entry may be empty.
// It belongs to the GUI thread.
//
// A 200-page document must not hold 200 full bitmaps (an A4 page at 120 dpi is 4 MB), so each
// page arrives packed (zstd, lossless; about 100 KB for a text page of A4 at 120 dpi) and is
// kept so. Fetching a page unpacks it (about 1 ms for that page); the last page fetched is
// kept unpacked, so repeated fetches of the page in view cost nothing.
class TPageList : public QObject
{
    Q_OBJECT
public:
    explicit TPageList(QObject* parent = nullptr);
    ~TPageList() override;

    // The number of entries, empty ones included.
    int count() const { return static_cast<int>(m_entries.size()); }

    // Pages delivered by the display device since the last clear.
    int PagesRendered() const { return m_pagesRendered; }

    // Empties the list and sets PagesRendered to 0.
    void clear();

    // Exactly `count` entries: new ones are empty, dropped ones are freed. PagesRendered stays.
    void setCount(int count);

    // Stores a newly delivered page: PagesRendered grows by one and the page becomes entry
    // PagesRendered - 1 (padding the list with empty entries when it is shorter). Returns the
    // page's number.
    int deliver(TPackedPage page);

    // Page n (1-based): null past PagesRendered, outside the list, or for an empty entry.
    QImage page(int n) const;

    // The size of page n without unpacking it; invalid when page(n) would be null.
    QSize pageSize(int n) const;

    // Bytes held for the pages, for the memory figures.
    qint64 heldBytes() const;

private:
    using Entry = TPackedPage;
    const Entry* entryFor(int n) const;

    std::vector<std::shared_ptr<const Entry>> m_entries;
    int m_pagesRendered = 0;
    mutable std::shared_ptr<const Entry> m_unpackedEntry;
    mutable QImage m_unpacked;
};

// The one page list of the process, made on first use (on the GUI thread).
TPageList& PageList();

} // namespace vellora
