#pragma once
// How the creation stages report: a job label, a progress gauge and a pump
// that lets pending window messages run between units of work.
#include <cstdint>
#include <string>

namespace tw {

class ProgressObserver {
public:
    virtual ~ProgressObserver() = default;
    virtual void setJobLabel(const std::string& text) = 0;
    // The raw gauge value as computed by the stage; it may lie outside
    // 0..100 (library analysis starts at -1). Displays clamp it with clampGauge.
    virtual void setProgress(int value) = 0;
    virtual void pump() = 0;
    // While a stage whose units finish out of order waits for the next one
    // it reports: done of total units are finished. The gauge may run ahead
    // on it; it is no unit of work of its own (no pump, no gauge value).
    virtual void showWorkDone(std::uint64_t done, std::uint64_t total) { (void)done, (void)total; }
};

constexpr int clampGauge(int value) { return value < 0 ? 0 : value > 100 ? 100 : value; }

// An observer that ignores everything.
class NullObserver final : public ProgressObserver {
public:
    void setJobLabel(const std::string&) override {}
    void setProgress(int) override {}
    void pump() override {}
};

} // namespace tw
