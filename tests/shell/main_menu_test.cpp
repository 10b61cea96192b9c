#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <functional>
#include <set>

#include "base/cp850.h"
#include "base/text.h"
#include "common/recording_messages.h"
#include "shell/declaration.h"
#include "shell/main_menu.h"
#include "shell/print_selection.h"
#include "shell/startup.h"
#include "shell_fixture.h"
#include "store/table.h"

using namespace kdx2;
using kdx2::testing::RecordingMessages;
using kdx2::testing::utf8Lines;
using Lines = std::vector<std::string>;

namespace {

class MainMenu : public kdx2::testing::EmptyDrive {
  protected:
    void SetUp() override {
        EmptyDrive::SetUp();
        RecordingMessages quiet;
        kdx2::testing::startOrFail(quiet);
    }

    int storedConfig(const char* field) {
        auto config = store::Table::open("C:\\CONFIG.DBF", store::OpenMode::Shared);
        config->goTop();
        return static_cast<int>(config->get(field).number());
    }
};

// Every action item of the menu bar, depth first.
void visit(const std::vector<shell::MenuEntry>& entries,
           const std::function<void(const shell::MenuEntry&)>& each) {
    for (const shell::MenuEntry& entry : entries) {
        each(entry);
        visit(entry.children, each);
    }
}

const shell::MenuEntry* findPrompt(const std::vector<shell::MenuEntry>& entries,
                                   const std::string& utf8) {
    const shell::MenuEntry* found = nullptr;
    visit(entries, [&](const shell::MenuEntry& entry) {
        if (!found && entry.prompt == base::cp850::fromUtf8(utf8)) found = &entry;
    });
    return found;
}

}  // namespace

TEST_F(MainMenu, DarfThenLastPageStoresThePageShowsPageTwoAndExitsWithTwo) {
    RecordingMessages messages;
    shell::MENUSELECT(41, 2);
    shell::MENUSELECT(43, 8);
    // The choice goes to CONFIG at once, as chosen.
    EXPECT_EQ(storedConfig("QUEIMP"), 2);
    EXPECT_EQ(storedConfig("QUEPAG"), 8);
    // The summary shows the page a DARF allows, and the session keeps it.
    ASSERT_EQ(messages.boxes.size(), 2u);
    const auto& summary = messages.boxes.back();
    EXPECT_EQ(base::cp850::toUtf8(summary.title), "Seleção para impressão");
    EXPECT_EQ(utf8Lines(summary.lines),
              (Lines{"1  - DARFes         ", "2  - Em Formulário Proprio", "3  - Folha Única",
                     "4  - Individual  ", "5  - ", "6a - Mostra as Impressoras = S",
                     "6b - Mostra o texto antes  = S", "7  - Número de Vias 1"}));
    EXPECT_EQ(base::session().integer("QUEPAG"), 2);
    EXPECT_EQ(base::session().integer("OPCAO_1"), 43);
}

TEST_F(MainMenu, CopiesQuestionTurnsZeroIntoOne) {
    // The prompt edits the variable in place; the recorder sets it to 0.
    struct ZeroCopies : RecordingMessages {
        base::Value messageWindow(const common::MensRequest& request) override {
            windows.push_back(request);
            if (request.options.variable) *request.options.variable = base::Value(0);
            return base::Value(0);
        }
    } zero;
    shell::MENUSELECT(47, 1);
    ASSERT_EQ(zero.windows.size(), 1u);
    EXPECT_EQ(zero.windows[0].kind, 4);
    EXPECT_EQ(zero.windows[0].options.picture, "@ 9");
    EXPECT_EQ(base::session().integer("NRO_VIAS"), 1);
    EXPECT_EQ(base::session().text("ITEM7"), base::cp850::fromUtf8("7  - Número de Vias 1"));
}

TEST_F(MainMenu, PrintModeQuestionsGoIntoTheSession) {
    RecordingMessages messages;
    messages.answers = {2, 1, 0};  // printers: No; text on screen: Yes; summary: Ok
    shell::MENUSELECT(46, 1);
    EXPECT_EQ(base::session().text("MOSIMP"), "N");
    EXPECT_EQ(base::session().text("MOSTEL"), "S");
    ASSERT_EQ(messages.boxes.size(), 3u);
    EXPECT_EQ(utf8Lines(messages.boxes[0].lines),
              Lines{"Mostre as Impressoras Existentes antes de imprimir ?"});
}

TEST_F(MainMenu, LastPrintWithoutAPrintFileOnlyTellsSo) {
    RecordingMessages messages;
    shell::MENUSELECT(52);
    EXPECT_EQ(messages.onlyBoxLines(), Lines{"Selecione a impressora Não DOS antes"});
    EXPECT_EQ(base::session().text("ARQ_IMP"), "C:\\NAO-DOS00.TXT");
}

