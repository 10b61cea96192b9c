#pragma once

// A temporary drive C: for tests that write real tables, a feedback sink that
// records what the store tells the user, and a way to run the independent
// readers (python3-dbf, python3-dbfread, index_dump) on the files written.

#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "base/named_values.h"
#include "platform/drives.h"
#include "store/feedback.h"
#include "store/table.h"
#include "store/work_areas.h"

namespace kdx2::testing_store {

// Records messages, status texts and alerts; Esc is "pressed" after
// `escAfterWaits` waits (never when negative). Waits take no real time unless
// `realWaits` is set (tests against another process need real time to pass).
class RecordingFeedback : public store::Feedback {
  public:
    std::vector<std::string> messages, statuses, alerts;
    int waits = 0;
    int escAfterWaits = -1;
    bool realWaits = false;

    void showMessage(const std::string& text) override { messages.push_back(text); }
    void status(const std::string& text) override { statuses.push_back(text); }
    void alert(const std::string& text) override { alerts.push_back(text); }
    bool escPressed() override { return escAfterWaits >= 0 && waits >= escAfterWaits; }
    void wait(int milliseconds) override {
        ++waits;
        if (realWaits) store::Feedback::wait(milliseconds);
    }
};

class StoreTest : public ::testing::Test {
  protected:
    std::filesystem::path root;
    RecordingFeedback fb;

    void SetUp() override {
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        root = std::filesystem::temp_directory_path() /
               ("kdx2_" + std::string(info->test_suite_name()) + "_" + info->name() + "_" +
                std::to_string(::getpid()));
        std::filesystem::remove_all(root);
        std::filesystem::create_directories(root / "DADOS");
        platform::configureDrives("C=" + root.string());
        platform::setCurrentFolder("C:\\DADOS");
        base::NamedValues& s = base::session();
        s.clear();
        s.set("LOCARQ", base::Value("C:\\DADOS\\"));
        s.set("ARQDEF", base::Value("C:\\"));
        s.set("NUSU", base::Value("03"));
        store::setFeedback(&fb);
        store::setDeletedFilter(true);
    }
    void TearDown() override {
        try {
            store::workAreas().closeAll();
        } catch (...) {
        }
        store::setFeedback(nullptr);
        std::error_code ignored;
        std::filesystem::remove_all(root, ignored);
    }

    std::string host(const std::string& relative) const { return (root / relative).string(); }

    std::vector<unsigned char> bytesOf(const std::string& relative) const {
        std::ifstream in(host(relative), std::ios::binary);
        return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    }
};

// Runs a shell command and returns what it printed on standard output; the
// exit status goes to `status`.
inline std::string runCommand(const std::string& command, int* status = nullptr) {
    std::string out;
    FILE* pipe = ::popen(command.c_str(), "r");
    if (!pipe) return out;
    std::array<char, 4096> buffer{};
    size_t n;
    while ((n = std::fread(buffer.data(), 1, buffer.size(), pipe)) > 0)
        out.append(buffer.data(), n);
    const int rc = ::pclose(pipe);
    if (status) *status = rc;
    return out;
}

// Runs a Python script with Debian's interpreter (where python3-dbf and
// python3-dbfread live).
inline std::string runPython(const std::string& script, int* status = nullptr) {
    const std::string file =
        (std::filesystem::temp_directory_path() / ("kdx2_py_" + std::to_string(::getpid()) + ".py"))
            .string();
    std::ofstream(file) << script;
    std::string out = runCommand("/usr/bin/python3 " + file + " 2>&1", status);
    std::filesystem::remove(file);
    return out;
}

#ifdef KDX2_TEST_PROGRAMS
// Another workstation: tests/store/programs/lock_peer.cpp run as a child
// process over the same host folder, talked to through its stdin and stdout.
class Peer {
  public:
    explicit Peer(const std::vector<std::string>& args) {
        int in[2], out[2];
        if (::pipe(in) != 0 || ::pipe(out) != 0) return;
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, in[0], 0);
        posix_spawn_file_actions_adddup2(&actions, out[1], 1);
        posix_spawn_file_actions_addclose(&actions, in[1]);
        posix_spawn_file_actions_addclose(&actions, out[0]);
        const std::string program = std::string(KDX2_TEST_PROGRAMS) + "/store_lock_peer";
        std::vector<char*> argv{const_cast<char*>(program.c_str())};
        for (const std::string& a : args)
            argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        if (::posix_spawn(&pid_, program.c_str(), &actions, nullptr, argv.data(), environ) != 0)
            pid_ = -1;
        posix_spawn_file_actions_destroy(&actions);
        ::close(in[0]);
        ::close(out[1]);
        toChild_ = in[1];
        fromChild_ = ::fdopen(out[0], "r");
    }
    ~Peer() {
        release();
        if (pid_ > 0) {
            ::kill(pid_, SIGKILL);
            ::waitpid(pid_, nullptr, 0);
        }
        if (fromChild_) ::fclose(fromChild_);
    }
    // The next line the peer printed ("" at its end).
    std::string readLine() {
        char buffer[256];
        if (!fromChild_ || !std::fgets(buffer, sizeof buffer, fromChild_)) return "";
        std::string line = buffer;
        if (!line.empty() && line.back() == '\n') line.pop_back();
        return line;
    }
    void send(const std::string& line) {
        const std::string text = line + "\n";
        if (toChild_ >= 0 && ::write(toChild_, text.data(), text.size()) < 0) release();
    }
    // Closes the peer's stdin: a holding peer lets go and ends.
    void release() {
        if (toChild_ >= 0) ::close(toChild_);
        toChild_ = -1;
    }
    // Waits for the peer's end; its exit status (-1 when it did not exit).
    int wait() {
        release();
        int status = 0;
        if (pid_ <= 0 || ::waitpid(pid_, &status, 0) != pid_) return -1;
        pid_ = -1;
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

  private:
    pid_t pid_ = -1;
    int toChild_ = -1;
    FILE* fromChild_ = nullptr;
};
#endif

}  // namespace kdx2::testing_store
