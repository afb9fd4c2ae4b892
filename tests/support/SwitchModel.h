#pragma once

#include "aids/DronePadController.h"
#include "catalog/InstrumentCategory.h"
#include "core/Scheduler.h"
#include "engine/AudioEngine.h"
#include "engine/LayerSwitcher.h"
#include "engine/PluginNode.h"
#include "engine/realtime/LayerProcessor.h"
#include "input/MIDIManager.h"
#include "store/LivePatch.h"
#include "support/FakeMidi.h"
#include "support/HeldLoads.h"

#include <cmath>
#include <map>
#include <optional>
#include <random>
#include <set>
#include <sstream>
#include <string>
#include <vector>

namespace norvane::test
{

/** A random performance of changes of set-up, checked against a plain model of what the
    player asked for.

    One seed makes one run: recalls (the same patch twice, back and forth, eight in a row),
    sounds, plug-ins and effects chosen, SoundFonts installed and taken back, keys, the pedal,
    the wheel and the expression pedal, while the loads asked for finish after random delays
    and in random order (the loader and the plug-in maker hold them until told). At every
    settle, and at the end, the engine must agree with the model:

    - each of layers A and B plays exactly the sound, plug-ins and plug-in states last asked
      for;
    - no note held by its key or the pedal is cut or changes sound (unless every chain was
      busy and its chain was let go of to make room);
    - nothing sounds once everything is released;
    - no load begins for a request that a later one has superseded.

    Runs on one thread, which plays the message thread, the loader and the audio thread.
*/
class SwitchModel
{
public:
    explicit SwitchModel(std::uint64_t seedIn, int stepsIn = 160) : seed(seedIn), steps(stepsIn)
    {
        random.seed(seed);
    }

    /** When set, told after every action what the layers' chains hold (a tool's --trace). */
    std::function<void(const std::string&)> trace;

    /** Nothing when the engine kept to the model; otherwise what went wrong, and the actions
        that led there. */
    std::optional<std::string> run()
    {
        start();
        for (int step = 0; step < steps && !failure; ++step)
        {
            act();
            play(1 + pick(4));
            if (trace)
                trace(actions.back() + "\n" + chains());
            checkHeldNotes();
            if (!failure && pick(30) == 0)
                settle();
        }
        if (!failure)
            settle();
        if (!failure)
            releaseEverything();
        finish();
        if (!failure)
            return std::nullopt;
        std::ostringstream text;
        text << "seed " << seed << ": " << *failure << "\nafter:";
        for (auto& a : actions)
            text << " " << a;
        return text.str();
    }

private:
    // ---- What the player asked for -------------------------------------------------------
    struct Plugin
    {
        std::optional<PluginRef> ref;
        float tone = -1.0f; // −1: the plug-in's own
    };

    struct Asked
    {
        InstrumentCategory category = InstrumentCategory::piano;
        int variant = 0;
        Plugin instrument, effect;
    };

    /** The chain each pitch last started on, as the layer sent it. */
    struct Ledger final : NoteCommandProbe
    {
        Ledger() { lastStart.fill(-1); }
        void commandSent(int chain, const NoteCommand& c) noexcept override
        {
            if (c.kind == NoteCommand::Kind::start && c.pitch >= 0 && c.pitch < 128)
                lastStart[(size_t)c.pitch] = chain;
        }
        std::array<int, 128> lastStart{};
    };

    struct Held
    {
        int chain = -1;
        int pitch = -1;
        SoundTarget sound;
        PluginNode* node = nullptr;
        int evictions = 0;
    };

    static constexpr float defaultTone = 1.0f, defaultGain = 0.5f;

