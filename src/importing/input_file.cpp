#include "importing/input_file.h"

#include "platform/drives.h"

namespace kdx2::importing {

namespace {

// Every byte a writer could lock, whatever range it chose.
constexpr uint64_t kWholeFile = uint64_t(1) << 62;

}  // namespace

InputFile::InputFile(const std::string& path)
    : file_(platform::openFile(path, platform::File::Mode::ReadOnly)) {}

bool InputFile::beingWritten() const {
    return file_.isLockedByOther(0, kWholeFile, platform::LockKind::Shared);
}

LineReader InputFile::lines(size_t firstChunk) const {
    return LineReader([this](uint64_t offset, char* buffer,
                             size_t length) { return file_.readAt(offset, buffer, length); },
                      firstChunk);
}

}  // namespace kdx2::importing
