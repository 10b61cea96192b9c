#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <ctime>
#include <fstream>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "base/error.h"
#include "platform/console/console.h"
#include "platform/console/grid.h"
#include "platform/console/keys.h"

using namespace kdx2::platform;

TEST(Grid, EveryOperationIsClippedToTheGrid) {
    Grid grid(25, 80);
    EXPECT_EQ(grid.write(24, 75, "abcdefghij", 0x1F), 85);
    EXPECT_EQ(grid.rowText(24).substr(75), "abcde");
    grid.write(-1, 0, "x", 0x07);
    grid.write(3, -2, "xyz", 0x07);
    EXPECT_EQ(grid.rowText(3).substr(0, 2), "z ");
    grid.fill(Rect{-10, -10, 100, 2}, Cell{'#', 0x07});
    EXPECT_EQ(grid.rowText(0).substr(0, 4), "### ");
    grid.box(Rect{20, 70, 30, 90}, kSingleFrame, 0x07);  // only the part inside is drawn
    EXPECT_EQ(grid.cell(20, 70).ch, 0xDA);
    const SavedRegion saved = grid.save(Rect{-5, 78, 2, 200});
    EXPECT_EQ(saved.rect, (Rect{0, 78, 2, 79}));
    grid.clear(Cell{});
    grid.restore(saved);
    EXPECT_EQ(grid.cell(0, 78).ch, ' ');
    grid.restoreAt(saved, 24, 79);  // partly outside: cut
    grid.scroll(Rect{-3, -3, 200, 200}, 2, Cell{});
    Grid small(2, 3);
    small.blit(grid, -10, -10);
    SUCCEED();
}

TEST(Keys, ScriptNamesMapToTheProgramsKeyCodes) {
    EXPECT_EQ(keys::fromName("Enter"), keys::Enter);
    EXPECT_EQ(keys::fromName("shift+tab"), keys::ShiftTab);
    EXPECT_EQ(keys::fromName("F10"), keys::function(10));
    EXPECT_EQ(keys::fromName("Alt+I"), keys::alt('I'));
    EXPECT_EQ(keys::fromName("Ctrl+Y"), keys::CtrlY);
    EXPECT_EQ(keys::fromName("Alt+F4"), keys::altFunction(4));
    EXPECT_EQ(keys::fromName("F13"), std::nullopt);
    EXPECT_EQ(keys::fromName("Hyper+X"), std::nullopt);
    EXPECT_NE(keys::ctrl('C'), keys::PgDn);  // copy is never a page key
    EXPECT_NE(keys::ctrl('V'), keys::Ins);
    EXPECT_EQ(keys::name(keys::alt('T')), "Alt+T");
    EXPECT_EQ(keys::name(keys::shiftFunction(3)), "Shift+F3");
}

namespace {

HeadlessStop stopOf(std::string_view script) {
    try {
        auto console = headlessConsoleFromText(script);
        for (int i = 0; i < 100; ++i)
            console->nextEvent(-1);
    } catch (const HeadlessStop& stop) {
        return stop;
    }
    return HeadlessStop{-1, "did not stop"};
}

}  // namespace

TEST(HeadlessScript, BadLinesStopTheRunNamingTheLine) {
    const HeadlessStop unknown = stopOf("key Enter\n\n# note\nclik 3 4\n");
    EXPECT_EQ(unknown.exitCode, 2);
    EXPECT_NE(unknown.message.find("linha 4"), std::string::npos) << unknown.message;
    EXPECT_NE(unknown.message.find("clik"), std::string::npos);
    EXPECT_EQ(stopOf("key Hyper+Q\n").exitCode, 2);
    EXPECT_NE(stopOf("type a\nclick 27 0\n").message.find("linha 2"), std::string::npos);
    EXPECT_EQ(stopOf("menu A >  > B\n").exitCode, 2);
    EXPECT_EQ(stopOf("wait -1\n").exitCode, 2);
    EXPECT_EQ(stopOf("key Enter\n").exitCode, 0);
}

TEST(HeadlessScript, EventsComeInOrderWithTheirLines) {
    auto console =
        headlessConsoleFromText("type aç\nkey Alt+X\nclick 5 7\nmenu 1003\nmenu Arquivo > Sair\n");
    Event e = console->nextEvent(-1);
    EXPECT_EQ(e.key, 'a');
    EXPECT_EQ(e.line, 1);
    EXPECT_EQ(console->nextEvent(-1).key, 0x87);  // ç in CP850
    EXPECT_EQ(console->nextEvent(-1).key, keys::alt('X'));
    e = console->nextEvent(-1);
    EXPECT_EQ(e.kind, EventKind::Click);
    EXPECT_EQ(e.row, 5);
    EXPECT_EQ(e.col, 7);
    EXPECT_EQ(console->nextEvent(-1).command, 1003);
    e = console->nextEvent(-1);
    EXPECT_EQ(e.path, (std::vector<std::string>{"Arquivo", "Sair"}));
    EXPECT_EQ(e.line, 5);
}

