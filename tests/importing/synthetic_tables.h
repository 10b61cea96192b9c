#pragma once

// Synthetic tables of the previous income-tax program (IMP01yy ... IMP20yy)
// with the fields the conversion reads, written by a small dBASE III writer
// of its own (so the tables do not come from the code under test). Only the
// standard library.

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <vector>

namespace kdx2::test_import {

struct TableField {
    std::string name;
    char type;  // C, N, D or L
    int width;
    int decimals = 0;
};

// Field name -> value as it is to be stored: text, a number written with its
// decimals ("12.50"), a date "YYYYMMDD" or "T"/"F".
using TableRow = std::map<std::string, std::string>;

inline std::string dbfBytes(const std::vector<TableField>& fields,
                            const std::vector<TableRow>& rows) {
    int recordLength = 1;
    for (const TableField& f : fields)
        recordLength += f.width;
    const int headerLength = 32 + 32 * static_cast<int>(fields.size()) + 2;
    std::string out(32, '\0');
    out[0] = 0x03;
    out[1] = 124;  // 2024
    out[2] = 5;
    out[3] = 17;
    const uint32_t count = static_cast<uint32_t>(rows.size());
    for (int i = 0; i < 4; ++i)
        out[4 + i] = static_cast<char>((count >> (8 * i)) & 0xFF);
    out[8] = static_cast<char>(headerLength & 0xFF);
    out[9] = static_cast<char>(headerLength >> 8);
    out[10] = static_cast<char>(recordLength & 0xFF);
    out[11] = static_cast<char>(recordLength >> 8);
    for (const TableField& f : fields) {
        std::string descriptor(32, '\0');
        descriptor.replace(0, f.name.size(), f.name);
        descriptor[11] = f.type;
        descriptor[16] = static_cast<char>(f.width);
        descriptor[17] = static_cast<char>(f.decimals);
        out += descriptor;
    }
    out += '\x0D';
    out += '\0';
    for (const TableRow& row : rows) {
        std::string record = " ";
        for (const TableField& f : fields) {
            const auto found = row.find(f.name);
            std::string value = found == row.end() ? "" : found->second;
            value = value.substr(0, static_cast<size_t>(f.width));
            const std::string pad(static_cast<size_t>(f.width) - value.size(), ' ');
            record += f.type == 'N' ? pad + value : value + pad;
        }
        out += record;
    }
    out += '\x1A';
    return out;
}

inline void writeDbf(const std::filesystem::path& file, const std::vector<TableField>& fields,
                     const std::vector<TableRow>& rows) {
    std::ofstream(file, std::ios::binary) << dbfBytes(fields, rows);
}

// The layouts of the tables the conversion reads.
inline std::vector<TableField> previousTableFields(int number) {
    const TableField cpf{"CPF", 'C', 11};
    switch (number) {
        case 2:
            return {cpf,
                    {"I1_1", 'C', 1},
                    {"I1_2", 'C', 44},
                    {"I1_3", 'C', 18},
                    {"I1_401", 'N', 14, 2}};
        case 3:
            return {cpf,
                    {"NOMEDEPEN", 'C', 41},
                    {"CODIDEPEN", 'N', 3},
                    {"DATADEPEN", 'D', 8},
                    {"CPFDEPEN", 'C', 11},
                    {"NRODEPEN", 'N', 2}};
        case 6:
            return {cpf,
                    {"I6_1", 'C', 50},
                    {"I6_2", 'C', 18},
                    {"I6_3", 'N', 2},
                    {"I6_4", 'N', 12, 2},
                    {"I6_6", 'N', 2}};
        case 9:
            return {cpf,
                    {"NOMECONTR", 'C', 53},
                    {"TIPOEND", 'C', 11},
                    {"ENDERECO", 'C', 37},
                    {"NUMERO", 'C', 6},
                    {"COMPLEM", 'C', 21},
                    {"BAIRRO", 'C', 20},
                    {"CEP", 'C', 8},
                    {"CODMUNI", 'C', 4},
                    {"MUNICIPIO", 'C', 24},
                    {"UF", 'C', 2},
                    {"TELEFO", 'C', 9},
                    {"NASCIMENTO", 'D', 8},
                    {"CGCPAGADOR", 'C', 18},
                    {"OCUPACAO", 'C', 46},
                    {"CDPRO", 'C', 3},
                    {"CODAT", 'C', 2},
                    {"DESCRAT", 'C', 58},
                    {"CPFCONJU", 'C', 11},
                    {"NOVOEND", 'C', 1},
                    {"DDDTEL", 'C', 2},
                    {"DDDFAX", 'C', 2},
                    {"NROFAX", 'C', 9},
                    {"EMAIL", 'C', 40},
                    {"TITULO", 'C', 13},
                    {"BANCO", 'C', 3},
                    {"AGENCIA", 'C', 6},
                    {"CONTACO", 'C', 15},
                    {"TELCELU", 'C', 9},
                    {"TELESCR", 'C', 9},
                    {"TELSECR", 'C', 9},
                    {"RECIBOATU", 'C', 12},
                    {"RECIBOANT", 'C', 12},
                    {"TEMRURAL", 'C', 1},
                    {"CODACESSO", 'C', 12},
                    {"SENACESSO", 'C', 15}};
        case 16:
            return {cpf,
                    {"I2R_01", 'C', 60},
                    {"I2R_02", 'N', 9, 2},
                    {"I2R_03", 'C', 8},
                    {"I2R_04", 'N', 6, 2},
                    {"I2R_05", 'N', 1},
                    {"I2R_06", 'C', 55},
                    {"I2R_07", 'N', 2}};
        default:
            return {cpf};
    }
}

// The previous program's folder: tables 01 ... `count` of the year, those
// the conversion reads with the rows given by table number.
inline void writePreviousProgram(const std::filesystem::path& folder, int taxYear,
                                 const std::map<int, std::vector<TableRow>>& rows, int count = 20) {
    std::filesystem::create_directories(folder);
    for (int number = 1; number <= count; ++number) {
        char name[24];
        std::snprintf(name, sizeof name, "IMP%02d%02d.DBF", number, taxYear % 100);
        const auto found = rows.find(number);
        writeDbf(folder / name, previousTableFields(number),
                 found == rows.end() ? std::vector<TableRow>{} : found->second);
    }
}

}  // namespace kdx2::test_import
