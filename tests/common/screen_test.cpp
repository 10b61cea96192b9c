#include "base/text.h"

#include <gtest/gtest.h>
#include "base/text.h"

#include "base/text.h"

#include "base/named_values.h"
#include "base/text.h"

#include "base/process_state.h"
#include "base/text.h"

#include "common/choosers.h"
#include "common/colours.h"
#include "common/messages.h"
#include "common/screen_messages.h"
#include "common/windows.h"
#include "ui/dialog.h"
#include "ui/statusbar.h"
#include "ui/ui_session.h"

using namespace kdx2;
using namespace kdx2::common;
using kdx2::ui::testing::UiSession;

namespace {

// The UI layer on a headless console with the screen messages installed and
// the session colours of a new terminal.
class OnScreen {
  public:
    explicit OnScreen(std::string_view script) : ui_(script) {
        setDefaultColours(base::session());
        installScreenMessages();
    }
    ~OnScreen() { removeScreenMessages(); }
    UiSession& ui() { return ui_; }

  private:
    // Before the screen starts, so that the reset does not stop it.
    struct FreshProcess {
        FreshProcess() { base::resetProcessState(); }
    } fresh_;
    UiSession ui_;
};

MensRequest request(int kind, std::string text, int lines = 1, MensColumn column = MensColumn{}) {
    MensRequest r;
    r.kind = kind;
    r.text = MessageLines(std::move(text));
    r.options.lines = lines;
    r.options.column = column;
    return r;
}

}  // namespace

TEST(MessageLayout, WidthWrappingAndTheGridsLimits) {
    const MensLayout wrapped = mensLayout(request(3, std::string(150, 'a'), 3));
    EXPECT_EQ(wrapped.width, 51);
    EXPECT_EQ(wrapped.lines, 3);
    EXPECT_EQ(wrapped.text.size(), 153u);

    const MensLayout standard = mensLayout(request(13, "Encerrando..."));
    EXPECT_EQ(standard.width, 14);
    EXPECT_EQ(standard.column, 70 - 14);
    EXPECT_EQ(standard.row, 20);
    EXPECT_EQ(mensLayout(request(1, std::string(49, 'x'), 1, MensColumn::centred())).column, 15);

    // A folder of 40 characters in a long message: column kept on the grid,
    // text cut to what fits.
    const MensLayout wide =
        mensLayout(request(11, std::string(120, 'z'), 1, MensColumn::centred()));
    EXPECT_LE(wide.column + wide.width + 1, 79);
    EXPECT_GE(wide.column, 1);
    EXPECT_LT(wide.text.size(), 80u);
    MensRequest low = request(1, "x");
    low.options.row = 24;
    EXPECT_LE(mensLayout(low).row + 2, 24);
}

// A question given as two lines shows each on its own row, whole, with no
// line-break characters drawn as glyphs.
TEST(MessageLayout, GivenLinesKeepTheirRows) {
    MensRequest question = request(2, "", 1, MensColumn::centred());
    question.text = MessageLines({"No código 2001 já existe valor lançado nesse mês ",
                                  "       Soma ao valor existente ?               "});
    const MensLayout layout = mensLayout(question);
    EXPECT_EQ(layout.lines, 2);
    ASSERT_EQ(layout.text.size(), size_t(2 * layout.width));
    EXPECT_EQ(base::rtrim(layout.text.substr(0, size_t(layout.width))),
              base::rtrim(question.text.lines()[0]));
    EXPECT_EQ(base::rtrim(layout.text.substr(size_t(layout.width))),
              "       Soma ao valor existente ?");
    EXPECT_EQ(layout.text.find('\r'), std::string::npos);
    EXPECT_GE(layout.column, 1);
    EXPECT_LE(layout.column + layout.width + 3, 80);
}

TEST(MessagesOnScreen, QuestionWaitsForAnAcceptedLetter) {
    OnScreen screen("type x\ntype 7\ntype n\n");
    MensOptions options;
    options.column = MensColumn::centred();
    options.answers = "SN";
    EXPECT_EQ(MENS(2, "Continua?", options).text(), "N");
    EXPECT_FALSE(windowOpen(10));
}

