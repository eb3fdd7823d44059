// The terminal the full-screen browser draws on: the one its keys come
// from. Standard output where that is this terminal; else the terminal
// itself, so that `cuecarry | tee log` still shows the browser on the
// terminal while what the program prints goes down the pipe.
#pragma once

#include "platform/posix/files/Descriptors.h"

namespace posix {

// A new descriptor, open for writing, on the terminal that `input` is; none
// when `input` is no terminal or its terminal cannot be opened for writing
// (a descriptor open for reading only, and no name for the terminal).
FileDescriptor OpenDrawingTerminal(int input, int output);

}  // namespace posix
