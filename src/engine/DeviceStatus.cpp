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
    driverBase = overrunBase = 0; // a device opened again counts from its start
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
    return reading;
}

void DeviceStatus::resetXruns()
{
    followDevice();
    const auto figures = host.deviceFigures();
    driverBase = figures ? figures->driverXruns : 0;
    overrunBase = host.callbackTimes().overruns();
}

} // namespace norvane
