// The only file that includes ncurses: the console on the user's terminal.
// Our headers come first: curses.h defines macros (scroll, ...) that would
// rename their members.
#include "base/cp850.h"
#include "base/error.h"
#include "platform/console/console.h"

#define NCURSES_WIDECHAR 1
#include <curses.h>
#include <langinfo.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <array>
#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <map>
#include <string>

namespace kdx2::platform {

namespace {

using namespace base::literals;

// ---- Restoring the terminal from a signal ---------------------------------
// Only async-signal-safe calls: the reset bytes are prepared beforehand and
// written with write(), the saved modes put back with tcsetattr().
struct SignalRestore {
    volatile sig_atomic_t active = 0;
    int inputFd = 0;
    int outputFd = 1;
    struct termios modes {};
    bool haveModes = false;
    char reset[512] = {};
    size_t resetLength = 0;
};
SignalRestore gRestore;

constexpr std::array kSignals = {SIGSEGV, SIGABRT, SIGTERM, SIGINT, SIGHUP, SIGBUS, SIGFPE};
std::array<struct sigaction, kSignals.size()> gPreviousActions{};

void restoreTerminalNow() {
    if (!gRestore.active) return;
    gRestore.active = 0;
    if (gRestore.resetLength > 0) {
        ssize_t ignored = ::write(gRestore.outputFd, gRestore.reset, gRestore.resetLength);
        (void)ignored;
    }
    if (gRestore.haveModes) ::tcsetattr(gRestore.inputFd, TCSANOW, &gRestore.modes);
}

void onFatalSignal(int signal) {
    restoreTerminalNow();
    // SA_RESETHAND put the default action back: raising again ends the
    // process the way the signal meant to.
    ::raise(signal);
}

void appendReset(const char* capability) {
    const char* text = capability ? tigetstr(const_cast<char*>(capability)) : nullptr;
    if (!text || text == reinterpret_cast<char*>(-1)) return;
    const size_t length = std::strlen(text);
    if (gRestore.resetLength + length >= sizeof(gRestore.reset)) return;
    std::memcpy(gRestore.reset + gRestore.resetLength, text, length);
    gRestore.resetLength += length;
}

void appendResetBytes(const char* text) {
    const size_t length = std::strlen(text);
    if (gRestore.resetLength + length >= sizeof(gRestore.reset)) return;
    std::memcpy(gRestore.reset + gRestore.resetLength, text, length);
    gRestore.resetLength += length;
}

// PC colour numbers (blue = 1, red = 4) to curses ones (red = 1, blue = 4).
constexpr std::array<short, 8> kCursesColor = {COLOR_BLACK,  COLOR_BLUE, COLOR_GREEN,
                                               COLOR_CYAN,   COLOR_RED,  COLOR_MAGENTA,
                                               COLOR_YELLOW, COLOR_WHITE};

std::string base64(std::string_view bytes) {
    static constexpr char kDigits[] =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out;
    size_t i = 0;
    for (; i + 2 < bytes.size(); i += 3) {
        const uint32_t n =
            (uint8_t(bytes[i]) << 16) | (uint8_t(bytes[i + 1]) << 8) | uint8_t(bytes[i + 2]);
        out += kDigits[(n >> 18) & 63];
        out += kDigits[(n >> 12) & 63];
        out += kDigits[(n >> 6) & 63];
        out += kDigits[n & 63];
    }
    if (i + 1 == bytes.size()) {
        const uint32_t n = uint8_t(bytes[i]) << 16;
        out += kDigits[(n >> 18) & 63];
        out += kDigits[(n >> 12) & 63];
        out += "==";
    } else if (i + 2 == bytes.size()) {
        const uint32_t n = (uint8_t(bytes[i]) << 16) | (uint8_t(bytes[i + 1]) << 8);
        out += kDigits[(n >> 18) & 63];
        out += kDigits[(n >> 12) & 63];
        out += kDigits[(n >> 6) & 63];
        out += '=';
    }
    return out;
}

// Key codes handed to curses for the sequences taught to it, far above the
// codes curses gives to its own and to terminfo's extended keys.
constexpr int kFirstPrivateKeyCode = 0x6000;

class TerminalConsole final : public Console {
  public:
    TerminalConsole(int inputFd, int outputFd) {
        std::setlocale(LC_ALL, "");
        utf8_ = std::strcmp(nl_langinfo(CODESET), "UTF-8") == 0;
        const char* term = std::getenv("TERM");
        if (!term || !*term)
            throw base::Error(
                "A variável TERM não está definida: o kdx2 precisa de um terminal."_cp);
        input_ = ::fdopen(::dup(inputFd), "r");
        output_ = ::fdopen(::dup(outputFd), "w");
        if (!input_ || !output_) throw base::Error("Não foi possível abrir o terminal."_cp);
        gRestore.inputFd = inputFd;
        gRestore.outputFd = outputFd;
        gRestore.haveModes = ::tcgetattr(inputFd, &gRestore.modes) == 0;

        screen_term_ = newterm(term, output_, input_);
        if (!screen_term_) {
            std::fclose(input_);
            std::fclose(output_);
            throw base::Error(
                base::cp850::fromUtf8("O terminal \"" + std::string(term) + "\" não é conhecido."));
        }
        set_term(screen_term_);
        installSignalHandlers();
        raw();
        noecho();
        nonl();
        keypad(stdscr, TRUE);
        meta(stdscr, TRUE);
        set_escdelay(25);
        intrflush(stdscr, FALSE);
        if (has_colors()) {
            start_color();
            colors_ = COLORS;
        }
        mousemask(BUTTON1_PRESSED | BUTTON1_CLICKED | BUTTON3_PRESSED | BUTTON3_CLICKED, nullptr);
        mouseinterval(0);
        curs_set(0);
        learnExtendedKeys();

        // Pastes arrive bracketed, so that they can be told from typing.
        std::fputs("\033[?2004h", output_);
        std::fflush(output_);

        // Bytes that put the terminal back even from a crash.
        appendResetBytes("\033[?1000l\033[?1002l\033[?1006l\033[?2004l");
        appendReset("sgr0");
        appendReset("oc");  // the terminal's own colours, when the palette was changed
        appendReset("cnorm");
        appendReset("rmcup");
        appendReset("rmkx");
        gRestore.active = 1;

        if (!sizeIsEnough()) {
            const std::string message = sizeMessage();
            shutdown();
            throw base::Error(base::cp850::fromUtf8(message));
        }
        shown_ = Grid(kScreenRows, kScreenCols);
        forceAll_ = true;
    }

