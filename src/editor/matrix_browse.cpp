#include <algorithm>

#include "base/cp850.h"
#include "base/text.h"
#include "common/calculator.h"
#include "common/messages.h"
#include "common/windows.h"
#include "editor/browse.h"
#include "editor/engine.h"
#include "editor/field_checks.h"
#include "platform/console/keys.h"
#include "ui/color.h"
#include "ui/get.h"
#include "ui/picture.h"
#include "ui/screen.h"

namespace kdx2::editor {

namespace keys = platform::keys;
using namespace base::literals;

namespace {

constexpr int kListWindow = 4;
constexpr int kPageWindow = 3;

// Width of a matrix column: its heading, its picture and its first cell.
int matrixColumnWidth(const Matrix& matrix, const BrowseColumn& column, int index) {
    const ui::Picture picture = ui::Picture::parse(column.picture);
    size_t width = std::max(column.heading.size(), picture.mask.size());
    width = std::max(width, static_cast<size_t>(picture.scrollWidth));
    if (matrix.rows() > 0 && index <= matrix.columns())
        width = std::max(width, matrix.cell(1, index).size());
    return static_cast<int>(std::max<size_t>(width, 1));
}

std::vector<GridColumn> gridColumns(const Matrix& matrix,
                                    const std::vector<BrowseColumn>& columns) {
    std::vector<GridColumn> grid;
    for (size_t i = 0; i < columns.size(); ++i)
        grid.push_back(GridColumn{columns[i].heading,
                                  matrixColumnWidth(matrix, columns[i], static_cast<int>(i) + 1)});
    return grid;
}

GridColours matrixColours() {
    const base::NamedValues& s = settings();
    GridColours colours;
    colours.normal = ui::parseColorPair(s.text("COR_1_CLI")).value_or(0x1E);
    colours.frame = colours.normal;
    colours.selected = ui::parseColorPair(s.text("COR_GET")).value_or(0x07);
    return colours;
}

}  // namespace

void MatrixSource::setRow(int row) {
    row_ = std::clamp(row, 1, std::max(1, matrix_.rows()));
}

long MatrixSource::skip(long n) {
    const int steps = SKIP_MATRIZ(matrix_, row_, static_cast<int>(n));
    row_ += steps;
    return steps;
}

std::string MatrixSource::cellText(int column) {
    if (column + 1 > matrix_.columns() || matrix_.rows() == 0) return {};
    return matrix_.cell(row_, column + 1);
}

MatrixBrowser::MatrixBrowser(Matrix& matrix, platform::Rect rect,
                             const BrowseDescription& description)
    : matrix(matrix),
      description(description),
      source(matrix),
      view(source, rect, gridColumns(matrix, description.columns), description.footingLine,
           matrixColours()),
      screen(screenCode()),
      rules(screenRules(screen)) {
    view.setFreeze(description.frozen);
    if (this->description.lastEditable <= 0)
        this->description.lastEditable = static_cast<int>(description.columns.size());
}

void MatrixBrowser::publishState() const {
    base::NamedValues& s = settings();
    s.set("POSHORMAT", view.colPos());
    s.set("POSVERMAT", source.row());
    s.set("NLIN", source.row());
    s.set("PONTEIRO", view.colPos());
    s.set("PONTVERT", view.rowPos());
    s.set("ULT_POS", description.lastEditable);
}

void MatrixBrowser::run() {
    base::NamedValues& s = settings();
    const base::Value savedRow = s.get("NLIN");
    source.goTop();
    int pending = 0;
    while (!done) {
        if (view.colPos() <= view.freeze())
            view.setColPos(std::max(view.leftVisible(), view.freeze() + 1));
        publishState();
        view.stabilize();
        const int key = pending ? pending : ui::waitKey();
        pending = 0;
        if (key == keys::None || key == keys::MenuEvent) continue;
        pending = handle(key);
        view.clearHits();
    }
    s.set("NLIN", savedRow);
}

int MatrixBrowser::handle(int key) {
    const Hooks& h = hooks();
    const int col = view.colPos();
    if (keys::isCharacter(key) || key == keys::Paste) {
        if (rules.takesTyping) stuffKeys({keys::Enter, key});
        return 0;
    }
    if (view.moveAlongRow(key) || view.moveAcrossRows(key) ||
        handleSharedKey(view, rules, key, done))
        return 0;
    switch (key) {
        case keys::Enter:
            return enter();
        case keys::Right:
            if (rules.rightStopsAt > 0 && col >= rules.rightStopsAt) return 0;
            view.right();
            return 0;
        case keys::Left:
            view.left();
            return 0;
        default:
            break;
    }
    if (key == keys::function(1)) {
        if (h.MUDATEL1 && h.MUDATEL1()) done = true;
        return 0;
    }
    for (int n = 2; n <= 10; ++n) {
        if (key != keys::function(n)) continue;
        if (h.QUETEL && h.QUETEL(n)) done = true;
        return 0;
    }
    if (key == keys::altFunction(1) || key == keys::function(11)) {
        if (h.QUETEL && h.QUETEL(11)) done = true;
    } else if (key == keys::altFunction(2)) {
        call(h.MUDATEL2);
        done = true;
    } else if (key == keys::alt('A')) {
        if (rules.switchMode) rules.switchMode(view);
    } else if (key == keys::alt('N')) {
        if (settings().integer("TELA") == 2) {
            h.MUDA_LEAO ? h.MUDA_LEAO() : MUDA_LEAO();
            if (screen == screens::kMonthlyReceipts) markCarriedColumn(view);
        }
        view.refreshAll();
    } else if (key == keys::alt('S')) {
        calculator();
    } else if (key == keys::alt('M')) {
        if (rules.altMAverages)
            averageMonths();
        else if (col <= matrix.columns())
            settings().set("CLIPTEX", matrix.cell(source.row(), col));
    } else if (key == keys::alt('R')) {
        if (rules.altR) rules.altR(*this);
    } else if (key == keys::alt('C')) {
        const base::NamedValues& s = settings();
        if (s.has("CLIPTEX") && s.get("CLIPTEX").isCharacter() && editable(source.row(), col)) {
            matrix.setCell(source.row(), col, s.text("CLIPTEX"));
            view.refreshAll();
        }
    } else if (key == keys::alt('W')) {
        if (settings().integer("TEMP_SAL") < 98) call(h.SAL_DEC);
    } else if (ui::isBound(key)) {
        ui::SETKEYEVAL(key);
    }
    return 0;
}

// A month's entry list is drawn over the grid but is not as wide as it:
// the grid is cleared first, so that none of its figures shows at the
// list's edges (the grid is drawn again when the list closes).
void MatrixBrowser::clearForEntryList() {
    const platform::Rect& inside = view.area();
    ui::clearArea(std::max(inside.top - 1, 0), std::max(inside.left - 1, 0),
                  std::min(inside.bottom + 1, platform::kGridRows - 1),
                  std::min(inside.right + 1, platform::kGridCols - 1));
}

int MatrixBrowser::enter() {
    if (rules.enter && rules.enter(*this)) return 0;
    return GETMTX(*this);
}

void MatrixBrowser::openEntryList(int code, const std::function<void()>& recompute) {
    const BrowseDescription saved = description;
    clearForEntryList();
    EDITA(code);
    common::FECHAJAN(kListWindow);
    settings().set("OPC", screen);
    browseDescription() = saved;
    recompute();
    view.refreshAll();
}

// The grid's mode is shown just above its right end, where no cell is.
// Back to the months worked out from the entries, what was typed as totals
// goes and every figure comes from the entries again.
void switchCalculationMode(GridView& view) {
    base::NamedValues& s = settings();
    const bool automatic = !s.flag("CAL_AUTO");
    s.set("CAL_AUTO", automatic);
    const int attr = s.integer("COR_TEL1");
    ui::say(std::max(view.area().top - 2, 0), 66, automatic ? " SO TOTAIS " : " INDIVIDUAL",
            static_cast<uint8_t>(attr > 0 && attr < 256 ? attr : 0x1E));
    writeReceiptsFooter();
    if (!automatic) {
        call(hooks().SOMA_FIS);
        call(hooks().RESOMA, 1);
    }
    view.refreshAll();
}

namespace {

// TIPO_LANCA 0 -> 1 -> 2 -> 0: the common cash book, totals only, the
// digital rural cash book.
int nextCashBookMode() {
    base::NamedValues& s = settings();
    const int mode = (s.integer("TIPO_LANCA") + 1) % 3;
    s.set("TIPO_LANCA", mode);
    return mode;
}

}  // namespace

void cycleCashBookModeOnProperties() {
    static const char* const captions[] = {" modo Livro Caixa Comum         ",
                                           " modo Sem uso do Livro Caixa    ",
                                           " modo Livro Caixa Digital(LCDPR)"};
    common::ESCRLCOL(kPageWindow, 1, 40, base::cp850::fromUtf8(captions[nextCashBookMode()]));
}

void cycleCashBookModeOnReceipts() {
    static const char* const captions[] = {" L.Caixa  ", "Só Totais ", "  LCDPR   "};
    common::ESCRLCOL(kPageWindow, 2, 2, base::cp850::fromUtf8(captions[nextCashBookMode()]));
    writeRuralReceiptsFooter();
}

void MatrixBrowser::calculator() {
    base::NamedValues& s = settings();
    double result = 0;
    if (!common::CALCULADORA(result, 9, s.has("LCAL") ? s.integer("LCAL") : 5,
                             s.has("CCAL") ? s.integer("CCAL") : 10))
        return;
    if (!rules.calculatorWrites || !rules.calculatorWrites()) return;
    const int row = source.row();
    const int col = view.colPos();
    if (!editable(row, col)) return;
    matrix.setCell(row, col, ui::transform(base::Value(result), rules.calculatorPicture).text());
    call(hooks().FX_RT, row, col, screen);
    view.refreshAll();
}

// The number of months the yearly average is taken over (Alt+M on the
// yearly summary), asked in the projection help window.
void MatrixBrowser::averageMonths() {
    base::NamedValues& s = settings();
    constexpr int kHelpWindow = 4;
    common::REDEFJAN(kHelpWindow, s.integer("COR_TEL1"), s.integer("COR_TEL2"),
                     s.integer("COR_TEL2"), 18, 10, 23, 53, 1);
    common::ABREJAN(kHelpWindow);
    common::ESCRJAN(kHelpWindow,
                    "Nessa opção projeta-se o valor do  impostono final do ano tomando como "
                    "base os dadosaté aqui digitados. Forneça o nro.de mesesque esses dados "
                    "representam.             "_cp);
    base::Value months(s.has("QMEDIA") ? s.integer("QMEDIA") : 12);
    ui::GetList fields{ui::Get::of(21, 42, months, "@z 99")};
    fields[0]->valid = [&months](ui::Get&) {
        return months.number() >= 1 && months.number() <= 12;
    };
    const ui::ReadResult result = ui::readFields(fields);
    common::FECHAJAN(kHelpWindow);
    if (result.exit == ui::ReadExit::Escape) return;
    s.set("QMED", months);
    s.set("QMEDIA", months);
    call(hooks().CALCULA_TUDO, 1);
    s.set("MENSPG", 0);
    call(hooks().averageChanged);
    writeSummaryFooter();
    view.refreshAll();
}

}  // namespace kdx2::editor
