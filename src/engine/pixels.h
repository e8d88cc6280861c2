// Pixel transfer between host buffers and layers (being written).
#pragma once
