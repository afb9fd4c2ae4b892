#pragma once

#include "core/Observable.h"

#include <juce_core/juce_core.h>

#include <optional>
#include <string>

namespace norvane
{

class UserDefaults;

/** At most once a day, asks the maker's version feed which version is current, and publishes
    it when it is newer than the running one, for the window's update badge. Nothing is
    downloaded or installed. The request runs on a thread of its own; only the result comes
    back to the message thread.

    Message thread only.
*/
class UpdateChecker final : public ObservableObject
{
public:
    explicit UpdateChecker(juce::URL feed = defaultFeed());

    /** NORVANE_UPDATE_FEED when set, else the web store's "/version.json". */
    static juce::URL defaultFeed();
    ~UpdateChecker() override;

    Published<std::optional<std::string>> newerVersion{*this, std::nullopt};

    static constexpr const char* lastCheckKey = "NorvaneLastUpdateCheck";
    static constexpr double checkInterval = 86400.0; ///< seconds
    static constexpr int timeoutMilliseconds = 8000;
    static constexpr const char* storeHost = "norvane.app";

    /** Fetches the feed unless the last attempt (stored in `defaults`) is less than a day
        before `now`; stores `now` as the last attempt before asking. Returns whether a request
        was started. */
    bool checkIfDue(UserDefaults& defaults, juce::Time now);

    /** Whether version `a` is newer than `b`, compared number by number ("1.10" > "1.9";
        missing or non-numeric parts count as 0). */
    static bool isNewer(const std::string& a, const std::string& b);

    /** The running version. */
    static std::string currentVersion();

    const juce::URL& feedURL() const { return feed; }

    /** Test hook: waits until a request started by checkIfDue() has finished. */
    bool waitForRequest(int milliseconds);

private:
    juce::URL feed;
    std::unique_ptr<juce::Thread> request;

    JUCE_DECLARE_WEAK_REFERENCEABLE(UpdateChecker)
};

} // namespace norvane
