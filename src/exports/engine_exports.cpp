// Settings, last error and system utilities.
#include <cstdlib>
#include <cstring>

#include "engine/engine_state.h"
#include "engine/settings.h"
#include "exports/guard.h"
#include "platform/memory_status.h"
#include "platform/system_info.h"
#include "quornel/quornel.h"

using namespace qrn;

namespace {
Settings& cfg() { return engine().settings; }
}  // namespace

extern "C" {

QRN_API void QRN_CALL QRN_SetColor(int32_t r, int32_t g, int32_t b) { settings::set_colour(cfg(), r, g, b); }
QRN_API void QRN_CALL QRN_SetColor16(int32_t r, int32_t g, int32_t b) { settings::set_colour16(cfg(), r, g, b); }
QRN_API void QRN_CALL QRN_SetColorBanks(int32_t r0, int32_t g0, int32_t b0, int32_t r1, int32_t g1,
                                        int32_t b1, int32_t r2, int32_t g2, int32_t b2, int32_t r3,
                                        int32_t g3, int32_t b3) {
    const int32_t rgb[12] = {r0, g0, b0, r1, g1, b1, r2, g2, b2, r3, g3, b3};
    settings::set_colour_banks(cfg(), rgb);
}
QRN_API void QRN_CALL QRN_SetBlendStrength(int32_t v) { settings::set_blend_strength(cfg(), v); }
QRN_API void QRN_CALL QRN_SetBlendPrimaryColorStrength(int32_t v) { settings::set_primary_strength(cfg(), v); }
QRN_API void QRN_CALL QRN_SetBlendRemix(int32_t flag) { cfg().blend_remix = uint8_t(flag); }
QRN_API void QRN_CALL QRN_SetDensity(int32_t v) { settings::set_density(cfg(), v); }
QRN_API void QRN_CALL QRN_SetAlpha(int32_t v) { settings::set_alpha(cfg(), v); }
QRN_API void QRN_CALL QRN_SetColorVary(int32_t v) { cfg().colour_vary = v; }
QRN_API void QRN_CALL QRN_SetAlphaLocked(int32_t v) { cfg().alpha_locked = v; }
QRN_API void QRN_CALL QRN_SetColorLocked(int32_t v) { cfg().colour_locked = v; }
QRN_API void QRN_CALL QRN_SetBlobLocked(int32_t v) { cfg().blob_locked = v; }
QRN_API void QRN_CALL QRN_SetAlphaLevel(int32_t v) { cfg().alpha_level = v; }
QRN_API void QRN_CALL QRN_SetImageBrushMode(int32_t v) { cfg().image_brush_mode = v; }
QRN_API void QRN_CALL QRN_SetSolidBrushMode(int32_t v) { cfg().solid_brush_mode = v; }
QRN_API void QRN_CALL QRN_SetRotateBrushMode(int32_t mode, int32_t degrees) {
    settings::set_rotate_brush_mode(cfg(), mode, degrees);
}
QRN_API void QRN_CALL QRN_SetScale(int32_t a, int32_t b) { cfg().scale_a = a; cfg().scale_b = b; }
QRN_API void QRN_CALL QRN_SetOffset(int32_t x, int32_t y) { cfg().offset_x = x; cfg().offset_y = y; }
QRN_API void QRN_CALL QRN_SetViewSize(int32_t w, int32_t h) { cfg().view_width = w; cfg().view_height = h; }
QRN_API void QRN_CALL QRN_SetMixMode(int32_t mode, int32_t amount) { settings::set_mix_mode(cfg(), mode, amount); }
QRN_API void QRN_CALL QRN_SetTracingMode(int32_t flag) { cfg().tracing_mode = uint8_t(flag); }
QRN_API uint8_t QRN_CALL QRN_DisplayMask(int32_t flag) { return cfg().display_mask = uint8_t(flag); }
QRN_API uint8_t QRN_CALL QRN_EnableMask(int32_t flag) { return cfg().mask_enabled = uint8_t(flag); }
QRN_API void QRN_CALL QRN_TempDisableBlend(void) { cfg().temp_disable_blend = 1; }
QRN_API void QRN_CALL QRN_SetMaskMakerOn(void) { cfg().mask_maker_on = 1; }
QRN_API void QRN_CALL QRN_SetEraseModeOn(void) { cfg().erase_mode_on = 1; }
QRN_API void QRN_CALL QRN_SetStartDir(const char* path) { settings::set_start_dir(cfg(), path); }
QRN_API void QRN_CALL QRN_SetRandomSeed(uint32_t seed) { settings::set_random_seed(engine(), seed); }
// Grid drawing belongs to the host; both names are kept so old hosts link.
QRN_API void QRN_CALL QRN_SetGrid(int32_t) {}
QRN_API void QRN_CALL QRN_SetGridSpacing(int32_t) {}
QRN_API void QRN_CALL QRN_SetPixelRGB24(uint8_t* buffer, int32_t stride, int32_t x, int32_t y,
                                        int32_t r, int32_t g, int32_t b) {
    settings::set_pixel_rgb24(engine(), buffer, stride, x, y, r, g, b);
}
QRN_API void QRN_CALL QRN_SetLastError(const char* message) { engine().last_error.set(message); }
QRN_API const char* QRN_CALL QRN_GetLastError(void) { return engine().last_error.text; }
QRN_API int32_t QRN_CALL QRN_IsDisplayChanged(void) { return settings::take_display_changed(engine()); }
QRN_API const char* QRN_CALL QRN_GetDirInfo(void) {
    return quiet<const char*>(engine().dir_info, [] { return settings::dir_info(engine()); });
}
QRN_API uint32_t QRN_CALL QRN_GetWindowBackgroundColor(void) { return platform::button_face_colour(); }
QRN_API uint32_t QRN_CALL QRN_GetWindowTextColor(void) { return platform::button_text_colour(); }
QRN_API int32_t QRN_CALL QRN_GetTotalPhyMemory(void) { return settings::megabytes(platform::memory_status().total_phys); }
QRN_API int32_t QRN_CALL QRN_GetAvailPhyMemory(void) { return settings::megabytes(platform::memory_status().avail_phys); }
QRN_API int32_t QRN_CALL QRN_GetTotalPgMemory(void) { return settings::megabytes(platform::memory_status().total_page); }
QRN_API int32_t QRN_CALL QRN_GetAvailPgMemory(void) { return settings::megabytes(platform::memory_status().avail_page); }
QRN_API int32_t QRN_CALL QRN_GetTotalVirMemory(void) { return settings::megabytes(platform::memory_status().total_virtual); }
QRN_API int32_t QRN_CALL QRN_GetAvailVirMemory(void) { return settings::megabytes(platform::memory_status().avail_virtual); }
// The host frees these blocks with QRN_Free only, so plain malloc/free pair up.
QRN_API void* QRN_CALL QRN_Alloc(int32_t size) { return size < 0 ? nullptr : std::malloc(size_t(size)); }
QRN_API void QRN_CALL QRN_Free(void* block) { std::free(block); }
QRN_API void QRN_CALL QRN_Memcpy(void* dst, const void* src, int32_t len) {
    if (dst && src && len > 0) std::memmove(dst, src, size_t(len));
}
QRN_API void* QRN_CALL BankAdrs(void* pointer) { return pointer; }

}  // extern "C"
