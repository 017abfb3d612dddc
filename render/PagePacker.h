#pragma once

#include <QByteArray>
#include <QImage>
#include <QList>
#include <atomic>
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

namespace vellora {

// A page as the page list keeps it: its pixels packed with zstd (lossless), with what it takes
// to unpack them into a bitmap again. `packed` is empty for a page that could not be copied.
struct TPackedPage
{
    QByteArray packed;  // the rows that differ from the row above, compressed
    QByteArray repeats; // one bit per row: the same as the row above
    int distinctRows = 0;
    QSize size;
    QImage::Format format = QImage::Format_Invalid;
    qsizetype bytesPerLine = 0;
    QList<QRgb> colourTable;

    static TPackedPage Pack(const QImage& image);
    QImage Unpack() const;
};

// Packs the pages of a run on a thread of its own, so that the interpreter goes on with the
// next page meanwhile, and hands each packed page on in the order they came. At most a few
// full bitmaps are on their way at any time: the interpreter waits when the packer lags, and
// the bitmaps are recycled for later pages.
class TPagePacker
{
public:
    // `deliver` runs on the packer's thread, once per page, in order.
    explicit TPagePacker(std::function<void(TPackedPage)> deliver);
    ~TPagePacker();
    TPagePacker(const TPagePacker&) = delete;
    TPagePacker& operator=(const TPagePacker&) = delete;

    // A bitmap to copy the next page into (recycled when one is free).
    QImage takeBuffer();
    // Queues a page; waits while too many are on their way. False when `stop` was set.
    bool submit(QImage page, const std::atomic<bool>& stop);
    // Waits until every queued page has been delivered.
    void drain();

private:
    void loop();

    std::function<void(TPackedPage)> m_deliver;
    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::deque<QImage> m_queue;
    std::vector<QImage> m_free;
    bool m_busy = false;
    bool m_quit = false;
    std::thread m_thread;
};

} // namespace vellora
