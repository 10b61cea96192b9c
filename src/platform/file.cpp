#include "platform/file.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <utility>

#include "base/cp850.h"
#include "base/error.h"
#include "platform/faults.h"

namespace kdx2::platform {

using namespace base::literals;

std::string describeSystemError(int error) {
    switch (error) {
        case ENOENT:
            return "arquivo ou pasta não encontrado."_cp;
        case EACCES:
        case EPERM:
            return "acesso negado."_cp;
        case ENOSPC:
        case EDQUOT:
            return "não há espaço no disco."_cp;
        case EROFS:
            return "o disco é somente para leitura."_cp;
        case EISDIR:
            return "é uma pasta, não um arquivo."_cp;
        case ENOTDIR:
            return "parte do caminho não é uma pasta."_cp;
        case EEXIST:
            return "o arquivo já existe."_cp;
        case EMFILE:
        case ENFILE:
            return "arquivos abertos demais."_cp;
        case ENOLCK:
            return "o sistema não tem mais bloqueios disponíveis."_cp;
        case EXDEV:
            return "origem e destino estão em discos diferentes."_cp;
        case EIO:
            return "erro de entrada e saída no disco."_cp;
        default:
            return "erro do sistema "_cp + std::to_string(error) + ".";
    }
}

namespace {

[[noreturn]] void fail(const std::string& what, const std::string& path) {
    throw base::Error(what + " " + path + ": " + describeSystemError(errno));
}

// The seam first: an injected fault fails the call as the system would.
bool refused(FileOp op, const std::string& name) {
    const int error = beforeFileOp(op, name);
    if (error == 0) return false;
    errno = error;
    return true;
}

struct flock rangeLock(short type, uint64_t start, uint64_t length) {
    struct flock fl {};
    fl.l_type = type;
    fl.l_whence = SEEK_SET;
    fl.l_start = static_cast<off_t>(start);
    fl.l_len = static_cast<off_t>(length);
    fl.l_pid = 0;  // required by open-file-description locks
    return fl;
}

}  // namespace

File::~File() {
    try {
        close();
    } catch (const base::Error&) {
        // Whoever needed to know closed the file explicitly.
    }
}

File::File(File&& other) noexcept
    : fd_(std::exchange(other.fd_, -1)), path_(std::move(other.path_)) {}

File& File::operator=(File&& other) noexcept {
    if (this != &other) {
        try {
            close();
        } catch (const base::Error&) {
            // As in the destructor: whoever needed the error closed first.
        }
        fd_ = std::exchange(other.fd_, -1);
        path_ = std::move(other.path_);
    }
    return *this;
}

File File::open(const std::string& hostPath, Mode mode, const std::string& name) {
    const int flags = (mode == Mode::ReadOnly ? O_RDONLY : O_RDWR) | O_CLOEXEC;
    const std::string& shown = name.empty() ? hostPath : name;
    const int fd = refused(FileOp::Open, shown) ? -1 : ::open(hostPath.c_str(), flags);
    if (fd < 0) fail("Não foi possível abrir"_cp, shown);
    return File(fd, shown);
}

File File::create(const std::string& hostPath, const std::string& name) {
    const std::string& shown = name.empty() ? hostPath : name;
    const int fd = refused(FileOp::Create, shown)
                       ? -1
                       : ::open(hostPath.c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (fd < 0) fail("Não foi possível criar"_cp, shown);
    return File(fd, shown);
}

File File::createNew(const std::string& hostPath, const std::string& name) {
    const std::string& shown = name.empty() ? hostPath : name;
    const int fd = refused(FileOp::Create, shown)
                       ? -1
                       : ::open(hostPath.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0) fail("Não foi possível criar"_cp, shown);
    return File(fd, shown);
}

bool File::isAt(const std::string& hostPath) const {
    struct stat mine {};
    struct stat there {};
    if (::fstat(fd_, &mine) != 0 || ::stat(hostPath.c_str(), &there) != 0) return false;
    return mine.st_dev == there.st_dev && mine.st_ino == there.st_ino;
}

bool File::sameFileAs(const File& other) const {
    struct stat a {};
    struct stat b {};
    if (::fstat(fd_, &a) != 0 || ::fstat(other.fd_, &b) != 0) return false;
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

void File::close() {
    if (fd_ < 0) return;
    const int fd = std::exchange(fd_, -1);
    // The descriptor is released even when close reports an error; a network
    // file system reports there a write it could not complete.
    const bool injected = refused(FileOp::Close, path_);
    const int injectedError = errno;
    if (::close(fd) != 0 && errno != EINTR) fail("Erro ao fechar"_cp, path_);
    if (injected) {
        errno = injectedError;
        fail("Erro ao fechar"_cp, path_);
    }
}

uint64_t File::size() const {
    struct stat st {};
    if (::fstat(fd_, &st) != 0) fail("Não foi possível ler o tamanho de"_cp, path_);
    return static_cast<uint64_t>(st.st_size);
}

size_t File::readAt(uint64_t offset, void* buffer, size_t length) const {
    size_t done = 0;
    auto* out = static_cast<char*>(buffer);
    if (refused(FileOp::Read, path_)) fail("Erro de leitura em"_cp, path_);
    while (done < length) {
        const ssize_t n =
            ::pread(fd_, out + done, length - done, static_cast<off_t>(offset + done));
        if (n < 0) {
            if (errno == EINTR) continue;
            fail("Erro de leitura em"_cp, path_);
        }
        if (n == 0) break;
        done += static_cast<size_t>(n);
    }
    return done;
}

void File::readExact(uint64_t offset, void* buffer, size_t length) const {
    if (readAt(offset, buffer, length) != length)
        throw base::Error("O arquivo "_cp + path_ +
                          " terminou antes do esperado (arquivo truncado)."_cp);
}

void File::writeAt(uint64_t offset, const void* buffer, size_t length) {
    size_t done = 0;
    const auto* in = static_cast<const char*>(buffer);
    if (refused(FileOp::Write, path_)) fail("Erro de gravação em"_cp, path_);
    while (done < length) {
        const ssize_t n =
            ::pwrite(fd_, in + done, length - done, static_cast<off_t>(offset + done));
        if (n < 0) {
            if (errno == EINTR) continue;
            fail("Erro de gravação em"_cp, path_);
        }
        done += static_cast<size_t>(n);
    }
}

void File::truncate(uint64_t length) {
    if (refused(FileOp::Truncate, path_) || ::ftruncate(fd_, static_cast<off_t>(length)) != 0)
        fail("Erro de gravação em"_cp, path_);
}

void File::sync() {
    if (refused(FileOp::Sync, path_) || ::fsync(fd_) != 0) fail("Erro de gravação em"_cp, path_);
}

File::View::~View() {
    if (data_) ::munmap(const_cast<char*>(data_), size_);
}

File::View::View(View&& other) noexcept
    : data_(std::exchange(other.data_, nullptr)), size_(std::exchange(other.size_, 0)) {}

File::View& File::View::operator=(View&& other) noexcept {
    if (this != &other) {
        if (data_) ::munmap(const_cast<char*>(data_), size_);
        data_ = std::exchange(other.data_, nullptr);
        size_ = std::exchange(other.size_, 0);
    }
    return *this;
}

File::View File::view(uint64_t length) const {
    View view;
    if (fd_ < 0 || length == 0) return view;
    void* data = ::mmap(nullptr, length, PROT_READ, MAP_SHARED, fd_, 0);
    if (data == MAP_FAILED) return view;
    view.data_ = static_cast<const char*>(data);
    view.size_ = length;
    return view;
}

bool File::lock(uint64_t start, uint64_t length, LockKind kind, LockWait wait) {
    struct flock fl = rangeLock(kind == LockKind::Shared ? F_RDLCK : F_WRLCK, start, length);
    const int command = wait == LockWait::Yes ? F_OFD_SETLKW : F_OFD_SETLK;
    if (refused(FileOp::Lock, path_)) fail("Erro ao bloquear"_cp, path_);
    while (::fcntl(fd_, command, &fl) != 0) {
        if (errno == EINTR) continue;
        if (errno == EAGAIN || errno == EACCES) return false;
        fail("Erro ao bloquear"_cp, path_);
    }
    return true;
}

void File::unlock(uint64_t start, uint64_t length) {
    struct flock fl = rangeLock(F_UNLCK, start, length);
    while (::fcntl(fd_, F_OFD_SETLK, &fl) != 0) {
        if (errno == EINTR) continue;
        fail("Erro ao desbloquear"_cp, path_);
    }
}

bool File::isLockedByOther(uint64_t start, uint64_t length, LockKind kind) const {
    return otherLockIn(start, length, kind).has_value();
}

std::optional<uint64_t> File::otherLockIn(uint64_t start, uint64_t length, LockKind kind) const {
    struct flock fl = rangeLock(kind == LockKind::Shared ? F_RDLCK : F_WRLCK, start, length);
    if (::fcntl(fd_, F_OFD_GETLK, &fl) != 0) fail("Erro ao consultar bloqueios de"_cp, path_);
    if (fl.l_type == F_UNLCK) return std::nullopt;
    return static_cast<uint64_t>(fl.l_start);
}

}  // namespace kdx2::platform
