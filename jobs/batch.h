#pragma once

// Many inputs written into one folder, several at a time on a pool of threads: NAME.EXT for
// each input's NAME. Each file goes through the same write as a single render, with a job
// state of its own.

#include <cstddef>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "jobs/job_runner.h"
#include "render/job_observer.h"

struct BatchItem {
    std::filesystem::path input;
    std::filesystem::path output;
    // What it replaces: the output where it exists, and with stems its vocals; the output first.
    std::vector<std::filesystem::path> existing;
};

// folder/NAME.extension for each input (extension with its dot); with stems, each output's
// vocals count among what an item replaces.
std::vector<BatchItem> BatchItems(const std::vector<std::string>& inputs,
                                  const std::filesystem::path& folder, const std::string& extension,
                                  bool stems = false);

// Why a batch must not start, before anything is written.
struct BatchProblem {
    enum class Kind {
        NoFolder,       // first: the folder
        NotAFolder,     // first: what was named as the folder
        SameOutput,     // first and second: two inputs that would write one output, second
        OutputIsInput,  // first: an output that is one of the inputs
    };
    Kind kind;
    std::string first;
    std::string second = {};
    std::string output = {};
};
// Each name is looked at once, so that a batch of thousands starts at once too. With stems,
// each output's vocals (VocalsPath) are outputs as well. Two outputs are one when their names
// lead to one file: through links, dangling ones too, or as hard links of one file.
std::optional<BatchProblem> CheckBatch(const std::vector<BatchItem>& items,
                                       const std::filesystem::path& folder, bool stems = false);

// Hears each file of a batch, from whichever thread runs it.
class BatchObserver {
  public:
    virtual ~BatchObserver() = default;
    virtual void Progress(std::size_t /*item*/, double /*done*/) {}
    // An item whose output exists was left alone (noClobber).
    virtual void Skipped(std::size_t /*item*/) {}
    virtual void Finished(std::size_t /*item*/, JobResult /*result*/,
                          const std::vector<JobMessage>& /*messages*/) {}
};

// Writes every item as request says (its input, output, pool and disk are the item's and the
// batch's) on a pool of threads (0: one for each core). With noClobber, an item whose output
// (or with stems its vocals) exists is left alone. Done when all were written.
JobResult RunBatch(const std::vector<BatchItem>& items, const WriteRequest& request, int threads,
                   bool noClobber, BatchObserver& observer);
