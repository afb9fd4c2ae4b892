#include "engine/SamplerNode.h"

#include <fluidsynth.h>

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <cstring>

namespace norvane
{

namespace
{

// FluidSynth reports problems through a process-wide log function, also from the audio
// thread. Messages are kept in a per-thread buffer (no allocation, no I/O) so that a failed
// load can say why.
thread_local char lastFluidMessage[256] = {};

void keepFluidMessage(int, const char* message, void*)
{
    if (message == nullptr)
        return;
    std::strncpy(lastFluidMessage, message, sizeof(lastFluidMessage) - 1);
    lastFluidMessage[sizeof(lastFluidMessage) - 1] = '\0';
}

void silenceFluidLogging()
{
    static const bool done = []
    {
        for (int level = FLUID_PANIC; level < LAST_LOG_LEVEL; ++level)
            fluid_set_log_function(level, keepFluidMessage, nullptr);
        return true;
    }();
    (void)done;
}

/** The same file always reaches FluidSynth by the same path, so that its process-wide sample
    cache shares the samples between the layers' synthesizers. */
std::string canonicalPath(const std::string& path)
{
    char resolved[PATH_MAX];
    if (::realpath(path.c_str(), resolved) != nullptr)
        return resolved;
    return path;
}

int fluidBankFor(int bankMSB, int bankLSB)
{
    if (bankMSB == 121)
        return bankLSB;
    if (bankMSB == 120)
        return 128;
    return bankMSB * 128 + bankLSB;
}

/** Loads the SoundFont at `bankPath` into `synth`: its id, or FLUID_FAILED with `error` saying
    why. */
int loadBank(fluid_synth_t* synth, const std::string& bankPath, std::string& error)
{
    const auto path = canonicalPath(bankPath);
    if (!juce::File(path).existsAsFile())
    {
        error = "the sound bank file does not exist (" + bankPath + ")";
        return FLUID_FAILED;
    }
    lastFluidMessage[0] = '\0';
    const int sfid = fluid_synth_sfload(synth, path.c_str(), 0);
    if (sfid == FLUID_FAILED)
    {
        error = "the sound bank could not be read (" + bankPath + ")";
        if (lastFluidMessage[0] != '\0')
            error += ": " + std::string(lastFluidMessage);
    }
    return sfid;
}

} // namespace

struct SamplerNode::Synth
{
    fluid_settings_t* settings = nullptr;
    fluid_synth_t* synth = nullptr;
    double rate = 0.0;

