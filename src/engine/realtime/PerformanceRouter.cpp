#include "engine/realtime/PerformanceRouter.h"

#include "engine/CompressorNode.h"
#include "engine/EqualizerNode.h"
#include "engine/MixerNode.h"
#include "engine/ReverbNode.h"
#include "engine/realtime/LayerProcessor.h"

#include "core/MidiParser.h"

#include <algorithm>
#include <chrono>

namespace norvane
{

using Kind = PerformanceEvent::Kind;

PerformanceRouter::PerformanceRouter(std::array<LayerProcessor*, 4> playing, LayerProcessor& drone,
                                     MixerNode& master)
    : layers(playing), droneLayer(drone), masterMixer(master)
{
    for (auto& keys : sentForKey)
        keys.fill(-1);
}

std::int64_t PerformanceRouter::nowNanos() noexcept
{
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

bool PerformanceRouter::post(Lane lane, PerformanceEvent event) noexcept
{
    if (event.arrivalNanos == 0)
        event.arrivalNanos = nowNanos();
    if (lanes[(size_t)lane].push(event))
        return true;
    overflowed[(size_t)lane].store(true, std::memory_order_release);
    return false;
}

void PerformanceRouter::postFromMessageThread(PerformanceEvent event)
{
    if (event.arrivalNanos == 0)
        event.arrivalNanos = nowNanos();
    if (flushHeld() && lanes[(size_t)Lane::messageThread].push(event))
        return;
    event.waited = true;
    held.push_back(event);
}

bool PerformanceRouter::flushHeld()
{
    auto& lane = lanes[(size_t)Lane::messageThread];
    while (!held.empty() && lane.push(held.front()))
        held.pop_front();
    return held.empty();
}

void PerformanceRouter::resumeAfterStop() noexcept
{
    resumedAt.store(nowNanos(), std::memory_order_release);
}

bool PerformanceRouter::strikes(const PerformanceEvent& e) noexcept
{
    return e.kind == PerformanceEvent::Kind::keyDown ||
           (e.kind == PerformanceEvent::Kind::channelMessage && e.status == 0x90 && e.data2 > 0);
}

int PerformanceRouter::pendingCount() const noexcept
{
    int n = 0;
    for (auto& lane : lanes)
        n += lane.size();
    return n;
}

void PerformanceRouter::beginBlock(int numSamples) noexcept
{
    echoCount = 0;
    const auto blockBegan = nowNanos();
    const double blockNanos = 1.0e9 * numSamples / rate;
    const bool placeByArrival =
        placement == LanePlacement::oneBlockLater ||
        (placement == LanePlacement::automatic && numSamples > largestBlockPlayedAtItsStart);

    // Plug-ins offered since the last block play this block's notes.
    for (auto* l : layers)
        l->takeOffers();
    droneLayer.takeOffers();

    // After a stall, what waited is stale: its keys were struck long ago and some of their
    // releases may be lost. It is gone through for its releases, pedal and settings; then,
    // when a lane ran over, every note is released.
    std::int64_t staleUntil = resumedAt.exchange(0, std::memory_order_acq_rel);
    bool ranOver = false;
    for (auto& flag : overflowed)
        ranOver = flag.exchange(false, std::memory_order_acq_rel) || ranOver;
    if (ranOver)
        staleUntil = nowNanos();

    // Everything that has arrived, oldest first across the lanes; within a lane in order.
    for (;;)
    {
        int oldest = -1;
        PerformanceEvent first, candidate;
        for (int l = 0; l < laneCount; ++l)
            if (lanes[(size_t)l].peek(candidate) &&
                (oldest < 0 || candidate.arrivalNanos < first.arrivalNanos))
            {
                oldest = l;
                first = candidate;
            }
        if (staleUntil != 0 && (oldest < 0 || first.arrivalNanos > staleUntil))
        {
            if (ranOver)
                releaseEverything();
            staleUntil = 0;
            changed = true;
        }
        if (oldest < 0)
            break;
        lanes[(size_t)oldest].pop(first);
        if ((staleUntil != 0 || first.waited) && strikes(first))
            continue;
        if (placeByArrival)
        {
            // One block after it arrived: what arrived during the last block plays in this one
            // at the same distance from its start, a constant latency instead of 0–1 block.
            const double due = (double)(first.arrivalNanos - blockBegan) + blockNanos;
            setFrame(std::clamp((int)(due * rate / 1.0e9), 0, std::max(0, numSamples - 1)));
        }
        handle(first);
        changed = true;
    }
    setFrame(0);

    if (changed)
        publish();
}

void PerformanceRouter::playTimed(TimedMidi midi) noexcept
{
    for (const auto& event : midi)
    {
        setFrame(event.frame);
        parseMidiBytes(event.bytes, event.size,
                       [&](const ChannelMessage& m)
                       {
                           PerformanceEvent e;
                           e.kind = Kind::channelMessage;
                           e.input = PerformanceInput::jackMidi;
                           e.status = m.kind;
                           e.data1 = m.data1;
                           e.data2 = m.data2;
                           e.channel = m.channel;
                           handle(e);
                       });
        changed = true;
    }
    setFrame(0);
    if (changed)
        publish();
}

void PerformanceRouter::midiInputLost() noexcept
{
    releaseEverything();
    changed = true;
}

void PerformanceRouter::setFrame(int frame) noexcept
{
    frameNow = frame;
    for (auto* l : layers)
        l->setCommandFrame(frame);
    droneLayer.setCommandFrame(frame);
}

void PerformanceRouter::echo(std::uint8_t status, std::uint8_t data1, std::uint8_t data2) noexcept
{
    if (!echoing || echoCount >= (int)echoBuffer.size())
        return;
    auto& e = echoBuffer[(size_t)echoCount++];
    e.frame = frameNow;
    const auto kind = status & 0xF0;
    e.size = kind == 0xC0 || kind == 0xD0 ? 2 : 3;
    e.bytes[0] = (std::uint8_t)(kind | echoChannel);
    e.bytes[1] = data1 & 0x7F;
    e.bytes[2] = data2 & 0x7F;
}

void PerformanceRouter::publish() noexcept
{
    changed = false;
    for (int n = 0; n < 128; ++n)
        scratch.active[(size_t)n] = keysHolding[(size_t)n] > 0;
    scratch.clicked = clicked;
    scratch.heldByPedal = heldByPedal;
    scratch.pedalDown = pedalDown;
    for (size_t l = 0; l < 4; ++l)
        layers[l]->fillNotes(scratch.layers[l]);
    droneLayer.fillNotes(scratch.layers[4]);
    scratch.serial = ++serial;
    played.write(scratch);
}

void PerformanceRouter::notify(const PerformanceNotice& notice) noexcept
{
    notices.push(notice); // full only after minutes without a message loop: dropped then
}

void PerformanceRouter::handle(const PerformanceEvent& e) noexcept
{
    auto* layer = e.layer >= 0 && e.layer < 4 ? layers[(size_t)e.layer]
                  : e.layer == 4              ? &droneLayer
                                              : nullptr;
    echoChannel = e.kind == Kind::channelMessage && e.channel >= 1 ? (std::uint8_t)(e.channel - 1) : 0;
    switch (e.kind)
    {
    case Kind::channelMessage:
        handleChannelMessage(e);
        break;
    case Kind::keyDown:
        keyDown((int)e.input, e.data1, e.data2);
        break;
    case Kind::keyUp:
        keyUp((int)e.input, e.data1);
        break;
    case Kind::screenKey:
        screenKey(e.data1);
        break;
    case Kind::panic:
        panic();
        break;
    case Kind::sourceChanged:
        releaseEverything();
        break;
    case Kind::layerNoteOn:
        if (layer != nullptr)
            layer->noteOn(e.data1, e.data2);
        break;
    case Kind::layerNoteOff:
        if (layer != nullptr)
            layer->noteOff(e.data1);
        break;
    case Kind::layerPanic:
        if (layer != nullptr)
            layer->panicStop();
        break;
    case Kind::layerReleaseOutsideRange:
        if (layer != nullptr)
            layer->releaseNotesOutsideRange();
        break;
    case Kind::layerEnvelopeRest:
        if (layer != nullptr)
            layer->applyEnvelopeRestLevel();
        break;
    case Kind::enginePanic:
        for (auto* l : layers)
            l->panicStop();
        break;
    case Kind::enginePitchBend:
        for (auto* l : layers)
            l->pitchBend(e.bend);
        break;
    case Kind::engineSustainNoise:
        for (auto* l : layers)
            l->playPedalNoise(e.data1 != 0);
        break;
    case Kind::setTransposition:
        transposition = e.bend;
        break;
    case Kind::setControllerTarget:
        if (e.data1 < controllerTargets.size())
            controllerTargets[e.data1] = e.data2;
        break;
    case Kind::clearBindings:
        bound.clear();
        break;
    case Kind::bindControl:
        if (e.status == 0xB0 && e.data1 == 64 && pedalDown)
        {
            // The pedal's own controller taken for something else: its notes are let go of
            // first, since its release will never reach them now.
            setPedal(false);
            lastPedalValue = -1;
        }
        bound.bind(e.status == 0x90 ? BoundControls::Source::note
                                    : BoundControls::Source::controller,
                   e.data1, e.channel, e.data2);
        break;
    case Kind::learnControl:
        learning = e.data1 < ControlTarget::indexCount ? e.data1 : BoundControls::none;
        break;
    case Kind::setEcho:
        echoing = e.data1 != 0;
        break;
    case Kind::setLanePlacement:
        placement = e.data1 <= 2 ? (LanePlacement)e.data1 : LanePlacement::automatic;
        break;
    case Kind::setPedalPolarity:
        pedalInverted = e.data1 != 0;
        if (lastPedalValue >= 0)
            setPedal(pedalIsDown(lastPedalValue));
        break;
    }
}

bool PerformanceRouter::pedalIsDown(int value) const noexcept
{
    return pedalInverted ? value < 64 : value >= 64;
}

bool PerformanceRouter::takenByBinding(const PerformanceEvent& e) noexcept
{
    const bool isNote = e.status == 0x90 || e.status == 0x80;
    if (!isNote && e.status != 0xB0)
        return false;
    const bool strike = e.status == 0x90 && e.data2 > 0;
    const auto source = isNote ? BoundControls::Source::note : BoundControls::Source::controller;

    // Learning: the next controller or key struck is the one. The sustain pedal and the
    // channel-mode messages (120–127) are never learnt: a pedal let go of while learning
    // must still let go of its notes.
    if (learning != BoundControls::none && (strike || (!isNote && isLearnable(e.data1))))
    {
        bound.bind(source, e.data1, e.channel, learning);
        PerformanceNotice n{PerformanceNotice::Kind::learned, learning, e.data1};
        n.source = isNote ? 0x90 : 0xB0;
        n.channel = e.channel;
        notify(n);
        learning = BoundControls::none;
        return true;
    }

    const auto index = bound.find(source, e.data1, e.channel);
    const auto target = ControlTarget::fromIndex(index);
    if (!target)
        return false;
    if (isNote && !strike)
    {
        // A key that sounded before it was bound is still let go of.
        if (sentForKey[(size_t)e.input][e.data1 & 0x7F] >= 0)
            keyUp((int)e.input, e.data1);
        return true;
    }

    if (target->behaviour() == ControlTarget::Behaviour::continuous)
    {
        if (isNote)
            return true; // a key cannot hold a fader anywhere
        if (auto v = bound.follow(index, e.data2, controlValue(*target)))
            moveControl(*target, *v);
        return true;
    }

    if (isNote || bound.pressed(index, e.data2))
    {
        if (target->kind == ControlTarget::Kind::panic)
            panic(); // at once, here: the message thread only hears of it
        notify({PerformanceNotice::Kind::controlPressed, index});
    }
    return true;
}

namespace
{

EqualizerNode::Band bandOf(ControlTarget::Kind kind)
{
    return (EqualizerNode::Band)((int)kind - (int)ControlTarget::Kind::layerEqLowGain);
}

} // namespace

LayerChain& PerformanceRouter::chainOf(const ControlTarget& target) const noexcept
{
    return target.kind == ControlTarget::Kind::droneVolume
               ? droneLayer.liveChain()
               : layers[(size_t)target.layer]->liveChain();
}

float PerformanceRouter::controlValue(const ControlTarget& target) const noexcept
{
    using K = ControlTarget::Kind;
    if (target.kind == K::masterVolume)
        return masterMixer.getOutputVolume();
    auto& chain = chainOf(target);
    switch (target.kind)
    {
    case K::layerVolume:
    case K::droneVolume:
        return chain.settings.volume.load();
    case K::layerReverbAmount:
        return chain.reverb().getParameter(ReverbNode::dryWetMix) / 100.0f;
    case K::layerCompressionAmount:
        return CompressorNode::amountFor(chain.compressor().getHeadRoom());
    case K::layerEqLowGain:
    case K::layerEqMidGain:
    case K::layerEqHighGain:
        return EqualizerNode::shareOfGain(chain.eq().getGain(bandOf(target.kind)));
    default:
        return 0.0f;
    }
}

void PerformanceRouter::setControlValue(const ControlTarget& target, float v) noexcept
{
    using K = ControlTarget::Kind;
    if (target.kind == K::masterVolume)
        return masterMixer.setOutputVolume(v);
    auto& chain = chainOf(target);
    switch (target.kind)
    {
    case K::layerVolume:
    case K::droneVolume:
        // The layer's fader: the notes it still holds from an earlier set-up follow it too.
        (target.kind == K::droneVolume ? droneLayer : *layers[(size_t)target.layer]).setVolume(v);
        break;
    case K::layerReverbAmount:
        chain.reverb().setParameter(ReverbNode::dryWetMix, v * 100.0f);
        break;
    case K::layerCompressionAmount:
        chain.compressor().setHeadRoom(CompressorNode::headRoomFor(v));
        break;
    case K::layerEqLowGain:
    case K::layerEqMidGain:
    case K::layerEqHighGain:
        chain.eq().setGain(bandOf(target.kind), EqualizerNode::gainForShare(v));
        break;
    default:
        break;
    }
}

void PerformanceRouter::handleChannelMessage(const PerformanceEvent& e) noexcept
{
    if (takenByBinding(e))
        return;
    const int input = (int)e.input;
    if (e.status == 0xA0)
        echo(e.status, (std::uint8_t)transposed(e.data1), e.data2);
    else if (e.status >= 0xB0)
        echo(e.status, e.data1, e.data2);
    switch (e.status)
    {
    case 0x80:
        keyUp(input, e.data1);
        break;
    case 0x90:
        if (e.data2 > 0)
            keyDown(input, e.data1, e.data2);
        else
            keyUp(input, e.data1);
        break;
    case 0xB0:
        switch (e.data1)
        {
        case 1:
            controller(modulation, e.data2);
            break;
        case 7:
            controller(volume, e.data2);
            break;
        case 11:
            controller(expression, e.data2);
            break;
        case 64:
            lastPedalValue = e.data2;
            setPedal(pedalIsDown(e.data2));
            break;
        default:
            break;
        }
        break;
    case 0xC0:
        notify({PerformanceNotice::Kind::programChange, 0, e.data1});
        break;
    case 0xE0:
        for (auto* l : layers)
            l->pitchBend(e.data1 + 128 * e.data2);
        break;
    default: // polyphonic and channel pressure
        break;
    }
}

int PerformanceRouter::transposed(int key) const noexcept
{
    return std::clamp(key + transposition, 0, 127);
}

void PerformanceRouter::noteOn(int note, int velocity) noexcept
{
    for (auto* l : layers)
        l->noteOn(note, velocity);
}

void PerformanceRouter::noteOff(int note) noexcept
{
    for (auto* l : layers)
        l->noteOff(note);
}

void PerformanceRouter::keyDown(int input, int key, int velocity) noexcept
{
    if (key < 0 || key > 127)
        return;
    if (sentForKey[(size_t)input][(size_t)key] >= 0)
        keyUp(input, key); // down twice without an up: the first is over

    const int n = transposed(key);
    echo(0x90, (std::uint8_t)n, (std::uint8_t)velocity);
    sentForKey[(size_t)input][(size_t)key] = (std::int16_t)n;
    ++keysHolding[(size_t)n];
    heldByPedal[(size_t)n] = false; // struck again: no longer waiting for the pedal
    noteOn(n, velocity);
}

void PerformanceRouter::keyUp(int input, int key) noexcept
{
    if (key < 0 || key > 127)
        return;
    // The key releases the note it started, whatever the transposition is now.
    auto& sent = sentForKey[(size_t)input][(size_t)key];
    const int n = sent >= 0 ? sent : transposed(key);
    const bool wasHeld = sent >= 0;
    sent = -1;
    if (wasHeld)
        echo(0x80, (std::uint8_t)n);
    if (!wasHeld && keysHolding[(size_t)n] > 0)
        return; // a stray key-up never silences a note another key holds

    if (wasHeld && keysHolding[(size_t)n] > 0 && --keysHolding[(size_t)n] > 0)
        return; // another key still holds the same note
    if (pedalDown)
        heldByPedal[(size_t)n] = true;
    else if (!clicked[(size_t)n])
        noteOff(n);
}

void PerformanceRouter::screenKey(int key) noexcept
{
    // The on-screen keyboard lights the notes that sound: clicking a lit latch lets go of
    // that very note, whatever the transposition is now. Any other key latches its note.
    const int n = key >= 0 && key < 128 && clicked[(size_t)key] ? key : transposed(key);
    echo(clicked[(size_t)n] ? 0x80 : 0x90, (std::uint8_t)n, clicked[(size_t)n] ? 0 : 100);
    if (clicked[(size_t)n])
    {
        clicked[(size_t)n] = false;
        if (pedalDown)
            heldByPedal[(size_t)n] = true;
        else if (keysHolding[(size_t)n] == 0) // also held on a key: it keeps sounding
            noteOff(n);
    }
    else
    {
        clicked[(size_t)n] = true;
        heldByPedal[(size_t)n] = false;
        noteOn(n, 100);
    }
}

void PerformanceRouter::setPedal(bool down) noexcept
{
    if (down == pedalDown)
        return; // repeated pedal messages change nothing
    pedalDown = down;
    for (auto* l : layers)
        l->playPedalNoise(down);

    if (!down)
    {
        for (int n = 0; n < 128; ++n)
            if (heldByPedal[(size_t)n] && keysHolding[(size_t)n] == 0 && !clicked[(size_t)n])
                noteOff(n);
        heldByPedal.reset();
    }
}

void PerformanceRouter::controller(int which, int value) noexcept
{
    const int destination = controllerTargets[(size_t)which];
    const float v = (float)std::clamp(value, 0, 127) / 127.0f;
    if (destination == 1)
        moveControl(ControlTarget::master(), v);
    else if (destination >= 2 && destination <= 5)
        moveControl(ControlTarget::ofLayer(ControlTarget::Kind::layerVolume, destination - 2), v);
}

void PerformanceRouter::moveControl(const ControlTarget& target, float value) noexcept
{
    setControlValue(target, value);
    PerformanceNotice n{PerformanceNotice::Kind::controlMoved, target.index()};
    n.amount = value;
    notify(n);
}

void PerformanceRouter::panic() noexcept
{
    echo(0xB0, 64, 0);
    echo(0xB0, 123, 0); // all notes off
    keysHolding.fill(0);
    for (auto& keys : sentForKey)
        keys.fill(-1);
    clicked.reset();
    heldByPedal.reset();
    pedalDown = false;
    for (auto* l : layers)
        l->panicStop();
}

void PerformanceRouter::releaseEverything() noexcept
{
    // What the old source held can no longer be released by it: release it here, damper noise
    // and all. On-screen latches go too.
    echo(0xB0, 64, 0);
    echo(0xB0, 123, 0); // all notes off
    for (int n = 0; n < 128; ++n)
        if (keysHolding[(size_t)n] > 0 || heldByPedal[(size_t)n] || clicked[(size_t)n])
            noteOff(n);
    keysHolding.fill(0);
    for (auto& keys : sentForKey)
        keys.fill(-1);
    clicked.reset();
    heldByPedal.reset();
    pedalDown = false; // the pedal went with its source
}

} // namespace norvane
