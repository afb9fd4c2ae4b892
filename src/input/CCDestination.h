#pragma once

#include "core/AppLanguage.h"

#include <optional>
#include <string>
#include <string_view>

namespace norvane
{

/** Where a MIDI controller (1, 7 or 11) sends its value. Stored by its raw value. */
enum class CCDestination
{
    off,
    master,
    layerA,
    layerB,
    layerC,
    layerD
};

inline constexpr CCDestination allCCDestinations[] = {CCDestination::off,    CCDestination::master,
                                                      CCDestination::layerA, CCDestination::layerB,
                                                      CCDestination::layerC, CCDestination::layerD};

inline std::string_view rawValue(CCDestination d)
{
    switch (d)
    {
    case CCDestination::off:
        return "off";
    case CCDestination::master:
        return "master";
    case CCDestination::layerA:
        return "layerA";
    case CCDestination::layerB:
        return "layerB";
    case CCDestination::layerC:
        return "layerC";
    case CCDestination::layerD:
        return "layerD";
    }
    return "off";
}

inline std::optional<CCDestination> ccDestinationFromRaw(std::string_view raw)
{
    for (auto d : allCCDestinations)
        if (rawValue(d) == raw)
            return d;
    return std::nullopt;
}

inline std::string displayName(CCDestination d, AppLanguage language)
{
    switch (d)
    {
    case CCDestination::off:
        return localized(language, "Sin asignar", "Unassigned");
    case CCDestination::master:
        return "Master";
    case CCDestination::layerA:
        return localized(language, "Capa A", "Layer A");
    case CCDestination::layerB:
        return localized(language, "Capa B", "Layer B");
    case CCDestination::layerC:
        return localized(language, "Capa C", "Layer C");
    case CCDestination::layerD:
        return localized(language, "Capa D", "Layer D");
    }
    return {};
}

} // namespace norvane
