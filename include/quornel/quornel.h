/* Quornel paint engine: the flat C API a host program loads.
 *
 * One process-wide canvas; every function runs to completion on the caller's
 * thread and must not be entered from two threads at once. Failures never
 * unwind into the host: the operation stores "<Operation> Excpt" as the last
 * error and returns normally. Layers are RGBA64 (four 16-bit words R, G, B, A,
 * straight colour); host images are RGBA32 (R, G, B, A bytes) or RGB24, with a
 * row stride in bytes given by the caller. Slot numbers outside 0..63 behave
 * like empty slots. A null pointer or text means "nothing".
 *
 * Caller contracts the engine cannot check: a buffer behind a bare pointer
 * must hold at least stride x rows bytes for the rows the call touches
 * (canvas-sized calls: canvas height rows); packed buffers hold width x
 * height pixels; texts are zero-terminated.
 */
#ifndef QUORNEL_QUORNEL_H
#define QUORNEL_QUORNEL_H

/* The library's version; the major number is the SONAME's (libquornel.so.0). A host
 * built against one minor version runs with any later one of the same major. */
#define QRN_VERSION_MAJOR 0
#define QRN_VERSION_MINOR 1
#define QRN_VERSION_PATCH 0

#include <stdint.h>

#if defined(_WIN32)
#define QRN_API __declspec(dllexport)
#if defined(_M_IX86) || defined(__i386__)
#define QRN_CALL __stdcall
#else
#define QRN_CALL
#endif
#else
#define QRN_API __attribute__((visibility("default")))
#define QRN_CALL
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* ---- Settings, errors and utilities ---------------------------------- */

/// Current colour from 8-bit values: low byte of each << 8; alpha 65535.
QRN_API void QRN_CALL QRN_SetColor(int32_t red, int32_t green, int32_t blue);
/// Current colour from 16-bit values (low 16 bits of each); alpha 65535.
QRN_API void QRN_CALL QRN_SetColor16(int32_t red, int32_t green, int32_t blue);
/// Four colour banks, 8-bit red, green, blue of bank 0, then banks 1, 2, 3.
QRN_API void QRN_CALL QRN_SetColorBanks(int32_t r0, int32_t g0, int32_t b0, int32_t r1, int32_t g1,
                                        int32_t b1, int32_t r2, int32_t g2, int32_t b2, int32_t r3,
                                        int32_t g3, int32_t b3);
/// Blend strength 0..256; 0 turns the blend buffer off and keeps the old complement.
QRN_API void QRN_CALL QRN_SetBlendStrength(int32_t strength);
/// Primary colour strength 0..256; 0 keeps the old complement.
QRN_API void QRN_CALL QRN_SetBlendPrimaryColorStrength(int32_t strength);
/// Blend remix flag (low byte kept).
QRN_API void QRN_CALL QRN_SetBlendRemix(int32_t flag);
/// Grit density 1..256 (stored as density - 1).
QRN_API void QRN_CALL QRN_SetDensity(int32_t density);
/// Dab opacity in percent, 0..100.
QRN_API void QRN_CALL QRN_SetAlpha(int32_t percent);
/// Colour vary in 8-bit colour steps.
QRN_API void QRN_CALL QRN_SetColorVary(int32_t amount);
/// Lock flags: 0 off, non-zero on.
QRN_API void QRN_CALL QRN_SetAlphaLocked(int32_t flag);
QRN_API void QRN_CALL QRN_SetColorLocked(int32_t flag);
QRN_API void QRN_CALL QRN_SetBlobLocked(int32_t flag);
/// Fixed 16-bit alpha written by dabs when 1 or more; 0 off.
QRN_API void QRN_CALL QRN_SetAlphaLevel(int32_t level);
QRN_API void QRN_CALL QRN_SetImageBrushMode(int32_t flag);
QRN_API void QRN_CALL QRN_SetSolidBrushMode(int32_t flag);
/// Rotated brush sampling: mode 1 on; angle in whole degrees.
QRN_API void QRN_CALL QRN_SetRotateBrushMode(int32_t mode, int32_t degrees);
/// Display zoom pair a:b (1, 1 is 1:1).
QRN_API void QRN_CALL QRN_SetScale(int32_t a, int32_t b);
/// View offset in canvas pixels (stored, not read by the renderer).
QRN_API void QRN_CALL QRN_SetOffset(int32_t x, int32_t y);
/// View size in display pixels.
QRN_API void QRN_CALL QRN_SetViewSize(int32_t width, int32_t height);
/// Brush mix mode (32 = plain paint) and amount 0..256.
QRN_API void QRN_CALL QRN_SetMixMode(int32_t mode, int32_t amount);
QRN_API void QRN_CALL QRN_SetTracingMode(int32_t flag);
/// Mask display and mask enable flags (low byte kept); each returns the byte stored.
QRN_API uint8_t QRN_CALL QRN_DisplayMask(int32_t flag);
QRN_API uint8_t QRN_CALL QRN_EnableMask(int32_t flag);
/// One-shot flags, cleared by QRN_SetTool and after every colour dab.
QRN_API void QRN_CALL QRN_TempDisableBlend(void);
QRN_API void QRN_CALL QRN_SetMaskMakerOn(void);
QRN_API void QRN_CALL QRN_SetEraseModeOn(void);
/// Start directory; texts of 1024 characters or more are ignored.
QRN_API void QRN_CALL QRN_SetStartDir(const char* path);
/// Stores the seed and reseeds the engine's generator.
QRN_API void QRN_CALL QRN_SetRandomSeed(uint32_t seed);
/// Accepted and ignored.
QRN_API void QRN_CALL QRN_SetGrid(int32_t value);
QRN_API void QRN_CALL QRN_SetGridSpacing(int32_t value);
/// Writes red >> 8, green >> 8, blue >> 8 at (x, y) of a canvas-sized RGB24 buffer.
QRN_API void QRN_CALL QRN_SetPixelRGB24(uint8_t* buffer, int32_t stride, int32_t x, int32_t y,
                                        int32_t red, int32_t green, int32_t blue);
