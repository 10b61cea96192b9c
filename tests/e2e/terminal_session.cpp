#include "terminal_session.h"

#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <thread>

#include "support/child_process.h"
#include "whole_program.h"

namespace kdx2::e2e {

TerminalSession::TerminalSession(const std::filesystem::path& drive, const std::string& arguments,
                                 const std::map<std::string, std::string>& environment) {
    static int count = 0;
    socket_ = "kdx2-e2e-" + std::to_string(::getpid()) + "-" + std::to_string(++count);
    script_ = drive.parent_path() / (socket_ + ".sh");
    status_ = drive.parent_path() / (socket_ + ".status");
    {
        std::ofstream out(script_);
        out << "unset TERMINAL KDX2DEF USUAR EQUIP\n"
            << "export TERM=xterm LANG=C.UTF-8 KDX2_DRIVES=" << quoted("C=" + drive.string())
            << "\n";
        for (const auto& [name, value] : environment)
            out << "export " << name << "=" << quoted(value) << "\n";
        out << quoted(KDX2_BINARY) << " " << arguments << "\n"
            << "echo $? > " << quoted(status_.string()) << "\n"
            << "sleep 60\n";
    }
    started_ =
        std::system(("tmux -L " + socket_ + " -f /dev/null new-session -d -s t -x 80 -y 27 " +
                     quoted("sh " + script_.string()))
                        .c_str()) == 0;
}

TerminalSession::~TerminalSession() {
    tmux("kill-server 2>/dev/null");
    std::filesystem::remove(script_);
    std::filesystem::remove(status_);
}

bool TerminalSession::available() {
    return std::system("tmux -V >/dev/null 2>&1") == 0;
}

std::string TerminalSession::tmux(const std::string& command) const {
    return test_support::runCommand("tmux -L " + socket_ + " " + command);
}

std::string TerminalSession::pane() const {
    return tmux("capture-pane -p -t t");
}

void TerminalSession::keys(const std::string& names) {
    tmux("send-keys -t t " + names);
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
}

bool TerminalSession::waitFor(const std::string& text) const {
    for (int i = 0; i < 100; ++i) {
        if (pane().find(text) != std::string::npos) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return false;
}

int TerminalSession::waitForExit() const {
    for (int i = 0; i < 100; ++i) {
        int status = -1;
        if (std::ifstream(status_) >> status) return status;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return -1;
}

}  // namespace kdx2::e2e