    ~TerminalConsole() override { shutdown(); }

    bool isHeadless() const override { return false; }

    void present() override {
        if (!screen_term_ || tooSmall_) return;
        if (forceAll_) {
            clearok(stdscr, TRUE);
            werase(stdscr);
        }
        for (int row = 0; row < kScreenRows; ++row) {
            for (int col = 0; col < kScreenCols; ++col) {
                const Cell cell = screen_.cell(row, col);
                if (!forceAll_ && cell == shown_.cell(row, col)) continue;
                drawCell(row, col, cell);
                shown_.put(row, col, cell);
            }
        }
        forceAll_ = false;
        switch (cursorShape_) {
            case CursorShape::Hidden:
                curs_set(0);
                break;
            case CursorShape::Block:
                curs_set(2);
                break;
            default:
                curs_set(1);
                break;
        }
        wmove(stdscr, cursorRow_, cursorCol_);
        wrefresh(stdscr);
    }

    Event nextEvent(int timeoutMs) override {
        const int64_t deadline = timeoutMs < 0 ? -1 : nowMs() + timeoutMs;
        for (;;) {
            int wait = -1;
            if (deadline >= 0) {
                wait = static_cast<int>(deadline - nowMs());
                if (wait < 0) wait = 0;
            }
            wtimeout(stdscr, wait);
            wint_t ch = 0;
            const int rc = wget_wch(stdscr, &ch);
            if (rc == ERR) {
                if (deadline >= 0 && nowMs() >= deadline) return Event{EventKind::Timeout};
                continue;  // interrupted by a signal
            }
            Event event;
            if (rc == KEY_CODE_YES) {
                event = specialKey(static_cast<int>(ch));
            } else {
                event = characterKey(static_cast<wchar_t>(ch));
            }
            if (tooSmall_ && event.kind != EventKind::Resize) continue;    // nothing to act on yet
            if (event.kind == EventKind::Key && event.key == 0) continue;  // unknown key: ignored
            if (event.kind == EventKind::Timeout) continue;
            return event;
        }
    }

