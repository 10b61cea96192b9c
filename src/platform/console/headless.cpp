#include <cctype>
#include <charconv>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <deque>
#include <exception>
#include <fstream>
#include <iostream>
#include <sstream>

#include "base/cp850.h"
#include "base/error.h"
#include "base/text.h"
#include "platform/console/console.h"

namespace kdx2::platform {

namespace {

enum class Op { Key, Type, Paste, Menu, Click, Snap, Expect, Wait };

struct Line {
    Op op = Op::Key;
    int number = 0;                 // 1-based line of the script
    int key = 0;                    // Key
    std::string text;               // Type, Expect (CP850); Snap (path)
    int command = 0;                // Menu by number
    std::vector<std::string> path;  // Menu by prompts (CP850)
    int row = 0;
    int col = 0;
    int64_t waitMs = 0;
};

// A line the script cannot run; the message is UTF-8 for standard error.
struct ScriptError {
    std::string message;
};

std::string lineError(int number, const std::string& what) {
    return "roteiro, linha " + std::to_string(number) + ": " + what;
}

bool parseInt(std::string_view text, int& out) {
    const std::string trimmed = base::alltrim(text);
    if (trimmed.empty()) return false;
    const char* last = trimmed.data() + trimmed.size();
    auto [end, ec] = std::from_chars(trimmed.data(), last, out);
    return ec == std::errc() && end == last;
}

// `key x`: one character (UTF-8) names its own key.
std::optional<int> singleCharacter(const std::string& utf8) {
    size_t pos = 0;
    if (utf8.empty()) return std::nullopt;
    const char32_t ch = base::cp850::decodeUtf8(utf8, pos);
    if (pos != utf8.size()) return std::nullopt;
    const auto byte = base::cp850::fromUnicode(ch);
    if (!byte || !keys::isCharacter(*byte)) return std::nullopt;
    return *byte;
}

// Parses the whole script first, so that a bad line stops the run before the
// program acts on any of it.
std::vector<Line> parseScript(std::string_view script) {
    std::vector<Line> lines;
    int number = 0;
    size_t start = 0;
    while (start <= script.size()) {
        size_t end = script.find('\n', start);
        if (end == std::string_view::npos) end = script.size();
        std::string raw(script.substr(start, end - start));
        start = end + 1;
        ++number;
        if (!raw.empty() && raw.back() == '\r') raw.pop_back();
        const std::string trimmed = base::ltrim(raw);
        if (trimmed.empty() || trimmed[0] == '#') {
            if (end == script.size()) break;
            continue;
        }
        const size_t space = trimmed.find(' ');
        const std::string word = trimmed.substr(0, space);
        // The argument keeps its blanks for type/expect: only the one separator goes.
        const std::string arg =
            space == std::string::npos ? std::string() : trimmed.substr(space + 1);
        Line line;
        line.number = number;
        if (word == "key") {
            auto key = keys::fromName(base::alltrim(arg));
            if (!key) key = singleCharacter(base::alltrim(arg));
            if (!key)
                throw ScriptError(
                    lineError(number, "tecla desconhecida \"" + base::alltrim(arg) + "\""));
            line.op = Op::Key;
            line.key = *key;
        } else if (word == "type") {
            line.op = Op::Type;
            line.text = base::cp850::fromUtf8(arg);
        } else if (word == "paste") {
            line.op = Op::Paste;
            line.text = base::cp850::fromUtf8(arg);
        } else if (word == "menu") {
            line.op = Op::Menu;
            const std::string what = base::alltrim(arg);
            if (what.empty()) throw ScriptError(lineError(number, "menu sem item"));
            if (!parseInt(what, line.command)) {
                line.command = 0;
                size_t from = 0;
                while (from <= what.size()) {
                    size_t to = what.find('>', from);
                    if (to == std::string::npos) to = what.size();
                    std::string prompt =
                        base::alltrim(std::string_view(what).substr(from, to - from));
                    if (prompt.empty())
                        throw ScriptError(lineError(number, "caminho de menu com item vazio"));
                    line.path.push_back(base::cp850::fromUtf8(prompt));
                    from = to + 1;
                }
            }
        } else if (word == "click") {
            line.op = Op::Click;
            std::istringstream in(arg);
            std::string r, c, extra;
            in >> r >> c >> extra;
            if (!parseInt(r, line.row) || !parseInt(c, line.col) || !extra.empty() ||
                line.row < 0 || line.row >= kScreenRows || line.col < 0 || line.col >= kScreenCols)
                throw ScriptError(
                    lineError(number, "click precisa de LINHA (0-26) e COLUNA (0-79)"));
        } else if (word == "snap") {
            line.op = Op::Snap;
            line.text = base::alltrim(arg);
            if (line.text.empty()) throw ScriptError(lineError(number, "snap sem nome de arquivo"));
        } else if (word == "expect") {
            line.op = Op::Expect;
            line.text = base::cp850::fromUtf8(arg);
            if (line.text.empty()) throw ScriptError(lineError(number, "expect sem texto"));
        } else if (word == "wait") {
            line.op = Op::Wait;
            const std::string what = base::alltrim(arg);
            char* endp = nullptr;
            const double seconds = std::strtod(what.c_str(), &endp);
            if (what.empty() || *endp != '\0' || !(seconds >= 0) || seconds > 86400)
                throw ScriptError(lineError(number, "wait precisa de segundos"));
            line.waitMs = static_cast<int64_t>(seconds * 1000 + 0.5);
        } else {
            throw ScriptError(lineError(number, "comando desconhecido \"" + word + "\""));
        }
        lines.push_back(std::move(line));
        if (end == script.size()) break;
    }
    return lines;
}

class HeadlessConsole final : public Console {
  public:
    HeadlessConsole(std::string_view script, HeadlessEnd end) : end_(end) {
        try {
            lines_ = parseScript(script);
        } catch (const ScriptError& error) {
            stop(2, error.message, false);
        }
    }