TEST(HeadlessScript, WaitMovesTheClockAndTimesOutReads) {
    auto console = headlessConsoleFromText("wait 2.5\nkey Esc\n");
    EXPECT_EQ(console->nowMs(), 0);
    EXPECT_EQ(console->nextEvent(1000).kind, EventKind::Timeout);
    EXPECT_EQ(console->nowMs(), 1000);
    EXPECT_EQ(console->nextEvent(-1).key, keys::Esc);
    EXPECT_EQ(console->nowMs(), 2500);
}

// Seconds from the start of the julian calendar, so that two moments on
// either side of midnight still subtract.
long long absoluteSeconds(const LocalTime& time) {
    return static_cast<long long>(time.date.julian()) * 86400 + time.secondsSinceMidnight;
}

TEST(HeadlessScript, DateAndTimeStartAtTheSystemClockAndMoveOnlyWithWaitLines) {
    const LocalTime system = localTimeAt(std::time(nullptr));
    auto console = headlessConsoleFromText("wait 5400\nkey Esc\n");
    const LocalTime start = console->localTime();
    EXPECT_LE(std::abs(absoluteSeconds(start) - absoluteSeconds(system)), 2);
    std::this_thread::sleep_for(std::chrono::milliseconds(1100));
    EXPECT_EQ(absoluteSeconds(console->localTime()), absoluteSeconds(start));
    EXPECT_EQ(console->nextEvent(-1).key, keys::Esc);
    EXPECT_EQ(absoluteSeconds(console->localTime()) - absoluteSeconds(start), 5400);
}

// The end of the script unwinds the program: a wait after it ends the run
// again, but one from a destructor on the way out gets Esc instead of a
// second exception.
TEST(HeadlessScript, WaitsAfterTheEndStopAgainExceptWhileUnwinding) {
    auto console = headlessConsoleFromText("key Enter\n");
    EXPECT_EQ(console->nextEvent(-1).key, keys::Enter);
    EXPECT_THROW(console->nextEvent(-1), HeadlessStop);
    EXPECT_THROW(console->nextEvent(-1), HeadlessStop);
    struct PromptOnTheWayOut {
        Console& console;
        int& key;
        ~PromptOnTheWayOut() { key = console.nextEvent(-1).key; }
    };
    int key = 0;
    try {
        const PromptOnTheWayOut prompt{*console, key};
        throw std::runtime_error("leaving");
    } catch (const std::runtime_error&) {
    }
    EXPECT_EQ(key, keys::Esc);
}

TEST(HeadlessScript, ExpectAndSnapReadTheComposedScreen) {
    const std::string snap = ::testing::TempDir() + "kdx2_snap.txt";
    auto console = headlessConsoleFromText("snap " + snap + "\nexpect Olá\nexpect Nada\n");
    console->screen().write(3, 2, "Ol\xA0", 0x07);  // CP850 á
    const HeadlessStop stop = [&] {
        try {
            console->nextEvent(-1);
        } catch (const HeadlessStop& s) {
            return s;
        }
        return HeadlessStop{-1, ""};
    }();
    EXPECT_EQ(stop.exitCode, 2);
    EXPECT_NE(stop.message.find("linha 3"), std::string::npos);
    std::ifstream in(snap);
    std::string line;
    for (int i = 0; i < 4; ++i)
        std::getline(in, line);
    EXPECT_EQ(line, "  Olá");
}

TEST(CommandLine, HeadlessOptionIsTakenOutOfTheArguments) {
    const std::string script = ::testing::TempDir() + "kdx2_cmd.txt";
    std::ofstream(script) << "key Enter\n";
    std::string a0 = "kdx2", a1 = "07", a2 = "--headless", a3 = script;
    char* argv[] = {a0.data(), a2.data(), a3.data(), a1.data(), nullptr};
    int argc = 4;
    auto console = openConsole(argc, argv);
    ASSERT_TRUE(console);
    EXPECT_TRUE(console->isHeadless());
    EXPECT_EQ(argc, 2);
    EXPECT_STREQ(argv[1], "07");
    EXPECT_EQ(argv[2], nullptr);
    char* missing[] = {a0.data(), a2.data(), nullptr};
    int two = 2;
    EXPECT_THROW(openConsole(two, missing), kdx2::base::Error);
}
