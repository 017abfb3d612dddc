// The page converter program, run as the build runs it: information mode, page mode with
// the three presets, and every kind of bad input.

#include "SwfReader.h"
#include "TestPdfs.h"
#include "TestSupport.h"

#include <QDir>
#include <QFile>
#include <QImage>
#include <QPainter>
#include <QPdfWriter>
#include <QProcess>
#include <QScopeGuard>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <csignal>
#include <poll.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace vellora::test;

namespace {

struct RunResult
{
    int exitCode = -1;
    QProcess::ExitStatus exitStatus = QProcess::CrashExit;
    QByteArray out;
    QByteArray err;
};

QString converterPath()
{
    return qEnvironmentVariable("XDG_DATA_HOME") + QStringLiteral("/vellora/pdf2swf");
}

RunResult runConverter(const QStringList& arguments)
{
    QProcess process;
    process.start(converterPath(), arguments);
    RunResult result;
    if (!process.waitForFinished(60000))
        return result;
    result.exitCode = process.exitCode();
    result.exitStatus = process.exitStatus();
    result.out = process.readAllStandardOutput();
    result.err = process.readAllStandardError();
    return result;
}

bool runTool(const QString& program, const QStringList& arguments)
{
    QProcess process;
    process.start(program, arguments);
    return process.waitForFinished(60000) && process.exitStatus() == QProcess::NormalExit &&
           process.exitCode() == 0;
}

QStringList folderEntries(const QString& folder)
{
    return QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot,
                                  QDir::Name);
}

QByteArray readAll(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// Mean absolute difference of two images of the same size, per channel, 0 to 255.
double meanDifference(const QImage& a, const QImage& b)
{
    const QImage first = a.convertToFormat(QImage::Format_RGB888);
    const QImage second = b.convertToFormat(QImage::Format_RGB888);
    if (first.size() != second.size())
        return 255;
    double total = 0;
    for (int y = 0; y < first.height(); ++y) {
        for (int x = 0; x < first.width() * 3; ++x)
            total += qAbs(first.constScanLine(y)[x] - second.constScanLine(y)[x]);
    }
    return total / (double(first.width()) * first.height() * 3);
}

QStringList tagCodes(const SwfFile& swf)
{
    QStringList codes;
    for (const SwfTag& tag : swf.tags)
        codes << QString::number(tag.code);
    return codes;
}

// A PDF of one page (200 x 200 points unless `box` says otherwise) drawing `content`, with
// Helvetica (or `font`) as /F1. Each of `forms` is a form XObject; the page and each form know
// the next one as /X.
QByteArray
onePagePdf(const QByteArray& content, const QList<QByteArray>& forms = {},
           const QByteArray& box = "/MediaBox [0 0 200 200]",
           const QByteArray& font = "<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica >>")
{
    const auto stream = [](const QByteArray& dictionary, const QByteArray& data) -> QByteArray {
        return "<< " + dictionary + "/Length " + QByteArray::number(data.size()) + " >>\nstream\n" +
               data + "\nendstream";
    };
    const auto formRef = [&](qsizetype index) -> QByteArray {
        return index < forms.size() ? "/XObject << /X " + QByteArray::number(6 + index) + " 0 R >> "
                                    : QByteArray();
    };
    QList<QByteArray> objects{
        "<< /Type /Catalog /Pages 2 0 R >>", "<< /Type /Pages /Kids [3 0 R] /Count 1 >>",
        "<< /Type /Page /Parent 2 0 R " + box + " /Resources << /Font << /F1 5 0 R >> " +
            formRef(0) + ">> /Contents 4 0 R >>",
        stream({}, content), font};
    for (qsizetype i = 0; i < forms.size(); ++i)
        objects.append(stream("/Type /XObject /Subtype /Form /BBox [0 0 200 200] /Resources << " +
                                  formRef(i + 1) + ">> ",
                              forms[i]));
    QByteArray pdf = "%PDF-1.4\n";
    QList<qsizetype> offsets;
    for (qsizetype i = 0; i < objects.size(); ++i) {
        offsets.append(pdf.size());
        pdf += QByteArray::number(i + 1) + " 0 obj\n" + objects[i] + "\nendobj\n";
    }
    const qsizetype xref = pdf.size();
    pdf += "xref\n0 " + QByteArray::number(objects.size() + 1) + "\n0000000000 65535 f \n";
    for (qsizetype offset : offsets)
        pdf += QByteArray::number(offset).rightJustified(10, '0') + " 00000 n \n";
    pdf += "trailer\n<< /Size " + QByteArray::number(objects.size() + 1) +
           " /Root 1 0 R >>\nstartxref\n" + QByteArray::number(xref) + "\n%%EOF\n";
    return pdf;
}

const QStringList kLowPreset{"-s", "-zoom=48", "-w", "-S", "-O2", "-s", "jpegquality=70"};
const QStringList kMediumPreset{"--flatten", "-s", "subpixels=1", "-s",
                                "-zoom=48",  "-w", "-s",          "jpegquality=70"};
const QStringList kHighPreset{"-s", "-zoom=48", "-G", "-w", "-s", "jpegquality=70"};

// Glyphs a movie defines (DefineFont3) and glyphs its texts place (DefineText2).
struct GlyphCounts
{
    int defined = 0;
    int placed = 0;
    int fonts = 0;
};

GlyphCounts countGlyphs(const SwfFile& swf)
{
    GlyphCounts counts;
    for (const SwfTag& tag : swf.tags) {
        SwfBitReader reader(tag.body);
        if (tag.code == 75) {
            reader.u16(); // id
            reader.u8();  // flags
            reader.u8();  // language
            const int nameLength = reader.u8();
            for (int i = 0; i < nameLength; ++i)
                reader.u8();
            counts.defined += reader.u16();
            ++counts.fonts;
        } else if (tag.code == 33) {
            reader.u16();
            reader.rect();
            reader.matrix();
            const int glyphBits = reader.u8(), advanceBits = reader.u8();
            for (int flags = reader.u8(); flags != 0; flags = reader.u8()) {
                if (flags & 0x08)
                    reader.u16(); // font
                if (flags & 0x04) {
                    for (int i = 0; i < 4; ++i)
                        reader.u8(); // colour
                }
                if (flags & 0x01)
                    reader.u16();
                if (flags & 0x02)
                    reader.u16();
                if (flags & 0x08)
                    reader.u16(); // height
                const int count = reader.u8();
                for (int i = 0; i < count; ++i) {
                    reader.readUnsigned(glyphBits);
                    reader.readSigned(advanceBits);
                }
                counts.placed += count;
            }
        }
    }
    return counts;
}

} // namespace

class TestPdf2swf : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_work{QDir::homePath() + QStringLiteral("/pdf2swf-XXXXXX")};
    QString pdf(const QString& name) const { return m_work.filePath(name); }
    QString freshFolder(const QString& name)
    {
        const QString folder = m_work.filePath(QStringLiteral("out-") + name);
        QDir(folder).removeRecursively();
        QDir().mkpath(folder);
        return folder;
    }
    QString m_mixedListing;

