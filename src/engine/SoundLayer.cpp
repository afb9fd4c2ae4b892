#include "engine/SoundLayer.h"

#include "core/Bounded.h"
#include "core/MessageThread.h"
#include "engine/AudioEngine.h"
#include "engine/CompressorNode.h"
#include "engine/EqualizerNode.h"
#include "engine/PluginNode.h"
#include "engine/ReverbNode.h"
#include "engine/SamplerNode.h"
#include "engine/realtime/LayerProcessor.h"
#include "engine/realtime/PerformanceRouter.h"

#include <algorithm>
#include <cmath>

namespace norvane
{

SoundLayer::SoundLayer(LayerProcessor& processorIn, PerformanceRouter& routerIn, int indexIn,
                       std::string slotIn, bool enabled, InstrumentCategory categoryIn,
                       std::string soundBankPathIn)
    : slot(std::move(slotIn)), isEnabled(*this, enabled), category(*this, categoryIn),
      audio(processorIn), router(routerIn), index(indexIn), bankPath(std::move(soundBankPathIn))
{
    installChangeHandlers();
    writeSetupTo(chain());
}

SoundLayer::~SoundLayer() = default;

std::string SoundLayer::displayLabel(AppLanguage language) const
{
    return layerLabel(slot, language);
}

LayerChain& SoundLayer::chain()
{
    return audio.liveChain();
}
LayerChain& SoundLayer::frontChain()
{
    return pendingChain >= 0 ? audio.chain(pendingChain) : audio.liveChain();
}
SamplerNode& SoundLayer::sampler()
{
    return chain().sampler();
}
EqualizerNode& SoundLayer::eq()
{
    return chain().eq();
}
CompressorNode& SoundLayer::compressor()
{
    return chain().compressor();
}
ReverbNode& SoundLayer::reverb()
{
    return chain().reverb();
}
DamperVoices& SoundLayer::damper()
{
    return chain().damper();
}
bool SoundLayer::hasDamperStage() const
{
    return audio.liveChain().hasDamper();
}

PluginInstrumentNode* SoundLayer::pluginNode() const
{
    return const_cast<SoundLayer*>(this)->frontChain().instrumentPlugin();
}

PluginEffectNode* SoundLayer::effectNode() const
{
    return const_cast<SoundLayer*>(this)->frontChain().effectPlugin();
}

std::optional<juce::MemoryBlock> SoundLayer::instrumentStateToKeep() const
{
    if (auto* node = pluginNode())
        return AudioEngine::pluginState(node);
    return instrumentPlugin.get() ? waitingInstrumentState : std::nullopt;
}

std::optional<juce::MemoryBlock> SoundLayer::effectStateToKeep() const
{
    if (auto* node = effectNode())
        return AudioEngine::pluginState(node);
    return effectPlugin.get() ? waitingEffectState : std::nullopt;
}

void SoundLayer::edit(const std::function<void(LayerChain&)>& change)
{
    if (isGatheringChange())
        return; // the commit writes the whole set-up into the chain it prepares
    if (!followingAudio)
        change(audio.liveChain());
    if (pendingChain >= 0)
        change(audio.chain(pendingChain));
}

void SoundLayer::soundChanged()
{
    if (!isGatheringChange() && changeRequested)
        changeRequested();
}

void SoundLayer::writeSetupTo(LayerChain& c)
{
    auto& s = c.settings;
    s.enabled = isEnabled.get();
    s.lowKey = lowKey.get();
    s.highKey = highKey.get();
    s.crossfade = crossfadeSemitones.get();
    s.transpose = transposeSemitones.get();
    s.octave = octaveShift.get();
    s.velocityCurve = (int)velocityCurve.get();
    s.damperAmount = (float)damperAmount.get();
    s.attackTime = (float)attackTime.get();
    s.releaseTime = (float)releaseTime.get();
    s.volume = (float)volume.get();
    c.eq().setGain(EqualizerNode::low, (float)eqLowGain.get());
    c.eq().setGain(EqualizerNode::mid, (float)eqMidGain.get());
    c.eq().setGain(EqualizerNode::high, (float)eqHighGain.get());
    c.compressor().setThreshold(-24.0f);
    c.compressor().setHeadRoom(CompressorNode::headRoomFor((float)compressionAmount.get()));
    writeReverbTo(c);
}

void SoundLayer::writeReverbTo(LayerChain& c)
{
    const double d = std::clamp(reverbDecay.get(), 0.0, 1.0);
    auto set = [&c](ReverbNode::Parameter p, double v) { c.reverb().setParameter(p, (float)v); };
    set(ReverbNode::dryWetMix, reverbAmount.get() * 100.0);
    set(ReverbNode::largeSize, 0.005 + 0.145 * d);
    set(ReverbNode::largeDelay, 0.01 + 0.06 * d);
    set(ReverbNode::largeDelayRange, 0.4 + 0.45 * d);
    set(ReverbNode::largeDensity, 0.6 + 0.35 * d);
    set(ReverbNode::largeBrightness, 0.45 + 0.15 * d);
    set(ReverbNode::preDelay, 0.006 + 0.019 * d);
    set(ReverbNode::smallLargeMix, 60.0 + 35.0 * d);
}

void SoundLayer::installChangeHandlers()
{
    transposeSemitones.setClamp([](const int& v) { return std::clamp(v, -12, 12); });
    octaveShift.setClamp([](const int& v) { return std::clamp(v, -2, 2); });
    crossfadeSemitones.setClamp([](const int& v) { return std::clamp(v, 0, 12); });
    lowKey.setClamp([](const int& v) { return std::clamp(v, 0, 127); });
    highKey.setClamp([](const int& v) { return std::clamp(v, 0, 127); });
    // Every number a file or a controller may bring, within what its control offers.
    volume.setClamp(within(0.0, 1.0, 0.85));
    for (auto* gain : {&eqLowGain, &eqMidGain, &eqHighGain})
        gain->setClamp(within(-EqualizerNode::maximumGain, EqualizerNode::maximumGain, 0.0));
    compressionAmount.setClamp(within(0.0, 1.0, 0.0));
    reverbAmount.setClamp(within(0.0, 1.0, 0.0));
    reverbDecay.setClamp(within(0.0, 1.0, 0.4));
    attackTime.setClamp(within(0.0, maximumAttack, 0.0));
    releaseTime.setClamp(within(0.0, maximumRelease, 0.0));
    damperAmount.setClamp(within(0.0, 1.0, 0.0));

    // Settings that act on the next note: handed over as they are set.
    isEnabled.setDidChange(
        [this](const bool&)
        { edit([this](LayerChain& c) { c.settings.enabled = isEnabled.get(); }); });
    transposeSemitones.setDidChange(
        [this](const int&)
        { edit([this](LayerChain& c) { c.settings.transpose = transposeSemitones.get(); }); });
    octaveShift.setDidChange(
        [this](const int&)
        { edit([this](LayerChain& c) { c.settings.octave = octaveShift.get(); }); });
    velocityCurve.setDidChange(
        [this](const VelocityCurve&)
        { edit([this](LayerChain& c) { c.settings.velocityCurve = (int)velocityCurve.get(); }); });
    damperAmount.setDidChange(
        [this](const double&)
        { edit([this](LayerChain& c) { c.settings.damperAmount = (float)damperAmount.get(); }); });
    volume.setDidChange(
        [this](const double&)
        { edit([this](LayerChain& c) { c.settings.volume = (float)volume.get(); }); });

    // The range: what it no longer covers stops, on the audio side, after the new bounds. A
    // recalled set-up leaves the notes held as they are: they belong to the old one.
    auto rangeChanged = [this]
    {
        edit(
            [this](LayerChain& c)
            {
                c.settings.lowKey = lowKey.get();
                c.settings.highKey = highKey.get();
                c.settings.crossfade = crossfadeSemitones.get();
            });
        if (!isGatheringChange())
            releaseNotesOutsideRange();
    };
    crossfadeSemitones.setDidChange([rangeChanged](const int&) { rangeChanged(); });
    lowKey.setDidChange(
        [this, rangeChanged](const int&)
        {
            if (lowKey.get() > highKey.get())
                highKey = lowKey.get();
            rangeChanged();
        });
    highKey.setDidChange(
        [this, rangeChanged](const int&)
        {
            if (highKey.get() < lowKey.get())
                lowKey = highKey.get();
            rangeChanged();
        });

    auto envelopeTimes = [this](const double&)
    {
        edit(
            [this](LayerChain& c)
            {
                c.settings.attackTime = (float)attackTime.get();
                c.settings.releaseTime = (float)releaseTime.get();
            });
        if (!isGatheringChange())
            post({PerformanceEvent::Kind::layerEnvelopeRest});
    };
    attackTime.setDidChange(envelopeTimes);
    releaseTime.setDidChange(envelopeTimes);

    eqLowGain.setDidChange([this](const double&) { configureEQBands(); });
    eqMidGain.setDidChange([this](const double&) { configureEQBands(); });
    eqHighGain.setDidChange([this](const double&) { configureEQBands(); });
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
                soundChanged();
        });
    variantIndex.setDidChange([this](const int&) { soundChanged(); });
}

