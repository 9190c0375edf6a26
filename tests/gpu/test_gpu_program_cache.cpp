// Built programs cached on disk: the first build of a kernel files its
// binary, later processes (here: a new bring-up after ncvDeinit) load it
// instead of compiling, and an entry that is damaged or belongs to another
// key is rebuilt from source and replaced, never used. The directory: the
// app's choice, the environment's, or a writable fallback, with one error
// line when none can be written; other driver versions' entries and stale
// temporary files are removed.
#include <gtest/gtest.h>
#include <dirent.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <map>
#include <cstdlib>
#include <string>
#include <vector>

#include "common/cl_spy.h"
#include "common/guarded_image.h"
#include "common/opencl_probe.h"
#include "mira/mira.h"
#include "mira/mira_features.h"
#include "mira/mira_image.h"
#include "gpu/src/inc/zor_test_hooks.h"

using mira_test::ClSpy;
using mira_test::GuardedImage;

namespace {

std::vector<std::string> entries(const std::string& dir) {
    std::vector<std::string> out;
    if (DIR* d = opendir(dir.c_str())) {
        while (dirent* e = readdir(d)) {
            const std::string n = e->d_name;
            if (n.size() > 6 && n.compare(n.size() - 6, 6, ".clbin") == 0) out.push_back(dir + "/" + n);
        }
        closedir(d);
    }
    return out;
}

// One GPU transpose after a fresh bring-up; exact.
void fresh_transpose(uint32_t seed) {
    ncvDeinit();
    ASSERT_EQ(ncvInit(), 0);
    GuardedImage src(29, 13, 31), dst(13, 29, 15);
    src.fillRandom(seed);
    MIRA_Feature_Buf s{29, src.stride(), 13, 13, src.data()};
    MIRA_Feature_Buf d{13, dst.stride(), 29, 29, dst.data()};
    MIRA_Feature_Param p{MIRA_API_TRANSPOSE_U8, MIRA_MODE_OPENCL, 1, nullptr, 0};
    const long before = ClSpy::launches;
    ASSERT_EQ(MIRA_Manager().run(&s, 1, &d, 1, &p), MIRA_OK);
    EXPECT_GT(ClSpy::launches.load(), before);
    for (uint32_t r = 0; r < 29; ++r)
        for (uint32_t c = 0; c < 13; ++c) ASSERT_EQ(dst.row(r)[c], src.row(c)[r]);
}

class ProgramCache : public ::testing::Test {
protected:
    void SetUp() override {
        MIRA_INIT_DEVICE_OR_SKIP();
        const char* old = std::getenv("MIRA_PROGRAM_CACHE");
        saved = old ? old : "";
        char tmpl[] = "/tmp/mira-program-cache-XXXXXX";
        ASSERT_NE(mkdtemp(tmpl), nullptr);
        dir = tmpl;
        setenv("MIRA_PROGRAM_CACHE", dir.c_str(), 1);
        ncvDeinit();
        ASSERT_TRUE(ClSpy::install());
        ClSpy::resetCounts();
    }
    void TearDown() override {
        ncvDeinit();
        mira_set_program_cache_dir(nullptr);
        for (auto& kv : savedEnv) {
            if (kv.second.first)
                setenv(kv.first.c_str(), kv.second.second.c_str(), 1);
            else
                unsetenv(kv.first.c_str());
        }
        for (const std::string& d : extraDirs) remove_tree(d);
        for (const std::string& f : entries(dir)) std::remove(f.c_str());
        rmdir(dir.c_str());
        if (saved.empty())
            unsetenv("MIRA_PROGRAM_CACHE");
        else
            setenv("MIRA_PROGRAM_CACHE", saved.c_str(), 1);
        EXPECT_TRUE(ClSpy::nothingAlive()) << ClSpy::live();
    }
    std::string dir, saved;
    std::map<std::string, std::pair<bool, std::string>> savedEnv;
    std::vector<std::string> extraDirs;

    // Sets (or, for null, unsets) a variable until the end of the test.
    void env(const char* name, const char* value) {
        if (!savedEnv.count(name)) {
            const char* old = std::getenv(name);
            savedEnv[name] = {old != nullptr, old ? old : ""};
        }
        if (value)
            setenv(name, value, 1);
        else
            unsetenv(name);
    }
    std::string tempDir() {
        char tmpl[] = "/tmp/mira-cache-test-XXXXXX";
        EXPECT_NE(mkdtemp(tmpl), nullptr);
        extraDirs.push_back(tmpl);
        return tmpl;
    }
    static void remove_tree(const std::string& d) {
        if (DIR* h = opendir(d.c_str())) {
            while (dirent* e = readdir(h)) {
                const std::string n = e->d_name;
                if (n == "." || n == "..") continue;
                const std::string path = d + "/" + n;
                struct stat st;
                if (lstat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode))
                    remove_tree(path);
                else
                    std::remove(path.c_str());
            }
            closedir(h);
        }
        rmdir(d.c_str());
    }
};

