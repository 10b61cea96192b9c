#include "ui/statusbar.h"

#include "base/text.h"
#include "ui/detail.h"
#include "ui/dialog.h"

namespace kdx2::ui {

namespace {

constexpr uint8_t kStatusAttr = 0x70;  // black on white, as a desktop status bar
constexpr char kPartSeparator = '\xB3';

}  // namespace

// ---- Parts ---------------------------------------------------------------------

std::string LSBPart::cText() const {
    if (const auto* text = std::get_if<std::string>(&uText)) return *text;
    const auto& callback = std::get<TextFn>(uText);
    return callback ? callback() : std::string();
}

void LSBPart::create() {
    if (nWidth <= 0) nWidth = static_cast<int>(cText().size());
    lAdd_ = true;
    lChanged_ = true;
    refresh();
}

void LSBPart::refresh() {
    if (!lAdd_ || !(lChanged_ || lRefresh)) return;
    shown_ = cText();
    lChanged_ = false;
}

void LSBPart::setText(const std::string& text) {
    uText = text;
    lRefresh = false;
    lChanged_ = true;
    refresh();
}

void LSBPart::setText(TextFn callback) {
    uText = std::move(callback);
    lRefresh = true;
    lChanged_ = true;
    refresh();
}

// ---- The bar -----------------------------------------------------------------------

LStatusBar::LStatusBar(LDialog* window) : oParent(window) {}

std::shared_ptr<LStatusBar> LStatusBar::make(LDialog* window) {
    if (!window) window = lastWindow().get();
    std::shared_ptr<LStatusBar> bar(new LStatusBar(window));
    if (window) {
        window->oStatusBar = bar;
        bar->nWnd = window->nWnd;
    }
    return bar;
}

LSBPart& LStatusBar::partAdd(const std::string& text, const std::string& toolTip,
                             const std::string& icon, int width) {
    auto part = std::make_shared<LSBPart>();
    part->oParent = this;
    part->uText = text;
    part->cToolTip = toolTip;
    part->cIcon = icon;
    part->nWidth = width;
    part->nIndex = static_cast<int>(aPart.size()) + 1;
    aPart.push_back(part);
    return *part;
}

LSBPart& LStatusBar::partAdd(LSBPart::TextFn text, const std::string& toolTip,
                             const std::string& icon, int width) {
    LSBPart& part = partAdd(std::string(), toolTip, icon, width);
    part.uText = std::move(text);
    part.lRefresh = true;
    return part;
}

void LStatusBar::create() {
    nSB = 1;
    if (oParent) nWnd = oParent->nWnd;
    for (auto& part : aPart) {
        part->lAdd_ = false;
        part->create();
    }
    // Callback texts are refreshed every second by the window's timer.
    if (oParent && oParent->nTimer < 0) oParent->setTimer(1);
}

void LStatusBar::draw() {
    if (nSB < 0) return;
    for (auto& part : aPart)
        part->refresh();
}

void LStatusBar::reset() {
    create();
    draw();
}

void LStatusBar::destroy() {
    nSB = -1;
    aPart.clear();
}

std::string LStatusBar::text() const {
    std::string out;
    for (size_t i = 0; i < aPart.size(); ++i) {
        if (i > 0) out += kPartSeparator;
        const LSBPart& part = *aPart[i];
        out += base::padRight(part.shown(), static_cast<size_t>(std::max(part.nWidth, 0)));
    }
    return out;
}

std::shared_ptr<LStatusBar> LSBDRAW(const std::vector<std::string>& texts) {
    auto bar = LStatusBar::make();
    for (const auto& text : texts)
        bar->partAdd(text);
    bar->create();
    bar->draw();
    return bar;
}

namespace detail {

void drawStatusRow(platform::Grid& screen) {
    const platform::Rect row{platform::kStatusBarRow, 0, platform::kStatusBarRow,
                             platform::kScreenCols - 1};
    screen.fill(row, platform::Cell{' ', kStatusAttr});
    // The active window's bar, else the bar of the topmost window that has one.
    const LStatusBar* bar = nullptr;
    LDialog* current = active();
    if (current && current->oStatusBar && current->oStatusBar->nSB >= 0)
        bar = current->oStatusBar.get();
    const auto& windows = state().windows;
    for (auto it = windows.rbegin(); !bar && it != windows.rend(); ++it)
        if ((*it)->visible() && (*it)->oStatusBar && (*it)->oStatusBar->nSB >= 0)
            bar = (*it)->oStatusBar.get();
    if (!bar) return;
    screen.write(platform::kStatusBarRow, 0, bar->text().substr(0, platform::kScreenCols),
                 kStatusAttr);
}

}  // namespace detail

}  // namespace kdx2::ui
