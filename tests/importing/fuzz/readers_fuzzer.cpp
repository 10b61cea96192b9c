// Coverage-guided fuzzing of the readers of the tax authority's files, with
// libFuzzer. Not part of the normal build; from the repository root:
//
//   clang++ -std=c++20 -g -O1 -fsanitize=fuzzer,address,undefined -Isrc -Itests \
//     tests/importing/fuzz/readers_fuzzer.cpp src/importing/line_reader.cpp \
//     src/importing/fixed_line.cpp src/importing/declaration.cpp \
//     src/importing/carne_export.cpp src/importing/identify.cpp \
//     src/base/date.cpp src/base/text.cpp src/base/cp850.cpp -o /tmp/readers_fuzzer
//   mkdir -p /tmp/fuzz-corpus
//   FUZZ_SEED_DIR=/tmp/fuzz-corpus /tmp/readers_fuzzer -max_total_time=600 /tmp/fuzz-corpus
//
// FUZZ_SEED_DIR puts synthetic files of every layout into the corpus first.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <string>

#include "importing/carne_export.h"
#include "importing/declaration.h"
#include "importing/identify.h"
#include "importing/line_reader.h"
#include "importing/synthetic_files.h"

using namespace kdx2::importing;

namespace {

constexpr int kTaxYear = 2025;

void readAll(const std::string& bytes) {
    {
        LineReader reader(memorySource(bytes), 1 + bytes.size() % 61);
        while (reader.LELINHA()) {
        }
    }
    {
        LineReader reader(memorySource(bytes));
        readDeclaration(reader, kTaxYear);
    }
    {
        LineReader reader(memorySource(bytes));
        const CarneExport c = readCarneExport(reader);
        if (c.monthsRead > 12) __builtin_trap();
    }
    for (ImportKind kind : {ImportKind::Declarations, ImportKind::CarneLeao}) {
        LineReader reader(memorySource(bytes));
        identifyFile(kind, kdx2::test_import::carneFileName("12345678909", kTaxYear), reader,
                     kTaxYear);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    readAll(std::string(reinterpret_cast<const char*>(data), size));
    return 0;
}

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    using namespace kdx2::test_import;
    std::vector<std::string> seeds;
    for (int year : {kTaxYear, kTaxYear - 1}) {
        DeclarationData d = fullDeclaration(1, year, kTaxYear);
        d.fillerLines = 3;
        for (LineEnd end : {LineEnd::Lf, LineEnd::CrLf, LineEnd::Nul}) {
            d.lineEnd = end;
            seeds.push_back(declarationFile(d));
        }
    }
    for (bool first : {false, true}) {
        CarneData c;
        c.year = kTaxYear;
        c.taxpayerFirst = first;
        c.cpf = personCpf(2);
        c.months.resize(12);
        c.receipts = {{true, 2, 2, personCpf(3), "", 10}, {false, 1, 5, personCpf(3), "", 20}};
        seeds.push_back(carneFile(c));
    }
    const char* folder = std::getenv("FUZZ_SEED_DIR");
    for (size_t i = 0; i < seeds.size(); ++i) {
        readAll(seeds[i]);
        if (folder != nullptr)
            std::ofstream(std::string(folder) + "/seed" + std::to_string(i), std::ios::binary)
                << seeds[i];
    }
    return 0;
}
