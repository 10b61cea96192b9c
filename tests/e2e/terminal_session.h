#pragma once

#include <filesystem>
#include <map>
#include <string>

namespace kdx2::e2e {

// build/kdx2 on a real terminal: a tmux session of 80 x 27 with TERM=xterm
// (what PuTTY and most users' terminals say), on the given drive C:. Keys
// are sent the way tmux sends them for that TERM.
class TerminalSession {
  public:
    TerminalSession(const std::filesystem::path& drive, const std::string& arguments = "",
                    const std::map<std::string, std::string>& environment = {});
    ~TerminalSession();
    TerminalSession(const TerminalSession&) = delete;
    TerminalSession& operator=(const TerminalSession&) = delete;

    static bool available();  // tmux is installed
    bool started() const { return started_; }
    // The pane as it stands (UTF-8 lines).
    std::string pane() const;
    // tmux key names ("End", "Home", "F1", "M-i", "Escape", literal text).
    void keys(const std::string& names);
    // Waits up to five seconds for the text on the pane.
    bool waitFor(const std::string& text) const;
    // Waits up to five seconds for the program to end; its exit status, or
    // -1 when it is still running.
    int waitForExit() const;

  private:
    std::string tmux(const std::string& command) const;
    std::string socket_;
    std::filesystem::path script_;
    std::filesystem::path status_;
    bool started_ = false;
};

}  // namespace kdx2::e2e
