#include "store/StoredFile.h"

#include "store/FileWriter.h"

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <unistd.h>

namespace norvane
{

namespace
{

bool writeAll(int fd, std::string_view data)
{
    while (!data.empty())
    {
        const auto written = ::write(fd, data.data(), data.size());
        if (written < 0)
        {
            if (errno == EINTR)
                continue;
            return false;
        }
        data.remove_prefix((size_t)written);
    }
    return true;
}

void syncFolder(const juce::File& folder)
{
    const int fd = ::open(folder.getFullPathName().toRawUTF8(), O_RDONLY | O_DIRECTORY);
    if (fd >= 0)
    {
        ::fsync(fd);
        ::close(fd);
    }
}

/** Removes what writers that died mid-write left behind: their temporary files for this
    target, named after a process that no longer exists. */
void removeAbandonedTemporaries(const juce::File& folder, const juce::File& target)
{
    const auto prefix = "." + target.getFileName() + ".tmp-";
    for (const auto& file : folder.findChildFiles(juce::File::findFiles, false, prefix + "*"))
    {
        const auto pid =
            file.getFileName().fromFirstOccurrenceOf(prefix, false, false).getIntValue();
        if (pid > 0 && pid != ::getpid() && ::kill(pid, 0) != 0 && errno == ESRCH)
            file.deleteFile();
    }
}

} // namespace

bool writeFileAtomically(const juce::File& target, std::string_view contents)
{
    const auto folder = target.getParentDirectory();
    if (!folder.isDirectory() && !folder.createDirectory())
        return false;

    removeAbandonedTemporaries(folder, target);

    // Unique per process and call, in the same folder so that the rename is atomic.
    static std::atomic<int> counter{0};
    const auto temp = folder.getChildFile("." + target.getFileName() + ".tmp-" +
                                          juce::String(::getpid()) + "-" + juce::String(counter++));

    const int fd = ::open(temp.getFullPathName().toRawUTF8(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (fd < 0)
        return false;

    const bool written = writeAll(fd, contents) && ::fsync(fd) == 0;
    const bool closed = ::close(fd) == 0;
    if (!written || !closed ||
        ::rename(temp.getFullPathName().toRawUTF8(), target.getFullPathName().toRawUTF8()) != 0)
    {
        ::unlink(temp.getFullPathName().toRawUTF8());
        return false;
    }

    syncFolder(folder);
    return true;
}

std::optional<juce::File> keepDamagedCopy(const juce::File& file)
{
    if (!file.existsAsFile())
        return std::nullopt;
    for (int n = 1; n < 10000; ++n)
    {
        const auto copy = file.getSiblingFile(file.getFileName() + ".damaged-" + juce::String(n));
        if (copy.hasIdenticalContentTo(file))
            return copy; // kept already, at an earlier start
        if (copy.exists())
            continue;
        if (file.copyFileTo(copy))
            return copy;
        // One that cannot even be read (its permissions) is kept by moving it aside whole.
        if (file.moveFileTo(copy))
            return copy;
        return std::nullopt;
    }
    return std::nullopt;
}

std::optional<std::string> StoredFile::read() const
{
    flush();
    if (!file.existsAsFile())
        return std::nullopt;
    juce::MemoryBlock data;
    if (!file.loadFileAsData(data))
    {
        // There, but unreadable: as precious as an undecodable one, and kept the same way.
        rescueBeforeWrite->store(true);
        return std::nullopt;
    }
    return std::string(static_cast<const char*>(data.getData()), data.getSize());
}

bool StoredFile::write(std::string_view contents)
{
    flush(); // in order after what was handed to the writer
    return write(file, *rescueBeforeWrite, contents);
}

bool StoredFile::write(const juce::File& file, std::atomic<bool>& rescue, std::string_view contents)
{
    if (rescue.load())
    {
        // Without a kept copy the damaged file must not be replaced: it is all there is.
        if (file.existsAsFile() && !keepDamagedCopy(file))
            return false;
        rescue.store(false);
    }
    return writeFileAtomically(file, contents);
}

void StoredFile::writeLater(std::function<std::string()> encode)
{
    FileWriter::shared().post(
        file,
        [target = file, rescue = rescueBeforeWrite, encode = std::move(encode)]
        {
            // A failure: the next save tries again.
            write(target, *rescue, encode());
        });
}

void StoredFile::flush() const
{
    FileWriter::shared().flush(file);
}

} // namespace norvane
