// The terms printed alone: the pages, the last entry and the kind of book
// typed on the headless console; the print file is read back.

#include <gtest/gtest.h>

#include "darf_fixture.h"
#include "on_screen.h"
#include "printed_pages.h"
#include "reports/declaration_print.h"

namespace kdx2::reports_test {
namespace {

class TermsDialogue : public DarfTest {
  protected:
    void SetUp() override {
        DarfTest::SetUp();
        base::NamedValues& s = base::session();
        s.set("ENDERECO", "RUA DAS FLORES");
        s.set("MUNICIPIO", "SAO PAULO");
        s.set("UF", "SP");
        s.set("DDDTEL", "11");
        s.set("DDDFAX", "11");
        s.set("NROFAX", "33334444");
        s.set("EMAIL", "joao@example.com");
        printing::setPrintWorkingValues();
    }

    // Prints page 7 with the answers of `script`; what FOLHA returned.
    bool terms(const std::string& script) {
        EXPECT_TRUE(printing::PREP_IMP());
        bool printed = false;
        onScreen(script, [&] { printed = reports::FOLHA(7); });
        EXPECT_TRUE(printing::closePrintOutput());
        return printed;
    }

    std::string text() const { return joinedLines(printedLines()); }
};

TEST_F(TermsDialogue, RuralBookTermsWithTheTypedPagesAndDate) {
    ASSERT_TRUE(terms("type 12\nkey Enter\ntype 07122026\ntype 2\n"));
    const std::string all = text();
    EXPECT_TRUE(has(all, "Este livro contem 12 folhas numeradas sequencialmente de 1 a 12 e"));
    EXPECT_TRUE(has(all, "servira para o lancamento das receitas e despesas na atividade rural,"));
    EXPECT_TRUE(has(all, "Ultimo lancamento efetuado em 7 de dezembro de 2026"));
    EXPECT_TRUE(has(all, "LIVRO CAIXA (Lei Numero 9.250/95 , art. 18)        Pag. 001"));
    EXPECT_TRUE(has(all, "LIVRO CAIXA (Lei Numero 9.250/95 , art. 18)        Pag. 012"));
    EXPECT_TRUE(has(all, "no ano calendario 2025"));
    EXPECT_TRUE(has(all, "FAX: (11) 33334444"));
    EXPECT_TRUE(has(all, "Email joao@example.com"));
    // The closing term is on a page of its own.
    const std::vector<std::string> lines = printedLines();
    EXPECT_EQ(std::count(lines.begin(), lines.end(), "\f"), 1);
}

TEST_F(TermsDialogue, AnotherKindOrEscPrintsNothing) {
    EXPECT_FALSE(terms("type 12\nkey Enter\ntype 07122026\ntype 3\n"));
    EXPECT_TRUE(printFile().empty());
    EXPECT_FALSE(terms("key Esc\n"));
    EXPECT_TRUE(printFile().empty());
}

}  // namespace
}  // namespace kdx2::reports_test
