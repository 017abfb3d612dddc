// Outlines made ready for SWF players: cubic curves as quadratic ones, glyphs at the
// precision the page needs, and non-zero fills whose edges every player fills alike. The
// edges are read back from their records by a reader of the test's own.

#include "SwfGlyph.h"
#include "SwfReader.h"
#include "SwfWinding.h"

#include <QList>
#include <QPointF>
#include <QTest>
#include <cmath>

using namespace vellora;
using namespace vellora::test;

namespace {

struct ReadEdge
{
    QPointF from, control, to;
    bool curve = false;
    int fill0 = 0, fill1 = 0;
};

// The records of a shape written with one fill bit and no line bits.
QList<ReadEdge> readEdges(const swf::ShapeEdges& edges)
{
    swf::Bytes bytes;
    edges.write(bytes, 1, 0);
    const QByteArray data(reinterpret_cast<const char*>(bytes.data()), qsizetype(bytes.size()));
    SwfBitReader bits(data);
    if (bits.readUnsigned(4) != 1 || bits.readUnsigned(4) != 0)
        throw std::runtime_error("unexpected style bits");
    QList<ReadEdge> out;
    int x = 0, y = 0, fill0 = 0, fill1 = 0;
    while (true) {
        if (bits.readUnsigned(1) == 0) {
            const quint32 flags = bits.readUnsigned(5);
            if (flags == 0)
                return out;
            if (flags & 0x01) {
                const int n = int(bits.readUnsigned(5));
                x = bits.readSigned(n);
                y = bits.readSigned(n);
            }
            if (flags & 0x02)
                fill0 = int(bits.readUnsigned(1));
            if (flags & 0x04)
                fill1 = int(bits.readUnsigned(1));
            continue;
        }
        ReadEdge edge{QPointF(x, y), {}, {}, false, fill0, fill1};
        if (bits.readUnsigned(1) == 1) {
            const int n = int(bits.readUnsigned(4)) + 2;
            if (bits.readUnsigned(1) == 1) {
                x += bits.readSigned(n);
                y += bits.readSigned(n);
            } else if (bits.readUnsigned(1) == 1) {
                y += bits.readSigned(n);
            } else {
                x += bits.readSigned(n);
            }
        } else {
            const int n = int(bits.readUnsigned(4)) + 2;
            x += bits.readSigned(n);
            y += bits.readSigned(n);
            edge.control = QPointF(x, y);
            edge.curve = true;
            x += bits.readSigned(n);
            y += bits.readSigned(n);
        }
        edge.to = QPointF(x, y);
        out.append(edge);
    }
}

QList<QPointF> flattened(const ReadEdge& edge)
{
    QList<QPointF> points{edge.from};
    for (int i = 1; i <= 64; ++i) {
        const double t = i / 64.0, u = 1 - t;
        points.append(edge.curve ? u * u * edge.from + 2 * u * t * edge.control + t * t * edge.to
                                 : edge.from + t * (edge.to - edge.from));
    }
    return points;
}

// What a player shows at `p`: one that fills each style's edges even-odd (Ruffle's way),
// and one that reads fill style 0 as the left side and fills by the non-zero rule.
struct Shown
{
    bool evenOdd;
    bool nonZero;
};

Shown filledAt(const QList<ReadEdge>& edges, QPointF p)
{
    int crossings = 0, winding = 0;
    for (const ReadEdge& edge : edges) {
        const int sides = (edge.fill0 == 1) + (edge.fill1 == 1);
        const int weight = (edge.fill0 == 1) - (edge.fill1 == 1);
        const QList<QPointF> points = flattened(edge);
        for (qsizetype i = 1; i < points.size(); ++i) {
            const QPointF a = points[i - 1], b = points[i];
            if ((a.y() <= p.y()) != (b.y() <= p.y()) &&
                a.x() + (p.y() - a.y()) * (b.x() - a.x()) / (b.y() - a.y()) > p.x()) {
                crossings += sides;
                winding += b.y() > a.y() ? weight : -weight;
            }
        }
    }
    return {crossings % 2 == 1, winding != 0};
}

double distanceToSegment(QPointF p, QPointF a, QPointF b)
{
    const QPointF d = b - a;
    const double length = QPointF::dotProduct(d, d);
    const double t = length > 0 ? std::clamp(QPointF::dotProduct(p - a, d) / length, 0.0, 1.0) : 0;
    const QPointF nearest = a + t * d;
    return std::hypot(p.x() - nearest.x(), p.y() - nearest.y());
}

double distanceToPolyline(QPointF p, const QList<QPointF>& line)
{
    double best = 1e300;
    for (qsizetype i = 1; i < line.size(); ++i)
        best = std::min(best, distanceToSegment(p, line[i - 1], line[i]));
    return best;
}

swf::Path polygon(const QList<QPointF>& points, swf::Path path = {})
{
    path.moveTo({points[0].x(), points[0].y()});
    for (qsizetype i = 1; i < points.size(); ++i)
        path.lineTo({points[i].x(), points[i].y()});
    path.close();
    return path;
}

swf::Path square(double x, double y, double side, bool clockwise, swf::Path path = {})
{
    if (clockwise)
        return polygon({{x, y}, {x + side, y}, {x + side, y + side}, {x, y + side}}, path);
    return polygon({{x, y}, {x, y + side}, {x + side, y + side}, {x + side, y}}, path);
}

// A circle of eight quadratic arcs.
swf::Path circle(double cx, double cy, double r, swf::Path path = {})
{
    const double pi = std::acos(-1.0), half = pi / 8;
    path.moveTo({cx + r, cy});
    for (int i = 1; i <= 8; ++i) {
        const double a = i * pi / 4, mid = a - half, k = r / std::cos(half);
        path.quadTo({cx + k * std::cos(mid), cy + k * std::sin(mid)},
                    {cx + r * std::cos(a), cy + r * std::sin(a)});
    }
    return path;
}

// The quarter circle of radius 1000 as PostScript fonts draw it.
constexpr double kKappa = 0.5522847498;

} // namespace

