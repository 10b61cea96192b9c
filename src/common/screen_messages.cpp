#include "common/screen_messages.h"

#include <algorithm>
#include <cctype>

#include "base/named_values.h"
#include "base/text.h"
#include "common/messages.h"
#include "common/windows.h"
#include "platform/console/keys.h"
#include "ui/color.h"
#include "ui/dialog.h"
#include "ui/get.h"
#include "ui/msgalert.h"
#include "ui/picture.h"
#include "ui/screen.h"
#include "ui/statusbar.h"

namespace kdx2::common {

namespace keys = platform::keys;

namespace {

// Room the edited value of a kind-4 prompt takes after the text.
int valueWidth(const MensRequest& request) {
    const base::Value* value = request.options.variable;
    if (value == nullptr) return 0;
    switch (value->type()) {
        case base::Type::Character:
            return static_cast<int>(value->text().size());
        case base::Type::Numeric:
            if (request.options.width > 0) return request.options.width;
            return static_cast<int>(
                base::alltrim(base::formatFixed(value->number(), 10, 0).value_or("0")).size());
        case base::Type::Date:
            return 8;
        case base::Type::Logical:
            return 1;
    }
    return 0;
}

std::string status(const std::string& text) {
    return base::padRight(text, 250);
}

ui::LStatusBar* statusBar() {
    std::shared_ptr<ui::LDialog> window = ui::activeWindow();
    if (window && window->oStatusBar && !window->oStatusBar->aPart.empty())
        return window->oStatusBar.get();
    for (const auto& candidate : ui::windowList())
        if (candidate->oStatusBar && !candidate->oStatusBar->aPart.empty())
            return candidate->oStatusBar.get();
    return nullptr;
}

uint8_t attrOf(const std::string& pair, uint8_t fallback) {
    return ui::parseColorPair(pair).value_or(fallback);
}

bool isEditKind(int behaviour) {
    return behaviour == 1 || behaviour == 2 || behaviour == 4 || behaviour == 5 || behaviour == 9;
}

std::string assetTitle(int frame) {
    const int item = base::session().integer("ITEM");
    const std::string number = "Item " + std::to_string(item);
    switch (frame) {
        case 1:
            return number + " dos Bens e Direitos";
        case 2:
            return number + " das Dividas e Onus";
        case 3:
            return number + " dos Bens da Atividade Rural";
        case 4:
            return number + " das Dividas da Atividade Rural";
        default:
            return number;
    }
}

int waitAnyKey() {
    for (;;) {
        const int key = ui::waitKey();
        if (key != keys::None && key != keys::MenuEvent) return key;
    }
}

base::Value emptyOf(const base::Value& value) {
    if (value.isDate()) return base::Value(ui::today());
    return base::Value::emptyOf(value.type());
}

class ScreenMessages : public MessageHandler {
  public:
    int messageBox(const MessageBoxRequest& request) override {
        const std::string colour = request.style == MessageStyle::TextAlert
                                       ? base::alltrim(request.colour)
                                       : std::string();
        return ui::MSGALERT(request.lines, request.buttons, colour, request.title, true,
                            request.defaultButton);
    }

    base::Value messageWindow(const MensRequest& request) override {
        const int behaviour = request.kind % 10;
        const int frame = (request.kind / 10) % 10;
        const MensLayout layout = mensLayout(request);
        const base::NamedValues& s = base::session();
        const int number = request.options.window;
        const int top = layout.row;
        const int left = layout.column;
        const int bottom = top + layout.lines + 1;
        int right = left + layout.width + (layout.lines > 1 ? 0 : 1);
        if (behaviour == 3) right = left + layout.width + 2;
        const int third = frame == 7 ? s.integer("COR_TEL3") : s.integer("COR_TEL2");

        ui::setCursorShape(platform::CursorShape::Hidden);
        std::shared_ptr<ui::LDialog> dialog;
        if (isEditKind(behaviour)) {
            const std::string title = behaviour == 9 ? assetTitle(frame) : request.options.title;
            dialog =
                ui::LDLGSHOW(top - 1, left - 1, top + layout.lines, left + layout.width, title);
        }
        REDEFJAN(number, s.integer("COR_TEL1"), s.integer("COR_TEL2"), third, top, left, bottom,
                 right, frame);
        ABREJAN(number);
        ESCRJAN(number, layout.text);
        ui::clearKeyboard();

        base::Value answer;
        switch (behaviour) {
            case 1:
                BEEP_ERRO();
                waitAnyKey();
                break;
            case 2:
                answer = waitForAnswer(request.options.answers);
                break;
            case 3:
                ui::setCursorShape(platform::CursorShape::Underline);
                return {};
            case 4:
                answer = editValue(request, layout, dialog.get());
                break;
            default:
                waitAnyKey();
                break;
        }
        FECHAJAN(number);
        if (dialog) ui::LDLGCLOSE();
        ui::setCursorShape(platform::CursorShape::Underline);
        return answer;
    }

