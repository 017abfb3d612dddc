#include "builder/build/ConverterCommand.h"

#include <QTest>

using namespace vellora;

Q_DECLARE_METATYPE(vellora::QualityPreset)

class TestConverterCommand : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void pageCountCommand()
    {
        const ConverterCommand command =
            PageCountCommand(ConverterFolders(QStringLiteral("/home/ann/.local/share")));
        QCOMPARE(command.commandLine, QStringLiteral("\"/home/ann/.local/share/vellora/pdf2swf\"  "
                                                     "\"/home/ann/.local/share/out.pdf\" -I "));
        QCOMPARE(command.program, QStringLiteral("/home/ann/.local/share/vellora/pdf2swf"));
        QCOMPARE(command.arguments,
                 QStringList({QStringLiteral("/home/ann/.local/share/out.pdf"), "-I"}));
    }

    void pageCommand_data()
    {
        QTest::addColumn<QualityPreset>("preset");
        QTest::addColumn<QString>("qualite");
        QTest::addColumn<QString>("commandLine");
        QTest::addColumn<QStringList>("arguments");
        const QString head = QStringLiteral("\"/d/vellora/pdf2swf\"  \"/d/out.pdf\"  -p7");
        const QString tail = QStringLiteral(" -o \"/out/page7.swf\"");
        const QStringList first{QStringLiteral("/d/out.pdf"), QStringLiteral("-p7")};
        const QStringList last{QStringLiteral("-o"), QStringLiteral("/out/page7.swf")};
        QTest::newRow("low") << QualityPreset::Low << "70"
                             << head + " -s -zoom=48 -w -S -O2 -s jpegquality=70" + tail
                             << first + QStringList{"-s", "-zoom=48",      "-w", "-S", "-O2",
                                                    "-s", "jpegquality=70"} +
                                    last;
        QTest::newRow("medium")
            << QualityPreset::Medium << "70"
            << head + " --flatten -s subpixels=1 -s -zoom=48 -w -s jpegquality=70" + tail
            << first + QStringList{"--flatten", "-s", "subpixels=1", "-s",
                                   "-zoom=48",  "-w", "-s",          "jpegquality=70"} +
                   last;
        QTest::newRow("high") << QualityPreset::High << "70"
                              << head + " -s -zoom=48 -G -w -s jpegquality=70" + tail
                              << first + QStringList{"-s", "-zoom=48", "-G",
                                                     "-w", "-s",       "jpegquality=70"} +
                                     last;
        QTest::newRow("empty quality")
            << QualityPreset::Low << "" << head + " -s -zoom=48 -w -S -O2 -s jpegquality=" + tail
            << first + QStringList{"-s", "-zoom=48", "-w", "-S", "-O2", "-s", "jpegquality="} +
                   last;
        QTest::newRow("quality with blanks stays one argument")
            << QualityPreset::High << "7 0 -o /etc/passwd"
            << head + " -s -zoom=48 -G -w -s jpegquality=7 0 -o /etc/passwd" + tail
            << first + QStringList{"-s", "-zoom=48", "-G",
                                   "-w", "-s",       "jpegquality=7 0 -o /etc/passwd"} +
                   last;
    }
    void pageCommand()
    {
        QFETCH(QualityPreset, preset);
        QFETCH(QString, qualite);
        QFETCH(QString, commandLine);
        QFETCH(QStringList, arguments);
        const ConverterCommand command = PageCommand(ConverterFolders(QStringLiteral("/d")), 7,
                                                     preset, qualite, QStringLiteral("/out/"));
        QCOMPARE(command.commandLine, commandLine);
        QCOMPARE(command.arguments, arguments);
        QCOMPARE(command.program, QStringLiteral("/d/vellora/pdf2swf"));
    }

    // Paths with quotes, blanks and shell syntax reach the converter untouched, as single
    // arguments, and the root folder keeps its doubled separator.
    void hostilePathsStayWhole()
    {
        const QString data = QStringLiteral("/tmp/a \"b\"; $(touch x) `id`");
        const QString output = QStringLiteral("//");
        const ConverterCommand command =
            PageCommand(ConverterFolders(data), 12, QualityPreset::Low, "85", output);
        QCOMPARE(command.arguments.first(), data + "/out.pdf");
        QCOMPARE(command.arguments.last(), QStringLiteral("//page12.swf"));
        QCOMPARE(command.arguments.size(), 11);
        QVERIFY(command.commandLine.endsWith(QStringLiteral(" -o \"//page12.swf\"")));
        QCOMPARE(PageFile(QStringLiteral("/x/"), 3), QStringLiteral("/x/page3.swf"));
    }
};

QTEST_GUILESS_MAIN(TestConverterCommand)
#include "tst_converter_command.moc"
