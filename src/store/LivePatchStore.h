#pragma once

#include "core/Observable.h"
#include "store/LivePatch.h"
#include "store/StoredFile.h"

#include <optional>
#include <vector>

namespace norvane
{

/** The musician's ordered patch list, kept in "LivePatches.json" and written after every
    change. Patches are recalled by position: from the patch bar, the step buttons and arrow
    keys, and MIDI Program Change (program n recalls position n).

    A file that does not decode gives an empty list; it is kept aside as
    "LivePatches.json.damaged-N" before the first save replaces it, so nothing is lost.

    Message thread only.
*/
class LivePatchStore final : public ObservableObject
{
public:
    explicit LivePatchStore(juce::File file);

    Published<std::vector<LivePatch>> patches{*this, {}};
    Published<std::optional<juce::Uuid>> activePatchID{*this, std::nullopt};
    /** Where a patch list that could not be read back was set aside at the start, for the
        window to tell the player once; nothing when it read well. */
    Published<std::optional<std::string>> damagedCopy{*this, std::nullopt};

    /** Where the active patch is in the list, if it is in it. */
    std::optional<int> activeIndex() const;

    /** Replaces the patch with the same id in place, or appends it; then persists. */
    void save(const LivePatch& patch);

    /** Removes the patch (by id), forgetting it as active; then persists. */
    void remove(const LivePatch& patch);

    /** Applies the patch at `position` and makes it active; false for a position outside
        the list. */
    bool recall(int position, AudioEngine& engine, DronePadController& drone);

    /** Recalls the next (+1) or previous (−1) patch, stopping at the ends. From no active
        patch, +1 goes to the first and −1 to the last. */
    void step(int offset, AudioEngine& engine, DronePadController& drone);

    const juce::File& fileLocation() const { return stored.location(); }

private:
    void persist();

    StoredFile stored;
};

} // namespace norvane
