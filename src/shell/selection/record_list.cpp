#include "shell/selection/record_list.h"

#include <algorithm>

#include "base/named_values.h"
#include "base/text.h"
#include "platform/console/keys.h"
#include "shell/selection/internal.h"
#include "ui/screen.h"

namespace kdx2::shell::selection::detail {

namespace keys = platform::keys;

namespace {

uint8_t sessionAttr(const char* name, uint8_t fallback) {
    const int attr = base::session().integer(name);
    return attr > 0 && attr < 256 ? static_cast<uint8_t>(attr) : fallback;
}

std::string rule(size_t width) {
    return std::string(width, '\xC4');
}

std::string titled(const std::string& title, size_t width) {
    const std::string text = title.substr(0, width);
    const size_t left = (width - text.size()) / 2;
    return rule(left) + text + rule(width - left - text.size());
}

}  // namespace

RecordList::RecordList(store::Table& table, ListLayout layout, RowText rowText)
    : table_(table), layout_(std::move(layout)), rowText_(std::move(rowText)) {}

int RecordList::firstLineRow() const {
    return layout_.top + 1 + static_cast<int>(layout_.intro.size()) +
           (layout_.heading.empty() ? 0 : 1);
}

int RecordList::visibleLines() const {
    return std::max(layout_.bottom - firstLineRow(), 1);
}

int RecordList::currentRow() const {
    return firstLineRow() + static_cast<int>(current_ - first_);
}

bool RecordList::positionTable() {
    if (rows_.empty()) return false;
    table_.goTo(rows_[current_]);
    return true;
}

void RecordList::reload(uint32_t recno) {
    rows_.clear();
    table_.forEach([&](store::Table& row) {
        rows_.push_back(row.recNo());
        return true;
    });
    const auto found = std::find(rows_.begin(), rows_.end(), recno);
    current_ = found == rows_.end() ? 0 : static_cast<size_t>(found - rows_.begin());
    const size_t visible = static_cast<size_t>(visibleLines());
    if (current_ < first_ || current_ >= first_ + visible)
        first_ = current_ >= visible / 2 ? current_ - visible / 2 : 0;
    if (!rows_.empty() && first_ >= rows_.size()) first_ = rows_.size() - 1;
    positionTable();
}

void RecordList::move(long lines) {
    if (rows_.empty()) return;
    const long last = static_cast<long>(rows_.size()) - 1;
    current_ = static_cast<size_t>(std::clamp(static_cast<long>(current_) + lines, 0L, last));
    const size_t visible = static_cast<size_t>(visibleLines());
    if (current_ < first_) first_ = current_;
    if (current_ >= first_ + visible) first_ = current_ - visible + 1;
}

int RecordList::openNewLine() {
    const size_t visible = static_cast<size_t>(visibleLines());
    const size_t at = rows_.size();  // the index the new line takes
    if (at >= first_ + visible) first_ = at - visible + 1;
    newLine_ = true;
    draw();
    newLine_ = false;
    return firstLineRow() + static_cast<int>(at - first_);
}

void RecordList::draw() {
    const size_t width = static_cast<size_t>(layout_.right - layout_.left - 1);
    const uint8_t normal = sessionAttr("COR_TEL1", ui::standardAttr());
    const uint8_t highlight = sessionAttr("COR_ESCOL", ui::enhancedAttr());
    int row = layout_.top;
    ui::say(row++, layout_.left, "\xDA" + titled(layout_.title, width) + "\xBF", normal);
    for (const std::string& line : layout_.intro)
        ui::say(row++, layout_.left, "\xB3" + base::padRight(line, width) + "\xB3", normal);
    if (!layout_.heading.empty())
        ui::say(row++, layout_.left, "\xB3" + base::padRight(layout_.heading, width) + "\xB3",
                normal);
    for (int i = 0; i < visibleLines(); ++i, ++row) {
        const size_t index = first_ + static_cast<size_t>(i);
        std::string text;
        if (index < rows_.size()) {
            table_.goTo(rows_[index]);
            text = rowText_(table_);
        }
        ui::say(row, layout_.left, "\xB3", normal);
        const bool lit =
            newLine_ ? index == rows_.size() : index == current_ && index < rows_.size();
        ui::say(row, layout_.left + 1, base::padRight(text, width), lit ? highlight : normal);
        ui::say(row, layout_.right, "\xB3", normal);
    }
    ui::say(layout_.bottom, layout_.left, "\xC0" + rule(width) + "\xD9", normal);
    positionTable();
}

bool RecordList::run(const ListKeys& keys) {
    if (!ui::started()) return false;
    const platform::SavedRegion saved =
        ui::saveScreen(layout_.top, layout_.left, layout_.bottom, layout_.right);
    if (!layout_.footer.empty()) keyLine(layout_.footer);
    reload(table_.eof() ? 0 : table_.recNo());
    draw();
    bool chosen = false;
    for (bool open = true; open;) {
        positionTable();
        const int key = ui::waitKey();
        if (key == keys::None || key == keys::MenuEvent) continue;
        ListAction action = keys ? keys(*this, key) : ListAction::Ignored;
        if (action == ListAction::Ignored && ui::isBound(key)) {
            ui::SETKEYEVAL(key);  // F1 help and the like
            continue;
        }
        if (action == ListAction::Ignored) {
            const long page = visibleLines();
            action = ListAction::Redraw;
            switch (key) {
                case keys::Up:
                    move(-1);
                    break;
                case keys::Down:
                    move(1);
                    break;
                case keys::PgUp:
                    move(-page);
                    break;
                case keys::PgDn:
                    move(page);
                    break;
                case keys::Home:
                case keys::CtrlPgUp:
                    move(-static_cast<long>(rows_.size()));
                    break;
                case keys::End:
                case keys::CtrlPgDn:
                    move(static_cast<long>(rows_.size()));
                    break;
                case keys::Enter:
                    action = rows_.empty() ? ListAction::Ignored : ListAction::Choose;
                    break;
                case keys::Esc:
                    action = ListAction::Close;
                    break;
                default:
                    action = ListAction::Ignored;
                    break;
            }
        }
        switch (action) {
            case ListAction::Reload:
                reload(table_.eof() ? 0 : table_.recNo());
                draw();
                break;
            case ListAction::Redraw:
                draw();
                break;
            case ListAction::Choose:
                chosen = positionTable();
                open = false;
                break;
            case ListAction::Close:
                open = false;
                break;
            case ListAction::Ignored:
                break;
        }
    }
    ui::restScreen(saved);
    if (!layout_.footer.empty()) keyLine("");
    return chosen;
}

}  // namespace kdx2::shell::selection::detail
