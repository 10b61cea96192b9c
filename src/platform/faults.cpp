#include "platform/faults.h"

#include <unistd.h>

#include <algorithm>
#include <cctype>

namespace kdx2::platform {

namespace detail {
FileOpHook* gFileOpHook = nullptr;
}

std::string_view fileOpName(FileOp op) {
    switch (op) {
        case FileOp::Open:
            return "open";
        case FileOp::Read:
            return "read";
        case FileOp::Lock:
            return "lock";
        case FileOp::Create:
            return "create";
        case FileOp::Write:
            return "write";
        case FileOp::Sync:
            return "sync";
        case FileOp::Truncate:
            return "truncate";
        case FileOp::Close:
            return "close";
        case FileOp::Rename:
            return "rename";
        case FileOp::Unlink:
            return "unlink";
        case FileOp::SyncFolder:
            return "syncfolder";
        case FileOp::MakeFolder:
            return "mkdir";
    }
    return "any";
}

FileOpHook* setFileOpHook(FileOpHook* hook) {
    FileOpHook* previous = detail::gFileOpHook;
    detail::gFileOpHook = hook;
    return previous;
}

namespace {

bool containsIgnoringCase(std::string_view text, std::string_view part) {
    if (part.empty()) return true;
    const auto same = [](char a, char b) {
        return std::toupper(static_cast<unsigned char>(a)) ==
               std::toupper(static_cast<unsigned char>(b));
    };
    return std::search(text.begin(), text.end(), part.begin(), part.end(), same) != text.end();
}

}  // namespace

FaultPlan::FaultPlan(FileOp op, long nth, Action action, int error, std::string nameFilter,
                     int exitCode)
    : op_(op),
      nth_(nth),
      action_(action),
      error_(error),
      filter_(std::move(nameFilter)),
      exitCode_(exitCode) {}

int FaultPlan::before(FileOp op, const std::string& name) {
    const bool changes = op != FileOp::Open && op != FileOp::Read && op != FileOp::Lock;
    if (op_ == kEveryChange ? !changes : op_ != kEveryOp && op != op_) return 0;
    if (!containsIgnoringCase(name, filter_)) return 0;
    ++count_;
    if (count_ < nth_) return 0;
    if (count_ > nth_ && action_ != Action::FailFromThenOn) return 0;
    fired_ = true;
    if (action_ == Action::Exit) ::_exit(exitCode_);
    return error_;
}

}  // namespace kdx2::platform
