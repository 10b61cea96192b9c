// Backup, deletion and restore as a user runs them, and the update check
// against a local web server; the tables read back by an independent DBF
// reader.

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/mount.h>
#include <sys/socket.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <fstream>
#include <sstream>
#include <thread>

#include "support/child_process.h"
#include "whole_program.h"

using namespace kdx2::e2e;
namespace fs = std::filesystem;

namespace {

const std::string kAna = kNewCpf;
const std::string kBeto = "22255588846";
const std::string kCaio = "33366699957";

std::string slurp(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream bytes;
    bytes << in.rdbuf();
    return bytes.str();
}

// The year tables of a host folder by upper-case name, as bytes.
std::map<std::string, std::string> yearTables(const fs::path& folder) {
    std::map<std::string, std::string> tables;
    for (const auto& entry : fs::directory_iterator(folder)) {
        std::string name = entry.path().filename().string();
        for (char& c : name)
            c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        if (name.starts_with("IRM") && name.ends_with(".DBF")) tables[name] = slurp(entry.path());
    }
    return tables;
}

// Every live row of every year table of a host folder, in a stable order.
std::string liveRows(const fs::path& folder) {
    return kdx2::test_support::runPython(
        "import dbfread, os\n"
        "for n in range(1, 18):\n"
        "    p = os.path.join('" +
        folder.string() +
        "', 'IRM%d.DBF' % n)\n"
        "    rows = sorted(repr(sorted(r.items())) for r in dbfread.DBF(p, encoding='cp850'))\n"
        "    print(n, len(rows))\n"
        "    for r in rows: print(r)\n");
}

class BackupRun : public WholeProgram {
  protected:
    // Three taxpayers created through the declaration, each with a bank
    // account written by the independent library (its index is then built
    // again by the program).
    void makeTaxpayers() {
        Script script;
        for (const std::string& cpf : {kAna, kBeto, kCaio}) {
            script += openNewTaxpayer(cpf);
            script += {"key Alt+T", "expect Ordem CPF", "key Esc"};
        }
        const ProgramRun created = run(script);
        ASSERT_EQ(created.exitCode, 0) << created.errors;
        const std::string out = kdx2::test_support::runPython(
            "import dbf\n"
            "t = dbf.Table('" +
            (drive / "IRM17.DBF").string() +
            "', codepage='cp850')\n"
            "t.open(dbf.READ_WRITE)\n"
            "for cpf in ('" +
            kAna + "', '" + kBeto + "', '" + kCaio +
            "'):\n"
            "    t.append({'cpf': cpf, 'nom_banco': 'Banco de ' + cpf})\n"
            "t.close()\n");
        ASSERT_EQ(out, "");
        fs::remove(drive / "IRM17.cdx");
        for (const std::string& cpf : {kAna, kBeto, kCaio}) {
            ASSERT_EQ(rowsOf("IRM17.DBF", cpf).size(), 1u);
            ASSERT_EQ(rowsOf("IRM9.DBF", cpf).size(), 1u);
        }
    }

