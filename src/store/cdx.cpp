// The public handles of the compound index engine: each forwards to the
// shared engine that owns the open file, its page cache and its locks.

#include "store/cdx.h"

#include <stdexcept>

#include "base/cp850.h"
#include "base/error.h"
#include "base/text.h"
#include "platform/drives.h"
#include "platform/file.h"
#include "store/cdx_engine.h"
#include "store/table_files.h"

namespace kdx2::store {

using base::literals::operator""_cp;

namespace {

std::shared_ptr<detail::CdxEngine> openEngine(platform::File file, bool readOnly, bool shared) {
    return std::make_shared<detail::CdxEngine>(std::move(file), readOnly, shared);
}

std::string keyTypeName(base::Type type) {
    switch (type) {
        case base::Type::Numeric:
            return "numérica"_cp;
        case base::Type::Date:
            return "de data";
        case base::Type::Logical:
            return "lógica"_cp;
        case base::Type::Character:
            break;
    }
    return "de caracteres";
}

}  // namespace

// ---------------------------------------------------------------- CdxFile

CdxFile CdxFile::create(const std::string& hostPath, Sharing sharing, const std::string& name) {
    auto engine =
        openEngine(platform::File::create(hostPath, name), false, sharing == Sharing::Shared);
    engine->initializeNewFile();
    return CdxFile(std::move(engine));
}

CdxFile CdxFile::open(const std::string& hostPath, Access access, Sharing sharing,
                      const std::string& name) {
    const bool readOnly = access == Access::ReadOnly;
    auto engine = openEngine(
        platform::File::open(
            hostPath, readOnly ? platform::File::Mode::ReadOnly : platform::File::Mode::ReadWrite,
            name),
        readOnly, sharing == Sharing::Shared);
    engine->validateOpenedFile();
    engine->allowCachedReads(onLocalDisk(name));
    return CdxFile(std::move(engine));
}

CdxFile& CdxFile::operator=(CdxFile&& other) noexcept {
    if (this != &other) {
        try {
            if (engine_) engine_->close();
        } catch (...) {
            // Same as the destructor: close() is where write errors are seen.
        }
        engine_ = std::move(other.engine_);
    }
    return *this;
}

CdxFile::~CdxFile() {
    try {
        if (engine_) engine_->close();
    } catch (...) {
        // Callers that care call close() and see the error there.
    }
}

detail::CdxEngine& CdxFile::engine() const {
    if (!engine_) throw base::Error("Índice não aberto."_cp);
    return *engine_;
}

bool CdxFile::isOpen() const {
    return engine_ && engine_->isOpen();
}

const std::string& CdxFile::path() const {
    return engine().path();
}

CdxFile::Access CdxFile::access() const {
    return engine().readOnly() ? Access::ReadOnly : Access::ReadWrite;
}

CdxFile::Sharing CdxFile::sharing() const {
    return engine().shared() ? Sharing::Shared : Sharing::Exclusive;
}

void CdxFile::flush() {
    engine().flush();
}

void CdxFile::sync() {
    flush();
    engine().syncFile();
}

void CdxFile::close() {
    if (engine_) engine_->close();
}

void CdxFile::beginRead() {
    engine().beginRead();
}
void CdxFile::endRead() {
    engine().endRead();
}
void CdxFile::beginWrite() {
    engine().beginWrite();
}
void CdxFile::endWrite() {
    engine().endWrite();
}

std::vector<CdxTagInfo> CdxFile::tags() {
    return engine().tags();
}

std::optional<CdxTagInfo> CdxFile::findTag(std::string_view name) {
    return engine().findTag(name);
}

CdxTag CdxFile::addTag(const CdxTagDefinition& definition, const CdxKeyList& keys) {
    engine().addTag(definition, keys);
    return tag(definition.name, keys.keyType());
}

bool CdxFile::dropTag(std::string_view name) {
    return engine().dropTag(name);
}

CdxTag CdxFile::tag(std::string_view name, base::Type keyType) {
    const auto info = findTag(name);
    if (!info)
        throw base::Error("A ordem "_cp + std::string(name) + " não existe no índice "_cp +
                          engine().path() + ".");
    const bool binary = keyType == base::Type::Numeric || keyType == base::Type::Date;
    const bool fits = binary                           ? info->keyLength == kCdxNumericKeyLength
                      : keyType == base::Type::Logical ? info->keyLength == kCdxLogicalKeyLength
                                                       : info->keyLength > 0;
    if (!fits)
        throw base::Error(engine().damageMessage(
            "a ordem "_cp + info->name + " tem chave de "_cp + std::to_string(info->keyLength) +
            " bytes, que não serve a uma chave "_cp + keyTypeName(keyType)));
    CdxTag handle;
    handle.engine_ = engine_;
    handle.name_ = info->name;
    handle.keyType_ = keyType;
    handle.keyLength_ = info->keyLength;
    return handle;
}

CdxCheckResult CdxFile::check(const std::map<std::string, base::Type>& keyTypes) {
    return engine().check(keyTypes);
}

uint32_t CdxFile::changeCounter() const {
    return engine().counter();
}

// ---------------------------------------------------------------- CdxTag

namespace {

detail::CdxEngine& engineOf(const std::shared_ptr<detail::CdxEngine>& engine) {
    if (!engine) throw base::Error("Ordem de índice não aberta."_cp);
    return *engine;
}

}  // namespace

CdxTagInfo CdxTag::info() const {
    detail::CdxEngine& engine = engineOf(engine_);
    if (auto info = engine.findTag(name_)) return std::move(*info);
    throw base::Error("A ordem "_cp + name_ + " não existe no índice "_cp + engine.path() + ".");
}

bool CdxTag::insert(std::string_view key, uint32_t recno) {
    return engineOf(engine_).insert(*this, key, recno);
}

bool CdxTag::remove(std::string_view key, uint32_t recno) {
    return engineOf(engine_).remove(*this, key, recno);
}

void CdxTag::update(std::string_view oldKey, std::string_view newKey, uint32_t recno) {
    engineOf(engine_).update(*this, oldKey, newKey, recno);
}

std::vector<CdxEntry> CdxTag::entries() const {
    return engineOf(engine_).entries(*this);
}

CdxCursor CdxTag::cursor() const {
    engineOf(engine_);
    CdxCursor cursor;
    cursor.tag_ = *this;
    return cursor;
}

// ---------------------------------------------------------------- CdxCursor

bool CdxCursor::first() {
    return engineOf(tag_.engine_).first(*this);
}
bool CdxCursor::last() {
    return engineOf(tag_.engine_).last(*this);
}
bool CdxCursor::seek(std::string_view prefix) {
    return engineOf(tag_.engine_).seek(*this, prefix);
}
bool CdxCursor::seekEntry(std::string_view key, uint32_t recno) {
    return engineOf(tag_.engine_).seekEntry(*this, key, recno);
}
bool CdxCursor::next() {
    return engineOf(tag_.engine_).next(*this);
}
bool CdxCursor::previous() {
    return engineOf(tag_.engine_).previous(*this);
}

}  // namespace kdx2::store
