// plain_copier [-t N] SRC DEST: the plainest copy into cuecarry's publishing
// layout, with N threads, for the latency benchmark to measure cuecarry
// against on a share.
//
// It makes the same destination (DEST/ShortName/Base/video/vtt/File.vtt, for
// the VOD and the Zelvora layout, short names as cuecarry makes them) and
// nothing else: no temporary file, no check of what is there, no attributes.
// Each caption costs a plain mkdir of each of its three folders (an existing
// one is fine) and open, copy, close. The main thread walks the source and
// makes each content folder's short-name folder; with more than one thread
// the captions go to the workers as they are found. Captions with the same
// destination go to the same worker, in walk order, so that the later one
// wins as in a run one at a time. A floor to measure against, never shipped;
// latency_bench.py builds it with g++.

#include <dirent.h>
#include <fcntl.h>
#include <strings.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "source_tree.h"

namespace {

std::atomic<int> failures{0};

struct Job {
    std::string source;
    std::string folder;  // DEST/Short: Base/video/vtt are made below it
    std::string base;
    std::string name;
};

// ----------------------------------------------------------- short names

// A name's code points with their byte length and UTF-16 length; a byte that
// is no UTF-8 counts as one unit, as the Linux build carries it.
struct Piece {
    size_t bytes;
    int units;
};

std::vector<Piece> Pieces(const std::string& s) {
    std::vector<Piece> out;
    for (size_t i = 0; i < s.size();) {
        unsigned char c = static_cast<unsigned char>(s[i]);
        size_t n = c < 0x80 ? 1 : (c >> 5) == 6 ? 2 : (c >> 4) == 14 ? 3 : (c >> 3) == 30 ? 4 : 0;
        bool ok = n > 0 && i + n <= s.size();
        for (size_t k = 1; ok && k < n; ++k)
            ok = (static_cast<unsigned char>(s[i + k]) & 0xC0) == 0x80;
        if (!ok)
            n = 1;
        out.push_back({n, ok && n == 4 ? 2 : 1});
        i += n;
    }
    return out;
}

// Doubled around '_' below 5 UTF-16 units, else the first 3 units, '_', the
// last 2; a cut that would split a surrogate pair takes the whole pair.
std::string ShortName(const std::string& name) {
    std::vector<Piece> pieces = Pieces(name);
    int units = 0;
    for (const Piece& p : pieces)
        units += p.units;
    if (units < 5)
        return name + "_" + name;
    size_t head = 0;
    for (size_t i = 0, taken = 0; taken < 3; ++i) {
        head += pieces[i].bytes;
        taken += static_cast<size_t>(pieces[i].units);
    }
    size_t tail = 0;
    for (size_t i = pieces.size(), taken = 0; taken < 2; --i) {
        tail += pieces[i - 1].bytes;
        taken += static_cast<size_t>(pieces[i - 1].units);
    }
    return name.substr(0, head) + "_" + name.substr(name.size() - tail);
}

// ----------------------------------------------------------- file work

bool MakeFolder(const std::string& path) {
    if (mkdir(path.c_str(), 0777) == 0 || errno == EEXIST)
        return true;
    fprintf(stderr, "plain_copier: mkdir %s: %s\n", path.c_str(), strerror(errno));
    return false;
}

bool CopyData(int in, int out) {
    // The kernel's copy where both ends allow it; across file systems it
    // refuses and plain reads and writes do the work.
    ssize_t n = copy_file_range(in, nullptr, out, nullptr, 1 << 30, 0);
    if (n >= 0) {
        while (n > 0)
            n = copy_file_range(in, nullptr, out, nullptr, 1 << 30, 0);
        return n == 0;
    }
    if (errno != EXDEV && errno != EINVAL && errno != ENOSYS && errno != EOPNOTSUPP)
        return false;
    static thread_local std::vector<char> buffer(1 << 16);
    while ((n = read(in, buffer.data(), buffer.size())) > 0) {
        for (ssize_t done = 0; done < n;) {
            ssize_t w = write(out, buffer.data() + done, static_cast<size_t>(n - done));
            if (w < 0)
                return false;
            done += w;
        }
    }
    return n == 0;
}

// An open descriptor, closed when it goes; Close() reports what close says.
class Fd {
public:
    explicit Fd(int fd) : fd_(fd) {}
    ~Fd() { Close(); }
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    int get() const { return fd_; }
    bool Close() {
        int fd = fd_;
        fd_ = -1;
        return fd < 0 || close(fd) == 0;
    }

private:
    int fd_;
};

void Copy(const Job& job) {
    std::string base = job.folder + "/" + job.base, video = base + "/video", vtt = video + "/vtt";
    if (!MakeFolder(base) || !MakeFolder(video) || !MakeFolder(vtt)) {
        ++failures;
        return;
    }
    std::string target = vtt + "/" + job.name;
    Fd in(open(job.source.c_str(), O_RDONLY));
    Fd out(in.get() < 0 ? -1 : open(target.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0666));
    bool ok = out.get() >= 0 && CopyData(in.get(), out.get());
    ok = out.Close() && ok;  // a share may report a failed write only here
    if (!ok) {
        fprintf(stderr, "plain_copier: %s -> %s: %s\n", job.source.c_str(), target.c_str(), strerror(errno));
        ++failures;
    }
}

// ----------------------------------------------------------- workers

class Workers {
public:
    explicit Workers(int count) : queues_(static_cast<size_t>(count)) {
        for (int i = 0; i < count; ++i)
            threads_.emplace_back([this, i] { Run(queues_[static_cast<size_t>(i)]); });
    }

