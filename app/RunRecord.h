#pragma once

#include <optional>
#include <string>

#include "copy/CaptionCopy.h"
#include "framework/CString.h"
#include "platform/RunRecordFile.h"

// The plain-text record of one walk, for the user to read after the
// message: when and between which folders it ran, every line that the
// terminal's standard error has for it (every caption and folder left
// behind and every copy that replaced one, with the reasons, whole paths),
// how many captions were copied and the message's text. It goes where the
// platform keeps such things for the user (RunRecordFile.h), never into the
// destination; the last kKept records stay.
class RunRecord {
public:
    static constexpr int kKept = 10;

    // Starts the record in `folder`; with none, `whyNoFolder` is the reason
    // it cannot be written. `foretold`: a dry run, which the record says.
    RunRecord(const std::wstring& folder, const std::wstring& whyNoFolder, const CString& sourceRoot,
              const CString& destinationRoot, bool foretold);

    // One line, with its end.
    void Add(const std::wstring& line);

    // The counts and the message's text, then the record under its name:
    // its path, or why it could not be written.
    RunRecordFile::Kept Keep(const CopyOutcome& outcome);

private:
    std::optional<RunRecordFile> file_;
    const std::wstring whyNoFolder_;
    const bool foretold_;
    bool told_ = false;
};
