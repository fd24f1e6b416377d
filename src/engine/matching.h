#pragma once
// "Mosaic Mapping Table": every cell assigned a photograph, offsets and flips.
#include "engine/observer.h"
#include "engine/options.h"
#include "engine/project.h"

#include <cstdint>

namespace tw {

class CellPicLib;

struct MatchResult {
    int distance = 0;
    bool vFlip = false;
    bool hFlip = false;
    friend bool operator==(const MatchResult&, const MatchResult&) = default;
};

enum class CheckLevel { fullCheck = 0, editCheck = 1, noCheck = 2 };

struct CellPos {
    int x = 0, y = 0;
    friend bool operator==(const CellPos&, const CellPos&) = default;
};

// How well signature a fits sample b in the best allowed orientation after
// moving a's colour toward b's by enhance percent.
MatchResult matchDistance(const ColorSignature& a, const CellSample& b, int enhance, bool allowV, bool allowH);

// 1..4: the position of the smallest value, ties to the earlier position.
int pickSmallestOfFour(int d0, int d1, int d2, int d3);

// Whether library picture p may go into cell (x, y) under level.
bool candidateAllowed(const MosaicProject& project, int x, int y, int p, CheckLevel level);

// A library index among the randomLevel best allowed candidates, or -1.
// Calls project.random exactly as the matcher does (start, then slot).
int chooseLibraryPicture(MosaicProject& project, int libraryCount, int x, int y, const CellSample& sample,
                         CheckLevel level);

// The free cell that fits picture p best (use-all pass).
CellPos bestFreeCellFor(MosaicProject& project, int p);

// Places picture p in cell (x, y): offsets, picture, placed flag, usage
// count + 1, flips from matchDistance with the allowed flips.
void placePicture(MosaicProject& project, int p, int x, int y);

// The stage. Uses library.count() as N.
// By default the distances are measured in bulk, ahead of the passes and on
// worker threads (options.threads), and the passes read them from short
// lists per cell and per photograph; the grid, the table, the Random calls
// and the reports are those of the plain algorithm (options.referencePath),
// which measures every candidate when it is scanned.
void matchCells(MosaicProject& project, const CellPicLib& library, ProgressObserver& observer,
                const EngineOptions& options = {});

// How long the bulk matcher's lists are: photographs kept per cell for the
// main and fill passes, cells kept per photograph for the use-all pass; 0
// chooses from the grid and library sizes. Any lengths give the same result;
// tests use short ones to reach every way through the passes.
struct MatchListLengths {
    int photosPerCell = 0;
    int cellsPerPhoto = 0;
};
void matchCells(MosaicProject& project, const CellPicLib& library, ProgressObserver& observer,
                const EngineOptions& options, MatchListLengths lengths);

// The most the standard matching of cells cells against photos photographs
// holds at once (lists, columns, placements), for the memory check.
std::uint64_t matchingMemory(std::int64_t cells, std::int64_t photos, const EngineOptions& options);

} // namespace tw
