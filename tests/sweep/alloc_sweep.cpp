// Allocation-failure sweep: every allocation of the process goes through the
// counting malloc family below (operator new, the engine's aligned buffers and the
// libraries' allocations all end there), and for each scenario the nth allocation
// of its operation fails, for n = 0, 1, 2, ... until the operation completes
// without reaching n. At every n the operation must end in its failure text (or a
// stated fallback), leave what a failure leaves unchanged as it was, leak nothing
// once the canvas is gone, and a fixed follow-up must still work.
//   alloc_sweep [--only PART-OF-NAME]      (QRN_TRACE_FAIL=n: see fail_now)
#include <malloc.h>
#include <execinfo.h>
#include <unistd.h>
#include <quornel/quornel.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "sweep_state.h"

extern "C" {
void* __libc_malloc(size_t);
void __libc_free(void*);
void* __libc_calloc(size_t, size_t);
void* __libc_realloc(void*, size_t);
void* __libc_memalign(size_t, size_t);
}

namespace {

long g_live = 0;      // blocks allocated and not yet freed
long g_seen = 0;      // allocations while armed
long g_fail_at = -1;  // the armed allocation that fails
bool g_armed = false, g_injected = false;

bool fail_now() {
    if (!g_armed) return false;
    if (g_seen++ != g_fail_at) return false;
    g_injected = true;
    // QRN_TRACE_FAIL=n prints where the nth allocation was asked for (addr2line
    // turns the offsets into lines); backtrace itself was warmed up in main.
    if (const char* trace = std::getenv("QRN_TRACE_FAIL"); trace && std::atol(trace) == g_fail_at) {
        void* frames[40];
        backtrace_symbols_fd(frames, backtrace(frames, 40), 2);
    }
    return true;
}

void* counted(void* p) {
    if (p) ++g_live;
    return p;
}

}  // namespace

extern "C" {
void* malloc(size_t n) { return fail_now() ? nullptr : counted(__libc_malloc(n)); }
void* calloc(size_t a, size_t b) { return fail_now() ? nullptr : counted(__libc_calloc(a, b)); }
void free(void* p) {
    if (p) --g_live;
    __libc_free(p);
}
void* realloc(void* p, size_t n) {
    if (!p) return malloc(n);
    if (n == 0) {
        free(p);
        return nullptr;
    }
    return fail_now() ? nullptr : __libc_realloc(p, n);
}
void* memalign(size_t a, size_t n) { return fail_now() ? nullptr : counted(__libc_memalign(a, n)); }
void* aligned_alloc(size_t a, size_t n) { return memalign(a, n); }
int posix_memalign(void** out, size_t a, size_t n) {
    void* p = memalign(a, n);
    if (!p) return ENOMEM;
    *out = p;
    return 0;
}
void* valloc(size_t n) { return memalign(4096, n); }
void* pvalloc(size_t n) { return memalign(4096, (n + 4095) & ~size_t(4095)); }
}

namespace {

constexpr int kW = 48, kH = 32;

std::vector<uint8_t> pattern(int w, int h, int seed) {
    std::vector<uint8_t> px(size_t(w) * size_t(h) * 4);
    for (size_t i = 0; i < px.size(); ++i) px[i] = uint8_t(i * 29 + size_t(seed) * 7 + (i >> 7));
    return px;
}

// A small 24-bit BMP, written without the engine, for shape and grit files.
void write_bmp(const char* path, int w, int h) {
    const int row = (w * 3 + 3) & ~3, size = 54 + row * h;
    std::vector<uint8_t> f(size_t(size), 0);
    auto put32 = [&](int at, int v) {
        for (int i = 0; i < 4; ++i) f[size_t(at + i)] = uint8_t(v >> (8 * i));
    };
    f[0] = 'B', f[1] = 'M';
    put32(2, size), put32(10, 54), put32(14, 40), put32(18, w), put32(22, h);
    f[26] = 1, f[28] = 24;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w * 3; ++x) f[size_t(54 + y * row + x)] = uint8_t((x * 11) ^ (y * 23));
    FILE* out = std::fopen(path, "wb");
    if (out) {
        std::fwrite(f.data(), 1, f.size(), out);
        std::fclose(out);
    }
}

