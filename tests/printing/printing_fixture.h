#pragma once

// A temporary drive C: with the install folder C:\, the data folder
// C:\DADOS and a work folder, the session of terminal 03, a register of
// taxpayers and the print file read back as it was written.

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "base/cp850.h"
#include "base/date.h"
#include "base/named_values.h"
#include "base/process_state.h"
#include "common/recording_messages.h"
#include "common/windows.h"
#include "platform/drives.h"
#include "printing/output.h"
#include "printing/selection.h"
#include "store/access.h"
#include "store/feedback.h"
#include "store/work_areas.h"
#include "support/print_session.h"

namespace kdx2::printing_test {

struct Person {
    std::string cpf;
    std::string name;
    std::string streetType = "RUA";
    std::string street = "DAS FLORES";
    std::string number = "10";
    std::string complement = "";
    std::string district = "CENTRO";
    std::string postcode = "01234567";
    std::string municipality = "SAO PAULO";
    std::string state = "SP";
    std::string areaCode = "11";
    std::string phone = "987654321";
    base::Date birth{};
};

class PrintingTest : public ::testing::Test {
  protected:
    std::filesystem::path root;
    testing::RecordingMessages messages;
    store::Feedback silent;

    // The work folder, as the program names it and on the host.
    std::string workFolder = "TRAB";

    void SetUp() override {
        char pattern[] = "/tmp/kdx2-printing-XXXXXX";
        ASSERT_NE(::mkdtemp(pattern), nullptr);
        root = pattern;
        std::filesystem::create_directories(root / "DADOS");
        std::filesystem::create_directories(root / workFolder);
        platform::configureDrives("C=" + root.string());
        base::resetProcessState();
        base::NamedValues& s = base::session();
        test_support::setQuietPrintSession(s, "C:\\" + base::cp850::fromUtf8(workFolder) + "\\");
        s.set("HOJE", *base::Date::fromYmd(2025, 6, 15));
        s.set("QUEIMP", 3);
        s.set("QUEMOD", 1);
        s.set("QUEPAG", 1);
        s.set("QUECON", 3);
        store::setFeedback(&silent);
        store::setDeletedFilter(true);
        printing::setPrintWorkingValues();
    }

    void TearDown() override {
        base::resetProcessState();
        printing::setReportPrinters({});
        platform::configureDrives("");
        std::error_code ignored;
        std::filesystem::remove_all(root, ignored);
    }

    void addPeople(const std::vector<Person>& people) {
        ASSERT_TRUE(store::ABERTURA(9));
        store::Table& reg = store::workAreas().area(9);
        for (const Person& person : people) {
            ASSERT_TRUE(reg.append());
            reg.put("CPF", base::Value(person.cpf));
            reg.put("NOMECONTR", base::Value(person.name));
            reg.put("TIPOEND", base::Value(person.streetType));
            reg.put("ENDERECO", base::Value(person.street));
            reg.put("NUMERO", base::Value(person.number));
            reg.put("COMPLEM", base::Value(person.complement));
            reg.put("BAIRRO", base::Value(person.district));
            reg.put("CEP", base::Value(person.postcode));
            reg.put("MUNICIPIO", base::Value(person.municipality));
            reg.put("UF", base::Value(person.state));
            reg.put("DDDTEL", base::Value(person.areaCode));
            reg.put("TELEFO", base::Value(person.phone));
            if (!person.birth.empty()) reg.put("NASCIMENTO", base::Value(person.birth));
            reg.unlock();
        }
    }

    // `count` people with CPFs 10000000001, 10000000002 ... (the check
    // digits do not matter to printing) and names PESSOA 01 ...
    static std::vector<Person> numberedPeople(int count) {
        std::vector<Person> people;
        for (int i = 1; i <= count; ++i) {
            Person person;
            person.cpf = std::to_string(10000000000LL + i);
            person.name = std::string("PESSOA ") + (i < 10 ? "0" : "") + std::to_string(i);
            person.birth = *base::Date::fromYmd(1970, 1 + i % 12, 1 + i);
            people.push_back(person);
        }
        return people;
    }

    std::filesystem::path printFileHost() const { return root / workFolder / "NAO-DOS03.TXT"; }

    std::string printFile() const {
        std::ifstream in(printFileHost(), std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }

    // The print file's pages (split at page ejects), each as its lines
    // (split at CR LF), in UTF-8.
    std::vector<std::vector<std::string>> printedPages() const {
        std::vector<std::vector<std::string>> pages(1);
        std::string line;
        for (char ch : printFile()) {
            if (ch == '\f') {
                if (!line.empty()) pages.back().push_back(base::cp850::toUtf8(line));
                line.clear();
                pages.emplace_back();
            } else if (ch == '\n') {
                pages.back().push_back(base::cp850::toUtf8(line));
                line.clear();
            } else if (ch != '\r') {
                line += ch;
            }
        }
        if (!line.empty()) pages.back().push_back(base::cp850::toUtf8(line));
        if (pages.back().empty()) pages.pop_back();
        return pages;
    }

    // An executable "nodosimp" in the install folder that writes each
    // argument on a line of args.txt beside it and ends with `exitCode`.
    void installUtility(int exitCode = 0) const {
        const std::filesystem::path utility = root / "nodosimp";
        std::ofstream(utility) << "#!/bin/sh\nfor a in \"$@\"; do printf '%s\\n' \"$a\"; done > \""
                               << (root / "args.txt").string() << "\"\nexit " << exitCode << "\n";
        ::chmod(utility.c_str(), 0755);
    }

    std::vector<std::string> utilityArguments() const {
        std::vector<std::string> arguments;
        std::ifstream in(root / "args.txt");
        for (std::string line; std::getline(in, line);)
            arguments.push_back(line);
        return arguments;
    }

    std::vector<std::string> boxLines(size_t index) const {
        if (index >= messages.boxes.size()) return {};
        return testing::utf8Lines(messages.boxes[index].lines);
    }
};

}  // namespace kdx2::printing_test
