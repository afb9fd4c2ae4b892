#include "aids/DronePadController.h"

#include "core/Bounded.h"
#include "core/MessageThread.h"
#include "engine/SoundLayer.h"

#include <algorithm>

namespace norvane
{

DronePadController::DronePadController(SoundLayer& layerIn, Scheduler& schedulerIn)
    : drone(layerIn), scheduler(schedulerIn)
{
    rootPitchClass.setClamp([](const int& pc) { return std::clamp(pc, 0, 11); });
    octave.setClamp([](const int& o) { return std::clamp(o, 0, 6); });
    shimmer.setClamp(within(0.0, 1.0, 0.0));
    brightness.setClamp(within(0.0, 1.0, 0.5));

    isEnabled.setDidChange([this](const bool&) { updatePlayback(false); });
    rootPitchClass.setDidChange([this](const int&) { updatePlayback(false); });
    shimmer.setDidChange([this](const double&) { updatePlayback(false); });
    brightness.setDidChange([this](const double&) { applyBrightness(); });
}

DronePadController::~DronePadController() = default;

void DronePadController::shiftOctave(int step)
{
    const int target = octave.get() + step;
    if (target < 0 || target > 6 || step == 0)
        return;
    octave = target;
    updatePlayback(false);
}

void DronePadController::applyCharacter(int index)
{
    if (index < 0 || index >= (int)characters.size())
        return;
    const auto& c = characters[(size_t)index];
    drone.reverbAmount = c.reverbAmount;
    drone.reverbDecay = c.reverbDecay;
    drone.attackTime = c.attackTime;
    drone.releaseTime = c.releaseTime;
    drone.eqLowGain = c.eqLowGain;
    drone.eqMidGain = c.eqMidGain;
    drone.eqHighGain = c.eqHighGain;
    applyBrightness();
}

void DronePadController::applyBrightness()
{
    const int index = drone.variantIndex.get();
    const double base =
        index >= 0 && index < (int)characters.size() ? characters[(size_t)index].eqHighGain : 0.0;
    drone.eqHighGain = base + (brightness.get() - 0.5) * 16.0;
}

std::vector<int> DronePadController::voicing() const
{
    const int rootNote = (octave.get() + 1) * 12 + rootPitchClass.get();
    std::vector<int> notes;
    for (int interval : baseIntervals)
        notes.push_back(rootNote + interval);
    if (shimmer.get() > 0.01)
        for (int interval : shimmerIntervals)
            if (rootNote + interval < 128)
                notes.push_back(rootNote + interval);
    return notes;
}

int DronePadController::velocityFor(int note) const
{
    const int rootNote = (octave.get() + 1) * 12 + rootPitchClass.get();
    return note < rootNote + 24 ? baseVelocity : (int)(shimmer.get() * 34.0 + 14.0);
}

void DronePadController::updatePlayback(bool afterInstrumentReload)
{
    NORVANE_ASSERT_MESSAGE_THREAD;
    const int thisGeneration = ++generation;
    delayedStart.reset();
    waitingStart.reset();
    startWaits = false;

    for (int note : sounding)
        drone.noteOff(note);
    sounding.clear();

    if (!isEnabled.get())
        return;

    auto notes = voicing();
    if (!afterInstrumentReload)
    {
        startNotes(std::move(notes));
        return;
    }

    // Give the layer time to finish loading its instrument. The handle dies with the
    // controller, and a later update replaces it, so a stale start never plays.
    startWaits = true;
    delayedStart = scheduler.after(reloadDelay,
                                   [this, thisGeneration, notes]
                                   {
                                       if (generation != thisGeneration)
                                           return;
                                       // Still loading: the notes start with the new sound.
                                       if (drone.isSwitchPending())
                                           waitingStart = drone.switched.add(
                                               [this, thisGeneration, notes]
                                               {
                                                   if (generation == thisGeneration)
                                                       startNotes(notes);
                                               });
                                       else
                                           startNotes(notes);
                                   });
}

void DronePadController::updatePlaybackAfterRecall(bool soundChanged)
{
    NORVANE_ASSERT_MESSAGE_THREAD;
    // Struck again, the same notes would swell anew from the sound's own attack.
    if (!soundChanged && !startWaits && isEnabled.get() && sounding == voicing())
        return;
    updatePlayback(true);
}

void DronePadController::startNotes(std::vector<int> notes)
{
    waitingStart.reset();
    startWaits = false;
    sounding = std::move(notes);
    for (int note : sounding)
        drone.noteOn(note, velocityFor(note));
}

void DronePadController::chooseKey(int pitchClass)
{
    rootPitchClass = pitchClass;
    if (!isEnabled.get())
        isEnabled = true;
}

void DronePadController::choosePadType(int index)
{
    if (drone.variantIndex.get() == index)
        drone.loadInstrument();
    else
        drone.variantIndex = index; // reloads the instrument
    applyCharacter(index);
    updatePlayback(true);
}

} // namespace norvane
