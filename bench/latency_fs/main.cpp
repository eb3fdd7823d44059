// latency_fs: a passthrough FUSE file system that makes a local folder
// behave like a network share for the latency benchmark. Every request waits
// a fixed delay before it is served; names and attributes are cached by the
// kernel for a second, as SMB and NFS clients cache them; requests are
// served by many threads at once, lookups in one folder included. Unless
// --xattr is given it has no extended attributes, as a share shows the
// kernel none of the security ones. The requests are counted by kind and
// written as JSON on unmount, on SIGINT, SIGTERM or SIGHUP (which also
// unmount), and on SIGUSR1 (which does not).
//
//   latency_fs [--delay-us N] [--threads N] [--cache-s S] [--negative-cache-s S]
//              [--counts FILE] [--xattr] [--no-readdirplus] [--read-only] [--debug] BACKING MOUNTPOINT
//
// It stays in the foreground; the benchmark runs it and unmounts it.

#include "channel.h"
#include "filesystem.h"

#include <signal.h>
#include <sys/mount.h>
#include <sys/prctl.h>
#include <sys/resource.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

namespace {

using latency_fs::FileSystem;
using latency_fs::Settings;

struct Options {
    Settings settings;
    std::string counts;  // empty: standard output
    bool debug = false;
    bool readOnly = false;
    const char* backing = nullptr;
    const char* mountpoint = nullptr;
};

[[noreturn]] void Usage(const char* why) {
    fprintf(stderr,
            "latency_fs: %s\n"
            "usage: latency_fs [--delay-us N] [--threads N] [--cache-s S] [--negative-cache-s S]\n"
            "                  [--counts FILE] [--xattr] [--no-readdirplus] [--read-only] [--debug]\n"
            "                  BACKING MOUNTPOINT\n",
            why);
    exit(2);
}

double Number(const char* text, double low, double high, const char* option) {
    char* end = nullptr;
    errno = 0;
    double value = strtod(text, &end);
    if (errno || end == text || *end || !(value >= low && value <= high))
        Usage((std::string("bad value for ") + option + ": " + text).c_str());
    return value;
}

Options Parse(int argc, char** argv) {
    Options o;
    std::vector<const char*> places;
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        auto value = [&]() -> const char* {
            if (i + 1 >= argc)
                Usage((arg + " needs a value").c_str());
            return argv[++i];
        };
        if (arg == "--delay-us")
            o.settings.delay = std::chrono::microseconds(static_cast<long long>(Number(value(), 0, 10e6, "--delay-us")));
        else if (arg == "--threads")
            o.settings.threads = static_cast<unsigned>(Number(value(), 1, 1024, "--threads"));
        else if (arg == "--cache-s")
            o.settings.cacheSeconds = Number(value(), 0, 86400, "--cache-s");
        else if (arg == "--negative-cache-s")
            o.settings.negativeCacheSeconds = Number(value(), 0, 86400, "--negative-cache-s");
        else if (arg == "--counts")
            o.counts = value();
        else if (arg == "--read-only")
            o.readOnly = true;
        else if (arg == "--no-readdirplus")
            o.settings.readdirplus = false;
        else if (arg == "--xattr")
            o.settings.xattr = true;
        else if (arg == "--debug")
            o.debug = true;
        else if (arg.size() > 1 && arg[0] == '-')
            Usage(("unknown option " + arg).c_str());
        else
            places.push_back(argv[i]);
    }
    if (places.size() != 2)
        Usage("give the backing folder and the mount point");
    o.backing = places[0];
    o.mountpoint = places[1];
    return o;
}

// TEXT as a JSON string: quotes, backslashes and control bytes escaped.
std::string JsonString(const char* text) {
    std::string out = "\"";
    for (const char* p = text; *p; ++p) {
        unsigned char c = static_cast<unsigned char>(*p);
        if (c == '"' || c == '\\') {
            out += '\\';
            out += *p;
        } else if (c < 0x20) {
            char esc[8];
            snprintf(esc, sizeof esc, "\\u%04x", c);
            out += esc;
        } else {
            out += *p;
        }
    }
    return out + "\"";
}

std::string SettingsJson(const FileSystem& fs, const Options& o) {
    char text[256];
    snprintf(text, sizeof text,
             "\"threads\": %u, \"cache_s\": %g, \"negative_cache_s\": %g, \"parallel_dirops\": %s, "
             "\"xattr\": %s, \"readdirplus\": %s, ",
             fs.settings.threads, fs.settings.cacheSeconds, fs.settings.negativeCacheSeconds,
             latency_fs::ParallelDiropsGranted() ? "true" : "false", fs.settings.xattr ? "true" : "false",
             fs.settings.readdirplus ? "true" : "false");
    return text + std::string("\"backing\": ") + JsonString(o.backing);
}

