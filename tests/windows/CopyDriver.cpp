// Runs the copy engine of the Windows build once, for the differential test
// (tests/windows/differential.py), which compares its result under Wine with
// the Linux build's.
//
//   copy_driver.exe SOURCE DEST     copies; prints how many captions were not
//                                   copied, how many folders could not be
//                                   read, 1 or 0 for whether the layout was
//                                   recognised, how many content folders'
//                                   folders could not be made and how many
//                                   copies replaced one the run made,
//                                   separated by spaces, then a newline
//   copy_driver.exe --list FOLDER   prints the names that the platform lists
//                                   for FOLDER\*, one per line, in its order
//
// Output is UTF-8 with "\n" line ends. Exit status 0 on success, 2 on bad
// arguments, 3 when the folder cannot be listed.
#include <string>

#include "copy/CaptionCopy.h"
#include "platform/FindListing.h"

namespace {

void Print(const std::wstring& text) {
    std::string bytes;
    if (!text.empty()) {
        const int size = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0,
                                             nullptr, nullptr);
        bytes.resize(static_cast<std::size_t>(size));
        WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), bytes.data(), size, nullptr,
                            nullptr);
    }
    bytes += '\n';
    DWORD written = 0;
    WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
}

int List(const std::wstring& folder) {
    FindListing search((folder + L"\\*").c_str());
    if (!search.IsOpen()) return 3;
    do {
        Print(search.Entry().cFileName);
    } while (search.Next());
    return 0;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc == 3 && std::wstring(argv[1]) == L"--list") return List(argv[2]);
    if (argc != 3) {
        Print(L"usage: copy_driver.exe SOURCE DEST | --list FOLDER");
        return 2;
    }
    const CopyOutcome outcome = CopyCaptionTree(CString(argv[1]), CString(argv[2]));
    Print(std::to_wstring(outcome.captionsNotCopied) + L" " + std::to_wstring(outcome.foldersNotRead) + L" " +
          (outcome.layoutRecognized ? L"1" : L"0") + L" " + std::to_wstring(outcome.foldersNotMade) + L" " +
          std::to_wstring(outcome.captionsReplaced));
    return 0;
}
