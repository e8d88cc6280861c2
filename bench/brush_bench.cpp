// Dab throughput on a 4096 x 4096 canvas (maximum brush 512) in dabs and
// footprint pixels a second, against libmypaint's draw_dab on a fixed tiled
// surface of the same size in the same run: same radius (brush size / 2), hard
// round tip, opaque paint, the same seeded strokes kept on the canvas.
// libmypaint runs on one thread like the engine. Entries:
//   BM_Dab_Peer       libmypaint, hardness 1, opaque 1, alpha 1
//   BM_Dab_Plain      mode 32, opacity 100, no grit, no blend (the specialised loop)
//   BM_Dab_PlainSse2  the same, the specialised loop held to SSE2
//   BM_Dab_Plain50    the same at opacity 50: destinations stay partly transparent
//   BM_Dab_Reference  the plain settings through the reference loop
//   BM_Dab_Textured   grit, canvas texture, blend buffer with remix
// Footprint pixels are size x size a dab for every entry, so footprint_px ratios
// are dab-rate ratios.
//
// Smudging: one stroke of 1000 dabs along the same seeded path over the same
// opaque colour bands, a quarter of the size apart:
//   BM_Smudge_Peer    libmypaint's smudge at every dab: get_color over the dab's
//                     radius, the smudge colour mixed half and half with it and
//                     half and half into the brush colour, then draw_dab with it
//   BM_Smudge_Ours    a blend-buffer load from the current layer (strength 128)
//                     before every dab, blend strength 128, remix on
//   BM_Smudge_ReferenceLoad  the same with the per-pixel reference load
#include <benchmark/benchmark.h>
#include <omp.h>

extern "C" {
#include <mypaint-fixed-tiled-surface.h>
#include <mypaint-surface.h>
}

#include <algorithm>
#include <memory>
#include <vector>

#include "brush/blend_buffer.h"
#include "brush/dab.h"
#include "brush/tool.h"
#include "engine/canvas.h"
#include "engine/engine_state.h"
#include "engine/layers.h"
#include "engine/settings.h"
#include "seeded.h"

