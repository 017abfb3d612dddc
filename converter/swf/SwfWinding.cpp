#include "SwfWinding.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <map>
#include <set>
#include <tuple>
#include <utility>

namespace vellora::swf {

namespace {

Point lerp(Point a, Point b, double t)
{
    return {a.x + (b.x - a.x) * t, a.y + (b.y - a.y) * t};
}

double cross(Point a, Point b)
{
    return a.x * b.y - a.y * b.x;
}

Point minus(Point a, Point b)
{
    return {a.x - b.x, a.y - b.y};
}

double dot(Point a, Point b)
{
    return a.x * b.x + a.y * b.y;
}

Point rounded(Point p)
{
    const auto whole = [](double v) {
        return std::round(std::clamp(v, -1.0e9, 1.0e9));
    };
    return {whole(p.x), whole(p.y)};
}

Twips twipsOf(double v)
{
    return static_cast<Twips>(v);
}

// A straight or quadratic piece of an outline.
struct Segment
{
    Point p0, control, p1;
    bool curve = false;

    Point at(double t) const
    {
        if (!curve)
            return lerp(p0, p1, t);
        return lerp(lerp(p0, control, t), lerp(control, p1, t), t);
    }
    Point tangent(double t) const
    {
        if (!curve)
            return minus(p1, p0);
        const Point a = minus(control, p0), b = minus(p1, control);
        return {2 * ((1 - t) * a.x + t * b.x), 2 * ((1 - t) * a.y + t * b.y)};
    }
    // The control point of the part between t0 and t1 (the curve's blossom).
    Point controlBetween(double t0, double t1) const
    {
        return lerp(lerp(p0, control, t0), lerp(control, p1, t0), t1);
    }
    Segment part(double t0, double t1) const
    {
        return {at(t0), curve ? controlBetween(t0, t1) : Point{}, at(t1), curve};
    }
};

struct Box
{
    double x0, y0, x1, y1;

