// Where the priority menu lands beside the cursor: the gap rules of the arrow's
// hot spot, the flips at the right and bottom edges of the work area, and the
// final clamp to its left and top.
#include <gtest/gtest.h>

#include <cstdint>

#include "priority/placement.h"

namespace {

// The standard arrow: its hot spot is the image's top-left pixel.
constexpr MenuPoint arrow = {0, 0};
// A roomy primary work area with a taskbar of 24 px at the bottom.
constexpr WorkArea screen = {0, 0, 1280, 1000};
constexpr MenuSize menu = {100, 150};

void expectAt(MenuPoint got, std::int32_t x, std::int32_t y) {
    EXPECT_EQ(got.x, x) << "menu left";
    EXPECT_EQ(got.y, y) << "menu top";
}

TEST(CursorGaps, ForwardSixteenUpToAHotSpotOf16ThenShrinking) {
    struct Case {
        std::int64_t hotSpot;
        std::int64_t forward;
        std::int64_t backward;
    };
    // 16 is the last hot spot of the small rule: backward grows as 4 + h up
    // to it, forward shrinks as 36 - h beyond it.
    const Case cases[] = {{0, 16, 4}, {16, 16, 20}, {17, 19, 16}, {31, 5, 16}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.hotSpot);
        EXPECT_EQ(cursorGaps(c.hotSpot).forward, c.forward);
        EXPECT_EQ(cursorGaps(c.hotSpot).backward, c.backward);
    }
}

TEST(PlaceMenu, WithRoomTheCornerIsSixteenRightAndBelowTheHotSpot) {
    expectAt(placeMenu({500, 400}, arrow, menu, screen), 516, 416);
    expectAt(placeMenu({0, 0}, arrow, menu, screen), 16, 16);
}

TEST(PlaceMenu, FarEdgeExactlyOnRightOrBottomStillFits) {
    // 1164 + 100 + 16 = 1280 = area.right: not beyond it.
    expectAt(placeMenu({1164, 834}, arrow, menu, screen), 1180, 850);
    // One pixel further and the menu flips to the other side on that axis.
    expectAt(placeMenu({1165, 400}, arrow, menu, screen), 1165 - 100 - 4, 416);
    expectAt(placeMenu({500, 835}, arrow, menu, screen), 516, 835 - 150 - 4);
}

TEST(PlaceMenu, NoRoomToTheRightPutsTheMenuFourPixelsLeftOfTheHotSpot) {
    expectAt(placeMenu({1200, 400}, arrow, menu, screen), 1096, 416);
    // A hot spot up to 4 px beyond area.right still takes the flip...
    expectAt(placeMenu({1284, 400}, arrow, menu, screen), 1180, 416);
}

TEST(PlaceMenu, CursorFarRightOfTheAreaPutsTheRightEdgeOnAreaRight) {
    // ...further right (over a taskbar on the right) the flipped menu would
    // still cross area.right, so its right edge goes onto it.
    expectAt(placeMenu({1285, 400}, arrow, menu, screen), 1180, 416);
    expectAt(placeMenu({1300, 400}, arrow, menu, screen), 1180, 416);
}

TEST(PlaceMenu, NoRoomBelowFlipsAboveWhenTheCursorIsTwelveOrMoreAboveTheBottom) {
    expectAt(placeMenu({500, 988}, arrow, menu, screen), 516, 988 - 150 - 4);
    expectAt(placeMenu({500, 900}, arrow, menu, screen), 516, 900 - 150 - 4);
}

TEST(PlaceMenu, CursorNearOrBelowTheBottomPutsTheBottomEdgeOnAreaBottom) {
    // The second vertical test keeps the forward gap: 1 to 11 px above the
    // bottom, on it, or below it over a taskbar, the menu sits on the edge.
    for (const std::int32_t y : {989, 995, 999, 1000, 1010, 1023}) {
        SCOPED_TRACE(y);
        expectAt(placeMenu({500, y}, arrow, menu, screen), 516, 1000 - 150);
    }
}

