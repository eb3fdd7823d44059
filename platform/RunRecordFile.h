// Where a user's records of runs are kept, and how one gets there: a plain
// text file of its own for each run, in the folder where the platform keeps
// such things for the user (never the destination), the last few kept.
#pragma once

#include <memory>
#include <string>

// This user's folder for the records, in the path form of the layers above
// (Windows form on both builds): "$XDG_STATE_HOME/cuecarry", else
// "~/.local/state/cuecarry", on Linux; "Cuecarry" in the local application
// data folder on Windows. Empty, with `whyNot` set, where there is none;
// empty and nothing said where the account has no such place at all (a
// Linux account without a home folder): then no record is kept.
std::wstring RunRecordFolder(std::wstring& whyNot);

// A moment as a record gives it: `shown` local, "2026-05-03 14:02:11
// +0200"; `stamp` in UTC, "20260503T120211.123Z", for names that sort as
// the times do.
struct RecordTime {
    std::wstring shown;
    std::wstring stamp;
};
RecordTime RecordTimeNow();

// A record's name: "run-", the stamp of its start, "-", the process id,
// ".txt". Nothing else in the folder is a record, whatever its name.
std::wstring RunRecordName(const std::wstring& stamp, unsigned long process);
bool IsRunRecordName(const std::wstring& name);

// One record on its way: written as the run goes, it takes its name in one
// step once whole (Keep), so that no half-written record is ever there; one
// that is never kept leaves nothing behind.
class RunRecordFile {
public:
    // Starts the record of a run into `destination`, in `folder` (made,
    // with the folders above it, for this user alone), unless that lies in
    // the destination.
    RunRecordFile(const std::wstring& folder, const std::wstring& destination, const std::wstring& stamp);
    ~RunRecordFile();
    RunRecordFile(const RunRecordFile&) = delete;
    RunRecordFile& operator=(const RunRecordFile&) = delete;

    // Appends `text`, whose lines end with "\n"; a failure is kept for Keep.
    void Write(const std::wstring& text);

    struct Kept {
        std::wstring path;     // as the user's platform writes it
        std::wstring problem;  // why it could not be written; empty when it was
    };
    // Gives the record its name, and removes the oldest of the folder's
    // records beyond the newest `keep`.
    Kept Keep(int keep);

    class Writer;  // each platform's

private:
    std::unique_ptr<Writer> writer_;
};
