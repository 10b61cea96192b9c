// The imports in the whole program: the tax authority's declarations of two
// years (only the tax year's and the year before's offered, dependants
// renumbered, the counters, "Já existente" on a second run), a carnê-leão
// export dated in its own year, the previous program's folder converted
// without touching it and without losing assets, and origin folders that
// cannot be used. Tables read back with python3-dbfread.

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <fstream>
#include <set>

#include "importing/synthetic_files.h"
#include "importing/synthetic_tables.h"
#include "support/child_process.h"
#include "whole_program.h"

using namespace kdx2::e2e;
using namespace kdx2::test_import;
using Script = std::vector<std::string>;
using Rows = std::vector<std::map<std::string, std::string>>;

namespace {

constexpr int kTaxYear = 2025;  // the clock says June 2025

class Imports : public WholeProgram {
  protected:
    void write(const std::string& relative, const std::string& bytes) {
        std::filesystem::create_directories((drive / relative).parent_path());
        std::ofstream(drive / relative, std::ios::binary) << bytes;
    }

    // The taxpayer's rows of a table.
    Rows rowsOf(const std::string& table, const std::string& cpf) {
        Rows mine;
        for (const auto& row : records(table))
            if (trimmed(row.at("CPF")) == cpf) mine.push_back(row);
        return mine;
    }

