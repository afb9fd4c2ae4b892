#include "engine/SoundLayer.h"

#include "core/Bounded.h"
#include "core/MessageThread.h"
#include "engine/AudioEngine.h"
#include "engine/CompressorNode.h"
#include "engine/EqualizerNode.h"
#include "engine/LayerSwitcher.h"
#include "engine/PluginNode.h"
#include "engine/ReverbNode.h"
#include "engine/SamplerNode.h"
#include "engine/realtime/LayerProcessor.h"
#include "engine/realtime/PerformanceRouter.h"

#include <algorithm>
#include <cmath>

namespace norvane
{

SoundLayer::SoundLayer(LayerProcessor& processorIn, LayerSwitcher& switcherIn,
                       PerformanceRouter& routerIn, int indexIn, std::string slotIn, bool enabled,
                       InstrumentCategory categoryIn, std::string soundBankPathIn)
    : slot(std::move(slotIn)), isEnabled(*this, enabled), category(*this, categoryIn),
      switched(switcherIn.switched), audio(processorIn), switching(switcherIn), router(routerIn),
      index(indexIn), bankPath(std::move(soundBankPathIn))
{
    installChangeHandlers();
    chainSetup().writeTo(chain());
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
    auto* preparing = switching.preparingChain();
    return preparing != nullptr ? *preparing : audio.liveChain();
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
    return static_cast<PluginInstrumentNode*>(switching.instrumentNode());
}

PluginEffectNode* SoundLayer::effectNode() const
{
    return static_cast<PluginEffectNode*>(switching.effectNode());
}

std::optional<juce::MemoryBlock> SoundLayer::instrumentStateToKeep() const
{
    return switching.instrumentStateToKeep();
}

std::optional<juce::MemoryBlock> SoundLayer::effectStateToKeep() const
{
    return switching.effectStateToKeep();
}

void SoundLayer::edit(const std::function<void(LayerChain&)>& change)
{
    if (isGatheringChange())
        return; // the commit writes the whole set-up into the chain it prepares
    if (!followingAudio)
        change(audio.liveChain());
    if (auto* preparing = switching.preparingChain())
        change(*preparing);
}

void SoundLayer::soundChanged()
{
    if (!isGatheringChange())
        requestSetup();
}

void SoundLayer::beginChange()
{
    switching.beginChange();
}

void SoundLayer::commitChange()
{
    if (switching.endChange())
        requestSetup();
}

bool SoundLayer::isGatheringChange() const
{
    return switching.isGathering();
}

bool SoundLayer::isSwitchPending() const
{
    return switching.isPending();
}

void SoundLayer::requestSetup()
{
    NORVANE_ASSERT_MESSAGE_THREAD;
    const auto wanted = setup();
    const auto& now = audio.liveChain().settings;
    const bool envelopeTimesChange = now.attackTime.load() != (float)wanted.chain.attackTime ||
                                     now.releaseTime.load() != (float)wanted.chain.releaseTime;
    // Written into the chain that plays: its envelope comes to rest as after a change of times.
    if (switching.request(wanted) && envelopeTimesChange)
        post({PerformanceEvent::Kind::layerEnvelopeRest});
}

ChainSetup SoundLayer::chainSetup() const
{
    ChainSetup s;
    s.enabled = isEnabled.get();
    s.lowKey = lowKey.get();
    s.highKey = highKey.get();
    s.crossfade = crossfadeSemitones.get();
    s.transpose = transposeSemitones.get();
    s.octave = octaveShift.get();
    s.velocityCurve = (int)velocityCurve.get();
    s.damperAmount = damperAmount.get();
    s.attackTime = attackTime.get();
    s.releaseTime = releaseTime.get();
    s.volume = volume.get();
    s.eqLowGain = eqLowGain.get();
    s.eqMidGain = eqMidGain.get();
    s.eqHighGain = eqHighGain.get();
    s.compressionAmount = compressionAmount.get();
    s.reverbAmount = reverbAmount.get();
    s.reverbDecay = reverbDecay.get();
    return s;
}

LayerSetup SoundLayer::setup() const
{
    LayerSetup s;
    s.chain = chainSetup();
    if (!variants(category.get()).empty())
    {
        const auto variant = currentVariant();
        s.sound = SoundTarget::of(variant.customBankPath ? *variant.customBankPath : bankPath,
                                  variant.program, variant.nameEN);
    }
    s.instrument = instrumentPlugin.get();
    s.effect = effectPlugin.get();
    return s;
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
    // The fader reaches every chain: notes held from an earlier set-up follow it too. A
    // recalled set-up brings its own level for its own chain.
    volume.setDidChange(
        [this](const double&)
        {
            if (!isGatheringChange() && !followingAudio)
                audio.setVolume((float)volume.get());
            else
                edit([this](LayerChain& c) { c.settings.volume = (float)volume.get(); });
        });

    // The range: what it no longer covers stops, on the audio side, after the new bounds. A
    // recalled set-up leaves the notes held as they are: they belong to the old one.
    auto rangeChanged = [this]
    {
        edit([this](LayerChain& c) { chainSetup().writeRangeTo(c); });
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
    edit([this](LayerChain& c) { chainSetup().writeEqualizerTo(c); });
}

void SoundLayer::applyCompression()
{
    edit([this](LayerChain& c) { chainSetup().writeCompressionTo(c); });
}

void SoundLayer::applyReverb()
{
    edit([this](LayerChain& c) { chainSetup().writeReverbTo(c); });
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
    soundChanged();
}

void SoundLayer::loadInstrumentNow()
{
    const auto wanted = setup().sound;
    if (wanted.isNothing())
        return;
    if (auto error = switching.loadNow(wanted))
        loadError = wanted.name + ": " + *error;
    else
        loadError = std::nullopt;
}

} // namespace norvane
