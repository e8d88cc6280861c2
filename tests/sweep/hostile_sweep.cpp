// Every export called with hostile arguments, each call in a child process forked
// from a prepared engine: once with no canvas, once with a small canvas holding
// layers, a mask, a paint layer and undo steps. The child must end normally and,
// where the call is not meant to change them, the layers, the mask, the layer
// count, the current layer and the undo counts must read back as before.
//   hostile_sweep [--only NAME]
#include <quornel/quornel.h>
#include <quornel/quornel_host.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

#include "sweep_state.h"

namespace {

constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();
constexpr float kInf = std::numeric_limits<float>::infinity();
#if defined(__SANITIZE_ADDRESS__)
constexpr bool kSanitized = true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
constexpr bool kSanitized = true;
#else
constexpr bool kSanitized = false;
#endif
#else
constexpr bool kSanitized = false;
#endif
constexpr int kW = 16, kH = 12;
// Room on both sides of each buffer pointer: the largest contracted size the
// generated calls reach (10001 pixels of 8 bytes a row, a few rows) fits either way.
constexpr size_t kHalf = size_t(2) << 20;

struct Ctx {
    std::vector<uint8_t> space[4];
    const char* long_text = nullptr;
    int32_t W = 0, H = 0, NW = 0, NH = 0;  // the canvas and the new RGBA buffer
    void* buffer(int k) { return space[k % 4].data() + kHalf; }
    // A block of exactly the contracted size (none for a size below 1), zeroed,
    // so that the sanitizers report any access past it. Children never free.
    static void* exact(int64_t bytes) { return std::calloc(size_t(std::max<int64_t>(bytes, 0)), 1); }
    // Rows of row_bytes at a byte stride of either sign: the pointer addresses
    // row 0, and the block spans exactly the rows the call may touch.
    static void* rows(int64_t stride, int64_t count, int64_t row_bytes) {
        if (count < 1 || row_bytes < 1) return exact(0);
        const int64_t step = stride < 0 ? -stride : stride;
        auto* base = static_cast<uint8_t*>(exact(step * (count - 1) + std::max(step, row_bytes)));
        return stride < 0 ? base + step * (count - 1) : base;
    }
};

struct Call {
    const char* name;
    int position;  // -1: every argument plain
    const char* label;
    bool mutator;     // may change the canvas, layers, mask or undo counts
    bool null_input;  // a buffer is null: the call must change nothing
    bool slow;        // seconds a call: left to the plain build
    void (*run)(Ctx&);
};

const Call kCalls[] = {
#include "hostile_calls.inc"
};

// A 4 x 4 24-bit BMP for the calls that read an image, brush shape or grit file.
bool write_input_bmp(const char* path) {
    uint8_t f[102] = {'B', 'M', 102, 0, 0, 0, 0, 0, 0, 0, 54, 0, 0, 0, 40, 0, 0, 0, 4, 0, 0, 0,
                      4, 0, 0, 0, 1, 0, 24, 0};
    for (int i = 54; i < 102; ++i) f[i] = uint8_t(i * 37);
    FILE* out = std::fopen(path, "wb");
    if (!out) return false;
    const bool ok = std::fwrite(f, 1, sizeof f, out) == sizeof f;
    return std::fclose(out) == 0 && ok;
}

void prepare_canvas() {
    QRN_IPLInit(0);
    QRN_CreateImage(nullptr, kW, kH, 16, 0);
    for (int k = 1; k <= 3; ++k) QRN_CreateLayer(k, kW, kH);
    QRN_SetLayerOptions(2, 1, 0, 80, "Multiply");
    QRN_SetLayerOptions(3, 1, 0, 100, "Normal");
    std::vector<uint8_t> px(size_t(kW) * kH * 4);
    for (size_t i = 0; i < px.size(); ++i) px[i] = uint8_t(i * 29 + 7);
    QRN_SetLayer(3);
    QRN_LoadRGBA32(px.data(), kW * 4, 0);
    QRN_SetLayer(2);
    QRN_SetUndoLevels(4);
    QRN_SetUndoMB(8);
    QRN_SaveUndoBuffer(1, 0);
    QRN_LoadRGBA32(px.data(), kW * 4, 0);
    QRN_SaveUndoBuffer(1, 0);
    QRN_Clear(10, 200, 30, 255);
    QRN_SaveUndoBuffer(1, 0);
    QRN_Undo();
    std::vector<uint8_t> grey(size_t(kW) * kH * 3);
    for (size_t i = 0; i < grey.size(); ++i) grey[i] = uint8_t(i * 5);
    QRN_LoadMask(grey.data(), kW * 3, kW, kH);
    QRN_EnableMask(1);
    // The work buffers too, so the operations on them run rather than stop.
    QRN_IPLAllocSrcBuffer32();
    QRN_IPLAllocDstBuffer32();
    QRN_IPLAllocSrcBuffer24();
    QRN_IPLAllocDstBuffer24();
    QRN_CreatePaintLayer(50, "Normal");
    QRN_SetSize(8);
    QRN_SetTool(1.0f, 2, 128, 200, 128, 0, 1, 0, 0, 0, 0, 0, 0, "", "", 0);
    QRN_SetViewSize(kW, kH);
    QRN_SetScale(1, 1);
    QRN_SetLastError("");
}

struct Timed {
    double ms;
    const Call* call;
};

// Children run a few at a time, each in a folder of its own where it first
// writes the input file afresh (a call may rename or overwrite it).
int run_calls(const char* state, Ctx& ctx, const char* only, std::vector<std::string>& failures,
              std::vector<Timed>& times) {
    std::vector<uint8_t> scratch(size_t(4) << 20);
    const sweep::Snapshot before = sweep::Snapshot::take(kW, kH, scratch);
    const long cpus = sysconf(_SC_NPROCESSORS_ONLN);
    const size_t jobs = size_t(std::clamp(cpus, 1L, 4L));
    struct Running {
        pid_t pid;
        const Call* call;
        std::chrono::steady_clock::time_point t0;
    };
    std::vector<Running> running;
    auto reap = [&] {
        int status = 0;
        pid_t pid;
        while ((pid = wait(&status)) < 0 && errno == EINTR) {
        }
        auto it = std::find_if(running.begin(), running.end(),
                               [&](const Running& r) { return r.pid == pid; });
        if (it == running.end()) return;
        const Call& call = *it->call;
        times.push_back({std::chrono::duration<double, std::milli>(
                             std::chrono::steady_clock::now() - it->t0).count(), &call});
        running.erase(it);
        if (WIFEXITED(status) && WEXITSTATUS(status) == 0) return;
        char what[64];
        if (WIFSIGNALED(status))
            std::snprintf(what, sizeof what, "signal %d", WTERMSIG(status));
        else
            std::snprintf(what, sizeof what, "exit %d", WEXITSTATUS(status));
        failures.push_back(std::string(call.name) + "(" + call.label + ") [" + state + "]: " + what);
    };
    int calls = 0;
    size_t next_folder = 0;
    for (const Call& call : kCalls) {
        if (only && std::strcmp(only, call.name) != 0) continue;
        if (call.slow && kSanitized) continue;
        ++calls;
        while (running.size() >= jobs) reap();
        char folder[16];
        std::snprintf(folder, sizeof folder, "w%zu", next_folder++ % 64);
        std::fflush(nullptr);
        const auto t0 = std::chrono::steady_clock::now();
        const pid_t pid = fork();
        if (pid < 0) {
            failures.push_back(std::string("fork: ") + std::strerror(errno));
            break;
        }
        if (pid == 0) {
            alarm(60);
            mkdir(folder, 0700);
            if (chdir(folder) != 0 || !write_input_bmp("in.bmp")) _exit(4);
            call.run(ctx);
            const sweep::Snapshot after = sweep::Snapshot::take(kW, kH, scratch);
            const std::string changed = before.differs(after);
            if ((!call.mutator || call.null_input) && !changed.empty()) {
                std::fprintf(stderr, "%s(%s) [%s]: changed the %s\n", call.name, call.label, state,
                             changed.c_str());
                _exit(3);
            }
            QRN_Merge(reinterpret_cast<uint16_t*>(scratch.data()));
            _exit(0);
        }
        running.push_back({pid, &call, t0});
    }
    while (!running.empty()) reap();
    return calls;
}

}  // namespace