size_t lines_with(const std::vector<std::string>& log, const char* text) {
    size_t n = 0;
    for (const std::string& l : log) n += l.find(text) != std::string::npos;
    return n;
}

bool exists(const std::string& path) {
    struct stat st;
    return stat(path.c_str(), &st) == 0;
}

std::string read_all(const std::string& path) {
    std::string out;
    if (FILE* f = std::fopen(path.c_str(), "rb")) {
        char buf[4096];
        size_t n;
        while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) out.append(buf, n);
        std::fclose(f);
    }
    return out;
}

void write_all(const std::string& path, const std::string& bytes) {
    FILE* f = std::fopen(path.c_str(), "wb");
    ASSERT_NE(f, nullptr) << path;
    std::fwrite(bytes.data(), 1, bytes.size(), f);
    std::fclose(f);
}

// `entry` with the value of its key line `name` replaced.
std::string with_key(const std::string& entry, const std::string& name, const std::string& value) {
    const std::string tag = "\n" + name + " ";
    const size_t at = entry.find(tag);
    if (at == std::string::npos) return entry;
    const size_t from = at + tag.size();
    const size_t end = entry.find('\n', from);
    return entry.substr(0, from) + value + entry.substr(end);
}

// A process id that no process has now (a child that has exited and been reaped).
pid_t dead_pid() {
    const pid_t child = fork();
    if (child == 0) _exit(0);
    int status = 0;
    waitpid(child, &status, 0);
    return child;
}

TEST_F(ProgramCache, TheSecondBringUpLoadsTheBinary) {
    fresh_transpose(1);
    EXPECT_EQ(ClSpy::binaryPrograms.load(), 0);
    ASSERT_EQ(entries(dir).size(), 1u);
    fresh_transpose(2);
    EXPECT_EQ(ClSpy::binaryPrograms.load(), 1) << "the cached binary was not used";
    EXPECT_EQ(entries(dir).size(), 1u);
}

TEST_F(ProgramCache, DamagedAndForeignEntriesAreRebuilt) {
    fresh_transpose(3);
    ASSERT_EQ(entries(dir).size(), 1u);
    const std::string path = entries(dir)[0];
    // Damage the binary: its hash no longer matches.
    {
        FILE* f = std::fopen(path.c_str(), "r+b");
        ASSERT_NE(f, nullptr);
        std::fseek(f, -8, SEEK_END);
        std::fputs("garbage!", f);
        std::fclose(f);
    }
    fresh_transpose(4);
    EXPECT_EQ(ClSpy::binaryPrograms.load(), 0) << "a damaged entry was handed to the driver";
    // It was replaced by a good one, which the next bring-up uses.
    fresh_transpose(5);
    EXPECT_EQ(ClSpy::binaryPrograms.load(), 1);
    // An entry of another key under this name (another driver, say).
    {
        FILE* f = std::fopen(path.c_str(), "wb");
        ASSERT_NE(f, nullptr);
        std::fputs("mira-opencl-program-1\ndevice other\nversion x\ndriver y\n", f);
        std::fclose(f);
    }
    fresh_transpose(6);
    EXPECT_EQ(ClSpy::binaryPrograms.load(), 1);
    fresh_transpose(7);
    EXPECT_EQ(ClSpy::binaryPrograms.load(), 2);
}

TEST_F(ProgramCache, OffWritesNothing) {
    setenv("MIRA_PROGRAM_CACHE", "off", 1);
    fresh_transpose(8);
    fresh_transpose(9);
    EXPECT_EQ(ClSpy::binaryPrograms.load(), 0);
    EXPECT_TRUE(entries(dir).empty());
}

TEST_F(ProgramCache, TheAppsDirectoryComesFirst) {
    const std::string app = tempDir() + "/nested/cache";  // made when missing
    ASSERT_EQ(mira_set_program_cache_dir(app.c_str()), MIRA_STATUS_OK);
    fresh_transpose(10);
    EXPECT_EQ(entries(app).size(), 1u);
    EXPECT_TRUE(entries(dir).empty()) << "the environment's directory was used";
    fresh_transpose(11);
    EXPECT_EQ(ClSpy::binaryPrograms.load(), 1) << "the app's directory was not read";
    // "" turns the cache off; null returns to the environment's choice.
    ASSERT_EQ(mira_set_program_cache_dir(""), MIRA_STATUS_OK);
    fresh_transpose(12);
    EXPECT_EQ(ClSpy::binaryPrograms.load(), 1);
    EXPECT_TRUE(entries(dir).empty());
    ASSERT_EQ(mira_set_program_cache_dir(nullptr), MIRA_STATUS_OK);
    fresh_transpose(13);
    EXPECT_EQ(entries(dir).size(), 1u);
    // A path too long for any file system is refused and changes nothing.
    const std::string longPath(5000, 'a');
    EXPECT_EQ(mira_set_program_cache_dir(longPath.c_str()), MIRA_STATUS_BAD_ARGUMENT);
    fresh_transpose(14);
    EXPECT_EQ(ClSpy::binaryPrograms.load(), 2);
}

