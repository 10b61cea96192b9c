#pragma once

#include <string>
#include <vector>

// Other programs started by kdx2 (the print utility, the text viewer, the
// calculator). They are always started directly, with their arguments as a
// list and never through a command interpreter, so a path with blanks or
// with characters such as "&" reaches the program as one argument.
namespace kdx2::platform {

// What the started program gets for its standard input, output and error.
enum class ProgramTerminal {
    // /dev/null: the program must not draw over kdx2's screen, nor write
    // into a headless run's output.
    None,
    // The user's terminal: kdx2's screen is put aside while the program runs
    // and drawn again after it ends (a viewer, an interactive utility).
    HandOver,
};

struct ProgramRun {
    bool started = false;  // false: `error` says why it could not start
    bool exited = false;   // ended by itself: exitCode is its status
    int exitCode = -1;
    int signal = 0;     // the signal that ended it, when it did not exit
    std::string error;  // Portuguese (CP850), when not started
};

// Starts `program` (a host path, or a bare name looked up in PATH) with
// `arguments` (argv[1] ...). Host paths and arguments are UTF-8. With wait,
// returns after the program ended; otherwise as soon as it started (it is
// reaped by a later call). Interrupt and quit keys reach only the program
// while kdx2 waits for it.
ProgramRun runProgram(const std::string& program, const std::vector<std::string>& arguments,
                      bool wait, ProgramTerminal terminal = ProgramTerminal::None);

// A file of the host's temporary folder for handing data to another
// program (a PDF for the printer, a copy for the viewer), removed when the
// object goes. Throws base::Error when it cannot be created or written.
class TemporaryHostFile {
  public:
    // Named prefix + six random characters + suffix.
    TemporaryHostFile(const std::string& prefix, const std::string& suffix);
    ~TemporaryHostFile();
    TemporaryHostFile(const TemporaryHostFile&) = delete;
    TemporaryHostFile& operator=(const TemporaryHostFile&) = delete;

    const std::string& hostPath() const { return path_; }
    void write(const std::string& contents);

  private:
    std::string path_;
};

// A command line such as $PAGER ("less -R") split at blanks into the program
// and its arguments; quotes are not interpreted.
std::vector<std::string> splitCommandWords(const std::string& command);

}  // namespace kdx2::platform
