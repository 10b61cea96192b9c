#pragma once

#include <functional>
#include <memory>
#include <string>
#include <variant>
#include <vector>

#include "base/value.h"

namespace kdx2::ui {

class LDialog;
class LStatusBar;

// One part of a status bar: a text, or a callback giving the text (refreshed
// every second by the window's timer).
class LSBPart {
  public:
    using TextFn = std::function<std::string()>;

    LStatusBar* oParent = nullptr;
    std::variant<std::string, TextFn> uText;
    std::string cToolTip;
    std::string cIcon;
    int nStyle = 0;
    int nWidth = 0;  // 0 or less: the text's length at create
    bool lRefresh = false;
    int nIndex = 0;  // 1-based

    // Adds the part to the bar (a width of 0 or less becomes the text's length).
    void create();
    // Writes the text into the bar when it was added and changed, or is a callback.
    void refresh();
    void setText(const std::string& text);
    void setText(TextFn callback);
    std::string cText() const;
    // What the bar shows now.
    const std::string& shown() const { return shown_; }

  private:
    friend class LStatusBar;
    bool lChanged_ = true;
    bool lAdd_ = false;
    std::string shown_;
};

// The status bar of a window, drawn on the bottom row of the screen while
// its window is the topmost one with a status bar.
class LStatusBar {
  public:
    // new (window = last window): becomes the window's oStatusBar.
    static std::shared_ptr<LStatusBar> make(LDialog* window = nullptr);

    base::Value Cargo;
    std::string ClassType = "STATUSBAR";
    std::vector<std::shared_ptr<LSBPart>> aPart;
    int nWnd = -1;
    int nSB = -1;  // −1 when not created
    LDialog* oParent = nullptr;

    LSBPart& partAdd(const std::string& text, const std::string& toolTip = {},
                     const std::string& icon = {}, int width = 0);
    LSBPart& partAdd(LSBPart::TextFn text, const std::string& toolTip = {},
                     const std::string& icon = {}, int width = 0);
    // (Re)creates the bar with every part; starts a one-second timer on the
    // window when it has none.
    void create();
    void draw();
    void refresh() { draw(); }
    void reset();
    void destroy();

    // The bar as one row of text (parts one after the other, each in its width).
    std::string text() const;

  private:
    explicit LStatusBar(LDialog* window);
};

// A new status bar on the last window with one part per text, created and drawn.
std::shared_ptr<LStatusBar> LSBDRAW(const std::vector<std::string>& texts);

}  // namespace kdx2::ui
