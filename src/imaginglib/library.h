// Start and stop of our imaging library. The four parts (codecs and geometry,
// effects, each in two generations) have nothing to set up on Linux; the
// entry points stay so the start order is kept and observable.
#pragma once
#include <cstdint>

namespace qrn::imaginglib {

int32_t initialize_core4();
int32_t initialize_effects4();
int32_t initialize_core3();
int32_t initialize_effects3();
void exit_core3();

// How often each part has been started (tests check the order and count).
struct StartLog {
    int calls = 0;
    int order[8] = {};
};
const StartLog& start_log();

}  // namespace qrn::imaginglib
