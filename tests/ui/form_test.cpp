#include <gtest/gtest.h>

#include "base/date.h"
#include "platform/console/keys.h"
#include "ui/button.h"
#include "ui/dialog.h"
#include "ui/get.h"
#include "ui_session.h"

using namespace kdx2;
using namespace kdx2::ui;
using kdx2::base::Value;
using kdx2::ui::testing::UiSession;
namespace keys = kdx2::platform::keys;

namespace {

// Where the cursor stood and which field was being edited when F9 came.
struct Probe {
    Get* field = nullptr;
    int row = -1;
    int col = -1;
};

void bindProbe(UiSession& session, Probe& probe) {
    bindKey(keys::function(9), [&session, &probe](Get* field) {
        probe.field = field;
        probe.row = session.console().cursorRow();
        probe.col = session.console().cursorCol();
    });
}

}  // namespace

TEST(Form, RefusedValidationKeepsTheCursorInTheField) {
    // The code 000 is refused: Enter leaves the cursor after it, in the same
    // field; a good code then moves on.
    UiSession session(
        "type 000\nkey Enter\nkey F9\nkey Home\nkey Ctrl+Y\ntype 123\nkey Enter\nkey Esc\n");
    Probe probe;
    bindProbe(session, probe);
    Value code("    ");
    Value other("  ");
    GetList form{Get::of(3, 10, code, "9999"), Get::of(4, 10, other)};
    int refusals = 0;
    form[0]->valid = [&refusals](Get& field) {
        Value typed;
        field.bufferValue(typed);
        if (typed.text() != "000 ") return true;
        ++refusals;
        return false;
    };
    const ReadResult result = readFields(form);
    EXPECT_EQ(refusals, 1);
    EXPECT_EQ(probe.field, form[0].get());
    EXPECT_EQ(probe.row, 1 + 3);  // grid row 3 under the menu-bar row
    EXPECT_EQ(probe.col, 13);     // where the typing stopped
    EXPECT_EQ(code.text(), "123 ");
    EXPECT_EQ(result.exit, ReadExit::Escape);
    EXPECT_EQ(result.position, 1);
}

TEST(Form, EntryConditionsSkipFieldsAndArrowsMoveBetweenThem) {
    UiSession session("key Down\nkey F9\nkey Up\nkey F9\nkey Down\nkey Down\n");
    std::vector<Get*> seen;
    bindKey(keys::function(9), [&seen](Get* field) { seen.push_back(field); });
    Value a("a"), b("b"), c("c");
    GetList form{Get::of(1, 1, a), Get::of(2, 1, b), Get::of(3, 1, c)};
    form[1]->when = [](Get&) { return false; };
    // Down on the last field stays there, so the script runs out inside the read.
    EXPECT_EQ(kdx2::ui::testing::runUntilScriptEnds([&form] { readFields(form); }), 0);
    ASSERT_EQ(seen.size(), 2u);
    EXPECT_EQ(seen[0], form[2].get());
    EXPECT_EQ(seen[1], form[0].get());
    EXPECT_EQ(activeGet(), nullptr);
}

TEST(Form, EscapeDropsTheFieldBeingEditedButKeepsThoseLeft) {
    UiSession session("type abc\nkey Enter\ntype xyz\nkey Esc\n");
    Value first("     "), second("     ");
    GetList form{Get::of(1, 1, first), Get::of(2, 1, second)};
    const ReadResult result = readFields(form);
    EXPECT_EQ(result.exit, ReadExit::Escape);
    EXPECT_TRUE(result.updated);
    EXPECT_EQ(first.text(), "abc  ");
    EXPECT_EQ(second.text(), "     ");
}

TEST(Form, InsertOverwriteAndEditingKeys) {
    UiSession session(
        // overwrite: X over a; insert: Y pushes the rest right
        "key Home\ntype X\nkey Ins\ntype Y\nkey Ins\nkey Enter\n"
        // End then Backspace removes the last character; Ctrl+Y clears to the end
        "key End\nkey Backspace\nkey Home\nkey Right\nkey Right\nkey Ctrl+Y\nkey Enter\n"
        // Ctrl+Right to the second word, Del removes its first letter
        "key Ctrl+Right\nkey Del\nkey Enter\n");
    Value one("abcdef"), two("abcdef"), three("ab cdef");
    GetList form{Get::of(1, 1, one), Get::of(2, 1, two), Get::of(3, 1, three)};
    readFields(form);
    EXPECT_EQ(one.text(), "XYbcde");
    EXPECT_EQ(two.text(), "ab    ");
    EXPECT_EQ(three.text(), "ab def ");
    EXPECT_FALSE(insertMode());
}

