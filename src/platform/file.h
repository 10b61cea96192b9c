#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace kdx2::platform {

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

    // Opens an existing host file.
    static File open(const std::string& hostPath, Mode mode);
    // Creates (or truncates) a host file, read-write.
    static File create(const std::string& hostPath);

    bool isOpen() const { return fd_ >= 0; }
    const std::string& path() const { return path_; }
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

    // Byte-range lock; with LockWait::No returns false when another holder
    // conflicts, with LockWait::Yes blocks until granted.
    bool lock(uint64_t start, uint64_t length, LockKind kind, LockWait wait);
    void unlock(uint64_t start, uint64_t length);

    // Tells whether some other open of this file holds a lock over the range
    // conflicting with `kind` (used by the integrity check, which must not
    // disturb peers).
    bool isLockedByOther(uint64_t start, uint64_t length, LockKind kind) const;

  private:
    File(int fd, std::string path) : fd_(fd), path_(std::move(path)) {}
    int fd_ = -1;
    std::string path_;
};

}  // namespace kdx2::platform
