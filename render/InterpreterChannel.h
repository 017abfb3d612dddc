#pragma once

#include "PagePacker.h"

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <cstdint>
#include <optional>

namespace vellora {

// What goes from the interpreter program (vellora-interpreter) to Vellora over its channel: a
// stream of frames, each one byte of kind, four bytes of length (little-endian) and the bytes.
// Pages travel packed (the form the page list keeps), so a page costs about 100 KB on the way
// and nothing has to be packed again on our side.
enum class TFrameKind : char
{
    Arguments = 'A', // the interpreter's argument vector (QStringList)
    Output = 'O',    // text the interpreter wrote on its standard output
    Error = 'E',     // text it wrote on its error output
    Input = 'I',     // it asked for input (and got none)
    Page = 'P',      // a finished page (TPackedPage)
    Progress = 'G',  // a piece of the document was taken in
    Report = 'R',    // the end of the run (TRunReport), the last frame
    Ready = 'Y',     // a program started ahead of its job is set up and waits for it
    Job = 'J',       // Vellora to a waiting program: its mode and operands (QStringList)
};

// How the run ended, as the interpreter program saw it.
struct TRunReport
{
    bool ran = false;       // the interpreter's exit code was 0
    bool fileRan = false;   // the document reached the interpreter
    bool pdfClosed = false; // the PDF writer closed cleanly
    int pdfPages = -1;      // pages the PDF writer wrote (-1: not a conversion, or unknown)
    QString lastError;
};

// The longest frame a reader accepts: a page within the pixel budget, even if it does not
// pack at all, fits with room to spare.
inline constexpr quint32 kMaxFrameBytes = 512u * 1024 * 1024;

QByteArray EncodeFrame(TFrameKind kind, const QByteArray& payload);

QByteArray EncodePage(const TPackedPage& page);
std::optional<TPackedPage> DecodePage(const QByteArray& payload);

QByteArray EncodeReport(const TRunReport& report);
std::optional<TRunReport> DecodeReport(const QByteArray& payload);

QByteArray EncodeArguments(const QStringList& arguments);
QStringList DecodeArguments(const QByteArray& payload);

// Cuts a byte stream into frames. A frame too long or of an unknown kind makes the stream
// corrupt: nothing more comes out of it.
class TFrameReader
{
public:
    void append(const char* data, qsizetype length);
    // The next whole frame, if one has arrived.
    bool next(TFrameKind& kind, QByteArray& payload);
    bool corrupt() const { return m_corrupt; }
    // Bytes received that do not yet form a whole frame.
    qsizetype pending() const { return m_buffer.size() - m_read; }

private:
    QByteArray m_buffer;
    qsizetype m_read = 0;
    bool m_corrupt = false;
};

} // namespace vellora
