#pragma once

namespace tw {

// How the stages may use the machine. Every setting gives the same mosaic,
// byte for byte; the reference path is the plain one-photograph-at-a-time,
// one-cell-at-a-time algorithm that the faster paths are checked against.
struct EngineOptions {
    unsigned threads = 0;        // decoding threads; 0 = one per core
    bool referencePath = false;  // no caching, no parallel decoding
};

} // namespace tw
