// Drives one catalogue build of a generated PDF through the real windows, prompts answered,
// and prints its figures; then converts the same pages one after another for comparison.
//   bench_build_driver <work folder> <pages> [build-only]
// HOME, XDG_DATA_HOME (whose vellora/ holds the tool files) and XDG_STATE_HOME (the working
// PDF) must point at private folders.
#include "FakeDesktop.h"
#include "FakePrompts.h"
#include "FakeTrayIcon.h"
#include "Main.h"
#include "Paths.h"
#include "TestPdfs.h"
#include "builder/build/ConverterCommand.h"
#include "builder/dialogs/CatalogueBuilder.h"
#include "builder/dialogs/Options.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QProcess>
#include <QTimer>
#include <QToolButton>
#include <cstdio>

using namespace vellora;

namespace {

constexpr int kTickMs = 5;

// A timer that measures how late it fires: the longest time the event loop did not run.
class StallMeter : public QObject
{
public:
    void start()
    {
        m_clock.start();
        m_last = 0;
        m_longest = 0;
        m_timer.setTimerType(Qt::PreciseTimer);
        connect(&m_timer, &QTimer::timeout, this, [this] {
            const qint64 now = m_clock.nsecsElapsed();
            const qint64 late = now - m_last - qint64(kTickMs) * 1000000;
            if (m_trace && late > 15000000)
                std::fprintf(stderr, "stall %.1f ms ending at %.3f s\n", late / 1e6, now / 1e9);
            m_longest = std::max(m_longest, late);
            m_last = now;
        });
        m_timer.start(kTickMs);
    }
    void stop() { m_timer.stop(); }
    double longestMs() const { return std::max<qint64>(0, m_longest) / 1e6; }

private:
    QTimer m_timer;
    QElapsedTimer m_clock;
    qint64 m_last = 0;
    qint64 m_longest = 0;
    bool m_trace = qEnvironmentVariableIsSet("BENCH_TRACE");
};

void print(const char* name, double value, const char* unit)
{
    std::printf("%s: %.3f %s\n", name, value, unit);
    std::fflush(stdout);
}

} // namespace

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    if (argc < 3) {
        std::fprintf(stderr, "usage: bench_build_driver <work folder> <pages>\n");
        return 2;
    }
    const QString work = QString::fromLocal8Bit(argv[1]);
    const int pages = QString::fromLocal8Bit(argv[2]).toInt();

    QList<test::TestPage> layout;
    for (int i = 0; i < pages; ++i)
        layout.append(
            {QPageSize(QPageSize::A4), QPageLayout::Portrait, test::PageContent::TextAndImage});
    QDir().mkpath(paths::AppDataFolder());
    if (!test::makeTestPdf(paths::WorkPdf(), layout)) {
        std::fprintf(stderr, "cannot write %s\n", qPrintable(paths::WorkPdf()));
        return 1;
    }

    FakePrompts prompts;
    FakeDesktop desktop;
    setPrompts(&prompts);
    setDesktop(&desktop);
    FakeTrayIcon tray;
    TF_Main main(tray);
    TForm1 form(main);
    main.setOptionsDialog(&form);
    main.show();
    form.show();
    const QString out = work + u"/catalogue";
    QDir().mkpath(out);
    prompts.answerSaveFile(out + u"/catalogue.htm");

    // Warm the file cache with one conversion, as any earlier build would have.
    QProcess::execute(
        ConverterProgram(ConverterFolders::user()),
        {paths::WorkPdf(), QStringLiteral("-p1"), QStringLiteral("-o"), work + u"/warm.swf"});

    CatalogueBuilder& builder = CatalogueBuilder::of(form);
    QEventLoop loop;
    QObject::connect(&builder, &CatalogueBuilder::buildEnded, &loop, &QEventLoop::quit);
    StallMeter stalls;
    QElapsedTimer clock;
    QTimer::singleShot(50, &form, [&] {
        stalls.start();
        clock.start();
        form.PngSpeedButton1->click();
    });
    loop.exec();
    const double total = clock.nsecsElapsed() / 1e9;
    stalls.stop();
    if (desktop.opened.size() != 2 || prompts.messages().size() != 2) {
        std::fprintf(stderr, "the build did not finish cleanly: %s\n",
                     qPrintable(prompts.messages().join(u" | ")));
        return 1;
    }

    print("build total", total, "s");
    print("build per page", total / pages, "s/page");
    print("build ratio to the old pacing (one page every 3.5 s)", total / (pages * 3.5), "");
    print("build speed-up over the old pacing (one page every 3.5 s)", (pages * 3.5) / total, "x");
    print("build longest GUI stall", stalls.longestMs(), "ms");
    print("build conversions at once", CatalogueBuild::conversionsAtOnce(), "");

    if (argc > 3 && QByteArray(argv[3]) == "build-only")
        return 0;
    // The same pages, one converter after the other.
    const QString sequential = work + u"/sequential/";
    QDir().mkpath(sequential);
    QElapsedTimer one;
    one.start();
    for (int page = 1; page <= pages; ++page) {
        const ConverterCommand command =
            PageCommand(ConverterFolders::user(), page, QualityPreset::Medium, QStringLiteral("70"),
                        sequential);
        QProcess::execute(command.program, command.arguments);
    }
    const double serial = one.nsecsElapsed() / 1e9;
    print("sequential conversion total", serial, "s");
    print("build ratio to sequential conversion", total / serial, "");
    return 0;
}