/// Stores at most 511 characters as the last error.
QRN_API void QRN_CALL QRN_SetLastError(const char* message);
/// The last-error text; the engine never clears it.
QRN_API const char* QRN_CALL QRN_GetLastError(void);
/// 1 once after a display change (or resume from suspend), then 0.
QRN_API int32_t QRN_CALL QRN_IsDisplayChanged(void);
/// The system directory (at most 260 characters), valid until the next call.
QRN_API const char* QRN_CALL QRN_GetDirInfo(void);
/// System colours as 0x00BBGGRR: button face and button text.
QRN_API uint32_t QRN_CALL QRN_GetWindowBackgroundColor(void);
QRN_API uint32_t QRN_CALL QRN_GetWindowTextColor(void);
/// Memory figures in whole megabytes.
QRN_API int32_t QRN_CALL QRN_GetTotalPhyMemory(void);
QRN_API int32_t QRN_CALL QRN_GetAvailPhyMemory(void);
QRN_API int32_t QRN_CALL QRN_GetTotalPgMemory(void);
QRN_API int32_t QRN_CALL QRN_GetAvailPgMemory(void);
QRN_API int32_t QRN_CALL QRN_GetTotalVirMemory(void);
QRN_API int32_t QRN_CALL QRN_GetAvailVirMemory(void);
/// A block from the engine's heap (null on failure or size < 0); free with QRN_Free.
QRN_API void* QRN_CALL QRN_Alloc(int32_t size);
QRN_API void QRN_CALL QRN_Free(void* block);
/// Overlapping copy of len bytes; nothing when a pointer is null or len <= 0.
QRN_API void QRN_CALL QRN_Memcpy(void* destination, const void* source, int32_t len);
/// Returns its argument.
QRN_API void* QRN_CALL BankAdrs(void* pointer);

/* ---- Canvas and layers ------------------------------------------------ */

/// New canvas; sides outside 0..10000 become 100; maxBrushSize is the brush buffer side.
QRN_API void QRN_CALL QRN_CreateImage(void* hostWindow, int32_t width, int32_t height,
                                      int32_t maxBrushSize, int32_t reserved);
/// Rebuilds the canvas buffers for a new size; layer slots are kept.
QRN_API void QRN_CALL QRN_NewSize(void* hostWindow, int32_t width, int32_t height,
                                  int32_t maxBrushSize, int32_t reserved);
QRN_API void QRN_CALL QRN_DeleteImage(void);
/// 1 when the slot (0..63) has width x height pixels afterwards (1..10000 each); slot 1 is white.
/// The slot's options (visible, opacity, mode) are left as they were, so a slot never
/// configured stays hidden from merges and the display until QRN_SetLayerOptions.
QRN_API int32_t QRN_CALL QRN_CreateLayer(int32_t slot, int32_t width, int32_t height);
QRN_API void QRN_CALL QRN_DeleteLayer(int32_t slot);
QRN_API void QRN_CALL QRN_SwapLayers(int32_t slotA, int32_t slotB);
QRN_API void QRN_CALL QRN_SetLayer(int32_t slot);
/// Visibility, alpha lock, opacity percent 0..100 and merge-mode name.
QRN_API void QRN_CALL QRN_SetLayerOptions(int32_t slot, int32_t visible, int32_t alphaLocked,
                                          int32_t opacityPercent, const char* mergeModeName);
QRN_API int32_t QRN_CALL QRN_GetLayerCount(void);
QRN_API int32_t QRN_CALL QRN_GetLayerNum(void);
QRN_API void QRN_CALL QRN_CreatePaintLayer(int32_t opacityPercent, const char* mergeModeName);
QRN_API void QRN_CALL QRN_ClearPaintLayer(void);
QRN_API void QRN_CALL QRN_DeletePaintLayer(void);
/// Builds the canvas-sized 8-bit texture from a slot; returns it, or null.
QRN_API uint8_t* QRN_CALL QRN_CreateTexture(int32_t slot);
QRN_API void QRN_CALL QRN_DeleteTexture(void);
/// Every alpha word of the slot = alpha (16-bit).
QRN_API void QRN_CALL QRN_SetLayerAlpha(int32_t slot, int32_t alpha);
QRN_API void QRN_CALL QRN_NormalizeLayerAlpha(int32_t slot);
QRN_API void QRN_CALL QRN_InvertAlpha(int32_t slot);
/// Canvas-sized packed RGBA32 buffer: alpha = 255 - alpha.
QRN_API void QRN_CALL QRN_InvertAlpha_RGBA32(uint8_t* buffer);
QRN_API void QRN_CALL QRN_SetColorAlpha(int32_t red, int32_t green, int32_t blue);
QRN_API void QRN_CALL QRN_SetColorAlphaRGBABuf(uint8_t* buffer, int32_t width, int32_t height,
                                               int32_t red, int32_t green, int32_t blue);
/// Canvas-sized packed RGBA32 buffer: alpha 0 where the colour equals the key.
QRN_API void QRN_CALL QRN_SetAlphaFromRGBAImageColor(uint8_t* buffer, int32_t red, int32_t green,
                                                     int32_t blue);
QRN_API void QRN_CALL QRN_BlurPaintLayerAlpha(void);
QRN_API void QRN_CALL QRN_CreateBlobFromImage(int32_t slot, int32_t mode);

/* ---- Pixel transfer --------------------------------------------------- */

/// Reversed (B, G, R) 24-bit image into the current layer; alpha 0xFFFF.
QRN_API void QRN_CALL QRN_Load(const uint8_t* buffer, int32_t stride, int32_t width, int32_t height);
/// Canvas-sized RGB24 into the current layer's colour; returns the canvas height (0: no layer).
QRN_API int32_t QRN_CALL QRN_LoadRGB24(const uint8_t* buffer, int32_t stride, uint8_t useMask);
QRN_API void QRN_CALL QRN_LoadRGB24ToAlpha(const uint8_t* buffer, int32_t stride, uint8_t useMask);
/// RGBA32 into a slot, clipped to the slot; returns rows written (0: empty slot, null buffer).
QRN_API int32_t QRN_CALL QRN_LoadRGBA32Layer(const uint8_t* buffer, int32_t stride, int32_t layer,
                                             int32_t width, int32_t height, uint8_t useMask);
QRN_API int32_t QRN_CALL QRN_LoadRGBA32Layer_GOOD(const uint8_t* buffer, int32_t stride,
                                                  int32_t layer, int32_t width, int32_t height,
                                                  uint8_t useMask);
QRN_API int32_t QRN_CALL QRN_LoadRGBA32Layer_GOOD2(const uint8_t* buffer, int32_t stride,
                                                   int32_t layer, int32_t width, int32_t height,
                                                   uint8_t useMask);
QRN_API int32_t QRN_CALL QRN_LoadRGBA32(const uint8_t* buffer, int32_t stride, uint8_t useMask);
QRN_API int32_t QRN_CALL QRN_LoadRGBA32Into(const uint8_t* buffer, int32_t stride, int32_t layer,
                                            int32_t width, int32_t height);
/// zlib stream of a packed RGBA32 slot-sized image; a bad stream leaves the layer unchanged.
QRN_API void QRN_CALL QRN_LoadRGBA32LayerCompressed(const uint8_t* data, int32_t unused,
                                                    int32_t length, int32_t layer);
