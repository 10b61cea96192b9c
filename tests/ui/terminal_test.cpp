// The terminal console: on a pseudo-terminal inside this process (what it
// sends, how it reads keys, how it leaves the terminal), and end to end in
// tmux with the demo program.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>

#include "base/error.h"
#include "platform/console/console.h"
#include "platform/console/keys.h"
#include "support/child_process.h"

using namespace kdx2::platform;
using namespace std::chrono_literals;

namespace {

// ---- A pseudo-terminal of 27 x 80 -----------------------------------------------

class Pty {
  public:
    Pty(int rows, int cols) {
        master_ = posix_openpt(O_RDWR | O_NOCTTY);
        if (master_ < 0 || grantpt(master_) != 0 || unlockpt(master_) != 0) return;
        slave_ = ::open(ptsname(master_), O_RDWR | O_NOCTTY);
        struct winsize size {};
        size.ws_row = static_cast<unsigned short>(rows);
        size.ws_col = static_cast<unsigned short>(cols);
        ::ioctl(master_, TIOCSWINSZ, &size);
        ::fcntl(master_, F_SETFL, O_NONBLOCK);
    }
    ~Pty() {
        if (slave_ >= 0) ::close(slave_);
        if (master_ >= 0) ::close(master_);
    }
    bool ok() const { return master_ >= 0 && slave_ >= 0; }
    int slave() const { return slave_; }
    // Everything the program sent since the last call.
    std::string drain() {
        std::string out;
        char buffer[4096];
        for (;;) {
            const ssize_t n = ::read(master_, buffer, sizeof buffer);
            if (n <= 0) break;
            out.append(buffer, static_cast<size_t>(n));
        }
        return out;
    }
    void type(std::string_view bytes) {
        ASSERT_EQ(::write(master_, bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
    }
    bool canonical() const {
        struct termios modes {};
        ::tcgetattr(slave_, &modes);
        return (modes.c_lflag & ICANON) != 0;
    }

  private:
    int master_ = -1;
    int slave_ = -1;
};

struct TermEnv {
    TermEnv() {
        ::setenv("TERM", "xterm-256color", 1);
        ::setenv("LANG", "C.UTF-8", 1);
    }
};

}  // namespace

TEST(TerminalConsole, SendsOnlyTheCellsThatChanged) {
    TermEnv env;
    Pty pty(27, 80);
    ASSERT_TRUE(pty.ok());
    auto console = openTerminalConsole(pty.slave(), pty.slave());
    for (int row = 0; row < kScreenRows; ++row)
        console->screen().write(row, 0, std::string(kScreenCols, 'a' + row % 26), 0x17);
    console->screen().write(5, 10, "Declara\x87\xC6o", 0x1F);  // CP850
    console->present();
    const std::string first = pty.drain();
    EXPECT_NE(first.find("Declara\xC3\xA7\xC3\xA3o"), std::string::npos);  // shown as UTF-8
    console->present();
    const std::string nothing = pty.drain();
    console->screen().put(20, 40, Cell{'Z', 0x07});
    console->present();
    const std::string one = pty.drain();
    EXPECT_LT(nothing.size(), 24u) << "an unchanged screen was sent again";
    EXPECT_NE(one.find('Z'), std::string::npos);
    // A move, the colours, the character and the attribute reset at the end.
    EXPECT_LT(one.size(), 64u) << "more than the one changed cell was sent";
    EXPECT_GT(first.size(), static_cast<size_t>(kScreenRows * kScreenCols));
}

TEST(TerminalConsole, DecodesFunctionAltAndCtrlKeys) {
    TermEnv env;
    Pty pty(27, 80);
    ASSERT_TRUE(pty.ok());
    auto console = openTerminalConsole(pty.slave(), pty.slave());
    pty.drain();
    auto next = [&] { return console->nextEvent(2000); };
    pty.type("\x1bOP");  // F1
    EXPECT_EQ(next().key, keys::F1);
    pty.type("\x1b[21~");  // F10
    EXPECT_EQ(next().key, keys::function(10));
    pty.type("\x1bi");  // Alt+I
    EXPECT_EQ(next().key, keys::alt('I'));
    pty.type("\x19");  // Ctrl+Y
    EXPECT_EQ(next().key, keys::CtrlY);
    pty.type("\x1b[Z");  // Shift+Tab
    EXPECT_EQ(next().key, keys::ShiftTab);
    pty.type("\xC3\xA7");  // ç, typed as UTF-8, read as CP850
    EXPECT_EQ(next().key, 0x87);
    pty.type("\x1b[<0;1;1M");  // a left press at column 1, row 1 (SGR mouse report)
    const Event click = next();
    EXPECT_EQ(click.kind, EventKind::Click);
    EXPECT_EQ(click.key, keys::LeftClick);
    EXPECT_EQ(click.row, 0);
    EXPECT_EQ(click.col, 0);
    pty.type("\x1b");  // Esc alone, after the Alt wait
    EXPECT_EQ(next().key, keys::Esc);
    EXPECT_EQ(console->nextEvent(50).kind, EventKind::Timeout);
}

// What PuTTY, tmux, rxvt, the Linux console and xterm in either cursor mode
// send for the navigation and function keys, whatever TERM says.
TEST(TerminalConsole, ReadsEveryCommonEncodingOfTheNavigationAndFunctionKeys) {
    const std::pair<const char*, int> encodings[] = {
        {"\x1b[1~", keys::Home},
        {"\x1b[7~", keys::Home},
        {"\x1b[H", keys::Home},
        {"\x1bOH", keys::Home},
        {"\x1b[4~", keys::End},
        {"\x1b[8~", keys::End},
        {"\x1b[F", keys::End},
        {"\x1bOF", keys::End},
        {"\x1b[2~", keys::Ins},
        {"\x1b[3~", keys::Del},
        {"\x1b[5~", keys::PgUp},
        {"\x1b[6~", keys::PgDn},
        {"\x1b[A", keys::Up},
        {"\x1bOB", keys::Down},
        {"\x1b[C", keys::Right},
        {"\x1bOD", keys::Left},
        {"\x1b[1;5D", keys::CtrlLeft},
        {"\x1bOc", keys::CtrlRight},
        {"\x1bOP", keys::function(1)},
        {"\x1bOS", keys::function(4)},
        {"\x1b[11~", keys::function(1)},
        {"\x1b[14~", keys::function(4)},
        {"\x1b[15~", keys::function(5)},
        {"\x1b[17~", keys::function(6)},
        {"\x1b[20~", keys::function(9)},
        {"\x1b[21~", keys::function(10)},
        {"\x1b[23~", keys::function(11)},
        {"\x1b[24~", keys::function(12)},
        {"\x1b[[A", keys::function(1)},
        {"\x1b[[E", keys::function(5)},
    };
    for (const char* term : {"xterm", "xterm-256color", "screen", "linux"}) {
        TermEnv env;
        ::setenv("TERM", term, 1);
        Pty pty(27, 80);
        ASSERT_TRUE(pty.ok());
        auto console = openTerminalConsole(pty.slave(), pty.slave());
        pty.drain();
        for (const auto& [sequence, key] : encodings) {
            pty.type(sequence);
            const Event event = console->nextEvent(2000);
            EXPECT_EQ(event.key, key) << "TERM=" << term << ", sequence ESC" << sequence + 1
                                      << " read as " << keys::name(event.key);
        }
        EXPECT_EQ(console->nextEvent(100).kind, EventKind::Timeout) << "TERM=" << term;
    }
}

TEST(TerminalConsole, UnknownEscapeSequencesAreIgnoredNotReadAsEsc) {
    TermEnv env;
    Pty pty(27, 80);
    ASSERT_TRUE(pty.ok());
    auto console = openTerminalConsole(pty.slave(), pty.slave());
    pty.drain();
    // Shift+Up, a focus report, a made-up SS3 key, Alt+Up of rxvt; then a
    // plain letter shows what comes next is read whole.
    for (const char* sequence : {"\x1b[1;2A", "\x1b[I", "\x1bOx", "\x1b[99;99~"}) {
        pty.type(sequence);
        pty.type("k");
        const Event event = console->nextEvent(2000);
        EXPECT_EQ(event.key, 'k') << "ESC" << sequence + 1 << " gave " << keys::name(event.key);
    }
    pty.type("\x1b\x1b[A");  // Alt+Up (rxvt): the arrow, never Esc
    EXPECT_EQ(console->nextEvent(2000).key, keys::Up);
    pty.type("\x1bO");  // Alt+O: a key of its own
    EXPECT_EQ(console->nextEvent(2000).key, keys::alt('O'));
    pty.type("\x1b");
    EXPECT_EQ(console->nextEvent(2000).key, keys::Esc);
    EXPECT_EQ(console->nextEvent(100).kind, EventKind::Timeout);
}

// A paste arrives bracketed and becomes one Paste key with its text, so a
// form can cut it at the field's end instead of typing it on into the next.
TEST(TerminalConsole, BracketedPasteIsOneKeyWithItsText) {
    TermEnv env;
    Pty pty(27, 80);
    ASSERT_TRUE(pty.ok());
    auto console = openTerminalConsole(pty.slave(), pty.slave());
    EXPECT_NE(pty.drain().find("\x1b[?2004h"), std::string::npos)
        << "bracketed paste not asked for";
    pty.type("\x1b[200~ALUGUEL DE SALA \xC3\xA7\xC3\xA3o\r\n123\x1b[201~k");
    const Event paste = console->nextEvent(2000);
    EXPECT_EQ(paste.key, keys::Paste);
    EXPECT_EQ(paste.text, "ALUGUEL DE SALA \x87\xC6o  123");  // CP850, line ends as blanks
    EXPECT_EQ(console->nextEvent(2000).key, 'k');
}

TEST(TerminalConsole, LeavesTheTerminalAsItFoundIt) {
    TermEnv env;
    Pty pty(27, 80);
    ASSERT_TRUE(pty.ok());
    ASSERT_TRUE(pty.canonical());
    {
        auto console = openTerminalConsole(pty.slave(), pty.slave());
        EXPECT_FALSE(pty.canonical());
    }
    EXPECT_TRUE(pty.canonical());
}

TEST(TerminalConsole, RefusesATerminalSmallerThan80By27) {
    TermEnv env;
    Pty pty(24, 80);
    ASSERT_TRUE(pty.ok());
    try {
        openTerminalConsole(pty.slave(), pty.slave());
        FAIL() << "a 24-row terminal was accepted";
    } catch (const kdx2::base::Error& error) {
        EXPECT_NE(std::string(error.what()).find("27 linhas"), std::string::npos) << error.what();
    }
    EXPECT_TRUE(pty.canonical());
}

// ---- End to end in tmux ---------------------------------------------------------------

namespace {

std::string run(const std::string& command) {
    return kdx2::test_support::runCommand(command);
}

class Tmux {
  public:
    // Runs a shell script in a new tmux session of cols x rows.
    explicit Tmux(const std::string& script, int cols = 80, int rows = 27) {
        socket_ = "kdx2-ui-" + std::to_string(::getpid()) + "-" + std::to_string(++count_);
        scriptPath_ = ::testing::TempDir() + socket_ + ".sh";
        std::ofstream(scriptPath_) << "export TERM=tmux-256color LANG=C.UTF-8\n" << script << "\n";
        started_ = std::system(("tmux -L " + socket_ + " -f /dev/null new-session -d -s t -x " +
                                std::to_string(cols) + " -y " + std::to_string(rows) + " 'sh " +
                                scriptPath_ + "'")
                                   .c_str()) == 0;
    }
    ~Tmux() {
        std::system(("tmux -L " + socket_ + " kill-server 2>/dev/null").c_str());
        std::remove(scriptPath_.c_str());
    }
    bool started() const { return started_; }
    // The pane's text, wrapped lines joined.
    std::string pane() { return run("tmux -L " + socket_ + " capture-pane -p -J -t t"); }
    void keys(const std::string& keys) {
        std::system(("tmux -L " + socket_ + " send-keys -t t " + keys).c_str());
        std::this_thread::sleep_for(150ms);
    }
    // Waits up to five seconds for the text on the pane.
    bool waitFor(const std::string& text) {
        for (int i = 0; i < 100; ++i) {
            if (pane().find(text) != std::string::npos) return true;
            std::this_thread::sleep_for(50ms);
        }
        return false;
    }