    bool meets(const Box& other) const
    {
        return x0 <= other.x1 && other.x0 <= x1 && y0 <= other.y1 && other.y0 <= y1;
    }
};

Box boxOf(const Segment& s)
{
    Box box{std::min(s.p0.x, s.p1.x), std::min(s.p0.y, s.p1.y), std::max(s.p0.x, s.p1.x),
            std::max(s.p0.y, s.p1.y)};
    if (s.curve) {
        box.x0 = std::min(box.x0, s.control.x);
        box.y0 = std::min(box.y0, s.control.y);
        box.x1 = std::max(box.x1, s.control.x);
        box.y1 = std::max(box.y1, s.control.y);
    }
    return box;
}

// The path's subpaths, closed, at whole units, without pieces of no length.
std::vector<Segment> segmentsOf(const Path& path)
{
    std::vector<Segment> out;
    const Path quadratic = withQuadratics(path, 0.25);
    Point start, pen;
    bool open = false;
    const auto closeSubpath = [&] {
        if (open && !(pen == start))
            out.push_back({pen, {}, start, false});
        open = false;
    };
    for (const PathStep& step : quadratic.steps()) {
        const Point end = rounded(step.end);
        if (step.kind == PathStep::Kind::Move) {
            closeSubpath();
            start = pen = end;
            open = true;
            continue;
        }
        if (!open) { // a drawing step with no move before it starts at the origin
            start = pen = Point{};
            open = true;
        }
        if (step.kind == PathStep::Kind::Line) {
            if (!(end == pen))
                out.push_back({pen, {}, end, false});
        } else {
            const Point control = rounded(step.control1);
            if (std::abs(cross(minus(control, pen), minus(end, pen))) == 0) {
                if (!(end == pen)) // a curve whose control point lies on its chord
                    out.push_back({pen, {}, end, false});
            } else {
                out.push_back({pen, control, end, true});
            }
        }
        pen = end;
    }
    closeSubpath();
    return out;
}

// Where two pieces cross: pairs of parameters (on the first, on the second).
using Hits = std::vector<std::pair<double, double>>;

constexpr double kParameterSlack = 1e-9;

bool inUnit(double t)
{
    return t >= -kParameterSlack && t <= 1 + kParameterSlack;
}

void lineLine(Point a0, Point a1, Point b0, Point b1, Hits& hits)
{
    const Point r = minus(a1, a0), s = minus(b1, b0), offset = minus(b0, a0);
    const double denominator = cross(r, s);
    const double rr = dot(r, r), ss = dot(s, s);
    if (rr == 0 || ss == 0)
        return;
    if (std::abs(denominator) <= 1e-12 * std::sqrt(rr * ss)) {
        // Parallel: on one line, each piece is cut where the other one ends.
        if (std::abs(cross(offset, r)) > 1e-9 * std::sqrt(rr))
            return;
        const auto onA = [&](Point p) {
            return dot(minus(p, a0), r) / rr;
        };
        const auto onB = [&](Point p) {
            return dot(minus(p, b0), s) / ss;
        };
        for (const auto& [t, u] : {std::pair{onA(b0), 0.0}, std::pair{onA(b1), 1.0},
                                   std::pair{0.0, onB(a0)}, std::pair{1.0, onB(a1)}}) {
            if (inUnit(t) && inUnit(u))
                hits.emplace_back(t, u);
        }
        return;
    }
    const double t = cross(offset, s) / denominator;
    const double u = cross(offset, r) / denominator;
    if (inUnit(t) && inUnit(u))
        hits.emplace_back(t, u);
}

// Roots of a s^2 + b s + c in [0, 1].
std::vector<double> unitRoots(double a, double b, double c)
{
    std::vector<double> roots;
    const double scale = std::max({std::abs(a), std::abs(b), std::abs(c)});
    if (scale == 0)
        return roots;
    if (std::abs(a) <= 1e-12 * scale) {
        if (std::abs(b) > 1e-12 * scale)
            roots.push_back(-c / b);
    } else {
        const double discriminant = b * b - 4 * a * c;
        if (discriminant < 0)
            return roots;
        const double root = std::sqrt(discriminant);
        // The form that avoids cancelling two nearly equal numbers.
        const double q = -0.5 * (b + (b < 0 ? -root : root));
        roots.push_back(q / a);
        if (q != 0)
            roots.push_back(c / q);
    }
    std::erase_if(roots, [](double t) { return !inUnit(t); });
    return roots;
}

void lineCurve(const Segment& line, const Segment& curve, Hits& hits, bool swapped)
{
    const Point r = minus(line.p1, line.p0);
    const double rr = dot(r, r);
    if (rr == 0)
        return;
    const Point normal{-r.y, r.x};
    const Point q0 = curve.p0, qc = curve.control, q1 = curve.p1;
    const Point second{q0.x - 2 * qc.x + q1.x, q0.y - 2 * qc.y + q1.y};
    const double a = dot(normal, second);
    const double b = 2 * dot(normal, minus(qc, q0));
    const double c = dot(normal, minus(q0, line.p0));
    for (double s : unitRoots(a, b, c)) {
        const double t = dot(minus(curve.at(s), line.p0), r) / rr;
        if (inUnit(t))
            hits.push_back(swapped ? std::pair{s, t} : std::pair{t, s});
    }
}

// Distance of a curve's control point from its chord: twice the curve's own distance.
double bulge(const Segment& s)
{
    const Point chord = minus(s.p1, s.p0);
    const double length = std::hypot(chord.x, chord.y);
    const Point off = minus(s.control, s.p0);
    return length > 0 ? std::abs(cross(off, chord)) / length : std::hypot(off.x, off.y);
}

struct CurvePair
{
    const Segment& a;
    const Segment& b;
    Hits& hits;
    int calls = 0;
    bool givenUp = false;

