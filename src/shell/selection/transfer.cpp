// The transfer of taxpayers between two data folders: every row of each
// taxpayer in the year tables and its register record, copied or moved.
//
// Both folders' tables are held exclusively for the whole run. A taxpayer's
// rows are appended to the destination first; only when every table took
// them are the destination's previous rows of that CPF removed, and only then
// does a move remove the taxpayer from the origin. So a failure at any point
// leaves the taxpayer whole in at least one folder.

#include <set>
#include <utility>
#include <vector>

#include "base/cp850.h"
#include "base/named_values.h"
#include "base/text.h"
#include "shell/selection/internal.h"
#include "shell/selection/selection.h"
#include "store/feedback.h"
#include "store/work_areas.h"

namespace kdx2::shell::selection {

using namespace base::literals;

namespace {

constexpr int kDestinationRegister = detail::kRegister + detail::kSecondCopy;

bool isDataTable(int n) {
    return n != detail::kRegister;
}

store::Table& origin(int n) {
    return store::workAreas().area(n);
}

store::Table& destination(int n) {
    return store::workAreas().area(n + detail::kSecondCopy);
}

std::string destinationAlias(int n) {
    return n == detail::kRegister ? "DESTINO" : "DESTIN" + std::to_string(n);
}

// Every year table of both folders: the origin's in areas 1 ... 17, the
// destination's in 21 ... 37, all exclusively.
bool openBothFolders(const std::string& from, const std::string& to) {
    store::workAreas().closeAll();
    for (int n = detail::kFirstYearTable; n <= detail::kLastYearTable; ++n) {
        if (!detail::openYearTable(n, from, n, true)) return false;
        if (!detail::openYearTable(n + detail::kSecondCopy, to, n, true, destinationAlias(n)))
            return false;
    }
    return true;
}

// Record numbers of the CPF's live rows, in index order.
std::vector<uint32_t> rowsOf(store::Table& table, const std::string& cpf) {
    std::vector<uint32_t> rows;
    table.setOrder(1);
    table.forEachKey(base::Value(cpf), [&](store::Table& row) {
        rows.push_back(row.recNo());
        return true;
    });
    return rows;
}

void dropRows(store::Table& table, const std::vector<uint32_t>& rows) {
    for (uint32_t recno : rows) {
        table.goTo(recno);
        table.deleteRecord();
    }
    table.flush();
}

// One table's part of a taxpayer's copy: the destination rows it replaces
// and the rows appended for it.
struct TableCopy {
    int table = 0;
    std::vector<uint32_t> replaced;
    std::vector<uint32_t> appended;
};

void appendRows(TableCopy& copy, const std::string& cpf) {
    store::Table& from = origin(copy.table);
    store::Table& to = destination(copy.table);
    copy.replaced = rowsOf(to, cpf);
    for (uint32_t recno : rowsOf(from, cpf)) {
        from.goTo(recno);
        if (!to.append())
            throw base::Error("Não foi possível incluir registros em "_cp + to.path());
        copy.appended.push_back(to.recNo());
        to.copyFieldsFrom(from);
    }
    to.flush();
}

// Takes back what a failed copy appended; the destination is as it was.
void undoAppends(const std::vector<TableCopy>& copies) {
    for (const TableCopy& copy : copies) {
        try {
            dropRows(destination(copy.table), copy.appended);
        } catch (const base::Error& error) {
            store::feedback().alert(error.what());
        }
    }
}

void copyRegisterRecord(const std::string& cpf) {
    store::Table& from = origin(detail::kRegister);
    store::Table& to = destination(detail::kRegister);
    from.setOrder(1);
    if (!from.seek(base::Value(cpf))) return;
    to.setOrder(1);
    if (!to.seek(base::Value(cpf)) && !to.append())
        throw base::Error("Não foi possível incluir o contribuinte em "_cp + to.path());
    to.copyFieldsFrom(from);
    to.flush();
}

bool copyTaxpayer(const std::string& cpf) {
    std::vector<TableCopy> copies;
    try {
        for (int n = detail::kFirstYearTable; n <= detail::kLastYearTable; ++n) {
            if (!isDataTable(n)) continue;
            copies.push_back(TableCopy{n, {}, {}});
            appendRows(copies.back(), cpf);
        }
    } catch (const base::Error& error) {
        store::feedback().alert(error.what());
        undoAppends(copies);
        return false;
    }
    try {
        for (const TableCopy& copy : copies)
            dropRows(destination(copy.table), copy.replaced);
        copyRegisterRecord(cpf);
    } catch (const base::Error& error) {
        store::feedback().alert(error.what());
        return false;
    }
    return true;
}

bool removeFromOrigin(const std::string& cpf) {
    try {
        for (int n = detail::kFirstYearTable; n <= detail::kLastYearTable; ++n)
            if (isDataTable(n)) dropRows(origin(n), rowsOf(origin(n), cpf));
        // The register record goes last: a taxpayer half removed still has it.
        dropRows(origin(detail::kRegister), rowsOf(origin(detail::kRegister), cpf));
    } catch (const base::Error& error) {
        store::feedback().alert(error.what());
        return false;
    }
    return true;
}

// The origin's taxpayers to take, in CPF order, each once.
std::vector<std::pair<std::string, std::string>> taxpayersToTake(const TransferRequest& request) {
    std::set<std::string> chosen;
    for (const std::string& cpf : request.chosen)
        chosen.insert(detail::cpfKey(cpf));
    std::set<std::string> seen;
    std::vector<std::pair<std::string, std::string>> taxpayers;
    store::Table& reg = origin(detail::kRegister);
    reg.setOrder(1);
    reg.forEach([&](store::Table& row) {
        const std::string cpf = row.get("CPF").text();
        if (base::alltrim(cpf).empty() || !seen.insert(cpf).second) return true;
        if (request.partial && chosen.count(cpf) == 0) return true;
        taxpayers.emplace_back(cpf, row.get("NOMECONTR").text());
        return true;
    });
    return taxpayers;
}

// Removes the deleted rows the run left behind, rebuilding the indexes.
void packTables(bool origins, bool destinations) {
    try {
        for (int n = detail::kFirstYearTable; n <= detail::kLastYearTable; ++n) {
            if (destinations) destination(n).pack();
            if (origins) origin(n).pack();
        }
    } catch (const base::Error& error) {
        store::feedback().alert(error.what());
    }
}

}  // namespace

bool FAZAPP(int table) {
    if (!isDataTable(table) || table < detail::kFirstYearTable || table > detail::kLastYearTable)
        return false;
    const std::string cpf = detail::cpfKey(base::session().text("CPF"));
    std::vector<TableCopy> copies{TableCopy{table, {}, {}}};
    try {
        appendRows(copies.back(), cpf);
    } catch (const base::Error& error) {
        store::feedback().alert(error.what());
        undoAppends(copies);
        return false;
    }
    try {
        dropRows(destination(table), copies.back().replaced);
    } catch (const base::Error& error) {
        store::feedback().alert(error.what());
        return false;
    }
    return true;
}

TransferReport transferTaxpayers(const TransferRequest& request, const TransferProgress& progress) {
    TransferReport report;
    const bool deletedFilter = store::deletedFilter();
    store::setDeletedFilter(true);
    if (!openBothFolders(request.origin, request.destination)) {
        store::workAreas().closeAll();
        store::setDeletedFilter(deletedFilter);
        return report;
    }
    report.opened = true;
    const auto taxpayers = taxpayersToTake(request);
    store::Table& already = destination(detail::kRegister);
    int at = 0;
    for (const auto& [cpf, name] : taxpayers) {
        ++at;
        already.setOrder(1);
        if (!request.overwrite && already.seek(base::Value(cpf))) {
            report.skipped.push_back(cpf);
            continue;
        }
        if (progress) progress(cpf, name, at, static_cast<int>(taxpayers.size()));
        if (!copyTaxpayer(cpf)) {
            report.failed.push_back(cpf);
            continue;
        }
        report.copied.push_back(cpf);
        report.lastCopied = cpf;
        if (request.move && !removeFromOrigin(cpf)) report.notRemoved.push_back(cpf);
    }
    if (!report.copied.empty()) packTables(request.move, true);
    store::workAreas().closeAll();
    store::setDeletedFilter(deletedFilter);
    return report;
}

}  // namespace kdx2::shell::selection
