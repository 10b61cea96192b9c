#pragma once

#include <string>
#include <string_view>

// The one seam every file operation of the platform layer passes through
// before it touches the host, so that tests can make a chosen operation fail
// (a full disk, an I/O error, a read-only disk) or end the program right
// before it (a kill or a power cut between two writes). Without a hook
// installed, the cost is one pointer test per operation.
namespace kdx2::platform {

enum class FileOp {
    Open,        // an existing file opened
    Read,        // bytes read at an offset
    Lock,        // a byte-range lock taken
    Create,      // a file created (or truncated)
    Write,       // bytes written at an offset
    Sync,        // a file's data forced to the disk
    Truncate,    // a file's length set
    Close,       // a descriptor released
    Rename,      // a file renamed over another
    Unlink,      // a file removed
    SyncFolder,  // a folder's entries forced to the disk
    MakeFolder,  // a folder created
};

// "write", "sync", "rename" ... for messages and test names.
std::string_view fileOpName(FileOp op);

class FileOpHook {
  public:
    virtual ~FileOpHook() = default;
    // Called before `op` on the file named `name` (its drive path when the
    // caller knows it, else its host path). 0 lets the operation happen; an
    // errno value makes it fail with that error, as the system would have.
    virtual int before(FileOp op, const std::string& name) = 0;
};

// Installs the hook (nullptr removes it); returns the one it replaces. The
// hook is not owned.
FileOpHook* setFileOpHook(FileOpHook* hook);

namespace detail {
extern FileOpHook* gFileOpHook;
}

// 0, or the errno the operation must fail with.
inline int beforeFileOp(FileOp op, const std::string& name) {
    if (!detail::gFileOpHook) [[likely]]
        return 0;
    return detail::gFileOpHook->before(op, name);
}

// A hook for fault tests: counts the operations of one kind (or of every
// kind) whose file name contains `nameFilter` (case-blind; empty: every
// file) and acts on the `nth` of them (from 1): fails it with `error`, once
// or for that and every later counted operation (a disk that stays full),
// or ends the process at once with `exitCode` without writing anything
// more, as a kill would.
class FaultPlan final : public FileOpHook {
  public:
    enum class Action { FailOnce, FailFromThenOn, Exit };
    static constexpr FileOp kEveryOp = static_cast<FileOp>(-1);
    // Every operation that changes something on the disk (not opens, reads
    // and locks): the steps of a crash sweep.
    static constexpr FileOp kEveryChange = static_cast<FileOp>(-2);

    FaultPlan(FileOp op, long nth, Action action, int error = 0, std::string nameFilter = "",
              int exitCode = kExitCode);
    int before(FileOp op, const std::string& name) override;

    // Counted operations so far, and whether the plan acted.
    long count() const { return count_; }
    bool fired() const { return fired_; }

    // What a process ended by a plan exits with.
    static constexpr int kExitCode = 77;

  private:
    FileOp op_;
    long nth_;
    Action action_;
    int error_;
    std::string filter_;
    int exitCode_;
    long count_ = 0;
    bool fired_ = false;
};

// Installs a plan for the life of a scope.
class ScopedFileOpHook {
  public:
    explicit ScopedFileOpHook(FileOpHook* hook) : previous_(setFileOpHook(hook)) {}
    ~ScopedFileOpHook() { setFileOpHook(previous_); }
    ScopedFileOpHook(const ScopedFileOpHook&) = delete;
    ScopedFileOpHook& operator=(const ScopedFileOpHook&) = delete;

  private:
    FileOpHook* previous_;
};

}  // namespace kdx2::platform
