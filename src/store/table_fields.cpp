#include "store/table_impl.h"

#include <algorithm>
#include <cstring>
#include <exception>
#include <map>
#include <set>

#include "base/cp850.h"
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

std::optional<FieldBinding> Table::Impl::bindField(std::string_view aliasName,
                                                   std::string_view name) const {
    if (aliasName.empty() || base::equalsIgnoreCase(aliasName, alias)) {
        const int index = fieldIndex(name);
        if (index < 0) return std::nullopt;
        const FieldDef& f = layout.fields[static_cast<size_t>(index)];
        return FieldBinding{index, f.type, f.width, f.decimals};
    }
    const int area = workAreas().slotOf(aliasName);
    const Table* other = area ? workAreas().table(area) : nullptr;
    if (!other) return std::nullopt;
    const int index = other->fieldIndex(name);
    if (index < 0) return std::nullopt;
    const FieldDef& f = other->structure()[static_cast<size_t>(index)];
    return FieldBinding{(area << kAreaShift) | index, f.type, f.width, f.decimals};
}

base::Value Table::Impl::field(int slot) const {
    if (slot >> kAreaShift) {
        const Table* other = workAreas().table(slot >> kAreaShift);
        if (!other) return base::Value();
        return other->get(slot & ((1 << kAreaShift) - 1));
    }
    const FieldDef& f = layout.fields[static_cast<size_t>(slot)];
    if (!evalBuffer) {
        const_cast<Impl*>(this)->ensureLoaded();
        return dbf::decodeField(f, record.data() + layout.offsets[static_cast<size_t>(slot)]);
    }
    return dbf::decodeField(f, evalBuffer + layout.offsets[static_cast<size_t>(slot)]);
}

std::vector<const base::NamedValues*> Table::Impl::variableStores() const {
    return {&base::session()};
}

bool Table::Impl::deleted() const {
    if (evalBuffer) return evalBuffer[0] == dbf::kDeleted;
    const_cast<Impl*>(this)->ensureLoaded();
    return record[0] == dbf::kDeleted;
}

int Table::Impl::fieldIndex(std::string_view name) const {
    const auto found = fieldsByName.find(base::asciiUpper(base::alltrim(name)));
    return found == fieldsByName.end() ? -1 : found->second;
}

int Table::Impl::requireField(std::string_view name) const {
    const int index = fieldIndex(name);
    if (index < 0)
        throw base::Error("O campo "_cp + std::string(name) + " não existe na tabela "_cp + path +
                          ".");
    return index;
}

void Table::Impl::indexFields() {
    fieldsByName.clear();
    for (size_t i = 0; i < layout.fields.size(); ++i)
        fieldsByName[layout.fields[i].name] = static_cast<int>(i);
}

void Table::Impl::requireOpen() const {
    if (!file.isOpen()) throw base::Error("A tabela "_cp + path + " está fechada."_cp);
}

void Table::Impl::requireExclusive(const std::string& what) const {
    if (shared()) throw base::Error(what + " " + path + " exige uso exclusivo da tabela."_cp);
}

uint32_t Table::Impl::refreshCount() {
    if (shared() && !pendingAppend) {
        const dbf::Header header = headerOnDisk();
        // Records appended by others exist in the file before the header counts them.
        if (header.recordCount > count &&
            layout.recordOffset(header.recordCount + 1) <= file.size())
            count = header.recordCount;
    }
    return count;
}

base::Value Table::Impl::get(int index) const {
    if (index < 0 || index >= static_cast<int>(layout.fields.size()))
        throw base::Error("Campo inexistente na tabela "_cp + path + ".");
    const_cast<Impl*>(this)->ensureLoaded();
    return dbf::decodeField(layout.fields[static_cast<size_t>(index)],
                            record.data() + layout.offsets[static_cast<size_t>(index)]);
}

void Table::Impl::requireRecord() {
    requireOpen();
    if (atEof || recno < 1)
        throw base::Error("Não há registro corrente na tabela "_cp + path +
                          " (fim do arquivo)."_cp);
    ensureLoaded();
}

void Table::Impl::put(int index, const base::Value& value) {
    requireRecord();
    if (index < 0 || index >= static_cast<int>(layout.fields.size()))
        throw base::Error("Campo inexistente na tabela "_cp + path + ".");
    const FieldDef& f = layout.fields[static_cast<size_t>(index)];
    beforeChange();
    dbf::encodeField(f, value, record.data() + layout.offsets[static_cast<size_t>(index)], path);
    dirty = true;
}

void Table::Impl::setFlag(char flag) {
    requireRecord();
    if (record[0] == flag) return;
    beforeChange();
    record[0] = flag;
    dirty = true;
}

}  // namespace kdx2::store
