// Which stream a dual-stream pane shows as it is enlarged and returned to the grid.
#include "pane/dual_switch.h"

#include <gtest/gtest.h>

#include <string>

namespace orvel::pane {
namespace {

// Runs frames written as letters (M/m: main key/other, S/s: sub key/other) and spells the
// actions: '-' dropped, 'h' decoded unseen, 'S' sub shown, 'M' main shown.
std::string run(DualSwitchState& state, int& request, const std::string& frames) {
    std::string out;
    for (char f : frames) {
        const DualFrameClass cls =
            (f == 'M' || f == 'm') ? DualFrameClass::main : DualFrameClass::sub;
        const bool key = f == 'M' || f == 'S';
        switch (dual_switch_step(state, cls, key, request)) {
            case DualAction::drop:
                out += '-';
                break;
            case DualAction::decode_hidden:
                out += 'h';
                break;
            case DualAction::show_sub:
                out += 'S';
                break;
            case DualAction::show_main:
                out += 'M';
                break;
        }
    }
    return out;
}

TEST(DualSwitch, EnlargedPaneShowsMainFromItsKeyFrameAndReturnsOnTheThirdSubKeyFrame) {
    DualSwitchState state;
    int request = 0;
    EXPECT_EQ(run(state, request, "SssMmm"), "SSS---") << "main frames are not ours yet";

    request = 1;  // enlarged: main from its first key frame; sub goes on until then
    EXPECT_EQ(run(state, request, "smmMmsS"), "S--MM--");
    EXPECT_EQ(request, 0);

    request = 2;  // back to the grid
    EXPECT_EQ(run(state, request, "mSsMsSs"), "Mh-M-h-") << "main stays until the sub is back";
    EXPECT_EQ(request, 2);
    // The third sub key frame is decoded and shown: the pictures after it are predicted from
    // it, so skipping it would smear the pane until the next key frame.
    EXPECT_EQ(run(state, request, "Sssm"), "SSS-");
    EXPECT_EQ(request, 0);
    EXPECT_TRUE(state.showing_sub);
    EXPECT_FALSE(state.showing_main);
}

}  // namespace
}  // namespace orvel::pane
