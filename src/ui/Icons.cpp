#include "ui/Icons.h"

#include <cmath>
#include <functional>
#include <map>
#include <string>
#include <vector>

namespace norvane
{

namespace
{

constexpr float pi = juce::MathConstants<float>::pi;
constexpr float grid = 24.0f;
constexpr float line = 1.8f; // the usual stroke of line art

using Loop = std::vector<juce::Point<float>>;

std::vector<Loop> loopsOf(const juce::Path& path)
{
    std::vector<Loop> loops;
    juce::PathFlatteningIterator it(path, {}, 0.005f);
    while (it.next())
    {
        if (it.subPathIndex == 0 || loops.empty())
            loops.push_back({{it.x1, it.y1}});
        loops.back().push_back({it.x2, it.y2});
    }
    std::erase_if(loops, [](const Loop& l) { return l.size() < 3; });
    return loops;
}

/** Twice the signed area; positive for loops that turn clockwise on screen (y down). */
float signedArea(const Loop& loop)
{
    float sum = 0.0f;
    for (size_t i = 0; i < loop.size(); ++i)
    {
        const auto& a = loop[i];
        const auto& b = loop[(i + 1) % loop.size()];
        sum += a.x * b.y - b.x * a.y;
    }
    return sum;
}

bool contains(const Loop& loop, juce::Point<float> p)
{
    bool inside = false;
    for (size_t i = 0, j = loop.size() - 1; i < loop.size(); j = i++)
    {
        const auto& a = loop[i];
        const auto& b = loop[j];
        if ((a.y > p.y) != (b.y > p.y) && p.x < (b.x - a.x) * (p.y - a.y) / (b.y - a.y) + a.x)
            inside = !inside;
    }
    return inside;
}

/** Builds an icon as a union of filled pieces and cut-outs, all filled with the non-zero rule.
    Every loop of a piece is turned so that the piece covers exactly its own area (a ring's inner
    loop runs the other way to its outer one), and pieces then add up: overlapping solids stay
    solid, and a cut-out clears what lies under it as long as it sits on a single solid. */
class IconBuilder
{
public:
    IconBuilder& solid(const juce::Path& piece) { return add(piece, false); }
    IconBuilder& cut(const juce::Path& piece) { return add(piece, true); }

    IconBuilder& stroke(const juce::Path& piece, float width = line)
    {
        return solid(stroked(piece, width));
    }
    IconBuilder& cutStroke(const juce::Path& piece, float width = line)
    {
        return cut(stroked(piece, width));
    }

    IconBuilder& transform(const juce::AffineTransform& t)
    {
        path.applyTransform(t);
        return *this;
    }

    static juce::Path stroked(const juce::Path& piece, float width)
    {
        juce::Path out;
        juce::PathStrokeType(width, juce::PathStrokeType::curved, juce::PathStrokeType::rounded)
            .createStrokedPath(out, piece, {}, 8.0f);
        return out;
    }

