#include "PageList.h"

#include <QCoreApplication>
#include <QPointer>
#include <zstd.h>

namespace vellora {

// One stored page: the fresh bitmap until the packer is done, then its packed pixels.
struct TPageList::Entry
{
    QImage fresh;
    QByteArray packed;
    QSize size;
    QImage::Format format = QImage::Format_Invalid;
    qsizetype bytesPerLine = 0;
    QList<QRgb> colourTable;

    QImage unpack() const
    {
        if (!fresh.isNull())
            return fresh;
        QImage image(size, format);
        if (image.isNull() || image.bytesPerLine() != bytesPerLine)
            return {};
        image.setColorTable(colourTable);
        const size_t written =
            ZSTD_decompress(image.bits(), static_cast<size_t>(image.sizeInBytes()),
                            packed.constData(), static_cast<size_t>(packed.size()));
        if (ZSTD_isError(written) || written != static_cast<size_t>(image.sizeInBytes()))
            return {};
        return image;
    }
};

namespace {

QByteArray pack(const QImage& image)
{
    const size_t size = static_cast<size_t>(image.sizeInBytes());
    QByteArray packed(static_cast<qsizetype>(ZSTD_compressBound(size)), Qt::Uninitialized);
    const size_t written = ZSTD_compress(packed.data(), static_cast<size_t>(packed.size()),
                                         image.constBits(), size, 1);
    if (ZSTD_isError(written))
        return {};
    packed.truncate(static_cast<qsizetype>(written));
    packed.squeeze();
    return packed;
}

} // namespace

TPageList::TPageList(QObject* parent) : QObject(parent)
{
    // One packing thread keeps the pages in order and leaves the other core to the interpreter.
    m_packer.setMaxThreadCount(1);
}

TPageList::~TPageList()
{
    m_packer.waitForDone();
}

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

int TPageList::deliver(const QImage& page, std::function<void()> stored)
{
    const int number = ++m_pagesRendered;
    if (m_entries.size() < static_cast<size_t>(number))
        m_entries.resize(static_cast<size_t>(number));

    if (page.isNull()) {
        m_entries[static_cast<size_t>(number - 1)].reset();
        if (stored)
            stored();
        return number;
    }

    auto entry = std::make_shared<Entry>();
    entry->fresh = page;
    entry->size = page.size();
    entry->format = page.format();
    entry->bytesPerLine = page.bytesPerLine();
    entry->colourTable = page.colorTable();
    m_entries[static_cast<size_t>(number - 1)] = entry;

    std::weak_ptr<Entry> target = entry;
    m_packer.start([this, target, image = page, stored = std::move(stored)]() mutable {
        QByteArray packed = pack(image);
        image = QImage();
        QMetaObject::invokeMethod(
            this,
            [target, packed = std::move(packed), stored = std::move(stored)]() {
                if (auto entry = target.lock(); entry && !packed.isEmpty()) {
                    entry->packed = packed;
                    entry->fresh = QImage();
                }
                if (stored)
                    stored();
            },
            Qt::QueuedConnection);
    });
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
    if (m_unpackedEntry.get() == entry)
        return m_unpacked;
    m_unpacked = entry->unpack();
    m_unpackedEntry = m_entries[static_cast<size_t>(n - 1)];
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
            total += entry->fresh.isNull() ? entry->packed.size() : entry->fresh.sizeInBytes();
    }
    return total;
}

void TPageList::waitForPacking()
{
    m_packer.waitForDone();
    QCoreApplication::sendPostedEvents(this);
}

TPageList& PageList()
{
    static QPointer<TPageList> list;
    if (!list)
        list = new TPageList(QCoreApplication::instance());
    return *list;
}

} // namespace vellora