TEST(Form, ScrollingFieldShowsTheEndBeingTyped) {
    UiSession session("type ABCDEFGHIJKLMNO\nkey F9\nkey Enter\n");
    Probe probe;
    bindProbe(session, probe);
    Value text(std::string(30, ' '));
    GetList form{Get::of(5, 2, text, "@S10")};
    std::string shown;
    bindKey(keys::function(9), [&session, &shown](Get*) { shown = session.row(1 + 5); });
    readFields(form);
    EXPECT_EQ(shown.substr(2, 10), "GHIJKLMNO ");
    EXPECT_EQ(text.text(), "ABCDEFGHIJKLMNO" + std::string(15, ' '));
    EXPECT_EQ(session.row(1 + 5).substr(2, 11), "ABCDEFGHIJ ");  // left: from the start
}

TEST(Form, NumbersAreTypedLeftToRightAndReformatted) {
    UiSession session(
        "type 1234,5\nkey Enter\ntype -12\nkey Enter\nkey Right\ntype 7\nkey Enter\n");
    Value amount(99.0), negative(0.0), kept(5.25);
    GetList form{Get::of(1, 1, amount, "@E 9,999,999.99"), Get::of(2, 1, negative, "@E 999.99"),
                 Get::of(3, 1, kept, "99.99")};
    readFields(form);
    EXPECT_DOUBLE_EQ(amount.number(), 1234.5);
    EXPECT_DOUBLE_EQ(negative.number(), -12.0);
    // A cursor key first keeps the value: 7 overwrites the second digit.
    EXPECT_DOUBLE_EQ(kept.number(), 7.25);
    EXPECT_NE(session.row(2).find("    1.234,50"), std::string::npos) << session.row(2);
}

TEST(Form, ImpossibleDateIsRefusedWithAMessageAndKeepsTheCursor) {
    UiSession session(
        "type 31022024\nexpect Data inválida: 31/02/2024\nkey Enter\nkey F9\nkey Home\n"
        "type 29\nkey Enter\n");
    Probe probe;
    bindProbe(session, probe);
    Value date{base::Date()};
    GetList form{Get::of(1, 1, date, "@D")};
    readFields(form);
    EXPECT_EQ(probe.field, form[0].get());
    EXPECT_EQ(date.date().dtoc(), "29/02/2024");
}

// Two-digit years are read in 1950 ... 2049: a tax year's dates are this
// century's, a birth date may be the last one's.
TEST(Form, TwoDigitYearsAreReadAroundTheTaxYears) {
    UiSession session("type 150126\nkey Enter\ntype 010549\nkey Enter\ntype 020350\nkey Enter\n");
    Value first{base::Date()}, second{base::Date()}, third{base::Date()};
    GetList form{Get::of(1, 1, first, "@D"), Get::of(2, 1, second, "@D"),
                 Get::of(3, 1, third, "@D")};
    readFields(form);
    EXPECT_EQ(first.date().dtoc(), "15/01/2026");
    EXPECT_EQ(second.date().dtoc(), "01/05/2049");
    EXPECT_EQ(third.date().dtoc(), "02/03/1950");
}

TEST(Form, EitherPointOrCommaMovesToTheDecimals) {
    // Full decimals move on to the next field by themselves.
    UiSession session("type 3000.00\ntype 3000,5\nkey Enter\ntype 12.5\nkey Enter\n");
    Value keypad(0.0), comma(0.0), plain(0.0);
    GetList form{Get::of(1, 1, keypad, "@E 99,999,999.99"),
                 Get::of(2, 1, comma, "@E 99,999,999.99"), Get::of(3, 1, plain, "9999.99")};
    readFields(form);
    EXPECT_DOUBLE_EQ(keypad.number(), 3000.0);
    EXPECT_DOUBLE_EQ(comma.number(), 3000.5);
    EXPECT_DOUBLE_EQ(plain.number(), 12.5);
}

// Once the integer digits are full, a further digit would become a decimal
// (and the rest run on into the next field): it is refused with a message.
TEST(Form, AnAmountTooLargeForItsFieldIsRefused) {
    UiSession session(
        "type 999999999\nexpect Valor grande demais para este campo: o máximo é 99.999.999,99\n"
        "key Enter\ntype 99\nkey Enter\n");
    Value amount(0.0), next(std::string(5, ' '));
    GetList form{Get::of(1, 1, amount, "@E 99,999,999.99"), Get::of(2, 1, next)};
    readFields(form);
    EXPECT_DOUBLE_EQ(amount.number(), 99999999.99);
    EXPECT_EQ(next.text(), "     ");
}

