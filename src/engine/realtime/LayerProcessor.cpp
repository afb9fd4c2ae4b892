#include "engine/realtime/LayerProcessor.h"

#include "engine/VelocityCurve.h"

#include <algorithm>
#include <cmath>

namespace norvane
{

LayerProcessor::LayerProcessor(std::string slotIn, bool withDamper, double rate,
                               const std::atomic<const DamperTable*>& table)
    : NodeProcessor("Layer " + juce::String(slotIn), Inputs::none), slot(std::move(slotIn)),
      damperTable(table), meterTap("Tap " + juce::String(slot))
{
    for (auto& c : chains)
        c = std::make_unique<LayerChain>(withDamper, rate);
    chains[0]->startLive();
    samplesPerTick = rate * envelopeTick;
    sampleRate = rate;
}

LayerProcessor::~LayerProcessor() = default;

void LayerProcessor::send(int chain, const NoteCommand& sent, bool toBoth) noexcept
{
    auto command = sent;
    command.frame = commandFrame;
    if (toBoth)
        chains[(size_t)chain]->playOnBoth(command);
    else
        chains[(size_t)chain]->play(command);
    if (auto* probe = commandProbe.load(std::memory_order_relaxed))
        probe->commandSent(chain, command);
}

void LayerProcessor::takeOffers() noexcept
{
    for (int c = 0; c < chainCount; ++c)
        if (chains[(size_t)c]->takeOffers() && bend != 8192)
            send(c, {NoteCommand::Kind::pitchBend, 0, (std::int16_t)bend}); // it starts centred
    switchIfReady();
}

void LayerProcessor::switchIfReady() noexcept
{
    const int old = live.load(std::memory_order_relaxed);
    for (int c = 0; c < chainCount; ++c)
    {
        if (c == old || !chains[(size_t)c]->makeLive())
            continue;
        // The new set-up takes the notes from now on; the old one plays out what it holds.
        chains[(size_t)old]->setState(ChainState::ringing);
        quietFor[(size_t)old] = unheldFor[(size_t)old] = 0.0;
        chains[(size_t)c]->resetFader();
        notesOnChain[(size_t)c] = 0;
        live.store(c, std::memory_order_release);
        // The layer's envelope goes on from where it stands while the old set-up still
        // sounds (held, or in its release), so that the level never dips at the change.
        const auto& before = envelopes[(size_t)old];
        if (chains[(size_t)c]->settings.usesEnvelope() &&
            (notesOnChain[(size_t)old] > 0 || before.ramping))
        {
            envelopes[(size_t)c].value = before.value;
            envelopes[(size_t)c].ramping = false;
        }
        else
        {
            restEnvelope(c);
        }
        // A chain taken up again never comes back with an old bend.
        if (chainBend[(size_t)c] != bend)
        {
            send(c, {NoteCommand::Kind::pitchBend, 0, (std::int16_t)bend});
            chainBend[(size_t)c] = bend;
        }
        return;
    }
}

void LayerProcessor::goIdle(int chain) noexcept
{
    // What still rings in its instrument is cut before the chain next plays: left there, the
    // tails of its last notes would come back with the next set-up.
    send(chain, {NoteCommand::Kind::silence, 0, 0}, true);
    chains[(size_t)chain]->setState(ChainState::idle);
}

void LayerProcessor::forgetNotesOf(int chain) noexcept
{
    for (auto& entry : sounded)
        if (entry.chain == chain)
            entry = {};
    notesOnChain[(size_t)chain] = 0;
}

// ---- Note path --------------------------------------------------------------------------

void LayerProcessor::noteOn(int note, int velocity) noexcept
{
    if (note < 0 || note > 127)
        return;
    const auto& s = liveChain().settings;
    if (!s.enabled.load())
        return;
    const double gain = s.playGain(note);
    if (gain <= 0.0)
        return;

    auto& entry = sounded[(size_t)note];
    if (entry.chain >= 0)
    {
        // The same key struck again (the pedal holding it, say): the old voice stops first.
        send(entry.chain, {NoteCommand::Kind::stop, entry.pitch, 0});
        if (entry.chain != live.load(std::memory_order_relaxed) &&
            --notesOnChain[(size_t)entry.chain] == 0 &&
            chains[(size_t)entry.chain]->settings.usesEnvelope())
            ramp(entry.chain, 0.0, chains[(size_t)entry.chain]->settings.releaseTime.load());
    }

    const int pitch = std::clamp(note + s.transpose.load() + 12 * s.octave.load(), 0, 127);
    const int shaped = apply((VelocityCurve)s.velocityCurve.load(), velocity);
    const int vel = std::clamp(nearest(gain * shaped), 1, 127);
    const int l = live.load(std::memory_order_relaxed);
    send(l, {NoteCommand::Kind::start, (std::int16_t)pitch, (std::int16_t)vel});

    const bool wasSilent = notesOnChain[(size_t)l] == 0 && entry.chain != l;
    if (entry.chain != l)
        ++notesOnChain[(size_t)l];
    entry = {(std::int8_t)l, (std::uint8_t)pitch, (std::uint8_t)vel};

    if (wasSilent && s.usesEnvelope())
        ramp(l, 1.0, s.attackTime.load());
}

void LayerProcessor::noteOff(int note) noexcept
{
    if (note < 0 || note > 127)
        return;
    auto& entry = sounded[(size_t)note];
    if (entry.chain < 0)
        return;

    // What was started is what stops: the settings of now play no part.
    const int c = entry.chain;
    const int pitch = entry.pitch, vel = entry.velocity;
    entry = {};
    send(c, {NoteCommand::Kind::stop, (std::int16_t)pitch, 0});

    auto& chain = *chains[(size_t)c];
    const double level = chain.settings.damperAmount.load() * (0.35 + 0.65 * vel / 127.0);
    chain.damper().play(currentDamperTable(), DamperVoice::keyRelease(pitch), level);

    if (--notesOnChain[(size_t)c] == 0 && chain.settings.usesEnvelope())
        ramp(c, 0.0, chain.settings.releaseTime.load());
}

void LayerProcessor::panicStop() noexcept
{
    // The sampler too, where a plug-in has taken its place: nothing it rings may come back.
    for (int c = 0; c < chainCount; ++c)
    {
        send(c, {NoteCommand::Kind::stopAll, 0, 0}, true);
        chains[(size_t)c]->damper().stopAll();
    }
    sounded.fill({});
    notesOnChain.fill(0);
    for (int c = 0; c < chainCount; ++c)
        restEnvelope(c);
}

void LayerProcessor::releaseNotesOutsideRange() noexcept
{
    const auto& s = liveChain().settings;
    const int l = live.load(std::memory_order_relaxed);
    for (int note = 0; note < 128; ++note)
        if (sounded[(size_t)note].chain == l && s.playGain(note) == 0.0)
            noteOff(note);
}

void LayerProcessor::applyEnvelopeRestLevel() noexcept
{
    for (int c = 0; c < chainCount; ++c)
        restEnvelope(c);
}

void LayerProcessor::pitchBend(int value) noexcept
{
    bend = std::clamp(value, 0, 16383);
    for (int c = 0; c < chainCount; ++c)
        if (isRendered(chains[(size_t)c]->state()))
        {
            send(c, {NoteCommand::Kind::pitchBend, 0, (std::int16_t)bend});
            chainBend[(size_t)c] = bend;
        }
}

void LayerProcessor::playPedalNoise(bool down) noexcept
{
    auto& chain = liveChain();
    if (!chain.settings.enabled.load())
        return;
    chain.damper().play(currentDamperTable(),
                        down ? DamperVoice::pedalDown() : DamperVoice::pedalUp(),
                        chain.settings.damperAmount.load());
}

const DamperTable* LayerProcessor::currentDamperTable() const noexcept
{
    // Sounds rendered for another rate would play at the wrong pitch and length.
    const auto* table = damperTable.load(std::memory_order_acquire);
    return table != nullptr && table->sampleRate() == sampleRate ? table : nullptr;
}

void LayerProcessor::setVolume(float volume) noexcept
{
    for (auto& c : chains)
        c->settings.volume.store(volume);
}

void LayerProcessor::fillNotes(PlayedState::LayerNotes& notes) const noexcept
{
    for (size_t n = 0; n < 128; ++n)
    {
        notes.pitch[n] = sounded[n].chain >= 0 ? (std::int8_t)sounded[n].pitch : (std::int8_t)-1;
        notes.velocity[n] = sounded[n].velocity;
    }
}

bool LayerProcessor::hasSoundingNotes() const noexcept
{
    return std::any_of(notesOnChain.begin(), notesOnChain.end(), [](int c) { return c > 0; });
}

// ---- Envelope ---------------------------------------------------------------------------

void LayerProcessor::ramp(int chain, double target, double duration) noexcept
{
    auto& e = envelopes[(size_t)chain];
    if (duration > 0.02)
    {
        // The same steps as a timer every 1/60 s would take, counted in rendered samples.
        const double steps = std::max(duration / envelopeTick, 1.0);
        e.target = target;
        e.step = (target - e.value) / steps;
        e.ramping = true;
        e.samplesToTick = samplesPerTick;
    }
    else
    {
        e.ramping = false;
        e.value = target;
    }
}

void LayerProcessor::restEnvelope(int chain) noexcept
{
    if (notesOnChain[(size_t)chain] != 0)
        return;
    auto& e = envelopes[(size_t)chain];
    e.ramping = false;
    e.value = chains[(size_t)chain]->settings.usesEnvelope() ? 0.0 : 1.0;
}

void LayerProcessor::advanceEnvelope(Envelope& e, int numSamples) noexcept
{
    if (!e.ramping)
        return;
    e.samplesToTick -= numSamples;
    while (e.ramping && e.samplesToTick <= 0.0)
    {
        e.value += e.step;
        if ((e.step >= 0.0 && e.value >= e.target) || (e.step < 0.0 && e.value <= e.target))
        {
            e.value = e.target;
            e.ramping = false;
        }
        e.samplesToTick += samplesPerTick;
    }
}

// ---- Rendering --------------------------------------------------------------------------

void LayerProcessor::collectRetired()
{
    for (auto& c : chains)
        c->collectRetired();
}

void LayerProcessor::prepareToPlay(double rate, int maximumBlockSize)
{
    sampleRate = rate;
    samplesPerTick = rate * envelopeTick;
    for (auto& c : chains)
        c->prepare(rate, maximumBlockSize);
    meterTap.setPlayConfigDetails(2, 2, rate, maximumBlockSize);
}

void LayerProcessor::processBlock(juce::AudioBuffer<float>& buffer, juce::MidiBuffer& midi)
{
    const int n = buffer.getNumSamples();
    const double seconds = n / sampleRate;
    buffer.clear();
    for (int c = 0; c < chainCount; ++c)
    {
        auto& chain = *chains[(size_t)c];
        const auto state = chain.state();
        if (!isRendered(state))
            continue;

        auto& e = envelopes[(size_t)c];
        advanceEnvelope(e, n);
        float gain = (float)(chain.settings.volume.load() * e.value);
        auto& fade = fades[(size_t)c];
        if (state == ChainState::evicting)
        {
            // Let go of everything it holds and fade out, over a few blocks rather than one,
            // so that what it rang stops without a click.
            if (!fade.running)
            {
                send(c, {NoteCommand::Kind::stopAll, 0, 0}, true);
                forgetNotesOf(c);
                fade.running = true;
                fade.total = fade.left = std::max(n, (int)std::ceil(evictionFade * sampleRate));
                fade.from = gain;
            }
            fade.left = std::max(0, fade.left - n);
            gain = fade.from * (float)fade.left / (float)fade.total;
        }
        chain.render(buffer, n, gain);

        if (state == ChainState::evicting && fade.left == 0)
        {
            fade.running = false;
            chain.damper().stopAll();
            goIdle(c);
        }
        else if (state == ChainState::ringing && notesOnChain[(size_t)c] == 0)
        {
            // Free again once it has been quiet a while, or after a tail that never ends.
            quietFor[(size_t)c] =
                chain.lastPeak() < quietLevel ? quietFor[(size_t)c] + seconds : 0.0;
            unheldFor[(size_t)c] += seconds;
            if (quietFor[(size_t)c] >= quietSeconds)
                goIdle(c);
            else if (unheldFor[(size_t)c] >= longestTail)
                chain.requestEviction();
        }
        else
        {
            quietFor[(size_t)c] = unheldFor[(size_t)c] = 0.0;
        }
    }
    meterTap.processBlock(buffer, midi);
    envelopeMirror.store((float)envelopes[(size_t)live.load(std::memory_order_relaxed)].value,
                         std::memory_order_relaxed);
}

} // namespace norvane
