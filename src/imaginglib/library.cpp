// Start and stop of the imaging library parts; records the order for tests.
#include "imaginglib/library.h"

namespace qrn::imaginglib {
namespace {
StartLog g_log;
int32_t record(int part) {
    for (int i = 0; i < 3; ++i) g_log.last[i] = g_log.last[i + 1];
    g_log.last[3] = part;
    ++g_log.calls;
    return 1;
}
}  // namespace

int32_t initialize_core4() { return record(1); }
int32_t initialize_effects4() { return record(2); }
int32_t initialize_core3() { return record(3); }
int32_t initialize_effects3() { return record(4); }
void exit_core3() { record(5); }
const StartLog& start_log() { return g_log; }

}  // namespace qrn::imaginglib
