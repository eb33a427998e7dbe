#pragma once

#include <cstdio>
#include <filesystem>

#include "shared_value.h"

// A write job's output: written to a temporary file beside the target and moved over
// the target only once everything was written, so the target never holds half a file.
// A target that exists but is no regular file (/dev/null, a FIFO) is written directly:
// it cannot be replaced, and must not be.
class SafeOutput {
  public:
    SafeOutput() = default;
    SafeOutput(const SafeOutput&) = delete;
    SafeOutput& operator=(const SafeOutput&) = delete;
    ~SafeOutput();  // discards the temporary file unless committed

    // Creates the temporary file for the target; false when that is impossible (Error()
    // tells why) or when stop came while a FIFO waited for its reader.
    bool Create(const std::filesystem::path& target, const Shared<int>* stop = nullptr);
    std::FILE* File() const { return m_file; }
    // The system's error number of the last failure; 0 when there was none.
    int Error() const { return m_error; }
    // Whether Commit syncs the file to the disk: only when it replaces a file, whose old
    // contents a crash after the rename must not take with it. A new name holds no data
    // that could be lost, so it is written as any program writes a file.
    bool Syncs() const { return m_replaces; }
    // Flushes, syncs when it replaces a file, closes the temporary file, then renames it
    // over the target.
    bool Commit();
    // Closes and removes the temporary file; the target is untouched.
    void Discard();

  private:
    bool OpenDirect(const Shared<int>* stop);
    bool Fail() {
        m_error = errno != 0 ? errno : EIO;
        return false;
    }

    std::filesystem::path m_target;
    std::filesystem::path m_temp;
    std::FILE* m_file = nullptr;
    bool m_direct = false;
    bool m_replaces = false;
    int m_error = 0;
};

// A symbolic link as the output names its target: the file behind it is replaced. A link to
// something that is no file (/dev/stdout to a pipe) is written through as it is.
std::filesystem::path ResolveOutputTarget(const std::filesystem::path& output);
