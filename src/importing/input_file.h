#pragma once

#include <cstdint>
#include <string>

#include "importing/line_reader.h"
#include "platform/file.h"

namespace kdx2::importing {

// A file of another program, opened read-only: nothing of the import ever
// writes to it.
class InputFile {
  public:
    // Throws base::Error (Portuguese, naming the file) when it cannot be
    // opened.
    explicit InputFile(const std::string& path);

    uint64_t size() const { return file_.size(); }
    // Whether another program holds a write lock on the file: it is being
    // written now, and what we would read may be half of it.
    bool beingWritten() const;
    // A reader of its lines; it reads through this object, which must
    // outlive it.
    LineReader lines(size_t firstChunk = 4096) const;

  private:
    platform::File file_;
};

}  // namespace kdx2::importing