QRN_API int32_t QRN_CALL QRN_SetRGBA64Layer(const uint16_t* buffer, int32_t stride, int32_t layer);
/// Packed canvas-sized RGBA64 (W x H x 8 bytes).
QRN_API void QRN_CALL QRN_SetLayerData(const uint16_t* buffer, int32_t layer);
QRN_API void QRN_CALL QRN_CopyLayerData(int32_t sourceLayer, int32_t destinationLayer);
QRN_API int32_t QRN_CALL QRN_GetRGB24(uint8_t* buffer, int32_t stride);
QRN_API int32_t QRN_CALL QRN_GetRGB24FromAlpha(uint8_t* buffer, int32_t stride);
QRN_API int32_t QRN_CALL QRN_GetRGBA32Layer(uint8_t* buffer, int32_t stride, int32_t layer);
QRN_API int32_t QRN_CALL QRN_GetRGBA32(uint8_t* buffer, int32_t stride);
/// Rectangle of a layer, clipped to the canvas; buffer rows start at the pointer.
QRN_API void QRN_CALL QRN_GetRGBA64LayerRect(uint16_t* buffer, int32_t stride, int32_t layer,
                                             int32_t x, int32_t y, int32_t width, int32_t height);
QRN_API void QRN_CALL QRN_GetRGBA64Layer(uint16_t* buffer, int32_t stride, int32_t layer);
QRN_API void QRN_CALL QRN_GetLayerData(uint16_t* buffer, int32_t layer);
/// zlib stream of the narrowed layer, at most capacity bytes; extra = level 1..9, else 6.
/// Returns the stream length, 0 on failure.
QRN_API int32_t QRN_CALL QRN_GetRGBA32LayerCompressed(uint8_t* output, int32_t unused,
                                                      int32_t capacity, int32_t layer,
                                                      int32_t extra);
/// x and y bound the loops only: pointers address the rectangle's first pixel.
QRN_API void QRN_CALL QRN_GetRGBA32FromRGBA64Rect(uint8_t* destination, int32_t destinationStride,
                                                  const uint16_t* source, int32_t sourceStride,
                                                  int32_t x, int32_t y, int32_t width,
                                                  int32_t height);
QRN_API void QRN_CALL QRN_GetRGB24FromRGBA64Rect(uint8_t* destination, int32_t destinationStride,
                                                 const uint16_t* source, int32_t sourceStride,
                                                 int32_t x, int32_t y, int32_t width,
                                                 int32_t height);
QRN_API void QRN_CALL QRN_GetRGBA32FromRGBA64(uint8_t* destination, int32_t destinationStride,
                                              int32_t width, int32_t height,
                                              const uint16_t* source, int32_t sourceStride);
QRN_API void QRN_CALL QRN_GetRGB24FromRGBA64(uint8_t* destination, int32_t destinationStride,
                                             const uint16_t* source, int32_t sourceStride);
/// Rectangle of a packed RGBA64 image sourceWidth pixels wide into packed RGBA32 / RGB24.
QRN_API void QRN_CALL QRN_RGBA64RectToRGBA32(const uint16_t* source, int32_t x, int32_t y,
                                             int32_t width, int32_t height, int32_t sourceWidth,
                                             int32_t unused, uint8_t* destination);
QRN_API void QRN_CALL QRN_RGBA64RectToRGBA24(const uint16_t* source, int32_t x, int32_t y,
                                             int32_t width, int32_t height, int32_t sourceWidth,
                                             int32_t unused, uint8_t* destination);
/// Fills of the current layer with an 8-bit colour.
QRN_API void QRN_CALL QRN_Clear(int32_t red, int32_t green, int32_t blue, int32_t alpha);
QRN_API void QRN_CALL QRN_ClearMasked(int32_t red, int32_t green, int32_t blue, int32_t alpha);
QRN_API void QRN_CALL QRN_ClearMaskedAlpha(int32_t red, int32_t green, int32_t blue,
                                           int32_t alpha);
/// Fills of canvas-sized host buffers (16-bit words / 8-bit bytes); the Buf form a packed w x h one.
QRN_API void QRN_CALL QRN_ClearRGBA64(uint16_t* buffer, int32_t stride, int32_t red,
                                      int32_t green, int32_t blue, int32_t alpha);
QRN_API void QRN_CALL QRN_ClearRGBA32(uint8_t* buffer, int32_t stride, int32_t red, int32_t green,
                                      int32_t blue, int32_t alpha);
QRN_API void QRN_CALL QRN_ClearRGBA32Buf(uint8_t* buffer, int32_t width, int32_t height,
                                         int32_t red, int32_t green, int32_t blue, int32_t alpha);

/* ---- Merges and display ---------------------------------------------- */

/// Composites the source layer over the destination layer with the source's mode,
/// opacity and the "Layer Mask" layer directly above it (if any).
QRN_API void QRN_CALL QRN_MergeLayer(int32_t sourceLayer, int32_t destinationLayer);
/// The layer's rectangle at (x, y) over a packed RGBA64 buffer width pixels wide;
/// the rectangle is clipped to the canvas, buffer pixels outside it are left alone.
QRN_API void QRN_CALL QRN_MergeLayerIntoRect(int32_t layer, uint16_t* buffer, int32_t x, int32_t y,
                                             int32_t width, int32_t height);
/// The whole layer over a packed canvas-sized RGBA64 buffer.
QRN_API void QRN_CALL QRN_MergeLayerInto(int32_t layer, uint16_t* buffer);
/// The paint layer into a layer with the paint layer's mode and opacity, then clears it.
QRN_API void QRN_CALL QRN_MergePaintLayer(int32_t layer);
/// All visible layers of a rectangle into a packed RGBA64 buffer width x height:
/// zero fill, the paper (slot 1) copied, slots 2..63 merged in order.
QRN_API void QRN_CALL QRN_MergeRect(uint16_t* buffer, int32_t x, int32_t y, int32_t width,
                                    int32_t height);
/// QRN_MergeRect over the whole canvas (buffer W x H x 8 bytes).
QRN_API void QRN_CALL QRN_Merge(uint16_t* buffer);
/// Packed canvas-sized RGBA32 composited (Normal, opacity 255) over the layer after a
/// masked clear of it; adjust applies QRN_AdjustRGBA32ByMaskAndTexture to the buffer first.
QRN_API void QRN_CALL QRN_LoadRGBA32Layer_BAD(uint8_t* buffer, int32_t stride, int32_t layer,
                                              int32_t width, int32_t height, uint8_t adjust);
/// The display picture of a canvas rectangle at the current scale into a 24-bit
/// B, G, R buffer (stride x output rows bytes). Returns 0 without writing when there is
/// no current layer or no buffer, else 1.
QRN_API int32_t QRN_CALL QRN_Render(uint8_t* destination, int32_t stride, int32_t x, int32_t y,
                                    int32_t width, int32_t height);
