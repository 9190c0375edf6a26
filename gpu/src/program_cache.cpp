// Built OpenCL programs kept on disk, so a kernel is compiled once per device,
// driver, build options and source rather than once per process.
//
// Location: the first of these that can be created and written: the
// directory the app set (mira_set_program_cache_dir), $MIRA_PROGRAM_CACHE
// ("off" disables the cache), $XDG_CACHE_HOME/mira, ~/.cache/mira, and
// $TMPDIR/mira-program-cache (or /tmp/..., /data/local/tmp/... on Android:
// an app has no $HOME). When none can be written, one error line says so.
// One file per program, named by a hash of its key; the file repeats the
// whole key and a hash of the binary, and an entry whose key or hash does not
// match, or that the driver refuses, is rebuilt from source and replaced —
// never trusted. Filing an entry also evicts the entries of this device made
// by other driver versions and removes temporary files that crashed writers
// left behind.
#include "gpu/src/inc/program_cache.h"

#include <dirent.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <ctime>
#include <mutex>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "gpu/src/inc/zor_log.h"

namespace ZOR {

namespace {

constexpr char kMagic[] = "mira-opencl-program-1\n";

uint64_t fnv1a(const void* data, size_t n, uint64_t h = 1469598103934665603ull) {
    const auto* p = static_cast<const unsigned char*>(data);
    for (size_t i = 0; i < n; ++i) {
        h ^= p[i];
        h *= 1099511628211ull;
    }
    return h;
}

std::string hex(uint64_t v) {
    char buf[17];
    std::snprintf(buf, sizeof buf, "%016llx", static_cast<unsigned long long>(v));
    return buf;
}

std::string device_text(cl_device_id d, cl_device_info what) {
    char buf[512] = {0};
    if (g_cl.clGetDeviceInfo(d, what, sizeof buf - 1, buf, nullptr) != CL_SUCCESS) return "";
    return buf;
}

// The directory the app set: unset (the environment decides), "" (off), or a path.
std::mutex g_dir_mutex;
bool g_app_dir_set = false;
std::string g_app_dir;
// Whether "no cache can be written" was reported (once until the app sets
// another directory).
std::atomic<bool> g_unwritable_reported{false};
std::atomic<unsigned> g_tmp_counter{0};

// mkdir -p; false when the directory cannot be made.
bool make_dirs(const std::string& dir);

bool writable_dir(const std::string& dir) {
    return !dir.empty() && make_dirs(dir) && access(dir.c_str(), W_OK | X_OK) == 0;
}

// The candidate directories in order; empty when the cache is off.
std::vector<std::string> cache_candidates() {
    std::vector<std::string> out;
    {
        std::lock_guard<std::mutex> lock(g_dir_mutex);
        if (g_app_dir_set) {
            if (g_app_dir.empty()) return out;
            out.push_back(g_app_dir);
        }
    }
    const char* env = std::getenv("MIRA_PROGRAM_CACHE");
    if (env && *env) {
        if (std::strcmp(env, "off") == 0) return {};
        out.push_back(env);
    }
    const char* xdg = std::getenv("XDG_CACHE_HOME");
    if (xdg && *xdg) out.push_back(std::string(xdg) + "/mira");
    const char* home = std::getenv("HOME");
    if (home && *home) out.push_back(std::string(home) + "/.cache/mira");
    const char* tmp = std::getenv("TMPDIR");
#if defined(__ANDROID__)
    const char* tmpDefault = "/data/local/tmp";
#else
    const char* tmpDefault = "/tmp";
#endif
    out.push_back(std::string(tmp && *tmp ? tmp : tmpDefault) + "/mira-program-cache");
    return out;
}

void report_unwritable(const std::string& what) {
    if (g_unwritable_reported.exchange(true)) return;
    ZOR_LOG("no OpenCL program cache can be written (%s): kernels are compiled in every process; "
            "set a writable directory with mira_set_program_cache_dir or MIRA_PROGRAM_CACHE",
            what.c_str());
}

// The directory to use: the first candidate that can be created and
// written ("" when the cache is off). When none can be, the one error line
// is written.
std::string cache_dir() {
    const std::vector<std::string> candidates = cache_candidates();
    if (candidates.empty()) return std::string();
    for (size_t i = 0; i < candidates.size(); ++i)
        if (writable_dir(candidates[i])) {
            if (i > 0) ZOR_TRACE("program cache: %s cannot be written, %s is used",
                                 candidates[0].c_str(), candidates[i].c_str());
            return candidates[i];
        }
    std::string tried;
    for (const std::string& d : candidates) tried += (tried.empty() ? "" : ", ") + d;
    report_unwritable("tried " + tried);
    return std::string();
}

bool make_dirs(const std::string& dir) {
    if (dir.empty()) return false;
    for (size_t i = 1; i <= dir.size(); ++i) {
        if (i < dir.size() && dir[i] != '/') continue;
        const std::string part = dir.substr(0, i);
        if (mkdir(part.c_str(), 0755) != 0 && errno != EEXIST) return false;
    }
    return true;
}

// Everything the binary depends on, one line each; the source by its hash.
std::string entry_key(const opencl_res& res, const char* source, const std::string& options) {
    return "device " + device_text(res.device, CL_DEVICE_NAME) + "\nversion " +
           device_text(res.device, CL_DEVICE_VERSION) + "\ndriver " +
           device_text(res.device, CL_DRIVER_VERSION) + "\noptions " + options + "\nsource " +
           hex(fnv1a(source, std::strlen(source))) + "\n";
}

std::string entry_path(const std::string& dir, const std::string& key) {
    return dir + "/" + hex(fnv1a(key.data(), key.size())) + ".clbin";
}

bool read_file(const std::string& path, std::vector<unsigned char>* out) {
    FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) return false;
    out->clear();
    unsigned char buf[65536];
    size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) out->insert(out->end(), buf, buf + n);
    std::fclose(f);
    return true;
}

