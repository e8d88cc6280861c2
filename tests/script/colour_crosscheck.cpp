// Test helper for crosscheck_colorsys.py: reads Python colorsys results for the
// 65,536 colours with one red value and compares our HSV and HSL conversions
// with them. The comparison lives here so that the Python side spends its time
// in colorsys only.
//
// Usage: colour_crosscheck RED < records
// A record per colour, green outer and blue inner, as 12 native doubles:
//   rgb_to_hsv (h, s, v), hsv_to_rgb of those (r, g, b),
//   rgb_to_hls (h, l, s), hls_to_rgb of those (r, g, b).
// Prints "red R checked N mismatches M hsv_exact E hsl_exact E"; exit 1 on any mismatch.
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "script/colour_spaces.h"

namespace {

using namespace qrn::script;

// Forward results differ from colorsys only by rounding (x / 255 against our
// x * 0.00392156862745098, and the order of a few operations).
constexpr double kForwardTolerance = 1e-12;
// Edge of an integer within which a truncated byte may fall either side.
constexpr double kTruncationEdge = 1e-9;

bool near(double a, double b) { return std::fabs(a - b) <= kForwardTolerance; }

// Our hue in degrees against colorsys's in turns, around the circle.
bool same_hue(double degrees, double turns) {
    double d = std::fabs(degrees / 360 - turns);
    if (d > 0.5) d = 1 - d;
    return d <= kForwardTolerance;
}

// Our bytes truncate; colorsys returns the real value. A byte passes when it is
// the truncation of the reference, either side of an integer the reference
// meets to within rounding.
bool within_truncation(uint8_t ours, double ref) {
    const double x = ref * 255;
    return ours >= std::floor(x - kTruncationEdge) && ours <= std::floor(x + kTruncationEdge);
}

struct Report {
    long mismatches = 0;
    void fail(const char* what, int r, int g, int b, const double* ref, double o0, double o1,
              double o2) {
        if (++mismatches <= 5)
            std::fprintf(stderr,
                         "%s (%d, %d, %d): ours %.17g %.17g %.17g, colorsys %.17g %.17g %.17g\n",
                         what, r, g, b, o0, o1, o2, ref[0], ref[1], ref[2]);
    }
};

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: colour_crosscheck RED < records\n");
        return 2;
    }
    const int red = std::atoi(argv[1]);
    constexpr size_t kRecord = 12;
    std::vector<double> in(65536 * kRecord);
    if (std::fread(in.data(), sizeof(double), in.size(), stdin) != in.size()) {
        std::fprintf(stderr, "red %d: short input\n", red);
        return 2;
    }
    Report rep;
    long hsv_exact = 0, hsl_exact = 0;
    for (int g = 0; g < 256; ++g)
        for (int b = 0; b < 256; ++b) {
            const double* ref = in.data() + (size_t(g) * 256 + size_t(b)) * kRecord;

            const Hsv hsv = rgb_to_hsv(red, g, b);
            const bool grey = ref[1] == 0;
            const bool hue_ok = grey ? (hsv.h == -1 && hsv.s == 0) : same_hue(hsv.h, ref[0]);
            if (!hue_ok || !near(hsv.s, ref[1]) || !near(hsv.v, ref[2]))
                rep.fail("rgb_to_hsv", red, g, b, ref, hsv.h, hsv.s, hsv.v);
            const Rgb8 back = hsv_to_rgb(hsv.h, hsv.s, hsv.v);
            if (!within_truncation(back.r, ref[3]) || !within_truncation(back.g, ref[4]) ||
                !within_truncation(back.b, ref[5]))
                rep.fail("hsv_to_rgb", red, g, b, ref + 3, back.r, back.g, back.b);
            hsv_exact += back.r == red && back.g == g && back.b == b;

            // colorsys orders HLS as (h, l, s).
            const Hsl hsl = rgb_to_hsl(red, g, b);
            const double ref_hsl[3] = {ref[6], ref[8], ref[7]};
            const bool hsl_hue_ok = ref[8] == 0 ? hsl.h == 0 : same_hue(hsl.h, ref[6]);
            if (!hsl_hue_ok || !near(hsl.s, ref[8]) || !near(hsl.l, ref[7]))
                rep.fail("rgb_to_hsl", red, g, b, ref_hsl, hsl.h, hsl.s, hsl.l);
            const Rgb8 back_l = hsl_to_rgb(hsl.h, hsl.s, hsl.l);
            if (!within_truncation(back_l.r, ref[9]) || !within_truncation(back_l.g, ref[10]) ||
                !within_truncation(back_l.b, ref[11]))
                rep.fail("hsl_to_rgb", red, g, b, ref + 9, back_l.r, back_l.g, back_l.b);
            hsl_exact += back_l.r == red && back_l.g == g && back_l.b == b;
        }
    std::printf("red %d checked 65536 mismatches %ld hsv_exact %ld hsl_exact %ld\n", red,
                rep.mismatches, hsv_exact, hsl_exact);
    return rep.mismatches == 0 ? 0 : 1;
}