    ~Synth()
    {
        if (synth != nullptr)
            delete_fluid_synth(synth);
        if (settings != nullptr)
            delete_fluid_settings(settings);
    }
};

void SamplerNode::SynthDeleter::operator()(Synth* synth) const
{
    delete synth;
}

SamplerNode::SamplerNode(double sampleRateIn)
    : NodeProcessor("Sampler", Inputs::none), rate(sampleRateIn)
{
    silenceFluidLogging();
}

SamplerNode::~SamplerNode()
{
    collectRetired();
    delete pending.exchange(nullptr);
    delete current;
}

SamplerNode::Sound SamplerNode::build(const std::string& bankPath, int program, int bankMSB,
                                      int bankLSB, double rate, std::string& error)
{
    silenceFluidLogging();
    Sound s(new Synth);
    s->rate = rate;
    s->settings = new_fluid_settings();
    if (s->settings == nullptr)
    {
        error = "the synthesizer could not be created";
        return nullptr;
    }

    // Real-time safety: no internal locking (only the audio thread calls it after hand-over),
    // no built-in effects (they allocate per block; the layer chain has its own), one thread.
    fluid_settings_setint(s->settings, "synth.threadsafe-api", 0);
    fluid_settings_setint(s->settings, "synth.reverb.active", 0);
    fluid_settings_setint(s->settings, "synth.chorus.active", 0);
    fluid_settings_setint(s->settings, "synth.cpu-cores", 1);
    // Samples load when a preset is selected, on the selecting thread. Here that is always this
    // thread, in build(), before the synthesizer reaches the audio thread (which never changes
    // programs), so only the chosen instrument's samples are read: a layer sounds in a third of
    // the time and the five layers take half the memory of a whole General MIDI bank.
    fluid_settings_setint(s->settings, "synth.dynamic-sample-loading", 1);
    fluid_settings_setnum(s->settings, "synth.sample-rate", rate);
    fluid_settings_setnum(s->settings, "synth.gain", 0.4);

    s->synth = new_fluid_synth(s->settings);
    if (s->synth == nullptr)
    {
        error = "the synthesizer could not be created";
        return nullptr;
    }

    const int sfid = loadBank(s->synth, bankPath, error);
    if (sfid == FLUID_FAILED)
        return nullptr;

    const int bank = fluidBankFor(bankMSB, bankLSB);
    if (fluid_sfont_get_preset(fluid_synth_get_sfont_by_id(s->synth, sfid), bank, program) ==
            nullptr ||
        fluid_synth_program_select(s->synth, 0, sfid, bank, program) != FLUID_OK)
    {
        error = "program " + std::to_string(program) + " of bank " + std::to_string(bank) +
                " is not in the sound bank";
        return nullptr;
    }

    return s;
}

void SamplerNode::install(Sound sound)
{
    if (sound == nullptr)
        return;
    installed.store(sound->rate, std::memory_order_release);
    // A synthesizer that the audio thread has not picked up yet was never played: free it.
    delete pending.exchange(sound.release(), std::memory_order_acq_rel);
}

std::optional<std::string> SamplerNode::loadInstrument(const std::string& bankPath, int program,
                                                       int bankMSB, int bankLSB)
{
    std::string error;
    auto synth = build(bankPath, program, bankMSB, bankLSB, sampleRate(), error);
    if (synth == nullptr)
        return error;
    install(std::move(synth));
    return std::nullopt;
}

std::optional<std::string> SamplerNode::checkBank(const std::string& bankPath)
{
    // Its headers only: the samples are read when a preset is chosen, and none is here.
    std::unique_ptr<fluid_settings_t, decltype(&delete_fluid_settings)> settings(
        new_fluid_settings(), &delete_fluid_settings);
    if (settings == nullptr)
        return "the synthesizer could not be created";
    fluid_settings_setint(settings.get(), "synth.dynamic-sample-loading", 1);
    std::unique_ptr<fluid_synth_t, decltype(&delete_fluid_synth)> synth(
        new_fluid_synth(settings.get()), &delete_fluid_synth);
    if (synth == nullptr)
        return "the synthesizer could not be created";
    std::string error;
    if (loadBank(synth.get(), bankPath, error) == FLUID_FAILED)
        return error;
    return std::nullopt;
}

void SamplerNode::collectRetired()
{
    Synth* old = nullptr;
    while (retired.pop(old))
        delete old;
}

bool SamplerNode::send(const NoteCommand& command)
{
    return commands.push(command);
}

void SamplerNode::prepareToPlay(double newRate, int)
{
    if (newRate > 0.0)
        rate.store(newRate, std::memory_order_release);
}

void SamplerNode::apply(const NoteCommand& c) noexcept
{
    if (c.kind == NoteCommand::Kind::pitchBend)
        bend = juce::jlimit(0, 16383, (int)c.value);
    if (current == nullptr || current->rate != rate.load(std::memory_order_relaxed))
        return;
    auto* synth = current->synth;
    switch (c.kind)
    {
    case NoteCommand::Kind::start:
        fluid_synth_noteon(synth, 0, juce::jlimit(0, 127, (int)c.pitch),
                           juce::jlimit(1, 127, (int)c.value));
        if (auto* probe = startProbe.load(std::memory_order_relaxed))
            probe->noteStarted(c.pitch, c.value, c.frame);
        break;
    case NoteCommand::Kind::stop:
        fluid_synth_noteoff(synth, 0, juce::jlimit(0, 127, (int)c.pitch));
        break;
    case NoteCommand::Kind::stopAll:
        for (int pitch = 0; pitch < 128; ++pitch)
            fluid_synth_noteoff(synth, 0, pitch);
        break;
    case NoteCommand::Kind::silence:
        fluid_synth_all_sounds_off(synth, -1);
        break;
    case NoteCommand::Kind::pitchBend:
        fluid_synth_pitch_bend(synth, 0, bend);
        break;
    }
}

bool SamplerNode::isSounding() const noexcept
{
    return current != nullptr && current->rate == rate.load(std::memory_order_relaxed) &&
           fluid_synth_get_active_voice_count(current->synth) > 0;
}

void SamplerNode::processBlock(juce::AudioBuffer<float>& buffer, juce::MidiBuffer&)
{
    if (auto* fresh = pending.exchange(nullptr, std::memory_order_acq_rel))
    {
        // If the way back is full the old synthesizer is kept rather than freed here.
        if (current != nullptr && !retired.push(current))
            jassertfalse;
        current = fresh;
        // The wheel stands where it stands: the new synthesizer starts there.
        if (bend != 8192)
            fluid_synth_pitch_bend(current->synth, 0, bend);
    }

    const int n = buffer.getNumSamples();
    // One built for another rate would play out of tune: silent until its rebuild arrives.
    const bool playable = current != nullptr &&
                          current->rate == rate.load(std::memory_order_relaxed) &&
                          buffer.getNumChannels() >= 2;

    // Rendered in pieces up to each command's frame. FluidSynth itself starts voices on its
    // own 64-frame grid, at the first step at or after the frame.
    int done = 0;
    const auto renderTo = [&](int end)
    {
        if (playable && end > done)
            fluid_synth_write_float(current->synth, end - done, buffer.getWritePointer(0), done, 1,
                                    buffer.getWritePointer(1), done, 1);
        done = std::max(done, end);
    };
    NoteCommand command;
    while (commands.pop(command))
    {
        renderTo(std::clamp((int)command.frame, 0, n));
        apply(command);
    }
    if (!playable)
    {
        buffer.clear();
        return;
    }
    renderTo(n);
}

} // namespace norvane
