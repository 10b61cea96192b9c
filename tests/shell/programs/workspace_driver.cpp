// A workstation for the multi-process workspace tests:
//
//   workspace_driver ROOT TERMINAL CPF save LABEL COUNT [STEP [DETAIL]]
//       opens the taxpayer, replaces its income rows by COUNT rows named
//       LABEL-1 ..., sets ENDERECO to LABEL and saves; with STEP (0 rows
//       written, 1 journal written, 2 switching, 3 switched) the program
//       kills itself at that point of the save's commit (after DETAIL
//       flipped records for step 2).
//   workspace_driver ROOT TERMINAL CPF edit LABEL COUNT
//       the same edits, kept in the scratch copies between pages, then the
//       program is killed without saving.
//   workspace_driver ROOT TERMINAL CPF type LABEL COUNT
//       opens the taxpayer, types COUNT income rows named LABEL-1 ... into
//       the scratch copy without moving on to another page, and the program
//       is killed.
//   workspace_driver ROOT TERMINAL CPF loop LABEL COUNT TIMES
//       opens, edits and saves TIMES times; a save refused because another
//       terminal saved first (nobody answers the question, which keeps the
//       other's work) is counted, not an error.
//   workspace_driver ROOT TERMINAL CPF hold LABEL COUNT
//       opens the taxpayer, prints "open" and keeps it open until its input
//       closes.
//
// Exit status: 0 done, 3 a load or save failed, 2 bad arguments.

#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <string>

#include "base/named_values.h"
#include "platform/drives.h"
#include "shell/workspace/scratch.h"
#include "shell/workspace/versions.h"
#include "shell/workspace/working_values.h"
#include "shell/workspace/workspace.h"
#include "store/feedback.h"
#include "store/journal.h"
#include "store/work_areas.h"

namespace ws = kdx2::shell::workspace;
using kdx2::base::Value;

namespace {

void prepare(const std::string& root, const std::string& terminal) {
    kdx2::platform::configureDrives("C=" + root);
    kdx2::platform::setCurrentFolder("C:\\DADOS");
    kdx2::base::NamedValues& s = kdx2::base::session();
    s.set("LOCARQ", "C:\\DADOS\\");
    s.set("ARQDEF", "C:\\");
    s.set("LOCTRAB", "C:\\TRAB" + terminal + "\\");
    s.set("NUSU", terminal);
    s.set("QUEANO", 2024);
    s.set("QUALMENS", "1");
    std::filesystem::create_directories(root + "/TRAB" + terminal);
}

bool open(const std::string& cpf) {
    if (!ws::workingValuesExist()) ws::createWorkingValues();
    kdx2::base::session().set("CPF", cpf);
    kdx2::base::session().set("LRECUPERA", false);
    return ws::INIC_VAR(1, 1);
}

void edit(const std::string& cpf, const std::string& label, int count) {
    kdx2::store::Table& rows = ws::scratch(2);
    rows.forEach([](kdx2::store::Table& row) {
        row.deleteRecord();
        return true;
    });
    for (int i = 1; i <= count; ++i) {
        kdx2::store::appendRecord(rows);
        rows.put("CPF", Value(cpf));
        rows.put("I1_1", Value("F"));
        rows.put("I1_2", Value(label + "-" + std::to_string(i)));
        rows.put("I1_413", Value(static_cast<double>(i)));
    }
    rows.flush();
    kdx2::base::session().set("ENDERECO", Value(label));
}

void killAt(kdx2::store::CommitStep wanted, int detail) {
    kdx2::store::setCommitStepHook([=](kdx2::store::CommitStep step, int done) {
        if (step != wanted) return;
        if (step == kdx2::store::CommitStep::Switching && done < detail) return;
        std::raise(SIGKILL);
    });
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 7) return 2;
    const std::string root = argv[1], terminal = argv[2], cpf = argv[3], command = argv[4];
    const std::string label = argv[5];
    const int count = std::atoi(argv[6]);
    prepare(root, terminal);
    try {
        if (command == "save") {
            if (argc > 7)
                killAt(static_cast<kdx2::store::CommitStep>(std::atoi(argv[7])),
                       argc > 8 ? std::atoi(argv[8]) : 1);
            if (!open(cpf)) return 3;
            edit(cpf, label, count);
            return ws::SALVATUDO(1) ? 0 : 3;
        }
        if (command == "edit") {
            if (!open(cpf)) return 3;
            edit(cpf, label, count);
            ws::checkpoint();
            std::raise(SIGKILL);
        }
        if (command == "type") {
            if (!open(cpf)) return 3;
            kdx2::store::Table& rows = ws::scratch(2);
            for (int i = 1; i <= count; ++i) {
                kdx2::store::appendRecord(rows);
                rows.put("CPF", Value(cpf));
                rows.put("I1_2", Value(label + "-" + std::to_string(i)));
            }
            std::raise(SIGKILL);
        }
        if (command == "loop" && argc > 7) {
            int refused = 0;
            for (int round = 0; round < std::atoi(argv[7]); ++round) {
                if (!open(cpf)) return 3;
                edit(cpf, label, count);
                if (!ws::SALVATUDO(1)) ++refused;
                ws::announceTaxpayerClosed();
            }
            std::cout << "refused " << refused << std::endl;
            return 0;
        }
        if (command == "hold") {
            if (!open(cpf)) return 3;
            std::cout << "open" << std::endl;
            std::string line;
            while (std::getline(std::cin, line)) {
            }
            return 0;
        }
    } catch (const std::exception& error) {
        std::cerr << error.what() << "\n";
        return 3;
    }
    return 2;
}
