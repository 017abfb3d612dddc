// The process runner with real child processes. No prompts are installed: it shows nothing.

#include "Errors.h"
#include "TestSupport.h"
#include "builder/build/RunCaptured.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <csignal>
#include <sys/types.h>

using namespace vellora;
using namespace std::chrono_literals;

class TestRunCaptured : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_tmp{QDir::homePath() + QStringLiteral("/tmp-XXXXXX")};
    QTemporaryDir m_work{QDir::homePath() + QStringLiteral("/work-XXXXXX")};

    QStringList tmpEntries() const
    {
        return QDir(m_tmp.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot);
    }

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY(m_tmp.isValid() && m_work.isValid());
        // Capture files go to the temporary folder: a private one shows what stays behind.
        qputenv("TMPDIR", m_tmp.path().toLocal8Bit());
        QCOMPARE(QDir::tempPath(), m_tmp.path());
    }
    void cleanup()
    {
        QCOMPARE(tmpEntries(), QStringList()); // the capture file never remains
    }

    void exitCodes_data()
    {
        QTest::addColumn<QString>("script");
        QTest::addColumn<bool>("expected");
        QTest::newRow("0") << "exit 0" << true;
        QTest::newRow("1") << "exit 1" << false;
        QTest::newRow("255") << "exit 255" << false;
        QTest::newRow("killed by a signal") << "kill -KILL $$" << false;
    }
    void exitCodes()
    {
        QFETCH(QString, script);
        QFETCH(bool, expected);
        QStringList target;
        QString failure;
        QCOMPARE(RunCaptured(m_work.path(), "/bin/sh", {"-c", script}, target, {}, &failure),
                 expected);
        QCOMPARE(target, QStringList());
        QCOMPARE(failure, QString()); // it started
    }

    void capture_data()
    {
        QTest::addColumn<QString>("output");
        QTest::addColumn<QStringList>("lines");
        QTest::newRow("LF") << "a\\nb\\n" << QStringList{"a", "b"};
        QTest::newRow("CR LF") << "a\\r\\nb\\r\\n" << QStringList{"a", "b"};
        QTest::newRow("CR") << "a\\rb\\r" << QStringList{"a", "b"};
        QTest::newRow("mixed, no final line end")
            << "a\\r\\nb\\nc\\rd" << QStringList{"a", "b", "c", "d"};
        QTest::newRow("empty lines kept") << "a\\n\\nb\\n" << QStringList{"a", "", "b"};
        QTest::newRow("nothing") << "" << QStringList{};
        QTest::newRow("UTF-8") << "Créér\\n" << QStringList{QStringLiteral("Créér")};
    }
    void capture()
    {
        QFETCH(QString, output);
        QFETCH(QStringList, lines);
        QStringList target{"command line"};
        // Standard error is not part of the capture.
        QVERIFY(RunCaptured(m_work.path(), "/bin/sh",
                            {"-c", "printf '" + output + "'; echo noise >&2"}, target));
        QCOMPARE(target, QStringList{"command line"} + lines);
    }

    void childRunsInTheFolderAtLowestPriority()
    {
        QStringList target;
        QVERIFY(RunCaptured(m_work.path(), "/bin/sh", {"-c", "pwd; nice"}, target));
        QCOMPARE(target, QStringList({m_work.path(), "19"}));
    }

    // Quotes, blanks and shell syntax in an argument or in the program's path run nothing.
    void hostileTextRunsNothing()
    {
        const QString hostile =
            QStringLiteral("a \"b\" 'c'; touch pwned1 && $(touch pwned2) `touch pwned3` | x");
        QStringList target;
        QVERIFY(RunCaptured(m_work.path(), "/usr/bin/printf", {"%s\\n", hostile}, target));
        QCOMPARE(target, QStringList{hostile});

        const QString folder =
            m_work.filePath(QStringLiteral("x\"; touch pwned4; $(touch pwned5)"));
        QVERIFY(QDir().mkpath(folder));
        const QString program = folder + QStringLiteral("/tool `touch pwned6`");
        QFile script(program);
        QVERIFY(script.open(QIODevice::WriteOnly));
        script.write("#!/bin/sh\necho \"ran with $#: $1\"\n");
        script.close();
        script.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        target.clear();
        QVERIFY(RunCaptured(m_work.path(), program, {hostile}, target));
        QCOMPARE(target, QStringList{"ran with 1: " + hostile});

        target.clear();
        QVERIFY(!RunCaptured(m_work.path(), m_work.filePath("none; touch pwned7"), {}, target));
        for (const QString& where : {m_work.path(), folder, QDir::currentPath()})
            QCOMPARE(QDir(where).entryList({"pwned*"}), QStringList());
    }

    void startFailures_data()
    {
        QTest::addColumn<QString>("program");
        QTest::addColumn<QString>("folder");
        QTest::newRow("missing program") << "/nonexistent/pdf2swf"
                                         << "";
        QTest::newRow("not executable") << "@WORK@/plain.txt"
                                        << "";
        QTest::newRow("missing working folder") << "/bin/true"
                                                << "/nonexistent-folder";
    }
    void startFailures()
    {
        QFETCH(QString, program);
        QFETCH(QString, folder);
        QFile plain(m_work.filePath("plain.txt"));
        QVERIFY(plain.open(QIODevice::WriteOnly));
        plain.close();
        program.replace("@WORK@", m_work.path());
        if (folder.isEmpty())
            folder = m_work.path();
        QStringList target{"kept"};
        QString failure;
        QVERIFY(!RunCaptured(folder, program, {}, target, {}, &failure));
        QCOMPARE(target, QStringList{"kept"});
        if (QDir(folder).exists())
            QVERIFY2(failure.startsWith("Impossible de lancer " + program + " : "),
                     qPrintable(failure));
        else
            QCOMPARE(failure, "Le dossier de travail " + folder + " n'existe pas.");
    }

    void hangingChildIsStopped_data()
    {
        QTest::addColumn<QString>("script");
        QTest::newRow("ends on SIGTERM") << "echo $$ > pid; exec sleep 30";
        QTest::newRow("ignores SIGTERM") << "trap '' TERM; echo $$ > pid; exec sleep 30";
    }
    void hangingChildIsStopped()
    {
        QFETCH(QString, script);
        QStringList target;
        RunCapturedOptions options;
        options.timeout = 300ms;
        options.killGrace = 300ms;
        QVERIFY_THROWS_EXCEPTION(
            EVellora, RunCaptured(m_work.path(), "/bin/sh", {"-c", script}, target, options));
        QFile pidFile(m_work.filePath("pid"));
        QVERIFY(pidFile.open(QIODevice::ReadOnly));
        const pid_t pid = pid_t(pidFile.readAll().trimmed().toInt());
        QVERIFY(pid > 0);
        QCOMPARE(::kill(pid, 0), -1); // gone, and reaped
        pidFile.remove();
    }

    void timeoutMessageIsClear()
    {
        QStringList target;
        RunCapturedOptions options;
        options.timeout = 200ms;
        try {
            RunCaptured(m_work.path(), "/bin/sleep", {"30"}, target, options);
            QFAIL("no exception");
        } catch (const EVellora& error) {
            QVERIFY2(error.message().contains(QStringLiteral("n'a pas répondu")),
                     qPrintable(error.message()));
        }
    }
};

QTEST_GUILESS_MAIN(TestRunCaptured)
#include "tst_runcaptured.moc"
