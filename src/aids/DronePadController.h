#pragma once

#include "core/Observable.h"
#include "core/Scheduler.h"

#include <array>
#include <memory>
#include <vector>

namespace norvane
{

class SoundLayer;

/** The drone pad: a sustained open fifth on a chosen key, held on the engine's drone layer
    while the musician plays. Decides which notes sound for the root, octave and shimmer,
    starts and stops them on the layer, and sets the layer's tone for the pad type and
    brightness.

    Every change of what sounds releases all sounding notes first and then starts the new set,
    at once or, after the layer's instrument has been reloaded, 0.15 s later; a later change
    within those 0.15 s makes the earlier start do nothing.

    Message thread only.
*/
class DronePadController final : public ObservableObject
{
public:
    DronePadController(SoundLayer& layer, Scheduler& scheduler);
    ~DronePadController() override;

    Published<bool> isEnabled{*this, false};
    Published<int> rootPitchClass{*this, 0};  ///< 0…11
    Published<int> octave{*this, 2};          ///< 0…6; the root note is (octave + 1) × 12 + root
    Published<double> shimmer{*this, 0.0};    ///< 0…1: high octave notes and their loudness
    Published<double> brightness{*this, 0.5}; ///< 0…1: tilts the layer's high EQ band

    /** Semitones above the root note. */
    static constexpr std::array<int, 4> baseIntervals{0, 7, 12, 19};
    static constexpr std::array<int, 3> shimmerIntervals{24, 31, 36};
    static constexpr int baseVelocity = 70;
    static constexpr double reloadDelay = 0.15; ///< seconds before notes start after a reload

    /** One pad type's tone, written to the drone layer's parameters of the same names. */
    struct Character
    {
        double reverbAmount, reverbDecay, attackTime, releaseTime, eqLowGain, eqMidGain, eqHighGain;
    };
    static constexpr std::array<Character, 3> characters{{
        {0.92, 1.0, 6.0, 9.0, 5.0, -3.0, -7.0},
        {0.85, 0.95, 3.5, 6.0, 1.0, -2.0, 2.5},
        {0.72, 0.88, 4.0, 6.0, 2.0, -1.5, -2.0},
    }};

    /** Moves the octave by `step` when the result stays within 0…6; otherwise nothing. */
    void shiftOctave(int step);

    /** Writes a pad type's tone to the layer, then the brightness; other indices do nothing. */
    void applyCharacter(int index);

    /** Sets the layer's high band to the pad type's own plus (brightness − 0.5) × 16 dB. */
    void applyBrightness();

    /** Releases the sounding notes and, when enabled, starts the current set. */
    void updatePlayback(bool afterInstrumentReload);

    /** After a recalled patch: the notes start again as after an instrument reload, unless
        the sound stayed as it was and the notes sounding are the ones the settings call for,
        which then play on untouched. */
    void updatePlaybackAfterRecall(bool soundChanged);

    /** A key button: chooses the root and switches the drone on. */
    void chooseKey(int pitchClass);

    /** A pad-type button: the layer's sound, its tone, then the notes once it has loaded. */
    void choosePadType(int index);

    /** The notes the current settings call for, in starting order. */
    std::vector<int> voicing() const;

    /** The velocity a note starts with: base notes (below the root note + 24) at 70, shimmer
        notes louder with more shimmer. */
    int velocityFor(int note) const;

    const std::vector<int>& soundingNotes() const { return sounding; }
    int playbackGeneration() const { return generation; }
    SoundLayer& layer() { return drone; }

private:
    void startNotes(std::vector<int> notes);

    SoundLayer& drone;
    Scheduler& scheduler;
    std::vector<int> sounding;
    int generation = 0;
    std::unique_ptr<TimerHandle> delayedStart;
    CallbackList<>::Subscription waitingStart;
    bool startWaits = false; // notes are to start after a reload
};

} // namespace norvane
