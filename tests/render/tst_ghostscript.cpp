// The interpreter component against the real Ghostscript library: pages, formats, the working
// PDF, failures, the run queue and shutdown.
#include "GhostScript.h"
#include "PageList.h"
#include "RenderFixtures.h"
#include "TestSupport.h"
#include "fake/FakePrompts.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QTemporaryDir>
#include <optional>

using namespace vellora;
using namespace vellora::render;
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

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        setPrompts(&m_prompts);
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
        const PageSpec spec = landscape ? a4Landscape() : a4Portrait();
        const QString file = writePs(QStringLiteral("doc.ps"), postScript(pages, spec));

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

        const QSize size = pixelSize(spec, dpi);
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
};

QTEST_MAIN(GhostScriptTest)
#include "tst_ghostscript.moc"
