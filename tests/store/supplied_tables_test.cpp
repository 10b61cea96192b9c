// The supplied reference tables written into a real install folder and read
// back through the store and through independent readers (python3-dbfread and
// index_dump).

#include <gtest/gtest.h>
#include <unistd.h>

#include <array>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>

#include "base/cp850.h"
#include "base/named_values.h"
#include "base/process_state.h"
#include "base/text.h"
#include "platform/drives.h"
#include "store/access.h"
#include "store/catalog.h"
#include "store/supplied.h"
#include "store/table.h"
#include "store/work_areas.h"
#include "support/child_process.h"
#include "support/fault_sweep.h"

namespace kdx2 {
namespace {

using namespace base::literals;
using base::Value;
using store::OpenMode;
using store::Table;

const char* const kInstall = "C:\\KDX2\\";

class Messages : public store::Feedback {
  public:
    std::vector<std::string> shown;
    void showMessage(const std::string& text) override { shown.push_back(text); }
};

class SuppliedTablesTest : public ::testing::Test {
  protected:
    std::filesystem::path root;
    Messages messages;

    void SetUp() override {
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        root = std::filesystem::temp_directory_path() /
               ("kdx2_supplied_" + std::string(info->name()) + "_" + std::to_string(::getpid()));
        std::filesystem::remove_all(root);
        std::filesystem::create_directories(root);
        platform::configureDrives("C=" + root.string());
        store::setDeletedFilter(true);
    }
    void TearDown() override {
        std::error_code ignored;
        std::filesystem::remove_all(root, ignored);
    }

    std::vector<store::SuppliedBuildResult> build() {
        return store::buildMissingSuppliedTables(kInstall, messages);
    }
    std::string hostFolder() const { return (root / "KDX2").string(); }

