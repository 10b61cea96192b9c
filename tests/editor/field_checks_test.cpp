#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "browse_fixture.h"
#include "editor/field_checks.h"
#include "editor/lookup_lists.h"
#include "store/table_numbers.h"

using namespace kdx2;
using kdx2::base::Date;
using kdx2::base::Value;
using kdx2::editor_test::BrowseTest;
using ::testing::ElementsAre;
using ::testing::HasSubstr;

namespace {

Date born(int year, int month = 6) {
    return *Date::fromYmd(year, month, 10);
}

}  // namespace

// ---- Rules on their own, table-driven ---------------------------------------------

TEST(AgeRules, TheLimitYearOfEachRelation) {
    struct Case {
        int relation;
        int birthYear;
        editor::AgeVerdict verdict;
    };
    using enum editor::AgeVerdict;
    const Case cases[] = {
        {21, 2005, LeavesThisYear},
        {21, 2004, TooOld},
        {21, 2006, Fine},
        {24, 2005, LeavesThisYear},
        {41, 2004, TooOld},
        {22, 2002, LeavesThisYear},
        {22, 2001, TooOld},
        {25, 2003, Fine},
        {42, 2001, TooOld},
        // Relations without an age limit: spouse, disabled son, parents, alimony.
        {11, 1950, Fine},
        {23, 1980, Fine},
        {31, 1940, Fine},
        {99, 1990, Fine},
    };
    for (const Case& c : cases)
        EXPECT_EQ(editor::ageVerdict(c.relation, born(c.birthYear), 2026), c.verdict)
            << "relation " << c.relation << " born " << c.birthYear;
    EXPECT_EQ(editor::ageVerdict(21, Date(), 2026), Fine);  // no date yet
}

TEST(AccountRanges, EachKindHasItsAccounts) {
    struct Case {
        const char* kind;
        const char* credit;
        int inside;
        int outside;
    };
    const Case cases[] = {{"F", "", 1001, 2001},  {"J", "", 2299, 2300}, {"D", "", 2300, 2400},
                          {"E", "", 3999, 4000},  {"L", "", 4199, 4200}, {"O", "N", 4101, 3999},
                          {"R", "C", 8001, 9001}, {"R", "D", 9099, 8099}};
    for (const Case& c : cases) {
        const auto range = editor::accountRange(c.kind, c.credit);
        ASSERT_TRUE(range) << c.kind;
        EXPECT_TRUE(range->contains(c.inside)) << c.kind << " " << c.inside;
        EXPECT_FALSE(range->contains(c.outside)) << c.kind << " " << c.outside;
    }
    EXPECT_FALSE(editor::accountRange("X", ""));
    EXPECT_FALSE(editor::accountRange("R", ""));
}

TEST(KindLetters, OnlyBlankTAAndOAreTaken) {
    for (const char* letter : {"", "T", "A", "O", "t", "a"})
        EXPECT_TRUE(editor::CHECK_LETRA(letter, "", "")) << letter;
    for (const char* letter : {"X", ".", ",", "1", "-"})
        EXPECT_FALSE(editor::CHECK_LETRA(letter, "", "")) << letter;
}

TEST(RuralCodes, ActivityAndConditionCodes) {
    for (int code : {10, 11, 12, 13, 14, 15, 19})
        EXPECT_TRUE(editor::VAL_COD(code, 1)) << code;
    for (int code : {0, 9, 16, 17, 18, 20})
        EXPECT_FALSE(editor::VAL_COD(code, 1)) << code;
    EXPECT_TRUE(editor::VAL_COD(5, 2));
    EXPECT_FALSE(editor::VAL_COD(6, 2));
    EXPECT_TRUE(editor::VAL_COD(6, 3));
    EXPECT_FALSE(editor::VAL_COD(7, 3));
    EXPECT_TRUE(editor::VAL_PARTI1(100));
    EXPECT_FALSE(editor::VAL_PARTI1(100.01));
    EXPECT_TRUE(editor::VAL_PARTI2(50, 50));
    EXPECT_FALSE(editor::VAL_PARTI2(60, 40));
}

TEST(NonDeductible, KeptForEducationOnly) {
    for (int code : {1, 2, 3, 4}) {
        Value value(120.0);
        editor::FCONFNDEDU(value, code);
        EXPECT_EQ(value.number(), 120.0) << code;
    }
    for (int code : {5, 10, 26, 36}) {
        Value value(120.0);
        editor::FCONFNDEDU(value, code);
        EXPECT_EQ(value.number(), 0.0) << code;
    }
}