// Input files in every format with a library behind it, written unarmed.
void image_files() {
    const std::vector<uint8_t> px = pattern(kW, kH, 6);
    QRN_WriteToFileRGBA32(px.data(), kW, kH, "in.png", ".png", 96);
    QRN_WriteToFileRGBA32(px.data(), kW, kH, "in.tif", ".tif", 150);
    QRN_WriteToFileRGBA32(px.data(), kW, kH, "in.tga", ".tga", 72);
    QRN_WriteToFileRGB24(px.data(), kW, kH * 4 / 3, "in.jpg", ".jpg", 300);
    QRN_WriteToFileRGB24(px.data(), kW, kH * 4 / 3, "in.gif", ".gif", 72);
}

void canvas() {
    QRN_IPLInit(0);
    QRN_CreateImage(nullptr, kW, kH, 32, 0);
    QRN_CreateLayer(1, kW, kH);
    QRN_CreateLayer(2, kW, kH);
    QRN_SetLayerOptions(2, 1, 0, 100, "Normal");
    QRN_SetLayer(2);
    const std::vector<uint8_t> px = pattern(kW, kH, 1);
    QRN_LoadRGBA32(px.data(), kW * 4, 0);
}

void canvas_with_mask_and_undo() {
    canvas();
    std::vector<uint8_t> grey(size_t(kW) * kH * 3);
    for (size_t i = 0; i < grey.size(); ++i) grey[i] = uint8_t(i / 3 * 5);
    QRN_LoadMask(grey.data(), kW * 3, kW, kH);
    QRN_EnableMask(1);
    QRN_SetUndoLevels(8);
    QRN_SetUndoMB(16);
    QRN_SaveUndoBuffer(1, 0);
    QRN_Clear(200, 30, 60, 255);
    QRN_SaveUndoBuffer(1, 0);
}

// The operations' own buffers exist before anything is armed: only the engine's
// allocations may fail.
std::vector<uint8_t> g_buffer(size_t(kW) * kH * 8 * 4);
std::vector<uint8_t> g_stream(size_t(kW) * kH * 8);
std::vector<uint8_t> g_line(size_t(kW) * 5 + 16);
const std::vector<uint8_t> g_px = pattern(kW, kH, 2);
int32_t g_stream_bytes = 0;

enum class Keeps {
    Nothing,   // a failure may leave the state changed (a canvas half made)
    OnText,    // a reported failure changes nothing; an absorbed one may succeed
    Always,    // any failure changes nothing
    Pixels,    // any failure leaves layers and mask; it may drop undo entries
};

struct Scenario {
    const char* name;
    void (*setup)();
    int64_t (*op)();
    const char* text;      // the failure's last-error text
    bool fallback;         // a failure may also be absorbed (no text), as stated
    Keeps keeps;           // when layers, mask and undo counts must stay as they were
    bool checks_result;    // a reported failure returns 0
    // A file the operation writes: it holds "OLD" before, and a failure must leave
    // it so (or, for writers whose result says nothing, whole) with no temporary.
    const char* target = nullptr;
    bool result_tells = false;  // result 1: written, 0: not
    const char* other_text = nullptr;  // a second failure text of the operation
};

void canvas_and_files() {
    canvas();
    image_files();
}

