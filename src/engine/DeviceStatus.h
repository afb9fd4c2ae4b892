#pragma once

#include <cstdint>

namespace norvane
{

class AudioHost;

/** The output's figures as the window shows them: how much of its period the callback takes,
    the xruns since the count was last reset (the driver's own and every callback that ran past
    its period), and the output latency. It reads only what the audio side keeps in atomics.

    Message thread.
*/
class DeviceStatus
{
public:
    explicit DeviceStatus(AudioHost& host) : host(host) {}

    struct Reading
    {
        bool deviceOpen = false;
        double loadPercent = 0.0;  ///< the callback's recent share of its period
        std::int64_t xruns = 0;    ///< since the last reset or the device's opening
        double latencyMs = 0.0;    ///< the device's output latency plus one buffer
        /** The callback's own CPU time since the device opened (what it used, whatever the
            machine gave to others meanwhile), and the callbacks since the last reset that
            used more CPU than their period. */
        double cpuP50Ms = 0.0, cpuP999Ms = 0.0, cpuMaxMs = 0.0;
        std::int64_t cpuOverruns = 0;
    };

    Reading read();

    /** Counts the xruns from now on. */
    void resetXruns();

private:
    /** Forgets a reset made on a device that has since been opened again. */
    void followDevice();

    AudioHost& host;
    int deviceOpening = -1;
    std::int64_t driverBase = 0, overrunBase = 0, cpuOverrunBase = 0;
};

} // namespace norvane
