// The codec layer against bare libpng and libjpeg-turbo doing the same job on
// the same painted picture, and thumbnails against libvips (one thread, no
// cache). Ratios from bench/ratios.py; PNG file sizes as the "bytes" counter.
#include <benchmark/benchmark.h>
#include <png.h>
#include <unistd.h>
#include <vips/vips.h>
// jpeglib.h needs FILE and size_t declared before it.
// clang-format off
#include <cstdio>
#include <jpeglib.h>
// clang-format on

#include <cmath>
#include <csetjmp>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "imaginglib/codecs/codecs.h"
#include "imaginglib/codecs/writers.h"
#include "composite/merge.h"
#include "engine/canvas.h"
#include "engine/engine_state.h"
#include "engine/layers.h"
#include "engine/pixels.h"
#include "io/image_files.h"
#include "seeded.h"

namespace {

using namespace qrn::imaginglib::codecs;
using Bytes = std::vector<uint8_t>;

// Gradients under a few hundred soft dabs with a little grain: compresses
// like a painting, not like noise or a flat fill.
Bytes painted(int w, int h, int bpp) {
    Bytes px(size_t(w) * size_t(h) * size_t(bpp));
    qrn::bench::Seeded rng{12345};
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            uint8_t* p = &px[(size_t(y) * size_t(w) + size_t(x)) * size_t(bpp)];
            const int grain = rng.below(5) - 2;
            p[0] = uint8_t(std::clamp(x * 255 / w + grain, 0, 255));
            p[1] = uint8_t(std::clamp(y * 255 / h + grain, 0, 255));
            p[2] = uint8_t(((x + y) >> 5) & 255);
            if (bpp == 4) p[3] = 255;
        }
    for (int d = 0; d < 300; ++d) {
        const int cx = rng.below(w), cy = rng.below(h), r = 20 + rng.below(100 * w / 4096 + 1);
        const uint8_t c[3] = {uint8_t(rng.below(256)), uint8_t(rng.below(256)), uint8_t(rng.below(256))};
        for (int y = std::max(0, cy - r); y < std::min(h, cy + r); ++y)
            for (int x = std::max(0, cx - r); x < std::min(w, cx + r); ++x) {
                const int dd = (x - cx) * (x - cx) + (y - cy) * (y - cy);
                if (dd >= r * r) continue;
                const int a = 256 - dd * 256 / (r * r);  // soft edge
                uint8_t* p = &px[(size_t(y) * size_t(w) + size_t(x)) * size_t(bpp)];
                for (int k = 0; k < 3; ++k) p[k] = uint8_t((p[k] * (256 - a) + c[k] * a) >> 8);
            }
    }
    return px;
}

constexpr int kSide = 4096;

const Bytes& rgba() {
    static const Bytes px = painted(kSide, kSide, 4);
    return px;
}
const Bytes& rgb() {
    static const Bytes px = painted(kSide, kSide, 3);
    return px;
}

Bytes encode(Format f, const Bytes& px, int w, int h, int bpp, const WriteOptions& o = {}) {
    MemoryDest d;
    write_image(f, d, px.data(), w, h, bpp, int64_t(w) * bpp, o);
    return d.bytes;
}

WriteOptions jpeg97() {
    WriteOptions o;
    o.jpeg_quality = 97;
    o.jpeg_full_chroma = true;
    return o;
}

const Bytes& png_file() {
    static const Bytes f = encode(Format::Png, rgba(), kSide, kSide, 4);
    return f;
}
const Bytes& jpeg_file() {
    static const Bytes f = encode(Format::Jpeg, rgb(), kSide, kSide, 3, jpeg97());
    return f;
}

void rate(benchmark::State& s) { s.SetBytesProcessed(int64_t(s.iterations()) * kSide * kSide * 4); }

// ---- PNG ----

struct PngMem {
    const Bytes* in;
    size_t pos;
    Bytes* out;
};
void png_read_mem(png_structp p, png_bytep out, size_t n) {
    auto* m = static_cast<PngMem*>(png_get_io_ptr(p));
    std::memcpy(out, m->in->data() + m->pos, n);
    m->pos += n;
}
void png_write_mem(png_structp p, png_bytep data, size_t n) {
    auto* m = static_cast<PngMem*>(png_get_io_ptr(p));
    m->out->insert(m->out->end(), data, data + n);
}

// The readers return a new block, and on this machine first touching 64 MB
// of fresh pages costs several times the decode itself; the peers allocate
// theirs the same way so that the ratio is the codec layer's own cost.
uint8_t* fresh_block() { return static_cast<uint8_t*>(std::malloc(size_t(kSide) * kSide * 4)); }