    void start()
    {
        AudioEngine::Options options;
        options.soundBankPath = AudioEngine::resolveSoundBank();
        options.soundLoader = [jobs = jobs] { return std::make_unique<HeldLoader>(jobs); };
        engine = std::make_unique<AudioEngine>(scheduler, options);
        plugins.use(*engine);
        midi = std::make_unique<MIDIManager>(
            *engine, std::make_unique<FakeMidi>(std::make_shared<FakeMidi::State>()), scheduler);
        drone = std::make_unique<DronePadController>(engine->dronePad(), scheduler);
        midi->expressionTarget = CCDestination::layerA;
        for (int l = 0; l < 2; ++l)
        {
            ledgers[(size_t)l] = std::make_unique<Ledger>();
            layer(l).processor().setCommandProbe(ledgers[(size_t)l].get());
        }
        engine->layerB().isEnabled = true;
        engine->layerB().lowKey = 55;
        asked[0].category = InstrumentCategory::piano;
        asked[1].category = InstrumentCategory::strings;
        for (int l = 0; l < 2; ++l)
        {
            auto& switcher = layer(l).switcher();
            switcher.soundLoadBegins = [this, l](const SoundTarget& t)
            {
                if (!t.sameSound(askedSound(l)))
                    fail("layer " + layer(l).slot + " began loading " + t.name +
                         ", which no request wants any more");
            };
            switcher.pluginLoadBegins = [this, l](bool instrument, const PluginRef& ref)
            {
                const auto& want =
                    instrument ? asked[(size_t)l].instrument : asked[(size_t)l].effect;
                if (want.ref != ref)
                    fail("layer " + layer(l).slot + " began making " + ref.name +
                         ", which no request wants any more");
            };
        }
        settle();
        makePatches();
    }

    void finish()
    {
        for (int l = 0; l < 2 && engine != nullptr; ++l)
        {
            layer(l).switcher().soundLoadBegins = nullptr;
            layer(l).switcher().pluginLoadBegins = nullptr;
            layer(l).processor().setCommandProbe(nullptr);
        }
        drone.reset();
        midi.reset();
        engine.reset();
    }

    SoundLayer& layer(int l) { return l == 0 ? engine->layerA() : engine->layerB(); }

    SoundTarget askedSound(int l)
    {
        const auto list = variants(asked[(size_t)l].category);
        const auto& v = list[(size_t)std::clamp(asked[(size_t)l].variant, 0, (int)list.size() - 1)];
        return SoundTarget::of(v.customBankPath ? *v.customBankPath : bank, v.program, v.nameEN);
    }

    // ---- Patches --------------------------------------------------------------------------
    struct Patch
    {
        LivePatch patch;
        std::array<Asked, 2> asked;
    };

    void makePatches()
    {
        const std::pair<InstrumentCategory, int> sounds[] = {{InstrumentCategory::piano, 0},
                                                             {InstrumentCategory::strings, 0},
                                                             {InstrumentCategory::organ, 0},
                                                             {InstrumentCategory::strings, 1}};
        const char* instruments[] = {nullptr, nullptr, "Keys", "Bells"};
        for (int i = 0; i < 6; ++i)
        {
            Patch p;
            p.patch = LivePatch::capture(*engine, *drone, std::string("P") + std::to_string(i));
            for (int l = 0; l < 2; ++l)
            {
                auto& snapshot = p.patch.layers[(size_t)l];
                auto& a = p.asked[(size_t)l];
                const auto [category, variant] = sounds[(size_t)pick(4)];
                a.category = category;
                a.variant = variant;
                snapshot.categoryRawValue = static_cast<int>(category);
                snapshot.variantIndex = variant;
                snapshot.reverbAmount = 0.1 * pick(8);
                snapshot.transposeSemitones = pick(5) - 2;
                snapshot.lowKey = l == 0 ? 0 : 48 + pick(12);
                snapshot.attackTime = l == 1 ? 0.2 * pick(3) : 0.0;
                snapshot.releaseTime = l == 1 ? 0.3 : 0.0;
                if (const char* name = instruments[pick(4)])
                {
                    a.instrument = {HeldPlugins::ref(name), 0.5f + 0.1f * (float)pick(5)};
                    snapshot.instrumentPlugin = a.instrument.ref;
                    snapshot.instrumentPluginState = fakeState(a.instrument.tone);
                }
                else
                {
                    snapshot.instrumentPlugin.reset();
                    snapshot.instrumentPluginState.reset();
                }
                if (pick(3) == 0)
                {
                    a.effect = {HeldPlugins::ref("Gain"), 0.2f + 0.2f * (float)pick(4)};
                    snapshot.effectPlugin = a.effect.ref;
                    snapshot.effectPluginState = fakeState(a.effect.tone);
                }
                else
                {
                    snapshot.effectPlugin.reset();
                    snapshot.effectPluginState.reset();
                }
            }
            patches.push_back(std::move(p));
        }
    }