/// The merged pixel at (x, y) as 0x00RRGGBB, or -1 where it is transparent.
QRN_API int32_t QRN_CALL QRN_GetColorAtMerged(int32_t x, int32_t y);

/* ---- Undo ------------------------------------------------------------- */

QRN_API void QRN_CALL QRN_SaveUndoBuffer(uint8_t saveLayer, uint8_t saveMask);
QRN_API void QRN_CALL QRN_SaveUndoBackBuffer(int32_t layer);
QRN_API void QRN_CALL QRN_Undo(void);
QRN_API void QRN_CALL QRN_Redo(void);
QRN_API void QRN_CALL QRN_ClearUndo(void);
/// Clears the history; levels 0..500; returns the levels set.
QRN_API int32_t QRN_CALL QRN_SetUndoLevels(int32_t levels);
/// Fixed budget in MB (returns KB); 0 follows free memory (returns the KB computed now).
QRN_API int32_t QRN_CALL QRN_SetUndoMB(int32_t megabytes);
/// Frees entries, oldest first, until at least kb KB are freed.
QRN_API void QRN_CALL QRN_ReduceUndo(int32_t kb);
QRN_API void QRN_CALL QRN_PauseUndo(void);
QRN_API void QRN_CALL QRN_ResumeUndo(void);
QRN_API int32_t QRN_CALL QRN_CanUndo(void);
QRN_API int32_t QRN_CALL QRN_CanRedo(void);
QRN_API int32_t QRN_CALL QRN_GetRedoCount(void);
QRN_API int32_t QRN_CALL QRN_GetUndoCount(void);
/// Budget and memory in use, MB.
QRN_API int32_t QRN_CALL QRN_GetTotalUndoMemory(void);
QRN_API int32_t QRN_CALL QRN_GetCurrentUndoMemory(void);

/* ---- Tool and brush shape --------------------------------------------- */

/// Reseeds; stores the tool; builds grit (blocks of g px) and shape for the current brush size.
QRN_API void QRN_CALL QRN_SetTool(float strength, int32_t gritSize, int32_t gritCoverage,
                                  int32_t gritFill, uint8_t softness, int32_t colorVary,
                                  int32_t gritRepeat, int32_t blendStrength,
                                  int32_t primaryStrength, uint8_t blendRemix, uint8_t reserved11,
                                  uint8_t invertShape, uint8_t reserved13, const char* gritSource,
                                  const char* shapePath, int32_t shapeAngle);
/// Shape from a script or image file (angle in degrees); empty or unreadable: circular tip.
QRN_API void QRN_CALL QRN_SetBrushShape(const char* path, int32_t angle);
/// As QRN_SetBrushShape, but the path is read only as an image file.
QRN_API void QRN_CALL QRN_SetBrushShape_ORIGINAL(const char* path, int32_t angle);
/// Brush size in px, clamped to 0..min(maximum brush size, 1000); footprint = size.
QRN_API void QRN_CALL QRN_SetSize(int32_t size);
/// Footprint in px, clamped to 1..min(brush size, 999); 0 when the brush size is 0.
QRN_API void QRN_CALL QRN_SetScaleSize(int32_t size);
/// Per-pixel colour vary amount; above 0 also makes its random array (3 x maximum brush size).
QRN_API void QRN_CALL QRN_SetPixColorVary(int32_t amount);
/// Per-pixel luminance vary amount; above 0 also makes its random array (3 x maximum brush size).
QRN_API void QRN_CALL QRN_SetPixLumVary(int32_t amount);
/// Grit countdown minus 1 (one dab drawn).
QRN_API void QRN_CALL QRN_DecDrawingLength(void);

/* ---- Dabs ------------------------------------------------------------- */

/// Dab centred on (x, y), may be off the canvas; colour high bytes count; mask dab if mask-maker.
QRN_API void QRN_CALL QRN_DrawDabGrit(int32_t x, int32_t y, int32_t red, int32_t green,
                                      int32_t blue);
/// Mask dab at (x, y) in the current colour: dark paint selects, light deselects.
QRN_API void QRN_CALL QRN_DrawDabGritMask(int32_t x, int32_t y);

/* ---- Run-length codecs ------------------------------------------------ */

/// count RGBA64 pixels as 5-byte runs; output >= 5 x count bytes. Bytes written, 0: null, count <= 0.
QRN_API int32_t QRN_CALL QRN_RLECompressRGBA64ToRGBA32(const uint16_t* source, uint8_t* output,
                                                       int32_t count);
/// count pixels (bytes x 256) from at most count runs, so at most 5 x count bytes are read.
QRN_API void QRN_CALL QRN_RLEUncompressRGBA32ToRGBA64(const uint8_t* input, uint16_t* destination,
                                                      int32_t count);
/// count words as 2-byte runs; output >= 2 x count bytes. Bytes written, 0: null, count <= 0.
QRN_API int32_t QRN_CALL QRN_RLECompressG16ToG8(const uint16_t* source, uint8_t* output,
                                                int32_t count);
/// count words (byte x 256) from at most count runs, so at most 2 x count bytes are read.
QRN_API void QRN_CALL QRN_RLEUncompressG8ToG16(const uint8_t* input, uint16_t* destination,
                                               int32_t count);
/// Row 0..H-1 of a canvas-sized layer as RGBA runs; output >= 5 x W bytes. Bytes, 0: empty slot.
QRN_API int32_t QRN_CALL QRN_GetRGBA32LayerLineRLE(uint8_t* output, int32_t layer, int32_t row);
/// W pixels from RGBA runs into row 0..H-1 of a canvas-sized layer; reads <= 5 x W bytes.
QRN_API void QRN_CALL QRN_PutRGBA32LayerLineRLE(const uint8_t* input, int32_t layer, int32_t row);
/// Mask row 0..H-1 as grey runs; output >= 2 x W bytes. Bytes written, 0: no mask.
QRN_API int32_t QRN_CALL QRN_GetMaskLineRLE(uint8_t* output, int32_t row);
/// W words from grey runs into mask row 0..H-1; reads <= 2 x W bytes.
QRN_API void QRN_CALL QRN_PutMaskLineRLE(const uint8_t* input, int32_t row);

/* ---- Adjustment filters ----------------------------------------------- */

