#pragma once

#include "core/Observable.h"
#include "input/ControlTarget.h"
#include "store/StoredFile.h"

#include <optional>
#include <string>
#include <vector>

namespace norvane
{

/** The player's controller bindings, kept in "Controllers.json" in the application folder:
    global, not part of any patch.

    One binding per target and one target per source: binding a controller or key that
    already moves something else takes it over. A file that cannot be decoded loads no binding;
    it is kept aside at once and damagedCopy says where, for the window to tell the player. A
    binding it holds with numbers out of range or a broken shape is dropped and the rest load;
    one for a target this version does not know (a later version's) is kept as it is and
    written back with the others.

    Message thread only.
*/
class ControllerBindings final : public ObservableObject
{
public:
    explicit ControllerBindings(juce::File file);

    Published<std::vector<ControllerBinding>> bindings{*this, {}};
    /** Where a file that could not be decoded was kept aside; nothing when none was. */
    Published<std::optional<std::string>> damagedCopy{*this, std::nullopt};

    /** Binds `binding`'s source to its target, replacing the target's earlier binding and
        any binding of the same source. Persists. */
    void bind(const ControllerBinding& binding);
    /** Removes the target's binding, if any. Persists. */
    void forget(const ControlTarget& target);
    std::optional<ControllerBinding> bindingFor(const ControlTarget& target) const;

    /** Writes the bindings now; false when it failed. */
    bool persist();
    const StoredFile& storedFile() const { return file; }

    /** A binding for a target this version does not know, kept as written, with its source. */
    struct Foreign
    {
        juce::var item;
        ControllerBinding source; // its target is meaningless
    };

    struct Document
    {
        std::vector<ControllerBinding> bindings;
        std::vector<Foreign> foreign;
    };

    /** The document: {"bindings":[{"target":"layerA.volume","cc":20,"channel":0}, …]}. */
    static std::string encode(const std::vector<ControllerBinding>& bindings,
                              const std::vector<Foreign>& foreign = {});
    /** Nothing when the text is not such a document; bad bindings inside are left out. */
    static std::optional<Document> decode(const std::string& text);

private:
    StoredFile file;
    std::vector<Foreign> foreign;
};

} // namespace norvane
