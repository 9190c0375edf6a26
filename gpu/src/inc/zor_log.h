// Log lines of the GPU runtime. Every line goes to the platform log at error
// priority under the tag "VEZ_IVEVEDO" and, identically, to standard output.
// Each line begins "\n<tag> <function>  <line>:".
#pragma once

#define ZOR_LOG_TAG "VEZ_IVEVEDO"

namespace ZOR {

// Writes one formatted line to the platform log and to standard output.
void log_line(const char* fmt, ...) __attribute__((format(printf, 1, 2)));
// Writes one formatted line to standard output only.
void log_stdout(const char* fmt, ...) __attribute__((format(printf, 1, 2)));

}  // namespace ZOR

#define ZOR_LOG(fmt, ...) \
    ::ZOR::log_line("\n%s %s  %d:" fmt, ZOR_LOG_TAG, __func__, __LINE__, ##__VA_ARGS__)
// The same line reported under a given function name and line number.
#define ZOR_LOG_AT(func, line, fmt, ...) \
    ::ZOR::log_line("\n%s %s  %d:" fmt, ZOR_LOG_TAG, (func), (line), ##__VA_ARGS__)
