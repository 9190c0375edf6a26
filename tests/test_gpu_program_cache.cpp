// Built programs cached on disk: the first build of a kernel files its
// binary, later processes (here: a new bring-up after ncvDeinit) load it
// instead of compiling, and an entry that is damaged or belongs to another
// key is rebuilt from source and replaced, never used.
#include <gtest/gtest.h>
#include <dirent.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "common/cl_spy.h"
#include "common/guarded_image.h"
#include "common/opencl_probe.h"
#include "mira/mira.h"
#include "mira/mira_features.h"

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
        for (const std::string& f : entries(dir)) std::remove(f.c_str());
        rmdir(dir.c_str());
        if (saved.empty())
            unsetenv("MIRA_PROGRAM_CACHE");
        else
            setenv("MIRA_PROGRAM_CACHE", saved.c_str(), 1);
        EXPECT_TRUE(ClSpy::nothingAlive()) << ClSpy::live();
    }
    std::string dir, saved;
};

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

}  // namespace
