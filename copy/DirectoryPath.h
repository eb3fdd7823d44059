#pragma once

#include "framework/CString.h"

// Makes the backslash-separated `path` exist, creating every missing folder
// from the outermost inward. Each prefix that ends before a backslash (from
// the second character on) is attempted and its outcome ignored; the attempt
// on the whole path decides the answer: true when it was created or already
// is a folder, false otherwise (an empty path, a plain file of that name, no
// access, a parent that could not be made, ...).
bool CreateDirectoryPath(CString path);
