// Each folder of src/ includes only its own headers and those of the folders
// listed above it in the README's layout, so that every layer builds and is
// tested without the ones above it.

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

bool isNameChar(char c) {
    return (c >= 'a' && c <= 'z') || c == '_';
}

// The folder name at `at` in `line` when a '/' follows it ("ui" in
// "ui/get.h"); empty otherwise.
std::string folderAt(const std::string& line, size_t at) {
    size_t end = at;
    while (end < line.size() && isNameChar(line[end]))
        ++end;
    return end > at && end < line.size() && line[end] == '/' ? line.substr(at, end - at)
                                                             : std::string();
}

// The folders of src/ in the order the layout section of README.md lists them
// (indented lines "    src/NAME   what it holds").
std::vector<std::string> layoutOrder(const fs::path& root) {
    std::ifstream readme(root / "README.md");
    std::vector<std::string> order;
    bool inLayout = false;
    std::string line;
    while (std::getline(readme, line)) {
        if (line.rfind("## ", 0) == 0) inLayout = line == "## Layout";
        const size_t start = line.find_first_not_of(' ');
        if (!inLayout || start == 0 || start == std::string::npos) continue;
        if (line.compare(start, 4, "src/") != 0) continue;
        const size_t name = start + 4;
        size_t end = name;
        while (end < line.size() && isNameChar(line[end]))
            ++end;
        if (end > name && end < line.size() && line[end] == ' ')
            order.push_back(line.substr(name, end - name));
    }
    return order;
}

// The folder a line includes a project header from (#include "ui/get.h"
// gives "ui"); empty for other lines and for <system> headers.
std::string includedFolder(const std::string& line) {
    size_t at = line.find_first_not_of(" \t");
    if (at == std::string::npos || line[at] != '#') return {};
    at = line.find_first_not_of(" \t", at + 1);
    if (at == std::string::npos || line.compare(at, 7, "include") != 0) return {};
    at = line.find_first_not_of(" \t", at + 7);
    if (at == std::string::npos || line[at] != '"') return {};
    return folderAt(line, at + 1);
}

// The folders directly under src/ (the program's own main.cpp is no layer).
std::vector<std::string> sourceFolders(const fs::path& root) {
    std::vector<std::string> folders;
    for (const fs::directory_entry& entry : fs::directory_iterator(root / "src"))
        if (entry.is_directory()) folders.push_back(entry.path().filename().string());
    std::sort(folders.begin(), folders.end());
    return folders;
}

// "src/ui/menu.cpp:12 includes shell/..." for every include of a folder
// listed below the including file's own.
std::vector<std::string> layeringViolations(const fs::path& root) {
    const std::vector<std::string> order = layoutOrder(root);
    auto rank = [&order](const std::string& folder) {
        return std::find(order.begin(), order.end(), folder) - order.begin();
    };
    std::vector<std::string> violations;
    for (const std::string& folder : sourceFolders(root)) {
        for (const fs::directory_entry& entry :
             fs::recursive_directory_iterator(root / "src" / folder)) {
            const std::string extension = entry.path().extension().string();
            if (!entry.is_regular_file() || (extension != ".cpp" && extension != ".h")) continue;
            std::ifstream source(entry.path());
            std::string line;
            for (int number = 1; std::getline(source, line); ++number) {
                const std::string included = includedFolder(line);
                if (!included.empty() && rank(included) > rank(folder))
                    violations.push_back(fs::relative(entry.path(), root).string() + ":" +
                                         std::to_string(number) + " includes " + included + "/");
            }
        }
    }
    return violations;
}

std::string joined(const std::vector<std::string>& lines) {
    std::string text;
    for (const std::string& line : lines)
        text += line + "\n";
    return text;
}

const fs::path kRoot = KDX2_SOURCE_DIR;

TEST(Layering, EveryFolderOfTheSourcesIsPlacedInTheReadmeLayout) {
    const std::vector<std::string> order = layoutOrder(kRoot);
    std::vector<std::string> missing;
    for (const std::string& folder : sourceFolders(kRoot))
        if (std::find(order.begin(), order.end(), folder) == order.end()) missing.push_back(folder);
    EXPECT_TRUE(missing.empty()) << "not in the README's layout:\n" << joined(missing);
}

TEST(Layering, NoSourceIncludesAFolderListedBelowItsOwn) {
    const std::vector<std::string> violations = layeringViolations(kRoot);
    EXPECT_TRUE(violations.empty()) << joined(violations);
}

// The same check on a small tree of its own, so that a scan that finds no
// include at all cannot pass for a clean one.
TEST(Layering, TheCheckFindsAnIncludeOfAHigherFolder) {
    const fs::path root =
        fs::temp_directory_path() / ("kdx2_layering_" + std::to_string(::getpid()));
    fs::remove_all(root);
    fs::create_directories(root / "src" / "base");
    fs::create_directories(root / "src" / "ui" / "inner");
    std::ofstream(root / "README.md") << "# x\n\n## Layout\n\n    src/base   values\n"
                                         "    src/ui     windows\n\n## Other\n\n    src/zzz  x\n";
    std::ofstream(root / "src" / "ui" / "inner" / "ok.cpp") << "#include \"base/value.h\"\n";
    std::ofstream(root / "src" / "base" / "bad.h")
        << "#pragma once\n#include <vector>\n#include \"base/text.h\"\n#  include  \"ui/get.h\"\n"
           "// #include \"ui/get.h\" in a comment\n";
    const std::vector<std::string> violations = layeringViolations(root);
    fs::remove_all(root);
    ASSERT_EQ(violations.size(), 1u) << joined(violations);
    EXPECT_EQ(violations[0], "src/base/bad.h:4 includes ui/");
}

}  // namespace