// The value of the key line "<name> ..." in a header, or "" when absent.
std::string key_line(const std::string& head, const char* name) {
    const std::string tag = std::string("\n") + name + " ";
    const size_t at = head.find(tag);
    if (at == std::string::npos) return std::string();
    const size_t from = at + tag.size();
    const size_t end = head.find('\n', from);
    return head.substr(from, end == std::string::npos ? std::string::npos : end - from);
}

// Whether the temporary file `name` (<entry>.clbin.tmp<pid>.<n>) belongs to a
// writer that is gone: its process no longer exists, or it is over an hour old.
bool stale_temporary(const std::string& path, const std::string& name) {
    const size_t at = name.find(".clbin.tmp");
    if (at == std::string::npos) return false;
    const long pid = std::strtol(name.c_str() + at + 10, nullptr, 10);
    struct stat st;
    if (stat(path.c_str(), &st) != 0) return false;
    if (std::time(nullptr) - st.st_mtime > 3600) return true;
    return pid > 0 && kill(static_cast<pid_t>(pid), 0) != 0 && errno == ESRCH;
}

// Removes, from `dir`, the entries of this device (name) that another driver
// or device version made, and stale temporary files.
void sweep(const std::string& dir, const opencl_res& res) {
    DIR* d = opendir(dir.c_str());
    if (!d) return;
    const std::string device = device_text(res.device, CL_DEVICE_NAME);
    const std::string version = device_text(res.device, CL_DEVICE_VERSION);
    const std::string driver = device_text(res.device, CL_DRIVER_VERSION);
    std::vector<std::string> gone;
    while (dirent* e = readdir(d)) {
        const std::string name = e->d_name;
        const std::string path = dir + "/" + name;
        if (name.find(".clbin.tmp") != std::string::npos) {
            if (stale_temporary(path, name)) gone.push_back(path);
            continue;
        }
        if (name.size() <= 6 || name.compare(name.size() - 6, 6, ".clbin") != 0) continue;
        char buf[2048];
        FILE* f = std::fopen(path.c_str(), "rb");
        if (!f) continue;
        const size_t n = std::fread(buf, 1, sizeof buf, f);
        std::fclose(f);
        const std::string head(buf, n);
        if (head.compare(0, sizeof kMagic - 1, kMagic) != 0) continue;
        const std::string head2 = "\n" + head.substr(sizeof kMagic - 1);
        if (key_line(head2, "device") != device) continue;  // another device's: kept
        if (key_line(head2, "driver") != driver || key_line(head2, "version") != version)
            gone.push_back(path);
    }
    closedir(d);
    for (const std::string& path : gone) {
        if (std::remove(path.c_str()) == 0) ZOR_TRACE("program cache: removed %s", path.c_str());
    }
}

}  // namespace