private Q_SLOTS:
    void initTestCase()
    {
        VELLORA_REQUIRE(QFile::exists(converterPath()), "pdf2swf in the tool folder");
        VELLORA_REQUIRE(!QStandardPaths::findExecutable("qpdf").isEmpty(), "qpdf");
        VELLORA_REQUIRE(!QStandardPaths::findExecutable("ps2pdf").isEmpty(), "ps2pdf");
        QVERIFY(m_work.isValid());

        const QPageSize custom(QSizeF(300, 400), QPageSize::Point, QStringLiteral("custom"),
                               QPageSize::ExactMatch);
        QVERIFY(makeTestPdf(
            pdf("mixed.pdf"),
            {{QPageSize(QPageSize::A4), QPageLayout::Portrait, PageContent::Text},
             {QPageSize(QPageSize::A4), QPageLayout::Landscape, PageContent::TextAndImage},
             {QPageSize(QPageSize::Letter), QPageLayout::Portrait, PageContent::Image},
             {custom, QPageLayout::Portrait, PageContent::Text}}));
        m_mixedListing = QStringLiteral("page=1 width=595 height=842\n"
                                        "page=2 width=842 height=595\n"
                                        "page=3 width=612 height=792\n"
                                        "page=4 width=300 height=400\n");

        // Page 2 turned a quarter: its landscape sheet now shows upright.
        QVERIFY(runTool("qpdf", {pdf("mixed.pdf"), "--rotate=+90:2", pdf("rotated.pdf")}));
        QVERIFY(runTool("qpdf", {"--encrypt", "secret", "owner", "256", "--", pdf("mixed.pdf"),
                                 pdf("user-password.pdf")}));
        QVERIFY(runTool("qpdf", {"--encrypt", "", "owner", "256", "--print=none", "--",
                                 pdf("mixed.pdf"), pdf("owner-password.pdf")}));

        // Another producer: Ghostscript's PDF writer, with a page of its own size.
        QFile postscript(pdf("doc.ps"));
        QVERIFY(postscript.open(QIODevice::WriteOnly));
        postscript.write("%!PS\n<< /PageSize [420 595] >> setpagedevice\n"
                         "/Helvetica findfont 20 scalefont setfont 40 500 moveto (A5 page) show\n"
                         "0 0 1 setrgbcolor 40 40 300 200 rectfill showpage\n");
        postscript.close();
        QVERIFY(runTool("ps2pdf", {pdf("doc.ps"), pdf("ghostscript.pdf")}));

        // Pages that the high preset cannot draw all in vectors: a gradient under a line of
        // text (the shading fills the whole page), and 7 000 small squares (more shapes
        // than a vector page may hold).
        QFile heavyDrawing(pdf("drawings.ps"));
        QVERIFY(heavyDrawing.open(QIODevice::WriteOnly));
        heavyDrawing.write(
            "%!PS\n<< /PageSize [595 842] >> setpagedevice\n"
            "<< /ShadingType 2 /ColorSpace /DeviceRGB /Coords [40 0 555 0] /Function "
            "<< /FunctionType 2 /Domain [0 1] /C0 [1 0 0] /C1 [0 0 1] /N 1 >> >> shfill\n"
            "/Helvetica findfont 20 scalefont setfont 40 780 moveto (Gradient) show\n"
            "showpage\n"
            "/Helvetica findfont 20 scalefont setfont 40 780 moveto (Squares) show\n"
            "0 1 6999 { /i exch def i 100 mod 5 mul 40 add i 100 idiv 5 mul 200 add 3 3 "
            "rectfill } for showpage\n");
        heavyDrawing.close();
        QVERIFY(runTool("ps2pdf", {pdf("drawings.ps"), pdf("drawings.pdf")}));

        // A scan: one photograph-like image over the whole page, no text.
        {
            QPdfWriter writer(pdf("scan.pdf"));
            writer.setPageSize(QPageSize(QPageSize::A4));
            writer.setPageMargins(QMarginsF());
            writer.setResolution(72);
            QImage scan(620, 877, QImage::Format_RGB32);
            for (int y = 0; y < scan.height(); ++y) {
                for (int x = 0; x < scan.width(); ++x)
                    scan.setPixel(x, y, qRgb(200 + (x * y) % 50, 190 + (x + y) % 60, 180));
            }
            QPainter painter(&writer);
            painter.drawImage(QRect(0, 0, 595, 842), scan);
        }

        QFile mixed(pdf("mixed.pdf"));
        QVERIFY(mixed.open(QIODevice::ReadOnly));
        const QByteArray whole = mixed.readAll();
        QFile truncated(pdf("truncated.pdf"));
        QVERIFY(truncated.open(QIODevice::WriteOnly));
        truncated.write(whole.left(whole.size() * 3 / 4));
        truncated.close();
        QFile garbage(pdf("garbage.pdf"));
        QVERIFY(garbage.open(QIODevice::WriteOnly));
        garbage.write(QByteArray("%PDF-1.4\nthis is not really a PDF\n").repeated(50));
        garbage.close();
        QFile empty(pdf("empty.pdf"));
        QVERIFY(empty.open(QIODevice::WriteOnly));
        empty.close();
        QDir().mkpath(pdf("folder.pdf"));

        // Hand-written files whose page list is wrong (MuPDF rebuilds their cross-reference
        // tables, which are missing).
        const auto handWritten = [this](const QString& name, const QByteArray& pagesNode) {
            QFile file(pdf(name));
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write("%PDF-1.4\n1 0 obj << /Type /Catalog /Pages 2 0 R >> endobj\n"
                       "2 0 obj " +
                       pagesNode +
                       " endobj\n"
                       "3 0 obj << /Type /Page /Parent 2 0 R /MediaBox [0 0 200 300] >> endobj\n"
                       "trailer << /Root 1 0 R >>\n%%EOF\n");
        };
        handWritten("count-too-large.pdf", "<< /Type /Pages /Kids [3 0 R] /Count 2 >>");
        handWritten("count-nine.pdf", "<< /Type /Pages /Kids [3 0 R 3 0 R 3 0 R] /Count 9 >>");
        for (const QByteArray size : {"3276 100", "3277 100", "2384 3370", "14400 14400", "3 3"}) {
            QFile file(pdf("size " + QString::fromLatin1(size) + ".pdf"));
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write("%PDF-1.4\n1 0 obj << /Type /Catalog /Pages 2 0 R >> endobj\n"
                       "2 0 obj << /Type /Pages /Kids [3 0 R] /Count 1 >> endobj\n"
                       "3 0 obj << /Type /Page /Parent 2 0 R /MediaBox [0 0 " +
                       size + "] >> endobj\ntrailer << /Root 1 0 R >>\n%%EOF\n");
        }
        // Cross-references that point nowhere: MuPDF rebuilds them from the objects.
        QByteArray wrongOffsets = whole;
        const qsizetype startxref = wrongOffsets.lastIndexOf("startxref");
        QVERIFY(startxref > 0);
        wrongOffsets.replace(startxref, wrongOffsets.indexOf("%%EOF", startxref) - startxref,
                             "startxref\n17\n");
        QFile repaired(pdf("repaired.pdf"));
        QVERIFY(repaired.open(QIODevice::WriteOnly));
        repaired.write(wrongOffsets);
        repaired.close();
        handWritten("tree-loop.pdf", "<< /Type /Pages /Kids [3 0 R 2 0 R] /Count 2 >>");
        handWritten("one-page.pdf", "<< /Type /Pages /Kids [3 0 R] /Count 1 >>");

        // Thousands of long strokes: quick to draw as a tiny image, seconds to draw at the
        // viewer's 1600 pixels, which leaves time to stop the converter in the middle.
        QFile heavy(pdf("heavy.ps"));
        QVERIFY(heavy.open(QIODevice::WriteOnly));
        heavy.write("%!PS\n<< /PageSize [595 842] >> setpagedevice 0.2 setlinewidth\n"
                    "0 1 5999 { /i exch def i 7 mul 595 mod i 13 mul 842 mod moveto\n"
                    "i 17 mul 595 mod i 11 mul 842 mod lineto stroke } for showpage\n");
        heavy.close();
        QVERIFY(runTool("ps2pdf", {pdf("heavy.ps"), pdf("heavy.pdf")}));
    }

    void informationMode_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<QString>("listing");
        QTest::newRow("mixed sizes and orientations") << "mixed.pdf" << m_mixedListing;
        QString rotated = m_mixedListing;
        rotated.replace("page=2 width=842 height=595", "page=2 width=595 height=842");
        QTest::newRow("rotated page") << "rotated.pdf" << rotated;
        QTest::newRow("owner password only") << "owner-password.pdf" << m_mixedListing;
        QTest::newRow("ghostscript") << "ghostscript.pdf"
                                     << "page=1 width=420 height=595\n";
        // Counted as a reader counts them: the pages the tree holds, after repair.
        QTest::newRow("repaired cross-references") << "repaired.pdf" << m_mixedListing;
        QTest::newRow("page count larger than the pages") << "count-too-large.pdf"
                                                          << "page=1 width=200 height=300\n";
        QTest::newRow("/Count 9 for three pages") << "count-nine.pdf"
                                                  << "page=1 width=200 height=300\n"
                                                     "page=2 width=200 height=300\n"
                                                     "page=3 width=200 height=300\n";
    }
    void informationMode()
    {
        QFETCH(QString, file);
        QFETCH(QString, listing);
        const RunResult result = runConverter({pdf(file), "-I"});
        QCOMPARE(result.exitStatus, QProcess::NormalExit);
        QCOMPARE(result.exitCode, 0);
        QCOMPARE(QString::fromUtf8(result.out), listing);
        QCOMPARE(result.err, QByteArray());
    }

    void badInput_data()
    {
        QTest::addColumn<QStringList>("arguments");
        const QString out = QStringLiteral("@OUT@/page1.swf");
        QTest::newRow("missing file, information") << QStringList{pdf("none.pdf"), "-I"};
        QTest::newRow("missing file, page")
            << QStringList{pdf("none.pdf"), "-p1"} + kLowPreset + QStringList{"-o", out};
        QTest::newRow("folder") << QStringList{pdf("folder.pdf"), "-I"};
        QTest::newRow("empty file") << QStringList{pdf("empty.pdf"), "-I"};
        QTest::newRow("not a PDF") << QStringList{pdf("garbage.pdf"), "-I"};
        QTest::newRow("truncated, information") << QStringList{pdf("truncated.pdf"), "-I"};
        QTest::newRow("truncated, page")
            << QStringList{pdf("truncated.pdf"), "-p1"} + kLowPreset + QStringList{"-o", out};
        QTest::newRow("page past the tree's real pages")
            << QStringList{pdf("count-nine.pdf"), "-p4", "-o", out};
        QTest::newRow("page tree loop") << QStringList{pdf("tree-loop.pdf"), "-I"};
        QTest::newRow("user password, information") << QStringList{pdf("user-password.pdf"), "-I"};
        QTest::newRow("user password, page")
            << QStringList{pdf("user-password.pdf"), "-p1"} + kLowPreset + QStringList{"-o", out};
        QTest::newRow("page 0") << QStringList{pdf("mixed.pdf"), "-p0"} + kLowPreset +
                                       QStringList{"-o", out};
        QTest::newRow("page past the end")
            << QStringList{pdf("mixed.pdf"), "-p5"} + kLowPreset + QStringList{"-o", out};
        QTest::newRow("-p without a number")
            << QStringList{pdf("mixed.pdf"), "-p"} + kLowPreset + QStringList{"-o", out};
        QTest::newRow("-p with letters") << QStringList{pdf("mixed.pdf"), "-pdeux", "-o", out};
        QTest::newRow("unknown option") << QStringList{pdf("mixed.pdf"), "-p1", "-x", "-o", out};
        QTest::newRow("unknown setting")
            << QStringList{pdf("mixed.pdf"), "-p1", "-s", "colour=red", "-o", out};
        QTest::newRow("quality over 100")
            << QStringList{pdf("mixed.pdf"), "-p1", "-s", "jpegquality=101", "-o", out};
        QTest::newRow("negative quality")
            << QStringList{pdf("mixed.pdf"), "-p1", "-s", "jpegquality=-1", "-o", out};
        QTest::newRow("quality not a number")
            << QStringList{pdf("mixed.pdf"), "-p1", "-s", "jpegquality=high", "-o", out};
        QTest::newRow("quality with a blank")
            << QStringList{pdf("mixed.pdf"), "-p1", "-s", "jpegquality=7 0", "-o", out};
        QTest::newRow("no output") << QStringList{pdf("mixed.pdf"), "-p1"} + kLowPreset;
        QTest::newRow("no input") << QStringList{"-I"};
        QTest::newRow("two inputs") << QStringList{pdf("mixed.pdf"), pdf("rotated.pdf"), "-I"};
        QTest::newRow("output folder missing")
            << QStringList{pdf("mixed.pdf"), "-p1", "-o", "@OUT@/missing/page1.swf"};
    }
    void badInput()
    {
        QFETCH(QStringList, arguments);
        const QString folder = freshFolder(QTest::currentDataTag());
        arguments.replaceInStrings(QStringLiteral("@OUT@"), folder);
        const RunResult result = runConverter(arguments);
        QCOMPARE(result.exitStatus, QProcess::NormalExit);
        QVERIFY(result.exitCode != 0);
        QCOMPARE(result.out, QByteArray());
        QVERIFY2(result.err.startsWith("pdf2swf: ") && result.err.endsWith('\n') &&
                     result.err.count('\n') == 1,
                 result.err.constData());
        QCOMPARE(folderEntries(folder), QStringList());
    }

    // An output path that names the document being read must never overwrite it.
    void outputNeverReplacesTheInput_data()
    {
        QTest::addColumn<QString>("inputName");
        QTest::newRow("movie path is the input") << "doc.swf";
        QTest::newRow("page image path is the input") << "doc.jpg";
    }
    void outputNeverReplacesTheInput()
    {
        QFETCH(QString, inputName);
        const QString folder = freshFolder(QTest::currentDataTag());
        const QString input = folder + u'/' + inputName;
        QVERIFY(QFile::copy(pdf("mixed.pdf"), input));
        const QByteArray before = readAll(input);
        const RunResult result = runConverter(QStringList{input, "-p1"} + kLowPreset +
                                              QStringList{"-o", folder + "/doc.swf"});
        QVERIFY(result.exitCode != 0);
        QVERIFY2(result.err.startsWith("pdf2swf: "), result.err.constData());
        QCOMPARE(readAll(input), before);
        QCOMPARE(folderEntries(folder), QStringList{inputName});
    }

    // Page files that are not regular files are refused before any drawing; the page's
    // other files stay as they were.
    void outputPathRefused_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("kind");
        QTest::newRow("movie is a FIFO") << "page1.swf"
                                         << "fifo";
        QTest::newRow("movie is a folder") << "page1.swf"
                                           << "folder";
        QTest::newRow("movie is a link") << "page1.swf"
                                         << "link";
        QTest::newRow("page image is a folder") << "page1.jpg"
                                                << "folder";
        QTest::newRow("thumbnail is a link") << "page1-t.jpg"
                                             << "link";
        QTest::newRow("movie is a device") << "/dev/full"
                                           << "device";
    }
    void outputPathRefused()
    {
        QFETCH(QString, name);
        QFETCH(QString, kind);
        const QString folder = freshFolder(QTest::currentDataTag());
        const QString target = m_work.filePath(QStringLiteral("link-target"));
        QVERIFY(writeFile(target, "target"));
        const QString path = name.startsWith(u'/') ? name : folder + u'/' + name;
        if (kind == "fifo")
            QCOMPARE(::mkfifo(QFile::encodeName(path).constData(), 0600), 0);
        else if (kind == "folder")
            QVERIFY(QDir().mkdir(path));
        else if (kind == "link")
            QVERIFY(QFile::link(target, path));
        for (const QString older : {"page1.swf", "page1.jpg", "page1-m.jpg"}) {
            if (!QFileInfo::exists(folder + u'/' + older) &&
                !QFileInfo(folder + u'/' + older).isSymLink())
                QVERIFY(writeFile(folder + u'/' + older, older.toUtf8() + " from before"));
        }
        const QStringList before = folderEntries(folder);
        const QString movie = kind == "device" ? path : folder + "/page1.swf";
        const RunResult result = runConverter(QStringList{pdf("mixed.pdf"), "-p1"} + kLowPreset +
                                              QStringList{"-o", movie});
        QVERIFY(result.exitCode != 0);
        QVERIFY2(result.err.startsWith("pdf2swf: ") && result.err.count('\n') == 1 &&
                     result.err.contains(QFile::encodeName(path)),
                 result.err.constData());
        QCOMPARE(folderEntries(folder), before);
        QCOMPARE(readAll(target), QByteArray("target"));
        for (const QString older : {"page1.swf", "page1.jpg", "page1-m.jpg"}) {
            if (QFileInfo(folder + u'/' + older).isFile() &&
                !QFileInfo(folder + u'/' + older).isSymLink())
                QCOMPARE(readAll(folder + u'/' + older), older.toUtf8() + " from before");
        }
        if (kind == "device") {
            QVERIFY(QFileInfo(path).exists() && !QFileInfo(path).isFile());
            QVERIFY(!QFileInfo::exists("/dev/full.jpg"));
        }
    }

    // The page image cannot be written in full (a file size limit stops it past the movie's
    // size): the previous files of the page survive byte for byte, and nothing is left over.
    void failedWriteKeepsThePreviousPage()
    {
        VELLORA_REQUIRE(!QStandardPaths::findExecutable("prlimit").isEmpty(), "prlimit");
        const QString scratch = freshFolder(QStringLiteral("sizes"));
        QCOMPARE(runConverter(QStringList{pdf("mixed.pdf"), "-p1"} + kLowPreset +
                              QStringList{"-o", scratch + "/page1.swf"})
                     .exitCode,
                 0);
        const qint64 movieSize = QFileInfo(scratch + "/page1.swf").size();
        QVERIFY(QFileInfo(scratch + "/page1.jpg").size() > movieSize);

        const QString folder = freshFolder(QStringLiteral("limit"));
        const QMap<QString, QByteArray> older{{"page1.swf", "older movie"},
                                              {"page1.jpg", "older image"},
                                              {"page1.svg", "older drawing"}};
        for (auto file = older.begin(); file != older.end(); ++file)
            QVERIFY(writeFile(folder + u'/' + file.key(), file.value()));
        QProcess process;
        process.start("prlimit", QStringList{"--fsize=" + QString::number(movieSize), "--",
                                             converterPath(), pdf("mixed.pdf"), "-p1"} +
                                     kLowPreset + QStringList{"-o", folder + "/page1.swf"});
        QVERIFY(process.waitForFinished(60000));
        QCOMPARE(process.exitStatus(), QProcess::NormalExit);
        QVERIFY(process.exitCode() != 0);
        const QByteArray error = process.readAllStandardError();
        QVERIFY2(error.startsWith("pdf2swf: ") && error.count('\n') == 1, error.constData());
        QCOMPARE(folderEntries(folder), QStringList(older.keys()));
        for (auto file = older.begin(); file != older.end(); ++file)
            QCOMPARE(readAll(folder + u'/' + file.key()), file.value());
    }

    void pageMode_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<int>("page");
        QTest::addColumn<QStringList>("options");
        QTest::addColumn<QSize>("pagePoints");
        QTest::addColumn<bool>("hasText"); // the page's text layer is written beside it
        QTest::newRow("A4 text, low") << "mixed.pdf" << 1 << kLowPreset << QSize(595, 842) << true;
        QTest::newRow("landscape, medium")
            << "mixed.pdf" << 2 << kMediumPreset << QSize(842, 595) << true;
        QTest::newRow("letter image, high")
            << "mixed.pdf" << 3 << kHighPreset << QSize(612, 792) << false;
        QTest::newRow("small page, low")
            << "mixed.pdf" << 4 << kLowPreset << QSize(300, 400) << true;
        QTest::newRow("rotated page")
            << "rotated.pdf" << 2 << kLowPreset << QSize(595, 842) << true;
        QTest::newRow("owner password")
            << "owner-password.pdf" << 1 << kHighPreset << QSize(595, 842) << true;
        QTest::newRow("ghostscript")
            << "ghostscript.pdf" << 1 << kMediumPreset << QSize(420, 595) << true;
        QTest::newRow("empty quality")
            << "mixed.pdf" << 2 << QStringList{"-s", "-zoom=48", "-s", "jpegquality="}
            << QSize(842, 595) << true;
    }
    void pageMode()
    {
        QFETCH(QString, file);
        QFETCH(int, page);
        QFETCH(QStringList, options);
        QFETCH(QSize, pagePoints);
        QFETCH(bool, hasText);
        const QString folder = freshFolder(QTest::currentDataTag());
        const QString movie = folder + QStringLiteral("/page%1.swf").arg(page);
        const RunResult result =
            runConverter(QStringList{pdf(file), QStringLiteral("-p%1").arg(page)} + options +
                         QStringList{"-o", movie});
        QCOMPARE(result.err, QByteArray());
        QCOMPARE(result.exitCode, 0);
        // The medium and high presets add the page's SVG and draw the movie as vectors.
        const bool vector = options.contains("-G") || options.contains("--flatten");
        QStringList files{QStringLiteral("page%1-m.jpg").arg(page),
                          QStringLiteral("page%1-t.jpg").arg(page),
                          QStringLiteral("page%1.jpg").arg(page)};
        if (hasText)
            files << QStringLiteral("page%1.js").arg(page);
        if (vector)
            files << QStringLiteral("page%1.svg").arg(page);
        files << QStringLiteral("page%1.swf").arg(page);
        QCOMPARE(folderEntries(folder), files);

        QFile movieFile(movie);
        QVERIFY(movieFile.open(QIODevice::ReadOnly));
        SwfFile swf;
        try {
            swf = readSwf(movieFile.readAll());
        } catch (const std::exception& error) {
            QFAIL(error.what());
        }
        QCOMPARE(swf.signature, QByteArray("CWS"));
        QCOMPARE(swf.version, 10);
        QCOMPARE(qsizetype(swf.fileLength), swf.actualLength);
        QCOMPARE(swf.frameCount, 1);
        const int widthTwips = pagePoints.width() * 20, heightTwips = pagePoints.height() * 20;
        QCOMPARE(swf.frameSize.xMin, 0);
        QCOMPARE(swf.frameSize.yMin, 0);
        QCOMPARE(swf.frameSize.xMax, widthTwips);
        QCOMPARE(swf.frameSize.yMax, heightTwips);
        if (vector) {
            const QByteArray svg = readAll(folder + QStringLiteral("/page%1.svg").arg(page));
            QVERIFY(svg.contains("<svg"));
            QVERIFY(svg.trimmed().endsWith("</svg>"));
            QCOMPARE(tagCodes(swf).mid(0, 2), QStringList({"69", "9"}));
            QCOMPARE(tagCodes(swf).mid(tagCodes(swf).size() - 2), QStringList({"1", "0"}));
            return;
        }
        // FileAttributes, SetBackgroundColor, DefineBitsJPEG2, DefineShape, PlaceObject2,
        // ShowFrame, End.
        QCOMPARE(tagCodes(swf), QStringList({"69", "9", "21", "2", "26", "1", "0"}));

        const QByteArray bitmapTag = swf.tags[2].body;
        SwfBitReader bitmapReader(bitmapTag);
        QCOMPARE(bitmapReader.u16(), quint16(1));
        const QImage image = QImage::fromData(bitmapTag.mid(2), "JPEG");
        QVERIFY(!image.isNull());
        // 48 dots per inch, as the preset's zoom asks, and a pixel of border on each side
        // that the stage leaves out.
        QVERIFY(qAbs(image.width() - 2 - pagePoints.width() * 48 / 72) <= 1);
        QVERIFY(qAbs(image.height() - 2 - pagePoints.height() * 48 / 72) <= 1);

        SwfBitReader shape(swf.tags[3].body);
        QCOMPARE(shape.u16(), quint16(2));
        const SwfRect bounds = shape.rect();
        QCOMPARE(bounds.xMax, widthTwips);
        QCOMPARE(bounds.yMax, heightTwips);
        QCOMPARE(shape.u8(), quint8(1));    // one fill style
        QCOMPARE(shape.u8(), quint8(0x41)); // clipped, smoothed bitmap
        QCOMPARE(shape.u16(), quint16(1));  // the page image
        const SwfBitReader::Matrix matrix = shape.matrix();
        QVERIFY(qAbs(matrix.scaleX * (image.width() - 2) - widthTwips) < 1);
        QVERIFY(qAbs(matrix.scaleY * (image.height() - 2) - heightTwips) < 1);
        QVERIFY(qAbs(matrix.translateX + matrix.scaleX) <= 1);
        QVERIFY(qAbs(matrix.translateY + matrix.scaleY) <= 1);

        SwfBitReader place(swf.tags[4].body);
        QCOMPARE(place.u8() & 0x02, 0x02); // places a character
        QCOMPARE(place.u16(), quint16(1)); // depth
        QCOMPARE(place.u16(), quint16(2)); // the shape

        // The images beside the movie, of the page's shape: long sides 1600 (or a pixel
        // more), 800 and 200. All baseline JPEG: they show at once from a local folder.
        const struct
        {
            const char* suffix;
            int longSide;
            int slack;
        } sideImages[] = {{".jpg", 1600, 2}, {"-m.jpg", 800, 0}, {"-t.jpg", 200, 0}};
        for (const auto& side : sideImages) {
            const QByteArray jpeg =
                readAll(folder + QStringLiteral("/page%1").arg(page) + side.suffix);
            QVERIFY2(jpeg.contains("\xFF\xC0"), side.suffix);
            const QImage image = QImage::fromData(jpeg, "JPEG");
            QVERIFY(!image.isNull());
            const int longSide = qMax(image.width(), image.height());
            QVERIFY2(longSide >= side.longSide && longSide <= side.longSide + side.slack,
                     qPrintable(QString::number(longSide)));
            QCOMPARE(image.width() > image.height(), pagePoints.width() > pagePoints.height());
            const double expectedShort = double(side.longSide) *
                                         qMin(pagePoints.width(), pagePoints.height()) /
                                         qMax(pagePoints.width(), pagePoints.height());
            QVERIFY(qAbs(qMin(image.width(), image.height()) - expectedShort) <= 2);
            // The smaller images show the same picture as the page image: compared at a
            // quarter of the thumbnail's size, where JPEG noise and the finest strokes of the
            // text fade but a picture shifted, stretched or missing shows (measured: at most
            // 2.5 on these pages; a white page instead measures 14 and more).
            const QSize coarse = image.size() * 50 / qMax(image.width(), image.height());
            const auto reduced = [&](const QImage& picture) {
                return picture.scaled(coarse, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
            };
            const double difference = meanDifference(
                reduced(QImage(folder + QStringLiteral("/page%1.jpg").arg(page))), reduced(image));
            QVERIFY2(difference < 4, qPrintable(QString::number(difference)));
        }
    }

    // Any page size converts: the stage and the image kept within what Flash shows (8191
    // pixels a side, 16 777 215 in all) by scaling down, long edges split into several
    // records, and the images beside the movie at their usual sizes. The movie's image has
    // a pixel of border on each side, but where it would pass those limits.
    void pageSizes_data()
    {
        QTest::addColumn<QString>("size");
        QTest::addColumn<QSize>("stageTwips");
        QTest::addColumn<QSize>("imagePixels");
        QTest::newRow("3276 pt, the longest edge record")
            << "3276 100" << QSize(65520, 2000) << QSize(2186, 69);
        QTest::newRow("3277 pt") << "3277 100" << QSize(65540, 2000) << QSize(2187, 69);
        QTest::newRow("A0") << "2384 3370" << QSize(47680, 67400) << QSize(1592, 2249);
        QTest::newRow("14400 pt, scaled down")
            << "14400 14400" << QSize(81920, 81920) << QSize(4096, 4096);
        QTest::newRow("3 x 3 pt") << "3 3" << QSize(60, 60) << QSize(4, 4);
    }
    void pageSizes()
    {
        QFETCH(QString, size);
        QFETCH(QSize, stageTwips);
        QFETCH(QSize, imagePixels);
        const QString file = pdf("size " + size + ".pdf");
        const QStringList points = size.split(u' ');
        const RunResult listing = runConverter({file, "-I"});
        QCOMPARE(QString::fromUtf8(listing.out),
                 "page=1 width=" + points[0] + " height=" + points[1] + "\n");

        const QString folder = freshFolder(QTest::currentDataTag());
        const RunResult result = runConverter(QStringList{file, "-p1"} + kLowPreset +
                                              QStringList{"-o", folder + "/page1.swf"});
        QCOMPARE(result.err, QByteArray());
        QCOMPARE(result.exitCode, 0);
        QCOMPARE(folderEntries(folder),
                 QStringList({"page1-m.jpg", "page1-t.jpg", "page1.jpg", "page1.swf"}));
        SwfFile swf;
        try {
            swf = readSwf(readAll(folder + "/page1.swf"));
        } catch (const std::exception& error) {
            QFAIL(error.what());
        }
        QCOMPARE(QSize(swf.frameSize.xMax, swf.frameSize.yMax), stageTwips);
        QCOMPARE(QImage::fromData(swf.tags[2].body.mid(2), "JPEG").size(), imagePixels);
        SwfBitReader shape(swf.tags[3].body);
        shape.u16();
        const SwfRect bounds = shape.rect();
        QCOMPARE(QSize(bounds.xMax, bounds.yMax), stageTwips);
        QCOMPARE(
            qMax(QImage(folder + "/page1-m.jpg").width(), QImage(folder + "/page1-m.jpg").height()),
            800);
        QCOMPARE(
            qMax(QImage(folder + "/page1-t.jpg").width(), QImage(folder + "/page1-t.jpg").height()),
            200);
    }

    void qualityChangesTheImages()
    {
        const QString folder = freshFolder(QStringLiteral("quality"));
        QMap<QString, QByteArray> movies;
        for (const QString quality : {"", "85", "10", "95"}) {
            const QString movie = folder + u"/q" + quality + u".swf";
            const RunResult result = runConverter(
                {pdf("mixed.pdf"), "-p2", "-s", "jpegquality=" + quality, "-o", movie});
            QCOMPARE(result.exitCode, 0);
            QFile file(movie);
            QVERIFY(file.open(QIODevice::ReadOnly));
            movies[quality] = file.readAll();
        }
        QCOMPARE(movies[""], movies["85"]); // an empty quality means the default, 85
        QVERIFY(movies["10"].size() < movies["85"].size());
        QVERIFY(movies["85"].size() < movies["95"].size());
        QVERIFY(QFileInfo(folder + "/q10.jpg").size() < QFileInfo(folder + "/q95.jpg").size());
    }

    void textPageMovieIsSmall()
    {
        const QString folder = freshFolder(QStringLiteral("small"));
        const RunResult result = runConverter(QStringList{pdf("mixed.pdf"), "-p1"} + kLowPreset +
                                              QStringList{"-o", folder + "/page1.swf"});
        QCOMPARE(result.exitCode, 0);
        QVERIFY(QFileInfo(folder + "/page1.swf").size() < 60 * 1024);
    }

    // The page's files are replaced, its side files that this run did not write are removed,
    // and nothing else is touched.
    void existingFilesAreReplaced()
    {
        const QString folder = freshFolder(QStringLiteral("replace"));
        for (const QString name :
             {"page1.swf", "page1.jpg", "page1.svg", "page1.js", "page10.svg", "notes.txt"})
            QVERIFY(writeFile(folder + u'/' + name, "old"));
        const RunResult result = runConverter(QStringList{pdf("mixed.pdf"), "-p1"} + kLowPreset +
                                              QStringList{"-o", folder + "/page1.swf"});
        QCOMPARE(result.exitCode, 0);
        QVERIFY(QFileInfo(folder + "/page1.swf").size() > 100);
        QVERIFY(QFileInfo(folder + "/page1.jpg").size() > 100);
        QCOMPARE(folderEntries(folder),
                 QStringList({"notes.txt", "page1-m.jpg", "page1-t.jpg", "page1.jpg", "page1.js",
                              "page1.swf", "page10.svg"}));
        QCOMPARE(readAll(folder + "/page10.svg"), QByteArray("old"));
    }

    // Stopped while the movie waits in its temporary file: nothing may remain. The converter
    // is held (SIGSTOP) the moment the folder watch sees that file made; a run that got past
    // its commit before the hold is started again.
    void sigtermRemovesTemporaryFiles()
    {
        bool held = false;
        for (int attempt = 0; attempt < 5 && !held; ++attempt) {
            const QString folder = freshFolder(QStringLiteral("sigterm%1").arg(attempt));
            const int watch = inotify_init1(IN_CLOEXEC);
            QVERIFY(watch >= 0);
            const auto closeWatch = qScopeGuard([watch] { ::close(watch); });
            QVERIFY(inotify_add_watch(watch, QFile::encodeName(folder).constData(), IN_CREATE) >=
                    0);
            QProcess process;
            process.start(converterPath(),
                          {pdf("heavy.pdf"), "-p1", "-s", "zoom=1", "-o", folder + "/page1.swf"});
            QVERIFY(process.waitForStarted());
            const pid_t pid = pid_t(process.processId());
            bool staged = false;
            alignas(inotify_event) char buffer[4096];
            pollfd ready{watch, POLLIN, 0};
            // Waits for the file, however long the page takes, while the converter runs; the
            // bound is only a guard against a converter that hangs.
            for (int second = 0; !staged && second < 600; ++second) {
                if (::poll(&ready, 1, 1000) <= 0) {
                    if (process.waitForFinished(0))
                        break;
                    continue;
                }
                const ssize_t got = ::read(watch, buffer, sizeof buffer);
                for (ssize_t at = 0; at < got;) {
                    const auto* event = reinterpret_cast<const inotify_event*>(buffer + at);
                    if (event->len && QByteArray(event->name).startsWith(".page1.swf.")) {
                        ::kill(pid, SIGSTOP);
                        staged = true;
                    }
                    at += ssize_t(sizeof(inotify_event) + event->len);
                }
            }
            QVERIFY2(staged, "the movie's temporary file never appeared");
            held = !QFileInfo::exists(folder + "/page1.swf");
            ::kill(pid, SIGTERM);
            ::kill(pid, SIGCONT);
            QVERIFY(process.waitForFinished(30000));
            if (!held)
                continue; // committed before the hold: try again
            QCOMPARE(process.exitStatus(), QProcess::CrashExit); // ended by the signal
            QCOMPARE(folderEntries(folder), QStringList());
        }
        QVERIFY2(held, "the converter was never held before its commit");
    }

    // However often a character occurs on the page, its glyph is drawn once in its font;
    // the texts only place it.
    void glyphsAreDefinedOncePerMovie_data()
    {
        QTest::addColumn<QStringList>("options");
        QTest::newRow("medium") << kMediumPreset;
        QTest::newRow("high") << kHighPreset;
    }
    void glyphsAreDefinedOncePerMovie()
    {
        QFETCH(QStringList, options);
        const QString folder = freshFolder(QTest::currentDataTag());
        const RunResult result = runConverter(QStringList{pdf("mixed.pdf"), "-p1"} + options +
                                              QStringList{"-o", folder + "/page1.swf"});
        QCOMPARE(result.err, QByteArray());
        QCOMPARE(result.exitCode, 0);
        const GlyphCounts counts = countGlyphs(readSwf(readAll(folder + "/page1.swf")));
        // "Page 1" and 25 lines of "Ligne N : portez ce vieux whisky au juge blond qui
        // fume.": 41 different characters, spaces included, in 1 422 characters.
        QCOMPARE(counts.fonts, 1);
        QCOMPARE(counts.defined, 41);
        QVERIFY2(counts.placed >= 1300, qPrintable(QString::number(counts.placed)));
    }

    // A text placed across a poster: "ABC" with 900 points after each letter, so that each
    // lies out of reach of the others in one text. Every letter is still placed.
    void farApartGlyphsAreAllPlaced()
    {
        QVERIFY(writeFile(pdf("poster.ps"), "%!PS\n<< /PageSize [2400 400] >> setpagedevice\n"
                                            "/Helvetica findfont 12 scalefont setfont\n"
                                            "72 200 moveto 900 0 (ABC) ashow showpage\n"));
        QVERIFY(runTool("ps2pdf", {pdf("poster.ps"), pdf("poster.pdf")}));
        for (const QStringList& options : {kMediumPreset, kHighPreset}) {
            const QString folder = freshFolder("poster");
            const RunResult result = runConverter(QStringList{pdf("poster.pdf"), "-p1"} + options +
                                                  QStringList{"-o", folder + "/page1.swf"});
            QCOMPARE(result.exitCode, 0);
            const GlyphCounts counts = countGlyphs(readSwf(readAll(folder + "/page1.swf")));
            QCOMPARE(counts.defined, 3);
            QCOMPARE(counts.placed, 3);
        }
    }

    // What the high preset cannot draw as vectors keeps its text as glyphs over an image
    // of the rest of the page; the converter says why.
    void highPresetFallsBackToTextOverImage_data()
    {
        QTest::addColumn<int>("page");
        QTest::addColumn<QString>("reason");
        QTest::newRow("gradient") << 1 << "dégradé sans forme vectorielle";
        QTest::newRow("7000 shapes") << 2 << "trop de tracés (7000 formes, 35000 segments)";
    }
    void highPresetFallsBackToTextOverImage()
    {
        QFETCH(int, page);
        QFETCH(QString, reason);
        const QString folder = freshFolder(QTest::currentDataTag());
        const QString movie = folder + QStringLiteral("/page%1.swf").arg(page);
        const RunResult result =
            runConverter(QStringList{pdf("drawings.pdf"), QStringLiteral("-p%1").arg(page)} +
                         kHighPreset + QStringList{"-o", movie});
        QCOMPARE(result.exitCode, 0);
        QCOMPARE(QString::fromUtf8(result.err),
                 QStringLiteral("pdf2swf: %1, page %2 : %3 : texte vectoriel sur fond d'image\n")
                     .arg(pdf("drawings.pdf"))
                     .arg(page)
                     .arg(reason));
        const QStringList codes = tagCodes(readSwf(readAll(movie)));
        QVERIFY(codes.contains("21"));  // the page's image
        QVERIFY(codes.contains("75"));  // the font
        QVERIFY(codes.contains("33"));  // the text
        QVERIFY(!codes.contains("83")); // no vector shapes
        QVERIFY(QFile::exists(folder + QStringLiteral("/page%1.svg").arg(page)));
    }

    // A scanned page has nothing that vectors would keep sharp: it stays in image form,
    // without an SVG, and the converter says so.
    void scannedPageStaysAnImage()
    {
        const QString folder = freshFolder(QStringLiteral("scan"));
        const RunResult result = runConverter(QStringList{pdf("scan.pdf"), "-p1"} + kHighPreset +
                                              QStringList{"-o", folder + "/page1.swf"});
        QCOMPARE(result.exitCode, 0);
        QCOMPARE(QString::fromUtf8(result.err),
                 "pdf2swf: " + pdf("scan.pdf") + ", page 1 : page numérisée, gardée en image\n");
        QCOMPARE(folderEntries(folder),
                 QStringList({"page1-m.jpg", "page1-t.jpg", "page1.jpg", "page1.swf"}));
        QCOMPARE(tagCodes(readSwf(readAll(folder + "/page1.swf"))),
                 QStringList({"69", "9", "21", "2", "26", "1", "0"}));
    }

    // A page the vector forms cannot encode (a glyph 50 million points away, past what a SWF
    // coordinate holds) keeps the image form, and the converter says so.
    void unencodablePageStaysAnImage_data()
    {
        QTest::addColumn<QStringList>("preset");
        QTest::newRow("medium") << kMediumPreset;
        QTest::newRow("high") << kHighPreset;
    }
    void unencodablePageStaysAnImage()
    {
        QFETCH(QStringList, preset);
        const QString folder = freshFolder(QTest::currentDataTag() + QStringLiteral("-far"));
        const QString input = folder + "/loin.pdf";
        QVERIFY(writeFile(input, onePagePdf("BT /F1 12 Tf -60000000 100 Td "
                                            "[(A) -5000000000 (Bonjour)] TJ ET")));
        const RunResult result = runConverter(QStringList{input, "-p1"} + preset +
                                              QStringList{"-o", folder + "/page1.swf"});
        QCOMPARE(result.exitCode, 0);
        QCOMPARE(QString::fromUtf8(result.err),
                 "pdf2swf: " + input +
                     ", page 1 : coordonnées hors des limites du format SWF, gardée en image\n");
        QCOMPARE(tagCodes(readSwf(readAll(folder + "/page1.swf"))),
                 QStringList({"69", "9", "21", "2", "26", "1", "0"}));
        QVERIFY(!QFile::exists(folder + "/page1.svg"));
    }

    // A Type 3 glyph painted as a busy bitmap (a halftone) stays in the page's image: traced
    // into rectangles it would weigh hundreds of kilobytes.
    void busyType3GlyphStaysInTheImage()
    {
        QByteArray halftone;
        for (int row = 0; row < 256; ++row)
            halftone += QByteArray(32, row % 2 ? '\x55' : '\xAA');
        const QByteArray glyph = "1000 0 0 0 1000 1000 d1 q 1000 0 0 1000 0 0 cm "
                                 "BI /W 256 /H 256 /IM true /BPC 1 ID\n" +
                                 halftone + "\nEI Q";
        const QByteArray font = "<< /Type /Font /Subtype /Type3 /FontBBox [0 0 1000 1000] "
                                "/FontMatrix [0.001 0 0 0.001 0 0] /CharProcs << /A 6 0 R >> "
                                "/Encoding << /Type /Encoding /Differences [65 /A] >> "
                                "/FirstChar 65 /LastChar 65 /Widths [1000] >>";
        const QString folder = freshFolder(QStringLiteral("halftone"));
        QVERIFY(
            writeFile(folder + "/trame.pdf", onePagePdf("BT /F1 40 Tf 10 100 Td (AAAA) Tj ET",
                                                        {glyph}, "/MediaBox [0 0 200 200]", font)));
        const RunResult result =
            runConverter(QStringList{folder + "/trame.pdf", "-p1"} + kMediumPreset +
                         QStringList{"-o", folder + "/page1.swf"});
        QCOMPARE(result.exitCode, 0);
        QCOMPARE(countGlyphs(readSwf(readAll(folder + "/page1.swf"))).defined, 0);
        QVERIFY(QFileInfo(folder + "/page1.swf").size() < 20000);
    }

    // A rule lands on the stage where the page puts it, its top left corner at the stage's:
    // twenty twips a point, y downwards from the page's top edge, whatever the box's origin
    // and the page's rotation. Read from the rule's edge bounds (DefineShape4), half its
    // width added on every side for its shape bounds.
    void ruleLandsWhereThePagePutsIt_data()
    {
        QTest::addColumn<QByteArray>("box");
        QTest::addColumn<QByteArray>("rule");
        QTest::addColumn<QList<int>>("stage");
        QTest::addColumn<QList<int>>("edges");
        QTest::addColumn<QList<int>>("shape");
        // 841.89 - 791.5 = 50.39 points from the top: 1007.8 twips.
        QTest::newRow("A4") << QByteArray("/MediaBox [0 0 595.276 841.89]")
                            << QByteArray("1 w 100 791.5 m 500 791.5 l S")
                            << QList<int>{0, 11906, 0, 16838} << QList<int>{2000, 10000, 1008, 1008}
                            << QList<int>{1990, 10010, 998, 1018};
        // x from 80 - 50 = 30 points, y 300 - 250 = 50 points from the top.
        QTest::newRow("box away from the origin")
            << QByteArray("/MediaBox [50 100 250 300]") << QByteArray("2 w 80 250 m 180 250 l S")
            << QList<int>{0, 4000, 0, 4000} << QList<int>{600, 2600, 1000, 1000}
            << QList<int>{580, 2620, 980, 1020};
        // Turned a quarter clockwise, the 200 x 100 sheet shows 100 x 200: (x, y) shows at
        // x' = y, y' = x.
        QTest::newRow("turned a quarter")
            << QByteArray("/MediaBox [0 0 200 100] /Rotate 90")
            << QByteArray("1 w 20 30 m 120 30 l S") << QList<int>{0, 2000, 0, 4000}
            << QList<int>{600, 600, 400, 2400} << QList<int>{590, 610, 390, 2410};
    }
    void ruleLandsWhereThePagePutsIt()
    {
        QFETCH(QByteArray, box);
        QFETCH(QByteArray, rule);
        QFETCH(QList<int>, stage);
        QFETCH(QList<int>, edges);
        QFETCH(QList<int>, shape);
        const QString folder = freshFolder(QTest::currentDataTag());
        QVERIFY(writeFile(folder + "/rule.pdf", onePagePdf(rule, {}, box)));
        const RunResult result =
            runConverter(QStringList{folder + "/rule.pdf", "-p1"} + kHighPreset +
                         QStringList{"-o", folder + "/page1.swf"});
        QCOMPARE(result.err, QByteArray());
        QCOMPARE(result.exitCode, 0);
        const SwfFile swf = readSwf(readAll(folder + "/page1.swf"));
        const auto corners = [](const SwfRect& r) {
            return QList<int>{r.xMin, r.xMax, r.yMin, r.yMax};
        };
        QCOMPARE(corners(swf.frameSize), stage);
        QCOMPARE(tagCodes(swf), QStringList({"69", "9", "83", "26", "1", "0"}));
        SwfBitReader reader(swf.tags[2].body);
        reader.u16(); // id
        QCOMPARE(corners(reader.rect()), shape);
        QCOMPARE(corners(reader.rect()), edges);
    }

    // A page that would keep the converter busy for ever (forms nested five deep, 10^11
    // operators) is stopped at the processor time limit, which a lower limit of the caller
    // brings forward; nothing of the page is left behind.
    void processorTimeIsBounded()
    {
        const QString folder = freshFolder(QStringLiteral("dense"));
        const QString input = folder + "/dense.pdf";
        QVERIFY(writeFile(input, onePagePdf("/X Do", {QByteArray("/X Do ").repeated(100),
                                                      QByteArray("/X Do ").repeated(100),
                                                      QByteArray("/X Do ").repeated(100),
                                                      QByteArray("/X Do ").repeated(100),
                                                      QByteArray("1 w ").repeated(1000)})));
        QProcess process;
        // Soft limit only: the converter keeps the hard one for its own clean-up.
        process.start("bash", {"-c", "ulimit -S -t 1 && exec \"$0\" \"$@\"", converterPath(), input,
                               "-p1", "-o", folder + "/page1.swf"});
        QVERIFY(process.waitForFinished(300000));
        QCOMPARE(process.exitStatus(), QProcess::NormalExit);
        QCOMPARE(process.exitCode(), 1);
        QCOMPARE(QString::fromUtf8(process.readAllStandardError()),
                 "pdf2swf: " + input +
                     ", page 1 : page arrêtée après 1 s de calcul : elle est trop complexe pour "
                     "être convertie\n");
        QCOMPARE(folderEntries(folder), QStringList({"dense.pdf"}));
    }

    void helpAndVersion()
    {
        const RunResult help = runConverter({"--help"});
        QCOMPARE(help.exitCode, 0);
        QVERIFY(help.out.contains("-I"));
        QVERIFY(help.out.contains("jpegquality"));
        QVERIFY(help.out.contains("sans effet"));
        QVERIFY(help.out.contains("Tout ou rien"));
        QVERIFY(help.out.contains("--flatten"));
        QVERIFY(help.out.contains("-G"));
        const RunResult version = runConverter({"--version"});
        QCOMPARE(version.exitCode, 0);
        QVERIFY(version.out.startsWith("pdf2swf (Vellora) "));
    }
};

QTEST_MAIN(TestPdf2swf)
#include "tst_pdf2swf.moc"