    void recall(int index)
    {
        lastRecalled.push_back(index);
        note(std::string("recall P") + std::to_string(index));
        auto& p = patches[(size_t)index];
        p.patch.apply(*engine, *drone);
        asked = p.asked;
    }

    // ---- Actions ---------------------------------------------------------------------------
    int pick(int n) { return (int)(random() % (std::uint64_t)n); }
    void note(std::string text) { actions.push_back(std::move(text)); }

    void act()
    {
        const int choice = pick(100);
        auto& a = *engine;
        if (choice < 12)
            recall(pick((int)patches.size()));
        else if (choice < 16 && !lastRecalled.empty())
            recall(lastRecalled.back()); // the same twice
        else if (choice < 20 && lastRecalled.size() >= 2)
            recall(lastRecalled[lastRecalled.size() - 2]); // back
        else if (choice < 22)
            for (int i = 0; i < 8; ++i) // eight in a row, nothing loading meanwhile
                recall(pick((int)patches.size()));
        else if (choice < 27)
            chooseSound(pick(2));
        else if (choice < 31)
            choosePlugin(pick(2));
        else if (choice < 34)
        {
            const int l = pick(2);
            const bool none = pick(2) == 0;
            note("effect " + layer(l).slot + (none ? " none" : " Gain"));
            a.loadEffectPlugin(none ? std::nullopt : std::optional(HeldPlugins::ref("Gain")),
                               std::nullopt, layer(l));
            auto& e = asked[(size_t)l].effect;
            if (none)
                e = {};
            else if (e.ref != HeldPlugins::ref("Gain"))
                e = {HeldPlugins::ref("Gain"), runningState(l, false, HeldPlugins::ref("Gain"))};
        }
        else if (choice < 36)
        {
            // A SoundFont installed, or the system bank taken back: the layers are silenced.
            bank = bank == systemBank ? otherBank : systemBank;
            note("bank " + bank);
            a.reloadSharedBank(bank);
            panicked();
        }
        else if (choice < 52)
            key(true, 48 + pick(24));
        else if (choice < 64 && !keys.empty())
        {
            auto it = keys.begin();
            std::advance(it, pick((int)keys.size()));
            key(false, *it);
        }
        else if (choice < 70)
            pedal(!pedalDown);
        else if (choice < 74)
        {
            const int bend = pick(16384);
            note("bend " + std::to_string(bend));
            send({0xE0, (std::uint8_t)(bend & 0x7F), (std::uint8_t)(bend >> 7)});
        }
        else if (choice < 78)
            send({0xB0, 11, (std::uint8_t)(40 + pick(88))});
        else if (choice < 88 && !jobs->waiting.empty())
        {
            note("load");
            HeldLoader::runAt(*jobs, (size_t)pick((int)jobs->waiting.size()));
        }
        else if (choice < 94 && !plugins.waiting.empty())
        {
            note("plug-in");
            plugins.deliver((size_t)pick((int)plugins.waiting.size()));
        }
        else
        {
            note("messages");
            juce::MessageManager::getInstance()->runDispatchLoopUntil(1);
        }
    }