    juce::Path path;

private:
    IconBuilder& add(const juce::Path& piece, bool asCut)
    {
        const auto loops = loopsOf(piece);
        for (size_t i = 0; i < loops.size(); ++i)
        {
            int depth = 0;
            for (size_t j = 0; j < loops.size(); ++j)
                if (j != i && contains(loops[j], loops[i].front()))
                    ++depth;
            const bool clockwise = ((depth % 2) == 0) != asCut;
            const bool isClockwise = signedArea(loops[i]) > 0.0f;
            auto points = loops[i];
            if (clockwise != isClockwise)
                std::reverse(points.begin(), points.end());
            path.startNewSubPath(points.front());
            for (size_t k = 1; k < points.size(); ++k)
                path.lineTo(points[k]);
            path.closeSubPath();
        }
        return *this;
    }
};

// ---- Shapes on the grid ---------------------------------------------------------------------

juce::Path polyline(std::initializer_list<juce::Point<float>> points, bool closed = false)
{
    juce::Path p;
    bool first = true;
    for (auto point : points)
    {
        if (first)
            p.startNewSubPath(point);
        else
            p.lineTo(point);
        first = false;
    }
    if (closed)
        p.closeSubPath();
    return p;
}

juce::Path segment(float x1, float y1, float x2, float y2)
{
    return polyline({{x1, y1}, {x2, y2}});
}

juce::Path disc(float cx, float cy, float r)
{
    juce::Path p;
    p.addEllipse(cx - r, cy - r, 2 * r, 2 * r);
    return p;
}

juce::Path ellipse(float cx, float cy, float rx, float ry)
{
    juce::Path p;
    p.addEllipse(cx - rx, cy - ry, 2 * rx, 2 * ry);
    return p;
}

juce::Path roundRect(float x, float y, float w, float h, float r)
{
    juce::Path p;
    p.addRoundedRectangle(x, y, w, h, r);
    return p;
}

/** An arc of a circle; angles clockwise from 12 o'clock, in radians. */
juce::Path arc(float cx, float cy, float r, float from, float to)
{
    juce::Path p;
    p.addCentredArc(cx, cy, r, r, 0.0f, from, to, true);
    return p;
}

/** A plus sign as one outline, so that it can be cut out in one piece. */
juce::Path cross(float cx, float cy, float half, float thickness)
{
    const float t = thickness / 2;
    return polyline({{cx - t, cy - half},
                     {cx + t, cy - half},
                     {cx + t, cy - t},
                     {cx + half, cy - t},
                     {cx + half, cy + t},
                     {cx + t, cy + t},
                     {cx + t, cy + half},
                     {cx - t, cy + half},
                     {cx - t, cy + t},
                     {cx - half, cy + t},
                     {cx - half, cy - t},
                     {cx - t, cy - t}},
                    true);
}

juce::AffineTransform rotatedAboutCentre(float radians)
{
    return juce::AffineTransform::rotation(radians, grid / 2, grid / 2);
}

IconBuilder pianoKeys(bool inverse)
{
    IconBuilder icon;
    if (!inverse)
    {
        icon.stroke(roundRect(3.5f, 3.5f, 17.0f, 17.0f, 2.5f), 1.6f)
            .solid(roundRect(7.3f, 3.5f, 3.4f, 9.5f, 0.8f))
            .solid(roundRect(13.3f, 3.5f, 3.4f, 9.5f, 0.8f))
            .stroke(segment(9.0f, 13.0f, 9.0f, 20.0f), 1.4f)
            .stroke(segment(15.0f, 13.0f, 15.0f, 20.0f), 1.4f);
        return icon;
    }
    icon.solid(roundRect(2.5f, 2.5f, 19.0f, 19.0f, 3.0f))
        .cut(polyline({{4.8f, 4.8f},
                       {6.5f, 4.8f},
                       {6.5f, 13.8f},
                       {8.3f, 13.8f},
                       {8.3f, 19.2f},
                       {4.8f, 19.2f}},
                      true))
        .cut(polyline({{11.5f, 4.8f},
                       {12.5f, 4.8f},
                       {12.5f, 13.8f},
                       {14.3f, 13.8f},
                       {14.3f, 19.2f},
                       {9.7f, 19.2f},
                       {9.7f, 13.8f},
                       {11.5f, 13.8f}},
                      true))
        .cut(polyline({{17.5f, 4.8f},
                       {19.2f, 4.8f},
                       {19.2f, 19.2f},
                       {15.7f, 19.2f},
                       {15.7f, 13.8f},
                       {17.5f, 13.8f}},
                      true));
    return icon;
}

IconBuilder sliders()
{
    IconBuilder icon;
    const float xs[] = {6.0f, 12.0f, 18.0f};
    const float knobs[] = {14.5f, 7.5f, 12.0f};
    for (int i = 0; i < 3; ++i)
        icon.stroke(segment(xs[i], 3.5f, xs[i], 20.5f), 1.5f)
            .solid(roundRect(xs[i] - 2.6f, knobs[i] - 1.7f, 5.2f, 3.4f, 1.2f));
    return icon;
}

IconBuilder circled(std::function<void(IconBuilder&)> inside)
{
    IconBuilder icon;
    icon.stroke(disc(12.0f, 12.0f, 9.2f), 1.7f);
    inside(icon);
    return icon;
}

IconBuilder speaker(int waves)
{
    IconBuilder icon;
    icon.solid(polyline({{2.5f, 9.0f},
                         {6.5f, 9.0f},
                         {11.5f, 4.5f},
                         {11.5f, 19.5f},
                         {6.5f, 15.0f},
                         {2.5f, 15.0f}},
                        true))
        .stroke(polyline({{2.5f, 9.0f},
                          {6.5f, 9.0f},
                          {11.5f, 4.5f},
                          {11.5f, 19.5f},
                          {6.5f, 15.0f},
                          {2.5f, 15.0f}},
                         true),
                1.0f);
    const float radii[] = {3.6f, 6.8f, 10.0f};
    for (int i = 0; i < waves; ++i)
    {
        const float spread = 0.75f - 0.08f * (float)i;
        icon.stroke(arc(11.5f, 12.0f, radii[i], pi / 2 - spread, pi / 2 + spread), 1.7f);
    }
    return icon;
}

IconBuilder waveformBars(std::initializer_list<std::pair<float, float>> bars)
{
    IconBuilder icon;
    for (auto [x, h] : bars)
        icon.stroke(segment(x, 12.0f - h / 2, x, 12.0f + h / 2), 1.8f);
    return icon;
}

IconBuilder chevron(float radians)
{
    IconBuilder icon;
    icon.stroke(polyline({{6.5f, 9.25f}, {12.0f, 14.75f}, {17.5f, 9.25f}}), 2.2f)
        .transform(rotatedAboutCentre(radians));
    return icon;
}

juce::Path checkmarkStroke(float scale, float dx, float dy)
{
    return polyline({{5.0f * scale + dx, 12.5f * scale + dy},
                     {9.8f * scale + dx, 17.3f * scale + dy},
                     {19.0f * scale + dx, 6.7f * scale + dy}});
}

juce::Path sparkle(float cx, float cy, float r)
{
    // Four points joined by inward curves.
    const float k = r * 0.18f;
    juce::Path p;
    p.startNewSubPath(cx, cy - r);
    p.quadraticTo(cx + k, cy - k, cx + r, cy);
    p.quadraticTo(cx + k, cy + k, cx, cy + r);
    p.quadraticTo(cx - k, cy + k, cx - r, cy);
    p.quadraticTo(cx - k, cy - k, cx, cy - r);
    p.closeSubPath();
    return p;
}

juce::Path wave(float x0, float y, float step, int humps, float amplitude)
{
    juce::Path p;
    p.startNewSubPath(x0, y);
    for (int k = 0; k < humps; ++k)
        p.quadraticTo(x0 + step * ((float)k + 0.5f), y + ((k % 2) == 0 ? -amplitude : amplitude),
                      x0 + step * (float)(k + 1), y);
    return p;
}

IconBuilder doubleArrow(float from, float to, float head)
{
    IconBuilder icon;
    icon.stroke(segment(from, 12.0f, to, 12.0f), 1.9f)
        .stroke(polyline({{from + head, 12.0f - head}, {from, 12.0f}, {from + head, 12.0f + head}}),
                1.9f)
        .stroke(polyline({{to - head, 12.0f - head}, {to, 12.0f}, {to - head, 12.0f + head}}),
                1.9f);
    return icon;
}

using Maker = std::function<IconBuilder()>;

const std::map<std::string, Maker, std::less<>>& makers()
{
    static const std::map<std::string, Maker, std::less<>> table{
        {"pianokeys", [] { return pianoKeys(false); }},
        {"pianokeys.inverse", [] { return pianoKeys(true); }},
        {"slider.vertical.3", [] { return sliders(); }},
        {"slider.horizontal.3", [] { return sliders().transform(rotatedAboutCentre(pi / 2)); }},
        {"bubble.left.and.text.bubble.right",
         []
         {
             IconBuilder icon;
             icon.stroke(roundRect(2.5f, 3.0f, 12.5f, 9.5f, 3.0f), 1.6f)
                 .stroke(polyline({{5.0f, 12.5f}, {4.0f, 15.5f}, {7.8f, 12.5f}}), 1.6f)
                 .solid(roundRect(9.0f, 9.5f, 13.0f, 10.0f, 3.0f))
                 .solid(polyline({{17.0f, 19.0f}, {21.0f, 22.0f}, {20.2f, 18.0f}}, true))
                 .cutStroke(segment(12.2f, 13.2f, 18.8f, 13.2f), 1.4f)
                 .cutStroke(segment(12.2f, 16.0f, 16.5f, 16.0f), 1.4f);
             return icon;
         }},
        {"minus",
         []
         {
             IconBuilder icon;
             return icon.stroke(segment(5.5f, 12.0f, 18.5f, 12.0f), 2.0f);
         }},
        {"plus",
         []
         {
             IconBuilder icon;
             return icon.stroke(segment(5.5f, 12.0f, 18.5f, 12.0f), 2.0f)
                 .stroke(segment(12.0f, 5.5f, 12.0f, 18.5f), 2.0f);
         }},
        {"minus.circle", []
         { return circled([](IconBuilder& i) { i.stroke(segment(7.5f, 12, 16.5f, 12), 1.9f); }); }},
        {"plus.circle",
         []
         {
             return circled(
                 [](IconBuilder& i) {
                     i.stroke(segment(7.5f, 12, 16.5f, 12), 1.9f)
                         .stroke(segment(12, 7.5f, 12, 16.5f), 1.9f);
                 });
         }},
        {"plus.circle.fill",
         []
         {
             IconBuilder icon;
             return icon.solid(disc(12, 12, 10)).cut(cross(12, 12, 5.0f, 2.0f));
         }},
        {"exclamationmark.octagon.fill",
         []
         {
             IconBuilder icon;
             juce::Path octagon;
             for (int k = 0; k < 8; ++k)
             {
                 const float a = pi / 8 + (float)k * pi / 4;
                 const juce::Point<float> p{12 + 10.4f * std::sin(a), 12 - 10.4f * std::cos(a)};
                 k == 0 ? octagon.startNewSubPath(p) : octagon.lineTo(p);
             }
             octagon.closeSubPath();
             return icon.solid(octagon)
                 .stroke(octagon, 1.2f)
                 .cut(roundRect(10.9f, 5.8f, 2.2f, 8.6f, 1.1f))
                 .cut(disc(12, 17.4f, 1.35f));
         }},
        {"pedal.accelerator",
         []
         {
             IconBuilder icon;
             icon.solid(roundRect(6.5f, 2.0f, 11.0f, 15.5f, 2.8f))
                 .solid(roundRect(10.2f, 17.0f, 3.6f, 2.8f, 0.6f))
                 .solid(roundRect(4.5f, 19.6f, 15.0f, 2.6f, 1.3f));
             for (float y : {5.5f, 8.5f, 11.5f, 14.5f})
                 icon.cutStroke(segment(9.3f, y, 14.7f, y), 1.1f);
             return icon;
         }},
        {"paintpalette",
         []
         {
             IconBuilder icon;
             icon.solid(ellipse(12.0f, 11.5f, 10.0f, 8.8f))
                 .cut(disc(15.2f, 15.4f, 2.0f))
                 .cut(disc(7.0f, 10.5f, 1.6f))
                 .cut(disc(10.5f, 6.8f, 1.6f))
                 .cut(disc(15.5f, 7.2f, 1.6f))
                 .cut(disc(8.0f, 15.2f, 1.6f));
             return icon;
         }},
        {"globe",
         []
         {
             IconBuilder icon;
             const float r = 9.3f, half = std::sqrt(r * r - 4.6f * 4.6f) - 0.4f;
             return icon.stroke(disc(12, 12, r), 1.6f)
                 .stroke(ellipse(12, 12, 4.0f, r), 1.4f)
                 .stroke(segment(12 - r, 12, 12 + r, 12), 1.4f)
                 .stroke(segment(12 - half, 7.4f, 12 + half, 7.4f), 1.2f)
                 .stroke(segment(12 - half, 16.6f, 12 + half, 16.6f), 1.2f);
         }},
        {"info.circle",
         []
         {
             return circled(
                 [](IconBuilder& i)
                 {
                     i.solid(disc(12, 7.6f, 1.3f))
                         .stroke(polyline({{10.4f, 10.8f}, {12.2f, 10.8f}, {12.2f, 16.6f}}), 1.8f)
                         .stroke(segment(10.2f, 16.8f, 14.2f, 16.8f), 1.6f);
                 });
         }},
        {"arrow.down.circle",
         []
         {
             return circled(
                 [](IconBuilder& i)
                 {
                     i.stroke(segment(12, 6.8f, 12, 16.6f), 1.9f)
                         .stroke(polyline({{8.0f, 12.8f}, {12.0f, 16.8f}, {16.0f, 12.8f}}), 1.9f);
                 });
         }},
        {"arrow.clockwise",
         []
         {
             IconBuilder icon;
             return icon.stroke(arc(12.0f, 13.0f, 7.8f, 0.38f * pi, 2.0f * pi - 0.02f), 1.9f)
                 .solid(polyline({{16.2f, 5.2f}, {11.4f, 1.6f}, {11.4f, 8.8f}}, true))
                 .stroke(polyline({{16.2f, 5.2f}, {11.4f, 1.6f}, {11.4f, 8.8f}}, true), 0.8f);
         }},
        {"speaker.wave.1.fill", [] { return speaker(1); }},
        {"speaker.wave.2.fill", [] { return speaker(2); }},
        {"speaker.wave.3.fill", [] { return speaker(3); }},
        {"dial.medium",
         []
         {
             IconBuilder icon;
             icon.stroke(disc(12, 12, 7.2f), 1.7f)
                 .stroke(
                     segment(12, 12, 12 + 3.6f * std::sin(pi / 4), 12 - 3.6f * std::cos(pi / 4)),
                     1.9f);
             for (int k = 0; k < 7; ++k)
             {
                 const float a = -0.75f * pi + (float)k * 0.25f * pi;
                 icon.stroke(segment(12 + 9.6f * std::sin(a), 12 - 9.6f * std::cos(a),
                                     12 + 10.8f * std::sin(a), 12 - 10.8f * std::cos(a)),
                             1.2f);
             }
             return icon;
         }},
        {"waveform",
         []
         {
             return waveformBars({{3.0f, 4.0f},
                                  {6.0f, 10.0f},
                                  {9.0f, 17.0f},
                                  {12.0f, 8.0f},
                                  {15.0f, 14.0f},
                                  {18.0f, 7.0f},
                                  {21.0f, 3.0f}});
         }},
        {"waveform.badge.plus",
         []
         {
             auto icon = waveformBars({{2.5f, 5.0f}, {5.5f, 12.0f}, {8.5f, 18.0f}, {11.5f, 9.0f}});
             icon.stroke(segment(14.5f, 8.5f, 14.5f, 11.0f), 1.8f)
                 .solid(disc(17.5f, 17.5f, 5.5f))
                 .cut(cross(17.5f, 17.5f, 3.2f, 1.6f));
             return icon;
         }},
        {"waveform.path.ecg",
         []
         {
             IconBuilder icon;
             return icon.stroke(polyline({{2.0f, 12.5f},
                                          {6.5f, 12.5f},
                                          {8.5f, 8.0f},
                                          {11.5f, 18.5f},
                                          {14.5f, 4.0f},
                                          {17.0f, 14.5f},
                                          {18.5f, 12.5f},
                                          {22.0f, 12.5f}}),
                                1.8f);
         }},
        {"puzzlepiece.extension",
         []
         {
             IconBuilder icon;
             return icon.solid(roundRect(3.0f, 8.0f, 13.0f, 13.0f, 1.8f))
                 .solid(disc(9.5f, 6.2f, 3.0f))
                 .solid(disc(17.8f, 14.5f, 3.0f));
         }},
        {"keyboard",
         []
         {
             IconBuilder icon;
             icon.stroke(roundRect(2.0f, 5.0f, 20.0f, 14.0f, 2.5f), 1.6f)
                 .solid(roundRect(7.5f, 14.6f, 9.0f, 1.8f, 0.9f));
             for (float y : {7.9f, 11.2f})
                 for (float x : {5.0f, 8.5f, 12.0f, 15.5f, 19.0f})
                     icon.solid(roundRect(x - 0.95f, y, 1.9f, 1.9f, 0.4f));
             return icon;
         }},
        {"chevron.down", [] { return chevron(0.0f); }},
        {"chevron.up", [] { return chevron(pi); }},
        {"chevron.left", [] { return chevron(pi / 2); }},
        {"chevron.right", [] { return chevron(-pi / 2); }},
        {"checkmark",
         []
         {
             IconBuilder icon;
             return icon.stroke(checkmarkStroke(1.0f, 0.0f, 0.0f), 2.3f);
         }},
        {"checkmark.circle.fill",
         []
         {
             IconBuilder icon;
             return icon.solid(disc(12, 12, 10))
                 .cutStroke(checkmarkStroke(0.62f, 4.3f, 4.6f), 2.0f);
         }},
        {"bolt.horizontal.fill",
         []
         {
             IconBuilder icon;
             const auto bolt = polyline({{14.0f, 1.5f},
                                         {5.0f, 13.5f},
                                         {11.3f, 13.5f},
                                         {10.0f, 22.5f},
                                         {19.0f, 10.5f},
                                         {12.7f, 10.5f}},
                                        true);
             return icon.solid(bolt).stroke(bolt, 0.8f).transform(rotatedAboutCentre(pi / 2));
         }},
        {"music.note.list",
         []
         {
             IconBuilder icon;
             for (float y : {6.0f, 10.5f, 15.0f})
                 icon.stroke(segment(2.5f, y, 11.5f, y), 1.8f);
             icon.stroke(segment(2.5f, 19.5f, 8.0f, 19.5f), 1.8f)
                 .stroke(segment(19.0f, 17.5f, 19.0f, 3.5f), 1.8f)
                 .stroke(polyline({{19.0f, 3.5f}, {22.0f, 5.0f}, {22.0f, 7.5f}, {19.0f, 6.2f}}),
                         1.6f)
                 .solid(ellipse(16.3f, 18.2f, 3.2f, 2.5f));
             return icon;
         }},
        {"cloud.fill",
         []
         {
             IconBuilder icon;
             return icon.solid(disc(7.5f, 14.2f, 4.6f))
                 .solid(disc(12.8f, 10.6f, 5.8f))
                 .solid(disc(17.6f, 14.6f, 4.2f))
                 .solid(roundRect(7.5f, 13.0f, 10.0f, 5.8f, 0.0f));
         }},
        {"sparkles",
         []
         {
             IconBuilder icon;
             return icon.solid(sparkle(9.5f, 13.5f, 7.8f))
                 .solid(sparkle(18.2f, 5.8f, 3.6f))
                 .solid(sparkle(18.6f, 18.4f, 2.8f));
         }},
        {"water.waves",
         []
         {
             IconBuilder icon;
             for (float y : {6.5f, 12.0f, 17.5f})
                 icon.stroke(wave(2.5f, y, 4.75f, 4, 2.2f), 1.8f);
             return icon;
         }},
        {"arrow.left.and.right", [] { return doubleArrow(2.8f, 21.2f, 4.2f); }},
        {"arrow.left.and.right.square",
         []
         {
             auto icon = doubleArrow(7.0f, 17.0f, 3.0f);
             icon.stroke(roundRect(2.8f, 2.8f, 18.4f, 18.4f, 4.0f), 1.6f);
             return icon;
         }},
        {"arrow.up.and.down",
         [] { return doubleArrow(2.8f, 21.2f, 4.2f).transform(rotatedAboutCentre(pi / 2)); }},
        {"macwindow",
         []
         {
             IconBuilder icon;
             icon.stroke(roundRect(2.0f, 4.0f, 20.0f, 16.0f, 2.5f), 1.6f)
                 .stroke(segment(2.0f, 9.0f, 22.0f, 9.0f), 1.4f);
             for (float x : {5.2f, 7.8f, 10.4f})
                 icon.solid(disc(x, 6.5f, 0.95f));
             return icon;
         }},
        {"play.fill",
         []
         {
             IconBuilder icon;
             const auto triangle = polyline({{7.0f, 4.5f}, {19.5f, 12.0f}, {7.0f, 19.5f}}, true);
             return icon.solid(triangle).stroke(triangle, 2.2f);
         }},
        {"stop.fill",
         []
         {
             IconBuilder icon;
             return icon.solid(roundRect(5.0f, 5.0f, 14.0f, 14.0f, 2.5f));
         }},
        {"metronome",
         []
         {
             IconBuilder icon;
             return icon
                 .stroke(
                     polyline({{9.0f, 2.8f}, {15.0f, 2.8f}, {19.8f, 21.0f}, {4.2f, 21.0f}}, true),
                     1.6f)
                 .stroke(segment(5.5f, 16.5f, 18.5f, 16.5f), 1.4f)
                 .stroke(segment(12.0f, 16.5f, 16.8f, 5.5f), 1.6f)
                 .solid(roundRect(13.6f, 9.0f, 3.0f, 2.6f, 0.6f));
         }},
        {"hand.tap",
         []
         {
             IconBuilder icon;
             icon.solid(roundRect(9.6f, 7.0f, 3.6f, 11.0f, 1.8f))
                 .solid(roundRect(9.6f, 12.0f, 10.4f, 10.0f, 3.2f))
                 .solid(roundRect(13.4f, 10.6f, 3.2f, 4.0f, 1.6f))
                 .solid(roundRect(16.6f, 11.4f, 3.2f, 4.0f, 1.6f));
             juce::Path thumb = roundRect(5.5f, 13.0f, 3.4f, 7.0f, 1.7f);
             thumb.applyTransform(juce::AffineTransform::rotation(-0.6f, 7.2f, 16.5f));
             icon.solid(thumb).stroke(arc(11.4f, 8.2f, 5.0f, -1.15f, 1.15f), 1.5f);
             return icon;
         }},
        {"trash",
         []
         {
             IconBuilder icon;
             return icon.stroke(segment(3.5f, 6.0f, 20.5f, 6.0f), 1.8f)
                 .stroke(polyline({{9.0f, 6.0f}, {9.5f, 3.0f}, {14.5f, 3.0f}, {15.0f, 6.0f}}), 1.6f)
                 .stroke(polyline({{6.0f, 6.0f}, {7.2f, 21.0f}, {16.8f, 21.0f}, {18.0f, 6.0f}}),
                         1.8f)
                 .stroke(segment(10.2f, 10.0f, 10.2f, 17.0f), 1.4f)
                 .stroke(segment(13.8f, 10.0f, 13.8f, 17.0f), 1.4f);
         }},
        {"pencil",
         []
         {
             IconBuilder icon;
             return icon.solid(roundRect(6.0f, 9.8f, 11.0f, 4.4f, 0.6f))
                 .solid(roundRect(2.2f, 9.8f, 3.0f, 4.4f, 1.2f))
                 .solid(polyline({{17.8f, 9.8f}, {21.8f, 12.0f}, {17.8f, 14.2f}}, true))
                 .transform(rotatedAboutCentre(-pi / 4));
         }},
        {"square.and.arrow.down",
         []
         {
             IconBuilder icon;
             return icon
                 .stroke(polyline({{8.5f, 9.0f},
                                   {5.0f, 9.0f},
                                   {5.0f, 21.0f},
                                   {19.0f, 21.0f},
                                   {19.0f, 9.0f},
                                   {15.5f, 9.0f}}),
                         1.7f)
                 .stroke(segment(12.0f, 2.5f, 12.0f, 15.5f), 1.8f)
                 .stroke(polyline({{8.2f, 11.8f}, {12.0f, 15.6f}, {15.8f, 11.8f}}), 1.8f);
         }},
    };
    return table;
}

} // namespace

juce::Path iconPath(std::string_view symbol)
{
    // Built once each: the outlines are flattened, which is not free.
    static std::map<std::string, juce::Path, std::less<>> cache;
    if (auto found = cache.find(symbol); found != cache.end())
        return found->second;
    const auto& table = makers();
    auto maker = table.find(symbol);
    if (maker == table.end())
        return {};
    auto path = maker->second().path;
    cache.emplace(std::string(symbol), path);
    return path;
}

bool hasIcon(std::string_view symbol)
{
    return makers().find(symbol) != makers().end();
}

void drawIcon(juce::Graphics& g, std::string_view symbol, juce::Rectangle<float> area,
              juce::Colour colour)
{
    auto path = iconPath(symbol);
    if (path.isEmpty() || area.isEmpty())
        return;
    // Scaled from the whole grid, not from the picture's own bounds, so that a small glyph
    // such as "minus" keeps its size relative to the others.
    const auto toArea = juce::RectanglePlacement(juce::RectanglePlacement::centred)
                            .getTransformToFit({0.0f, 0.0f, grid, grid}, area);
    g.setColour(colour);
    g.fillPath(path, toArea);
}

} // namespace norvane