// ---- Rules over real tables ---------------------------------------------------------

namespace {

class Checks : public BrowseTest {
  protected:
    store::Table& dependants() { return table(3, 23, "TMP_303", "CPF"); }
    store::Table& income() { return table(2, 22, "TMP_203", "CPF"); }
};

}  // namespace

TEST_F(Checks, ADependantBornInTheLimitYearLeavesInHisBirthMonth) {
    base::session().set("QUEANO", 2026);
    EXPECT_TRUE(editor::TES_MES(born(2005, 8), 21));
    EXPECT_EQ(base::session().integer("I5_5"), 8);
    EXPECT_FALSE(editor::TES_MES(born(2004), 21));
    EXPECT_TRUE(editor::TES_MES(Date(), 21));
}

TEST_F(Checks, PaymentDependantNumbersMustNameTheRightDependant) {
    store::Table& t = dependants();
    add(t, {{"CPF", "12345678909"}, {"NRODEPEN", 1}, {"CODIDEPEN", 21}});
    add(t, {{"CPF", "12345678909"}, {"NRODEPEN", 2}, {"CODIDEPEN", 99}});
    EXPECT_TRUE(editor::CONF_DEP(0, 3));   // told to fill it in, accepted
    EXPECT_FALSE(editor::CONF_DEP(7, 3));  // nobody with that number
    EXPECT_TRUE(editor::CONF_DEP(2, 5));   // alimony to the alimony beneficiary
    EXPECT_FALSE(editor::CONF_DEP(1, 5));  // alimony to a son
    EXPECT_TRUE(editor::CONF_DEP(2, 3));   // a warning only
    EXPECT_TRUE(editor::CONF_DEP(9, 10));  // other payment codes have no dependant
}

TEST_F(Checks, ADependantsIncomeNamesOneOfTheDependantsCpfs) {
    store::Table& t = dependants();
    add(t, {{"CPF", "12345678909"}, {"CPFDEPEN", "11144477735"}});
    EXPECT_TRUE(editor::VE_RELDEP("11144477735"));
    EXPECT_EQ(base::session().text("CPF_DEPEND"), "11144477735");
    EXPECT_FALSE(editor::VE_RELDEP("52998224725"));
}

TEST_F(Checks, AnAccountSetsTheKindOfItsEntry) {
    struct Case {
        int account;
        const char* kind;
        const char* credit;
        const char* type;
    };
    const Case cases[] = {{4150, "O", "N", ""},  {4100, "F", "C", ""}, {4050, "L", "D", ""},
                          {4000, "F", "C", ""},  {4200, "F", "C", ""}, {1001, "F", "C", "T"},
                          {1002, "F", "C", "A"}, {1004, "F", "C", ""}};
    store::Table& t = income();
    for (const Case& c : cases) {
        add(t, {{"CPF", "12345678909"}, {"I1_1", "F"}, {"TIPOCR", "C"}});
        t.goBottom();
        ASSERT_TRUE(t.lockRecord());
        editor::applyAccountEffects(t, c.account);
        t.unlock();
    }
    std::vector<std::string> kinds, credits, types;
    for (const Case& c : cases) {
        kinds.push_back(c.kind);
        credits.push_back(c.credit);
        types.push_back(c.type);
    }
    EXPECT_EQ(column(t, "I1_1"), kinds);
    EXPECT_EQ(column(t, "TIPOCR"), credits);
    EXPECT_EQ(column(t, "I1_41"), types);
}

// The dependants' screen with its code table: a code that is not a relation
// opens the list, and the one chosen there is stored.
TEST_F(Checks, AnUnknownRelationCodeIsReplacedByTheOneChosenInTheList) {
    store::Table::create("C:\\CODEPEN.DBF", {{"CODDEP", base::Type::Numeric, 2, 0},
                                             {"DESCRICAO", base::Type::Character, 60, 0}});
    {
        auto codes = store::Table::open("C:\\CODEPEN.DBF", store::OpenMode::Shared);
        codes->createIndex("C:\\CODEPEN.CDX", "CODDEP");
        store::workAreas().attach(store::tables::kDependantCodes, std::move(codes));
        store::Table& c = store::workAreas().area(store::tables::kDependantCodes);
        add(c, {{"CODDEP", 21}, {"DESCRICAO", "Filho(a) ou enteado(a) ate 21 anos"}});
        add(c, {{"CODDEP", 23}, {"DESCRICAO", "Filho(a) incapacitado(a)"}});
    }
    store::Table& t = dependants();
    add(t, {{"CPF", "12345678909"}, {"NRODEPEN", 1}, {"NOMEDEPEN", "ANA"}});
    t.goTop();
    // To the code column, type 22: the list opens on 23, Enter takes it.
    keys("key Right\ntype 22\nkey Ctrl+P\nkey Enter\nkey Esc\n");
    ASSERT_TRUE(run(editor::screens::kDependants)) << failure;
    ASSERT_EQ(snaps.size(), 1u);
    std::string shown;
    for (const std::string& row : snaps[0])
        shown += row + "\n";
    EXPECT_THAT(shown, HasSubstr("Relação de dependência"));
    EXPECT_THAT(shown, HasSubstr("Filho(a) incapacitado(a)"));
    EXPECT_THAT(column(t, "CODIDEPEN"), ElementsAre("23.00"));
}

