#include "InterpreterChannel.h"

#include <QDataStream>
#include <QIODevice>

namespace vellora {

namespace {

constexpr QDataStream::Version kVersion = QDataStream::Qt_6_4;

bool knownKind(char kind)
{
    switch (TFrameKind(kind)) {
    case TFrameKind::Arguments:
    case TFrameKind::Output:
    case TFrameKind::Error:
    case TFrameKind::Input:
    case TFrameKind::Page:
    case TFrameKind::Progress:
    case TFrameKind::Report:
        return true;
    }
    return false;
}

// The values one after the other, in the channel's stream format.
template <typename... Values> QByteArray encoded(const Values&... values)
{
    QByteArray bytes;
    QDataStream out(&bytes, QIODevice::WriteOnly);
    out.setVersion(kVersion);
    (out << ... << values);
    return bytes;
}

// Reads the values that `payload` holds, and nothing more.
template <typename... Values> bool decoded(const QByteArray& payload, Values&... values)
{
    QDataStream in(payload);
    in.setVersion(kVersion);
    (in >> ... >> values);
    return in.status() == QDataStream::Ok && in.atEnd();
}

} // namespace

QByteArray EncodeFrame(TFrameKind kind, const QByteArray& payload)
{
    const auto length = static_cast<quint32>(payload.size());
    QByteArray frame;
    frame.reserve(payload.size() + 5);
    frame.append(char(kind));
    for (int shift = 0; shift < 32; shift += 8)
        frame.append(char((length >> shift) & 0xff));
    frame.append(payload);
    return frame;
}

QByteArray EncodePage(const TPackedPage& page)
{
    return encoded(page.size, qint32(page.format), qint64(page.bytesPerLine),
                   qint32(page.distinctRows), page.colourTable, page.repeats, page.packed);
}

std::optional<TPackedPage> DecodePage(const QByteArray& payload)
{
    TPackedPage page;
    qint32 format = 0;
    qint64 bytesPerLine = 0;
    qint32 distinctRows = 0;
    if (!decoded(payload, page.size, format, bytesPerLine, distinctRows, page.colourTable,
                 page.repeats, page.packed) ||
        format < 0 || format >= QImage::NImageFormats || bytesPerLine < 0 || distinctRows < 0)
        return std::nullopt;
    page.format = QImage::Format(format);
    page.bytesPerLine = bytesPerLine;
    page.distinctRows = distinctRows;
    return page;
}

QByteArray EncodeReport(const TRunReport& report)
{
    return encoded(report.ran, report.fileRan, report.pdfClosed, qint32(report.pdfPages),
                   report.lastError);
}

std::optional<TRunReport> DecodeReport(const QByteArray& payload)
{
    TRunReport report;
    qint32 pages = 0;
    if (!decoded(payload, report.ran, report.fileRan, report.pdfClosed, pages, report.lastError))
        return std::nullopt;
    report.pdfPages = pages;
    return report;
}

QByteArray EncodeArguments(const QStringList& arguments)
{
    return encoded(arguments);
}

QStringList DecodeArguments(const QByteArray& payload)
{
    QDataStream in(payload);
    in.setVersion(kVersion);
    QStringList arguments;
    in >> arguments;
    return in.status() == QDataStream::Ok ? arguments : QStringList();
}

void TFrameReader::append(const char* data, qsizetype length)
{
    if (m_corrupt)
        return;
    // Drop what was read already before the buffer grows again.
    if (m_read > 0 && m_read > m_buffer.size() / 2) {
        m_buffer.remove(0, m_read);
        m_read = 0;
    }
    m_buffer.append(data, length);
}

bool TFrameReader::next(TFrameKind& kind, QByteArray& payload)
{
    if (m_corrupt || pending() < 5)
        return false;
    const auto* head = reinterpret_cast<const unsigned char*>(m_buffer.constData() + m_read);
    quint32 length = 0;
    for (int i = 0; i < 4; ++i)
        length |= quint32(head[1 + i]) << (8 * i);
    if (!knownKind(char(head[0])) || length > kMaxFrameBytes) {
        m_corrupt = true;
        return false;
    }
    if (pending() < 5 + qsizetype(length))
        return false;
    kind = TFrameKind(head[0]);
    payload = m_buffer.mid(m_read + 5, length);
    m_read += 5 + qsizetype(length);
    return true;
}

} // namespace vellora
