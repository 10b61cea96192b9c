// The SELIC rate form, the save interval and the complementary-tax choice,
// on a real rate table, the forms driven by key scripts on the headless
// console.

#include <gtest/gtest.h>

#include "selection_fixture.h"
#include "shell/maintenance/maintenance.h"
#include "store/table.h"
#include "ui/ui_session.h"

namespace kdx2::selection_test {
namespace {

namespace mnt = shell::maintenance;

class FormsTest : public SelectionTest {
  protected:
    // The rate table of the install folder with (ANOMES, TJM) rows.
    void makeRates(const std::vector<std::pair<std::string, double>>& rows) {
        const store::Structure layout{{"ANOMES", base::Type::Character, 6, 0},
                                      {"MULTIPL", base::Type::Numeric, 8, 4},
                                      {"TJM", base::Type::Numeric, 6, 2},
                                      {"SIMB_MOED", base::Type::Character, 4, 0}};
        store::Table::create("C:\\UFIRM.DBF", layout);
        auto table = store::Table::open("C:\\UFIRM.DBF", store::OpenMode::Exclusive);
        for (const auto& [key, rate] : rows) {
            EXPECT_TRUE(table->append());
            table->put("ANOMES", base::Value(key));
            table->put("MULTIPL", base::Value(1.5));
            table->put("TJM", base::Value(rate));
            table->put("SIMB_MOED", base::Value("R$  "));
        }
        table->close();
        ASSERT_TRUE(store::ABERTURA(45));
    }

    mnt::RateEntry proposal() {
        mnt::RateEntry entry;
        EXPECT_TRUE(mnt::proposedRateMonth(store::workAreas().area(45), entry));
        return entry;
    }

    // Runs `body` on the headless console; fails when the script ran out
    // inside it. Message boxes are answered from `messages`.
    template <typename Body>
    void onScreen(const std::string& script, Body body) {
        ui::testing::UiSession session(script);
        std::string failure;
        const int stop = ui::testing::runUntilScriptEnds(body, &failure);
        screen = session.screen();
        EXPECT_EQ(stop, -1) << "script ended inside the form: " << failure;
    }

    // "ANOMES TJM SIMB_MOED MULTIPL" of every record, read by python3-dbfread.
    std::vector<std::string> rateRows() const {
        const std::string file = host("rates.py");
        std::ofstream(file) << "import dbfread\n"
                               "for r in dbfread.DBF('"
                            << host("UFIRM.DBF")
                            << "', encoding='cp850'):\n"
                               "    print(r['ANOMES'], r['TJM'], repr(r['SIMB_MOED']), "
                               "r['MULTIPL'])\n";
        std::vector<std::string> rows;
        std::istringstream in(runCommand("/usr/bin/python3 " + file + " 2>&1"));
        for (std::string line; std::getline(in, line);)
            rows.push_back(line);
        return rows;
    }

