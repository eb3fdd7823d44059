// What sets the two Linux programs apart; the command line, the run and the
// exit status they share (EntryPosix.cpp). `cuecarry` shows the pickers and
// the message at the terminal (TerminalFaces.cpp); `cuecarry-gtk` shows
// them on the desktop where a display opens, and at the terminal elsewhere
// (GtkFaces.cpp).
#pragma once

// The program's name, as its usage, help and version lines give it.
extern const char kProgramName[];

// Puts the program's faces in place, once the command line asks for a run:
// true when the pickers and the message show on a desktop, where nobody
// sees the lines on standard error.
bool SetUpFaces();
