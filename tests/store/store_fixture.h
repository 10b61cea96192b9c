#pragma once

// A temporary drive C: for tests that write real tables, a feedback sink that
// records what the store tells the user, and a way to run the independent
// readers (python3-dbf, python3-dbfread, index_dump) on the files written.

#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>
#include <vector>

#include "base/named_values.h"
#include "platform/drives.h"
#include "store/feedback.h"
#include "store/table.h"
#include "store/work_areas.h"
#include "support/child_process.h"
#include "support/temp_drive.h"

namespace kdx2::testing_store {

// Records messages, status texts and alerts; Esc is "pressed" after
// `escAfterWaits` waits (never when negative). Waits take no real time unless
// `realWaits` is set (tests against another process need real time to pass).
// `onWait` runs at the start of each wait, so that a test can let another
// process go exactly while a lock is being waited for.
class RecordingFeedback : public store::Feedback {
  public:
    std::vector<std::string> messages, statuses, alerts;
    bool boxShown = false;   // a progress message is on the screen
    int alertsOverABox = 0;  // alerts raised while one still was
    int waits = 0;
    int escAfterWaits = -1;
    bool realWaits = false;
    std::function<void()> onWait;

    void showMessage(const std::string& text) override {
        messages.push_back(text);
        boxShown = true;
    }
    void closeMessage() override { boxShown = false; }
    void status(const std::string& text) override { statuses.push_back(text); }
    void alert(const std::string& text) override {
        alerts.push_back(text);
        if (boxShown) ++alertsOverABox;
    }
    bool escPressed() override { return escAfterWaits >= 0 && waits >= escAfterWaits; }
    void wait(int milliseconds) override {
        ++waits;
        if (onWait) onWait();
        if (realWaits) store::Feedback::wait(milliseconds);
    }
};

class StoreTest : public ::testing::Test {
  protected:
    std::filesystem::path root;
    RecordingFeedback fb;

    void SetUp() override { root = test_support::setUpTempDrive("kdx2", fb); }
    void TearDown() override {
        base::resetProcessState();
        std::error_code ignored;
        std::filesystem::remove_all(root, ignored);
    }

    std::string host(const std::string& relative) const { return (root / relative).string(); }

    std::vector<unsigned char> bytesOf(const std::string& relative) const {
        std::ifstream in(host(relative), std::ios::binary);
        return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    }
};

using test_support::runCommand;
using test_support::runPython;

#ifdef KDX2_TEST_PROGRAMS
// Another workstation: tests/store/programs/lock_peer.cpp run as a child
// process over the same host folder, talked to through its stdin and stdout.
class Peer : public test_support::ChildProcess {
  public:
    explicit Peer(const std::vector<std::string>& args)
        : ChildProcess(std::string(KDX2_TEST_PROGRAMS) + "/store_lock_peer", args) {}
};
#endif

}  // namespace kdx2::testing_store
