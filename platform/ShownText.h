// Text and paths made safe to show, on both builds: in a message, on a
// terminal, in a run's record.
#pragma once

#include <string>

// Control characters (U+2028 and U+2029 among them) become "?": a folder
// name could otherwise move the cursor, end a line or send the terminal a
// command. The bidirectional controls and the format characters that draw
// nothing show as "<U+202E>", "<U+200B>": they could make one name read as
// another. Code units that are no text (lone surrogates) become U+FFFD.
// With `multiline`, line breaks stay.
std::wstring CleanedText(const std::wstring& text, bool multiline = false);

// A path of the layers above (Windows form on both builds) as the user's
// platform writes it, cleaned (platform/windows/ShownPath.cpp and
// platform/posix/Console.cpp): "/srv/media/VOD" on Linux, "D:\media\VOD" on
// Windows. A relative path stays relative: "Lab/demo.vtt", "Lab\demo.vtt".
std::wstring ShownPath(const std::wstring& path);
