#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "base/value.h"

namespace kdx2::ui {

class LDialog;
class LMenu;

// One entry of a menu bar: an action item or a sub-menu (with children).
class LMenuItem {
  public:
    using Action = std::function<void(LMenuItem& item, LDialog* window)>;

    LMenu* oParent = nullptr;
    int nMenu = 0;        // the sub-menu (level) holding the item
    int nSequence = 0;    // command number
    std::string cPrompt;  // with "&" before the hot-key letter
    Action bAction;
    std::vector<std::shared_ptr<LMenuItem>> aChildren;  // a sub-menu's items
    bool lSeparator = false;                            // a separator follows the item
    base::Value cargo;

    void enable() { enabled_ = true; }
    void disable() { enabled_ = false; }
    bool lEnable() const { return enabled_; }
    // Runs the callback with (item, window); without one a diagnostic.
    void action();
    bool lSubMenu() const { return subMenu_; }
    // The prompt without "&", and its hot-key letter (0 without).
    std::string text() const;
    char hotKey() const;

  private:
    friend class LMenu;
    bool enabled_ = true;
    bool subMenu_ = false;
};

// The menu bar of a window. Items are numbered from 1001 in the order they
// are added, sub-menus included, and choosing one runs its action.
class LMenu {
  public:
    // new (window = last window): attaches itself as the window's oMenu.
    static std::shared_ptr<LMenu> make(LDialog* window = nullptr);

    std::string ClassType = "MENU";
    base::Value Cargo;
    std::vector<std::shared_ptr<LMenuItem>> aItem;
    int nLevel = 0;
    int nWnd = -1;
    int nMenu = 0;
    int nCount = 1000;
    LDialog* oParent = nullptr;
    LMenuItem* oItem = nullptr;
    bool lCallEvent = true;

    // Builds the bar once and attaches it to the window.
    void create();
    bool created() const { return created_; }
    LMenuItem& subMenu(const std::string& prompt);
    LMenuItem& menuItem(const std::string& prompt, LMenuItem::Action action = {},
                        bool enabled = true);
    void endMenu();
    void separator();
    // Runs the item with that number (search in order, depth first); false
    // when there is none.
    bool event(int number);

    LMenuItem* find(int number);
    // The item at a prompt path (prompts compared trimmed, without "&").
    LMenuItem* find(const std::vector<std::string>& path);

  private:
    explicit LMenu(LDialog* window);
    std::vector<std::shared_ptr<LMenuItem>>& currentLevel();
    std::vector<LMenuItem*> levels_;  // sub-menus being built
    bool created_ = false;
};

// Handles a menu command the way the layer's menu-event hook does: 1000 ...
// 1999 go to the active window's menu. Returns false (after a diagnostic) when
// nothing ran.
bool dispatchMenuCommand(int command);
// The number of the last menu command delivered (also when the menu's
// lCallEvent is false and the program runs the command itself).
int lastMenuCommand();

// The interactive menu bar of the active window (mouse on the top row, F10,
// Ctrl+F10): drop-downs drawn over the grid. Returns the chosen command, 0
// when the user left it.
int runMenuBar(int startItem, int clickCol = -1);

}  // namespace kdx2::ui
