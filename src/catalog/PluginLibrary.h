#pragma once

#include "catalog/InstrumentCategory.h"
#include "catalog/PluginRef.h"
#include "catalog/PluginScanner.h"
#include "core/Observable.h"
#include "store/StoredFile.h"

#include <array>
#include <functional>
#include <map>
#include <optional>
#include <vector>

namespace norvane
{

/** A plug-in found on the system, with the reference it is stored under. */
struct InstalledPlugin
{
    juce::PluginDescription description;
    PluginRef ref;

    bool operator==(const InstalledPlugin& other) const
    {
        return ref == other.ref &&
               description.fileOrIdentifier == other.description.fileOrIdentifier;
    }
};

/** The installed instrument and effect plug-ins, and for each instrument category three slots
    that offer chosen instrument plug-ins beside the built-in sounds. The slots are kept in
    "Plugins.json" in the application folder.

    Message thread only.
*/
class PluginLibrary final : public ObservableObject
{
public:
    using Slots = std::vector<std::optional<PluginRef>>;
    using SlotMap = std::map<int, Slots>; ///< by InstrumentCategory raw value, as stored
    using Scan = std::function<std::vector<juce::PluginDescription>()>;

    static constexpr int slotCount = 3;

    /** Loads the slots from `file`, then scans with `scan`. */
    PluginLibrary(juce::File file, Scan scan);

    /** The instance of this run: the application folder's file, the out-of-process scanner. */
    static PluginLibrary& shared();

    Published<SlotMap> instrumentSlots{*this, {}};
    Published<std::vector<InstalledPlugin>> installedInstruments{*this, {}};
    Published<std::vector<InstalledPlugin>> installedEffects{*this, {}};

    /** Scans again and publishes both lists, each sorted by plug-in name, case-insensitively
        and stably. */
    void refreshInstalled();

    /** Exactly three slots, whatever is stored: padded with empty ones, or cut. */
    Slots slots(InstrumentCategory category) const;

    /** The filled slots, in slot order. */
    std::vector<PluginRef> assignedPlugins(InstrumentCategory category) const;

    /** Puts a reference (or nothing) into slot 0, 1 or 2 and persists; other indices are
        ignored. */
    void setSlot(const std::optional<PluginRef>& ref, int index, InstrumentCategory category);

    /** The installed plug-in a reference stands for, if it is installed. */
    std::optional<juce::PluginDescription> find(const PluginRef& ref) const;

    const juce::File& fileLocation() const { return stored.location(); }

    /** The document: {"instrumentSlots":{"0":[ref,null,null],…}}. */
    static std::string encode(const SlotMap& slots);
    /** Nothing when the text is not such a document. */
    static std::optional<SlotMap> decode(const std::string& text);

private:
    StoredFile stored;
    Scan scanner;
};

} // namespace norvane
