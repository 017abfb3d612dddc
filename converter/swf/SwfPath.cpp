#include "SwfPath.h"

#include <algorithm>
#include <cmath>

namespace vellora::swf {

void Path::moveTo(Point to)
{
    m_steps.push_back({PathStep::Kind::Move, {}, {}, to});
    m_start = m_pen = to;
}

void Path::lineTo(Point to)
{
    m_steps.push_back({PathStep::Kind::Line, {}, {}, to});
    m_pen = to;
}

void Path::quadTo(Point control, Point to)
{
    m_steps.push_back({PathStep::Kind::Quad, control, {}, to});
    m_pen = to;
}

void Path::cubicTo(Point control1, Point control2, Point to)
{
    m_steps.push_back({PathStep::Kind::Cubic, control1, control2, to});
    m_pen = to;
}

void Path::close()
{
    if (!m_steps.empty() && !(m_pen == m_start))
        lineTo(m_start);
}

namespace {

constexpr int kMostPieces = 64;

Point lerp(Point a, Point b, double t)
{
    return {a.x + (b.x - a.x) * t, a.y + (b.y - a.y) * t};
}

// The cubic's blossom: its control points on [t0, t1] are B(t0,t0,t0), B(t0,t0,t1),
// B(t0,t1,t1) and B(t1,t1,t1).
Point blossom(const Point (&p)[4], double u1, double u2, double u3)
{
    const Point a = lerp(p[0], p[1], u1), b = lerp(p[1], p[2], u1), c = lerp(p[2], p[3], u1);
    return lerp(lerp(a, b, u2), lerp(b, c, u2), u3);
}

double thirdDifference(Point p0, Point c1, Point c2, Point p3)
{
    return std::hypot(p3.x - 3 * c2.x + 3 * c1.x - p0.x, p3.y - 3 * c2.y + 3 * c1.y - p0.y);
}

} // namespace

double quadraticError(Point p0, Point c1, Point c2, Point p3, int pieces)
{
    const double n = std::max(1, pieces);
    return std::sqrt(3.0) / 36 * thirdDifference(p0, c1, c2, p3) / (n * n * n);
}

int quadraticPieces(Point p0, Point c1, Point c2, Point p3, double tolerance)
{
    const double error = quadraticError(p0, c1, c2, p3, 1);
    if (!(error > tolerance) || !(tolerance > 0))
        return std::isfinite(error) ? 1 : kMostPieces;
    const double pieces = std::ceil(std::cbrt(error / tolerance) - 1e-9);
    return static_cast<int>(std::clamp(pieces, 1.0, static_cast<double>(kMostPieces)));
}

Path withQuadratics(const Path& path, double tolerance)
{
    Path out;
    Point pen;
    for (const PathStep& step : path.steps()) {
        switch (step.kind) {
        case PathStep::Kind::Move:
            out.moveTo(step.end);
            break;
        case PathStep::Kind::Line:
            out.lineTo(step.end);
            break;
        case PathStep::Kind::Quad:
            out.quadTo(step.control1, step.end);
            break;
        case PathStep::Kind::Cubic: {
            const Point p[4] = {pen, step.control1, step.control2, step.end};
            const int pieces = quadraticPieces(p[0], p[1], p[2], p[3], tolerance);
            for (int i = 0; i < pieces; ++i) {
                const double t0 = static_cast<double>(i) / pieces;
                const double t1 = static_cast<double>(i + 1) / pieces;
                const Point a = blossom(p, t0, t0, t0), c1 = blossom(p, t0, t0, t1);
                const Point c2 = blossom(p, t0, t1, t1);
                const Point b = i + 1 == pieces ? step.end : blossom(p, t1, t1, t1);
                out.quadTo(
                    {(3 * (c1.x + c2.x) - a.x - b.x) / 4, (3 * (c1.y + c2.y) - a.y - b.y) / 4}, b);
            }
            break;
        }
        }
        pen = step.end;
    }
    return out;
}

} // namespace vellora::swf
