// The headless contract as a script user sees it: the demo program run as
// its own process with `--headless SCRIPT`.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>

namespace {

struct DemoRun {
    int exitCode = -1;
    std::string out;
    std::string err;
};

std::string readAll(const std::string& path) {
    std::ifstream in(path);
    std::ostringstream all;
    all << in.rdbuf();
    return all.str();
}

DemoRun runDemo(const std::string& script) {
    const std::string base = ::testing::TempDir() + "kdx2_headless_" + std::to_string(::getpid());
    std::ofstream(base + ".txt") << script;
    const std::string command = std::string(KDX2_TEST_PROGRAMS) + "/ui_demo --headless " + base +
                                ".txt >" + base + ".out 2>" + base + ".err";
    DemoRun run;
    const int status = std::system(command.c_str());
    run.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    run.out = readAll(base + ".out");
    run.err = readAll(base + ".err");
    for (const char* ext : {".txt", ".out", ".err"})
        std::remove((base + ext).c_str());
    return run;
}

}  // namespace

TEST(HeadlessRun, ScriptEndsWithTheScreenOnStandardOutput) {
    const DemoRun run = runDemo(
        "# a form and a message box\n"
        "key Alt+F\n"
        "expect Cadastro\n"
        "type ana\n"
        "key Enter\n"
        "type 12345678909\n"
        "key PgDn\n"
        "expect ANA\n"
        "menu Arquivo > Mensagem\n"
        "expect Deseja continuar?\n"
        "key Right\n"
        "key Enter\n");
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_NE(run.out.find("CPF:   123.456.789-09"), std::string::npos) << run.out;
    EXPECT_NE(run.out.find("Resposta: 2"), std::string::npos) << run.out;
    EXPECT_NE(run.out.find(" Arquivo  Opções"), std::string::npos) << run.out;  // menu bar row
    EXPECT_EQ(run.out.find("Cadastro"), std::string::npos) << run.out;
}

TEST(HeadlessRun, FailedExpectExitsTwoNamingTheLine) {
    const DemoRun run = runDemo("key Alt+F\nexpect Não existe\nkey Esc\n");
    EXPECT_EQ(run.exitCode, 2);
    EXPECT_NE(run.err.find("linha 2"), std::string::npos) << run.err;
    EXPECT_NE(run.err.find("Não existe"), std::string::npos) << run.err;
}

TEST(HeadlessRun, BadLineStopsBeforeAnythingRuns) {
    const DemoRun run = runDemo("key Alt+F\ntype x\npress Enter\n");
    EXPECT_EQ(run.exitCode, 2);
    EXPECT_NE(run.err.find("linha 3"), std::string::npos) << run.err;
    EXPECT_EQ(run.out.find("Cadastro"), std::string::npos);
}

TEST(HeadlessRun, ProgramEndingFirstStillShowsItsScreen) {
    const DemoRun run = runDemo("key Esc\nkey Enter\n");
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_NE(run.out.find("Programa de demonstração"), std::string::npos) << run.out;
    EXPECT_NE(run.err.find("linha 2"), std::string::npos) << run.err;
}