    void rejectEvent(const Event&, std::string_view) override { beep(); }

    void setPalette(int color, uint8_t red, uint8_t green, uint8_t blue) override {
        if (!screen_term_ || color < 0 || color > 15 || colors_ < 16 || !can_change_color()) return;
        // curses takes shades in thousandths.
        auto scale = [](uint8_t v) { return static_cast<short>(v * 1000 / 255); };
        init_color(static_cast<short>(kCursesColor[color & 7] + (color & 8)), scale(red),
                   scale(green), scale(blue));
        paletteChanged_ = true;
        forceAll_ = true;
    }

    void flushInput() override {
        if (screen_term_) flushinp();
    }

    void beep() override {
        if (screen_term_) ::beep();
    }

    void setClipboard(std::string text) override {
        Console::setClipboard(text);
        // OSC 52 reaches the terminal's (and tmux's) clipboard where allowed.
        const std::string sequence = "\033]52;c;" + base64(base::cp850::toUtf8(text)) + "\a";
        std::fflush(output_);
        ssize_t ignored = ::write(::fileno(output_), sequence.data(), sequence.size());
        (void)ignored;
    }

  private:
    void installSignalHandlers() {
        for (size_t i = 0; i < kSignals.size(); ++i) {
            struct sigaction action {};
            action.sa_handler = onFatalSignal;
            sigemptyset(&action.sa_mask);
            action.sa_flags = SA_RESETHAND;
            sigaction(kSignals[i], &action, &gPreviousActions[i]);
        }
        static bool atExitInstalled = false;
        if (!atExitInstalled) {
            atExitInstalled = true;
            std::atexit([] { restoreTerminalNow(); });
        }
    }

    void restoreSignalHandlers() {
        for (size_t i = 0; i < kSignals.size(); ++i)
            sigaction(kSignals[i], &gPreviousActions[i], nullptr);
    }

    void shutdown() {
        if (!screen_term_) return;
        curs_set(1);
        if (paletteChanged_) {
            const char* original = tigetstr(const_cast<char*>("oc"));
            if (original && original != reinterpret_cast<char*>(-1)) putp(original);
        }
        endwin();
        std::fputs("\033[?2004l", output_);  // pastes back to plain typing
        std::fflush(output_);
        gRestore.active = 0;
        restoreSignalHandlers();
        delscreen(screen_term_);
        screen_term_ = nullptr;
        std::fclose(input_);
        std::fclose(output_);
    }

    bool sizeIsEnough() const {
        int rows = 0, cols = 0;
        getmaxyx(stdscr, rows, cols);
        return rows >= kScreenRows && cols >= kScreenCols;
    }

    std::string sizeMessage() const {
        int rows = 0, cols = 0;
        getmaxyx(stdscr, rows, cols);
        return "O terminal tem " + std::to_string(cols) + " colunas e " + std::to_string(rows) +
               " linhas; o kdx2 precisa de pelo menos 80 colunas e 27 linhas. Aumente a janela.";
    }

    void showSizeMessage() {
        werase(stdscr);
        attrset(A_NORMAL);
        int rows = 0, cols = 0;
        getmaxyx(stdscr, rows, cols);
        const std::string message = sizeMessage();
        // Wrapped by hand so that even a very narrow terminal shows all of it.
        const int width = cols > 0 ? cols : 1;
        int row = 0;
        std::wstring wide;
        for (size_t pos = 0; pos < message.size();)
            wide.push_back(base::cp850::decodeUtf8(message, pos));
        for (size_t start = 0; start < wide.size() && row < rows; start += width, ++row)
            mvaddnwstr(row, 0, wide.c_str() + start, width);
        wrefresh(stdscr);
    }

