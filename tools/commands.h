// The command registry of the `mira` tool. Each operation lives in its own
// tools/cmd_<op>.cpp and registers one Command with a static Registration.
#pragma once

#include <chrono>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "image_io.h"
#include "mira/mira_features.h"

namespace mira_tool {

struct Options {
    bool gpu = false;               // --gpu: run the GPU path (mode 1)
    std::vector<std::string> args;  // positional arguments
    std::map<std::string, std::string> named;  // --key=value
    std::string get(const std::string& key, const std::string& def = "") const {
        auto it = named.find(key);
        return it == named.end() ? def : it->second;
    }
    long num(const std::string& key, long def) const {
        auto it = named.find(key);
        return it == named.end() ? def : std::stol(it->second);
    }
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
};

std::map<std::string, Command>& commands();

struct Registration {
    explicit Registration(Command c) { commands()[c.name] = std::move(c); }
};

// Runs one request through the manager with the mode chosen on the command
// line and returns the elapsed milliseconds; prints a timing line.
double run_timed(const char* what, bool gpu, const MIRA_Feature_Buf* src, uint8_t srcCount,
                 MIRA_Feature_Buf* dst, uint8_t dstCount, MIRA_Feature_Param param,
                 uint32_t* status = nullptr);

MIRA_Feature_Buf desc(const Image& img);
MIRA_Feature_Buf desc(Image& img);

// Loads the input file of `args[0]`; prints the error and returns false.
bool load_input(const Options& o, size_t index, Image& img);
bool save_output(const std::string& path, const Image& img);

// The chroma plane of the demo's NV21 frame as a 2-channel image (V, U per
// pixel).
Image chroma_of(const DemoInput& in);

}  // namespace mira_tool
