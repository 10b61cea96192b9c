// The backup (FAZ_COPIA): the live records of each year table copied into
// the destination folder, each file checked whole before it takes its name.

#include <algorithm>
#include <cstring>
#include <memory>

#include "base/cp850.h"
#include "base/named_values.h"
#include "base/text.h"
#include "platform/drives.h"
#include "shell/backup/backup.h"
#include "shell/backup/internal.h"
#include "store/access.h"
#include "store/dbf.h"
#include "store/feedback.h"
#include "store/table_files.h"
#include "store/work_areas.h"

namespace kdx2::shell::backup {

using namespace base::literals;

namespace {

constexpr size_t kBlockBytes = 4u << 20;

void putCount(std::vector<char>& header, uint32_t count) {
    for (int i = 0; i < 4; ++i)
        header[4 + i] = static_cast<char>((count >> (8 * i)) & 0xff);
}

// Bytes the table needs in the backup, as the space check counts them.
uint64_t tableBytes(store::Table& table) {
    const platform::File file = platform::openFile(table.path(), platform::File::Mode::ReadOnly);
    const store::dbf::Header header = store::dbf::readHeader(file);
    return uint64_t(header.recordLength) * table.recCount() + header.headerLength + 1;
}

// The copies written so far, under their temporary names.
class PendingCopies {
  public:
    ~PendingCopies() { discard(); }
    void add(std::string temp, std::string final, int table) {
        copies_.push_back({std::move(temp), std::move(final), table});
    }
    // Every copy takes its name. An index the folder held for the table it
    // replaces goes first: it would list the old records against the new
    // file (the next open builds a fresh one).
    void settle() {
        for (const Copy& copy : copies_) {
            for (const std::string& index : detail::indexFilesOf(copy.table))
                platform::removeFile(platform::folderOf(copy.final) + index);
            platform::renameFile(copy.temp, copy.final);
        }
        copies_.clear();
    }
    void discard() {
        for (const auto& copy : copies_) {
            try {
                platform::removeFile(copy.temp);
            } catch (const base::Error&) {
            }
        }
        copies_.clear();
    }

  private:
    struct Copy {
        std::string temp, final;
        int table;
    };
    std::vector<Copy> copies_;
};

// LOCARQ set to another folder for the length of a scope.
class DataFolderFor {
  public:
    explicit DataFolderFor(const std::string& folder) : previous_(base::session().text("LOCARQ")) {
        base::session().set("LOCARQ", folder);
    }
    ~DataFolderFor() { base::session().set("LOCARQ", previous_); }
    DataFolderFor(const DataFolderFor&) = delete;
    DataFolderFor& operator=(const DataFolderFor&) = delete;

  private:
    std::string previous_;
};

}  // namespace

uint32_t copyLiveRecords(const std::string& from, const std::string& to) {
    try {
        const platform::File source = platform::openFile(from, platform::File::Mode::ReadOnly);
        const store::dbf::Layout layout = store::dbf::readLayout(source);
        const uint32_t recordLength = layout.header.recordLength;
        std::vector<char> header(layout.header.headerLength);
        source.readExact(0, header.data(), header.size());

        platform::File target = platform::createFile(to);
        uint64_t written = header.size();
        uint32_t live = 0;
        const uint32_t perBlock = std::max<uint32_t>(1, kBlockBytes / recordLength);
        std::vector<char> block(size_t(perBlock) * recordLength);
        for (uint32_t first = 1; first <= layout.header.recordCount; first += perBlock) {
            const uint32_t count = std::min(perBlock, layout.header.recordCount - first + 1);
            const size_t bytes = size_t(count) * recordLength;
            source.readExact(layout.recordOffset(first), block.data(), bytes);
            // The live records moved together at the front of the block.
            size_t kept = 0;
            for (size_t at = 0; at < bytes; at += recordLength) {
                if (block[at] == store::dbf::kDeleted) continue;
                if (kept != at) std::memmove(block.data() + kept, block.data() + at, recordLength);
                kept += recordLength;
                ++live;
            }
            target.writeAt(written, block.data(), kept);
            written += kept;
        }
        const char end = store::dbf::kEndOfFile;
        target.writeAt(written, &end, 1);
        putCount(header, live);
        target.writeAt(0, header.data(), header.size());
        target.sync();
        target.close();

        // The copy as a reader will see it: the count and the size agree.
        const platform::File check = platform::openFile(to, platform::File::Mode::ReadOnly);
        const store::dbf::Layout copied = store::dbf::readLayout(check);
        if (copied.header.recordCount != live || check.size() != copied.expectedSize() + 1)
            throw base::Error("A cópia de "_cp + from + " em " + to + " ficou incompleta.");
        return live;
    } catch (...) {
        try {
            platform::removeFile(to);
        } catch (const base::Error&) {
        }
        throw;
    }
}

bool backupTables(const std::string& origin, const std::string& destination,
                  const BackupHooks& hooks) {
    const std::string from = detail::closed(origin);
    const std::string to = detail::closed(destination);
    auto freeSpace = [&] {
        return hooks.freeSpace ? hooks.freeSpace(to) : platform::freeSpace(to);
    };
    store::WorkAreas& areas = store::workAreas();
    DataFolderFor dataFolder(from);
    PendingCopies pending;
    uint64_t free = freeSpace();
    uint64_t total = 0;
    try {
        for (int n = detail::kFirstTable; n <= detail::kLastTable; ++n) {
            if (hooks.progress) hooks.progress(n);
            if (!store::ABERTURA(n)) {
                store::feedback().alert("A tabela IRM"_cp + std::to_string(n) + " de " + from +
                                        " não pôde ser aberta; a cópia não foi feita."_cp);
                areas.close(n);
                return false;
            }
            store::Table& table = areas.area(n);
            const uint64_t size = tableBytes(table);
            total += size;
            while (free <= total) {
                const SpaceAnswer answer =
                    hooks.askSpace ? hooks.askSpace() : detail::askSpaceQuestion();
                if (answer == SpaceAnswer::Abandon) {
                    areas.close(n);
                    return false;
                }
                // The files so far go on the disk in use before the next
                // one is filled.
                pending.settle();
                free = freeSpace();
                total = size;
            }
            const std::string final = to + "Irm" + std::to_string(n) + ".DBF";
            const std::string temp = store::tempPathBeside(final, 'B');
            pending.add(temp, final, n);
            copyLiveRecords(table.path(), temp);
            areas.close(n);
        }
        pending.settle();
        platform::syncFolderOf(to);
        return true;
    } catch (const base::Error& error) {
        store::feedback().alert(error.what());
        for (int n = detail::kFirstTable; n <= detail::kLastTable; ++n)
            areas.close(n);
        return false;
    }
}

}  // namespace kdx2::shell::backup
