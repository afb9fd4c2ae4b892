#include "Plugins.h"

#include "catalog/PluginLibrary.h"
#include "catalog/PluginRef.h"
#include "catalog/PluginScanner.h"
#include "store/Json.h"

#include <cstdio>
#include <iostream>

namespace norvane::cli
{

namespace
{

/** The plug-in's identity as its format knows it: an LV2 URI, or a VST3 file and class. */
juce::String identity(const juce::PluginDescription& d)
{
    if (d.pluginFormatName == "VST3")
        return d.fileOrIdentifier + " (" + juce::String::toHexString(d.uniqueId) + ")";
    return d.fileOrIdentifier;
}

} // namespace

int plugins(const std::vector<std::string>& args)
{
    const bool json = args.size() == 1 && args[0] == "--json";
    if (!args.empty() && !json)
    {
        std::cerr << "usage: norvane-cli plugins [--json]\n";
        return 2;
    }

    PluginScanner scanner(PluginScanner::defaultProgram());
    const auto offered = PluginLibrary::offered(scanner.scan());
    std::vector<std::pair<InstalledPlugin, bool>> all; // and whether it is an instrument
    for (const auto& p : offered.instruments)
        all.emplace_back(p, true);
    for (const auto& p : offered.effects)
        all.emplace_back(p, false);

    if (json)
    {
        juce::Array<juce::var> list;
        for (const auto& [plugin, instrument] : all)
        {
            const auto& d = plugin.description;
            auto* o = new juce::DynamicObject();
            o->setProperty("name", d.name);
            o->setProperty("maker", d.manufacturerName);
            o->setProperty("format", d.pluginFormatName);
            o->setProperty("identifier", identity(d));
            o->setProperty("kind", instrument ? "instrument" : "effect");
            o->setProperty("audioInputs", d.numInputChannels);
            o->setProperty("audioOutputs", d.numOutputChannels);
            o->setProperty("needsDisplay", PluginRef::needsDisplay(d));
            list.add(juce::var(o));
        }
        std::cout << toCompactJson(juce::var(list)) << "\n";
    }
    else
    {
        for (const bool instruments : {true, false})
        {
            std::printf("%s:\n", instruments ? "Instruments" : "Effects");
            int shown = 0;
            for (const auto& [plugin, instrument] : all)
            {
                if (instrument != instruments)
                    continue;
                const auto& d = plugin.description;
                std::printf("  %s – %s  [%s, %d in / %d out%s]  %s\n",
                            d.manufacturerName.toRawUTF8(), d.name.toRawUTF8(),
                            d.pluginFormatName.toRawUTF8(), d.numInputChannels,
                            d.numOutputChannels,
                            PluginRef::needsDisplay(d) ? ", needs a display" : "",
                            identity(d).toRawUTF8());
                ++shown;
            }
            if (shown == 0)
                std::printf("  (none)\n");
        }
    }
    for (const auto& skipped : scanner.skipped())
        std::cerr << "norvane-cli: skipped (it failed while examined): " << skipped << "\n";
    return 0;
}

} // namespace norvane::cli