namespace {

using namespace qrn;

constexpr int kSide = 4096;
constexpr int kMaxBrush = 512;
constexpr int kTextureSlot = 7;
constexpr int kSmudgeSlot = 8;
constexpr int kSmudgeDabs = 1000;
constexpr int kBandWidth = 96;
constexpr int kDabsPerBatch = 64;

using qrn::bench::Seeded;

struct DabAt {
    int x, y;
    uint16_t r, g, b;
};

// The same seeded strokes for every entry of one size: 64 dabs a stroke, a
// quarter of the size apart on a wandering line, one colour a stroke, about
// four canvas coverings in all (at most 4096 dabs).
std::vector<DabAt> dab_list(int size) {
    const int64_t count =
        std::min<int64_t>(4096, std::max<int64_t>(64, 4LL * kSide * kSide / (size * size)));
    std::vector<DabAt> dabs(static_cast<size_t>(count));
    Seeded rng{uint32_t(977 + size)};
    const int lo = size, hi = kSide - size;
    const int step = std::max(1, size / 4);
    int x = 0, y = 0, dx = 0, dy = 0;
    uint16_t r = 0, g = 0, b = 0;
    for (size_t k = 0; k < dabs.size(); ++k) {
        if (k % 64 == 0) {
            x = lo + rng.below(hi - lo), y = lo + rng.below(hi - lo);
            dx = rng.below(2 * step + 1) - step, dy = rng.below(2 * step + 1) - step;
            r = uint16_t(rng.next() & 0xFF00), g = uint16_t(rng.next() & 0xFF00),
            b = uint16_t(rng.next() & 0xFF00);
        }
        if (k % 8 == 0) dx += rng.below(3) - 1, dy += rng.below(3) - 1;
        x += dx, y += dy;
        if (x < lo || x >= hi) dx = -dx, x = std::clamp(x, lo, hi - 1);
        if (y < lo || y >= hi) dy = -dy, y = std::clamp(y, lo, hi - 1);
        dabs[k] = {x, y, r, g, b};
    }
    return dabs;
}

void report(benchmark::State& s, int size, int64_t dabs) {
    s.counters["dabs_per_s"] = benchmark::Counter(double(dabs), benchmark::Counter::kIsRate);
    s.counters["footprint_px"] =
        benchmark::Counter(double(dabs) * size * size, benchmark::Counter::kIsRate);
}

enum class Kind { Plain, PlainSse2, Plain50, Reference, Textured };

// Opaque colour bands across the canvas for the smudge strokes to drag through.
struct Band {
    uint16_t r, g, b;
};
Band band_at(int x, int y) {
    static const Band kBands[] = {{0xE000, 0x2000, 0x1000}, {0x1000, 0x9000, 0xE000},
                                  {0xF000, 0xE000, 0x2000}, {0x3000, 0xB000, 0x3000}};
    return kBands[((x + y / 2) / kBandWidth) % 4];
}

// One canvas for the whole run (the engine state is too large to rebuild per
// entry), with a layer of its own for each kind of entry, so that no entry
// paints over what another left (opacity 50 leaves alpha below 65535 behind).
EngineState& canvas_state() {
    static std::unique_ptr<EngineState> st = [] {
        auto p = std::make_unique<EngineState>();
        canvas::create_image(*p, nullptr, kSide, kSide, kMaxBrush, 0);
        for (int slot = 2; slot <= kTextureSlot; ++slot)
            layers::create_layer(*p, slot, kSide, kSide);
        // A noisy layer gives the canvas texture of the textured entry.
        Seeded rng{4242};
        uint16_t* px = p->canvas.slots[kTextureSlot].pixels.data();
        for (size_t i = 0; i < size_t(kSide) * kSide * 4; ++i) px[i] = uint16_t(rng.next());
        layers::create_layer(*p, kSmudgeSlot, kSide, kSide);
        uint16_t* bands = p->canvas.slots[kSmudgeSlot].pixels.data();
        for (int y = 0; y < kSide; ++y)
            for (int x = 0; x < kSide; ++x) {
                const Band c = band_at(x, y);
                uint16_t* q = bands + (size_t(y) * kSide + x) * 4;
                q[0] = c.r, q[1] = c.g, q[2] = c.b, q[3] = 65535;
            }
        return p;
    }();
    return *st;
}

void set_up(EngineState& st, int size, Kind kind) {
    layers::set_layer(st, 2 + int(kind));
    settings::set_random_seed(st, 1);
    brush::set_size(st, size);
    brush::ToolSettings tool;
    if (kind == Kind::Textured) {
        tool.grit_size = 3;
        tool.grit_coverage = 160;
        tool.grit_fill = 200;
        tool.grit_repeat = 8;
        tool.blend_strength = 128;
        tool.primary_strength = 64;
        tool.blend_remix = 1;
    }
    brush::set_tool(st, tool);
    settings::set_alpha(st.settings, kind == Kind::Plain50 ? 50 : 100);
    settings::set_density(st.settings, 230);
    layers::delete_texture(st);
    if (kind == Kind::Textured) {
        layers::create_texture(st, kTextureSlot);
        Seeded rng{99};
        for (size_t i = 0; i < st.brush.blend.size(); ++i) st.brush.blend[i] = uint16_t(rng.next());
    }
}

void run_engine(benchmark::State& s, Kind kind) {
    const int size = int(s.range(0));
    EngineState& st = canvas_state();
    set_up(st, size, kind);
    const std::vector<DabAt> dabs = dab_list(size);
    const brush::DabPath path = kind == Kind::Reference   ? brush::DabPath::General
                                : kind == Kind::PlainSse2 ? brush::DabPath::Baseline
                                                          : brush::DabPath::Auto;
    // One pass first, so every entry measures painting over paint.
    for (const DabAt& d : dabs) brush::draw_dab(st, d.x, d.y, d.r, d.g, d.b, path);
    size_t next = 0;
    int64_t drawn = 0;
    for (auto _ : s) {
        for (int k = 0; k < kDabsPerBatch; ++k, next = (next + 1) % dabs.size()) {
            const DabAt& d = dabs[next];
            brush::draw_dab(st, d.x, d.y, d.r, d.g, d.b, path);
            brush::dec_drawing_length(st);
        }
        drawn += kDabsPerBatch;
        benchmark::ClobberMemory();
    }
    report(s, size, drawn);
}

// Peer: libmypaint queues dabs per tile and renders them in end_atomic, so a
// batch is one begin/end pair.
void BM_Dab_Peer(benchmark::State& s) {
    const int size = int(s.range(0));
    omp_set_num_threads(1);
    static MyPaintFixedTiledSurface* surface = mypaint_fixed_tiled_surface_new(kSide, kSide);
    MyPaintSurface* surf = mypaint_fixed_tiled_surface_interface(surface);
    const std::vector<DabAt> dabs = dab_list(size);
    const float radius = float(size) / 2;
    const auto draw = [&](const DabAt& d) {
        mypaint_surface_draw_dab(surf, float(d.x), float(d.y), radius, d.r / 65535.0f,
                                 d.g / 65535.0f, d.b / 65535.0f, 1.0f, 1.0f, 1.0f, 1.0f, 0.0f, 0.0f,
                                 0.0f);
    };
    mypaint_surface_begin_atomic(surf);
    for (const DabAt& d : dabs) draw(d);
    mypaint_surface_end_atomic(surf, nullptr);
    size_t next = 0;
    int64_t drawn = 0;
    for (auto _ : s) {
        mypaint_surface_begin_atomic(surf);
        for (int k = 0; k < kDabsPerBatch; ++k, next = (next + 1) % dabs.size()) draw(dabs[next]);
        mypaint_surface_end_atomic(surf, nullptr);
        drawn += kDabsPerBatch;
    }
    report(s, size, drawn);
}

// One smudge stroke: a wandering path, a quarter of the size between dabs.
std::vector<DabAt> smudge_path(int size) {
    std::vector<DabAt> dabs(kSmudgeDabs);
    Seeded rng{uint32_t(31337 + size)};
    const int lo = size, hi = kSide - size, step = std::max(1, size / 4);
    int x = kSide / 2, y = kSide / 2, dx = step, dy = 0;
    for (DabAt& d : dabs) {
        if (rng.below(8) == 0) dx += rng.below(3) - 1, dy += rng.below(3) - 1;
        dx = std::clamp(dx, -step, step), dy = std::clamp(dy, -step, step);
        if (dx == 0 && dy == 0) dx = step;
        x += dx, y += dy;
        if (x < lo || x >= hi) dx = -dx, x = std::clamp(x, lo, hi - 1);
        if (y < lo || y >= hi) dy = -dy, y = std::clamp(y, lo, hi - 1);
        d = {x, y, 0x2000, 0x4000, 0xC000};
    }
    return dabs;
}

void run_smudge(benchmark::State& s, brush::LoadPath load_path) {
    const int size = int(s.range(0));
    EngineState& st = canvas_state();
    layers::set_layer(st, kSmudgeSlot);
    settings::set_random_seed(st, 1);
    brush::set_size(st, size);
    brush::ToolSettings tool;
    tool.blend_strength = 128;
    tool.blend_remix = 1;
    brush::set_tool(st, tool);
    settings::set_alpha(st.settings, 100);
    settings::set_density(st.settings, 256);
    layers::delete_texture(st);
    const std::vector<DabAt> path = smudge_path(size);
    int64_t drawn = 0;
    for (auto _ : s) {
        for (const DabAt& d : path) {
            settings::set_colour16(st.settings, d.r, d.g, d.b);
            brush::load_blend(st, d.x, d.y, layers::current_view(st), 128, false, load_path);
            brush::draw_dab(st, d.x, d.y, d.r, d.g, d.b);
        }
        drawn += kSmudgeDabs;
        benchmark::ClobberMemory();
    }
    report(s, size, drawn);
}

void BM_Smudge_Ours(benchmark::State& s) { run_smudge(s, brush::LoadPath::Auto); }
void BM_Smudge_ReferenceLoad(benchmark::State& s) { run_smudge(s, brush::LoadPath::Reference); }

// The same bands written straight into the surface's tiles: 15-bit fixed point,
// premultiplied (opaque, so the colour as it is).
void fill_bands(MyPaintSurface* surf) {
    auto* tiled = reinterpret_cast<MyPaintTiledSurface*>(surf);
    const int t = tiled->tile_size;
    for (int ty = 0; ty < kSide / t; ++ty)
        for (int tx = 0; tx < kSide / t; ++tx) {
            MyPaintTileRequest req;
            mypaint_tile_request_init(&req, 0, tx, ty, FALSE);
            mypaint_tiled_surface_tile_request_start(tiled, &req);
            for (int y = 0; y < t; ++y)
                for (int x = 0; x < t; ++x) {
                    const Band c = band_at(tx * t + x, ty * t + y);
                    uint16_t* q = req.buffer + (size_t(y) * t + x) * 4;
                    q[0] = uint16_t(c.r >> 1), q[1] = uint16_t(c.g >> 1), q[2] = uint16_t(c.b >> 1);
                    q[3] = 1 << 15;
                }
            mypaint_tiled_surface_tile_request_end(tiled, &req);
        }
}

void BM_Smudge_Peer(benchmark::State& s) {
    const int size = int(s.range(0));
    omp_set_num_threads(1);
    static MyPaintFixedTiledSurface* surface = [] {
        MyPaintFixedTiledSurface* p = mypaint_fixed_tiled_surface_new(kSide, kSide);
        fill_bands(mypaint_fixed_tiled_surface_interface(p));
        return p;
    }();
    MyPaintSurface* surf = mypaint_fixed_tiled_surface_interface(surface);
    const std::vector<DabAt> path = smudge_path(size);
    const float radius = float(size) / 2;
    int64_t drawn = 0;
    for (auto _ : s) {
        float sr = 0, sg = 0, sb = 0;
        bool first = true;
        mypaint_surface_begin_atomic(surf);
        for (const DabAt& d : path) {
            float r, g, b, a;
            mypaint_surface_get_color(surf, float(d.x), float(d.y), radius, &r, &g, &b, &a);
            if (first) sr = r, sg = g, sb = b, first = false;
            sr = 0.5f * sr + 0.5f * r, sg = 0.5f * sg + 0.5f * g, sb = 0.5f * sb + 0.5f * b;
            const float cr = 0.5f * (d.r / 65535.0f) + 0.5f * sr;
            const float cg = 0.5f * (d.g / 65535.0f) + 0.5f * sg;
            const float cb = 0.5f * (d.b / 65535.0f) + 0.5f * sb;
            mypaint_surface_draw_dab(surf, float(d.x), float(d.y), radius, cr, cg, cb, 1.0f, 1.0f,
                                     1.0f, 1.0f, 0.0f, 0.0f, 0.0f);
        }
        mypaint_surface_end_atomic(surf, nullptr);
        drawn += kSmudgeDabs;
    }
    report(s, size, drawn);
}

void BM_Dab_Plain(benchmark::State& s) { run_engine(s, Kind::Plain); }
void BM_Dab_PlainSse2(benchmark::State& s) { run_engine(s, Kind::PlainSse2); }
void BM_Dab_Plain50(benchmark::State& s) { run_engine(s, Kind::Plain50); }
void BM_Dab_Reference(benchmark::State& s) { run_engine(s, Kind::Reference); }
void BM_Dab_Textured(benchmark::State& s) { run_engine(s, Kind::Textured); }

}  // namespace

BENCHMARK(BM_Dab_Peer)->Arg(8)->Arg(32)->Arg(128)->Arg(512);
// 64 as well: the smudge stroke's size, for its rate against the plain dab.
BENCHMARK(BM_Dab_Plain)->Arg(8)->Arg(32)->Arg(64)->Arg(128)->Arg(512);
BENCHMARK(BM_Dab_PlainSse2)->Arg(8)->Arg(32)->Arg(128)->Arg(512);
BENCHMARK(BM_Dab_Plain50)->Arg(8)->Arg(32)->Arg(128)->Arg(512);
BENCHMARK(BM_Dab_Reference)->Arg(8)->Arg(32)->Arg(128)->Arg(512);
BENCHMARK(BM_Dab_Textured)->Arg(8)->Arg(32)->Arg(128)->Arg(512);
BENCHMARK(BM_Smudge_Peer)->Arg(64);
BENCHMARK(BM_Smudge_Ours)->Arg(64);
BENCHMARK(BM_Smudge_ReferenceLoad)->Arg(64);

BENCHMARK_MAIN();
