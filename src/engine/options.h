#pragma once
#include <cstdint>
#include <optional>

namespace tw {

class AnalysisStore;
class DecodeBudget;

// How the stages may use the machine. Every setting gives the same mosaic,
// byte for byte; the reference path is the plain one-photograph-at-a-time,
// one-cell-at-a-time algorithm that the faster paths are checked against.
struct EngineOptions {
    unsigned threads = 0;        // worker threads (decoding, matching lists, drawing); 0 = one per core
    bool referencePath = false;  // no caching, no parallel decoding
    // Bytes a creation may spend keeping the library stage's prepared
    // photographs for the rendering stage; unset = a share of the available
    // memory (photoCacheBudget), 0 = decode every photograph again.
    std::optional<std::uint64_t> photoCacheBytes = std::nullopt;
    // The memory budget the stages decode photographs in; null = the one
    // the whole program shares (sharedDecodeBudget).
    DecodeBudget* decodeBudget = nullptr;
    // The analysis cache kept between runs (worker path only); null = none.
    // A photograph found there is neither decoded by the library stage nor,
    // where its stored drawing data draws its cells, by the rendering stage.
    AnalysisStore* analysisStore = nullptr;
};

} // namespace tw
