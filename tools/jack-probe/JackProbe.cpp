// norvane-jack-probe: plays MIDI into a JACK port at chosen frames and records what an audio
// port gives back, frame by frame, as two clients of its own: a sender ("probe-send") ahead of
// the program under test and a recorder ("probe-listen") after it, so that the three run in
// that order within each cycle and a frame counted by one is the same frame for the others.
//
// usage: norvane-jack-probe [--to PORT] --from PORT --events FILE --seconds S [--out WAV]
//                           [--quit-sender-at FRAME] [--wait S]
//
// Without --to, its sender connects to nothing itself: another program (the player's MIDI
// picker) does. --wait gives it that long before the first frame is counted.
//
// FILE holds one event per line: "FRAME STATUS DATA1 [DATA2]" (decimal numbers; frames from
// the moment both clients run). For every note-on, the first recorded frame from 2048 frames
// before it where the signal rises above ten times the level just before that (and above
// −60 dBFS) is its onset; the report prints, as JSON on one line, each note-on's
// frame, its onset and their difference, the peak of the last 100 ms, and the server's xruns
// while it played.
#include <jack/jack.h>
#include <jack/midiport.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace
{

struct Event
{
    std::int64_t frame = 0;
    std::uint8_t bytes[3] = {};
    int size = 0;
};

struct Probe
{
    std::vector<Event> events;
    size_t nextEvent = 0;
    jack_port_t* midiOut = nullptr;
    jack_port_t* audioIn = nullptr;
    jack_client_t* sender = nullptr;
    jack_client_t* listener = nullptr;
    // Frames are counted from the server's frame time of the sender's first cycle, which both
    // clients read alike within a cycle; the recorder goes on counting once the sender is gone.
    std::atomic<std::int64_t> startTime{-1};
    std::atomic<std::int64_t> sentFrames{0};
    std::atomic<std::int64_t> heardFrames{-1};
    std::vector<float> recording;              // from the sender's frame 0
    std::atomic<bool> started{false};
    std::atomic<int> xruns{0}; // the server's, once the performance has started
    std::int64_t quitSenderAt = -1;
};

int send(jack_nframes_t frames, void* arg)
{
    auto& p = *static_cast<Probe*>(arg);
    void* buffer = jack_port_get_buffer(p.midiOut, frames);
    jack_midi_clear_buffer(buffer);
    if (!p.started.load())
        return 0;
    const auto cycle = (std::int64_t)jack_last_frame_time(p.sender);
    if (p.startTime.load() < 0)
        p.startTime.store(cycle);
    const auto now = cycle - p.startTime.load();
    while (p.nextEvent < p.events.size() && p.events[p.nextEvent].frame < now + frames)
    {
        const auto& e = p.events[p.nextEvent++];
        const auto at = (jack_nframes_t)std::max<std::int64_t>(0, e.frame - now);
        jack_midi_event_write(buffer, at, e.bytes, (size_t)e.size);
    }
    p.sentFrames.store(now + frames);
    return 0;
}

int listen(jack_nframes_t frames, void* arg)
{
    auto& p = *static_cast<Probe*>(arg);
    const auto start = p.startTime.load();
    if (start < 0)
        return 0;
    const auto begin = (std::int64_t)jack_last_frame_time(p.listener) - start;
    const auto end = begin + (std::int64_t)frames;
    const auto* in = static_cast<const float*>(jack_port_get_buffer(p.audioIn, frames));
    for (jack_nframes_t i = 0; i < frames; ++i)
    {
        const auto at = begin + (std::int64_t)i;
        if (at >= 0 && at < (std::int64_t)p.recording.size())
            p.recording[(size_t)at] = in[i];
    }
    p.heardFrames.store(end);
    return 0;
}

int xrun(void* arg)
{
    auto& p = *static_cast<Probe*>(arg);
    if (p.started.load())
        p.xruns.fetch_add(1);
    return 0;
}

bool readEvents(const std::string& path, std::vector<Event>& events)
{
    std::ifstream file(path);
    if (!file)
        return false;
    std::string line;
    while (std::getline(file, line))
    {
        std::istringstream fields(line);
        Event e;
        int values[3] = {-1, -1, -1};
        if (!(fields >> e.frame >> values[0] >> values[1]))
            continue;
        fields >> values[2];
        e.size = values[2] >= 0 ? 3 : 2;
        for (int i = 0; i < e.size; ++i)
            e.bytes[i] = (std::uint8_t)values[i];
        events.push_back(e);
    }
    std::stable_sort(events.begin(), events.end(),
                     [](const Event& a, const Event& b) { return a.frame < b.frame; });
    return true;
}

void writeWav(const std::string& path, const std::vector<float>& samples, unsigned rate)
{
    std::ofstream out(path, std::ios::binary);
    const auto put = [&](std::uint32_t v, int bytes) { out.write((const char*)&v, bytes); };
    const auto dataBytes = (std::uint32_t)(samples.size() * 4);
    out.write("RIFF", 4);
    put(36 + dataBytes, 4);
    out.write("WAVEfmt ", 8);
    put(16, 4);
    put(3, 2); // IEEE float
    put(1, 2);
    put(rate, 4);
    put(rate * 4, 4);
    put(4, 2);
    put(32, 2);
    out.write("data", 4);
    put(dataBytes, 4);
    out.write((const char*)samples.data(), dataBytes);
}

} // namespace