// The rural property form of the digital rural cash book: every refusal
// keeps the cursor in its field, and what was typed reaches the record.
TEST_F(Checks, TheRuralPropertyFormChecksItsFieldsAndWritesThemAll) {
    store::Table::create("C:\\TABMUNI.DBF", {{"NOMEMUNI", base::Type::Character, 40, 0},
                                             {"UNIFED", base::Type::Character, 2, 0},
                                             {"CODMUNI", base::Type::Character, 4, 0},
                                             {"CODCID", base::Type::Character, 7, 0}});
    store::workAreas().attach(store::tables::kMunicipalities,
                              store::Table::open("C:\\TABMUNI.DBF", store::OpenMode::Shared));
    store::Table& towns = store::workAreas().area(store::tables::kMunicipalities);
    add(towns, {{"NOMEMUNI", "CAMPINAS"}, {"UNIFED", "SP"}, {"CODCID", "3509502"}});
    add(towns, {{"NOMEMUNI", "CAMPINAS DO SUL"}, {"UNIFED", "RS"}, {"CODCID", "4303707"}});
    base::session().set("TIPO_LANCA", 2);
    store::Table& t = table(15, 35, "TMP_1503", "CPF");
    add(t, {{"CPF", "12345678909"}, {"I2_07", 10}, {"I2_05", 1}});
    t.goTop();
    keys(
        // To the name: the form opens.
        "key Right\nkey Right\nkey Right\nkey Enter\n"
        "type FAZENDA BOA VISTA\nkey Enter\n"
        "type 150\nkey Enter\nexpect Valor acima de 100%\nkey Enter\n"
        "key Home\nkey Ctrl+Y\ntype 50\nkey Enter\n"
        "type ESTRADA VELHA\nkey Enter\ntype 10\nkey Enter\n"
        "type XX\nexpect Sigla de estado inválida: XX\nkey Enter\n"
        "key Home\nkey Ctrl+Y\ntype SP\n"
        "key Enter\n"  // no complement
        "type CAMPINAS\nkey Enter\n"
        "key Enter\nkey Enter\nkey Enter\nkey Enter\nkey Enter\n"
        // The third party: not more than the owner, a condition that exists.
        "type 60\nkey Enter\nexpect Ela não pode ser maior que o proprietário!\nkey Enter\n"
        "key Home\nkey Ctrl+Y\ntype 20\nkey Enter\n"
        "type 9\nexpect Condição de Terceiro Participante\nkey Enter\n"
        "key Home\nkey Ctrl+Y\ntype 1\n"
        "type JOSE\nkey Enter\ntype 11144477735\n"
        "key Esc\n");
    ASSERT_TRUE(run(editor::screens::kRuralProperties)) << failure;
    EXPECT_THAT(column(t, "I2_01"), ElementsAre("FAZENDA BOA VISTA"));
    EXPECT_THAT(column(t, "I2_04"), ElementsAre("50.00"));
    EXPECT_THAT(column(t, "UF_IMR"), ElementsAre("SP"));
    EXPECT_THAT(column(t, "DISTR_IMR"), ElementsAre("CAMPINAS"));
    EXPECT_THAT(column(t, "CODM_IMR"), ElementsAre("3509502"));
    EXPECT_THAT(column(t, "PERC_CONTR"), ElementsAre("20.00"));
    EXPECT_THAT(column(t, "TIPO_CONTR"), ElementsAre("1.00"));
    EXPECT_THAT(column(t, "NOME_CONTR"), ElementsAre("JOSE"));
    EXPECT_THAT(column(t, "CPF_CONTR"), ElementsAre("11144477735"));
    EXPECT_THAT(column(t, "I2_00"), ElementsAre("1.00"));
}

