#pragma once

#include <cstdint>

namespace kdx2::store {

// Byte ranges of the advisory locks every copy of the program takes, far
// beyond the end of any real file, so that copies on other workstations see
// each other's locks.
//
// On a table file: record n (from 1) at kLockBase + n, length 1; the whole
// table from kTableLockStart, kTableLockLength bytes (it covers every record
// lock); the header / append lock at kLockBase, length 1. On an index file:
// the index read (shared) and write (exclusive) lock at kLockBase, length 1.
inline constexpr uint64_t kLockBase = 1'000'000'000;
inline constexpr uint64_t kTableLockStart = kLockBase + 1;
inline constexpr uint64_t kTableLockLength = 1'000'000'000;
inline constexpr uint64_t kHeaderLock = kLockBase;

// How a table is open: every open holds this byte of the table file, shared
// for a shared open and exclusive for an exclusive one, so an exclusive open
// and any other open exclude each other. It lies outside the ranges above.
inline constexpr uint64_t kOpenLock = 2'000'000'010;

// The byte other xBase programs on this system hold for the same purpose
// (shared for a shared open, exclusive for an exclusive one). Every open
// holds it as well, so that a pack or reindex run by one of those programs
// never starts while kdx2 has the table open, nor the other way round.
inline constexpr uint64_t kShareLock = 0x7FFF'FFFF;

inline constexpr uint64_t recordLockOffset(uint32_t recno) {
    return kLockBase + recno;
}

}  // namespace kdx2::store
