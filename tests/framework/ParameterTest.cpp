// Parameter arithmetic: the normalised mapping, stepping, clamping, display
// and text entry, and what happens with values a host should never send.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "framework/IParameter.h"

namespace {

void InitPercent(IParameter& p) {
    p.InitContinuous("Wet/Dry", "%", 50.0, 0.0, 100.0, 1.0, 1.0);
}

std::string Display(const IParameter& p) {
    char buf[64];
    p.FormatForHost(p.Value(), false, buf, sizeof(buf), true);
    return buf;
}

}  // namespace

TEST(Parameter, ContinuousMappingDoesNotSnapAndRoundTrips) {
    IParameter p;
    InitPercent(p);
    EXPECT_EQ(p.Kind(), IParameter::kKindContinuous);
    EXPECT_EQ(p.Value(), 50.0);
    p.SetFromNormalised(0.505);
    EXPECT_DOUBLE_EQ(p.Value(), 50.5);
    EXPECT_EQ(Display(p), "50");  // truncated toward zero, not rounded
    EXPECT_DOUBLE_EQ(p.GetNormalised(), 0.505);
}

TEST(Parameter, ClampsAtMaximumButNotAtMinimumFromNormalised) {
    IParameter p;
    InitPercent(p);
    p.SetFromNormalised(1.2);
    EXPECT_EQ(p.Value(), 100.0);
    p.SetFromNormalised(-0.1);
    EXPECT_DOUBLE_EQ(p.Value(), -10.0);
    // The normalised value a host reads back is clamped into [0, 1].
    EXPECT_EQ(p.GetNormalised(), 0.0);
    p.SetClamped(-3.0);
    EXPECT_EQ(p.Value(), 0.0);
    p.SetClamped(150.0);
    EXPECT_EQ(p.Value(), 100.0);
}

TEST(Parameter, SteppedKindSnapsHalvesUpward) {
    IParameter p;  // not initialised: kind 0 is a stepped kind, 0..1, step 1
    p.SetFromNormalised(0.49);
    EXPECT_EQ(p.Value(), 0.0);
    p.SetFromNormalised(0.5);
    EXPECT_EQ(p.Value(), 1.0);
}

TEST(Parameter, InitGuaranteesARangeAndDerivesPrecision) {
    IParameter p;
    p.InitContinuous("Zero", "", 0.0, 0.0, 0.0, 1.0, 1.0);
    EXPECT_EQ(p.Maximum(), 1.0);

    IParameter quarter;
    quarter.InitContinuous("Q", "", 2.5, 0.0, 10.0, 0.25, 1.0);
    EXPECT_EQ(quarter.DisplayPrecision(), 2);
    EXPECT_EQ(Display(quarter), "2.50");

    IParameter fine;
    fine.InitContinuous("F", "", 0.0, 0.0, 1.0, 1e-7, 1.0);
    EXPECT_EQ(fine.DisplayPrecision(), 6);

    IParameter shapeKept;
    shapeKept.InitContinuous("S", "", 0.0, 0.0, 1.0, 1.0, 0.0);
    EXPECT_EQ(shapeKept.Shape(), 1.0);
}

TEST(Parameter, ShapeBendsTheMappingBothWays) {
    IParameter p;
    p.InitContinuous("Shaped", "", 0.0, 0.0, 100.0, 1.0, 2.0);
    p.SetFromNormalised(0.5);
    EXPECT_DOUBLE_EQ(p.Value(), 25.0);
    EXPECT_DOUBLE_EQ(p.GetNormalised(), 0.5);
    char buf[32];
    p.FormatForHost(0.5, true, buf, sizeof(buf), true);
    EXPECT_STREQ(buf, "25");
}

TEST(Parameter, NegatedDisplayInvertsTextBothWays) {
    IParameter p;
    p.InitContinuous("Gain", "dB", -12.0, -100.0, 0.0, 1.0, 1.0);
    p.SetNegateDisplay(true);
    EXPECT_EQ(Display(p), "12");
    double v = 0.0;
    ASSERT_TRUE(p.ValueFromText("12", &v));
    p.SetClamped(v);
    EXPECT_EQ(p.Value(), -12.0);
}

TEST(Parameter, DisplayTextsNameValuesAndHideTheLabel) {
    IParameter p;
    p.InitContinuous("Mode", "ms", 1.0, 0.0, 3.0, 1.0, 1.0);
    p.AddDisplayText(1, "Room");
    p.AddDisplayText(2, "");
    EXPECT_EQ(Display(p), "Room");
    EXPECT_STREQ(p.LabelForHost(), "");
    p.SetClamped(2.0);
    EXPECT_EQ(Display(p), "2");  // empty text falls through to the number
    EXPECT_STREQ(p.LabelForHost(), "ms");
    int matched = 0;
    EXPECT_TRUE(p.MatchDisplayText("Room", &matched));
    EXPECT_EQ(matched, 1);
    EXPECT_FALSE(p.MatchDisplayText("room", &matched));
    double v = 0.0;
    EXPECT_FALSE(p.ValueFromText("7", &v));  // must name a display text
}

TEST(Parameter, TextEntryReadsTheLeadingNumber) {
    IParameter p;
    InitPercent(p);
    double v = -1.0;
    ASSERT_TRUE(p.ValueFromText("75 %", &v));
    EXPECT_EQ(v, 75.0);
    ASSERT_TRUE(p.ValueFromText("loud", &v));
    EXPECT_EQ(v, 0.0);
}

TEST(Parameter, InfinityClampsToTheEndsAndNaNKeepsThePreviousValue) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();
    IParameter p;
    InitPercent(p);
    p.SetClamped(30.0);
    p.SetFromNormalised(nan);
    EXPECT_EQ(p.Value(), 30.0);
    p.SetClamped(nan);
    EXPECT_EQ(p.Value(), 30.0);
    p.SetFromNormalised(inf);
    EXPECT_EQ(p.Value(), 100.0);
    p.SetFromNormalised(-inf);
    EXPECT_EQ(p.Value(), 0.0);  // the minimum, not below it as -0.1 would be
    p.SetClamped(inf);
    EXPECT_EQ(p.Value(), 100.0);
    p.SetClamped(-inf);
    EXPECT_EQ(p.Value(), 0.0);

    // Through an even shape -infinity would come out as +infinity.
    IParameter shaped;
    shaped.InitContinuous("Shaped", "", 50.0, 10.0, 20.0, 1.0, 2.0);
    shaped.SetFromNormalised(-inf);
    EXPECT_EQ(shaped.Value(), 10.0);
    shaped.SetFromNormalised(inf);
    EXPECT_EQ(shaped.Value(), 20.0);
}

TEST(Parameter, DisplayOfHugeValuesIsBoundedAndDefined) {
    IParameter p;
    InitPercent(p);
    char small[4];
    p.FormatForHost(12345.0, false, small, sizeof(small), true);
    EXPECT_STREQ(small, "123");  // cut to the caller's buffer, terminated
    char buf[64];
    p.FormatForHost(1e300, false, buf, sizeof(buf), true);
    EXPECT_STREQ(buf, "2147483647");
    p.FormatForHost(std::numeric_limits<double>::quiet_NaN(), false, buf, sizeof(buf), true);
    EXPECT_STREQ(buf, "0");
}
