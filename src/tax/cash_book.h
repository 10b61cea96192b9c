#pragma once

#include <array>
#include <map>
#include <optional>
#include <string>
#include <string_view>

#include "base/date.h"
#include "store/table.h"

// The cash book's computations: the chart of accounts read into accounts,
// where each account's amounts belong in the declaration, the transfer of
// the entries into the declaration's tables (LANCAVAL), the rebuild of the
// rural items (AJUSTE), the monthly rural totals and the per-account
// balance. No screens here: questions and messages go through common's
// message windows, so tests answer them.
namespace kdx2::tax {

// Where an account's amounts go (PAGINA of the chart).
namespace destination {
inline constexpr int kCompanies = 1;  // income from companies (IRM2 kinds J and D)
inline constexpr int kMonthly = 2;    // monthly income and cash book (IRM2 F, E, L, P, I, O)
inline constexpr int kPayments = 6;   // payments made (IRM6)
inline constexpr int kRural = 10;     // rural activity (IRM2 kind R)
}  // namespace destination

// One account of the chart (CONTAS).
struct Account {
    std::string code;  // CDCONTA, trimmed
    std::string description;
    bool detail = false;  // CDSTATUS "S": takes entries; otherwise a title
    int page = 0;         // destination
    int line = 0;
    bool takesCpf = false;
    bool takesCnpj = false;
    bool cashBook = false;  // dated entries; otherwise entries by month
    bool takesDescription = false;
};

Account readAccount(const store::Table& chart);
// The account of `code` in the chart (its controlling order on CDCONTA);
// nullopt when there is none. The chart's position changes.
std::optional<Account> findAccount(store::Table& chart, std::string_view code);

// The IRM2 column group of a company-income line: 1 income, 2 tax withheld,
// 3 social security, 4 thirteenth salary ("I1_4" ... "I1_7"), and 6 ... 8
// the groups "I1_9" ... "I1_11". Any other line names no field of IRM2.
std::optional<std::string> companyGroup(int line);

// A payment line: its code and the group its months go to. Lines up to 36
// are codes of paid amounts ("I6_4"); lines above, reduced by 30, of the
// group "I6_5". nullopt for lines whose code cannot be stored (0, or a code
// above 99).
struct PaymentTarget {
    std::string group;
    int code = 0;
};
std::optional<PaymentTarget> paymentTarget(int line);

// "I1_4" and 3 give "I1_403".
std::string monthField(std::string_view group, int month);

// The IRM2 item a monthly-income line makes: its kind and credit mark, and
// the name of the one item per taxpayer it goes into (empty: a new item per
// entry). nullopt for a line below 1.
struct MonthlyItemKind {
    std::string kind;
    std::string credit;
    std::string namedItem;
};
std::optional<MonthlyItemKind> monthlyItemKind(int line);

// One cash-book entry (a record of IRM14 or of its private copy).
struct CashEntry {
    std::string cpf;
    std::string account;
    std::string description;
    double amount = 0;
    std::string number;  // counterpart's CPF or CNPJ as typed
    bool transferred = false;
    base::Date date;
    int month = 0;
    int documentType = 0;
    int code = 0;  // COD_CONTA
    std::string document;
    int property = 0;
};
CashEntry readEntry(const store::Table& entries);
// The entry's month: its date's, else MESLAN (0 when neither is usable).
int entryMonth(const CashEntry& entry);
// The date an item of the entry carries: its own, else the first day of its
// month in `year` (the monthly tax counts dated items by that date).
base::Date itemDate(const CashEntry& entry, int year);

// Where a transfer reads and writes: the entries' work area, and the
// declaration's tables in their areas (2, 6, 10, 15, 16 for the shared
// tables; 22, 26 ... for the open declaration's copies).
struct TransferPlace {
    int entriesArea = 0;
    int incomeArea = 2;
    int paymentsArea = 6;
    std::string cpf;
    int year = 0;                   // the base year (QUEANO)
    bool ruralDeclaration = false;  // TIPO_LANCA 2: rural items carry the document fields
    std::string onlyAccountsFrom;   // "8000": only accounts from this code on (rural window)
    double lockSeconds = 5;
};

struct TransferResult {
    int transferred = 0;     // entries marked transferred (title and unknown accounts too)
    int notTransferred = 0;  // entries left for a later transfer
    bool wroteRural = false;
    bool wroteMonthly = false;
};

// LANCAVAL: every entry not yet transferred, in table order, goes to the
// destination of its account. An entry is marked transferred only when
// every write it needed succeeded; one whose account has a line that names
// no field, whose company item is missing, or whose record could not be
// locked stays untransferred, and the user is told. The chart is the table
// open in `chart`.
TransferResult LANCAVAL(const TransferPlace& place, store::Table& chart);

// The message that reports a transfer ("Transferidos   2 lançamentos!"),
// with a second line when entries were left untransferred.
std::vector<std::string> transferReport(const TransferResult& result);

// The monthly rural totals of a taxpayer: revenue and expenses per month
// from the rural items (kind "R") of `income`, each weighted by its
// property's participation (`properties`, in table order) unless the
// declaration is of the rural-entries kind.
struct RuralTotals {
    std::array<double, 12> revenue{};
    std::array<double, 12> expenses{};
};
RuralTotals ruralTotals(store::Table& income, store::Table& properties, const std::string& cpf,
                        bool ruralDeclaration);
// Writes the totals into the taxpayer's rural record (I3_mmOR / I3_mmOD),
// appended when missing. False when its lock or append was refused.
bool writeRuralTotals(store::Table& rural, const std::string& cpf, const RuralTotals& totals,
                      double lockSeconds = 5);

// AJUSTE without its question: every rural item of `income` (all
// taxpayers) is deleted under its record lock, then every entry of
// `entries` on an account beginning with 8 (revenue) or 9 (expense) is
// appended as a rural item of its own taxpayer and marked transferred, so a
// later transfer does not add it again.
struct RebuildResult {
    int deleted = 0;
    int rebuilt = 0;
    int failed = 0;                      // items or entries a lock kept as they were
    std::vector<std::string> taxpayers;  // CPFs whose rural items changed
};
RebuildResult rebuildRuralItems(store::Table& income, store::Table& entries, int year,
                                double lockSeconds = 5);

// The per-account balance of a cash book: the amounts (I1_413) of a
// taxpayer's items of `kinds` ("FEL" the individual's book, "R" the rural
// one) dated within months first ... last, summed by account (CDCONTA),
// rural items weighted by their property's participation as in the rural
// totals. Kept in memory, so two cash books printed at once never mix.
struct AccountBalance {
    double total = 0;
    std::string credit;  // TIPOCR of the last item added: "C" revenue, "D" or "N" expense
};
std::map<std::string, AccountBalance> accountBalances(store::Table& income,
                                                      store::Table& properties,
                                                      const std::string& cpf,
                                                      std::string_view kinds, int firstMonth,
                                                      int lastMonth, bool ruralDeclaration);

}  // namespace kdx2::tax
