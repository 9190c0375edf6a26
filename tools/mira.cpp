// mira: apply libmira operations to image files, and the demo.
#include <sys/stat.h>

#include <cctype>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "commands.h"
#include "mira/mira.h"
#include "param_utils.h"

namespace mira_tool {

std::map<std::string, Command>& commands() {
    static std::map<std::string, Command> table;
    return table;
}

double run_timed(const char* what, bool gpu, const MIRA_Feature_Buf* src, uint8_t srcCount,
                 MIRA_Feature_Buf* dst, uint8_t dstCount, MIRA_Feature_Param param,
                 uint32_t* status) {
    if (gpu) param.mode = MIRA_MODE_OPENCL;
    MIRA_Manager m;
    auto t0 = std::chrono::steady_clock::now();
    uint32_t st = m.run(src, srcCount, dst, dstCount, &param);
    auto t1 = std::chrono::steady_clock::now();
    double ms = std::chrono::duration<double, std::milli>(t1 - t0).count();
    std::printf("%-28s %-4s %9.3f ms  status %u\n", what, gpu ? "gpu" : "cpu", ms, st);
    if (status) *status = st;
    return ms;
}

MIRA_Feature_Buf desc(Image& img) {
    const uint32_t rowBytes = img.width * img.channels;
    return MIRA_Feature_Buf{rowBytes, rowBytes, img.height, img.height, img.px.data()};
}
MIRA_Feature_Buf desc(const Image& img) { return desc(const_cast<Image&>(img)); }

bool load_input(const Options& o, size_t index, Image& img) {
    if (o.args.size() <= index) {
        std::fprintf(stderr, "missing input file\n");
        return false;
    }
    std::string err;
    if (!read_image(o.args[index], img, err)) {
        std::fprintf(stderr, "%s\n", err.c_str());
        return false;
    }
    return true;
}

bool save_output(const std::string& path, const Image& img) {
    std::string err;
    if (!write_image(path, img, err)) {
        std::fprintf(stderr, "%s\n", err.c_str());
        return false;
    }
    return true;
}

Image chroma_of(const DemoInput& in) {
    Image c;
    c.channels = 2;
    c.width = in.nv21W / 2;
    c.height = in.nv21H / 2;
    const uint8_t* vu = in.nv21.data() + size_t(in.nv21W) * in.nv21H;
    c.px.assign(vu, vu + size_t(c.width) * c.height * 2);
    return c;
}

namespace {

// Tiles thumbnails of all results (each scaled to fit a 256x256 cell) into
// one RGB contact sheet.
Image contact_sheet(const std::vector<DemoResult>& results) {
    const uint32_t cell = 256, gap = 8, cols = 4;
    const uint32_t rows = static_cast<uint32_t>((results.size() + cols - 1) / cols);
    Image sheet;
    sheet.width = cols * (cell + gap) + gap;
    sheet.height = rows * (cell + gap) + gap;
    sheet.channels = 3;
    sheet.px.assign(static_cast<size_t>(sheet.width) * sheet.height * 3, 40);
    for (size_t i = 0; i < results.size(); ++i) {
        Image rgb = to_rgb(results[i].image);
        if (rgb.width == 0 || rgb.height == 0) continue;
        const double scale =
            std::min(1.0 * cell / rgb.width, 1.0 * cell / rgb.height);
        const uint32_t tw = std::max(1u, static_cast<uint32_t>(rgb.width * scale));
        const uint32_t th = std::max(1u, static_cast<uint32_t>(rgb.height * scale));
        const uint32_t ox = gap + static_cast<uint32_t>(i % cols) * (cell + gap);
        const uint32_t oy = gap + static_cast<uint32_t>(i / cols) * (cell + gap);
        for (uint32_t y = 0; y < th; ++y)
            for (uint32_t x = 0; x < tw; ++x) {
                const uint32_t sx = std::min(rgb.width - 1, static_cast<uint32_t>(x / scale));
                const uint32_t sy = std::min(rgb.height - 1, static_cast<uint32_t>(y / scale));
                std::memcpy(sheet.row(oy + y) + (ox + x) * 3, rgb.row(sy) + sx * 3, 3);
            }
    }
    return sheet;
}

int run_demo(const Options& o) {
    const std::string in = o.args.empty() ? std::string(MIRA_SAMPLE_IMAGE) : o.args[0];
    const std::string outDir = o.get("out", "demo-out");
    mkdir(outDir.c_str(), 0755);
    DemoInput input;
    std::string err;
    if (!read_image(in, input.rgb, err)) {
        std::fprintf(stderr, "%s\n", err.c_str());
        return 1;
    }
    input.rgb = to_rgb(input.rgb);
    input.gray = to_gray(input.rgb);
    input.nv21 = rgb_to_nv21(input.rgb, input.nv21W, input.nv21H);
    std::printf("demo: %s (%ux%u), outputs in %s/\n", in.c_str(), input.rgb.width,
                input.rgb.height, outDir.c_str());
    // The demo's GPU steps run on whatever OpenCL device exists (PoCL's CPU
    // device on a host without a GPU) unless MIRA_OPENCL_DEVICE says otherwise.
    setenv("MIRA_OPENCL_DEVICE", "any", 0);
    const int gpuStatus = ncvInit();
    char device[256] = "";
    zor_opencl_device_name(device, sizeof device);
    if (gpuStatus == 0)
        std::printf("ncvInit: GPU path ready on the OpenCL device \"%s\"\n", device);
    else
        std::printf("ncvInit: no OpenCL device, GPU steps run the CPU methods\n");

    std::vector<DemoResult> results;
    results.push_back({"input", input.rgb, 0});
    for (auto& [name, cmd] : commands())
        if (cmd.demo) cmd.demo(input, results);

    for (size_t i = 0; i < results.size(); ++i) {
        std::string name = results[i].label;  // labels are free text; file names are not
        for (char& c : name)
            if (!std::isalnum(static_cast<unsigned char>(c)) && c != '-' && c != '_') c = '_';
        std::string file = outDir + "/" + std::to_string(i) + "_" + name + ".png";
        if (!save_output(file, results[i].image)) return 1;
        std::printf("  %-40s %ux%u  %8.3f ms\n", file.c_str(), results[i].image.width,
                    results[i].image.height, results[i].ms);
    }
    const std::string sheet = outDir + "/contact_sheet.png";
    if (!save_output(sheet, contact_sheet(results))) return 1;
    std::printf("contact sheet: %s (%zu images)\n", sheet.c_str(), results.size());
    ncvDeinit();
    return 0;
}

void usage() {
    std::printf("usage: mira [--cpu|--gpu] [--key=value ...] <command> args...\n\ncommands:\n");
    std::printf("  %-18s %s\n", "demo", "[image] [--out=dir]  run every operation on a sample photo");
    for (auto& [name, cmd] : commands()) std::printf("  %-18s %s\n", name.c_str(), cmd.usage.c_str());
}

}  // namespace
}  // namespace mira_tool

