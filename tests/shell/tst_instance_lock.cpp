// The single-copy lock and its folder, within one process.
#include "Errors.h"
#include "TestSupport.h"
#include "linux/LinuxSingleInstance.h"

#include <QDir>
#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <sys/stat.h>
#include <unistd.h>

using namespace vellora;

class InstanceLockTest : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void secondClaimFailsAndRaisesTheFirst()
    {
        LinuxSingleInstance first(QStringLiteral("vellora"));
        QVERIFY(first.claim());
        QCOMPARE(first.lockPath(), QString::fromLocal8Bit(qgetenv("XDG_RUNTIME_DIR")) +
                                       QStringLiteral("/vellora.lock"));
        QSignalSpy raised(&first, &SingleInstance::raiseRequested);

        LinuxSingleInstance second(QStringLiteral("vellora"));
        QVERIFY(!second.claim());
        QVERIFY(second.askRunningCopyToRaise());
        QVERIFY(raised.wait(5000));
        QCOMPARE(raised.size(), 1);

        LinuxSingleInstance otherName(QStringLiteral("Vellora"));
        QVERIFY(otherName.claim());
    }

    void lockGoesWithItsHolder()
    {
        {
            LinuxSingleInstance first(QStringLiteral("vellora"));
            QVERIFY(first.claim());
        }
        LinuxSingleInstance next(QStringLiteral("vellora"));
        QVERIFY(next.claim());
    }

    // A copy that was killed leaves its socket file behind; the next holder of the lock
    // replaces it.
    void staleSocketIsReplaced()
    {
        QString socket;
        {
            LinuxSingleInstance probe(QStringLiteral("vellora"));
            QVERIFY(probe.claim());
            socket = probe.socketPath();
        }
        QFile stale(socket);
        QVERIFY(stale.open(QIODevice::WriteOnly));
        stale.close();

        LinuxSingleInstance first(QStringLiteral("vellora"));
        QVERIFY(first.claim());
        QSignalSpy raised(&first, &SingleInstance::raiseRequested);
        LinuxSingleInstance later(QStringLiteral("vellora"));
        QVERIFY(!later.claim());
        QVERIFY(later.askRunningCopyToRaise());
        QVERIFY(raised.wait(5000));
    }

    void nobodyToRaise()
    {
        LinuxSingleInstance lonely(QStringLiteral("nobody-listens"));
        QVERIFY(!lonely.askRunningCopyToRaise());
    }

    void privateFolderRules_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<bool>("accepted");
        QTest::newRow("new") << "new" << true;
        QTest::newRow("ours, 0700") << "ours" << true;
        QTest::newRow("open to others") << "0755" << false;
        QTest::newRow("a link to our folder") << "link" << false;
        QTest::newRow("a file") << "file" << false;
        if (::geteuid() == 0)
            QTest::newRow("someone else's") << "foreign" << false;
    }

    void privateFolderRules()
    {
        QFETCH(QString, kind);
        QFETCH(bool, accepted);
        QTemporaryDir base;
        QVERIFY(base.isValid());
        const QString folder = base.filePath(QStringLiteral("vellora-test"));
        const QByteArray path = QFile::encodeName(folder);
        if (kind == u"ours" || kind == u"0755" || kind == u"foreign") {
            QCOMPARE(::mkdir(path.constData(), kind == u"0755" ? 0755 : 0700), 0);
            ::chmod(path.constData(), kind == u"0755" ? 0755 : 0700);
            if (kind == u"foreign")
                QCOMPARE(::chown(path.constData(), 65534, 65534), 0);
        } else if (kind == u"link") {
            QVERIFY(QDir(base.path()).mkdir(QStringLiteral("real")));
            ::chmod(QFile::encodeName(base.filePath(QStringLiteral("real"))).constData(), 0700);
            QVERIFY(QFile::link(base.filePath(QStringLiteral("real")), folder));
        } else if (kind == u"file") {
            QFile file(folder);
            QVERIFY(file.open(QIODevice::WriteOnly));
        }

        bool threw = false;
        try {
            QCOMPARE(LinuxSingleInstance::privateFolder(folder), folder);
        } catch (const EVellora&) {
            threw = true;
        }
        QCOMPARE(!threw, accepted);
        if (accepted) {
            struct stat info
            {};
            QCOMPARE(::lstat(path.constData(), &info), 0);
            QCOMPARE(info.st_mode & 0777, mode_t(0700));
        }
    }
};

QTEST_GUILESS_MAIN(InstanceLockTest)
#include "tst_instance_lock.moc"
