// The interpreter component against the real Ghostscript library: pages, formats, the working
// PDF, failures, the run queue and shutdown.
#include "GhostScript.h"
#include "PageList.h"
#include "PagePacker.h"
#include "PrivateFolders.h"
#include "RenderFixtures.h"
#include "TestSupport.h"
#include "fake/FakePrompts.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QTemporaryDir>
#include <csignal>
#include <cstring>
#include <optional>
#include <sys/wait.h>
#include <unistd.h>

using namespace vellora;
using namespace vellora;
using namespace vellora::test;

class GhostScriptTest : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;
    FakePrompts m_prompts;

    QString path(const QString& name) const { return m_dir.filePath(name); }

    QString writePs(const QString& name, const QByteArray& content)
    {
        const QString file = path(name);
        if (!writeFile(file, content))
            qFatal("cannot write %s", qPrintable(file));
        return file;
    }

    // Runs a preview to its end; the result of the run.
    static std::optional<bool> preview(TGhostScript& gs, const QString& file)
    {
        std::optional<bool> result;
        gs.Preview(file, [&result](bool ok) { result = ok; });
        if (!QTest::qWaitFor([&] { return result.has_value(); }, 60000))
            return std::nullopt;
        return result;
    }

    static std::optional<bool> convert(TGhostScript& gs, const QString& file, const QString& pdf)
    {
        std::optional<bool> result;
        gs.ConvertToPdf(file, pdf, [&result](bool ok) { result = ok; });
        if (!QTest::qWaitFor([&] { return result.has_value(); }, 60000))
            return std::nullopt;
        return result;
    }

    // Processes whose parent is this one, zombies included.
    static int childProcesses()
    {
        int children = 0;
        const QString self = QString::number(::getpid());
        for (const QString& pid : QDir("/proc").entryList(QDir::Dirs)) {
            QFile stat("/proc/" + pid + "/stat");
            if (!stat.open(QIODevice::ReadOnly))
                continue;
            const QByteArray line = stat.readAll();
            // pid (name) state ppid ...: the name may hold blanks, so read after the last ')'.
            const QList<QByteArray> fields = line.mid(line.lastIndexOf(')') + 2).split(' ');
            if (fields.size() > 1 && fields[1] == self.toLatin1())
                ++children;
        }
        return children;
    }

    static QStringList leftInPrivateFolder()
    {
        return QDir(InterpreterTempFolder()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot);
    }

    // The same two, leaving out the program that waits for the component's next run and its
    // working folder.
    static int childrenBesideTheWaitingOne(TGhostScript& gs)
    {
        return childProcesses() - (gs.IdleInterpreterPid() > 0 ? 1 : 0);
    }
    static QStringList leftBesideTheWaitingOne(TGhostScript& gs)
    {
        QStringList left = leftInPrivateFolder();
        if (const pid_t idle = gs.IdleInterpreterPid(); idle > 0)
            left.removeOne(QFileInfo(QFile::symLinkTarget(QStringLiteral("/proc/%1/cwd").arg(idle)))
                               .fileName());
        return left;
    }

    // What a process has open: the targets of its descriptors.
    static QStringList openFiles(pid_t pid)
    {
        const QString folder = QStringLiteral("/proc/%1/fd").arg(pid);
        QStringList targets;
        for (const QString& fd : QDir(folder).entryList(QDir::Files | QDir::System)) {
            char target[4096];
            const ssize_t length = ::readlink(QFile::encodeName(folder + u'/' + fd).constData(),
                                              target, sizeof target);
            if (length > 0)
                targets << QFile::decodeName(QByteArray(target, length));
        }
        return targets;
    }

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        setPrompts(&m_prompts);
        VELLORA_REQUIRE(QFileInfo(TGhostScript::InterpreterProgram()).isExecutable(),
                        "vellora-interpreter in the tool folder");
        // A stalled run is stopped after 8 s here, not after a minute (a 6000 x 6000 page
        // takes a few seconds on a busy machine).
        TInterpreterLimits limits;
        limits.watchdog = std::chrono::milliseconds(8000);
        TGhostScript::SetLimitsForTesting(limits);
    }

    void init()
    {
        m_prompts.clear();
        TGhostScript::SetOnPageGenerated({});
        TGhostScript::SetOnOutput({});
        TGhostScript::SetScreenDepthForTesting(0);
    }

    void pagesArriveInOrderWithTheirSizes_data()
    {
        QTest::addColumn<int>("pages");
        QTest::addColumn<bool>("landscape");
        QTest::addColumn<int>("dpi");
        QTest::newRow("portrait 120 dpi") << 3 << false << 120;
        QTest::newRow("landscape 120 dpi") << 2 << true << 120;
        QTest::newRow("portrait 72 dpi") << 3 << false << 72;
        QTest::newRow("landscape 72 dpi") << 1 << true << 72;
    }
    void pagesArriveInOrderWithTheirSizes()
    {
        QFETCH(int, pages);
        QFETCH(bool, landscape);
        QFETCH(int, dpi);
        const PageFormat format = landscape ? a4Landscape() : a4Portrait();
        const QString file = writePs(QStringLiteral("doc.ps"), postScript(pages, format));

        TGhostScript gs;
        gs.SetResolution(dpi);
        QList<int> generated;
        TGhostScript::SetOnPageGenerated([&generated](int page) { generated.append(page); });

        QCOMPARE(preview(gs, file), std::optional<bool>(true));
        QCOMPARE(gs.GetPageCount(), pages);
        QList<int> expected;
        for (int i = 1; i <= pages; ++i)
            expected.append(i);
        QCOMPARE(generated, expected);

        const QSize size = pixelSize(format, dpi);
        for (int i = 1; i <= pages; ++i) {
            const QImage page = gs.GetPage(i);
            QVERIFY(!page.isNull());
            QVERIFY2(qAbs(page.width() - size.width()) <= 1 &&
                         qAbs(page.height() - size.height()) <= 1,
                     qPrintable(QStringLiteral("%1x%2").arg(page.width()).arg(page.height())));
            // Top row first: the black square sits top left, the red one bottom right.
            QCOMPARE(page.pixelColor(5, 5), QColor(Qt::black));
            QCOMPARE(page.pixelColor(page.width() - 5, page.height() - 5), QColor(Qt::red));
            QCOMPARE(page.pixelColor(page.width() / 2, 5), QColor(Qt::white));
        }
        QVERIFY(gs.GetPage(pages + 1).isNull());
        QCOMPARE(gs.LastArguments().mid(1),
                 QStringList({"-sDEVICE=display", TGhostScript::DisplayFormatArg(),
                              "-r" + QString::number(dpi), "-dSAFER"}));
    }

    // Each screen depth gets its format word, and every format comes out with the right
    // colours, top row first.
    void displayFormatFollowsScreenDepth_data()
    {
        QTest::addColumn<int>("depth");
        QTest::addColumn<unsigned>("format");
        QTest::addColumn<bool>("hasRed");
        QTest::newRow("32 bits") << 32 << 198660u << true;
        QTest::newRow("24 bits") << 24 << 198660u << true;
        QTest::newRow("16 bits") << 16 << 204801u << true;
        QTest::newRow("8 bits") << 8 << 198657u << true;
        QTest::newRow("4 bits") << 4 << 197633u << true;
        QTest::newRow("1 bit") << 1 << 196865u << false;
    }
    void displayFormatFollowsScreenDepth()
    {
        QFETCH(int, depth);
        QFETCH(unsigned, format);
        QFETCH(bool, hasRed);
        TGhostScript::SetScreenDepthForTesting(depth);
        QCOMPARE(TGhostScript::DisplayFormatArg(), "-dDisplayFormat=" + QString::number(format));

        TGhostScript gs;
        gs.SetResolution(72);
        QCOMPARE(preview(gs, writePs("colours.ps", postScript(1))), std::optional<bool>(true));
        QCOMPARE(gs.LastArguments().value(2), "-dDisplayFormat=" + QString::number(format));
        const QImage page = gs.GetPage(1);
        QCOMPARE(page.size(), QSize(595, 842));
        QCOMPARE(page.pixelColor(5, 5), QColor(Qt::black));
        QCOMPARE(page.pixelColor(300, 5), QColor(Qt::white));
        const QColor corner = page.pixelColor(590, 837);
        if (hasRed) {
            QVERIFY2(corner.red() > 200 && corner.green() < 60 && corner.blue() < 60,
                     qPrintable(corner.name()));
        }
    }

    // Pages are kept packed: what comes back is what went in, bit for bit.
    void packedPagesComeBackUnchanged_data()
    {
        QTest::addColumn<int>("format");
        QTest::newRow("24 bits") << int(QImage::Format_BGR888);
        QTest::newRow("16 bits") << int(QImage::Format_RGB555);
        QTest::newRow("palette") << int(QImage::Format_Indexed8);
        QTest::newRow("black and white") << int(QImage::Format_Mono);
    }
    void packedPagesComeBackUnchanged()
    {
        QFETCH(int, format);
        QImage page(333, 517, QImage::Format(format));
        if (page.format() == QImage::Format_Indexed8)
            page.setColorTable({qRgb(255, 255, 255), qRgb(0, 0, 0), qRgb(255, 0, 0)});
        if (page.format() == QImage::Format_Mono)
            page.setColorTable({qRgb(255, 255, 255), qRgb(0, 0, 0)});
        quint32 seed = 7;
        for (int y = 0; y < page.height(); ++y) {
            uchar* row = page.scanLine(y);
            // Runs of equal rows, as in the margins of a page, between rows of noise.
            if (y % 50 < 20 && y > 0) {
                std::memcpy(row, page.constScanLine(y - 1), size_t(page.bytesPerLine()));
                continue;
            }
            for (int x = 0; x < page.bytesPerLine(); ++x) {
                seed = seed * 1103515245u + 12345u;
                row[x] = page.format() == QImage::Format_Indexed8 ? uchar((seed >> 16) % 3)
                                                                  : uchar(seed >> 16);
            }
        }
        const TPackedPage packed = TPackedPage::Pack(page);
        QVERIFY(!packed.packed.isEmpty());
        QVERIFY(packed.distinctRows < page.height());
        const QImage back = packed.Unpack();
        QCOMPARE(back.format(), page.format());
        QCOMPARE(back.colorTable(), page.colorTable());
        QVERIFY(back == page);
    }

    void missingFileEmptiesTheListAndFails()
    {
        TGhostScript gs;
        QCOMPARE(preview(gs, writePs("two.ps", postScript(2))), std::optional<bool>(true));
        QCOMPARE(gs.GetPageCount(), 2);
        const QString missing = path("nowhere/missing.ps");
        QCOMPARE(preview(gs, missing), std::optional<bool>(false));
        QCOMPARE(gs.GetPageCount(), 0);
        QCOMPARE(gs.PagesRendered(), 0);
        QCOMPARE(gs.LastError(), "File " + missing + " does not exist.");
    }

    void damagedPostScriptFailsWithoutCrash()
    {
        QByteArray damaged = postScript(2);
        damaged.replace("showpage\n%%Page: 2", "showpage\n%%Page: 2\n{ ( unbalanced 42 nosuchop");
        const QString file = writePs("damaged.ps", damaged);
        TGhostScript gs;
        QCOMPARE(preview(gs, file), std::optional<bool>(false));
        QCOMPARE(gs.GetPageCount(), 1); // the page before the damage is kept

        const QString pdf = path("damaged-out.pdf");
        QVERIFY(writeFile(pdf, "%PDF-1.4 an older document"));
        QCOMPARE(convert(gs, file, pdf), std::optional<bool>(false));
        QVERIFY2(!QFileInfo::exists(pdf), "a stale working PDF survived a failed conversion");
        QCOMPARE(QDir(m_dir.path()).entryList({"*.part"}), QStringList());
    }

    void conversionWritesTheWholeDocument()
    {
        VELLORA_REQUIRE(hasMutool(), "mutool (mupdf-tools)");
        const QString file = writePs("five.ps", postScript(5));
        const QString pdf = path("out.pdf");
        QVERIFY(writeFile(pdf, "%PDF-1.4 an older document"));
        TGhostScript gs;
        gs.SetResolution(120);
        QCOMPARE(preview(gs, file), std::optional<bool>(true));
        QCOMPARE(convert(gs, file, pdf), std::optional<bool>(true));
        QCOMPARE(mupdfPageCount(pdf), 5);
        QCOMPARE(gs.LastArguments().mid(0, 6),
                 QStringList(
                     {"ps2pdf", "-dNOPAUSE", "-dBATCH", "-dSAFER", "-r150", "-sDEVICE=pdfwrite"}));
        QVERIFY(gs.LastArguments().value(6).startsWith("-sOutputFile=" + pdf + "."));
        // The conversion leaves the preview's pages alone.
        QCOMPARE(gs.GetPageCount(), 5);
        QCOMPARE(QDir(m_dir.path()).entryList({"*.part"}), QStringList());
    }

    void pdfDocumentsRenderToo()
    {
        const QString pdf = path("input.pdf");
        QVERIFY(writePdf(pdf, 3));
        TGhostScript gs;
        gs.SetResolution(72);
        QCOMPARE(preview(gs, pdf), std::optional<bool>(true));
        QCOMPARE(gs.GetPageCount(), 3);
        QCOMPARE(gs.GetPage(1).size(), QSize(595, 842));
    }

    void firstPageIsShownWhileLaterPagesRender()
    {
        const QString file = writePs("thirty.ps", postScript(30));
        TGhostScript gs;
        TBitmap view;
        gs.SetViewBitmap(&view);
        bool stillRunning = false;
        int renderedAtFirst = 0;
        TGhostScript::SetOnPageGenerated([&](int page) {
            if (page != 1)
                return;
            gs.FirstPage();
            stillRunning = gs.Queue().running();
            renderedAtFirst = gs.PagesRendered();
        });
        QCOMPARE(preview(gs, file), std::optional<bool>(true));
        QVERIFY(stillRunning);
        QCOMPARE(renderedAtFirst, 1);
        QCOMPARE(gs.CurrentPage(), 1);
        QCOMPARE(view.image().pixelColor(5, 5), QColor(Qt::black));
        QCOMPARE(gs.GetPageCount(), 30);
    }

    void navigationKeepsItsBounds()
    {
        TGhostScript gs;
        gs.SetResolution(120);
        TBitmap view;
        QCOMPARE(
            preview(gs, writePs("nav.ps", postScript({a4Portrait(), a4Landscape(), a4Portrait()}))),
            std::optional<bool>(true));

        // Without a view nothing moves.
        gs.FirstPage();
        QCOMPARE(gs.CurrentPage(), 0);
        QCOMPARE(gs.GetPageWidth(), 0);

        gs.SetViewBitmap(&view);
        QList<QString> resized;
        gs.OnResizePage = [&](QObject* sender) {
            QCOMPARE(sender, &gs);
            // Fired after the page number changed and before the view has the page.
            resized.append(QStringLiteral("%1:%2x%3:%4")
                               .arg(gs.CurrentPage())
                               .arg(gs.PageWidth())
                               .arg(gs.PageHeight())
                               .arg(view.width()));
        };
        gs.PreviousPage(); // CurrentPage 0: nothing
        QCOMPARE(gs.CurrentPage(), 0);
        gs.NextPage(); // from 0 to page 1
        gs.NextPage();
        gs.NextPage();
        gs.NextPage(); // on the last page: nothing
        QCOMPARE(gs.CurrentPage(), 3);
        gs.PreviousPage();
        QCOMPARE(gs.CurrentPage(), 2);
        QCOMPARE(view.image().size(), QSize(1403, 992));
        gs.GoToPage(2); // the current page: nothing
        gs.GoToPage(4); // past the end: nothing
        gs.FirstPage();
        QCOMPARE(resized, QStringList({"1:992x1403:0", "2:1403x992:992", "3:992x1403:1403",
                                       "2:1403x992:992", "1:992x1403:1403"}));

        // After clearing, the view keeps what it showed.
        gs.ClearPages();
        QCOMPARE(gs.CurrentPage(), 0);
        QCOMPARE(gs.GetPageCount(), 0);
        QVERIFY(!view.isEmpty());
        gs.FirstPage();
        QCOMPARE(gs.CurrentPage(), 0);
    }

    void pageCountCanBeSetWithEmptyEntries()
    {
        TGhostScript gs;
        TBitmap view;
        gs.SetViewBitmap(&view);
        QCOMPARE(preview(gs, writePs("four.ps", postScript(4))), std::optional<bool>(true));
        gs.SetPageCount(2);
        QCOMPARE(gs.GetPageCount(), 2);
        QVERIFY(gs.GetPage(3).isNull());
        QCOMPARE(gs.PagesRendered(), 4);

        gs.ClearPages();
        gs.SetPageCount(5);
        QCOMPARE(gs.GetPageCount(), 5);
        for (int i = 1; i <= 5; ++i)
            QVERIFY(gs.GetPage(i).isNull());
        gs.FirstPage();
        QVERIFY(view.isEmpty());
        gs.GoToPage(3);
        QCOMPARE(gs.CurrentPage(), 3);
        QVERIFY(view.isEmpty());
    }

    void resolutionMustBePositive()
    {
        TGhostScript gs;
        QCOMPARE(gs.Resolution(), 75);
        gs.SetResolution(120);
        gs.SetResolution(120);
        QVERIFY(m_prompts.messages().isEmpty());
        gs.SetResolution(0);
        gs.SetResolution(-5);
        QCOMPARE(gs.Resolution(), 120);
        QCOMPARE(m_prompts.messages(), QStringList({"Erreur: The resolution cannot be negative",
                                                    "Erreur: The resolution cannot be negative"}));
    }

    void interpreterOutputReachesItsEvent()
    {
        QByteArray output;
        TGhostScript::SetOnOutput([&output](QByteArray& value, int len) {
            QCOMPARE(len, value.size());
            output += value;
        });
        TGhostScript gs;
        QCOMPARE(preview(gs, writePs("talk.ps", "%!PS\n(hello from the print file) print flush\n")),
                 std::optional<bool>(true));
        QTRY_VERIFY(output.contains("hello from the print file"));
    }

    // A print file comes from any program: it cannot write or delete files, not even in /tmp.
    void untrustedPostScriptCannotTouchFiles()
    {
        const QString home = QString::fromLocal8Bit(qgetenv("HOME"));
        QVERIFY(!home.isEmpty());
        const QString keep = home + "/keep.txt";
        QVERIFY(writeFile(keep, "mine"));
        const QString inTmp =
            "/tmp/vellora-safer-" + QString::number(QCoreApplication::applicationPid());
        const QString inTestDir = path("planted.txt");
        QFile::remove(inTmp);

        auto attempt = [](const QString& code) -> QByteArray {
            return "{ " + code.toLatin1() + " } stopped pop\n";
        };
        QByteArray ps = "%!PS\n";
        ps += attempt("(" + inTmp + ") (w) file dup (x) writestring closefile");
        ps += attempt("(" + inTestDir + ") (w) file dup (x) writestring closefile");
        ps += attempt("(" + keep + ") deletefile");
        ps += attempt("(" + keep + ") (" + home + "/moved.txt) renamefile");
        ps += "0 0 100 100 rectfill showpage\n";

        TGhostScript gs;
        QCOMPARE(preview(gs, writePs("hostile.ps", ps)), std::optional<bool>(true));
        QCOMPARE(gs.GetPageCount(), 1);
        QVERIFY2(!QFileInfo::exists(inTmp), "wrote into /tmp");
        QVERIFY2(!QFileInfo::exists(inTestDir), "wrote beside the document");
        QVERIFY2(QFileInfo::exists(keep), "deleted a file of the user");
        QVERIFY(!QFileInfo::exists(home + "/moved.txt"));
    }

    // One run at a time: a second request waits for the first, and nothing is dropped.
    void requestsDuringARunWaitTheirTurn()
    {
        const QString first = writePs("first.ps", postScript(20));
        const QString second = writePs("second.ps", postScript(2, a4Landscape()));
        TGhostScript gs;
        QStringList log;
        TGhostScript::SetOnPageGenerated([&](int page) {
            log.append(QString::number(page));
            if (page == 1 && log.size() == 1) {
                // Asked for in the middle of the first run.
                gs.Preview(second,
                           [&](bool ok) { log.append(ok ? "second done" : "second failed"); });
            }
        });
        std::optional<bool> firstDone;
        gs.Preview(first, [&](bool ok) {
            log.append(ok ? "first done" : "first failed");
            firstDone = ok;
        });
        QTRY_VERIFY_WITH_TIMEOUT(log.contains("second done"), 60000);
        QStringList expected;
        for (int i = 1; i <= 20; ++i)
            expected.append(QString::number(i));
        expected << "first done"
                 << "1"
                 << "2"
                 << "second done";
        QCOMPARE(log, expected);
        QCOMPARE(gs.GetPageCount(), 2);
        QVERIFY(gs.GetPage(1).width() > gs.GetPage(1).height());
    }

    // A build holds the queue: it waits for the run in progress, and runs asked for while it
    // holds the queue wait for its release.
    void aHoldWaitsForRunsAndKeepsLaterOnesWaiting()
    {
        const QString file = writePs("held.ps", postScript(10));
        TGhostScript gs;
        QStringList log;
        gs.Preview(file, [&](bool) { log.append("preview"); });
        TRunQueue::Hold held;
        gs.Queue().whenIdle([&](TRunQueue::Hold hold) {
            log.append("hold");
            held = std::move(hold);
        });
        QVERIFY(log.isEmpty()); // the preview is still running
        QTRY_VERIFY_WITH_TIMEOUT(held.isHeld(), 60000);
        QCOMPARE(log, QStringList({"preview", "hold"}));

        std::optional<bool> later;
        gs.Preview(file, [&](bool ok) { later = ok; });
        QTest::qWait(50);
        QVERIFY(!gs.Queue().running());
        QVERIFY(!later.has_value());
        held.release();
        QTRY_VERIFY_WITH_TIMEOUT(later.has_value(), 60000);
        QCOMPARE(later, std::optional<bool>(true));
    }

    void aHoldOutlivingItsQueueReleasesNothing()
    {
        TRunQueue::Hold held;
        {
            TGhostScript gs;
            gs.Queue().whenIdle([&](TRunQueue::Hold hold) { held = std::move(hold); });
            QVERIFY(held.isHeld());
        }
        QVERIFY(!held.isHeld());
        held.release();
    }

    void shutdownStopsAPreviewInProgress()
    {
        const QString file = writePs("long.ps", postScript(400));
        auto gs = std::make_unique<TGhostScript>();
        gs->ClearPages();
        bool finished = false;
        TGhostScript::SetOnPageGenerated([&](int page) {
            if (page == 3)
                gs->Shutdown();
        });
        gs->Preview(file, [&](bool) { finished = true; });
        QTRY_VERIFY_WITH_TIMEOUT(gs->PagesRendered() >= 3, 60000);
        QVERIFY(gs->Queue().stopFlag());
        QVERIFY(!gs->Active());
        QTest::qWait(20);
        QVERIFY(!finished);
        QVERIFY(gs->PagesRendered() < 400);
        std::optional<bool> refused;
        gs->Preview(file, [&](bool ok) { refused = ok; });
        QTest::qWait(20);
        QVERIFY(!refused.has_value());
        gs.reset();
    }

    void shutdownStopsAConversionWithoutLeavingAPdf()
    {
        const QString file = writePs("long-convert.ps", postScript(400));
        const QString pdf = path("stopped.pdf");
        auto gs = std::make_unique<TGhostScript>();
        bool finished = false;
        gs->ConvertToPdf(file, pdf, [&](bool) { finished = true; });
        QTRY_VERIFY_WITH_TIMEOUT(gs->Active(), 60000);
        gs->Shutdown();
        QVERIFY(!gs->Active());
        QVERIFY(!finished);
        QVERIFY(!QFileInfo::exists(pdf));
        QCOMPARE(QDir(m_dir.path()).entryList({"*.part"}), QStringList());
    }
    // Print files written to hurt: each one ends with a clear result, the process alive, no
    // stale working PDF, no temporary file and no interpreter process left behind.
    void hostilePrintFiles_data()
    {
        QTest::addColumn<QByteArray>("document");
        QTest::addColumn<int>("pages");             // pages the preview shows
        QTest::addColumn<int>("failure");           // the preview's LastFailure
        QTest::addColumn<bool>("converts");         // the conversion succeeds
        QTest::addColumn<int>("conversionFailure"); // its LastFailure
        QTest::addColumn<int>("maxSide");           // a page's longest side in pixels at most

        const int none = int(TGhostScript::Failure::None);
        const int failed = int(TGhostScript::Failure::Failed);
        const int noPage = int(TGhostScript::Failure::NoPage);
        const int unreadable = int(TGhostScript::Failure::Unreadable);
        QTest::newRow("page grows twice before its end")
            << QByteArray("%!PS\n<< /PageSize [3000 3000] >> setpagedevice\n"
                          "<< /PageSize [200000 200000] >> setpagedevice showpage\n")
            << 1 << none << true << none << 6000;
        QTest::newRow("page grows between two pages")
            << QByteArray("%!PS\n<< /PageSize [3000 3000] >> setpagedevice 0 0 9 9 rectfill "
                          "showpage\n<< /PageSize [300 200] >> setpagedevice showpage\n")
            << 2 << none << true << none << 6000;
        QTest::newRow("14400 pt square page")
            << QByteArray("%!PS\n<< /PageSize [14400 14400] >> setpagedevice 0 0 72 72 rectfill "
                          "showpage\n")
            << 1 << none << true << none << 6000;
        QTest::newRow("loop before the first page")
            << QByteArray("%!PS\n{ 1 pop } loop\n") << 0 << unreadable << false << unreadable << 0;
        QTest::newRow("loop after page 1")
            << QByteArray("%!PS\n0 0 9 9 rectfill showpage { 1 pop } loop\n") << 1 << unreadable
            << false << unreadable << 2000;
        QTest::newRow("empty job") << QByteArray() << 0 << noPage << false << noPage << 0;
        QTest::newRow("header alone")
            << QByteArray("%!PS\n") << 0 << noPage << false << noPage << 0;
        QTest::newRow("quit") << QByteArray("%!PS\nquit\n") << 0 << noPage << false << noPage << 0;
        QTest::newRow("reads /etc/passwd")
            << QByteArray("%!PS\n{ (/etc/passwd) (r) file 200 string readstring pop print } "
                          "stopped pop 0 0 9 9 rectfill showpage\n")
            << 1 << none << true << none << 2000;
        QTest::newRow("%pipe% command")
            << QByteArray("%!PS\n{ (%pipe%id) (r) file 200 string readstring pop print } "
                          "stopped pop showpage\n")
            << 1 << none << true << none << 2000;
        QTest::newRow("undefined operator")
            << QByteArray("%!PS\nnosuchoperator showpage\n") << 0 << failed << false << failed << 0;
    }
    void hostilePrintFiles()
    {
        QFETCH(QByteArray, document);
        QFETCH(int, pages);
        QFETCH(int, failure);
        QFETCH(bool, converts);
        QFETCH(int, conversionFailure);
        QFETCH(int, maxSide);
        const QString file = writePs("hostile.ps", document);
        QByteArray said;
        TGhostScript::SetOnOutput([&said](QByteArray& value, int) { said += value; });
        TGhostScript::SetOnError([&said](QByteArray& value, int) { said += value; });

        TGhostScript gs;
        gs.SetResolution(120);
        const std::optional<bool> previewed = preview(gs, file);
        QVERIFY(previewed.has_value());
        QCOMPARE(int(gs.LastFailure()), failure);
        QCOMPARE(gs.GetPageCount(), pages);
        for (int i = 1; i <= pages; ++i)
            QVERIFY(qMax(gs.GetPage(i).width(), gs.GetPage(i).height()) <= maxSide);

        const QString pdf = path("work.pdf");
        QVERIFY(writeFile(pdf, "%PDF-1.4 the previous job"));
        QCOMPARE(convert(gs, file, pdf), std::optional<bool>(converts));
        QCOMPARE(int(gs.LastFailure()), conversionFailure);
        if (converts)
            QVERIFY(QFile(pdf).size() > 100);
        else
            QVERIFY2(!QFileInfo::exists(pdf), "a stale working PDF survived");

        QVERIFY2(!said.contains("root:"), said.constData());
        QVERIFY2(!said.contains("uid="), said.constData());
        QCOMPARE(QDir(m_dir.path()).entryList({"*.part"}), QStringList());
        QCOMPARE(leftBesideTheWaitingOne(gs), QStringList());
        QCOMPARE(childrenBesideTheWaitingOne(gs), 0);

        // The next job runs as usual.
        QCOMPARE(preview(gs, writePs("next.ps", postScript(2))), std::optional<bool>(true));
        QCOMPARE(gs.GetPageCount(), 2);
        QCOMPARE(gs.LastFailure(), TGhostScript::Failure::None);
        TGhostScript::SetOnError({});
    }

    // A run killed by its processor-time limit is reported like any run that had to be
    // stopped, and leaves nothing behind.
    void runKilledByALimitIsUnreadable()
    {
        const TInterpreterLimits kept = TGhostScript::Limits();
        TInterpreterLimits limits = kept;
        limits.cpuSeconds = 1;
        limits.watchdog = std::chrono::milliseconds(120000);
        TGhostScript::SetLimitsForTesting(limits);
        TGhostScript gs;
        QCOMPARE(preview(gs, writePs("spin.ps", "%!PS\n{ 1 pop } loop\n")),
                 std::optional<bool>(false));
        TGhostScript::SetLimitsForTesting(kept);
        QCOMPARE(gs.LastFailure(), TGhostScript::Failure::Unreadable);
        QVERIFY2(gs.LastError().contains("signal"), qPrintable(gs.LastError()));
        QCOMPARE(leftBesideTheWaitingOne(gs), QStringList());
        QCOMPARE(childrenBesideTheWaitingOne(gs), 0);
    }

    // A program started but never read to its end (its work withdrawn, or an exception on the
    // way) is killed and reaped rather than waited on.
    void aProgramLeftUnreadIsKilled_data()
    {
        QTest::addColumn<bool>("finished");
        QTest::newRow("finished") << true;
        QTest::newRow("dropped") << false;
    }

    void aProgramLeftUnreadIsKilled()
    {
        QFETCH(bool, finished);
        {
            TInterpreterProcess process;
            QVERIFY(process.Spawn(QStringLiteral("/bin/sleep"), {QStringLiteral("600")},
                                  m_dir.path(), TInterpreterLimits()));
            QCOMPARE(childProcesses(), 1);
            if (finished) {
                const TInterpreterProcess::Result result = process.Finish();
                QCOMPARE(result.end, TInterpreterProcess::End::Stopped);
                QCOMPARE(result.failure, QStringLiteral("L'exécution a été arrêtée."));
            }
        }
        QCOMPARE(childProcesses(), 0);
    }

    // A child of this process that has ended, all its threads with it, and is not yet reaped.
    static bool isDead(pid_t pid)
    {
        siginfo_t info{};
        return ::waitid(P_PID, id_t(pid), &info, WEXITED | WNOHANG | WNOWAIT) == 0 &&
               info.si_pid == pid;
    }

    // A waiting program that died before its job: handing it the job fails, and this process,
    // whose write met a pipe without a reader, goes on.
    void aJobForADeadProgramIsRefused()
    {
        TInterpreterProcess process;
        QVERIFY(process.SpawnWaiting(TGhostScript::InterpreterProgram(), m_dir.path(),
                                     TInterpreterLimits()));
        QVERIFY(process.AwaitReady(std::chrono::seconds(30)));
        QCOMPARE(::kill(process.Pid(), SIGKILL), 0);
        QTRY_VERIFY_WITH_TIMEOUT(isDead(process.Pid()), 30000);
        QVERIFY(!process.SendJob({QStringLiteral("pdf"), QStringLiteral("x.pdf")}));
        process.Finish();
        QCOMPARE(childProcesses(), 0);
    }

    // A program waits for the next run; each run gets one of its own, also when the waiting
    // one died in the meantime, and the component's end takes the waiting one with it.
    void eachRunHasAProgramOfItsOwn()
    {
        const QString document = writePs("own.ps", postScript(1));
        auto gs = std::make_unique<TGhostScript>();
        QVERIFY(gs->AwaitIdleInterpreter(std::chrono::seconds(30)));
        const pid_t first = gs->IdleInterpreterPid();
        QCOMPARE(preview(*gs, document), std::optional<bool>(true));
        QCOMPARE(gs->LastInterpreterPid(), first);
        const pid_t waiting = gs->IdleInterpreterPid();
        QVERIFY(waiting > 0 && waiting != first);
        QCOMPARE(::kill(first, 0), -1); // served one run, and gone

        QVERIFY(gs->AwaitIdleInterpreter(std::chrono::seconds(30)));
        QCOMPARE(::kill(waiting, SIGKILL), 0);
        // Dying, dead or reaped when the run comes: the run goes to a fresh program.
        QCOMPARE(preview(*gs, document), std::optional<bool>(true));
        QCOMPARE(gs->GetPageCount(), 1);
        QVERIFY(gs->LastInterpreterPid() != waiting);

        gs.reset();
        QCOMPARE(childProcesses(), 0);
        QCOMPARE(leftInPrivateFolder(), QStringList());
    }

    // Before its job the waiting program holds no document: nothing but its pipes, /dev/null,
    // the test's output and the system's own files (libraries, fonts).
    void theWaitingProgramHoldsNoDocument()
    {
        TGhostScript gs;
        QCOMPARE(preview(gs, writePs("earlier.ps", postScript(1))), std::optional<bool>(true));
        QVERIFY(gs.AwaitIdleInterpreter(std::chrono::seconds(30)));
        const QStringList open = openFiles(gs.IdleInterpreterPid());
        QVERIFY(open.size() >= 4);
        for (const QString& target : open)
            QVERIFY2(target.startsWith("pipe:[") || target.startsWith("/dev/") ||
                         target.startsWith("/usr/") || target.startsWith("/var/cache/") ||
                         target.startsWith("/etc/") || openFiles(::getpid()).contains(target),
                     qPrintable(target));
        for (const QString& target : open)
            QVERIFY2(!target.startsWith(m_dir.path()), qPrintable(target));
    }

    // A print file cannot write beside itself, in the private folder's parent or elsewhere.
    void printFileCannotWriteOutsideItsFolder()
    {
        const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
        const QString targets[] = {runtime + "/planted.txt", path("planted.txt"),
                                   QFileInfo(InterpreterTempFolder()).path() + "/planted.txt"};
        QByteArray ps = "%!PS\n";
        for (const QString& target : targets)
            ps += "{ (" + target.toUtf8() +
                  ") (w) file dup (x) writestring closefile } stopped "
                  "pop\n";
        ps += "showpage\n";
        TGhostScript gs;
        QCOMPARE(preview(gs, writePs("planter.ps", ps)), std::optional<bool>(true));
        for (const QString& target : targets)
            QVERIFY2(!QFileInfo::exists(target), qPrintable(target));
    }

    // Ghostscript reads "%" in an output file name as the start of a format ("%d", "%pipe%"):
    // the working PDF's path is taken as it stands all the same.
    void conversionTakesThePathLiterally()
    {
        const QString folder = path("100% sure %d %s %pipe%ls");
        QVERIFY(QDir().mkpath(folder));
        const QString pdf = folder + "/out%d.pdf";
        TGhostScript gs;
        QCOMPARE(convert(gs, writePs("literal.ps", postScript(2)), pdf), std::optional<bool>(true));
        QVERIFY(QFile(pdf).size() > 100);
        QCOMPARE(QDir(folder).entryList(QDir::Files), QStringList({"out%d.pdf"}));
        // No file named after an expanded format beside the folder.
        QCOMPARE(QDir(m_dir.path()).entryList({"100*"}), QStringList({"100% sure %d %s %pipe%ls"}));
    }

    // 2000 pages: the first one is there long before the last, and every one arrives.
    void longJobShowsItsFirstPageEarly()
    {
        QByteArray ps = "%!PS\n<< /PageSize [72 72] >> setpagedevice\n";
        ps += "1 1 2000 { pop 0 0 9 9 rectfill showpage } for\n";
        TGhostScript gs;
        gs.SetResolution(72);
        int runningAtFirst = -1;
        TGhostScript::SetOnPageGenerated([&](int page) {
            if (page == 1)
                runningAtFirst = gs.Queue().running() ? 1 : 0;
        });
        QCOMPARE(preview(gs, writePs("long.ps", ps)), std::optional<bool>(true));
        QCOMPARE(runningAtFirst, 1);
        QCOMPARE(gs.GetPageCount(), 2000);
    }

    // Closing the program during a run that never ends, or during a long conversion, returns
    // at once and leaves nothing behind.
    void shutdownDuringARunReturns_data()
    {
        QTest::addColumn<QByteArray>("document");
        QTest::addColumn<bool>("conversion");
        QByteArray thousands = "%!PS\n";
        // Pages heavy enough that the conversion is still running when the shutdown comes,
        // however fast the machine.
        thousands += "1 1 2000 { pop /Helvetica findfont 10 scalefont setfont 0 1 400 { 100 exch "
                     "moveto (Page) show } for showpage } for\n";
        QTest::newRow("loop") << QByteArray("%!PS\n{ 1 pop } loop\n") << false;
        QTest::newRow("2000-page conversion") << thousands << true;
    }
    void shutdownDuringARunReturns()
    {
        QFETCH(QByteArray, document);
        QFETCH(bool, conversion);
        const QString file = writePs("endless.ps", document);
        const QString pdf = path("endless.pdf");
        auto gs = std::make_unique<TGhostScript>();
        if (conversion)
            gs->ConvertToPdf(file, pdf);
        else
            gs->Preview(file);
        QTRY_VERIFY_WITH_TIMEOUT(gs->Active(), 10000);
        QTest::qWait(300);
        QElapsedTimer clock;
        clock.start();
        gs.reset();
        QVERIFY2(clock.elapsed() < 10000, qPrintable(QString::number(clock.elapsed())));
        QCOMPARE(childProcesses(), 0);
        QCOMPARE(leftInPrivateFolder(), QStringList());
        QVERIFY(!QFileInfo::exists(pdf));
        QCOMPARE(QDir(m_dir.path()).entryList({"*.part"}), QStringList());
    }
};

QTEST_MAIN(GhostScriptTest)
#include "tst_ghostscript.moc"
