// The fuzz targets as plain functions over bytes, so that the corpus runner
// (an ordinary test program) and libFuzzer call the same code.
#pragma once

#include <cstddef>
#include <cstdint>

int FuzzSettingsText(const std::uint8_t* data, std::size_t size);