    void learnExtendedKeys() {
        // Modified keys have no fixed curses codes: ask terminfo for them.
        const std::pair<const char*, int> names[] = {
            {"kLFT5", keys::CtrlLeft}, {"kRIT5", keys::CtrlRight}, {"kUP5", keys::CtrlUp},
            {"kDN5", keys::CtrlDown},  {"kHOM5", keys::CtrlHome},  {"kEND5", keys::CtrlEnd},
            {"kPRV5", keys::CtrlPgUp}, {"kNXT5", keys::CtrlPgDn},
        };
        for (const auto& [name, key] : names) {
            const char* sequence = tigetstr(const_cast<char*>(name));
            if (!sequence || sequence == reinterpret_cast<char*>(-1)) continue;
            const int code = key_defined(sequence);
            if (code > 0) extended_[code] = key;
        }
        learnCommonEncodings();
    }

    // Terminals and multiplexers often send other sequences than the ones
    // terminfo describes for TERM (PuTTY and tmux send ESC[1~ for Home under
    // TERM=xterm): every usual encoding is taught to curses as well, so that
    // none of them falls apart into Esc and stray characters.
    void learnCommonEncodings() {
        struct Encoding {
            const char* sequence;
            int key;
        };
        static const Encoding kEncodings[] = {
            // Home, End: VT220 / PuTTY / tmux, rxvt, xterm in both cursor modes.
            {"\033[1~", keys::Home},
            {"\033[7~", keys::Home},
            {"\033[H", keys::Home},
            {"\033OH", keys::Home},
            {"\033[4~", keys::End},
            {"\033[8~", keys::End},
            {"\033[F", keys::End},
            {"\033OF", keys::End},
            {"\033[2~", keys::Ins},
            {"\033[3~", keys::Del},
            {"\033[5~", keys::PgUp},
            {"\033[6~", keys::PgDn},
            // Arrows in normal and application cursor mode.
            {"\033[A", keys::Up},
            {"\033[B", keys::Down},
            {"\033[C", keys::Right},
            {"\033[D", keys::Left},
            {"\033OA", keys::Up},
            {"\033OB", keys::Down},
            {"\033OC", keys::Right},
            {"\033OD", keys::Left},
            {"\033OM", keys::Enter},
            // Ctrl with the arrows and Home/End: xterm and rxvt.
            {"\033[1;5A", keys::CtrlUp},
            {"\033[1;5B", keys::CtrlDown},
            {"\033[1;5C", keys::CtrlRight},
            {"\033[1;5D", keys::CtrlLeft},
            {"\033[1;5H", keys::CtrlHome},
            {"\033[1;5F", keys::CtrlEnd},
            {"\033[5;5~", keys::CtrlPgUp},
            {"\033[6;5~", keys::CtrlPgDn},
            {"\033Oa", keys::CtrlUp},
            {"\033Ob", keys::CtrlDown},
            {"\033Oc", keys::CtrlRight},
            {"\033Od", keys::CtrlLeft},
            {"\033[7^", keys::CtrlHome},
            {"\033[8^", keys::CtrlEnd},
            {"\033[5^", keys::CtrlPgUp},
            {"\033[6^", keys::CtrlPgDn},
            {"\033[Z", keys::ShiftTab},
            // F1-F12: xterm, VT220 / PuTTY / rxvt, Linux console.
            {"\033OP", keys::function(1)},
            {"\033OQ", keys::function(2)},
            {"\033OR", keys::function(3)},
            {"\033OS", keys::function(4)},
            {"\033[11~", keys::function(1)},
            {"\033[12~", keys::function(2)},
            {"\033[13~", keys::function(3)},
            {"\033[14~", keys::function(4)},
            {"\033[15~", keys::function(5)},
            {"\033[17~", keys::function(6)},
            {"\033[18~", keys::function(7)},
            {"\033[19~", keys::function(8)},
            {"\033[20~", keys::function(9)},
            {"\033[21~", keys::function(10)},
            {"\033[23~", keys::function(11)},
            {"\033[24~", keys::function(12)},
            {"\033[[A", keys::function(1)},
            {"\033[[B", keys::function(2)},
            {"\033[[C", keys::function(3)},
            {"\033[[D", keys::function(4)},
            {"\033[[E", keys::function(5)},
        };
        int code = kFirstPrivateKeyCode;
        for (const Encoding& encoding : kEncodings) {
            // One terminfo already decodes keeps its meaning; one that would
            // clash with a longer known sequence is left to the CSI skipper.
            if (key_defined(encoding.sequence) != 0) continue;
            if (define_key(encoding.sequence, code) == OK) extended_[code++] = encoding.key;
        }
    }

