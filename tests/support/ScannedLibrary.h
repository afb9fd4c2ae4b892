#pragma once

#include "catalog/PluginLibrary.h"
#include "support/MessageLoop.h"

#include <gtest/gtest.h>

namespace norvane::test
{

/** Runs the message loop until the library's scan has published. */
inline void waitForScan(const PluginLibrary& library)
{
    EXPECT_TRUE(waitUntil([&] { return !library.isScanning(); }, 30.0)) << "the scan never ended";
}

} // namespace norvane::test
