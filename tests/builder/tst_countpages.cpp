// The page count against the real converter in the tool folder, on PDFs made here. No prompts
// are installed: the count shows nothing itself.

#include "Errors.h"
#include "Paths.h"
#include "TestPdfs.h"
#include "TestSupport.h"
#include "builder/build/ConverterCommand.h"
#include "builder/build/CountPages.h"

#include <QDir>
#include <QFile>
#include <QTest>

using namespace vellora;
using namespace vellora::test;
using namespace std::chrono_literals;

class TestCountPages : public QObject
{
    Q_OBJECT

private:
    static QString conversionError(const QString& text)
    {
        return QStringLiteral("'%1' n'est pas une valeur entière correcte").arg(text);
    }

private Q_SLOTS:
    void initTestCase()
    {
        VELLORA_REQUIRE(QFile::exists(paths::ToolFolder() + "/pdf2swf"),
                        "pdf2swf in the tool folder");
    }
    void init() { QFile::remove(paths::WorkPdf()); }

    void pageCountText_data()
    {
        QTest::addColumn<QString>("memo");
        QTest::addColumn<QString>("text");
        const QString command = QStringLiteral("\"/d/vellora/pdf2swf\"  \"/d/out.pdf\" -I ");
        QTest::newRow("three pages") << command + "\r\npage=1 a\r\npage=2 a\r\npage=3 a"
                                     << "3";
        QTest::newRow("summary line after the pages")
            << command + "\r\npage=1 w\r\npage=2 w\r\n2 pages in all"
            << "2";
        QTest::newRow("no page line") << command + "\r\nerror"
                                      << "";
        QTest::newRow("number without a blank after it") << command + "\r\npage=7"
                                                         << "";
        QTest::newRow("blank only on a later line") << command + "\r\npage=7\r\ndone here"
                                                    << "7\r\ndone";
    }
    void pageCountText()
    {
        QFETCH(QString, memo);
        QFETCH(QString, text);
        QCOMPARE(PageCountText(memo), text);
    }

