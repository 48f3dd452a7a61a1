// Files and folders, by narrow (UTF-8) path.
//
// Every call that fails stores the Windows error number as the thread's last error
// (see ErrorCodes.h) and reports the failure by its result.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace platform {

// Creates one folder (not its parents). False when it cannot be made, an existing folder included.
bool CreateFolder(const std::string& path);

// Removes a file. A missing file gives 2, a missing folder on the way 3.
bool DeleteFileAt(const std::string& path);

// A file opened for writing, created when missing (never truncated). -1 when it cannot be opened.
int OpenFileForWriting(const std::string& path);
// Moves to the end of the file. False on failure.
bool SeekToEnd(int fd);
// Writes all of data; the number of bytes written, or -1.
int64_t WriteFully(int fd, const void* data, size_t count);
// Closes a handle; -1 is ignored.
void CloseFile(int fd);

// The user's Documents folder: the XDG user directory DOCUMENTS, else $HOME/Documents.
// Created when missing, as the Windows folder always exists.
std::wstring DocumentsFolder();

// The separator between a folder and a name in a path.
inline constexpr char kPathSeparator = '/';

}  // namespace platform
