#include "tax_fixture.h"

#include <unistd.h>

#include <array>
#include <cstdio>
#include <fstream>

#include "base/cp850.h"
#include "base/named_values.h"
#include "platform/drives.h"
#include "store/catalog.h"
#include "store/work_areas.h"
#include "support/child_process.h"
#include "support/temp_drive.h"

namespace kdx2::tax_testing {

int AnsweringMessages::messageBox(const common::MessageBoxRequest& request) {
    std::vector<std::string> lines;
    for (const std::string& line : request.lines)
        lines.push_back(base::cp850::toUtf8(line));
    shown.push_back({-1, lines});
    return 0;
}

base::Value AnsweringMessages::messageWindow(const common::MensRequest& request) {
    std::vector<std::string> lines;
    for (const std::string& line : request.text.lines())
        lines.push_back(base::cp850::toUtf8(line));
    shown.push_back({request.kind, lines});
    if (request.kind % 10 != 2 || answers.empty()) return base::Value(std::string());
    std::string answer = answers.front();
    answers.pop_front();
    return base::Value(answer);
}

void TableTest::SetUp() {
    root = test_support::setUpTempDrive("kdx2_tax", feedback);
}

void TableTest::TearDown() {
    base::resetProcessState();
    std::error_code ignored;
    std::filesystem::remove_all(root, ignored);
}

store::Table& TableTest::createInArea(int area, int number, const std::string& file,
                                      const std::string& key, store::OpenMode mode) {
    const std::string path = "C:\\DADOS\\" + file + ".DBF";
    store::Table::create(path, *store::tableLayout(number));
    std::unique_ptr<store::Table> table = store::Table::open(path, mode);
    if (!key.empty()) table->createIndex("C:\\DADOS\\" + file + ".CDX", key);
    store::workAreas().attach(area, std::move(table));
    return store::workAreas().area(area);
}

std::string TableTest::hostPath(const std::string& file) const {
    return (root / "DADOS" / file).string();
}

std::string TableTest::python(const std::string& script) const {
    return test_support::runPython(script);
}

}  // namespace kdx2::tax_testing
