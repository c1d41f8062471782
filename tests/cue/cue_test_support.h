// Shared by the core's tests: a sound output that records what plays, and a
// fixture that starts every test disarmed with nothing recorded.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "click_target.h"
#include "cue_table.h"
#include "play_cue.h"

std::vector<std::string>& playedSounds();

class CueTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    static void arm(std::int32_t cueId, std::int32_t left, std::int32_t top, std::int32_t width,
                    std::int32_t height);
};