const Scenario kScenarios[] = {
    {"canvas: CreateImage", [] { QRN_IPLInit(0); },
     [] { QRN_CreateImage(nullptr, kW, kH, 32, 0); return int64_t(0); }, "CreateImage Excpt", false,
     Keeps::Nothing, false},
    {"canvas: NewSize", canvas,
     [] { QRN_NewSize(nullptr, kW + 8, kH + 4, 40, 0); return int64_t(0); }, "NewSize Excpt", false,
     Keeps::Nothing, false},
    {"layers: CreateLayer", canvas, [] { return int64_t(QRN_CreateLayer(5, kW, kH)); },
     "CreateLayer Excpt", true, Keeps::OnText, true},
    {"layers: CreatePaintLayer", canvas,
     [] { QRN_CreatePaintLayer(60, "Multiply"); return int64_t(0); }, "CreatePaintLayer Excpt", true,
     Keeps::OnText, false},
    {"layers: CreateTexture", canvas, [] { return int64_t(QRN_CreateTexture(2) != nullptr); },
     "CreateTexture Excpt", false, Keeps::OnText, true},
    {"loads: LoadRGBA32 weighted by mask and texture",
     [] {
         canvas_with_mask_and_undo();
         QRN_CreateTexture(1);
     },
     [] { return int64_t(QRN_LoadRGBA32(g_px.data(), kW * 4, 1)); },
     "LoadRGBA32 Excpt", true, Keeps::OnText, false},
    {"loads: LoadRGB24", canvas,
     [] { return int64_t(QRN_LoadRGB24(g_px.data(), kW * 3, 0)); },
     "LoadRGB24 Excpt", true, Keeps::OnText, false},
    {"reads: GetRGBA32LayerCompressed", canvas,
     [] {
         return int64_t(QRN_GetRGBA32LayerCompressed(g_stream.data(), 0, int32_t(g_stream.size()), 2, 0));
     },
     "GetRGBA32Layer Excpt", false, Keeps::OnText, true},
    {"compressed: LoadRGBA32LayerCompressed",
     [] {
         canvas();
         g_stream_bytes = QRN_GetRGBA32LayerCompressed(g_stream.data(), 0, int32_t(g_stream.size()), 2, 0);
         QRN_Clear(1, 2, 3, 4);
     },
     [] {
         QRN_LoadRGBA32LayerCompressed(g_stream.data(), 0, g_stream_bytes, 2);
         return int64_t(0);
     },
     "LoadRGBA32LayerCompressed Excpt", false, Keeps::OnText, false},
    {"undo: SaveUndoBuffer", canvas_with_mask_and_undo,
     [] { QRN_SaveUndoBuffer(1, 0); return int64_t(0); }, "SaveUndoBuf Excpt", true,
     Keeps::Pixels, false},
    {"undo: SaveUndoBuffer with the mask", canvas_with_mask_and_undo,
     [] { QRN_SaveUndoBuffer(1, 1); return int64_t(0); }, "SaveUndoBuf Excpt", true,
     Keeps::Pixels, false},
    {"loads: LoadRGBA32Layer_BAD", canvas,
     [] {
         QRN_LoadRGBA32Layer_BAD(g_buffer.data(), kW * 4, 2, kW, kH, 1);
         return int64_t(0);
     },
     "LoadRGBA32Layer_BAD Excpt", true, Keeps::OnText, false},
    {"paint: dabs with pixel colour and luminance vary", canvas,
     [] {
         QRN_SetSize(12);
         QRN_SetPixColorVary(20);
         QRN_SetPixLumVary(10);
         QRN_SetTool(1.0f, 2, 200, 220, 128, 6, 2, 0, 0, 0, 0, 0, 0, "", "", 0);
         QRN_DrawDabGrit(20, 14, 0x3000, 0x5000, 0x9000);
         return int64_t(0);
     },
     "SetTool Excpt", true, Keeps::Nothing, false},
    {"compositing: GetColorAtMerged", canvas_with_mask_and_undo,
     [] { return int64_t(QRN_GetColorAtMerged(5, 7)); }, "QRN_GetColorAtMerged Excpt", true,
     Keeps::Always, false},
    {"undo: Undo", canvas_with_mask_and_undo, [] { QRN_Undo(); return int64_t(0); }, "Undo Excpt",
     false, Keeps::OnText, false},
    {"undo: Redo",
     [] {
         canvas_with_mask_and_undo();
         QRN_Undo();
     },
     [] { QRN_Redo(); return int64_t(0); }, "Redo Excpt", false, Keeps::OnText, false},
    {"run-length: layer and mask lines", canvas_with_mask_and_undo,
     [] {
         const int32_t n = QRN_GetRGBA32LayerLineRLE(g_line.data(), 2, 3);
         if (n > 0) QRN_PutRGBA32LayerLineRLE(g_line.data(), 2, 4);
         const int32_t m = QRN_GetMaskLineRLE(g_line.data(), 5);
         if (m > 0) QRN_PutMaskLineRLE(g_line.data(), 6);
         return int64_t(0);
     },
     "RLE Excpt", true, Keeps::Nothing, false},
    {"mask: hue range and invert", canvas_with_mask_and_undo,
     [] {
         QRN_CreateMaskFromRGBAImageHueRange(g_px.data(), 200, 40, 90, 30, 200);
         QRN_InvertMask();
         return int64_t(0);
     },
     "CreateMaskFromRGBAImageHueRange Excpt", false, Keeps::Nothing, false},
    {"filters: adjustment pre and post", canvas,
     [] {
         QRN_AdjustRGBA32PreFilter(g_buffer.data(), kW, kH);
         QRN_AdjustRGBA32PostFilter(g_buffer.data(), kW, kH);
         QRN_AdjustRGBA32ForAlphaComp(1, g_buffer.data());
         return int64_t(0);
     },
     "AdjustRGBA32ForAlphaComp Excpt", true, Keeps::OnText, false},
    {"tool: SetTool with grit and shape files",
     [] {
         canvas();
         write_bmp("grit.bmp", 20, 12);
         write_bmp("shape.bmp", 16, 16);
         QRN_SetSize(12);
     },
     [] {
         QRN_SetTool(1.0f, 3, 180, 200, 128, 4, 2, 0, 0, 0, 0, 0, 0, "grit.bmp", "shape.bmp", 30);
         QRN_DrawDabGrit(20, 14, 0x3000, 0x5000, 0x9000);
         return int64_t(0);
     },
     "SetTool Excpt", true, Keeps::Nothing, false},
    {"image scripts: brush shape from a script", canvas,
     [] {
         QRN_SetSize(16);
         QRN_SetBrushShape(QRN_EXAMPLE_SCRIPTS "/soft_noise.qis", 0);
         QRN_DrawDabGrit(20, 14, 0x3000, 0x5000, 0x9000);
         return int64_t(0);
     },
     "SetBrushShape Excpt", true, Keeps::Nothing, false},
    {"readers: brush shape from an image file",
     [] {
         canvas();
         write_bmp("shape.bmp", 24, 18);
         QRN_SetSize(16);
     },
     [] {
         QRN_SetBrushShape_ORIGINAL("shape.bmp", 45);
         return int64_t(0);
     },
     "SetBrushShape Excpt", true, Keeps::Nothing, false},
    {"compositing: Merge and Render", canvas_with_mask_and_undo,
     [] {
         QRN_Merge(reinterpret_cast<uint16_t*>(g_buffer.data()));
         QRN_SetViewSize(kW, kH);
         QRN_SetScale(1, 2);
         QRN_Render(g_buffer.data(), kW * 3, 0, 0, kW, kH);
         return int64_t(0);
     },
     "Render Excpt", true, Keeps::Always, false},
    {"readers: ReadFromFile PNG", canvas_and_files, [] { return int64_t(QRN_ReadFromFile("in.png")); },
     "ReadFromFile Excpt", true, Keeps::Always, true, nullptr, false, "CreateNewRGBA Excpt"},
    {"readers: ReadFromFile JPEG", canvas_and_files, [] { return int64_t(QRN_ReadFromFile("in.jpg")); },
     "ReadFromFile Excpt", true, Keeps::Always, true, nullptr, false, "CreateNewRGBA Excpt"},
    {"readers: ReadFromFile TIFF", canvas_and_files, [] { return int64_t(QRN_ReadFromFile("in.tif")); },
     "ReadFromFile Excpt", true, Keeps::Always, true, nullptr, false, "CreateNewRGBA Excpt"},
    {"readers: ReadFromFile GIF and TGA", canvas_and_files,
     [] { return int64_t(QRN_ReadFromFile("in.gif") + QRN_ReadFromFile("in.tga")); },
     "ReadFromFile Excpt", true, Keeps::Always, false, nullptr, false, "CreateNewRGBA Excpt"},
    {"readers: DPI probe and sized reader", canvas_and_files,
     [] {
         return int64_t(QRN_GetDPIFromFile("in.tif") +
                        QRN_ReadFromFileRGBA32(g_buffer.data(), kW, kH, "in.png"));
     },
     "ReadFromFile Excpt", true, Keeps::Always, false, nullptr, false, "CreateNewRGBA Excpt"},
    {"files: new RGBA buffer resized",
     [] {
         canvas_and_files();
         QRN_ReadFromFile("in.png");
     },
     [] {
         QRN_GetResizedNewRGBA24(g_buffer.data(), 20, 10);
         return int64_t(0);
     },
     "GetResizedNewRGB24 Excpt", true, Keeps::Always, false},
    {"files: new RGBA buffer into the layer",
     [] {
         canvas_and_files();
         QRN_ReadFromFile("in.png");
     },
     [] { return int64_t(QRN_SetInNewRGBA()); }, "LoadRGBA32Layer Excpt", true, Keeps::OnText, true},
    {"writers: PNG", canvas,
     [] { return int64_t(QRN_WriteToFileRGBA32(g_px.data(), kW, kH, "out.png", ".png", 72)); },
     "WriteToFileRGBA32 Excpt", true, Keeps::Always, true, "out.png", true},
    {"writers: TIFF", canvas,
     [] { return int64_t(QRN_WriteToFileRGBA32(g_px.data(), kW, kH, "out.tif", ".tif", 300)); },
     "WriteToFileRGBA32 Excpt", true, Keeps::Always, true, "out.tif", true},
    {"writers: JPEG", canvas,
     [] { return int64_t(QRN_WriteToFileRGB24(g_px.data(), kW, kH, "out.jpg", ".jpg", 96)); },
     "WriteToFileRGB24 Excpt", true, Keeps::Always, true, "out.jpg", true},
    {"writers: GIF", canvas,
     [] { return int64_t(QRN_WriteToFileRGB24(g_px.data(), kW, kH, "out.gif", ".gif", 72)); },
     "WriteToFileRGB24 Excpt", true, Keeps::Always, true, "out.gif", true},
    {"writers: PSD, PCX, EMF", canvas,
     [] {
         return int64_t(QRN_WriteToFileRGB24(g_px.data(), kW, kH, "out.psd", ".psd", 72) &
                        QRN_WriteToFileRGB24(g_px.data(), kW, kH, "out.pcx", ".pcx", 72) &
                        QRN_WriteToFileRGB24(g_px.data(), kW, kH, "out.emf", ".emf", 72));
     },
     "WriteToFileRGB24 Excpt", true, Keeps::Always, false},
    {"pages: SavePageToFileRGB32 PNG", canvas_with_mask_and_undo,
     [] { return int64_t(QRN_SavePageToFileRGB32("page.png", ".png", 150)); },
     "QRN_SavePageToFileRGB32 Excpt", true, Keeps::Always, false, "page.png"},
    {"pages: SavePageToFileRGB24 JPEG", canvas_with_mask_and_undo,
     [] { return int64_t(QRN_SavePageToFileRGB24("page.jpg", ".jpg", 150)); },
     "QRN_SavePageToFileRGB24 Excpt", true, Keeps::Always, false, "page.jpg"},
    {"thumbnails: MakeThumbnail from a JPEG", canvas_and_files,
     [] { return int64_t(QRN_MakeThumbnail("in.jpg", "thumb.bmp")); }, "MakeThumbnails Excpt", true,
     Keeps::Always, false, "thumb.bmp"},
    {"web pictures: MakeWebPic from a PNG", canvas_and_files,
     [] { return int64_t(QRN_MakeWebPic("in.png", "web.jpg", 20, 20)); }, "MakeWebPic Excpt", true,
     Keeps::Always, false, "web.jpg"},
};

