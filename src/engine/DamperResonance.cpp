#include "engine/DamperResonance.h"

#include "engine/MixerNode.h"
#include "engine/PlayerNode.h"

#include <algorithm>

namespace norvane
{

DamperResonance::~DamperResonance()
{
    if (host == nullptr)
        return;
    for (auto id : playerIDs)
        host->detach(id);
    host->detach(inputMix);
}

void DamperResonance::attach(AudioHost& hostIn)
{
    if (host != nullptr)
        return;
    host = &hostIn;
    bank = DamperNoiseBank::shared(host->sampleRate());
    inputMix = host->attach(std::make_unique<MixerNode>("Damper input"));
    for (int i = 0; i < playerCount; ++i)
    {
        auto [id, player] = host->attachNode(std::make_unique<PlayerNode>("Damper"));
        playerIDs[(size_t)i] = id;
        players[(size_t)i] = player;
        host->connect(id, inputMix);
    }
}

void DamperResonance::startPlayers()
{
    for (auto* player : players)
        if (player != nullptr)
            player->play();
}

void DamperResonance::play(const Voice& voice, double level)
{
    if (level <= 0.001 || bank == nullptr)
        return;

    auto buffer = bank->buffer(voice, variant);
    if (buffer == nullptr)
        return;

    variant = 1 - variant;
    auto* player = players[(size_t)nextPlayer];
    nextPlayer = (nextPlayer + 1) % playerCount;

    player->setVolume((float)std::min(level, 1.0));
    player->schedule(std::move(buffer), std::nullopt, true);
}

} // namespace norvane
