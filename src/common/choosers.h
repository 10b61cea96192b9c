#pragma once

#include <string>
#include <vector>

// Choosers over the items of a text window, and the help windows.
namespace kdx2::common {

// Star-mark chooser: a "*" at (item + rowOffset, column) of the window marks
// the current item. Enter returns it, Esc 0; Home, End, Up and Down move.
int ESC_ITEM(int window, int lastItem, int column, int rowOffset, int firstItem = 1);

// Highlighted-bar chooser: the current item is a bar `width` wide in
// COR_ESCOL (the others in COR_TEL1), starting at the session's POSVER. A
// key whose upper-case letter is at position p of OPCOES chooses item p at
// once; Alt+A opens the calculator. With withMessages 1, `messages[item-1]`
// goes to the status line. Closes window 10 and, with close 1, the chooser's
// window; the result is also left in POSVER.
int ESC_OPCAO(int window, int lastItem, int column, int width, int rowOffset, int close = 0,
              int withMessages = 0, const std::vector<std::string>& messages = {});

// The help of a topic from the help table of the install folder (HELPTXT
// when which is 1, else HELPATXT), read-only in window 8. Quietly nothing
// when the table or the topic does not exist.
void TXT_HELP(const std::string& topic, int which = 1);
// Choice 0 asks which help (general, screen, field, functions); 1 ... 4
// shows that one.
void MOSTRA_HELP(int choice, int which = 1);
// The help of the field being edited.
void MOS_HELP();
// F1 where the screen gives it no meaning of its own: the help of the field
// being edited when it has one, otherwise the topic of the screen in
// QUALHLP, otherwise the general help.
void showContextHelp();
// Fixed key summaries in an "Ok" box.
void HELPGER();
void HELPFUN();
std::vector<std::string> generalHelpLines();
std::vector<std::string> functionHelpLines();

}  // namespace kdx2::common