    void chooseSound(int l)
    {
        const std::pair<InstrumentCategory, int> sounds[] = {{InstrumentCategory::piano, 1},
                                                             {InstrumentCategory::organ, 1},
                                                             {InstrumentCategory::pad, 0}};
        const auto [category, variant] = sounds[(size_t)pick(3)];
        note("sound " + layer(l).slot + " " + std::to_string((int)category) + "/" +
             std::to_string(variant));
        // As the layer's menu does it.
        auto& s = layer(l);
        engine->beginChange(s);
        engine->loadInstrumentPlugin(std::nullopt, std::nullopt, s);
        s.category = category;
        s.variantIndex = variant;
        engine->commitChange(s);
        asked[(size_t)l].category = category;
        asked[(size_t)l].variant = variant;
        asked[(size_t)l].instrument = {};
    }

    void choosePlugin(int l)
    {
        static const PluginRef missing{PluginRef::instrumentType, 7, 8, "Nobody \u2013 Organ"};
        const int which = pick(3);
        const auto ref = which == 0   ? HeldPlugins::ref("Keys")
                         : which == 1 ? HeldPlugins::ref("Bells")
                                      : missing;
        const bool withState = pick(2) == 0;
        const float tone = 0.6f + 0.1f * (float)pick(4);
        note("plug-in " + layer(l).slot + " " + ref.name + (withState ? " with state" : ""));
        engine->loadInstrumentPlugin(ref, withState ? std::optional(fakeState(tone)) : std::nullopt,
                                     layer(l));
        auto& i = asked[(size_t)l].instrument;
        if (withState)
            i = {ref, tone};
        else if (i.ref != ref)
            i = {ref, runningState(l, true, ref)};
    }

    /** Chosen without a state, a plug-in starts where the one playing now stands, when the
        layer plays it; else from its own state (−1). */
    float runningState(int l, bool instrument, const PluginRef& ref)
    {
        auto& s = layer(l);
        const int live = s.processor().liveIndex();
        auto* node = instrument
                         ? static_cast<PluginNode*>(s.processor().chain(live).instrumentPlugin())
                         : static_cast<PluginNode*>(s.processor().chain(live).effectPlugin());
        if (node == nullptr || PluginRef::of(node->plugin().getPluginDescription()) != ref)
            return -1.0f;
        return toneOf(AudioEngine::pluginState(node));
    }

    void send(std::initializer_list<std::uint8_t> bytes)
    {
        const std::vector<std::uint8_t> b(bytes);
        midi->processNow(b.data(), b.size());
    }

    void key(bool down, int n)
    {
        note(std::string(down ? "down " : "up ") + std::to_string(n));
        send({(std::uint8_t)(down ? 0x90 : 0x80), (std::uint8_t)n, (std::uint8_t)(down ? 100 : 0)});
        if (down)
        {
            keys.insert(n);
            pendingStrikes.insert(n);
        }
        else
        {
            keys.erase(n);
            if (pedalDown)
                byPedal.insert(n);
        }
    }

    void pedal(bool down)
    {
        note(down ? "pedal down" : "pedal up");
        send({0xB0, 64, (std::uint8_t)(down ? 127 : 0)});
        pedalDown = down;
        if (!down)
            byPedal.clear();
    }

    /** The layers were silenced: the notes held until now are over. */
    void panicked()
    {
        for (auto& h : held)
            h.clear();
        pendingStrikes.clear();
    }

    /** Each chain of layers A and B: its state, sound and plug-ins with their states. */
    std::string chains()
    {
        std::ostringstream text;
        const char* states[] = {"idle", "preparing", "ready", "live", "ringing", "evicting"};
        for (int l = 0; l < 2; ++l)
        {
            auto& s = layer(l);
            for (int c = 0; c < LayerProcessor::chainCount; ++c)
            {
                auto& chain = s.processor().chain(c);
                text << "  " << s.slot << c << " " << states[(int)chain.state()] << " "
                     << s.switcher().heldSound(c).name;
                for (PluginNode* node : {static_cast<PluginNode*>(chain.instrumentPlugin()),
                                         static_cast<PluginNode*>(chain.effectPlugin())})
                    if (node != nullptr)
                        text << " [" << node->plugin().getName() << " "
                             << toneOf(AudioEngine::pluginState(node)) << "]";
                text << "\n";
            }
            text << "  " << s.slot << " holds";
            for (auto& [n, h] : held[(size_t)l])
                text << " " << n << "@" << h.chain;
            text << "; sounds";
            for (auto& [n, p] : s.soundedNotes())
                text << " " << n;
            text << "\n";
        }
        return text.str();
    }

