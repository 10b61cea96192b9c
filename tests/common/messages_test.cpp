#include <gtest/gtest.h>

#include <stdexcept>

#include "base/cp850.h"
#include "base/named_values.h"
#include "common/messages.h"
#include "recording_messages.h"

using namespace kdx2::common;
using kdx2::testing::RecordingMessages;
using Lines = std::vector<std::string>;

namespace {

// The answers of a box kind for each button in turn and for Esc (0).
Lines answersOf(int kind, int buttons, const Lines& custom = {}) {
    Lines answers;
    for (int button = 1; button <= buttons; ++button) {
        RecordingMessages messages;
        messages.answers = {button};
        answers.push_back(AVISOSN("?", kind, custom));
    }
    RecordingMessages messages;
    answers.push_back(AVISOSN("?", kind, custom));
    return answers;
}

}  // namespace

TEST(MessageBoxes, DesktopKindsShowIconsTitleAndButtons) {
    RecordingMessages messages;
    AVISOSN(MessageLines{"Linha 1", "Linha 2"}, box::kStop);
    AVISOSN("Pergunta", box::kYesNoCancel, {}, "Confirma");
    ASSERT_EQ(messages.boxes.size(), 2u);
    EXPECT_EQ(messages.boxes[0].style, MessageStyle::DesktopBox);
    EXPECT_EQ(messages.boxes[0].icon, MessageIcon::Stop);
    EXPECT_EQ(messages.boxes[0].title, "Aviso");
    EXPECT_EQ(messages.boxes[0].lines, (Lines{"Linha 1", "Linha 2"}));
    EXPECT_EQ(messages.boxes[1].icon, MessageIcon::Question);
    EXPECT_EQ(messages.boxes[1].title, "Confirma");
    EXPECT_EQ(kdx2::testing::utf8Lines(messages.boxes[1].buttons),
              (Lines{"Sim", "Não", "Cancelar"}));
}

TEST(MessageBoxes, AnswersOfEachKind) {
    EXPECT_EQ(answersOf(box::kInformation, 1), (Lines{"", ""}));
    EXPECT_EQ(answersOf(box::kPlain, 1), (Lines{"N", "N"}));
    EXPECT_EQ(answersOf(box::kYesNo, 2), (Lines{"S", "N", "N"}));
    EXPECT_EQ(answersOf(box::kYesNoCancel, 3), (Lines{"S", "N", "I", "I"}));
    EXPECT_EQ(answersOf(box::kSimNaoFim, 3), (Lines{"S", "N", "F", "N"}));
    EXPECT_EQ(answersOf(box::kOneTwoThree, 3), (Lines{"1", "2", "3", "0"}));
    EXPECT_EQ(answersOf(box::kCustom, 2, {"Imprimir", "Tela"}), (Lines{"1", "2", "0"}));
    EXPECT_EQ(answersOf(box::kStop, 1), (Lines{"", ""}));
}

TEST(MessageBoxes, TextAlertsUseTheSessionColours) {
    kdx2::base::session().set("COR_ENCH_C", "W+/R");
    kdx2::base::session().set("COR_SAY", "GR+/B");
    kdx2::base::session().set("OPCIRPF", "W");
    RecordingMessages messages;
    messages.answers = {3, 2, 0};
    EXPECT_EQ(AVISOSN("Escolha", box::kCustom, {"A", "B", "C"}), "3");
    EXPECT_EQ(AVISO_SN("Continua?", 4), "N");
    EXPECT_EQ(AVISO_SN("Qual programa?", 5), "W");  // Esc: the session's choice
    ASSERT_EQ(messages.boxes.size(), 3u);
    EXPECT_EQ(messages.boxes[0].style, MessageStyle::TextAlert);
    EXPECT_EQ(messages.boxes[0].colour, "W+/R");
    EXPECT_EQ(messages.boxes[0].buttons, (Lines{"A", "B", "C"}));
    EXPECT_EQ(messages.boxes[1].colour, "GR+/B");
    EXPECT_EQ(messages.boxes[1].buttons, (Lines{"Sim", "Nao", "Fim"}));
    EXPECT_EQ(messages.boxes[2].buttons, (Lines{"Windows", "Java"}));

    messages.answers = {1, 3, 2};
    EXPECT_EQ(AVISO_SN("Ok", 0), "S");
    EXPECT_EQ(AVISO_SN("Grava?", 3), "I");
    EXPECT_EQ(AVISO_SN("Qual programa?", 5), "J");
}

