#pragma once

#include <cstddef>
#include <cstdint>

namespace norvane
{

/** One channel message taken from raw MIDI bytes. Notes and controllers play alike on every
    channel; the channel matters only to a controller binding that names one. */
struct ChannelMessage
{
    std::uint8_t kind = 0; ///< status AND 0xF0: 0x80 … 0xE0
    std::uint8_t data1 = 0;
    std::uint8_t data2 = 0;   ///< 0 for one-data-byte messages
    std::uint8_t channel = 1; ///< 1–16

    bool operator==(const ChannelMessage&) const = default;
};

/** Number of data bytes that follow a channel status byte of this kind (high nibble 8–14). */
constexpr int dataBytesFor(std::uint8_t highNibble) noexcept
{
    return (highNibble == 0xC || highNibble == 0xD) ? 1 : 2;
}

/** Finds the channel messages in a run of raw bytes and hands each to `sink`, in order.

    There is no running status: a data byte where a status byte is expected is skipped, and so
    is every system byte (0xF0–0xFF) together with the data bytes that follow it. A message cut
    off by the end of the bytes ends the run and is dropped. Data bytes are passed on as they
    are; whoever uses them clamps.

    Pure and allocation-free: safe on any thread, including a driver's.
*/
template <typename Sink>
void parseMidiBytes(const std::uint8_t* bytes, std::size_t count, Sink&& sink)
{
    std::size_t i = 0;
    while (i < count)
    {
        const std::uint8_t status = bytes[i];
        const std::uint8_t high = status >> 4;
        if (high < 0x8 || high > 0xE)
        {
            ++i;
            continue;
        }

        const std::size_t dataBytes = (std::size_t)dataBytesFor(high);
        if (i + dataBytes >= count)
            return;

        ChannelMessage message;
        message.kind = (std::uint8_t)(status & 0xF0);
        message.data1 = bytes[i + 1];
        message.data2 = dataBytes == 2 ? bytes[i + 2] : 0;
        message.channel = (std::uint8_t)((status & 0x0F) + 1);
        sink(message);

        i += 1 + dataBytes;
    }
}

} // namespace norvane
