#include "platform/ErrorText.h"

#include "platform/posix/files/Errors.h"
#include "platform/posix/Names.h"

// The stand-in keeps each failure's cause beside its code, and says it in
// words itself.
std::wstring LastErrorInWords() { return posix::WidenText(posix::LastErrorReason()); }

std::wstring CopyErrorInWords(const wchar_t*, const wchar_t*) { return LastErrorInWords(); }