/// Packed RGBA32 (width x 4 bytes a row), 0 < alpha < 255: c = trunc(a / 255 x (c + 1)).
QRN_API void QRN_CALL QRN_AdjustRGBA32PreFilter(uint8_t* buffer, int32_t width, int32_t height);
/// Packed RGBA32, pixels with 0 < alpha < 255: c = min(trunc(255 / a x c), 255).
QRN_API void QRN_CALL QRN_AdjustRGBA32PostFilter(uint8_t* buffer, int32_t width, int32_t height);
/// Packed RGBA64 (width x 8 bytes a row), pixels with alpha != 0: c = trunc(a / 65535 x c).
QRN_API void QRN_CALL QRN_AdjustRGBA64PreFilter(uint16_t* buffer, int32_t width, int32_t height);
/// Packed RGBA64, pixels with alpha != 0: c = min(trunc(65535 / a x c), 65535).
QRN_API void QRN_CALL QRN_AdjustRGBA64PostFilter(uint16_t* buffer, int32_t width, int32_t height);
/// Canvas-sized RGBA32, alpha != 0: c = min(trunc(255 / a x c), 255). Returns H; 0 if flag 0.
QRN_API int32_t QRN_CALL QRN_AdjustRGBA32ForAlphaComp(uint8_t flag, uint8_t* buffer);
/// Packed RGBA32 at the canvas origin: a = trunc(w / 65535 x a), w the texture/mask load weight.
QRN_API void QRN_CALL QRN_AdjustRGBA32ByMaskAndTexture(uint8_t* buffer, int32_t width,
                                                       int32_t height);

/* ---- Selection mask --------------------------------------------------- */

/* The mask holds one 16-bit weight a canvas pixel: 0xFFFF selected, 0 protected.
 * As a grey picture it is inverted (black selects). Every function does nothing
 * without a canvas. Images are canvas-sized, packed RGBA32 (W x 4 bytes a row)
 * or RGB24 (W x 3) unless a stride is given. Levels 0..255 write (255 - level)
 * x 256 (level 0 gives 0xFF00; wraps modulo 256); ranges are percentages 0..100
 * giving trunc(range x 2.56) byte steps (hue: trunc(range x 1.8) degrees). */

/// Overlay colours A and B, 8-bit each (stored << 8); solid 0 tints at most half, else full.
QRN_API void QRN_CALL QRN_SetMaskOptions(int32_t redA, int32_t greenA, int32_t blueA, int32_t redB,
                                         int32_t greenB, int32_t blueB, int32_t solid);
/// Whole mask from 16-bit channels (8-bit << 8): mean g <= 0xFF gives 0xFFFF, else 0xFF00 - g, 0 above 0xFF00.
QRN_API void QRN_CALL QRN_ClearMask(int32_t red, int32_t green, int32_t blue);
/// Every word m becomes 0xFFFF - m.
QRN_API void QRN_CALL QRN_InvertMask(void);
/// RGB24 grey (stride bytes a row) into min(width, W) x min(height, H); grey 0 selects fully.
QRN_API void QRN_CALL QRN_LoadMask(const uint8_t* source, int32_t stride, int32_t width,
                                   int32_t height);
/// W x H RGB24 grey 255 - (m >> 8), stride bytes a row; exact inverse of QRN_LoadMask.
QRN_API void QRN_CALL QRN_SaveMask(uint8_t* destination, int32_t stride);
/// Canvas-sized current layer := opaque grey min(0xFFFF - m, 0xFF00).
QRN_API void QRN_CALL QRN_CreateImageFromMask(void);
/// Canvas-sized current layer's alpha := mask words; colour untouched.
QRN_API void QRN_CALL QRN_CreateAlphaFromMask(void);
/// Mask from the canvas-sized current layer's mean colour (inverted grey); alpha ignored.
QRN_API void QRN_CALL QRN_CreateMaskFromImage(void);
/// Mask := the canvas-sized current layer's 16-bit alpha.
QRN_API void QRN_CALL QRN_CreateMaskFromAlpha(void);
/// Level where the RGBA32 image's R, G, B bytes equal red, green, blue (alpha ignored); others kept.
QRN_API void QRN_CALL QRN_CreateMaskFromRGBAImageColor(const uint8_t* image, int32_t red,
                                                       int32_t green, int32_t blue, int32_t level);
/// As QRN_CreateMaskFromRGBAImageColor on a packed RGB24 image.
QRN_API void QRN_CALL QRN_CreateMaskFromRGB24ImageColor(const uint8_t* image, int32_t red,
                                                        int32_t green, int32_t blue,
                                                        int32_t level);
/// Level where each of R, G, B is within the range of red, green, blue (RGBA32); others kept.
QRN_API void QRN_CALL QRN_CreateMaskFromRGBAImageColorRange(const uint8_t* image, int32_t red,
                                                            int32_t green, int32_t blue,
                                                            int32_t range, int32_t level);
/// Level where the alpha byte is within the range of alpha (RGBA32); others kept.
QRN_API void QRN_CALL QRN_CreateMaskFromRGBAImageAlphaRange(const uint8_t* image, int32_t alpha,
                                                            int32_t range, int32_t level);
/// Level where the mean of R, G, B is within the range of the mean of red, green, blue.
QRN_API void QRN_CALL QRN_CreateMaskFromRGBAImageLuminanceRange(const uint8_t* image, int32_t red,
                                                                int32_t green, int32_t blue,
                                                                int32_t range, int32_t level);
/// Level where the HSV hue is within trunc(range x 1.8) degrees of the colour's, circularly.
QRN_API void QRN_CALL QRN_CreateMaskFromRGBAImageHueRange(const uint8_t* image, int32_t red,
                                                          int32_t green, int32_t blue,
                                                          int32_t range, int32_t level);
/// Level where the map byte is 1 (one byte a canvas pixel, W bytes a row); others kept.
QRN_API void QRN_CALL QRN_CreateMaskFromFloodMask(const uint8_t* map, int32_t level);
/// Low 16 bits of value where any byte of the two RGBA32 images differs; others kept.
QRN_API void QRN_CALL QRN_CreateMaskFromDiff_RGBA32(const uint8_t* imageA, const uint8_t* imageB,
                                                    int32_t value);
/// RGBA32 alpha A := ((m >> 8) x A) >> 8, enabled or not (selected 255 gives 254).
QRN_API void QRN_CALL QRN_ApplyMaskToAlpha_RGBA32(uint8_t* image);
/// RGBA32 pixels whose alpha is within the range of alpha become the bytes red, green, blue, newAlpha.
QRN_API void QRN_CALL QRN_ReplaceFromRGBAImageAlphaRange(uint8_t* image, int32_t alpha,
                                                         int32_t range, int32_t red, int32_t green,
                                                         int32_t blue, int32_t newAlpha);
/// Packed width x height RGB24 colour into RGBA32 bytes 0..2; destination alpha kept.
QRN_API void QRN_CALL QRN_RGBToRGBA(uint8_t* destination, int32_t width, int32_t height,
                                    const uint8_t* source);
/// Packed width x height RGBA32 colour into RGB24; alpha dropped.
QRN_API void QRN_CALL QRN_RGBAToRGB(uint8_t* destination, int32_t width, int32_t height,
                                    const uint8_t* source);
/// Packed width x height: RGBA32 alpha := truncated mean of the RGB24 pixel; colour kept.
QRN_API void QRN_CALL QRN_RGBToRGBAlpha(uint8_t* destination, int32_t width, int32_t height,
                                        const uint8_t* source);
