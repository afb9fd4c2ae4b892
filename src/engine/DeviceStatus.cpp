#include "engine/DeviceStatus.h"

#include "engine/AudioHost.h"

#include <algorithm>

namespace norvane
{

void DeviceStatus::followDevice()
{
    if (host.deviceOpenings() == deviceOpening)
        return;
    deviceOpening = host.deviceOpenings();
    driverBase = overrunBase = cpuOverrunBase = 0; // a device opened again counts from its start
}

DeviceStatus::Reading DeviceStatus::read()
{
    followDevice();
    Reading reading;
    const auto figures = host.deviceFigures();
    if (!figures)
        return reading;
    reading.deviceOpen = true;
    reading.latencyMs = figures->outputLatencyMs;
    const auto& times = host.callbackTimes();
    reading.loadPercent = 100.0 * times.load();
    reading.xruns = std::max<std::int64_t>(0, figures->driverXruns - driverBase) +
                    std::max<std::int64_t>(0, times.overruns() - overrunBase);
    reading.cpuP50Ms = times.cpuPercentileMs(0.5);
    reading.cpuP999Ms = times.cpuPercentileMs(0.999);
    reading.cpuMaxMs = times.cpuMaxMs();
    reading.cpuOverruns = std::max<std::int64_t>(0, times.cpuOverruns() - cpuOverrunBase);
    return reading;
}

void DeviceStatus::resetXruns()
{
    followDevice();
    const auto figures = host.deviceFigures();
    driverBase = figures ? figures->driverXruns : 0;
    overrunBase = host.callbackTimes().overruns();
    cpuOverrunBase = host.callbackTimes().cpuOverruns();
}

} // namespace norvane
