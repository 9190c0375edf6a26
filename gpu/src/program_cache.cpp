// Built OpenCL programs kept on disk, so a kernel is compiled once per device,
// driver, build options and source rather than once per process.
//
// Location: $MIRA_PROGRAM_CACHE ("off" disables the cache), else
// $XDG_CACHE_HOME/mira, else ~/.cache/mira. One file per program, named by a
// hash of its key; the file repeats the whole key and a hash of the binary,
// and an entry whose key or hash does not match, or that the driver refuses,
// is rebuilt from source and replaced — never trusted.
#include "program_cache.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "zor_log.h"

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

std::string cache_dir() {
    const char* env = std::getenv("MIRA_PROGRAM_CACHE");
    if (env && *env) return std::strcmp(env, "off") == 0 ? std::string() : std::string(env);
    const char* xdg = std::getenv("XDG_CACHE_HOME");
    if (xdg && *xdg) return std::string(xdg) + "/mira";
    const char* home = std::getenv("HOME");
    if (home && *home) return std::string(home) + "/.cache/mira";
    return std::string();
}

// mkdir -p; false when the directory cannot be made.
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

}  // namespace

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
    if (!make_dirs(dir)) return;
    const std::string key = entry_key(res, source, options);
    const std::string path = entry_path(dir, key);
    const std::string head = std::string(kMagic) + key + hex(fnv1a(bin.data(), size)) + "\n" +
                             hex(size) + "\n";
    // Written aside and renamed: a reader never sees half an entry.
    const std::string tmp = path + ".tmp" + std::to_string(getpid());
    FILE* f = std::fopen(tmp.c_str(), "wb");
    if (!f) return;
    const bool ok = std::fwrite(head.data(), 1, head.size(), f) == head.size() &&
                    std::fwrite(bin.data(), 1, size, f) == size;
    if (std::fclose(f) != 0 || !ok || std::rename(tmp.c_str(), path.c_str()) != 0)
        std::remove(tmp.c_str());
}

}  // namespace ZOR
