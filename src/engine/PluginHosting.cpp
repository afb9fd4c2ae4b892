// The engine's changes of a layer's set-up: a new set-up is prepared in a chain of its own
// (its sound built on the loader thread, its plug-ins instantiated and handed over), and
// takes over on the audio side once ready, while the old chain plays out the notes it holds.

#include "catalog/PluginLibrary.h"
#include "core/MessageThread.h"
#include "engine/AudioEngine.h"
#include "engine/PluginNode.h"
#include "engine/SamplerNode.h"
#include "engine/SoundLoader.h"
#include "engine/realtime/LayerChain.h"
#include "engine/realtime/LayerProcessor.h"

namespace norvane
{

void AudioEngine::prepare(PluginNode& node)
{
    node.setPlayConfigDetails(node.getTotalNumInputChannels(), node.getTotalNumOutputChannels(),
                              audioHost->sampleRate(), audioHost->maximumBlockSize());
    node.prepareToPlay(audioHost->sampleRate(), audioHost->maximumBlockSize());
}

void AudioEngine::instantiate(const PluginRef& ref, Instantiated done)
{
    // Whatever happens, the result arrives later on the message thread, and only while the
    // engine exists.
    juce::WeakReference<AudioEngine> weak(this);
    auto deliver =
        [weak, done](std::unique_ptr<juce::AudioPluginInstance> instance, const juce::String& error)
    {
        // callAsync wants a copyable action: the instance travels in a shared holder.
        auto held =
            std::make_shared<std::unique_ptr<juce::AudioPluginInstance>>(std::move(instance));
        callAsyncWeak(weak, [done, held, error](AudioEngine&) { done(std::move(*held), error); });
    };

    // The machine's plug-ins: a request made while they are being scanned (a session restored
    // at the start) waits for the list, and the layer plays on meanwhile.
    auto* library = findPlugin ? nullptr : pluginLibrary ? pluginLibrary : &PluginLibrary::shared();
    if (library != nullptr && library->isScanning())
    {
        library->whenScanned(
            [weak, ref, done]
            {
                if (auto* engine = weak.get())
                    engine->instantiate(ref, done);
            });
        return;
    }
    const auto description = library != nullptr ? library->find(ref) : findPlugin(ref);
    if (!description)
    {
        deliver(nullptr, juce::String::fromUTF8(pluginNotInstalled));
        return;
    }
    if (pluginFormats.getNumFormats() == 0)
        addHostedFormats(pluginFormats);
    pluginFormats.createPluginInstanceAsync(
        *description, audioHost->sampleRate(), audioHost->maximumBlockSize(),
        [deliver](std::unique_ptr<juce::AudioPluginInstance> instance, const juce::String& error)
        { deliver(std::move(instance), error); });
}

void AudioEngine::loadInstrumentPlugin(const std::optional<PluginRef>& ref,
                                       const std::optional<juce::MemoryBlock>& state,
                                       SoundLayer& layer)
{
    NORVANE_ASSERT_MESSAGE_THREAD;
    const auto& current = layer.instrumentPlugin.get();
    if (!layer.isGatheringChange() && !state &&
        ((!ref && !current) || (ref && current && *ref == *current && layer.pluginNode())))
        return; // what plays already
    layer.instrumentPlugin = ref;
    layer.requestedInstrumentState = state;
    if (!layer.isGatheringChange())
        switchLayer(layer);
}

void AudioEngine::loadEffectPlugin(const std::optional<PluginRef>& ref,
                                   const std::optional<juce::MemoryBlock>& state, SoundLayer& layer)
{
    NORVANE_ASSERT_MESSAGE_THREAD;
    const auto& current = layer.effectPlugin.get();
    if (!layer.isGatheringChange() && !state &&
        ((!ref && !current) || (ref && current && *ref == *current && layer.effectNode())))
        return;
    layer.effectPlugin = ref;
    layer.requestedEffectState = state;
    if (!layer.isGatheringChange())
        switchLayer(layer);
}

void AudioEngine::beginChange(SoundLayer& layer)
{
    NORVANE_ASSERT_MESSAGE_THREAD;
    layer.beginChange();
}

void AudioEngine::commitChange(SoundLayer& layer)
{
    NORVANE_ASSERT_MESSAGE_THREAD;
    if (layer.changeDepth > 0 && --layer.changeDepth > 0)
        return;
    switchLayer(layer);
}

void AudioEngine::switchLayer(SoundLayer& layer)
{
    NORVANE_ASSERT_MESSAGE_THREAD;
    auto& audio = layer.processor();
    layer.waitingForChain = false;

    // The chain being prepared starts over (the last request wins); else a free one.
    int c = layer.pendingChain;
    std::optional<std::uint32_t> generation;
    if (c >= 0)
        generation = audio.chain(c).beginPreparing();
    if (!generation)
    {
        c = -1;
        for (int i = 0; i < LayerProcessor::chainCount && !generation; ++i)
            if (i != audio.liveIndex() && audio.chain(i).state() == ChainState::idle)
                if ((generation = audio.chain(i).beginPreparing()))
                    c = i;
    }
    if (!generation)
    {
        // Every chain still plays something: the oldest lets go, and the change waits a block.
        int oldest = -1;
        for (int i = 0; i < LayerProcessor::chainCount; ++i)
            if (audio.chain(i).state() == ChainState::ringing &&
                (oldest < 0 || layer.liveSince[(size_t)i] < layer.liveSince[(size_t)oldest]))
                oldest = i;
        if (oldest >= 0)
            audio.chain(oldest).requestEviction();
        layer.waitingForChain = true;
        return;
    }

    layer.pendingChain = c;
    layer.pendingGeneration = *generation;
    const auto g = *generation;
    auto& chain = audio.chain(c);
    layer.writeSetupTo(chain);

    // The sound, unless the chain holds it already.
    const auto variant = layer.currentVariant();
    const auto bank = variant.customBankPath ? *variant.customBankPath : layer.soundBankPath();
    auto& held = layer.holds[(size_t)c];
    if (layer.reloadRequested || held.bank != bank || held.program != variant.program)
    {
        held.bank = bank;
        held.program = variant.program;
        chain.addPart(g);
        loader->post(
            [this, &layer, &chain, c, g, bank, program = variant.program, name = variant.nameEN]
            {
                Loaded result{&layer, c, g, chain.sampler().loadInstrument(bank, program, 121, 0),
                              name};
                {
                    std::lock_guard<std::mutex> guard(loadedLock);
                    loaded.push_back(std::move(result));
                }
                chain.partDone(g); // ready from here, whatever the message thread is doing
            });
    }
    layer.reloadRequested = false;

    providePlugin(layer, c, g, true);
    providePlugin(layer, c, g, false);
    layer.requestedInstrumentState.reset();
    layer.requestedEffectState.reset();

    chain.partDone(g); // everything asked for
}

void AudioEngine::providePlugin(SoundLayer& layer, int c, std::uint32_t g, bool instrument)
{
    auto& audio = layer.processor();
    auto& chain = audio.chain(c);
    const auto desired = instrument ? layer.instrumentPlugin.get() : layer.effectPlugin.get();
    auto& held = instrument ? layer.holds[(size_t)c].instrument : layer.holds[(size_t)c].effect;
    PluginNode* node = instrument ? static_cast<PluginNode*>(chain.instrumentPlugin())
                                  : static_cast<PluginNode*>(chain.effectPlugin());

    // No state asked for, the same plug-in playing now: the new one starts where it stands.
    auto state = instrument ? layer.requestedInstrumentState : layer.requestedEffectState;
    const int live = audio.liveIndex();
    const auto& liveHeld =
        instrument ? layer.holds[(size_t)live].instrument : layer.holds[(size_t)live].effect;
    PluginNode* liveNode = instrument
                               ? static_cast<PluginNode*>(audio.chain(live).instrumentPlugin())
                               : static_cast<PluginNode*>(audio.chain(live).effectPlugin());
    if (!state && desired && liveHeld == desired && liveNode != nullptr && c != live)
        state = pluginState(liveNode);

    auto takeAway = [&]
    {
        if (node == nullptr)
            return;
        pluginNodeWillBeRemoved.call(*node);
        if (instrument)
            chain.offerInstrument(nullptr);
        else
            chain.offerEffect(nullptr);
    };

    auto& waiting = instrument ? layer.waitingInstrumentState : layer.waitingEffectState;
    if (!desired)
    {
        takeAway();
        held.reset();
        waiting.reset();
        return;
    }
    if (held == desired && node != nullptr)
    {
        if (state)
            node->restore(*state); // this chain plays nothing now: it changes no note
        return;
    }

    takeAway();
    held.reset();
    waiting = state; // kept with the layer until the plug-in plays
    chain.addPart(g);
    instantiate(
        *desired,
        [this, &layer, c, g, instrument, requested = *desired,
         state](std::unique_ptr<juce::AudioPluginInstance> instance, const juce::String& error)
        {
            auto& target = layer.processor().chain(c);
            if (target.generation() != g || target.state() != ChainState::preparing)
                return; // a later request has taken this chain over
            const bool fits =
                instance != nullptr &&
                (!instrument || PluginRef::isInstrumentPlugin(instance->getPluginDescription()));
            if (fits)
            {
                auto readyToPlay = [&](PluginNode& n)
                {
                    prepare(n);
                    if (state)
                        n.restore(*state);
                };
                auto& holds = layer.holds[(size_t)c];
                if (instrument)
                {
                    auto n = std::make_unique<PluginInstrumentNode>(std::move(instance));
                    readyToPlay(*n);
                    target.offerInstrument(std::move(n));
                    holds.instrument = requested;
                }
                else
                {
                    auto n = std::make_unique<PluginEffectNode>(std::move(instance));
                    readyToPlay(*n);
                    target.offerEffect(std::move(n));
                    holds.effect = requested;
                }
                (instrument ? layer.waitingInstrumentState : layer.waitingEffectState).reset();
                loadError = std::nullopt;
                // Its state is the layer's now: a change for whoever keeps the set-up.
                layer.sendWillChange();
                layer.sendDidChange();
            }
            else
            {
                // The new set-up plays without it: the sampler, or the reverb into the fader.
                const auto reason =
                    error.isNotEmpty()
                        ? error.toStdString()
                        : std::string(instrument ? "no es un instrumento" : "error desconocido");
                loadError = std::string(instrument ? "No se pudo cargar el plugin "
                                                   : "No se pudo cargar el efecto ") +
                            requested.name + ": " + reason;
                // One that is not installed (yet: a folder not mounted) stays in the set-up,
                // state and all, until the player chooses something else.
                auto& ref = instrument ? layer.instrumentPlugin : layer.effectPlugin;
                if (ref.get() == requested && error != juce::String::fromUTF8(pluginNotInstalled))
                {
                    ref = std::nullopt;
                    (instrument ? layer.waitingInstrumentState : layer.waitingEffectState).reset();
                }
            }
            target.partDone(g);
        });
}

std::optional<juce::MemoryBlock> AudioEngine::pluginState(PluginNode* node)
{
    if (node == nullptr)
        return std::nullopt;
    auto state = node->state();
    if (state.getSize() == 0)
        return std::nullopt;
    return state;
}

} // namespace norvane
