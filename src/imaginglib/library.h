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

// Calls so far and the parts of the last four (1..4 start, 5 exit), newest
// last: tests check the start order.
struct StartLog {
    int calls = 0;
    int last[4] = {};
};
const StartLog& start_log();

}  // namespace qrn::imaginglib
