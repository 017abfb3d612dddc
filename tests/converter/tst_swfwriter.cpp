// The SWF writer read back by an independent reader: bit fields, records, tag headers,
// compression and shapes with negative coordinates and curves.

#include "SwfMovie.h"
#include "SwfReader.h"

#include <QTest>
#include <stdexcept>

using namespace vellora;
using namespace vellora::test;

namespace {

QByteArray toQByteArray(const swf::Bytes& bytes)
{
    return QByteArray(reinterpret_cast<const char*>(bytes.data()), qsizetype(bytes.size()));
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
};

QTEST_GUILESS_MAIN(TestSwfWriter)
#include "tst_swfwriter.moc"
