#include "engine/LayerSwitcher.h"

#include "core/MessageThread.h"
#include "engine/CompressorNode.h"
#include "engine/CrashRecord.h"
#include "engine/EqualizerNode.h"
#include "engine/PluginNode.h"
#include "engine/ReverbNode.h"
#include "engine/SoundLoader.h"
#include "engine/realtime/LayerChain.h"
#include "engine/realtime/LayerProcessor.h"

#include <algorithm>

namespace norvane
{

// ---- Targets and set-ups ----------------------------------------------------------------

SoundTarget SoundTarget::of(const std::string& bank, int program, std::string name)
{
    SoundTarget t;
    t.bank = bank;
    t.program = program;
    t.name = std::move(name);
    const juce::File file(juce::String::fromUTF8(bank.c_str()));
    t.modified = file.existsAsFile() ? file.getLastModificationTime().toMilliseconds() : 0;
    return t;
}

void ChainSetup::writeTo(LayerChain& c) const
{
    auto& s = c.settings;
    s.enabled = enabled;
    writeRangeTo(c);
    s.transpose = transpose;
    s.octave = octave;
    s.velocityCurve = velocityCurve;
    s.damperAmount = (float)damperAmount;
    s.attackTime = (float)attackTime;
    s.releaseTime = (float)releaseTime;
    s.volume = (float)volume;
    writeEqualizerTo(c);
    writeCompressionTo(c);
    writeReverbTo(c);
}

void ChainSetup::writeRangeTo(LayerChain& c) const
{
    c.settings.lowKey = lowKey;
    c.settings.highKey = highKey;
    c.settings.crossfade = crossfade;
}

void ChainSetup::writeEqualizerTo(LayerChain& c) const
{
    c.eq().setGain(EqualizerNode::low, (float)eqLowGain);
    c.eq().setGain(EqualizerNode::mid, (float)eqMidGain);
    c.eq().setGain(EqualizerNode::high, (float)eqHighGain);
}

void ChainSetup::writeCompressionTo(LayerChain& c) const
{
    c.compressor().setThreshold(-24.0f);
    c.compressor().setHeadRoom(CompressorNode::headRoomFor((float)compressionAmount));
}

void ChainSetup::writeReverbTo(LayerChain& c) const
{
    const double d = std::clamp(reverbDecay, 0.0, 1.0);
    auto set = [&c](ReverbNode::Parameter p, double v) { c.reverb().setParameter(p, (float)v); };
    set(ReverbNode::dryWetMix, reverbAmount * 100.0);
    set(ReverbNode::largeSize, 0.005 + 0.145 * d);
    set(ReverbNode::largeDelay, 0.01 + 0.06 * d);
    set(ReverbNode::largeDelayRange, 0.4 + 0.45 * d);
    set(ReverbNode::largeDensity, 0.6 + 0.35 * d);
    set(ReverbNode::largeBrightness, 0.45 + 0.15 * d);
    set(ReverbNode::preDelay, 0.006 + 0.019 * d);
    set(ReverbNode::smallLargeMix, 60.0 + 35.0 * d);
}

// ---- The switcher -----------------------------------------------------------------------

LayerSwitcher::LayerSwitcher(LayerProcessor& processor, Services servicesIn)
    : audio(processor), services(std::move(servicesIn)), lastLive(processor.liveIndex())
{
}

LayerSwitcher::~LayerSwitcher() = default;

LayerChain& LayerSwitcher::liveChain()
{
    return audio.liveChain();
}

LayerChain* LayerSwitcher::preparingChain()
{
    return pendingChain >= 0 ? &audio.chain(pendingChain) : nullptr;
}

PluginNode* LayerSwitcher::nodeOf(int chain, bool instrument) const
{
    auto& c = audio.chain(chain);
    return instrument ? static_cast<PluginNode*>(c.instrumentPlugin())
                      : static_cast<PluginNode*>(c.effectPlugin());
}

PluginNode* LayerSwitcher::instrumentNode() const
{
    return nodeOf(pendingChain >= 0 ? pendingChain : audio.liveIndex(), true);
}

PluginNode* LayerSwitcher::effectNode() const
{
    return nodeOf(pendingChain >= 0 ? pendingChain : audio.liveIndex(), false);
}

bool LayerSwitcher::isLoading() const
{
    return waitingForChain ||
           (pendingChain >= 0 && audio.chain(pendingChain).state() == ChainState::preparing);
}

int LayerSwitcher::takeSilencedBlocks()
{
    return std::exchange(silencedBlocks, 0);
}

LayerSwitcher::Counts LayerSwitcher::counts() const
{
    std::lock_guard<std::mutex> guard(soundLock);
    return counted;
}

SoundTarget LayerSwitcher::heldSound(int chain) const
{
    std::lock_guard<std::mutex> guard(soundLock);
    return sounds[(size_t)chain].held;
}

void LayerSwitcher::waitForSounds()
{
    services.loader.waitUntilIdle();
}

// ---- Plug-ins wanted --------------------------------------------------------------------

void LayerSwitcher::wantInstrument(const std::optional<PluginRef>& ref,
                                   const std::optional<juce::MemoryBlock>& state)
{
    NORVANE_ASSERT_MESSAGE_THREAD;
    // The same plug-in asked for without a state keeps the one it is to start from.
    auto kept = ref && ref == instrumentWanted.ref ? instrumentWanted.state : std::nullopt;
    instrumentWanted = {ref, state ? state : kept};
}

void LayerSwitcher::wantEffect(const std::optional<PluginRef>& ref,
                               const std::optional<juce::MemoryBlock>& state)
{
    NORVANE_ASSERT_MESSAGE_THREAD;
    auto kept = ref && ref == effectWanted.ref ? effectWanted.state : std::nullopt;
    effectWanted = {ref, state ? state : kept};
}

std::optional<juce::MemoryBlock> LayerSwitcher::stateToKeep(bool instrument) const
{
    const auto& want = instrument ? instrumentWanted : effectWanted;
    if (!want.ref)
        return std::nullopt;
    const auto& slots = instrument ? instruments : effects;
    const int front = pendingChain >= 0 ? pendingChain : audio.liveIndex();
    if (slots[(size_t)front].held == want.ref)
        if (auto* node = nodeOf(front, instrument))
            return PluginNode::stateOf(node);
    if (want.state)
        return want.state;
    // Being made anew for the next set-up, from the state of the one that plays.
    const int live = audio.liveIndex();
    if (slots[(size_t)live].held == want.ref)
        return PluginNode::stateOf(nodeOf(live, instrument));
    return std::nullopt;
}

std::optional<juce::MemoryBlock> LayerSwitcher::instrumentStateToKeep() const
{
    return stateToKeep(true);
}

std::optional<juce::MemoryBlock> LayerSwitcher::effectStateToKeep() const
{
    return stateToKeep(false);
}

// ---- Requests ---------------------------------------------------------------------------

bool LayerSwitcher::fitsInPlace(const LayerSetup& setup) const
{
    const int live = audio.liveIndex();
    {
        std::lock_guard<std::mutex> guard(soundLock);
        const auto& s = sounds[(size_t)live];
        if (!s.asked.sameSound(setup.sound) || (s.queued && !s.wanted.sameSound(setup.sound)))
            return false;
    }
    auto holds = [&](bool instrument, const std::optional<PluginRef>& ref)
    {
        const auto& slot = (instrument ? instruments : effects)[(size_t)live];
        return slot.held == ref && (!ref || nodeOf(live, instrument) != nullptr);
    };
    return holds(true, setup.instrument) && holds(false, setup.effect) &&
           instrumentWanted.ref == setup.instrument && effectWanted.ref == setup.effect;
}

bool LayerSwitcher::request(const LayerSetup& setup)
{
    NORVANE_ASSERT_MESSAGE_THREAD;
    waitingForChain = false;
    waitingSetup.reset();

    // The sound stays as it is: the chain that plays takes the new settings. A prepared
    // chain that has just taken over is the one that plays, then.
    for (int attempt = 0; attempt < 2; ++attempt)
        if (fitsInPlace(setup))
        {
            if (cancelPreparing())
            {
                applyInPlace(setup);
                return true;
            }
            collect(); // it took over meanwhile: look again at the one that plays now
        }

    std::uint32_t generation = 0;
    const int c = chooseChain(generation);
    if (c < 0)
    {
        // Every chain still sounds: the oldest is fading out; the request waits for it.
        waitingForChain = true;
        waitingSetup = setup;
        return false;
    }
    const bool restarted = c == pendingChain;
    pendingChain = c;
    auto& chain = audio.chain(c);
    setup.chain.writeTo(chain);
    provideSound(c, generation, setup.sound);
    providePlugin(c, generation, true, restarted);
    providePlugin(c, generation, false, restarted);
    chain.partDone(generation); // everything is asked for
    return false;
}

std::optional<std::string> LayerSwitcher::loadNow(const SoundTarget& sound)
{
    const int live = audio.liveIndex();
    auto& sampler = audio.chain(live).sampler();
    std::string error;
    auto synth = SamplerNode::build(sound.bank, sound.program, 121, 0, sampler.sampleRate(), error);
    std::lock_guard<std::mutex> guard(soundLock);
    auto& s = sounds[(size_t)live];
    s.asked = s.wanted = sound;
    s.failure = synth == nullptr ? std::optional<std::string>(error) : std::nullopt;
    if (synth == nullptr)
        return error;
    sampler.install(std::move(synth));
    s.held = sound;
    return std::nullopt;
}

void LayerSwitcher::applyInPlace(const LayerSetup& setup)
{
    const int live = audio.liveIndex();
    auto& chain = audio.chain(live);
    setup.chain.writeTo(chain);
    // A state asked for (now, or by a request whose chain never played) goes into the
    // running instance; its editor stays open.
    for (bool instrument : {true, false})
    {
        auto& want = instrument ? instrumentWanted : effectWanted;
        if (want.ref && want.state)
            if (auto* node = nodeOf(live, instrument))
                node->restore(*want.state);
        if (want.ref)
            want.state.reset(); // the running instance holds it now
    }
    {
        std::lock_guard<std::mutex> guard(soundLock);
        ++counted.inPlace;
    }
    if (soundLoaded && !setup.sound.isNothing())
    {
        std::optional<std::string> failure;
        {
            std::lock_guard<std::mutex> guard(soundLock);
            failure = sounds[(size_t)live].failure;
        }
        soundLoaded(failure, setup.sound.name); // what was asked for plays, or why not
    }
    switched.call();
}

int LayerSwitcher::chooseChain(std::uint32_t& generation)
{
    // The chain being prepared starts over (the last request wins); else a free one.
    std::optional<std::uint32_t> g;
    int c = pendingChain;
    if (c >= 0)
        g = audio.chain(c).beginPreparing();
    if (!g)
    {
        c = -1;
        for (int i = 0; i < LayerProcessor::chainCount && !g; ++i)
            if (i != audio.liveIndex() && audio.chain(i).state() == ChainState::idle)
                if ((g = audio.chain(i).beginPreparing()))
                    c = i;
    }
    if (!g)
    {
        // Every chain plays something: the oldest ringing one fades out and lets go, unless
        // one is fading out already.
        for (int i = 0; i < LayerProcessor::chainCount; ++i)
            if (audio.chain(i).state() == ChainState::evicting)
                return -1;
        int oldest = -1;
        for (int i = 0; i < LayerProcessor::chainCount; ++i)
            if (audio.chain(i).state() == ChainState::ringing &&
                (oldest < 0 || liveSince[(size_t)i] < liveSince[(size_t)oldest]))
                oldest = i;
        if (oldest >= 0 && audio.chain(oldest).requestEviction())
        {
            std::lock_guard<std::mutex> guard(soundLock);
            ++counted.evictions[(size_t)oldest];
        }
        return -1;
    }
    generation = *g;
    return c;
}

bool LayerSwitcher::cancelPreparing()
{
    if (pendingChain < 0)
        return true;
    auto& chain = audio.chain(pendingChain);
    if (!chain.cancelPreparing(chain.generation()))
        return false; // it has taken over
    {
        // A sound load not started yet is not needed any more; one under way still lands in
        // the chain, for a later request that asks for it.
        std::lock_guard<std::mutex> guard(soundLock);
        auto& s = sounds[(size_t)pendingChain];
        s.required = false;
        s.partOpen = false;
    }
    for (bool instrument : {true, false})
    {
        auto& slot = (instrument ? instruments : effects)[(size_t)pendingChain];
        if (slot.queued)
        {
            ++slot.serial; // not started: never runs; arriving: dropped
            slot.queued = false;
        }
        slot.partOpen = false;
        // What it holds stays for a later request, but its editor window closes: it will
        // not play for this one.
        if (auto* node = nodeOf(pendingChain, instrument);
            node != nullptr && services.nodeWillBeRemoved)
            services.nodeWillBeRemoved(*node);
    }
    pendingChain = -1;
    return true;
}

// ---- Sounds -----------------------------------------------------------------------------

void LayerSwitcher::provideSound(int c, std::uint32_t generation, const SoundTarget& target)
{
    if (target.isNothing())
        return;
    enum class Need
    {
        nothing,
        takenOver,
        load
    };
    auto need = Need::load;
    std::uint64_t serial = 0;
    std::optional<std::string> failure;
    {
        std::lock_guard<std::mutex> guard(soundLock);
        auto& s = sounds[(size_t)c];
        auto& chain = audio.chain(c);
        const auto fallback = sounds[(size_t)audio.liveIndex()].held;
        if (s.asked.sameSound(target))
        {
            // It has that sound already (or the one it fell back on when that failed, unless
            // the file has changed since); anything still out for it is not needed.
            if (s.queued)
                ++s.serial;
            s.wanted = s.asked;
            s.queued = s.required = s.partOpen = false;
            failure = s.failure;
            need = Need::nothing;
        }
        else if (s.queued && s.wanted.sameSound(target))
        {
            // The load under way brings it: this request takes it over.
            need = Need::takenOver;
        }
        else
        {
            s.wanted = target;
            serial = ++s.serial;
            s.queued = true;
        }
        if (need != Need::nothing)
        {
            chain.addPart(generation);
            s.generation = generation;
            s.partOpen = s.required = true;
            s.fallback = fallback;
        }
    }
    if (need == Need::nothing && soundLoaded)
        soundLoaded(failure, target.name);
    // The engine finishes its loader's jobs before its switchers go.
    if (need == Need::load)
        services.loader.post([this, c, serial] { runSoundJob(c, serial, false); });
}

void LayerSwitcher::runSoundJob(int c, std::uint64_t serial, bool rebuild)
{
    auto& sampler = audio.chain(c).sampler();
    SoundTarget target, fallback;
    {
        std::lock_guard<std::mutex> guard(soundLock);
        auto& s = sounds[(size_t)c];
        // Superseded before it started, or nobody waits for it any more: it never runs.
        if (s.serial != serial || !s.required)
        {
            if (s.serial == serial)
                s.queued = false;
            ++counted.soundsSkipped;
            return;
        }
        target = s.wanted;
        fallback = s.fallback;
        ++counted.soundsStarted;
    }
    if (soundLoadBegins && !rebuild)
        soundLoadBegins(target);

    for (;;)
    {
        const double rate = sampler.sampleRate();
        std::string error;
        auto synth = SamplerNode::build(target.bank, target.program, 121, 0, rate, error);
        std::optional<std::string> failure;
        SoundTarget built = target;
        if (synth == nullptr)
        {
            // The layer keeps the sound it had.
            failure = error;
            built = fallback;
            if (!fallback.isNothing())
            {
                std::string ignored;
                synth = SamplerNode::build(fallback.bank, fallback.program, 121, 0, rate, ignored);
            }
        }

        bool part = false;
        std::uint32_t generation = 0;
        {
            std::lock_guard<std::mutex> guard(soundLock);
            auto& s = sounds[(size_t)c];
            if (s.serial != serial)
            {
                ++counted.soundsFinished;
                return; // superseded while it loaded: dropped (freed on leaving)
            }
            if (rate != sampler.sampleRate())
                continue; // the device's rate changed meanwhile: build it for the new one
            if (synth != nullptr)
            {
                sampler.install(std::move(synth));
                s.held = built;
            }
            if (!rebuild)
            {
                s.asked = target;
                s.failure = failure;
            }
            s.queued = false;
            ++counted.soundsFinished;
            if (s.required && !rebuild)
                loadedSounds.push_back({failure, target.name});
            part = s.partOpen;
            generation = s.generation;
            s.partOpen = false;
        }
        if (part)
            audio.chain(c).partDone(
                generation); // ready from here, whatever the message thread does
        return;
    }
}

void LayerSwitcher::rateChanged()
{
    NORVANE_ASSERT_MESSAGE_THREAD;
    // The chain that plays first, then the others, each for what it holds; a load under way
    // builds again by itself when it finds the rate changed.
    std::vector<std::pair<int, std::uint64_t>> jobs;
    {
        std::lock_guard<std::mutex> guard(soundLock);
        const int live = audio.liveIndex();
        for (int i = 0; i < LayerProcessor::chainCount; ++i)
        {
            const int c = (live + i) % LayerProcessor::chainCount;
            auto& s = sounds[(size_t)c];
            if (s.queued || s.held.isNothing() ||
                audio.chain(c).sampler().installedRate() == audio.chain(c).sampler().sampleRate())
                continue;
            s.wanted = s.held;
            s.fallback = {};
            s.queued = s.required = true;
            s.partOpen = false;
            jobs.emplace_back(c, ++s.serial);
        }
    }
    for (auto [c, serial] : jobs)
        services.loader.post([this, c = c, serial = serial] { runSoundJob(c, serial, true); });
}

// ---- Plug-ins ---------------------------------------------------------------------------

void LayerSwitcher::takeAway(int c, bool instrument)
{
    auto* node = nodeOf(c, instrument);
    if (node == nullptr)
        return;
    if (services.nodeWillBeRemoved)
        services.nodeWillBeRemoved(*node);
    auto& chain = audio.chain(c);
    if (instrument)
        chain.offerInstrument(nullptr);
    else
        chain.offerEffect(nullptr);
}

void LayerSwitcher::providePlugin(int c, std::uint32_t generation, bool instrument, bool restarted)
{
    auto& want = instrument ? instrumentWanted : effectWanted;
    auto& slot = (instrument ? instruments : effects)[(size_t)c];
    auto supersede = [&slot]
    {
        if (slot.queued)
            ++slot.serial;
        slot.queued = slot.partOpen = false;
    };
    if (!want.ref)
    {
        supersede();
        takeAway(c, instrument);
        slot.held.reset();
        return;
    }

    // The state it starts from: the one asked for (or kept while it loads or is missing);
    // else the chain being prepared again keeps its own, which is the layer's; else it starts
    // where the one playing now stands.
    auto state = want.state;
    const int live = audio.liveIndex();
    const auto& liveSlot = (instrument ? instruments : effects)[(size_t)live];
    const bool ownIsTheLayers =
        restarted && slot.held == want.ref && nodeOf(c, instrument) != nullptr;
    if (!state && !ownIsTheLayers && c != live && liveSlot.held == want.ref)
        state = PluginNode::stateOf(nodeOf(live, instrument));

    // One already in the chain is kept when it can start from the state wanted; the chain
    // being prepared again keeps its own, which is the layer's; one left in a chain from an
    // earlier set-up, with no state to give it, would come back as it was then: made anew.
    if (slot.held == want.ref && nodeOf(c, instrument) != nullptr && (state || restarted))
    {
        supersede();
        if (state)
            nodeOf(c, instrument)->restore(*state); // this chain plays nothing now
        return;
    }

    auto& chain = audio.chain(c);
    slot.startState = state;
    if (slot.queued && slot.wanted == want.ref)
    {
        // Being made already: this request takes it over, with its own starting state.
        chain.addPart(generation);
        slot.generation = generation;
        slot.partOpen = true;
        return;
    }

    supersede();
    takeAway(c, instrument);
    slot.held.reset();
    slot.wanted = want.ref;
    const auto serial = ++slot.serial;
    slot.queued = slot.partOpen = true;
    slot.generation = generation;
    chain.addPart(generation);

    // Started from the message loop, so that a request superseded before then never runs.
    callAsyncWeak(juce::WeakReference<LayerSwitcher>(this),
                  [c, instrument, serial](LayerSwitcher& self)
                  { self.startPlugin(c, instrument, serial); });
}

void LayerSwitcher::startPlugin(int c, bool instrument, std::uint64_t serial)
{
    auto& slot = (instrument ? instruments : effects)[(size_t)c];
    if (slot.serial != serial || !slot.queued || !slot.wanted)
        return; // superseded before it started
    {
        std::lock_guard<std::mutex> guard(soundLock);
        ++counted.pluginsStarted;
    }
    const auto ref = *slot.wanted;
    if (pluginLoadBegins)
        pluginLoadBegins(instrument, ref);
    juce::WeakReference<LayerSwitcher> weak(this);
    services.makePlugin(
        ref,
        [weak, c, instrument, ref](std::unique_ptr<juce::AudioPluginInstance> instance,
                                   const juce::String& error)
        {
            if (auto* self = weak.get())
                self->pluginMade(c, instrument, ref, std::move(instance), error);
        });
}

void LayerSwitcher::pluginMade(int c, bool instrument, const PluginRef& ref,
                               std::unique_ptr<juce::AudioPluginInstance> instance,
                               const juce::String& error)
{
    NORVANE_ASSERT_MESSAGE_THREAD;
    {
        std::lock_guard<std::mutex> guard(soundLock);
        ++counted.pluginsFinished;
    }
    auto& slot = (instrument ? instruments : effects)[(size_t)c];
    if (!slot.queued || slot.wanted != ref)
        return; // a later request wants something else of this chain: dropped here

    slot.queued = false;
    const bool fits =
        instance != nullptr &&
        (!instrument || PluginRef::isInstrumentPlugin(instance->getPluginDescription()));
    if (fits)
    {
        offer(c, instrument, ref, std::move(instance));
        slot.held = ref;
        auto& want = instrument ? instrumentWanted : effectWanted;
        if (want.ref == ref)
            want.state.reset(); // the instance holds it now
        if (pluginArrived)
            pluginArrived(instrument);
    }
    else if (pluginFailed)
    {
        // The new set-up plays without it: the sampler, or the reverb into the fader.
        const auto reason = error.isNotEmpty() ? error.toStdString()
                                               : std::string(instrument ? "no es un instrumento"
                                                                        : "error desconocido");
        pluginFailed(instrument, ref, reason);
    }
    if (slot.partOpen)
    {
        slot.partOpen = false;
        audio.chain(c).partDone(slot.generation);
    }
}

void LayerSwitcher::offer(int c, bool instrument, const PluginRef& ref,
                          std::unique_ptr<juce::AudioPluginInstance> instance)
{
    auto& slot = (instrument ? instruments : effects)[(size_t)c];
    auto& chain = audio.chain(c);
    auto ready = [&](PluginNode& node)
    {
        if (services.prepareNode)
            services.prepareNode(node);
        if (slot.startState)
            node.restore(*slot.startState);
        node.setCrashTag(CrashRecord::tagOf(ref));
    };
    if (instrument)
    {
        auto node = std::make_unique<PluginInstrumentNode>(std::move(instance));
        ready(*node);
        chain.offerInstrument(std::move(node));
    }
    else
    {
        auto node = std::make_unique<PluginEffectNode>(std::move(instance));
        ready(*node);
        chain.offerEffect(std::move(node));
    }
    slot.startState.reset();
}

// ---- What the loader and the audio side have done ---------------------------------------

void LayerSwitcher::collect()
{
    NORVANE_ASSERT_MESSAGE_THREAD;
    std::vector<Loaded> results;
    {
        std::lock_guard<std::mutex> guard(soundLock);
        results.swap(loadedSounds);
    }
    for (auto& r : results)
        if (soundLoaded)
            soundLoaded(r.error, r.name);

    // Plug-ins whose output went non-finite are silent on the audio side until reset here.
    for (int c = 0; c < 3; ++c)
        for (bool instrument : {true, false})
            if (auto* node = nodeOf(c, instrument))
            {
                silencedBlocks += node->takeSilencedBlocks();
                node->recover();
            }

    // A prepared set-up that has taken over: the editor windows follow the one that plays.
    const int live = audio.liveIndex();
    if (live != lastLive)
    {
        for (bool instrument : {true, false})
            if (auto* node = nodeOf(lastLive, instrument);
                node != nullptr && services.nodeWillBeRemoved)
                services.nodeWillBeRemoved(*node);
        lastLive = live;
        liveSince[(size_t)live] = ++switchSerial;
    }
    if (pendingChain >= 0 &&
        (pendingChain == live || audio.chain(pendingChain).state() == ChainState::idle))
    {
        pendingChain = -1;
        switched.call();
    }
    if (waitingForChain && waitingSetup)
    {
        const auto setup = *waitingSetup;
        request(setup); // a chain may have come free
    }
}

} // namespace norvane
