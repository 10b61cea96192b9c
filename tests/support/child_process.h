#pragma once

// Helpers the test programs of every folder share: another workstation run
// as a child process, and commands whose output a test reads back.

#include <sys/types.h>

#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace kdx2::test_support {

// A helper program (tests/NAME/programs) run as a child process, talked to
// line by line through its standard input and output. The destructor closes
// its input, kills it when it is still running and reaps it.
class ChildProcess {
  public:
    ChildProcess(const std::string& program, const std::vector<std::string>& args);
    ~ChildProcess();
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    bool started() const { return pid_ > 0; }
    void send(const std::string& line);
    // The next line the child printed, without its newline; nullopt at its
    // end or when nothing comes within the timeout (so a stuck child fails
    // the test instead of hanging it).
    std::optional<std::string> readLine(int timeoutMs = 20000);
    // send() then readLine(); "(no answer)" when none comes.
    std::string ask(const std::string& line);
    // Closes the child's input: a child holding a lock lets go and ends.
    void release();
    // Waits for the child's end: its exit status, -1 when it did not exit.
    int wait();

  private:
    pid_t pid_ = -1;
    int toChild_ = -1;
    int fromChild_ = -1;
    std::string pending_;
};

// Runs `body` in a forked copy of this test program (its files, drives and
// settings as they stand) and waits for it. Returns the child's exit code:
// 0 when the body returned, 1 when it threw (what it threw goes to standard
// error), the code of an _exit() inside it (a fault plan's kill), or -1 when
// a signal ended it.
int runForked(const std::function<void()>& body);

// Runs a shell command; what it printed on standard output. The wait status
// goes to `status`.
std::string runCommand(const std::string& command, int* status = nullptr);

// Runs a Python script with Debian's interpreter, where python3-dbf and
// python3-dbfread live (the python3 on the PATH may be another one);
// standard output and error together.
std::string runPython(const std::string& script, int* status = nullptr);

}  // namespace kdx2::test_support
