// The quornel command-line host: drives the engine only through its C API.
#include <dlfcn.h>
#include <quornel/quornel.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "cli.h"

namespace cli {

bool Progress::quiet = false;

Progress::Progress(const char* command, int steps)
    : command_(command), steps_(steps), shown_(!quiet && isatty(STDERR_FILENO) == 1) {}

Progress::~Progress() { clear(); }

void Progress::clear() {
    if (shown_ && done_ > 0) std::fputs("\r\x1b[K", stderr);
}

void Progress::step(const char* what) {
    ++done_;
    if (shown_)
        std::fprintf(stderr, "\r\x1b[Kquornel %s: [%d/%d] %s done", command_, done_, steps_, what);
}

}  // namespace cli

namespace {

struct Command {
    const char* name;
    const char* args;
    const char* about;
};

constexpr Command kCommands[] = {
    {"selftest", "", "exercise canvas, layers, transfer, brushes and undo, and check each result"},
    {"demo", "[--out DIR]", "paint a landscape and write the page and the display render as PNG"},
    {"convert", "IN OUT [--dpi N]", "read an image file and write it in the format of OUT's extension"},
    {"thumbnail", "IN OUT [--web WxH]", "a 100-pixel BMP thumbnail, or a JPEG web picture within WxH"},
    {"resize", "IN OUT --width W --height H [--filter NAME]",
     "resample to W x H (1..10000) with a named filter (Lanczos3 unless given; --filter help lists them)"},
    {"page", "IN OUT --width W --height H [--anchor AA]",
     "place unscaled on a W x H page at TL TC TR ML MC MR BL BC BR (MC unless given), padded white"},
    {"crop", "IN OUT --rect L,T,R,B", "cut to the columns L..R-1 and rows T..B-1"},
    {"rotate", "IN OUT [--left]", "a quarter turn clockwise, or counter-clockwise with --left"},
    {"flip", "IN OUT [--vertical]", "mirror left to right, or top to bottom with --vertical"},
    {"photopop", "IN OUT [--amount N] [--saturation S]",
     "sharpen, contrast by N (0..1000, 300 unless given) and saturate by S (0..100, 60; 50 keeps it)"},
    {"hsl", "IN OUT --hue H --sat S --light L",
     "shift the hue by H degrees, saturation and lightness by S and L percent (-100..100)"},
};

// A whole decimal number within lo..hi, else false.
bool parse_int(const std::string& text, int lo, int hi, int& out) {
    if (text.empty()) return false;
    char* end = nullptr;
    errno = 0;
    const long v = std::strtol(text.c_str(), &end, 10);
    if (errno != 0 || *end != '\0' || v < lo || v > hi) return false;
    out = int(v);
    return true;
}

int usage_error(const std::string& what);

// resize, page, crop, rotate and flip; every check that needs no file is made
// here, so a bad request never reads or writes anything.
int geometry_command(const std::vector<std::string>& args) {
    cli::GeometryRequest rq;
    rq.command = args[0];
    const std::string& cmd = rq.command;
    const bool sized = cmd == "resize" || cmd == "page";
    bool have_w = false, have_h = false, have_rect = false;
    std::vector<std::string> paths;
    for (size_t i = 1; i < args.size(); ++i) {
        const std::string& a = args[i];
        const bool has_value = i + 1 < args.size();
        if (sized && (a == "--width" || a == "--height") && has_value) {
            int& v = a == "--width" ? rq.width : rq.height;
            if (!parse_int(args[++i], 1, 10000, v))
                return usage_error(cmd + ": " + a + " takes a whole number of pixels from 1 to 10000, not '" +
                                   args[i] + "'");
            (a == "--width" ? have_w : have_h) = true;
        } else if ((cmd == "resize" && a == "--filter") || (cmd == "page" && a == "--anchor")) {
            if (!has_value) return usage_error(cmd + ": " + a + " takes a name");
            rq.name = args[++i];
        } else if (cmd == "crop" && a == "--rect" && has_value) {
            if (std::sscanf(args[++i].c_str(), "%d,%d,%d,%d", &rq.left, &rq.top, &rq.right, &rq.bottom) != 4)
                return usage_error("crop: --rect takes LEFT,TOP,RIGHT,BOTTOM, as 10,10,110,60");
            have_rect = true;
        } else if ((cmd == "rotate" && a == "--left") || (cmd == "flip" && a == "--vertical")) {
            rq.option = true;
        } else if ((cmd == "rotate" && a == "--right") || (cmd == "flip" && a == "--horizontal")) {
            rq.option = false;
        } else if (a.size() > 1 && a[0] == '-') {
            return usage_error(cmd + ": unknown option '" + a + "'");
        } else {
            paths.push_back(a);
        }
    }
    if (cmd == "resize" && rq.name == "help") {
        for (const char* f : cli::kFilterNames) std::printf("%s\n", f);
        return 0;
    }
    if (paths.size() != 2) return usage_error(cmd + " takes an input and an output file");
    rq.in = paths[0];
    rq.out = paths[1];
    if (sized && !(have_w && have_h)) return usage_error(cmd + " needs --width and --height");
    if (cmd == "crop" && !have_rect) return usage_error("crop needs --rect LEFT,TOP,RIGHT,BOTTOM");
    if (cmd == "resize") {
        if (rq.name.empty()) rq.name = "Lanczos3";
        if (!cli::known_filter(rq.name)) {
            std::string list;
            for (const char* f : cli::kFilterNames) list += std::string(list.empty() ? "" : ", ") + f;
            return usage_error("resize: unknown filter '" + rq.name + "'; the filters are " + list);
        }
    }
    if (cmd == "page") {
        if (rq.name.empty()) rq.name = "MC";
        const std::string& n = rq.name;
        if (n.size() != 2 || !std::strchr("TMB", n[0]) || !std::strchr("LCR", n[1]))
            return usage_error("page: unknown anchor '" + n + "'; anchors are TL TC TR ML MC MR BL BC BR");
    }
    return cli::geometry(rq);
}

// photopop and hsl: options checked before any file is read.
int effect_command(const std::vector<std::string>& args) {
    const std::string& cmd = args[0];
    int amount = 300, saturation = 60, hue = 0, sat = 0, light = 0;
    std::vector<std::string> paths;
    for (size_t i = 1; i < args.size(); ++i) {
        const std::string& a = args[i];
        struct Option {
            const char* name;
            int* value;
            int lo, hi;
        };
        const Option options[] = {{"--amount", &amount, 0, 1000},
                                  {"--saturation", &saturation, 0, 100},
                                  {"--hue", &hue, -1000000, 1000000},
                                  {"--sat", &sat, -100, 100},
                                  {"--light", &light, -100, 100}};
        const Option* o = nullptr;
        for (const Option& c : options)
            if (a == c.name && (cmd == "photopop") == (c.value == &amount || c.value == &saturation)) o = &c;
        if (o) {
            if (i + 1 >= args.size() || !parse_int(args[i + 1], o->lo, o->hi, *o->value))
                return usage_error(cmd + ": " + a + " takes a whole number from " + std::to_string(o->lo) +
                                   " to " + std::to_string(o->hi));
            ++i;
        } else if (a.size() > 1 && a[0] == '-') {
            return usage_error(cmd + ": unknown option '" + a + "'");
        } else {
            paths.push_back(a);
        }
    }
    if (paths.size() != 2) return usage_error(cmd + " takes an input and an output file");
    return cmd == "photopop" ? cli::photopop(paths[0], paths[1], amount, saturation)
                             : cli::hsl(paths[0], paths[1], hue, sat, light);
}

void help(std::FILE* to) {
    std::fputs("usage: quornel [--quiet] COMMAND [ARGS]\n"
               "       quornel --help | --version\n\ncommands:\n",
               to);
    for (const Command& c : kCommands) {
        const std::string call = std::string(c.name) + (c.args[0] ? " " : "") + c.args;
        // A long call gets its description on the next line, in the same column.
        if (call.size() > 22)
            std::fprintf(to, "  %s\n  %-22s %s\n", call.c_str(), "", c.about);
        else
            std::fprintf(to, "  %-22s %s\n", call.c_str(), c.about);
    }
    std::fputs("\noptions:\n"
               "  --quiet, -q            no progress on standard error\n"
               "  --help, -h             this text\n"
               "  --version              the library's version\n",
               to);
}

int usage_error(const std::string& what) {
    std::fprintf(stderr, "quornel: %s\nTry 'quornel --help' for more information.\n", what.c_str());
    return 2;
}

// The version of the library this process loaded, from its file name
// (libquornel.so.MAJOR.MINOR.PATCH behind the SONAME link); empty when the library
// was installed without its versioned name.
std::string library_version() {
    void* fn = dlsym(RTLD_DEFAULT, "QRN_GetLastError");
    Dl_info info{};
    if (!fn || dladdr(fn, &info) == 0 || !info.dli_fname) return {};
    char* real = realpath(info.dli_fname, nullptr);
    if (!real) return {};
    std::string name = real;
    std::free(real);
    const size_t at = name.rfind(".so.");
    if (at == std::string::npos) return {};
    std::string v = name.substr(at + 4);
    return v.find_first_not_of("0123456789.") == std::string::npos ? v : std::string();
}

int version() {
    const std::string built = std::to_string(QRN_VERSION_MAJOR) + "." +
                              std::to_string(QRN_VERSION_MINOR) + "." +
                              std::to_string(QRN_VERSION_PATCH);
    const std::string loaded = library_version();
    if (loaded.empty() || loaded == built)
        std::printf("quornel %s\n", loaded.empty() ? built.c_str() : loaded.c_str());
    else
        std::printf("quornel %s (program built against %s)\n", loaded.c_str(), built.c_str());
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<std::string> args;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--quiet" || a == "-q")
            cli::Progress::quiet = true;
        else
            args.push_back(a);
    }
    if (args.empty() || args[0] == "--help" || args[0] == "-h" || args[0] == "help") {
        help(stdout);
        return 0;
    }
    if (args[0] == "--version") return version();
    const std::string& name = args[0];
    const Command* cmd = nullptr;
    for (const Command& c : kCommands)
        if (name == c.name) cmd = &c;
    if (!cmd) {
        return usage_error(name[0] == '-' ? "unknown option '" + name + "'"
                                          : "unknown command '" + name + "'");
    }
    for (size_t i = 1; i < args.size(); ++i)
        if (args[i] == "--help" || args[i] == "-h") {
            std::printf("usage: quornel %s %s\n  %s\n", cmd->name, cmd->args, cmd->about);
            return 0;
        }

