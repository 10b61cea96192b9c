#include "ui/menu.h"

#include <algorithm>
#include <optional>
#include <vector>

#include "base/cp850.h"
#include "base/text.h"
#include "ui/detail.h"
#include "ui/dialog.h"

namespace kdx2::ui {

using platform::Cell;
using platform::Grid;
using platform::Rect;
namespace keys = platform::keys;

namespace {

// Colours of the menu bar and its drop-downs (a desktop menu's grey look).
constexpr uint8_t kMenuAttr = 0x70;      // black on white
constexpr uint8_t kHotAttr = 0x74;       // the hot-key letter, red on white
constexpr uint8_t kDisabledAttr = 0x78;  // dark grey on white
constexpr uint8_t kSelectedAttr = 0x1F;  // bright white on blue
constexpr uint8_t kSelectedHot = 0x1E;   // yellow on blue

std::string compareForm(std::string_view prompt) {
    return base::cp850::upper(base::alltrim(prompt));
}

uint8_t upperByte(char c) {
    return static_cast<uint8_t>(base::cp850::upper(std::string_view(&c, 1))[0]);
}

}  // namespace

// ---- Items ------------------------------------------------------------------

std::string LMenuItem::text() const {
    std::string out;
    for (size_t i = 0; i < cPrompt.size(); ++i) {
        if (cPrompt[i] == '&' && i + 1 < cPrompt.size()) {
            out += cPrompt[++i];
            continue;
        }
        out += cPrompt[i];
    }
    return out;
}

char LMenuItem::hotKey() const {
    const size_t amp = cPrompt.find('&');
    if (amp == std::string::npos || amp + 1 >= cPrompt.size()) return 0;
    return cPrompt[amp + 1];
}

void LMenuItem::action() {
    if (subMenu_) return;
    if (!bAction) {
        diagnostic("Error!! Action is not defined in menuItem");
        return;
    }
    bAction(*this, oParent ? oParent->oParent : nullptr);
}

// ---- The menu ---------------------------------------------------------------

LMenu::LMenu(LDialog* window) : oParent(window) {}

std::shared_ptr<LMenu> LMenu::make(LDialog* window) {
    if (!window) window = lastWindow().get();
    std::shared_ptr<LMenu> menu(new LMenu(window));
    if (window) {
        window->oMenu = menu;
        menu->nWnd = window->nWnd;
    }
    return menu;
}

std::vector<std::shared_ptr<LMenuItem>>& LMenu::currentLevel() {
    return levels_.empty() ? aItem : levels_.back()->aChildren;
}

LMenuItem& LMenu::subMenu(const std::string& prompt) {
    auto item = std::make_shared<LMenuItem>();
    item->oParent = this;
    item->nMenu = levels_.empty() ? 0 : levels_.back()->nSequence;
    item->nSequence = ++nCount;
    item->cPrompt = prompt;
    item->subMenu_ = true;
    currentLevel().push_back(item);
    levels_.push_back(item.get());
    ++nLevel;
    oItem = item.get();
    return *item;
}

LMenuItem& LMenu::menuItem(const std::string& prompt, LMenuItem::Action action, bool enabled) {
    auto item = std::make_shared<LMenuItem>();
    item->oParent = this;
    item->nMenu = levels_.empty() ? 0 : levels_.back()->nSequence;
    item->nSequence = ++nCount;
    item->cPrompt = prompt;
    item->bAction = std::move(action);
    item->enabled_ = enabled;
    currentLevel().push_back(item);
    oItem = item.get();
    return *item;
}

void LMenu::endMenu() {
    if (levels_.empty()) return;
    levels_.pop_back();
    --nLevel;
}

void LMenu::separator() {
    auto& level = currentLevel();
    if (!level.empty()) level.back()->lSeparator = true;
}

void LMenu::create() {
    if (created_) return;
    created_ = true;
    nMenu = 1;
    if (oParent) nWnd = oParent->nWnd;
}

namespace {

LMenuItem* findNumber(const std::vector<std::shared_ptr<LMenuItem>>& items, int number) {
    for (const auto& item : items) {
        if (item->nSequence == number) return item.get();
        if (LMenuItem* found = findNumber(item->aChildren, number)) return found;
    }
    return nullptr;
}

}  // namespace

LMenuItem* LMenu::find(int number) {
    return findNumber(aItem, number);
}

LMenuItem* LMenu::find(const std::vector<std::string>& path) {
    const std::vector<std::shared_ptr<LMenuItem>>* level = &aItem;
    LMenuItem* found = nullptr;
    for (const auto& prompt : path) {
        found = nullptr;
        const std::string wanted = compareForm(prompt);
        for (const auto& item : *level) {
            if (compareForm(item->text()) == wanted) {
                found = item.get();
                break;
            }
        }
        if (!found) return nullptr;
        level = &found->aChildren;
    }
    return found;
}

bool LMenu::event(int number) {
    LMenuItem* item = find(number);
    if (!item || item->lSubMenu() || !item->lEnable()) return false;
    item->action();
    return true;
}

// ---- The menu-event hook --------------------------------------------------------

bool dispatchMenuCommand(int command) {
    if (command >= 1000 && command <= 1999) {
        LDialog* window = detail::active();
        if (!window || !window->oMenu) {
            diagnostic("Erro interno. Nao foi encontrado um menu ativo (LMenuActivate)");
            return false;
        }
        detail::state().lastMenuCommand = command;
        if (!window->oMenu->lCallEvent) return true;
        return window->oMenu->event(command);
    }
    if (command >= 2000 && command <= 2999) {
        diagnostic("Erro interno. Nao foi encontrada uma barra de ferramentas ativa (" +
                   std::to_string(command) + ")");
        return false;
    }
    diagnostic("Comando de menu desconhecido: " + std::to_string(command));
    return false;
}

int lastMenuCommand() {
    return detail::state().lastMenuCommand;
}

namespace detail {

LMenuItem* resolveMenuEvent(const platform::Event& event, std::string& reason) {
    using namespace base::literals;
    LDialog* window = active();
    if (!window || !window->oMenu || !window->oMenu->created()) {
        reason = "Erro interno. Nao foi encontrado um menu ativo (LMenuActivate)";
        return nullptr;
    }
    LMenuItem* item =
        event.command > 0 ? window->oMenu->find(event.command) : window->oMenu->find(event.path);
    std::string what;
    if (event.command > 0) {
        what = std::to_string(event.command);
    } else {
        for (const auto& prompt : event.path)
            what += (what.empty() ? "" : " > ") + prompt;
    }
    if (!item) {
        reason = "item de menu inexistente: "_cp + what;
        return nullptr;
    }
    if (item->lSubMenu()) {
        reason = "o item de menu abre um submenu: "_cp + what;
        return nullptr;
    }
    if (!item->lEnable()) {
        reason = "item de menu desativado: "_cp + what;
        return nullptr;
    }
    return item;
}

LDialog* menuWindow() {
    const auto& windows = state().windows;
    LDialog* current = active();
    if (current && current->oMenu && current->oMenu->created()) return current;
    for (auto it = windows.rbegin(); it != windows.rend(); ++it)
        if ((*it)->visible() && (*it)->oMenu && (*it)->oMenu->created()) return it->get();
    return nullptr;
}

}  // namespace detail

// ---- Drawing the bar and the drop-downs ---------------------------------------------

namespace {

struct BarSlot {
    int col = 0;
    int width = 0;
};

// Top-level items side by side, each with one blank on either side.
std::vector<BarSlot> barLayout(const LMenu& menu) {
    std::vector<BarSlot> slots;
    int col = 0;
    for (const auto& item : menu.aItem) {
        const int width = static_cast<int>(item->text().size()) + 2;
        slots.push_back({col, width});
        col += width;
    }
    return slots;
}

// Writes a prompt with its hot-key letter in its own colour.
void writePrompt(Grid& screen, int row, int col, const LMenuItem& item, uint8_t attr,
                 uint8_t hotAttr) {
    const std::string& prompt = item.cPrompt;
    bool hotDone = false;
    for (size_t i = 0; i < prompt.size(); ++i) {
        if (prompt[i] == '&' && i + 1 < prompt.size()) {
            ++i;
            screen.put(row, col++, Cell{static_cast<uint8_t>(prompt[i]), hotDone ? attr : hotAttr});
            hotDone = true;
            continue;
        }
        screen.put(row, col++, Cell{static_cast<uint8_t>(prompt[i]), attr});
    }
}

uint8_t itemAttr(const LMenuItem& item, bool selected) {
    if (selected) return kSelectedAttr;
    return item.lEnable() ? kMenuAttr : kDisabledAttr;
}

uint8_t hotAttr(const LMenuItem& item, bool selected) {
    if (!item.lEnable()) return itemAttr(item, selected);
    return selected ? kSelectedHot : kHotAttr;
}

// One open drop-down: its items, the highlighted one and its box.
struct DropDown {
    const std::vector<std::shared_ptr<LMenuItem>>* items = nullptr;
    int selected = 0;
    Rect box;
    std::vector<int> rowOf;  // screen row of each item
};

DropDown layoutDropDown(const std::vector<std::shared_ptr<LMenuItem>>& items, int top, int left) {
    DropDown drop;
    drop.items = &items;
    int width = 0;
    int rows = 0;
    for (const auto& item : items) {
        width = std::max(width, static_cast<int>(item->text().size()) + (item->lSubMenu() ? 2 : 0));
        rows += item->lSeparator ? 2 : 1;
    }
    if (!items.empty() && items.back()->lSeparator) --rows;  // no separator at the bottom
    const int boxWidth = width + 4;
    const int boxHeight = rows + 2;
    // Kept on the screen: moved left or up when it would run past an edge.
    left = std::clamp(left, 0, std::max(platform::kScreenCols - boxWidth, 0));
    top = std::clamp(top, 1, std::max(platform::kScreenRows - 1 - boxHeight, 1));
    drop.box = Rect{top, left, top + boxHeight - 1, left + boxWidth - 1};
    int row = top + 1;
    for (const auto& item : items) {
        drop.rowOf.push_back(row);
        row += item->lSeparator ? 2 : 1;
    }
    return drop;
}

void drawDropDown(Grid& screen, const DropDown& drop) {
    screen.fill(drop.box, Cell{' ', kMenuAttr});
    screen.box(drop.box, platform::kSingleFrame, kMenuAttr);
    const auto& items = *drop.items;
    for (size_t i = 0; i < items.size(); ++i) {
        const LMenuItem& item = *items[i];
        const int row = drop.rowOf[i];
        const bool selected = static_cast<int>(i) == drop.selected;
        const uint8_t attr = itemAttr(item, selected);
        screen.fill(Rect{row, drop.box.left + 1, row, drop.box.right - 1}, Cell{' ', attr});
        writePrompt(screen, row, drop.box.left + 2, item, attr, hotAttr(item, selected));
        if (item.lSubMenu()) screen.put(row, drop.box.right - 2, Cell{0x10, attr});
        if (item.lSeparator && i + 1 < items.size()) {
            screen.put(row + 1, drop.box.left, Cell{0xC3, kMenuAttr});
            screen.fill(Rect{row + 1, drop.box.left + 1, row + 1, drop.box.right - 1},
                        Cell{0xC4, kMenuAttr});
            screen.put(row + 1, drop.box.right, Cell{0xB4, kMenuAttr});
        }
    }
}

void drawBar(Grid& screen, const LMenu& menu, bool enabled, int selected) {
    const auto slots = barLayout(menu);
    for (size_t i = 0; i < menu.aItem.size(); ++i) {
        const LMenuItem& item = *menu.aItem[i];
        const bool isSelected = static_cast<int>(i) == selected;
        uint8_t attr = enabled ? itemAttr(item, isSelected) : kDisabledAttr;
        uint8_t hot = enabled ? hotAttr(item, isSelected) : kDisabledAttr;
        screen.fill(Rect{platform::kMenuBarRow, slots[i].col, platform::kMenuBarRow,
                         slots[i].col + slots[i].width - 1},
                    Cell{' ', attr});
        writePrompt(screen, platform::kMenuBarRow, slots[i].col + 1, item, attr, hot);
    }
}

// The title of the window that fills the grid, shown after the menu items.
const LDialog* titledWindow() {
    const auto& windows = detail::state().windows;
    LDialog* current = detail::active();
    auto fills = [](const LDialog& w) {
        return w.visible() && w.nTop == 0 && w.nLeft == 0 && w.nBottom == platform::kGridRows - 1 &&
               w.nRight == platform::kGridCols - 1;
    };
    if (current && fills(*current)) return current;
    for (auto it = windows.rbegin(); it != windows.rend(); ++it)
        if (fills(**it)) return it->get();
    return nullptr;
}

}  // namespace

namespace detail {

void drawMenuRow(Grid& screen) {
    screen.fill(Rect{platform::kMenuBarRow, 0, platform::kMenuBarRow, platform::kScreenCols - 1},
                Cell{' ', kMenuAttr});
    int used = 0;
    if (LDialog* window = menuWindow()) {
        drawBar(screen, *window->oMenu, window == active(), -1);
        const auto slots = barLayout(*window->oMenu);
        if (!slots.empty()) used = slots.back().col + slots.back().width;
    }
    const LDialog* titled = titledWindow();
    if (!titled || titled->cTitle().empty()) return;
    const int room = platform::kScreenCols - used - 2;
    if (room < 4) return;
    std::string title = titled->cTitle().substr(0, static_cast<size_t>(room));
    screen.write(platform::kMenuBarRow, platform::kScreenCols - 1 - static_cast<int>(title.size()),
                 title, kMenuAttr);
}

}  // namespace detail

// ---- The interactive menu bar -----------------------------------------------------

namespace {

// The bar item whose slot holds a column, or -1.
int barItemAt(const std::vector<BarSlot>& slots, int col) {
    for (size_t i = 0; i < slots.size(); ++i)
        if (col >= slots[i].col && col < slots[i].col + slots[i].width) return static_cast<int>(i);
    return -1;
}

bool isHotKey(const LMenuItem& item, int key) {
    return keys::isCharacter(key) && item.hotKey() &&
           upperByte(item.hotKey()) == upperByte(static_cast<char>(key));
}

// The menu bar while the user is in it: the item highlighted on the bar and
// the drop-downs open under it. Each event either ends the run with the
// command chosen (0 for none) or leaves it going.
class MenuBarRun {
  public:
    MenuBarRun(LMenu& menu, int current)
        : menu_(menu),
          slots_(barLayout(menu)),
          count_(static_cast<int>(menu.aItem.size())),
          current_(current) {}