// Written to a temporary name first, so that a reader never sees half.
void WriteCounts(const FileSystem& fs, const Options& o) {
    std::string json = fs.log.Json(SettingsJson(fs, o));
    if (o.counts.empty()) {
        fputs(json.c_str(), stdout);
        fflush(stdout);
        return;
    }
    std::string part = o.counts + ".part";
    FILE* f = fopen(part.c_str(), "w");
    bool ok = f && fputs(json.c_str(), f) >= 0;
    ok = f && fclose(f) == 0 && ok;
    if (!ok || rename(part.c_str(), o.counts.c_str()) != 0)
        fprintf(stderr, "latency_fs: cannot write %s: %s\n", o.counts.c_str(), strerror(errno));
}

// SIGUSR1 is blocked in every thread and taken here, where writing a file
// is safe.
void DumpOnSignal(const FileSystem* fs, const Options* o) {
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGUSR1);
    int sig;
    while (sigwait(&set, &sig) == 0)
        WriteCounts(*fs, *o);
}

// Each file and listing open on the share holds a descriptor here, as many
// as the clients have open at once: allow what the system allows.
void RaiseDescriptorLimit() {
    rlimit limit;
    if (getrlimit(RLIMIT_NOFILE, &limit) != 0)
        return;
    rlim_t most = limit.rlim_max;
    if (FILE* f = fopen("/proc/sys/fs/nr_open", "r")) {
        unsigned long long n;
        if (fscanf(f, "%llu", &n) == 1)
            most = static_cast<rlim_t>(n);
        fclose(f);
    }
    rlimit raised = {most, most};
    if (setrlimit(RLIMIT_NOFILE, &raised) != 0) {  // not root: what the hard limit allows
        raised = {limit.rlim_max, limit.rlim_max};
        setrlimit(RLIMIT_NOFILE, &raised);
    }
}

}  // namespace

int main(int argc, char** argv) {
    Options o = Parse(argc, argv);
    RaiseDescriptorLimit();
    // Sleeps of a fraction of a millisecond: without this the kernel may
    // let each one run 50 us long. Threads made later inherit it.
    prctl(PR_SET_TIMERSLACK, 1UL, 0UL, 0UL, 0UL);
    sigset_t usr1;
    sigemptyset(&usr1);
    sigaddset(&usr1, SIGUSR1);
    pthread_sigmask(SIG_BLOCK, &usr1, nullptr);

    static FileSystem fs(o.settings);
    if (!fs.inodes.OpenRoot(o.backing)) {
        fprintf(stderr, "latency_fs: %s: %s\n", o.backing, strerror(errno));
        return 1;
    }
    std::vector<const char*> args = {argv[0]};
    if (o.debug)
        args.push_back("-d");
    fuse_args fuseArgs = FUSE_ARGS_INIT(static_cast<int>(args.size()), const_cast<char**>(args.data()));
    const fuse_lowlevel_ops ops = latency_fs::Operations(fs.settings);
    fuse_session* se = fuse_session_new(&fuseArgs, &ops, sizeof ops, &fs);
    if (!se)
        return 1;
    int status = 1;
    if (fuse_set_signal_handlers(se) == 0) {
        if (latency_fs::MountChannel(se, o.mountpoint, o.readOnly)) {
            std::thread(DumpOnSignal, &fs, &o).detach();
            fuse_loop_config* loop = fuse_loop_cfg_create();
            fuse_loop_cfg_set_max_threads(loop, fs.settings.threads);
            // Keep every thread once made, so that a burst does not pay
            // for thread creation again.
            fuse_loop_cfg_set_idle_threads(loop, fs.settings.threads);
            status = fuse_session_loop_mt(se, loop) < 0 ? 1 : 0;
            fuse_loop_cfg_destroy(loop);
            // Ended by a signal rather than by an unmount: unmount now. A
            // process still inside keeps it busy, so detach it.
            if (umount2(o.mountpoint, MNT_DETACH) != 0 && errno != EINVAL)
                fprintf(stderr, "latency_fs: unmount %s: %s\n", o.mountpoint, strerror(errno));
        } else {
            fprintf(stderr, "latency_fs: mount %s: %s\n", o.mountpoint, strerror(errno));
        }
        fuse_remove_signal_handlers(se);
    }
    fuse_session_destroy(se);
    WriteCounts(fs, o);
    return status;
}
