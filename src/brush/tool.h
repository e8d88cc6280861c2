// Tool and brush shape: turns the host's tool settings into the brush shape, the
// scale map and the 20 grit buffers that the dab renderer reads. Called by the
// brush exports.
#pragma once
#include <cstdint>

#include "engine/engine_state.h"

namespace qrn::brush {

// The sixteen arguments of QRN_SetTool, in the host's order and widths.
struct ToolSettings {
    float shape_strength = 1.0f;
    int32_t grit_size = 0;      // 0: no grit; below 0 is stored but acts as 0
    int32_t grit_coverage = 0;  // a grit block is placed where its placement byte is below this
    int32_t grit_fill = 0;      // a pixel of a placed block is filled where its byte is below this
    uint8_t softness = 0;
    int32_t colour_vary = 0;
    int32_t grit_repeat = 0;
    int32_t blend_strength = 0;
    int32_t primary_strength = 0;
    uint8_t blend_remix = 0;
    uint8_t arg11 = 0;  // stored only
    uint8_t invert_shape = 0;
    uint8_t arg13 = 0;  // stored only
    const char* grit_source = nullptr;  // script or image file; used when longer than 1 character
    const char* shape_path = nullptr;
    int32_t shape_angle = 0;
};

enum class ShapeSource { ScriptOrImage, ImageOnly };

// Reseeds the generator, stores the settings, builds the grit and the shape for
// the current brush size, and clears the one-shot flags.
void set_tool(EngineState& st, const ToolSettings& t);

// Brush shape from a script or image file (cached by exact path and angle),
// or the circular tip when the path is empty or cannot be used.
void set_brush_shape(EngineState& st, const char* path, int32_t angle,
                     ShapeSource source = ShapeSource::ScriptOrImage);

// Brush size, clamped to 0..min(b, 1000); footprint = size, identity scale map.
void set_size(EngineState& st, int32_t size);
// Footprint 1..min(S, 999) sampling the centres of equal strips of the shape.
void set_scale_size(EngineState& st, int32_t size);

void set_pix_colour_vary(EngineState& st, int32_t amount);
void set_pix_lum_vary(EngineState& st, int32_t amount);
void dec_drawing_length(EngineState& st);

}  // namespace qrn::brush
