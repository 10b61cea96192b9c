#pragma once

#include <functional>
#include <initializer_list>
#include <string>
#include <string_view>
#include <vector>

#include "base/value.h"

namespace kdx2::common {

// The text of a message: one line or several. Texts are CP850.
class MessageLines {
  public:
    MessageLines() = default;
    MessageLines(std::string line) : lines_{std::move(line)} {}
    MessageLines(const char* line) : lines_{std::string(line)} {}
    MessageLines(std::vector<std::string> lines) : lines_(std::move(lines)) {}
    MessageLines(std::initializer_list<std::string> lines) : lines_(lines) {}

    const std::vector<std::string>& lines() const { return lines_; }
    // True when there is no line or every line is blank.
    bool blank() const;
    // The lines joined with CR LF, as one text.
    std::string joined() const;

  private:
    std::vector<std::string> lines_;
};

// AVISOSN kinds. 0-3 and 8 are the desktop message box, the others the
// text-mode alert with its own buttons.
namespace box {
inline constexpr int kInformation = 0;  // information icon, "Ok"; returns ""
inline constexpr int kPlain = 1;        // no icon, "Ok"; returns "N"
inline constexpr int kYesNo = 2;        // question icon; "S" or "N"
inline constexpr int kYesNoCancel = 3;  // question icon; "S", "N" or "I"
inline constexpr int kSimNaoFim = 4;    // "S", "N" or "F"; Esc "N"
inline constexpr int kOneTwoThree = 5;  // "1", "2" or "3"
inline constexpr int kCustom = 6;       // the caller's buttons; their position
inline constexpr int kOneToSix = 7;     // "1" ... "6"; their position
inline constexpr int kStop = 8;         // stop icon, "Ok"; returns ""
}  // namespace box

enum class MessageIcon { None, Information, Question, Stop };

// The desktop box is the framed message box with icon; the text-mode alert
// is the one drawn in a colour of the session.
enum class MessageStyle { DesktopBox, TextAlert };

// One message box to show. Buttons are captions in order; the handler
// returns the 1-based number of the one chosen, 0 when left with Esc.
struct MessageBoxRequest {
    MessageStyle style = MessageStyle::DesktopBox;
    MessageIcon icon = MessageIcon::None;
    std::string title;
    std::vector<std::string> lines;
    std::vector<std::string> buttons;
    std::string colour;     // colour pair of a text-mode alert ("W+/R"); empty for desktop boxes
    int defaultButton = 1;  // the button selected when the box opens
};

// Where a message window goes across the screen.
struct MensColumn {
    enum class Rule { Standard, Left, Centred, At };
    Rule rule = Rule::Standard;
    int column = 0;

    static MensColumn left() { return {Rule::Left, 0}; }
    static MensColumn centred() { return {Rule::Centred, 0}; }
    static MensColumn at(int column) { return {Rule::At, column}; }

    // The left column for a window `width` wide: "E" is column 2, "C"
    // centres it in 80 columns, the standard place ends it at column 70.
    int resolve(int width) const;
};

// The arguments of a message window (MENS), defaults already applied.
// The units digit of `kind` is the behaviour, its tens digit the frame:
// 0 status line; 1 beep and wait for a key; 2 question answered by one of
// `answers`; 3 leave open and return; 4 edit `variable` after the text;
// 5 wait for a key; 9 asset-item caption and wait for a key.
struct MensOptions {
    int row = 20;
    MensColumn column{};
    int lines = 1;
    std::string answers{};            // kind 2: the letters accepted
    base::Value* variable = nullptr;  // kind 4: the value edited in place
    int width = 0;                    // kind 4: display width of a number
    std::string picture = "@KS";
    std::function<bool(const base::Value&)> validation{};  // empty: always valid
    int window = 10;
    std::string title = "KDX - Tavo Informatica";
};

struct MensRequest {
    int kind = 0;
    MessageLines text;
    MensOptions options;
};

// Shows messages. The window layer provides the real one; until it is
// installed a fallback writes boxes and windows to standard error and
// answers every question as Esc would.
class MessageHandler {
  public:
    virtual ~MessageHandler() = default;
    // Returns the 1-based number of the button chosen, 0 for Esc.
    virtual int messageBox(const MessageBoxRequest& request) = 0;
    // A message window of any kind but 0; returns what MENS returns.
    virtual base::Value messageWindow(const MensRequest& request) = 0;
    // Kind 0: the status line (blank text clears it).
    virtual void statusLine(const std::string& text) = 0;
    // AVISO: text written at a place of the grid in a colour pair.
    virtual void writeAt(int row, int column, const std::string& text,
                         const std::string& colour) = 0;
    virtual void tone(int frequency, int ticks) = 0;
};

MessageHandler& messageHandler();
// Installs `handler` (nullptr brings back the fallback); returns the previous.
MessageHandler* setMessageHandler(MessageHandler* handler);

// Installs a handler for the lifetime of the object.
class ScopedMessageHandler {
  public:
    explicit ScopedMessageHandler(MessageHandler& handler)
        : previous_(setMessageHandler(&handler)) {}
    ~ScopedMessageHandler() { setMessageHandler(previous_); }
    ScopedMessageHandler(const ScopedMessageHandler&) = delete;
    ScopedMessageHandler& operator=(const ScopedMessageHandler&) = delete;

  private:
    MessageHandler* previous_;
};

// Message box of `kind` (see `box`); `buttons` are used by kind 6 only.
// Returns the answer text of the kind. The box opens with the button numbered
// `defaultButton` selected.
std::string AVISOSN(const MessageLines& text, int kind,
                    const std::vector<std::string>& buttons = {},
                    const std::string& title = "Aviso", int defaultButton = 1);
// A question whose "Sim" destroys data (kYesNo or kYesNoCancel): it opens
// with "Não" selected, so that an Enter typed ahead answers no.
std::string askBeforeDestroying(const MessageLines& text, int kind = box::kYesNo);

// Text-mode alert in the session colour COR_SAY: "Sim"/"Nao" (kind 0 "Ok"
// alone, 3 adds "Ignore", 4 adds "Fim", 5 is "Windows"/"Java"). Returns "S"
// ("W") for the first button, "N" ("J") for the second or Esc, "I" or "F"
// for the third; Esc in kind 5 gives the session's OPCIRPF.
std::string AVISO_SN(const MessageLines& text, int kind);

// Message window, question or one-field prompt (see MensOptions). An empty
// text stands for 100 blanks.
base::Value MENS(int kind, const MessageLines& text, MensOptions options = {});
// Clears the status line.
void MENS();

// Writes text at (row, column) in a colour pair; the default colour is the
// session's COR_CLI_HE.
void AVISO(const std::string& text, int row = 24, int column = 0, const std::string& colour = "");

// The error beep: each time the tones 300 Hz and 499 Hz, one tick each, twice.
void BEEP_ERRO(int times = 1);

// Keeps the store's messages while a table opens (MOS_MENS) off for as long
// as it lives, and puts the previous setting back however the scope is left.
class OpeningMessagesOff {
  public:
    OpeningMessagesOff();
    ~OpeningMessagesOff();
    OpeningMessagesOff(const OpeningMessagesOff&) = delete;
    OpeningMessagesOff& operator=(const OpeningMessagesOff&) = delete;

  private:
    base::Value previous_;
};

}  // namespace kdx2::common
