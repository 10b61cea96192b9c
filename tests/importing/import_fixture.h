#pragma once

// A temporary drive C: with the install folder's reference tables, a data
// folder C:\DADOS and an origin folder C:\ORIGEM for input files; messages
// and store feedback recorded; the tables written read back with
// independent readers (python3-dbfread, index_dump).

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "base/cp850.h"
#include "base/named_values.h"
#include "common/recording_messages.h"
#include "importing/convert.h"
#include "importing/import_text.h"
#include "importing/listing.h"
#include "importing/services.h"
#include "platform/drives.h"
#include "store/access.h"
#include "store/store_fixture.h"
#include "store/supplied.h"
#include "store/work_areas.h"
#include "support/child_process.h"

namespace kdx2::import_test {

using Row = std::map<std::string, std::string>;
inline constexpr int kTaxYear = 2025;

class ImportTest : public ::testing::Test {
  protected:
    // The reference tables are built once per test program and copied.
    static void SetUpTestSuite() {
        template_ = std::filesystem::temp_directory_path() /
                    ("kdx2imp-reference-" + std::to_string(::getpid()));
        if (std::filesystem::exists(template_)) return;
        std::filesystem::create_directories(template_);
        platform::configureDrives("C=" + template_.string());
        store::buildMissingSuppliedTables("C:\\");
    }
    static void TearDownTestSuite() {
        std::error_code ignored;
        std::filesystem::remove_all(template_, ignored);
    }

    void SetUp() override {
        root = test_support::setUpTempDrive("kdx2imp", feedback);
        base::NamedValues& s = base::session();
        s.set("QUEANO", kTaxYear);
        s.set("ARQDEF", "C:\\");
        std::filesystem::create_directories(root / "ORIGEM");
        std::filesystem::copy(template_, root, std::filesystem::copy_options::recursive);
        importing::setServices({});
    }
    void TearDown() override {
        base::resetProcessState();
        importing::setServices({});
        std::error_code ignored;
        std::filesystem::permissions(root / "ORIGEM", std::filesystem::perms::all,
                                     std::filesystem::perm_options::add, ignored);
        std::filesystem::remove_all(root, ignored);
    }

    // An input file of the origin folder.
    void writeInput(const std::string& name, const std::string& bytes) {
        std::ofstream(root / "ORIGEM" / name, std::ios::binary) << bytes;
    }

    // What the listing offers, by CPF.
    std::map<std::string, importing::MarkedFile> listed(importing::ImportKind kind) {
        std::map<std::string, importing::MarkedFile> files;
        for (const importing::ListedFile& f :
             importing::listFolder(kind, "C:\\ORIGEM", kTaxYear).listed)
            files[f.id.cpf] = {f.path, f.id.typeKey, f.id.cpf, importing::importText(f.id.name)};
        return files;
    }

    // FAZCONV of the listed file of that CPF, into the data folder C:\DADOS.
    importing::FileOutcome convert(importing::ImportKind kind, const std::string& cpf) {
        const auto files = listed(kind);
        const auto file = files.find(cpf);
        EXPECT_NE(file, files.end()) << "not listed: " << cpf;
        if (file == files.end()) return {};
        EXPECT_TRUE(importing::CRIA_BASE());
        importing::FileOutcome outcome = importing::FAZCONV(kind, file->second, kTaxYear);
        store::workAreas().closeAll();
        return outcome;
    }

    // The live records of a table of the drive, by an independent reader.
    std::vector<Row> rows(const std::string& relative) {
        const std::string script =
            "import sys, dbfread\n"
            "for r in dbfread.DBF(sys.argv[1], encoding='cp850'):\n"
            "    print('\\t'.join('%s=%s' % (k, '' if v is None else v) for k, v in r.items()))\n";
        std::ofstream(root / "read_rows.py") << script;
        int status = 0;
        const std::string out =
            test_support::runCommand("/usr/bin/python3 " + (root / "read_rows.py").string() + " " +
                                         (root / relative).string(),
                                     &status);
        EXPECT_EQ(status, 0) << out;
        std::vector<Row> result;
        std::istringstream lines(out);
        for (std::string line; std::getline(lines, line);) {
            Row row;
            std::istringstream fields(line);
            for (std::string field; std::getline(fields, field, '\t');) {
                const size_t equals = field.find('=');
                row[field.substr(0, equals)] = field.substr(equals + 1);
            }
            result.push_back(row);
        }
        return result;
    }

    // The keys of an index tag in order, as index_dump lists them.
    std::vector<std::string> indexKeys(const std::string& relative, const std::string& tag) {
        int status = 0;
        const std::string out = test_support::runCommand(
            "index_dump --type=char " + (root / relative).string() + " " + tag, &status);
        EXPECT_EQ(status, 0) << out;
        std::vector<std::string> keys;
        std::istringstream lines(out);
        for (std::string line; std::getline(lines, line);)
            keys.push_back(line);
        return keys;
    }

    // Every file of a folder with its bytes, to see that nothing changed.
    std::map<std::string, std::string> snapshot(const std::string& relative) {
        std::map<std::string, std::string> files;
        for (const auto& entry : std::filesystem::directory_iterator(root / relative)) {
            if (!entry.is_regular_file()) continue;
            std::ifstream in(entry.path(), std::ios::binary);
            files[entry.path().filename().string()] =
                std::string(std::istreambuf_iterator<char>(in), {});
        }
        return files;
    }

    static inline std::filesystem::path template_;
    // The names of the files that differ between two snapshots.
    static std::vector<std::string> changed(const std::map<std::string, std::string>& before,
                                            const std::map<std::string, std::string>& after) {
        std::vector<std::string> names;
        for (const auto& [name, bytes] : after) {
            const auto was = before.find(name);
            if (was == before.end() || was->second != bytes) names.push_back(name);
        }
        for (const auto& [name, bytes] : before)
            if (after.count(name) == 0) names.push_back(name + " (gone)");
        return names;
    }

    std::filesystem::path root;
    testing_store::RecordingFeedback feedback;
    testing::RecordingMessages messages;
};

inline std::string utf8(const std::vector<std::string>& cp850Lines) {
    std::string out;
    for (const std::string& line : cp850Lines)
        out += base::cp850::toUtf8(line) + "\n";
    return out;
}

}  // namespace kdx2::import_test