/// Packed width x height: all three RGB24 bytes := the RGBA32 alpha.
QRN_API void QRN_CALL QRN_RGBAlphaToRGB(uint8_t* destination, int32_t width, int32_t height,
                                        const uint8_t* source);

/* ---- Imaging library -------------------------------------------------- */

/// Starts the imaging library; the argument is not used. Returns the last initialiser's result.
QRN_API int32_t QRN_CALL QRN_IPLInit(int32_t unused);
QRN_API void QRN_CALL QRN_IPLExit(void);

/* ---- Image files and the new RGBA buffer ------------------------------ */
/* Paths are zero-terminated; extensions include the dot and compare without
 * regard to case. Files are written beside the path and renamed into place
 * only when complete, so a failed write leaves an existing file as it was.
 * Readers take PNG, JPEG, BMP, TGA, TIFF, GIF (first frame), PCX and PSD by
 * content; metafiles read as unreadable. Sides are 1..10000. */

/// Resolution of the file in dots per inch: 72, 96, 150, 200, 300, 450 or 600 (72 if unknown).
QRN_API int32_t QRN_CALL QRN_GetDPIFromFile(const char* path);
/// 1 if the file was read into the new RGBA buffer; 0 leaves the old buffer as it was.
QRN_API int32_t QRN_CALL QRN_ReadFromFile(const char* path);
/// 1 if the image is exactly width x height and was copied into destination (packed RGB24, width x height x 3 bytes); else 0, destination untouched.
QRN_API int32_t QRN_CALL QRN_ReadFromFileRGB24(uint8_t* destination, int32_t width,
                                               int32_t height, const char* path);
/// As QRN_ReadFromFileRGB24 with packed RGBA32 (width x height x 4 bytes).
QRN_API int32_t QRN_CALL QRN_ReadFromFileRGBA32(uint8_t* destination, int32_t width,
                                                int32_t height, const char* path);
/// Packed RGB24 to .bmp .png .emf .gif .jpg (quality 97) .pcx .psd .wmf (EMF); 1 if written, 0 otherwise.
QRN_API int32_t QRN_CALL QRN_WriteToFileRGB24(const uint8_t* pixels, int32_t width,
                                              int32_t height, const char* path,
                                              const char* extension, int32_t dpi);
/// Packed RGBA32 to .png .tga .tif; 1 if written, 0 otherwise.
QRN_API int32_t QRN_CALL QRN_WriteToFileRGBA32(const uint8_t* pixels, int32_t width,
                                               int32_t height, const char* path,
                                               const char* extension, int32_t dpi);
/// The merged page as RGB24, one row at a time, to .bmp .png .jpg; always 0.
QRN_API int32_t QRN_CALL QRN_SavePageToFileRGB24(const char* path, const char* extension,
                                                 int32_t dpi);
/// The merged page as RGBA32, one row at a time, to .png .tga .tif; always 0.
QRN_API int32_t QRN_CALL QRN_SavePageToFileRGB32(const char* path, const char* extension,
                                                 int32_t dpi);
/// A 24-bit BMP 100 pixels on the longer side, whatever dstPath is called; always 0.
QRN_API int32_t QRN_CALL QRN_MakeThumbnail(const char* srcPath, const char* dstPath);
/// A JPEG (quality 75) fitted within maxWidth x maxHeight, never enlarged; always 0.
QRN_API int32_t QRN_CALL QRN_MakeWebPic(const char* srcPath, const char* dstPath,
                                        int32_t maxWidth, int32_t maxHeight);
/// Sides of the new RGBA buffer; they keep their values after QRN_DeleteNewRGBA.
QRN_API int32_t QRN_CALL QRN_GetNewRGBAWidth(void);
QRN_API int32_t QRN_CALL QRN_GetNewRGBAHeight(void);
/// Copies the new RGBA buffer (width x height x 4 bytes) into destination; nothing if absent.
QRN_API void QRN_CALL QRN_GetNewRGBA32(uint8_t* destination);
/// Copies it as packed RGB24 (rows of exactly width x 3 bytes); nothing if absent.
QRN_API void QRN_CALL QRN_GetNewRGBA24(uint8_t* destination);
/// The buffer resampled to newWidth x newHeight (1..10000) as packed RGB24; nothing if absent.
QRN_API void QRN_CALL QRN_GetResizedNewRGBA24(uint8_t* destination, int32_t newWidth,
                                              int32_t newHeight);
/// Loads the buffer into the current layer through the mask; rows written, 0 if none.
QRN_API int32_t QRN_CALL QRN_SetInNewRGBA(void);
/// Frees the new RGBA buffer; always 0.
QRN_API int32_t QRN_CALL QRN_DeleteNewRGBA(void);
/// 1 if oldPath was renamed to newPath; 0, both files intact, when newPath exists.
QRN_API int32_t QRN_CALL QRN_RenameFile(const char* oldPath, const char* newPath);

/* ---- Image-processing work buffers and the geometry of all layers ------ */
/* The four work buffers are canvas-sized and packed (W x 4 or W x 3 bytes a
 * row); each allocation frees the old buffer of its kind first and starts
 * zero-filled. QRN_NewSize and QRN_DeleteImage free all four. */

/// Source RGBA32 work buffer, filled from the current layer (zeros without one).
QRN_API void QRN_CALL QRN_IPLAllocSrcBuffer32(void);
/// Destination RGBA32 work buffer, zero-filled.
QRN_API void QRN_CALL QRN_IPLAllocDstBuffer32(void);
/// Source RGB24 work buffer, filled from the current layer with alpha dropped.
QRN_API void QRN_CALL QRN_IPLAllocSrcBuffer24(void);
/// Destination RGB24 work buffer, zero-filled.
QRN_API void QRN_CALL QRN_IPLAllocDstBuffer24(void);
/// Each frees its work buffer if present.
QRN_API void QRN_CALL QRN_IPLFreeSrcBuffer32(void);
QRN_API void QRN_CALL QRN_IPLFreeDstBuffer32(void);
QRN_API void QRN_CALL QRN_IPLFreeSrcBuffer24(void);
QRN_API void QRN_CALL QRN_IPLFreeDstBuffer24(void);
/// Copies pixels (packed RGBA32, canvas width x height x 4 bytes) into the source RGBA32 buffer when it exists.
QRN_API void QRN_CALL QRN_IPLSetSrcBuffer32(const uint8_t* pixels);
/// Refills the source RGBA32 buffer from the current layer.
QRN_API void QRN_CALL QRN_IPLUpdateSrcBuffer32(void);
/// With the mask enabled, alpha of the source RGBA32 buffer := ((m >> 8) x alpha) >> 8.
QRN_API void QRN_CALL QRN_ApplyMaskToAlpha_IPLSrcRGBA(void);
/* Geometry of every occupied layer from slot 1 up (slot 0 is never touched):
 * only the layers change, so the host follows a size-changing call with
 * QRN_NewSize at the new size. Layers not of the canvas size are skipped. */
