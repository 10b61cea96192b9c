// The taxpayer window at the foot of the screen: the CPF and name of the
// current taxpayer, the data folder, and a line for work in progress.

#include <algorithm>

#include "base/cp850.h"
#include "base/named_values.h"
#include "base/text.h"
#include "common/windows.h"
#include "shell/selection/internal.h"
#include "shell/selection/selection.h"
#include "shell/settings.h"
#include "store/table_numbers.h"
#include "store/work_areas.h"
#include "ui/picture.h"

namespace kdx2::shell::selection {

using namespace base::literals;

namespace {

constexpr int kTop = 17;
constexpr int kLeft = 4;
constexpr int kBottom = 23;
constexpr int kRight = 75;
constexpr size_t kCpfBox = 16;
constexpr size_t kNameBox = 53;
constexpr size_t kInside = kCpfBox + 1 + kNameBox;  // 70
constexpr int kBarColumn = 26;
constexpr int kBarWidth = 40;

const std::string kLine = "\xC4";

std::string rule(size_t width) {
    std::string out;
    for (size_t i = 0; i < width; ++i)
        out += kLine;
    return out;
}

// The caption centred in a rule of `width`.
std::string caption(const std::string& text, size_t width) {
    const size_t left = (width - text.size()) / 2;
    return rule(left) + text + rule(width - left - text.size());
}

std::string windowText() {
    std::string text;
    text += "\xDA" + caption("C P F", kCpfBox) + "\xC2" + caption("Nome", kNameBox) + "\xBF";
    text += "\xB3" + std::string(kCpfBox, ' ') + "\xB3" + std::string(kNameBox, ' ') + "\xB3";
    text += "\xC3" + rule(kCpfBox) + "\xC1" + rule(kNameBox) + "\xB4";
    text += "\xB3" + base::padRight("Diretório atual: "_cp, kInside) + "\xB3";
    text += "\xB3" + std::string(kInside, ' ') + "\xB3";
    text += "\xB3" + std::string(kInside, ' ') + "\xB3";
    text += "\xC0" + rule(kInside) + "\xD9";
    return text;
}

}  // namespace

void showTaxpayerWindow() {
    base::NamedValues& s = base::session();
    SessionLists& anchors = sessionLists();
    anchors.ALJ[3] = kTop;
    anchors.ACJ[3] = kLeft;
    s.set("NT", 3);
    s.set("QUEMOSTRA", "");
    common::REDEFJAN(detail::kTaxpayerSlot, s.integer("COR_TEL1"), s.integer("COR_TEL2"),
                     s.integer("COR_TEL2"), kTop, kLeft, kBottom, kRight, 0);
    if (common::windowOpen(detail::kTaxpayerSlot)) common::FECHAJAN(detail::kTaxpayerSlot);
    common::ABREJAN(detail::kTaxpayerSlot);
    common::ESCRJAN(detail::kTaxpayerSlot, windowText());
}

void MOSTR_PAG(int mode) {
    base::NamedValues& s = base::session();
    if (mode == 1) {
        store::Table* reg = store::workAreas().table(store::tables::kRegister);
        if (reg != nullptr && !reg->eof()) {
            s.set("CPF", reg->get("CPF").text());
            s.set("NOMECONTR", reg->get("NOMECONTR").text());
        }
    }
    const std::string cpf =
        ui::transform(base::Value(detail::cpfKey(s.text("CPF"))), "@R 999.999.999-99").text();
    common::ESCRLCOL(detail::kTaxpayerSlot, 2, 3, base::padRight(cpf, kCpfBox - 2));
    common::ESCRLCOL(detail::kTaxpayerSlot, 2, 19, base::padRight(s.text("NOMECONTR"), kNameBox));
    common::ESCRLCOL(detail::kTaxpayerSlot, 4, 19, base::padRight(s.text("LOCARQ"), kInside - 18));
}

void showProgress(const std::string& text, int done, int total) {
    common::ESCRLCOL(detail::kTaxpayerSlot, 5, 2, base::padRight(text, kBarColumn - 3));
    const int filled = total <= 0 ? 0 : std::clamp(done * kBarWidth / total, 0, kBarWidth);
    common::ESCRLCOL(detail::kTaxpayerSlot, 5, kBarColumn,
                     std::string(static_cast<size_t>(filled), '\xB0') +
                         std::string(static_cast<size_t>(kBarWidth - filled), ' '));
}

}  // namespace kdx2::shell::selection
