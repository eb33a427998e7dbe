#pragma once

#include <cstdio>
#include <filesystem>
#include <functional>
#include <stop_token>

// A write job's output: written to a temporary file beside the target and moved over
// the target only once everything was written, so the target never holds half a file.
// A target that exists but is no regular file (/dev/null, a FIFO) is written directly:
// it cannot be replaced, and must not be; and nothing of this program ever removes one.
class SafeOutput {
  public:
    SafeOutput() = default;
    SafeOutput(const SafeOutput&) = delete;
    SafeOutput& operator=(const SafeOutput&) = delete;
    ~SafeOutput();  // discards the temporary file unless committed

    // Creates the temporary file for the target; false when that is impossible (Error()
    // tells why) or when stop came while a FIFO waited for its reader.
    bool Create(const std::filesystem::path& target, const std::stop_token& stop = {});
    std::FILE* File() const { return m_file; }
    // The system's error number of the last failure; 0 when there was none.
    int Error() const { return m_error; }
    // Whether Commit syncs the file to the disk: only when it replaces a file, whose old
    // contents a crash after the rename must not take with it. A new name holds no data
    // that could be lost, so it is written as any program writes a file.
    bool Syncs() const { return m_replaces; }
    // Whether the output can go back to bytes written earlier: a file can, a pipe or a FIFO
    // cannot (a format that fills in its start at the end is refused there).
    bool Seekable() const { return m_seekable; }
    // Written straight into what the target is (a device, a FIFO): no temporary, no rename.
    bool Direct() const { return m_direct; }
    const std::filesystem::path& Target() const { return m_target; }
    const std::filesystem::path& Temporary() const { return m_temp; }

    // Flushes, syncs when it replaces a file and closes the temporary file: what can fail for
    // want of room or a size limit fails here, and the target is untouched then.
    bool Finish();
    // Renames the finished temporary file over the target.
    bool Publish();
    // Closes and removes the temporary file; the target is untouched.
    void Discard();
    // Leaves the finished temporary file where it is, for RecoverPair to put in place.
    void Keep() { m_temp.clear(); }

  private:
    bool OpenDirect(const std::stop_token& stop);
    bool Fail() {
        m_error = errno != 0 ? errno : EIO;
        return false;
    }

    std::filesystem::path m_target;
    std::filesystem::path m_temp;
    std::FILE* m_file = nullptr;
    bool m_direct = false;
    bool m_replaces = false;
    bool m_seekable = true;
    bool m_finished = false;
    int m_error = 0;
};

// A symbolic link as the output names its target: the file behind it is replaced. A link to
// something that is no file (/dev/stdout to a pipe) is written through as it is. A dangling
// link names the file it would create.
std::filesystem::path ResolveOutputTarget(const std::filesystem::path& output);

// Whether two output names end in one file: the same path once links (dangling ones too)
// and ".." are resolved, or the same existing file under two names (a hard link).
bool SameOutputTarget(const std::filesystem::path& a, const std::filesystem::path& b);

// Two outputs of one write (a render and its vocals) put in place together. Both must be
// finished (SafeOutput::Finish) first, so that neither replaces its target while the other
// could still fail for want of room. A note beside the first target
// (".NAME.zerbex2-pair") names both temporary files while the two renames run, the first
// target's first; a run killed between them leaves it, and RecoverPair, which every write
// to that target calls first, finishes the second rename or, when the first had not been
// made, removes both temporaries: the pair is the old one or the new one, never half of
// each. False, with first's or second's Error set, when a rename failed. step, for tests, is
// called with 1 once the note is in place and with 2 between the renames.
bool CommitPair(SafeOutput& first, SafeOutput& second,
                const std::function<void(int step)>& step = {});

// What a write killed during CommitPair left for target, finished or undone (see
// CommitPair); a note that a running write holds is left to it. True when there was one to
// settle.
bool RecoverPair(const std::filesystem::path& target);
