#include <gtest/gtest.h>

#include <fstream>

#include "whole_program.h"

using namespace kdx2::e2e;

namespace {

class Pages : public WholeProgram {
  protected:
    // The taxpayer's register row (none: an empty row).
    Row registered() {
        const auto rows = rowsOf("IRM9.DBF");
        return rows.empty() ? Row{} : rows.front();
    }
};

// Command 11 on a CPF found nowhere, created: the identification form opens
// with the cursor on "Tem Atividade Rural".
Script newTaxpayer() {
    return {"key Alt+I",
            "expect Ordem CPF",
            "type " + std::string(kNewCpf),
            "expect Inclui na pasta atual?",
            "key Enter",
            "expect Tem Atividade Rural"};
}

const Script kSaveAndLeave = {"key Esc", "key Alt+T", "expect Ordem CPF", "key Esc",
                              "expect Exercício"};

}  // namespace

TEST_F(Pages, ANewTaxpayerIsIdentifiedFirstAndEveryCheckedFieldIsStored) {
    Script script = newTaxpayer();
    script += {
        "key Enter",  // no rural activity
        "type Maria da Silva",
        "key Enter",
        "type 15031980",  // a full date moves on by itself
        "expect Idade 46 anos  9 meses",
        "key Enter",  // voter title
        "key Enter",  // spouse
        "key Enter",  // joint declaration
        "type 1234567890",
        "key Enter",
        "expect Recibo 2026 1234567890-91",
        // Wrong check digits are refused and the cursor stays.
        "type 123456789099",
        "expect Numero do recibo invalido",
        "key Enter",
        "key Home",
        "key Ctrl+Y",
        "key Enter",
    };
    for (int i = 0; i < 5; ++i)
        script.push_back("key Enter");  // bank, branch, account, access data
    script += {"type rua", "key Enter", "expect Tipo RUA", "type DAS FLORES",   "key Enter",
               "type 10",  "key Enter", "key Enter",       "key Enter",         "key Enter",
               "type ex",  "key Enter", "expect BRASILIA", "expect Código 9701"};
    script += kSaveAndLeave;
    const ProgramRun result = run(script, {}, "2026-06-15 10:00:00");
    ASSERT_EQ(result.exitCode, 0) << result.errors;

    const Row row = registered();
    EXPECT_EQ(field(row, "NOMECONTR"), "Maria da Silva");
    EXPECT_EQ(field(row, "NASCIMENTO"), "1980-03-15");
    EXPECT_EQ(field(row, "RECIBOATU"), "123456789091");
    EXPECT_EQ(field(row, "RECIBOANT"), "");  // the refused number was never stored
    EXPECT_EQ(field(row, "TIPOEND"), "RUA");
    EXPECT_EQ(field(row, "UF"), "EX");
    EXPECT_EQ(field(row, "MUNICIPIO"), "BRASILIA");
    EXPECT_EQ(field(row, "CODMUNI"), "9701");
    EXPECT_EQ(field(row, "TEMRURAL"), "N");
}

TEST_F(Pages, AMunicipalityIsFoundInItsStateAndAnUnknownStateIsRefused) {
    Script script = newTaxpayer();
    script += {"key Enter", "type JOAO", "key Enter"};
    for (int i = 0; i < 17; ++i)
        script.push_back("key Enter");  // to the state
    script += {"type ZZ",
               // The list of states opens on an unknown one; leaving it
               // without a choice refuses the state.
               "key Esc", "expect Sigla de estado inválida", "key Enter", "key Home", "type SP",
               // A full field moves on by itself.
               "type campinas", "key Enter", "expect Código 6291"};
    script += kSaveAndLeave;
    const ProgramRun result = run(script);
    ASSERT_EQ(result.exitCode, 0) << result.errors;
    const Row row = registered();
    EXPECT_EQ(field(row, "UF"), "SP");
    EXPECT_EQ(field(row, "MUNICIPIO"), "CAMPINAS");
    EXPECT_EQ(field(row, "CODMUNI"), "6291");
}

TEST_F(Pages, TheNameCannotBeLeftEmptyEvenByAPageKey) {
    Script script = newTaxpayer();
    script += {"key Enter", "key F1", "expect Informe o nome do contribuinte.", "key Enter",
               "type ANA",  "key F1", "expect RENDIMENTOS TRIBUTAVEIS"};
    script += kSaveAndLeave;
    const ProgramRun result = run(script);
    ASSERT_EQ(result.exitCode, 0) << result.errors;
    EXPECT_EQ(field(registered(), "NOMECONTR"), "ANA");
}

