#pragma once

#include "engine/AudioHost.h"
#include "engine/DamperNoiseBank.h"

#include <array>
#include <memory>

namespace norvane
{

class MixerNode;
class PlayerNode;

/** A layer's damper voices: six players taking turns, joined with the layer's instrument in
    an input mixer at the head of the layer's chain. Consecutive sounds alternate between the
    two renderings of each voice; a seventh overlapping sound cuts off the oldest.

    Message thread only.
*/
class DamperResonance
{
public:
    using Voice = DamperVoice;
    static constexpr int playerCount = 6;

    DamperResonance() = default;
    ~DamperResonance();

    /** Attaches the input mixer and the players to the graph, players feeding the mixer, and
        takes the bank for the host's sample rate. Until then the pool makes no sound. */
    void attach(AudioHost& host);

    /** Starts every player's timeline, so that a buffer scheduled later sounds at once. */
    void startPlayers();

    /** Plays a voice at `level` (the player's volume, at most 1). Levels of 0.001 and below,
        keys above note 88 and an unattached pool make no sound. */
    void play(const Voice& voice, double level);

    bool isAttached() const { return host != nullptr; }
    AudioHost::NodeID inputMixID() const { return inputMix; }
    int nextPlayerIndex() const { return nextPlayer; }
    int currentVariant() const { return variant; }
    PlayerNode& player(int index) { return *players[(size_t)index]; }
    const std::shared_ptr<DamperNoiseBank>& noiseBank() const { return bank; }

private:
    AudioHost* host = nullptr;
    std::shared_ptr<DamperNoiseBank> bank;
    AudioHost::NodeID inputMix;
    std::array<AudioHost::NodeID, playerCount> playerIDs{};
    std::array<PlayerNode*, playerCount> players{};
    int nextPlayer = 0;
    int variant = 0;
};

} // namespace norvane
