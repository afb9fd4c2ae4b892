// Feeds arbitrary bytes to the MIDI byte parser and checks what must hold for any input:
// every message is a channel message with its channel dropped, and the messages never cover
// more bytes than there are (the parser never reads past the end).
#include "core/MidiParser.h"

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    std::size_t consumed = 0;
    norvane::parseMidiBytes(data, size,
                            [&](const norvane::ChannelMessage& m)
                            {
                                const int high = m.kind >> 4;
                                if (high < 0x8 || high > 0xE || (m.kind & 0x0F) != 0)
                                    std::abort();
                                consumed +=
                                    1 + (std::size_t)norvane::dataBytesFor((std::uint8_t)high);
                                if (consumed > size)
                                    std::abort();
                            });
    return 0;
}
