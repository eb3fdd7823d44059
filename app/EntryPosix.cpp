// The entry point of the Linux programs, cuecarry and cuecarry-gtk. The run
// sequence is the Windows program's; the command line only decides how the
// stand-in answers it (folders given instead of picked, a dry run) and what
// is told on the way, and the run's outcome becomes the exit status. The
// program's own faces (ProgramFaces.h) decide where the pickers and the
// message show.
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <optional>
#include <string>
#include <vector>

#include "app/CuecarryApp.h"
#include "app/posix/CommandLine.h"
#include "app/posix/CopyReporter.h"
#include "app/posix/ExitStatus.h"
#include "app/posix/NothingCopied.h"
#include "app/posix/ProgramFaces.h"
#include "platform/posix/CommandLineOptions.h"
#include "platform/posix/Console.h"

namespace {

// A record that could not be written changes nothing else about the run;
// said where the user of each face looks (a desktop message says it too).
std::string RecordNotWritten(const RunOutcome& run) {
    if (run.record.problem.empty()) return std::string();
    return "cuecarry: the record of this run could not be written: " + posix::DisplayText(run.record.problem) + "\n";
}

// Folders given that cannot be taken end the program before the run, each
// named, with the message that a missing one gets: the run would stop at
// the first, and the user would learn of the second only after mending it.
bool RefusedGivenFolders(const std::vector<std::string>& folders) {
    const std::vector<std::optional<std::string>> problems = posix::ProblemsWithGivenFolders(folders);
    bool refused = false;
    for (const std::optional<std::string>& problem : problems) {
        if (problem) posix::WriteText(STDERR_FILENO, "cuecarry: " + *problem + "\n");
        refused = refused || problem.has_value();
    }
    if (refused) ShowRunMessage(problems.front() ? L"starting path not accessible" : L"copy to path not accessible");
    return refused;
}

// A program started with standard input, output or error closed (`<&- >&-
// 2>&-`) would otherwise give those numbers to the first files it opens,
// and the lines meant for the closed streams would be written into them: a
// reason line into a copy about to be published. So each one that is
// closed is opened on /dev/null, before anything else is opened. False when
// not even that can be done.
bool OpenClosedStandardStreams() {
    for (int fd = STDIN_FILENO; fd <= STDERR_FILENO; ++fd) {
        if (::fcntl(fd, F_GETFD) != -1 || errno != EBADF) continue;
        // The lowest free number: the ones below are open by now.
        const int opened = ::open("/dev/null", fd == STDIN_FILENO ? O_RDONLY : O_WRONLY);
        if (opened != fd) return false;
    }
    return true;
}

int Run(const CommandLine& line) {
    posix::UseCommandLineOptions({line.folders, line.dryRun, true});
    CCuecarryApp& app = *static_cast<CCuecarryApp*>(AfxGetApp());
    RunOptions options;
    options.workers = line.jobs;
    options.namesLeftBehind = SetUpFaces();
    options.keepsRecord = true;
    options.foretold = line.dryRun;
    int status = kExitNothingCopied;
    if (line.folders.empty() || !RefusedGivenFolders(line.folders)) {
        CopyReporter reporter({STDOUT_FILENO, STDERR_FILENO, posix::IsTerminal(STDERR_FILENO)}, line.verbose,
                              line.dryRun);
        options.alsoListening = &reporter;
        app.UseOptions(options);
        AfxWinMain(nullptr, nullptr, nullptr, 0);
        const RunOutcome& run = app.LastRun();
        posix::WriteText(STDERR_FILENO, NothingCopiedReason(run));
        posix::WriteText(STDERR_FILENO, RecordNotWritten(run));
        status = ExitStatusOf(run);
    }
    if (line.pause) posix::WaitForEnter(STDIN_FILENO, STDOUT_FILENO);
    return status;
}

}  // namespace

int main(int argc, char** argv) {
    if (!OpenClosedStandardStreams()) return kExitNothingCopied;
    const CommandLine line = ParseCommandLine(argc, argv);
    switch (line.action) {
    case CommandLine::Action::Help:
        posix::WriteText(STDOUT_FILENO, HelpText(kProgramName));
        return kExitAllCopied;
    case CommandLine::Action::Version:
        posix::WriteText(STDOUT_FILENO, std::string(kProgramName) + " " CUECARRY_VERSION "\n");
        return kExitAllCopied;
    case CommandLine::Action::Wrong:
        posix::WriteText(STDERR_FILENO, std::string(kProgramName) + ": " + line.problem + "\n" +
                                            UsageLine(kProgramName) + "\nTry '" + kProgramName +
                                            " --help' for more.\n");
        return kExitNothingCopied;
    case CommandLine::Action::Run:
        break;
    }
    return Run(line);
}
