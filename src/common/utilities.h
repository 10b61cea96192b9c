#pragma once

#include <string>
#include <string_view>

#include "base/value.h"

namespace kdx2::common {

// Folder paths are "bare" (no trailing backslash) or "closed" (with one).

// Adds a trailing backslash when missing.
std::string BAR_DIR(std::string_view path);
// Removes one trailing backslash.
std::string BAR_FORA(std::string_view path);
// The part after the last backslash (the whole text when there is none).
std::string TIRA_DIR(std::string_view path);

// Folder checks and creation work on drive paths ("C:\IR2018"); a path
// on a drive that is not mapped is a folder or file that does not exist.

// Whether the folder exists; a trailing backslash is dropped unless the
// path is a drive root ("C:\").
bool VERDIR(std::string_view path);
// Whether the folder (folder = true) or the file exists.
bool LF_ISFILE(std::string_view path, bool folder = false);
// Creates one folder, whose parent must exist; false when it could not be
// created or already existed.
bool CRIADIR(std::string_view path);
// Creates a folder with every missing level after asking "Pasta nova para "
// + purpose + "? Cria-o ?"; true when the folder exists afterwards.
bool CRI_NDIR(std::string_view path, std::string_view purpose);
// Field check of a typed folder: the second character must be ":".
bool ESPCIF(std::string_view path);

// Times of day are "hh:mm:ss" texts, durations seconds.

// hh * 3600 + mm * 60 + ss.
long HORA_SEG(std::string_view time);
// "hh:mm:ss", hours taken modulo 24.
std::string SEG_HORA(long seconds);
// A duration as days modulo 99, hours modulo 24 and minutes modulo 60, two
// digits each: "01D02h03m".
std::string SEG_HOR_2(long seconds);
// Seconds from `start` to `end`; an end that sorts before the start is on
// the next day (86400 added). Format 1 gives the text SEG_HORA makes of it,
// any other format the number.
base::Value TEMPO_PAS(std::string_view start, std::string_view end, int format = 0);

// Imported text in the Windows-1252 code page to the program's CP850 (mode
// 1): accented small letters and É and Ç become their CP850 forms, ã and õ
// the CP850 ä and ö the stored names use, and the other accented capitals
// plain capitals. Mode 2 maps the CP850 forms back; plain capitals stay
// plain. Trailing blanks are dropped; other modes change nothing else.
std::string AJUS_CAR(std::string_view text, int mode = 1);

}  // namespace kdx2::common