    // Halves both parts until they are flat enough to meet as their chords. Curves that
    // run along each other would halve for ever: past a few thousand steps the pair is
    // left uncut, and the classification of its pieces keeps it right where it matters.
    void meet(double a0, double a1, double b0, double b1)
    {
        if (givenUp)
            return;
        if (++calls > 4096) {
            givenUp = true;
            return;
        }
        const Segment pa = a.part(a0, a1), pb = b.part(b0, b1);
        Box boxA = boxOf(pa), boxB = boxOf(pb);
        boxA = {boxA.x0 - 1e-9, boxA.y0 - 1e-9, boxA.x1 + 1e-9, boxA.y1 + 1e-9};
        if (!boxA.meets(boxB))
            return;
        if (bulge(pa) < 1e-4 && bulge(pb) < 1e-4) {
            Hits local;
            lineLine(pa.p0, pa.p1, pb.p0, pb.p1, local);
            for (const auto& [t, u] : local)
                hits.emplace_back(a0 + (a1 - a0) * std::clamp(t, 0.0, 1.0),
                                  b0 + (b1 - b0) * std::clamp(u, 0.0, 1.0));
            return;
        }
        const double am = (a0 + a1) / 2, bm = (b0 + b1) / 2;
        meet(a0, am, b0, bm);
        meet(a0, am, bm, b1);
        meet(am, a1, b0, bm);
        meet(am, a1, bm, b1);
    }
};

bool sameCurve(const Segment& a, const Segment& b)
{
    return a.curve && b.curve && a.control == b.control &&
           ((a.p0 == b.p0 && a.p1 == b.p1) || (a.p0 == b.p1 && a.p1 == b.p0));
}

void crossings(const Segment& a, const Segment& b, Hits& hits)
{
    if (!a.curve && !b.curve)
        lineLine(a.p0, a.p1, b.p0, b.p1, hits);
    else if (!a.curve)
        lineCurve(a, b, hits, false);
    else if (!b.curve)
        lineCurve(b, a, hits, true);
    else if (!sameCurve(a, b))
        CurvePair{a, b, hits}.meet(0, 1, 0, 1);
}

// A point where a segment is cut, and the whole-unit vertex both cut pieces share there.
struct Cut
{
    double t;
    Point vertex;
};

// Cuts every segment where another one crosses or touches it inside.
std::vector<std::vector<Cut>> cutsOf(const std::vector<Segment>& segments)
{
    std::vector<std::vector<Cut>> cuts(segments.size());
    std::vector<Box> boxes;
    std::vector<std::size_t> order(segments.size());
    for (std::size_t i = 0; i < segments.size(); ++i) {
        boxes.push_back(boxOf(segments[i]));
        order[i] = i;
    }
    std::sort(order.begin(), order.end(),
              [&](std::size_t l, std::size_t r) { return boxes[l].x0 < boxes[r].x0; });
    const auto inside = [](const Segment& s, double t, Point p) {
        return t > 0 && t < 1 && !(p == s.p0) && !(p == s.p1);
    };
    Hits hits;
    for (std::size_t k = 0; k < order.size(); ++k) {
        const std::size_t i = order[k];
        for (std::size_t m = k + 1; m < order.size() && boxes[order[m]].x0 <= boxes[i].x1; ++m) {
            const std::size_t j = order[m];
            if (!boxes[i].meets(boxes[j]))
                continue;
            hits.clear();
            crossings(segments[i], segments[j], hits);
            for (auto [t, u] : hits) {
                t = std::clamp(t, 0.0, 1.0);
                u = std::clamp(u, 0.0, 1.0);
                const Point a = segments[i].at(t), b = segments[j].at(u);
                const Point vertex = rounded(lerp(a, b, 0.5));
                if (inside(segments[i], t, vertex))
                    cuts[i].push_back({t, vertex});
                if (inside(segments[j], u, vertex))
                    cuts[j].push_back({u, vertex});
            }
        }
    }
    return cuts;
}

// A piece of a segment between two cuts.
struct Piece
{
    std::size_t segment;
    double t0, t1;
    Point from, to, control;
    bool curve;
};

std::vector<Piece> piecesOf(const std::vector<Segment>& segments,
                            std::vector<std::vector<Cut>>& cuts)
{
    std::vector<Piece> pieces;
    for (std::size_t i = 0; i < segments.size(); ++i) {
        const Segment& s = segments[i];
        std::vector<Cut>& list = cuts[i];
        list.push_back({0, s.p0});
        list.push_back({1, s.p1});
        std::sort(list.begin(), list.end(), [](const Cut& l, const Cut& r) { return l.t < r.t; });
        Cut from = list.front();
        for (std::size_t k = 1; k < list.size(); ++k) {
            const Cut& to = list[k];
            if (to.vertex == from.vertex)
                continue; // a cut that rounds onto the last one adds no piece
            Piece piece{i, from.t, to.t, from.vertex, to.vertex, {}, s.curve};
            if (s.curve) {
                piece.control = rounded(s.controlBetween(from.t, to.t));
                if (cross(minus(piece.control, piece.from), minus(piece.to, piece.from)) == 0)
                    piece.curve = false;
            }
            pieces.push_back(piece);
            from = to;
        }
    }
    return pieces;
}

// The winding number of the outline around a point, counted along a ray towards +x over
// the outline's pieces cut where y turns, so that each crosses a ray at most once. Pieces
// are filed by bands of y, so that a point meets only those that reach its band.
class WindingCounter
{
public:
    explicit WindingCounter(const std::vector<Segment>& segments)
    {
        for (const Segment& s : segments)
            addMonotone(s);
        if (m_parts.empty())
            return;
        m_top = std::numeric_limits<double>::max();
        double bottom = std::numeric_limits<double>::lowest();
        for (const Part& p : m_parts) {
            m_top = std::min(m_top, p.yLow);
            bottom = std::max(bottom, p.yHigh);
        }
        const std::size_t bands = std::clamp<std::size_t>(m_parts.size() / 4, 1, 1024);
        m_bandHeight = std::max(1e-9, (bottom - m_top) / static_cast<double>(bands));
        m_bands.resize(bands);
        for (std::size_t i = 0; i < m_parts.size(); ++i) {
            const std::size_t first = band(m_parts[i].yLow), last = band(m_parts[i].yHigh);
            for (std::size_t b = first; b <= last; ++b)
                m_bands[b].push_back(i);
        }
    }