// ---- Note path --------------------------------------------------------------------------

void SoundLayer::post(PerformanceEvent event)
{
    event.layer = (std::int8_t)index;
    router.postFromMessageThread(event);
}

double SoundLayer::playGain(int note) const
{
    return audio.liveChain().settings.playGain(note);
}

void SoundLayer::noteOn(int note, int velocity)
{
    NORVANE_ASSERT_MESSAGE_THREAD;
    if (note < 0 || note > 127)
        return;
    PerformanceEvent e;
    e.kind = PerformanceEvent::Kind::layerNoteOn;
    e.data1 = (std::uint8_t)note;
    e.data2 = (std::uint8_t)std::clamp(velocity, 0, 127);
    post(e);
}

void SoundLayer::noteOff(int note)
{
    NORVANE_ASSERT_MESSAGE_THREAD;
    if (note < 0 || note > 127)
        return;
    PerformanceEvent e;
    e.kind = PerformanceEvent::Kind::layerNoteOff;
    e.data1 = (std::uint8_t)note;
    post(e);
}

void SoundLayer::panicStop()
{
    NORVANE_ASSERT_MESSAGE_THREAD;
    post({PerformanceEvent::Kind::layerPanic});
}

void SoundLayer::releaseNotesOutsideRange()
{
    post({PerformanceEvent::Kind::layerReleaseOutsideRange});
}