    std::map<std::string, std::string> folderBytes(const std::string& relative) {
        std::map<std::string, std::string> files;
        for (const auto& entry : std::filesystem::directory_iterator(drive / relative)) {
            std::ifstream in(entry.path(), std::ios::binary);
            files[entry.path().filename().string()] =
                std::string(std::istreambuf_iterator<char>(in), {});
        }
        return files;
    }
};

// The folder prompt of an import: origin and destination typed over the
// preset values.
Script folders(const std::string& menu, const std::string& origin, const std::string& destination) {
    return {"menu Importação > " + menu,
            "expect Drive e pasta do KDX2",
            "key Ctrl+Y",
            "type " + origin,
            "key Enter",
            "key Ctrl+Y",
            "type " + destination,
            "key Enter"};
}

Script operator+(Script a, const Script& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

std::string counter(const std::string& label, int value) {
    std::string line = label;
    line.resize(17, ' ');
    if (label.find("á") != std::string::npos || label.find("ã") != std::string::npos)
        line.push_back(' ');  // one character, two bytes
    return line +
           std::string(value < 10    ? "   "
                       : value < 100 ? "  "
                                     : " ") +
           std::to_string(value);
}

TEST_F(Imports, DeclarationsOfTwoYearsConvertOnceAndThenAlreadyExist) {
    std::vector<std::string> cpfs;
    int n = 0;
    for (int year : {kTaxYear, kTaxYear, kTaxYear - 1, kTaxYear - 2, kTaxYear - 2}) {
        ++n;
        DeclarationData d = fullDeclaration(n, year, kTaxYear);
        d.lineEnd = n == 1 ? LineEnd::Lf : n == 3 ? LineEnd::Nul : LineEnd::CrLf;
        write("ORIGEM/D" + std::to_string(n) + ".DEC", declarationFile(d));
        if (year >= kTaxYear - 1) cpfs.push_back(d.person.cpf);
    }
    // One of the tax year, cut short inside a dependant: not converted.
    DeclarationData cut = fullDeclaration(9, kTaxYear, kTaxYear);
    std::string bytes = declarationFile(cut);
    bytes.resize(bytes.find("\r\n25") + 60);
    write("ORIGEM/CUT.DEC", bytes);

    const Script importAll =
        folders("do IRPF da Receita", "C:\\ORIGEM", "C:\\DADOS") +
        Script{"expect 100.007.919-89", "expect 100.023.757-53", "key Alt+=", "key Esc"};
    std::filesystem::create_directories(drive / "DADOS");
    ProgramRun first =
        run(importAll + Script{"expect não foi convertido", "expect incompleta", "key Enter",
                               "expect " + counter(" A converter", 4),
                               "expect " + counter(" Convertidos", 3),
                               "expect " + counter(" Não convertido", 1),
                               "expect " + counter(" Linhas com erro", 1),
                               "expect " + counter(" Faltam........", 0), "key Enter"});
    ASSERT_EQ(first.exitCode, 0) << first.errors;

    // Only the tax year's and the year before's, each with its dependants
    // numbered from 1 and the alimony beneficiary after them.
    const Rows reg = records("DADOS/IRM9.DBF");
    std::set<std::string> registered;
    for (const auto& row : reg)
        registered.insert(row.at("CPF"));
    EXPECT_EQ(registered, std::set<std::string>(cpfs.begin(), cpfs.end()));
    for (const std::string& cpf : cpfs) {
        const Rows dependants = rowsOf("DADOS/IRM3.DBF", cpf);
        ASSERT_EQ(dependants.size(), 4u) << cpf;
        for (size_t i = 0; i < dependants.size(); ++i)
            EXPECT_EQ(dependants[i].at("NRODEPEN"), std::to_string(i + 1));
        EXPECT_EQ(dependants[3].at("CODIDEPEN"), "99");
    }
    EXPECT_EQ(rowsOf("DADOS/IRM9.DBF", personCpf(1)).at(0).at("NOMECONTR"), "JOAO DA CONCEIÇAO 1");

    ProgramRun second =
        run(importAll + Script{"expect não foi convertido", "key Enter",
                               "expect " + counter(" Já existente", 3),
                               "expect " + counter(" Convertidos", 0), "key Enter"});
    ASSERT_EQ(second.exitCode, 0) << second.errors;
    EXPECT_EQ(records("DADOS/IRM9.DBF").size(), 3u);
    EXPECT_EQ(records("DADOS/IRM3.DBF").size(), 12u);
}

TEST_F(Imports, ACarneLeaoExportLandsInItsOwnYearWithItsMonths) {
    DeclarationData d = fullDeclaration(1, kTaxYear, kTaxYear);
    write("ORIGEM/D1.DEC", declarationFile(d));
    CarneData c;
    c.year = kTaxYear - 1;
    c.taxpayerFirst = true;
    c.cpf = d.person.cpf;
    c.name = "JOÃO";
    c.months.resize(12);
    c.months[1] = {0, 0, 700, 0, 150, 0};
    c.months[5] = {1200, 0, 0, 80, 0, 20};
    c.receipts = {{true, 28, 2, personCpf(80), personCpf(81), 333.33}};
    write("LEAO/" + carneFileName(c.cpf, kTaxYear), carneFile(c));

    const Script script = folders("do IRPF da Receita", "C:\\ORIGEM", "C:\\") +
                          Script{"key Alt+=", "key Esc", "key Enter"} +
                          folders("do L.Caixa Receita", "C:\\LEAO", "C:\\") +
                          Script{"expect 100.007.919-89", "key Alt+=", "key Esc",
                                 "expect " + counter(" Convertidos", 1), "key Enter"};
    ProgramRun result = run(script);
    ASSERT_EQ(result.exitCode, 0) << result.errors;

    std::map<std::string, Rows> byKind;
    for (const auto& row : rowsOf("IRM2.DBF", c.cpf))
        byKind[row.at("I1_1")].push_back(row);
    const std::string year = std::to_string(kTaxYear - 1);
    ASSERT_EQ(byKind["E"].size(), 1u);
    EXPECT_EQ(byKind["E"][0].at("DT_LC"), year + "-02-01");
    EXPECT_EQ(byKind["E"][0].at("I1_413"), "700.0");
    ASSERT_EQ(byKind["L"].size(), 1u);
    EXPECT_EQ(byKind["L"][0].at("DT_LC"), year + "-02-01");
    EXPECT_EQ(byKind["L"][0].at("I1_402"), "150.0");
    ASSERT_EQ(byKind["F"].size(), 2u);
    EXPECT_EQ(byKind["F"][0].at("DT_LC"), year + "-06-01");  // rent
    EXPECT_EQ(byKind["F"][1].at("DT_LC"), year + "-02-28");  // the receipt keeps its day
    ASSERT_EQ(byKind["P"].size(), 1u);
    EXPECT_EQ(byKind["P"][0].at("I1_406"), "80.0");
    EXPECT_EQ(rowsOf("IRM9.DBF", c.cpf).at(0).at("CODAT"), "11");
}

TEST_F(Imports, ThePreviousProgramsFolderUpdatesKeepingAssetsAndStaysAsItWas) {
    const std::string cpf = personCpf(70);
    writePreviousProgram(
        drive / "VELHO", kTaxYear,
        {{9,
          {{{"CPF", cpf}, {"NOMECONTR", "ANTONIO"}, {"ENDERECO", "RUA NOVA"}, {"TEMRURAL", "N"}}}},
         {3, {{{"CPF", cpf}, {"NOMEDEPEN", "FILHA"}, {"CODIDEPEN", "21"}, {"NRODEPEN", "1"}}}}});
    const auto before = folderBytes("VELHO");
    std::filesystem::create_directories(drive / "DADOS");
    // The first run converts the taxpayer into C:\DADOS without going there.
    const Script convert = folders("do IR da Tavo", "C:\\VELHO", "C:\\DADOS") +
                           Script{"key Alt+=", "key Esc", "expect Vai para a pasta C:\\DADOS",
                                  "key Right", "key Enter"};
    ProgramRun first = run(convert);
    ASSERT_EQ(first.exitCode, 0) << first.errors;
    ASSERT_EQ(rowsOf("DADOS/IRM9.DBF", cpf).size(), 1u);
    EXPECT_EQ(folderBytes("VELHO"), before);

    // An asset typed in this program meanwhile, appended byte by byte (its
    // 512-wide description is beyond what python3-dbf reads).
    int status = 0;
    const std::string out = kdx2::test_support::runPython(
        "import struct\n"
        "path = '" +
            (drive / "DADOS" / "IRM4.DBF").string() +
            "'\n"
            "data = bytearray(open(path, 'rb').read())\n"
            "count, header, length = struct.unpack_from('<IHH', data, 4)\n"
            "fields, at = [], 32\n"
            "while data[at] != 0x0D:\n"
            "    name = data[at:at+11].split(b'\\0')[0].decode()\n"
            "    width = data[at+16] + (data[at+17] * 256 if data[at+11] == ord('C') else 0)\n"
            "    fields.append((name, width)); at += 32\n"
            "values = {'CPF': '" +
            cpf +
            "', 'I7_2': 'CASA', 'I7_4': '     250000.00'}\n"
            "record = b' ' + b''.join(values.get(n, '').ljust(w).encode('cp850') for n, w in "
            "fields)\n"
            "assert len(record) == length\n"
            "end = header + count * length\n"
            "data[end:] = record + b'\\x1a'\n"
            "struct.pack_into('<I', data, 4, count + 1)\n"
            "open(path, 'wb').write(data)\n",
        &status);
    ASSERT_EQ(status, 0) << out;
    std::filesystem::remove(drive / "DADOS" / "IRM4.cdx");
    setField("VELHO/IMP0925.DBF", "ENDERECO", "RUA MUDOU");
    const auto changedSource = folderBytes("VELHO");

    // Converted again with "Conv." 0: an update, which keeps the asset.
    ProgramRun second = run(convert);
    ASSERT_EQ(second.exitCode, 0) << second.errors;
    EXPECT_EQ(rowsOf("DADOS/IRM9.DBF", cpf).at(0).at("ENDERECO"), "RUA MUDOU");
    ASSERT_EQ(rowsOf("DADOS/IRM4.DBF", cpf).size(), 1u);
    EXPECT_EQ(rowsOf("DADOS/IRM4.DBF", cpf).at(0).at("I7_2"), "CASA");
    EXPECT_EQ(rowsOf("DADOS/IRM3.DBF", cpf).size(), 1u);
    EXPECT_EQ(folderBytes("VELHO"), changedSource);
    // The folder is registered, not selected.
    bool registered = false;
    for (const auto& row : records("DIRET00.DBF"))
        if (row.at("DIRETOR") == "C:\\DADOS") registered = row.at("SELEC") == "N";
    EXPECT_TRUE(registered);
}

TEST_F(Imports, FoldersThatCannotBeUsedAreTold) {
    write("VELHOS/D1.DEC", declarationFile(fullDeclaration(1, kTaxYear - 4, kTaxYear)));
    write("VELHOS/D2.DEC", declarationFile(fullDeclaration(2, kTaxYear - 5, kTaxYear)));
    std::filesystem::create_directories(drive / "VAZIA");
    const Script script =
        folders("do IRPF da Receita", "C:\\NAOHA", "C:\\") +
        Script{"expect Drive e/ou Pasta do IR2019C:\\NAOHA inexistente !!",
               "key Enter",
               "key Ctrl+Y",
               "type C:\\VELHOS",
               "key Enter",
               "key Enter",
               "expect Na pasta existem 2 declarações, mas não do ano 2025",
               "key Enter"} +
        folders("do L.Caixa Receita", "C:\\VAZIA", "C:\\") +
        Script{"expect A pasta escolhida não contém a informação pedida do C.Leão", "key Enter"} +
        Script{"menu Importação > do IRPF da Receita", "expect Drive e pasta do KDX2", "key Esc",
               "expect Ano Base"};
    ProgramRun result = run(script);
    EXPECT_EQ(result.exitCode, 0) << result.errors;
    EXPECT_TRUE(records("IRM9.DBF").empty());
}

// The origin folder exists but this user may not read it.
TEST_F(Imports, AFolderWithoutPermissionIsTold) {
    ProgramRun setup = run({"expect Ano Base"});
    ASSERT_EQ(setup.exitCode, 0) << setup.errors;
    write("FECHADA/D1.DEC", declarationFile(fullDeclaration(1, kTaxYear, kTaxYear)));
    // Everything open to the other user but the origin folder.
    kdx2::test_support::runCommand("chmod -R a+rwX " + drive.string() + " && chmod 0 " +
                                   (drive / "FECHADA").string());
    std::ofstream(drive.string() + ".script")
        << "menu Importação > do IRPF da Receita\nkey Ctrl+Y\ntype C:\\FECHADA\nkey Enter\n"
           "key Enter\nexpect não pode ser lida\nkey Enter\n";
    int status = 0;
    const std::string out = kdx2::test_support::runCommand(
        "env -u TERMINAL KDX2_DRIVES='C=" + drive.string() + "' HOME=/tmp " +
            "setpriv --reuid=65534 --regid=65534 --clear-groups " + KDX2_BINARY + " --headless '" +
            drive.string() + ".script' 2>&1",
        &status);
    std::filesystem::remove(drive.string() + ".script");
    ::chmod((drive / "FECHADA").c_str(), 0755);
    EXPECT_EQ(status, 0) << out;
}

}  // namespace
