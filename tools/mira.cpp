// mira: apply libmira operations to image files, and the demo.
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include <CLI/CLI.hpp>

#include "commands.h"

namespace mira_tool {

std::map<std::string, Command>& commands() {
    static std::map<std::string, Command> table;
    return table;
}

double run_timed(const char* what, mira_path path,
                 const std::function<mira_status(mira_path)>& fn, mira_status* status) {
    auto t0 = std::chrono::steady_clock::now();
    const mira_status st = fn(path);
    auto t1 = std::chrono::steady_clock::now();
    double ms = std::chrono::duration<double, std::milli>(t1 - t0).count();
    // (a refused call prints only its error line, from the caller)
    if (st == MIRA_STATUS_OK)
        std::printf("%-28s %-4s %9.3f ms  %s\n", what, path == MIRA_PATH_GPU ? "gpu" : "cpu", ms,
                    mira_status_string(st));
    if (status) *status = st;
    return ms;
}

mira_image view(const Image& img) {
    return mira_image{const_cast<uint8_t*>(img.px.data()), img.width, img.height,
                      img.width * img.channels, img.channels};
}

void error_line(const std::string& what, const std::string& why) {
    std::string line = "mira: " + what + ": " + why;
    for (char& c : line)
        if (c == '\n' || c == '\r') c = ' ';
    std::fflush(stdout);
    std::fprintf(stderr, "%s\n", line.c_str());
}

int refused(const std::string& command, mira_status st, const std::string& hint) {
    error_line(command, std::string(mira_status_string(st)) + (hint.empty() ? "" : ": ") + hint);
    return st == MIRA_STATUS_BAD_ARGUMENT ? 2 : 1;
}

bool output_ok(const std::string& path) {
    if (!image_kind_known(path)) {
        const size_t dot = path.find_last_of('.');
        const size_t slash = path.find_last_of('/');
        const std::string ext =
            dot == std::string::npos || (slash != std::string::npos && dot < slash)
                ? std::string("no extension")
                : "'" + path.substr(dot) + "'";
        error_line(path, "unknown image type (" + ext + "); use .png, .pgm, .ppm, .jpg or .jpeg");
        return false;
    }
    const size_t slash = path.find_last_of('/');
    const std::string dir = slash == std::string::npos ? "." : path.substr(0, slash + 1);
    struct stat st {};
    if (stat(dir.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) {
        error_line(path, "the folder " + dir + " does not exist");
        return false;
    }
    if (access(dir.c_str(), W_OK) != 0) {
        error_line(path, "the folder " + dir + " is not writable");
        return false;
    }
    return true;
}

Image blank(uint32_t w, uint32_t h, uint32_t channels) {
    Image out;
    out.width = w;
    out.height = h;
    out.channels = channels;
    out.px.assign(size_t(w) * h * channels, 0);
    return out;
}

bool target_size(const Options& o, const Image& in, double defFactor, uint32_t& w, uint32_t& h) {
    const bool hasW = o.has("width"), hasH = o.has("height");
    if (o.has("factor") && (hasW || hasH)) {
        error_line("--factor", std::string("cannot be combined with --") +
                                   (hasW ? "width" : "height") +
                                   " (give the size, or one side, or a factor)");
        return false;
    }
    const double f = o.real("factor", defFactor);
    double fw = std::floor(in.width * f + 0.5), fh = std::floor(in.height * f + 0.5);
    if (hasW && hasH) {
        fw = double(o.num("width", 1));
        fh = double(o.num("height", 1));
    } else if (hasW) {  // the other side keeps the aspect ratio
        fw = double(o.num("width", 1));
        fh = std::floor(fw * in.height / in.width + 0.5);
    } else if (hasH) {
        fh = double(o.num("height", 1));
        fw = std::floor(fh * in.width / in.height + 0.5);
    }
    const double limit = MIRA_IMAGE_MAX_SIDE;
    if (fw > limit || fh > limit) {
        error_line(hasW ? "--width" : hasH ? "--height" : "--factor",
                   "the destination would exceed " + std::to_string(MIRA_IMAGE_MAX_SIDE) +
                       " pixels a side");
        return false;
    }
    w = uint32_t(std::max(1.0, fw));
    h = uint32_t(std::max(1.0, fh));
    return true;
}

bool load_input(const Options& o, size_t index, Image& img) {
    if (o.args.size() <= index) {
        error_line("input", "missing input file");
        return false;
    }
    // The output is checked before anything runs, so that a bad output path
    // is the only line printed.
    if (o.args.size() > index + 1 && !output_ok(o.args[index + 1])) return false;
    std::string err;
    if (!read_image(o.args[index], img, err)) {
        error_line(o.args[index], err);
        return false;
    }
    return true;
}

bool save_output(const std::string& path, const Image& img) {
    std::string err;
    if (!write_image(path, img, err)) {
        error_line(path, err);
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
        error_line(in, err);
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
    const bool gpuUp = mira_init() == MIRA_STATUS_OK;
    if (gpuUp && mira_device_name())
        std::printf("mira_init: GPU path ready on the OpenCL device \"%s\"\n", mira_device_name());
    else
        std::printf("mira_init: no OpenCL device, GPU steps run the CPU methods\n");

    std::vector<DemoResult> results;
    results.push_back({"input", input.rgb, 0});
    for (auto& [name, cmd] : commands())
        if (cmd.demo) cmd.demo(input, results);

    // demo.tsv lists the results (file, operation, path, time) for the
    // labelled contact sheet (tools/contact_sheet.py).
    std::string table = "file\toperation\tpath\tms\n";
    for (size_t i = 0; i < results.size(); ++i) {
        std::string name = results[i].label;  // labels are free text; file names are not
        for (char& c : name)
            if (!std::isalnum(static_cast<unsigned char>(c)) && c != '-' && c != '_') c = '_';
        const std::string base = std::to_string(i) + "_" + name + ".png";
        const std::string file = outDir + "/" + base;
        if (!save_output(file, results[i].image)) return 1;
        std::printf("  %-40s %ux%u  %8.3f ms\n", file.c_str(), results[i].image.width,
                    results[i].image.height, results[i].ms);
        char ms[32];
        std::snprintf(ms, sizeof ms, "%.3f", results[i].ms);
        table += base + "\t" + results[i].label + "\t" + (i == 0 ? "-" : "cpu") + "\t" +
                 (i == 0 ? "-" : ms) + "\n";
    }
    if (FILE* f = std::fopen((outDir + "/demo.tsv").c_str(), "w")) {
        std::fputs(table.c_str(), f);
        std::fclose(f);
    }
    const std::string sheet = outDir + "/contact_sheet.png";
    if (!save_output(sheet, contact_sheet(results))) return 1;
    std::printf("contact sheet: %s (%zu images)\n", sheet.c_str(), results.size());
    mira_shutdown();
    return 0;
}

// One line on standard error for a refused command line (CLI11's messages
// name the option); status 2.
int bad_command_line(const std::string& what, const std::string& why) {
    error_line(what, why);
    return 2;
}

// CLI11's message ("--width: Value -5 not in range ...", "The following
// argument was not expected: x") as "<what>: <why>".
int bad_command_line(const std::string& message) {
    const size_t colon = message.find(": ");
    if (message.rfind("--", 0) == 0 && colon != std::string::npos)
        return bad_command_line(message.substr(0, colon), message.substr(colon + 2));
    return bad_command_line("command line", message);
}

// Declares a command's options on its CLI11 subcommand, with their types and
// ranges, storing given values into `o`.
void declare(CLI::App* sub, const Command& cmd, Options& o) {
    for (const OptSpec& spec : cmd.options) {
        std::string flag = "--" + spec.name;
        for (const std::string& a : spec.aliases) flag += ",--" + a;
        switch (spec.kind) {
            case OptSpec::Int: {
                auto* opt = sub->add_option_function<long>(
                    flag, [&o, n = spec.name](const long& v) { o.ints[n] = v; }, spec.help);
                opt->check(CLI::Range(long(spec.lo), long(spec.hi)));
                break;
            }
            case OptSpec::Real: {
                auto* opt = sub->add_option_function<double>(
                    flag, [&o, n = spec.name](const double& v) { o.reals[n] = v; }, spec.help);
                opt->check(CLI::Number);
                opt->check(CLI::Range(spec.lo, spec.hi));
                break;
            }
            case OptSpec::Choice: {
                auto* opt = sub->add_option_function<std::string>(
                    flag,
                    [&o, n = spec.name, m = spec.valueAliases](const std::string& v) {
                        auto it = m.find(v);
                        o.texts[n] = it == m.end() ? v : it->second;
                    },
                    spec.help);
                std::vector<std::string> accepted = spec.choices;
                for (const auto& [old, now] : spec.valueAliases) accepted.push_back(old);
                opt->check(CLI::IsMember(accepted));
                opt->type_name("{" + [&] {
                    std::string l;
                    for (const auto& c : spec.choices) l += (l.empty() ? "" : ",") + c;
                    return l;
                }() + "}");
                break;
            }
            case OptSpec::Text:
                sub->add_option_function<std::string>(
                    flag, [&o, n = spec.name](const std::string& v) { o.texts[n] = v; },
                    spec.help);
                break;
        }
    }
    sub->add_option("files", o.args, cmd.files > 1 ? "input and output files" : "input file")
        ->expected(0, int(cmd.files))
        ->type_name(cmd.files > 1 ? "IN OUT" : "IN");
}

// Shows the file arguments in the usage line by their type name ("IN OUT")
// rather than CLI11's "files(0x)".
class FileUsage : public CLI::Formatter {
public:
    std::string make_option_usage(const CLI::Option* opt) const override {
        return "[" + opt->get_type_name() + "]";
    }
};

}  // namespace
}  // namespace mira_tool

int main(int argc, char** argv) {
    using namespace mira_tool;
    Options o;
    CLI::App app{"mira: applies libmira operations to image files; `mira demo` runs them all"};
    app.formatter(std::make_shared<FileUsage>());  // (before the subcommands, which copy it)
    app.set_help_all_flag("--help-all", "help of every command");
    app.require_subcommand(1);
    app.fallthrough();  // --gpu / --cpu also after the command
    bool cpu = false;
    auto* gpuFlag = app.add_flag("--gpu", o.gpu, "run the GPU path (the CPU method where it has none)");
    app.add_flag("--cpu", cpu, "run the CPU path (the default)")->excludes(gpuFlag);

    Command demo{"demo", "[image] [--out=dir]  run every operation on a sample photo", nullptr,
                 nullptr, {text_opt("out", "output folder (default demo-out)")}, 1};
    CLI::App* demoSub = app.add_subcommand(demo.name, demo.usage);
    declare(demoSub, demo, o);
    std::map<CLI::App*, const Command*> subs;
    for (auto& [name, cmd] : commands()) {
        CLI::App* sub = app.add_subcommand(name, cmd.usage);
        for (const std::string& a : cmd.aliases) sub->alias(a);
        declare(sub, cmd, o);
        subs[sub] = &cmd;
    }
    // The first word that is not an option names the command.
    auto known = [](const std::string& a) {
        if (a == "demo" || commands().count(a)) return true;
        for (const auto& [name, cmd] : commands())
            for (const std::string& al : cmd.aliases)
                if (al == a) return true;
        return false;
    };
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a.empty() || a[0] == '-') continue;
        if (!known(a)) return bad_command_line(a, "unknown command (mira --help lists them)");
        break;
    }
    try {
        app.parse(argc, argv);
    } catch (const CLI::CallForHelp& e) {
        return app.exit(e);
    } catch (const CLI::CallForAllHelp& e) {
        return app.exit(e);
    } catch (const CLI::ParseError& e) {
        return bad_command_line(e.what());
    }
    try {
        if (demoSub->parsed()) return run_demo(o);
        for (auto& [sub, cmd] : subs) {
            if (!sub->parsed()) continue;
            if (o.args.size() < cmd->files)
                return bad_command_line(cmd->name, "needs " + std::to_string(cmd->files) +
                                        " file argument" + (cmd->files > 1 ? "s" : "") +
                                        " (" + cmd->usage.substr(0, cmd->usage.find("  ")) + ")");
            // --gpu runs on whatever OpenCL device exists (PoCL's CPU device
            // on a host without a GPU) unless MIRA_OPENCL_DEVICE says otherwise.
            if (o.gpu) setenv("MIRA_OPENCL_DEVICE", "any", 0);
            const bool device = o.gpu && mira_init() == MIRA_STATUS_OK && mira_device_name();
            const int rc = cmd->run(o);
            if (o.gpu && rc == 0) {  // (nothing is printed after an error line)
                if (device)
                    std::printf("GPU path ran on the OpenCL device \"%s\"\n", mira_device_name());
                else
                    std::printf("no OpenCL device: the CPU method ran\n");
            }
            if (o.gpu) mira_shutdown();
            return rc;
        }
    } catch (const std::exception& e) {
        error_line("error", e.what());
        return 1;
    }
    return bad_command_line("command line", "no command given (mira --help lists them)");
}
