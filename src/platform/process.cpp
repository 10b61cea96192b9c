#include "platform/process.h"

#include <curses.h>
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <optional>
#include <vector>

#include "base/cp850.h"
#include "base/error.h"
#include "platform/file.h"

extern char** environ;

namespace kdx2::platform {

using namespace base::literals;

namespace {

// Children started without waiting, reaped once they end.
std::vector<pid_t>& unwaited() {
    static std::vector<pid_t> pids;
    return pids;
}

void reapFinished() {
    auto& pids = unwaited();
    pids.erase(std::remove_if(pids.begin(), pids.end(),
                              [](pid_t pid) { return ::waitpid(pid, nullptr, WNOHANG) != 0; }),
               pids.end());
}

// Messages name the program, not the host folder it lives in.
std::string startError(const std::string& program, int error) {
    const size_t slash = program.rfind('/');
    const std::string name =
        base::cp850::fromUtf8(slash == std::string::npos ? program : program.substr(slash + 1));
    if (error == ENOENT) return "O programa "_cp + name + " não foi encontrado."_cp;
    if (error == EACCES || error == EPERM)
        return "O programa "_cp + name + " não pode ser executado (sem permissão)."_cp;
    return "Não foi possível iniciar o programa "_cp + name + ": " + describeSystemError(error);
}

// The signals kdx2 catches (to restore the terminal) or ignores go back to
// their defaults in the child, and none stays blocked.
class SpawnAttributes {
  public:
    SpawnAttributes() {
        posix_spawnattr_init(&attributes_);
        sigset_t defaults;
        sigemptyset(&defaults);
        for (int signal : {SIGINT, SIGQUIT, SIGTERM, SIGHUP, SIGPIPE, SIGSEGV, SIGABRT, SIGTSTP,
                           SIGCHLD, SIGWINCH})
            sigaddset(&defaults, signal);
        sigset_t none;
        sigemptyset(&none);
        posix_spawnattr_setsigdefault(&attributes_, &defaults);
        posix_spawnattr_setsigmask(&attributes_, &none);
        posix_spawnattr_setflags(&attributes_, POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETSIGMASK);
    }
    ~SpawnAttributes() { posix_spawnattr_destroy(&attributes_); }
    SpawnAttributes(const SpawnAttributes&) = delete;
    SpawnAttributes& operator=(const SpawnAttributes&) = delete;
    const posix_spawnattr_t* get() const { return &attributes_; }

  private:
    posix_spawnattr_t attributes_;
};

class FileActions {
  public:
    explicit FileActions(ProgramTerminal terminal) {
        posix_spawn_file_actions_init(&actions_);
        if (terminal == ProgramTerminal::None) {
            posix_spawn_file_actions_addopen(&actions_, 0, "/dev/null", O_RDONLY, 0);
            posix_spawn_file_actions_addopen(&actions_, 1, "/dev/null", O_WRONLY, 0);
            posix_spawn_file_actions_addopen(&actions_, 2, "/dev/null", O_WRONLY, 0);
        }
    }
    ~FileActions() { posix_spawn_file_actions_destroy(&actions_); }
    FileActions(const FileActions&) = delete;
    FileActions& operator=(const FileActions&) = delete;
    const posix_spawn_file_actions_t* get() const { return &actions_; }

  private:
    posix_spawn_file_actions_t actions_;
};

// While a program has the terminal, the interrupt and quit keys are its
// own: kdx2 would otherwise end on them (it restores the terminal and quits
// on SIGINT).
class KeySignalsIgnored {
  public:
    KeySignalsIgnored() {
        struct sigaction ignore {};
        ignore.sa_handler = SIG_IGN;
        sigemptyset(&ignore.sa_mask);
        sigaction(SIGINT, &ignore, &interrupt_);
        sigaction(SIGQUIT, &ignore, &quit_);
    }
    ~KeySignalsIgnored() {
        sigaction(SIGINT, &interrupt_, nullptr);
        sigaction(SIGQUIT, &quit_, nullptr);
    }
    KeySignalsIgnored(const KeySignalsIgnored&) = delete;
    KeySignalsIgnored& operator=(const KeySignalsIgnored&) = delete;

