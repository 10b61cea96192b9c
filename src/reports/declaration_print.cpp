#include "reports/declaration_print.h"

#include <algorithm>
#include <map>
#include <string>

#include "base/cp850.h"
#include "base/error.h"
#include "base/named_values.h"
#include "base/text.h"
#include "common/messages.h"
#include "common/windows.h"
#include "editor/lookup_lists.h"
#include "reports/cash_book_print.h"
#include "reports/declaration_pages.h"
#include "reports/summary_print.h"
#include "store/access.h"
#include "store/table_numbers.h"
#include "store/work_areas.h"
#include "tax/cash_book.h"
#include "ui/get.h"

namespace kdx2::reports {

using namespace base::literals;

namespace {

namespace tables = store::tables;

// The taxpayer's rows of year table `number`: the open declaration's
// scratch copy when there is one (it holds the work not saved yet, and the
// declaration open here is the taxpayer printed), otherwise the year table
// of the data folder, from which the pages take the taxpayer's rows.
store::Table& taxpayerTable(int number) {
    store::WorkAreas& areas = store::workAreas();
    if (store::Table* copy = areas.table(tables::scratch(number))) return *copy;
    if (areas.table(number) == nullptr && !store::ABERTURA(number))
        throw base::Error("Não foi possível abrir os dados do contribuinte para a impressão."_cp);
    return *areas.table(number);
}

std::string trimmed(const char* name) {
    return base::alltrim(base::session().text(name));
}

// The months the cash book settings ask for (QUEMES, MES_INIC, MES_FINAL).
std::pair<int, int> monthsAsked() {
    const base::NamedValues& s = base::session();
    const int first = std::clamp(s.integer("MES_INIC"), 1, 12);
    switch (s.integer("QUEMES")) {
        case 2:
            return {first, first};
        case 3:
            return {first, std::clamp(s.integer("MES_FINAL"), first, 12)};
        default:
            return {1, 12};
    }
}

bool flagSet(const char* name, bool otherwise) {
    const std::string value = base::asciiUpper(trimmed(name));
    if (value.empty()) return otherwise;
    return value == "S";
}

// The account's description in the chart; the code when the chart lacks it.
std::string accountDescription(const std::string& code) {
    store::Table* chart = editor::openCodeTable(tables::kAccounts);
    if (chart == nullptr) return code;
    const std::optional<tax::Account> account = tax::findAccount(*chart, code);
    return account ? account->description : code;
}

TaxpayerIdentity loadedTaxpayer() {
    TaxpayerIdentity t;
    t.name = trimmed("NOMECONTR");
    t.cpf = trimmed("CPF");
    t.address = base::alltrim(trimmed("TIPOEND") + " " + trimmed("ENDERECO") + " " +
                              trimmed("NUMERO") + " " + trimmed("COMPLEM")) +
                (trimmed("BAIRRO").empty() ? "" : " - " + trimmed("BAIRRO"));
    t.postcode = trimmed("CEP");
    t.municipality = trimmed("MUNICIPIO");
    t.state = trimmed("UF");
    t.areaCode = trimmed("DDDTEL");
    t.phone = trimmed("TELEFO");
    if (!trimmed("NROFAX").empty()) t.fax = "(" + trimmed("DDDFAX") + ") " + trimmed("NROFAX");
    t.email = trimmed("EMAIL");
    return t;
}

// Pages 5 and 6: the book of the months asked, and the terms after a book
// of the whole year.
bool printCashBook(Book book) {
    const base::NamedValues& s = base::session();
    common::MENS(0, book == Book::Rural ? "Imprimindo o Livro Caixa Rural."
                                        : "Imprimindo o Livro Caixa Normal.");
    store::Table& income = taxpayerTable(tables::kIncome);
    store::Table& properties = taxpayerTable(tables::kRuralProperties);
    const std::string cpf = trimmed("CPF");
    const bool ruralDeclaration = s.integer("TIPO_LANCA") == 2;
    const auto [first, last] = monthsAsked();
    CashBookSettings settings;
    settings.book = book;
    settings.firstMonth = first;
    settings.lastMonth = last;
    settings.pagePerMonth = flagSet("AVANCA_PAG", true);
    settings.dailyTotals = flagSet("FECHA_DIA", false);
    settings.runningBalance = flagSet("MOSTR_ACU", true);
    settings.earlierBalance = flagSet("CALC_SALD", true);
    settings.monthHeader = s.integer("TIPO_LANCA") != 1;
    settings.year = s.integer("QUEANO");
    settings.name = trimmed("NOMECONTR");
    const std::vector<CashBookLine> lines =
        cashBookLines(income, cpf, book, propertyShares(properties, cpf), ruralDeclaration);
    const CashBookResult result = LIVRO_CX(lines, settings, accountDescription);
    // A book of the whole year, or a range that had nothing to print but
    // its balances, is closed by its terms.
    if (result.printed && !result.abandoned && ((first == 1 && last == 12) || result.balancesOnly))
        ENCERRA(result.pages + 1, result.lastEntry, book, settings.year, loadedTaxpayer());
    return result.printed;
}

// The terms alone: the number of pages, the last entry and the kind of
// book are asked; Esc or a kind other than 1 or 2 prints nothing.
bool printTerms() {
    const base::NamedValues& s = base::session();
    constexpr int kSlot = 5;
    constexpr int kTop = 9;
    constexpr int kLeft = 10;
    common::REDEFJAN(kSlot, s.integer("COR_TEL1"), s.integer("COR_TEL2"), s.integer("COR_TEL3"),
                     kTop, kLeft, kTop + 4, kLeft + 58, 1);
    common::ABREJAN(kSlot);
    common::ESCRLCOL(kSlot, 1, 2, "Número de paginas"_cp);
    common::ESCRLCOL(kSlot, 2, 2, "Ultimo lancamento:  ");
    common::ESCRLCOL(kSlot, 3, 2, "Informe com 1 se L.Caixa comum ou 2 se L.Caixa Rural");
    base::Value pages(0);
    base::Value last(base::Date::today());
    base::Value kind(1);
    ui::GetList fields;
    fields.push_back(ui::Get::of(kTop + 1, kLeft + 22, pages, "@Z 999", "NRO_PAG"));
    fields.push_back(ui::Get::of(kTop + 2, kLeft + 22, last, "@D", "DULTLAN"));
    fields.push_back(ui::Get::of(kTop + 3, kLeft + 56, kind, "9", "TIPO_LIVRO"));
    const bool answered = ui::readFields(fields).exit != ui::ReadExit::Escape;
    common::FECHAJAN(kSlot);
    const int book = static_cast<int>(kind.number());
    if (!answered || (book != 1 && book != 2) || pages.number() < 1) return false;
    common::MENS(0, "Imprimindo os termos de Abertura e fechamento.");
    ENCERRA(static_cast<int>(pages.number()), last.date(), book == 2 ? Book::Rural : Book::Normal,
            s.integer("QUEANO"), loadedTaxpayer());
    return true;
}

}  // namespace

bool FOLHA(int page, const SummarySource& summary) {
    switch (page) {
        case kIncomePage:
            common::MENS(0, "Imprimindo os rendimentos tributáveis"_cp);
            printIncomePage(taxpayerTable(tables::kIncome), taxpayerTable(tables::kMonthlyFigures));
            return true;
        case kRuralPage:
            common::MENS(0, "Imprimindo rendimentos da Atividade Rural ");
            return printRuralPage(taxpayerTable(tables::kRural),
                                  taxpayerTable(tables::kRuralProperties),
                                  taxpayerTable(tables::kDependants));
        case kPaymentsPage:
            common::MENS(0, "Imprimindo os Pagamentos Efetuados");
            printPaymentsPage(taxpayerTable(tables::kPayments), taxpayerTable(tables::kDependants));
            return true;
        case kSummaryPage:
            if (!summary) return false;
            common::MENS(0, "Imprimindo o Resumo ");
            printSummaryPage(summary());
            return true;
        case kCashBookPage:
            return printCashBook(Book::Normal);
        case kRuralCashBookPage:
            return printCashBook(Book::Rural);
        case kTermsPage:
            return printTerms();
        default:
            return false;
    }
}

}  // namespace kdx2::reports
