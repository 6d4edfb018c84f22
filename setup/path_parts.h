// Splitting a path into drive, directory, file name and extension, and joining them again, as
// _splitpath and _makepath do, but by characters of a given code page: the trail byte of a
// double-byte character is never taken for a separator or a dot.
#pragma once

#include <windows.h>

constexpr size_t kPathSize = MAX_PATH;
constexpr size_t kDriveSize = 3;  // "D:" and its terminator
constexpr size_t kPartSize = 256; // a directory, file name or extension

struct PathParts {
    char drive[kDriveSize];
    char dir[kPartSize];
    char fname[kPartSize];
    char ext[kPartSize];
};

// False, with every part empty, when a part does not fit its buffer.
bool SplitPath(UINT codePage, const char* path, PathParts* parts);

// False when the joined path does not fit size bytes.
bool ComposePath(UINT codePage, const PathParts& parts, char* out, size_t size);

// True when the path's last character is '\' or '/'.
bool EndsWithSeparator(UINT codePage, const char* path);
