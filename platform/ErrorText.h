// Why a platform call failed, in words, for what a run tells of what it
// left behind: the Linux build's words on both builds ("Permission
// denied", "the file there is read-only"), so that a reason reads the
// same in the terminal's lines, in either desktop message and in a run's
// record. The Windows build maps its error codes to those words, and says
// the system's own where Linux has no word for the error.
#pragma once

#include <string>

// The thread's last error in words.
std::wstring LastErrorInWords();

// The thread's last error after a copy from `source` to `target` failed,
// in words, with what the platform can still find out about the two where
// the error alone does not tell: a read-only file or a folder at the
// target, a folder at the source, a target folder that is missing.
std::wstring CopyErrorInWords(const wchar_t* source, const wchar_t* target);
