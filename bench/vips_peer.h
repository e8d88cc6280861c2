// libvips as a benchmark peer: one thread and no operation cache, so each
// iteration computes the whole picture, written to memory as ours is.
#pragma once
#include <benchmark/benchmark.h>
#include <vips/vips.h>

namespace qrn::bench {

// op(in) gives the operation's output image, null when it fails. Takes `in`.
template <class Op>
void run_vips(benchmark::State& s, VipsImage* in, Op op) {
    vips_concurrency_set(1);
    vips_cache_set_max(0);
    for (auto _ : s) {
        VipsImage* out = op(in);
        size_t n = 0;
        void* px = out ? vips_image_write_to_memory(out, &n) : nullptr;
        if (!px) {
            s.SkipWithError("libvips failed");
            if (out) g_object_unref(out);
            break;
        }
        g_free(px);
        g_object_unref(out);
    }
    g_object_unref(in);
}

}  // namespace qrn::bench
