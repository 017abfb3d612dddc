#include "PagePacker.h"

#include <zstd.h>

namespace vellora {

namespace {
// Full bitmaps between the interpreter and the packer.
constexpr size_t kPagesOnTheirWay = 3;
} // namespace

TPackedPage TPackedPage::Pack(const QImage& image)
{
    TPackedPage page;
    if (image.isNull())
        return page;
    const size_t size = static_cast<size_t>(image.sizeInBytes());
    QByteArray packed(static_cast<qsizetype>(ZSTD_compressBound(size)), Qt::Uninitialized);
    // Level 1: about 1 ms and a fortieth of the size for a text page of A4 at 120 dpi.
    const size_t written = ZSTD_compress(packed.data(), static_cast<size_t>(packed.size()),
                                         image.constBits(), size, 1);
    if (ZSTD_isError(written))
        return page;
    packed.truncate(static_cast<qsizetype>(written));
    packed.squeeze();
    page.packed = std::move(packed);
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
    const size_t expected = static_cast<size_t>(image.sizeInBytes());
    const size_t written = ZSTD_decompress(image.bits(), expected, packed.constData(),
                                           static_cast<size_t>(packed.size()));
    if (ZSTD_isError(written) || written != expected)
        return {};
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
