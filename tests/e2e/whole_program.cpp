#include "whole_program.h"

#include <sys/wait.h>

#include <cstdlib>
#include <fstream>
#include <sstream>

namespace kdx2::e2e {

namespace fs = std::filesystem;

namespace {

std::string slurp(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream all;
    all << in.rdbuf();
    return all.str();
}

std::vector<std::string> lines(const std::string& text) {
    std::vector<std::string> out;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
        out.push_back(line);
    return out;
}

int runShell(const std::string& command) {
    const int status = std::system(command.c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// Reads or changes a table with python3-dbfread / python3-dbf, which know
// nothing of kdx2's own code.
const char* kReader = R"PY(
import sys, dbfread
for record in dbfread.DBF(sys.argv[1], encoding='cp850', char_decode_errors='replace'):
    print('\t'.join('%s=%s' % (k, '' if v is None else v) for k, v in record.items()))
)PY";

const char* kWriter = R"PY(
import sys, dbf
table = dbf.Table(sys.argv[1], codepage='cp850')
table.open(dbf.READ_WRITE)
for record in table:
    with record:
        name = sys.argv[2].lower()
        kind = table.field_info(name)[0]
        setattr(record, name, int(sys.argv[3]) if kind == dbf.FieldType.NUMERIC else sys.argv[3])
table.close()
)PY";

}  // namespace

void WholeProgram::SetUp() {
    char pattern[] = "/tmp/kdx2-e2e-XXXXXX";
    ASSERT_NE(::mkdtemp(pattern), nullptr);
    drive = pattern;
}

void WholeProgram::TearDown() {
    fs::remove_all(drive);
}

ProgramRun WholeProgram::run(const std::vector<std::string>& script,
                             const std::map<std::string, std::string>& environment,
                             const std::string& date, const std::string& argument) {
    const fs::path scriptFile = drive.parent_path() / (drive.filename().string() + ".script");
    {
        std::ofstream out(scriptFile);
        for (const std::string& line : script)
            out << line << '\n';
    }
    const fs::path out = drive.parent_path() / (drive.filename().string() + ".out");
    const fs::path err = drive.parent_path() / (drive.filename().string() + ".err");
    std::string command =
        "env -u TERMINAL -u KDX2DEF -u USUAR -u EQUIP KDX2_DRIVES=" + quoted("C=" + drive.string());
    for (const auto& [name, value] : environment)
        command += " " + name + "=" + quoted(value);
    if (!date.empty()) command += " faketime " + quoted(date);
    command += " " + quoted(KDX2_BINARY) + " --headless " + quoted(scriptFile.string());
    if (!argument.empty()) command += " " + quoted(argument);
    command += " >" + quoted(out.string()) + " 2>" + quoted(err.string());
    ProgramRun result;
    result.exitCode = runShell(command);
    result.screen = lines(slurp(out));
    result.errors = slurp(err);
    fs::remove(scriptFile);
    fs::remove(out);
    fs::remove(err);
    return result;
}

std::vector<std::map<std::string, std::string>> WholeProgram::records(const std::string& table) {
    const fs::path out = drive.parent_path() / (drive.filename().string() + ".rows");
    const int code = runShell("/usr/bin/python3 -c " + quoted(kReader) + " " +
                              quoted((drive / table).string()) + " >" + quoted(out.string()));
    EXPECT_EQ(code, 0) << "could not read " << table;
    std::vector<std::map<std::string, std::string>> rows;
    for (const std::string& line : lines(slurp(out))) {
        std::map<std::string, std::string> row;
        std::istringstream fields(line);
        for (std::string field; std::getline(fields, field, '\t');) {
            const size_t equals = field.find('=');
            row[field.substr(0, equals)] = field.substr(equals + 1);
        }
        rows.push_back(row);
    }
    fs::remove(out);
    return rows;
}

void WholeProgram::setField(const std::string& table, const std::string& field,
                            const std::string& value) {
    const int code =
        runShell("/usr/bin/python3 -c " + quoted(kWriter) + " " + quoted((drive / table).string()) +
                 " " + quoted(field) + " " + quoted(value));
    ASSERT_EQ(code, 0) << "could not change " << table;
}

std::string quoted(const std::string& text) {
    std::string out = "'";
    for (char ch : text) {
        if (ch == '\'')
            out += "'\\''";
        else
            out += ch;
    }
    return out + "'";
}

std::vector<Row> WholeProgram::rowsOf(const std::string& table, const std::string& cpf) {
    std::vector<Row> mine;
    if (!fs::exists(drive / table)) return mine;
    for (const Row& row : records(table))
        if (field(row, "CPF") == cpf) mine.push_back(row);
    return mine;
}

Script openNewTaxpayer(const std::string& cpf) {
    return {"key Alt+I",   "expect Ordem CPF",
            "type " + cpf, "expect Inclui na pasta atual?",
            "key Enter",   "expect Páginas  Rural  Ajuda"};
}

Script& operator+=(Script& script, const Script& more) {
    script.insert(script.end(), more.begin(), more.end());
    return script;
}

std::string field(const Row& row, const std::string& name) {
    const auto found = row.find(name);
    return found == row.end() ? "<none>" : trimmed(found->second);
}

std::string columns(const std::string& row, size_t from, size_t count) {
    // Counts UTF-8 characters, not bytes.
    size_t character = 0;
    std::string out;
    for (size_t i = 0; i < row.size();) {
        size_t length = 1;
        const unsigned char lead = static_cast<unsigned char>(row[i]);
        if (lead >= 0xF0)
            length = 4;
        else if (lead >= 0xE0)
            length = 3;
        else if (lead >= 0xC0)
            length = 2;
        if (character >= from && character < from + count) out += row.substr(i, length);
        ++character;
        i += length;
    }
    return out;
}

std::string trimmed(const std::string& text) {
    const size_t first = text.find_first_not_of(' ');
    if (first == std::string::npos) return "";
    return text.substr(first, text.find_last_not_of(' ') - first + 1);
}

std::vector<std::string> cellsBetweenBars(const std::string& row) {
    const std::string bar = "│";
    std::vector<std::string> cells;
    size_t at = 0;
    for (;;) {
        const size_t next = row.find(bar, at);
        cells.push_back(trimmed(row.substr(at, next == std::string::npos ? next : next - at)));
        if (next == std::string::npos) break;
        at = next + bar.size();
    }
    return cells;
}

}  // namespace kdx2::e2e
