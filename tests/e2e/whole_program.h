#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <string>
#include <vector>

namespace kdx2::e2e {

using Script = std::vector<std::string>;
using Row = std::map<std::string, std::string>;

// A valid CPF found nowhere on a fresh drive.
inline constexpr const char* kNewCpf = "11144477735";

// One run of build/kdx2 on the headless console.
struct ProgramRun {
    int exitCode = -1;
    std::vector<std::string> screen;  // UTF-8 rows of the composed screen (27)
    std::string errors;
};

// An install folder (drive C:) in a temporary folder, removed afterwards.
class WholeProgram : public ::testing::Test {
  protected:
    void SetUp() override;
    void TearDown() override;

    // Runs kdx2 with the script lines; `environment` adds variables (the
    // workstation's own TERMINAL, KDX2DEF ... are removed first). `date` fixes
    // the clock through faketime ("2025-06-15 10:00:00"); `argument` is the
    // program's own command-line argument (the terminal number).
    ProgramRun run(const std::vector<std::string>& script,
                   const std::map<std::string, std::string>& environment = {},
                   const std::string& date = "2025-06-15 10:00:00",
                   const std::string& argument = "");

    // The records of a table of drive C:, read by an independent DBF reader,
    // each as field name -> value text.
    std::vector<std::map<std::string, std::string>> records(const std::string& table);
    // The records of a table of drive C: whose CPF is `cpf` (none when the
    // table does not exist).
    std::vector<Row> rowsOf(const std::string& table, const std::string& cpf = kNewCpf);
    // Sets a field of every record through the same independent library.
    void setField(const std::string& table, const std::string& field, const std::string& value);

    std::filesystem::path drive;
};

// Command 11 (Alt+I) on a CPF found nowhere, created in the data folder:
// the script ends with the declaration menu shown.
Script openNewTaxpayer(const std::string& cpf = kNewCpf);
// Appends `more` to `script`.
Script& operator+=(Script& script, const Script& more);
// A field of a row read back, trimmed; "<none>" when the row has no such field.
std::string field(const Row& row, const std::string& name);

// The text in single quotes for the shell.
std::string quoted(const std::string& text);

// Characters `from` ... `from + count - 1` of a UTF-8 screen row.
std::string columns(const std::string& row, size_t from, size_t count);
std::string trimmed(const std::string& text);
// The trimmed cells of a screen row between its vertical bars ("│").
std::vector<std::string> cellsBetweenBars(const std::string& row);

}  // namespace kdx2::e2e
