#pragma once

// Outlines in floating point, as a font or a page draws them, before they become shape
// records: subpaths of straight, quadratic and cubic pieces, y downwards, in any unit.
// SWF shapes know only straight and quadratic edges at whole units: the functions here
// bring an outline there within a stated distance of the true one.

#include <cstdint>
#include <vector>

namespace vellora::swf {

struct Point
{
    double x = 0;
    double y = 0;

    friend bool operator==(const Point&, const Point&) = default;
};

struct PathStep
{
    enum class Kind : std::uint8_t
    {
        Move,
        Line,
        Quad, // control1, then end
        Cubic // control1, control2, then end
    } kind = Kind::Move;
    Point control1;
    Point control2;
    Point end;
};

// Every subpath is closed by the functions that fill it; close() only makes that explicit
// for those that stroke it.
class Path
{
public:
    void moveTo(Point to);
    void lineTo(Point to);
    void quadTo(Point control, Point to);
    void cubicTo(Point control1, Point control2, Point to);
    // A straight line back to the subpath's start, unless the pen is there already.
    void close();

    const std::vector<PathStep>& steps() const { return m_steps; }
    bool empty() const { return m_steps.empty(); }

private:
    std::vector<PathStep> m_steps;
    Point m_start;
    Point m_pen;
};

// How many quadratic pieces a cubic curve needs so that none strays more than `tolerance`
// from it: the quadratic whose control point is (3 (c1 + c2) - p0 - p3) / 4 stays within
// sqrt(3) / 36 |p3 - 3 c2 + 3 c1 - p0| of the cubic, and that third difference shrinks
// as the cube of the number of equal pieces. Never more than 64.
int quadraticPieces(Point p0, Point c1, Point c2, Point p3, double tolerance);

// The distance bound above for one piece of `pieces`.
double quadraticError(Point p0, Point c1, Point c2, Point p3, int pieces);

// `path` with each cubic curve replaced by quadratic pieces within `tolerance` of it.
Path withQuadratics(const Path& path, double tolerance);

} // namespace vellora::swf
