#include "update/UpdateChecker.h"

#include "core/MessageThread.h"
#include "store/Json.h"
#include "store/UserDefaults.h"

#include <cstdlib>

namespace norvane
{

namespace
{

} // namespace

juce::URL UpdateChecker::defaultFeed()
{
    if (const char* named = std::getenv("NORVANE_UPDATE_FEED"); named != nullptr && *named)
        return juce::URL(juce::String::fromUTF8(named));
    return juce::URL(juce::String("https://") + UpdateChecker::storeHost + "/version.json");
}

namespace
{

/** Fetches the feed and hands a newer version to the message thread. */
class FeedRequest final : public juce::Thread
{
public:
    FeedRequest(juce::URL feedIn, juce::WeakReference<UpdateChecker> ownerIn)
        : juce::Thread("Update check"), feed(std::move(feedIn)), owner(std::move(ownerIn))
    {
    }

    void run() override
    {
        const auto options = juce::URL::InputStreamOptions(juce::URL::ParameterHandling::inAddress)
                                 .withConnectionTimeoutMs(UpdateChecker::timeoutMilliseconds)
                                 .withExtraHeaders("Cache-Control: no-cache");
        auto stream = feed.createInputStream(options);
        if (stream == nullptr)
            return;
        const auto body = stream->readEntireStreamAsString().toStdString();
        const auto json = parseJson(body);
        if (!json || json->getDynamicObject() == nullptr)
            return;
        const auto& version = json->getDynamicObject()->getProperty("version");
        if (!version.isString())
            return;
        const auto text = version.toString().toStdString();
        if (!UpdateChecker::isNewer(text, UpdateChecker::currentVersion()))
            return;
        callAsyncWeak(owner, [text](UpdateChecker& checker) { checker.newerVersion = text; });
    }

private:
    juce::URL feed;
    juce::WeakReference<UpdateChecker> owner;
};

std::vector<long long> components(const std::string& version)
{
    std::vector<long long> list;
    juce::StringArray pieces;
    pieces.addTokens(juce::String(version), ".", {});
    pieces.removeEmptyStrings();
    for (const auto& piece : pieces)
    {
        const bool numeric = piece.containsOnly("0123456789") && piece.length() <= 18;
        list.push_back(numeric ? piece.getLargeIntValue() : 0);
    }
    return list;
}

} // namespace

UpdateChecker::UpdateChecker(juce::URL feedIn) : feed(std::move(feedIn)) {}

UpdateChecker::~UpdateChecker()
{
    if (request != nullptr)
        request->stopThread(timeoutMilliseconds + 1000);
}

bool UpdateChecker::checkIfDue(UserDefaults& defaults, juce::Time now)
{
    NORVANE_ASSERT_MESSAGE_THREAD;
    if (const auto last = defaults.date(lastCheckKey))
        if ((now - *last).inSeconds() < checkInterval)
            return false; // a date in the future counts as recent too
    defaults.setDate(lastCheckKey, now);

    if (request != nullptr && request->isThreadRunning())
        return false;
    request = std::make_unique<FeedRequest>(feed, juce::WeakReference<UpdateChecker>(this));
    request->startThread();
    return true;
}

bool UpdateChecker::waitForRequest(int milliseconds)
{
    return request == nullptr || request->waitForThreadToExit(milliseconds);
}

bool UpdateChecker::isNewer(const std::string& a, const std::string& b)
{
    const auto x = components(a), y = components(b);
    for (size_t i = 0; i < std::max(x.size(), y.size()); ++i)
    {
        const auto p = i < x.size() ? x[i] : 0, q = i < y.size() ? y[i] : 0;
        if (p != q)
            return p > q;
    }
    return false;
}

std::string UpdateChecker::currentVersion()
{
    return NORVANE_VERSION;
}

} // namespace norvane
