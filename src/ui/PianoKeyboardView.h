#pragma once

#include "ui/ViewContext.h"

#include <juce_gui_basics/juce_gui_basics.h>

#include <functional>
#include <optional>
#include <set>
#include <vector>

namespace norvane
{

/** A piano keyboard that shows the held notes, the notes kept sounding by the pedal (faded) and
    the root of the recognised chord (in the root accent). A click on a key reports its note.
    The keys fill the width offered, but never get narrower than the minimum; then the keyboard
    scrolls sideways. It opens centred on middle C and follows the lowest sounding note.
    Message thread only. */
class PianoKeyboardView final : public juce::Component, private juce::Timer
{
public:
    PianoKeyboardView(const ViewContext& context, int lowNote = 21, int highNote = 108,
                      float minWhiteKeyWidth = 24.0f, float whiteKeyHeight = 150.0f);
    ~PianoKeyboardView() override;

    /** Called with the note of a clicked key. */
    std::function<void(int)> onKeyTap;

    /** Shows new notes: `held` pressed, `sustained` sounding (it includes the held ones), the
        chord's root pitch class if one was recognised. When the sounding notes changed and are
        not empty, the lowest of them slides to the centre. */
    void setNotes(std::set<int> held, std::set<int> sustained, std::optional<int> rootPitchClass);

    struct PianoKey
    {
        int note;
        bool isBlack;
        juce::Rectangle<float> frame; ///< on the scrolling strip of keys
    };

    enum class KeyState
    {
        idle,
        pedalHeld,
        pressed
    };

    static constexpr float padding = 4.0f;
    static constexpr int scrollBarThickness = 6;

    static bool isBlack(int note);
    /** The width of a white key for a view `viewWidth` wide. */
    static float keyWidthFor(float viewWidth, int whiteCount, float minWidth);

    int whiteKeyCount() const;
    float keyWidth() const;
    /** The keys for the current width, white ones first, on the strip's coordinates. */
    std::vector<PianoKey> keys() const;
    /** The key under a point of the strip; black keys first, since they lie on top. */
    std::optional<int> noteAt(juce::Point<float> pointOnStrip) const;

    KeyState state(int note) const;
    juce::Colour fillColour(int note) const;
    int preferredHeight() const;

    /** Scrolls so that `note` is in the middle of the visible part. */
    void centreOn(int note, bool animated);

    juce::Viewport& viewport() { return scroller; }
    juce::Component& strip();

    void paint(juce::Graphics&) override;
    void resized() override;

private:
    class Strip;

    void timerCallback() override;
    void paintKeys(juce::Graphics& g);

    const ViewContext& context;
    int low, high;
    float minKeyWidth, keyHeight;
    std::set<int> heldNotes, sustainedNotes;
    std::optional<int> root;
    juce::Viewport scroller;
    std::unique_ptr<Strip> keyStrip;
    bool laidOut = false;
    double scrollTarget = 0.0;
    ModelWatch watch;
};

} // namespace norvane
