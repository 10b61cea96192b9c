#include <gtest/gtest.h>

#include <fstream>

#include "whole_program.h"

using namespace kdx2::e2e;

namespace {

class Startup : public WholeProgram {};

}  // namespace

TEST_F(Startup, FirstStartInAnEmptyFolderCreatesTheTerminalsRecords) {
    const ProgramRun result = run({"expect Exercício 2026", "expect Ano Base  2025",
                                   "expect Term. 00", "expect Versao 3.00 03/01/26", "key Alt+T"});
    ASSERT_EQ(result.exitCode, 0) << result.errors;

    const auto config = records("CONFIG.DBF");
    ASSERT_EQ(config.size(), 1u);
    EXPECT_EQ(field(config[0], "NRO_TERM"), "00");
    EXPECT_EQ(field(config[0], "QUEANO"), "2025");
    EXPECT_EQ(field(config[0], "QMEDIA"), "6");
    EXPECT_EQ(field(config[0], "TEMP_SAL"), "20");
    EXPECT_EQ(field(config[0], "ROTADOANO"), "C:\\");
    EXPECT_EQ(field(config[0], "ROTARECEI"),
              "C:\\ARQUIVOS DE PROGRAMAS RFB\\IRPF2018\\TRANSMITIDAS");
    EXPECT_EQ(field(config[0], "MOSIMP"), "S");
    EXPECT_EQ(field(config[0], "QUERSEN"), "True");
    EXPECT_EQ(field(config[0], "STAT_1"), "Convertido");
    EXPECT_EQ(field(config[0], "ULT_TER"), "1");

    const auto cores = records("CORES.DBF");
    ASSERT_EQ(cores.size(), 1u);
    EXPECT_EQ(field(cores[0], "NRO_TERM"), "00");
    EXPECT_EQ(field(cores[0], "COR_TEL1"), "30");
    EXPECT_EQ(field(cores[0], "COR_MENS"), "112");
    EXPECT_EQ(field(cores[0], "COR_1_CLI"), "GR+/B");
    EXPECT_EQ(field(cores[0], "COR_ENCH_C"), "W+/B");

    const auto folders = records("DIRET00.DBF");
    ASSERT_EQ(folders.size(), 1u);
    EXPECT_EQ(field(folders[0], "SELEC"), "S");
    EXPECT_EQ(field(folders[0], "DIRETOR"), "C:\\");
}

TEST_F(Startup, TerminalSevenFromTheEnvironment) {
    const ProgramRun result = run({"expect Term. 07"}, {{"TERMINAL", "7"}});
    ASSERT_EQ(result.exitCode, 0) << result.errors;
    EXPECT_TRUE(std::filesystem::exists(drive / "DIRET07.DBF"));
    const auto config = records("CONFIG.DBF");
    ASSERT_EQ(config.size(), 1u);
    EXPECT_EQ(field(config[0], "NRO_TERM"), "07");
}

TEST_F(Startup, DarfThenLastPageIsStoredAtOnceAndLimitedAtTheExit) {
    const Script choose = {
        "menu Seleção > 1- O que imprimir > DARF",
        "expect Seleção para impressão",
        "key Enter",
        "menu Seleção > 3 - Qual página > Abertura e Encerra",
        "expect 3  - Folha Única",
        "key Enter",
    };
    const ProgramRun running = run(choose);
    ASSERT_EQ(running.exitCode, 0) << running.errors;
    auto config = records("CONFIG.DBF");
    ASSERT_EQ(config.size(), 1u);
    EXPECT_EQ(field(config[0], "QUEIMP"), "2");
    EXPECT_EQ(field(config[0], "QUEPAG"), "8");

    Script leave = choose;
    leave.push_back("key Alt+T");
    const ProgramRun left = run(leave);
    ASSERT_EQ(left.exitCode, 0) << left.errors;
    config = records("CONFIG.DBF");
    EXPECT_EQ(field(config[0], "QUEPAG"), "2");
}

TEST_F(Startup, CalculatorFromAChooserShowsTwenty) {
    const ProgramRun result =
        run({"menu Opções > Mudar as Cores", "expect Fundo Geral", "key Alt+A", "type 2+3*4="});
    ASSERT_EQ(result.exitCode, 0) << result.errors;
    // The calculator's display: screen row 13 (grid row 12), columns 11-36.
    ASSERT_GE(result.screen.size(), 14u);
    const std::string display = columns(result.screen[13], 11, 26);
    EXPECT_EQ(columns(display, 0, 1), "│");
    EXPECT_EQ(trimmed(columns(display, 1, 24)), "20") << display;
}

TEST_F(Startup, DamagedColourTableIsReportedAndTheProgramStarts) {
    std::ofstream(drive / "CORES.DBF") << "not a table";
    const ProgramRun result = run({"expect CORES", "key Enter", "expect Exercício 2026"});
    EXPECT_EQ(result.exitCode, 0) << result.errors;
}

TEST_F(Startup, MissingDataFolderAskedAndRefused) {
    ASSERT_EQ(run({"key Alt+T"}).exitCode, 0);
    setField("CONFIG.DBF", "ROTADOANO", "C:\\NADA");
    const ProgramRun refused =
        run({"expect A Pasta C:\\NADA não foi encontrada!", "expect Não - Sai do programa!",
             "key Right", "key Enter", "expect nunca chega aqui"});
    EXPECT_EQ(refused.exitCode, 0) << refused.errors;
    EXPECT_EQ(field(records("CONFIG.DBF")[0], "ROTADOANO"), "C:\\NADA");

    const ProgramRun accepted =
        run({"expect não foi encontrada!", "key Enter", "expect Exercício"});
    EXPECT_EQ(accepted.exitCode, 0) << accepted.errors;
    EXPECT_EQ(field(records("CONFIG.DBF")[0], "ROTADOANO"), "C:\\");
}