int main(int argc, char** argv)
{
    std::string to, from, eventsPath, wavPath;
    double seconds = 5.0, wait = 0.3;
    Probe p;
    for (int i = 1; i + 1 < argc; i += 2)
    {
        const std::string key = argv[i], value = argv[i + 1];
        if (key == "--to")
            to = value;
        else if (key == "--from")
            from = value;
        else if (key == "--events")
            eventsPath = value;
        else if (key == "--seconds")
            seconds = std::atof(value.c_str());
        else if (key == "--out")
            wavPath = value;
        else if (key == "--quit-sender-at")
            p.quitSenderAt = std::atoll(value.c_str());
        else if (key == "--wait")
            wait = std::atof(value.c_str());
    }
    if (from.empty() || eventsPath.empty() || !readEvents(eventsPath, p.events))
    {
        std::fprintf(stderr, "usage: norvane-jack-probe [--to PORT] --from PORT --events FILE "
                             "--seconds S [--out WAV] [--quit-sender-at FRAME] [--wait S]\n");
        return 2;
    }

    jack_status_t status{};
    p.sender = jack_client_open("probe-send", JackNoStartServer, &status);
    p.listener = jack_client_open("probe-listen", JackNoStartServer, &status);
    if (p.sender == nullptr || p.listener == nullptr)
    {
        std::fprintf(stderr, "norvane-jack-probe: no JACK server\n");
        return 1;
    }
    const unsigned rate = jack_get_sample_rate(p.sender);
    p.recording.assign((size_t)(seconds * rate), 0.0f);
    p.midiOut = jack_port_register(p.sender, "midi_out", JACK_DEFAULT_MIDI_TYPE, JackPortIsOutput, 0);
    p.audioIn = jack_port_register(p.listener, "in", JACK_DEFAULT_AUDIO_TYPE, JackPortIsInput, 0);
    jack_set_process_callback(p.sender, send, &p);
    jack_set_process_callback(p.listener, listen, &p);
    jack_set_xrun_callback(p.listener, xrun, &p);
    if (jack_activate(p.sender) != 0 || jack_activate(p.listener) != 0)
    {
        std::fprintf(stderr, "norvane-jack-probe: the server would not run its clients\n");
        return 1;
    }
    // The program under test may be opening its client again (a new buffer size): its ports
    // are looked for for a few seconds.
    const auto connect = [](jack_client_t* c, const std::string& source, const std::string& destination)
    {
        for (int attempt = 0; attempt < 100; ++attempt)
        {
            const int status = jack_connect(c, source.c_str(), destination.c_str());
            if (status == 0 || status == EEXIST)
                return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
        return false;
    };
    if ((!to.empty() && !connect(p.sender, jack_port_name(p.midiOut), to)) ||
        !connect(p.listener, from, jack_port_name(p.audioIn)))
    {
        std::fprintf(stderr, "norvane-jack-probe: cannot connect %s and %s\n", to.c_str(), from.c_str());
        return 1;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds((long long)(wait * 1000.0)));
    p.started = true;

    const auto total = (std::int64_t)p.recording.size();
    const auto giveUp = std::chrono::steady_clock::now() +
                        std::chrono::milliseconds((long long)(seconds * 1000.0) + 10000);
    while (p.heardFrames.load() < total)
    {
        if (std::chrono::steady_clock::now() > giveUp)
        {
            std::fprintf(stderr, "norvane-jack-probe: the server stopped running the recorder\n");
            return 1;
        }
        if (p.quitSenderAt >= 0 && p.sender != nullptr && p.sentFrames.load() >= p.quitSenderAt)
        {
            // A sending client that goes away in the middle of its notes.
            jack_client_close(p.sender);
            p.sender = nullptr;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    jack_client_close(p.listener);
    if (p.sender != nullptr)
        jack_client_close(p.sender);

    if (!wavPath.empty())
        writeWav(wavPath, p.recording, rate);

    // Onsets: the first frame from the note's own where the signal rises well above what came
    // just before it.
    std::printf("{\"rate\":%u,\"notes\":[", rate);
    bool first = true;
    for (const auto& e : p.events)
    {
        if ((e.bytes[0] & 0xF0) != 0x90 || e.bytes[2] == 0)
            continue;
        // A driver that plays every event at its period's start sounds before the event's
        // own frame: the search starts well before it, measured against the level there.
        const auto from = std::max<std::int64_t>(0, e.frame - 2048);
        double floor = 0.0;
        for (auto i = std::max<std::int64_t>(0, from - 256); i < std::min(from, total); ++i)
            floor = std::max(floor, (double)std::fabs(p.recording[(size_t)i]));
        const double threshold = std::max(1.0e-3, floor * 10.0);
        std::int64_t onset = -1;
        for (auto i = from; i < std::min(e.frame + 48000, total); ++i)
            if (std::fabs(p.recording[(size_t)i]) > threshold)
            {
                onset = i;
                break;
            }
        std::printf("%s{\"frame\":%lld,\"onset\":%lld,\"latency\":%lld}", first ? "" : ",",
                    (long long)e.frame, (long long)onset,
                    onset < 0 ? -1LL : (long long)(onset - e.frame));
        first = false;
    }
    double tail = 0.0;
    for (auto i = std::max<std::int64_t>(0, total - rate / 10); i < total; ++i)
        tail = std::max(tail, (double)std::fabs(p.recording[(size_t)i]));
    std::printf("],\"tailPeak\":%.6f,\"xruns\":%d}\n", tail, p.xruns.load());
    return 0;
}