    void pageCountValue_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("value");
        QTest::addColumn<bool>("valid");
        QTest::newRow("number") << "12" << 12 << true;
        QTest::newRow("zero") << "0" << 0 << true;
        QTest::newRow("empty") << "" << 0 << false;
        QTest::newRow("line end inside") << "7\r\ndone" << 0 << false;
        QTest::newRow("letters") << "12a" << 0 << false;
        QTest::newRow("too large") << "99999999999" << 0 << false;
    }
    void pageCountValue()
    {
        QFETCH(QString, text);
        QFETCH(int, value);
        QFETCH(bool, valid);
        if (valid) {
            QCOMPARE(PageCountValue(text), value);
            return;
        }
        try {
            PageCountValue(text);
            QFAIL("no exception");
        } catch (const EVellora& error) {
            QCOMPARE(error.message(), conversionError(text));
        }
    }

    void countsRealDocuments_data()
    {
        QTest::addColumn<QList<TestPage>>("pages");
        const TestPage portrait;
        const TestPage landscape{QPageSize(QPageSize::A4), QPageLayout::Landscape,
                                 PageContent::TextAndImage};
        const TestPage letterImage{QPageSize(QPageSize::Letter), QPageLayout::Portrait,
                                   PageContent::Image};
        QTest::newRow("one page") << QList<TestPage>{portrait};
        QTest::newRow("three mixed") << QList<TestPage>{portrait, landscape, letterImage};
        QList<TestPage> twelve;
        for (int i = 0; i < 12; ++i)
            twelve << (i % 3 == 0 ? landscape : i % 3 == 1 ? portrait : letterImage);
        QTest::newRow("twelve") << twelve;
    }
    void countsRealDocuments()
    {
        QFETCH(QList<TestPage>, pages);
        QVERIFY(makeTestPdf(paths::WorkPdf(), pages));
        QString memo;
        QCOMPARE(CountPages([&](const QString& text) { memo = text; }), int(pages.size()));
        QCOMPARE(PageCountText(memo), QString::number(pages.size()));
        const QStringList lines = memo.split(QStringLiteral("\r\n"));
        QCOMPARE(lines.first(), PageCountCommand(ConverterFolders::user()).commandLine);
        QCOMPARE(lines.size(), pages.size() + 1);
        QVERIFY(lines.last().startsWith(QStringLiteral("page=%1 width=").arg(pages.size())));
    }

    // No page count: the box shows nothing after the colon, then the converter's reason.
    void failures_data()
    {
        QTest::addColumn<QByteArray>("content"); // of the working PDF; null: no file
        QTest::addColumn<QString>("reason");     // empty: any reason the converter gives
        QTest::newRow("no working PDF") << QByteArray() << QString();
        QTest::newRow("not a PDF") << QByteArray("%PDF-1.4\nnothing here\n") << QString();
        QTest::newRow("no page")
            << QByteArray("%PDF-1.4\n1 0 obj << /Type /Catalog /Pages 2 0 R >> endobj\n"
                          "2 0 obj << /Type /Pages /Kids [] /Count 0 >> endobj\n"
                          "trailer << /Root 1 0 R >>\n%%EOF\n")
            << "le PDF ne contient aucune page lisible";
    }
    void failures()
    {
        QFETCH(QByteArray, content);
        QFETCH(QString, reason);
        if (!content.isNull()) {
            QFile file(paths::WorkPdf());
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write(content);
        }
        QString memo;
        try {
            CountPages([&](const QString& text) { memo = text; });
            QFAIL("no exception");
        } catch (const EVellora& error) {
            const QString prefix = QStringLiteral("Impossible de lire le document : ");
            QVERIFY2(error.message().startsWith(prefix), qPrintable(error.message()));
            QVERIFY(error.message().size() > prefix.size());
            if (!reason.isEmpty())
                QCOMPARE(error.message(), prefix + reason);
        }
        QCOMPARE(PageCountText(memo), QString());
        QVERIFY(!memo.contains(QStringLiteral("page=")));
    }

    void truncatedDocumentIsNotShorter()
    {
        QList<TestPage> pages(6);
        QVERIFY(makeTestPdf(paths::WorkPdf(), pages));
        QFile file(paths::WorkPdf());
        QVERIFY(file.open(QIODevice::ReadWrite));
        QVERIFY(file.resize(file.size() * 2 / 3));
        file.close();
        QString memo;
        QVERIFY_THROWS_EXCEPTION(EVellora, CountPages([&](const QString& text) { memo = text; }));
        QCOMPARE(PageCountText(memo), QString());
    }

    void missingConverter()
    {
        QVERIFY(makeTestPdf(paths::WorkPdf(), QList<TestPage>(2)));
        const QString converter = paths::ToolFolder() + "/pdf2swf";
        const QString aside = paths::ToolFolder() + "/pdf2swf.aside";
        QVERIFY(QFile::rename(converter, aside));
        auto restore = qScopeGuard([&] { QFile::rename(aside, converter); });
        const PageListing listing = PageListingRun().runToEnd();
        QVERIFY(!listing.startFailure.isEmpty());
        QCOMPARE(startFailureMessage(listing),
                 "Impossible de lancer " + converter + " : " + listing.startFailure);
        QCOMPARE(PageCountText(listing.memoText()), QString());
        QVERIFY_THROWS_EXCEPTION(EVellora, PageCountOf(listing));
    }

    // A converter that never answers is stopped, and the count fails with a clear message.
    void hangingConverter()
    {
        QVERIFY(makeTestPdf(paths::WorkPdf(), QList<TestPage>(2)));
        const QString converter = paths::ToolFolder() + "/pdf2swf";
        const QString aside = paths::ToolFolder() + "/pdf2swf.aside";
        QVERIFY(QFile::rename(converter, aside));
        auto restore = qScopeGuard([&] {
            QFile::remove(converter);
            QFile::rename(aside, converter);
        });
        QFile hanging(converter);
        QVERIFY(hanging.open(QIODevice::WriteOnly));
        hanging.write("#!/bin/sh\necho page=1 width=1 height=1\nexec sleep 30\n");
        hanging.close();
        hanging.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);

        RunCapturedOptions options;
        options.timeout = 300ms;
        QString memo;
        try {
            CountPages([&](const QString& text) { memo = text; }, options);
            QFAIL("no exception");
        } catch (const EVellora& error) {
            QVERIFY2(error.message().contains(QStringLiteral("n'a pas répondu")),
                     qPrintable(error.message()));
        }
        QCOMPARE(memo, PageCountCommand(ConverterFolders::user()).commandLine);
    }
};

QTEST_MAIN(TestCountPages)
#include "tst_countpages.moc"
