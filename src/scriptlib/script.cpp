// The script text format, rendering, and the protocol state the engine drives.
// Scripts arrive from files the user picked: every size, count and number is
// checked before it is used, and anything unexpected makes the load fail.
#include "scriptlib/script.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <memory>
#include <new>
#include <string>
#include <utility>

namespace qrn::scriptlib {
namespace {

constexpr std::string_view kMagic = "QIS";
constexpr size_t kMaxTokens = 2 + size_t(kSlotCount);

bool valid_side(int64_t v) { return v >= 1 && v <= kMaxSide; }

int hex_digit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// Decimal within the int32 range, or 0x and 1..8 hex digits taken as a 32-bit
// pattern. Nothing else: no sign on hex, no '+', no exponent, no trailing text.
bool parse_int(std::string_view s, int32_t& out) {
    if (s.size() > 2 && s[0] == '0' && (s[1] == 'x' || s[1] == 'X')) {
        s.remove_prefix(2);
        if (s.size() > 8) return false;
        uint32_t v = 0;
        for (char c : s) {
            const int d = hex_digit(c);
            if (d < 0) return false;
            v = v << 4 | uint32_t(d);
        }
        out = int32_t(v);
        return true;
    }
    const bool negative = !s.empty() && s[0] == '-';
    if (negative) s.remove_prefix(1);
    if (s.empty() || s.size() > 10) return false;
    int64_t v = 0;
    for (char c : s) {
        if (c < '0' || c > '9') return false;
        v = v * 10 + (c - '0');
    }
    if (negative) v = -v;
    if (v < INT32_MIN || v > INT32_MAX) return false;
    out = int32_t(v);
    return true;
}

// The tokens of one line with its comment removed. False for a line too long,
// with control bytes, with non-ASCII outside a comment, or with more tokens
// than any line may have.
struct Tokens {
    std::array<std::string_view, kMaxTokens> t;
    size_t n = 0;
};
bool tokenize(std::string_view line, Tokens& out) {
    if (line.size() > kMaxLineBytes) return false;
    out.n = 0;
    size_t start = std::string_view::npos;
    for (size_t i = 0; i <= line.size(); ++i) {
        const auto c = i < line.size() ? static_cast<unsigned char>(line[i]) : '\0';
        const bool comment = c == '#';
        const bool end = i == line.size() || comment || c == ' ' || c == '\t';
        if (!end && (c < 0x20 || c >= 0x7F)) return false;
        if (end && start != std::string_view::npos) {
            if (out.n == out.t.size()) return false;
            out.t[out.n++] = line.substr(start, i - start);
            start = std::string_view::npos;
        } else if (!end && start == std::string_view::npos) {
            start = i;
        }
        if (comment) {
            for (size_t k = i + 1; k < line.size(); ++k) {
                const auto b = static_cast<unsigned char>(line[k]);
                if ((b < 0x20 && b != '\t') || b == 0x7F) return false;
            }
            break;
        }
    }
    return true;
}

bool parse_header(const Tokens& tk, ScriptHeader& h) {
    if (tk.n != 7 || tk.t[0] != "header") return false;
    int32_t f[6];
    for (size_t i = 0; i < 6; ++i)
        if (!parse_int(tk.t[i + 1], f[i])) return false;
    h = {f[0], f[1], f[2], f[3], f[4], f[5], 0};
    return h.version == kScriptVersion && (h.flags & ~kFlagOpaque) == 0 &&
           valid_side(h.width) && valid_side(h.height);
}

// effect <number> [<slot>=<value>]...; slots are decimal, each at most once
// and one the effect reads.
bool parse_effect(const Tokens& tk, EffectCall& call) {
    int32_t number = 0;
    if (tk.n < 2 || tk.t[0] != "effect" || !parse_int(tk.t[1], number)) return false;
    const EffectInfo* info = find_effect(number);
    if (!info) return false;
    call = default_call(number);
    bool seen[kSlotCount] = {};
    for (size_t i = 2; i < tk.n; ++i) {
        const std::string_view pair = tk.t[i];
        const size_t eq = pair.find('=');
        if (eq == std::string_view::npos || eq == 0 || eq > 2) return false;
        int32_t slot = 0, value = 0;
        for (char c : pair.substr(0, eq)) {
            if (c < '0' || c > '9') return false;
            slot = slot * 10 + (c - '0');
        }
        if (!parse_int(pair.substr(eq + 1), value)) return false;
        const int32_t k = slot - kFirstSlot;
        if (k < 0 || k >= info->slot_count || seen[k]) return false;
        seen[k] = true;
        call.slots[k] = value;
    }
    return true;
}

bool read_file(const char* path, std::string& text) {
    if (!path) return false;
    const std::unique_ptr<std::FILE, int (*)(std::FILE*)> f(std::fopen(path, "rb"), std::fclose);
    if (!f) return false;
    // Most paths tried here are image files: look at the magic before reading on.
    char magic[3];
    if (std::fread(magic, 1, 3, f.get()) != 3 || std::string_view(magic, 3) != kMagic) return false;
    text.assign(kMaxScriptBytes + 1, '\0');
    std::copy_n(magic, 3, text.begin());
    const size_t n = 3 + std::fread(text.data() + 3, 1, text.size() - 3, f.get());
    if (n > kMaxScriptBytes) return false;
    text.resize(n);
    return true;
}

bool parse_file(const char* path, Script& script) {
    std::string text;
    return read_file(path, text) && parse_script(text, script);
}

bool same_header(const ScriptHeader& a, const ScriptHeader& b) {
    return a.version == b.version && a.flags == b.flags && a.seed == b.seed &&
           a.background == b.background && a.width == b.width && a.height == b.height &&
           a.effect_count == b.effect_count;
}

// The protocol has no handle, so the library keeps one state, as the library
// it stands for did. The engine is single-threaded by contract.
struct Session {
    bool started = false;
    bool loaded = false;
    bool buffers = false;
    Script script;  // the loaded effects, then any added ones
};
Session& session() {
    static Session s;
    return s;
}
EffectCall& last_run() {
    static EffectCall call;
    return call;
}

}  // namespace

bool parse_script(std::string_view text, Script& out) {
    if (text.size() > kMaxScriptBytes) return false;
    enum class Expect { Magic, Header, Effects, Trailer } expect = Expect::Magic;
    out = Script{};
    Tokens tk;
    while (!text.empty() || expect == Expect::Magic) {
        const size_t nl = text.find('\n');
        std::string_view line = text.substr(0, nl);
        text.remove_prefix(nl == std::string_view::npos ? text.size() : nl + 1);
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        if (!tokenize(line, tk)) return false;
        if (expect == Expect::Magic) {
            // The very first line, so a few bytes tell a script from an image.
            if (tk.n != 2 || tk.t[0] != kMagic || tk.t[1] != "1") return false;
            expect = Expect::Header;
            continue;
        }
        if (tk.n == 0) continue;
        switch (expect) {
            case Expect::Header:
                if (!parse_header(tk, out.header)) return false;
                expect = Expect::Effects;
                break;
            case Expect::Effects:
                if (tk.n == 1 && tk.t[0] == "end") {
                    expect = Expect::Trailer;
                    break;
                }
                if (out.effects.size() == kMaxEffects) return false;
                if (!parse_effect(tk, out.effects.emplace_back())) return false;
                break;
            case Expect::Magic:
            case Expect::Trailer:
                return false;
        }
    }
    out.header.effect_count = int32_t(out.effects.size());
    return expect == Expect::Trailer;
}

bool render_script(const Script& script, uint8_t* bgra) {
    const ScriptHeader& h = script.header;
    if (!bgra || !valid_side(h.width) || !valid_side(h.height)) return false;
    for (const EffectCall& call : script.effects)
        if (!find_effect(call.number)) return false;
    const Image image{bgra, h.width, h.height};
    const size_t pixels = size_t(h.width) * size_t(h.height);
    const auto bg = uint32_t(h.background);
    for (size_t i = 0; i < pixels; ++i) {
        uint8_t* p = bgra + i * 4;
        p[0] = uint8_t(bg);
        p[1] = uint8_t(bg >> 8);
        p[2] = uint8_t(bg >> 16);
        p[3] = uint8_t(bg >> 24);
    }
    for (const EffectCall& call : script.effects) apply_effect(call, image, uint32_t(h.seed));
    if (h.flags & kFlagOpaque)
        for (size_t i = 0; i < pixels; ++i) bgra[i * 4 + 3] = 255;
    return true;
}

int32_t initialize() {
    session() = Session{};
    session().started = true;
    return 1;
}

int32_t load_script_from_file(const char* path) {
    Session& s = session();
    if (!s.started) return 0;
    s.loaded = s.buffers = false;
    s.script = Script{};
    try {
        Script script;
        if (!parse_file(path, script)) return 0;
        s.script = std::move(script);
    } catch (const std::bad_alloc&) {
        return 0;
    }
    s.loaded = true;
    return 1;
}

int32_t load_script_from_memory(const char* data, size_t size) {
    Session& s = session();
    if (!s.started) return 0;
    s.loaded = s.buffers = false;
    s.script = Script{};
    if (!data) return 0;
    try {
        Script script;
        if (!parse_script(std::string_view(data, size), script)) return 0;
        s.script = std::move(script);
    } catch (const std::bad_alloc&) {
        return 0;
    }
    s.loaded = true;
    return 1;
}

int32_t init_buffers() {
    Session& s = session();
    if (!s.started || !s.loaded) return 0;
    s.buffers = true;
    return 1;
}

int32_t read_script_header(const char* path, ScriptHeader& header) {
    const Session& s = session();
    if (!s.started) return 0;
    try {
        Script script;
        if (!parse_file(path, script)) return 0;
        if (s.loaded && !same_header(script.header, s.script.header)) return 0;
        header = script.header;
    } catch (const std::bad_alloc&) {
        return 0;
    }
    return 1;
}

int32_t execute_script(uint8_t* bgra) {
    const Session& s = session();
    if (!s.started || !s.loaded || !s.buffers) return 0;
    try {
        return render_script(s.script, bgra) ? 1 : 0;
    } catch (const std::bad_alloc&) {
        return 0;
    }
}

void finish() { session() = Session{}; }

int32_t add_effect(int32_t effect_number, int32_t enabled) {
    Session& s = session();
    if (!s.started || s.script.effects.size() >= kMaxEffects) return 0;
    EffectCall call = default_call(effect_number);
    if (call.number == 0) return 0;
    call.enabled = enabled != 0;
    try {
        s.script.effects.push_back(call);
    } catch (const std::bad_alloc&) {
        return 0;
    }
    return 1;
}

int32_t set_effect_value(int32_t effect_index, int32_t slot, int32_t value) {
    Session& s = session();
    if (!s.started || effect_index < 0 || size_t(effect_index) >= s.script.effects.size())
        return 0;
    if (slot < kFirstSlot || slot >= kFirstSlot + kSlotCount) return 0;
    s.script.effects[size_t(effect_index)].slots[slot - kFirstSlot] = value;
    return 1;
}

int32_t execute_script_on_image(uint8_t* pixels, int32_t width, int32_t height) {
    const Session& s = session();
    if (!s.started || !pixels || !valid_side(width) || !valid_side(height)) return 0;
    const Image image{pixels, width, height};
    if (!s.script.effects.empty()) last_run() = s.script.effects.front();
    bool changed = false;
    try {
        for (const EffectCall& call : s.script.effects)
            changed = apply_effect(call, image, uint32_t(s.script.header.seed)) || changed;
    } catch (const std::bad_alloc&) {
        // Effects that ran before the failure have rewritten the buffer.
    }
    return changed ? 1 : 0;
}

EffectCall last_executed_effect() { return last_run(); }

}  // namespace qrn::scriptlib
