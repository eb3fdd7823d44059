// The entry point of the Linux programs, cuecarry and cuecarry-gtk. The run
// sequence is the Windows program's; the command line only decides how the
// stand-in answers it (folders given instead of picked, a dry run) and what
// is told on the way, and the run's outcome becomes the exit status. The
// program's own faces (ProgramFaces.h) decide where the pickers and the
// message show.
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <string>

#include "app/CuecarryApp.h"
#include "app/posix/CommandLine.h"
#include "app/posix/CopyReporter.h"
#include "app/posix/ExitStatus.h"
#include "app/posix/NothingCopied.h"
#include "app/posix/ProgramFaces.h"
#include "platform/posix/command_line.h"
#include "platform/posix/console.h"

namespace {

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
    if (!line.folders.empty()) posix::AnswerBrowsesWith(line.folders);
    if (line.dryRun) posix::PlanWritesOnly();
    posix::RefuseDestinationsThatTakeNoFolder();
    SetCaptionWorkers(line.jobs);
    SetUpFaces();
    CopyReporter reporter({STDOUT_FILENO, STDERR_FILENO, posix::IsTerminal(STDERR_FILENO)}, line.verbose, line.dryRun);
    const ScopedCopyListener listening(reporter);
    AfxWinMain(nullptr, nullptr, nullptr, 0);
    const RunOutcome& run = static_cast<const CCuecarryApp*>(AfxGetApp())->LastRun();
    posix::WriteText(STDERR_FILENO, NothingCopiedReason(run));
    if (line.pause) posix::WaitForEnter(STDIN_FILENO, STDOUT_FILENO);
    return ExitStatusOf(run);
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
