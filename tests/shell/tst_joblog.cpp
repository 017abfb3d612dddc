// The job log's lines and rotation, and the move of the working files that older versions
// left in the data folder.
#include "JobLog.h"
#include "Paths.h"
#include "WorkingFiles.h"

#include <QDir>
#include <QFile>
#include <QLoggingCategory>
#include <QtTest>

using namespace vellora;

namespace {

Q_LOGGING_CATEGORY(lcTest, "vellora.test")

QByteArray readAll(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void writeFile(const QString& path, const QByteArray& content, const QDateTime& modified)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(content);
    QVERIFY(file.flush());
    QVERIFY(file.setFileTime(modified, QFileDevice::FileModificationTime));
}

// The log's lines with their times masked.
QStringList maskedLines(const QString& path)
{
    QStringList lines = QString::fromUtf8(readAll(path)).split(u'\n', Qt::SkipEmptyParts);
    for (QString& line : lines)
        line.replace(
            QRegularExpression(QStringLiteral("^\\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d")),
            QStringLiteral("TIME"));
    return lines;
}

} // namespace

class TestJobLog : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init()
    {
        QFile::remove(paths::JobLogFile());
        QFile::remove(paths::JobLogFile() + ".1");
    }

    void oneEventIsOneLine()
    {
        JobLog log(paths::JobLogFile());
        log.write({12, "urn:uuid:5f0c", "Relevé\r\nde compte\t2026.pdf"}, "travail pris");
        log.write("création : source /tmp/a\\b.pdf, réussie");
        JobLog::collectWarnings(&log);
        qCWarning(lcTest, "Button1Click: exception dropped: disque plein\nsur /home");
        qCInfo(lcTest, "not an event");
        JobLog::collectWarnings(nullptr);
        qCWarning(lcTest, "after the log was let go");
        QCOMPARE(
            maskedLines(log.file()),
            QStringList({"TIME\t12\turn:uuid:5f0c\tRelevé\\r\\nde compte\\t2026.pdf\ttravail pris",
                         "TIME\t-\t-\t-\tcréation : source /tmp/a\\\\b.pdf, réussie",
                         "TIME\t-\t-\t-\tavertissement : Button1Click: exception dropped: "
                         "disque plein\\nsur /home"}));
        QCOMPARE(QFileInfo(log.file()).permissions() & 0x0777, QFile::Permissions(0x0600));
    }

    void controlCharactersAreEscaped()
    {
        QCOMPARE(JobLog::escaped(QString::fromUtf8("a\x1b[2Jb\x7f\u0085\u2028")),
                 QStringLiteral("a\\x1b[2Jb\\x7f\\x85\\u2028"));
    }

    // Past 1 MB the log starts again; the one before is kept, and only that one.
    void logRotatesKeepingOneOldFile()
    {
        JobLog log(paths::JobLogFile());
        const QString filler(1000, u'x');
        for (int i = 0; i < 1100; ++i)
            log.write({std::uint32_t(i + 1), {}, {}}, filler);
        const qint64 current = QFileInfo(log.file()).size();
        const qint64 old = QFileInfo(log.file() + ".1").size();
        QVERIFY(current > 0 && current <= JobLog::kRotateBytes);
        QVERIFY(old > JobLog::kRotateBytes - 1100 && old <= JobLog::kRotateBytes);
        // Lines of 1026 bytes and the job id's digits, none lost, none cut.
        QCOMPARE(current + old, qint64(1131893));
        QVERIFY(readAll(log.file() + ".1").endsWith(QByteArray(QByteArray(1000, 'x') + '\n')));
        QVERIFY(readAll(log.file())
                    .endsWith(QByteArray("\t1100\t-\t-\t" + QByteArray(1000, 'x') + '\n')));
        QCOMPARE(QDir(paths::StateFolder()).entryList({"travaux.log*"}),
                 QStringList({"travaux.log", "travaux.log.1"}));
    }

    void oldWorkingFilesAreMoved_data()
    {
        QTest::addColumn<QByteArray>("oldPdf");
        QTest::addColumn<int>("newPdfAge"); // seconds older than the old file; 0: none
        QTest::addColumn<QByteArray>("expectedPdf");
        QTest::addColumn<bool>("oldPdfStays");
        QTest::newRow("first start")
            << QByteArray("%PDF-1.7 old") << 0 << QByteArray("%PDF-1.7 old") << false;
        QTest::newRow("a newer working PDF is kept")
            << QByteArray("%PDF-1.7 old") << -60 << QByteArray("%PDF-1.7 new") << true;
        QTest::newRow("an older working PDF is replaced")
            << QByteArray("%PDF-1.7 old") << 60 << QByteArray("%PDF-1.7 old") << false;
        QTest::newRow("another program's out.pdf stays")
            << QByteArray("not a PDF") << 0 << QByteArray() << true;
    }
    void oldWorkingFilesAreMoved()
    {
        QFETCH(QByteArray, oldPdf);
        QFETCH(int, newPdfAge);
        QFETCH(QByteArray, expectedPdf);
        QFETCH(bool, oldPdfStays);
        const QString data = qEnvironmentVariable("XDG_DATA_HOME");
        const QString state = qEnvironmentVariable("XDG_STATE_HOME") + "/vellora";
        QFile::remove(state + "/out.pdf");
        QFile::remove(state + "/vellora.logs");
        const QDateTime then = QDateTime::currentDateTime().addSecs(-3600);
        writeFile(data + "/out.pdf", oldPdf, then);
        writeFile(data + "/vellora.logs", "Number Pages: 2\r\n", then);
        if (newPdfAge)
            writeFile(state + "/out.pdf", "%PDF-1.7 new", then.addSecs(-newPdfAge));

        QStringList expected;
        if (!oldPdfStays)
            expected << "ancien fichier déplacé : " + data + "/out.pdf -> " + state + "/out.pdf";
        expected << "ancien fichier déplacé : " + data + "/vellora.logs -> " + state +
                        "/vellora.logs";
        QCOMPARE(MoveOldWorkingFiles(), expected);
        QCOMPARE(readAll(state + "/out.pdf"), expectedPdf);
        QCOMPARE(readAll(state + "/vellora.logs"), QByteArray("Number Pages: 2\r\n"));
        QCOMPARE(QFile::exists(data + "/out.pdf"), oldPdfStays);
        QVERIFY(!QFile::exists(data + "/vellora.logs"));
        // Nothing is left to move at the next start.
        QCOMPARE(MoveOldWorkingFiles(), QStringList());
        QFile::remove(data + "/out.pdf");
    }
};

QTEST_GUILESS_MAIN(TestJobLog)
#include "tst_joblog.moc"
