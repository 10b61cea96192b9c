#include "common/messages.h"

#include <iostream>

#include "base/cp850.h"
#include "base/named_values.h"
#include "base/text.h"

namespace kdx2::common {

using namespace base::literals;

bool MessageLines::blank() const {
    for (const std::string& line : lines_) {
        if (!base::alltrim(line).empty()) return false;
    }
    return true;
}

std::string MessageLines::joined() const {
    std::string text;
    for (size_t i = 0; i < lines_.size(); ++i) {
        if (i > 0) text += "\r\n";
        text += lines_[i];
    }
    return text;
}

int MensColumn::resolve(int width) const {
    switch (rule) {
        case Rule::Left:
            return 2;
        case Rule::Centred:
            return (80 - width) / 2;
        case Rule::At:
            return column;
        case Rule::Standard:
            break;
    }
    return 70 - width;
}

namespace {

// Used before the window layer installs its handler (start-up failures,
// command-line modes): boxes and windows go to standard error in UTF-8 and
// every question is answered as Esc would answer it.
class FallbackHandler : public MessageHandler {
  public:
    int messageBox(const MessageBoxRequest& request) override {
        write(request.title, request.lines);
        return 0;
    }
    base::Value messageWindow(const MensRequest& request) override {
        write("", request.text.lines());
        return {};
    }
    void statusLine(const std::string&) override {}
    void writeAt(int, int, const std::string&, const std::string&) override {}
    void tone(int, int) override {}

  private:
    static void write(const std::string& title, const std::vector<std::string>& lines) {
        if (!title.empty()) std::cerr << base::cp850::toUtf8(title) << ": ";
        for (const std::string& line : lines)
            std::cerr << base::cp850::toUtf8(line) << '\n';
    }
};

FallbackHandler fallback;
MessageHandler* installed = nullptr;

std::string positionText(int button) {
    return std::to_string(button);
}

}  // namespace

MessageHandler& messageHandler() {
    return installed != nullptr ? *installed : fallback;
}

MessageHandler* setMessageHandler(MessageHandler* handler) {
    MessageHandler* previous = installed;
    installed = handler;
    return previous;
}

std::string AVISOSN(const MessageLines& text, int kind, const std::vector<std::string>& buttons,
                    const std::string& title, int defaultButton) {
    MessageBoxRequest request;
    request.title = title;
    request.defaultButton = defaultButton;
    request.lines = text.lines();
    switch (kind) {
        case box::kInformation:
            request.icon = MessageIcon::Information;
            request.buttons = {"Ok"};
            break;
        case box::kYesNo:
            request.icon = MessageIcon::Question;
            request.buttons = {"Sim", "Não"_cp};
            break;
        case box::kYesNoCancel:
            request.icon = MessageIcon::Question;
            request.buttons = {"Sim", "Não"_cp, "Cancelar"};
            break;
        case box::kStop:
            request.icon = MessageIcon::Stop;
            request.buttons = {"Ok"};
            break;
        case box::kSimNaoFim:
            request.buttons = {"Sim", "Não"_cp, "Fim"};
            break;
        case box::kOneTwoThree:
            request.buttons = {"1", "2", "3"};
            break;
        case box::kCustom:
            request.buttons = buttons;
            break;
        case box::kOneToSix:
            request.buttons = {"1", "2", "3", "4", "5", "6"};
            break;
        default:  // kPlain and kinds nobody defined: a plain "Ok" box
            request.buttons = {"Ok"};
            break;
    }
    const bool textAlert = kind >= box::kSimNaoFim && kind <= box::kOneToSix;
    if (textAlert) {
        request.style = MessageStyle::TextAlert;
        request.colour = base::session().text("COR_ENCH_C");
    }

    const int chosen = messageHandler().messageBox(request);
    switch (kind) {
        case box::kPlain:
            return "N";
        case box::kYesNo:
            return chosen == 1 ? "S" : "N";
        case box::kYesNoCancel:
            // Esc stands for Cancel, as in any desktop box that has one.
            return chosen == 1 ? "S" : chosen == 2 ? "N" : "I";
        case box::kSimNaoFim:
            return chosen == 1 ? "S" : chosen == 3 ? "F" : "N";
        case box::kOneTwoThree:
        case box::kCustom:
        case box::kOneToSix:
            return positionText(chosen);
        default:
            return "";
    }
}

std::string askBeforeDestroying(const MessageLines& text, int kind) {
    return AVISOSN(text, kind, {}, "Aviso", 2);
}

std::string AVISO_SN(const MessageLines& text, int kind) {
    MessageBoxRequest request;
    request.style = MessageStyle::TextAlert;
    request.colour = base::session().text("COR_SAY");
    request.lines = text.lines();
    switch (kind) {
        case 0:
            request.buttons = {"Ok"};
            break;
        case 3:
            request.buttons = {"Sim", "Nao", "Ignore"};
            break;
        case 4:
            request.buttons = {"Sim", "Nao", "Fim"};
            break;
        case 5:
            request.buttons = {"Windows", "Java"};
            break;
        default:
            request.buttons = {"Sim", "Nao"};
            break;
    }

    const int chosen = messageHandler().messageBox(request);
    if (kind == 5) {
        if (chosen == 1) return "W";
        if (chosen == 2) return "J";
        return base::session().text("OPCIRPF");
    }
    if (chosen == 1) return "S";
    if (chosen == 3) return kind == 3 ? "I" : "F";
    return "N";
}

base::Value MENS(int kind, const MessageLines& text, MensOptions options) {
    MensRequest request{kind, text, std::move(options)};
    if (request.text.blank() && request.text.lines().size() <= 1) {
        request.text = MessageLines(std::string(100, ' '));
    }
    if (kind % 10 == 0) {
        messageHandler().statusLine(text.joined());
        return {};
    }
    return messageHandler().messageWindow(request);
}

void MENS() {
    messageHandler().statusLine("");
}

void AVISO(const std::string& text, int row, int column, const std::string& colour) {
    const std::string& pair = colour.empty() ? base::session().text("COR_CLI_HE") : colour;
    messageHandler().writeAt(row, column, text, pair);
}

void BEEP_ERRO(int times) {
    for (int time = 0; time < times; ++time) {
        for (int pair = 0; pair < 2; ++pair) {
            messageHandler().tone(300, 1);
            messageHandler().tone(499, 1);
        }
    }
}

OpeningMessagesOff::OpeningMessagesOff() : previous_(base::session().get("MOS_MENS")) {
    base::session().set("MOS_MENS", false);
}

OpeningMessagesOff::~OpeningMessagesOff() {
    base::session().set("MOS_MENS", previous_);
}

}  // namespace kdx2::common
