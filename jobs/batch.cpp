#include "jobs/batch.h"

#include <sys/stat.h>

#include <algorithm>
#include <atomic>
#include <map>
#include <set>
#include <system_error>

#include "render/disk_space.h"
#include "render/render_pool.h"
#include "render/safe_output.h"

namespace fs = std::filesystem;

namespace {

// Who a file is: its device and inode, when it exists.
std::optional<std::pair<dev_t, ino_t>> Identity(const fs::path& path) {
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0) {
        return std::nullopt;
    }
    return std::make_pair(info.st_dev, info.st_ino);
}

// One file's job as the batch observes it: its messages kept for the report.
class FileObserver : public JobObserver {
  public:
    FileObserver(BatchObserver& batch, std::size_t item) : m_batch(batch), m_item(item) {}
    void Message(const JobMessage& message) override { m_messages.push_back(message); }
    void Progress(double done) override { m_batch.Progress(m_item, done); }
    const std::vector<JobMessage>& Messages() const { return m_messages; }

  private:
    BatchObserver& m_batch;
    std::size_t m_item;
    std::vector<JobMessage> m_messages;
};

// How the file shares the pool: alone on all of it, in segments; or side by side with others,
// in one piece, reading and writing on threads of its own only while the pool has a thread
// and a core left for them (ioThreads). batch: the request every file shares.
bool WriteOne(const BatchItem& item, std::size_t index, const WriteRequest& batch,
              BatchObserver& observer, bool segments, bool ioThreads) {
    if (batch.stop.stop_requested()) {
        return false;
    }
    WriteRequest request = batch;
    request.input = item.input;
    request.output = item.output;
    request.segments = segments ? 0 : 1;
    request.ioThreads = ioThreads;
    FileObserver file(observer, index);
    const JobResult result = JobRunner().Write(request, file);
    observer.Finished(index, result, file.Messages());
    return result == JobResult::Done;
}

}  // namespace

std::vector<BatchItem> BatchItems(const std::vector<std::string>& inputs, const fs::path& folder,
                                  const std::string& extension, bool stems) {
    std::vector<BatchItem> items;
    items.reserve(inputs.size());
    for (const std::string& input : inputs) {
        BatchItem item{input, folder / (fs::path(input).stem().string() + extension), {}};
        for (const fs::path& name : {item.output, VocalsPath(item.output)}) {
            std::error_code ec;
            if ((stems || name == item.output) && fs::exists(fs::symlink_status(name, ec))) {
                item.existing.push_back(name);
            }
        }
        items.push_back(std::move(item));
    }
    return items;
}

std::optional<BatchProblem> CheckBatch(const std::vector<BatchItem>& items, const fs::path& folder,
                                       bool stems) {
    std::error_code ec;
    if (!fs::is_directory(folder, ec)) {
        const bool exists = fs::exists(folder, ec);
        return BatchProblem{exists ? BatchProblem::Kind::NotAFolder : BatchProblem::Kind::NoFolder,
                            folder.string()};
    }
    std::set<fs::path> inputPaths;
    std::set<std::pair<dev_t, ino_t>> inputFiles;
    for (const BatchItem& item : items) {
        if (fs::path canonical = fs::weakly_canonical(item.input, ec); !ec) {
            inputPaths.insert(std::move(canonical));
        }
        if (const auto id = Identity(item.input)) {
            inputFiles.insert(*id);
        }
    }
    // Each output by the file it ends in: its name with links followed (a dangling link
    // names the file it would make), and who the file is where it exists.
    std::map<fs::path, std::pair<const BatchItem*, fs::path>> seen;
    std::map<std::pair<dev_t, ino_t>, std::pair<const BatchItem*, fs::path>> seenFiles;
    for (const BatchItem& item : items) {
        std::vector<fs::path> outputs{item.output};
        if (stems) {
            outputs.push_back(VocalsPath(item.output));
        }
        for (const fs::path& output : outputs) {
            const fs::path target = ResolveOutputTarget(output);
            fs::path key = fs::weakly_canonical(target, ec);
            key = (ec ? fs::absolute(target, ec) : key).lexically_normal();
            const auto [it, added] = seen.emplace(key, std::make_pair(&item, output));
            const auto id = Identity(output);
            const auto [file, addedFile] =
                id ? seenFiles.emplace(*id, std::make_pair(&item, output))
                   : std::make_pair(seenFiles.end(), true);
            if (!added || !addedFile) {
                const auto& [other, otherName] = !added ? it->second : file->second;
                return BatchProblem{
                    BatchProblem::Kind::SameOutput, item.input.string(), other->input.string(),
                    otherName == output
                        ? output.string()
                        : otherName.string() + " (" + output.string() + " leads to it)"};
            }
            const fs::path canonical = fs::weakly_canonical(output, ec);
            if ((id && inputFiles.count(*id) != 0) || (!ec && inputPaths.count(canonical) != 0)) {
                return BatchProblem{BatchProblem::Kind::OutputIsInput, output.string()};
            }
        }
    }
    return std::nullopt;
}

JobResult RunBatch(const std::vector<BatchItem>& items, const WriteRequest& request, int threads,
                   bool noClobber, BatchObserver& observer) {
    std::vector<std::size_t> chosen;
    for (std::size_t i = 0; i < items.size(); ++i) {
        if (noClobber && !items[i].existing.empty()) {
            observer.Skipped(i);
        } else {
            chosen.push_back(i);
        }
    }
    // The decodings side by side share the free space: none counts on what another takes.
    DiskSpace disk;
    RenderPool pool(threads);
    WriteRequest batch = request;
    batch.pool = &pool;
    batch.disk = &disk;
    std::atomic<bool> allWritten{true};
    if (chosen.size() == 1) {
        allWritten =
            WriteOne(items[chosen[0]], chosen[0], batch, observer, true, pool.HasSpareThread(1));
    } else {
        const auto sideBySide = std::min<std::size_t>(chosen.size(), pool.Threads());
        const bool ioThreads = pool.HasSpareThread(sideBySide);
        pool.ForEach(chosen.size(), [&](std::size_t k) {
            const std::size_t i = chosen[k];
            if (!WriteOne(items[i], i, batch, observer, false, ioThreads)) {
                allWritten = false;
            }
        });
    }
    return allWritten                      ? JobResult::Done
           : request.stop.stop_requested() ? JobResult::Stopped
                                           : JobResult::Failed;
}
