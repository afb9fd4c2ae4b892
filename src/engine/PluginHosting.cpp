// The engine's plug-in loading: instrument plug-ins in a layer's sampler's place, effect
// plug-ins between its reverb and its fader.

#include "catalog/PluginLibrary.h"
#include "core/MessageThread.h"
#include "engine/AudioEngine.h"
#include "engine/PluginNode.h"
#include "engine/realtime/LayerChain.h"

namespace norvane
{

void AudioEngine::removeInstrumentNode(SoundLayer& layer)
{
    pluginNodeWillBeRemoved.call(*layer.pluginNode());
    layer.chain().offerInstrument(nullptr); // the sampler plays again
}

void AudioEngine::removeEffectNode(SoundLayer& layer)
{
    pluginNodeWillBeRemoved.call(*layer.effectNode());
    layer.chain().offerEffect(nullptr); // reverb straight into the fader again
}

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

    if (!findPlugin)
        findPlugin = [](const PluginRef& r) { return PluginLibrary::shared().find(r); };
    const auto description = findPlugin(ref);
    if (!description)
    {
        deliver(nullptr, juce::String::fromUTF8("el plugin no está instalado"));
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
    const bool nothingToDo =
        (!ref && !current) || (ref && current && *ref == *current && layer.pluginNode());
    if (nothingToDo)
    {
        if (layer.pluginNode() != nullptr && state)
            layer.pluginNode()->restore(*state);
        return;
    }

    layer.panicStop();
    if (layer.pluginNode() != nullptr)
        removeInstrumentNode(layer);

    if (!ref)
    {
        layer.instrumentPlugin = std::nullopt;
        return;
    }

    layer.instrumentPlugin = ref;
    instantiate(*ref,
                [this, &layer, requested = *ref, state](
                    std::unique_ptr<juce::AudioPluginInstance> instance, const juce::String& error)
                {
                    if (layer.instrumentPlugin.get() != requested || layer.pluginNode() != nullptr)
                        return; // superseded, or loaded already
                    if (instance != nullptr &&
                        PluginRef::isInstrumentPlugin(instance->getPluginDescription()))
                    {
                        auto node = std::make_unique<PluginInstrumentNode>(std::move(instance));
                        prepare(*node);
                        if (state)
                            node->restore(*state);
                        layer.chain().offerInstrument(std::move(node));
                        loadError = std::nullopt;
                        return;
                    }
                    const auto reason = error.isNotEmpty() ? error.toStdString()
                                                           : std::string("no es un instrumento");
                    loadError = "No se pudo cargar el plugin " + requested.name + ": " + reason;
                    layer.instrumentPlugin = std::nullopt; // the sampler plays on
                });
}

void AudioEngine::loadEffectPlugin(const std::optional<PluginRef>& ref,
                                   const std::optional<juce::MemoryBlock>& state, SoundLayer& layer)
{
    NORVANE_ASSERT_MESSAGE_THREAD;
    const auto& current = layer.effectPlugin.get();
    const bool nothingToDo =
        (!ref && !current) || (ref && current && *ref == *current && layer.effectNode());
    if (nothingToDo)
    {
        if (layer.effectNode() != nullptr && state)
            layer.effectNode()->restore(*state);
        return;
    }

    if (layer.effectNode() != nullptr)
        removeEffectNode(layer);

    if (!ref)
    {
        layer.effectPlugin = std::nullopt;
        return;
    }

    layer.effectPlugin = ref;
    instantiate(*ref,
                [this, &layer, requested = *ref, state](
                    std::unique_ptr<juce::AudioPluginInstance> instance, const juce::String& error)
                {
                    if (layer.effectPlugin.get() != requested || layer.effectNode() != nullptr)
                        return;
                    if (instance != nullptr)
                    {
                        auto node = std::make_unique<PluginEffectNode>(std::move(instance));
                        prepare(*node);
                        if (state)
                            node->restore(*state);
                        layer.chain().offerEffect(std::move(node));
                        loadError = std::nullopt;
                        return;
                    }
                    const auto reason =
                        error.isNotEmpty() ? error.toStdString() : std::string("error desconocido");
                    loadError = "No se pudo cargar el efecto " + requested.name + ": " + reason;
                    layer.effectPlugin = std::nullopt;
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
