#include "tests/support/Program.h"

#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <stdexcept>
#include <vector>

namespace {

[[noreturn]] void StartChild(int in[2], int out[2], const Program::Options& options) {
    dup2(in[0], 0);
    dup2(out[1], 1);
    const int devnull = open("/dev/null", O_WRONLY);
    dup2(devnull, 2);  // the browser's complaints; not what these tests read
    for (int fd : {in[0], in[1], out[0], out[1], devnull}) close(fd);
    if (options.fileSizeLimit != 0) {
        // As `ulimit -f` sets it: SIGXFSZ keeps its default action, which
        // would end the program unless it sees to the signal itself.
        const rlimit limit{options.fileSizeLimit, options.fileSizeLimit};
        setrlimit(RLIMIT_FSIZE, &limit);
    }
    execl(CUECARRY_EXE, CUECARRY_EXE, static_cast<char*>(nullptr));
    _exit(127);
}

}  // namespace

Program::Program(const Options& options) {
    signal(SIGPIPE, SIG_IGN);
    int in[2], out[2];
    if (pipe(in) != 0 || pipe(out) != 0) throw std::runtime_error("pipe");
    pid_ = fork();
    if (pid_ == 0) StartChild(in, out, options);
    close(in[0]);
    close(out[1]);
    input_ = in[1];
    output_ = out[0];
}

Program::~Program() {
    if (input_ >= 0) close(input_);
    close(output_);
    if (pid_ > 0 && !reaped_) {
        kill(pid_, SIGKILL);
        waitpid(pid_, nullptr, 0);
    }
}

void Program::Send(const std::string& line) {
    const std::string text = line + "\n";
    if (write(input_, text.data(), text.size()) < 0 && errno != EPIPE) ADD_FAILURE() << "write: " << errno;
}

bool Program::WaitFor(const std::string& text) {
    while (output.find(text) == std::string::npos) {
        if (!ReadSome()) return false;
    }
    return true;
}

int Program::Finish() {
    if (input_ >= 0) {
        close(input_);
        input_ = -1;
    }
    while (ReadSome()) {
    }
    int status = 0;
    waitpid(pid_, &status, 0);
    reaped_ = true;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

bool Program::ReadSome() {
    pollfd ready{output_, POLLIN, 0};
    if (poll(&ready, 1, 10000) <= 0) return false;
    char buffer[4096];
    const ssize_t got = read(output_, buffer, sizeof buffer);
    if (got <= 0) return false;
    output.append(buffer, static_cast<std::size_t>(got));
    return true;
}

std::string OnlyMessage(const std::string& output) {
    std::vector<std::string> found;
    for (std::size_t at = output.find("Cuecarry: "); at != std::string::npos; at = output.find("Cuecarry: ", at + 1)) {
        if (at == 0 || output[at - 1] == '\n' || output[at - 1] == ' ') found.push_back(output.substr(at));
    }
    EXPECT_EQ(found.size(), 1u) << output;
    return found.empty() ? std::string() : found.front();
}
