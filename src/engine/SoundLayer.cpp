#include "engine/SoundLayer.h"

#include "core/MessageThread.h"
#include "engine/CompressorNode.h"
#include "engine/EqualizerNode.h"
#include "engine/MixerNode.h"
#include "engine/PluginNode.h"
#include "engine/ReverbNode.h"
#include "engine/SamplerNode.h"

#include <algorithm>
#include <cmath>
#include <tuple>

namespace norvane
{

SoundLayer::SoundLayer(AudioHost& hostIn, Scheduler& schedulerIn, std::string slotIn, bool enabled,
                       InstrumentCategory categoryIn, std::string soundBankPathIn)
    : slot(std::move(slotIn)), isEnabled(*this, enabled), category(*this, categoryIn), host(hostIn),
      scheduler(schedulerIn), bankPath(std::move(soundBankPathIn))
{
    auto [sID, s] = host.attachNode(std::make_unique<SamplerNode>(host.sampleRate()));
    samplerNodeID = sID;
    samplerNode = s;

    std::tie(eqNodeID, eqNode) = host.attachNode(std::make_unique<EqualizerNode>());
    std::tie(compressorNodeID, compressorNode) =
        host.attachNode(std::make_unique<CompressorNode>());
    std::tie(reverbNodeID, reverbNode) = host.attachNode(std::make_unique<ReverbNode>());
    std::tie(mixerNodeID, mixerNode) =
        host.attachNode(std::make_unique<MixerNode>("Layer " + slot));

    installChangeHandlers();
    configureEQBands();
    applyMixerVolume();
}

SoundLayer::~SoundLayer()
{
    envelopeTimer.reset();
    for (auto id : {samplerNodeID, eqNodeID, compressorNodeID, reverbNodeID, mixerNodeID})
        host.detach(id);
}

std::string SoundLayer::displayLabel(AppLanguage language) const
{
    return layerLabel(slot, language);
}

void SoundLayer::installChangeHandlers()
{
    transposeSemitones.setClamp([](const int& v) { return std::clamp(v, -12, 12); });
    octaveShift.setClamp([](const int& v) { return std::clamp(v, -2, 2); });
    crossfadeSemitones.setClamp([](const int& v) { return std::clamp(v, 0, 12); });
    crossfadeSemitones.setDidChange([this](const int&) { releaseNotesOutsideRange(); });

    lowKey.setDidChange(
        [this](const int&)
        {
            if (lowKey.get() > highKey.get())
                highKey = lowKey.get();
            releaseNotesOutsideRange();
        });
    highKey.setDidChange(
        [this](const int&)
        {
            if (highKey.get() < lowKey.get())
                lowKey = highKey.get();
            releaseNotesOutsideRange();
        });

    attackTime.setDidChange([this](const double&) { applyEnvelopeRestLevel(); });
    releaseTime.setDidChange([this](const double&) { applyEnvelopeRestLevel(); });
    volume.setDidChange([this](const double&) { applyMixerVolume(); });

    eqLowGain.setDidChange([this](const double&)
                           { eqNode->setGain(EqualizerNode::low, (float)eqLowGain.get()); });
    eqMidGain.setDidChange([this](const double&)
                           { eqNode->setGain(EqualizerNode::mid, (float)eqMidGain.get()); });
    eqHighGain.setDidChange([this](const double&)
                            { eqNode->setGain(EqualizerNode::high, (float)eqHighGain.get()); });
    compressionAmount.setDidChange([this](const double&) { applyCompression(); });
    reverbAmount.setDidChange([this](const double&) { applyReverb(); });
    reverbDecay.setDidChange([this](const double&) { applyReverb(); });

    category.setDidChange(
        [this](const InstrumentCategory& previous)
        {
            if (previous == category.get())
                return;
            if (variantIndex.get() != 0)
                variantIndex = 0; // reloads
            else
                loadInstrument();
        });
    variantIndex.setDidChange([this](const int&) { loadInstrument(); });
}

// ---- Note path --------------------------------------------------------------------------

double SoundLayer::playGain(int note) const
{
    const int low = lowKey.get();
    const int high = highKey.get();
    if (note >= low && note <= high)
        return 1.0;

    const int fade = crossfadeSemitones.get();
    if (fade < 1)
        return 0.0;

    const int distance = note < low ? low - note : note - high;
    if (distance > fade)
        return 0.0;
    return 1.0 - (double)distance / (double)(fade + 1);
}

InstrumentNode& SoundLayer::instrument()
{
    if (pluginInstrument != nullptr)
        return *pluginInstrument;
    return *samplerNode;
}

void SoundLayer::setPluginNode(PluginInstrumentNode* node, AudioHost::NodeID nodeID)
{
    pluginInstrument = node;
    pluginInstrumentID = node != nullptr ? nodeID : AudioHost::NodeID{};
}

void SoundLayer::setEffectNode(PluginEffectNode* node, AudioHost::NodeID nodeID)
{
    pluginEffect = node;
    pluginEffectID = node != nullptr ? nodeID : AudioHost::NodeID{};
}

void SoundLayer::send(const NoteCommand& command)
{
    instrument().send(command);
    instrumentCommands.call(command);
}

void SoundLayer::noteOn(int note, int velocity)
{
    NORVANE_ASSERT_MESSAGE_THREAD;
    if (note < 0 || note > 127 || !isEnabled.get())
        return;

    const double gain = playGain(note);
    if (gain <= 0.0)
        return;

    if (auto existing = sounded.find(note); existing != sounded.end())
        send({NoteCommand::Kind::stop, (std::int16_t)existing->second, 0});

    const int pitch = std::clamp(note + transposeSemitones.get() + 12 * octaveShift.get(), 0, 127);
    const int shaped = apply(velocityCurve.get(), velocity);
    const int vel = std::clamp(nearest(gain * shaped), 1, 127);

    send({NoteCommand::Kind::start, (std::int16_t)pitch, (std::int16_t)vel});

    const bool wasSilent = sounded.empty();
    sounded[note] = pitch;
    velocities[note] = vel;

    if (wasSilent && usesEnvelope())
        rampEnvelope(1.0, attackTime.get());
}

void SoundLayer::noteOff(int note)
{
    NORVANE_ASSERT_MESSAGE_THREAD;
    auto entry = sounded.find(note);
    if (entry == sounded.end())
        return;

    const int pitch = entry->second;
    sounded.erase(entry);
    send({NoteCommand::Kind::stop, (std::int16_t)pitch, 0});

    std::optional<int> vel;
    if (auto v = velocities.find(note); v != velocities.end())
    {
        vel = v->second;
        velocities.erase(v);
    }

    // Key-release noise for the pitch that sounded, scaled by how hard the key was struck.
    const double level = vel ? damperAmount.get() * (0.35 + 0.65 * *vel / 127.0)
                             : damperAmount.get() * 0.6775590551181102;
    damper.play(DamperVoice::keyRelease(pitch), level);

    if (sounded.empty() && usesEnvelope())
        rampEnvelope(0.0, releaseTime.get());
}

void SoundLayer::panicStop()
{
    NORVANE_ASSERT_MESSAGE_THREAD;
    send({NoteCommand::Kind::stopAll, 0, 0});
    sounded.clear();
    velocities.clear();
    applyEnvelopeRestLevel();
}

void SoundLayer::releaseNotesOutsideRange()
{
    std::vector<int> notes;
    for (auto& [note, pitch] : sounded)
        notes.push_back(note);

    for (int note : notes)
        if (playGain(note) == 0.0)
            noteOff(note);
}

void SoundLayer::sendPitchBend(int value)
{
    send({NoteCommand::Kind::pitchBend, 0, (std::int16_t)std::clamp(value, 0, 16383)});
}

// ---- Envelope ---------------------------------------------------------------------------

void SoundLayer::rampEnvelope(double target, double duration)
{
    if (envelopeTimer != nullptr)
        envelopeTimer->cancel();

    if (duration > 0.02)
    {
        const double steps = std::max(duration / envelopeTick, 1.0);
        envelopeTarget = target;
        envelopeStep = (target - envelope) / steps;
        envelopeTimer = scheduler.every(envelopeTick, [this] { tickEnvelope(); });
    }
    else
    {
        envelopeTimer.reset();
        envelope = target;
        applyMixerVolume();
    }
}

void SoundLayer::tickEnvelope()
{
    envelope += envelopeStep;
    if ((envelopeStep >= 0.0 && envelope >= envelopeTarget) ||
        (envelopeStep < 0.0 && envelope <= envelopeTarget))
    {
        envelope = envelopeTarget;
        if (envelopeTimer != nullptr)
            envelopeTimer->cancel();
    }
    applyMixerVolume();
}

void SoundLayer::applyEnvelopeRestLevel()
{
    if (!sounded.empty())
        return;
    if (envelopeTimer != nullptr)
        envelopeTimer->cancel();
    envelope = usesEnvelope() ? 0.0 : 1.0;
    applyMixerVolume();
}

void SoundLayer::applyMixerVolume()
{
    mixerNode->setOutputVolume((float)(volume.get() * envelope));
}

// ---- Chain ------------------------------------------------------------------------------

void SoundLayer::configureEQBands()
{
    eqNode->setGain(EqualizerNode::low, (float)eqLowGain.get());
    eqNode->setGain(EqualizerNode::mid, (float)eqMidGain.get());
    eqNode->setGain(EqualizerNode::high, (float)eqHighGain.get());
}

void SoundLayer::applyCompression()
{
    compressorNode->setThreshold(-24.0f);
    compressorNode->setHeadRoom((float)((1.0 - compressionAmount.get()) * 40.0));
}

void SoundLayer::applyReverb()
{
    const double d = std::clamp(reverbDecay.get(), 0.0, 1.0);
    auto set = [this](ReverbNode::Parameter p, double v) { reverbNode->setParameter(p, (float)v); };
    set(ReverbNode::dryWetMix, reverbAmount.get() * 100.0);
    set(ReverbNode::largeSize, 0.005 + 0.145 * d);
    set(ReverbNode::largeDelay, 0.01 + 0.06 * d);
    set(ReverbNode::largeDelayRange, 0.4 + 0.45 * d);
    set(ReverbNode::largeDensity, 0.6 + 0.35 * d);
    set(ReverbNode::largeBrightness, 0.45 + 0.15 * d);
    set(ReverbNode::preDelay, 0.006 + 0.019 * d);
    set(ReverbNode::smallLargeMix, 60.0 + 35.0 * d);
}

// ---- Sound ------------------------------------------------------------------------------

SoundVariant SoundLayer::currentVariant() const
{
    const auto list = variants(category.get());
    if (list.empty())
        return {};
    const int index = std::clamp(variantIndex.get(), 0, (int)list.size() - 1);
    return list[(size_t)index];
}

void SoundLayer::loadInstrument()
{
    const auto variant = currentVariant();
    const auto& bank = variant.customBankPath ? *variant.customBankPath : bankPath;
    if (auto error = samplerNode->loadInstrument(bank, variant.program, 121, 0))
        loadError = variant.nameEN + ": " + *error;
    else
        loadError = std::nullopt;
}

} // namespace norvane
