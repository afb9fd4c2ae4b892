#pragma once

#include "catalog/PluginRef.h"

#include <juce_core/juce_core.h>

#include <optional>
#include <string>
#include <vector>

namespace norvane
{

/** Which plug-in brought the program down, remembered for the next start, so that a plug-in
    that crashes never makes the program crash again at every start.

    Two records, in a folder of the program's: a marker written before a plug-in is made and
    removed once it has been (a crash meanwhile leaves it), and a list of the plug-ins found
    guilty. The audio thread says which plug-in it is running (running()); a fatal signal
    (a segmentation fault, an abort, …) then appends that one to the list, with nothing but a
    write, and the program dies as it would have. A start that finds either record holds those
    plug-ins back until the player asks for them again (forgive()).

    One instance per process may watch the signals; the rest is message thread only, except
    running(). */
class CrashRecord
{
public:
    /** Reads what the last run left in `folder` (created if missing). */
    explicit CrashRecord(juce::File folder);
    ~CrashRecord();

    CrashRecord(const CrashRecord&) = delete;
    CrashRecord& operator=(const CrashRecord&) = delete;

    /** Installs the handlers of the fatal signals that record the running plug-in. */
    void watch();

    /** Whether this plug-in brought the program down and was not forgiven since. */
    bool isGuilty(const PluginRef& ref) const;
    /** The list of the plug-ins found guilty: removing it forgives them all. */
    const juce::File& listFile() const { return list; }

    /** The plug-ins found guilty, by name. */
    std::vector<std::string> guiltyNames() const;
    /** The player asks for it again: it is made and run as any other. */
    void forgive(const PluginRef& ref);

    /** A plug-in is being made, until made() (a crash meanwhile makes it guilty). */
    void making(const PluginRef& ref);
    void made();

    /** The tag the audio side passes to running() for a plug-in: kept by its node. */
    static std::string tagOf(const PluginRef& ref);

    /** Audio thread: the plug-in (its tag's characters, `size` of them) that runs from now on,
        or nothing. Two atomic stores; no system call. */
    static void running(const char* tag, std::size_t size) noexcept;
    static void runningNone() noexcept;

private:
    void writeList();

    juce::File marker, list;
    std::vector<std::string> guilty; // tags
    int listFd = -1;                 // open for the signal handler's append
};

} // namespace norvane