TEST_F(ProgramCache, AnUnwritableDirectoryFallsBackToAWritableOne) {
    // No $HOME or $XDG_CACHE_HOME (an Android app), and the app's and the
    // environment's directories cannot be made: the temporary directory is used.
    const std::string tmp = tempDir();
    ASSERT_EQ(mira_set_program_cache_dir("/proc/mira-no-such-dir"), MIRA_STATUS_OK);
    env("MIRA_PROGRAM_CACHE", "/proc/mira-no-such-dir-either");
    env("XDG_CACHE_HOME", nullptr);
    env("HOME", nullptr);
    env("TMPDIR", tmp.c_str());
    zor_test_take_log();
    fresh_transpose(20);
    EXPECT_EQ(entries(tmp + "/mira-program-cache").size(), 1u);
    EXPECT_EQ(lines_with(zor_test_take_log(), "program cache"), 0u);
    fresh_transpose(21);
    EXPECT_EQ(ClSpy::binaryPrograms.load(), 1);
}

TEST_F(ProgramCache, NoWritableDirectoryIsReportedOnce) {
    ASSERT_EQ(mira_set_program_cache_dir("/proc/mira-no-such-dir"), MIRA_STATUS_OK);
    env("MIRA_PROGRAM_CACHE", nullptr);
    env("XDG_CACHE_HOME", "/proc/mira-x");
    env("HOME", "/proc/mira-h");
    env("TMPDIR", "/proc/mira-t");
    zor_test_take_log();
    fresh_transpose(22);  // the kernels still build and run: exact
    fresh_transpose(23);
    std::vector<std::string> log = zor_test_take_log();
    EXPECT_EQ(lines_with(log, "no OpenCL program cache can be written"), 1u) << log.size();
    EXPECT_EQ(ClSpy::binaryPrograms.load(), 0);
    // Setting a directory again re-arms the line.
    ASSERT_EQ(mira_set_program_cache_dir("/proc/mira-still-not"), MIRA_STATUS_OK);
    fresh_transpose(24);
    log = zor_test_take_log();
    EXPECT_EQ(lines_with(log, "no OpenCL program cache can be written"), 1u);
}

TEST_F(ProgramCache, OtherDriverVersionsAndStaleTemporaryFilesAreRemoved) {
    fresh_transpose(30);
    ASSERT_EQ(entries(dir).size(), 1u);
    const std::string real = entries(dir)[0];
    const std::string entry = read_all(real);
    ASSERT_NE(entry.find("\ndriver "), std::string::npos);
    // The same device under an older driver and an older device version;
    // another device's entry; the same device's current entry.
    const std::string oldDriver = dir + "/00000000000000a1.clbin";
    const std::string oldVersion = dir + "/00000000000000a2.clbin";
    const std::string otherDevice = dir + "/00000000000000a3.clbin";
    write_all(oldDriver, with_key(entry, "driver", "0.0-old"));
    write_all(oldVersion, with_key(entry, "version", "OpenCL 0.9 old"));
    write_all(otherDevice, with_key(with_key(entry, "device", "Another GPU"), "driver", "0.0-old"));
    // Temporary files: of a writer that is gone, and of one still writing
    // (this process).
    const std::string dead = real + ".tmp" + std::to_string(dead_pid()) + ".0";
    const std::string live = real + ".tmp" + std::to_string(getpid()) + ".99";
    write_all(dead, "half an entry");
    write_all(live, "half an entry");
    // A kernel that is not cached yet: filing it sweeps the directory.
    std::remove(real.c_str());
    fresh_transpose(31);
    EXPECT_TRUE(exists(real)) << "the rebuilt entry was not filed";
    EXPECT_FALSE(exists(oldDriver)) << "an entry of another driver version was kept";
    EXPECT_FALSE(exists(oldVersion)) << "an entry of another device version was kept";
    EXPECT_TRUE(exists(otherDevice)) << "another device's entry was removed";
    EXPECT_FALSE(exists(dead)) << "a crashed writer's temporary file was kept";
    EXPECT_TRUE(exists(live)) << "a live writer's temporary file was removed";
    std::remove(otherDevice.c_str());
    std::remove(live.c_str());
}

}  // namespace
