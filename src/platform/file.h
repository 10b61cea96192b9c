#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace kdx2::platform {

// A Portuguese (CP850) description of a system error number, for messages.
std::string describeSystemError(int error);

enum class LockKind { Shared, Exclusive };
enum class LockWait { No, Yes };

// A host file opened read-write (or read-only) with positioned I/O and
// byte-range locks. Locks are Linux open-file-description locks: each File
// owns its own, so two opens of one file in one process contend like two
// workstations, and closing another descriptor never drops them.
// Errors throw base::Error with a Portuguese message naming the file.
class File {
  public:
    enum class Mode { ReadOnly, ReadWrite };

    File() = default;
    ~File();
    File(File&& other) noexcept;
    File& operator=(File&& other) noexcept;
    File(const File&) = delete;
    File& operator=(const File&) = delete;

    // Opens an existing host file. `name` is how messages name the file (the
    // drive path the program knows it by); empty: the host path.
    static File open(const std::string& hostPath, Mode mode, const std::string& name = "");
    // Creates (or truncates) a host file, read-write.
    static File create(const std::string& hostPath, const std::string& name = "");
    // Creates a host file that must not exist yet, read-write.
    static File createNew(const std::string& hostPath, const std::string& name = "");

    bool isOpen() const { return fd_ >= 0; }
    // The name messages use (drive path when given, else the host path).
    const std::string& path() const { return path_; }
    // Releases the descriptor; throws when the system reports an error (a
    // write a network file system could not complete). The destructor closes
    // quietly: call close() where the error matters.
    void close();

    uint64_t size() const;
    // Reads up to `length` bytes at `offset`; returns how many were read
    // (fewer only at the end of the file).
    size_t readAt(uint64_t offset, void* buffer, size_t length) const;
    // Reads exactly `length` bytes or throws.
    void readExact(uint64_t offset, void* buffer, size_t length) const;
    void writeAt(uint64_t offset, const void* buffer, size_t length);
    void truncate(uint64_t length);
    void sync();
    // True when this descriptor and `other` are the same file on disk (a
    // rename may have put another file under the name this one was opened by).
    bool sameFileAs(const File& other) const;
    // True when the host file at `hostPath` is the one this descriptor holds
    // (false when the name now leads to another file, or to none).
    bool isAt(const std::string& hostPath) const;

    // Byte-range lock; with LockWait::No returns false when another holder
    // conflicts, with LockWait::Yes blocks until granted.
    bool lock(uint64_t start, uint64_t length, LockKind kind, LockWait wait);
    void unlock(uint64_t start, uint64_t length);

    // Tells whether some other open of this file holds a lock over the range
    // conflicting with `kind` (used by the integrity check, which must not
    // disturb peers).
    bool isLockedByOther(uint64_t start, uint64_t length, LockKind kind) const;
    // The first byte of a lock some other open holds over the range that
    // conflicts with `kind`; nullopt when there is none.
    std::optional<uint64_t> otherLockIn(uint64_t start, uint64_t length, LockKind kind) const;

    // A read-only view of the file's first `length` bytes, kept in step with
    // writes through this or any other descriptor of the file. Reading past
    // the file's end through a view faults, so a view is only for a file that
    // nobody will shorten while it is mapped (a table held exclusively).
    // Empty (data() == nullptr) when the system cannot map the file.
    class View {
      public:
        View() = default;
        ~View();
        View(View&& other) noexcept;
        View& operator=(View&& other) noexcept;
        View(const View&) = delete;
        View& operator=(const View&) = delete;
        const char* data() const { return data_; }
        uint64_t size() const { return size_; }

      private:
        friend class File;
        const char* data_ = nullptr;
        uint64_t size_ = 0;
    };
    View view(uint64_t length) const;

  private:
    File(int fd, std::string path) : fd_(fd), path_(std::move(path)) {}
    int fd_ = -1;
    std::string path_;
};

}  // namespace kdx2::platform
