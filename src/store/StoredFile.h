#pragma once

#include <juce_core/juce_core.h>

#include <atomic>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace norvane
{

/** Writes `contents` to `target` so that the target always holds either its old contents or
    the new ones, whole: a temporary file in the same folder is written, flushed and synced,
    renamed over the target, and the folder is synced. Creates the folder if needed.
    Returns false on any failure, leaving the target as it was. Any thread. */
bool writeFileAtomically(const juce::File& target, std::string_view contents);

/** Copies `file` beside itself as "NAME.damaged-1" (or -2, -3 … : an earlier kept copy is
    never overwritten; one with the same contents is the copy already); a file that cannot be
    read is moved there instead. Returns the copy, or nothing when it could not be made. */
std::optional<juce::File> keepDamagedCopy(const juce::File& file);

/** One stored document of the application folder, read once and written after each change.

    If the file was there but could not be decoded, the first write keeps it aside first
    (keepDamagedCopy), so that what the user made is never lost to a fresh save.
    Message thread only (writeLater's encoding runs on the writer thread).
*/
class StoredFile
{
public:
    explicit StoredFile(juce::File fileIn) : file(std::move(fileIn)) {}

    const juce::File& location() const { return file; }

    /** The file's contents, or nothing when it does not exist or cannot be read. One that is
        there but cannot be read is marked undecodable. Waits for a write of it still under
        way. */
    std::optional<std::string> read() const;

    /** Says that the contents read could not be decoded. */
    void markUndecodable() { rescueBeforeWrite->store(file.existsAsFile()); }

    bool isMarkedUndecodable() const { return rescueBeforeWrite->load(); }

    /** Writes atomically now, keeping an undecodable original aside first. Any thread, one
        at a time. */
    bool write(std::string_view contents);

    /** The same on the writer thread (FileWriter): `encode` runs there and gives the text.
        It must own what it encodes (a copy of the values). Returns at once. */
    void writeLater(std::function<std::string()> encode);

    /** Waits until what writeLater() handed over is written. */
    void flush() const;

private:
    static bool write(const juce::File& file, std::atomic<bool>& rescue, std::string_view contents);

    juce::File file;
    std::shared_ptr<std::atomic<bool>> rescueBeforeWrite =
        std::make_shared<std::atomic<bool>>(false);
};

} // namespace norvane