TEST_F(Pages, TabWalksEveryPageInOrderWithTheRuralPagesWhenThereIsRuralActivity) {
    Script script = newTaxpayer();
    script += {"type S",  // rural activity; a one-letter field moves on by itself
               "type JOSE RURAL",
               "key Tab",
               "expect RENDIMENTOS TRIBUTAVEIS",
               "key Tab",
               "expect Rend. Tribut.Recebido",
               "key Tab",
               "expect Nome Completo",
               "key Tab",
               "expect PAGAMENTOS E DOA",
               "key Tab",
               "expect Tem Atividade Rural",
               "key Tab",
               "expect Resumo Geral",
               "key Tab",
               "expect IDENTIFICACAO DA ATIVIDADE",
               "key Tab",
               "expect RECEITAS E DESPESAS",
               "key Tab",
               "expect RESULTADO TRIBUTAVEL",
               "key Tab",  // page 13 holds nothing: on to the first rural page
               "expect IDENTIFICACAO DA ATIVIDADE",
               "key Shift+Tab",
               "expect Resumo Geral",
               "key F5",
               "expect Tem Atividade Rural",
               "key F3",
               "expect Nome Completo",
               "key Esc",
               "expect Páginas  Rural  Ajuda"};
    script += {"key Alt+T", "expect Ordem CPF", "key Esc"};
    const ProgramRun result = run(script);
    ASSERT_EQ(result.exitCode, 0) << result.errors;
    EXPECT_EQ(field(registered(), "TEMRURAL"), "S");
}

TEST_F(Pages, WithoutRuralActivityTabGoesFromTheSummaryToTheFirstPageAndRuralItemsSaySo) {
    Script script = newTaxpayer();
    script += {"key Enter",
               "type ANA",
               "key F6",
               "expect Resumo Geral",
               "key Tab",
               "expect RENDIMENTOS TRIBUTAVEIS",
               "key Esc",
               "menu Rural > Apuração (F12)",
               "expect Atividade Rural. Se for o caso"};
    const ProgramRun result = run(script);
    ASSERT_EQ(result.exitCode, 0) << result.errors;
}

TEST_F(Pages, ARuralRevenueAgainstALargerPreviousLossIsNotTaxedAndTheRestIsCarried) {
    Script script = newTaxpayer();
    script += {"type S",
               "type JOSE RURAL",
               "key Enter",
               "key F11",
               "expect RECEITAS E DESPESAS",
               "key Alt+A",  // totals only: the months are typed
               "expect Só Totais",
               "type 10000",
               "key Enter",
               "expect 10.000,00",
               "key Tab",
               "expect RESULTADO TRIBUTAVEL",
               "type 15000",
               "key Enter",
               "expect 5.000,00",
               "type X",  // the option is S or N only
               "expect Informe com S ou N",
               "key Enter"};
    script += kSaveAndLeave;
    const ProgramRun result = run(script);
    ASSERT_EQ(result.exitCode, 0) << result.errors;
    const auto rural = rowsOf("IRM10.DBF");
    ASSERT_EQ(rural.size(), 1u);
    EXPECT_EQ(field(rural[0], "I4_01"), "10000.0");
    EXPECT_EQ(field(rural[0], "I4_04"), "15000.0");
    EXPECT_EQ(field(rural[0], "I4_05"), "10000.0");
    EXPECT_EQ(field(rural[0], "I4_06"), "0.0");
    EXPECT_EQ(field(rural[0], "I5_08"), "5000.0");
    EXPECT_EQ(field(rural[0], "OPTA"), "N");
}

// Alt+U on an amount of a form converts it by the month's factor; a month
// without a factor converts to 0, which leaves the amount as it was.
TEST_F(Pages, AltUWithoutAFactorForTheMonthLeavesTheAmountAsItWas) {
    Script script = newTaxpayer();
    script += {"type S",
               "type JOSE RURAL",
               "key Enter",
               "key F12",
               "expect RESULTADO TRIBUTAVEL",
               "type 100",
               "key Enter",
               "key Up",
               "key Alt+U",
               "expect Conversão pelo fator do mês",
               "key Enter",
               "type 1000",
               "key Enter",
               "expect 100,00"};
    script += kSaveAndLeave;
    const ProgramRun result = run(script);
    ASSERT_EQ(result.exitCode, 0) << result.errors;
    const auto rural = rowsOf("IRM10.DBF");
    ASSERT_EQ(rural.size(), 1u);
    EXPECT_EQ(field(rural[0], "I4_04"), "100.0");
}