    Event keyEvent(int key) {
        Event event{EventKind::Key};
        event.key = key;
        return event;
    }

    Event specialKey(int code) {
        switch (code) {
            case KEY_RESIZE: {
                if (!sizeIsEnough()) {
                    tooSmall_ = true;
                    showSizeMessage();
                    return Event{EventKind::Timeout};
                }
                tooSmall_ = false;
                forceAll_ = true;
                return Event{EventKind::Resize};
            }
            case KEY_MOUSE: {
                MEVENT mouse{};
                if (getmouse(&mouse) != OK) return Event{EventKind::Timeout};
                Event event{EventKind::Click};
                if (mouse.bstate & (BUTTON1_PRESSED | BUTTON1_CLICKED))
                    event.key = keys::LeftClick;
                else if (mouse.bstate & (BUTTON3_PRESSED | BUTTON3_CLICKED))
                    event.key = keys::RightClick;
                else
                    return Event{EventKind::Timeout};
                if (mouse.y >= kScreenRows || mouse.x >= kScreenCols)
                    return Event{EventKind::Timeout};
                event.row = mouse.y;
                event.col = mouse.x;
                return event;
            }
            case KEY_UP:
                return keyEvent(keys::Up);
            case KEY_DOWN:
                return keyEvent(keys::Down);
            case KEY_LEFT:
                return keyEvent(keys::Left);
            case KEY_RIGHT:
                return keyEvent(keys::Right);
            case KEY_HOME:
                return keyEvent(keys::Home);
            case KEY_END:
                return keyEvent(keys::End);
            case KEY_PPAGE:
                return keyEvent(keys::PgUp);
            case KEY_NPAGE:
                return keyEvent(keys::PgDn);
            case KEY_IC:
                return keyEvent(keys::Ins);
            case KEY_DC:
                return keyEvent(keys::Del);
            case KEY_BACKSPACE:
                return keyEvent(keys::Backspace);
            case KEY_BTAB:
                return keyEvent(keys::ShiftTab);
            case KEY_ENTER:
                return keyEvent(keys::Enter);
            // Keypad keys in application mode.
            case KEY_A1:
                return keyEvent(keys::Home);
            case KEY_A3:
                return keyEvent(keys::PgUp);
            case KEY_C1:
                return keyEvent(keys::End);
            case KEY_C3:
                return keyEvent(keys::PgDn);
            default:
                break;
        }
        if (code >= KEY_F(1) && code <= KEY_F(12)) return keyEvent(keys::function(code - KEY_F(0)));
        if (code >= KEY_F(13) && code <= KEY_F(24))
            return keyEvent(keys::shiftFunction(code - KEY_F(12)));
        if (code >= KEY_F(25) && code <= KEY_F(36))
            return keyEvent(keys::ctrlFunction(code - KEY_F(24)));
        if (code >= KEY_F(49) && code <= KEY_F(60))
            return keyEvent(keys::altFunction(code - KEY_F(48)));
        if (auto it = extended_.find(code); it != extended_.end()) return keyEvent(it->second);
        return keyEvent(0);
    }

