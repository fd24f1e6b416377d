#pragma once
// Where a picture encoder hands the bytes of a file, in order and a piece
// at a time, so that a large file never has to exist whole in memory. A
// sink may throw; the encoder then stops and the exception propagates.
#include <cstddef>
#include <cstdint>
#include <functional>

namespace tw {

using ByteSink = std::function<void(const std::uint8_t* data, std::size_t size)>;

} // namespace tw