void SoundLayer::takeReport(const PlayedState::LayerNotes& notes)
{
    sounded.clear();
    velocities.clear();
    for (int n = 0; n < 128; ++n)
        if (notes.pitch[n] >= 0)
        {
            sounded.emplace_hint(sounded.end(), n, notes.pitch[n]);
            velocities.emplace_hint(velocities.end(), n, notes.velocity[n]);
        }
}

void SoundLayer::followControl(ControlTarget::Kind kind, double amount)
{
    using K = ControlTarget::Kind;
    const double decibels = EqualizerNode::gainForShare((float)amount);
    const juce::ScopedValueSetter<bool> following(followingAudio, true);
    switch (kind)
    {
    case K::layerVolume:
    case K::droneVolume:
        volume = amount;
        break;
    case K::layerReverbAmount:
        reverbAmount = amount;
        break;
    case K::layerCompressionAmount:
        compressionAmount = amount;
        break;
    case K::layerEqLowGain:
        eqLowGain = decibels;
        break;
    case K::layerEqMidGain:
        eqMidGain = decibels;
        break;
    case K::layerEqHighGain:
        eqHighGain = decibels;
        break;
    default:
        break;
    }
}

double SoundLayer::envelopeMultiplier() const
{
    return audio.envelopeMultiplier();
}

float SoundLayer::outputGain() const
{
    return (float)(volume.get() * audio.envelopeMultiplier());
}

// ---- Chain ------------------------------------------------------------------------------

void SoundLayer::configureEQBands()
{
    edit(
        [this](LayerChain& c)
        {
            c.eq().setGain(EqualizerNode::low, (float)eqLowGain.get());
            c.eq().setGain(EqualizerNode::mid, (float)eqMidGain.get());
            c.eq().setGain(EqualizerNode::high, (float)eqHighGain.get());
        });
}

void SoundLayer::applyCompression()
{
    edit(
        [this](LayerChain& c)
        {
            c.compressor().setThreshold(-24.0f);
            c.compressor().setHeadRoom(CompressorNode::headRoomFor((float)compressionAmount.get()));
        });
}

void SoundLayer::applyReverb()
{
    edit([this](LayerChain& c) { writeReverbTo(c); });
}

// ---- Sound ------------------------------------------------------------------------------

SoundVariant SoundLayer::currentVariant() const
{
    const auto list = variants(category.get());
    if (list.empty())
        return {};
    const int i = std::clamp(variantIndex.get(), 0, (int)list.size() - 1);
    return list[(size_t)i];
}

void SoundLayer::loadInstrument()
{
    reloadRequested = true;
    soundChanged();
}

void SoundLayer::loadInstrumentNow()
{
    const auto variant = currentVariant();
    const auto& bank = variant.customBankPath ? *variant.customBankPath : bankPath;
    holds[(size_t)audio.liveIndex()].bank = bank;
    holds[(size_t)audio.liveIndex()].program = variant.program;
    if (auto error = sampler().loadInstrument(bank, variant.program, 121, 0))
        loadError = variant.nameEN + ": " + *error;
    else
        loadError = std::nullopt;
}

} // namespace norvane
