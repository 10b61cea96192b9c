#include "importing/screens.h"

#include <cstdio>

#include "base/cp850.h"
#include "base/named_values.h"
#include "base/process_state.h"
#include "base/text.h"
#include "common/messages.h"
#include "common/utilities.h"
#include "common/windows.h"
#include "importing/importing.h"
#include "importing/services.h"
#include "platform/console/keys.h"
#include "platform/drives.h"
#include "store/access.h"
#include "store/feedback.h"
#include "store/work_areas.h"
#include "ui/get.h"
#include "ui/screen.h"

namespace kdx2::importing {

using namespace base::literals;
namespace keys = platform::keys;

namespace detail {

namespace {

constexpr int kCountersSlot = 4;
constexpr int kFolderSlot = 3;
constexpr int kConfig = 52;
constexpr size_t kCountersInside = 22;
// The two folder lines of the folder window (grid rows and first column).
constexpr int kOriginRow = 8;
constexpr int kDestinationRow = 11;
constexpr int kFieldColumn = 16;
constexpr size_t kDestinationWidth = 40;
constexpr int kOriginShown = 39;

std::string counterLine(const std::string& label, int value) {
    char number[16];
    std::snprintf(number, sizeof number, "%4d ", value);
    return "\xB3" + base::padRight(label, kCountersInside - 5) + number + "\xB3";
}

std::string countersText(const Counters& c) {
    const std::string caption = "CPF's";
    const size_t left = (kCountersInside - caption.size()) / 2;
    std::string text = "\xDA" + std::string(left, '\xC4') + caption +
                       std::string(kCountersInside - left - caption.size(), '\xC4') + "\xBF";
    text += counterLine(" A converter", c.toConvert);
    text += counterLine(" Convertidos", c.converted);
    text += counterLine(" Já existente"_cp, c.existing);
    text += counterLine(" Não convertido"_cp, c.notConverted);
    text += counterLine(" Linhas com erro", c.damagedLines);
    text += counterLine(" Faltam........", c.remaining);
    return text + "\xC0" + std::string(kCountersInside, '\xC4') + "\xD9";
}

std::string typedFolder(const base::Value& value, bool upper) {
    std::string folder = base::alltrim(value.text());
    if (upper) folder = base::asciiUpper(folder);
    if (folder.size() == 2) folder += "\\";
    return folder;
}

bool validFolder(ui::Get& field) {
    return common::ESPCIF(base::alltrim(field.value().text()));
}

// The last origin used, kept in the workstation's CONFIG record at once.
void storeOrigin(const std::string& setting, const std::string& origin) {
    base::session().set(setting, origin);
    if (!store::ABERTURA(kConfig)) return;
    store::workAreas().select(kConfig);
    store::Table& config = store::workAreas().area(kConfig);
    config.setOrder(1);
    if (config.seek(base::Value(base::session().text("NUSU"))) && store::REC_LOCK(5)) {
        config.put(setting, base::Value(origin));
        config.unlock();
    }
    store::workAreas().close(kConfig);
}

}  // namespace

void Counters::start(int marked) {
    *this = Counters();
    toConvert = marked;
    remaining = marked;
}

void Counters::count(const FileOutcome& outcome) {
    switch (outcome.result) {
        case FileOutcome::Result::Converted:
            ++converted;
            break;
        case FileOutcome::Result::Existing:
            ++existing;
            break;
        case FileOutcome::Result::NotConverted:
            ++notConverted;
            break;
    }
    damagedLines += outcome.damagedLines;
    if (remaining > 0) --remaining;
}

Counters& counters() {
    static Counters all;
    [[maybe_unused]] static const bool registered =
        base::registerResetOnce([] { all = Counters{}; });
    return all;
}

void closeCounters() {
    common::FECHAJAN(kCountersSlot);
}

bool askFolders(const FolderPrompt& prompt, ChosenFolders& chosen) {
    base::NamedValues& s = base::session();
    services().folderWindow();
    std::string from = base::rtrim(s.text(prompt.originSetting));
    std::string to = base::alltrim(s.text("LOCARQ"));
    // A drive root keeps its backslash ("C:\").
    if (to.size() > 3) to = common::BAR_FORA(to);
    const ui::KeyAction f1 = ui::bindKey(keys::F1, [&](ui::Get* field) {
        if (field == nullptr) return;
        const std::string folder = services().pickFolder();
        if (!folder.empty())
            field->setValue(base::Value(base::padRight(folder, field->value().text().size())));
    });
    bool done = false;
    for (;;) {
        base::Value origin(base::padRight(from, prompt.originWidth));
        base::Value target(base::padRight(to, kDestinationWidth));
        auto originField = ui::Get::of(kOriginRow, kFieldColumn, origin,
                                       "@S" + std::to_string(kOriginShown), "ORIGEM");
        auto targetField = ui::Get::of(kDestinationRow, kFieldColumn, target, "@!", "DESTINO");
        originField->valid = validFolder;
        targetField->valid = validFolder;
        ui::GetList fields{originField, targetField};
        if (ui::readFields(fields).exit == ui::ReadExit::Escape) break;
        from = typedFolder(origin, false);
        to = typedFolder(target, true);
        if (!common::VERDIR(from)) {
            tell({prompt.missingOrigin + from + " inexistente !!"});
            continue;
        }
        if (prompt.originUsable && !prompt.originUsable(from)) continue;
        if (to.size() > 3 && !common::VERDIR(to) && !common::CRI_NDIR(to, prompt.creationPurpose))
            continue;
        if (!common::VERDIR(to)) {
            tell({"Pasta "_cp + to + " inexistente !!"});
            continue;
        }
        done = true;
        break;
    }
    ui::bindKey(keys::F1, f1);
    if (!done) {
        common::FECHAJAN(kFolderSlot);
        return false;
    }
    chosen.origin = from;
    chosen.destination = common::BAR_DIR(to);
    store::workAreas().closeAll();
    s.set("LOCARQ", chosen.destination);
    platform::setCurrentFolder(chosen.destination);
    storeOrigin(prompt.originSetting, from);
    return true;
}

void runSelectionScreen() {
    services().selectionScreen();
    // The list's footer goes with it.
    common::ESCRJAN(0, std::string(common::kGridCols, ' '));
}

void tell(const std::vector<std::string>& lines) {
    common::AVISOSN(lines, common::box::kStop);
}

bool userAbandons() {
    if (!store::feedback().escPressed()) return false;
    return common::AVISOSN("Abandona a conversão dos dados? S/N"_cp, common::box::kYesNo) == "S";
}

}  // namespace detail

void MOSTRA_CONTAGEM(int first) {
    if (first == 1) {
        const base::NamedValues& s = base::session();
        // Seven counters in a frame, from row 7, column 4.
        common::REDEFJAN(detail::kCountersSlot, s.integer("COR_TEL1"), s.integer("COR_TEL2"),
                         s.integer("COR_TEL3"), 7, 4, 15,
                         4 + static_cast<int>(detail::kCountersInside) + 1, 0);
        common::ABREJAN(detail::kCountersSlot);
    }
    common::ESCRJAN(detail::kCountersSlot, detail::countersText(detail::counters()));
    if (ui::started()) ui::refresh();
}

bool PEGAOSDIR(int mode) {
    (void)mode;
    detail::FolderPrompt prompt;
    prompt.originSetting = "ROTARECEI";
    // The stored origin holds 80 characters; the field scrolls.
    prompt.originWidth = 80;
    prompt.missingOrigin = "Drive e/ou Pasta do IR2019";
    prompt.creationPurpose = "IR/AAR2019";
    detail::ChosenFolders chosen;
    if (!detail::askFolders(prompt, chosen)) return false;
    common::FECHAJAN(detail::kFolderSlot);
    return true;
}

}  // namespace kdx2::importing
