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

    /** Whether a plug-in plays notes, by what it declares: an LV2 plug-in declared an
        instrument (lv2:InstrumentPlugin), a VST3 one of the Instrument category. Only a
        plug-in that declares no class at all is judged by its ports: sound from no audio
        input. */
    static bool isInstrumentPlugin(const juce::PluginDescription& description);

    /** How the scan marks an LV2 plug-in's category: this, then the lv2core classes it
        declares, comma-separated ("lv2:InstrumentPlugin"), or nothing after it. */
    static constexpr const char* lv2DeclaredPrefix = "lv2:";
    /** Added after the classes when the plug-in's binary needs a window toolkit (Qt, GTK). */
    static constexpr const char* needsDisplayMark = ";display";

    /** Whether the scan found that the plug-in needs a display to be made: made where there
        is none, it would abort the program. */
    static bool needsDisplay(const juce::PluginDescription& description);

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