// Peer: libpng to RGBA with the same transformations, rows straight into place.
void BM_PngRead_Peer(benchmark::State& s) {
    std::vector<png_bytep> rows(kSide);
    for (auto _ : s) {
        uint8_t* out = fresh_block();
        for (int y = 0; y < kSide; ++y) rows[size_t(y)] = out + size_t(y) * kSide * 4;
        png_structp p = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
        png_infop info = png_create_info_struct(p);
        PngMem m{&png_file(), 0, nullptr};
        png_set_read_fn(p, &m, png_read_mem);
        png_read_info(p, info);
        png_set_expand(p);
        png_set_strip_16(p);
        png_set_gray_to_rgb(p);
        png_set_add_alpha(p, 0xFF, PNG_FILLER_AFTER);
        png_read_update_info(p, info);
        png_read_image(p, rows.data());
        png_read_end(p, nullptr);
        png_destroy_read_struct(&p, &info, nullptr);
        benchmark::DoNotOptimize(out);
        std::free(out);
    }
    rate(s);
}

void BM_PngRead_Ours(benchmark::State& s) {
    for (auto _ : s) {
        int32_t w = 0, h = 0;
        uint8_t* px = decode_png(png_file().data(), png_file().size(), &w, &h);
        benchmark::DoNotOptimize(px);
        std::free(px);
    }
    rate(s);
}

