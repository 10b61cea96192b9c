#include "printing/output.h"

#include <algorithm>

#include "base/cp850.h"
#include "base/error.h"
#include "base/named_values.h"
#include "base/process_state.h"
#include "base/text.h"
#include "common/messages.h"
#include "platform/drives.h"

namespace kdx2::printing {

using namespace base::literals;

namespace {

// Written to the file in pieces of this size, so a long report does not
// wait in memory.
constexpr size_t kFlushSize = 64 * 1024;

int printedColumns(std::string_view text) {
    int columns = 0;
    for (char ch : text)
        if (static_cast<unsigned char>(ch) >= 32) ++columns;
    return columns;
}

}  // namespace

std::string printFilePath() {
    const base::NamedValues& s = base::session();
    return s.text("LOCTRAB") + "NAO-DOS" + base::alltrim(s.text("NUSU")) + ".TXT";
}

bool PrintOutput::open(const std::string& path) {
    if (isOpen()) close();
    error_.clear();
    pending_.clear();
    stored_ = 0;
    row_ = 0;
    column_ = 0;
    try {
        file_ = platform::createFile(path);
    } catch (const base::Error& failure) {
        error_ = failure.what();
        return false;
    }
    return true;
}

bool PrintOutput::close() {
    if (!isOpen()) return error_.empty();
    if (column_ > 0) append("\r\n");
    flush();
    try {
        file_.close();
    } catch (const base::Error& failure) {
        if (error_.empty()) error_ = failure.what();
    }
    row_ = 0;
    column_ = 0;
    return error_.empty();
}

void PrintOutput::say(int row, int column, std::string_view text) {
    row = std::max(row, 0);
    column = std::max(column, 0);
    if (row < row_) eject();
    while (row_ < row) {
        append("\r\n");
        ++row_;
        column_ = 0;
    }
    if (column < column_) {
        append("\r");
        column_ = 0;
    }
    append(std::string(static_cast<size_t>(column - column_), ' '));
    append(text);
    column_ = column + printedColumns(text);
}

void PrintOutput::eject() {
    // The eject starts its own line, so that nothing printed before it on
    // the row shares a line with it.
    if (column_ > 0) append("\r\n");
    append(std::string(1, kFormFeed));
    row_ = 0;
    column_ = 0;
}

void PrintOutput::condensed() {
    append(std::string(1, kCondensedPitch));
}

void PrintOutput::normal() {
    append(std::string(1, kNormalPitch));
}

void PrintOutput::control(std::string_view bytes) {
    append(bytes);
}

void PrintOutput::setPosition(int row, int column) {
    row_ = std::max(row, 0);
    column_ = std::max(column, 0);
}

void PrintOutput::append(std::string_view bytes) {
    if (!isOpen() || !error_.empty()) return;
    pending_.append(bytes);
    if (pending_.size() >= kFlushSize) flush();
}

void PrintOutput::flush() {
    if (pending_.empty() || !error_.empty()) return;
    try {
        file_.writeAt(stored_, pending_.data(), pending_.size());
        stored_ += pending_.size();
    } catch (const base::Error& failure) {
        error_ = failure.what();
    }
    pending_.clear();
}

PrintOutput& output() {
    static PrintOutput theOutput;
    [[maybe_unused]] static const bool registered =
        base::registerResetOnce([] { theOutput = PrintOutput{}; });
    return theOutput;
}

bool printOutputOpen() {
    return output().isOpen();
}

bool PREP_IMP() {
    const std::string path = printFilePath();
    base::session().set("ARQ_IMP", path);
    if (output().open(path)) return true;
    common::AVISOSN({"Não foi possível criar o arquivo de impressão."_cp, output().error()},
                    common::box::kStop);
    return false;
}

bool closePrintOutput() {
    if (!output().isOpen()) return true;
    if (output().close()) return true;
    common::AVISOSN({"A impressão não foi gravada por inteiro."_cp, output().error()},
                    common::box::kStop);
    return false;
}

void MUDAIMP(int which) {
    output().control(base::session().text(which == 0 ? "STRING0" : "STRING1"));
}

bool READSTREAM(const std::string& file) {
    platform::File stream;
    bool writable = true;
    try {
        stream = platform::openFile(file, platform::File::Mode::ReadWrite);
    } catch (const base::Error&) {
        writable = false;
    }
    try {
        if (!writable) stream = platform::openFile(file, platform::File::Mode::ReadOnly);
        const uint64_t size = stream.size();
        if (size == 0) return false;
        if (size < 2 || !writable) return true;
        char before = 0;
        if (stream.readAt(size - 2, &before, 1) != 1 || before != kFormFeed) return true;
    } catch (const base::Error&) {
        return false;
    }
    try {
        stream.writeAt(stream.size() - 2, " ", 1);
    } catch (const base::Error&) {
        // Still printable; only its last page may come out blank.
    }
    return true;
}

}  // namespace kdx2::printing