class TestSwfOutlines : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void cubicBecomesQuadratics_data()
    {
        QTest::addColumn<QList<QPointF>>("cubic");
        QTest::addColumn<double>("tolerance");
        QTest::addColumn<QList<QPointF>>("expected"); // control and end of each piece
        const QList<QPointF> quarter{
            {1000, 0}, {1000, 1000 * kKappa}, {1000 * kKappa, 1000}, {0, 1000}};
        QTest::newRow("a quadratic curve written as a cubic")
            << QList<QPointF>{{0, 0}, {200, 400}, {400, 400}, {600, 0}} << 0.01
            << QList<QPointF>{{300, 600}, {600, 0}};
        QTest::newRow("a straight cubic") << QList<QPointF>{{0, 0}, {100, 0}, {200, 0}, {300, 0}}
                                          << 0.01 << QList<QPointF>{{150, 0}, {300, 0}};
        // Error of one piece: sqrt(3)/36 * |(343.15, -343.15)| = 23.35.
        QTest::newRow("quarter circle, one piece within 30")
            << quarter << 30.0 << QList<QPointF>{{914.2136, 914.2136}, {0, 1000}};
        QTest::newRow("quarter circle, two pieces within 10")
            << quarter << 10.0
            << QList<QPointF>{
                   {989.2767, 424.9369}, {707.1068, 707.1068}, {424.9369, 989.2767}, {0, 1000}};
    }
    void cubicBecomesQuadratics()
    {
        QFETCH(QList<QPointF>, cubic);
        QFETCH(double, tolerance);
        QFETCH(QList<QPointF>, expected);
        swf::Path path;
        path.moveTo({cubic[0].x(), cubic[0].y()});
        path.cubicTo({cubic[1].x(), cubic[1].y()}, {cubic[2].x(), cubic[2].y()},
                     {cubic[3].x(), cubic[3].y()});
        const swf::Path result = swf::withQuadratics(path, tolerance);
        QList<QPointF> got;
        for (const swf::PathStep& step : result.steps()) {
            if (step.kind == swf::PathStep::Kind::Quad)
                got << QPointF(step.control1.x, step.control1.y) << QPointF(step.end.x, step.end.y);
        }
        QCOMPARE(got.size(), expected.size());
        for (qsizetype i = 0; i < got.size(); ++i) {
            QVERIFY2(
                std::abs(got[i].x() - expected[i].x()) < 1e-3 &&
                    std::abs(got[i].y() - expected[i].y()) < 1e-3,
                qPrintable(
                    QStringLiteral("point %1: %2, %3").arg(i).arg(got[i].x()).arg(got[i].y())));
        }
    }

    // A unit of 1/16 * 0.4 / (sqrt(2)/2) = 0.0353553 point; at most 20 480, at least 16.
    void glyphUnitsFollowTheLargestSize_data()
    {
        QTest::addColumn<double>("emPoints");
        QTest::addColumn<int>("unitsPerEm");
        QTest::newRow("footnote, 8 pt") << 8.0 << 227;
        QTest::newRow("body text, 10 pt") << 10.0 << 283;
        QTest::newRow("heading, 24.88 pt") << 24.88 << 704;
        QTest::newRow("poster, 1000 pt") << 1000.0 << 20480;
        QTest::newRow("hairline, 0.1 pt") << 0.1 << 16;
    }
    void glyphUnitsFollowTheLargestSize()
    {
        QFETCH(double, emPoints);
        QFETCH(int, unitsPerEm);
        QCOMPARE(swf::glyphPrecision(emPoints).unitsPerEm, unitsPerEm);
        const std::uint16_t height = swf::glyphHeight(emPoints * 20, unitsPerEm);
        QVERIFY(std::abs(swf::emOfHeight(height, unitsPerEm) - emPoints * 20) <=
                std::max(1.0, emPoints * 20 / 10000));
    }

    // A square glyph from (0.1, -0.7) to (0.6, 0) em at 10 points: 283 units, so corners
    // (28.3, -198.1) and (169.8, 0) round to (28, -198) and (170, 0). Drawn clockwise on
    // the page, it comes out turned so that its inside is on the edges' left.
    void glyphRecordsAtWholeUnits()
    {
        swf::Path em = polygon({{0.1, -0.7}, {0.6, -0.7}, {0.6, 0}, {0.1, 0}});
        const QList<ReadEdge> edges = readEdges(swf::glyphShape(em, swf::glyphPrecision(10)));
        QList<QPointF> points;
        for (const ReadEdge& edge : edges) {
            QCOMPARE(edge.fill0, 1);
            QCOMPARE(edge.fill1, 0);
            QVERIFY(!edge.curve);
            if (points.isEmpty())
                points << edge.from;
            points << edge.to;
        }
        QCOMPARE(points, (QList<QPointF>{{170, -198}, {28, -198}, {28, 0}, {170, 0}, {170, -198}}));
    }

    // The glyph's edges against the font's outline, both ways, at the sizes a page uses.
    void glyphStaysWithinAQuarterPixelAtFourTimes_data()
    {
        QTest::addColumn<double>("emPoints");
        for (double size : {7.0, 10.0, 24.88, 144.0})
            QTest::addRow("letter O, %g pt", size) << size;
    }
    void glyphStaysWithinAQuarterPixelAtFourTimes()
    {
        QFETCH(double, emPoints);
        // Ems, y downwards: an O of two cubic ellipses, the inner one turning the other way,
        // as Type 1 fonts draw it.
        QList<std::array<QPointF, 4>> cubics;
        const auto ellipse = [&](QPointF c, double rx, double ry, bool reverse) {
            for (int q = 0; q < 4; ++q) {
                const double pi = std::acos(-1.0), a0 = q * pi / 2, a1 = (q + 1) * pi / 2;
                const double s = reverse ? -1 : 1;
                const QPointF p0(c.x() + rx * std::cos(a0), c.y() + s * ry * std::sin(a0));
                const QPointF p3(c.x() + rx * std::cos(a1), c.y() + s * ry * std::sin(a1));
                const QPointF t0(-rx * std::sin(a0), s * ry * std::cos(a0));
                const QPointF t1(-rx * std::sin(a1), s * ry * std::cos(a1));
                cubics.append({p0, p0 + kKappa * t0, p3 - kKappa * t1, p3});
            }
        };
        ellipse({0.36, -0.34}, 0.33, 0.36, false);
        ellipse({0.36, -0.34}, 0.22, 0.27, true);
        swf::Path em;
        for (qsizetype i = 0; i < cubics.size(); ++i) {
            const auto& c = cubics[i];
            if (i == 0 || !(c[0] == cubics[i - 1][3]))
                em.moveTo({c[0].x(), c[0].y()});
            em.cubicTo({c[1].x(), c[1].y()}, {c[2].x(), c[2].y()}, {c[3].x(), c[3].y()});
        }
        const swf::GlyphPrecision precision = swf::glyphPrecision(emPoints);
        const QList<ReadEdge> edges = readEdges(swf::glyphShape(em, precision));
        QVERIFY(!edges.isEmpty());
        const double pointsPerUnit = emPoints / precision.unitsPerEm;
        QList<QList<QPointF>> drawn;
        for (const ReadEdge& edge : edges) {
            QList<QPointF> line = flattened(edge);
            for (QPointF& p : line)
                p *= pointsPerUnit;
            drawn.append(line);
        }
        QList<QList<QPointF>> truth;
        for (const auto& c : cubics) {
            QList<QPointF> line;
            for (int i = 0; i <= 256; ++i) {
                const double t = i / 256.0, u = 1 - t;
                line.append((u * u * u * c[0] + 3 * u * u * t * c[1] + 3 * u * t * t * c[2] +
                             t * t * t * c[3]) *
                            emPoints);
            }
            truth.append(line);
        }
        const auto farthest = [](const QList<QList<QPointF>>& from,
                                 const QList<QList<QPointF>>& to) {
            double worst = 0;
            for (const QList<QPointF>& line : from) {
                for (QPointF p : line) {
                    double best = 1e300;
                    for (const QList<QPointF>& other : to)
                        best = std::min(best, distanceToPolyline(p, other));
                    worst = std::max(worst, best);
                }
            }
            return worst;
        };
        const double away = farthest(truth, drawn), astray = farthest(drawn, truth);
        QVERIFY2(away <= swf::kGlyphTolerancePoints && astray <= swf::kGlyphTolerancePoints,
                 qPrintable(QStringLiteral("%1 and %2 points off, %3 edges")
                                .arg(away)
                                .arg(astray)
                                .arg(edges.size())));
    }

    // Points inside or outside by the non-zero rule, as the PDF fills them, and the edge
    // count of the boundary that players are given.
    void nonZeroFillReadsAlikeInEveryPlayer_data()
    {
        QTest::addColumn<int>("shape");
        QTest::addColumn<QList<QPointF>>("inside");
        QTest::addColumn<QList<QPointF>>("outside");
        QTest::addColumn<int>("edgeCount");
        QTest::newRow("two overlapping squares")
            << 0 << QList<QPointF>{{25, 25}, {75, 75}, {125, 125}}
            << QList<QPointF>{{125, 25}, {25, 125}, {-5, 50}} << 8;
        QTest::newRow("a square inside a square, same turn")
            << 1 << QList<QPointF>{{50, 50}, {150, 150}} << QList<QPointF>{{350, 150}} << 4;
        QTest::newRow("a square with a hole, turning the other way")
            << 2 << QList<QPointF>{{50, 50}} << QList<QPointF>{{150, 150}, {350, 150}} << 8;
        QTest::newRow("five-pointed star")
            << 3 << QList<QPointF>{{500, 500}, {500, 130}, {158, 389}}
            << QList<QPointF>{{250, 250}, {500, 950}} << 10;
        QTest::newRow("a square drawn twice")
            << 4 << QList<QPointF>{{50, 50}} << QList<QPointF>{{150, 50}} << 4;
        QTest::newRow("two overlapping circles of curves")
            << 5 << QList<QPointF>{{300, 300}, {400, 300}, {500, 300}}
            << QList<QPointF>{{400, 140}, {700, 300}} << 12;
        QTest::newRow("two squares sharing a side")
            << 6 << QList<QPointF>{{99, 50}, {101, 50}} << QList<QPointF>{{250, 50}} << 6;
    }
    void nonZeroFillReadsAlikeInEveryPlayer()
    {
        QFETCH(int, shape);
        QFETCH(QList<QPointF>, inside);
        QFETCH(QList<QPointF>, outside);
        QFETCH(int, edgeCount);
        swf::Path path;
        switch (shape) {
        case 0:
            path = square(50, 50, 100, true, square(0, 0, 100, true));
            break;
        case 1:
            path = square(100, 100, 100, true, square(0, 0, 300, true));
            break;
        case 2:
            path = square(100, 100, 100, false, square(0, 0, 300, true));
            break;
        case 3: {
            QList<QPointF> star;
            const double pi = std::acos(-1.0);
            for (int i = 0; i < 5; ++i) {
                const double a = -pi / 2 + i * 4 * pi / 5;
                star.append({500 + 400 * std::cos(a), 500 + 400 * std::sin(a)});
            }
            path = polygon(star);
            break;
        }
        case 4:
            path = square(0, 0, 100, true, square(0, 0, 100, true));
            break;
        case 5:
            path = circle(450, 300, 150, circle(350, 300, 150));
            break;
        default:
            path = square(100, 0, 100, true, square(0, 0, 100, true));
            break;
        }
        const QList<ReadEdge> edges = readEdges(swf::nonZeroEdges(path, 1));
        for (QPointF p : inside) {
            const Shown shown = filledAt(edges, p);
            QVERIFY2(shown.evenOdd && shown.nonZero,
                     qPrintable(QStringLiteral("%1, %2 empty").arg(p.x()).arg(p.y())));
        }
        for (QPointF p : outside) {
            const Shown shown = filledAt(edges, p);
            QVERIFY(!shown.evenOdd && !shown.nonZero);
        }
        QCOMPARE(edges.size(), edgeCount);
    }
};

QTEST_GUILESS_MAIN(TestSwfOutlines)
#include "tst_swfoutlines.moc"
