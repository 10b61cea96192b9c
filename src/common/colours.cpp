#include "common/colours.h"

#include <algorithm>

#include "base/text.h"
#include "common/choosers.h"
#include "common/messages.h"
#include "common/windows.h"
#include "platform/console/keys.h"
#include "store/access.h"
#include "store/table_numbers.h"
#include "store/work_areas.h"
#include "ui/color.h"
#include "ui/screen.h"

namespace kdx2::common {

namespace {

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
    if (!store::ABERTURA(store::tables::kColours)) return nullptr;
    store::workAreas().select(store::tables::kColours);
    store::Table& cores = store::workAreas().area(store::tables::kColours);
    if (cores.seek(base::Value(terminal()))) return &cores;
    if (!store::ADD_REC(5)) return nullptr;
    appended = true;
    cores.put("NRO_TERM", base::Value(terminal()));
    return &cores;
}

void closeColours() {
    store::workAreas().close(store::tables::kColours);
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
            const bool opened = store::workAreas().table(store::tables::kColours) != nullptr;
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

namespace kdx2::common {

namespace {

namespace keys = platform::keys;

std::function<void()> editorBackdrop;

constexpr int kListWindow = 5;
constexpr int kPaletteWindow = 4;
constexpr int kSampleWindow = 6;
constexpr char kBlock = '\xFE';

const char* const kEditorItems[] = {
    " Texto             ", " Contorno          ", " Item Escolhido    ", " Sombra 3D         ",
    " Entr. de dados    ", " Mensagens         ", " Help e Avisos     ", " Fundo Geral       "};

// The attribute an item of the editor changes.
const char* editedAttribute(int item) {
    static const char* const names[] = {"COR_TEL1", "COR_TEL2", "COR_ESCOL", "COR_TEL3",
                                        "COR_PEGA", "COR_MENS", "COR_HELP",  "COR_ENCHE"};
    return names[item - 1];
}

// The colour pair that follows the attribute, when the item has one.
const char* editedPair(int item) {
    static const char* const names[] = {"COR_1_CLI", "COR_2_CLI", "COR_ESC_CL", nullptr,
                                        "COR_GET",   "COR_SAY",   "COR_CLI_HE", "COR_ENCH_C"};
    return names[item - 1];
}

struct EditorPlaces {
    int listTop, listLeft, paletteTop, paletteLeft, sampleTop, sampleLeft;
};

EditorPlaces editorPlaces(bool normalLayout) {
    if (normalLayout) return {9, 40, 4, 62, 15, 62};
    return {8, 39, 3, 60, 14, 60};
}

void paint(int row, int col, const std::string& text, uint8_t attr) {
    const TextSurface surface = textSurface();
    surface.grid->write(row - surface.top, col - surface.left, text, attr);
}

uint8_t pairAttr(const char* name, uint8_t fallback) {
    return ui::parseColorPair(base::session().text(name)).value_or(fallback);
}

void drawList(const EditorPlaces& at) {
    const base::NamedValues& s = base::session();
    // Framed (a box just outside its items), so the list stands out from
    // the title window behind it.
    REDEFJAN(kListWindow, s.integer("COR_TEL1"), s.integer("COR_TEL2"), s.integer("COR_TEL3"),
             at.listTop, at.listLeft, at.listTop + 9, at.listLeft + 20, 1);
    ABREJAN(kListWindow);
    std::string text;
    for (const char* item : kEditorItems)
        text += item;
    ESCRJAN(kListWindow, text);
}

void drawPalette(const EditorPlaces& at, int foreground, int background) {
    const base::NamedValues& s = base::session();
    REDEFJAN(kPaletteWindow, s.integer("COR_TEL1"), s.integer("COR_TEL2"), s.integer("COR_TEL3"),
             at.paletteTop, at.paletteLeft, at.paletteTop + 9, at.paletteLeft + 17, 0);
    ABREJAN(kPaletteWindow);
    const uint8_t frame = static_cast<uint8_t>(s.integer("COR_TEL2"));
    paint(at.paletteTop, at.paletteLeft, "\xDA" + std::string(16, '\xC4') + "\xBF", frame);
    for (int b = 1; b <= 8; ++b) {
        paint(at.paletteTop + b, at.paletteLeft, "\xB3", frame);
        for (int a = 1; a <= 16; ++a) {
            const bool marked = a == foreground + 1 && b == background + 1;
            paint(at.paletteTop + b, at.paletteLeft + a, marked ? "*" : std::string(1, kBlock),
                  static_cast<uint8_t>((a - 1) + (b - 1) * 16));
        }
        paint(at.paletteTop + b, at.paletteLeft + 17, "\xB3", frame);
    }
    paint(at.paletteTop + 9, at.paletteLeft, "\xC0" + std::string(16, '\xC4') + "\xD9", frame);
}

void drawSample(const EditorPlaces& at) {
    const base::NamedValues& s = base::session();
    REDEFJAN(kSampleWindow, s.integer("COR_TEL1"), s.integer("COR_TEL2"), s.integer("COR_TEL3"),
             at.sampleTop, at.sampleLeft, at.sampleTop + 7, at.sampleLeft + 17, 2);
    ABREJAN(kSampleWindow);
    paint(at.sampleTop + 1, at.sampleLeft + 2, "Item Escolhido", pairAttr("COR_ESC_CL", 0x47));
    paint(at.sampleTop + 2, at.sampleLeft + 2, "Entrada Dados ", pairAttr("COR_GET", 0x07));
    paint(at.sampleTop + 3, at.sampleLeft + 2, "Mensagens     ", pairAttr("COR_SAY", 0xF0));
    paint(at.sampleTop + 4, at.sampleLeft + 2, "Telas de Help ", pairAttr("COR_CLI_HE", 0x70));
}

void drawBackdrop() {
    ENCHETELA(' ', base::session().text("COR_ENCH_C"));
    if (editorBackdrop) editorBackdrop();
}

// One colour applied at once, with everything that shows it.
void applyColour(int item, int foreground, int background, const EditorPlaces& at) {
    base::NamedValues& s = base::session();
    const int attribute = foreground + background * 16;
    s.set(editedAttribute(item), attribute);
    if (const char* pair = editedPair(item)) s.set(pair, ACHACOR(attribute));
    if (item == 6) REDFATR(10, 1, attribute);
    if (item == 8) {
        for (int window = 8; window >= 1; --window)
            FECHAJAN(window);
        drawBackdrop();
        drawList(at);
    }
    if (item <= 4 || item == 8) {
        FECHAJAN(kPaletteWindow);
        FECHAJAN(kListWindow);
        drawList(at);
        ESCRATR(kListWindow, item, 1, s.integer("COR_ESCOL"), 19);
    }
    FECHAJAN(kSampleWindow);
    FECHAJAN(kPaletteWindow);
    drawPalette(at, foreground, background);
    drawSample(at);
}

void editItem(int item, const EditorPlaces& at) {
    base::NamedValues& s = base::session();
    const int attribute = s.integer(editedAttribute(item)) & 0xFF;
    int foreground = attribute % 16;
    int background = std::min(attribute / 16, 7);
    drawPalette(at, foreground, background);
    drawSample(at);
    for (;;) {
        const int key = ui::waitKey();
        int fg = foreground;
        int bg = background;
        if (key == keys::Enter || key == keys::Esc) break;
        if (key == keys::Right) fg = std::min(fg + 1, 15);
        if (key == keys::Left) fg = std::max(fg - 1, 0);
        if (key == keys::Down) bg = std::min(bg + 1, 7);
        if (key == keys::Up) bg = std::max(bg - 1, 0);
        if (fg == foreground && bg == background) continue;
        foreground = fg;
        background = bg;
        applyColour(item, foreground, background, at);
    }
    REDFATR(10, 1, s.integer("COR_MENS"));
    REDFATR(10, 2, s.integer("COR_TEL2"));
    REDFATR(10, 3, s.integer("COR_TEL3"));
    composeColourLists(s);
    ui::setColor(s.text("CORNORM"));
    GRAVACOR();
    FECHAJAN(kPaletteWindow);
    FECHAJAN(kSampleWindow);
    FECHAJAN(10);
}

}  // namespace

void setColourEditorBackdrop(std::function<void()> draw) {
    editorBackdrop = std::move(draw);
}

void MODCOR(bool normalLayout) {
    base::NamedValues& s = base::session();
    const EditorPlaces at = editorPlaces(normalLayout);
    drawBackdrop();
    const std::string letters = s.text("OPCOES");
    int item = 1;
    for (;;) {
        drawList(at);
        s.set("OPCOES", "TCISEMHF");
        s.set("POSVER", item);
        const int chosen = ESC_OPCAO(kListWindow, 8, 1, 19, 0);
        s.set("OPCOES", letters);
        if (chosen == 0) break;
        item = chosen;
        editItem(item, at);
    }
    FECHAJAN(kPaletteWindow);
    FECHAJAN(kListWindow);
    FECHAJAN(kSampleWindow);
}

}  // namespace kdx2::common
