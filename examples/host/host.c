/* A small paint host in C99: makes a canvas with paper and a layer, paints one
 * brush stroke on the layer, reads the layer back and writes it over white as a
 * binary PPM. Every result the engine gives is checked; on any failure it says
 * which call failed, writes no picture and exits with status 1.
 *
 *   quornel-example-host OUT.ppm [--slot N]    (N: the painting layer, default 2) */
#include <quornel/quornel.h>

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

enum { W = 256, H = 160 };

static int failed(const char* call, const char* detail) {
    const char* engine = QRN_GetLastError();
    fprintf(stderr, "example host: %s failed: %s%s%s\n", call, detail,
            engine[0] ? "; engine says: " : "", engine);
    return 0;
}

/* A void call succeeded when it left no error text; the engine never clears it. */
static int no_error(const char* call) {
    return QRN_GetLastError()[0] == '\0' || failed(call, "an error was reported");
}

static int paint(int32_t slot, uint8_t* rgba) {
    if (QRN_IPLInit(0) == 0) return failed("QRN_IPLInit", "returned 0");
    QRN_CreateImage(NULL, W, H, 64, 0);
    if (!no_error("QRN_CreateImage")) return 0;
    if (QRN_CreateLayer(1, W, H) != 1) return failed("QRN_CreateLayer(1)", "returned 0");
    if (QRN_CreateLayer(slot, W, H) != 1) return failed("QRN_CreateLayer", "returned 0");
    QRN_SetLayerOptions(slot, 1, 0, 100, "Normal");
    QRN_SetLayer(slot);
    if (QRN_GetLayerNum() != slot) return failed("QRN_SetLayer", "the layer is not current");
    if (QRN_GetLayerCount() != 2) return failed("QRN_GetLayerCount", "not two layers");

    /* A soft round brush with a little grit; a fixed seed repeats the stroke exactly. */
    QRN_SetRandomSeed(11);
    QRN_SetSize(28);
    QRN_SetTool(1.0f, 3, 200, 220, 128, 8, 4, 0, 0, 0, 0, 0, 0, "", "", 0);
    QRN_SetAlpha(90);
    QRN_SetDensity(256);
    for (int i = 0; i <= 50; ++i) {
        const int x = 24 + i * 4, y = 40 + (i * (50 - i)) / 12;
        QRN_DrawDabGrit(x, y, 0x3000 + i * 0x300, 0x5000, 0xB000 - i * 0x200);
        QRN_DecDrawingLength();
    }
    if (!no_error("QRN_DrawDabGrit")) return 0;

    if (QRN_GetRGBA32Layer(rgba, W * 4, slot) != H)
        return failed("QRN_GetRGBA32Layer", "did not read every row");
    int painted = 0;
    for (int i = 0; i < W * H; ++i) painted += rgba[i * 4 + 3] != 0;
    if (painted == 0) return failed("QRN_DrawDabGrit", "the stroke painted nothing");
    return 1;
}

static int write_ppm(const char* path, const uint8_t* rgba) {
    FILE* f = fopen(path, "wb");
    if (!f) return failed("fopen", path);
    int ok = fprintf(f, "P6\n%d %d\n255\n", W, H) > 0;
    for (int i = 0; ok && i < W * H; ++i) {
        const uint8_t* p = rgba + i * 4;
        unsigned char rgb[3];
        for (int c = 0; c < 3; ++c) /* over white paper */
            rgb[c] = (unsigned char)((p[c] * p[3] + 255 * (255 - p[3]) + 127) / 255);
        ok = fwrite(rgb, 1, 3, f) == 3;
    }
    if (fclose(f) != 0) ok = 0;
    if (!ok) {
        remove(path);
        return failed("writing", path);
    }
    return 1;
}

int main(int argc, char** argv) {
    if (argc != 2 && !(argc == 4 && strcmp(argv[2], "--slot") == 0)) {
        fprintf(stderr, "usage: %s OUT.ppm [--slot N]\n", argv[0]);
        return 2;
    }
    const int32_t slot = argc == 4 ? (int32_t)strtol(argv[3], NULL, 10) : 2;
    uint8_t* rgba = malloc((size_t)W * H * 4);
    if (!rgba) return failed("malloc", "out of memory"), 1;
    const int ok = paint(slot, rgba) && write_ppm(argv[1], rgba);
    QRN_DeleteImage();
    QRN_IPLExit();
    free(rgba);
    if (ok) printf("example host: wrote %s (%dx%d)\n", argv[1], W, H);
    return ok ? 0 : 1;
}
