#include "shell/settings.h"

#include <algorithm>
#include <cmath>

#include "base/process_state.h"

#include "base/text.h"
#include "store/catalog.h"
#include "store/table_numbers.h"
#include "tax/carne.h"

namespace kdx2::shell {

namespace {

const std::array<const char*, 9> kStatusNames{"Convertido   ", "Cadastro novo", "Aguardando   ",
                                              "Atualizado   ", "Revisado     ", "Impresso     ",
                                              "             ", "             ", "Terminado    "};

int clampTo(int value, int low, int high) {
    return std::clamp(value, low, high);
}

}  // namespace

const std::vector<std::string>& configFieldNames() {
    static const std::vector<std::string> names = [] {
        std::vector<std::string> all;
        const std::optional<store::Structure> layout = store::tableLayout(store::tables::kConfig);
        if (!layout) return all;
        for (const store::FieldDef& field : *layout)
            all.push_back(field.name);
        return all;
    }();
    return names;
}

void setNewTerminalDefaults(base::NamedValues& s, const NewTerminal& terminal) {
    s.set("NRO_TERM", terminal.terminal);
    s.set("ROTAANTER", "C:\\IR2018");
    s.set("ROTADOANO", terminal.installFolder);
    s.set("ROTARECEI", "C:\\ARQUIVOS DE PROGRAMAS RFB\\IRPF2018\\TRANSMITIDAS");
    s.set("DIRTRAB", terminal.installFolder);
    s.set("DIRPROV", terminal.kdx2def);
    s.set("QUEIMP", 1);
    s.set("QUEMOD", 1);
    s.set("QUEPAG", 1);
    s.set("QUECON", 1);
    s.set("PONTO", 1);
    s.set("QMEDIA", terminal.today.month());
    for (const char* name : {"QRENDA", "QMOEDA", "QPARTE", "QMES"})
        s.set(name, 1);
    s.set("QUEANO", terminal.today.year());
    s.set("COMO_SAL", 1);
    s.set("TEMP_SAL", 20);
    s.set("QUALMENS", "1");
    s.set("QUERSEN", true);
    s.set("ULT_TER", 1);
    s.set("ULT_MOD", 1);
    s.set("ULT_CPF", std::string(11, ' '));
    s.set("MOSIMP", "S");
    s.set("MOSTEL", "S");
    for (size_t i = 0; i < kStatusNames.size(); ++i)
        s.set("STAT_" + std::to_string(i + 1), kStatusNames[i]);
}

void loadConfigRecord(const store::Table& config, base::NamedValues& s) {
    for (const std::string& name : configFieldNames()) {
        if (config.hasField(name)) s.set(name, config.get(name));
    }
    if (base::alltrim(s.text("MOSIMP")).empty()) {
        s.set("MOSIMP", "S");
        s.set("MOSTEL", "S");
    }
}

void clampSettings(base::NamedValues& s, const base::Date& today) {
    s.set("QUEIMP", clampTo(s.integer("QUEIMP"), 1, 3));
    s.set("QUEMOD", clampTo(s.integer("QUEMOD"), 1, 2));
    s.set("QUEPAG", clampTo(s.integer("QUEPAG"), 1, 8));
    s.set("QUECON", clampTo(s.integer("QUECON"), 1, 3));
    s.set("QMEDIA", clampTo(s.integer("QMEDIA"), 1, 12));
    if (s.integer("QUEANO") < 1995) s.set("QUEANO", today.year());
}

void storeConfigRecord(store::Table& config, const base::NamedValues& s) {
    for (const store::FieldDef& field : config.structure()) {
        if (!s.has(field.name)) continue;
        const base::Value& value = s.get(field.name);
        // A value of another type than the field (a name reused by a later
        // command) is left out rather than stored as garbage.
        if (value.type() != field.type) continue;
        try {
            config.put(field.name, value);
        } catch (const base::Error&) {
            // A number too wide for its field keeps the stored one.
        }
    }
}

void setSessionValues(base::NamedValues& s, const base::Date& today) {
    s.set("DIRORIG", s.text("LOCARQ"));
    for (const char* name : {"ARQDEST", "ARQORIG", "ORIG", "DEST"})
        s.set(name, "");
    s.set("CPF", s.text("ULT_CPF"));
    s.set("CQUEANO", base::padLeft(std::to_string(s.integer("QUEANO")), 4));
    s.set("HOJE", today);
    s.set("OPCAO_1", s.integer("ULT_MOD"));
    for (const char* name :
         {"VAL_PARTE", "ORDEM", "OUTREC", "OUTDES", "CPMF", "IMPOANTER", "AMORUR", "EMPRUR"})
        s.set(name, 0);
    s.set("FECHA_DIA", "N");
    s.set("MOSTR_ACU", "S");
    s.set("OPTA", "S");
    if (!s.has("NOMEREDE")) s.set("NOMEREDE", "");
    if (!s.has("NOMEIMP")) s.set("NOMEIMP", "");
    if (!s.has("IPADRAO")) s.set("IPADRAO", "");
    s.set("TEM_LASER", 0);
    s.set("STRING0", "");
    s.set("STRING1", "");
    s.set("LIN72", "&l74P");
    s.set("ARQ_IMP", " ");
    s.set("DESTINO", std::string(40, ' '));
    s.set("PARE", 0);
    s.set("NRO_VIAS", 1);
    s.set("NT", 1);
    s.set("NTA", 1);
    s.set("TELA", 1);
    s.set("TECLAMUDA", false);
    s.set("ULTTECLA", 0);
    s.set("ULTESC", 1);
    s.set("ULTPOS", 1);
    s.set("CONT_OLD", 0);
    s.set("NL_OLD", 0);
    s.set("TAM_OLD", 0);
    s.set("SO_MOS", 1);
    s.set("PROG", 0);
    s.set("RESP", "N");
    s.set("NLIN", 1);
    s.set("QUALHLP", " ");
    s.set("TEMHLP", false);
    s.set("REFAZ_IND", false);
    s.set("APELIDO", "");
    s.set("EDI_CAMPO", "");
    s.set("OPCOES", "12345678");
    s.set("CL_AREA", "");
    s.set("CRLF", "\r\n");
}

void setDarfDefaults(base::NamedValues& s, const base::Date& today) {
    s.set("DF_PERIODO", today);
    s.set("DF_PGTO", today);
    s.set("DF_VCTO", today);
    s.set("DF_REFER", std::string(19, ' '));
    s.set("DF_PROCS", std::string(19, ' '));
    s.set("DF_CODIG", "0190");
    s.set("DF_JURO", 0);
    s.set("DF_MULTA", 0);
    for (int i = 1; i <= 5; ++i)
        s.set("DF_OUTR" + std::to_string(i), std::string(35, ' '));
}

SessionLists& sessionLists() {
    static SessionLists lists;
    [[maybe_unused]] static const bool registered =
        base::registerResetOnce([] { lists = SessionLists{}; });
    return lists;
}

void buildStatusTable(const base::NamedValues& s, SessionLists& lists) {
    for (int i = 0; i < 9; ++i) {
        lists.MSTAT[i][0] = std::to_string(i + 1);
        lists.MSTAT[i][1] = s.text("STAT_" + std::to_string(i + 1));
    }
}

void resetTaxGrids(SessionLists& lists) {
    tax::carneLeao().TAB_UFIR.fill(0.0);
    for (auto& row : lists.MRESUMO) {
        row[0].clear();
        for (size_t column = 1; column < row.size(); ++column)
            row[column] = std::string(14, ' ');
    }
}

}  // namespace kdx2::shell
