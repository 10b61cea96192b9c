#include "shell/exit.h"

#include "base/named_values.h"
#include "base/text.h"
#include "common/messages.h"
#include "common/windows.h"
#include "shell/maintenance/maintenance.h"
#include "shell/settings.h"
#include "store/access.h"
#include "store/work_areas.h"

namespace kdx2::shell {

namespace {

constexpr int kConfigTable = 52;

void closeAllTables() {
    try {
        store::workAreas().closeAll();
    } catch (const base::Error& error) {
        common::AVISOSN(std::string(error.what()), common::box::kStop);
    }
}

}  // namespace

bool storeSettingsAtExit() {
    base::NamedValues& s = base::session();
    s.set("NRO_TERM", s.text("NUSU"));
    s.set("ULT_TER", 1);
    s.set("ULT_CPF", s.text("CPF"));
    if (!store::ABERTURA(kConfigTable)) return false;
    bool stored = false;
    try {
        store::workAreas().select(kConfigTable);
        store::Table& config = store::workAreas().area(kConfigTable);
        if (config.seek(base::Value(s.text("NUSU"))) && store::REC_LOCK(5)) {
            storeConfigRecord(config, s);
            config.unlock();
            stored = true;
        }
    } catch (const base::Error& error) {
        common::AVISOSN(std::string(error.what()), common::box::kStop);
    }
    return stored;
}

void ROTSAIDA(int code) {
    (void)code;
    closeAllTables();
    storeSettingsAtExit();
    if (base::session().integer("OPCAO_1") == 16) {
        common::MENS(13, "Encerrando...");
        base::session().set("MOS_MENS", true);
        // Nothing of the folder may stay open here, or its own opens would
        // count as another workstation's. A folder in use elsewhere keeps its
        // indexes: deleting them would pull them from under that workstation.
        closeAllTables();
        maintenance::REORG(base::session().text("LOCARQ"));
        common::FECHAJAN(10);
    }
    closeAllTables();
    throw ProgramEnd{0};
}

}  // namespace kdx2::shell