    int run(bool openFirst) {
        if (openFirst) openTop();
        const auto overlay = [this](Grid& screen) {
            drawBar(screen, menu_, true, current_);
            for (const auto& drop : open_)
                drawDropDown(screen, drop);
        };
        for (;;) {
            const platform::Event event = detail::nextEvent(-1, overlay);
            std::optional<int> chosen;
            if (event.kind == platform::EventKind::Menu)
                chosen = menuEvent(event);
            else if (event.kind == platform::EventKind::Click)
                chosen = click(event);
            else if (event.kind == platform::EventKind::Key)
                chosen = open_.empty() ? barKey(event.key) : dropDownKey(event.key);
            if (chosen) return *chosen;
        }
    }

  private:
    using Ending = std::optional<int>;

    LMenuItem& barItem(int index) { return *menu_.aItem[static_cast<size_t>(index)]; }

    // The bar item whose hot key is `key`, or -1.
    int barItemOfHotKey(int key) {
        for (int i = 0; i < count_; ++i)
            if (isHotKey(barItem(i), key)) return i;
        return -1;
    }

    void openTop() {
        open_.clear();
        const LMenuItem& item = barItem(current_);
        if (item.lSubMenu() && !item.aChildren.empty())
            open_.push_back(
                layoutDropDown(item.aChildren, 1, slots_[static_cast<size_t>(current_)].col));
    }

