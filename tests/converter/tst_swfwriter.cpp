// The SWF writer read back by an independent reader: bit fields, records, tag headers,
// compression and shapes with negative coordinates and curves.

#include "SwfMovie.h"
#include "SwfReader.h"
#include "SwfVector.h"

#include <QTest>
#include <stdexcept>

using namespace vellora;
using namespace vellora::test;

namespace {

QByteArray toQByteArray(const swf::Bytes& bytes)
{
    return QByteArray(reinterpret_cast<const char*>(bytes.data()), qsizetype(bytes.size()));
}

QByteArray tagBytes(const swf::Tag& tag)
{
    swf::Bytes out;
    swf::writeTag(out, tag);
    return toQByteArray(out);
}

} // namespace

class TestSwfWriter : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void bitFieldsRoundTrip_data()
    {
        QTest::addColumn<int>("value");
        QTest::addColumn<int>("bits");
        QTest::newRow("zero") << 0 << 1;
        QTest::newRow("one") << 1 << 2;
        QTest::newRow("minus one") << -1 << 1;
        QTest::newRow("page width") << 11900 << 15;
        QTest::newRow("negative") << -16840 << 16;
        QTest::newRow("large") << (1 << 29) << 31;
    }
    void bitFieldsRoundTrip()
    {
        QFETCH(int, value);
        QFETCH(int, bits);
        QCOMPARE(swf::signedBitsFor(value), bits);
        swf::Bytes bytes;
        {
            swf::BitWriter writer(bytes);
            writer.writeUnsigned(5, 3); // a field before, to cross byte boundaries
            writer.writeSigned(value, bits);
            writer.writeUnsigned(1, 1);
        }
        const QByteArray data = toQByteArray(bytes);
        SwfBitReader reader(data);
        QCOMPARE(reader.readUnsigned(3), 5u);
        QCOMPARE(reader.readSigned(bits), value);
        QCOMPARE(reader.readUnsigned(1), 1u);
    }

    void tooNarrowFieldsAreRefused()
    {
        swf::Bytes bytes;
        swf::BitWriter writer(bytes);
        QVERIFY_THROWS_EXCEPTION(std::range_error, writer.writeUnsigned(8, 3));
        QVERIFY_THROWS_EXCEPTION(std::range_error, writer.writeSigned(-5, 3));
    }

    void rectAndMatrix()
    {
        swf::Bytes bytes;
        swf::ByteWriter writer(bytes);
        writer.rect({-20, 11900, -400, 16840});
        swf::Matrix matrix;
        matrix.scaleX = 29.97;
        matrix.scaleY = -0.5;
        matrix.rotateSkew0 = 0.25;
        matrix.translateX = -1234;
        matrix.translateY = 5678;
        writer.matrix(matrix);
        writer.matrix({}); // identity: three empty fields
        const QByteArray data = toQByteArray(bytes);
        SwfBitReader reader(data);
        const SwfRect rect = reader.rect();
        QCOMPARE(rect.xMin, -20);
        QCOMPARE(rect.xMax, 11900);
        QCOMPARE(rect.yMin, -400);
        QCOMPARE(rect.yMax, 16840);
        const SwfBitReader::Matrix read = reader.matrix();
        QVERIFY(qAbs(read.scaleX - 29.97) < 1e-4);
        QCOMPARE(read.scaleY, -0.5);
        QCOMPARE(read.skew0, 0.25);
        QCOMPARE(read.skew1, 0.0);
        QCOMPARE(read.translateX, -1234);
        QCOMPARE(read.translateY, 5678);
        const SwfBitReader::Matrix identity = reader.matrix();
        QCOMPARE(identity.scaleX, 1.0);
        QCOMPARE(identity.translateX, 0);
        QCOMPARE(reader.bytePosition(), data.size());
    }

    void tagHeaders_data()
    {
        QTest::addColumn<int>("length");
        QTest::addColumn<bool>("forceLong");
        QTest::addColumn<bool>("expectLong");
        QTest::newRow("empty") << 0 << false << false;
        QTest::newRow("62 bytes") << 62 << false << false;
        QTest::newRow("63 bytes") << 63 << false << true;
        QTest::newRow("large") << 70000 << false << true;
        QTest::newRow("short body, long header asked") << 4 << true << true;
    }
    void tagHeaders()
    {
        QFETCH(int, length);
        QFETCH(bool, forceLong);
        QFETCH(bool, expectLong);
        swf::Movie movie({0, 200, 0, 200});
        swf::Bytes body(std::size_t(length), 0xAB);
        movie.add(swf::tag(std::uint16_t(77), body, forceLong));
        movie.add(swf::showFrame());
        for (const auto compression : {swf::Compression::None, swf::Compression::Zlib}) {
            const SwfFile file = readSwf(toQByteArray(movie.finish(compression)));
            QCOMPARE(file.signature,
                     QByteArray(compression == swf::Compression::Zlib ? "CWS" : "FWS"));
            QCOMPARE(qsizetype(file.fileLength), file.actualLength);
            QCOMPARE(file.frameCount, 1);
            QCOMPARE(file.frameRate, 12.0);
            QCOMPARE(file.tags.size(), 3); // the End tag is added
            QCOMPARE(file.tags[0].code, 77);
            QCOMPARE(file.tags[0].body.size(), length);
            QCOMPARE(file.tags[0].longHeader, expectLong);
            QCOMPARE(file.tags[2].code, 0);
        }
    }

    void shapeRecords()
    {
        swf::ShapeBuilder shape;
        const int fill = shape.addFillStyle(swf::FillStyle::solid({10, 20, 30}));
        const int line = shape.addLineStyle({40, {1, 2, 3}});
        shape.moveTo(-100, -200, fill, 0, line);
        shape.lineTo(3000, -200);
        shape.curveTo(3500, 1000, 3000, 2000);
        shape.lineTo(-100, -200);
        QCOMPARE(shape.bounds(), (swf::Rect{-100, 3500, -200, 2000}));
        const QByteArray data = toQByteArray(shape.finish());

        SwfBitReader reader(data);
        QCOMPARE(reader.u8(), quint8(1)); // fill styles
        QCOMPARE(reader.u8(), quint8(0)); // solid
        QCOMPARE(reader.u8(), quint8(10));
        QCOMPARE(reader.u8(), quint8(20));
        QCOMPARE(reader.u8(), quint8(30));
        QCOMPARE(reader.u8(), quint8(1)); // line styles
        QCOMPARE(reader.u16(), quint16(40));
        reader.u8();
        reader.u8();
        reader.u8();
        const int fillBits = int(reader.readUnsigned(4));
        const int lineBits = int(reader.readUnsigned(4));
        QCOMPARE(fillBits, 1);
        QCOMPARE(lineBits, 1);

        // Style change with a move.
        QCOMPARE(reader.readUnsigned(1), 0u);
        QCOMPARE(reader.readUnsigned(5), 0b01111u); // line, fill 1, fill 0, move
        const int moveBits = int(reader.readUnsigned(5));
        QCOMPARE(reader.readSigned(moveBits), -100);
        QCOMPARE(reader.readSigned(moveBits), -200);
        QCOMPARE(reader.readUnsigned(fillBits), 1u);
        QCOMPARE(reader.readUnsigned(fillBits), 0u);
        QCOMPARE(reader.readUnsigned(lineBits), 1u);

        // Edges: deltas from the pen.
        int penX = -100, penY = -200;
        const auto straight = [&](int x, int y) {
            QCOMPARE(reader.readUnsigned(2), 0b11u);
            const int bits = int(reader.readUnsigned(4)) + 2;
            QCOMPARE(reader.readUnsigned(1), 1u); // general line
            QCOMPARE(reader.readSigned(bits), x - penX);
            QCOMPARE(reader.readSigned(bits), y - penY);
            penX = x;
            penY = y;
        };
        straight(3000, -200);
        QCOMPARE(reader.readUnsigned(2), 0b10u); // curve
        const int bits = int(reader.readUnsigned(4)) + 2;
        QCOMPARE(reader.readSigned(bits), 500);
        QCOMPARE(reader.readSigned(bits), 1200);
        QCOMPARE(reader.readSigned(bits), -500);
        QCOMPARE(reader.readSigned(bits), 1000);
        penX = 3000;
        penY = 2000;
        straight(-100, -200);
        QCOMPARE(reader.readUnsigned(6), 0u); // end of shape
        reader.align();
        QCOMPARE(reader.bytePosition(), data.size());
    }

    // Edges longer than a record holds (17-bit deltas, 3276.75 points) become several records
    // along the same path, ending where the edge ends.
    void longEdgesAreSplit()
    {
        swf::ShapeBuilder shape;
        const int fill = shape.addFillStyle(swf::FillStyle::solid({0, 0, 0}));
        shape.moveTo(0, 0, fill);
        shape.lineTo(65535, 0);       // the longest that fits: one record
        shape.lineTo(265535, -70000); // 200000 twips across: four records
        shape.curveTo(400000, 0, 265535, 150000);
        const QByteArray data = toQByteArray(shape.finish());

        SwfBitReader reader(data);
        reader.u8();
        reader.u8();
        reader.u8();
        reader.u8();
        reader.u8();
        reader.u8(); // one solid fill, no line style
        QCOMPARE(reader.readUnsigned(4), 1u);
        QCOMPARE(reader.readUnsigned(4), 0u);
        QCOMPARE(reader.readUnsigned(6), 0b000111u); // fill 1, fill 0, move
        const int moveBits = int(reader.readUnsigned(5));
        reader.readSigned(moveBits);
        reader.readSigned(moveBits);
        reader.readUnsigned(1);
        reader.readUnsigned(1);

        QList<QPoint> lineEnds;
        QList<QPoint> curveEnds;
        qint64 x = 0, y = 0;
        while (reader.readUnsigned(1) == 1) {
            const bool straight = reader.readUnsigned(1) == 1;
            const int bits = int(reader.readUnsigned(4)) + 2;
            QVERIFY(bits <= 17);
            if (straight) {
                QCOMPARE(reader.readUnsigned(1), 1u);
                x += reader.readSigned(bits);
                y += reader.readSigned(bits);
                lineEnds << QPoint(int(x), int(y));
            } else {
                x += reader.readSigned(bits);
                y += reader.readSigned(bits);
                x += reader.readSigned(bits);
                y += reader.readSigned(bits);
                curveEnds << QPoint(int(x), int(y));
            }
        }
        QCOMPARE(reader.readUnsigned(5), 0u); // the rest of the end-of-shape record
        QCOMPARE(lineEnds.size(), 5);
        QCOMPARE(lineEnds.first(), QPoint(65535, 0));
        QCOMPARE(lineEnds.last(), QPoint(265535, -70000));
        for (const QPoint& end : lineEnds.mid(1)) // on the line from (65535, 0)
            QVERIFY(qAbs(qint64(end.x() - 65535) * -70000 - qint64(end.y()) * 200000) < 200000 * 2);
        QVERIFY(curveEnds.size() >= 2);
        QVERIFY((curveEnds.last() - QPoint(265535, 150000)).manhattanLength() <= 2);
    }

    void undefinedStylesAreRefused()
    {
        swf::ShapeBuilder shape;
        QVERIFY_THROWS_EXCEPTION(std::out_of_range, shape.moveTo(0, 0, 1));
    }

    void jpegTagNeedsJpegData()
    {
        QVERIFY_THROWS_EXCEPTION(std::invalid_argument,
                                 swf::defineBitsJpeg2(1, swf::Bytes{'G', 'I', 'F', '8'}));
    }
    // The vector tags, byte for byte as worked out by hand from the file format's tables.
    void vectorTags_data()
    {
        QTest::addColumn<QByteArray>("actual");
        QTest::addColumn<QByteArray>("expected");

        swf::ShapeEdges square;
        square.moveTo(0, 0, 1);
        square.lineTo(20, 0);
        square.lineTo(20, 20);
        square.lineTo(0, 20);
        square.lineTo(0, 0);
        // Header FF 12 (code 75, long) and length 25; id 3, wide codes, name "F", one glyph
        // at offset 4, code table at 15. The glyph: 1 fill bit, 0 line bits; a move to
        // (0,0) with fill style 0 = 1; horizontal and vertical edges of 6-bit deltas.
        QTest::newRow("DefineFont3, one square glyph")
            << tagBytes(swf::defineFont3(3, "F", {square}, {0x41}))
            << QByteArray::fromHex("ff1219000000"
                                   "0300"
                                   "04"
                                   "00"
                                   "01"
                                   "46"
                                   "0100"
                                   "0400"
                                   "0f00"
                                   "101c25a0a68a9a1668d800"
                                   "4100");

        swf::TextRun run;
        run.fontId = 1;
        run.color = {255, 0, 0, 255};
        run.height = 240;
        run.x = 10;
        run.y = 20;
        run.glyphs = {{0, 100}, {1, 0}};
        // Id 2, bounds (0,100,0,50) on 8 bits, identity matrix, 1 glyph bit and 8 advance
        // bits; one record with font, colour, x 10, y 20, height 240 and two glyphs.
        QTest::newRow("DefineText2, two glyphs")
            << tagBytes(swf::defineText2(2, {0, 100, 0, 50}, swf::Matrix{}, {run}))
            << QByteArray::fromHex("7f081c000000"
                                   "0200"
                                   "4003200190"
                                   "00"
                                   "01"
                                   "08"
                                   "8f"
                                   "0100"
                                   "ff0000ff"
                                   "0a00"
                                   "1400"
                                   "f000"
                                   "02"
                                   "324000"
                                   "00");

        swf::ShapeEdges line;
        line.moveTo(0, 0, 1, 0, 1);
        line.lineTo(20, 0);
        swf::ShapeLine style;
        style.width = 40;
        style.color = {0, 0, 255, 255};
        style.cap = swf::LineCap::None;
        style.join = swf::LineJoin::Miter;
        style.miterLimit = 4;
        // Shape bounds grown by half the line width (7 bits), edge bounds (6 bits), the
        // non-zero winding flag, one RGBA fill, one LINESTYLE2 (no caps, miter joins with
        // a limit of 4.0), then the records with 1 fill bit and 1 line bit.
        QTest::newRow("DefineShape4, fill and mitred line")
            << tagBytes(swf::defineShape4(1, {swf::ShapeFill{{16, 32, 48, 128}, 0, {}}}, {style},
                                          line, true))
            << QByteArray::fromHex("ff1423000000"
                                   "0100"
                                   "3ec51b0a00"
                                   "300a0000"
                                   "04"
                                   "01"
                                   "0010203080"
                                   "01"
                                   "2800"
                                   "60"
                                   "01"
                                   "0004"
                                   "0000ffff"
                                   "113c25d05000");

        // PlaceObject2 with a character and a clip depth.
        QTest::newRow("clipping placement")
            << tagBytes(swf::placeClip(3, 7, 9)) << QByteArray::fromHex("870642030007000900");
    }
    void vectorTags()
    {
        QFETCH(QByteArray, actual);
        QFETCH(QByteArray, expected);
        QCOMPARE(actual.toHex(' '), expected.toHex(' '));
    }

    // A straight edge of 100 000 twips needs more than the 17 bits a record holds: two
    // horizontal records of 50 000 (4-bit size field 15, then 17 bits each).
    void longEdgesBecomeSeveralRecords()
    {
        swf::ShapeEdges edges;
        edges.moveTo(0, 0, 1);
        edges.lineTo(100000, 0);
        swf::Bytes out;
        edges.write(out, 1, 0);
        QCOMPARE(toQByteArray(out).toHex(), QByteArray("101c25f8c350fc61a800"));
        QCOMPARE(edges.bounds(), (swf::Rect{0, 100000, 0, 0}));
    }

    void textRecordsRefuseWhatTheFormatCannotHold()
    {
        swf::TextRun run;
        run.fontId = 1;
        QVERIFY_THROWS_EXCEPTION(std::invalid_argument,
                                 swf::defineText2(1, {}, swf::Matrix{}, {run})); // no glyph
        run.glyphs.assign(256, {0, 0});
        QVERIFY_THROWS_EXCEPTION(std::invalid_argument,
                                 swf::defineText2(1, {}, swf::Matrix{}, {run}));
        run.glyphs.assign(1, {0, 0});
        run.x = 40000; // beyond a signed 16-bit offset
        QVERIFY_THROWS_EXCEPTION(std::range_error, swf::defineText2(1, {}, swf::Matrix{}, {run}));
    }
};

QTEST_GUILESS_MAIN(TestSwfWriter)
#include "tst_swfwriter.moc"
