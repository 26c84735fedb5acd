// What a knob drag from the default value, two 8-pixel steps up, must
// report to the host, whichever window or host records it: begin, the two
// new values, end, all for one parameter.
#pragma once

#include <gtest/gtest.h>

#include <vector>

#include "vst2/VstAbi.h"

// `calls` holds only the gesture and automation calls, in order.
template <typename Call>
void ExpectTwoStepDragGesture(const std::vector<Call>& calls, int index) {
    ASSERT_EQ(calls.size(), 4u);
    EXPECT_EQ(calls[0].opcode, audioMasterBeginEdit);
    EXPECT_EQ(calls[0].index, index);
    EXPECT_EQ(calls[1].opcode, audioMasterAutomate);
    EXPECT_FLOAT_EQ(calls[1].opt, 0.5f + 8.0f / 256.0f);
    EXPECT_FLOAT_EQ(calls[2].opt, 0.5f + 16.0f / 256.0f);
    EXPECT_EQ(calls[3].opcode, audioMasterEndEdit);
}