TEST(Form, LiteralsOfRAreNotStored) {
    UiSession session("type 12345678909\n");
    Value cpf(std::string(11, ' '));
    GetList form{Get::of(1, 1, cpf, "@R 999.999.999-99")};
    readFields(form);
    EXPECT_EQ(cpf.text(), "12345678909");
    EXPECT_NE(session.row(2).find("123.456.789-09"), std::string::npos);
}

TEST(Form, PasteConvertsToTheFieldsTypeAndCopyTakesTheBuffer) {
    UiSession session(
        "key Ctrl+V\nkey Enter\nkey Ctrl+V\nkey Enter\ntype novo\nkey Ctrl+C\nkey Enter\n");
    setClipboardText("12,50");
    Value number(0.0), text("          "), copied("      ");
    GetList form{Get::of(1, 1, number, "999.99"), Get::of(2, 1, text), Get::of(3, 1, copied)};
    readFields(form);
    EXPECT_DOUBLE_EQ(number.number(), 12.0);  // numeric conversion stops at the comma
    EXPECT_EQ(text.text(), "12,50     ");
    EXPECT_EQ(clipboardText(), "novo");
}

// A paste longer than its field is cut at the field's end; the next field
// and an amount too large for its field are left as they were.
TEST(Form, APasteNeverRunsOnIntoTheNextField) {
    UiSession session(
        "key Ctrl+V\nkey Enter\nkey Ctrl+V\nexpect Valor grande demais\nkey Enter\nkey Enter\n");
    setClipboardText("1234567 DE TESTES");
    Value name(std::string(5, ' ')), amount(5.0);
    GetList form{Get::of(1, 1, name), Get::of(2, 1, amount, "@E 999.99")};
    readFields(form);
    EXPECT_EQ(name.text(), "12345");
    EXPECT_DOUBLE_EQ(amount.number(), 5.0);
}

TEST(Form, ButtonsReadLikeFieldsAndEnterPressesThem) {
    // From the text field, Down reaches the first button; Right moves to the
    // second, Left back, Right again and Enter presses "Cancelar".
    UiSession session("key Down\nkey Right\nkey Left\nkey Right\nkey Enter\n");
    Value name("ab");
    auto window = LDLGSHOW(5, 10, 12, 60, "Botoes");
    GetList form{Get::of(1, 1, name)};
    std::vector<int> pressed;
    LButton::Options first;
    first.top = 4;
    first.left = 2;
    first.form = &form;
    LButton::make(
        "&Ok",
        [&pressed](LButton& b, LDialog* w) {
            pressed.push_back(b.nButton);
            w->end();
        },
        first)
        ->create();
    LButton::Options second = first;
    second.left = 20;
    LButton::make(
        "Cancelar",
        [&pressed](LButton& b, LDialog* w) {
            pressed.push_back(b.nButton);
            w->end(7);
        },
        second)
        ->create();
    ASSERT_EQ(form.size(), 3u);
    window->readmodal(form);
    EXPECT_EQ(pressed, std::vector<int>{2});
    EXPECT_EQ(window->nLastButton, 2);
    EXPECT_EQ(window->nEnd, 7);
    EXPECT_EQ(window->nExit, 2);
    EXPECT_TRUE(session.shows("Cancelar"));
    EXPECT_TRUE(session.shows("    Ok    "));  // a short caption centred in 10
}

TEST(Form, ReadmodalResumesAtTheFirstFieldThatFailsAgain) {
    // The first field is valid only while the second is not "N"; after the
    // second becomes "N" the form goes back to the first one.
    UiSession session("type S\ntype N\nkey F9\ntype T\nkey Enter\n");
    Probe probe;
    bindProbe(session, probe);
    Value first(" "), second(" ");
    GetList form{Get::of(1, 1, first), Get::of(2, 1, second)};
    form[0]->valid = [&first, &second](Get& field) {
        Value typed;
        field.bufferValue(typed);
        return !(second.text() == "N" && typed.text() != "T");
    };
    auto window = activeWindow();
    const int saved = LDialog::nsValidRead;
    LDialog::nsValidRead = 1;
    window->readmodal(form);
    LDialog::nsValidRead = saved;
    EXPECT_EQ(probe.field, form[0].get());
    EXPECT_EQ(first.text(), "T");
    EXPECT_EQ(second.text(), "N");
}

TEST(Form, UpperCaseEntryForPlainTextWhenTheWindowAsks) {
    UiSession session("type ção\nkey Enter\n");
    Value text("   ");
    GetList form{Get::of(1, 1, text)};
    auto window = activeWindow();
    window->lGetUpperCase = true;
    window->readmodal(form);
    using namespace kdx2::base::literals;
    EXPECT_EQ(text.text(), "ÇÃO"_cp);
}