    // Opens the submenu of the item selected in the last drop-down; false
    // when it has none.
    bool openChild() {
        if (open_.empty()) return false;
        const DropDown& last = open_.back();
        const LMenuItem& item = *(*last.items)[static_cast<size_t>(last.selected)];
        if (!item.lSubMenu() || item.aChildren.empty() || !item.lEnable()) return false;
        open_.push_back(layoutDropDown(
            item.aChildren, last.rowOf[static_cast<size_t>(last.selected)] - 1, last.box.right));
        return true;
    }

    // The chosen item's number, or 0 when it cannot be chosen.
    static int choose(const LMenuItem& item) {
        if (!item.lEnable()) {
            console().beep();
            return 0;
        }
        return item.lSubMenu() ? 0 : item.nSequence;
    }

    // Moves the bar to item `index` and opens its drop-down; an item without
    // one is chosen at once, ending the run.
    Ending selectBarItem(int index) {
        current_ = index;
        openTop();
        if (open_.empty()) return choose(barItem(index));
        return std::nullopt;
    }

    void stepBar(int by) {
        current_ = (current_ + by + count_) % count_;
        openTop();
    }

    // An item of a drop-down picked by key or click: its submenu opens, or
    // it is chosen when it can be.
    Ending pick(const LMenuItem& item) {
        if (item.lSubMenu()) {
            openChild();
        } else if (const int command = choose(item)) {
            return command;
        }
        return std::nullopt;
    }

