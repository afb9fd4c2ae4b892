#include "engine/realtime/LayerChain.h"

#include "engine/CompressorNode.h"
#include "engine/EqualizerNode.h"
#include "engine/PluginNode.h"
#include "engine/ReverbNode.h"
#include "engine/SamplerNode.h"

#include <algorithm>

namespace norvane
{

namespace
{

// Marks an offer that takes a plug-in away: the sampler (or the plain chain) plays again.
char removalTag;
template <typename Node> Node* removal()
{
    return reinterpret_cast<Node*>(&removalTag);
}

template <typename Node> bool isRemoval(Node* node)
{
    return node == removal<Node>();
}

} // namespace

double ChainSettings::playGain(int note) const noexcept
{
    const int low = lowKey.load(), high = highKey.load();
    if (note >= low && note <= high)
        return 1.0;
    const int fade = crossfade.load();
    if (fade < 1)
        return 0.0;
    const int distance = note < low ? low - note : note - high;
    if (distance > fade)
        return 0.0;
    return 1.0 - (double)distance / (double)(fade + 1);
}

void ChainSettings::copyFrom(const ChainSettings& o) noexcept
{
    enabled = o.enabled.load();
    lowKey = o.lowKey.load();
    highKey = o.highKey.load();
    crossfade = o.crossfade.load();
    transpose = o.transpose.load();
    octave = o.octave.load();
    velocityCurve = o.velocityCurve.load();
    damperAmount = o.damperAmount.load();
    attackTime = o.attackTime.load();
    releaseTime = o.releaseTime.load();
    volume = o.volume.load();
}

template <typename Change> bool LayerChain::transition(Change&& change) noexcept
{
    auto w = switching.load();
    for (;;)
    {
        auto s = unpack(w);
        if (!change(s))
            return false;
        if (switching.compare_exchange_weak(w, pack(s)))
            return true;
    }
}

std::optional<std::uint32_t> LayerChain::beginPreparing() noexcept
{
    std::uint32_t generation = 0;
    const bool begun = transition(
        [&](Switching& s)
        {
            if (s.state != ChainState::idle && s.state != ChainState::preparing &&
                s.state != ChainState::ready)
                return false;
            s = {s.generation + 1, 1, ChainState::preparing};
            generation = s.generation;
            return true;
        });
    return begun ? std::optional<std::uint32_t>(generation) : std::nullopt;
}

bool LayerChain::addPart(std::uint32_t generation) noexcept
{
    return transition(
        [&](Switching& s)
        {
            if (s.generation != generation || s.state != ChainState::preparing)
                return false;
            ++s.parts;
            return true;
        });
}

bool LayerChain::partDone(std::uint32_t generation) noexcept
{
    return transition(
        [&](Switching& s)
        {
            if (s.generation != generation || s.state != ChainState::preparing || s.parts == 0)
                return false;
            if (--s.parts == 0)
                s.state = ChainState::ready;
            return true;
        });
}

bool LayerChain::cancelPreparing(std::uint32_t generation) noexcept
{
    return transition(
        [&](Switching& s)
        {
            if (s.generation != generation ||
                (s.state != ChainState::preparing && s.state != ChainState::ready))
                return false;
            s.state = ChainState::idle;
            s.parts = 0;
            return true;
        });
}

bool LayerChain::requestEviction() noexcept
{
    return transition(
        [](Switching& s)
        {
            if (s.state != ChainState::ringing)
                return false;
            s.state = ChainState::evicting;
            return true;
        });
}

bool LayerChain::makeLive() noexcept
{
    return transition(
        [](Switching& s)
        {
            if (s.state != ChainState::ready)
                return false;
            s.state = ChainState::live;
            return true;
        });
}

void LayerChain::setState(ChainState next) noexcept
{
    transition(
        [next](Switching& s)
        {
            s.state = next;
            return true;
        });
}

LayerChain::LayerChain(bool withDamper, double sampleRate)
    : samplerNode(std::make_unique<SamplerNode>(sampleRate)),
      eqNode(std::make_unique<EqualizerNode>()), compressorNode(std::make_unique<CompressorNode>()),
      reverbNode(std::make_unique<ReverbNode>()), withDamperStage(withDamper)
{
}

LayerChain::~LayerChain()
{
    // Nothing renders any more: every plug-in, wherever it is, belongs to us now.
    collectRetired();
    if (auto* offer = instrumentOffer.exchange(nullptr); offer != nullptr && !isRemoval(offer))
        delete offer;
    if (auto* offer = effectOffer.exchange(nullptr); offer != nullptr && !isRemoval(offer))
        delete offer;
    delete activeInstrument;
    delete activeEffect;
}

void LayerChain::offerInstrument(std::unique_ptr<PluginInstrumentNode> node)
{
    offeredInstrument = node.get();
    auto* offer = node != nullptr ? node.release() : removal<PluginInstrumentNode>();
    // An offer the audio thread never took up was never played: free it here.
    if (auto* stale = instrumentOffer.exchange(offer); stale != nullptr && !isRemoval(stale))
        delete stale;
    collectRetired();
}

void LayerChain::offerEffect(std::unique_ptr<PluginEffectNode> node)
{
    offeredEffect = node.get();
    auto* offer = node != nullptr ? node.release() : removal<PluginEffectNode>();
    if (auto* stale = effectOffer.exchange(offer); stale != nullptr && !isRemoval(stale))
        delete stale;
    collectRetired();
}

void LayerChain::collectRetired()
{
    juce::AudioProcessor* node = nullptr;
    while (retired.pop(node))
        delete node;
    samplerNode->collectRetired();
}

void LayerChain::prepare(double sampleRate, int maximumBlockSize)
{
    for (juce::AudioProcessor* node :
         {(juce::AudioProcessor*)samplerNode.get(), (juce::AudioProcessor*)eqNode.get(),
          (juce::AudioProcessor*)compressorNode.get(), (juce::AudioProcessor*)reverbNode.get()})
    {
        node->setPlayConfigDetails(node->getTotalNumInputChannels(),
                                   node->getTotalNumOutputChannels(), sampleRate, maximumBlockSize);
        node->prepareToPlay(sampleRate, maximumBlockSize);
    }
    for (juce::AudioProcessor* plugin :
         {(juce::AudioProcessor*)activeInstrument, (juce::AudioProcessor*)activeEffect})
        if (plugin != nullptr)
            plugin->prepareToPlay(sampleRate, maximumBlockSize);
    work.setSize(2, maximumBlockSize, false, true, false);
    extra.setSize(2, maximumBlockSize, false, true, false);
    noMidi.ensureSize(256);
    damperVoices.stopAll(); // its sounds were rendered for the old rate
}

bool LayerChain::takeOffers() noexcept
{
    bool instrumentChanged = false;
    if (auto* offer = instrumentOffer.exchange(nullptr, std::memory_order_acq_rel))
    {
        instrumentChanged = true;
        // The instrument playing until now stops its notes. A plug-in goes at once; the
        // sampler rings out what it was playing, so nothing it held comes back later.
        if (activeInstrument != nullptr)
        {
            if (!retired.push(activeInstrument))
                jassertfalse; // kept rather than freed here
        }
        else
        {
            samplerNode->send({NoteCommand::Kind::stopAll, 0, 0});
            samplerDraining = true;
        }
        activeInstrument = isRemoval(offer) ? nullptr : offer;
        if (activeInstrument == nullptr)
            samplerDraining = false;
    }
    if (auto* offer = effectOffer.exchange(nullptr, std::memory_order_acq_rel))
    {
        if (activeEffect != nullptr && !retired.push(activeEffect))
            jassertfalse;
        activeEffect = isRemoval(offer) ? nullptr : offer;
    }
    return instrumentChanged;
}

void LayerChain::play(const NoteCommand& command) noexcept
{
    if (activeInstrument != nullptr)
        activeInstrument->send(command);
    else
        samplerNode->send(command);
}

void LayerChain::playOnBoth(const NoteCommand& command) noexcept
{
    if (activeInstrument != nullptr)
        activeInstrument->send(command);
    samplerNode->send(command);
}

void LayerChain::render(juce::AudioBuffer<float>& out, int numSamples, float gain) noexcept
{
    const int n = std::min(numSamples, work.getNumSamples());
    juce::AudioBuffer<float> view(work.getArrayOfWritePointers(), 2, n);
    view.clear();

    if (activeInstrument != nullptr)
    {
        activeInstrument->processBlock(view, noMidi);
        if (samplerDraining)
        {
            juce::AudioBuffer<float> tail(extra.getArrayOfWritePointers(), 2, n);
            samplerNode->processBlock(tail, noMidi);
            for (int ch = 0; ch < 2; ++ch)
                view.addFrom(ch, 0, tail, ch, 0, n);
            samplerDraining = samplerNode->isSounding();
        }
    }
    else
    {
        samplerNode->processBlock(view, noMidi);
    }

    if (withDamperStage)
        damperVoices.renderAdd(view, n);
    eqNode->processBlock(view, noMidi);
    compressorNode->processBlock(view, noMidi);
    reverbNode->processBlock(view, noMidi);
    if (activeEffect != nullptr)
        activeEffect->processBlock(view, noMidi);

    // The fader: a new gain is reached over one block, so that moves never click.
    if (appliedGain < 0.0f)
        appliedGain = gain;
    if (appliedGain == gain)
    {
        if (gain != 1.0f)
            view.applyGain(gain);
    }
    else
    {
        view.applyGainRamp(0, n, appliedGain, gain);
        appliedGain = gain;
    }

    peak = std::max(view.getMagnitude(0, 0, n), view.getMagnitude(1, 0, n));
    for (int ch = 0; ch < 2; ++ch)
        out.addFrom(ch, 0, view, ch, 0, n);
}

} // namespace norvane
