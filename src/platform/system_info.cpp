// Linux answers for the system directory and button colours.
#include "platform/system_info.h"

namespace qrn::platform {

std::string system_directory() { return "/usr/share"; }

// The common light-grey face and black text of desktop themes.
uint32_t button_face_colour() { return 0x00F0F0F0u; }
uint32_t button_text_colour() { return 0x00000000u; }

}  // namespace qrn::platform