    Ending menuEvent(const platform::Event& event) {
        std::string reason;
        if (LMenuItem* item = detail::resolveMenuEvent(event, reason)) return item->nSequence;
        console().rejectEvent(event, reason);
        return std::nullopt;
    }

    Ending click(const platform::Event& event) {
        if (event.row == platform::kMenuBarRow) {
            const int i = barItemAt(slots_, event.col);
            if (i < 0) return std::nullopt;
            if (i == current_ && !open_.empty()) return 0;  // a second click closes
            return selectBarItem(i);
        }
        for (size_t level = open_.size(); level-- > 0;) {
            DropDown& drop = open_[level];
            if (!drop.box.contains(event.row, event.col)) continue;
            for (size_t i = 0; i < drop.rowOf.size(); ++i) {
                if (drop.rowOf[i] != event.row) continue;
                open_.resize(level + 1);
                drop.selected = static_cast<int>(i);
                return pick(*(*drop.items)[i]);  // `drop` may move when a child opens
            }
            return std::nullopt;
        }
        return 0;  // a click outside the menus leaves them
    }

    // Keys while only the bar is active (no drop-down open).
    Ending barKey(int key) {
        if (key == keys::Esc) return 0;
        if (key == keys::Left || key == keys::Right) {
            stepBar(key == keys::Left ? -1 : 1);
        } else if (key == keys::Enter || key == keys::Down) {
            openTop();
            if (open_.empty()) {
                if (const int command = choose(barItem(current_))) return command;
            }
        } else if (const int i = barItemOfHotKey(key); i >= 0) {
            return selectBarItem(i);
        }
        return std::nullopt;
    }

