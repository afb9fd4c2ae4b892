#pragma once

#include <cstdint>
#include <string_view>

namespace norvane
{

/** FNV-1a, 32 bits: the stable ids of devices and MIDI sources. */
constexpr std::uint32_t fnv1a32(std::string_view text)
{
    std::uint32_t hash = 2166136261u;
    for (unsigned char c : text)
    {
        hash ^= c;
        hash *= 16777619u;
    }
    return hash;
}

/** FNV-1a, 64 bits: seeds that must not change from run to run. */
constexpr std::uint64_t fnv1a64(std::string_view text)
{
    std::uint64_t hash = 0xcbf29ce484222325ull;
    for (unsigned char c : text)
    {
        hash ^= c;
        hash *= 0x100000001b3ull;
    }
    return hash;
}

} // namespace norvane
