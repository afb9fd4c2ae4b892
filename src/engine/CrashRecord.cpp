#include "engine/CrashRecord.h"

#include <atomic>
#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <unistd.h>

namespace norvane
{

namespace
{

// What the signal handler reads: only atomics and a descriptor, set before it can run.
std::atomic<const char*> runningTag{nullptr};
std::atomic<std::size_t> runningSize{0};
std::atomic<int> recordFd{-1};

constexpr int fatalSignals[] = {SIGSEGV, SIGBUS, SIGILL, SIGFPE, SIGABRT};

void onFatalSignal(int signal)
{
    // Only what is safe in a signal handler: loads and a write. The handler was reset on
    // entry, so raising the signal again ends the program as it would have ended.
    const char* tag = runningTag.load();
    const std::size_t size = runningSize.load();
    const int fd = recordFd.load();
    if (tag != nullptr && fd >= 0)
    {
        [[maybe_unused]] const auto written = ::write(fd, tag, size);
    }
    ::raise(signal);
}

/** The identity part of a tag: subtype and maker, as hex. */
std::string identityOf(const std::string& tag)
{
    return tag.substr(0, 17);
}

} // namespace

CrashRecord::CrashRecord(juce::File folder)
    : marker(folder.getChildFile(".plugin-being-made")),
      list(folder.getChildFile(".plugins-that-crashed"))
{
    folder.createDirectory();
    juce::StringArray lines;
    lines.addLines(list.loadFileAsString());
    // A plug-in being made when the last run ended: it ended the run.
    if (marker.existsAsFile())
        lines.addLines(marker.loadFileAsString());
    for (const auto& line : lines)
    {
        const auto tag = line.toStdString() + "\n";
        if (tag.size() > 18 && tag[8] == ' ' && tag[17] == ' ')
        {
            bool known = false;
            for (const auto& g : guilty)
                known = known || identityOf(g) == identityOf(tag);
            if (!known)
                guilty.push_back(tag);
        }
    }
    listFd =
        ::open(list.getFullPathName().toRawUTF8(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
    writeList();
    marker.deleteFile();
}

CrashRecord::~CrashRecord()
{
    int expected = listFd;
    recordFd.compare_exchange_strong(expected, -1);
    if (listFd >= 0)
        ::close(listFd);
}

void CrashRecord::watch()
{
    recordFd.store(listFd);
    struct sigaction action
    {
    };
    action.sa_handler = onFatalSignal;
    action.sa_flags = SA_RESETHAND | SA_NODEFER | SA_ONSTACK;
    sigemptyset(&action.sa_mask);
    for (int signal : fatalSignals)
        ::sigaction(signal, &action, nullptr);
}

std::string CrashRecord::tagOf(const PluginRef& ref)
{
    char identity[32];
    std::snprintf(identity, sizeof identity, "%08x %08x ", (unsigned)ref.componentSubType,
                  (unsigned)ref.manufacturer);
    std::string name = ref.name;
    for (auto& c : name)
        if (c == '\n' || c == '\r')
            c = ' ';
    return identity + name + "\n";
}

bool CrashRecord::isGuilty(const PluginRef& ref) const
{
    const auto identity = identityOf(tagOf(ref));
    for (const auto& g : guilty)
        if (identityOf(g) == identity)
            return true;
    return false;
}

std::vector<std::string> CrashRecord::guiltyNames() const
{
    std::vector<std::string> names;
    for (const auto& g : guilty)
        names.push_back(g.substr(18, g.size() - 19));
    return names;
}

void CrashRecord::forgive(const PluginRef& ref)
{
    const auto identity = identityOf(tagOf(ref));
    std::erase_if(guilty, [&](const std::string& g) { return identityOf(g) == identity; });
    writeList();
}

void CrashRecord::making(const PluginRef& ref)
{
    marker.replaceWithText(tagOf(ref));
}

void CrashRecord::made()
{
    marker.deleteFile();
}

void CrashRecord::writeList()
{
    if (listFd < 0)
        return;
    // The same file the handler appends to, emptied and written again in place.
    if (::ftruncate(listFd, 0) != 0)
        return;
    for (const auto& g : guilty)
    {
        [[maybe_unused]] const auto written = ::write(listFd, g.data(), g.size());
    }
}

void CrashRecord::running(const char* tag, std::size_t size) noexcept
{
    runningSize.store(size, std::memory_order_relaxed);
    runningTag.store(tag, std::memory_order_release);
}

void CrashRecord::runningNone() noexcept
{
    runningTag.store(nullptr, std::memory_order_release);
}

} // namespace norvane
