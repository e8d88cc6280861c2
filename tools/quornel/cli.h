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

}  // namespace cli