    ~HeadlessConsole() override {
        // Inside one process (tests, benchmarks) the caller reads the screen itself.
        if (!finished_ && end_ == HeadlessEnd::Report) {
            // The program ended before the script did: the screen still goes out.
            std::fputs(screen_.toUtf8().c_str(), stdout);
            std::fflush(stdout);
            if (next_ < lines_.size())
                std::fprintf(stderr, "roteiro: o programa terminou antes da linha %d\n",
                             lines_[next_].number);
        }
    }

    void present() override {}
    bool isHeadless() const override { return true; }
    int64_t nowMs() const override { return clock_; }
    LocalTime localTime() const override {
        return localTimeAt(started_ + static_cast<std::time_t>(clock_ / 1000));
    }

    void rejectEvent(const Event& event, std::string_view reason) override {
        stop(2, lineError(event.line, base::cp850::toUtf8(reason)), true);
    }

    Event nextEvent(int timeoutMs) override {
        if (finished_) {
            // Something waits for input while the program unwinds from the
            // end of the run: Esc lets a prompt close, a second throw would
            // end the process at once.
            if (std::uncaught_exceptions() > 0) return escape();
            throw stop_;
        }
        if (!typed_.empty()) {
            Event event{EventKind::Key};
            event.key = typed_.front();
            event.line = typedLine_;
            typed_.pop_front();
            return event;
        }
        if (clock_ < waitUntil_) {
            if (timeoutMs >= 0 && clock_ + timeoutMs < waitUntil_) {
                clock_ += timeoutMs;
                return Event{EventKind::Timeout};
            }
            clock_ = waitUntil_;
            if (timeoutMs >= 0) return Event{EventKind::Timeout};
        }
        while (next_ < lines_.size()) {
            const Line& line = lines_[next_++];
            Event event;
            event.line = line.number;
            switch (line.op) {
                case Op::Key:
                    event.kind = EventKind::Key;
                    event.key = line.key;
                    return event;
                case Op::Type:
                    for (char ch : line.text)
                        typed_.push_back(static_cast<uint8_t>(ch));
                    typedLine_ = line.number;
                    if (typed_.empty()) continue;
                    event.kind = EventKind::Key;
                    event.key = typed_.front();
                    typed_.pop_front();
                    return event;
                case Op::Paste:
                    event.kind = EventKind::Key;
                    event.key = keys::Paste;
                    event.text = line.text;
                    return event;
                case Op::Menu:
                    event.kind = EventKind::Menu;
                    event.command = line.command;
                    event.path = line.path;
                    return event;
                case Op::Click:
                    event.kind = EventKind::Click;
                    event.key = keys::LeftClick;
                    event.row = line.row;
                    event.col = line.col;
                    return event;
                case Op::Snap:
                    snap(line);
                    continue;
                case Op::Expect:
                    expect(line);
                    continue;
                case Op::Wait:
                    waitUntil_ = clock_ + line.waitMs;
                    return nextEvent(timeoutMs);
            }
        }
        stop(0, {}, false);
        return Event{};  // not reached
    }

  private:
    void snap(const Line& line) {
        std::ofstream out(line.text, std::ios::binary | std::ios::trunc);
        out << screen_.toUtf8();
        if (!out) stop(2, lineError(line.number, "não foi possível gravar " + line.text), true);
    }

    void expect(const Line& line) {
        for (int row = 0; row < screen_.rows(); ++row)
            if (screen_.rowText(row).find(line.text) != std::string::npos) return;
        stop(2,
             lineError(line.number,
                       "o texto \"" + base::cp850::toUtf8(line.text) + "\" não está na tela"),
             true);
    }

    static Event escape() {
        Event event{EventKind::Key};
        event.key = keys::Esc;
        return event;
    }

    [[noreturn]] void stop(int code, const std::string& message, bool showScreen) {
        finished_ = true;
        stop_ = HeadlessStop{code, message};
        if (end_ == HeadlessEnd::Report) {
            if (code == 0) {
                std::fputs(screen_.toUtf8().c_str(), stdout);
            } else {
                std::fprintf(stderr, "%s\n", message.c_str());
                if (showScreen) std::fputs(screen_.toUtf8().c_str(), stderr);
            }
            std::fflush(stdout);
            std::fflush(stderr);
        }
        throw stop_;
    }

    HeadlessEnd end_;
    std::vector<Line> lines_;
    size_t next_ = 0;
    std::deque<int> typed_;
    int typedLine_ = 0;
    int64_t clock_ = 0;
    int64_t waitUntil_ = 0;
    const std::time_t started_ = std::time(nullptr);
    bool finished_ = false;
    HeadlessStop stop_;
};

}  // namespace

std::unique_ptr<Console> openHeadlessConsole(const std::string& scriptPath, HeadlessEnd end) {
    std::string script;
    if (scriptPath == "-") {
        std::ostringstream all;
        all << std::cin.rdbuf();
        script = all.str();
    } else {
        std::ifstream in(scriptPath, std::ios::binary);
        if (!in) {
            const std::string message = "roteiro: não foi possível ler " + scriptPath;
            if (end == HeadlessEnd::Report) std::fprintf(stderr, "%s\n", message.c_str());
            throw HeadlessStop{2, message};
        }
        std::ostringstream all;
        all << in.rdbuf();
        script = all.str();
    }
    return std::make_unique<HeadlessConsole>(script, end);
}

std::unique_ptr<Console> headlessConsoleFromText(std::string_view script, HeadlessEnd end) {
    return std::make_unique<HeadlessConsole>(script, end);
}

}  // namespace kdx2::platform
