#include "store/supplied.h"

#include <algorithm>
#include <functional>
#include <map>
#include <random>
#include <set>

#include "base/cp850.h"
#include "base/error.h"
#include "base/text.h"
#include "platform/drives.h"
#include "store/catalog.h"
#include "store/supplied_sources.h"

namespace kdx2::store {

using namespace kdx2::base::literals;
using base::Type;
using base::Value;
using supplied::CsvFile;

namespace {

using Row = std::vector<Value>;

FieldDef textField(std::string name, int width) {
    return {std::move(name), Type::Character, width, 0};
}
FieldDef numberField(std::string name, int width, int decimals = 0) {
    return {std::move(name), Type::Numeric, width, decimals};
}

CsvFile readSource(std::string_view name, char separator = ',') {
    return CsvFile::parse(supplied::sourceFile(name), name, separator);
}

[[noreturn]] void badData(std::string_view file, std::string_view problem, std::string_view value) {
    throw base::Error("Dado inválido em "_cp + std::string(file) + ": " + std::string(problem) +
                      " (" + base::cp850::fromUtf8(value) + ")");
}

std::string zeroPadded(int value, size_t digits) {
    std::string text = std::to_string(value);
    return text.size() >= digits ? text : std::string(digits - text.size(), '0') + text;
}

bool allDigits(std::string_view text) {
    return !text.empty() &&
           std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

// A code of exactly `digits` digits, kept as text with its leading zeros.
std::string digitCode(std::string_view file, std::string_view value, size_t digits) {
    if (value.size() != digits || !allDigits(value)) badData(file, "código", value);
    return std::string(value);
}

int wholeNumber(std::string_view file, std::string_view value) {
    if (!allDigits(value) || value.size() > 9) badData(file, "número", value);
    return std::stoi(std::string(value));
}

// A decimal written with digits and an optional "." (the sources' form).
double decimalNumber(std::string_view file, std::string_view value) {
    size_t dot = value.find('.');
    std::string_view whole = value.substr(0, dot);
    std::string_view fraction = dot == std::string_view::npos ? "" : value.substr(dot + 1);
    if (!allDigits(whole) || (dot != std::string_view::npos && !allDigits(fraction))) {
        badData(file, "número", value);
    }
    return base::parseNumber(value);
}

// Source text converted for a field that must hold it whole.
std::string fitted(std::string_view file, std::string_view utf8, int width) {
    std::string text = supplied::toTableText(utf8);
    if (text.size() > static_cast<size_t>(width)) badData(file, "texto longo demais", utf8);
    return text;
}

std::string yesNo(std::string_view file, std::string_view value) {
    if (value != "S" && value != "N") badData(file, "esperado S ou N", value);
    return std::string(value);
}

std::string confirmedFlag(std::string_view file, std::string_view status) {
    if (status == "confirmed") return "S";
    if (status == "unconfirmed") return "N";
    badData(file, "situação", status);
}

// The order the key expression gives: numbers by value, text byte by byte
// (trailing blanks do not count, as in blank-padded keys).
bool keyLess(const Value& a, const Value& b) {
    if (a.isNumeric()) return a.number() < b.number();
    return base::rtrim(a.text()) < base::rtrim(b.text());
}
bool keyEqual(const Value& a, const Value& b) {
    return !keyLess(a, b) && !keyLess(b, a);
}

// Puts the rows in key order and refuses repeated keys: every supplied order
// is meant to find one record per key.
void sortUnique(SuppliedTable& table, const std::function<Value(const Row&)>& key) {
    std::stable_sort(table.rows.begin(), table.rows.end(),
                     [&](const Row& a, const Row& b) { return keyLess(key(a), key(b)); });
    for (size_t i = 1; i < table.rows.size(); ++i) {
        if (keyEqual(key(table.rows[i - 1]), key(table.rows[i]))) {
            const Value k = key(table.rows[i]);
            throw base::Error("Chave repetida na tabela "_cp + table.name + ": " +
                              (k.isNumeric() ? std::to_string(k.number()) : k.text()));
        }
    }
}

std::function<Value(const Row&)> column(size_t index) {
    return [index](const Row& row) { return row[index]; };
}

// ---- The code tables ----

SuppliedTable codepen() {
    SuppliedTable t{
        "CODEPEN",
        {numberField("CODDEP", 2), textField("DESCRICAO", 200), textField("CONFIRMADO", 1)},
        {{"CODEPEN", "CODDEP"}},
        {}};
    const std::string_view file = "dependentes.csv";
    CsvFile csv = readSource("sources/dependentes.csv");
    for (size_t i = 0; i < csv.size(); ++i) {
        t.rows.push_back({wholeNumber(file, digitCode(file, csv.cell(i, "codigo"), 2)),
                          fitted(file, csv.cell(i, "descricao"), 200),
                          confirmedFlag(file, csv.cell(i, "status"))});
    }
    // The program's own relation code for alimony beneficiaries.
    const std::string_view own = "dependentes_programa.csv";
    CsvFile program = readSource(own);
    for (size_t i = 0; i < program.size(); ++i) {
        t.rows.push_back({wholeNumber(own, digitCode(own, program.cell(i, "codigo"), 2)),
                          fitted(own, program.cell(i, "descricao"), 200), "S"});
    }
    sortUnique(t, column(0));
    return t;
}

// "até o ano-calendário 2023" / "a partir do ano-calendário 2024": the years
// an occupation code applies to (0 = no limit).
std::pair<int, int> validityYears(std::string_view file, std::string_view text) {
    if (text.empty()) return {0, 0};
    std::string_view year = text.size() >= 4 ? text.substr(text.size() - 4) : text;
    if (!allDigits(year)) badData(file, "vigência", text);
    int value = std::stoi(std::string(year));
    if (text.starts_with("até")) return {0, value};
    if (text.starts_with("a partir")) return {value, 0};
    badData(file, "vigência", text);
}

SuppliedTable ocupacao() {
    SuppliedTable t{"OCUPACAO",
                    {textField("CDPRO", 3), textField("OCUPACAO", 150), numberField("ANOINI", 4),
                     numberField("ANOFIM", 4), textField("CONFIRMADO", 1)},
                    {{"OCUPACAO", "CDPRO"}},
                    {}};
    const std::string_view file = "ocupacoes.csv";
    CsvFile csv = readSource("sources/ocupacoes.csv");
    for (size_t i = 0; i < csv.size(); ++i) {
        auto [from, to] = validityYears(file, csv.cell(i, "vigencia"));
        t.rows.push_back({digitCode(file, csv.cell(i, "codigo"), 3),
                          fitted(file, csv.cell(i, "descricao"), 150), from, to,
                          confirmedFlag(file, csv.cell(i, "status"))});
    }
    sortUnique(t, column(0));
    return t;
}

SuppliedTable codnatur() {
    SuppliedTable t{"CODNATUR",
                    {textField("CODAT", 2), textField("DESCRAT", 130), textField("CONFIRMADO", 1)},
                    {{"CODNATUR", "CODAT"}},
                    {}};
    const std::string_view file = "naturezas.csv";
    CsvFile csv = readSource("sources/naturezas.csv");
    for (size_t i = 0; i < csv.size(); ++i) {
        t.rows.push_back({digitCode(file, csv.cell(i, "codigo"), 2),
                          fitted(file, csv.cell(i, "descricao"), 130),
                          confirmedFlag(file, csv.cell(i, "status"))});
    }
    sortUnique(t, column(0));
    return t;
}

// Payment codes: the public list, then the codes this program adds from
// other sources (both carry the confidence of each code).
SuppliedTable despesa() {
    SuppliedTable t{
        "DESPESA",
        {numberField("CODDES", 2), textField("DESCDOA", 70), textField("CONFIRMADO", 1)},
        {{"DESPESA", "CODDES"}},
        {}};
    for (std::string_view file : {"sources/pagamentos.csv", "pagamentos_complemento.csv"}) {
        CsvFile csv = readSource(file);
        for (size_t i = 0; i < csv.size(); ++i) {
            t.rows.push_back({wholeNumber(file, digitCode(file, csv.cell(i, "codigo"), 2)),
                              fitted(file, csv.cell(i, "descricao"), 70),
                              confirmedFlag(file, csv.cell(i, "status"))});
        }
    }
    sortUnique(t, column(0));
    return t;
}

SuppliedTable codarf() {
    SuppliedTable t{
        "CODARF",
        {textField("CODIGO", 4), textField("ESPECIFICA", 150), textField("CONFIRMADO", 1)},
        {{"CODARF", "CODIGO"}, {"CODARFB", "ESPECIFICA"}},
        {}};
    const std::string_view file = "darf.csv";
    CsvFile csv = readSource("sources/darf.csv");
    for (size_t i = 0; i < csv.size(); ++i) {
        t.rows.push_back({digitCode(file, csv.cell(i, "codigo"), 4),
                          fitted(file, csv.cell(i, "especificacao"), 150),
                          confirmedFlag(file, csv.cell(i, "status"))});
    }
    sortUnique(t, column(0));
    return t;
}

// ---- SELIC rates and UFIR factors ----

bool validYearMonth(std::string_view key) {
    if (key.size() != 6 || !allDigits(key)) return false;
    int month = std::stoi(std::string(key.substr(4)));
    return month >= 1 && month <= 12;
}

// The UFIR value in force in a month ("YYYYMM"): the fiscal unit the 1995
// monthly tables are written in, and the factor of the conversion window.
class UfirPeriods {
  public:
    UfirPeriods() {
        const std::string_view file = "ufir.csv";
        CsvFile csv = readSource(file);
        for (size_t i = 0; i < csv.size(); ++i) {
            const std::string& from = csv.cell(i, "inicio");
            const std::string& to = csv.cell(i, "fim");
            if (!validYearMonth(from) || (!to.empty() && !validYearMonth(to))) {
                badData(file, "mês", from + "-" + to);
            }
            periods_.push_back(
                {from, to.empty() ? "999912" : to, decimalNumber(file, csv.cell(i, "valor"))});
        }
    }
    double valueFor(const std::string& yearMonth) const {
        for (const Period& p : periods_) {
            if (p.from <= yearMonth && yearMonth <= p.to) return p.value;
        }
        badData("ufir.csv", "mês sem valor de UFIR", yearMonth);
    }

  private:
    struct Period {
        std::string from;
        std::string to;
        double value;
    };
    std::vector<Period> periods_;
};

SuppliedTable ufirm() {
    SuppliedTable t{"UFIRM",
                    {textField("ANOMES", 6), numberField("MULTIPL", 8, 4), numberField("TJM", 6, 2),
                     textField("SIMB_MOED", 4)},
                    {{"UFIRM", "ANOMES"}},
                    {}};
    const std::string_view file = "selic.csv";
    CsvFile csv = readSource("sources/selic.csv");
    UfirPeriods ufir;
    for (size_t i = 0; i < csv.size(); ++i) {
        // Rates from a single source with known errors are left for the user
        // to type (or the update to bring): a missing month makes the slip
        // warn that the table is out of date, a wrong one would not.
        if (csv.cell(i, "STATUS").starts_with("UNCONFIRMED")) continue;
        const std::string& key = csv.cell(i, "ANOMES");
        if (!validYearMonth(key)) badData(file, "mês", key);
        double rate = decimalNumber(file, csv.cell(i, "TJM"));
        if (rate > 100) badData(file, "taxa", csv.cell(i, "TJM"));
        t.rows.push_back({key, ufir.valueFor(key), rate, "R$  "});
    }
    sortUnique(t, column(0));
    return t;
}

// ---- Countries, embassies, municipalities, street types, banks ----

SuppliedTable tabpais() {
    SuppliedTable t{"TABPAIS",
                    {textField("CODPAIS", 3), textField("NOMPAIS", 50), textField("CODBACEN", 4),
                     textField("SIGLA", 2)},
                    {{"TABPAIS", "CODPAIS"}},
                    {}};
    const std::string_view file = "paises.csv";
    CsvFile csv = readSource("sources/paises.csv");
    // The declaration's country code is the Central Bank code without its
    // last digit. Where two territories share it, the lowest Central Bank
    // code keeps it (the others are listed in data/README.md).
    std::map<std::string, std::pair<int, size_t>> byCode;
    for (size_t i = 0; i < csv.size(); ++i) {
        int bacen = wholeNumber(file, csv.cell(i, "bacen"));
        if (bacen > 9999) continue;  // no three-digit form
        auto [it, inserted] = byCode.try_emplace(zeroPadded(bacen / 10, 3), bacen, i);
        if (!inserted && bacen < it->second.first) it->second = {bacen, i};
    }
    for (const auto& [code, source] : byCode) {
        t.rows.push_back({code, fitted(file, csv.cell(source.second, "nome_pt"), 50),
                          zeroPadded(source.first, 4),
                          fitted(file, csv.cell(source.second, "iso2"), 2)});
    }
    sortUnique(t, column(0));
    return t;
}

SuppliedTable tabemba() {
    // No public list of the embassies' declaration codes exists: the table
    // ships empty and the office fills it in.
    return {"TABEMBA",
            {textField("CD_EX", 3), textField("NM_CIDADE", 30), textField("NM_PAIS", 40),
             textField("NM_REP", 40)},
            {{"TABEMBA", "CD_EX"}},
            {}};
}

constexpr int kMunicipalityNameWidth = 24;

SuppliedTable tabmuni() {
    SuppliedTable t{"TABMUNI",
                    {textField("NOMEMUNI", kMunicipalityNameWidth), textField("UNIFED", 2),
                     textField("CODMUNI", 4), textField("NROMUNI", 4), textField("CODCID", 7)},
                    {},
                    {}};
    const std::string_view statesFile = "estados.csv";
    CsvFile states = readSource("sources/estados.csv");
    std::map<std::string, std::string> stateOfCode;
    for (size_t i = 0; i < states.size(); ++i) {
        const std::string& uf = states.cell(i, "uf");
        if (uf.size() != 2) badData(statesFile, "UF", uf);
        stateOfCode[states.cell(i, "codigo_uf")] = uf;
        // The list of states is the rows "UF - NAME" with no state of their own.
        t.rows.push_back(
            {uf + " - " + supplied::foldedUpper(states.cell(i, "nome")), "", "", "", ""});
    }
    t.rows.push_back({"EX - EXTERIOR", "", "", "", ""});

    const std::string_view file = "municipios.csv";
    CsvFile csv = readSource("sources/municipios.csv");
    for (size_t i = 0; i < csv.size(); ++i) {
        auto state = stateOfCode.find(csv.cell(i, "codigo_uf"));
        if (state == stateOfCode.end()) badData(file, "codigo_uf", csv.cell(i, "codigo_uf"));
        std::string name = base::rtrim(
            supplied::foldedUpper(csv.cell(i, "nome")).substr(0, kMunicipalityNameWidth));
        // The tax authority's code goes under both names the address screens
        // read it by; CODCID is the IBGE code the rural properties keep.
        const std::string code = digitCode(file, csv.cell(i, "siafi_id"), 4);
        t.rows.push_back(
            {name, state->second, code, code, digitCode(file, csv.cell(i, "codigo_ibge"), 7)});
    }
    // The order the address screen builds: UPPER(NOMEMUNI+UNIFED).
    sortUnique(t, [](const Row& row) {
        return Value(base::padRight(row[0].text(), kMunicipalityNameWidth) + row[1].text());
    });
    return t;
}

constexpr int kStreetTypeWidth = 11;

SuppliedTable tablogr() {
    SuppliedTable t{"TABLOGR",
                    {textField("NOMELOGRA", kStreetTypeWidth), textField("SIGLA", 3)},
                    {{"TABLOGR", "upper(nomelogra)"}},
                    {}};
    const std::string_view file = "logradouros.tsv";
    CsvFile tsv = readSource("sources/logradouros.tsv", '\t');
    for (size_t i = 0; i < tsv.size(); ++i) {
        // The address keeps the street type in 11 characters; a longer name
        // would be stored cut, so only the names that fit are offered.
        std::string name = supplied::foldedUpper(tsv.cell(i, "NOMELOGRA"));
        if (name.size() > static_cast<size_t>(kStreetTypeWidth)) continue;
        t.rows.push_back({name, fitted(file, tsv.cell(i, "SIGLA"), 3)});
    }
    sortUnique(t, column(0));
    return t;
}

constexpr size_t kBankNameKeptWidth = 30;  // the bank account's NOM_BANCO
constexpr int kBankNameWidth = 60;

SuppliedTable bancos() {
    SuppliedTable t{
        "BANCOS",
        {textField("NUMBAN", 3), textField("NOMEBAN", kBankNameWidth), textField("ISPB", 8)},
        {{"BANCOS", "NUMBAN"}, {"BANCOSB", "upper(NOMEBAN)"}},
        {}};
    const std::string_view file = "bancos.csv";
    CsvFile csv = readSource("sources/bancos.csv");
    for (size_t i = 0; i < csv.size(); ++i) {
        // The full name ("BANCO DO BRASIL S.A.") whenever it fits the columns
        // a bank account keeps the name in; otherwise the Central Bank's
        // abbreviated name ("BCO DO NORDESTE DO BRASIL S.A.").
        std::string name = base::cp850::upper(fitted(file, csv.cell(i, "nome_longo"), 200));
        if (name.size() > kBankNameKeptWidth) {
            name = fitted(file, csv.cell(i, "nome_curto"), kBankNameWidth);
        }
        t.rows.push_back({digitCode(file, csv.cell(i, "compe"), 3), name,
                          digitCode(file, csv.cell(i, "ispb"), 8)});
    }
    sortUnique(t, column(0));
    return t;
}

// ---- Chart of accounts and help ----

constexpr int kChartTableNumber = 58;

SuppliedTable contas() {
    // The layout the program creates CONTAS with, so that the shipped chart
    // and one built by the program are the same table.
    SuppliedTable t{"CONTAS", *tableLayout(kChartTableNumber), {{"CONTAS", "CDCONTA"}}, {}};
    const std::vector<std::string> columns = {"CDCONTA",  "NMDESCRICA", "CDSTATUS", "PAGINA",
                                              "LINHA",    "TEMCPF",     "TEMCGC",   "LIVROCX",
                                              "TEMDESCR", "TOTVALOR",   "TIPOCR"};
    for (size_t i = 0; i < columns.size(); ++i) {
        if (i >= t.structure.size() || t.structure[i].name != columns[i]) {
            throw base::Error("Estrutura de CONTAS diferente da esperada pelo plano de contas"_cp);
        }
    }
    const std::string_view file = "contas.csv";
    CsvFile csv = readSource(file);
    for (size_t i = 0; i < csv.size(); ++i) {
        const std::string& kind = csv.cell(i, "TIPOCR");
        if (kind != "" && kind != "C" && kind != "D" && kind != "N") badData(file, "TIPOCR", kind);
        t.rows.push_back(
            {digitCode(file, csv.cell(i, "CDCONTA"), 4),
             fitted(file, csv.cell(i, "NMDESCRICA"), 80), yesNo(file, csv.cell(i, "CDSTATUS")),
             wholeNumber(file, csv.cell(i, "PAGINA")), wholeNumber(file, csv.cell(i, "LINHA")),
             yesNo(file, csv.cell(i, "TEMCPF")), yesNo(file, csv.cell(i, "TEMCGC")),
             yesNo(file, csv.cell(i, "LIVROCX")), yesNo(file, csv.cell(i, "TEMDESCR")), 0.0, kind});
    }
    sortUnique(t, column(0));
    return t;
}

constexpr size_t kHelpTopicWidth = 10;
constexpr size_t kHelpLineWidth = 52;

SuppliedTable helptxt() {
    SuppliedTable t{"HELPTXT",
                    {textField("TOPICO", kHelpTopicWidth), numberField("LINHA", 3),
                     textField("TEXTO", kHelpLineWidth)},
                    {{"HELPTXT", "TOPICO+STR(LINHA,3)"}},
                    {}};
    const std::string_view file = "ajuda.txt";
    std::string_view text = supplied::sourceFile(file);
    std::string topic;
    std::vector<std::string> lines;
    std::set<std::string> seen;
    auto flush = [&] {
        while (!lines.empty() && lines.back().empty())
            lines.pop_back();
        if (!topic.empty() && lines.empty()) badData(file, "tópico sem texto", topic);
        for (size_t i = 0; i < lines.size(); ++i) {
            t.rows.push_back({topic, static_cast<int>(i + 1), lines[i]});
        }
        lines.clear();
    };
    size_t pos = 0;
    while (pos <= text.size()) {
        size_t end = text.find('\n', pos);
        if (end == std::string_view::npos) end = text.size();
        std::string line = base::rtrim(text.substr(pos, end - pos));
        pos = end + 1;
        if (line.starts_with("#")) continue;
        if (line.starts_with("[")) {
            flush();
            if (!line.ends_with("]")) badData(file, "tópico", line);
            topic = line.substr(1, line.size() - 2);
            if (topic.empty() || topic.size() > kHelpTopicWidth ||
                topic != base::asciiUpper(topic) || !seen.insert(topic).second) {
                badData(file, "tópico", line);
            }
            continue;
        }
        if (topic.empty()) {
            if (!line.empty()) badData(file, "texto fora de um tópico", line);
            continue;
        }
        if (line.empty()) {
            if (!lines.empty()) lines.emplace_back();
            continue;
        }
        for (std::string& wrapped :
             supplied::wrapText(supplied::toTableText(line), kHelpLineWidth)) {
            lines.push_back(std::move(wrapped));
        }
    }
    flush();
    sortUnique(t, [](const Row& row) {
        return Value(base::padRight(row[0].text(), kHelpTopicWidth) +
                     *base::formatFixed(row[1].number(), 3, 0));
    });
    return t;
}

using TableMaker = SuppliedTable (*)();

const std::vector<std::pair<std::string_view, TableMaker>>& makers() {
    static const std::vector<std::pair<std::string_view, TableMaker>> all = {
        {"CODEPEN", codepen}, {"OCUPACAO", ocupacao}, {"UFIRM", ufirm},     {"CODARF", codarf},
        {"DESPESA", despesa}, {"CODNATUR", codnatur}, {"TABPAIS", tabpais}, {"TABEMBA", tabemba},
        {"CONTAS", contas},   {"TABMUNI", tabmuni},   {"TABLOGR", tablogr}, {"BANCOS", bancos},
        {"HELPTXT", helptxt},
    };
    return all;
}

// ---- Writing ----

std::string withSeparator(std::string folder) {
    if (!folder.empty() && folder.back() != '\\' && folder.back() != ':') folder += '\\';
    return folder;
}

// A name in `folder` that no file has, for building a table before it is
// renamed into place.
std::string temporaryTableName(const std::string& folder) {
    static std::mt19937 random(std::random_device{}());
    for (;;) {
        std::string name = "SUP" + std::to_string(10000 + random() % 90000);
        if (!platform::fileExists(folder + name + ".DBF")) return name;
    }
}

void appendRows(Table& out, const SuppliedTable& table) {
    for (const Row& row : table.rows) {
        if (!out.append()) {
            throw base::Error("Não foi possível incluir registros em "_cp + table.name);
        }
        for (size_t i = 0; i < row.size(); ++i)
            out.put(static_cast<int>(i), row[i]);
    }
}

void writeRecords(const std::string& path, const SuppliedTable& table) {
    Table::create(path, table.structure);
    auto out = Table::open(path, OpenMode::Exclusive, "SUPPLIED");
    appendRows(*out, table);
    out->close();
}

void buildIndexes(Table& table, const std::string& folder, const SuppliedTable& supplied) {
    for (const SuppliedIndex& index : supplied.indexes) {
        table.createIndex(folder + index.name + ".CDX", index.keyExpression);
    }
}

// False when another workstation put the table in place meanwhile.
bool writeTable(const std::string& folder, const SuppliedTable& table) {
    const std::string finalPath = folder + table.name + ".DBF";
    const std::string temporary = folder + temporaryTableName(folder) + ".DBF";
    try {
        writeRecords(temporary, table);
        if (platform::fileExists(finalPath)) {
            platform::removeFile(temporary);
            return false;
        }
        // Index files left without their table describe other records; drop
        // them so that whoever opens the new table first builds fresh ones.
        for (const SuppliedIndex& index : table.indexes) {
            platform::removeFile(folder + index.name + ".CDX");
        }
        platform::renameFile(temporary, finalPath);
    } catch (...) {
        platform::removeFile(temporary);
        throw;
    }
    if (table.indexes.empty()) return true;
    std::unique_ptr<Table> placed;
    try {
        placed = Table::open(finalPath, OpenMode::Exclusive);
    } catch (const InUseError&) {
        // Another workstation has it open already; opening it through the
        // store builds the missing index files.
        return true;
    }
    buildIndexes(*placed, folder, table);
    placed->close();
    return true;
}

// An existing table file without a single record gets the shipped records
// (and fresh indexes); any record, even a deleted one, means someone has
// worked on it. Returns the records written: 0 when the table was left as it
// was (it has records, is in use, has a layout of its own or cannot be read;
// opening it through the store reports the last).
uint32_t fillEmptyTable(const std::string& folder, const std::string& name, TableMaker make) {
    const std::string path = folder + name + ".DBF";
    try {
        // A shared look first: the usual table with records is left without
        // ever keeping other workstations out of it.
        if (Table::open(path, OpenMode::Shared)->recCount() > 0) return 0;
        auto existing = Table::open(path, OpenMode::Exclusive);
        if (existing->recCount() > 0) return 0;  // the file's count, deleted records included
        const SuppliedTable table = make();
        if (table.rows.empty() || existing->structure() != table.structure) return 0;
        // The records go into a new file that replaces the empty one only
        // once it is whole: a write failing half way leaves the table empty,
        // to be filled at the next start, never half filled for good. Our
        // exclusive open keeps other copies out until the new file has the
        // name.
        const std::string temporary = folder + temporaryTableName(folder) + ".DBF";
        try {
            writeRecords(temporary, table);
            for (const SuppliedIndex& index : table.indexes)
                platform::removeFile(folder + index.name + ".CDX");
            platform::renameFile(temporary, path);
        } catch (...) {
            platform::removeFile(temporary);
            throw;
        }
        existing.reset();
        if (!table.indexes.empty()) {
            try {
                auto placed = Table::open(path, OpenMode::Exclusive);
                buildIndexes(*placed, folder, table);
                placed->close();
            } catch (const InUseError&) {
                // Another workstation opened the filled table first; opening
                // it through the store builds the missing index files.
            }
        }
        return static_cast<uint32_t>(table.rows.size());
    } catch (const base::Error&) {
        return 0;
    }
}

std::string creatingMessage(std::string_view name) {
    return "Criando tabela de referência "_cp + std::string(name);
}

}  // namespace

std::vector<SuppliedTable> suppliedTables() {
    std::vector<SuppliedTable> tables;
    for (const auto& [name, make] : makers())
        tables.push_back(make());
    return tables;
}

SuppliedTable suppliedTable(std::string_view name) {
    for (const auto& [tableName, make] : makers()) {
        if (base::equalsIgnoreCase(tableName, name)) return make();
    }
    throw base::Error("Tabela de referência desconhecida: "_cp + std::string(name));
}

std::vector<SuppliedBuildResult> buildMissingSuppliedTables(const std::string& installFolder,
                                                            Feedback& sink) {
    const std::string folder = withSeparator(platform::absolutePath(installFolder));
    if (!platform::folderExists(folder)) platform::makeFolder(folder);
    std::vector<SuppliedBuildResult> built;
    struct CloseMessage {
        Feedback& sink;
        bool shown = false;
        ~CloseMessage() {
            if (shown) sink.closeMessage();
        }
    } message{sink};
    for (const auto& [name, make] : makers()) {
        const std::string tableName(name);
        if (platform::fileExists(folder + tableName + ".DBF")) {
            if (uint32_t filled = fillEmptyTable(folder, tableName, make)) {
                built.push_back({tableName, filled});
            }
            continue;
        }
        sink.showMessage(creatingMessage(name));
        message.shown = true;
        SuppliedTable table = make();
        if (writeTable(folder, table)) {
            built.push_back({table.name, static_cast<uint32_t>(table.rows.size())});
        }
    }
    return built;
}

std::vector<std::string> suppliedDataNotices() {
    return {
        "Municípios: (c) 2016 Kelvin S. do Prado - licença MIT"_cp,
        "Países: (c) 2016 Chinnon Santos - licença MIT"_cp,
    };
}

std::vector<std::string> suppliedDataLicence() {
    std::vector<std::string> lines;
    std::string_view text = supplied::sourceFile("licencas.txt");
    while (!text.empty()) {
        const size_t end = std::min(text.find('\n'), text.size());
        lines.push_back(supplied::toTableText(text.substr(0, end)));
        text.remove_prefix(std::min(end + 1, text.size()));
    }
    return lines;
}

}  // namespace kdx2::store
