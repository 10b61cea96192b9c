#include <gtest/gtest.h>

#include "base/cp850.h"
#include "base/named_values.h"
#include "base/process_state.h"
#include "base/text.h"
#include "platform/console/keys.h"
#include "shell/layouts.h"
#include "shell/pages/identification.h"
#include "shell/pages/pages.h"
#include "shell/settings.h"
#include "tax/carne.h"

namespace kdx2::shell::pages {
namespace {

namespace keys = platform::keys;

// ---- The next page ----

struct FlowCase {
    const char* what;
    int key;
    FlowState state;
    int page;
};

FlowState on(int page, bool rural = false) {
    FlowState s;
    s.page = page;
    s.rural = rural;
    s.part = 31;
    return s;
}

FlowState newTaxpayerOn(int page) {
    FlowState s = on(page);
    s.newTaxpayer = true;
    return s;
}

FlowState chosen(int page, int next) {
    FlowState s = on(page);
    s.pageChosen = true;
    s.chosenPage = next;
    return s;
}

FlowState onPart(int part) {
    FlowState s = on(3);
    s.part = part;
    return s;
}

TEST(NextPage, FollowsTheKeyThatEndedThePage) {
    const FlowCase cases[] = {
        {"Esc leaves", keys::Esc, on(4), 0},
        {"F3 opens the dependants", keys::function(3), on(1), 3},
        {"F10 without rural activity", keys::function(10), on(2), 5},
        {"F10 with rural activity", keys::function(10), on(2, true), 10},
        {"F11 without rural activity stays", keys::function(11), on(4), 4},
        {"F12 without rural activity", keys::function(12), on(4), 5},
        {"F7 after the cash book", keys::function(7), on(1), 5},
        {"Tab from the summary without rural activity", keys::Tab, on(6), 1},
        {"Tab from the summary with rural activity", keys::Tab, on(6, true), 10},
        {"Tab from the last rural page", keys::Tab, on(13, true), 10},
        {"Tab beyond the last page ends the loop", keys::Tab, on(9), 10},
        {"Tab steps on", keys::Tab, on(3), 4},
        {"Tab on a new taxpayer's identification", keys::Tab, newTaxpayerOn(5), 1},
        {"Enter on a new taxpayer's identification", keys::Enter, newTaxpayerOn(5), 1},
        {"Enter elsewhere leaves", keys::Enter, on(5), 0},
        {"Enter on the dependants' first part", keys::Enter, onPart(31), 3},
        {"Enter on the dependants' second part", keys::Enter, onPart(32), 4},
        {"Shift+Tab from the first page", keys::ShiftTab, on(1), 6},
        {"Shift+Tab from the first rural page", keys::ShiftTab, on(10, true), 6},
        {"Shift+Tab steps back", keys::ShiftTab, on(12, true), 11},
        {"a page chosen by a key or the menu", keys::PgDn, chosen(2, 4), 4},
        {"another end steps on", keys::PgDn, on(4), 5},
        {"another end on an empty page leaves", keys::PgDn, on(8), 0},
        {"page 13 without rural activity", keys::PgDn, on(13), 5},
    };
    for (const FlowCase& c : cases)
        EXPECT_EQ(nextPage(c.key, c.state).page, c.page) << c.what;
}

TEST(NextPage, ANewTaxpayerGoesToTheFirstPageOnlyOnce) {
    const NextStep first = nextPage(keys::Tab, newTaxpayerOn(5));
    EXPECT_FALSE(first.newTaxpayer);
    FlowState again = on(5);
    again.newTaxpayer = first.newTaxpayer;
    EXPECT_EQ(nextPage(keys::Tab, again).page, 6);
}

TEST(NextPage, TheDependantsPageMovesToItsSecondPartThenOn) {
    const NextStep second = nextPage(keys::Enter, onPart(31));
    EXPECT_EQ(second.part, 32);
    // Reaching page 3 again starts at its first part.
    EXPECT_EQ(nextPage(keys::Tab, on(2)).part, 31);
    EXPECT_TRUE(nextPage(keys::function(7), on(1)).runCashBook);
    EXPECT_FALSE(nextPage(keys::function(6), on(1)).runCashBook);
}

TEST(NextPage, TheLastPageDependsOnRuralActivity) {
    EXPECT_EQ(lastPage(true), 13);
    EXPECT_EQ(lastPage(false), 9);
}

// ---- Identification checks ----

TEST(Identification, AgeIsCountedAtTheEndOfTheTaxYear) {
    const auto age = DIZANOS(*base::Date::fromYmd(1980, 3, 15), 2025);
    ASSERT_TRUE(age);
    EXPECT_EQ(age->first, 45);
    EXPECT_EQ(age->second, 9);
    EXPECT_FALSE(DIZANOS(base::Date(), 2025));
    EXPECT_FALSE(DIZANOS(*base::Date::fromYmd(2026, 1, 1), 2025));
    EXPECT_TRUE(DIZANOS(*base::Date::fromYmd(2025, 12, 31), 2025));
}

TEST(Identification, ReceiptCheckDigitsAreFilledOrChecked) {
    std::string blank = "1234567890  ";
    EXPECT_TRUE(VENROREC(blank));
    EXPECT_EQ(blank, "123456789091");
    std::string right = "123456789091";
    EXPECT_TRUE(VENROREC(right));
    std::string wrong = "123456789099";
    EXPECT_FALSE(VENROREC(wrong));
    std::string empty = "            ";
    EXPECT_TRUE(VENROREC(empty));
    std::string letters = "12345A7890  ";
    EXPECT_FALSE(VENROREC(letters));
    std::string tooShort = "12345";
    EXPECT_FALSE(VENROREC(tooShort));
}

TEST(Identification, StatesAreTheFederationsAndAbroad) {
    for (const char* state : {"SP", "DF", "TO", "EX"})
        EXPECT_TRUE(knownState(state)) << state;
    for (const char* state : {"", "XX", "sp", "S"})
        EXPECT_FALSE(knownState(state)) << state;
}

// ---- Conversion by the month's factor ----

class Conversion : public ::testing::Test {
  protected:
    void SetUp() override { base::resetProcessState(); }
};

TEST_F(Conversion, AZeroFactorOrAMonthOutsideTheYearGivesZero) {
    tax::carneLeao().TAB_UFIR.fill(0);
    tax::carneLeao().TAB_UFIR[2] = 0.8;
    EXPECT_TRUE(ATUAVAL(1, 100, 3));
    EXPECT_DOUBLE_EQ(base::session().number("QUF"), 125);
    EXPECT_TRUE(ATUAVAL(2, 100, 3));
    EXPECT_DOUBLE_EQ(base::session().number("QCR1"), 80);
    EXPECT_TRUE(ATUAVAL(1, 100, 4));  // no factor for April
    EXPECT_DOUBLE_EQ(base::session().number("QUF"), 0);
    EXPECT_TRUE(ATUAVAL(1, 100, 13));
    EXPECT_DOUBLE_EQ(base::session().number("QUF"), 0);
    EXPECT_FALSE(ATUAVAL(0, 0, 13));
    EXPECT_TRUE(ATUAVAL(0, 0, 12));
}

// ---- Sums switched off ----

// With the sums off, page 1 puts them off until they are caught up once;
// other pages, and page 1 with the sums on, sum at once.
TEST(AutomaticSums, Page1PutsTheSumsOffOnlyWhileTheyAreSwitchedOff) {
    base::resetProcessState();
    base::NamedValues& s = base::session();
    int sums = 0;
    editor::Hooks h;
    h.SOMA_JUR = [&sums](int) { ++sums; };
    connectAutomaticSums(h);
    s.set("TELA", 1);
    s.set("CALBEN", true);
    h.SOMA_JUR(1);
    EXPECT_EQ(sums, 1);

    s.set("CALBEN", false);
    h.SOMA_JUR(1);
    h.SOMA_JUR(1);
    EXPECT_EQ(sums, 1);
    catchUpSums();
    EXPECT_EQ(sums, 2);
    catchUpSums();  // nothing left to catch up
    EXPECT_EQ(sums, 2);

    s.set("TELA", 6);
    h.SOMA_JUR(1);
    EXPECT_EQ(sums, 3);
}

// ---- The result a calculator program leaves ----

TEST(CalculatorResult, TheLastNumberIsReadAsTheProgramWroteIt) {
    struct Case {
        const char* text;
        std::optional<double> number;
    };
    const Case cases[] = {
        {"2+3\n5\n", 5},
        {"= 1.234,56\n", 1234.56},
        {"1,234.56", 1234.56},
        {"12.5", 12.5},
        {"12,5", 12.5},
        {"1.234.567", 1234567},
        {"total: -3.", -3},
        {"2025-01-31 resultado 7", 7},
        {"no number here", std::nullopt},
        {"", std::nullopt},
        {"- , .", std::nullopt},
    };
    for (const Case& c : cases) {
        const std::optional<double> got = lastNumberIn(c.text);
        ASSERT_EQ(got.has_value(), c.number.has_value()) << c.text;
        if (got) {
            EXPECT_DOUBLE_EQ(*got, *c.number) << c.text;
        }
    }
}

// ---- Layouts ----

TEST(Layouts, EveryLayoutFitsTheGridAndItsTextsFitTheirWindow) {
    base::resetProcessState();
    base::session().set("QUEANO", 2025);
    const std::vector<std::string> codes = layoutCodes();
    EXPECT_GE(codes.size(), 8u);
    for (const std::string& code : codes) {
        const std::optional<Layout> layout = layoutOf(code, {{"LEGENDA", " Rendimentos  "}});
        ASSERT_TRUE(layout) << code;
        EXPECT_GE(layout->top, 0) << code;
        EXPECT_LE(layout->bottom, 23) << code << ": the footer row stays free";
        EXPECT_LE(layout->right, 79) << code;
        const int width = layout->right - layout->left + 1;
        for (const LayoutText& text : layout->texts) {
            EXPECT_LE(text.column + static_cast<int>(base::cp850::fromUtf8(text.text).size()),
                      width)
                << code << ": " << text.text;
            EXPECT_EQ(text.text.find('{'), std::string::npos) << code << ": " << text.text;
        }
        for (const LayoutBox& box : layout->boxes)
            EXPECT_LT(box.right, width) << code << ": " << box.caption;
    }
}

TEST(Layouts, TextsAndBoxesAreCutAtTheWindowsEdges) {
    Layout l;
    l.top = 0;
    l.left = 0;
    l.bottom = 2;
    l.right = 9;
    l.boxes = {{0, 5, 4, 14, "caption"}};
    l.texts = {{1, -3, "abcdef"}, {5, 0, "outside"}, {2, 8, "xyz"}};
    const std::vector<std::string> rows = layoutRows(l);
    ASSERT_EQ(rows.size(), 3u);
    for (const std::string& row : rows)
        EXPECT_EQ(row.size(), 10u);
    EXPECT_EQ(rows[0].substr(5, 2), "\xDA\xC4");
    EXPECT_EQ(rows[1].substr(0, 3), "def");
    EXPECT_EQ(rows[1][5], '\xB3');
    EXPECT_EQ(rows[2].substr(8), "xy");
}

// The title window names the exercise, the year after the base year, and
// the terminal; the version stands in the middle of its row.
TEST(Layouts, TheTitleWindowNamesTheExerciseAfterTheBaseYear) {
    base::resetProcessState();
    base::NamedValues& s = base::session();
    s.set("QUEANO", 2025);
    s.set("NUSU", "07");
    s.set("VERSAO", "1.2.3");
    const std::vector<std::string> rows = layoutRows(*layoutOf("MTELA1 9"));
    ASSERT_EQ(rows.size(), 15u);
    EXPECT_EQ(base::cp850::toUtf8(rows[1].substr(2, 14)), "Exercício 2026");
    EXPECT_EQ(rows[1].substr(32, 14), "Ano Base  2025");
    EXPECT_EQ(rows[9].substr(2, 8), "Term. 07");
    EXPECT_EQ(rows[11].substr(18, 14), " Versao 1.2.3 ");
}

// The folder pair names the folders of the command; a command without
// captions of its own keeps the column anchor it had.
TEST(Layouts, TheFolderWindowKeepsItsColumnForCommandsWithoutCaptions) {
    base::resetProcessState();
    base::NamedValues& s = base::session();
    s.set("QUEANO", 2025);
    s.set("OPCAO_1", 71);
    const std::vector<std::string> rows = layoutRows(*layoutOf("MTELA1 4"));
    EXPECT_EQ(base::rtrim(rows[1].substr(1, 40)), "Drive e pasta do Tavo  2025");
    EXPECT_EQ(base::rtrim(rows[4].substr(1, 40)), "Drive e pasta do KDX2  2025");
    MTELA1(4);
    EXPECT_EQ(sessionLists().ACJA[4], 15);
    sessionLists().ACJA[4] = 33;
    s.set("OPCAO_1", 41);
    MTELA1(4);
    EXPECT_EQ(sessionLists().ACJA[4], 33);
    EXPECT_EQ(sessionLists().ALJA[4], 6);
}

TEST(Layouts, TheRuralResultNamesTheYearsAroundTheBaseYear) {
    base::resetProcessState();
    base::session().set("QUEANO", 2025);
    const std::optional<Layout> layout = pageLayout(12);
    ASSERT_TRUE(layout);
    std::string all;
    for (const std::string& row : layoutRows(*layout))
        all += base::cp850::toUtf8(row) + "\n";
    EXPECT_NE(all.find("Receita recebida em 2025 para ser entregue em 2026"), std::string::npos);
    EXPECT_NE(all.find("Adiantamento até 2024 e entregue durante 2025"), std::string::npos);
}

}  // namespace
}  // namespace kdx2::shell::pages
