#pragma once
// Where each library photograph was placed: the names of the usage window
// and its detail and simple lists.
#include "engine/project.h"
#include "platform/files.h"

#include <string>
#include <vector>

namespace tw {

class CellPicLib;

// One name per library entry, in library order: the file name part when
// shortNames is set, else the full path as stored.
std::vector<std::string> usageNames(const CellPicLib& library, bool shortNames);

// For each name i used by at least one cell (picture field == i, placed
// flag not looked at), column by column:
//   name + " POSITIONS: " + (" x:" X " y:" Y "  ||  ")... + "  Total used time:" + n
std::vector<std::string> detailUsageList(const MosaicProject& project, const std::vector<std::string>& names);
//   name + "Total used time:" + n
std::vector<std::string> simpleUsageList(const MosaicProject& project, const std::vector<std::string>& names);

// Lines as 8-bit text, each followed by CR LF.
Bytes linesToText(const std::vector<std::string>& lines);

} // namespace tw
