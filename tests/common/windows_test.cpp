#include <gtest/gtest.h>

#include "base/named_values.h"
#include "base/process_state.h"
#include "common/colours.h"
#include "common/windows.h"

using namespace kdx2::common;
using kdx2::platform::Cell;
using kdx2::platform::Grid;

namespace {

class TextWindows : public ::testing::Test {
  protected:
    void SetUp() override {
        kdx2::base::resetProcessState();
        grid = Grid(25, 80, Cell{'.', 0x07});
        setTextSurface([this] { return TextSurface{&grid, 0, 0}; });
    }
    void TearDown() override {
        setTextSurface({});
        kdx2::base::resetProcessState();
    }

    std::string row(int r) const { return grid.rowText(r); }

    Grid grid;
};

}  // namespace

TEST_F(TextWindows, OpenWriteAndCloseRestoresTheScreen) {
    const Grid before = grid;
    DEFINEJAN(3, 30, 31, 63, 5, 10, 8, 20, 2);
    ABREJAN(3);
    EXPECT_TRUE(windowOpen(3));
    // Frame 2: the box lies on the rectangle, in colour 2.
    EXPECT_EQ(grid.cell(5, 10), (Cell{0xDA, 31}));
    EXPECT_EQ(grid.cell(8, 20), (Cell{0xD9, 31}));
    EXPECT_EQ(grid.cell(6, 20), (Cell{0xB3, 31}));

    // Markers switch colours; the last usable column of a framed window is right - 2.
    ESCRJAN(3,
            "ab\x02"
            "cd" +
                REP(10) + "-");
    EXPECT_EQ(row(5).substr(10, 9), "abcd-----");
    EXPECT_EQ(row(6).substr(10, 5), "-----");
    EXPECT_EQ(grid.cell(5, 10).attr, 30);
    EXPECT_EQ(grid.cell(5, 12).attr, 31);
    EXPECT_EQ(windowSlot(3)->lastText, "abcd----------");

    FECHAJAN(3);
    EXPECT_EQ(grid, before);
    EXPECT_FALSE(windowOpen(3));
    FECHAJAN(3);   // not open: nothing happens
    FECHAJAN(42);  // not defined: nothing happens
    EXPECT_EQ(grid, before);
}

TEST_F(TextWindows, FrameOneBoxesOutsideTheCornerAndShadowsFollowFrameSeven) {
    DEFINEJAN(4, 30, 31, 63, 5, 10, 7, 20, 1);
    ABREJAN(4);
    EXPECT_EQ(grid.cell(4, 9).ch, 0xDA);
    EXPECT_EQ(grid.cell(6, 19).ch, 0xD9);

    DEFINEJAN(5, 30, 31, 63, 10, 10, 11, 15, 7);
    EXPECT_EQ(windowSlot(5)->bottom, 13);  // room for the shadow
    ABREJAN(5);
    ESCRJAN(5, "abcdefghij");  // 4 columns a row: right - 2 is the last
    EXPECT_EQ(row(10).substr(10, 6), "abcd..");
    EXPECT_EQ(row(11).substr(10, 6), "efgh\xB0\xB0");  // shadow where a row wraps
    EXPECT_EQ(row(12).substr(10, 2), "ij");
    EXPECT_EQ(grid.cell(12, 12), (Cell{0xB0, 63}));  // after the last character
    EXPECT_EQ(grid.cell(13, 10).ch, '.');
    EXPECT_EQ(grid.cell(13, 11), (Cell{0xB0, 63}));  // the row below, from left + 1
    EXPECT_EQ(grid.cell(13, 15), (Cell{0xB0, 63}));
    EXPECT_EQ(grid.cell(13, 16).ch, '.');
}

TEST_F(TextWindows, WritesAtPositionsAndRecoloursTheLastText) {
    DEFINEJAN(6, 30, 31, 63, 2, 2, 4, 11, 0);
    ABREJAN(6);
    ESCRJAN(6, "0123456789ABCDEFGHIJ");
    ESCRATR(6, 2, 3, 79, 4);  // line length right - left + 1 for frame 0
    EXPECT_EQ(row(3).substr(4, 4), "CDEF");
    EXPECT_EQ(grid.cell(3, 4).attr, 79);
    EXPECT_EQ(grid.cell(3, 8).attr, 30);

    ESCRLCOL(6, 1, 2, "xy");  // keeps the colours on the screen
    EXPECT_EQ(row(2).substr(2, 4), "0xy3");
    EXPECT_EQ(grid.cell(2, 3).attr, 30);

    kdx2::base::session().set("COR_SAY", "N/W+");
    ESCRJAN(0, "status");
    EXPECT_EQ(row(24).substr(0, 6), "status");
    EXPECT_EQ(grid.cell(24, 0).attr, 0xF0);
}

TEST_F(TextWindows, MovesStopAtTheScreenEdge) {
    DEFINEJAN(7, 30, 31, 63, 0, 70, 2, 79, 0);
    ABREJAN(7);
    ESCRJAN(7, "move me");
    MOVEVER(7, kTowardsStart);  // already on row 0
    EXPECT_EQ(windowSlot(7)->top, 0);
    MOVEVER(7, 0);
    EXPECT_EQ(windowSlot(7)->top, 1);
    EXPECT_EQ(row(1).substr(70, 7), "move me");
    EXPECT_EQ(row(0).substr(70, 7), ".......");  // the old place restored
    MOVEHOR(7, 0);
    EXPECT_EQ(windowSlot(7)->right, 80);
    MOVEHOR(7, 0);  // right edge at 80: refused
    EXPECT_EQ(windowSlot(7)->right, 80);
    FECHAJAN(7);
    EXPECT_EQ(grid, Grid(25, 80, Cell{'.', 0x07}));
}

TEST_F(TextWindows, RectanglesOutsideTheGridAreClipped) {
    DEFINEJAN(8, 30, 31, 63, 20, 70, 30, 95, 7);
    ABREJAN(8);
    ESCRJAN(8, std::string(400, 'x'));
    ESCRLCOL(8, 10, 10, "far away");
    ESCRATR(8, 3, 5, 79, 40);
    SCREEN_(9, -5, -5, 40, 100, true);
    ENCHETELA(' ', "W+/B");
    EXPECT_EQ(grid.cell(24, 79), (Cell{' ', 0x1F}));
    SCREEN_(9, 0, 0, 0, 0, false);  // restores the whole grid saved above
    FECHAJAN(8);
    EXPECT_EQ(grid, Grid(25, 80, Cell{'.', 0x07}));
}

TEST(Colours, AttributesAsColourPairsAndComposedLists) {
    EXPECT_EQ(ACHACOR(30), "GR+/B");
    EXPECT_EQ(ACHACOR(112), "N/W");
    EXPECT_EQ(ACHACOR(79), "W+/R");
    EXPECT_EQ(ACHACOR(28), "R+/B");
    kdx2::base::NamedValues s;
    setDefaultColours(s);
    composeColourLists(s);
    EXPECT_EQ(s.text("CORNORM"), "N/W+,W/N,N/N,N/N,N/W+");
    EXPECT_EQ(s.text("CORSELE"), "N/W,W/N,N/N,N/N,N/W+");
    EXPECT_EQ(s.text("CORMENU"), "GR+/B,W/R+,W+/B,W+/B,W+/B,W+/B");
    EXPECT_EQ(s.text("CORPIS"), "\x8F");
    EXPECT_EQ(s.integer("COR_TEL3"), 63);
}
