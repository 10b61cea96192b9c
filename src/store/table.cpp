#include "store/table.h"
#include "store/table_impl.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <exception>
#include <map>
#include <set>
#include <thread>

#include "base/cp850.h"
#include "base/process_state.h"
#include "base/text.h"
#include "platform/drives.h"
#include "store/cdx.h"
#include "store/dbf.h"
#include "store/expr.h"
#include "store/journal.h"
#include "store/locks.h"
#include "store/table_files.h"
#include "store/work_areas.h"

namespace kdx2::store {

using namespace base::literals;

namespace {

bool gDeletedFilter = true;

}  // namespace

void setDeletedFilter(bool on) {
    [[maybe_unused]] static const bool registered =
        base::registerResetOnce([] { gDeletedFilter = true; });
    gDeletedFilter = on;
}

bool deletedFilter() {
    return gDeletedFilter;
}

// ---------------------------------------------------------------------------

Table::Table(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {
    impl_->owner = this;
}

Table::~Table() {
    try {
        impl_->close();
    } catch (...) {
    }
}

namespace {

// The table's file, opened and marked as open in `mode`. A table being
// replaced (a pack renames a new file over the name) may be opened just
// before the rename and locked just after: such an open holds a file nobody
// will see again, so it opens the name again.
platform::File openTableFile(const std::string& path, OpenMode mode) {
    const bool exclusive = mode == OpenMode::Exclusive;
    constexpr int kTries = 10;
    for (int attempt = 1;; ++attempt) {
        platform::File file = platform::openFile(path, platform::File::Mode::ReadWrite);
        const auto kind = exclusive ? platform::LockKind::Exclusive : platform::LockKind::Shared;
        if (!file.lock(kOpenLock, 1, kind, platform::LockWait::No) ||
            !file.lock(kShareLock, 1, kind, platform::LockWait::No))
            break;
        if (file.isAt(platform::hostPath(path))) return file;
        if (attempt == kTries) break;
    }
    throw InUseError(base::asciiUpper(platform::fileNameOf(path)) +
                     " não está disponível: em uso "_cp +
                     (exclusive ? "por outra estação."_cp : "exclusivo por outra estação."_cp));
}

}  // namespace

std::unique_ptr<Table> Table::open(const std::string& rawPath, OpenMode mode, std::string alias) {
    std::string path = platform::absolutePath(rawPath);
    if (!platform::hasExtension(path)) path += ".DBF";
    if (!platform::fileExists(path)) throw base::Error("Arquivo "_cp + path + " não existe!"_cp);
    const bool exclusive = mode == OpenMode::Exclusive;
    // A shared open cannot finish what a stopped program left: it takes the
    // tables for that first, or refuses to show half of a change.
    if (!exclusive) finishInterruptedWork(path, nullptr);
    auto impl = std::make_unique<Impl>();
    impl->path = path;
    impl->mode = mode;
    impl->file = openTableFile(path, mode);
    impl->layout = dbf::readLayout(impl->file);
    impl->count = impl->layout.header.recordCount;
    impl->localDisk = onLocalDisk(path);
    impl->mapRecords();
    impl->indexFields();
    impl->alias = base::asciiUpper(alias.empty() ? platform::baseNameOf(path) : alias);
    std::unique_ptr<Table> table(new Table(std::move(impl)));
    if (exclusive) finishInterruptedWork(path, table.get());
    table->impl_->goTop();
    return table;
}

void Table::create(const std::string& rawPath, const Structure& structure, Replace how) {
    std::string path = platform::absolutePath(rawPath);
    if (!platform::hasExtension(path)) path += ".DBF";
    dbf::validateStructure(structure, path);
    const dbf::Layout layout = dbf::layoutOf(structure);
    std::vector<char> bytes = dbf::encodeHeader(layout);
    bytes.push_back(dbf::kEndOfFile);
    if (how == Replace::WorkFile) {
        // A new file rather than the old one cut to nothing: emptying a file
        // whose pages were just written makes the file system write them first.
        platform::removeFile(path);
        platform::File out = platform::createFile(path);
        out.writeAt(0, bytes.data(), bytes.size());
        out.close();
        return;
    }
    replaceFileWhole(path, std::string_view(bytes.data(), bytes.size()), 'N');
}

void Table::close() {
    impl_->close();
}
bool Table::isOpen() const {
    return impl_->file.isOpen();
}
const std::string& Table::path() const {
    return impl_->path;
}
const std::string& Table::alias() const {
    return impl_->alias;
}
bool Table::exclusive() const {
    return impl_->mode == OpenMode::Exclusive;
}
const Structure& Table::structure() const {
    return impl_->layout.fields;
}
int Table::fieldIndex(std::string_view name) const {
    return impl_->fieldIndex(name);
}

uint32_t Table::recCount() {
    impl_->requireOpen();
    return impl_->refreshCount();
}
uint32_t Table::recNo() const {
    return impl_->recno;
}
bool Table::eof() const {
    return impl_->atEof;
}
bool Table::bof() const {
    return impl_->atBof;
}
bool Table::found() const {
    return impl_->wasFound;
}
void Table::goTop() {
    impl_->goTop();
}
void Table::goBottom() {
    impl_->goBottom();
}
void Table::goTo(uint32_t recno) {
    impl_->goTo(recno);
}
void Table::skip(long count) {
    impl_->skip(count);
}
bool Table::seek(const base::Value& key, bool soft) {
    return impl_->seek(key, soft);
}
void Table::setFilter(std::function<bool(Table&)> filter) {
    impl_->filter = std::move(filter);
}

base::Value Table::get(std::string_view name) const {
    return impl_->get(impl_->requireField(name));
}
base::Value Table::get(int fieldIndex) const {
    return impl_->get(fieldIndex);
}
void Table::put(std::string_view name, const base::Value& value) {
    impl_->put(impl_->requireField(name), value);
}
void Table::put(int fieldIndex, const base::Value& value) {
    impl_->put(fieldIndex, value);
}
bool Table::deleted() const {
    if (impl_->atEof) return false;
    impl_->ensureLoaded();
    return impl_->record[0] == dbf::kDeleted;
}
void Table::deleteRecord() {
    impl_->setFlag(dbf::kDeleted);
}
void Table::recall() {
    impl_->setFlag(dbf::kLive);
}

base::NamedValues Table::toValues() const {
    base::NamedValues values;
    for (size_t i = 0; i < impl_->layout.fields.size(); ++i)
        values.set(impl_->layout.fields[i].name, impl_->get(static_cast<int>(i)));
    return values;
}

void Table::fromValues(const base::NamedValues& values) {
    for (size_t i = 0; i < impl_->layout.fields.size(); ++i) {
        const std::string& name = impl_->layout.fields[i].name;
        if (values.has(name)) impl_->put(static_cast<int>(i), values.get(name));
    }
}

void Table::copyFieldsFrom(const Table& source) {
    const Structure& theirs = source.structure();
    for (size_t i = 0; i < theirs.size(); ++i) {
        const int mine = impl_->fieldIndex(theirs[i].name);
        if (mine < 0 || impl_->layout.fields[static_cast<size_t>(mine)].type != theirs[i].type)
            continue;
        impl_->put(mine, source.get(static_cast<int>(i)));
    }
}

bool Table::append() {
    return impl_->append();
}

bool Table::lockRecord() {
    if (impl_->atEof) return false;
    return impl_->lockRecord(impl_->recno);
}
bool Table::lockRecord(uint32_t recno) {
    return impl_->lockRecord(recno);
}
bool Table::lockTable() {
    return impl_->lockTable();
}
bool Table::isRecordLocked(uint32_t recno) const {
    return !impl_->shared() || impl_->tableLocked || impl_->recordLocks.count(recno) > 0;
}
bool Table::hasTableLock() const {
    return !impl_->shared() || impl_->tableLocked;
}
void Table::unlock() {
    impl_->unlock();
}
void Table::flush() {
    impl_->flush();
}

void Table::setWriteThrough(bool on) {
    impl_->writeThrough = on;
    if (on) impl_->drainAppends();
}

void Table::sync() {
    impl_->sync();
}

void Table::dropUncountedRecords() {
    Impl& impl = *impl_;
    impl.requireOpen();
    impl.requireExclusive("O acerto do tamanho de"_cp);
    impl.flush();
    const uint64_t end = impl.layout.recordOffset(impl.count + 1);
    if (impl.file.size() <= end + 1) return;
    impl.view = {};
    impl.file.truncate(end);
    const char eof = dbf::kEndOfFile;
    impl.file.writeAt(end, &eof, 1);
    impl.mapRecords();
}

void Table::pack() {
    impl_->rewrite(impl_->layout.fields, true);
}
void Table::zap() {
    impl_->rewrite(impl_->layout.fields, false);
}
void Table::restructure(const Structure& structure) {
    impl_->rewrite(structure, true);
}

void Table::openIndex(const std::string& path) {
    impl_->openIndex(path);
    impl_->cursorOnRecord = false;
}
void Table::createIndex(const std::string& path, const std::string& keyExpression, Replace how) {
    impl_->createIndex(path, keyExpression, how);
}
void Table::closeIndexes() {
    impl_->closeIndexes();
}
void Table::rebuildIndexFile(const std::string& path) {
    impl_->rebuildIndexFile(path);
}
int Table::indexCount() const {
    return static_cast<int>(impl_->orders.size());
}
void Table::setOrder(int order) {
    if (order < 0 || order > indexCount())
        throw base::Error("Ordem "_cp + std::to_string(order) + " inexistente na tabela "_cp +
                          impl_->path + ".");
    impl_->writeRecord();
    impl_->order = order;
    impl_->cursorOnRecord = false;
}
bool Table::setOrder(std::string_view tagName) {
    for (size_t i = 0; i < impl_->orders.size(); ++i)
        if (base::equalsIgnoreCase(impl_->orders[i].tag.name(), base::alltrim(tagName))) {
            setOrder(static_cast<int>(i) + 1);
            return true;
        }
    return false;
}
int Table::order() const {
    return impl_->order;
}
std::string Table::indexPath(int order) const {
    if (order < 1 || order > indexCount()) return "";
    return impl_->orders[static_cast<size_t>(order - 1)].filePath;
}
std::string Table::indexKeyExpression(int order) const {
    if (order < 1 || order > indexCount()) return "";
    return impl_->orders[static_cast<size_t>(order - 1)].key.text();
}

const Resolver& Table::resolver() const {
    return *impl_;
}
base::Value Table::currentKey() const {
    const OpenOrder* o =
        impl_->order > 0 ? &impl_->orders[static_cast<size_t>(impl_->order - 1)] : nullptr;
    if (!o) return base::Value();
    impl_->ensureLoaded();
    const std::string key = impl_->keyOf(*o, impl_->record.data());
    return cdxKeyValue(key, o->keyType);
}

namespace {

// Whether the current record's own key starts with `bytes`. Another station
// writes a changed row's index entry just before the record itself, so a
// row read in between is read again a few times before it counts.
bool hasKeyPrefix(Table& table, Table::Impl& impl, const OpenOrder& o, std::string_view bytes) {
    const uint32_t recno = table.recNo();
    for (int attempt = 0;; ++attempt) {
        impl.ensureLoaded();
        if (std::string_view(impl.keyOf(o, impl.record.data())).substr(0, bytes.size()) == bytes)
            return true;
        if (attempt == 3) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        table.goTo(recno);
    }
}

// Whether the index still lists `recno` under the key `bytes`.
bool listedUnder(OpenOrder& o, std::string_view bytes, uint32_t recno) {
    CdxFile::ReadLock lock(*o.file);
    for (bool on = o.cursor.seek(bytes); on && o.cursor.key().compare(0, bytes.size(), bytes) == 0;
         on = o.cursor.next())
        if (o.cursor.recno() == recno) return true;
    return false;
}

}  // namespace

// Both walks list the record numbers first, from the index under one read
// lock (no record is read for that), then visit the live ones: a visitor may
// change any field, the key included, without disturbing the walk.
//
// A taxpayer's rows are taken by their key, and what is taken is saved back
// under it: a row the index lists under the key but whose record holds
// another (an index left from before the table was copied or rebuilt) would
// move another taxpayer's data. It stops the walk as a damaged index; a row
// another station moved since the walk is only left out.
void Table::forEachKey(const base::Value& key, const std::function<bool(Table&)>& visit) {
    Impl& impl = *impl_;
    impl.requireOpen();
    impl.leaveRecord();
    OpenOrder* o = impl.controlling();
    if (!o)
        throw base::Error("A tabela "_cp + impl.path + " não tem índice ativo para a busca."_cp);
    const std::string bytes = impl.seekBytes(*o, key);
    std::vector<uint32_t> rows;
    {
        CdxFile::ReadLock lock(*o->file);
        for (bool on = o->cursor.seek(bytes);
             on && o->cursor.key().compare(0, bytes.size(), bytes) == 0; on = o->cursor.next())
            rows.push_back(o->cursor.recno());
    }
    impl.cursorOnRecord = false;
    for (uint32_t n : rows) {
        goTo(n);
        if (eof() || !impl.visible()) continue;
        if (!hasKeyPrefix(*this, impl, *o, bytes)) {
            const bool listed = listedUnder(*o, bytes, n);
            impl.cursorOnRecord = false;
            if (!listed) continue;
            throw base::Error("O índice "_cp + o->filePath + " não corresponde à tabela "_cp +
                              impl.path + ": o registro "_cp + std::to_string(n) +
                              " está com outra chave. Refaça os índices."_cp);
        }
        if (!visit(*this)) break;
    }
}

void Table::forEach(const std::function<bool(Table&)>& visit) {
    Impl& impl = *impl_;
    impl.requireOpen();
    impl.leaveRecord();
    std::vector<uint32_t> rows;
    if (OpenOrder* o = impl.controlling()) {
        CdxFile::ReadLock lock(*o->file);
        for (bool on = o->cursor.first(); on; on = o->cursor.next())
            rows.push_back(o->cursor.recno());
        impl.cursorOnRecord = false;
    } else {
        const uint32_t count = impl.refreshCount();
        rows.reserve(count);
        for (uint32_t n = 1; n <= count; ++n)
            rows.push_back(n);
    }
    visitRows(rows, visit);
}

void Table::visitRows(const std::vector<uint32_t>& rows, const std::function<bool(Table&)>& visit) {
    for (uint32_t n : rows) {
        goTo(n);
        if (eof() || !impl_->visible()) continue;
        if (!visit(*this)) break;
    }
}

void appendRecord(Table& table) {
    if (!table.append())
        throw base::Error("Não foi possível incluir um registro em "_cp + table.path() +
                          ": a tabela está bloqueada por outra estação."_cp);
}

uint32_t appendFrom(Table& dest, Table& source) {
    uint32_t appended = 0;
    source.forEach([&](Table& row) {
        if (!dest.append())
            throw base::Error("Não foi possível incluir registros em "_cp + dest.path() +
                              ": a tabela está bloqueada por outra estação."_cp);
        dest.copyFieldsFrom(row);
        dest.unlock();
        ++appended;
        return true;
    });
    return appended;
}

}  // namespace kdx2::store
