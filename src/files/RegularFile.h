// Only regular files are read or replaced: a FIFO, a device or a folder named as a configuration,
// settings or archive file must never block the program nor be turned into a plain file.
#pragma once

#include <cstdio>
#include <string>

enum class TFileKind { Missing, Regular, Other };

// What the path names (links followed), found without opening it.
TFileKind FileKindOf(const std::string& path);

// Opens a regular file for reading. Anything else is refused before and after the open, which
// itself never waits (a FIFO without a writer, a device): -1 then, with errno EINVAL.
int OpenRegularForReading(const std::string& path);
// Closes what OpenRegularForReading opened.
void CloseRegularFile(int fd);
// Makes a new file and opens it for writing bytes; nullptr, with errno EEXIST when the path names
// something already (never emptied), or the error that kept the file from being made.
std::FILE* CreateNewFile(const std::string& path);
// fopen of the path as the core names files (UTF-8 on Windows, whatever the system's code page).
std::FILE* OpenFile(const std::string& path, const char* mode);
