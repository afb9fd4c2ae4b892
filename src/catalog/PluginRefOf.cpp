// References made from scanned plug-in descriptions (kept apart from the JSON form, which
// the document decoders use without the plug-in host).

#include "catalog/PluginRef.h"
#include "core/Hash.h"

#include <juce_audio_processors/juce_audio_processors.h>

namespace norvane
{

juce::String PluginRef::stableIdentifier(const juce::PluginDescription& d)
{
    // An LV2 plug-in is known by its URI. A VST3 file may hold several classes and move
    // between folders, so it is known by its class, which JUCE condenses into uniqueId.
    if (d.pluginFormatName == "VST3")
        return "vst3:" + juce::String::toHexString(d.uniqueId);
    return d.fileOrIdentifier;
}

bool PluginRef::isInstrumentPlugin(const juce::PluginDescription& d)
{
    if (d.pluginFormatName == "LV2" && d.category.startsWith(lv2DeclaredPrefix))
    {
        // A test-tone generator declares a generator, not an instrument; a synthesizer with
        // audio inputs still declares an instrument.
        if (const auto declared = d.category.fromFirstOccurrenceOf(lv2DeclaredPrefix, false, false)
                                      .upToFirstOccurrenceOf(";", false, false);
            declared.isNotEmpty())
            return juce::StringArray::fromTokens(declared, ",", "").contains("InstrumentPlugin");
    }
    else if (d.pluginFormatName == "VST3" && d.category.isNotEmpty())
        return d.isInstrument;
    return d.isInstrument || (d.numInputChannels == 0 && d.numOutputChannels > 0);
}

bool PluginRef::needsDisplay(const juce::PluginDescription& d)
{
    return d.pluginFormatName == "LV2" && d.category.startsWith(lv2DeclaredPrefix) &&
           d.category.contains(needsDisplayMark);
}

PluginRef PluginRef::of(const juce::PluginDescription& d)
{
    PluginRef ref;
    ref.componentType = isInstrumentPlugin(d) ? instrumentType : effectType;
    ref.componentSubType = fnv1a32(stableIdentifier(d).toStdString());
    ref.manufacturer = fnv1a32(d.manufacturerName.toStdString());
    ref.name = d.manufacturerName.toStdString() + " \u2013 " + d.name.toStdString();
    return ref;
}

} // namespace norvane
