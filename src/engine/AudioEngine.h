#pragma once

#include "core/Observable.h"
#include "core/Scheduler.h"
#include "engine/AudioHost.h"
#include "engine/DeviceStatus.h"
#include "engine/LevelMeterBank.h"
#include "engine/PluginNode.h"
#include "engine/PluginReaper.h"
#include "engine/SoundLayer.h"
#include "engine/realtime/PerformanceEvents.h"

#include <atomic>
#include <mutex>
#include <thread>

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace norvane
{

class CrashRecord;
class LimiterNode;
class PluginLibrary;
class Metronome;
class TapNode;
class LayerProcessor;
class PerformanceRouter;
class DamperTable;
class SoundLoader;
class LayerSwitcher;

/** An output device offered to the user. `id` is the FNV-1a hash of "type/name". */
struct AudioOutputDevice
{
    std::uint32_t id = 0;
    std::string name;
    std::string type; ///< the system's device type ("ALSA", "JACK"), to open it again

    bool operator==(const AudioOutputDevice& other) const
    {
        return id == other.id && name == other.name;
    }
};

/** Owns the audio graph: the five layers with their chains, the master bus with its limiter
    and meters, the shared sound bank and the output device, and the performance router that
    plays every note on the audio side. Fans each performed note out to the four playing layers
    in the order A, B, C, D; the drone layer is played by the drone pad only.

    Message thread only. Its note operations are requests: they take effect at the start of
    the next audio block, and what sounds comes back through collect().
*/
class AudioEngine final : public ObservableObject
{
public:
    struct Options
    {
        /** Play through the system's output device; otherwise the graph is only rendered
            by whoever calls host().render(). */
        bool useAudioDevice = false;
        /** The rate used offline (a device brings its own). */
        double sampleRate = 48000.0;
        /** The graph's block: the granularity at which notes take effect offline. */
        int maximumBlockSize = 128;
        /** The shared General MIDI bank; empty = look it up (see resolveSoundBank()). */
        std::string soundBankPath;
        /** The application folder, where "SoundFont.sf2" is installed; empty = the real one. */
        juce::File appFolder;
        /** With useAudioDevice: the only kind of device to play through (a simulated one, for
            tools and tests); nothing = the system's ALSA and JACK devices. */
        std::function<std::unique_ptr<juce::AudioIODeviceType>()> deviceType;
        /** Where sounds load; nothing = a loader thread of the engine's own. */
        std::function<std::unique_ptr<SoundLoader>()> soundLoader;
        /** Remembers which plug-in brought the program down; the plug-ins it names are held
            back until the player chooses them again. Nothing: no record. */
        CrashRecord* crashRecord = nullptr;
        /** Holds every plug-in back (a start in safe mode), references and states kept. */
        bool withoutPlugins = false;
    };

    AudioEngine(Scheduler& scheduler, Options options);
    ~AudioEngine() override;

    Published<std::optional<std::string>> loadError{*this, std::nullopt};
    Published<std::optional<std::uint32_t>> selectedOutputDeviceID{*this, std::nullopt};
    Published<std::vector<AudioOutputDevice>> availableOutputDevices{*this, {}};
    /** The buffer size and sample rate the musician asked of the output (what the device
        does is in host().deviceFigures()). */
    Published<DeviceFormat> outputFormat{*this, {}};
    Published<double> masterVolume{*this, 0.85}; ///< 0…1 linear, applied to the main mixer
    Published<bool> customSoundFontInstalled{*this, false};

    // ---- Note fan-out (requests to the audio side) ----------------------------------------
    void noteOn(int note, int velocity);
    void noteOff(int note);
    /** Silences every pitch of the four playing layers. The drone keeps sounding. */
    void panic();
    /** 14-bit bend, clamped to 0…16383, sent to all four layers, enabled or not. */
    void pitchBend(int value);
    /** Plays the pedal's damper noise on the enabled layers; instruments get nothing. */
    void sustainPedal(bool down);

    // ---- Layers --------------------------------------------------------------------------
    SoundLayer& layerA() { return *layers[0]; }
    SoundLayer& layerB() { return *layers[1]; }
    SoundLayer& layerC() { return *layers[2]; }
    SoundLayer& layerD() { return *layers[3]; }
    SoundLayer& dronePad() { return *drone; }

    /** Layers A to D, then the drone. */
    std::array<SoundLayer*, 5> allLayers();

    /** The four playing layers, A to D. */
    std::array<SoundLayer*, 4> playingLayers()
    {
        return {layers[0].get(), layers[1].get(), layers[2].get(), layers[3].get()};
    }

    /** The layer for "A"…"D" or "Drone", or nullptr. */
    SoundLayer* layer(std::string_view slot);

    LevelMeterBank& meters() { return *meterBank; }
    PerformanceRouter& router() { return *performance; }

    // ---- What the audio side reports -----------------------------------------------------
    /** Takes what the audio side has reported since the last call: what sounds (into the
        layers and to `played`), Program Changes and controller moves; frees what it has let go
        of. A timer calls it 60 times a second; tests and offline renders may call it too. */
    void collect();

    /** The last state of what sounds that collect() took. */
    const PlayedState& lastPlayedState() const { return lastPlayed; }

    /** Called from collect() with each new state of what sounds. */
    CallbackList<const PlayedState&> played;
    /** Called from collect() with the number of each Program Change played. */
    CallbackList<int> programChanges;
    /** Called from collect() when a bound controller or key pressed a switch or an action
        (a continuous target's moves are followed here: the published values change). */
    CallbackList<ControlTarget> controlPresses;
    /** Called from collect() with the binding a learning controller or key made. */
    CallbackList<const ControllerBinding&> learnedBindings;

    static constexpr double collectInterval = 1.0 / 60.0;

    /** The damper sounds for the current rate, built in the background once a layer asks for
        them (at the start when playing through a device), and again for every new rate;
        waitForDamperSounds() blocks until they are there (offline renders, tests). */
    void prepareDamperSounds();
    void waitForDamperSounds();
    /** Whether the damper sounds for the current rate are there. */
    bool damperSoundsReady() const;
    Metronome& metronome() { return *clicks; }

    // ---- Sound bank ----------------------------------------------------------------------
    const std::string& soundBankPath() const { return bankPath; }

    /** Copies a SoundFont into the application folder as "SoundFont.sf2" and makes it the
        shared bank. A failure leaves the earlier bank installed and in use. */
    void installSoundFont(const juce::File& source);

    /** Deletes the installed SoundFont and returns to the system bank. */
    void removeCustomSoundFont();

    /** Silences the layers, then reloads all five from `path` (variants with a bank of their
        own keep it). */
    void reloadSharedBank(const std::string& path);

    juce::File customSoundFontFile() const { return folder.getChildFile("SoundFont.sf2"); }

    /** The system's General MIDI bank: the first that exists, or empty. */
    static std::string systemBank();
    static std::vector<std::string> systemBankCandidates();

    /** The custom bank in the application folder if installed, else the system bank. */
    static std::string resolveSoundBank(const juce::File& appFolder = {});

    // ---- Output devices ------------------------------------------------------------------
    /** Devices with at least one output channel, in the system's order. */
    std::vector<AudioOutputDevice> listOutputDevices();

    /** Switches the output; nothing = the system default. The device is asked for `format`,
        or for outputFormat when none is given; it may refuse them and keep its own. */
    void selectOutputDevice(const std::optional<AudioOutputDevice>& device,
                            std::optional<DeviceFormat> format = std::nullopt);

    /** Opens the current output again with another buffer size or rate; with no device open,
        only remembers them. A device that cannot open so goes back to what it played. */
    void selectOutputFormat(DeviceFormat format);

    /** The buffer sizes offered to the musician, in frames. */
    static constexpr int minimumBufferSize = 64, maximumBufferSize = 1024;

    /** Adds a sound source that feeds the main mixer (the metronome); returns its node. */
    AudioHost::NodeID attachSource(std::unique_ptr<juce::AudioProcessor> source);

    /** Whether the graph runs: always when rendered offline, else while it plays through
        the device (or its silent clock). */
    bool isRunning() const;

    // ---- Plug-ins ------------------------------------------------------------------------
    using PluginFinder = std::function<std::optional<juce::PluginDescription>(const PluginRef&)>;

    /** How references are looked up among the installed plug-ins; by default in the shared
        plug-in library. */
    void setPluginFinder(PluginFinder finder) { findPlugin = std::move(finder); }
    /** Looks references up in `library` (it outlives the engine); a request made while it
        scans waits for the scan. */
    void usePluginLibrary(PluginLibrary& library)
    {
        findPlugin = nullptr;
        pluginLibrary = &library;
    }

    /** How plug-in instances are made: by default through JUCE's LV2 and VST3 hosting, for
        the plug-in the finder or library names (tests may make their own). */
    using PluginMaker = std::function<void(
        const PluginRef& ref,
        std::function<void(std::unique_ptr<juce::AudioPluginInstance>, const juce::String&)> done)>;
    void setPluginMaker(PluginMaker maker) { makePlugin = std::move(maker); }

    /** The last plug-in held back, not made: it brought the program down last time, or the
        program started without plug-ins. Nothing once it (or any) is chosen again. */
    struct HeldBack
    {
        PluginRef ref;
        bool crashed = false; ///< else: the start without plug-ins
        bool operator==(const HeldBack&) const = default;
    };
    Published<std::optional<HeldBack>> heldBackPlugin{*this, std::nullopt};

    /** The player chooses this plug-in: made even if it brought the program down before,
        and, after a start without plug-ins, the others are made again too. */
    void allowPlugin(const PluginRef& ref);

    /** Loads, replaces, keeps or removes (nothing) the layer's instrument plug-in. A new one
        is instantiated asynchronously: the layer's reference is set at once, its node when the
        plug-in has loaded, unless a later request has replaced the reference by then. With
        the plug-in already running, only `state` is pushed into it. A failure sets loadError
        and leaves the layer on its sampler. */
    void loadInstrumentPlugin(const std::optional<PluginRef>& ref,
                              const std::optional<juce::MemoryBlock>& state, SoundLayer& layer);

    /** The same for the effect between the layer's reverb and its fader. */
    void loadEffectPlugin(const std::optional<PluginRef>& ref,
                          const std::optional<juce::MemoryBlock>& state, SoundLayer& layer);

    /** Plug-ins let go of and not yet freed (PluginReaper). */
    size_t pluginsSettling() const { return reaper.settling(); }

    /** A change of a layer's set-up in several steps (a recalled patch): between the two
        calls the layer's settings are gathered; the commit asks for the whole set-up at once.
        A set-up with the layer's sound is written into the chain that plays; any other is
        prepared in another chain, which takes over once its sound and plug-ins have loaded.
        The notes held meanwhile keep their sound, range, transposition and chain until
        released. */
    void beginChange(SoundLayer& layer);
    void commitChange(SoundLayer& layer);

    /** Whether some layer's new set-up is still loading. */
    bool hasPendingChanges() const;

    /** Blocks until every new set-up asked for so far is ready to take over (offline renders,
        tests): the loader finishes, plug-ins arrive through the message loop. */
    void waitForLoads();

    /** A plug-in's state in its own format, or nothing for no node or an empty state. */
    static std::optional<juce::MemoryBlock> pluginState(PluginNode* node);

    /** Why a plug-in could not be made when the machine does not have it. */
    static constexpr const char* pluginNotInstalled = PluginNode::notInstalled;
    /** Why a plug-in that needs a display (PluginRef::needsDisplay) is not made without one. */
    static constexpr const char* pluginNeedsDisplay = "necesita una pantalla y no hay ninguna";
    /** Why a plug-in whose audio ports the host cannot all connect is not run (it would read or
        write through ports connected to nothing). */
    static constexpr const char* pluginPortsUnconnected =
        "el programa no puede conectar todas sus entradas y salidas de audio";

    /** Called right before a plug-in node leaves the graph (its editor window closes). */
    CallbackList<PluginNode&> pluginNodeWillBeRemoved;

    AudioHost& host() { return *audioHost; }
    /** The output's figures for the window, with its own count of xruns since a reset. */
    DeviceStatus& deviceStatus() { return *status; }
    Scheduler& scheduler() { return clock; }
    LimiterNode& limiter() { return *limiterNode; }

private:
    /** The output went from under the program (the JACK server stopped): the default plays. */
    void fallBackFromLostDevice();
    LayerProcessor& addLayerProcessor(const std::string& slot, bool withDamper);
    void followControl(const ControlTarget& target, double amount);
    /** Readies a plug-in node for the graph's rate and block before the audio side has it. */
    void prepare(PluginNode& node);
    void postToLayers(PerformanceEvent event);
    using Instantiated =
        std::function<void(std::unique_ptr<juce::AudioPluginInstance>, const juce::String& error)>;
    void instantiate(const PluginRef& ref, Instantiated done);
    /** Hears what a layer's switcher reports: load errors, plug-ins arriving or failing. */
    void listenTo(LayerSwitcher& switcher, SoundLayer& layer);

    Scheduler& clock;
    juce::File folder;
    std::string bankPath;
    bool playsThroughDevice = false;
    bool followingMaster = false; // the audio side set the master level: not written back
    std::optional<AudioOutputDevice> openChoice; // none = the system default
    PluginReaper reaper; // before the host: its graph's chains hand their plug-ins over
    std::unique_ptr<AudioHost> audioHost;
    std::unique_ptr<DeviceStatus> status;
    std::unique_ptr<LevelMeterBank> meterBank;
    std::unique_ptr<Metronome> clicks;           // after the host: its player lives in the graph
    std::array<LayerProcessor*, 5> processors{}; // A–D and the drone, owned by the graph
    std::unique_ptr<PerformanceRouter> performance;
    std::array<std::unique_ptr<SoundLayer>, 4> layers;
    std::unique_ptr<SoundLayer> drone;
    PlayedState lastPlayed{};
    std::unique_ptr<TimerHandle> collectTimer;
    std::atomic<const DamperTable*> damperTable{nullptr};
    struct DamperBuilder
    {
        std::thread thread;
        std::shared_ptr<std::atomic<bool>> done;
    };
    std::vector<DamperBuilder> damperBuilders;
    std::mutex damperLock;     // the builders and the message thread; never the audio thread
    double damperRate = 0.0;   // guarded by damperLock: the rate the table is wanted for
    bool damperWanted = false; // a layer asked for damper sounds: they follow the rate
    std::unique_ptr<SoundLoader> loader;
    std::array<std::unique_ptr<LayerSwitcher>, 5> switchers; // A–D and the drone; after the loader
    std::vector<CallbackList<const double&>::Subscription> damperWatch;
    LimiterNode* limiterNode = nullptr;
    juce::AudioPluginFormatManager pluginFormats;
    PluginFinder findPlugin;
    PluginMaker makePlugin;
    void makeForSwitcher(
        const PluginRef& ref,
        std::function<void(std::unique_ptr<juce::AudioPluginInstance>, const juce::String&)> done);
    CrashRecord* crashRecord = nullptr;
    bool withoutPlugins = false;
    int beingMade = 0;
    PluginLibrary* pluginLibrary = nullptr; // none: the shared one

    JUCE_DECLARE_WEAK_REFERENCEABLE(AudioEngine)
};

} // namespace norvane
