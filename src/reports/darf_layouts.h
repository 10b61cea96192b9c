#pragma once

#include <string>
#include <string_view>
#include <vector>

// The fixed layouts of the payment slip, as data: the two choosers and the
// form on the screen, the slip drawn on a blank sheet and the places of the
// values on the preprinted form. The code that draws and prints reads them
// from here only.
namespace kdx2::reports {

// ---- Screen ----

// A window of the screen: its slot, rectangle (rows and columns of the 25 x
// 80 grid, bottom and right included), frame type, its three colours by
// session name and its fixed text, row after row, each row as wide as the
// window.
struct ScreenLayout {
    int slot;
    int top, left, bottom, right;
    int frame;
    const char* colour1;
    const char* colour2;
    const char* colour3;
    std::vector<std::string> rows;  // CP850

    int width() const { return right - left + 1; }
    std::string text() const;  // the rows joined
};

// MTELA3 7 (kind of slip: "C.Leão", "Mensalão", "Outros") and 8 (one month
// or a range), with the mark column and the first item's row (1-based, as
// the chooser counts them).
struct ChooserLayout {
    ScreenLayout window;
    int markColumn;
    int firstItemRow;
    int items;
};
const ChooserLayout& kindChooser();
const ChooserLayout& rangeChooser();

// MTELA4 1: the slip form. The places of its values, on the grid.
const ScreenLayout& slipForm();
struct GridPlace {
    int row, column;
};
namespace form {
inline constexpr GridPlace kPeriod{3, 64};
inline constexpr GridPlace kCpf{5, 62};
inline constexpr GridPlace kPayerDocument{5, 60};  // kind 3 and "Todos Marcados"
inline constexpr GridPlace kCode{7, 66};
inline constexpr GridPlace kReference{9, 60};
inline constexpr GridPlace kDueDate{11, 64};
inline constexpr GridPlace kPrincipal{13, 63};
inline constexpr GridPlace kFineRate{15, 51};
inline constexpr GridPlace kFine{15, 63};
inline constexpr GridPlace kInterestRate{17, 51};
inline constexpr GridPlace kInterest{17, 63};
inline constexpr GridPlace kTotal{19, 63};
inline constexpr GridPlace kFirstMonth{7, 22};
inline constexpr GridPlace kLastMonth{8, 22};
inline constexpr GridPlace kPaymentDate{8, 26};
inline constexpr GridPlace kNextBusinessDay{9, 26};
inline constexpr GridPlace kName{12, 1};
inline constexpr GridPlace kPhone{13, 1};
inline constexpr GridPlace kTitle{14, 1};
inline constexpr GridPlace kFirstLine{15, 1};  // lines 1 ... 4 on the rows below
}  // namespace form

// ---- Paper ----

// The values a printed slip carries.
enum class SlipValue {
    SetUp,  // the printer's set-up text
    Period,
    Cpf,
    Code,
    Reference,
    Name,
    Phone,
    DueDate,
    Principal,
    Title,
    Fine,
    Interest,
    Total,
    Line1,
    Line2,
    Line3,
    Line4,
    ValidityWord,
    ValidityDate,
    LowTotal1,  // the two warnings of a total below 10.00
    LowTotal2,
    Pause,  // not a value: the fine-adjustment pause of preprinted forms
};

struct SlipPlace {
    int row;  // from the slip's first row
    int column;
    SlipValue value;
};

// The slip drawn on a blank sheet (78 columns, 24 rows): the fixed rows and
// the places of the values over them.
const std::vector<std::string>& drawnFormRows();
const std::vector<SlipPlace>& drawnFormPlaces();
// The two warnings of a total below 10.00 on the drawn form.
inline constexpr std::string_view kDrawnLowTotal1 = "VALOR INFERIOR R$ 10,00 - NAO PAGAR";
inline constexpr std::string_view kDrawnLowTotal2 = "SOME C/OUTROS DARFS DO MESMO CODIGO";

// The values placed on the preprinted form, in the order they are printed,
// with the four alignment pauses among them.
const std::vector<SlipPlace>& preprintedPlaces();
inline constexpr std::string_view kPreprintedLowTotal1 = "VALOR INFERIOR A R$ 10,00 - NAO PAGAR";
inline constexpr std::string_view kPreprintedLowTotal2 = "SOME C/OUTROS DARFS DO MESMO CODIGO ";
// Rows from one preprinted slip to the next (a laser printer's forms are
// longer).
inline constexpr int kPreprintedPitch = 24;
inline constexpr int kLaserPreprintedPitch = 26;
inline constexpr int kLaserSlipsPerPage = 3;
// The drawn form starts this many rows below the current line.
inline constexpr int kDrawnFormTopMargin = 4;

}  // namespace kdx2::reports
