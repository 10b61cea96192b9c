#include "tax/variable_income.h"

#include <algorithm>

#include "base/cp850.h"
#include "base/text.h"
#include "common/numbers.h"
#include "tax/amount_text.h"

namespace kdx2::tax {

namespace {

constexpr int kLines = 25;
constexpr size_t kCellWidth = 14;

constexpr const char* kLabels[kLines] = {
    "01.Mercado à Vista - Ações     ", "02.Mercado à Vista - Ouro      ",
    "03.Mer.Vista Ouro fora de bolsa", "04.Mercado de Opções - Ações   ",
    "05.Mercado de Opções - Ouro    ", "06.Merc.de Opções fora de bolsa",
    "07.Mercado de Opções - Outros  ", "08.Mercado Futuro Dolar do EUA ",
    "09.Mercado Futuro - Indices    ", "10.Mercado Futuro - Juros      ",
    "11.Mercado Futuro - Outros     ", "12.Mercado a Termo - Ações/Ouro",
    "13.Mercado a Termo - Outros    ", "14.RESUL.LIQUIDO DO MES        ",
    "15.RESUL.NEGAT. MES ANTERIOR   ", "16.BASE DE CALCULO             ",
    "17.PREJUIZO A COMPENSAR        ", "18.Imposto Operação comum ",
    "19.Imposto no Day Trade   (20%)", "20.Total do Imposto devido     ",
    "21.IR fonte Day Trade no mês   ", "22.IR fonte D.Trade anteriores ",
    "23.IR fonte D.Trade a compensar", "24.Imposto a Pagar             ",
    "25.Imposto Pago                "};

constexpr int kCommonRateLine = 18;

std::string& cell(VariableIncomeGrid& grid, int line, int column) {
    return grid.at(static_cast<size_t>(line - 1)).at(static_cast<size_t>(column - 1));
}

bool sameDayTrade(const std::string& a, const std::string& b) {
    return base::alltrim(a) == base::alltrim(b);
}

}  // namespace

VariableIncomeGrid ZER_RENVAR(int year) {
    VariableIncomeGrid grid;
    for (int line = 1; line <= kLines; ++line) {
        std::string label = base::cp850::fromUtf8(kLabels[line - 1]);
        if (line == kCommonRateLine) label += year > 2004 ? "(15%)" : "(20%)";
        cell(grid, line, 1) = label;
        for (int column = 2; column <= 13; ++column)
            cell(grid, line, column) = std::string(kCellWidth, ' ');
    }
    return grid;
}

VariableIncomeGrid loadVariableIncome(int year, const std::vector<CapitalGainRecord>& records,
                                      const std::string& dayTrade) {
    VariableIncomeGrid grid = ZER_RENVAR(year);
    for (const CapitalGainRecord& record : records) {
        if (!isVariableIncome(record) || !sameDayTrade(record.DAY_TRADE, dayTrade)) continue;
        if (record.RVAR_NRO < 1 || record.RVAR_NRO > kLines) continue;
        for (int month = 1; month <= 12; ++month)
            cell(grid, record.RVAR_NRO, month + 1) = formatAmount(
                record.REC_MES[static_cast<size_t>(month - 1)], kVariableIncomePicture);
    }
    return grid;
}

std::vector<StatementLine> statementLines(const VariableIncomeGrid& grid) {
    std::vector<StatementLine> lines;
    for (int line = 1; line <= kLines; ++line) {
        StatementLine read;
        read.line = line;
        for (int month = 1; month <= 12; ++month) {
            const double amount =
                common::CAR_TO_VAL(grid[static_cast<size_t>(line - 1)][static_cast<size_t>(month)]);
            read.amounts[static_cast<size_t>(month - 1)] = amount;
            if (amount != 0) read.store = true;
        }
        lines.push_back(read);
    }
    return lines;
}

VariableIncomeTotals CALC_GRV(const std::vector<CapitalGainRecord>& records) {
    VariableIncomeTotals totals;
    double net = 0;  // the losses of the year, negative
    for (const CapitalGainRecord& record : records) {
        if (!isVariableIncome(record)) continue;
        const bool dayTrade = base::alltrim(record.DAY_TRADE) == "X";
        for (int month = 1; month <= 12; ++month) {
            const double amount = record.REC_MES[static_cast<size_t>(month - 1)];
            switch (record.RVAR_NRO) {
                case kNetResultLine:
                    if (amount < 0)
                        net += amount;
                    else
                        totals.LUCRRVA += amount;
                    break;
                case kBaseLine:
                    totals.I4_03[static_cast<size_t>(month - 1)] += amount;
                    totals.I4_03T += amount;
                    break;
                case kDayTradeWithheldLine:
                    if (dayTrade) totals.IMPOFONRV += amount;
                    break;
                case kTaxToPayLine:
                    totals.IMPDEVRV.add(month, amount);
                    break;
                case kTaxPaidLine:
                    totals.IMPORVAR.add(month, amount);
                    break;
                default:
                    break;
            }
        }
    }
    totals.I4_03T = std::max(
        0.0, base::roundDecimal(
                 totals.I4_03T - totals.IMPORVAR[Accumulator::kYear] - totals.IMPOFONRV, 2));
    totals.PREJRVA = net < 0 ? -net : 0.0;
    return totals;
}

Accumulator IMPGANCAP(const std::vector<CapitalGainRecord>& records) {
    Accumulator due;
    for (const CapitalGainRecord& record : records) {
        if (isVariableIncome(record)) continue;
        for (int month = 1; month <= 12; ++month)
            due.add(month, record.IMP_DEV[static_cast<size_t>(month - 1)]);
    }
    return due;
}

}  // namespace kdx2::tax
