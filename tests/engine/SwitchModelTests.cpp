#include "support/SwitchModel.h"

#include <gtest/gtest.h>

#include <cstdlib>

namespace norvane::test
{

namespace
{

/** Seeds per shard: fewer under the sanitizers, which run the same code several times slower;
    NORVANE_MODEL_SEEDS sets another number (tools/norvane-switch-model runs many more). */
int seedsPerShard()
{
    if (const char* text = std::getenv("NORVANE_MODEL_SEEDS"))
        return std::max(1, std::atoi(text));
#ifdef NORVANE_SANITIZED
    return 3;
#else
    return 30;
#endif
}

} // namespace

class SwitchModelTest : public ::testing::TestWithParam<int>
{
};

/** Random performances of overlapping changes of set-up, each checked against what the player
    asked for (see SwitchModel). A failure names its seed; `norvane-switch-model --seed N`
    plays it again. */
TEST_P(SwitchModelTest, RandomChangesKeepToThePlayersRequests)
{
    const int n = seedsPerShard();
    for (int i = 0; i < n; ++i)
    {
        const auto seed = (std::uint64_t)(GetParam() * 1000 + i + 1);
        if (const auto failure = SwitchModel(seed).run())
            FAIL() << *failure;
    }
}

INSTANTIATE_TEST_SUITE_P(Shards, SwitchModelTest, ::testing::Range(0, 8));

} // namespace norvane::test
