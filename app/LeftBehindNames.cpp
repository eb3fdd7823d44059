#include "app/LeftBehindNames.h"

#include <string>

#include "platform/ErrorText.h"

namespace {

CString Reason(CopyListener::Loss loss) {
    switch (loss) {
    case CopyListener::Loss::CallFailed: return LastErrorInWords().c_str();
    case CopyListener::Loss::BaseNameDotDot: return L"its base name is ..";
    case CopyListener::Loss::NotASingleName: return L"its name holds a path separator";
    }
    return CString();
}

}  // namespace

void LeftBehindNames::WalkStarted(const CString&, const CString&) {
    named_.clear();
    more_ = 0;
}

void LeftBehindNames::CaptionReplacedEarlierCopy(const CString& source, const CString& target,
                                                 const CString& earlierSource) {
    Name(source + L" -> " + target + L": replaces the copy of " + earlierSource + L" made earlier in this run");
}

void LeftBehindNames::CaptionNotCopied(const CString& source, const CString& target, Loss loss) {
    Name(source + L" -> " + target + L": " + Reason(loss));
}

void LeftBehindNames::FolderNotRead(const CString& folder, Loss loss) { Name(folder + L": " + Reason(loss)); }

void LeftBehindNames::FolderNotMade(const CString& folder) {
    Name(folder + L": could not be made: " + Reason(Loss::CallFailed));
}

void LeftBehindNames::Name(const CString& line) {
    if (static_cast<int>(named_.size()) < kNamed) {
        named_.push_back(line);
    } else {
        ++more_;
    }
}

CString LeftBehindNames::Text() const {
    if (named_.empty()) return CString();
    CString text(L"\n");
    for (const CString& line : named_) text += L"\n" + line;
    if (more_ > 0) text += (L"\nand " + std::to_wstring(more_) + L" more.").c_str();
    return text;
}
