#include "platform/drives.h"

#include <dirent.h>
#include <fcntl.h>
#include <linux/magic.h>
#include <sys/stat.h>
#include <sys/statfs.h>
#include <sys/statvfs.h>
#include <sys/vfs.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>

#include "base/cp850.h"
#include "base/error.h"
#include "base/text.h"
#include "platform/faults.h"

namespace kdx2::platform {

using namespace base::literals;
namespace fs = std::filesystem;

namespace {

struct DriveTable {
    bool loaded = false;
    std::map<char, std::string> roots;  // drive letter -> host folder (UTF-8)
    char defaultCreated = 0;            // the default C: root, made on first use
    std::string current = "C:\\";
};

DriveTable& drives() {
    static DriveTable table;
    return table;
}

std::string defaultDriveC() {
    const char* xdg = std::getenv("XDG_DATA_HOME");
    std::string base;
    if (xdg && *xdg) {
        base = xdg;
    } else {
        const char* home = std::getenv("HOME");
        base = std::string(home && *home ? home : "/tmp") + "/.local/share";
    }
    return base + "/kdx2/c";
}

void parseMapping(DriveTable& table, std::string_view mapping) {
    table.roots.clear();
    size_t start = 0;
    while (start <= mapping.size()) {
        size_t end = mapping.find(';', start);
        if (end == std::string_view::npos) end = mapping.size();
        const std::string entry = base::alltrim(mapping.substr(start, end - start));
        start = end + 1;
        if (entry.empty()) continue;
        const size_t equals = entry.find('=');
        const std::string letter = base::alltrim(entry.substr(0, equals));
        if (equals == std::string::npos || letter.size() != 1 || !std::isalpha(letter[0]))
            throw base::Error("Mapeamento de unidades inválido em KDX2_DRIVES: \""_cp + entry +
                              "\" (use por exemplo C=/srv/kdx2/c;D=/media/copia)."_cp);
        std::string root = base::alltrim(entry.substr(equals + 1));
        while (root.size() > 1 && root.back() == '/')
            root.pop_back();
        table.roots[static_cast<char>(std::toupper(letter[0]))] = root;
    }
    if (!table.roots.count('C')) {
        table.roots['C'] = defaultDriveC();
        table.defaultCreated = 'C';
    } else {
        table.defaultCreated = 0;
    }
}

DriveTable& loadedDrives() {
    DriveTable& table = drives();
    if (!table.loaded) {
        const char* env = std::getenv("KDX2_DRIVES");
        table.loaded = true;
        parseMapping(table, env ? env : "");
    }
    return table;
}

// Host folder of a drive letter; the default C: is created when missing.
std::string driveRoot(char letter) {
    DriveTable& table = loadedDrives();
    const auto found = table.roots.find(letter);
    if (found == table.roots.end())
        throw base::Error("A unidade "_cp + std::string(1, letter) +
                          ": não está disponível (veja KDX2_DRIVES)."_cp);
    if (table.defaultCreated == letter) {
        std::error_code ignored;
        fs::create_directories(found->second, ignored);
        table.defaultCreated = 0;
    }
    return found->second;
}

std::vector<std::string> splitNames(std::string_view text) {
    std::vector<std::string> names;
    size_t start = 0;
    while (start <= text.size()) {
        size_t end = text.find('\\', start);
        if (end == std::string_view::npos) end = text.size();
        if (end > start) names.emplace_back(text.substr(start, end - start));
        start = end + 1;
    }
    return names;
}

struct ParsedPath {
    char drive;
    std::vector<std::string> names;
};

ParsedPath parse(std::string_view path) {
    std::string text(path);
    std::replace(text.begin(), text.end(), '/', '\\');
    const std::string& current = loadedDrives().current;
    char drive = current[0];
    std::string_view rest = text;
    bool rooted = false;
    if (rest.size() >= 2 && rest[1] == ':' && std::isalpha(static_cast<unsigned char>(rest[0]))) {
        drive = static_cast<char>(std::toupper(static_cast<unsigned char>(rest[0])));
        rest.remove_prefix(2);
        rooted = drive != current[0];  // other drives: relative to their root
    }
    if (!rest.empty() && rest[0] == '\\') rooted = true;
    std::vector<std::string> names;
    if (!rooted) names = splitNames(std::string_view(current).substr(3));
    for (std::string& name : splitNames(rest)) {
        if (name == ".") continue;
        if (name == "..") {
            if (!names.empty()) names.pop_back();
            continue;
        }
        names.push_back(std::move(name));
    }
    return {drive, std::move(names)};
}

std::string join(const ParsedPath& parsed) {
    std::string out(1, parsed.drive);
    out += ":\\";
    for (size_t i = 0; i < parsed.names.size(); ++i) {
        if (i) out += '\\';
        out += parsed.names[i];
    }
    return out;
}

bool sameNameIgnoringCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() && base::cp850::upper(a) == base::cp850::upper(b);
}

// An entry of a host folder: its host name, and whether it is a symbolic
// link (which the system would follow).
struct Entry {
    std::string name;
    bool link = false;
};

std::optional<bool> isLinkAt(const std::string& hostPath) {
    struct stat st {};
    if (::lstat(hostPath.c_str(), &st) != 0) return std::nullopt;
    return S_ISLNK(st.st_mode);
}

// The entry of `name` inside `hostFolder`: the exact name when it exists,
// else the one entry equal to it without regard to case.
std::optional<Entry> findEntry(const std::string& hostFolder, const std::string& name) {
    const std::string exact = base::cp850::toUtf8(name);
    if (const auto link = isLinkAt(hostFolder + "/" + exact)) return Entry{exact, *link};
    DIR* dir = ::opendir(hostFolder.c_str());
    if (!dir) return std::nullopt;
    std::optional<std::string> match;
    while (const dirent* entry = ::readdir(dir)) {
        const std::string hostName = entry->d_name;
        if (sameNameIgnoringCase(base::cp850::fromUtf8(hostName), name)) {
            match = hostName;
            break;
        }
    }
    ::closedir(dir);
    if (!match) return std::nullopt;
    return Entry{*match, isLinkAt(hostFolder + "/" + *match).value_or(false)};
}

// True when the host path, links followed, lies inside a mapped drive.
bool insideSomeDrive(const std::string& hostPath) {
    std::error_code error;
    const fs::path real = fs::weakly_canonical(hostPath, error);
    if (error) return false;
    for (const auto& [letter, root] : loadedDrives().roots) {
        const fs::path rootReal = fs::weakly_canonical(root, error);
        if (error) continue;
        const fs::path relative = real.lexically_relative(rootReal);
        if (!relative.empty() && *relative.begin() != "..") return true;
    }
    return false;
}

std::string resolve(const ParsedPath& parsed) {
    std::string host = driveRoot(parsed.drive);
    bool existing = true;
    for (size_t i = 0; i < parsed.names.size(); ++i) {
        const std::string& name = parsed.names[i];
        if (existing) {
            if (auto found = findEntry(host, name)) {
                host += "/" + found->name;
                // A link may lead anywhere on the host; the program keeps to
                // its drives.
                if (found->link && !insideSomeDrive(host)) {
                    const ParsedPath link{
                        parsed.drive, {parsed.names.begin(), parsed.names.begin() + long(i) + 1}};
                    throw base::Error("O caminho "_cp + join(link) +
                                      " é um link que leva para fora das unidades do programa "
                                      "(KDX2_DRIVES); por segurança ele não é seguido."_cp);
                }
                continue;
            }
            existing = false;
        }
        host += "/" + base::cp850::toUtf8(name);
    }
    return host;
}

bool matchesWildcard(std::string_view name, std::string_view pattern) {
    // Iterative "*" / "?" matcher with backtracking to the last star.
    size_t n = 0, p = 0, starP = std::string_view::npos, starN = 0;
    while (n < name.size()) {
        if (p < pattern.size() && (pattern[p] == '?' || pattern[p] == name[n])) {
            ++n;
            ++p;
        } else if (p < pattern.size() && pattern[p] == '*') {
            starP = p++;
            starN = n;
        } else if (starP != std::string_view::npos) {
            p = starP + 1;
            n = ++starN;
        } else {
            return false;
        }
    }
    while (p < pattern.size() && pattern[p] == '*')
        ++p;
    return p == pattern.size();
}

[[noreturn]] void failOn(const std::string& what, std::string_view path, int error) {
    throw base::Error(what + " " + std::string(path) + ": " + describeSystemError(error));
}

bool isNetworkMagic(long magic) {
    switch (static_cast<unsigned long>(magic)) {
        case NFS_SUPER_MAGIC:
        case SMB_SUPER_MAGIC:
        case 0xFF534D42UL:  // CIFS
        case 0xFE534D42UL:  // SMB2
        case AFS_SUPER_MAGIC:
        case CODA_SUPER_MAGIC:
        case NCP_SUPER_MAGIC:
        case 0x00C36400UL:  // Ceph
        case V9FS_MAGIC:
            return true;
        default:
            return false;
    }
}

// Mount type of the mount holding `hostPath` ("fuse.sshfs", "ext4" ...).
std::string mountTypeOf(const std::string& hostPath) {
    std::error_code error;
    const std::string real = fs::weakly_canonical(hostPath, error).string();
    std::ifstream mounts("/proc/self/mounts");
    std::string line, best, bestType;
    while (std::getline(mounts, line)) {
        std::istringstream fields(line);
        std::string device, point, type;
        if (!(fields >> device >> point >> type)) continue;
        const bool inside = real == point || point == "/" ||
                            (real.compare(0, point.size(), point) == 0 &&
                             real.size() > point.size() && real[point.size()] == '/');
        if (inside && point.size() >= best.size()) {
            best = point;
            bestType = type;
        }
    }
    return bestType;
}

bool isNetworkFuseType(std::string_view type) {
    static constexpr std::string_view kNetworkFuse[] = {
        "fuse.sshfs",     "fuse.rclone",   "fuse.s3fs",      "fuse.davfs",
        "fuse.curlftpfs", "fuse.smbnetfs", "fuse.glusterfs", "fuse.gvfsd-fuse"};
    return std::find(std::begin(kNetworkFuse), std::end(kNetworkFuse), type) !=
           std::end(kNetworkFuse);
}

}  // namespace