int main(int argc, char** argv) {
    using namespace mira_tool;
    Options o;
    std::string cmd;
    for (int i = 1; i < argc; ++i) {
        std::string a = argv[i];
        if (a == "--gpu") o.gpu = true;
        else if (a == "--cpu") o.gpu = false;
        else if (a == "-h" || a == "--help") { usage(); return 0; }
        else if (a.rfind("--", 0) == 0) {
            auto eq = a.find('=');
            if (eq == std::string::npos) o.named[a.substr(2)] = "1";
            else o.named[a.substr(2, eq - 2)] = a.substr(eq + 1);
        } else if (cmd.empty()) cmd = a;
        else o.args.push_back(a);
    }
    if (cmd.empty()) { usage(); return 2; }
    if (cmd == "demo") return run_demo(o);
    auto it = commands().find(cmd);
    if (it == commands().end()) {
        std::fprintf(stderr, "unknown command '%s'\n", cmd.c_str());
        usage();
        return 2;
    }
    // --gpu runs on whatever OpenCL device exists (PoCL's CPU device on a
    // host without a GPU) unless MIRA_OPENCL_DEVICE says otherwise.
    if (o.gpu) setenv("MIRA_OPENCL_DEVICE", "any", 0);
    const bool device = o.gpu && ncvInit() == 0;
    int rc = it->second.run(o);
    if (o.gpu) {
        char name[256];
        if (device && zor_opencl_device_name(name, sizeof name))
            std::printf("GPU path ran on the OpenCL device \"%s\"\n", name);
        else
            std::printf("no OpenCL device: the CPU method ran\n");
        ncvDeinit();
    }
    return rc;
}