std::vector<std::string> files_here() {
    std::vector<std::string> names;
    for (const auto& e : std::filesystem::directory_iterator("."))
        names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

std::string read_text(const char* path) {
    std::string text;
    if (FILE* f = std::fopen(path, "rb")) {
        char chunk[256];
        size_t n;
        while ((n = std::fread(chunk, 1, sizeof chunk, f)) > 0) text.append(chunk, n);
        std::fclose(f);
    }
    return text;
}

// What a failed write left: the old file, or (when the result cannot tell) a whole
// new one; and no temporary beside it.
std::string check_target(const Scenario& s, int64_t result, const std::vector<std::string>& before) {
    for (const std::string& name : files_here())
        if (name != s.target && !std::binary_search(before.begin(), before.end(), name))
            return "left " + name;
    const std::string text = read_text(s.target);
    if (s.result_tells && result == 0 && text != "OLD") return "the old file was not kept";
    if (text != "OLD" && text.size() < 8) return "a broken file was left";
    return {};
}


// After every injected failure the engine must still paint and read back.
std::string follow_up() {
    QRN_SetLastError("");
    QRN_DeleteImage();
    QRN_CreateImage(nullptr, 24, 16, 16, 0);
    if (QRN_CreateLayer(2, 24, 16) != 1) return "CreateLayer refused";
    QRN_SetLayer(2);
    const std::vector<uint8_t> px = pattern(24, 16, 9);
    QRN_LoadRGBA32(px.data(), 24 * 4, 0);
    std::vector<uint8_t> back(px.size());
    if (QRN_GetRGBA32(back.data(), 24 * 4) != 16 || back != px) return "layer read back wrong";
    QRN_SetUndoLevels(2);
    QRN_SaveUndoBuffer(1, 0);
    QRN_Clear(0, 0, 0, 0);
    QRN_Undo();
    QRN_GetRGBA32(back.data(), 24 * 4);
    if (back != px) return "undo did not restore";
    if (QRN_GetLastError()[0] != '\0') return std::string("error: ") + QRN_GetLastError();
    return {};
}

void teardown() {
    QRN_DeleteNewRGBA();  // it outlives the canvas
    QRN_DeleteImage();
    QRN_IPLExit();
}

// One point of the sweep: the operation with its nth allocation failing, the
// checks of what the failure left, then the follow-up. True once the operation
// ran without reaching n.
template <class Fail>
bool run_point(const Scenario& s, long n, std::vector<uint8_t>& scratch, Fail& fail) {
    QRN_SetLastError("");
    s.setup();
    if (s.target) {
        FILE* f = std::fopen(s.target, "wb");
        if (f) std::fputs("OLD", f), std::fclose(f);
    }
    const std::vector<std::string> files_before = files_here();
    const sweep::Snapshot before = sweep::Snapshot::take(kW, kH, scratch);
    QRN_SetLastError("");
    g_seen = 0, g_fail_at = n, g_injected = false, g_armed = true;
    const int64_t result = s.op();
    g_armed = false;
    const std::string err = QRN_GetLastError();
    if (!g_injected) {
        if (!err.empty()) fail(s, n, "no failure injected, yet \"" + err + "\"");
        teardown();
        return true;
    }
    if (err.empty() ? !s.fallback : err != s.text && !(s.other_text && err == s.other_text))
        fail(s, n, "last error \"" + err + "\", expected \"" + s.text + "\"");
    if (s.checks_result && !err.empty() && result != 0)
        fail(s, n, "result " + std::to_string(result));
    if (s.target) {
        const std::string left = check_target(s, result, files_before);
        if (!left.empty()) fail(s, n, left);
    }
    if (s.keeps == Keeps::Always || s.keeps == Keeps::Pixels ||
        (s.keeps == Keeps::OnText && !err.empty())) {
        const std::string changed =
            before.differs(sweep::Snapshot::take(kW, kH, scratch), s.keeps != Keeps::Pixels);
        if (!changed.empty()) fail(s, n, "the failure changed the " + changed);
    }
    teardown();
    const std::string next = follow_up();
    if (!next.empty()) fail(s, n, "follow-up: " + next);
    teardown();
    return false;
}

}  // namespace