void configureDrives(std::string_view mapping) {
    DriveTable& table = drives();
    table.loaded = true;
    if (mapping.empty()) {
        const char* env = std::getenv("KDX2_DRIVES");
        parseMapping(table, env ? env : "");
    } else {
        parseMapping(table, mapping);
    }
    table.current = "C:\\";
}

std::string driveForHostFolder(const std::string& hostFolder) {
    std::error_code error;
    const fs::path wanted = fs::weakly_canonical(fs::absolute(hostFolder, error), error);
    DriveTable& table = loadedDrives();
    for (const auto& [letter, root] : table.roots) {
        const fs::path rootPath = fs::weakly_canonical(root, error);
        const fs::path relative = wanted.lexically_relative(rootPath);
        if (relative.empty() || *relative.begin() == "..") continue;
        std::string drivePath = std::string(1, letter) + ":\\";
        if (relative != ".") {
            std::string rest = base::cp850::fromUtf8(relative.string());
            std::replace(rest.begin(), rest.end(), '/', '\\');
            drivePath += rest;
        }
        return drivePath;
    }
    for (char letter = 'Z'; letter >= 'D'; --letter) {
        if (table.roots.count(letter)) continue;
        table.roots[letter] = wanted.string();
        return std::string(1, letter) + ":\\";
    }
    throw base::Error("Não há letra de unidade livre para a pasta "_cp +
                      base::cp850::fromUtf8(hostFolder) + ".");
}

