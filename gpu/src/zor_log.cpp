// The log layer: the Android log on Android; elsewhere a small stand-in that
// keeps the most recent lines in memory (the test programs read them back).
#include "gpu/src/inc/zor_log.h"

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>

#if defined(__ANDROID__)
#include <android/log.h>
#endif

#include "gpu/src/inc/zor_test_hooks.h"

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
    // Kept lines are cut at kLineBytes - 1 bytes.
    const size_t n = strnlen(text, kLineBytes - 1);
    std::memcpy(g_lines[slot], text, n);
    g_lines[slot][n] = '\0';
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

int log_level() {
    const char* v = std::getenv("MIRA_LOG");
    if (!v || !*v) return kLogError;
    if (std::strcmp(v, "off") == 0 || std::strcmp(v, "0") == 0) return kLogOff;
    if (std::strcmp(v, "trace") == 0) return kLogTrace;
    return kLogError;
}

namespace {

void emit(const char* fmt, va_list ap) {
    char text[2048];
    std::vsnprintf(text, sizeof text, fmt, ap);
    platform_log(text);
    // Standard output gets whole lines: a line that does not end in a
    // newline is finished here, so the next output starts on its own line.
    const size_t n = std::strlen(text);
    std::fputs(text, stdout);
    if (n == 0 || text[n - 1] != '\n') std::fputc('\n', stdout);
    std::fflush(stdout);
}

}  // namespace

void log_line(const char* fmt, ...) {
    if (log_level() < kLogError) return;
    va_list ap;
    va_start(ap, fmt);
    emit(fmt, ap);
    va_end(ap);
}

void log_trace(const char* fmt, ...) {
    if (log_level() < kLogTrace) return;
    va_list ap;
    va_start(ap, fmt);
    emit(fmt, ap);
    va_end(ap);
}

void log_stdout(const char* fmt, ...) {
    if (log_level() < kLogTrace) return;
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
