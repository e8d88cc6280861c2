// The Linux tablet driver: a pen device among the kernel's input event devices,
// read through libevdev without grabbing it, so the pointer keeps following the pen.
#pragma once
#include <memory>
#include <string>

#include "platform/tablet_driver.h"

namespace qrn::platform {

// A pen device has absolute x, y and pressure and the stylus tool; the eraser
// end (the rubber tool) sets the invert bit of its packets. With a device path
// only that device is considered, else the first pen among /dev/input/event*.
// One context at a time.
std::unique_ptr<TabletDriver> make_evdev_tablet_driver(const std::string& device_path = {});

}  // namespace qrn::platform
