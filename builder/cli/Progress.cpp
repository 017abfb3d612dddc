#include "Progress.h"

#include <QByteArray>
#include <QString>
#include <unistd.h>

namespace vellora::cli {

namespace {
constexpr int kBarWidth = 30;

QString duration(qint64 seconds)
{
    return QStringLiteral("%1:%2").arg(seconds / 60).arg(seconds % 60, 2, 10, QLatin1Char('0'));
}
} // namespace

Progress::Progress(Style style, std::FILE* stream) : m_style(style), m_stream(stream)
{
    m_clock.start();
}

Progress::Style Progress::styleFor(bool quiet)
{
    if (quiet)
        return Style::Silent;
    return ::isatty(STDERR_FILENO) ? Style::Bar : Style::Lines;
}

void Progress::update(int finished, int total)
{
    if (m_style == Style::Silent || finished == m_lastFinished || total <= 0)
        return;
    m_lastFinished = finished;
    QString text;
    if (m_style == Style::Lines) {
        if (finished == 0)
            return;
        text = QStringLiteral("page %1/%2\n").arg(finished).arg(total);
    } else {
        const int filled = finished * kBarWidth / total;
        QString left = QStringLiteral("--:--");
        if (finished > 0) {
            const qint64 elapsed = m_clock.elapsed();
            left = duration((elapsed * (total - finished) / finished + 999) / 1000);
        }
        text = QStringLiteral("\r[%1%2] %3/%4 pages, reste %5 ")
                   .arg(QString(filled, u'#'), QString(kBarWidth - filled, u'-'))
                   .arg(finished)
                   .arg(total)
                   .arg(left);
        m_barShown = true;
    }
    const QByteArray bytes = text.toLocal8Bit();
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), m_stream);
    std::fflush(m_stream);
}

void Progress::finish()
{
    if (m_barShown) {
        std::fputc('\n', m_stream);
        std::fflush(m_stream);
        m_barShown = false;
    }
}

} // namespace vellora::cli
