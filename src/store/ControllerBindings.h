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
    already moves something else takes it over. A file that cannot be decoded loads no binding
    and is kept aside before the first write; a binding it holds with an unknown target or
    numbers out of range is dropped and the rest load.

    Message thread only.
*/
class ControllerBindings final : public ObservableObject
{
public:
    explicit ControllerBindings(juce::File file);

    Published<std::vector<ControllerBinding>> bindings{*this, {}};

    /** Binds `binding`'s source to its target, replacing the target's earlier binding and
        any binding of the same source. Persists. */
    void bind(const ControllerBinding& binding);
    /** Removes the target's binding, if any. Persists. */
    void forget(const ControlTarget& target);
    std::optional<ControllerBinding> bindingFor(const ControlTarget& target) const;

    /** Writes the bindings now; false when it failed. */
    bool persist();
    const StoredFile& storedFile() const { return file; }

    /** The document: {"bindings":[{"target":"layerA.volume","cc":20,"channel":0}, …]}. */
    static std::string encode(const std::vector<ControllerBinding>& bindings);
    /** Nothing when the text is not such a document; bad bindings inside are left out. */
    static std::optional<std::vector<ControllerBinding>> decode(const std::string& text);

private:
    StoredFile file;
};

} // namespace norvane
