// When the open taxpayer is saved (command 26): automatically every so many
// minutes, on Alt+W, or only at the end. The choice takes effect at the next
// taxpayer opened and goes to CONFIG at exit.

#include "base/cp850.h"
#include "base/named_values.h"
#include "common/messages.h"
#include "common/windows.h"
#include "shell/maintenance/internal.h"
#include "shell/maintenance/maintenance.h"
#include "ui/get.h"

namespace kdx2::shell::maintenance {

using namespace base::literals;

namespace {

constexpr int kManual = 0;
constexpr int kOnlyAtEnd = 99;
constexpr int kProposedMinutes = 5;
constexpr int kPromptRow = 9;
constexpr int kPromptColumn = 10;
constexpr int kMinutesColumn = 37;

void askInterval() {
    base::NamedValues& s = base::session();
    int minutes = s.integer("TEMP_SAL");
    if (minutes <= kManual || minutes >= kOnlyAtEnd) minutes = kProposedMinutes;
    s.set("TEMP_SAL", minutes);
    common::MensOptions options;
    options.row = kPromptRow;
    options.column = common::MensColumn::at(kPromptColumn);
    common::MENS(3, "Gravar a declaração a cada    minutos"_cp, options);
    base::Value typed(static_cast<double>(minutes));
    auto field = ui::Get::of(kPromptRow, kMinutesColumn, typed, "@z 99", "TEMP_SAL");
    field->valid = [](ui::Get& get) { return VAL_TEMP(static_cast<int>(get.value().number())); };
    ui::GetList form{field};
    if (ui::readFields(form).exit != ui::ReadExit::Escape &&
        VAL_TEMP(static_cast<int>(typed.number())))
        s.set("TEMP_SAL", static_cast<int>(typed.number()));
    common::FECHAJAN(detail::kMessageSlot);
}

}  // namespace

bool VAL_TEMP(int minutes) {
    return minutes >= 1;
}

void TIP_GRAV(int mode) {
    switch (mode) {
        case 1:
            askInterval();
            break;
        case 2:
            base::session().set("TEMP_SAL", kManual);
            break;
        case 3:
            base::session().set("TEMP_SAL", kOnlyAtEnd);
            break;
        default:
            break;
    }
}

}  // namespace kdx2::shell::maintenance
