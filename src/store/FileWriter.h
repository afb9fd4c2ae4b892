#pragma once

#include <juce_core/juce_core.h>

#include <condition_variable>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <thread>

namespace norvane
{

/** The thread that writes the application's documents: the message thread hands over a copy
    of what to store and goes on at once; encoding, the atomic write and its syncs happen here.
    Of several writes waiting for one file only the last is made, so a burst of saves costs
    one write. Every write is atomic (see writeFileAtomically), so a kill at any moment still
    leaves each file old or new and whole.

    post() and flush() may be called from any thread but the writer's own.
*/
class FileWriter
{
public:
    FileWriter();
    /** Writes what is still waiting, then ends the thread. */
    ~FileWriter();

    FileWriter(const FileWriter&) = delete;
    FileWriter& operator=(const FileWriter&) = delete;

    /** The one writer of the program. */
    static FileWriter& shared();

    /** Runs `job` on the writer thread, after any earlier job for `file`; a job still waiting
        for the same file is dropped for it. */
    void post(const juce::File& file, std::function<void()> job);

    /** Waits until every job for `file` posted so far has run. */
    void flush(const juce::File& file);
    /** Waits until every job posted so far has run. */
    void flush();

private:
    void run();

    std::mutex lock;
    std::condition_variable wake, done;
    std::map<std::string, std::function<void()>> waiting; // by full path; guarded by lock
    std::string writing;                                  // the path being written, or empty
    bool stopping = false;
    std::thread thread;
};

} // namespace norvane
