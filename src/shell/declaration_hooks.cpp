// What the browse screens reach of the open declaration: the monthly
// figures, the intermediate save and the in-memory grids shown as matrices.

#include <optional>

#include "base/process_state.h"
#include "editor/browse.h"
#include "shell/declaration.h"
#include "shell/pages/pages.h"
#include "shell/settings.h"
#include "shell/workspace/working_values.h"
#include "shell/workspace/workspace.h"
#include "shell/workspace/year_summary.h"
#include "tax/carne.h"
#include "tax/carne_tables.h"

namespace kdx2::shell::declaration {

namespace {

// The month-by-month receipts keep their cells in the carnê-leão figures.
class MonthlyGridMatrix : public editor::Matrix {
  public:
    explicit MonthlyGridMatrix(tax::MonthlyGrid& grid) : grid_(grid) {}
    int rows() const override { return tax::MonthlyGrid::kRows; }
    int columns() const override { return tax::MonthlyGrid::kColumns; }
    std::string cell(int row, int column) const override { return grid_.cell(row, column); }
    void setCell(int row, int column, const std::string& text) override {
        grid_.cell(row, column) = text;
    }

  private:
    tax::MonthlyGrid& grid_;
};

using SummaryRows = decltype(SessionLists::MRESUMO);
using StatusRows = decltype(SessionLists::MSTAT);
using RuralRows = decltype(workspace::WorkspaceGrids::REND_RURAL);
using ConversionRows = decltype(workspace::WorkspaceGrids::CALC_MENS);

editor::Matrix* matrixOfScreen(int screen) {
    static editor::RowsMatrix<SummaryRows> summary(sessionLists().MRESUMO);
    static editor::RowsMatrix<StatusRows> status(sessionLists().MSTAT);
    static MonthlyGridMatrix receipts(tax::carneLeao().REC_MENSAL);
    static editor::RowsMatrix<RuralRows> rural(workspace::workspaceGrids().REND_RURAL);
    static editor::RowsMatrix<ConversionRows> conversion(workspace::workspaceGrids().CALC_MENS);
    switch (screen) {
        case editor::screens::kYearlySummary:
            return &summary;
        case editor::screens::kStatusCodes:
            return &status;
        case editor::screens::kMonthlyReceipts:
            return &receipts;
        case editor::screens::kRuralReceipts:
            return &rural;
        case editor::screens::kForeignIncome:
            return &conversion;
        default:
            return nullptr;
    }
}

std::optional<editor::Hooks>& hooksBefore() {
    static std::optional<editor::Hooks> before;
    [[maybe_unused]] static const bool registered = base::registerResetOnce([] { before.reset(); });
    return before;
}

}  // namespace

void installEditorHooks() {
    editor::Hooks& h = editor::hooks();
    if (!hooksBefore()) hooksBefore() = h;
    h.SOMA_FIS = [] { tax::SOMA_FIS(tax::carneLeao(), tax::EntrySource::Workspace, 1); };
    h.RESOMA = [](int) { tax::RESOMA(tax::carneLeao()); };
    h.VE_LEAO = [](int row) { tax::VE_LEAO(tax::carneLeao(), row); };
    h.SAL_DEC = [] { workspace::SAL_DEC(); };
    h.matrix = matrixOfScreen;
    pages::connectPageHooks(h);
    pages::connectMonthlyBreakdown(h);
    workspace::connectYearHooks(h);
    pages::connectAutomaticSums(h);
}

void removeEditorHooks() {
    if (!hooksBefore()) return;
    editor::hooks() = *hooksBefore();
    hooksBefore().reset();
}

}  // namespace kdx2::shell::declaration
