#pragma once

#include <QElapsedTimer>
#include <cstdio>

namespace vellora::cli {

// The build's progress on standard error: on a terminal, one bar redrawn in place with the page
// count and the time left; elsewhere (a log, a pipe), one line per converted page.
class Progress
{
public:
    enum class Style
    {
        Bar,
        Lines,
        Silent,
    };

    Progress(Style style, std::FILE* stream);

    // The style for standard error: Silent when asked, Bar on a terminal, else Lines.
    static Style styleFor(bool quiet);

    void update(int finished, int total);
    // Ends the bar's line, so that what follows starts on a line of its own.
    void finish();

private:
    Style m_style;
    std::FILE* m_stream;
    QElapsedTimer m_clock;
    int m_lastFinished = -1;
    bool m_barShown = false;
};

} // namespace vellora::cli
