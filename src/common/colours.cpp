#include "common/colours.h"

#include "base/text.h"
#include "common/messages.h"
#include "store/access.h"
#include "store/work_areas.h"
#include "ui/color.h"

namespace kdx2::common {

namespace {

constexpr int kColoursTable = 56;

base::Value validColour(const ColourSetting& setting, const base::Value& stored) {
    if (setting.attribute) {
        const double attribute = stored.number();
        if (!stored.isNumeric() || attribute < 0 || attribute > 255) return setting.initial;
        return base::Value(static_cast<int>(attribute));
    }
    const std::string pair = base::alltrim(stored.text());
    if (!stored.isCharacter() || !ui::parseColorPair(pair)) return setting.initial;
    return base::Value(pair);
}

void loadColours(const store::Table& cores, base::NamedValues& session) {
    for (const ColourSetting& setting : colourSettings()) {
        if (!cores.hasField(setting.name)) continue;
        session.set(setting.name, validColour(setting, cores.get(setting.name)));
    }
}

void storeColours(store::Table& cores, const base::NamedValues& session) {
    for (const ColourSetting& setting : colourSettings()) {
        if (!cores.hasField(setting.name)) continue;
        cores.put(setting.name, validColour(setting, session.get(setting.name)));
    }
}

std::string terminal() {
    return base::session().text("NUSU");
}

// Opens CORES and puts it on the terminal's record, appending one (locked)
// when there is none and `append` is set. Returns the table, or nullptr.
store::Table* openTerminalRecord(bool& appended) {
    appended = false;
    if (!store::ABERTURA(kColoursTable)) return nullptr;
    store::workAreas().select(kColoursTable);
    store::Table& cores = store::workAreas().area(kColoursTable);
    if (cores.seek(base::Value(terminal()))) return &cores;
    if (!store::ADD_REC(5)) return nullptr;
    appended = true;
    cores.put("NRO_TERM", base::Value(terminal()));
    return &cores;
}

void closeColours() {
    store::workAreas().close(kColoursTable);
}

}  // namespace

const std::vector<ColourSetting>& colourSettings() {
    static const std::vector<ColourSetting> all{
        {"COR_TEL1", 30, true},        {"COR_TEL2", 31, true},        {"COR_TEL3", 63, true},
        {"COR_MENS", 112, true},       {"COR_PEGA", 15, true},        {"COR_HELP", 112, true},
        {"COR_FERID", 28, true},       {"COR_ESCOL", 79, true},       {"COR_ENCHE", 31, true},
        {"COR_1_CLI", "GR+/B", false}, {"COR_2_CLI", "W+/B", false},  {"COR_INI", "W+/B", false},
        {"COR_SAY", "N/W+", false},    {"COR_GET", "W/N", false},     {"COR_CLI_HE", "N/W", false},
        {"COR_ESC_CL", "W/R+", false}, {"COR_ENCH_C", "W+/B", false},
    };
    return all;
}

void setDefaultColours(base::NamedValues& session) {
    for (const ColourSetting& setting : colourSettings())
        session.set(setting.name, setting.initial);
}

std::string ACHACOR(int attribute) {
    return ui::attrToColor(static_cast<uint8_t>(attribute & 0xFF));
}

void composeColourLists(base::NamedValues& s) {
    const auto pair = [&s](const char* name) { return base::alltrim(s.text(name)); };
    const std::string tail = "," + pair("COR_GET") + ",N/N,N/N," + pair("COR_SAY");
    s.set("CORNORM", pair("COR_SAY") + tail);
    s.set("CORLIMP", pair("COR_1_CLI") + tail);
    s.set("CORSELE", pair("COR_CLI_HE") + tail);
    s.set("CORMENU", pair("COR_1_CLI") + "," + pair("COR_ESC_CL") + "," + pair("COR_ENCH_C") + "," +
                         pair("COR_ENCH_C") + "," + pair("COR_2_CLI") + "," + pair("COR_2_CLI"));
    s.set("CORPIS", "\x8F");
}

bool CRIACOR() {
    base::NamedValues& session = base::session();
    bool appended = false;
    store::Table* cores = nullptr;
    try {
        cores = openTerminalRecord(appended);
        if (cores == nullptr) {
            // No table, or a new terminal whose record could not be made:
            // the defaults serve this session.
            const bool opened = store::workAreas().table(kColoursTable) != nullptr;
            closeColours();
            return opened;
        }
        if (appended) {
            base::NamedValues defaults;
            setDefaultColours(defaults);
            storeColours(*cores, defaults);
            cores->unlock();
        }
        loadColours(*cores, session);
    } catch (const base::Error& error) {
        AVISOSN(std::string(error.what()), box::kStop);
    }
    closeColours();
    return true;
}

bool GRAVACOR() {
    bool saved = false;
    try {
        bool appended = false;
        store::Table* cores = openTerminalRecord(appended);
        if (cores != nullptr && (appended || store::REC_LOCK(5))) {
            storeColours(*cores, base::session());
            cores->unlock();
            saved = true;
        }
    } catch (const base::Error& error) {
        AVISOSN(std::string(error.what()), box::kStop);
    }
    closeColours();
    return saved;
}

}  // namespace kdx2::common
