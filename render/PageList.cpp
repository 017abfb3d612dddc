#include "PageList.h"

#include <QCoreApplication>
#include <QPointer>

namespace vellora {

TPageList::TPageList(QObject* parent) : QObject(parent) {}

TPageList::~TPageList() = default;

void TPageList::clear()
{
    m_entries.clear();
    m_pagesRendered = 0;
    m_unpackedEntry.reset();
    m_unpacked = QImage();
}

void TPageList::setCount(int count)
{
    m_entries.resize(static_cast<size_t>(std::max(count, 0)));
}

int TPageList::deliver(TPackedPage page)
{
    const int number = ++m_pagesRendered;
    if (m_entries.size() < static_cast<size_t>(number))
        m_entries.resize(static_cast<size_t>(number));
    auto& entry = m_entries[static_cast<size_t>(number - 1)];
    if (page.packed.isEmpty())
        entry.reset();
    else
        entry = std::make_shared<const Entry>(std::move(page));
    return number;
}

const TPageList::Entry* TPageList::entryFor(int n) const
{
    if (n > m_pagesRendered || n < 1 || n > count())
        return nullptr;
    return m_entries[static_cast<size_t>(n - 1)].get();
}

QImage TPageList::page(int n) const
{
    const Entry* entry = entryFor(n);
    if (!entry)
        return {};
    if (m_unpackedEntry.get() != entry) {
        m_unpacked = entry->Unpack();
        m_unpackedEntry = m_entries[static_cast<size_t>(n - 1)];
    }
    return m_unpacked;
}

QSize TPageList::pageSize(int n) const
{
    const Entry* entry = entryFor(n);
    return entry ? entry->size : QSize();
}

qint64 TPageList::heldBytes() const
{
    qint64 total = 0;
    for (const auto& entry : m_entries) {
        if (entry)
            total += entry->packed.size();
    }
    return total;
}

TPageList& PageList()
{
    static QPointer<TPageList> list;
    if (!list)
        list = new TPageList(QCoreApplication::instance());
    return *list;
}

} // namespace vellora
