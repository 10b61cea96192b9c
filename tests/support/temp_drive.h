#pragma once

// A temporary drive C: for tests that write real tables. Header-only, so that
// only the test programs that use it link the store.

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <string>

#include "base/named_values.h"
#include "base/process_state.h"
#include "platform/drives.h"
#include "store/feedback.h"
#include "store/table.h"

namespace kdx2::test_support {

// Maps drive C: to a fresh host folder named after the running test, with
// C:\DADOS\ as data folder (also the current folder), C:\ as install folder
// and terminal "03"; the store's messages go to `feedback` and deleted rows
// are hidden. Returns the host folder.
inline std::filesystem::path setUpTempDrive(const std::string& prefix, store::Feedback& feedback) {
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    const std::filesystem::path root =
        std::filesystem::temp_directory_path() / (prefix + "_" + info->test_suite_name() + "_" +
                                                  info->name() + "_" + std::to_string(::getpid()));
    std::filesystem::remove_all(root);
    std::filesystem::create_directories(root / "DADOS");
    platform::configureDrives("C=" + root.string());
    platform::setCurrentFolder("C:\\DADOS");
    base::resetProcessState();
    base::NamedValues& session = base::session();
    session.set("LOCARQ", base::Value("C:\\DADOS\\"));
    session.set("ARQDEF", base::Value("C:\\"));
    session.set("NUSU", base::Value("03"));
    store::setFeedback(&feedback);
    store::setDeletedFilter(true);
    return root;
}

}  // namespace kdx2::test_support