// An income's amount broken into months: Enter on the amount opens its
// months again with January kept, Alt+U on the contribution beside it opens
// that column's months; each total lands in its column and the list's.
TEST_F(Pages, AmountsOfAnIncomeAreBrokenIntoMonths) {
    Script script = newTaxpayer();
    script += {"key Enter",
               "type ANA",
               "key Enter",
               "key F1",
               "expect Fonte pagadora",
               "type ACME LTDA",
               "key Enter",
               "type 1000",
               "expect  Rendimentos  ",
               "key Enter",
               "key Esc",
               "key Enter",  // the same cell again: January is there
               "expect 1.000,00",
               "key Down",
               "key Down",
               "type 250,5",
               "key Enter",
               "expect 1.250,50",
               "key Esc",
               "key Right",
               "key Alt+U",
               "expect  Previdência  ",
               "key Down",
               "type 80",
               "key Enter",
               "key Esc",
               "expect 80,00"};
    script += kSaveAndLeave;
    const ProgramRun result = run(script);
    ASSERT_EQ(result.exitCode, 0) << result.errors;
    const auto income = rowsOf("IRM2.DBF");
    ASSERT_EQ(income.size(), 1u);
    EXPECT_EQ(field(income[0], "I1_401"), "1000.0");
    EXPECT_EQ(field(income[0], "I1_402"), "0.0");
    EXPECT_EQ(field(income[0], "I1_403"), "250.5");
    EXPECT_EQ(field(income[0], "I1_413"), "1250.5");
    EXPECT_EQ(field(income[0], "I1_602"), "80.0");
    EXPECT_EQ(field(income[0], "I1_613"), "80.0");
}

// An amount typed on a row not yet added is its total; the month window
// opened on it afterwards shows it in January, so closing it keeps it.
TEST_F(Pages, AnAmountTypedOnANewRowComesBackInJanuary) {
    Script script = newTaxpayer();
    script +=
        {"key Enter", "type ANA", "key Enter", "key F4", "expect Nome do benefici", "key End",
         "type 700", "key Enter",
         // Back from the next row to the amount: the window on the row just added.
         "key Up", "key End", "key Enter", "expect  Total Despesa", "expect 700,00", "key Esc"};
    script += kSaveAndLeave;
    const ProgramRun result = run(script);
    ASSERT_EQ(result.exitCode, 0) << result.errors;
    const auto payments = rowsOf("IRM6.DBF");
    ASSERT_EQ(payments.size(), 1u);
    EXPECT_EQ(field(payments[0], "I6_401"), "700.0");
    EXPECT_EQ(field(payments[0], "I6_4"), "700.0");
}

// Alt+T while a list cell is being typed leaves the declaration saving
// what was typed, as it does on the identification form.
TEST_F(Pages, AltTInTheMiddleOfACellKeepsWhatWasTyped) {
    Script script = newTaxpayer();
    script +=
        {"key Enter", "type MARIA TESTE", "key F1",  "expect Fonte pagadora", "type ACME LTDA",
         "key Alt+T", "expect Ordem CPF", "key Esc", "expect Exercício"};
    const ProgramRun result = run(script);
    ASSERT_EQ(result.exitCode, 0) << result.errors;
    const auto income = rowsOf("IRM2.DBF");
    ASSERT_EQ(income.size(), 1u);
    EXPECT_EQ(field(income[0], "I1_2"), "ACME LTDA");
    EXPECT_EQ(field(registered(), "NOMECONTR"), "MARIA TESTE");
}

// Alt+D switches the sums off on the identification and shows it on the
// top line of the page's frame, as the income page's frame shows it too;
// what is typed there still reaches the summary.
TEST_F(Pages, AltDSwitchesTheSumsOffAndTheSummaryStillAddsTheIncome) {
    Script script = newTaxpayer();
    script += {"key Enter",
               "type ANA",
               "key Enter",
               "key Alt+D",
               "expect Soma Desligada",
               "snap " + (drive / "identification.txt").string(),
               "key F1",
               "expect Fonte pagadora",
               "snap " + (drive / "income.txt").string(),
               "type ACME LTDA",
               "key Enter",
               "type 5000",
               "key Enter",
               "key Esc",
               "key F6",
               "expect Resumo Geral",
               "expect 5.000,00",
               "key F5",
               "expect Tem Atividade Rural",
               "key Alt+D",
               "expect Soma Ligada"};
    script += kSaveAndLeave;
    const ProgramRun result = run(script);
    ASSERT_EQ(result.exitCode, 0) << result.errors;
    // Where the label stands on a snapped screen, and how often it is there.
    auto labelOn = [this](const std::string& snap, size_t row, size_t column) {
        std::ifstream file(drive / snap);
        std::vector<std::string> rows;
        int times = 0;
        for (std::string line; std::getline(file, line);) {
            rows.push_back(line);
            times += line.find("Soma Desligada") != std::string::npos;
        }
        EXPECT_EQ(times, 1) << snap;
        return rows.size() > row ? columns(rows[row], column, 16) : std::string();
    };
    EXPECT_EQ(labelOn("identification.txt", 3, 63), "Soma Desligada ┐");
    EXPECT_EQ(labelOn("income.txt", 2, 64), "Soma Desligada ┐");
}