    // Keys in the last drop-down opened.
    Ending dropDownKey(int key) {
        DropDown& drop = open_.back();
        const int size = static_cast<int>(drop.items->size());
        switch (key) {
            case keys::Esc:
                open_.pop_back();
                if (open_.empty()) return 0;
                return std::nullopt;
            case keys::Up:
                drop.selected = (drop.selected + size - 1) % size;
                return std::nullopt;
            case keys::Down:
                drop.selected = (drop.selected + 1) % size;
                return std::nullopt;
            case keys::Home:
                drop.selected = 0;
                return std::nullopt;
            case keys::End:
                drop.selected = size - 1;
                return std::nullopt;
            case keys::Left:
                if (open_.size() > 1)
                    open_.pop_back();
                else
                    stepBar(-1);
                return std::nullopt;
            case keys::Right:
                if (!openChild()) stepBar(1);
                return std::nullopt;
            case keys::Enter:
                return pick(*(*drop.items)[static_cast<size_t>(drop.selected)]);
            default:
                return dropDownHotKey(drop, key);
        }
    }

    // A letter picks the drop-down's item with that hot key; a letter of no
    // item there may be one of the bar's own.
    Ending dropDownHotKey(DropDown& drop, int key) {
        for (size_t i = 0; i < drop.items->size(); ++i) {
            const LMenuItem& item = *(*drop.items)[i];
            if (!isHotKey(item, key)) continue;
            drop.selected = static_cast<int>(i);
            return pick(item);
        }
        if (const int i = barItemOfHotKey(key); i >= 0) return selectBarItem(i);
        return std::nullopt;
    }

    LMenu& menu_;
    const std::vector<BarSlot> slots_;
    const int count_;
    int current_;
    std::vector<DropDown> open_;
};

}  // namespace

int runMenuBar(int startItem, int clickCol) {
    LDialog* window = detail::active();
    if (!window || !window->oMenu || !window->oMenu->created()) return 0;
    LMenu& menu = *window->oMenu;
    if (menu.aItem.empty()) return 0;
    int current = std::clamp(startItem, 0, static_cast<int>(menu.aItem.size()) - 1);
    if (clickCol >= 0) {
        current = barItemAt(barLayout(menu), clickCol);
        if (current < 0) return 0;
    }
    // A click opens its item's drop-down; from the keyboard the bar starts
    // with none open, so that every item's letter on the bar still works.
    return MenuBarRun(menu, current).run(clickCol >= 0);
}

}  // namespace kdx2::ui
