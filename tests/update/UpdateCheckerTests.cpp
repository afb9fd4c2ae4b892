#include "store/Localization.h"
#include "store/UserDefaults.h"
#include "support/MessageLoop.h"
#include "support/TempFolder.h"
#include "update/UpdateChecker.h"

#include <gtest/gtest.h>

#include <atomic>

namespace norvane::test
{

namespace
{

/** A one-route HTTP server on 127.0.0.1: answers every request with `body` (or closes the
    connection without an answer when there is none), and counts the requests. */
class FeedServer final : public juce::Thread
{
public:
    explicit FeedServer(std::optional<std::string> bodyIn)
        : juce::Thread("Feed server"), body(std::move(bodyIn))
    {
        listening = socket.createListener(0, "127.0.0.1");
        startThread();
    }
    ~FeedServer() override
    {
        signalThreadShouldExit();
        socket.close();
        stopThread(2000);
    }

    juce::URL url() const
    {
        return juce::URL("http://127.0.0.1:" + juce::String(socket.getBoundPort()) +
                         "/version.json");
    }

    void run() override
    {
        while (!threadShouldExit())
        {
            std::unique_ptr<juce::StreamingSocket> client(socket.waitForNextConnection());
            if (client == nullptr)
                return;
            ++requests;
            char buffer[2048];
            client->read(buffer, sizeof(buffer), false); // the request; its details do not matter
            if (!body)
                continue;
            const auto response = "HTTP/1.1 200 OK\r\nContent-Type: application/json\r\n"
                                  "Content-Length: " +
                                  std::to_string(body->size()) + "\r\nConnection: close\r\n\r\n" +
                                  *body;
            client->write(response.data(), (int)response.size());
        }
    }

    bool listening = false;
    std::atomic<int> requests{0};

private:
    std::optional<std::string> body;
    juce::StreamingSocket socket;
};

/** Checks against a server with this body; the version the checker publishes, if any. */
std::optional<std::string> check(const std::optional<std::string>& body, int* requests = nullptr)
{
    FeedServer server(body);
    EXPECT_TRUE(server.listening);
    TempFolder temp;
    UserDefaults defaults(temp.folder.getChildFile("Norvane.settings"));
    UpdateChecker checker(server.url());
    EXPECT_TRUE(checker.checkIfDue(defaults, juce::Time::getCurrentTime()));
    EXPECT_TRUE(checker.waitForRequest(10000));
    drainMessages(50);
    if (requests != nullptr)
        *requests = server.requests;
    return checker.newerVersion.get();
}

} // namespace

TEST(UpdateChecker, ANewerFeedVersionIsPublishedAndNothingElse)
{
    int requests = 0;
    EXPECT_EQ(check(R"({"version":"999.0.1","notes":"x"})", &requests), "999.0.1");
    EXPECT_EQ(requests, 1);
    EXPECT_EQ(check("{\"version\":\"" + UpdateChecker::currentVersion() + ".0\"}"), std::nullopt);
    EXPECT_EQ(check(R"({"version":"0.0.1"})"), std::nullopt);
    EXPECT_EQ(check("<html>not json</html>"), std::nullopt);
    EXPECT_EQ(check(R"({"release":"9.9"})"), std::nullopt);
    EXPECT_EQ(check(R"({"version":9})"), std::nullopt);
    EXPECT_EQ(check(std::nullopt), std::nullopt); // no answer at all
}

TEST(UpdateChecker, AtMostOnceADay)
{
    FeedServer server(R"({"version":"0.0.1"})");
    TempFolder temp;
    UserDefaults defaults(temp.folder.getChildFile("Norvane.settings"));
    UpdateChecker checker(server.url());
    const auto now = juce::Time::getCurrentTime();
    const auto hours = [](double h) { return juce::RelativeTime::hours(h); };

    defaults.setDate(UpdateChecker::lastCheckKey, now - hours(23));
    EXPECT_FALSE(checker.checkIfDue(defaults, now));
    defaults.setDate(UpdateChecker::lastCheckKey, now + hours(30)); // a clock set back
    EXPECT_FALSE(checker.checkIfDue(defaults, now));
    defaults.setDate(UpdateChecker::lastCheckKey, now - hours(25));
    EXPECT_TRUE(checker.checkIfDue(defaults, now));
    EXPECT_EQ(defaults.date(UpdateChecker::lastCheckKey), now);
    checker.waitForRequest(10000);
    EXPECT_FALSE(checker.checkIfDue(defaults, now + hours(1))); // the failed check counts

    // Kept between runs.
    UserDefaults reread(temp.folder.getChildFile("Norvane.settings"));
    EXPECT_EQ(reread.date(UpdateChecker::lastCheckKey)->toMilliseconds(), now.toMilliseconds());
}

TEST(UpdateChecker, VersionsCompareNumberByNumber)
{
    EXPECT_TRUE(UpdateChecker::isNewer("1.10", "1.9"));
    EXPECT_FALSE(UpdateChecker::isNewer("1.2", "1.2.0"));
    EXPECT_FALSE(UpdateChecker::isNewer("1.2.0", "1.2"));
    EXPECT_TRUE(UpdateChecker::isNewer("1.3", "1.2.9"));
    EXPECT_FALSE(UpdateChecker::isNewer("0b", "0"));
    EXPECT_TRUE(UpdateChecker::isNewer("1..2", "1.1"));
    EXPECT_FALSE(UpdateChecker::isNewer("", "0"));
    EXPECT_TRUE(UpdateChecker::isNewer("0.0.1", ""));
    EXPECT_FALSE(UpdateChecker::isNewer("99999999999999999999999", "1")); // not a number: 0
}

TEST(Localization, StoredChoiceThenSystemLanguage)
{
    TempFolder temp;
    const auto file = temp.folder.getChildFile("Norvane.settings");
    {
        UserDefaults defaults(file);
        EXPECT_EQ(Localization(defaults, "es_ES.UTF-8").language.get(), AppLanguage::spanish);
        EXPECT_EQ(Localization(defaults, "fr_FR.UTF-8").language.get(), AppLanguage::english);
        EXPECT_EQ(Localization(defaults, "").language.get(), AppLanguage::english);
        EXPECT_FALSE(defaults.string(Localization::key).has_value()); // nothing written yet

        Localization loc(defaults, "es");
        loc.toggle();
        EXPECT_EQ(defaults.string(Localization::key), "en");
    }
    UserDefaults defaults(file);
    EXPECT_EQ(Localization(defaults, "es-419").language.get(), AppLanguage::english);
    Localization loc(defaults, "es");
    loc.toggle();
    loc.toggle();
    EXPECT_EQ(defaults.string(Localization::key), "en");

    defaults.setString(Localization::key, "ES"); // not a value we write
    EXPECT_EQ(Localization(defaults, "es_MX").language.get(), AppLanguage::spanish);
}

} // namespace norvane::test
