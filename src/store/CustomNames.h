#pragma once

#include "catalog/InstrumentCategory.h"
#include "catalog/PluginRef.h"
#include "core/Observable.h"
#include "store/StoredFile.h"

#include <map>
#include <string>

namespace norvane
{

/** The musician's own names for built-in sounds (keyed by SoundVariant::id()) and for layers
    (keyed by slot), kept in "CustomNames.json" in the application folder and shown instead of
    the built-in names everywhere.

    Message thread only.
*/
class CustomNames final : public ObservableObject
{
public:
    using NameMap = std::map<std::string, std::string>;

    /** Loads the names from `file`; a missing or damaged file gives empty maps. */
    explicit CustomNames(juce::File file);

    /** The instance for the application folder. */
    static CustomNames& shared();

    Published<NameMap> variantNames{*this, {}};
    Published<NameMap> layerNames{*this, {}};

    /** The user's name for the sound, or its built-in name in that language. */
    std::string name(const SoundVariant& variant, AppLanguage language) const;

    /** The key a plug-in's own name is kept under, beside the built-in sounds'. */
    static std::string pluginKey(const PluginRef& plugin);

    /** The user's name for the plug-in, or `installedName`. */
    std::string name(const PluginRef& plugin, const std::string& installedName) const;

    /** The user's name for the layer, or its built-in label ("Capa A", "Drone Pad"). */
    std::string layerName(const std::string& slot, AppLanguage language) const;

    /** Stores `text` trimmed as the sound's name; an empty result restores the built-in name.
        Persists. */
    void renameVariant(const std::string& variantID, const std::string& text);
    void renameLayer(const std::string& slot, const std::string& text);

    void restoreVariantName(const std::string& variantID) { renameVariant(variantID, {}); }
    void restoreLayerName(const std::string& slot) { renameLayer(slot, {}); }

    /** Writes both maps; failures are ignored (returns whether it worked). */
    bool persist();

    /** Leading and trailing white space and line breaks removed. */
    static std::string trimmed(const std::string& text);

private:
    static NameMap renamed(NameMap map, const std::string& key, const std::string& text);

    StoredFile file;
};

} // namespace norvane