// With a one-minute interval, leaving a page a minute after the last save
// saves; leaving it sooner does not. The run ends without leaving the
// declaration, so only the automatic save can have written the name.
TEST_F(Pages, LeavingAPageAfterTheSaveIntervalSavesAutomatically) {
    ASSERT_EQ(run({"key Esc"}).exitCode, 0);  // creates the terminal's settings
    setField("CONFIG.DBF", "TEMP_SAL", "1");
    for (const int seconds : {0, 61}) {
        Script script = newTaxpayer();
        script += {"key Enter", "type ANA AUTOSAVE",
                   "key Enter", "wait " + std::to_string(seconds),
                   "key Tab",   "expect RENDIMENTOS TRIBUTAVEIS"};
        const ProgramRun result = run(script);
        ASSERT_EQ(result.exitCode, 0) << result.errors;
        if (seconds == 0)
            EXPECT_TRUE(rowsOf("IRM9.DBF").empty()) << "saved before the interval";
        else
            EXPECT_EQ(field(registered(), "NOMECONTR"), "ANA AUTOSAVE");
    }
}

TEST_F(Pages, ASpouseCpfWithWrongCheckDigitsIsRefusedAndNeverStored) {
    Script script = newTaxpayer();
    script += {"key Enter",
               "type ANA",
               "key Enter",
               "key Enter",
               "key Enter",
               "type 12345678900",  // fills the field, which is then checked
               "expect está incorreto",
               "key Enter"};
    script += kSaveAndLeave;
    const ProgramRun result = run(script);
    ASSERT_EQ(result.exitCode, 0) << result.errors;
    EXPECT_EQ(field(registered(), "NOMECONTR"), "ANA");
    EXPECT_EQ(field(registered(), "CPFCONJU"), "");
}

// The calculator of KDX2_CALC is started directly: a ";" in its command is
// part of an argument, not a second command.
TEST_F(Pages, AltKStartsTheConfiguredCalculatorWithoutAShell) {
    const std::string marker = (drive / "calc;ran").string();
    Script script = newTaxpayer();
    script += {"key Alt+K", "expect Tem Atividade Rural"};
    const ProgramRun result = run(script, {{"KDX2_CALC", "touch " + marker}});
    ASSERT_EQ(result.exitCode, 0) << result.errors;
    EXPECT_TRUE(std::filesystem::exists(marker));
    EXPECT_FALSE(std::filesystem::exists(drive / "calc"));
}

// A calculator that leaves its result in the file named by {RESULTADO}
// hands its last number to the amount being typed; one that fails hands
// nothing.
TEST_F(Pages, AltKHandsTheConfiguredCalculatorsLastNumberToTheAmount) {
    const std::filesystem::path calculator = drive / "calc.sh";
    for (const int status : {1, 0}) {
        {
            std::ofstream script(calculator);
            script << "#!/bin/sh\nprintf '2 * 617,28\\n= 1.234,56\\n' > \"$1\"\nexit " << status
                   << "\n";
        }
        std::filesystem::permissions(calculator, std::filesystem::perms::owner_all);
        Script script = newTaxpayer();
        script +=
            {"type S", "type JOSE RURAL", "key Enter", "key F12", "expect RESULTADO TRIBUTAVEL",
             "type 7", "key Alt+K",       "key Enter"};
        script += kSaveAndLeave;
        const ProgramRun result =
            run(script, {{"KDX2_CALC", calculator.string() + " {RESULTADO}"}});
        ASSERT_EQ(result.exitCode, 0) << result.errors;
        const auto rural = rowsOf("IRM10.DBF");
        ASSERT_EQ(rural.size(), 1u);
        EXPECT_EQ(field(rural[0], "I4_04"), status == 0 ? "1234.56" : "7.0") << status;
        std::filesystem::remove(drive / "IRM10.DBF");
        std::filesystem::remove(drive / "IRM9.DBF");
    }
}

