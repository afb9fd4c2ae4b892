#pragma once

#include "catalog/PluginLibrary.h"
#include "support/MessageLoop.h"
#include "support/ScannedLibrary.h"

#include <gtest/gtest.h>

#include <functional>

namespace norvane::test
{

/** The machine's plug-ins, scanned once per test run through the scanner program. */
inline const std::vector<juce::PluginDescription>& installedPlugins()
{
    static const auto list = PluginScanner(juce::File(NORVANE_PLUGIN_SCANNER)).scan();
    return list;
}

/** The installed plug-in with this name (for example "MDA Piano"), as a reference. */
inline PluginRef installedRef(const juce::String& name)
{
    for (const auto& d : installedPlugins())
        if (d.name == name)
            return PluginRef::of(d);
    ADD_FAILURE() << "not installed: " << name;
    return {};
}

/** Finds references among installedPlugins(), as the library would. */
inline std::optional<juce::PluginDescription> findInstalled(const PluginRef& ref)
{
    for (const auto& d : installedPlugins())
        if (PluginRef::of(d) == ref)
            return d;
    return std::nullopt;
}


} // namespace norvane::test
