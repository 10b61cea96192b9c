#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "base/value.h"
#include "platform/console/grid.h"
#include "ui/get.h"

namespace kdx2::ui {

class LDialog;

// A push button. Inside a form it is read like a field: Left/Right act as
// Up/Down, Enter (or a click, or its hot-key letter) presses it.
class LButton {
  public:
    using Action = std::function<void(LButton& button, LDialog* window)>;

    struct Options {
        std::optional<int> top;     // default: the window's cursor row; < 0 counts from the bottom
        std::optional<int> left;    // default: the window's cursor column
        std::optional<int> bottom;  // default: top
        std::optional<int> right;   // default: left + width of the caption − 1
        std::string image;
        bool map3dColors = false;
        LDialog* window = nullptr;   // default: the last window
        GetList* form = nullptr;     // when given, a field standing for the button is added
        std::function<bool()> when;  // entry condition
        bool enabled = true;
    };

    static inline int asOffSet[4] = {0, 0, 0, 0};

    static std::shared_ptr<LButton> make(const std::string& caption, Action action,
                                         Options options);
    static std::shared_ptr<LButton> make(const std::string& caption, Action action) {
        return make(caption, std::move(action), Options{});
    }

    std::string ClassType = "BUTTON";
    std::string uImage;
    base::Value Cargo;
    Action bAction;
    std::function<bool()> bWhen;
    base::Value cVar{" "};
    std::string cCaption;  // as shown (centred in 10 when short), with "&"
    char cShortcut = 0;    // the letter after "&"
    int nWnd = -1;
    int nId = 0;
    int nStretchBitmap = 0;
    int nTop = 0;
    int nLeft = 0;
    int nBottom = 0;
    int nRight = 0;
    int nButton = 0;  // 1-based among the window's buttons
    bool lHasFocus = false;
    bool lMap3Dcolors = false;
    bool lCreate = false;
    LDialog* oParent = nullptr;
    std::shared_ptr<Get> oGet;

    // Shows the button and moves the window's cursor just right of it.
    void create();
    void destroy();
    void setFocus();
    void killFocus();
    void disable();
    void enable();
    bool lEnable() const { return enabled_; }
    // Takes the focus, runs the action with (button, window) and records the
    // button's number as the window's nLastButton.
    void action();

    // Draws the button on the composed screen, over its window's grid.
    void draw(platform::Grid& screen) const;
    // The caption without "&".
    std::string text() const;

  private:
    LButton() = default;
    bool enabled_ = true;
};

// The caption as a button shows it: shorter than 10 characters and without a
// blank at either end, centred in 10 (the "&" not counted).
std::string buttonCaption(const std::string& caption);
// The caption as shown: without the "&" that marks the hot-key letter.
std::string buttonText(const std::string& caption);

}  // namespace kdx2::ui