TEST_F(Pages, TheOccupationIsFoundByItsCodeUnlessTheNatureHasNone) {
    Script script = newTaxpayer();
    script += {"key Enter", "type ANA", "key Enter"};
    for (int i = 0; i < 24; ++i)
        script.push_back("key Enter");  // to the nature of the occupation
    script += {"type 81",               // an estate has no principal occupation
               "expect O código 81 não tem a ocupação principal",
               "key Enter",
               "key Up",
               "type 02",
               "expect Empregado de instituições financeiras",
               "type 10",
               "key Enter",
               "expect Militar da Aeronáutica"};
    script += kSaveAndLeave;
    const ProgramRun result = run(script);
    ASSERT_EQ(result.exitCode, 0) << result.errors;
    const Row row = registered();
    EXPECT_EQ(field(row, "CODAT"), "02");
    EXPECT_EQ(field(row, "CDPRO"), "010");
    EXPECT_EQ(field(row, "OCUPACAO"), "Militar da Aeronáutica");
}

// The digital rural cash book's items: the accountant's CPF is checked, and
// the validation stops at the first thing the book lacks.
TEST_F(Pages, TheDigitalRuralBookChecksTheAccountantAndItsProperties) {
    Script script = newTaxpayer();
    script += {"type S", "type JOSE RURAL", "key Enter", "key F11", "key Alt+A",
               "key Alt+A",  // totals only, then the digital book
               "expect LCDPR", "key Esc",
               // The menu has the book's items from the next opening on.
               "key Alt+T", "expect Ordem CPF", "type " + std::string(kNewCpf),
               "expect Páginas  Rural  Ajuda", "menu Rural > Valida lançamentos",
               "expect Nenhum imóvel rural cadastrado!", "key Enter", "menu Rural > Contador",
               "type CONTADORA", "key Enter", "type 12345678900", "key Enter",
               "expect está incorreto", "key Enter", "key Esc"};
    script += {"key Alt+T", "expect Ordem CPF", "key Esc"};
    const ProgramRun result = run(script);
    ASSERT_EQ(result.exitCode, 0) << result.errors;
    const auto summary = rowsOf("IRM1.DBF");
    ASSERT_EQ(summary.size(), 1u);
    EXPECT_EQ(field(summary[0], "TIPO_LANCA"), "2");
    EXPECT_EQ(field(summary[0], "NOME_CONT"), "CONTADORA");
    EXPECT_EQ(field(summary[0], "CPFCNPJ_CO"), "");
}

TEST_F(Pages, AltSHandsTheCalculatorsResultToTheAmountBeingTyped) {
    Script script = newTaxpayer();
    script += {"type S",
               "type JOSE RURAL",
               "key Enter",
               "key F12",
               "expect RESULTADO TRIBUTAVEL",
               "key Alt+S",
               "type 12*3=",
               "key Ctrl+Enter",
               "key Enter",
               "expect 36,00"};
    script += kSaveAndLeave;
    const ProgramRun result = run(script);
    ASSERT_EQ(result.exitCode, 0) << result.errors;
    const auto rural = rowsOf("IRM10.DBF");
    ASSERT_EQ(rural.size(), 1u);
    EXPECT_EQ(field(rural[0], "I4_04"), "36.0");
}

// An existing taxpayer opens on the menu; the identification shows what was
// saved. F7 there asks for rural activity as the menu's item does; once it
// is marked, F7 opens the declaration's cash book, whose Esc comes to the
// first rural page.
TEST_F(Pages, ASavedIdentificationComesBackAndF7OpensTheCashBookOnlyWithRuralActivity) {
    Script script = newTaxpayer();
    script += {"key Enter",
               "type Maria da Silva",
               "key Enter",
               "type 15031980",
               "key Esc",
               "key Alt+T",
               "expect Ordem CPF",
               "type " + std::string(kNewCpf),
               "expect Páginas  Rural  Ajuda",
               "key F5",
               "expect Nome Maria da Silva",
               "expect Idade 45 anos  9 meses",
               "key F7",
               "expect Esse contribuinte não esta selecionado que tenha necessidade",
               "key Enter",
               "expect Tem Atividade Rural",
               "type S",
               "key F7",
               "expect Lançamentos para Maria da Silva",
               "key Esc",
               "expect IDENTIFICACAO DA ATIVIDADE E DO IMÓVEL EXPLORADO",
               "key Esc"};
    script += {"key Alt+T", "expect Ordem CPF", "key Esc"};
    const ProgramRun result = run(script);
    ASSERT_EQ(result.exitCode, 0) << result.errors;
}
