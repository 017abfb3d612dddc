#include "PagePacker.h"

#include <algorithm>
#include <cstring>
#include <zstd.h>

namespace vellora {

namespace {
// Full bitmaps between the interpreter and the packer.
constexpr size_t kPagesOnTheirWay = 3;
} // namespace

// Rows equal to the row above (the white margins and gaps between lines of a printed page) are
// only marked, and the other rows are compressed: that halves the work on a text page.
TPackedPage TPackedPage::Pack(const QImage& image)
{
    TPackedPage page;
    if (image.isNull())
        return page;
    const int height = image.height();
    const size_t rowBytes = static_cast<size_t>(image.bytesPerLine());

    QByteArray repeats((height + 7) / 8, '\0');
    QByteArray rows;
    rows.reserve(image.sizeInBytes());
    for (int y = 0; y < height; ++y) {
        const uchar* row = image.constScanLine(y);
        if (y > 0 && std::memcmp(row, image.constScanLine(y - 1), rowBytes) == 0)
            repeats[y / 8] = char(repeats[y / 8] | (1 << (y % 8)));
        else
            rows.append(reinterpret_cast<const char*>(row), static_cast<qsizetype>(rowBytes));
    }

    const size_t size = static_cast<size_t>(rows.size());
    QByteArray packed(static_cast<qsizetype>(ZSTD_compressBound(size)), Qt::Uninitialized);
    // Level 1: about 1 ms and a fortieth of the size for a text page of A4 at 120 dpi.
    const size_t written =
        ZSTD_compress(packed.data(), static_cast<size_t>(packed.size()), rows.constData(), size, 1);
    if (ZSTD_isError(written))
        return page;
    packed.truncate(static_cast<qsizetype>(written));
    packed.squeeze();
    page.packed = std::move(packed);
    page.repeats = std::move(repeats);
    page.distinctRows = static_cast<int>(size / std::max<size_t>(rowBytes, 1));
    page.size = image.size();
    page.format = image.format();
    page.bytesPerLine = image.bytesPerLine();
    page.colourTable = image.colorTable();
    return page;
}

QImage TPackedPage::Unpack() const
{
    if (packed.isEmpty())
        return {};
    QImage image(size, format);
    if (image.isNull() || image.bytesPerLine() != bytesPerLine)
        return {};
    image.setColorTable(colourTable);
    const size_t rowBytes = static_cast<size_t>(bytesPerLine);
    const size_t expected = rowBytes * static_cast<size_t>(distinctRows);
    QByteArray rows(static_cast<qsizetype>(expected), Qt::Uninitialized);
    const size_t written = ZSTD_decompress(rows.data(), expected, packed.constData(),
                                           static_cast<size_t>(packed.size()));
    if (ZSTD_isError(written) || written != expected)
        return {};

    const char* next = rows.constData();
    const char* end = next + expected;
    for (int y = 0; y < size.height(); ++y) {
        const bool repeat = y > 0 && (repeats[y / 8] & (1 << (y % 8)));
        if (repeat) {
            std::memcpy(image.scanLine(y), image.constScanLine(y - 1), rowBytes);
            continue;
        }
        if (next + rowBytes > end)
            return {};
        std::memcpy(image.scanLine(y), next, rowBytes);
        next += rowBytes;
    }
    return image;
}

TPagePacker::TPagePacker(std::function<void(TPackedPage)> deliver)
    : m_deliver(std::move(deliver)), m_thread([this] { loop(); })
{}

TPagePacker::~TPagePacker()
{
    {
        std::lock_guard lock(m_mutex);
        m_quit = true;
    }
    m_changed.notify_all();
    m_thread.join();
}

QImage TPagePacker::takeBuffer()
{
    std::lock_guard lock(m_mutex);
    if (m_free.empty())
        return {};
    QImage buffer = std::move(m_free.back());
    m_free.pop_back();
    return buffer;
}

bool TPagePacker::submit(QImage page, const std::atomic<bool>& stop)
{
    std::unique_lock lock(m_mutex);
    // Checked now and then as well: a stop request does not wake us.
    while (m_queue.size() >= kPagesOnTheirWay && !stop.load())
        m_changed.wait_for(lock, std::chrono::milliseconds(20));
    if (stop.load())
        return false;
    m_queue.push_back(std::move(page));
    m_changed.notify_all();
    return true;
}

void TPagePacker::drain()
{
    std::unique_lock lock(m_mutex);
    m_changed.wait(lock, [this] { return m_queue.empty() && !m_busy; });
}

void TPagePacker::loop()
{
    std::unique_lock lock(m_mutex);
    for (;;) {
        m_changed.wait(lock, [this] { return m_quit || !m_queue.empty(); });
        if (m_queue.empty())
            return;
        QImage page = std::move(m_queue.front());
        m_queue.pop_front();
        m_busy = true;
        lock.unlock();

        TPackedPage packed = TPackedPage::Pack(page);
        m_deliver(std::move(packed));

        lock.lock();
        if (!page.isNull() && page.isDetached() && m_free.size() < kPagesOnTheirWay)
            m_free.push_back(std::move(page));
        m_busy = false;
        m_changed.notify_all();
    }
}

} // namespace vellora