void program_cache_set_dir(const char* dir) {
    std::lock_guard<std::mutex> lock(g_dir_mutex);
    g_app_dir_set = dir != nullptr;
    g_app_dir = dir ? dir : "";
    g_unwritable_reported.store(false);
}

cl_program program_cache_load(const opencl_res& res, const char* source,
                              const std::string& options) {
    if (!source || !*source || !g_cl.clCreateProgramWithBinary) return nullptr;
    const std::string dir = cache_dir();
    if (dir.empty()) return nullptr;
    const std::string key = entry_key(res, source, options);
    const std::string path = entry_path(dir, key);
    std::vector<unsigned char> file;
    if (!read_file(path, &file)) return nullptr;
    // Header: magic, key, binary hash and size; then the binary.
    const std::string head = std::string(kMagic) + key;
    const size_t fixed = head.size() + 16 + 1 + 16 + 1;
    if (file.size() <= fixed || std::memcmp(file.data(), head.data(), head.size()) != 0) {
        ZOR_TRACE("program cache entry %s is foreign or damaged: rebuilt", path.c_str());
        return nullptr;
    }
    const std::string sums(reinterpret_cast<const char*>(file.data() + head.size()), 34);
    const unsigned char* bin = file.data() + fixed;
    const size_t binSize = file.size() - fixed;
    if (sums != hex(fnv1a(bin, binSize)) + "\n" + hex(binSize) + "\n") {
        ZOR_TRACE("program cache entry %s is damaged: rebuilt", path.c_str());
        return nullptr;
    }
    cl_int binStatus = CL_SUCCESS, st = CL_SUCCESS;
    cl_program program = g_cl.clCreateProgramWithBinary(res.context, 1, &res.device, &binSize,
                                                        &bin, &binStatus, &st);
    if (st != CL_SUCCESS || binStatus != CL_SUCCESS || !program) {
        if (program) g_cl.clReleaseProgram(program);
        ZOR_TRACE("program cache entry %s refused by the driver: rebuilt", path.c_str());
        return nullptr;
    }
    if (g_cl.clBuildProgram(program, 1, &res.device, options.c_str(), nullptr, nullptr) !=
        CL_SUCCESS) {
        g_cl.clReleaseProgram(program);
        ZOR_TRACE("program cache entry %s does not build: rebuilt", path.c_str());
        return nullptr;
    }
    ZOR_TRACE("program loaded from the cache: %s", path.c_str());
    return program;
}

void program_cache_store(const opencl_res& res, cl_program program, const char* source,
                         const std::string& options) {
    if (!program || !source || !*source || !g_cl.clGetProgramInfo) return;
    // The directory first: with the cache off, or none writable, the binary
    // is not fetched (a driver may read and copy megabytes for it).
    const std::string dir = cache_dir();
    if (dir.empty()) return;
    size_t size = 0;
    if (g_cl.clGetProgramInfo(program, CL_PROGRAM_BINARY_SIZES, sizeof size, &size, nullptr) !=
            CL_SUCCESS ||
        size == 0)
        return;
    std::vector<unsigned char> bin(size);
    unsigned char* ptr = bin.data();
    if (g_cl.clGetProgramInfo(program, CL_PROGRAM_BINARIES, sizeof ptr, &ptr, nullptr) !=
        CL_SUCCESS)
        return;
    sweep(dir, res);
    const std::string key = entry_key(res, source, options);
    const std::string path = entry_path(dir, key);
    const std::string head = std::string(kMagic) + key + hex(fnv1a(bin.data(), size)) + "\n" +
                             hex(size) + "\n";
    // Written aside and renamed: a reader never sees half an entry.
    const std::string tmp = path + ".tmp" + std::to_string(getpid()) + "." +
                            std::to_string(g_tmp_counter.fetch_add(1));
    FILE* f = std::fopen(tmp.c_str(), "wb");
    if (!f) {
        report_unwritable(tmp + ": " + std::strerror(errno));
        return;
    }
    const bool ok = std::fwrite(head.data(), 1, head.size(), f) == head.size() &&
                    std::fwrite(bin.data(), 1, size, f) == size;
    if (std::fclose(f) != 0 || !ok || std::rename(tmp.c_str(), path.c_str()) != 0) {
        std::remove(tmp.c_str());
        report_unwritable(path + ": the entry could not be written");
    }
}

}  // namespace ZOR