TEST(MessageWindows, KindsDefaultsAndStatusLine) {
    RecordingMessages messages;
    messages.windowAnswer = kdx2::base::Value("S");
    EXPECT_EQ(MENS(2, "Confirma?", {.column = MensColumn::centred(), .answers = "SN"}).text(), "S");
    ASSERT_EQ(messages.windows.size(), 1u);
    const MensRequest& question = messages.windows[0];
    EXPECT_EQ(question.kind, 2);
    EXPECT_EQ(question.options.row, 20);
    EXPECT_EQ(question.options.window, 10);
    EXPECT_EQ(question.options.picture, "@KS");
    EXPECT_EQ(question.options.title, "KDX - Tavo Informatica");
    EXPECT_EQ(question.options.answers, "SN");

    MENS(13, "");  // an empty text stands for 100 blanks
    EXPECT_EQ(messages.windows.at(1).text.lines(), Lines{std::string(100, ' ')});

    MENS(0, "Aguarde...");
    MENS();
    EXPECT_EQ(messages.status, (Lines{"Aguarde...", ""}));
    EXPECT_EQ(messages.windows.size(), 2u);  // kind 0 opens no window
}

TEST(MessageWindows, ColumnRules) {
    EXPECT_EQ(MensColumn().resolve(20), 50);
    EXPECT_EQ(MensColumn::left().resolve(20), 2);
    EXPECT_EQ(MensColumn::centred().resolve(21), 29);
    EXPECT_EQ(MensColumn::at(7).resolve(20), 7);
}

TEST(MessageWindows, WrittenTextAndBeeps) {
    kdx2::base::session().set("COR_CLI_HE", "GR+/N");
    RecordingMessages messages;
    AVISO("Gravando...");
    AVISO("Fim", 3, 4, "W/N");
    ASSERT_EQ(messages.written.size(), 2u);
    EXPECT_EQ(messages.written[0].row, 24);
    EXPECT_EQ(messages.written[0].column, 0);
    EXPECT_EQ(messages.written[0].colour, "GR+/N");
    EXPECT_EQ(messages.written[1].colour, "W/N");

    BEEP_ERRO(2);
    using Tone = RecordingMessages::Tone;
    const std::vector<Tone> once{{300, 1}, {499, 1}, {300, 1}, {499, 1}};
    std::vector<Tone> twice = once;
    twice.insert(twice.end(), once.begin(), once.end());
    EXPECT_EQ(messages.tones, twice);
}

TEST(MessageHandlers, ScopedHandlerIsRestored) {
    RecordingMessages outer;
    {
        RecordingMessages inner;
        AVISOSN("dentro", box::kStop);
        EXPECT_EQ(inner.boxes.size(), 1u);
    }
    AVISOSN("fora", box::kStop);
    EXPECT_EQ(outer.boxes.size(), 1u);
    EXPECT_EQ(&messageHandler(), &outer);
}

TEST(OpeningMessages, AreOffInsideTheScopeAndComeBackHoweverItIsLeft) {
    kdx2::base::NamedValues& s = kdx2::base::session();
    s.set("MOS_MENS", true);
    try {
        const OpeningMessagesOff quiet;
        EXPECT_FALSE(s.flag("MOS_MENS"));
        throw std::runtime_error("a table that cannot be opened");
    } catch (const std::runtime_error&) {
    }
    EXPECT_TRUE(s.flag("MOS_MENS"));
    s.set("MOS_MENS", false);
    { const OpeningMessagesOff quiet; }
    EXPECT_FALSE(s.flag("MOS_MENS"));
    s.erase("MOS_MENS");
}