std::string absolutePath(std::string_view path) {
    return join(parse(path));
}

std::string folderOf(std::string_view path) {
    ParsedPath parsed = parse(path);
    if (!parsed.names.empty()) parsed.names.pop_back();
    std::string folder = join(parsed);
    if (folder.back() != '\\') folder += '\\';
    return folder;
}

std::string fileNameOf(std::string_view path) {
    std::string text(path);
    std::replace(text.begin(), text.end(), '/', '\\');
    const size_t cut = text.find_last_of("\\:");
    return cut == std::string::npos ? text : text.substr(cut + 1);
}

std::string baseNameOf(std::string_view path) {
    const std::string name = fileNameOf(path);
    const size_t dot = name.rfind('.');
    return dot == std::string::npos ? name : name.substr(0, dot);
}

bool hasExtension(std::string_view path) {
    return fileNameOf(path).find('.') != std::string::npos;
}

std::string currentFolder() {
    std::string folder = loadedDrives().current;
    if (folder.back() != '\\') folder += '\\';
    return folder;
}

void setCurrentFolder(std::string_view folder) {
    const std::string absolute = absolutePath(folder);
    hostPath(absolute);  // a link leaving the drives is refused, saying so
    if (!folderExists(absolute)) throw base::Error("A pasta "_cp + absolute + " não existe."_cp);
    loadedDrives().current = absolute;
}