    // ---- Playing and checking --------------------------------------------------------------
    void play(int blocks)
    {
        juce::AudioBuffer<float> block(2, engine->host().maximumBlockSize());
        for (int i = 0; i < blocks; ++i)
        {
            engine->host().render(block, 0, block.getNumSamples());
            scheduler.advance(block.getNumSamples() / engine->host().sampleRate());
            engine->collect();
            lastPeak = block.getMagnitude(0, block.getNumSamples());
        }
        takeStrikes();
    }

    /** What each key struck since the last look started on each layer. */
    void takeStrikes()
    {
        for (int n : pendingStrikes)
        {
            if (keys.count(n) == 0 && byPedal.count(n) == 0)
                continue;
            for (int l = 0; l < 2; ++l)
            {
                auto& s = layer(l);
                const auto sounded = s.soundedNotes().find(n);
                if (sounded == s.soundedNotes().end())
                {
                    held[(size_t)l].erase(n);
                    continue;
                }
                held[(size_t)l][n] = describe(l, sounded->second);
            }
        }
        pendingStrikes.clear();
        // Released and not held by the pedal, or let go of with its chain: no longer watched.
        for (auto& h : held)
            std::erase_if(h,
                          [&](auto& e) {
                              return e.second.chain < 0 ||
                                     (keys.count(e.first) == 0 && byPedal.count(e.first) == 0);
                          });
    }

    Held describe(int l, int pitch)
    {
        auto& s = layer(l);
        Held h;
        h.pitch = pitch;
        h.chain = ledgers[(size_t)l]->lastStart[(size_t)pitch];
        h.sound = s.switcher().heldSound(h.chain);
        h.node = instrumentOf(s, h.chain);
        h.evictions = s.switcher().counts().evictions[(size_t)h.chain];
        return h;
    }

    static PluginNode* instrumentOf(SoundLayer& s, int chain)
    {
        return s.processor().chain(chain).instrumentPlugin();
    }

    void checkHeldNotes()
    {
        for (int l = 0; l < 2 && !failure; ++l)
        {
            auto& s = layer(l);
            for (auto& [n, h] : held[(size_t)l])
            {
                const auto sounded = s.soundedNotes().find(n);
                const bool evicted = s.switcher().counts().evictions[(size_t)h.chain] > h.evictions;
                if (sounded == s.soundedNotes().end() || sounded->second != h.pitch)
                {
                    if (!evicted)
                        fail("layer " + s.slot + ": note " + std::to_string(n) + ", held, was cut");
                    h.chain = -1; // let go of with its chain, to make room
                    continue;
                }
                if (!evicted && (!s.switcher().heldSound(h.chain).sameSound(h.sound) ||
                                 instrumentOf(s, h.chain) != h.node))
                    fail("layer " + s.slot + ": note " + std::to_string(n) +
                         ", held, changed its sound");
            }
        }
    }

    /** Every load finishes, whatever it waits for, and what is ready takes over. */
    void settle()
    {
        note("settle");
        for (int round = 0; round < 50; ++round)
        {
            juce::MessageManager::getInstance()->runDispatchLoopUntil(1);
            plugins.deliverAll();
            HeldLoader::runAll(*jobs);
            play(2);
            bool busy = !jobs->waiting.empty() || !plugins.waiting.empty();
            for (int l = 0; l < 2; ++l)
                busy = busy || layer(l).isSwitchPending();
            if (!busy)
                break;
        }
        for (int l = 0; l < 2 && !failure; ++l)
            checkSetup(l);
        checkHeldNotes();
    }