/// Resamples to newWidth x newHeight (1..10000) with the filter named exactly: "Area Average",
/// "Nearest Neighbor", "Bilinear", "Bicubic", "Box", "Triangle", "Hamming", "Gaussian", "Bell",
/// "B-Spline", "Cubic 1", "Cubic 2", "Lanczos3", "Mitchell", "Sinc", "Hermite", "Hanning",
/// "Catrom"; any other name changes nothing.
QRN_API void QRN_CALL QRN_IPLResize(int32_t newWidth, int32_t newHeight, const char* filter);
/// Places each layer unscaled on a newWidth x newHeight page (1..10000) at the anchor "TL" "TC"
/// "TR" "ML" "MC" "MR" "BL" "BC" "BR"; slot 1 pads opaque white, others transparent.
QRN_API void QRN_CALL QRN_IPLResizePage(int32_t newWidth, int32_t newHeight, const char* anchor);
/// Cuts to [left, right) x [top, bottom); nothing unless 0 <= left < right <= W, 0 <= top < bottom <= H.
QRN_API void QRN_CALL QRN_IPLCrop(int32_t left, int32_t top, int32_t right, int32_t bottom);
/// A quarter turn counter-clockwise; layers become H x W.
QRN_API void QRN_CALL QRN_IPLRotateLeft(void);
/// A quarter turn clockwise; layers become H x W.
QRN_API void QRN_CALL QRN_IPLRotateRight(void);
/// Mirrors left to right in place; an alpha-locked layer keeps its alpha unflipped.
QRN_API void QRN_CALL QRN_IPLFlipHorizontal(void);
/// Mirrors top to bottom in place; an alpha-locked layer keeps its alpha unflipped.
QRN_API void QRN_CALL QRN_IPLFlipVertical(void);
/* ---- Image brushes ---------------------------------------------------- */
/// Reads an image file into the source image brush; ignored unless both sides are 1..b.
QRN_API void QRN_CALL QRN_LoadImageBrush(const char* path);
/// Packed RGBA32 (width x height x 4 bytes) into the source image brush; sides 1..b.
QRN_API void QRN_CALL QRN_LoadImageBrushFromRGBA32(const uint8_t* pixels, int32_t width,
                                                   int32_t height);
/// Reads a strip of H x H frames (height 1..b, width at least the height).
QRN_API void QRN_CALL QRN_LoadImageBrushArray(const char* path);
/// Copies frame trunc(frames x position) of the strip (clamped to the strip) into the source.
QRN_API void QRN_CALL QRN_CopyFromImageBrushArray(float position);
/// Writes the source image brush as an RGBA PNG at 2834 pixels per metre.
QRN_API void QRN_CALL QRN_SaveImageBrush(const char* path);
/// Replaces the source with an opaque brush-size square of (red, green, blue) x 257.
QRN_API void QRN_CALL QRN_FillImageBrush(uint8_t red, uint8_t green, uint8_t blue);
/// Sets every source pixel's colour to (red, green, blue) x 257, keeping its alpha.
QRN_API void QRN_CALL QRN_ColorImageBrush(uint8_t red, uint8_t green, uint8_t blue);
/// Replaces the source with the brush-size top-left square of the blend buffer.
QRN_API void QRN_CALL QRN_CopyToImageBrush(void);
/// Resamples the source to the brush size.
QRN_API void QRN_CALL QRN_SizeImageBrush(void);
/// Sizes, then mixes the sized brush into the blend buffer keeping keepPercent (0..100) of it.
QRN_API void QRN_CALL QRN_CopyFromImageBrush(int32_t keepPercent);
/// Rotates the sized brush by angle degrees, alpha with the colour.
QRN_API void QRN_CALL QRN_RotateImageBrush(int32_t angle);
/// Mixes the rotated brush into the blend buffer keeping keepPercent (0..100) of it.
QRN_API void QRN_CALL QRN_CopyFromImageBrushRotate(int32_t keepPercent);

/* ---- Blend buffer and colour pick-up ---------------------------------- */

/// Loads the brush-sized blend square around (x, y) from source, a canvas-sized RGBA64
/// block (width x height x 8 bytes), mixed with the current colour at strength 0..256;
/// nothing while the blend strength is 0 or for a null source.
QRN_API void QRN_CALL QRN_DoCopyBlendBuffer(int32_t x, int32_t y, const uint16_t* source,
                                            int32_t strength, uint8_t alphaOnly);
/// QRN_DoCopyBlendBuffer from the current layer; nothing without one.
QRN_API void QRN_CALL QRN_CopyBlendBufferSurface(int32_t x, int32_t y, int32_t strength,
                                                 uint8_t alphaOnly);
/// QRN_DoCopyBlendBuffer from a canvas-sized slot 0..63, alpha-only off; nothing otherwise.
QRN_API void QRN_CALL QRN_CopyBlendBufferLayer(int32_t slot, int32_t x, int32_t y,
                                               int32_t strength);
/// QRN_DoCopyBlendBuffer from the undo back buffer, alpha-only off; the two are one operation.
QRN_API void QRN_CALL QRN_CopyBlendBufferUnderLayer(int32_t x, int32_t y, int32_t strength);
QRN_API void QRN_CALL QRN_CopyBlendBufferHistory(int32_t x, int32_t y, int32_t strength);
/// QRN_DoCopyBlendBuffer from the tracing layer, alpha-only off; nothing when it has no pixels.
QRN_API void QRN_CALL QRN_CopyBlendBufferTrace(int32_t x, int32_t y, int32_t strength);
/// Loads one grey word a brush position from the mask, mixed with the paint value at strength.
QRN_API void QRN_CALL QRN_DoCopyBlendBufferMask(int32_t x, int32_t y, int32_t strength);
/// Zero-fills the whole blend buffer.
QRN_API void QRN_CALL QRN_ClearBlendBuffer(void);
/// Brush square: kind 289 grey, 290 invert, 291 zero below / 292 65280 above level percent.
QRN_API void QRN_CALL QRN_FilterBlendBuffer(int32_t kind, int32_t level);
/// One 16-bit channel of the current layer at (x, y); 0 outside the canvas or without one.
QRN_API int32_t QRN_CALL QRN_GetRed64(int32_t x, int32_t y);
QRN_API int32_t QRN_CALL QRN_GetGreen64(int32_t x, int32_t y);
QRN_API int32_t QRN_CALL QRN_GetBlue64(int32_t x, int32_t y);
QRN_API int32_t QRN_CALL QRN_GetAlpha64(int32_t x, int32_t y);
/// 65535 - mask at (x, y) with a current layer and the mask enabled, inside the canvas; else 0.
QRN_API int32_t QRN_CALL QRN_GetMask64(int32_t x, int32_t y);
/// 0xRRGGBB (high bytes) of pixels, a canvas-sized RGBA64 block (width x height x 8 bytes),
/// at (x, y) clamped into the canvas; -1 when the alpha's high byte is 0; 0 for null.
QRN_API int32_t QRN_CALL QRN_GetColorAt(int32_t x, int32_t y, const uint16_t* pixels);
/// QRN_GetColorAt on the current layer, the back buffer, a slot or the tracing layer; 0 if absent.
QRN_API int32_t QRN_CALL QRN_GetColorAtSurface(int32_t x, int32_t y);
QRN_API int32_t QRN_CALL QRN_GetColorAtUnderLayer(int32_t x, int32_t y);
QRN_API int32_t QRN_CALL QRN_GetColorAtLayer(int32_t x, int32_t y, int32_t slot);
QRN_API int32_t QRN_CALL QRN_GetColorAtTrace(int32_t x, int32_t y);
/// Colour of the undo step the next undo restores, (x, y) clamped into its rectangle; 0 if none.
QRN_API int32_t QRN_CALL QRN_GetColorAtHistory(int32_t x, int32_t y);