  private:
    struct sigaction interrupt_ {};
    struct sigaction quit_ {};
};

// Puts the curses screen aside (terminal back in its normal modes) for as
// long as the object lives; the next refresh draws the whole screen again.
class TerminalLent {
  public:
    TerminalLent() : active_(stdscr != nullptr && !isendwin()) {
        if (!active_) return;
        def_prog_mode();
        endwin();
    }
    ~TerminalLent() {
        if (!active_) return;
        reset_prog_mode();
        clearok(curscr, TRUE);
        doupdate();
    }
    TerminalLent(const TerminalLent&) = delete;
    TerminalLent& operator=(const TerminalLent&) = delete;

  private:
    bool active_;
};

ProgramRun waitFor(pid_t pid) {
    ProgramRun run;
    run.started = true;
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0) {
        if (errno != EINTR) {
            run.error = "Não foi possível acompanhar o programa: "_cp + describeSystemError(errno);
            return run;
        }
    }
    if (WIFEXITED(status)) {
        run.exited = true;
        run.exitCode = WEXITSTATUS(status);
    } else if (WIFSIGNALED(status)) {
        run.signal = WTERMSIG(status);
    }
    return run;
}

}  // namespace

ProgramRun runProgram(const std::string& program, const std::vector<std::string>& arguments,
                      bool wait, ProgramTerminal terminal) {
    reapFinished();
    std::vector<std::string> words;
    words.reserve(arguments.size() + 1);
    words.push_back(program);
    words.insert(words.end(), arguments.begin(), arguments.end());
    std::vector<char*> argv;
    for (std::string& word : words)
        argv.push_back(word.data());
    argv.push_back(nullptr);

    const SpawnAttributes attributes;
    const FileActions actions(terminal);
    const bool handOver = terminal == ProgramTerminal::HandOver && wait;
    std::optional<TerminalLent> lent;
    std::optional<KeySignalsIgnored> ignored;
    if (handOver) {
        lent.emplace();
        ignored.emplace();
    }
    pid_t pid = -1;
    const bool searchPath = program.find('/') == std::string::npos;
    const int error = searchPath ? posix_spawnp(&pid, program.c_str(), actions.get(),
                                                attributes.get(), argv.data(), environ)
                                 : posix_spawn(&pid, program.c_str(), actions.get(),
                                               attributes.get(), argv.data(), environ);
    if (error != 0) {
        ProgramRun run;
        run.error = startError(program, error);
        return run;
    }
    if (!wait) {
        unwaited().push_back(pid);
        ProgramRun run;
        run.started = true;
        return run;
    }
    return waitFor(pid);
}

TemporaryHostFile::TemporaryHostFile(const std::string& prefix, const std::string& suffix) {
    const char* folder = std::getenv("TMPDIR");
    std::string pattern = std::string(folder != nullptr && *folder ? folder : "/tmp") + "/" +
                          prefix + "XXXXXX" + suffix;
    const int fd = ::mkstemps(pattern.data(), static_cast<int>(suffix.size()));
    if (fd < 0)
        throw base::Error("Não foi possível criar um arquivo temporário: "_cp +
                          describeSystemError(errno));
    ::close(fd);
    path_ = pattern;
}

TemporaryHostFile::~TemporaryHostFile() {
    ::unlink(path_.c_str());
}

void TemporaryHostFile::write(const std::string& contents) {
    File file = File::create(path_);
    file.writeAt(0, contents.data(), contents.size());
    file.close();
}

std::vector<std::string> splitCommandWords(const std::string& command) {
    std::vector<std::string> words;
    std::string word;
    for (char ch : command) {
        if (ch == ' ' || ch == '\t') {
            if (!word.empty()) words.push_back(word);
            word.clear();
        } else {
            word += ch;
        }
    }
    if (!word.empty()) words.push_back(word);
    return words;
}

}  // namespace kdx2::platform