TEST(PlaceMenu, BothEdgesAtOnceInTheBottomRightCorner) {
    expectAt(placeMenu({1270, 995}, arrow, menu, screen), 1166, 850);
    expectAt(placeMenu({1200, 900}, arrow, menu, screen), 1096, 746);
}

TEST(PlaceMenu, HotSpotOf31GivesForward5AndBackward16) {
    const MenuPoint big = {31, 31};
    expectAt(placeMenu({500, 400}, big, menu, screen), 505, 405);
    expectAt(placeMenu({1200, 900}, big, menu, screen), 1200 - 100 - 16, 900 - 150 - 16);
    // The bottom's second test uses forward 5 here: at 990 the flipped menu
    // stays above, where the standard arrow would put it on the edge.
    expectAt(placeMenu({500, 990}, big, menu, screen), 505, 990 - 150 - 16);
    expectAt(placeMenu({500, 990}, arrow, menu, screen), 516, 850);
}

TEST(PlaceMenu, HotSpotOfExactly16GivesForward16AndBackward20) {
    const MenuPoint sixteen = {16, 16};
    expectAt(placeMenu({500, 400}, sixteen, menu, screen), 516, 416);
    expectAt(placeMenu({1200, 900}, sixteen, menu, screen), 1200 - 100 - 20, 900 - 150 - 20);
}

TEST(PlaceMenu, EachAxisUsesItsOwnHotSpot) {
    expectAt(placeMenu({500, 400}, {31, 0}, menu, screen), 505, 416);
    expectAt(placeMenu({1200, 900}, {0, 31}, menu, screen), 1096, 734);
}

TEST(PlaceMenu, MenuLargerThanTheWorkAreaKeepsItsLeftAndTopEdges) {
    const WorkArea small = {0, 0, 300, 200};
    const MenuSize huge = {400, 300};
    expectAt(placeMenu({100, 100}, arrow, huge, small), 0, 0);
    expectAt(placeMenu({290, 190}, arrow, huge, small), 0, 0);
    expectAt(placeMenu({350, 250}, arrow, huge, small), 0, 0);
}

TEST(PlaceMenu, SecondMonitorAtNegativeCoordinates) {
    // Left of and above the primary monitor.
    const WorkArea left = {-1280, -200, 0, 824};
    expectAt(placeMenu({-1000, -100}, arrow, menu, left), -984, -84);
    expectAt(placeMenu({-100, 700}, arrow, menu, left), -204, 546);
    expectAt(placeMenu({-50, 820}, arrow, menu, left), -154, 674);
    // A menu larger than this area still keeps the area's left and top.
    const WorkArea tiny = {-1280, -200, -1180, -120};
    expectAt(placeMenu({-1200, -150}, arrow, menu, tiny), -1280, -200);
}

TEST(PlaceMenu, ArithmeticDoesNotOverflowNearTheEdgesOf32Bits) {
    // In 32 bits cursor + width + gap would wrap negative and the menu would
    // not flip; worked in 64 bits it flips as anywhere else.
    const WorkArea far = {INT32_MAX - 2000, INT32_MAX - 2000, INT32_MAX, INT32_MAX};
    const std::int32_t near = INT32_MAX - 50;
    expectAt(placeMenu({near, near}, arrow, menu, far), near - 104, near - 154);
    const WorkArea low = {INT32_MIN, INT32_MIN, INT32_MIN + 2000, INT32_MIN + 2000};
    expectAt(placeMenu({INT32_MIN + 2, INT32_MIN + 2}, {31, 31}, {3000, 3000}, low), INT32_MIN, INT32_MIN);
}

TEST(ClampToTopLeft, MovesOnlyACornerLeftOfOrAboveTheArea) {
    const WorkArea area = {-1280, 0, 0, 1000};
    expectAt(clampToTopLeft({-1300, -5}, area), -1280, 0);
    expectAt(clampToTopLeft({-1000, 500}, area), -1000, 500);
    expectAt(clampToTopLeft({-1280, 0}, area), -1280, 0);
    // Right and bottom are not this step's business.
    expectAt(clampToTopLeft({50, 1200}, area), 50, 1200);
}

}  // namespace
