// QRN_ entry points of image files and the new RGBA buffer: the guard, then
// one call into qrn::io.
#include "exports/guard.h"
#include "io/image_files.h"
#include "platform/files.h"
#include "quornel/quornel.h"

using namespace qrn;

QRN_API int32_t QRN_CALL QRN_GetDPIFromFile(const char* path) {
    return guarded("GetDPIFromFile", io::kDefaultDpi, [&] { return io::dpi_from_file(path); });
}

QRN_API int32_t QRN_CALL QRN_ReadFromFile(const char* path) {
    return guarded("ReadFromFile", 0, [&] { return io::read_from_file(engine(), path); });
}

QRN_API int32_t QRN_CALL QRN_ReadFromFileRGB24(uint8_t* destination, int32_t width,
                                               int32_t height, const char* path) {
    return guarded("ReadFromFile", 0, [&] {
        return io::read_from_file_sized(engine(), destination, width, height, path, 3);
    });
}

QRN_API int32_t QRN_CALL QRN_ReadFromFileRGBA32(uint8_t* destination, int32_t width,
                                                int32_t height, const char* path) {
    return guarded("ReadFromFile", 0, [&] {
        return io::read_from_file_sized(engine(), destination, width, height, path, 4);
    });
}

QRN_API int32_t QRN_CALL QRN_WriteToFileRGB24(const uint8_t* pixels, int32_t width,
                                              int32_t height, const char* path,
                                              const char* extension, int32_t dpi) {
    return guarded("WriteToFileRGB24", 0, [&] {
        return io::write_rgb24(pixels, width, height, path, extension, dpi);
    });
}

QRN_API int32_t QRN_CALL QRN_WriteToFileRGBA32(const uint8_t* pixels, int32_t width,
                                               int32_t height, const char* path,
                                               const char* extension, int32_t dpi) {
    return guarded("WriteToFileRGBA32", 0, [&] {
        return io::write_rgba32(pixels, width, height, path, extension, dpi);
    });
}

// The page writers and the converters report nothing through their result.
QRN_API int32_t QRN_CALL QRN_SavePageToFileRGB24(const char* path, const char* extension,
                                                 int32_t dpi) {
    guard("QRN_SavePageToFileRGB24", [&] { io::save_page(engine(), path, extension, dpi, 3); });
    return 0;
}

QRN_API int32_t QRN_CALL QRN_SavePageToFileRGB32(const char* path, const char* extension,
                                                 int32_t dpi) {
    guard("QRN_SavePageToFileRGB32", [&] { io::save_page(engine(), path, extension, dpi, 4); });
    return 0;
}

QRN_API int32_t QRN_CALL QRN_MakeThumbnail(const char* srcPath, const char* dstPath) {
    guard("MakeThumbnails", [&] { io::make_thumbnail(srcPath, dstPath); });
    return 0;
}

QRN_API int32_t QRN_CALL QRN_MakeWebPic(const char* srcPath, const char* dstPath,
                                        int32_t maxWidth, int32_t maxHeight) {
    guard("MakeWebPic", [&] { io::make_web_pic(srcPath, dstPath, maxWidth, maxHeight); });
    return 0;
}

QRN_API int32_t QRN_CALL QRN_GetNewRGBAWidth(void) { return engine().new_rgba.width; }
QRN_API int32_t QRN_CALL QRN_GetNewRGBAHeight(void) { return engine().new_rgba.height; }

QRN_API void QRN_CALL QRN_GetNewRGBA32(uint8_t* destination) {
    guard("GetNewRGBA32", [&] { io::get_new_rgba32(engine(), destination); });
}

QRN_API void QRN_CALL QRN_GetNewRGBA24(uint8_t* destination) {
    guard("GetNewRGBA24", [&] { io::get_new_rgba24(engine(), destination); });
}

QRN_API void QRN_CALL QRN_GetResizedNewRGBA24(uint8_t* destination, int32_t newWidth,
                                              int32_t newHeight) {
    guard("GetResizedNewRGB24",
          [&] { io::get_resized_new_rgba24(engine(), destination, newWidth, newHeight); });
}

// The load is QRN_LoadRGBA32Layer's, so a failure carries its text.
QRN_API int32_t QRN_CALL QRN_SetInNewRGBA(void) {
    return guarded("LoadRGBA32Layer", 0, [&] { return io::set_in_new_rgba(engine()); });
}

QRN_API int32_t QRN_CALL QRN_DeleteNewRGBA(void) {
    guard("DeleteNewRGBA", [&] { io::delete_new_rgba(engine()); });
    return 0;
}

QRN_API int32_t QRN_CALL QRN_RenameFile(const char* oldPath, const char* newPath) {
    return quiet(0, [&] { return platform::rename_no_replace(oldPath, newPath) ? 1 : 0; });
}