  private:
    static inline int count_ = 0;
    std::string socket_;
    std::string scriptPath_;
    bool started_ = false;
};

bool haveTmux() {
    return std::system("tmux -V >/dev/null 2>&1") == 0;
}

const std::string kDemo = std::string(KDX2_TEST_PROGRAMS) + "/ui_demo";
// After the program: its exit status and whether the terminal is back in
// canonical mode with echo, then a pause so that the pane can be read.
const std::string kAfter =
    "echo FIM $?\n"
    "stty -a | tr -s ' ;' '\\n\\n' | grep -x -e icanon -e -icanon -e echo -e -echo\n"
    "sleep 30\n";

}  // namespace

TEST(TerminalInTmux, MenuFormAndMessageBoxOnARealTerminal) {
    if (!haveTmux()) GTEST_SKIP() << "tmux is not installed (scripts/setup.sh installs it)";
    Tmux tmux(kDemo + "\n" + kAfter);
    ASSERT_TRUE(tmux.started());
    ASSERT_TRUE(tmux.waitFor("Programa de demonstração")) << tmux.pane();
    EXPECT_NE(tmux.pane().find("Pronto"), std::string::npos);  // the status bar, bottom row
    tmux.keys("F10 Enter");                                    // the bar, then the first drop-down
    ASSERT_TRUE(tmux.waitFor("Formulário")) << tmux.pane();
    tmux.keys("Escape");
    tmux.keys("M-f");
    ASSERT_TRUE(tmux.waitFor("Cadastro")) << tmux.pane();
    tmux.keys("maria Enter");
    tmux.keys("123456789 Enter");  // two digits short: refused
    ASSERT_TRUE(tmux.waitFor("CPF deve ter 11")) << tmux.pane();
    tmux.keys("Enter");
    tmux.keys("09");                  // the last two digits complete it and move on
    tmux.keys("1234,5 Enter Enter");  // the amount, then Gravar
    ASSERT_TRUE(tmux.waitFor("123.456.789-09")) << tmux.pane();
    const std::string pane = tmux.pane();
    EXPECT_NE(pane.find("MARIA"), std::string::npos) << pane;
    EXPECT_NE(pane.find("1.234,50"), std::string::npos) << pane;
    EXPECT_EQ(pane.find("Cadastro"), std::string::npos) << pane;  // the dialog closed
    tmux.keys("Escape");
    ASSERT_TRUE(tmux.waitFor("FIM 0")) << tmux.pane();
    EXPECT_TRUE(tmux.waitFor("\necho")) << tmux.pane();  // stty's answer comes last
    const std::string after = tmux.pane();
    EXPECT_NE(after.find("\nicanon"), std::string::npos) << after;
    EXPECT_NE(after.find("\necho"), std::string::npos) << after;
}

TEST(TerminalInTmux, SmallTerminalGetsAClearMessage) {
    if (!haveTmux()) GTEST_SKIP() << "tmux is not installed (scripts/setup.sh installs it)";
    Tmux tmux(kDemo + "\n" + kAfter, 70, 20);
    ASSERT_TRUE(tmux.started());
    ASSERT_TRUE(tmux.waitFor("FIM 1")) << tmux.pane();
    EXPECT_TRUE(tmux.waitFor("\necho")) << tmux.pane();
    const std::string pane = tmux.pane();
    EXPECT_NE(pane.find("precisa de pelo menos 80 colunas e 27 linhas"), std::string::npos) << pane;
    EXPECT_NE(pane.find("\nicanon"), std::string::npos) << pane;
}

TEST(TerminalInTmux, TerminalIsRestoredWhenTheProgramIsKilled) {
    if (!haveTmux()) GTEST_SKIP() << "tmux is not installed (scripts/setup.sh installs it)";
    const std::string pidFile = ::testing::TempDir() + "kdx2_demo_" + std::to_string(::getpid());
    std::remove(pidFile.c_str());
    // The inner shell writes its process id and becomes the demo.
    Tmux tmux("sh -c 'echo $$ > " + pidFile + "; exec " + kDemo + "'\n" + kAfter);
    ASSERT_TRUE(tmux.started());
    ASSERT_TRUE(tmux.waitFor("Programa de demonstração")) << tmux.pane();
    int pid = 0;
    std::ifstream(pidFile) >> pid;
    ASSERT_GT(pid, 0);
    ASSERT_EQ(::kill(pid, SIGTERM), 0);
    ASSERT_TRUE(tmux.waitFor("FIM 143")) << tmux.pane();
    EXPECT_TRUE(tmux.waitFor("\necho")) << tmux.pane();
    const std::string pane = tmux.pane();
    EXPECT_NE(pane.find("\nicanon"), std::string::npos) << pane;
    EXPECT_NE(pane.find("\necho"), std::string::npos) << pane;
    std::remove(pidFile.c_str());
}
