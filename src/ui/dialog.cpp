#include "ui/dialog.h"

#include <algorithm>

#include "base/cp850.h"
#include "base/date.h"
#include "ui/button.h"
#include "ui/detail.h"
#include "ui/menu.h"
#include "ui/statusbar.h"

namespace kdx2::ui {

using detail::state;
namespace keys = platform::keys;

namespace {

std::string rectText(const LDialog& window) {
    return std::to_string(window.nTop) + "," + std::to_string(window.nLeft) + "," +
           std::to_string(window.nBottom) + "," + std::to_string(window.nRight);
}

int createdCount() {
    return static_cast<int>(std::count_if(state().windows.begin(), state().windows.end(),
                                          [](const auto& window) { return window->created(); }));
}

}  // namespace

// ---- Lifecycle -------------------------------------------------------------

LDialog::LDialog(int top, int left, int bottom, int right) {
    // Every window lies inside the grid, whatever the caller asked for.
    nTop = std::clamp(top, 0, platform::kGridRows - 1);
    nLeft = std::clamp(left, 0, platform::kGridCols - 1);
    nBottom =
        std::clamp(bottom < 0 ? platform::kGridRows - 1 : bottom, nTop, platform::kGridRows - 1);
    nRight =
        std::clamp(right < 0 ? platform::kGridCols - 1 : right, nLeft, platform::kGridCols - 1);
    savedColor_ = colorSpec();
    savedCursor_ = cursorShape();
    savedBreakKey_ = state().breakKey;
    savedMainCoord_ = lsMainCoord;
    nFontHeight = nsFontHeight;
    nFontWidth = nsFontWidth;
    cFontName = csFontName;
}

LDialog::~LDialog() = default;

std::shared_ptr<LDialog> LDialog::make(int top, int left, int bottom, int right) {
    std::shared_ptr<LDialog> window(new LDialog(top, left, bottom, right));
    enlist(window);
    return window;
}

void LDialog::enlist(const std::shared_ptr<LDialog>& window) {
    state().windows.push_back(window);
}

int LDialog::computedStyle() const {
    int style = 0;
    if (lCaption) {
        style |= kCaption;
        if (lBoxSysMenu) style |= kSysMenu;
        if (lBoxMinimize) style |= kMinimizeBox;
        if (lBoxMaximize) style |= kMaximizeBox;
    }
    if (lBorder) style |= kBorder;
    if (lScrollV) style |= kVScroll;
    if (lScrollH) style |= kHScroll;
    return style;
}

bool LDialog::create() {
    if (created()) return true;
    if (lClosed || !started()) {
        diagnostic("Erro ao criar a janela " + title_ + " (" + rectText(*this) + ")");
        return false;
    }
    const std::string color = cColor.empty() ? csColorWin : cColor;
    ui::setColor(color);
    grid_ = platform::Grid(nBottom - nTop + 1, nRight - nLeft + 1,
                           platform::Cell{' ', parseColorList(color).standard});
    auto& s = state();
    if (nWnd != 0) nWnd = s.nextWnd++;
    nHandle = s.nextHandle++;
    nHandleActive = s.activeHandle;
    s.activeHandle = nHandle;
    cursorRow = 0;
    cursorCol = 0;
    setShortCuts(lsShortCuts);
    return true;
}

bool LDialog::ghost() {
    const bool wasCreated = created();
    if (!create()) return false;
    if (!wasCreated) hidden_ = true;
    return true;
}

void LDialog::control(std::shared_ptr<LButton> button) {
    if (!button) return;
    if (std::find(aControls.begin(), aControls.end(), button) == aControls.end())
        aControls.push_back(std::move(button));
}

bool LDialog::showWindow() {
    if (!create()) return false;
    setFont();
    hidden_ = false;
    setStyle();
    lShow = true;
    return true;
}

void LDialog::destroy() {
    if (created() && !reading_ && detail::active() == this && createdCount() > 1) close();
    killTimer();
    if (oStatusBar) oStatusBar->destroy();
    oStatusBar.reset();
    oMenu.reset();
    aControls.clear();
    aGetList.clear();
}

// ---- Activation, ending, closing ----------------------------------------

void LDialog::activate() {
    nExit = 0;
    for (;;) {
        const int key = waitKey(1000);
        if (nExit > 0) break;
        if (key == keys::Esc && lExitEsc) break;
        if (key == keys::LeftClick) {
            clickButton(mouseRow(), mouseCol());
        } else if (key != keys::None && isBound(key)) {
            SETKEYEVAL(key);
        }
        if (nExit > 0) break;
    }
}

bool LDialog::clickButton(int row, int col) {
    for (const auto& button : aControls) {
        if (!button->lCreate || !button->lEnable()) continue;
        if (row >= button->nTop && row <= button->nBottom && col >= button->nLeft &&
            col <= button->nRight) {
            button->action();
            return true;
        }
    }
    return false;
}

void LDialog::end(int code) {
    nExit = 2;
    nEnd = code;
    if (reading_)
        endRead(true);
    else
        pushKey(keys::Enter);
}

void LDialog::cancel() {
    nExit = 1;
    nEnd = 0;
    if (reading_) endRead(false);
    clearKeyboard();
    // endRead's wake-up key went with the keyboard buffer: queue it again.
    if (reading_) pushKey(keys::None);
}

void LDialog::killTimer() {
    if (nTimer >= 0) removeTimer(nTimer);
    nTimer = -1;
}

bool LDialog::close() {
    if (lClosed) {
        diagnostic(":close() window ignored. Window already closed.");
        return false;
    }
    if (!created()) {
        diagnostic(":close() window ignored. Window not created.");
        return false;
    }
    if (state().activeHandle != nHandle) {
        diagnostic(":close() window ignored. Window is not active.");
        return false;
    }
    if (reading_) {
        diagnostic(":close() window ignored. Gets actives, uses :end() or :cancel().");
        return false;
    }
    if (createdCount() <= 1) {
        diagnostic(":close() window ignored. The last window is never closed.");
        return false;
    }
    // The list may hold the only reference: keep the window alive until done.
    auto self = shared_from_this();
    lClosed = true;
    killTimer();
    ui::setColor(savedColor_);
    setCursorShape(savedCursor_);
    state().breakKey = savedBreakKey_;
    lsMainCoord = savedMainCoord_;
    for (auto it = aSetKey.rbegin(); it != aSetKey.rend(); ++it)
        bindKey(it->first, it->second);
    aSetKey.clear();
    clearKeyboard();
    auto& windows = state().windows;
    windows.erase(std::remove(windows.begin(), windows.end(), self), windows.end());
    // The focus goes back to the window active before this one.
    auto& s = state();
    if (detail::windowByHandle(nHandleActive)) {
        s.activeHandle = nHandleActive;
    } else {
        s.activeHandle = 0;
        for (auto it = windows.rbegin(); it != windows.rend(); ++it)
            if ((*it)->created()) {
                s.activeHandle = (*it)->nHandle;
                break;
            }
    }
    return true;
}

// ---- Status bar, fonts, styles ----------------------------------------------

void LDialog::sbDraw() {
    if (oStatusBar) oStatusBar->draw();
}

void LDialog::sbReset() {
    if (oStatusBar) oStatusBar->reset();
}

void LDialog::setShortCuts(bool on) {
    lsShortCuts = on;
}

bool LDialog::setFont(const std::string& name, int height, int width) {
    // A terminal has one font: the sizes are only recorded.
    if (height <= 0 && nsFontDecrease >= 50 && nsFontHeight > 0) {
        height = nsFontHeight * nsFontDecrease / 100;
        width = nsFontWidth * nsFontDecrease / 100;
    }
    if (!name.empty()) cFontName = name;
    if (height > 0) nFontHeight = height;
    if (width > 0) nFontWidth = width;
    if (oStatusBar && oStatusBar->nSB >= 0) oStatusBar->reset();
    return true;
}

void LDialog::setStyle(int style) {
    if (style >= 0) nStyle = style;
}

bool LDialog::setMode(int rows, int cols) {
    if (rows == grid_.rows() && cols == grid_.cols()) return true;
    diagnostic("setMode(" + std::to_string(rows) + "," + std::to_string(cols) +
               ") ignored: the grid is fixed at the window's rectangle.");
    return false;
}

std::pair<int, int> LDialog::maxRowCol() const {
    return {nBottom - nTop, nRight - nLeft};
}

void LDialog::setTimer(int seconds) {
    killTimer();
    if (seconds <= 0) return;
    std::weak_ptr<LDialog> weak = weak_from_this();
    nTimer = addTimer(seconds * 1000, [weak] {
        if (auto window = weak.lock(); window && window->created()) window->sbDraw();
    });
}

void LDialog::setKey(int key, KeyAction action) {
    const bool saved = std::any_of(aSetKey.begin(), aSetKey.end(),
                                   [key](const auto& entry) { return entry.first == key; });
    if (!saved) aSetKey.emplace_back(key, keyBinding(key));
    bindKey(key, std::move(action));
}

void LDialog::setColor(const std::string& color) {
    cColor = color;
    if (detail::active() == this) ui::setColor(color);
}

void LDialog::cTitle(const std::string& title) {
    title_ = title;
}

// ---- Forms ---------------------------------------------------------------------

void LDialog::delGetList() {
    aGetList.clear();
}

void LDialog::getClear() {
    if (reading_) endRead(false);
    aGetList.clear();
}

void LDialog::getClearAll() {
    for (const auto& window : std::vector(state().windows))
        window->getClear();
}

namespace {

bool revalidates(const LDialog& window) {
    if (LDialog::nsValidRead == 2) return false;
    if (LDialog::nsValidRead == 1) return true;
    return mouseEnabled() || !window.aControls.empty();
}

// The first field whose entry condition admits it and whose validation
// refuses it now, or -1.
int firstRefused(GetList& fields) {
    for (size_t i = 0; i < fields.size(); ++i) {
        Get& field = *fields[i];
        if (field.when && !field.when(field)) continue;
        if (field.valid && !field.valid(field)) return static_cast<int>(i);
    }
    return -1;
}

}  // namespace

bool LDialog::readmodal(GetList& fields, int start) {
    if (&fields != &aGetList) aGetList = fields;
    const std::string getColors = csColorGet + "," + csColorGetActive;
    const std::string buttonColors = csColorWin + "," + csColorWin;
    for (auto& field : fields) {
        if (lGetUpperCase && field->type() == base::Type::Character && field->picture.empty() &&
            !field->button)
            field->setPicture("@!");
        field->colorSpec = field->button ? buttonColors : getColors;
    }
    nExit = 0;
    reading_ = true;
    bool updated = false;
    for (;;) {
        ReadOptions options;
        options.start = start;
        const ReadResult result = readFields(fields, options);
        updated = updated || result.updated;
        if (nExit == 1 || result.exit == ReadExit::Cancelled) break;
        if (result.exit == ReadExit::Escape) {
            if (lExitEsc) break;
            start = result.position;
            continue;
        }
        if (!revalidates(*this)) break;
        const int refused = firstRefused(fields);
        if (refused < 0) break;
        nExit = 0;
        start = refused;
    }
    reading_ = false;
    return updated;
}

// ---- The main window ---------------------------------------------------------

LWindowMain::LWindowMain() : LDialog(0, 0, -1, -1) {
    nWnd = 0;
    lBoxClose = false;
    lBoxMaximize = true;
}

std::shared_ptr<LWindowMain> LWindowMain::load() {
    for (const auto& window : state().windows)
        if (auto main = std::dynamic_pointer_cast<LWindowMain>(window)) return main;
    return nullptr;
}

bool LWindowMain::maxFontSize() {
    // No font to fit on a terminal: the cell grid is the terminal's own.
    nsFontHeight = std::max(nsFontHeight, 16);
    nsFontWidth = std::max(nsFontWidth, 9);
    nFontHeight = nsFontHeight;
    nFontWidth = nsFontWidth;
    sbReset();
    for (const auto& window : state().windows)
        if (window.get() != this && window->created()) window->setFont();
    return true;
}

// ---- Starting and stopping the layer -------------------------------------------

void start(platform::Console& console) {
    if (started()) stop();
    auto& s = state();
    s = detail::State{};
    s.console = &console;
    // Every layer reads the date from the console's clock while it runs.
    base::setTodaySource([] { return today(); });
    // The shades of red, white and blue the screens were designed with.
    console.setPalette(4, 255, 0, 0);
    console.setPalette(12, 255, 0, 0);
    console.setPalette(7, 239, 235, 222);
    console.setPalette(1, 57, 109, 165);
    console.setPalette(9, 57, 109, 165);
    setColor("N/W");
    setCursorShape(platform::CursorShape::Hidden);
    std::shared_ptr<LWindowMain> main(new LWindowMain());
    LDialog::enlist(main);
    main->create();
    main->lShow = true;
    // Paste and copy of the field being edited; the program may bind others.
    bindKey(keys::CtrlV, [](Get*) { LGETCLIPBOARD(); });
    bindKey(keys::CtrlC, [](Get*) { LSETCLIPBOARD(); });
}

void stop() {
    auto& s = state();
    if (s.console) {
        s.console->setCursor(s.console->cursorRow(), s.console->cursorCol(),
                             platform::CursorShape::Underline);
        s.console->present();
    }
    for (auto& window : s.windows)
        window->reading_ = false;
    s = detail::State{};
    base::setTodaySource({});
}

// ---- The window list ------------------------------------------------------------

const std::vector<std::shared_ptr<LDialog>>& windowList() {
    return state().windows;
}

std::shared_ptr<LDialog> lastWindow() {
    auto& windows = state().windows;
    return windows.empty() ? nullptr : windows.back();
}

std::shared_ptr<LDialog> activeWindow() {
    for (const auto& window : state().windows)
        if (window->nHandle == state().activeHandle && window->created()) return window;
    return nullptr;
}

// ---- Procedures ---------------------------------------------------------------------

bool LMAXSCREEN() {
    auto main = LWindowMain::load();
    return main && main->maxFontSize();
}

std::shared_ptr<LDialog> LDLGSHOW(int top, int left, int bottom, int right,
                                  const std::string& title) {
    auto window = LDialog::make(top, left, bottom, right);
    window->cTitle(title);
    window->showWindow();
    return window;
}

void LDLGCLOSE() {
    auto window = activeWindow();
    if (!window) {
        diagnostic(":close() ignored. Window active not found.");
        return;
    }
    window->close();
}

void LDLGEND() {
    auto window = activeWindow();
    if (!window) {
        diagnostic(":end() ignored. Window active not found.");
        return;
    }
    window->end();
}

void LACTIVATE(bool exitOnEsc) {
    auto window = activeWindow();
    if (!window) {
        diagnostic(":activate() ignored. Window active not found.");
        return;
    }
    window->lExitEsc = exitOnEsc;
    window->activate();
}

}  // namespace kdx2::ui