    std::unique_ptr<Table> openWithIndex(const std::string& table, const std::string& index) {
        auto t = Table::open(kInstall + table + ".DBF", OpenMode::Shared);
        t->openIndex(kInstall + index + ".CDX");
        return t;
    }
};

std::string run(const std::string& command) {
    return kdx2::test_support::runCommand(command);
}

// Reads every table with dbfread, dumps every index tag with index_dump and
// checks, independently of the store: record counts, key order of each tag
// (keys worked out from the records), unique first keys, and that every live
// record is in every tag once. Prints one "OK name" line per table, or the
// first problem found.
const char* const kChecker = R"PY(
import sys, subprocess
from dbfread import DBF
folder = sys.argv[1]
def key_of(expr, rec, types):
    e = expr.upper()
    if e.startswith('UPPER(') and e.endswith(')'):
        return key_of(expr[6:-1], rec, types).upper()
    if '+' in e:
        return ''.join(key_of(part, rec, types) for part in e.split('+'))
    if e.startswith('STR('):
        field, width = e[4:-1].split(',')
        return str(int(rec[field])).rjust(int(width))
    if types[e][0] == 'N':
        return float(rec[e])
    return rec[e].ljust(types[e][1])
def sort_key(kr):
    return (kr[0].encode('cp850') if isinstance(kr[0], str) else kr[0], kr[1])
for entry in sys.argv[2:]:
    name, expected, *indexes = entry.split('|')
    table = DBF(folder + '/' + name + '.DBF', encoding='cp850', char_decode_errors='strict')
    types = {f.name: (f.type, f.length) for f in table.fields}
    records = list(table)
    problem = None
    if len(records) != int(expected):
        problem = 'count %d, expected %s' % (len(records), expected)
    for pos, index in enumerate(indexes):
        tag, expr = index.split('=', 1)
        wanted = sorted(((key_of(expr, r, types), n + 1) for n, r in enumerate(records)), key=sort_key)
        if pos == 0 and len(set(k for k, _ in wanted)) != len(wanted):
            problem = problem or '%s: repeated key' % tag
        if tag == '*':  # no index: the records themselves are stored in key order
            if [r for _, r in wanted] != list(range(1, len(records) + 1)):
                problem = problem or 'records out of the order of ' + expr
            continue
        numeric = types.get(expr.upper(), ('C',))[0] == 'N'
        out = subprocess.run(['index_dump', '--type=' + ('num' if numeric else 'char'),
                              folder + '/' + tag + '.cdx', tag],
                             capture_output=True).stdout.decode('cp850').splitlines()
        dumped = [(line.rsplit(' ', 1)[0], int(line.rsplit(' ', 1)[1])) for line in out]
        got_recnos = [r for _, r in dumped]
        if got_recnos != [r for _, r in wanted]:
            problem = problem or '%s: order %s... expected %s...' % (tag, got_recnos[:8], [r for _, r in wanted][:8])
        for (k, r), (wk, wr) in zip(dumped, wanted):
            same = float(k) == wk if numeric else k.rstrip() == wk.rstrip()
            if not same:
                problem = problem or '%s: key %r of record %d, expected %r' % (tag, k, r, wk)
                break
    print(('OK ' + name) if problem is None else (name + ': ' + problem))
)PY";

TEST_F(SuppliedTablesTest, FirstStartBuildsEveryTableThatIndependentReadersAgreeWith) {
    // An index file left behind by a removed table must not survive.
    std::filesystem::create_directories(root / "KDX2");
    std::ofstream(root / "KDX2" / "BANCOS.CDX") << "not an index";

    const auto built = build();

    std::vector<store::SuppliedTable> tables = store::suppliedTables();
    ASSERT_EQ(built.size(), tables.size());
    const std::string script = (root / "check.py").string();
    std::ofstream(script) << kChecker;
    std::string command = "/usr/bin/python3 " + script + " " + hostFolder();
    std::string expectedOutput;
    for (size_t i = 0; i < tables.size(); ++i) {
        EXPECT_EQ(built[i].name, tables[i].name);
        EXPECT_EQ(built[i].records, tables[i].rows.size()) << tables[i].name;
        EXPECT_EQ(messages.shown[i], "Criando tabela de referência "_cp + tables[i].name);
        command += " '" + tables[i].name + "|" + std::to_string(tables[i].rows.size());
        for (const store::SuppliedIndex& index : tables[i].indexes)
            command += "|" + index.name + "=" + index.keyExpression;
        if (tables[i].name == "TABMUNI") command += "|*=UPPER(NOMEMUNI+UNIFED)";
        command += "'";
        expectedOutput += "OK " + tables[i].name + "\n";
    }
    EXPECT_EQ(run(command + " 2>&1"), expectedOutput);

    for (const char* name : {"CODEPEN", "OCUPACAO", "UFIRM", "CODARF", "DESPESA", "CODNATUR",
                             "TABPAIS", "TABEMBA", "TABMUNI", "TABLOGR", "BANCOS", "CONTAS"}) {
        EXPECT_TRUE(std::any_of(tables.begin(), tables.end(), [&](const auto& t) {
            return t.name == name;
        })) << name;
    }
    // Nothing left over from the temporary names the tables were built under.
    EXPECT_TRUE(platform::listFiles("C:\\KDX2\\SUP*.*").empty());
}

// Every file of the folder, by name, with its bytes.
std::map<std::string, std::string> snapshot(const std::filesystem::path& folder) {
    std::map<std::string, std::string> files;
    for (const auto& entry : std::filesystem::directory_iterator(folder)) {
        std::ifstream in(entry.path(), std::ios::binary);
        files[entry.path().filename().string()] = {std::istreambuf_iterator<char>(in), {}};
    }
    return files;
}

TEST_F(SuppliedTablesTest, TheStoreOpensTheBuiltTablesWithTheirIndexesAsTheyAre) {
    build();
    const auto before = snapshot(root / "KDX2");
    base::resetProcessState();
    base::NamedValues& session = base::session();
    session.set("ARQDEF", Value(kInstall));
    session.set("REFAZ_IND", Value(false));
    for (int number : {42, 44, 45, 46, 47, 53, 54, 55, 58, 60, 61, 69}) {
        EXPECT_TRUE(store::ABERTURA(number)) << number;
        EXPECT_GT(store::workAreas().area(number).recCount() + (number == 55), 0u) << number;
    }
    store::workAreas().closeAll();
    // Nothing was created, rebuilt or packed: the names and keys are the store's own.
    EXPECT_TRUE(snapshot(root / "KDX2") == before);
}

TEST_F(SuppliedTablesTest, TheOfficeFindsRealCodes) {
    build();
    // Municipalities: the address screen's own temporary order.
    auto towns = Table::open("C:\\KDX2\\TABMUNI.DBF", OpenMode::Shared);
    towns->createIndex("C:\\KDX2\\TMPMUNI.CDX", "UPPER(NOMEMUNI+UNIFED)");
    ASSERT_TRUE(towns->seek(Value(base::padRight("SAO PAULO", 24) + "SP")));
    EXPECT_EQ(base::rtrim(towns->get("CODMUNI").text()), "7107");
    EXPECT_EQ(base::rtrim(towns->get("NROMUNI").text()), "7107");
    EXPECT_EQ(base::rtrim(towns->get("CODCID").text()), "3550308");
    ASSERT_TRUE(towns->seek(Value(base::padRight("RIO DE JANEIRO", 24) + "RJ")));
    EXPECT_EQ(base::rtrim(towns->get("CODMUNI").text()), "6001");
    towns->setFilter([](Table& t) { return t.get("UNIFED").text() == "AC"; });
    int acre = 0;
    towns->forEach([&](Table&) { return ++acre, true; });
    EXPECT_EQ(acre, 22);  // the 22 municipalities of Acre, without the row of the state
    towns->close();

    auto banks = openWithIndex("BANCOS", "BANCOS");
    ASSERT_TRUE(banks->seek(Value("001")));
    EXPECT_EQ(base::rtrim(banks->get("NOMEBAN").text()), "BANCO DO BRASIL S.A.");
    banks->openIndex("C:\\KDX2\\BANCOSB.CDX");
    banks->setOrder(2);
    ASSERT_TRUE(banks->seek(Value("CAIXA ECON")));
    EXPECT_EQ(banks->get("NUMBAN").text(), "104");

    auto countries = openWithIndex("TABPAIS", "TABPAIS");
    ASSERT_TRUE(countries->seek(Value("105")));
    EXPECT_EQ(base::rtrim(countries->get("NOMPAIS").text()), "Brasil");
    ASSERT_TRUE(countries->seek(Value("023")));
    EXPECT_EQ(base::rtrim(countries->get("NOMPAIS").text()), "Alemanha");

    auto payments = openWithIndex("DESPESA", "DESPESA");
    ASSERT_TRUE(payments->seek(Value(10.0)));
    EXPECT_EQ(base::rtrim(payments->get("DESCDOA").text()), "Médicos no Brasil"_cp);
    EXPECT_TRUE(payments->seek(Value(30.0)));  // alimony, which the program needs

    auto relations = openWithIndex("CODEPEN", "CODEPEN");
    EXPECT_TRUE(relations->seek(Value(21.0)));
    EXPECT_TRUE(relations->seek(Value(99.0)));

    auto occupations = openWithIndex("OCUPACAO", "OCUPACAO");
    ASSERT_TRUE(occupations->seek(Value("229")));
    EXPECT_EQ(occupations->get("ANOFIM").number(), 2023);
    ASSERT_TRUE(occupations->seek(Value("231")));
    EXPECT_EQ(occupations->get("ANOINI").number(), 2024);

    auto darf = openWithIndex("CODARF", "CODARF");
    EXPECT_TRUE(darf->seek(Value("0190")));
    EXPECT_TRUE(darf->seek(Value("0246")));

    auto embassies = openWithIndex("TABEMBA", "TABEMBA");
    EXPECT_EQ(embassies->recCount(), 0u);
    EXPECT_FALSE(embassies->seek(Value("001")));
    EXPECT_TRUE(embassies->eof());
}

// The late-payment interest walk: from the record after the due month up to
// the month before payment, summing the monthly rates.
double selicBetween(Table& rates, const std::string& dueMonth, const std::string& paymentMonth,
                    int* months) {
    double total = 0;
    *months = 0;
    rates.seek(Value(dueMonth));
    if (!rates.found()) return -1;
    for (rates.skip(); !rates.eof() && rates.get("ANOMES").text() < paymentMonth; rates.skip()) {
        total += rates.get("TJM").number();
        ++*months;
    }
    return total;
}

TEST_F(SuppliedTablesTest, SelicWalkOver2024SumsTheRatesOfTheFile) {
    build();
    // The file's own 2024 rows, read as plain text from the repository.
    double fileTotal = 0;
    std::ifstream lines(KDX2_SOURCE_DIR "/data/sources/selic.csv");
    ASSERT_TRUE(lines.is_open());
    for (std::string line; std::getline(lines, line);) {
        if (line.starts_with("2024")) fileTotal += std::stod(line.substr(7, line.find(',', 7) - 7));
    }
    ASSERT_NEAR(fileTotal, 10.38, 1e-9);  // 0.97 + 0.80 + ... + 0.93

    auto rates = openWithIndex("UFIRM", "UFIRM");
    int months = 0;
    EXPECT_NEAR(selicBetween(*rates, "202312", "202501", &months), fileTotal, 1e-9);
    EXPECT_EQ(months, 12);
    ASSERT_TRUE(rates->seek(Value("202406")));
    EXPECT_EQ(rates->get("SIMB_MOED").text(), "R$  ");
    EXPECT_DOUBLE_EQ(rates->get("MULTIPL").number(), 1.0641);
    ASSERT_TRUE(rates->seek(Value("199501")));
    EXPECT_DOUBLE_EQ(rates->get("MULTIPL").number(), 0.6767);
    EXPECT_FALSE(rates->seek(Value("202510")));  // single-source rates are not shipped
}

TEST_F(SuppliedTablesTest, ARestartKeepsWhatTheOfficeEdited) {
    build();
    {
        auto rates = Table::open("C:\\KDX2\\UFIRM.DBF", OpenMode::Exclusive);
        rates->openIndex("C:\\KDX2\\UFIRM.CDX");
        ASSERT_TRUE(rates->seek(Value("202403")));
        rates->put("TJM", Value(9.99));
        EXPECT_TRUE(rates->append());
        rates->put("ANOMES", Value("202601"));
        rates->put("TJM", Value(1.11));
        rates->close();
    }
    ASSERT_TRUE(platform::removeFile("C:\\KDX2\\BANCOS.DBF"));

    const auto second = build();

    ASSERT_EQ(second.size(), 1u);
    EXPECT_EQ(second[0].name, "BANCOS");
    auto rates = openWithIndex("UFIRM", "UFIRM");
    ASSERT_TRUE(rates->seek(Value("202403")));
    EXPECT_DOUBLE_EQ(rates->get("TJM").number(), 9.99);
    ASSERT_TRUE(rates->seek(Value("202601")));
    EXPECT_DOUBLE_EQ(rates->get("TJM").number(), 1.11);
    auto banks = openWithIndex("BANCOS", "BANCOS");
    EXPECT_TRUE(banks->seek(Value("341")));
}

TEST_F(SuppliedTablesTest, AnEmptyChartGetsTheAccountsButAWorkedOneIsLeftAlone) {
    std::filesystem::create_directories(root / "KDX2");
    Table::create("C:\\KDX2\\CONTAS.DBF", *store::tableLayout(58));
    Table::create("C:\\KDX2\\TABLOGR.DBF", *store::tableLayout(58));  // someone else's layout
    Table::create("C:\\KDX2\\OCUPACAO.DBF",
                  store::suppliedTable("OCUPACAO").structure);  // one deleted record
    {
        auto occupations = Table::open("C:\\KDX2\\OCUPACAO.DBF", OpenMode::Exclusive);
        EXPECT_TRUE(occupations->append());
        occupations->put("CDPRO", Value("999"));
        occupations->deleteRecord();
        occupations->close();
    }

    const auto built = build();

    EXPECT_TRUE(std::any_of(built.begin(), built.end(), [](const auto& b) {
        return b.name == "CONTAS" && b.records == store::suppliedTable("CONTAS").rows.size();
    }));
    for (const auto& b : built) {
        EXPECT_NE(b.name, "TABLOGR");
        EXPECT_NE(b.name, "OCUPACAO");
    }
    auto chart = openWithIndex("CONTAS", "CONTAS");
    ASSERT_TRUE(chart->seek(Value("1001")));
    EXPECT_EQ(chart->get("CDSTATUS").text(), "S");
    EXPECT_EQ(Table::open("C:\\KDX2\\OCUPACAO.DBF", OpenMode::Shared)->recCount(), 1u);
    EXPECT_EQ(Table::open("C:\\KDX2\\TABLOGR.DBF", OpenMode::Shared)->recCount(), 0u);
}

// An empty supplied table filled by the start-up gets all its records or
// none: a disk that fails at any write of the filling leaves it empty, and
// the next start fills it whole (a half-filled table would count as worked
// on and never be filled again). The municipalities take several blocks.
TEST_F(SuppliedTablesTest, ATableWhoseFillingFailsIsLeftEmptyAndFilledAtTheNextStart) {
    build();
    const store::SuppliedTable towns = store::suppliedTable("TABMUNI");
    const auto records = [] {
        return Table::open("C:\\KDX2\\TABMUNI.DBF", OpenMode::Shared)->recCount();
    };
    test_support::sweepErrors(
        {.op = platform::FileOp::Write, .nameFilter = "", .limit = 2000, .stride = 1}, ENOSPC, true,
        [&] {
            std::filesystem::remove(root / "KDX2" / "TABMUNI.DBF");
            Table::create("C:\\KDX2\\TABMUNI.DBF", towns.structure);
        },
        [&] {
            try {
                build();
                return true;
            } catch (const base::Error&) {
                return false;
            }
        },
        [&](long step, bool, bool) {
            const uint32_t count = records();
            EXPECT_TRUE(count == 0 || count == towns.rows.size())
                << "step " << step << ": " << count;
            if (count == 0) build();
            EXPECT_EQ(records(), towns.rows.size()) << "step " << step;
        });
    EXPECT_TRUE(platform::listFiles("C:\\KDX2\\SUP*.*").empty());
}

}  // namespace
}  // namespace kdx2
