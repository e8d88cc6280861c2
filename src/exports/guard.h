// The export guard: anything that escapes becomes "<op> Excpt" in the last
// error, and the export returns `failed` instead of unwinding into the host.
#pragma once
#include "engine/engine_state.h"

namespace qrn {

template <class R, class Body>
R guarded(const char* op, R failed, Body&& body) noexcept {
    try {
        return body();
    } catch (...) {
        engine().last_error.set_failure(op);
        return failed;
    }
}

template <class Body>
void guard(const char* op, Body&& body) noexcept {
    try {
        body();
    } catch (...) {
        engine().last_error.set_failure(op);
    }
}

// Setters and getters that cannot throw still must not let anything cross the C ABI.
template <class R, class Body>
R quiet(R failed, Body&& body) noexcept {
    try {
        return body();
    } catch (...) {
        return failed;
    }
}

}  // namespace qrn
