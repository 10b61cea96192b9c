// Another workstation using a compound index file, driven line by line
// through stdin; each command answers one line on stdout.
//
//   cdx_peer FILE.cdx TAG
//   insert KEY RECNO        -> "ok" | "no"
//   fill PREFIX FROM TO     -> "ok N": keys PREFIX + recno (zero-padded to the
//                              key length), one change (and one lock) each
//   count                   -> "N" entries in the tag
//   seek KEY                -> "KEY RECNO" of the entry found, or "eof"
//   hold                    -> "held" once the write lock is taken; kept until "release"
//   release                 -> "released"
// Errors answer "error MESSAGE" and the peer goes on.

#include <cstdio>
#include <iostream>
#include <sstream>
#include <string>

#include "base/error.h"
#include "store/cdx.h"

using kdx2::store::CdxCursor;
using kdx2::store::CdxFile;
using kdx2::store::CdxTag;

namespace {

std::string numberedKey(const std::string& prefix, unsigned long recno, size_t keyLength) {
    std::string digits = std::to_string(recno);
    const size_t width = keyLength > prefix.size() ? keyLength - prefix.size() : 0;
    if (digits.size() < width) digits.insert(0, width - digits.size(), '0');
    return prefix + digits;
}

std::string run(CdxFile& file, CdxTag& tag, const std::string& line) {
    std::istringstream in(line);
    std::string command;
    in >> command;
    if (command == "insert") {
        std::string key;
        unsigned long recno = 0;
        in >> key >> recno;
        return tag.insert(key, static_cast<uint32_t>(recno)) ? "ok" : "no";
    }
    if (command == "fill") {
        std::string prefix;
        unsigned long from = 0, to = 0;
        in >> prefix >> from >> to;
        unsigned long done = 0;
        for (unsigned long r = from; r <= to; ++r)
            done += tag.insert(numberedKey(prefix, r, tag.keyLength()), static_cast<uint32_t>(r));
        return "ok " + std::to_string(done);
    }
    if (command == "count") return std::to_string(tag.entries().size());
    if (command == "seek") {
        std::string key;
        in >> key;
        CdxCursor c = tag.cursor();
        if (!c.seek(key)) return "eof";
        return c.key() + " " + std::to_string(c.recno());
    }
    if (command == "hold") {
        file.beginWrite();
        return "held";
    }
    if (command == "release") {
        file.endWrite();
        return "released";
    }
    return "error unknown command";
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::cerr << "usage: cdx_peer FILE.cdx TAG\n";
        return 2;
    }
    try {
        CdxFile file = CdxFile::open(argv[1], CdxFile::Access::ReadWrite, CdxFile::Sharing::Shared);
        CdxTag tag = file.tag(argv[2], kdx2::base::Type::Character);
        std::cout << "ready" << std::endl;
        for (std::string line; std::getline(std::cin, line);) {
            std::string answer;
            try {
                answer = run(file, tag, line);
            } catch (const std::exception& e) {
                answer = std::string("error ") + e.what();
            }
            std::cout << answer << std::endl;
        }
        file.close();
    } catch (const std::exception& e) {
        std::cout << "error " << e.what() << std::endl;
        return 1;
    }
    return 0;
}
