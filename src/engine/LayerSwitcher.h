#pragma once

#include "catalog/PluginRef.h"
#include "core/Observable.h"
#include "engine/SamplerNode.h"

#include <juce_audio_processors/juce_audio_processors.h>

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace norvane
{

class LayerChain;
class LayerProcessor;
class PluginNode;
class SoundLoader;

/** A preset of a SoundFont: the file as named, its modification time (a SoundFont installed
    again under the same name is another sound) and the program. */
struct SoundTarget
{
    std::string bank;
    std::int64_t modified = 0; ///< ms since 1970; 0 when the file is not there
    int program = -1;          ///< −1: nothing
    std::string name;          ///< the sound's English name, for messages

    /** The target for `program` of the file at `bank` as it is on disk now. */
    static SoundTarget of(const std::string& bank, int program, std::string name);

    bool isNothing() const { return program < 0; }
    bool sameSound(const SoundTarget& other) const
    {
        return bank == other.bank && modified == other.modified && program == other.program;
    }
};

/** Everything a chain plays by apart from its instrument and effect: the note path's settings
    and the tone of its equaliser, compressor and room, as the layer publishes them. */
struct ChainSetup
{
    bool enabled = false;
    int lowKey = 0, highKey = 127, crossfade = 0, transpose = 0, octave = 0;
    int velocityCurve = 0; ///< a VelocityCurve
    double damperAmount = 0.0, attackTime = 0.0, releaseTime = 0.0, volume = 0.85;
    double eqLowGain = 0.0, eqMidGain = 0.0, eqHighGain = 0.0;
    double compressionAmount = 0.0, reverbAmount = 0.0, reverbDecay = 0.4;

    /** Message thread: writes all of it into a chain; its effects glide there as for a knob. */
    void writeTo(LayerChain& chain) const;
    void writeRangeTo(LayerChain& chain) const;
    void writeEqualizerTo(LayerChain& chain) const;
    void writeCompressionTo(LayerChain& chain) const;
    /** The eight room values made of reverbAmount and reverbDecay. */
    void writeReverbTo(LayerChain& chain) const;
};

/** A layer's whole set-up, as a change of set-up asks for it. */
struct LayerSetup
{
    ChainSetup chain;
    SoundTarget sound;
    std::optional<PluginRef> instrument, effect;
};

/** The one owner of a layer's changes of set-up.

    A layer has three chains (LayerProcessor). Every request for a set-up gets a generation. A
    request that leaves the layer's sound as it is (the same SoundFont preset, the same
    plug-ins) is written into the chain that plays, in place: its effects glide as for a knob,
    a plug-in state asked for is pushed into the running instance. Any other request is
    prepared in a chain that does not play: what that chain holds already is kept, what it
    lacks is loaded (sounds on the loader, plug-ins through the plug-in maker), and the chain
    is ready — and takes over on the audio side at the next block — only when what it holds is
    what the latest request asked for. Each chain records what was actually built into it; a
    result for a request that a later one has superseded is dropped, and a load for it that
    has not started yet never runs. A later request that asks for what is being loaded
    already takes that load over.

    Message thread only, except the sound jobs, which run on the loader and meet the message
    thread only under `soundLock` (never taken on the audio thread).
*/
class LayerSwitcher
{
public:
    using Instantiated =
        std::function<void(std::unique_ptr<juce::AudioPluginInstance>, const juce::String& error)>;
    /** Makes a plug-in instance and hands it (or why not) back later on the message thread. */
    using PluginMaker = std::function<void(const PluginRef& ref, Instantiated done)>;

    struct Services
    {
        SoundLoader& loader;
        PluginMaker makePlugin;
        /** Readies a node for the graph's rate and block before the audio side has it. */
        std::function<void(PluginNode&)> prepareNode;
        /** Right before a plug-in node stops playing for good (its editor window closes). */
        std::function<void(PluginNode&)> nodeWillBeRemoved;
    };

    LayerSwitcher(LayerProcessor& processor, Services services);
    ~LayerSwitcher();

    LayerSwitcher(const LayerSwitcher&) = delete;
    LayerSwitcher& operator=(const LayerSwitcher&) = delete;

    // ---- Gathering a change --------------------------------------------------------------
    /** Between begin and end, settings are gathered, not applied; nested calls end with the
        outermost. */
    void beginChange() { ++gathering; }
    /** True when this was the outermost end: the caller requests the set-up now. */
    bool endChange() { return gathering > 0 && --gathering == 0; }
    bool isGathering() const { return gathering > 0; }

    // ---- Plug-ins --------------------------------------------------------------------------
    /** The instrument plug-in the next request asks for and the state it starts from. Without
        a state, a plug-in already wanted keeps the state it was to start from (while it loads
        or is not installed) or that it has (while it runs). */
    void wantInstrument(const std::optional<PluginRef>& ref,
                        const std::optional<juce::MemoryBlock>& state);
    void wantEffect(const std::optional<PluginRef>& ref,
                    const std::optional<juce::MemoryBlock>& state);

    /** The state to keep for each plug-in: the running one's; while it loads, or while it is
        not installed, the state it is to start from. */
    std::optional<juce::MemoryBlock> instrumentStateToKeep() const;
    std::optional<juce::MemoryBlock> effectStateToKeep() const;

    // ---- Requests ------------------------------------------------------------------------
    /** The layer's whole set-up is now `setup`. True when it was written into the chain that
        plays (the same sound), false when another chain is being prepared for it. */
    bool request(const LayerSetup& setup);

    /** Loads a sound at once, on this thread, into the chain that plays: only while nothing
        plays yet (the engine's start). Nothing, or why it failed. */
    std::optional<std::string> loadNow(const SoundTarget& sound);

    /** A prepared set-up waits to take over (still loading, or waiting for a chain). */
    bool isPending() const { return pendingChain >= 0 || waitingForChain; }
    /** Something asked for is still loading (the chain being prepared is not ready). */
    bool isLoading() const;

    /** The chain that plays new notes now, and the one being prepared (or nothing). */
    LayerChain& liveChain();
    LayerChain* preparingChain();
    /** The plug-in nodes of the set-up asked for last: the prepared chain's, else the live. */
    PluginNode* instrumentNode() const;
    PluginNode* effectNode() const;

    /** The device's rate changed: every synthesizer is built again for it, on the loader. */
    void rateChanged();

    /** Message thread, 60 times a second: takes in what the loader and the audio side have
        done: load results, take-overs, chains come free. */
    void collect();

    /** The blocks this layer's plug-ins were silenced for since the last call, because their
        output went non-finite (each is reset by collect() and plays again). */
    int takeSilencedBlocks();

    /** Blocks until the sound jobs posted so far have run (offline renders, tests). */
    void waitForSounds();

    // ---- What the layer learns -------------------------------------------------------------
    /** A sound was loaded for the set-up asked for: nothing, or why it could not be (the
        chain then plays the sound the layer had). */
    std::function<void(const std::optional<std::string>& error, const std::string& soundName)>
        soundLoaded;
    /** A plug-in asked for could not be made, and why. It stays wanted: the chain plays
        without it, and the next request that asks for it tries again. */
    std::function<void(bool instrument, const PluginRef& ref, const std::string& reason)>
        pluginFailed;
    /** A plug-in asked for has arrived: its state is the layer's now. */
    std::function<void(bool instrument)> pluginArrived;
    /** A prepared set-up has taken over, or a request was applied in place. */
    CallbackList<> switched;

    /** Tests and tools: told as each load begins, a sound on the loader's thread, a plug-in
        on the message thread. */
    std::function<void(const SoundTarget&)> soundLoadBegins;
    std::function<void(bool instrument, const PluginRef&)> pluginLoadBegins;

    /** What the switching has cost so far: sound and plug-in loads started and finished,
        changes made in place, and chains let go of to make room (each by index). */
    struct Counts
    {
        int soundsStarted = 0, soundsFinished = 0, soundsSkipped = 0;
        int pluginsStarted = 0, pluginsFinished = 0;
        int inPlace = 0;
        std::array<int, 3> evictions{};
    };
    Counts counts() const;

    /** The sound each chain holds (its sampler's synthesizer), for tests. */
    SoundTarget heldSound(int chain) const;

private:
    /** What one slot of a chain (its sound, its instrument or its effect) is to hold and
        whether the load that brings it is still out. */
    struct SoundSlot
    {
        // Guarded by soundLock.
        SoundTarget held;  // what the sampler holds once its hand-over is taken up
        SoundTarget asked; // what was last loaded for it, whether it could be or not
        std::optional<std::string> failure; // why `asked` could not be loaded (held: fallback)
        SoundTarget wanted;                 // what the last request wants in it
        SoundTarget fallback;               // played instead when `wanted` cannot be built
        std::uint64_t serial = 0;           // changes with every new want; a job carries its own
        bool queued = false;                // a job for `serial` is posted or running
        bool required = false;        // a request waits for it (else: a job not started is skipped)
        std::uint32_t generation = 0; // the chain generation whose part it holds
        bool partOpen = false;
    };

    struct PluginSlot
    {
        std::optional<PluginRef> held;               // what the node offered to the chain is
        std::optional<PluginRef> wanted;             // what is being made for it
        std::optional<juce::MemoryBlock> startState; // restored into it on arrival
        std::uint64_t serial = 0; // a start carries its own: superseded, it never runs
        bool queued = false;
        std::uint32_t generation = 0;
        bool partOpen = false;
    };

    struct Wanted
    {
        std::optional<PluginRef> ref;
        /** The state it is to be in, until an instance holds it: to start from, or to push
            into the running one. */
        std::optional<juce::MemoryBlock> state;
    };

    struct Loaded
    {
        std::optional<std::string> error;
        std::string name;
    };

    bool fitsInPlace(const LayerSetup& setup) const;
    void applyInPlace(const LayerSetup& setup);
    int chooseChain(std::uint32_t& generation);
    /** Gives the chain being prepared back; false when it has taken over meanwhile. */
    bool cancelPreparing();
    void provideSound(int chain, std::uint32_t generation, const SoundTarget& target);
    /** `rebuild`: the sound held, again for the device's rate. */
    void runSoundJob(int chain, std::uint64_t serial, bool rebuild);
    /** `restarted`: the chain was being prepared for the request before. */
    void providePlugin(int chain, std::uint32_t generation, bool instrument, bool restarted);
    void startPlugin(int chain, bool instrument, std::uint64_t serial);
    void pluginMade(int chain, bool instrument, const PluginRef& ref,
                    std::unique_ptr<juce::AudioPluginInstance> instance, const juce::String& error);
    void offer(int chain, bool instrument, const PluginRef& ref,
               std::unique_ptr<juce::AudioPluginInstance> instance);
    void takeAway(int chain, bool instrument);
    PluginNode* nodeOf(int chain, bool instrument) const;
    std::optional<juce::MemoryBlock> stateToKeep(bool instrument) const;

    LayerProcessor& audio;
    Services services;
    int gathering = 0;

    Wanted instrumentWanted, effectWanted;
    int pendingChain = -1;
    bool waitingForChain = false;
    std::optional<LayerSetup> waitingSetup; // a request that waits for a chain to come free
    std::array<std::uint64_t, 3> liveSince{};
    int lastLive = 0;
    int silencedBlocks = 0;
    std::uint64_t switchSerial = 0;

    mutable std::mutex soundLock;
    std::array<SoundSlot, 3> sounds;  // guarded by soundLock
    std::vector<Loaded> loadedSounds; // guarded by soundLock
    Counts counted;                   // sound counts guarded by soundLock
    std::array<PluginSlot, 3> instruments, effects;

    JUCE_DECLARE_WEAK_REFERENCEABLE(LayerSwitcher)
};

} // namespace norvane