    if (name == "selftest") {
        if (args.size() > 1) return usage_error("selftest takes no arguments");
        return cli::selftest();
    }
    if (name == "convert" || name == "thumbnail") {
        std::vector<std::string> paths;
        int dpi = 0, web_w = 0, web_h = 0;
        for (size_t i = 1; i < args.size(); ++i) {
            const std::string& a = args[i];
            if (name == "convert" && a == "--dpi" && i + 1 < args.size()) {
                dpi = std::atoi(args[++i].c_str());
                if (dpi <= 0) return usage_error("convert: --dpi takes a positive number");
            } else if (name == "thumbnail" && a == "--web" && i + 1 < args.size()) {
                if (std::sscanf(args[++i].c_str(), "%dx%d", &web_w, &web_h) != 2 || web_w < 1 ||
                    web_h < 1)
                    return usage_error("thumbnail: --web takes WIDTHxHEIGHT, as 640x480");
            } else if (a.size() > 1 && a[0] == '-') {
                return usage_error(name + ": unknown option '" + a + "'");
            } else {
                paths.push_back(a);
            }
        }
        if (paths.size() != 2) return usage_error(name + " takes an input and an output file");
        return name == "convert" ? cli::convert(paths[0], paths[1], dpi)
                                 : cli::thumbnail(paths[0], paths[1], web_w, web_h);
    }
    if (name == "resize" || name == "page" || name == "crop" || name == "rotate" || name == "flip")
        return geometry_command(args);
    if (name == "photopop" || name == "hsl") return effect_command(args);
    std::string dir = ".";
    for (size_t i = 1; i < args.size(); ++i) {
        if (args[i] == "--out" && i + 1 < args.size())
            dir = args[++i];
        else
            return usage_error("demo: unknown argument '" + args[i] + "'");
    }
    return cli::demo(dir);
}