    int at(Point p) const
    {
        if (m_bands.empty() || p.y < m_top)
            return 0;
        const std::size_t b = band(p.y);
        int winding = 0;
        for (std::size_t i : m_bands[b]) {
            const Part& part = m_parts[i];
            const double y0 = part.start.y, y1 = part.end.y;
            if (!((y0 <= p.y && p.y < y1) || (y1 <= p.y && p.y < y0)))
                continue;
            if (xAt(part, p.y) > p.x)
                winding += y1 > y0 ? 1 : -1;
        }
        return winding;
    }

private:
    struct Part
    {
        Segment segment;
        double s0, s1; // the parameter range of the whole segment it covers
        Point start, end;
        double yLow, yHigh;
    };

    void add(const Segment& s, double s0, double s1)
    {
        const Point a = s.at(s0), b = s.at(s1);
        if (a.y == b.y)
            return; // level pieces never cross a level ray
        m_parts.push_back({s, s0, s1, a, b, std::min(a.y, b.y), std::max(a.y, b.y)});
    }

    void addMonotone(const Segment& s)
    {
        if (s.curve) {
            const double denominator = s.p0.y - 2 * s.control.y + s.p1.y;
            if (denominator != 0) {
                const double turn = (s.p0.y - s.control.y) / denominator;
                if (turn > 0 && turn < 1) {
                    add(s, 0, turn);
                    add(s, turn, 1);
                    return;
                }
            }
        }
        add(s, 0, 1);
    }

    static double xAt(const Part& part, double y)
    {
        const Segment& s = part.segment;
        if (!s.curve)
            return s.p0.x + (y - s.p0.y) * (s.p1.x - s.p0.x) / (s.p1.y - s.p0.y);
        const double a = s.p0.y - 2 * s.control.y + s.p1.y;
        const double b = 2 * (s.control.y - s.p0.y);
        const double c = s.p0.y - y;
        double best = (part.s0 + part.s1) / 2, bestGap = std::numeric_limits<double>::max();
        const auto consider = [&](double t) {
            const double gap = t < part.s0 ? part.s0 - t : t > part.s1 ? t - part.s1 : 0;
            if (gap < bestGap) {
                bestGap = gap;
                best = std::clamp(t, part.s0, part.s1);
            }
        };
        if (std::abs(a) < 1e-12) {
            if (b != 0)
                consider(-c / b);
        } else {
            const double root = std::sqrt(std::max(0.0, b * b - 4 * a * c));
            consider((-b + root) / (2 * a));
            consider((-b - root) / (2 * a));
        }
        return s.at(best).x;
    }

    std::size_t band(double y) const
    {
        const double index = std::floor((y - m_top) / m_bandHeight);
        return static_cast<std::size_t>(
            std::clamp(index, 0.0, static_cast<double>(m_bands.size() - 1)));
    }

