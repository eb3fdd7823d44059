// The Linux program under test, started with pipes to its standard streams,
// as a script drives it.
#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

class Program {
public:
    struct Options {
        // A file-size limit for the program (RLIMIT_FSIZE), in bytes, as
        // `ulimit -f` sets it; 0 for none.
        unsigned long fileSizeLimit = 0;
        // The command line after the program's name.
        std::vector<std::string> arguments;
        // "NAME=VALUE" set in the program's environment, beside the test's.
        std::vector<std::string> environment;
        // The standard streams (0, 1, 2) the program starts without, as
        // `<&-`, `>&-` and `2>&-` leave them.
        std::vector<int> closed;
    };
    Program() : Program(Options()) {}
    explicit Program(const Options& options);
    ~Program();
    Program(const Program&) = delete;
    Program& operator=(const Program&) = delete;

    // Sends one line. A program that has already ended takes no more input;
    // what it printed is what the tests judge, so that is no failure here.
    void Send(const std::string& line);
    // Reads until `text` has appeared in the output (true) or the output
    // ends or stalls for 10 s (false).
    bool WaitFor(const std::string& text);
    // Ends the input, reads all that is left and returns the exit status,
    // or 128 + the signal's number when a signal ended the program, as a
    // shell gives it.
    int Finish();

    pid_t pid() const { return pid_; }

    std::string output;  // standard output
    std::string errors;  // standard error

private:
    bool ReadSome();

    pid_t pid_ = -1;
    bool reaped_ = false;
    int input_ = -1;
    int output_ = -1;
    int errors_ = -1;
};

// The program's message lines: those that start with its caption. Each runs
// to the end of the output.
std::string OnlyMessage(const std::string& output);
