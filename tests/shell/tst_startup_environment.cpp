// What the program sets up before its windows: Qt's French texts and a runtime folder.
#include "Application.h"
#include "Startup.h"

#include <QDialogButtonBox>
#include <QFileInfo>
#include <QPushButton>
#include <QStandardPaths>
#include <QtTest>
#include <sys/stat.h>
#include <unistd.h>

using namespace vellora;

class TestStartupEnvironment : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void standardDialogsSpeakFrench_data()
    {
        QTest::addColumn<QString>("context");
        QTest::addColumn<QString>("english");
        QTest::addColumn<QString>("french");
        QTest::newRow("look in") << "QFileDialog"
                                 << "Look in:"
                                 << "Voir dans :";
        QTest::newRow("replace") << "QFileDialog"
                                 << "%1 already exists.\nDo you want to replace it?"
                                 << "Le fichier %1 existe déjà\nVoulez-vous l'écraser ?";
        QTest::newRow("save") << "QFileDialog"
                              << "&Save"
                              << "&Enregistrer";
    }
    void standardDialogsSpeakFrench()
    {
        QFETCH(QString, context);
        QFETCH(QString, english);
        QFETCH(QString, french);
        static const bool installed = installQtTranslations(*qApp);
        QVERIFY(installed);
        QCOMPARE(QCoreApplication::translate(qPrintable(context), qPrintable(english)), french);
    }

    void standardButtonsSpeakFrench()
    {
        static const bool installed = installQtTranslations(*qApp);
        QVERIFY(installed);
        QDialogButtonBox box(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
        QCOMPARE(box.button(QDialogButtonBox::Cancel)->text(), "Annuler");
    }

    // Started without a session's runtime folder, the program gets a private one, and Qt has
    // nothing to complain about.
    void runtimeFolderIsSetUp()
    {
        const QByteArray saved = qgetenv("XDG_RUNTIME_DIR");
        auto restore = qScopeGuard([&] { qputenv("XDG_RUNTIME_DIR", saved); });
        qunsetenv("XDG_RUNTIME_DIR");
        PrepareRuntimeFolder();
        const QString folder = QString::fromLocal8Bit(qgetenv("XDG_RUNTIME_DIR"));
        QCOMPARE(folder, QStringLiteral("/tmp/vellora-%1").arg(::getuid()));
        struct stat info = {};
        QCOMPARE(::lstat(QFile::encodeName(folder).constData(), &info), 0);
        QVERIFY(S_ISDIR(info.st_mode));
        QCOMPARE(info.st_uid, ::getuid());
        QCOMPARE(int(info.st_mode & 0777), 0700);
        QTest::failOnWarning(QRegularExpression("XDG_RUNTIME_DIR|runtime directory"));
        QCOMPARE(QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation), folder);

        // A folder the session gave is kept.
        qputenv("XDG_RUNTIME_DIR", saved);
        PrepareRuntimeFolder();
        QCOMPARE(qgetenv("XDG_RUNTIME_DIR"), saved);
    }
};

QTEST_MAIN(TestStartupEnvironment)
#include "tst_startup_environment.moc"
