#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

// Reading the text files of the tax authority's programs one line at a time.
// These files come from outside and are often damaged (cut short, of another
// program, random bytes), so the reader never trusts them: a line is at most
// kMaxLineLength bytes kept in memory, whatever the file holds.
namespace kdx2::importing {

// Longer lines than this are not records of any layout we read.
inline constexpr size_t kMaxLineLength = 4096;

// One line as read: its bytes without the terminator (a carriage return
// before a line feed belongs to the terminator), its number from 1, and what
// is wrong with it as text.
struct Line {
    std::string text;
    uint64_t number = 0;
    bool tooLong = false;  // cut at kMaxLineLength; the rest was skipped
    bool binary = false;   // holds control bytes no text line has

    std::string_view type() const;  // positions 1-2
    bool damaged() const { return tooLong || binary; }
};

// Reads a file's bytes in order: `read(offset, buffer, length)` returns how
// many bytes it put at buffer, 0 at the end. Errors are the source's own.
using ByteSource = std::function<size_t(uint64_t offset, char* buffer, size_t length)>;

// A source over bytes held in memory (tests, the fuzzer).
ByteSource memorySource(std::string_view bytes);

// Reads a file line by line: a line ends with a line feed, a NUL byte or
// the end of the file. A DOS end-of-file byte (0x1A) ends the file. Empty
// lines are returned like any other.
class LineReader {
  public:
    // The first read asks for `firstChunk` bytes and each later one for
    // twice as many, up to 64 KiB: a listing that needs two lines of each of
    // thousands of files reads little of each.
    explicit LineReader(ByteSource source, size_t firstChunk = 4096);
    // The next line; nullopt at the end of the file.
    std::optional<Line> LELINHA();
    uint64_t linesRead() const { return number_; }

  private:
    bool fill();
    ByteSource source_;
    size_t chunk_;
    std::string buffer_;
    size_t at_ = 0;
    uint64_t offset_ = 0;
    uint64_t number_ = 0;
    bool ended_ = false;
};

}  // namespace kdx2::importing