    void checkSetup(int l)
    {
        auto& s = layer(l);
        const auto& a = asked[(size_t)l];
        const int live = s.processor().liveIndex();
        auto says = [&](const std::string& what) { fail("layer " + s.slot + ": " + what); };
        if (s.isSwitchPending())
            return says("still switching after every load finished");
        if (s.category.get() != a.category || s.variantIndex.get() != a.variant)
            return says("the model's sound is not the one asked for");
        if (!s.switcher().heldSound(live).sameSound(askedSound(l)))
            return says("plays " + s.switcher().heldSound(live).name + ", not " +
                        askedSound(l).name + " of " + askedSound(l).bank);
        if (s.instrumentPlugin.get() != a.instrument.ref || s.effectPlugin.get() != a.effect.ref)
            return says("its plug-ins are not the ones asked for");

        const bool installed = a.instrument.ref && a.instrument.ref->name.rfind("Test", 0) == 0;
        auto* instrument = instrumentOf(s, live);
        if (installed != (instrument != nullptr))
            return says(installed ? "the instrument plug-in does not play" : "a plug-in plays");
        if (instrument != nullptr)
        {
            auto& fake = dynamic_cast<FakeInstrument&>(instrument->plugin());
            const float want = a.instrument.tone < 0.0f ? defaultTone : a.instrument.tone;
            if (std::abs(fake.toneNow.load() - want) > 1e-6f)
                return says("the instrument's state is " + std::to_string(fake.toneNow.load()) +
                            ", not " + std::to_string(want));
        }
        else if (a.instrument.ref && a.instrument.tone >= 0.0f &&
                 toneOf(s.instrumentStateToKeep()) != a.instrument.tone)
        {
            return says("the missing plug-in's state is lost");
        }
        auto* effect = s.processor().chain(live).effectPlugin();
        if (a.effect.ref.has_value() != (effect != nullptr))
            return says("the effect is not the one asked for");
        if (effect != nullptr)
        {
            auto& fake = dynamic_cast<FakeEffect&>(effect->plugin());
            const float want = a.effect.tone < 0.0f ? defaultGain : a.effect.tone;
            if (std::abs(fake.gain.load() - want) > 1e-6f)
                return says("the effect's state is " + std::to_string(fake.gain.load()) + ", not " +
                            std::to_string(want));
        }
    }

    /** Every key up, the pedal up: once the tails have died away nothing sounds. */
    void releaseEverything()
    {
        for (int n : std::set<int>(keys))
            key(false, n);
        if (pedalDown)
            pedal(false);
        settle();
        for (int i = 0; i < 2000 && lastPeak > 1.0e-6f; ++i)
            play(10);
        for (int l = 0; l < 2 && !failure; ++l)
            if (!layer(l).soundedNotes().empty())
                fail("layer " + layer(l).slot + ": notes sound after every key was let go of");
        // The drone keeps its own; the master must be silent otherwise.
        if (!failure && lastPeak > 1.0e-6f)
            fail("sound goes on after everything was let go of (peak " + std::to_string(lastPeak) +
                 ")");
    }

    void fail(const std::string& what)
    {
        if (!failure)
            failure = what;
    }

    const std::uint64_t seed;
    const int steps;
    std::mt19937_64 random;

    ManualScheduler scheduler;
    std::shared_ptr<HeldLoader::Jobs> jobs = std::make_shared<HeldLoader::Jobs>();
    HeldPlugins plugins;
    std::unique_ptr<AudioEngine> engine;
    std::unique_ptr<MIDIManager> midi;
    std::unique_ptr<DronePadController> drone;
    std::array<std::unique_ptr<Ledger>, 2> ledgers;

    const std::string systemBank = AudioEngine::resolveSoundBank();
    const std::string otherBank = "/usr/share/sounds/sf2/TimGM6mb.sf2";
    std::string bank = systemBank;
    std::array<Asked, 2> asked;
    std::vector<Patch> patches;
    std::vector<int> lastRecalled;
    std::set<int> keys, byPedal, pendingStrikes;
    bool pedalDown = false;
    std::array<std::map<int, Held>, 2> held;
    float lastPeak = 0.0f;
    std::vector<std::string> actions;
    std::optional<std::string> failure;
};

} // namespace norvane::test
