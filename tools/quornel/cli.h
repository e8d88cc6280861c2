// The quornel command-line host: shared pieces of its commands.
#pragma once
#include <string>

namespace cli {

// Progress of a command that can take longer than a second, as one line on standard
// error that each step rewrites; shown only when standard error is a terminal and
// --quiet was not given.
class Progress {
public:
    Progress(const char* command, int steps);
    ~Progress();
    Progress(const Progress&) = delete;
    Progress& operator=(const Progress&) = delete;
    // Step `what` is done; the line shows how far the command has come.
    void step(const char* what);
    // Takes the line away, so that standard output can print where it stood.
    void clear();

    static bool quiet;

private:
    const char* command_;
    int steps_;
    int done_ = 0;
    bool shown_;
};

int selftest();
int demo(const std::string& dir);
// dpi 0 keeps the input's resolution.
int convert(const std::string& in, const std::string& out, int dpi);
// web_width 0 makes the 100-pixel BMP thumbnail, otherwise a JPEG web picture.
int thumbnail(const std::string& in, const std::string& out, int web_width, int web_height);

// The resampling filters of QRN_IPLResize, named exactly.
constexpr int kFilterCount = 18;
extern const char* const kFilterNames[kFilterCount];
bool known_filter(const std::string& name);

// One geometry command on a picture file; the result is written as PNG.
struct GeometryRequest {
    std::string command;  // resize, page, crop, rotate or flip
    std::string in, out;
    int width = 0, height = 0;               // resize and page
    std::string name;                        // the filter or the anchor
    int left = 0, top = 0, right = 0, bottom = 0;  // crop
    bool option = false;                     // rotate --left, flip --vertical
};
int geometry(const GeometryRequest& request);

// PhotoPop with contrast 0..1000 and saturation 0..100 (50 keeps it).
int photopop(const std::string& in, const std::string& out, int contrast, int saturation);
// Hue in degrees, saturation and lightness in percent.
int hsl(const std::string& in, const std::string& out, int hue, int saturation, int lightness);

}  // namespace cli