    void Add(Job job) {
        Queue& q = queues_[std::hash<std::string>()(job.folder + "/" + job.base + "/" + job.name) % queues_.size()];
        {
            std::lock_guard<std::mutex> hold(q.lock);
            q.jobs.push_back(std::move(job));
        }
        q.ready.notify_one();
    }

    void Finish() {
        for (Queue& q : queues_) {
            {
                std::lock_guard<std::mutex> hold(q.lock);
                q.closed = true;
            }
            q.ready.notify_one();
        }
        for (std::thread& t : threads_)
            t.join();
    }

private:
    struct Queue {
        std::mutex lock;
        std::condition_variable ready;
        std::deque<Job> jobs;
        bool closed = false;
    };

    static void Run(Queue& q) {
        for (;;) {
            std::unique_lock<std::mutex> hold(q.lock);
            q.ready.wait(hold, [&] { return q.closed || !q.jobs.empty(); });
            if (q.jobs.empty())
                return;
            Job job = std::move(q.jobs.front());
            q.jobs.pop_front();
            hold.unlock();
            Copy(job);
        }
    }

    std::vector<Queue> queues_;
    std::vector<std::thread> threads_;
};

// ----------------------------------------------------------- walk

// A folder that cannot be listed is said, and a failure of the run.
template <class Visit>
void ForEachEntryOf(const std::string& folder, Visit visit) {
    if (!ForEachEntry(folder, visit)) {
        fprintf(stderr, "plain_copier: %s: %s\n", folder.c_str(), strerror(errno));
        ++failures;
    }
}

struct Walk {
    bool nested;
    std::function<void(Job)> copy;

    void Captions(const std::string& folder, const std::string& contentDest) {
        ForEachEntryOf(folder, [&](int dirFd, const dirent* entry) {
            if (!IsCaption(entry->d_name) || IsFolder(dirFd, entry))
                return;
            std::string name = entry->d_name;
            copy({folder + "/" + name, contentDest, name.substr(0, name.rfind('.')), name});
        });
    }

    void Content(const std::string& folder, const std::string& contentDest) {
        if (!MakeFolder(contentDest)) {
            ++failures;
            return;
        }
        if (!nested)
            return Captions(folder, contentDest);
        ForEachEntryOf(folder, [&](int dirFd, const dirent* segment) {
            if (IsFolder(dirFd, segment))
                Captions(folder + "/" + segment->d_name, contentDest);
        });
    }
};

}  // namespace

int main(int argc, char** argv) {
    int threads = 1;
    int opt;
    while ((opt = getopt(argc, argv, "t:")) != -1) {
        char* end = nullptr;
        long n = opt == 't' ? strtol(optarg, &end, 10) : 0;
        if (opt != 't' || *end || n < 1 || n > 256) {
            fprintf(stderr, "usage: plain_copier [-t THREADS] SRC DEST\n");
            return 2;
        }
        threads = static_cast<int>(n);
    }
    if (argc - optind != 2) {
        fprintf(stderr, "usage: plain_copier [-t THREADS] SRC DEST\n");
        return 2;
    }
    std::string source = argv[optind], dest = argv[optind + 1];
    while (source.size() > 1 && source.back() == '/')
        source.pop_back();
    const char* layout = source.c_str() + source.rfind('/') + 1;
    Walk walk{strcasecmp(layout, "Zelvora") == 0, nullptr};
    if (!walk.nested && strcasecmp(layout, "VOD") != 0)
        return 0;
    std::unique_ptr<Workers> workers(threads > 1 ? new Workers(threads) : nullptr);
    if (workers)
        walk.copy = [&](Job job) { workers->Add(std::move(job)); };
    else
        walk.copy = [](Job job) { Copy(job); };
    ForEachEntryOf(source, [&](int dirFd, const dirent* content) {
        if (IsFolder(dirFd, content))
            walk.Content(source + "/" + content->d_name, dest + "/" + ShortName(content->d_name));
    });
    if (workers)
        workers->Finish();
    if (failures)
        fprintf(stderr, "plain_copier: %d folders or caption files failed\n", failures.load());
    return failures ? 1 : 0;
}
