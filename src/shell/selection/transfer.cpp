// The transfer of taxpayers between two data folders: every row of each
// taxpayer in the year tables and its register record, copied or moved.
//
// Both folders' tables are held exclusively for the whole run. Every
// taxpayer's rows are staged in the destination as one transaction
// (store/journal.h): the destination shows each taxpayer's old rows or new
// ones, never both, whatever stops the run. A taxpayer that could not be
// staged whole is left out of it. Only once the destination's transaction
// is decided does a move remove the taxpayers from the origin, as a second
// transaction; so a failure at any point leaves each taxpayer whole in at
// least one folder.

#include <set>
#include <utility>
#include <vector>

#include "base/cp850.h"
#include "base/named_values.h"
#include "base/text.h"
#include "shell/selection/internal.h"
#include "shell/selection/selection.h"
#include "store/feedback.h"
#include "store/journal.h"
#include "store/work_areas.h"

namespace kdx2::shell::selection {

using namespace base::literals;

namespace {

constexpr int kDestinationRegister = detail::kRegister + detail::kSecondCopy;

// Closes every table; an error closing one is told, not thrown, so the
// run still reports what it did.
void closeEverything() {
    try {
        store::workAreas().closeAll();
    } catch (const base::Error& error) {
        store::feedback().alert(error.what());
    }
}

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
    closeEverything();
    for (int n = detail::kFirstYearTable; n <= detail::kLastYearTable; ++n) {
        if (!detail::openYearTable(n, from, n, true)) return false;
        if (!detail::openYearTable(n + detail::kSecondCopy, to, n, true, destinationAlias(n)))
            return false;
    }
    return true;
}

// Record numbers of the CPF's live rows, in index order.
std::vector<uint32_t> rowsOf(store::Table& table, const std::string& cpf) {
    table.setOrder(1);
    return store::rowsOfKey(table, cpf);
}

void dropRows(store::Table& table, const std::vector<uint32_t>& rows) {
    for (uint32_t recno : rows) {
        table.goTo(recno);
        table.deleteRecord();
    }
    table.flush();
}

// Stages the taxpayer's rows of every data table into the destination; a
// taxpayer that cannot be staged whole is taken out of the transaction.
bool stageTaxpayer(store::Transaction& copying, const std::string& cpf) {
    const size_t mark = copying.mark();
    try {
        for (int n = detail::kFirstYearTable; n <= detail::kLastYearTable; ++n) {
            if (!isDataTable(n)) continue;
            store::Table& from = origin(n);
            copying.replaceRows(destination(n), cpf, from, rowsOf(from, cpf));
        }
        return true;
    } catch (const base::Error& error) {
        store::feedback().alert(error.what());
        copying.rollbackTo(mark);
        return false;
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

// Removes the taxpayers from the origin, all tables at once; the register
// records go last, so a taxpayer half removed still has one.
std::vector<std::string> removeFromOrigin(const std::vector<std::string>& cpfs) {
    store::Transaction removing;
    std::vector<std::string> staged, notRemoved;
    for (const std::string& cpf : cpfs) {
        const size_t mark = removing.mark();
        try {
            for (int n = detail::kFirstYearTable; n <= detail::kLastYearTable; ++n)
                if (isDataTable(n)) removing.removeRows(origin(n), cpf);
            staged.push_back(cpf);
        } catch (const base::Error& error) {
            store::feedback().alert(error.what());
            removing.rollbackTo(mark);
            notRemoved.push_back(cpf);
        }
    }
    if (!store::commitAndTell(removing)) {
        notRemoved.insert(notRemoved.end(), staged.begin(), staged.end());
        return notRemoved;
    }
    for (const std::string& cpf : staged) {
        try {
            dropRows(origin(detail::kRegister), rowsOf(origin(detail::kRegister), cpf));
        } catch (const base::Error& error) {
            store::feedback().alert(error.what());
            notRemoved.push_back(cpf);
        }
    }
    return notRemoved;
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
    store::Transaction copying;
    try {
        store::Table& from = origin(table);
        copying.replaceRows(destination(table), cpf, from, rowsOf(from, cpf));
    } catch (const base::Error& error) {
        store::feedback().alert(error.what());
        return false;
    }
    return store::commitAndTell(copying);
}

TransferReport transferTaxpayers(const TransferRequest& request, const TransferProgress& progress) {
    TransferReport report;
    const bool deletedFilter = store::deletedFilter();
    store::setDeletedFilter(true);
    if (!openBothFolders(request.origin, request.destination)) {
        closeEverything();
        store::setDeletedFilter(deletedFilter);
        return report;
    }
    report.opened = true;
    const auto taxpayers = taxpayersToTake(request);
    store::Table& already = destination(detail::kRegister);
    store::Transaction copying;
    std::vector<std::string> staged;
    int at = 0;
    for (const auto& [cpf, name] : taxpayers) {
        ++at;
        already.setOrder(1);
        if (!request.overwrite && already.seek(base::Value(cpf))) {
            report.skipped.push_back(cpf);
            continue;
        }
        if (progress) progress(cpf, name, at, static_cast<int>(taxpayers.size()));
        if (stageTaxpayer(copying, cpf))
            staged.push_back(cpf);
        else
            report.failed.push_back(cpf);
    }
    if (!store::commitAndTell(copying)) {
        report.failed.insert(report.failed.end(), staged.begin(), staged.end());
        staged.clear();
    }
    for (const std::string& cpf : staged) {
        try {
            copyRegisterRecord(cpf);
        } catch (const base::Error& error) {
            store::feedback().alert(error.what());
        }
        report.copied.push_back(cpf);
        report.lastCopied = cpf;
    }
    if (request.move && !report.copied.empty()) report.notRemoved = removeFromOrigin(report.copied);
    if (!report.copied.empty()) packTables(request.move, true);
    closeEverything();
    store::setDeletedFilter(deletedFilter);
    return report;
}

}  // namespace kdx2::shell::selection
