#include "editor/table_source.h"

#include <algorithm>

#include "base/error.h"
#include "base/text.h"
#include "store/work_areas.h"
#include "ui/screen.h"

namespace kdx2::editor {

bool tableIsEmpty(store::Table& table) {
    if (table.recCount() == 0) return true;
    const uint32_t at = table.recNo();
    const bool wasEof = table.eof();
    table.goTop();
    const bool empty = table.eof();
    if (!empty) wasEof ? table.goTo(table.recCount() + 1) : table.goTo(at);
    return empty;
}

ui::Picture displayPicture(const std::string& picture) {
    ui::Picture p = ui::Picture::parse(picture);
    p.scrollWidth = 0;
    return p;
}

TableSource::TableSource(store::Table& table, const std::vector<BrowseColumn>& columns)
    : table_(table), resolver_(table.resolver()), columns_(columns) {
    for (size_t i = 0; i < columns_.size(); ++i) {
        CompiledColumn c;
        c.picture = displayPicture(columns_[i].picture);
        try {
            c.display = store::Expression::compile(columns_[i].display, resolver_);
            c.valid = true;
        } catch (const base::Error& e) {
            ui::diagnostic(e.what());
        }
        compiled_.push_back(std::move(c));
        widths_.push_back(measure(i));
    }
}

int TableSource::measure(size_t column) {
    const CompiledColumn& c = compiled_[column];
    size_t width = columns_[column].heading.size();
    if (c.valid) {
        try {
            const store::ResultInfo info = c.display.describe(resolver_);
            base::Value blank = base::Value::emptyOf(info.type);
            if (info.type == base::Type::Character) blank = std::string(info.length, ' ');
            width = std::max(width, ui::formatValue(blank, c.picture).size());
        } catch (const base::Error& e) {
            ui::diagnostic(e.what());
        }
    }
    return static_cast<int>(std::max<size_t>(width, 1));
}

std::string TableSource::format(size_t column) {
    const CompiledColumn& c = compiled_[column];
    if (!c.valid || table_.eof()) return {};
    try {
        return ui::formatValue(c.display.evaluate(resolver_), c.picture);
    } catch (const base::Error& e) {
        ui::diagnostic(e.what());
        return {};
    }
}

std::string TableSource::cellText(int column) {
    return format(static_cast<size_t>(column));
}

void TableSource::restore(long bookmark) {
    table_.goTo(static_cast<uint32_t>(std::max<long>(bookmark, 0)));
}

}  // namespace kdx2::editor