int main(int argc, char** argv) {
    void* warm[4];
    backtrace(warm, 4);  // loads what it needs now, not inside a traced point
    const char* only = argc == 3 && std::strcmp(argv[1], "--only") == 0 ? argv[2] : nullptr;
    char dir[] = "/tmp/qrn-alloc-XXXXXX";
    if (!mkdtemp(dir) || chdir(dir) != 0) return 1;
    std::vector<uint8_t> scratch(size_t(64) << 10);
    long points = 0;
    int failures = 0;
    auto fail = [&](const Scenario& s, long n, const std::string& what) {
        if (++failures <= 60) std::fprintf(stderr, "FAIL %s, allocation %ld: %s\n", s.name, n, what.c_str());
    };
    for (const Scenario& s : kScenarios) {
        if (only && !std::strstr(s.name, only)) continue;
        // One unarmed run first: whatever is made once per process is made now.
        s.setup();
        s.op();
        teardown();
        follow_up();
        teardown();
        const long baseline = g_live;
        long n = 0;
        for (;; ++n) {
            ++points;
            const bool completed = run_point(s, n, scratch, fail);
            // Every object of the run is gone by now: what is left is the engine's.
            if (g_live != baseline) fail(s, n, std::to_string(g_live - baseline) + " blocks leaked");
            if (completed) break;
            if (n > 100000) {
                fail(s, n, "never completes");
                break;
            }
        }
        std::printf("  %-50s %6ld allocations\n", s.name, n);
    }
    std::printf("alloc sweep: %ld (scenario, n) points, %d failures\n", points, failures);
    std::string cleanup = std::string("rm -rf '") + dir + "'";
    if (std::system(cleanup.c_str()) != 0) return 1;
    return failures ? 1 : 0;
}
