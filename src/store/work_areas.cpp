#include "store/work_areas.h"

#include <charconv>

#include "base/cp850.h"
#include "base/error.h"
#include "base/process_state.h"
#include "base/text.h"

namespace kdx2::store {

using namespace base::literals;

int WorkAreas::slotOf(std::string_view numberOrAlias) const {
    const std::string name = base::alltrim(numberOrAlias);
    if (name.empty()) return 0;
    int number = 0;
    const auto [end, error] = std::from_chars(name.data(), name.data() + name.size(), number);
    if (error == std::errc() && end == name.data() + name.size())
        return number >= 1 && number <= kSlots ? number : 0;
    for (int slot = 1; slot <= kSlots; ++slot)
        if (tables_[slot] && base::equalsIgnoreCase(tables_[slot]->alias(), name)) return slot;
    return 0;
}

Table* WorkAreas::table(int slot) const {
    return slot >= 1 && slot <= kSlots ? tables_[slot].get() : nullptr;
}

Table* WorkAreas::table(std::string_view numberOrAlias) const {
    return table(slotOf(numberOrAlias));
}

Table& WorkAreas::area(int slot) const {
    Table* found = table(slot);
    if (!found) throw base::Error("Nenhuma tabela aberta na área "_cp + std::to_string(slot) + ".");
    return *found;
}

Table& WorkAreas::area(std::string_view numberOrAlias) const {
    Table* found = table(numberOrAlias);
    if (!found)
        throw base::Error("A tabela "_cp + std::string(numberOrAlias) + " não está aberta."_cp);
    return *found;
}

void WorkAreas::select(int slot) {
    if (slot < 1 || slot > kSlots)
        throw base::Error("Área de trabalho "_cp + std::to_string(slot) + " inexistente."_cp);
    current_ = slot;
}

bool WorkAreas::select(std::string_view numberOrAlias) {
    const int slot = slotOf(numberOrAlias);
    if (!slot) return false;
    current_ = slot;
    return true;
}

void WorkAreas::attach(int slot, std::unique_ptr<Table> table) {
    close(slot);
    select(slot);
    tables_[slot] = std::move(table);
}

void WorkAreas::close(int slot) {
    if (slot < 1 || slot > kSlots || !tables_[slot]) return;
    // Taken out first, so the area is free even when closing reports an error.
    std::unique_ptr<Table> closing = std::move(tables_[slot]);
    closing->close();
}

void WorkAreas::closeAll() {
    std::string firstError;
    for (int slot = 1; slot <= kSlots; ++slot) {
        try {
            close(slot);
        } catch (const base::Error& error) {
            if (firstError.empty()) firstError = error.what();
        }
    }
    if (!firstError.empty()) throw base::Error(firstError);
}

int WorkAreas::freeSlot() const {
    for (int slot = kSlots; slot >= 1; --slot)
        if (!tables_[slot]) return slot;
    return 0;
}

WorkAreas& workAreas() {
    static WorkAreas areas;
    // A fresh start finds every work area closed; a table that cannot be
    // closed cleanly is still let go.
    [[maybe_unused]] static const bool registered = base::registerResetOnce([] {
        try {
            areas.closeAll();
        } catch (const base::Error&) {
        }
    });
    return areas;
}

}  // namespace kdx2::store
