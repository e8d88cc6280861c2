// System directory and the two system colours the host asks for.
#pragma once
#include <cstdint>
#include <string>

namespace qrn::platform {

// Where the system keeps its shared data (the host looks for fonts and the
// like below it).
std::string system_directory();
// Colours as 0x00BBGGRR: the face and the text colour of push buttons.
uint32_t button_face_colour();
uint32_t button_text_colour();

}  // namespace qrn::platform
