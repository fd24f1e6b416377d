#include "ui/app_context.h"

#include "cache/analysis_store.h"
#include "platform/errors.h"
#include "platform/platform.h"
#include "platform/program_files.h"

#include <exception>
#include <iostream>
#include <mutex>
#include <new>

namespace tw {

AppContext::AppContext(Platform& platform, QObject* parent)
    : QObject(parent), platform_(platform), project_(std::make_unique<MosaicProject>())
{
}

AppContext::~AppContext() = default;

AnalysisStore* AppContext::analysisStore()
{
    if (!storeOpened_) {
        storeOpened_ = true;
        store_ = AnalysisStore::open(userCacheFolder(), [](const std::string& text) {
            static std::mutex lineAtATime;
            std::lock_guard lock(lineAtATime);
            std::cerr << "tilewright: warning: " << text << std::endl;
        });
    }
    return store_.get();
}

bool AppContext::guarded(const std::function<void()>& handler)
{
    std::string text;
    std::string file;
    try {
        handler();
        return true;
    } catch (const Error& e) {
        text = e.what();
        file = e.file();
    } catch (const std::bad_alloc&) {
        text = "Out of memory";
    } catch (const std::exception& e) {
        text = e.what();
    } catch (...) {
        text = "Unknown error";
    }
    // The message keeps its exact text; the file it concerns, when the text
    // does not name it, follows on a line of its own. Paths from list and
    // project files may hold control characters: they are shown escaped.
    std::string shown = escapeControlCharacters(messageWithFullStop(text));
    if (!file.empty())
        shown += "\n\n" + escapeControlCharacters(file);
    platform_.showMessage(shown, "Error");
    return false;
}

void AppContext::enterBusy()
{
    if (++busyDepth_ == 1)
        Q_EMIT busyChanged(true);
}

void AppContext::leaveBusy() noexcept
{
    if (--busyDepth_ == 0) {
        // A slot that throws here must not escape a destructor.
        try {
            Q_EMIT busyChanged(false);
        } catch (...) {
        }
    }
}

} // namespace tw
