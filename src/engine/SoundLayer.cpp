#include "engine/SoundLayer.h"

#include "core/MessageThread.h"
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
    publishSettings();
    configureEQBands();
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
    return audio.liveChain().instrumentPlugin();
}

PluginEffectNode* SoundLayer::effectNode() const
{
    return audio.liveChain().effectPlugin();
}

void SoundLayer::publishSettings()
{
    auto& s = chain().settings;
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
}

void SoundLayer::installChangeHandlers()
{
    transposeSemitones.setClamp([](const int& v) { return std::clamp(v, -12, 12); });
    octaveShift.setClamp([](const int& v) { return std::clamp(v, -2, 2); });
    crossfadeSemitones.setClamp([](const int& v) { return std::clamp(v, 0, 12); });

    // Settings that act on the next note: handed over as they are set.
    isEnabled.setDidChange([this](const bool&) { chain().settings.enabled = isEnabled.get(); });
    transposeSemitones.setDidChange([this](const int&)
                                    { chain().settings.transpose = transposeSemitones.get(); });
    octaveShift.setDidChange([this](const int&) { chain().settings.octave = octaveShift.get(); });
    velocityCurve.setDidChange([this](const VelocityCurve&)
                               { chain().settings.velocityCurve = (int)velocityCurve.get(); });
    damperAmount.setDidChange([this](const double&)
                              { chain().settings.damperAmount = (float)damperAmount.get(); });
    volume.setDidChange([this](const double&) { chain().settings.volume = (float)volume.get(); });

    // The range: what it no longer covers stops, on the audio side, after the new bounds.
    crossfadeSemitones.setDidChange(
        [this](const int&)
        {
            chain().settings.crossfade = crossfadeSemitones.get();
            releaseNotesOutsideRange();
        });
    lowKey.setDidChange(
        [this](const int&)
        {
            if (lowKey.get() > highKey.get())
                highKey = lowKey.get();
            chain().settings.lowKey = lowKey.get();
            releaseNotesOutsideRange();
        });
    highKey.setDidChange(
        [this](const int&)
        {
            if (highKey.get() < lowKey.get())
                lowKey = highKey.get();
            chain().settings.highKey = highKey.get();
            releaseNotesOutsideRange();
        });

    auto envelopeTimes = [this](const double&)
    {
        chain().settings.attackTime = (float)attackTime.get();
        chain().settings.releaseTime = (float)releaseTime.get();
        post({PerformanceEvent::Kind::layerEnvelopeRest});
    };
    attackTime.setDidChange(envelopeTimes);
    releaseTime.setDidChange(envelopeTimes);

    eqLowGain.setDidChange([this](const double&)
                           { eq().setGain(EqualizerNode::low, (float)eqLowGain.get()); });
    eqMidGain.setDidChange([this](const double&)
                           { eq().setGain(EqualizerNode::mid, (float)eqMidGain.get()); });
    eqHighGain.setDidChange([this](const double&)
                            { eq().setGain(EqualizerNode::high, (float)eqHighGain.get()); });
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

void SoundLayer::post(PerformanceEvent event)
{
    event.layer = (std::int8_t)index;
    router.post(PerformanceRouter::Lane::messageThread, event);
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
    eq().setGain(EqualizerNode::low, (float)eqLowGain.get());
    eq().setGain(EqualizerNode::mid, (float)eqMidGain.get());
    eq().setGain(EqualizerNode::high, (float)eqHighGain.get());
}

void SoundLayer::applyCompression()
{
    compressor().setThreshold(-24.0f);
    compressor().setHeadRoom((float)((1.0 - compressionAmount.get()) * 40.0));
}

void SoundLayer::applyReverb()
{
    const double d = std::clamp(reverbDecay.get(), 0.0, 1.0);
    auto set = [this](ReverbNode::Parameter p, double v) { reverb().setParameter(p, (float)v); };
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
    const int i = std::clamp(variantIndex.get(), 0, (int)list.size() - 1);
    return list[(size_t)i];
}

void SoundLayer::loadInstrument()
{
    const auto variant = currentVariant();
    const auto& bank = variant.customBankPath ? *variant.customBankPath : bankPath;
    if (auto error = sampler().loadInstrument(bank, variant.program, 121, 0))
        loadError = variant.nameEN + ": " + *error;
    else
        loadError = std::nullopt;
}

} // namespace norvane
