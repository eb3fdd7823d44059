#include "tests/support/Program.h"

#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <stdexcept>
#include <vector>

namespace {

[[noreturn]] void StartChild(int in[2], int out[2], int err[2], const Program::Options& options) {
    dup2(in[0], 0);
    dup2(out[1], 1);
    dup2(err[1], 2);
    for (int fd : {in[0], in[1], out[0], out[1], err[0], err[1]}) close(fd);
    for (int fd : options.closed) close(fd);
    if (options.fileSizeLimit != 0) {
        // As `ulimit -f` sets it: SIGXFSZ keeps its default action, which
        // would end the program unless it sees to the signal itself.
        const rlimit limit{options.fileSizeLimit, options.fileSizeLimit};
        setrlimit(RLIMIT_FSIZE, &limit);
    }
    for (const std::string& variable : options.environment) {
        const std::size_t equals = variable.find('=');
        setenv(variable.substr(0, equals).c_str(), variable.substr(equals + 1).c_str(), 1);
    }
    std::vector<char*> argv{const_cast<char*>(CUECARRY_EXE)};
    for (const std::string& argument : options.arguments) argv.push_back(const_cast<char*>(argument.c_str()));
    argv.push_back(nullptr);
    execv(CUECARRY_EXE, argv.data());
    _exit(127);
}

}  // namespace

Program::Program(const Options& options) {
    signal(SIGPIPE, SIG_IGN);
    int in[2], out[2], err[2];
    if (pipe(in) != 0 || pipe(out) != 0 || pipe(err) != 0) throw std::runtime_error("pipe");
    pid_ = fork();
    if (pid_ == 0) StartChild(in, out, err, options);
    close(in[0]);
    close(out[1]);
    close(err[1]);
    input_ = in[1];
    output_ = out[0];
    errors_ = err[0];
}

Program::~Program() {
    for (const int fd : {input_, output_, errors_}) {
        if (fd >= 0) close(fd);
    }
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
    if (WIFSIGNALED(status)) return 128 + WTERMSIG(status);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// Reads what either stream has; false once both have ended, or nothing came
// for 10 s.
bool Program::ReadSome() {
    if (output_ < 0 && errors_ < 0) return false;
    pollfd ready[] = {{output_, POLLIN, 0}, {errors_, POLLIN, 0}};  // poll passes over a closed one (-1)
    if (poll(ready, 2, 10000) <= 0) return false;
    for (int at = 0; at < 2; ++at) {
        if (ready[at].revents == 0) continue;
        int& fd = at == 0 ? output_ : errors_;
        char buffer[4096];
        const ssize_t got = read(fd, buffer, sizeof buffer);
        if (got > 0) {
            (at == 0 ? output : errors).append(buffer, static_cast<std::size_t>(got));
        } else {
            close(fd);
            fd = -1;
        }
    }
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