/* ---- Stroke spline and pen tablet ------------------------------------- */
/// Samples the curve through three positions at 100 points; returns the point count.
/// The seventh argument is not read.
QRN_API int32_t QRN_CALL QRN_CalcSpline3(int32_t x0, int32_t y0, int32_t x1, int32_t y1,
                                         int32_t x2, int32_t y2, int32_t spare);
/// Samples of the last QRN_CalcSpline3: 100, or 0 before the first.
QRN_API int32_t QRN_CALL QRN_GetSplinePointCount(void);
/// A sample's x or y in whole pixels (truncated); the last sample for an index at or
/// beyond the count, 0 before any calculation.
QRN_API int32_t QRN_CALL QRN_GetSplinePointX(uint32_t index);
QRN_API int32_t QRN_CALL QRN_GetSplinePointY(uint32_t index);
/// Opens a pen tablet context for the window: 0 when no pressure device was found.
QRN_API int32_t QRN_CALL QRN_InitTablet(void* window);
/// Takes the window's client-area top-left on screen as the origin of packet
/// positions; 0 without a context.
QRN_API int32_t QRN_CALL QRN_SetTabletOrigin(void);
/// Closes the context; 0 without one.
QRN_API int32_t QRN_CALL QRN_CloseTablet(void);
/// Pressure back to 10 % and queued packets discarded; 0 without a context.
QRN_API int32_t QRN_CALL QRN_ResetTabletPressure(void);
/// Reads the queued packets (0 to 256) for the per-packet calls below.
QRN_API int32_t QRN_CALL QRN_ReadTabletPackets(void);
/// A packet's pressure in percent (1..100); without a packet at that index the last
/// pressure, which then rises by 25 up to 100.
QRN_API int32_t QRN_CALL QRN_ReadTabletPressure(uint32_t index);
/// A packet's pressure in percent, 0 possible; 0 without a packet at that index.
QRN_API int32_t QRN_CALL QRN_ReadRawTabletPressure(uint32_t index);
/// 1 when the packet comes from the pen's eraser end, else 0.
QRN_API int32_t QRN_CALL QRN_IsPacketInvert(uint32_t index);
/// A packet's status bits (0x10: eraser end); 0 without a packet at that index.
QRN_API uint32_t QRN_CALL QRN_PacketStatus(uint32_t index);
/// A packet's position in screen pixels from the origin; 0 without a packet at that index.
QRN_API int32_t QRN_CALL QRN_ReadTabletX(uint32_t index);
QRN_API int32_t QRN_CALL QRN_ReadTabletY(uint32_t index);

/* ---- Engine pixel effects -------------------------------------------- */

/// Sharpens, contrasts (contrast 0..1000; extraPass 1 adds a pass at 1) and
/// saturates (saturation 0..100, 50 keeps it) the current layer through the
/// mask; needs both RGBA32 work buffers. Rows of the last load, 0 if nothing done.
QRN_API int32_t QRN_CALL QRN_IPLPhotoPop(int32_t contrast, double saturation, uint8_t extraPass);
/// Packed RGBA32, width x height x 4 bytes: hue shifted by degrees (any size
/// wraps), saturation and lightness moved by percent, alpha kept.
QRN_API void QRN_CALL QRN_ProcessBuffer_HSLAdjust(uint8_t* pixels, int32_t width, int32_t height,
                                                  int32_t hueShift, int32_t saturation,
                                                  int32_t lightness);
/// As QRN_ProcessBuffer_HSLAdjust in HSV; greys change only their value.
QRN_API void QRN_CALL QRN_ProcessBuffer_HSVAdjust(uint8_t* pixels, int32_t width, int32_t height,
                                                  int32_t hueShift, int32_t saturation,
                                                  int32_t value);

/* ---- Distortions and the extra blur ---------------------------------- */

/// Source RGBA32 work buffer shifted by (dx, dy) into the destination and merged over the
/// current layer (Normal, 255). Edge 0: uncovered area transparent; 1 wrap; 2 clamp; other:
/// filled with r | g << 8 | b << 16 | a << 24. applyMaskAndTexture weights the alpha first.
QRN_API void QRN_CALL QRN_IPLPan(int32_t dx, int32_t dy, int32_t edgeMode, int32_t r, int32_t g,
                                 int32_t b, int32_t a, uint8_t applyMaskAndTexture);
/// Pushes the (premultiplied, and left so) source work buffer from (x1, y1) towards (x2, y2)
/// and loads the result into the current layer through the mask.
QRN_API void QRN_CALL QRN_WarpPointToPoint(int32_t x1, int32_t y1, int32_t x2, int32_t y2);
/// Blurs packed RGB24 pixels (width x height x 3 bytes) in place: radius radiusSetting / 5,
/// strength amount percent. Sides 1..10000.
QRN_API void QRN_CALL QRN_BlurMoreBufferRGB24(uint8_t* pixels, int32_t width, int32_t height,
                                              int32_t radiusSetting, int32_t amount);
/// Displaces the source work buffer along the grey of the image script scriptPath, tiled over
/// the canvas, and loads it into the current layer through the mask; fillColor (r | g << 8 |
/// b << 16) covers what comes from outside. A script that cannot be rendered changes nothing.
QRN_API void QRN_CALL QRN_IPLDisplacementBummp(const char* scriptPath, double amount,
                                               int32_t fillColor);

#ifdef __cplusplus
}
#endif

#endif /* QUORNEL_QUORNEL_H */