TEST_F(MainMenu, CommandsOfLaterWorkSayTheyAreNotAvailable) {
    RecordingMessages messages;
    shell::MENUSELECT(11);
    EXPECT_EQ(base::session().integer("OPCAO_1"), 11);
    ASSERT_EQ(messages.boxes.size(), 1u);
    EXPECT_EQ(messages.boxes[0].lines, Lines{shell::notAvailableMessage()});

    int ran = 0;
    shell::registerCommand(12, [&ran](int option) { ran = option + 1; });
    shell::MENUSELECT(12, 4);
    EXPECT_EQ(ran, 5);
    EXPECT_EQ(messages.boxes.size(), 1u);
    shell::registerCommand(12, {});
}

TEST(MainMenuDefinition, TextsHotKeysAndCodes) {
    const auto bar = shell::mainMenuDefinition("HP LaserJet");
    ASSERT_EQ(bar.size(), 7u);
    Lines top;
    for (const auto& entry : bar)
        top.push_back(base::cp850::toUtf8(entry.prompt));
    EXPECT_EQ(top, (Lines{"&Declaração", "&Opções ", "&Seleção", "&Impressão", "&Cópia Segurança",
                          "I&mportação", "&Terminar"}));
    EXPECT_EQ(bar[0].children.size(), 5u);
    EXPECT_TRUE(bar[0].children[3].separatorAfter);
    EXPECT_EQ(bar[0].children[4].code, 16);
    EXPECT_EQ(bar[6].children[0].code, 16);
    EXPECT_EQ(bar[1].children[3].hotKey(), 'C');
    EXPECT_EQ(bar[1].children[6].hotKey(), 'X');

    const shell::MenuEntry* manual = findPrompt(bar, "&Manual (Alt w)");
    ASSERT_NE(manual, nullptr);
    EXPECT_EQ(manual->code, 26);
    EXPECT_EQ(manual->option, 2);
    const shell::MenuEntry* page = findPrompt(bar, "   Abertura e &Encerra  ");
    ASSERT_NE(page, nullptr);
    EXPECT_EQ(page->code, 43);
    EXPECT_EQ(page->option, 8);
    const shell::MenuEntry* printer = findPrompt(bar, "&HP LaserJet");
    ASSERT_NE(printer, nullptr);
    EXPECT_EQ(printer->code, 45);

    // Headings do nothing; every other item has a code of its menu.
    const shell::MenuEntry* headingItem = findPrompt(bar, "Impressão do Darf ");
    ASSERT_NE(headingItem, nullptr);
    EXPECT_EQ(headingItem->code, 0);
    std::set<int> codes;
    visit(bar, [&codes](const shell::MenuEntry& entry) {
        if (entry.code != 0) codes.insert(entry.code);
    });
    EXPECT_EQ(codes, (std::set<int>{11, 12, 13, 14, 16, 21, 22, 23, 25, 26, 27, 28, 29, 30, 31, 32,
                                    41, 42, 43, 44, 45, 46, 47, 48, 51, 52, 61, 62, 71, 72, 73}));
}

namespace {

// The prompt as the bar and drop-downs show it: without the "&".
size_t shownWidth(const std::string& prompt) {
    return prompt.size() - static_cast<size_t>(std::count(prompt.begin(), prompt.end(), '&'));
}

char hotKeyOf(const std::string& prompt) {
    const size_t amp = prompt.find('&');
    if (amp == std::string::npos || amp + 1 >= prompt.size()) return 0;
    return static_cast<char>(std::toupper(static_cast<unsigned char>(prompt[amp + 1])));
}

// One level of a menu: every item but the headings (which do nothing) has a
// hot key of its own; then the levels below.
template <typename Item>
void checkHotKeys(const std::vector<Item>& level, const std::string& where,
                  const std::function<bool(const Item&)>& isHeading) {
    std::set<char> used;
    for (const Item& item : level) {
        const std::string shown = base::cp850::toUtf8(item.prompt);
        if (!isHeading(item)) {
            const char hot = hotKeyOf(item.prompt);
            EXPECT_NE(hot, 0) << where << shown << " has no hot key";
            if (hot != 0) {
                EXPECT_TRUE(used.insert(hot).second) << where << shown << ": " << hot;
            }
        }
        checkHotKeys(item.children, where + shown + " > ", isHeading);
    }
}

// The bar as the UI layer lays it out: each prompt between two blanks.
template <typename Item>
size_t barWidth(const std::vector<Item>& bar) {
    size_t width = 0;
    for (const Item& item : bar)
        width += shownWidth(item.prompt) + 2;
    return width;
}

}  // namespace

TEST(Menus, FitTheBarAndReachEveryItemByAHotKeyOfItsOwn) {
    const auto bar = shell::mainMenuDefinition("HP LaserJet");
    EXPECT_LE(barWidth(bar), 80u);
    checkHotKeys<shell::MenuEntry>(bar, "", [](const shell::MenuEntry& entry) {
        return entry.code == 0 && entry.children.empty();
    });
    for (int mode : {1, 2}) {
        const auto declaration = shell::declaration::declarationMenu(mode);
        // Room is left for the taxpayer's title at the right of the bar.
        EXPECT_LE(barWidth(declaration), 60u) << "cash-book mode " << mode;
        checkHotKeys<shell::declaration::DeclarationItem>(
            declaration, "", [](const shell::declaration::DeclarationItem&) { return false; });
    }
}
