// The words for why a caption or folder was left behind that the file
// services of both builds give, written once: the Linux stand-in gives them
// for causes of its own, the Windows build for what it finds out about a
// failed copy (ErrorText.h). Everything else is the C library's words for
// an errno on Linux, and the same words for the matching error on Windows.
#pragma once

namespace reason_words {

constexpr char kTargetReadOnly[] = "the file there is read-only";
constexpr char kNotRegularFile[] = "not a regular file";
constexpr char kSourceChanged[] = "changed while it was copied";
constexpr char kFolderNotMade[] = "its folder could not be made";
// A destination in which this user cannot make a folder.
constexpr char kNoFolderCanBeMade[] = "no folder can be made in it";

}  // namespace reason_words
