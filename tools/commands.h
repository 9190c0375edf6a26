// The command registry of the `mira` tool. Each operation lives in its own
// tools/cmd_<op>.cpp and registers one Command with a static Registration.
// Options are declared with their type and range; the command line is parsed
// (strictly) before a command runs, so a command sees only valid values.
#pragma once

#include <chrono>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "image_io.h"
#include "mira/mira_image.h"

namespace mira_tool {

// One --name=value option of a command.
struct OptSpec {
    enum Kind { Int, Real, Choice, Text };
    std::string name;
    Kind kind;
    double lo = 0, hi = 0;             // Int, Real: accepted range (inclusive)
    std::vector<std::string> choices;  // Choice: accepted values
    std::string help;
    // Older names of the option (--name=value is stored under `name`) and,
    // for a Choice, older spellings of its values with the value each means.
    std::vector<std::string> aliases = {};
    std::map<std::string, std::string> valueAliases = {};
};
// The same option also accepted under older names and value spellings.
inline OptSpec with_aliases(OptSpec o, std::vector<std::string> names,
                            std::map<std::string, std::string> values = {}) {
    o.aliases = std::move(names);
    o.valueAliases = std::move(values);
    return o;
}
inline OptSpec int_opt(std::string n, long lo, long hi, std::string help) {
    return {std::move(n), OptSpec::Int, double(lo), double(hi), {}, std::move(help)};
}
inline OptSpec real_opt(std::string n, double lo, double hi, std::string help) {
    return {std::move(n), OptSpec::Real, lo, hi, {}, std::move(help)};
}
inline OptSpec choice_opt(std::string n, std::vector<std::string> c, std::string help) {
    return {std::move(n), OptSpec::Choice, 0, 0, std::move(c), std::move(help)};
}
inline OptSpec text_opt(std::string n, std::string help) {
    return {std::move(n), OptSpec::Text, 0, 0, {}, std::move(help)};
}

// The parsed command line: values of the options that were given.
struct Options {
    bool gpu = false;               // --gpu: run the GPU path
    std::vector<std::string> args;  // positional arguments
    std::map<std::string, long> ints;
    std::map<std::string, double> reals;
    std::map<std::string, std::string> texts;  // Choice and Text options
    bool has(const std::string& key) const {
        return ints.count(key) || reals.count(key) || texts.count(key);
    }
    std::string get(const std::string& key, const std::string& def = "") const {
        auto it = texts.find(key);
        return it == texts.end() ? def : it->second;
    }
    long num(const std::string& key, long def) const {
        auto it = ints.find(key);
        return it == ints.end() ? def : it->second;
    }
    double real(const std::string& key, double def) const {
        auto it = reals.find(key);
        return it == reals.end() ? def : it->second;
    }
    mira_path path() const { return gpu ? MIRA_PATH_GPU : MIRA_PATH_CPU; }
};

// One demo output: a label and the image written for it.
struct DemoResult {
    std::string label;
    Image image;
    double ms = 0;
};

// What a demo step receives: the sample photo (RGB), its gray version and a
// matching NV21 frame.
struct DemoInput {
    Image rgb, gray;
    std::vector<uint8_t> nv21;
    uint32_t nv21W = 0, nv21H = 0;
};

struct Command {
    std::string name;
    std::string usage;  // argument synopsis and what it does
    std::function<int(const Options&)> run;
    // Optional: the demo's use of this operation, appending its results.
    std::function<void(const DemoInput&, std::vector<DemoResult>&)> demo;
    std::vector<OptSpec> options = {};  // the --name=value options it accepts
    unsigned files = 2;            // positional file arguments (input, output)
    std::vector<std::string> aliases = {};  // older names of the command
};

std::map<std::string, Command>& commands();

struct Registration {
    explicit Registration(Command c) { commands()[c.name] = std::move(c); }
};

// Runs one call of the checked interface on the path chosen on the command
// line (`path`) and returns the elapsed milliseconds; prints a timing line.
// The call's status goes to `*status` (when given).
double run_timed(const char* what, mira_path path, const std::function<mira_status(mira_path)>& fn,
                 mira_status* status = nullptr);

// An image of the checked interface over a tool image's packed rows
// (`channels` samples per pixel).
mira_image view(const Image& img);

// Reports a refused call on standard error (one line) and gives the exit
// status: 2 for a bad argument, 1 otherwise.
int refused(const std::string& command, mira_status st, const std::string& hint = "");

// Prints the one error line of the tool, "mira: <what>: <why>", on standard
// error. Nothing else is printed after it.
void error_line(const std::string& what, const std::string& why);

// Whether `path` can take an output image: a known extension (.png, .pgm,
// .ppm, .jpg, .jpeg) in an existing, writable folder. Prints the error line
// when it cannot. Commands check this before they run the operation.
bool output_ok(const std::string& path);

// Loads the input file of `args[index]`; prints the error and returns false.
bool load_input(const Options& o, size_t index, Image& img);
bool save_output(const std::string& path, const Image& img);

// The chroma plane of the demo's NV21 frame as a 2-channel image (V, U per
// pixel).
Image chroma_of(const DemoInput& in);

// A blank image of the given size.
Image blank(uint32_t w, uint32_t h, uint32_t channels = 1);

// The destination size of a scaling command: --width and --height where
// both are given; one of them alone sets that side and keeps the input's
// aspect ratio for the other; else the input's size times --factor (or
// `defFactor`), at least 1. False, with one line on standard error naming the
// option, when --factor comes with --width/--height or when the result is
// outside 1..MIRA_IMAGE_MAX_SIDE.
bool target_size(const Options& o, const Image& in, double defFactor, uint32_t& w, uint32_t& h);

}  // namespace mira_tool
