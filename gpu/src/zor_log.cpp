// The log layer: the Android log on Android; elsewhere a small stand-in that
// keeps the most recent lines in memory (the test programs read them back).
#include "zor_log.h"

#include <cstdarg>
#include <cstdio>
#include <deque>
#include <mutex>
#include <string>
#include <vector>

#if defined(__ANDROID__)
#include <android/log.h>
#endif

#include "zor_test_hooks.h"

namespace ZOR {
namespace {

#if !defined(__ANDROID__)
constexpr size_t kKeptLines = 256;
std::mutex g_log_mutex;
std::deque<std::string>& kept() {
    static std::deque<std::string>* lines = new std::deque<std::string>();  // lives to exit
    return *lines;
}

void platform_log(const char* text) {
    std::lock_guard<std::mutex> lock(g_log_mutex);
    std::deque<std::string>& lines = kept();
    lines.emplace_back(text);
    if (lines.size() > kKeptLines) lines.pop_front();
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

std::vector<std::string> zor_test_take_log() {
#if !defined(__ANDROID__)
    std::lock_guard<std::mutex> lock(ZOR::g_log_mutex);
    std::vector<std::string> out(ZOR::kept().begin(), ZOR::kept().end());
    ZOR::kept().clear();
    return out;
#else
    return {};
#endif
}
