#include "shell/workspace/year_summary.h"

#include "base/cp850.h"
#include "base/named_values.h"
#include "base/text.h"
#include "common/messages.h"
#include "shell/settings.h"
#include "shell/workspace/scratch.h"
#include "shell/workspace/values_io.h"
#include "shell/workspace/working_values.h"
#include "tax/deductions.h"
#include "tax/grid_totals.h"
#include "tax/variable_income.h"

namespace kdx2::shell::workspace {

using namespace base::literals;

namespace {

std::vector<std::string>& problems() {
    static std::vector<std::string> list;
    return list;
}

// The form totals SOMA_JUR fills are working values of the declaration.
void keepCompanyTotals(const tax::CompanyIncome& company) {
    base::NamedValues& s = base::session();
    s.set("I3_13T", company.I3_13T);
    s.set("I3_05T", company.I3_05T);
    s.set("I4_06T", company.I4_06T);
    s.set("I4_01T", company.I4_01T);
    WorkspaceGrids& grids = workspaceGrids();
    grids.accumulator("TRECJUR") = company.TRECJUR;
    grids.accumulator("TRECDEP") = company.TRECDEP;
    grids.accumulator("TIMPJUR") = company.TIMPJUR;
    grids.accumulator("TIMPDEP") = company.TIMPDEP;
    grids.accumulator("TPAGPREV") = company.TPAGPREV;
    grids.accumulator("TPAGPD") = company.TPAGPD;
    grids.accumulator("T13ROD") = company.T13ROD;
}

void keepPaymentSums(const tax::PaymentSums& payments) {
    WorkspaceGrids& grids = workspaceGrids();
    grids.accumulator("DESPESC") = payments.DESPESC;
    grids.accumulator("DESPMED") = payments.DESPMED;
    grids.accumulator("TPAGPPRI") = payments.TPAGPPRI;
    grids.accumulator("DESPINC") = payments.DESPINC;
    grids.accumulator("DESPMEN") = payments.DESPMEN;
    grids.accumulator("DESPOUT") = payments.DESPOUT;
    // An education payment marks the register; nothing here unmarks it.
    if (payments.DESPINST) base::session().set("DESPINST", "X");
}

void keepVariableIncome(const tax::Accumulator& gains, const tax::VariableIncomeTotals& totals) {
    WorkspaceGrids& grids = workspaceGrids();
    grids.accumulator("IMPOGAN") = gains;
    grids.accumulator("IMPDEVRV") = totals.IMPDEVRV;
    grids.accumulator("IMPORVAR") = totals.IMPORVAR;
    base::NamedValues& s = base::session();
    for (int month = 1; month <= 12; ++month)
        s.set("I4_03" + monthSuffix(month), totals.I4_03[static_cast<size_t>(month - 1)]);
    s.set("I4_03T", totals.I4_03T);
    s.set("IMPOFONRV", totals.IMPOFONRV);
    s.set("PREJRVA", totals.PREJRVA);
    s.set("LUCRRVA", totals.LUCRRVA);
}

// What could not be read; the summary still shows the rest.
void tellProblems(const std::vector<std::string>& found) {
    if (found.empty()) return;
    std::vector<std::string> lines = found;
    lines.push_back("O resumo mostra o que pôde ser lido."_cp);
    common::AVISOSN(common::MessageLines(lines), common::box::kStop);
}

// The capital-gains table, whose copy holds the statement lines.
constexpr int kCapitalGains = 7;
// The DAY_TRADE of the day-trade lines (the totals count only these
// lines' withheld tax as day trade's).
const std::string kDayTrade = "X";

// A line's total on the exempt (I3_) or exclusive (I4_) income form.
double formLine(const char* prefix, int line) {
    return base::session().number(prefix + monthSuffix(line) + "T");
}

void totalExemptIncome() {
    std::array<double, 13> lines{};
    for (int line = 1; line <= 13; ++line)
        lines[static_cast<size_t>(line - 1)] = formLine("I3_", line);
    base::session().set("I3_14T", tax::exemptIncomeTotal(lines));
}

void totalExclusiveIncome() {
    std::array<double, 6> lines{};
    for (int line = 1; line <= 6; ++line)
        lines[static_cast<size_t>(line - 1)] = formLine("I4_", line);
    base::session().set("I4_07T", tax::exclusiveIncomeTotal(lines));
}

}  // namespace

tax::ProjectionSettings projectionSettings() {
    const base::NamedValues& s = base::session();
    return {.QUEANO = s.integer("QUEANO"),
            .QMEDIA = tax::projectionMonths(s.integer("QMEDIA")),
            .QUALMENS = s.text("QUALMENS"),
            // Printing from the main menu has no declaration's MES_ATU.
            .MES_ATU = s.has("MES_ATU") ? s.integer("MES_ATU") : clock().today().month(),
            .OPCAO_1 = s.integer("OPCAO_1")};
}

tax::ProjectionFigures gatherFigures(tax::CarneLeao& carne,
                                     const tax::DeclarationRecords& records) {
    const base::NamedValues& s = base::session();
    tax::ProjectionFigures figures;
    figures.company = tax::SOMA_JUR(records.companyItems);
    keepCompanyTotals(figures.company);
    figures.payments =
        tax::FDE_TUDO(records.payments, records.otherItemsTotal, tax::CALCDEP(carne, 13));
    keepPaymentSums(figures.payments);
    figures.IMPOGAN = tax::IMPGANCAP(records.capitalGains);
    const tax::VariableIncomeTotals variable = tax::CALC_GRV(records.capitalGains);
    figures.IMPDEVRV = variable.IMPDEVRV;
    keepVariableIncome(figures.IMPOGAN, variable);
    figures.I4_06 = s.number("I4_06");
    figures.I3_14T = s.number("I3_14T");
    figures.I4_07T = s.number("I4_07T");
    return figures;
}

void showSummary(const tax::Summary& summary) {
    labelSummary();
    auto& grid = sessionLists().MRESUMO;
    const auto opened = tax::summaryLabels(base::session().text("QUALMENS"));
    for (int row = 1; row <= tax::Summary::kRows; ++row) {
        auto& line = grid[static_cast<size_t>(row)];
        const std::string& label = summary.labels[static_cast<size_t>(row)];
        if (label != opened[static_cast<size_t>(row)]) line[0] = label;
        for (int period = 0; period <= 12; ++period)
            line[static_cast<size_t>(period + 1)] = summary.text(row, period);
    }
    base::session().set("I9_3", summary.I9_3);
    // A whole year needs no note (the computation gives a rule to draw
    // over it).
    const bool wholeYear = projectionSettings().QMEDIA == 12;
    base::session().set("NOTA_MEDIA", wholeYear ? std::string() : summary.note);
}

tax::Summary computeYearSummary(bool opening) {
    const tax::DeclarationRecords records = tax::readDeclarationRecords();
    const bool tell = opening || records.problems != problems();
    problems() = records.problems;
    tax::CarneLeao& carne = tax::carneLeao();
    const tax::ProjectionFigures figures = gatherFigures(carne, records);
    tax::Summary summary = tax::CALCULA_TUDO(carne, figures, projectionSettings());
    showSummary(summary);
    if (tell) tellProblems(records.problems);
    return summary;
}

void FX_RT(int row, int column, int screen) {
    WorkspaceGrids& grids = workspaceGrids();
    switch (screen) {
        case 11:
            totalExemptIncome();
            break;
        case 12:
            totalExclusiveIncome();
            break;
        case editor::screens::kMonthlyReceipts:
            tax::totalMonthlyGridColumn(tax::carneLeao(), column);
            break;
        case editor::screens::kRuralReceipts:
            tax::totalRuralColumn(grids.REND_RURAL, column);
            break;
        case editor::screens::kForeignIncome: {
            const tax::ConversionTotals totals =
                tax::convertUfirCell(grids.CALC_MENS, row, column, tax::carneLeao().TAB_UFIR);
            base::session().set("QCR1", totals.QCR1);
            base::session().set("QUF", totals.QUF);
            break;
        }
        default:
            return;
    }
    computeYearSummary();
}

std::string RENVAR(int mode) {
    WorkspaceGrids& grids = workspaceGrids();
    const int year = base::session().integer("QUEANO");
    try {
        store::Table& gains = scratch(kCapitalGains);
        if (mode != 0 && !tax::GRAVA_RV(gains, grids.MRENVAR, grids.dayTrade, currentCpf()))
            common::AVISOSN("Uma linha da renda variável não pôde ser gravada."_cp,
                            common::box::kStop);
        if (mode == 2) grids.dayTrade = grids.dayTrade == kDayTrade ? " " : kDayTrade;
        if (mode != 1) {
            const auto records = tax::readDeclarationRecords(nullptr, nullptr, &gains);
            grids.MRENVAR = tax::loadVariableIncome(year, records.capitalGains, grids.dayTrade);
        }
        if (mode != 0) computeYearSummary();
    } catch (const base::Error& error) {
        common::AVISOSN({error.what(), "A renda variável não foi gravada."_cp}, common::box::kStop);
    }
    return grids.dayTrade == kDayTrade ? "Operações Day Trade"_cp : "Operações comuns"_cp;
}

void connectYearHooks(editor::Hooks& hooks) {
    hooks.SOMA_JUR = [](int) { computeYearSummary(); };
    hooks.CALCULA_TUDO = [](int) { computeYearSummary(); };
    hooks.FX_RT = FX_RT;
    hooks.RENVAR = RENVAR;
    // The statement is a matrix of the workspace; the other screens keep
    // theirs.
    hooks.matrix = [others = hooks.matrix](int screen) -> editor::Matrix* {
        static editor::RowsMatrix<tax::VariableIncomeGrid> statement(workspaceGrids().MRENVAR);
        if (screen == editor::screens::kVariableIncome) return &statement;
        return others ? others(screen) : nullptr;
    };
}

const std::vector<std::string>& summaryProblems() {
    return problems();
}

}  // namespace kdx2::shell::workspace
