// The log layer: the Android log on Android; elsewhere a small stand-in that
// keeps the most recent lines in memory (the test programs read them back).
#include "zor_log.h"

#include <cstdarg>
#include <cstdio>
#include <mutex>

#if defined(__ANDROID__)
#include <android/log.h>
#endif

#include "zor_test_hooks.h"

namespace ZOR {
namespace {

#if !defined(__ANDROID__)
constexpr int kKeptLines = 128;
constexpr size_t kLineBytes = 1024;
std::mutex g_log_mutex;
char g_lines[kKeptLines][kLineBytes];
int g_first = 0;  // oldest kept line
int g_count = 0;

void platform_log(const char* text) {
    std::lock_guard<std::mutex> lock(g_log_mutex);
    const int slot = (g_first + g_count) % kKeptLines;
    std::snprintf(g_lines[slot], kLineBytes, "%s", text);
    if (g_count < kKeptLines)
        ++g_count;
    else
        g_first = (g_first + 1) % kKeptLines;
}
#else
void platform_log(const char* text) {
    __android_log_print(ANDROID_LOG_ERROR, ZOR_LOG_TAG, "%s", text);
}
#endif

}  // namespace

void log_line(const char* fmt, ...) {
    char text[2048];
    va_list ap;
    va_start(ap, fmt);
    std::vsnprintf(text, sizeof text, fmt, ap);
    va_end(ap);
    platform_log(text);
    std::fputs(text, stdout);
}

void log_stdout(const char* fmt, ...) {
    va_list ap;
    va_start(ap, fmt);
    std::vprintf(fmt, ap);
    va_end(ap);
}

}  // namespace ZOR

int zor_test_log_take(char* out, int outBytes) {
#if !defined(__ANDROID__)
    std::lock_guard<std::mutex> lock(ZOR::g_log_mutex);
    if (ZOR::g_count == 0) return 0;
    if (out && outBytes > 0) std::snprintf(out, static_cast<size_t>(outBytes), "%s", ZOR::g_lines[ZOR::g_first]);
    ZOR::g_first = (ZOR::g_first + 1) % ZOR::kKeptLines;
    --ZOR::g_count;
    return 1;
#else
    (void)out, (void)outBytes;
    return 0;
#endif
}