    // Backup of the data folder (C:\) into C:\BK, created on the way.
    void backUp() {
        const ProgramRun backup =
            run({"menu Cópia Segurança > Fazer a cópia", "key Enter", "type C:\\BK", "key Enter",
                 "expect Pasta nova para KDX? Cria-o ?", "key Enter",
                 "expect Cópia feita na pasta pedida!", "key Enter"});
        ASSERT_EQ(backup.exitCode, 0) << backup.errors;
    }
};

TEST_F(BackupRun, BackupDeletionOfTwoTaxpayersAndRestoreBringEverythingBack) {
    makeTaxpayers();
    const std::string before = liveRows(drive);
    backUp();
    const auto backup = yearTables(drive / "BK");
    ASSERT_EQ(backup.size(), 17u);

    // Ana and Caio marked in the list, the deletion confirmed.
    const ProgramRun deletion =
        run({"menu Declaração > Exclusão", "expect Marque com a letra", "expect Elimina", "type S",
             "key Enter", "key Down", "type S", "key Enter", "key Esc", "key Esc",
             "expect Confirma a Exclusão", "key Left", "key Enter"});
    ASSERT_EQ(deletion.exitCode, 0) << deletion.errors;
    for (int n = 1; n <= 17; ++n) {
        const std::string table = "IRM" + std::to_string(n) + ".DBF";
        EXPECT_TRUE(rowsOf(table, kAna).empty()) << table;
        EXPECT_TRUE(rowsOf(table, kCaio).empty()) << table;
    }
    EXPECT_EQ(rowsOf("IRM17.DBF", kBeto).size(), 1u);
    EXPECT_EQ(rowsOf("IRM9.DBF", kBeto).size(), 1u);
    const std::string afterDeletion = liveRows(drive);
    EXPECT_NE(afterDeletion, before);

    // The restore over the folder, answered "Sim" to its question.
    const ProgramRun restore =
        run({"menu Cópia Segurança > Recuperar a cópia", "type C:\\BK", "key Enter", "key Enter",
             "expect já contém dados do KDX2", "key Left", "key Enter",
             "expect Recuperados 17 de 17 arquivos necessários!", "key Enter"});
    ASSERT_EQ(restore.exitCode, 0) << restore.errors;
    EXPECT_EQ(yearTables(drive), backup) << "the tables are not the backup's, byte for byte";
    EXPECT_EQ(liveRows(drive), before);
    EXPECT_FALSE(fs::exists(drive / "KDX2.REC"));

    // The program finds the restored taxpayers through its rebuilt indexes.
    const ProgramRun reopened =
        run({"key Alt+I", "expect Ordem CPF", "type " + kCaio, "expect Páginas  Rural  Ajuda"});
    EXPECT_EQ(reopened.exitCode, 0) << reopened.errors;
}

// A restore stopped after it was decided (its journal and every copy in
// the folder, some tables already switched) is finished when the program
// starts again.
TEST_F(BackupRun, ARestoreStoppedHalfWayIsFinishedAtTheNextStart) {
    makeTaxpayers();
    backUp();
    const auto backup = yearTables(drive / "BK");
    const ProgramRun deletion =
        run({"menu Declaração > Exclusão", "expect Marque com a letra", "type S", "key Enter",
             "key Esc", "key Esc", "expect Confirma a Exclusão", "key Left", "key Enter"});
    ASSERT_EQ(deletion.exitCode, 0) << deletion.errors;
    ASSERT_TRUE(rowsOf("IRM9.DBF", kAna).empty());

    std::string journal = "KDX2 RECUPERACAO 1\n";
    for (int n = 1; n <= 17; ++n) {
        const std::string table = "IRM" + std::to_string(n);
        const fs::path copy = drive / (table + ".R00");
        fs::copy_file(drive / "BK" / ("Irm" + std::to_string(n) + ".DBF"), copy);
        journal += "ARQUIVO " + table + ".R00 " + table + ".DBF\nINDICE " + table + ".CDX\n";
        if (n == 9) journal += "INDICE IRM9B.CDX\n";
        // The first five were switched before the stop.
        if (n <= 5) {
            fs::remove(drive / (table + ".cdx"));
            fs::rename(copy, drive / (table + ".DBF"));
        }
    }
    std::ofstream(drive / "KDX2.REC") << journal << "FIM\n";

    const ProgramRun restarted =
        run({"key Alt+I", "expect Ordem CPF", "type " + kAna, "expect Páginas  Rural  Ajuda"});
    EXPECT_EQ(restarted.exitCode, 0) << restarted.errors;
    EXPECT_FALSE(fs::exists(drive / "KDX2.REC"));
    EXPECT_FALSE(fs::exists(drive / "IRM12.R00"));
    EXPECT_EQ(rowsOf("IRM9.DBF", kAna).size(), 1u);
    EXPECT_EQ(rowsOf("IRM17.DBF", kAna).size(), 1u);
    EXPECT_EQ(yearTables(drive), backup);
}

// A data folder on a small disk (E:, a 2 MB tmpfs) and a backup too large
// for it: the restore fails part way and the folder stays as it was.
TEST_F(BackupRun, ARestoreThatRunsOutOfRoomLeavesTheFolderAsItWas) {
    makeTaxpayers();
    backUp();
    const fs::path disk = drive.parent_path() / (drive.filename().string() + ".disk");
    fs::create_directories(disk);
    if (::mount("tmpfs", disk.c_str(), "tmpfs", 0, "size=2m") != 0)
        GTEST_SKIP() << "no tmpfs here; the fault seam's tests cover a failing copy";
    struct Unmount {
        fs::path at;
        ~Unmount() {
            ::umount(at.c_str());
            fs::remove(at);
        }
    } unmount{disk};
    fs::create_directories(disk / "DADOS");
    for (const auto& entry : fs::directory_iterator(drive))
        if (entry.path().filename().string().starts_with("IRM"))
            fs::copy_file(entry.path(), disk / "DADOS" / entry.path().filename());
    // The backup's summary table grown to 3 MB: many copies of its first row.
    const std::string grown = kdx2::test_support::runPython(
        "import struct\n"
        "p = '" +
        (drive / "BK" / "Irm1.DBF").string() +
        "'\n"
        "b = open(p, 'rb').read()\n"
        "count, head, size = struct.unpack('<IHH', b[4:12])\n"
        "row = b[head:head + size]\n"
        "n = 3000000 // size\n"
        "open(p, 'wb').write(b[:4] + struct.pack('<I', n) + b[8:head] + row * n + b'\\x1a')\n");
    ASSERT_EQ(grown, "");
    const auto before = yearTables(disk / "DADOS");

    const ProgramRun restore =
        run({"menu Cópia Segurança > Recuperar a cópia", "type C:\\BK", "key Enter",
             "type E:\\DADOS", "key Enter", "expect já contém dados do KDX2", "key Left",
             "key Enter", "expect não há espaço no disco", "key Enter",
             "expect Problema ao recuperar o arquivo IRM1. Verique!", "key Enter"},
            {{"KDX2_DRIVES", "C=" + drive.string() + ";E=" + disk.string()}});
    EXPECT_EQ(restore.exitCode, 0) << restore.errors;
    EXPECT_EQ(yearTables(disk / "DADOS"), before);
    for (const auto& entry : fs::directory_iterator(disk / "DADOS")) {
        const std::string name = entry.path().filename().string();
        EXPECT_TRUE(name.ends_with(".DBF") || name.ends_with(".cdx")) << name << " left behind";
    }
}

// ---- The update check ------------------------------------------------------

int freePort() {
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    ::bind(fd, reinterpret_cast<sockaddr*>(&address), length);
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
    ::close(fd);
    return ntohs(address.sin_port);
}

bool answers(int port) {
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<uint16_t>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    const bool connected =
        ::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
    ::close(fd);
    return connected;
}

// Python's own web server on 127.0.0.1 serving a folder's index.html.
class WebServer {
  public:
    explicit WebServer(const fs::path& folder)
        : port_(freePort()),
          child_("/usr/bin/python3",
                 {"-c",
                  "import functools, http.server, sys\n"
                  "class Quiet(http.server.SimpleHTTPRequestHandler):\n"
                  "    def log_message(self, *args): pass\n"
                  "handler = functools.partial(Quiet, directory=sys.argv[2])\n"
                  "http.server.ThreadingHTTPServer(('127.0.0.1', int(sys.argv[1])), "
                  "handler).serve_forever()\n",
                  std::to_string(port_), folder.string()}) {
        for (int i = 0; i < 100 && !answers(port_); ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    std::string address() const { return "127.0.0.1:" + std::to_string(port_); }

  private:
    int port_;
    kdx2::test_support::ChildProcess child_;
};

std::string page(const std::string& rateOfJune) {
    std::string text = "<html><body>Taxas\nSELIC acumulada:";
    for (int m = 1; m <= 12; ++m)
        text += "2027" + std::string(m < 10 ? "0" : "") + std::to_string(m) + " " +
                (m == 6 ? rateOfJune : "0.9" + std::to_string(m % 10)) + " ";
    return text + "\n<p>KDX2 3.01 15/02/27 0001000</p></body></html>\n";
}

class UpdateRun : public WholeProgram {
  protected:
    void SetUp() override {
        WholeProgram::SetUp();
        site = drive.parent_path() / (drive.filename().string() + ".site");
        fs::create_directories(site);
    }
    void TearDown() override {
        fs::remove_all(site);
        WholeProgram::TearDown();
    }
    // The rate table's months of 2027, "ANOMES TJM", read back.
    std::vector<std::string> monthsOf2027() {
        std::vector<std::string> months;
        for (const Row& row : records("UFIRM.DBF"))
            if (field(row, "ANOMES").starts_with("2027"))
                months.push_back(field(row, "ANOMES") + " " + field(row, "TJM"));
        return months;
    }
    fs::path site;
};

TEST_F(UpdateRun, TwelveMonthsAreMergedOnceAndTheUpdateIsOffered) {
    std::ofstream(site / "index.html") << page("0.96");
    WebServer server(site);
    const Script refuse = {"expect Aviso! Existe a versão 3.01", "expect Deseja atualizar agora?",
                           "key Right", "key Enter"};
    for (int round = 0; round < 2; ++round) {
        const ProgramRun started = run(refuse, {{"KDX2_UPDATE_SERVER", server.address()}});
        ASSERT_EQ(started.exitCode, 0) << started.errors;
        const auto months = monthsOf2027();
        ASSERT_EQ(months.size(), 12u) << ::testing::PrintToString(months);
        EXPECT_EQ(months[5], "202706 0.96");
    }
}

TEST_F(UpdateRun, AMalformedPageMergesNothing) {
    ASSERT_EQ(run({}).exitCode, 0);  // the rate table as the program ships it
    const std::string shipped = slurp(drive / "UFIRM.DBF");
    std::ofstream(site / "index.html") << page("99999");
    WebServer server(site);
    const ProgramRun checked =
        run({"expect Aviso! Existe a versão 3.01", "key Right", "key Enter",
             "menu Opções > Ver atualizacao", "expect Nenhuma taxa foi gravada.", "key Enter",
             "expect Aviso! Existe a versão 3.01", "key Right", "key Enter"},
            {{"KDX2_UPDATE_SERVER", server.address()}});
    EXPECT_EQ(checked.exitCode, 0) << checked.errors;
    EXPECT_TRUE(monthsOf2027().empty());
    EXPECT_EQ(slurp(drive / "UFIRM.DBF"), shipped);
}

TEST_F(UpdateRun, WithNoServerTheStartIsNotDelayedMoreThanThreeSeconds) {
    ASSERT_EQ(run({}).exitCode, 0);
    auto started = std::chrono::steady_clock::now();
    ASSERT_EQ(run({"expect Versao 3.00"}).exitCode, 0);
    const auto plain = std::chrono::steady_clock::now() - started;

    started = std::chrono::steady_clock::now();
    const ProgramRun offline =
        run({"expect Erro no acesso a Internet. Tente depois!", "key Enter", "expect Versao 3.00"},
            {{"KDX2_UPDATE_SERVER", "127.0.0.1:" + std::to_string(freePort())}});
    const auto withCheck = std::chrono::steady_clock::now() - started;
    EXPECT_EQ(offline.exitCode, 0) << offline.errors;
    EXPECT_LT(withCheck - plain, std::chrono::seconds(3));
}

}  // namespace
