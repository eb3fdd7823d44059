// The Linux program's command line. Without arguments the pickers ask for
// both folders; `cuecarry SOURCE DEST` takes them as given. Options change
// what is written and what is told, never the run sequence.
#pragma once

#include <string>
#include <vector>

#include "copy/CaptionCopy.h"

struct CommandLine {
    enum class Action { Run, Help, Version, Wrong };
    Action action = Action::Run;
    bool dryRun = false;                // -n, --dry-run: write nothing
    bool verbose = false;               // -v, --verbose: a line per caption copied
    bool pause = false;                 // --pause: wait for Enter before exiting
    int jobs = kDefaultCaptionWorkers;  // -j N, --jobs N: the caption workers
    std::vector<std::string> folders;   // none, or SOURCE and DEST
    std::string problem;                // why the command line is Wrong, cleaned to be shown
};

CommandLine ParseCommandLine(int argc, char** argv);

// The one-line synopsis, and the whole help, of the program of that name.
std::string UsageLine(const std::string& program = "cuecarry");
std::string HelpText(const std::string& program = "cuecarry");