// Peer: libpng's defaults (level 6, adaptive filters).
void BM_PngWrite_Peer(benchmark::State& s) {
    std::vector<png_bytep> rows(kSide);
    Bytes file;
    for (int y = 0; y < kSide; ++y)
        rows[size_t(y)] = const_cast<png_bytep>(rgba().data()) + size_t(y) * kSide * 4;
    for (auto _ : s) {
        file.clear();
        png_structp p = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
        png_infop info = png_create_info_struct(p);
        PngMem m{nullptr, 0, &file};
        png_set_write_fn(p, &m, png_write_mem, nullptr);
        png_set_IHDR(p, info, kSide, kSide, 8, PNG_COLOR_TYPE_RGB_ALPHA, PNG_INTERLACE_NONE,
                     PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
        png_write_info(p, info);
        png_write_image(p, rows.data());
        png_write_end(p, nullptr);
        png_destroy_write_struct(&p, &info);
    }
    rate(s);
    s.counters["bytes"] = double(file.size());
}

void BM_PngWrite_Ours(benchmark::State& s) {
    size_t bytes = 0;
    for (auto _ : s) bytes = encode(Format::Png, rgba(), kSide, kSide, 4).size();
    rate(s);
    s.counters["bytes"] = double(bytes);
}

// ---- JPEG ----

void BM_JpegRead_Peer(benchmark::State& s) {
    for (auto _ : s) {
        uint8_t* out = fresh_block();
        jpeg_decompress_struct c;
        jpeg_error_mgr err;
        c.err = jpeg_std_error(&err);
        jpeg_create_decompress(&c);
        jpeg_mem_src(&c, jpeg_file().data(), jpeg_file().size());
        jpeg_read_header(&c, TRUE);
        c.out_color_space = JCS_EXT_RGBA;
        jpeg_start_decompress(&c);
        while (c.output_scanline < c.output_height) {
            JSAMPROW row = out + size_t(c.output_scanline) * kSide * 4;
            jpeg_read_scanlines(&c, &row, 1);
        }
        jpeg_finish_decompress(&c);
        jpeg_destroy_decompress(&c);
        benchmark::DoNotOptimize(out);
        std::free(out);
    }
    rate(s);
}

void BM_JpegRead_Ours(benchmark::State& s) {
    for (auto _ : s) {
        int32_t w = 0, h = 0;
        uint8_t* px = decode_jpeg(jpeg_file().data(), jpeg_file().size(), &w, &h);
        benchmark::DoNotOptimize(px);
        std::free(px);
    }
    rate(s);
}

// Peer: quality 97, no chroma subsampling, RGB rows, as our page writer.
void BM_JpegWrite_Peer(benchmark::State& s) {
    for (auto _ : s) {
        jpeg_compress_struct c;
        jpeg_error_mgr err;
        c.err = jpeg_std_error(&err);
        jpeg_create_compress(&c);
        unsigned char* mem = nullptr;
        unsigned long len = 0;
        jpeg_mem_dest(&c, &mem, &len);
        c.image_width = c.image_height = kSide;
        c.input_components = 3;
        c.in_color_space = JCS_RGB;
        jpeg_set_defaults(&c);
        jpeg_set_quality(&c, 97, TRUE);
        for (int k = 0; k < c.num_components; ++k)
            c.comp_info[k].h_samp_factor = c.comp_info[k].v_samp_factor = 1;
        jpeg_start_compress(&c, TRUE);
        while (c.next_scanline < c.image_height) {
            JSAMPROW row = const_cast<JSAMPROW>(rgb().data()) + size_t(c.next_scanline) * kSide * 3;
            jpeg_write_scanlines(&c, &row, 1);
        }
        jpeg_finish_compress(&c);
        jpeg_destroy_compress(&c);
        std::free(mem);
    }
    rate(s);
}

void BM_JpegWrite_Ours(benchmark::State& s) {
    for (auto _ : s) benchmark::DoNotOptimize(encode(Format::Jpeg, rgb(), kSide, kSide, 3, jpeg97()));
    rate(s);
}

// ---- Thumbnails of a 4000 x 3000 picture; argument 0 JPEG, 1 PNG ----

std::string thumbnail_path(int64_t png) {
    const auto dir = std::filesystem::temp_directory_path();
    return (dir / ("qrn_bench_thumb_" + std::to_string(::getpid()) + (png ? ".png" : ".jpg")))
        .string();
}

std::string thumbnail_source(int64_t png) {
    const std::string path = thumbnail_path(png);
    if (!std::filesystem::exists(path)) {
        const Bytes px = painted(4000, 3000, 3);
        WriteOptions o;
        o.jpeg_quality = 90;
        FileDest d(path.c_str());
        write_image(png ? Format::Png : Format::Jpeg, d, px.data(), 4000, 3000, 3, 4000 * 3, o);
        d.commit();
    }
    return path;
}

void BM_Thumbnail_Peer(benchmark::State& s) {
    const std::string src = thumbnail_source(s.range(0));
    vips_concurrency_set(1);
    vips_cache_set_max(0);
    for (auto _ : s) {
        VipsImage* out = nullptr;
        if (vips_thumbnail(src.c_str(), &out, 100, "height", 100, nullptr) != 0) {
            s.SkipWithError("vips_thumbnail failed");
            break;
        }
        size_t n = 0;
        void* px = vips_image_write_to_memory(out, &n);
        g_free(px);
        g_object_unref(out);
    }
    s.SetItemsProcessed(s.iterations());
}

void BM_Thumbnail_Ours(benchmark::State& s) {
    const std::string src = thumbnail_source(s.range(0));
    const std::string dst = src + ".thumb.bmp";
    for (auto _ : s) qrn::io::make_thumbnail(src.c_str(), dst.c_str());
    std::filesystem::remove(dst);
    s.SetItemsProcessed(s.iterations());
}

// ---- Page save ----

// Paper and two painted layers (Multiply at 60 %, Normal at 100 %) on a 4096² canvas.
qrn::EngineState& page_state() {
    static std::unique_ptr<qrn::EngineState> st = [] {
        auto p = std::make_unique<qrn::EngineState>();
        qrn::canvas::create_image(*p, nullptr, kSide, kSide, 8, 0);
        const Bytes px = rgba();
        for (int32_t slot = 1; slot <= 3; ++slot) {
            qrn::layers::create_layer(*p, slot, kSide, kSide);
            qrn::layers::set_layer_options(*p, slot, 1, 0, slot == 2 ? 60 : 100,
                                           slot == 2 ? "Multiply" : "Normal");
        }
        // Slot 3 keeps a transparent half, so the merge has real work on it.
        Bytes top = px;
        for (size_t i = 3; i < top.size() / 2; i += 4) top[i] = 0;
        qrn::pixels::load_rgba32_layer(*p, px.data(), int64_t(kSide) * 4, 2, kSide, kSide, false);
        qrn::pixels::load_rgba32_layer(*p, top.data(), int64_t(kSide) * 4, 3, kSide, kSide, false);
        return p;
    }();
    return *st;
}

std::string page_path() { return "/tmp/qrn-page-bench-" + std::to_string(getpid()) + ".png"; }

// The whole-image writer on the already merged page.
void BM_PageSave_Peer(benchmark::State& s) {
    qrn::EngineState& st = page_state();
    std::vector<uint16_t> page(size_t(kSide) * kSide * 4);
    qrn::composite::merge(st, page.data());
    Bytes merged(page.size());
    for (size_t i = 0; i < page.size(); ++i) merged[i] = uint8_t(page[i] >> 8);
    const std::string path = page_path();
    for (auto _ : s)
        qrn::io::write_rgba32(merged.data(), kSide, kSide, path.c_str(), ".png", 72);
    std::filesystem::remove(path);
    rate(s);
}

// Merging row by row while writing, as QRN_SavePageToFileRGB32 does.
void BM_PageSave_Ours(benchmark::State& s) {
    qrn::EngineState& st = page_state();
    const std::string path = page_path();
    for (auto _ : s) qrn::io::save_page(st, path.c_str(), ".png", 72, 4);
    std::filesystem::remove(path);
    rate(s);
}

BENCHMARK(BM_PngRead_Peer)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PngRead_Ours)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PngWrite_Peer)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PngWrite_Ours)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_JpegRead_Peer)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_JpegRead_Ours)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_JpegWrite_Peer)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_JpegWrite_Ours)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Thumbnail_Peer)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Thumbnail_Ours)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PageSave_Peer)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_PageSave_Ours)->Unit(benchmark::kMillisecond)->Iterations(3);

}  // namespace

int main(int argc, char** argv) {
    if (VIPS_INIT(argv[0])) return 1;
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    for (int png = 0; png <= 1; ++png) std::filesystem::remove(thumbnail_path(png));
    vips_shutdown();
    return 0;
}
