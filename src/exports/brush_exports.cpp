// Tool and brush shape: brush size, footprint, shape, grit and per-pixel vary.
#include "brush/tool.h"
#include "engine/engine_state.h"
#include "exports/guard.h"
#include "quornel/quornel.h"

using namespace qrn;

extern "C" {

QRN_API void QRN_CALL QRN_SetTool(float strength, int32_t grit_size, int32_t grit_coverage,
                                  int32_t grit_fill, uint8_t softness, int32_t colour_vary,
                                  int32_t grit_repeat, int32_t blend_strength,
                                  int32_t primary_strength, uint8_t blend_remix, uint8_t arg11,
                                  uint8_t invert_shape, uint8_t arg13, const char* grit_source,
                                  const char* shape_path, int32_t shape_angle) {
    const brush::ToolSettings t{strength,         grit_size,   grit_coverage, grit_fill,
                                softness,         colour_vary, grit_repeat,   blend_strength,
                                primary_strength, blend_remix, arg11,         invert_shape,
                                arg13,            grit_source, shape_path,    shape_angle};
    guard("SetTool", [&] { brush::set_tool(engine(), t); });
}

QRN_API void QRN_CALL QRN_SetBrushShape(const char* path, int32_t angle) {
    guard("SetBrushShape", [&] { brush::set_brush_shape(engine(), path, angle); });
}

// Reads the path as an image file only; the failure text is SetBrushShape's.
QRN_API void QRN_CALL QRN_SetBrushShape_ORIGINAL(const char* path, int32_t angle) {
    guard("SetBrushShape", [&] {
        brush::set_brush_shape(engine(), path, angle, brush::ShapeSource::ImageOnly);
    });
}

QRN_API void QRN_CALL QRN_SetSize(int32_t size) { brush::set_size(engine(), size); }
QRN_API void QRN_CALL QRN_SetScaleSize(int32_t size) { brush::set_scale_size(engine(), size); }

QRN_API void QRN_CALL QRN_SetPixColorVary(int32_t amount) {
    guard("MakeRandArrayByte", [&] { brush::set_pix_colour_vary(engine(), amount); });
}
QRN_API void QRN_CALL QRN_SetPixLumVary(int32_t amount) {
    guard("MakeRandArrayByte", [&] { brush::set_pix_lum_vary(engine(), amount); });
}

QRN_API void QRN_CALL QRN_DecDrawingLength(void) { brush::dec_drawing_length(engine()); }

}  // extern "C"