    std::string screen;
};

TEST_F(FormsTest, ProposesTheMonthAfterTheLastRateWhenItsRecordExists) {
    makeRates({{"202401", 0.97}, {"202402", 0.80}, {"202403", 0}, {"202404", 0}});
    mnt::RateEntry entry = proposal();
    EXPECT_EQ(entry.year, 2024);
    EXPECT_EQ(entry.month, 3);
}

TEST_F(FormsTest, ProposesTheLastMonthWithARateWhenNoneFollows) {
    makeRates({{"202311", 0.92}, {"202312", 0.89}});
    mnt::RateEntry entry = proposal();
    EXPECT_EQ(entry.year, 2023);
    EXPECT_EQ(entry.month, 12);
}

TEST_F(FormsTest, MonthAndYearChecksLoadTheMonthsRate) {
    makeRates({{"202402", 0.80}});
    mnt::RateEntry entry{13, 2024, 9, 9};
    EXPECT_FALSE(mnt::BUSMES(entry));
    entry.month = 0;
    EXPECT_FALSE(mnt::BUSMES(entry));
    entry.month = 2;
    ASSERT_TRUE(mnt::BUSMES(entry));
    EXPECT_DOUBLE_EQ(entry.rate, 0.80);
    EXPECT_DOUBLE_EQ(entry.factor, 1.5);
    entry.year = 1994;
    EXPECT_FALSE(mnt::BUSANO(entry));
    entry.year = 2025;
    ASSERT_TRUE(mnt::BUSANO(entry));
    EXPECT_DOUBLE_EQ(entry.rate, 0) << "a month without a record has no rate";
    EXPECT_DOUBLE_EQ(entry.factor, 0);
}

TEST_F(FormsTest, RateFormRefusesMonth13AndYear1994ThenAppendsTheMonth) {
    makeRates({{"202401", 0.97}});
    store::workAreas().closeAll();
    messages.answers = {1};
    // Month 13 and year 1994 keep the cursor where it is; the corrected
    // values go on to the rate.
    onScreen(
        "type 13\nkey Home\ntype 05\ntype 1994\nkey Home\ntype 2024\ntype 1,25\n"
        "key Enter\n",
        [] { mnt::CAD_UFIR(); });
    EXPECT_EQ(rateRows(),
              (std::vector<std::string>{"202401 0.97 'R$' 1.5", "202405 1.25 'R$' 0.0"}));
    EXPECT_EQ(store::workAreas().table(45), nullptr) << "the rate table is closed at the end";
}

TEST_F(FormsTest, RateFormChangesAnExistingMonthAndCancelWritesNothing) {
    makeRates({{"202401", 0.97}, {"202402", 0}});
    store::workAreas().closeAll();
    // The proposal is February 2024: change January's rate instead.
    messages.answers = {1};
    onScreen("type 01\nkey Enter\ntype 1,01\nkey Enter\n", [] { mnt::CAD_UFIR(); });
    EXPECT_EQ(rateRows(),
              (std::vector<std::string>{"202401 1.01 'R$' 1.5", "202402 0.0 'R$' 1.5"}));
    messages.answers = {3};
    onScreen("type 03\nkey Enter\ntype 2\nkey Enter\n", [] { mnt::CAD_UFIR(); });
    EXPECT_EQ(rateRows().size(), 2u);
}

TEST_F(FormsTest, AutomaticSaveProposesFiveMinutesAndRefusesZero) {
    base::session().set("TEMP_SAL", 0);
    // The first Enter tries 0, which must keep the cursor in the field.
    onScreen("type 0\nkey Enter\nkey Home\ntype 12\n", [&] { mnt::TIP_GRAV(1); });
    EXPECT_EQ(base::session().integer("TEMP_SAL"), 12);
    ASSERT_FALSE(messages.windows.empty());
    EXPECT_EQ(base::cp850::toUtf8(messages.windows.back().text.joined()),
              "Gravar a declaração a cada    minutos");
}

TEST_F(FormsTest, AutomaticSaveShowsFiveForAnOnlyAtTheEndSetting) {
    base::session().set("TEMP_SAL", 99);
    std::string row;
    onScreen("key Enter\n", [&] { mnt::TIP_GRAV(1); });
    // Grid row 9 is screen row 10; the number sits at column 37.
    std::istringstream lines(screen);
    for (int i = 0; i <= 10 && std::getline(lines, row); ++i) {
    }
    EXPECT_EQ(row.substr(37, 2), " 5") << row;
    EXPECT_EQ(base::session().integer("TEMP_SAL"), 5);
}

TEST_F(FormsTest, ManualAndOnlyAtTheEndModes) {
    base::session().set("TEMP_SAL", 20);
    mnt::TIP_GRAV(2);
    EXPECT_EQ(base::session().integer("TEMP_SAL"), 0);
    mnt::TIP_GRAV(3);
    EXPECT_EQ(base::session().integer("TEMP_SAL"), 99);
}

TEST_F(FormsTest, ComplementaryTaxChoiceSwitchesOnlyOnYes) {
    base::session().set("QUALMENS", "1");
    messages.answers = {2};
    mnt::CALC_MENSAL();
    EXPECT_EQ(base::session().text("QUALMENS"), "1");
    ASSERT_EQ(messages.boxes.size(), 1u);
    EXPECT_EQ(base::cp850::toUtf8(messages.boxes[0].lines.back()),
              "A OPÇÃO ATUAL é a 1. Muda para a outra opção.   ");
    messages.answers = {1};
    mnt::CALC_MENSAL();
    EXPECT_EQ(base::session().text("QUALMENS"), "2");
    messages.answers = {1};
    mnt::CALC_MENSAL();
    EXPECT_EQ(base::session().text("QUALMENS"), "1");
}

}  // namespace
}  // namespace kdx2::selection_test