// The open taxpayer's lists: only the companies among the paying sources,
// Enter taking the payer's number; the capital gains shown without the
// variable-income rows and Enter taking nothing.
TEST_F(Checks, TheTaxpayersOwnListsShowTheirRowsOnly) {
    store::Table& t = income();
    add(t, {{"CPF", "12345678909"}, {"I1_1", "F"}, {"I1_2", "PESSOA FISICA"}, {"I1_3", "111"}});
    add(t, {{"CPF", "12345678909"},
            {"I1_1", "J"},
            {"I1_2", "EMPRESA UM"},
            {"I1_3", "11.222.333/0001-81"},
            {"I1_413", 1500.0}});
    add(t, {{"CPF", "12345678909"}, {"I1_1", "J"}, {"I1_2", "EMPRESA DOIS"}, {"I1_3", "222"}});
    keys("key Ctrl+P\nkey Enter\n");
    const Value payer = editor::GERAL2("M->CGCPAGADOR", Value());
    EXPECT_EQ(base::alltrim(payer.text()), "11.222.333/0001-81");
    ASSERT_EQ(snaps.size(), 1u);
    std::string shown;
    for (const std::string& row : snaps[0])
        shown += row + "\n";
    EXPECT_THAT(shown, HasSubstr("EMPRESA DOIS"));
    EXPECT_THAT(shown, HasSubstr("1.500,00"));
    EXPECT_THAT(shown, ::testing::Not(HasSubstr("PESSOA FISICA")));

    store::Table& gains = table(7, 27, "TMP_703", "CPF");
    add(gains, {{"CPF", "12345678909"}, {"BEM_NRO", 1}, {"TIPO_BEM", 1}, {"ESPC_BEM1", "APTO"}});
    add(gains, {{"CPF", "12345678909"}, {"RVAR_NRO", 3}, {"TIPO_BEM", 4}, {"ESPC_BEM1", "BOLSA"}});
    snaps.clear();
    keys("key Ctrl+P\nkey Enter\n");
    EXPECT_TRUE(editor::GERAL2("M->TIPO_BEM", Value()).isEmpty());
    ASSERT_EQ(snaps.size(), 1u);
    shown.clear();
    for (const std::string& row : snaps[0])
        shown += row + "\n";
    EXPECT_THAT(shown, HasSubstr("APTO"));
    EXPECT_THAT(shown, ::testing::Not(HasSubstr("BOLSA")));
}

// A list over a scratch copy that is not open says so and gives nothing.
TEST_F(Checks, AListOfAScratchCopyNotOpenIsTold) {
    keys("expect não pôde ser aberta\nkey Enter\n");
    try {
        EXPECT_TRUE(editor::GERAL2("M->CGCPAGADOR", Value()).isEmpty());
    } catch (const platform::HeadlessStop& stop) {
        FAIL() << stop.message;
    }
}

// A form outside the list screens limits the account list to its range
// while it runs; afterwards the list offers every account again.
TEST_F(Checks, AFormsAccountRangeLimitsTheListWhileItLives) {
    store::Table& chart = table(58, 58, "CONTAS", "CDCONTA");
    add(chart, {{"CDCONTA", "1001"}, {"NMDESCRICA", "TRABALHO NAO ASSALARIADO"}});
    add(chart, {{"CDCONTA", "8001"}, {"NMDESCRICA", "VENDA DE PRODUCAO RURAL"}});
    auto shown = [this] {
        std::string text;
        for (const std::string& row : snaps.back())
            text += row + "\n";
        return text;
    };
    {
        const editor::AccountListRange rural(editor::AccountRange{8000, 10000});
        keys("key Ctrl+P\nkey Enter\n");
        EXPECT_EQ(base::alltrim(editor::GERAL2("M->CDCONTA", Value()).text()), "8001");
        ASSERT_EQ(snaps.size(), 1u);
        EXPECT_THAT(shown(), HasSubstr("VENDA DE PRODUCAO RURAL"));
        EXPECT_THAT(shown(), ::testing::Not(HasSubstr("TRABALHO NAO ASSALARIADO")));
    }
    keys("key Ctrl+P\nkey Esc\n");
    EXPECT_TRUE(editor::GERAL2("M->CDCONTA", Value()).isEmpty());
    ASSERT_EQ(snaps.size(), 2u);
    EXPECT_THAT(shown(), HasSubstr("TRABALHO NAO ASSALARIADO"));
}
