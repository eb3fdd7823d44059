#include "app/posix/CommandLine.h"

#include <getopt.h>

#include <cstring>
#include <optional>
#include <string>

#include "platform/posix/Console.h"

namespace {

enum LongOnly { kPause = 256 };

const option kOptions[] = {
    {"dry-run", no_argument, nullptr, 'n'}, {"verbose", no_argument, nullptr, 'v'},
    {"jobs", required_argument, nullptr, 'j'}, {"pause", no_argument, nullptr, kPause},
    {"help", no_argument, nullptr, 'h'},    {"version", no_argument, nullptr, 'V'},
    {nullptr, 0, nullptr, 0},
};
constexpr char kShortOptions[] = ":nvj:hV";
constexpr int kMostJobs = 64;

// A whole number from 1 to kMostJobs, written plainly: "08" and "+8" too,
// never " 8" or "8x".
std::optional<int> Jobs(const char* text) {
    if (text == nullptr || *text == '\0') return std::nullopt;
    int jobs = 0;
    for (const char* c = *text == '+' ? text + 1 : text; *c != '\0'; ++c) {
        if (*c < '0' || *c > '9' || jobs > kMostJobs) return std::nullopt;
        jobs = jobs * 10 + (*c - '0');
    }
    if (jobs < 1 || jobs > kMostJobs) return std::nullopt;
    return jobs;
}

// An argument as it may be shown: whatever it holds, no control character.
std::string Shown(const char* argument) {
    return posix::DisplayBytes(argument);
}

// What getopt refused: an unknown letter (optopt holds it), or a long
// option, unknown (optopt 0) or given a value (optopt its own), which is
// then the whole argument that getopt has just passed.
std::string Offending(const char* passed) {
    const bool ours = optopt == 0 || optopt == kPause || std::strchr("nvjhV", optopt) != nullptr;
    if (ours) return Shown(passed);
    const char letter[] = {'-', static_cast<char>(optopt), '\0'};
    return Shown(letter);
}

CommandLine Wrong(const std::string& problem) {
    CommandLine line;
    line.action = CommandLine::Action::Wrong;
    line.problem = problem;
    return line;
}

}  // namespace

CommandLine ParseCommandLine(int argc, char** argv) {
    CommandLine line;
    // getopt keeps its place between calls: start afresh. Its own messages
    // would show an argument's control characters raw.
    optind = 0;
    opterr = 0;
    for (;;) {
        const int option = ::getopt_long(argc, argv, kShortOptions, kOptions, nullptr);
        if (option == -1) break;
        switch (option) {
        case 'n': line.dryRun = true; break;
        case 'v': line.verbose = true; break;
        case 'j':
            if (const std::optional<int> jobs = Jobs(optarg)) {
                line.jobs = *jobs;
                break;
            }
            return Wrong("--jobs takes a number from 1 to " + std::to_string(kMostJobs) + ", not '" + Shown(optarg) + "'");
        case ':': return Wrong("option '" + Offending(argv[optind - 1]) + "' needs a number");
        case kPause: line.pause = true; break;
        case 'h': line.action = CommandLine::Action::Help; break;
        case 'V': line.action = CommandLine::Action::Version; break;
        default: return Wrong("unknown option '" + Offending(argv[optind - 1]) + "'");
        }
    }
    if (line.action != CommandLine::Action::Run) return line;
    for (int at = optind; at < argc; ++at) line.folders.emplace_back(argv[at]);
    if (line.folders.size() == 1) return Wrong("DEST is missing");
    if (line.folders.size() > 2) return Wrong("too many folders; give SOURCE and DEST");
    // An unset variable ("$DEST") must not turn into the working folder.
    if (!line.folders.empty() && line.folders[0].empty()) return Wrong("SOURCE is empty");
    if (!line.folders.empty() && line.folders[1].empty()) return Wrong("DEST is empty");
    return line;
}

std::string UsageLine(const std::string& program) {
    return "usage: " + program + " [-n] [-v] [-j N] [--pause] [SOURCE DEST]";
}

std::string HelpText(const std::string& program) {
    return UsageLine(program) +
           "\n"
           "Copies every WebVTT caption file (*.vtt) of a video content tree into the\n"
           "publishing layout DEST/ShortName/Base/video/vtt/File.vtt. The source folder's\n"
           "name selects its layout: VOD (captions in each content folder) or Zelvora\n"
           "(captions in the segment folders of each content folder).\n"
           "\n"
           "Without SOURCE and DEST, two folder pickers ask for them: a full-screen\n"
           "browser at a terminal, a line protocol for scripts; cuecarry-gtk shows\n"
           "them, and the message, on the desktop where a display opens.\n"
           "\n"
           "  -n, --dry-run   walk and list what a run would copy; write nothing\n"
           "  -v, --verbose   print \"copy SOURCE -> DESTINATION\" for each caption copied\n"
           "  -j, --jobs N    copy with N workers, 1 to 64 (default 8); 1 copies one\n"
           "                  caption at a time, in the order of the walk\n"
           "      --pause     at a terminal, wait for Enter before exiting\n"
           "  -h, --help      print this help and exit\n"
           "  -V, --version   print the version and exit\n"
           "\n"
           "Each run that gets to copying keeps a record: every caption and folder left\n"
           "behind with the reason, the two folders and the counts, in\n"
           "$XDG_STATE_HOME/cuecarry (else ~/.local/state/cuecarry); the last 10 are\n"
           "kept. cuecarry-gtk's message names the first five and where the record is.\n"
           "\n"
           "Exit status: 0 when every caption was copied and every folder read; 1 when\n"
           "captions could not be copied, or folders not read or made; 2 when nothing\n"
           "was copied (a picker cancelled, a folder not accessible, no layout\n"
           "recognised, or a wrong command line).\n";
}