    Event characterKey(wchar_t ch) {
        switch (ch) {
            case 27:
                return escapeOrAlt();
            case 8:
            case 127:
                return keyEvent(keys::Backspace);
            case 9:
                return keyEvent(keys::Tab);
            case 13:
                return keyEvent(keys::Enter);
            case 10:
                return keyEvent(keys::CtrlEnter);
            default:
                break;
        }
        if (ch >= 1 && ch <= 26) return keyEvent(keys::ctrl(static_cast<char>('A' + ch - 1)));
        if (ch < 32) return keyEvent(0);
        const auto byte = base::cp850::fromUnicode(static_cast<char32_t>(ch));
        if (!byte || *byte < 32) return keyEvent(0);
        return keyEvent(*byte);
    }

    // Alt+key arrives as Esc followed at once by the key; a control sequence
    // that curses did not decode arrives as Esc followed at once by "[" or
    // "O" and the rest of it. Only an Esc with nothing after it is Esc.
    Event escapeOrAlt() {
        wint_t next = 0;
        const int rc = readSoon(next, kAltWaitMs);
        if (rc == ERR) return keyEvent(keys::Esc);
        if (rc == KEY_CODE_YES) {
            if (next >= KEY_F(1) && next <= KEY_F(12))
                return keyEvent(keys::altFunction(static_cast<int>(next) - KEY_F(0)));
            // Alt with another key the program does not know: the key alone.
            ungetch(static_cast<int>(next));
            return keyEvent(keys::None);
        }
        if (next == '[') return skipControlSequence();
        if (next == 'O') {
            wint_t final = 0;
            // SS3 and one final character; Alt+O when nothing follows.
            if (readSoon(final, kSequenceGapMs) == ERR) return keyEvent(keys::alt('O'));
            return keyEvent(keys::None);
        }
        if (next < 128) {
            const int key = keys::alt(static_cast<char>(next));
            if (key != keys::None) return keyEvent(key);
        }
        return keyEvent(keys::None);  // an Alt combination the program has no use for
    }

    // Reads the rest of a CSI sequence: a bracketed paste becomes one Paste
    // key with its text; any other sequence curses did not decode is dropped.
    Event skipControlSequence() {
        std::string parameters;
        for (int count = 0; count < 32; ++count) {
            wint_t ch = 0;
            const int rc = readSoon(ch, kSequenceGapMs);
            if (rc != OK) break;             // cut short, or a key code: the sequence is over
            if (ch >= 0x40 && ch <= 0x7E) {  // the final byte
                if (ch == '~' && parameters == "200") return pastedText();
                break;
            }
            if (ch < 0x20 || ch > 0x3F) {
                unget_wch(static_cast<wchar_t>(ch));
                break;
            }
            parameters += static_cast<char>(ch);
        }
        return keyEvent(keys::None);
    }

    // The text between ESC[200~ and ESC[201~, in CP850; line ends become
    // blanks, other control characters and unknown characters are dropped.
    Event pastedText() {
        static constexpr std::wstring_view kEnd = L"\033[201~";
        std::wstring text;
        for (;;) {
            wint_t ch = 0;
            const int rc = readSoon(ch, kPasteGapMs);
            if (rc == ERR) break;  // the end marker never came
            if (rc == KEY_CODE_YES) continue;
            text.push_back(static_cast<wchar_t>(ch));
            if (text.size() >= kEnd.size() &&
                std::wstring_view(text).substr(text.size() - kEnd.size()) == kEnd) {
                text.resize(text.size() - kEnd.size());
                break;
            }
        }
        Event event = keyEvent(keys::Paste);
        for (wchar_t ch : text) {
            if (ch == L'\r' || ch == L'\n' || ch == L'\t') ch = L' ';
            const auto byte = base::cp850::fromUnicode(static_cast<char32_t>(ch));
            if (byte && *byte >= 32) event.text += static_cast<char>(*byte);
        }
        return event;
    }

    int readSoon(wint_t& ch, int timeoutMs) {
        wtimeout(stdscr, timeoutMs);
        return wget_wch(stdscr, &ch);
    }

    // A terminal sends a whole sequence in one write, so its bytes follow one
    // another within a few milliseconds; a person's next key never does.
    static constexpr int kAltWaitMs = 30;
    static constexpr int kSequenceGapMs = 15;
    static constexpr int kPasteGapMs = 200;

