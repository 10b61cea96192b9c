#include "importing/line_reader.h"

#include <algorithm>
#include <cstring>

namespace kdx2::importing {

namespace {

constexpr size_t kLargestChunk = 64 * 1024;
constexpr char kDosEnd = 0x1A;

// Tabs are the only control characters a text line may hold.
bool controlByte(char ch) {
    const auto byte = static_cast<unsigned char>(ch);
    return (byte < 0x20 && ch != '\t') || byte == 0x7F;
}

}  // namespace

std::string_view Line::type() const {
    return std::string_view(text).substr(0, std::min<size_t>(2, text.size()));
}

ByteSource memorySource(std::string_view bytes) {
    return [bytes](uint64_t offset, char* buffer, size_t length) -> size_t {
        if (offset >= bytes.size()) return 0;
        const size_t count = std::min<size_t>(length, bytes.size() - offset);
        std::memcpy(buffer, bytes.data() + offset, count);
        return count;
    };
}

LineReader::LineReader(ByteSource source, size_t firstChunk)
    : source_(std::move(source)), chunk_(std::clamp<size_t>(firstChunk, 1, kLargestChunk)) {}

bool LineReader::fill() {
    if (ended_) return false;
    buffer_.resize(chunk_);
    const size_t got = std::min(source_(offset_, buffer_.data(), chunk_), chunk_);
    chunk_ = std::min(chunk_ * 2, kLargestChunk);
    buffer_.resize(got);
    at_ = 0;
    offset_ += got;
    if (got == 0) ended_ = true;
    return got > 0;
}

std::optional<Line> LineReader::LELINHA() {
    Line line;
    bool consumed = false;
    bool endByte = false;
    for (;;) {
        if (at_ >= buffer_.size() && !fill()) break;
        const char ch = buffer_[at_++];
        consumed = true;
        if (ch == '\n' || ch == '\0') break;
        if (ch == kDosEnd) {
            endByte = true;
            break;
        }
        if (line.text.size() < kMaxLineLength)
            line.text.push_back(ch);
        else
            line.tooLong = true;
    }
    if (endByte) {
        // Nothing after the DOS end byte belongs to the file.
        ended_ = true;
        buffer_.clear();
        at_ = 0;
        if (line.text.empty() && !line.tooLong) return std::nullopt;
    } else if (!consumed) {
        return std::nullopt;
    }
    if (!line.text.empty() && line.text.back() == '\r') line.text.pop_back();
    line.binary = std::any_of(line.text.begin(), line.text.end(), controlByte);
    line.number = ++number_;
    return line;
}

}  // namespace kdx2::importing
