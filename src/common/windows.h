#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "platform/console/grid.h"

// Numbered text windows on the 25 x 80 grid: each is defined once (place,
// colours, frame), opened (the cells beneath are saved and the frame drawn),
// written into and closed (the cells restored). Window 10 is the message
// window, 8 the help window, 9 the calculator. Numbers without a definition
// are ignored by every procedure; every rectangle, saved region and write is
// clipped to rows 0-24 and columns 0-79.
namespace kdx2::common {

inline constexpr int kGridRows = 25;
inline constexpr int kGridCols = 80;

// Frame types: 0 none, 1 a box outside the top-left corner, 2 a box on the
// rectangle, 7 a shadow; other values none.
struct WindowSlot {
    int number = 0;
    uint8_t colour1 = 0;  // text
    uint8_t colour2 = 0;  // frame and second text colour
    uint8_t colour3 = 0;  // third colour, the shadow of frame 7
    int top = 0;
    int left = 0;
    int bottom = 0;
    int right = 0;
    int frame = 0;
    std::string lastText;  // expanded, without colour markers
};

// Where text windows draw: a grid and the grid position of its top-left
// cell (a dialog's grid starts where the dialog does).
struct TextSurface {
    platform::Grid* grid = nullptr;
    int top = 0;
    int left = 0;
};
// Installs the surface provider (the UI layer's active window); an empty
// function brings back a 25 x 80 grid of this module.
void setTextSurface(std::function<TextSurface()> provider);
TextSurface textSurface();

// Defines a window, or redefines it when the number exists. Frame 7 keeps
// its bottom two rows lower than given (room for the shadow).
void DEFINEJAN(int number, int colour1, int colour2, int colour3, int top, int left, int bottom,
               int right, int frame);
void REDEFJAN(int number, int colour1, int colour2, int colour3, int top, int left, int bottom,
              int right, int frame);
// Changes colour `which` (1-3) of a window; number 0 means 10.
void REDFATR(int number, int which, int attribute);
const WindowSlot* windowSlot(int number);
bool windowOpen(int number);

void ABREJAN(int number);
void FECHAJAN(int number);
// Writes text from the window's top-left corner, wrapping at its last
// usable column; bytes 1, 2 and 3 switch to colour 1, 2 or 3, byte 4 with a
// count and a character repeats it. Number 0 writes on the status row 24.
void ESCRJAN(int number, std::string_view text);
// Writes text at (row, column) of the window (1, 1 is its top-left cell),
// keeping the colours on the screen. Number 0 writes on row 24.
void ESCRLCOL(int number, int row, int column, std::string_view text);
// Redraws `length` characters of the window's last text from the window
// position (row, column) in the colour of `attribute`.
void ESCRATR(int number, int row, int column, int attribute, int length);
// Moves the window one row up (129) or down (any other value) / one column
// left (129) or right, refused at the screen's edge.
inline constexpr int kTowardsStart = 129;
void MOVEVER(int number, int direction);
void MOVEHOR(int number, int direction);
// Restores and forgets the region saved under `number`; then, with save,
// saves the rectangle under it.
void SCREEN_(int number, int top, int left, int bottom, int right, bool save);
// Fills the whole grid with the character.
void ENCHETELA(char character, uint8_t attribute);
void ENCHETELA(char character, std::string_view colourPair);

// Byte 4 and the count: REP(n) + c stands for c written n times.
std::string REP(int count);
// Expands every repeat triple.
std::string XREP(std::string_view text);

}  // namespace kdx2::common