namespace {

// What the host says of a drive path; nothing for one the program cannot
// reach (a link leaving the drives): such a file is not there for it.
std::optional<struct stat> statOf(std::string_view path) {
    std::string host;
    try {
        host = hostPath(path);
    } catch (const base::Error&) {
        return std::nullopt;
    }
    struct stat st {};
    if (::stat(host.c_str(), &st) != 0) return std::nullopt;
    return st;
}

}  // namespace

bool fileExists(std::string_view path) {
    const auto st = statOf(path);
    return st && S_ISREG(st->st_mode);
}

bool folderExists(std::string_view path) {
    const auto st = statOf(path);
    return st && S_ISDIR(st->st_mode);
}

std::optional<uint64_t> fileSize(std::string_view path) {
    const auto st = statOf(path);
    if (!st || !S_ISREG(st->st_mode)) return std::nullopt;
    return static_cast<uint64_t>(st->st_size);
}

void makeFolder(std::string_view path) {
    const ParsedPath parsed = parse(path);
    resolve(parsed);  // refuses a link that leaves the drives
    std::string host = driveRoot(parsed.drive);
    ParsedPath walked{parsed.drive, {}};
    for (const std::string& name : parsed.names) {
        walked.names.push_back(name);
        if (auto found = findEntry(host, name)) {
            host += "/" + found->name;
            continue;
        }
        host += "/" + base::cp850::toUtf8(name);
        if (const int error = beforeFileOp(FileOp::MakeFolder, join(walked)))
            failOn("Não foi possível criar a pasta"_cp, join(walked), error);
        if (::mkdir(host.c_str(), 0777) != 0 && errno != EEXIST)
            failOn("Não foi possível criar a pasta"_cp, join(walked), errno);
    }
}

std::vector<std::string> listFiles(std::string_view pattern) {
    const std::string folder = folderOf(pattern);
    const std::string wanted = base::cp850::upper(fileNameOf(pattern));
    const bool everything = wanted == "*.*" || wanted == "*";
    std::vector<std::string> names;
    if (!folderExists(folder)) return names;
    const std::string host = hostPath(folder);
    DIR* dir = ::opendir(host.c_str());
    if (!dir) return names;
    while (const dirent* entry = ::readdir(dir)) {
        const std::string hostName = entry->d_name;
        struct stat st {};
        if (::stat((host + "/" + hostName).c_str(), &st) != 0 || !S_ISREG(st.st_mode)) continue;
        const std::string name = base::cp850::fromUtf8(hostName);
        if (everything || matchesWildcard(base::cp850::upper(name), wanted)) names.push_back(name);
    }
    ::closedir(dir);
    std::sort(names.begin(), names.end());
    return names;
}