    std::vector<Part> m_parts;
    std::vector<std::vector<std::size_t>> m_bands;
    double m_top = 0;
    double m_bandHeight = 1;
};

// Pieces with the fill on exactly one side, turned to have it on their left, each once.
std::vector<Piece> boundaryOf(const std::vector<Segment>& segments, std::vector<Piece> pieces)
{
    const WindingCounter winding(segments);
    constexpr double kSideStep = 1.0 / 64; // of a unit: nearer than any two whole-unit edges
    std::vector<Piece> kept;
    std::set<std::tuple<double, double, double, double, double, double, bool>> seen;
    for (Piece piece : pieces) {
        const Segment& s = segments[piece.segment];
        const double middle = (piece.t0 + piece.t1) / 2;
        const Point at = s.at(middle);
        Point direction = s.tangent(middle);
        double length = std::hypot(direction.x, direction.y);
        if (length == 0) {
            direction = minus(piece.to, piece.from);
            length = std::hypot(direction.x, direction.y);
        }
        direction = {direction.x / length, direction.y / length};
        // On a y-down page, the left of a travel towards +x is towards -y.
        const Point left{at.x + kSideStep * direction.y, at.y - kSideStep * direction.x};
        const Point right{at.x - kSideStep * direction.y, at.y + kSideStep * direction.x};
        const bool fillLeft = winding.at(left) != 0, fillRight = winding.at(right) != 0;
        if (fillLeft == fillRight)
            continue;
        if (fillRight)
            std::swap(piece.from, piece.to);
        const auto key = std::tuple{piece.from.x,    piece.from.y,    piece.to.x, piece.to.y,
                                    piece.control.x, piece.control.y, piece.curve};
        if (seen.insert(key).second)
            kept.push_back(piece);
    }
    return kept;
}

void addEdge(ShapeEdges& edges, const Piece& piece)
{
    if (piece.curve)
        edges.curveTo(twipsOf(piece.control.x), twipsOf(piece.control.y), twipsOf(piece.to.x),
                      twipsOf(piece.to.y));
    else
        edges.lineTo(twipsOf(piece.to.x), twipsOf(piece.to.y));
}

// Joins pieces end to start into runs, each taking the next piece of the outline when it
// can, so that an outline that needed no cut comes out as it went in.
ShapeEdges chained(const std::vector<Piece>& pieces, int fillStyle)
{
    std::map<std::pair<double, double>, std::vector<std::size_t>> starting;
    for (std::size_t i = 0; i < pieces.size(); ++i)
        starting[{pieces[i].from.x, pieces[i].from.y}].push_back(i);
    std::vector<bool> used(pieces.size(), false);
    ShapeEdges edges;
    for (std::size_t first = 0; first < pieces.size(); ++first) {
        if (used[first])
            continue;
        edges.moveTo(twipsOf(pieces[first].from.x), twipsOf(pieces[first].from.y), fillStyle);
        std::size_t current = first;
        while (true) {
            used[current] = true;
            addEdge(edges, pieces[current]);
            const Point end = pieces[current].to;
            const auto found = starting.find({end.x, end.y});
            if (found == starting.end())
                break;
            std::size_t next = pieces.size();
            for (std::size_t candidate : found->second) {
                if (used[candidate])
                    continue;
                if (next == pieces.size() || candidate == current + 1)
                    next = candidate;
            }
            if (next == pieces.size())
                break;
            current = next;
        }
    }
    return edges;
}

} // namespace

ShapeEdges plainEdges(const Path& path, int fillStyle)
{
    ShapeEdges edges;
    Point pen{std::numeric_limits<double>::quiet_NaN(), 0};
    for (const Segment& s : segmentsOf(path)) {
        if (!(s.p0 == pen))
            edges.moveTo(twipsOf(s.p0.x), twipsOf(s.p0.y), fillStyle);
        addEdge(edges, {0, 0, 1, s.p0, s.p1, s.control, s.curve});
        pen = s.p1;
    }
    return edges;
}

ShapeEdges nonZeroEdges(const Path& path, int fillStyle)
{
    const std::vector<Segment> segments = segmentsOf(path);
    if (segments.size() > kMostWindingEdges)
        return plainEdges(path, fillStyle);
    std::vector<std::vector<Cut>> cuts = cutsOf(segments);
    return chained(boundaryOf(segments, piecesOf(segments, cuts)), fillStyle);
}

} // namespace vellora::swf
