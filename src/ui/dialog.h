#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "base/value.h"
#include "platform/console/console.h"
#include "ui/get.h"
#include "ui/screen.h"

namespace kdx2::ui {

class LMenu;
class LStatusBar;
class LButton;

// Base class of all windows. A window has its own grid of cells covering its
// rectangle (rows/columns of the 25 x 80 grid); windows are drawn over the
// grid in the order they were created, a dialog smaller than the grid with a
// frame and its title around it. Members keep the names of the layer.
class LDialog : public std::enable_shared_from_this<LDialog> {
  public:
    // Shared by all windows.
    static inline std::string csColorWin = "N/W";
    static inline std::string csColorGet = "N/W*";
    static inline std::string csColorGetActive = "W*/B";
    static inline int nsValidRead = 0;  // 0 when mouse/buttons, 1 always, 2 never
    static inline int nsFontDecrease = 85;
    static inline int nsParentWin = -2;
    static inline int nsFontHeight = 0;
    static inline int nsFontWidth = 0;
    static inline std::string csFontName;
    static inline bool lsShortCuts = true;
    static inline bool lsMainCoord = true;

    // new (top, left, bottom, right): −1 for bottom/right means the last
    // row/column. The window is appended to the window list.
    static std::shared_ptr<LDialog> make(int top = 0, int left = 0, int bottom = -1,
                                         int right = -1);
    virtual ~LDialog();

    std::string ClassType = "WINDOW";
    base::Value Cargo;
    std::string cColor;
    std::string cFontName;
    GetList aGetList;  // the form being read
    std::vector<std::shared_ptr<LButton>> aControls;
    std::vector<std::pair<int, KeyAction>> aSetKey;  // bindings to restore at close
    bool lBoxMaximize = false;
    bool lBoxMinimize = true;
    bool lBoxClose = false;
    bool lBoxSysMenu = false;
    bool lCaption = true;
    bool lBorder = false;
    bool lScrollH = false;
    bool lScrollV = false;
    bool lShow = false;
    bool lClosed = false;
    bool lExitEsc = true;
    bool lGetUpperCase = false;
    int nHandle = 0;        // 0 until created
    int nHandleActive = 0;  // handle of the window active before this one
    int nWnd = -1;          // console window number, −1 until created
    int nTop = 0;
    int nLeft = 0;
    int nBottom = platform::kGridRows - 1;
    int nRight = platform::kGridCols - 1;
    int nStyle = -1;
    int nTimer = -1;
    int nLastButton = 0;
    int nExit = 0;  // 1 cancelled, 2 ended
    int nEnd = 0;
    int nFontHeight = 0;
    int nFontWidth = 0;
    std::shared_ptr<LMenu> oMenu;
    std::shared_ptr<LStatusBar> oStatusBar;

    // Window style bits.
    static constexpr int kCaption = 12582912;
    static constexpr int kSysMenu = 524288;
    static constexpr int kMinimizeBox = 131072;
    static constexpr int kMaximizeBox = 65536;
    static constexpr int kBorder = 8388608;
    static constexpr int kVScroll = 2097152;
    static constexpr int kHScroll = 1048576;

    // Creates the window without showing it.
    bool ghost();
    // Opens the window over the grid, with its colour, and makes it active.
    bool create();
    // Adds a control (button) to the window.
    void control(std::shared_ptr<LButton> button);
    bool showWindow();
    // Event loop: runs bound keys; leaves when nExit > 0 or on Esc with lExitEsc.
    void activate();
    void cancel();
    void killTimer();
    bool close();
    void end(int code = 0);
    void sbDraw();
    void sbReset();
    void setShortCuts(bool on);
    // Fonts have no meaning on a character terminal: accepted and recorded.
    bool setFont(const std::string& name = {}, int height = 0, int width = 0);
    void setStyle(int style = -1);
    // Rows and columns of the window's grid; the grid is kept at 25 x 80.
    bool setMode(int rows, int cols);
    std::pair<int, int> maxRowCol() const;
    void setTimer(int seconds);
    void setKey(int key, KeyAction action);
    void setColor(const std::string& color);
    void delGetList();
    // Reads the form from the field numbered `start` (0-based) until it is
    // left: Esc leaves only when lExitEsc is set (otherwise the read goes on
    // where it stopped); when the form ends, a window with buttons or a mouse
    // (or nsValidRead 1) checks every field again and goes back to the first
    // one refused. True when a value changed.
    bool readmodal(GetList& fields, int start = 0);
    bool readmodal() { return readmodal(aGetList); }
    void getClear();
    void getClearAll();
    const std::string& cTitle() const { return title_; }
    void cTitle(const std::string& title);
    void destroy();

    // Not of the layer's own vocabulary, but needed to draw it.
    platform::Grid& grid() { return grid_; }
    const platform::Grid& grid() const { return grid_; }
    bool created() const { return nHandle != 0 && !lClosed; }
    // Created and not hidden (ghost windows are created hidden).
    bool visible() const { return created() && !hidden_; }
    bool reading() const { return reading_; }
    int cursorRow = 0;
    int cursorCol = 0;
    // The computed style bits (caption, system menu, boxes, border, scroll bars).
    int computedStyle() const;
    // The style in force: the explicit one, else the computed one.
    int style() const { return nStyle >= 0 ? nStyle : computedStyle(); }
    // Runs the action of the created button under a click (window
    // coordinates); false when there is none.
    bool clickButton(int row, int col);

  protected:
    LDialog(int top, int left, int bottom, int right);
    // Appends a window built by a derived class to the window list.
    static void enlist(const std::shared_ptr<LDialog>& window);

  private:
    friend void stop();
    platform::Grid grid_;
    std::string title_;
    // Captured at new, restored at close.
    std::string savedColor_;
    platform::CursorShape savedCursor_ = platform::CursorShape::Hidden;
    bool savedBreakKey_ = false;
    bool savedMainCoord_ = true;
    bool reading_ = false;
    bool hidden_ = false;
};

// The main window: window 0, created by start(); never closed.
class LWindowMain : public LDialog {
  public:
    // Returns the main window already in the list.
    static std::shared_ptr<LWindowMain> load();
    // Font fitting: always succeeds on a terminal; redraws the status bar.
    bool maxFontSize();

  private:
    friend void start(platform::Console& console);
    LWindowMain();
};

// ---- The window list -----------------------------------------------------
const std::vector<std::shared_ptr<LDialog>>& windowList();
// The most recent window (the last of the list).
std::shared_ptr<LDialog> lastWindow();
// The window that has the focus, or nullptr.
std::shared_ptr<LDialog> activeWindow();

// ---- Procedures of the layer ----------------------------------------------
bool LMAXSCREEN();
// A new dialog, titled and shown.
std::shared_ptr<LDialog> LDLGSHOW(int top, int left, int bottom, int right,
                                  const std::string& title);
void LDLGCLOSE();
void LDLGEND();
void LACTIVATE(bool exitOnEsc = true);

}  // namespace kdx2::ui
