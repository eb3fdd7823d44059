#include "app/posix/CommandLine.h"

#include <getopt.h>

#include <cstring>

#include "platform/posix/console.h"
#include "platform/posix/names.h"

namespace {

enum LongOnly { kPause = 256 };

const option kOptions[] = {
    {"dry-run", no_argument, nullptr, 'n'}, {"verbose", no_argument, nullptr, 'v'},
    {"pause", no_argument, nullptr, kPause}, {"help", no_argument, nullptr, 'h'},
    {"version", no_argument, nullptr, 'V'}, {nullptr, 0, nullptr, 0},
};

// An argument as it may be shown: whatever it holds, no control character.
std::string Shown(const char* argument) {
    return posix::DisplayText(posix::WidenName(argument, std::strlen(argument)));
}

// What getopt refused: an unknown letter (optopt holds it), or a long
// option, unknown (optopt 0) or given a value (optopt its own), which is
// then the whole argument that getopt has just passed.
std::string Offending(const char* passed) {
    const bool ours = optopt == 0 || optopt == kPause || std::strchr("nvhV", optopt) != nullptr;
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
        const int option = ::getopt_long(argc, argv, "nvhV", kOptions, nullptr);
        if (option == -1) break;
        switch (option) {
        case 'n': line.dryRun = true; break;
        case 'v': line.verbose = true; break;
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
    return line;
}

std::string UsageLine(const std::string& program) { return "usage: " + program + " [-n] [-v] [--pause] [SOURCE DEST]"; }

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
           "  -n, --dry-run   walk and report what a run would do; write nothing\n"
           "  -v, --verbose   print \"copy SOURCE -> DESTINATION\" for each caption copied\n"
           "      --pause     at a terminal, wait for Enter before exiting\n"
           "  -h, --help      print this help and exit\n"
           "  -V, --version   print the version and exit\n"
           "\n"
           "Exit status: 0 when every caption was copied and every folder read; 1 when\n"
           "captions could not be copied or folders not read; 2 when nothing was copied\n"
           "(a picker cancelled, a folder not accessible, no layout recognised, or a\n"
           "wrong command line).\n";
}
