#include "platform/RunRecordFile.h"

namespace {

bool Digits(const std::wstring& text, std::size_t at, std::size_t count) {
    if (at + count > text.size()) return false;
    for (std::size_t i = at; i < at + count; ++i) {
        if (text[i] < L'0' || text[i] > L'9') return false;
    }
    return true;
}

}  // namespace

std::wstring RunRecordName(const std::wstring& stamp, unsigned long process) {
    return L"run-" + stamp + L"-" + std::to_wstring(process) + L".txt";
}

// "run-20260503T120211.123Z-4711.txt", and nothing that only looks like it:
// the oldest records are removed, and a file of the user's is not one.
bool IsRunRecordName(const std::wstring& name) {
    constexpr std::size_t kProcess = 25;  // where the process id starts
    constexpr std::size_t kMostDigits = 10;
    if (name.size() <= kProcess + 4 || name.compare(0, 4, L"run-") != 0 ||
        name.compare(name.size() - 4, 4, L".txt") != 0) {
        return false;
    }
    const std::size_t digits = name.size() - 4 - kProcess;
    return Digits(name, 4, 8) && name[12] == L'T' && Digits(name, 13, 6) && name[19] == L'.' &&
           Digits(name, 20, 3) && name.compare(23, 2, L"Z-") == 0 && digits <= kMostDigits &&
           Digits(name, kProcess, digits);
}