    int pairFor(int fg, int bg) {
        const int index = bg * 16 + fg;
        if (pairs_[index] != 0) return pairs_[index];
        const int pair = alloc_pair(fg, bg);
        pairs_[index] = pair > 0 ? pair : -1;
        return pairs_[index];
    }

    void drawCell(int row, int col, Cell cell) {
        int fg = cell.attr & 0x0F;
        int bg = (cell.attr >> 4) & 0x0F;
        attr_t attrs = A_NORMAL;
        int pair = 0;
        if (colors_ >= 16) {
            pair = pairFor(kCursesColor[fg & 7] + (fg & 8), kCursesColor[bg & 7] + (bg & 8));
        } else if (colors_ >= 8) {
            if (fg & 8) attrs |= A_BOLD;
            pair = pairFor(kCursesColor[fg & 7], kCursesColor[bg & 7]);
        } else if (bg != 0) {
            attrs |= A_REVERSE;
        }
        if (pair < 0) pair = 0;
        wchar_t text[2] = {glyph(cell.ch), 0};
        cchar_t out;
        setcchar(&out, text, attrs, 0, &pair);
        if (!utf8_ && !representable(text[0])) {
            const cchar_t* line = lineDrawing(cell.ch);
            if (line) {
                wchar_t none[CCHARW_MAX + 1] = {};
                attr_t lineAttrs = 0;
                short ignored = 0;
                getcchar(line, none, &lineAttrs, &ignored, nullptr);
                setcchar(&out, none, attrs | (lineAttrs & A_ALTCHARSET), 0, &pair);
            } else {
                wchar_t question[2] = {L'?', 0};
                setcchar(&out, question, attrs, 0, &pair);
            }
        }
        mvwadd_wch(stdscr, row, col, &out);
    }

    static wchar_t glyph(uint8_t byte) {
        if (byte == 0) return L' ';
        return static_cast<wchar_t>(base::cp850::toUnicode(byte));
    }

    static bool representable(wchar_t ch) {
        if (ch < 128) return true;
        char buffer[MB_LEN_MAX];
        std::mbstate_t state{};
        return std::wcrtomb(buffer, ch, &state) != static_cast<size_t>(-1);
    }

    // Box and block characters of CP850 on terminals that cannot show them as text.
    static const cchar_t* lineDrawing(uint8_t byte) {
        switch (byte) {
            case 0xC4:
            case 0xCD:
                return WACS_HLINE;
            case 0xB3:
            case 0xBA:
                return WACS_VLINE;
            case 0xDA:
            case 0xC9:
                return WACS_ULCORNER;
            case 0xBF:
            case 0xBB:
                return WACS_URCORNER;
            case 0xC0:
            case 0xC8:
                return WACS_LLCORNER;
            case 0xD9:
            case 0xBC:
                return WACS_LRCORNER;
            case 0xC3:
            case 0xCC:
                return WACS_LTEE;
            case 0xB4:
            case 0xB9:
                return WACS_RTEE;
            case 0xC2:
            case 0xCB:
                return WACS_TTEE;
            case 0xC1:
            case 0xCA:
                return WACS_BTEE;
            case 0xC5:
            case 0xCE:
                return WACS_PLUS;
            case 0xB0:
            case 0xB1:
            case 0xB2:
                return WACS_CKBOARD;
            case 0xDB:
                return WACS_BLOCK;
            default:
                return nullptr;
        }
    }

    SCREEN* screen_term_ = nullptr;
    std::FILE* input_ = nullptr;
    std::FILE* output_ = nullptr;
    bool utf8_ = true;
    int colors_ = 0;
    std::array<int, 256> pairs_{};
    Grid shown_;
    bool forceAll_ = true;
    bool tooSmall_ = false;
    bool paletteChanged_ = false;
    std::map<int, int> extended_;
};

}  // namespace

std::unique_ptr<Console> openTerminalConsole() {
    return openTerminalConsole(STDIN_FILENO, STDOUT_FILENO);
}

std::unique_ptr<Console> openTerminalConsole(int inputFd, int outputFd) {
    return std::make_unique<TerminalConsole>(inputFd, outputFd);
}

}  // namespace kdx2::platform
