#include "tax/amount_text.h"

#include <optional>

#include "base/text.h"
#include "ui/picture.h"

namespace kdx2::tax {

namespace {

// The number with the template's decimals, comma or point as the picture
// wants, right-aligned in `width` columns; empty when it does not fit.
std::string bareAmount(double value, const ui::Picture& picture, size_t width) {
    const size_t point = picture.mask.find('.');
    int decimals = 0;
    if (point != std::string::npos) {
        for (size_t i = point + 1; i < picture.mask.size(); ++i)
            if (picture.mask[i] == '9' || picture.mask[i] == '#') ++decimals;
    }
    std::optional<std::string> text = base::formatFixed(value, static_cast<int>(width), decimals);
    if (!text) return {};
    if (picture.has('E')) {
        for (char& c : *text)
            if (c == '.') c = ',';
    }
    return *text;
}

}  // namespace

std::string formatAmount(double value, std::string_view picture) {
    const std::string shown = ui::transform(base::Value(value), picture).text();
    if (shown.find('*') == std::string::npos) return shown;
    const ui::Picture parsed = ui::Picture::parse(picture);
    const std::string bare = bareAmount(value, parsed, shown.size());
    return bare.empty() ? shown : bare;
}

}  // namespace kdx2::tax
