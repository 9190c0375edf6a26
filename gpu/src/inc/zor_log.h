// Log lines of the GPU runtime. Every line goes to the platform log at error
// priority under the tag "VEZ_IVEVEDO" and, identically, to standard output.
// Each line begins "\n<tag> <function>  <line>:".
//
// Two levels, chosen by the environment variable MIRA_LOG: "error" (the
// default) emits failure lines only, "trace" adds the progress lines (kernel
// cache misses, progress markers, handle releases, cost times, the device
// chosen at bring-up), "off" emits nothing.
#pragma once

#define ZOR_LOG_TAG "VEZ_IVEVEDO"

namespace ZOR {

enum LogLevel { kLogOff = 0, kLogError = 1, kLogTrace = 2 };

// The level MIRA_LOG asks for (read on every call: cheap next to a log line).
int log_level();

// Writes one formatted failure line to the platform log and to standard output.
void log_line(const char* fmt, ...) __attribute__((format(printf, 1, 2)));
// The same for a progress line: written only at trace level.
void log_trace(const char* fmt, ...) __attribute__((format(printf, 1, 2)));
// Writes one formatted progress line to standard output only (trace level).
void log_stdout(const char* fmt, ...) __attribute__((format(printf, 1, 2)));

}  // namespace ZOR

#define ZOR_LOG(fmt, ...) \
    ::ZOR::log_line("\n%s %s  %d:" fmt, ZOR_LOG_TAG, __func__, __LINE__, ##__VA_ARGS__)
#define ZOR_TRACE(fmt, ...) \
    ::ZOR::log_trace("\n%s %s  %d:" fmt, ZOR_LOG_TAG, __func__, __LINE__, ##__VA_ARGS__)
// The same line reported under a given function name and line number.
#define ZOR_LOG_AT(func, line, fmt, ...) \
    ::ZOR::log_line("\n%s %s  %d:" fmt, ZOR_LOG_TAG, (func), (line), ##__VA_ARGS__)
#define ZOR_TRACE_AT(func, line, fmt, ...) \
    ::ZOR::log_trace("\n%s %s  %d:" fmt, ZOR_LOG_TAG, (func), (line), ##__VA_ARGS__)