TEST(MessagesOnScreen, OpenWindowStaysUntilClosed) {
    OnScreen screen("");
    const std::string before = screen.ui().screen();
    MENS(13, "Encerrando...");
    EXPECT_TRUE(screen.ui().shows("Encerrando..."));
    EXPECT_TRUE(windowOpen(10));
    FECHAJAN(10);
    EXPECT_EQ(screen.ui().screen(), before);
}

TEST(MessagesOnScreen, PromptEditsTheValueAndEscEmptiesIt) {
    // Typing the one digit the field holds ends the prompt.
    OnScreen screen("type 3\ntype 5\nkey Home\nkey Esc\n");
    base::Value copies(1);
    MensOptions options;
    options.variable = &copies;
    options.width = 1;
    options.picture = "@ 9";
    EXPECT_EQ(MENS(4, "Informe o nro vias (vezes) a imprimir", options).number(), 3);
    EXPECT_EQ(copies.number(), 3);
    EXPECT_EQ(MENS(4, "Informe o nro vias (vezes) a imprimir", options).number(), 5);
    EXPECT_EQ(MENS(4, "Informe o nro vias (vezes) a imprimir", options).number(), 0);
    EXPECT_EQ(copies.number(), 0);
}

TEST(MessagesOnScreen, BoxesAnswerWithTheButtonChosen) {
    OnScreen screen("key Right\nkey Enter\nkey Enter\n");
    EXPECT_EQ(AVISOSN("Confirma?", box::kYesNo), "N");
    EXPECT_EQ(AVISOSN("Confirma?", box::kYesNo), "S");
}

TEST(MessagesOnScreen, StatusLineGoesToTheStatusBar) {
    OnScreen screen("");
    ui::LSBDRAW({std::string(250, ' ')});
    MENS(0, "Aguarde...");
    EXPECT_EQ(screen.ui().row(26).substr(0, 10), "Aguarde...");
    MENS();
    EXPECT_EQ(screen.ui().row(26).find("Aguarde"), std::string::npos);
}

TEST(Choosers, BarChooserByKeysAndByLetters) {
    OnScreen screen("key Down\nkey Down\nkey Enter\ntype c\nkey Esc\n");
    DEFINEJAN(5, 30, 31, 63, 5, 10, 9, 30, 0);
    ABREJAN(5);
    ESCRJAN(5, "Primeiro             Segundo              Terceiro             ");
    base::session().set("OPCOES", "ABC");
    base::session().set("POSVER", 0);
    EXPECT_EQ(ESC_OPCAO(5, 3, 1, 21, 0), 3);
    EXPECT_EQ(base::session().integer("POSVER"), 3);
    base::session().set("POSVER", 1);
    EXPECT_EQ(ESC_OPCAO(5, 3, 1, 21, 0), 3);  // the letter C
    EXPECT_EQ(ESC_OPCAO(5, 3, 1, 21, 0, 1), 0);
    EXPECT_FALSE(windowOpen(5));  // closed when asked to
}

TEST(Choosers, StarChooserStopsAtTheEnds) {
    OnScreen screen("key Up\nkey End\nkey Down\nkey Enter\nkey Home\nkey Esc\n");
    DEFINEJAN(4, 30, 31, 63, 5, 10, 9, 30, 0);
    ABREJAN(4);
    EXPECT_EQ(ESC_ITEM(4, 4, 1, 0, 2), 4);
    EXPECT_EQ(ESC_ITEM(4, 4, 1, 0, 2), 0);
}

TEST(Help, KeySummariesInAnOkBox) {
    EXPECT_EQ(generalHelpLines().size(), 16u);
    EXPECT_EQ(functionHelpLines().size(), 20u);
    OnScreen screen("expect Ctrl Y Apaga a linha a partir do cursor.\nkey Enter\n");
    HELPGER();
}
