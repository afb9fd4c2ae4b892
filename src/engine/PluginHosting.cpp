// The engine's side of plug-in hosting: finding and instantiating plug-ins for the layers'
// switchers, and what the layers ask of their plug-ins.

#include "catalog/PluginLibrary.h"
#include "core/MessageThread.h"
#include "engine/AudioEngine.h"
#include "engine/CrashRecord.h"
#include "engine/LayerSwitcher.h"
#include "engine/PluginNode.h"
#include "engine/SamplerNode.h"
#include "engine/realtime/LayerChain.h"
#include "engine/realtime/LayerProcessor.h"

#include <cstdlib>

namespace norvane
{

namespace
{

bool hasDisplay()
{
    for (const char* variable : {"DISPLAY", "WAYLAND_DISPLAY"})
        if (const char* value = std::getenv(variable); value != nullptr && *value != '\0')
            return true;
    return false;
}

/** Whether the host gives every audio port of the plug-in a buffer once all its buses are on.
    JUCE's LV2 host maps ports to channels by their designations; ports that say "left" and
    "right" twice without a group (a cross-fader's two stereo inputs) make a map it gives up on,
    and it runs the plug-in with those ports connected to nothing: most plug-ins then crash. */
bool connectsEveryPort(juce::AudioPluginInstance& instance)
{
    instance.enableAllBuses();
    const auto& d = instance.getPluginDescription();
    return d.pluginFormatName != "LV2" ||
           (instance.getTotalNumInputChannels() == d.numInputChannels &&
            instance.getTotalNumOutputChannels() == d.numOutputChannels);
}

} // namespace

void AudioEngine::prepare(PluginNode& node)
{
    node.freeThrough(reaper);
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
    if (PluginRef::needsDisplay(*description) && !hasDisplay())
    {
        // Made here, its toolkit would find no display and abort the whole program.
        deliver(nullptr, juce::String::fromUTF8(pluginNeedsDisplay));
        return;
    }
    if (pluginFormats.getNumFormats() == 0)
        addHostedFormats(pluginFormats);
    // Made later on the message thread, as JUCE would, but between the crash record's marks:
    // one plug-in at a time is made, and a crash meanwhile names that one, not another one
    // asked for at the same time.
    callAsyncWeak(weak,
                  [description = *description, ref, deliver](AudioEngine& engine)
                  {
                      if (engine.crashRecord != nullptr)
                          engine.crashRecord->making(ref);
                      juce::String error;
                      auto instance = engine.pluginFormats.createPluginInstance(
                          description, engine.audioHost->sampleRate(),
                          engine.audioHost->maximumBlockSize(), error);
                      if (engine.crashRecord != nullptr)
                          engine.crashRecord->made();
                      if (instance != nullptr && !connectsEveryPort(*instance))
                      {
                          instance.reset();
                          error = juce::String::fromUTF8(pluginPortsUnconnected);
                      }
                      deliver(std::move(instance), error);
                  });
}

void AudioEngine::makeForSwitcher(
    const PluginRef& ref,
    std::function<void(std::unique_ptr<juce::AudioPluginInstance>, const juce::String&)> done)
{
    NORVANE_ASSERT_MESSAGE_THREAD;
    const bool crashed = crashRecord != nullptr && crashRecord->isGuilty(ref);
    if (withoutPlugins || crashed)
    {
        // Held back: the layer plays its SoundFont sound; reference and state stay.
        heldBackPlugin = HeldBack{ref, crashed};
        juce::WeakReference<AudioEngine> weak(this);
        callAsyncWeak(weak, [done](AudioEngine&) { done(nullptr, "held back"); });
        return;
    }
    if (!makePlugin)
    {
        instantiate(ref, std::move(done)); // it marks the plug-in while JUCE makes it
        return;
    }
    // A maker of the caller's (tests, tools) makes it when it likes: the mark spans the wait,
    // and a crash meanwhile names it at the next start.
    if (crashRecord != nullptr)
    {
        ++beingMade;
        crashRecord->making(ref);
    }
    makePlugin(ref,
               [this, done](std::unique_ptr<juce::AudioPluginInstance> instance,
                            const juce::String& error)
               {
                   if (crashRecord != nullptr && --beingMade == 0)
                       crashRecord->made();
                   done(std::move(instance), error);
               });
}

void AudioEngine::allowPlugin(const PluginRef& ref)
{
    NORVANE_ASSERT_MESSAGE_THREAD;
    if (crashRecord != nullptr)
        crashRecord->forgive(ref);
    withoutPlugins = false;
    heldBackPlugin = std::nullopt;
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
    layer.switcher().wantInstrument(ref, state);
    if (!layer.isGatheringChange())
        layer.requestSetup();
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
    layer.switcher().wantEffect(ref, state);
    if (!layer.isGatheringChange())
        layer.requestSetup();
}

void AudioEngine::beginChange(SoundLayer& layer)
{
    NORVANE_ASSERT_MESSAGE_THREAD;
    layer.beginChange();
}

void AudioEngine::commitChange(SoundLayer& layer)
{
    NORVANE_ASSERT_MESSAGE_THREAD;
    layer.commitChange();
}

void AudioEngine::listenTo(LayerSwitcher& switcher, SoundLayer& layer)
{
    switcher.soundLoaded =
        [&layer](const std::optional<std::string>& error, const std::string& name)
    {
        if (error)
            layer.loadError = name + ": " + *error;
        else
            layer.loadError = std::nullopt;
    };
    switcher.pluginArrived = [this, &layer](bool)
    {
        loadError = std::nullopt;
        // Its state is the layer's now: a change for whoever keeps the set-up.
        layer.sendWillChange();
        layer.sendDidChange();
    };
    switcher.pluginFailed = [this](bool instrument, const PluginRef& ref, const std::string& reason)
    {
        if (heldBackPlugin.get() && heldBackPlugin.get()->ref == ref)
            return; // the window says why, in its own words
        // It stays in the set-up, reference and state, as one not installed does, until the
        // player chooses something else: a failure today (a folder not mounted, a licence not
        // found) must not cost the patch its plug-in. The layer plays without it meanwhile.
        loadError = std::string(instrument ? "No se pudo cargar el plugin "
                                           : "No se pudo cargar el efecto ") +
                    ref.name + ": " + reason;
    };
}

std::optional<juce::MemoryBlock> AudioEngine::pluginState(PluginNode* node)
{
    return PluginNode::stateOf(node);
}

} // namespace norvane