bool removeFile(std::string_view path) {
    const std::string host = hostPath(path);
    if (const int error = beforeFileOp(FileOp::Unlink, absolutePath(path)))
        failOn("Não foi possível apagar"_cp, absolutePath(path), error);
    if (::unlink(host.c_str()) == 0) return true;
    if (errno == ENOENT) return false;
    failOn("Não foi possível apagar"_cp, absolutePath(path), errno);
}

void renameFile(std::string_view from, std::string_view to) {
    const std::string source = hostPath(from);
    const std::string target = hostPath(to);
    const int injected = beforeFileOp(FileOp::Rename, absolutePath(to));
    if (injected || ::rename(source.c_str(), target.c_str()) != 0)
        failOn("Não foi possível renomear "_cp + absolutePath(from) + " para", absolutePath(to),
               injected ? injected : errno);
    syncFolderOf(to);
}

void syncFolderOf(std::string_view path) {
    // Best effort: some network file systems cannot sync a folder, and what
    // was done in it has happened either way.
    const std::string folder = folderOf(path);
    if (beforeFileOp(FileOp::SyncFolder, folder)) return;
    const int fd = ::open(hostPath(folder).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        (void)::fsync(fd);
        ::close(fd);
    }
}

void copyFile(std::string_view from, std::string_view to) {
    File source = openFile(from, File::Mode::ReadOnly);
    File target = createFile(to);
    std::vector<char> buffer(1 << 20);
    uint64_t offset = 0;
    for (;;) {
        const size_t got = source.readAt(offset, buffer.data(), buffer.size());
        if (got == 0) break;
        target.writeAt(offset, buffer.data(), got);
        offset += got;
    }
    target.sync();
    target.close();
}

File openFile(std::string_view path, File::Mode mode) {
    return File::open(hostPath(path), mode, absolutePath(path));
}

File createFile(std::string_view path) {
    return File::create(hostPath(path), absolutePath(path));
}

File createNewFile(std::string_view path) {
    return File::createNew(hostPath(path), absolutePath(path));
}

std::optional<std::string> folderNotWritable(std::string_view folder) {
    const std::string absolute = absolutePath(folder);
    if (!folderExists(absolute)) return std::nullopt;
    // Asked of the system as a file creation there would be.
    int error = beforeFileOp(FileOp::Create, absolute);
    if (error == 0 && ::access(hostPath(absolute).c_str(), W_OK) != 0) error = errno;
    if (error != EROFS && error != EACCES && error != EPERM) return std::nullopt;
    return "A pasta "_cp + absolute + " não permite gravação: "_cp + describeSystemError(error);
}

uint64_t freeSpace(std::string_view folder) {
    struct statvfs info {};
    if (::statvfs(hostPath(folder).c_str(), &info) != 0) return 0;
    return uint64_t(info.f_bavail) * info.f_frsize;
}

bool isNetworkDrive(std::string_view path) {
    const std::string host = hostPath(path.empty() ? std::string_view(currentFolder()) : path);
    std::string probe = host;
    struct statfs info {};
    // The path may not exist yet: ask about its nearest existing folder.
    while (::statfs(probe.c_str(), &info) != 0) {
        const size_t cut = probe.find_last_of('/');
        if (cut == std::string::npos || cut == 0) return false;
        probe.resize(cut);
    }
    if (isNetworkMagic(info.f_type)) return true;
    if (static_cast<unsigned long>(info.f_type) == 0x65735546UL)
        return isNetworkFuseType(mountTypeOf(probe));
    return false;
}

std::string hostPath(std::string_view path) {
    return resolve(parse(path));
}

bool sameFolder(std::string_view a, std::string_view b) {
    const auto blank = [](std::string_view text) {
        return text.find_first_not_of(' ') == std::string_view::npos;
    };
    if (blank(a) || blank(b)) return false;
    try {
        const std::string left = absolutePath(a), right = absolutePath(b);
        if (base::equalsIgnoreCase(left, right)) return true;
        std::error_code error;
        const bool equivalent = fs::equivalent(hostPath(left), hostPath(right), error);
        return !error && equivalent;
    } catch (const base::Error&) {
        return false;
    }
}

}  // namespace kdx2::platform