int main(int argc, char** argv) {
    const char* only = argc == 3 && std::strcmp(argv[1], "--only") == 0 ? argv[2] : nullptr;
    char dir[] = "/tmp/qrn-hostile-XXXXXX";
    if (!mkdtemp(dir) || chdir(dir) != 0 || !write_input_bmp("in.bmp")) {
        std::perror("hostile_sweep: work folder");
        return 1;
    }
    static Ctx ctx;
    for (auto& s : ctx.space) s.assign(2 * kHalf, 0);
    static const std::string long_text(5000, 'q');
    ctx.long_text = long_text.c_str();

    std::vector<std::string> failures;
    std::vector<Timed> times;
    const int fresh = run_calls("no canvas", ctx, only, failures, times);
    prepare_canvas();
    ctx.W = kW, ctx.H = kH;
    const int painted = run_calls("canvas", ctx, only, failures, times);
    // The slowest calls, to keep the sweep short as the header grows.
    std::sort(times.begin(), times.end(), [](const Timed& a, const Timed& b) { return a.ms > b.ms; });
    double total = 0;
    for (const Timed& t : times) total += t.ms;
    std::printf("hostile sweep: %.1f s in calls; slowest:", total / 1000);
    for (size_t i = 0; i < times.size() && i < 5; ++i)
        std::printf(" %s(%s) %.0f ms;", times[i].call->name, times[i].call->label, times[i].ms);
    std::printf("\n");
    for (size_t i = 0; i < failures.size() && i < 100; ++i)
        std::fprintf(stderr, "FAIL %s\n", failures[i].c_str());
    std::printf("hostile sweep: %zu exports' calls, %d with no canvas and %d on a canvas, %zu failed\n",
                sizeof kCalls / sizeof kCalls[0], fresh, painted, failures.size());
    std::string cleanup = std::string("rm -rf '") + dir + "'";
    if (std::system(cleanup.c_str()) != 0) std::fprintf(stderr, "hostile_sweep: %s left\n", dir);
    return failures.empty() ? 0 : 1;
}
