#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/file.h"

namespace kdx2::platform {

// Drive paths ("C:\IR2018\IRM1.DBF") are how the program names files; this
// module maps them to host files. Drive letters map to host folders through
// KDX2_DRIVES ("C=/srv/kdx2/c;D=/media/backup"); drive C: defaults to
// $XDG_DATA_HOME/kdx2/c (~/.local/share/kdx2/c), created on first use.
// Names are matched without regard to case, as the shared folders were
// written by programs on case-blind systems: the exact name first, then a
// scan of the folder. Paths are CP850 text; host names are UTF-8.
// A relative path resolves against the current folder; "\X" against the
// current drive's root. Errors throw base::Error in Portuguese.

// Replaces the drive map (the same syntax as KDX2_DRIVES); an empty text
// goes back to the environment. The current folder becomes C:\.
void configureDrives(std::string_view mapping);
// Makes a host folder reachable under a free drive letter (from Z: down) and
// returns that drive's root ("Z:\"); an already mapped folder gives its
// existing drive path. For command-line arguments that name host folders.
std::string driveForHostFolder(const std::string& hostFolder);

// Normalised absolute drive path: upper-case drive, "\" separators, "." and
// ".." resolved, no trailing "\" except on a root ("C:\"). The case of the
// names is kept as given.
std::string absolutePath(std::string_view path);
// Folder part with its trailing "\" ("C:\IR2018\"), and the last name.
std::string folderOf(std::string_view path);
std::string fileNameOf(std::string_view path);
// The base name without extension, and whether the name has an extension.
std::string baseNameOf(std::string_view path);
bool hasExtension(std::string_view path);

// Current drive and folder (xBase's default folder), "C:\IR2018\" form.
std::string currentFolder();
void setCurrentFolder(std::string_view folder);

bool fileExists(std::string_view path);
bool folderExists(std::string_view path);
// Size in bytes; nullopt when the file does not exist.
std::optional<uint64_t> fileSize(std::string_view path);
// Creates the folder and its missing parents.
void makeFolder(std::string_view path);
// Names (CP850, as stored) of the files of `pattern`'s folder whose names
// match its last part with "*" and "?" wildcards, case-blind, sorted.
std::vector<std::string> listFiles(std::string_view pattern);
// Removes a file; false when it did not exist.
bool removeFile(std::string_view path);
// Renames `from` to `to`, replacing `to` atomically when it exists (both in
// one drive), and asks the folder to keep the new name across a power cut.
void renameFile(std::string_view from, std::string_view to);
// Asks the folder holding `path` to keep its entries (new and removed
// names) across a power cut; best effort.
void syncFolderOf(std::string_view path);
// Copies a file byte for byte (replacing `to`), flushed to disk.
void copyFile(std::string_view from, std::string_view to);

// Opens an existing file / creates (truncating) one; errors name the drive
// path. createNewFile fails when the file exists.
File openFile(std::string_view path, File::Mode mode);
File createFile(std::string_view path);
File createNewFile(std::string_view path);

// Why the program cannot write in `folder` (a read-only disk, no permission),
// as a Portuguese sentence naming the folder; nullopt when it can (or when
// the folder is missing, which its creation will report).
std::optional<std::string> folderNotWritable(std::string_view folder);

// Bytes an unprivileged program may still write on the disk holding the
// drive path `folder`; 0 when the system cannot tell.
uint64_t freeSpace(std::string_view folder);

// True when the drive of `path` (the current folder when empty) is on a
// network file system (NFS, SMB/CIFS, sshfs and other network FUSE mounts).
bool isNetworkDrive(std::string_view path = "");

// Host path of a drive path, for the few places that hand a file to another
// program (viewer, printer). Existing names resolve case-blind.
std::string hostPath(std::string_view path);

// True when two drive paths lead to one folder: however they are spelt
// ("C:\IR2025", "c:\ir2025\", "C:\X\..\IR2025") and through whichever
// drive letters map to it. False when either is blank or cannot be read.
bool sameFolder(std::string_view a, std::string_view b);

}  // namespace kdx2::platform
