#pragma once

// The files as other programs see them: tables read by Debian's python3-dbfread
// and python3-dbf, index tags listed by index_dump (libdbd-xbase-perl).
// Header-only, for the test programs of every folder.

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <filesystem>
#include <map>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "support/child_process.h"

namespace kdx2::test_support {

// One table as the independent readers see it.
struct ReadTable {
    std::string error;                                   // what a reader said when it gave up
    std::vector<std::vector<std::string>> live;          // live records' values (python3-dbfread)
    std::vector<std::pair<std::string, uint32_t>> keys;  // key field of every record, deleted too
};

// python3-dbf names fields in lower case.
inline std::string pythonDbfName(std::string field) {
    std::transform(field.begin(), field.end(), field.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return field;
}

// Reads the tables `names` ("IRM2") of a host folder; `keyField` is listed
// for every record with its record number, as an index on it must hold it.
inline std::map<std::string, ReadTable> readTables(const std::filesystem::path& folder,
                                                   const std::vector<std::string>& names,
                                                   const std::string& keyField = "CPF") {
    std::string list;
    for (const std::string& name : names)
        list += "'" + name + "',";
    const std::string script =
        "import dbf, dbfread, os, sys\n"
        "folder = '" +
        folder.string() +
        "'\n"
        "def clean(v):\n"
        "    return str(v).strip().replace('\\t', ' ').replace('\\n', ' ')\n"
        "for name in [" +
        list +
        "]:\n"
        "    path = os.path.join(folder, name + '.DBF')\n"
        "    print('T\\t' + name)\n"
        "    try:\n"
        "        for r in dbfread.DBF(path, encoding='cp850', char_decode_errors='strict'):\n"
        "            print('L\\t' + '\\t'.join(clean(v) for v in r.values()))\n"
        "        t = dbf.Table(path, codepage='cp850')\n"
        "        t.open(dbf.READ_ONLY)\n"
        "        for n, r in enumerate(t, 1):\n"
        "            print('K\\t%d\\t%s' % (n, clean(r['" +
        pythonDbfName(keyField) +
        "'])))\n"
        "        t.close()\n"
        "    except Exception as e:\n"
        "        print('E\\t' + clean(repr(e)))\n";
    std::map<std::string, ReadTable> tables;
    ReadTable* current = nullptr;
    std::istringstream out(runPython(script));
    for (std::string line; std::getline(out, line);) {
        const size_t tab = line.find('\t');
        if (tab == std::string::npos) continue;
        const std::string kind = line.substr(0, tab), rest = line.substr(tab + 1);
        if (kind == "T") {
            current = &tables[rest];
        } else if (!current) {
            continue;
        } else if (kind == "E") {
            current->error = rest;
        } else if (kind == "L") {
            std::vector<std::string> values;
            std::istringstream fields(rest);
            for (std::string value; std::getline(fields, value, '\t');)
                values.push_back(value);
            current->live.push_back(std::move(values));
        } else if (kind == "K") {
            const size_t cut = rest.find('\t');
            current->keys.emplace_back(rest.substr(cut + 1),
                                       static_cast<uint32_t>(std::stoul(rest.substr(0, cut))));
        }
    }
    return tables;
}

// The live rows of a table whose first value is `key`, sorted (their order
// on disk follows the record numbers a change happened to reuse).
inline std::vector<std::vector<std::string>> liveRowsOf(const ReadTable& table,
                                                        const std::string& key) {
    std::vector<std::vector<std::string>> rows;
    for (const auto& row : table.live)
        if (!row.empty() && row.front() == key) rows.push_back(row);
    std::sort(rows.begin(), rows.end());
    return rows;
}

// The key and record number of every entry of a tag, as index_dump lists
// them; an unreadable file gives its complaint in `error`.
inline std::vector<std::pair<std::string, uint32_t>> indexEntries(const std::filesystem::path& cdx,
                                                                  const std::string& tag,
                                                                  std::string* error = nullptr) {
    int status = 0;
    const std::string out =
        runCommand("index_dump --type=char '" + cdx.string() + "' " + tag + " 2>&1", &status);
    std::vector<std::pair<std::string, uint32_t>> entries;
    std::istringstream in(out);
    for (std::string line; std::getline(in, line);) {
        std::istringstream words(line);
        std::vector<std::string> parts;
        for (std::string word; words >> word;)
            parts.push_back(word);
        if (parts.empty()) continue;
        if (!std::all_of(parts.back().begin(), parts.back().end(), ::isdigit)) {
            if (error) *error += line + "\n";
            continue;
        }
        std::string key;
        for (size_t i = 0; i + 1 < parts.size(); ++i)
            key += (i ? " " : "") + parts[i];
        entries.emplace_back(key, static_cast<uint32_t>(std::stoul(parts.back())));
    }
    if (status != 0 && error) *error += "index_dump exited with " + std::to_string(status);
    return entries;
}

// The tag holds one entry per record of the table (deleted ones too), under
// the record's key.
inline ::testing::AssertionResult indexAgrees(const std::filesystem::path& cdx,
                                              const std::string& tag, const ReadTable& table) {
    std::string error;
    auto entries = indexEntries(cdx, tag, &error);
    if (!error.empty()) return ::testing::AssertionFailure() << cdx << ": " << error;
    auto expected = table.keys;
    std::sort(entries.begin(), entries.end());
    std::sort(expected.begin(), expected.end());
    if (entries == expected) return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure()
           << cdx << " lists " << ::testing::PrintToString(entries) << " but the table holds "
           << ::testing::PrintToString(expected);
}

}  // namespace kdx2::test_support
