#pragma once

#include <juce_core/juce_core.h>

#include <cstdint>
#include <optional>
#include <string>

namespace juce
{
class PluginDescription;
}

namespace norvane
{

/** Identifies an installed plug-in everywhere it is stored: slots, layers, patches.

    `componentType` is 'aumu' for instruments and 'aufx' for effects (four characters as a
    big-endian number); `componentSubType` is the FNV-1a-32 of the plug-in's stable identifier
    (its LV2 URI, or its VST3 class); `manufacturer` is the FNV-1a-32 of the manufacturer's
    name; `name` is manufacturer + " – " + plug-in name. All four take part in equality, so a
    renamed plug-in no longer matches references stored before.
*/
struct PluginRef
{
    std::uint32_t componentType = 0;
    std::uint32_t componentSubType = 0;
    std::uint32_t manufacturer = 0;
    std::string name;

    static constexpr std::uint32_t instrumentType = 0x61756d75; // 'aumu'
    static constexpr std::uint32_t effectType = 0x61756678;     // 'aufx'

    bool isInstrument() const { return componentType == instrumentType; }
    bool operator==(const PluginRef&) const = default;

    /** Whether a plug-in plays notes: one that says so, or one that makes sound from no audio
        input (LV2 instruments do not always declare their class). */
    static bool isInstrumentPlugin(const juce::PluginDescription& description);

    /** The reference of a scanned plug-in. */
    static PluginRef of(const juce::PluginDescription& description);

    /** The stable identifier the subtype code is made from. */
    static juce::String stableIdentifier(const juce::PluginDescription& description);

    /** {"componentType":…,"componentSubType":…,"manufacturer":…,"name":…} */
    juce::var toJson() const;

    /** Nothing unless all four keys are there with values of the right kind (codes as whole
        numbers within 0…4294967295). */
    static std::optional<PluginRef> fromJson(const juce::var& json);
};

} // namespace norvane
