// placement_cost FOLDER: what putting one caption file in place costs, by
// each way of doing it, on the file system that holds FOLDER. It sets the
// reference copier's way (write into the target, in place) beside
// cuecarry's (an unnamed file given its name once whole; through a
// temporary name and a rename when it replaces an earlier copy), so that
// the benchmark's tables can be read call by call. Never shipped.
//
//   g++ -O2 -std=c++17 -o /tmp/placement_cost bench/placement_cost.cpp
//   /tmp/placement_cost /dev/shm/placement
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

namespace {

constexpr int kFiles = 5000;
constexpr std::size_t kSize = 22 * 1024;  // a caption file of the benchmark's average size

int folder = -1;
int source = -1;
std::vector<std::string> names;

void Copy(int out) {
    off_t from = 0;
    copy_file_range(source, &from, out, nullptr, kSize + 1, 0);
}

// Microseconds per file of `place`, run once for every name.
double Measure(const std::function<void(const std::string&)>& place) {
    const auto start = std::chrono::steady_clock::now();
    for (const std::string& name : names) place(name);
    const std::chrono::duration<double, std::micro> spent = std::chrono::steady_clock::now() - start;
    return spent.count() / kFiles;
}

void InPlace(const std::string& name) {
    const int out = openat(folder, name.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    Copy(out);
    close(out);
}

int Unnamed() {
    const int out = openat(folder, ".", O_TMPFILE | O_WRONLY | O_CLOEXEC, 0644);
    Copy(out);
    return out;
}

void UnnamedLinked(const std::string& name) {
    const int out = Unnamed();
    linkat(out, "", folder, name.c_str(), AT_EMPTY_PATH);
    close(out);
}

void UnnamedRenamed(const std::string& name) {
    const int out = Unnamed();
    linkat(out, "", folder, ".placement.tmp", AT_EMPTY_PATH);
    renameat(folder, ".placement.tmp", folder, name.c_str());
    close(out);
}

void RemoveAll() {
    for (const std::string& name : names) unlinkat(folder, name.c_str(), 0);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: placement_cost FOLDER\n");
        return 2;
    }
    mkdir(argv[1], 0777);
    folder = open(argv[1], O_PATH | O_DIRECTORY | O_CLOEXEC);
    source = openat(folder, "source", O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    const std::string data(kSize, 'x');
    if (folder < 0 || source < 0 || write(source, data.data(), data.size()) != static_cast<ssize_t>(kSize)) {
        std::perror(argv[1]);
        return 1;
    }
    for (int i = 0; i < kFiles; ++i) names.push_back("f" + std::to_string(i));

    const double inPlaceNew = Measure(InPlace);
    const double inPlaceOver = Measure(InPlace);
    RemoveAll();
    const double unnamedNew = Measure(UnnamedLinked);
    const double unnamedOver = Measure(UnnamedRenamed);
    RemoveAll();
    unlinkat(folder, "source", 0);
    rmdir(argv[1]);

    std::printf("microseconds per file of %zu bytes, %d files\n", kSize, kFiles);
    std::printf("%-44s %8s %8s\n", "", "new", "replace");
    std::printf("%-44s %8.1f %8.1f\n", "in place (open O_TRUNC, copy, close)", inPlaceNew, inPlaceOver);
    std::printf("%-44s %8.1f %8.1f\n", "unnamed, linked (replace: + rename)", unnamedNew, unnamedOver);
    return 0;
}
