#include "ui/button.h"

#include <algorithm>

#include "ui/detail.h"
#include "ui/dialog.h"

namespace kdx2::ui {

namespace {

constexpr uint8_t kDisabledButton = 0x78;  // dark grey on white

}  // namespace

std::string buttonText(const std::string& caption) {
    std::string out;
    for (size_t i = 0; i < caption.size(); ++i) {
        if (caption[i] == '&' && i + 1 < caption.size()) continue;
        out += caption[i];
    }
    return out;
}

std::string buttonCaption(const std::string& caption) {
    const std::string shown = buttonText(caption);
    if (shown.size() >= 10 || caption.empty() || caption.front() == ' ' || caption.back() == ' ')
        return caption;
    const size_t room = 10 - shown.size();
    const size_t left = room / 2;
    return std::string(left, ' ') + caption + std::string(room - left, ' ');
}

std::string LButton::text() const {
    return buttonText(cCaption);
}

std::shared_ptr<LButton> LButton::make(const std::string& caption, Action action, Options options) {
    LDialog* window = options.window ? options.window : lastWindow().get();
    std::shared_ptr<LButton> button(new LButton());
    button->oParent = window;
    button->cCaption = buttonCaption(caption);
    if (const size_t amp = caption.find('&'); amp != std::string::npos && amp + 1 < caption.size())
        button->cShortcut = caption[amp + 1];
    button->bAction = std::move(action);
    button->bWhen = std::move(options.when);
    button->enabled_ = options.enabled;
    button->uImage = options.image;
    button->lMap3Dcolors = options.map3dColors;
    int buttons = 0;
    if (window) {
        buttons = static_cast<int>(window->aControls.size());
        button->nWnd = window->nWnd;
    }
    button->nButton = buttons + 1;
    const int lastRow = window ? window->maxRowCol().first : platform::kGridRows - 1;
    int top = options.top.value_or(window ? window->cursorRow : 0);
    if (top < 0) top = lastRow + 1 + top;
    const int left = options.left.value_or(window ? window->cursorCol : 0);
    const bool hasAmpersand = button->cCaption.find('&') != std::string::npos;
    button->nTop = top;
    button->nLeft = left;
    button->nBottom = std::max(options.bottom.value_or(top), top);
    button->nRight =
        std::max(options.right.value_or(left + static_cast<int>(button->cCaption.size()) -
                                        (hasAmpersand ? 1 : 0)),
                 left);
    if (options.form) {
        // A one-character field stands for the button in the form.
        auto* raw = button.get();
        auto field = std::make_shared<Get>(
            top, left, [raw] { return raw->cVar; },
            [raw](const base::Value& value) { raw->cVar = value; });
        field->colorSpec = "w/w,w/w";
        field->button = raw;
        field->when = [raw](Get&) { return (!raw->bWhen || raw->bWhen()) && raw->enabled_; };
        options.form->push_back(field);
        button->oGet = field;
    }
    if (window) window->control(button);
    return button;
}

void LButton::create() {
    lCreate = true;
    nId = nButton;
    if (oParent) {
        oParent->cursorRow = nTop;
        oParent->cursorCol = nRight + 1;
    }
}

void LButton::destroy() {
    lCreate = false;
    lHasFocus = false;
}

void LButton::setFocus() {
    if (oParent)
        for (const auto& other : oParent->aControls)
            other->lHasFocus = false;
    lHasFocus = true;
}

void LButton::killFocus() {
    lHasFocus = false;
}

void LButton::disable() {
    enabled_ = false;
}

void LButton::enable() {
    enabled_ = true;
}

void LButton::action() {
    setFocus();
    if (bAction) bAction(*this, oParent);
    if (oParent) oParent->nLastButton = nButton;
}

void LButton::draw(platform::Grid& screen) const {
    if (!oParent) return;
    const int top = detail::screenTop(*oParent) + nTop;
    const int left = detail::screenLeft(*oParent) + nLeft;
    const int bottom = detail::screenTop(*oParent) + nBottom;
    const int right = detail::screenLeft(*oParent) + nRight;
    // Kept inside its window: a button never spills over other windows.
    const platform::Rect inside = platform::Rect{top, left, bottom, right}.intersect(
        platform::Rect{detail::screenTop(*oParent), detail::screenLeft(*oParent),
                       detail::screenTop(*oParent) + oParent->grid().rows() - 1,
                       detail::screenLeft(*oParent) + oParent->grid().cols() - 1});
    if (inside.empty()) return;
    const uint8_t attr = enabled_ ? detail::buttonAttr(oParent, lHasFocus) : kDisabledButton;
    screen.fill(inside, platform::Cell{' ', attr});
    const std::string caption = text();
    const int width = right - left + 1;
    const int row = top + (bottom - top) / 2;
    const int col = left + std::max((width - static_cast<int>(caption.size())) / 2, 0);
    for (size_t i = 0; i < caption.size(); ++i) {
        const int at = col + static_cast<int>(i);
        if (inside.contains(row, at))
            screen.put(row, at, platform::Cell{static_cast<uint8_t>(caption[i]), attr});
    }
    // Pointers beside the focused button, for terminals without colours.
    if (lHasFocus && width >= static_cast<int>(caption.size()) + 2) {
        if (inside.contains(row, left)) screen.put(row, left, platform::Cell{0x10, attr});
        if (inside.contains(row, right)) screen.put(row, right, platform::Cell{0x11, attr});
    }
}

}  // namespace kdx2::ui