    void statusLine(const std::string& text) override {
        if (ui::LStatusBar* bar = statusBar()) {
            bar->aPart.front()->setText(status(text));
            return;
        }
        const std::string line = base::padRight(text, 80);
        const std::string centred =
            text.size() >= 80 ? line
                              : base::padRight(std::string((80 - text.size()) / 2, ' ') + text, 80);
        const TextSurface surface = textSurface();
        surface.grid->write(24 - surface.top, -surface.left, centred,
                            attrOf(base::session().text("COR_SAY"), 0x7F));
    }

    void writeAt(int row, int column, const std::string& text, const std::string& colour) override {
        const TextSurface surface = textSurface();
        surface.grid->write(row - surface.top, column - surface.left, text, attrOf(colour, 0x70));
    }

    void tone(int, int) override {
        if (ui::started()) ui::console().beep();
    }

  private:
    static base::Value waitForAnswer(const std::string& answers) {
        for (;;) {
            const int key = waitAnyKey();
            if (!keys::isCharacter(key)) continue;
            const char letter = static_cast<char>(std::toupper(key));
            if (answers.find(letter) != std::string::npos)
                return base::Value(std::string(1, letter));
        }
    }

    static base::Value editValue(const MensRequest& request, const MensLayout& layout,
                                 ui::LDialog* dialog) {
        base::Value* variable = request.options.variable;
        if (variable == nullptr) return {};
        const int lastRowStart = (layout.lines - 1) * layout.width;
        const int onLastRow = static_cast<int>(
            base::rtrim(layout.text.substr(std::min<size_t>(lastRowStart, layout.text.size())))
                .size());
        const int row = layout.row + layout.lines - 1 - (dialog ? dialog->nTop : 0);
        const int col = layout.column + onLastRow + 1 - (dialog ? dialog->nLeft : 0);
        ui::GetList form{ui::Get::of(row, col, *variable, request.options.picture)};
        if (request.options.validation) {
            form.front()->valid = [&request](ui::Get& field) {
                return request.options.validation(field.value());
            };
        }
        ui::setCursorShape(platform::CursorShape::Underline);
        const ui::ReadResult read = ui::readFields(form);
        if (read.exit == ui::ReadExit::Escape) *variable = emptyOf(*variable);
        return *variable;
    }
};

ScreenMessages screenMessages;

TextSurface activeSurface() {
    if (!ui::started()) return {};
    std::shared_ptr<ui::LDialog> window = ui::activeWindow();
    if (!window) return {};
    return TextSurface{&window->grid(), window->nTop, window->nLeft};
}

// The window's place: where the request asks, kept on the grid.
MensLayout placed(MensLayout layout, const MensRequest& request) {
    layout.column =
        std::clamp(request.options.column.resolve(layout.width), 1, kGridCols - layout.width - 3);
    layout.row = std::clamp(request.options.row, 1, kGridRows - layout.lines - 2);
    return layout;
}

// A message given as several lines shows each on its own row, as wide as
// the longest (cut to the grid), rather than as one text wrapped at a width.
MensLayout lineByLine(const MensRequest& request, int maxWidth) {
    const std::vector<std::string>& given = request.text.lines();
    size_t longest = 0;
    for (const std::string& line : given)
        longest = std::max(longest, line.size());
    MensLayout layout;
    layout.width = std::min(static_cast<int>(longest) + 1, maxWidth);
    layout.lines = std::max(request.options.lines, static_cast<int>(given.size()));
    for (const std::string& line : given)
        layout.text += base::padRight(line.substr(0, static_cast<size_t>(layout.width)),
                                      static_cast<size_t>(layout.width));
    layout.text = base::padRight(layout.text, static_cast<size_t>(layout.lines * layout.width));
    return placed(layout, request);
}

}  // namespace

MensLayout mensLayout(const MensRequest& request) {
    // The window (and, for kinds with a dialog, its frame) must fit the grid.
    const int maxWidth = kGridCols - 4;
    if (request.text.lines().size() > 1 && request.kind % 10 != 4)
        return lineByLine(request, maxWidth);
    MensLayout layout;
    layout.text = request.text.joined();
    layout.lines = std::max(request.options.lines, 1);
    int width = static_cast<int>(layout.text.size()) + 1;
    if (request.kind % 10 == 4) width += valueWidth(request);
    if (layout.lines > 1) {
        width = width / layout.lines + 1;
        width = std::min(width, maxWidth);
        layout.text = base::padRight(layout.text, static_cast<size_t>(layout.lines * width));
    } else if (width > maxWidth) {
        const int cut = static_cast<int>(layout.text.size()) - (width - maxWidth);
        layout.text = layout.text.substr(0, static_cast<size_t>(std::max(cut, 0)));
        width = maxWidth;
    }
    layout.width = width;
    return placed(layout, request);
}

void installScreenMessages() {
    setMessageHandler(&screenMessages);
    setTextSurface(activeSurface);
}

void removeScreenMessages() {
    if (&messageHandler() == &screenMessages) setMessageHandler(nullptr);
    setTextSurface({});
}

}  // namespace kdx2::common
