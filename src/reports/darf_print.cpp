#include "reports/darf_print.h"

#include <algorithm>

#include "base/named_values.h"
#include "base/text.h"
#include "printing/output.h"
#include "printing/questions.h"
#include "reports/darf_charges.h"

namespace kdx2::reports {

namespace {

constexpr double kLowestPayableTotal = 10.0;
constexpr int kNewPageAfterRow = 50;
constexpr int kDrawnCopies = 2;

bool lowTotal(const DarfSlip& slip) {
    return slip.VAL_TOTAL < kLowestPayableTotal;
}

int currentLine() {
    return std::max(base::session().integer("QLIN"), 0);
}

void setCurrentLine(int line) {
    base::session().set("QLIN", line);
}

bool laserPrinter() {
    return base::session().integer("TEM_LASER") == 1;
}

// Writes `text` over `row` from `column`, never past the row's end.
void overlay(std::string& row, int column, const std::string& text) {
    if (column < 0 || column >= static_cast<int>(row.size())) return;
    const size_t room = row.size() - static_cast<size_t>(column);
    row.replace(static_cast<size_t>(column), std::min(room, text.size()), text.substr(0, room));
}

std::string drawnValue(const DarfSlip& slip, SlipValue value) {
    if (value == SlipValue::LowTotal1) return lowTotal(slip) ? std::string(kDrawnLowTotal1) : "";
    if (value == SlipValue::LowTotal2) return lowTotal(slip) ? std::string(kDrawnLowTotal2) : "";
    return slipValueText(slip, value);
}

}  // namespace

std::string slipValueText(const DarfSlip& slip, SlipValue value) {
    using V = SlipValue;
    switch (value) {
        case V::Period:
            return slip.DF_PERIODO.dtoc();
        case V::Cpf:
            return slip.QUEDARF == kOther ? base::padRight(slip.QUALCPF, 18) : slipCpf(slip.CPF);
        case V::Code:
            return slip.DF_CODIG;
        case V::Reference:
            return slip.QUEDARF == kOther ? base::padRight(slip.DF_REFER, 18) : "";
        case V::Name:
            return base::padRight(slip.NOMECONTR, kTextWidth);
        case V::Phone:
            return slipPhone(slip.TELEFO);
        case V::DueDate:
            return slip.DF_VCTO.dtoc();
        case V::Principal:
            return slipAmount(slip.IMPO_REAL);
        case V::Title:
            return base::padRight(slip.title(), kTextWidth);
        case V::Fine:
            return slipAmount(slip.VAL_MULTA);
        case V::Interest:
            return slipAmount(slip.VAL_JURO);
        case V::Total:
            return slipAmount(slip.VAL_TOTAL);
        case V::Line1:
        case V::Line2:
        case V::Line3:
        case V::Line4:
            return base::padRight(slip.DF_OUTR[static_cast<size_t>(static_cast<int>(value) -
                                                                   static_cast<int>(V::Line1))],
                                  kTextWidth);
        case V::ValidityWord:
            return validityOf(slip.DF_VCTO, slip.DF_PGTO, slip.DF_MULTA).word;
        case V::ValidityDate:
            return validityOf(slip.DF_VCTO, slip.DF_PGTO, slip.DF_MULTA).date.dtoc();
        default:
            return "";
    }
}

void IMPR_FODARF(const DarfSlip& slip) {
    std::vector<std::string> rows = drawnFormRows();
    for (const SlipPlace& place : drawnFormPlaces()) {
        // The CPF/CNPJ a kind-3 slip carries as typed is wider than a CPF.
        const int column =
            place.value == SlipValue::Cpf && slip.QUEDARF == kOther ? 59 : place.column;
        overlay(rows.at(static_cast<size_t>(place.row)), column, drawnValue(slip, place.value));
    }
    const int top = currentLine() + kDrawnFormTopMargin;
    printing::PrintOutput& out = printing::output();
    for (size_t i = 0; i < rows.size(); ++i)
        out.say(top + static_cast<int>(i), 0, rows[i]);
    const int line = top + static_cast<int>(rows.size());  // the empty line after the form
    setCurrentLine(line > kNewPageAfterRow ? 0 : line + 1);
}

void printOnPreprintedForm(const DarfSlip& slip) {
    const int top = currentLine();
    printing::PrintOutput& out = printing::output();
    for (const SlipPlace& place : preprintedPlaces()) {
        const int row = top + place.row;
        switch (place.value) {
            case SlipValue::Pause:
                printing::AJUS_FIN();
                break;
            case SlipValue::SetUp:
                out.say(row, place.column, "");
                out.control(base::session().text("STRING0"));
                break;
            case SlipValue::LowTotal1:
                if (lowTotal(slip)) out.say(row, place.column, kPreprintedLowTotal1);
                break;
            case SlipValue::LowTotal2:
                if (lowTotal(slip)) out.say(row, place.column, kPreprintedLowTotal2);
                break;
            default:
                out.say(row, place.column, slipValueText(slip, place.value));
                break;
        }
    }
    setCurrentLine(top + (laserPrinter() ? kLaserPreprintedPitch : kPreprintedPitch));
}

bool IMPRDARF(const DarfSlip& slip) {
    if (slip.IMPO_REAL == 0) return false;
    if (base::session().integer("QUEMOD") == 2) {
        for (int copy = 0; copy < kDrawnCopies; ++copy)
            IMPR_FODARF(slip);
    } else {
        printOnPreprintedForm(slip);
    }
    return true;
}

}  // namespace kdx2::reports
