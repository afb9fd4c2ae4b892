#pragma once

#include "catalog/InstrumentCategory.h"
#include "catalog/PluginRef.h"
#include "catalog/PluginScanner.h"
#include "core/Observable.h"
#include "store/StoredFile.h"

#include <array>
#include <atomic>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <thread>
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

    Scans run on a thread of their own, so that neither the start nor a rescan holds up the
    window or anything played: the lists stay as they were until a scan publishes new ones,
    and `scanProgress` tells how far it has come meanwhile.

    Message thread only (the scan function excepted, which runs on the scan's thread).
*/
class PluginLibrary final : public ObservableObject
{
public:
    using Slots = std::vector<std::optional<PluginRef>>;
    using SlotMap = std::map<int, Slots>; ///< by InstrumentCategory raw value, as stored
    using Scan = std::function<std::vector<juce::PluginDescription>(const ScanFeedback&)>;

    static constexpr int slotCount = 3;

    /** Loads the slots from `file`, then starts a scan with `scan`. */
    PluginLibrary(juce::File file, Scan scan);
    /** Stops a scan that runs (its child is killed) and waits for its thread. */
    ~PluginLibrary() override;

    /** The instance of this run: the application folder's file, the out-of-process scanner. */
    static PluginLibrary& shared();

    Published<SlotMap> instrumentSlots{*this, {}};
    Published<std::vector<InstalledPlugin>> installedInstruments{*this, {}};
    Published<std::vector<InstalledPlugin>> installedEffects{*this, {}};
    /** While a scan runs: how far it has come. Nothing between scans. */
    Published<std::optional<ScanProgress>> scanProgress{*this, std::nullopt};

    /** Starts a scan that publishes both lists when it ends, each sorted by plug-in name,
        case-insensitively and stably. Asked while one runs, another follows it, so that what
        was installed meanwhile is found. */
    void refreshInstalled();

    bool isScanning() const { return scanProgress->has_value(); }

    /** At the end of the program: stops a running scan, publishing nothing, and waits for
        its thread (the child is killed). */
    void abandonScan();

    /** Runs `then` once the installed lists are known: at once between scans, else as soon
        as the running scan (and any that follows it) has published. */
    void whenScanned(std::function<void()> then);

    /** Exactly three slots, whatever is stored: padded with empty ones, or cut. */
    Slots slots(InstrumentCategory category) const;

    /** The filled slots, in slot order. */
    std::vector<PluginRef> assignedPlugins(InstrumentCategory category) const;

    /** Puts a reference (or nothing) into slot 0, 1 or 2 and persists; other indices are
        ignored. */
    void setSlot(const std::optional<PluginRef>& ref, int index, InstrumentCategory category);

    /** What a scan found, as the program offers it: instruments and effects, each sorted by
        plug-in name, case-insensitively and stably. A plug-in with no audio output is offered
        as neither. */
    struct Offered
    {
        std::vector<InstalledPlugin> instruments, effects;
    };
    static Offered offered(const std::vector<juce::PluginDescription>& found);

    /** The installed plug-in a reference stands for, if it is installed. A reference stored
        when the plug-in was classed otherwise (instrument or effect) still finds it, by its
        identity and maker. */
    std::optional<juce::PluginDescription> find(const PluginRef& ref) const;

    const juce::File& fileLocation() const { return stored.location(); }

    /** The document: {"instrumentSlots":{"0":[ref,null,null],…}}. */
    static std::string encode(const SlotMap& slots);
    /** Nothing when the text is not such a document. */
    static std::optional<SlotMap> decode(const std::string& text);

private:
    void startScan();
    void finishScan(std::vector<juce::PluginDescription> found);
    void joinWorker();

    StoredFile stored;
    Scan scanner;
    std::thread worker;
    std::shared_ptr<std::atomic<bool>> cancel; // the running scan's
    bool scanAgain = false;
    std::vector<std::function<void()>> waiting;

    JUCE_DECLARE_WEAK_REFERENCEABLE(PluginLibrary)
};

} // namespace norvane
