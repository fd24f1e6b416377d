// Prints the memory tilewright-cli create estimates for a creation, next to
// what the process holds when the estimate is made, so the benchmark can set
// their sum against the peak the real run reaches.
//
//   creation_estimate create --main FILE --library FOLDER [create options]
//
// Takes the options of tilewright-cli create and prints, in bytes:
//   held      resident memory once the library and the main picture are loaded
//   need      creationMemoryNeed, what the check compares with the available memory
//   estimate  held + need, the expected peak
#include "cli/cli_commands.h"
#include "cli/cli_options.h"
#include "library/cell_pic_lib.h"
#include "platform/memory.h"
#include "setup/wizard_options.h"

#include <cstdio>
#include <exception>
#include <fstream>
#include <memory>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

std::uint64_t residentBytes()
{
    std::ifstream statm("/proc/self/statm");
    std::uint64_t size = 0, resident = 0;
    statm >> size >> resident;
    return resident * static_cast<std::uint64_t>(::sysconf(_SC_PAGESIZE));
}

} // namespace

int main(int argc, char** argv)
{
    try {
        const std::vector<std::string> args(argv + 1, argv + argc);
        const tw::cli::Invocation invocation = tw::cli::parseArguments(args);
        const tw::cli::CreateRequest& request = invocation.create;
        auto project = std::make_unique<tw::MosaicProject>();
        tw::CellPicLib library;
        tw::cli::loadLibrary(library, request.libraryPath, request.recursive);
        project->mainImagePath = request.mainPath;
        tw::loadMainImage(*project);
        const tw::MemoryStatus memory = tw::queryMemoryStatus();
        tw::copyWizardOptions(*project, request.size, request.options, library.count(), memory);
        const std::uint64_t held = residentBytes();
        const std::uint64_t need =
            tw::cli::creationMemoryNeed(project->settings, library.count(), tw::cli::CliRun::Create,
                                        tw::cli::outputTypeFor(request.outPath), !request.projectPath.empty(),
                                        project->MainImage, memory, invocation.threads);
        std::printf("held %llu\nneed %llu\nestimate %llu\n", static_cast<unsigned long long>(held),
                    static_cast<unsigned long long>(need), static_cast<unsigned long long>(held + need));
        return 0;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "creation_estimate: %s\n", e.what());
        return 1;
    }
}
