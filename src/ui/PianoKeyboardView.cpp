#include "ui/PianoKeyboardView.h"

#include "ui/Look.h"

#include <algorithm>
#include <cmath>

namespace norvane
{

namespace
{
int pitchClass(int note)
{
    return ((note % 12) + 12) % 12;
}

juce::Path keyShape(juce::Rectangle<float> frame, float radius)
{
    juce::Path p;
    p.addRoundedRectangle(frame.getX(), frame.getY(), frame.getWidth(), frame.getHeight(), radius,
                          radius, false, false, true, true);
    return p;
}
} // namespace

/** The keys themselves, as wide as all the white keys, inside the scrolling viewport. */
class PianoKeyboardView::Strip final : public juce::Component
{
public:
    explicit Strip(PianoKeyboardView& ownerIn) : owner(ownerIn)
    {
        setMouseCursor(juce::MouseCursor::PointingHandCursor);
    }

    void paint(juce::Graphics& g) override { owner.paintKeys(g); }

    void mouseDown(const juce::MouseEvent& e) override
    {
        if (auto note = owner.noteAt(e.position); note && owner.onKeyTap)
            owner.onKeyTap(*note);
    }

private:
    PianoKeyboardView& owner;
};

PianoKeyboardView::PianoKeyboardView(const ViewContext& contextIn, int lowNote, int highNote,
                                     float minWhiteKeyWidth, float whiteKeyHeight)
    : context(contextIn), low(lowNote), high(highNote), minKeyWidth(minWhiteKeyWidth),
      keyHeight(whiteKeyHeight), keyStrip(std::make_unique<Strip>(*this))
{
    scroller.setViewedComponent(keyStrip.get(), false);
    scroller.setScrollBarsShown(false, true, false, true);
    scroller.setScrollBarThickness(scrollBarThickness);
    addAndMakeVisible(scroller);
    watch.watch(context.theme, [this] { repaint(); });
    setSize(800, preferredHeight());
}

PianoKeyboardView::~PianoKeyboardView()
{
    scroller.setViewedComponent(nullptr, false);
}

juce::Component& PianoKeyboardView::strip()
{
    return *keyStrip;
}

bool PianoKeyboardView::isBlack(int note)
{
    switch (pitchClass(note))
    {
    case 1:
    case 3:
    case 6:
    case 8:
    case 10:
        return true;
    default:
        return false;
    }
}

float PianoKeyboardView::keyWidthFor(float viewWidth, int whiteCount, float minWidth)
{
    return std::max(minWidth, std::max(200.0f, viewWidth - 8.0f) / (float)std::max(1, whiteCount));
}

int PianoKeyboardView::whiteKeyCount() const
{
    int count = 0;
    for (int n = low; n <= high; ++n)
        count += isBlack(n) ? 0 : 1;
    return count;
}

float PianoKeyboardView::keyWidth() const
{
    return keyWidthFor((float)getWidth(), whiteKeyCount(), minKeyWidth);
}

std::vector<PianoKeyboardView::PianoKey> PianoKeyboardView::keys() const
{
    const float width = keyWidth();
    const float blackWidth = width * 16.0f / 26.0f;
    const float blackHeight = keyHeight * 92.0f / 150.0f;
    std::vector<PianoKey> whites, blacks;
    int whitesBelow = 0;
    for (int n = low; n <= high; ++n)
    {
        if (isBlack(n))
        {
            blacks.push_back(
                {n,
                 true,
                 {(float)whitesBelow * width - blackWidth / 2.0f, 0.0f, blackWidth, blackHeight}});
        }
        else
        {
            whites.push_back({n, false, {(float)whitesBelow * width, 0.0f, width, keyHeight}});
            ++whitesBelow;
        }
    }
    whites.insert(whites.end(), blacks.begin(), blacks.end());
    return whites;
}

std::optional<int> PianoKeyboardView::noteAt(juce::Point<float> point) const
{
    const auto all = keys();
    for (const auto& key : all)
        if (key.isBlack && key.frame.contains(point))
            return key.note;
    for (const auto& key : all)
        if (!key.isBlack && key.frame.contains(point))
            return key.note;
    return std::nullopt;
}

PianoKeyboardView::KeyState PianoKeyboardView::state(int note) const
{
    if (heldNotes.count(note) != 0)
        return KeyState::pressed;
    if (sustainedNotes.count(note) != 0)
        return KeyState::pedalHeld;
    return KeyState::idle;
}

juce::Colour PianoKeyboardView::fillColour(int note) const
{
    const auto highlight = (root && *root == pitchClass(note)) ? context.theme.accentRoot.get()
                                                               : context.theme.accent.get();
    switch (state(note))
    {
    case KeyState::pressed:
        return highlight;
    case KeyState::pedalHeld:
        return highlight.withAlpha(0.45f);
    case KeyState::idle:
        break;
    }
    return isBlack(note) ? juce::Colour::fromFloatRGBA(0.08f, 0.08f, 0.09f, 1.0f)
                         : juce::Colours::white;
}

int PianoKeyboardView::preferredHeight() const
{
    return (int)std::ceil(keyHeight + 2.0f * padding) + scrollBarThickness;
}

void PianoKeyboardView::setNotes(std::set<int> held, std::set<int> sustained,
                                 std::optional<int> rootPitchClass)
{
    const bool soundingChanged = sustained != sustainedNotes;
    if (held == heldNotes && !soundingChanged && rootPitchClass == root)
        return;
    heldNotes = std::move(held);
    sustainedNotes = std::move(sustained);
    root = rootPitchClass;
    keyStrip->repaint();
    if (soundingChanged && !sustainedNotes.empty())
        centreOn(*sustainedNotes.begin(), true);
}

void PianoKeyboardView::centreOn(int note, bool animated)
{
    for (const auto& key : keys())
    {
        if (key.note != note)
            continue;
        const double room = std::max(0, keyStrip->getWidth() - scroller.getViewWidth());
        scrollTarget =
            juce::jlimit(0.0, room, (double)key.frame.getCentreX() - scroller.getViewWidth() / 2.0);
        if (animated && isShowing())
        {
            startTimerHz(60);
        }
        else
        {
            stopTimer();
            scroller.setViewPosition((int)std::round(scrollTarget), 0);
        }
        return;
    }
}

void PianoKeyboardView::timerCallback()
{
    const double x = scroller.getViewPositionX();
    const double step = (scrollTarget - x) * 0.22;
    if (std::abs(scrollTarget - x) < 1.0)
    {
        scroller.setViewPosition((int)std::round(scrollTarget), 0);
        stopTimer();
        return;
    }
    scroller.setViewPosition(
        (int)std::round(x + (std::abs(step) < 1.0 ? (step > 0 ? 1 : -1) : step)), 0);
}

void PianoKeyboardView::resized()
{
    auto inner = getLocalBounds().reduced((int)padding);
    scroller.setBounds(inner);
    const float width = keyWidth();
    keyStrip->setSize((int)std::ceil(width * (float)whiteKeyCount()), (int)std::ceil(keyHeight));
    if (!laidOut && getWidth() > 0)
    {
        laidOut = true;
        centreOn(60, false);
    }
}

void PianoKeyboardView::paint(juce::Graphics& g)
{
    paintPanel(g, getLocalBounds().toFloat(), context, 10.0f);
}

void PianoKeyboardView::paintKeys(juce::Graphics& g)
{
    const auto all = keys();
    const auto outline = juce::Colours::black;
    const float whiteRadius = std::min(4.0f, keyWidth() * 0.16f);

    auto drawKey = [&](const PianoKey& key, float radius)
    {
        const auto shape = keyShape(key.frame.reduced(0.5f, 0.0f), radius);
        g.setColour(fillColour(key.note));
        g.fillPath(shape);
        g.setColour(outline.withAlpha(0.9f));
        g.strokePath(shape, juce::PathStrokeType(1.0f));
    };

    auto glow = [&](const PianoKey& key, float radius)
    {
        const auto shape = keyShape(key.frame.reduced(0.5f, 0.0f), radius);
        juce::DropShadow(fillColour(key.note).withAlpha(0.7f), key.isBlack ? 9 : 12, {})
            .drawForPath(g, shape);
    };

    // A pedal-held key is faded toward the key's own ground, not toward the panel.
    auto drawFaded = [&](const PianoKey& key, float radius)
    {
        const auto shape = keyShape(key.frame.reduced(0.5f, 0.0f), radius);
        g.setColour(key.isBlack ? juce::Colour::fromFloatRGBA(0.08f, 0.08f, 0.09f, 1.0f)
                                : juce::Colours::white);
        g.fillPath(shape);
    };

    for (const auto& key : all)
        if (!key.isBlack)
        {
            if (state(key.note) == KeyState::pedalHeld)
                drawFaded(key, whiteRadius);
            drawKey(key, whiteRadius);
        }
    for (const auto& key : all)
        if (!key.isBlack && state(key.note) == KeyState::pressed)
        {
            glow(key, whiteRadius);
            drawKey(key, whiteRadius);
        }

    // The shadow of the key bed's lip across the tops of the white keys.
    g.setGradientFill(juce::ColourGradient::vertical(juce::Colours::black.withAlpha(0.28f), 0.0f,
                                                     juce::Colours::transparentBlack, 7.0f));
    g.fillRect(0.0f, 0.0f, (float)keyStrip->getWidth(), 7.0f);

    for (const auto& key : all)
        if (key.isBlack)
        {
            const float radius = std::min(2.5f, key.frame.getWidth() * 0.2f);
            const auto keyState = state(key.note);
            if (keyState == KeyState::pressed)
                glow(key, radius);
            if (keyState == KeyState::pedalHeld)
                drawFaded(key, radius);
            drawKey(key, radius);
            if (keyState == KeyState::idle)
            {
                // A sheen along the top of an idle black key, as on lacquered keys.
                auto sheen = key.frame.reduced(key.frame.getWidth() * 0.22f, 0.0f)
                                 .withTrimmedTop(3.0f)
                                 .withHeight(key.frame.getHeight() * 0.7f);
                g.setGradientFill(juce::ColourGradient::vertical(
                    juce::Colours::white.withAlpha(0.10f), sheen.getY(),
                    juce::Colours::white.withAlpha(0.0f), sheen.getBottom()));
                g.fillRoundedRectangle(sheen, 1.5f);
            }
        }
}

} // namespace norvane
