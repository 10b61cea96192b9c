#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "base/cp850.h"
#include "base/named_values.h"
#include "base/process_state.h"
#include "common/recording_messages.h"
#include "common/windows.h"
#include "platform/drives.h"
#include "shell/startup.h"
#include "store/work_areas.h"

namespace kdx2::testing {

// An empty drive C: in a temporary folder, a fresh session and no
// environment settings of the workstation.
class EmptyDrive : public ::testing::Test {
  protected:
    void SetUp() override {
        char pattern[] = "/tmp/kdx2-shell-XXXXXX";
        ASSERT_NE(::mkdtemp(pattern), nullptr);
        root = pattern;
        platform::configureDrives("C=" + root.string());
        for (const char* name : {"TERMINAL", "KDX2DEF", "USUAR", "EQUIP"})
            ::unsetenv(name);
        base::resetProcessState();
    }
    void TearDown() override {
        base::resetProcessState();
        platform::configureDrives("");
        std::filesystem::remove_all(root);
    }

    // A new run of the program on the same drive.
    void restart() {
        base::resetProcessState();
        platform::setCurrentFolder("C:\\");
    }

    std::filesystem::path root;
};

// Runs the start-up; when it ends the program, fails the test naming the
// messages shown.
inline void startOrFail(const RecordingMessages& messages, const std::string& argument = "") {
    try {
        shell::prepareSession(argument);
    } catch (const shell::StartupFailure&) {
        std::string shown;
        for (const auto& box : messages.boxes)
            for (const auto& line : box.lines)
                shown += base::cp850::toUtf8(line) + " / ";
        FAIL() << "start-up ended the program: " << shown;
    }
}

}  // namespace kdx2::testing
