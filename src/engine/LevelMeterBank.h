#pragma once

#include "core/Observable.h"
#include "core/Scheduler.h"

#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace norvane
{

class TapNode;

/** Peak meters for the layers and the master bus: taps in the graph measure peaks on the audio
    thread; 30 times a second the bank turns them into displayed levels (instant rise, a fall of
    18 % per frame) and lights the master clip indicator for 1.5 s after a peak of 0.99 or more.

    Message thread only, except peak(), which any thread may call.
*/
class LevelMeterBank final : public ObservableObject
{
public:
    explicit LevelMeterBank(Scheduler& scheduler);
    ~LevelMeterBank() override;

    /** Displayed level per key ("A"…"D", "Drone", "master"), linear. */
    Published<std::map<std::string, float>> levels{*this, {}};
    Published<bool> masterClipped{*this, false};

    /** Reads the tap's peaks at every frame under `key`. The tap must outlive the bank's use. */
    void install(TapNode& tap, const std::string& key);

    /** Starts the 1/30 s frames; a second call does nothing. */
    void startPublishing();

    /** Any thread: records a peak for `key` (the running maximum until the next frame;
        silence adds nothing). */
    void peak(const std::string& key, float value);

    /** One frame: collects the peaks and publishes the levels. The timer calls it. */
    void publishFrame();

    static constexpr double frameInterval = 1.0 / 30.0;
    static constexpr float decay = 0.82f;
    static constexpr float threshold = 0.001f;
    static constexpr float clipLevel = 0.99f;
    static constexpr double clipHold = 1.5;

private:
    Scheduler& clock;
    std::mutex lock;
    std::map<std::string, float> rawPeaks; // guarded by lock
    std::vector<std::pair<TapNode*, std::string>> taps;
    std::unique_ptr<TimerHandle> timer;
    double clipUntil = -1.0e300;
};

} // namespace norvane
