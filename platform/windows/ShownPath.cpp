#include "platform/ShownText.h"

// Windows writes paths in the form the layers above use.
std::wstring ShownPath(const std::wstring& path) { return CleanedText(path); }
