#include "render/safe_output.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <optional>
#include <random>
#include <string>
#include <system_error>
#include <thread>
#include <vector>

#include "render/transfer_all.h"

namespace fs = std::filesystem;

namespace {

// The longest file name the folder's file system takes.
std::size_t NameLimit(const fs::path& folder) {
    const long nameMax = ::pathconf(folder.empty() ? "." : folder.c_str(), _PC_NAME_MAX);
    return nameMax > 0 ? static_cast<std::size_t>(nameMax) : 255;
}

// ".NAME.XXXXXXXX.tmp", or ".zerbex2.XXXXXXXX.tmp" where NAME is too long for the file
// system to take the longer name.
fs::path TempNameBeside(const fs::path& target, unsigned long token) {
    char suffix[32];
    std::snprintf(suffix, sizeof suffix, ".%08lx.tmp", token & 0xFFFFFFFFul);
    const std::string name = target.filename().string();
    const bool fits = 1 + name.size() + std::strlen(suffix) <= NameLimit(target.parent_path());
    return target.parent_path() / ("." + (fits ? name : std::string("zerbex2")) + suffix);
}

// What a link names when it names no file: "pipe:[1234]", "socket:[5678]".
bool NamesNoFile(const fs::path& link) {
    const std::string text = link.string();
    return !text.empty() && text.front() != '/' && text.find(":[") != std::string::npos;
}

constexpr auto kFifoPoll = std::chrono::milliseconds(50);

// A replaced file keeps its own permissions; a new one keeps those the temporary file was
// created with, which the user's umask already shaped.
void CopyPermissions(const fs::path& from, const fs::path& to) {
    std::error_code ec;
    const fs::file_status status = fs::status(from, ec);
    if (!ec && fs::is_regular_file(status)) {
        fs::permissions(to, status.permissions(), ec);
    }
}

}  // namespace

fs::path ResolveOutputTarget(const fs::path& output) {
    std::error_code ec;
    fs::path target = output;
    for (int hops = 0; hops < 40 && fs::is_symlink(target, ec); ++hops) {
        const fs::path link = fs::read_symlink(target, ec);
        if (ec || NamesNoFile(link)) {
            break;
        }
        target = link.is_absolute() ? link : target.parent_path() / link;
    }
    return target;
}

bool SameOutputTarget(const fs::path& a, const fs::path& b) {
    std::error_code ec;
    if (fs::equivalent(a, b, ec) && !ec) {
        return true;
    }
    const auto resolved = [](const fs::path& name) {
        std::error_code error;
        const fs::path target = ResolveOutputTarget(name);
        const fs::path canonical = fs::weakly_canonical(target, error);
        return (error ? fs::absolute(target, error) : canonical).lexically_normal();
    };
    return resolved(a) == resolved(b);
}

SafeOutput::~SafeOutput() {
    Discard();
}

// A FIFO without a reader would block the open until one comes, deaf to every stop: it is
// opened without waiting, and tried again until a reader comes or the job is stopped.
bool SafeOutput::OpenDirect(const std::stop_token& stop) {
    m_direct = true;
    for (;;) {
        const int fd = ::open(m_target.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
        if (fd >= 0) {
            const int flags = ::fcntl(fd, F_GETFL);
            if (flags < 0 || ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) != 0 ||
                (m_file = ::fdopen(fd, "wb")) == nullptr) {
                Fail();
                ::close(fd);
                return false;
            }
            m_seekable = ::lseek(fd, 0, SEEK_CUR) >= 0;
            return true;
        }
        if (errno != ENXIO) {
            return Fail();
        }
        if (stop.stop_requested()) {
            errno = EINTR;
            return Fail();
        }
        std::this_thread::sleep_for(kFifoPoll);
    }
}

bool SafeOutput::Create(const fs::path& target, const std::stop_token& stop) {
    m_target = target;
    std::error_code ec;
    const fs::file_status status = fs::status(target, ec);
    if (fs::is_directory(status)) {
        errno = EISDIR;
        return Fail();
    }
    if (fs::exists(status) && !fs::is_regular_file(status)) {
        return OpenDirect(stop);
    }
    m_replaces = fs::exists(status);
    std::random_device random;
    for (int attempt = 0; attempt < 16; ++attempt) {
        const fs::path candidate = TempNameBeside(target, random());
        // "x": fails instead of reusing a file that happens to have the same name.
        m_file = std::fopen(candidate.c_str(), "wbx");
        if (m_file != nullptr) {
            m_temp = candidate;
            return true;
        }
        if (errno != EEXIST) {
            return Fail();
        }
    }
    return Fail();
}

bool SafeOutput::Finish() {
    if (m_finished) {
        return true;
    }
    if (m_file == nullptr) {
        return false;
    }
    errno = 0;
    bool ok = std::fflush(m_file) == 0 && (!m_replaces || ::fsync(::fileno(m_file)) == 0);
    int error = ok ? 0 : errno;
    if (std::fclose(m_file) != 0 && ok) {
        ok = false;
        error = errno;
    }
    m_file = nullptr;
    if (!ok) {
        errno = error;
        Fail();
        Discard();
        return false;
    }
    m_finished = true;
    return true;
}

bool SafeOutput::Publish() {
    if (!m_finished) {
        return false;
    }
    if (m_direct || m_temp.empty()) {
        return true;
    }
    CopyPermissions(m_target, m_temp);
    if (std::rename(m_temp.c_str(), m_target.c_str()) != 0) {
        return Fail();
    }
    m_temp.clear();
    return true;
}

void SafeOutput::Discard() {
    if (m_file != nullptr) {
        std::fclose(m_file);
        m_file = nullptr;
    }
    if (!m_temp.empty()) {
        std::error_code ec;
        fs::remove(m_temp, ec);
        m_temp.clear();
    }
    m_finished = false;
}

namespace {

constexpr char kPairHead[] = "zerbex2 pair 1";

// ".NAME.zerbex2-pair" beside target, or ".zerbex2-pair-HASH" where NAME is too long.
fs::path PairNoteOf(const fs::path& target) {
    const std::string name = target.filename().string();
    const fs::path folder = target.parent_path();
    if (1 + name.size() + std::strlen(".zerbex2-pair") <= NameLimit(folder)) {
        return folder / ("." + name + ".zerbex2-pair");
    }
    std::uint64_t hash = 1469598103934665603ull;  // FNV-1a
    for (const unsigned char c : name) {
        hash = (hash ^ c) * 1099511628211ull;
    }
    char hex[17];
    std::snprintf(hex, sizeof hex, "%016llx", static_cast<unsigned long long>(hash));
    return folder / (std::string(".zerbex2-pair-") + hex);
}

fs::path Absolute(const fs::path& path) {
    std::error_code ec;
    const fs::path absolute = fs::absolute(path, ec);
    return (ec ? path : absolute).lexically_normal();
}

// A temporary file this program made for target: ".SOMETHING.tmp" in target's folder.
bool TemporaryOf(const fs::path& temp, const fs::path& target) {
    const std::string name = temp.filename().string();
    return temp.parent_path() == target.parent_path() && name.size() > 5 && name.front() == '.' &&
           name.ends_with(".tmp") && name.find('/') == std::string::npos;
}

struct PairNote {
    fs::path firstTemp;
    fs::path firstTarget;
    dev_t device = 0;
    ino_t inode = 0;
    fs::path secondTemp;
    fs::path secondTarget;
};

std::string NoteText(const PairNote& note) {
    return std::string(kPairHead) + "\n" + note.firstTemp.string() + "\n" +
           note.firstTarget.string() + "\n" + std::to_string(note.device) + " " +
           std::to_string(note.inode) + "\n" + note.secondTemp.string() + "\n" +
           note.secondTarget.string() + "\n";
}

std::optional<PairNote> ParseNote(const std::string& text) {
    std::vector<std::string> lines;
    std::size_t from = 0;
    for (std::size_t end = text.find('\n'); end != std::string::npos;
         from = end + 1, end = text.find('\n', from)) {
        lines.push_back(text.substr(from, end - from));
    }
    if (lines.size() != 6 || lines[0] != kPairHead) {
        return std::nullopt;
    }
    PairNote note{lines[1], lines[2], 0, 0, lines[4], lines[5]};
    unsigned long long device = 0;
    unsigned long long inode = 0;
    if (std::sscanf(lines[3].c_str(), "%llu %llu", &device, &inode) != 2 ||
        !note.firstTemp.is_absolute() || !note.secondTemp.is_absolute() ||
        !TemporaryOf(note.firstTemp, note.firstTarget) ||
        !TemporaryOf(note.secondTemp, note.secondTarget)) {
        return std::nullopt;
    }
    note.device = static_cast<dev_t>(device);
    note.inode = static_cast<ino_t>(inode);
    return note;
}

// A regular file of ours, not a link to one.
bool IsPlainFile(const fs::path& path) {
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

// The note, written whole and locked before it takes its name, so that whoever opens it by
// its name finds it complete and held; -1 (errno set) when it cannot be made, EEXIST when a
// note of that name is there already.
int PlaceNote(const fs::path& note, const std::string& text) {
    std::random_device random;
    const fs::path draft =
        note.parent_path() / (note.filename().string() + "." + std::to_string(random() % 100000));
    const int fd = ::open(draft.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (fd < 0) {
        return -1;
    }
    const bool written = ::flock(fd, LOCK_EX) == 0 &&
                         TransferAll(::pwrite, fd, text.data(), text.size(), 0) &&
                         ::fsync(fd) == 0 && ::link(draft.c_str(), note.c_str()) == 0;
    const int error = errno;
    ::unlink(draft.c_str());
    if (!written) {
        ::close(fd);
        errno = error;
        return -1;
    }
    return fd;
}

}  // namespace

bool CommitPair(SafeOutput& first, SafeOutput& second, const std::function<void(int)>& step) {
    if (first.Direct() || second.Direct()) {
        // A device or FIFO has nothing to put in place: the other is renamed alone.
        return first.Publish() && second.Publish();
    }
    struct stat info {};
    if (::stat(first.Temporary().c_str(), &info) != 0) {
        errno = errno != 0 ? errno : EIO;
        return first.Publish();  // fails, with the reason
    }
    const PairNote note{
        Absolute(first.Temporary()),  Absolute(first.Target()), info.st_dev, info.st_ino,
        Absolute(second.Temporary()), Absolute(second.Target())};
    const fs::path notePath = PairNoteOf(first.Target());
    int fd = PlaceNote(notePath, NoteText(note));
    if (fd < 0 && errno == EEXIST && RecoverPair(first.Target())) {
        fd = PlaceNote(notePath, NoteText(note));
    }
    if (fd < 0) {
        errno = errno == EEXIST ? EBUSY : errno;
        return first.Publish() && false;
    }
    if (step) {
        step(1);
    }
    const bool firstPut = first.Publish();
    if (firstPut && step) {
        step(2);
    }
    if (firstPut && !second.Publish()) {
        // The first is in place: the note stays, and the next write to it puts the second in
        // place too.
        second.Keep();
        ::close(fd);
        return false;
    }
    ::unlink(notePath.c_str());
    ::close(fd);
    return firstPut;
}

bool RecoverPair(const fs::path& target) {
    const fs::path notePath = PairNoteOf(target);
    const int fd = ::open(notePath.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
    if (fd < 0) {
        return false;
    }
    struct stat held {};
    struct stat named {};
    // Held: a write is putting its pair in place now. Gone or replaced meanwhile: settled.
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0 || ::fstat(fd, &held) != 0 ||
        ::lstat(notePath.c_str(), &named) != 0 || held.st_ino != named.st_ino ||
        held.st_dev != named.st_dev || !S_ISREG(held.st_mode) || held.st_size > 64 * 1024) {
        ::close(fd);
        return false;
    }
    std::string text(static_cast<std::size_t>(held.st_size), '\0');
    const bool read = ::pread(fd, text.data(), text.size(), 0) == held.st_size;
    const std::optional<PairNote> note = read ? ParseNote(text) : std::nullopt;
    if (note && note->firstTarget.filename() == target.filename()) {
        // Whether path is a plain file and the first this note names, by device and inode.
        const auto isNotedFirst = [&note](const fs::path& path) {
            struct stat st {};
            return ::lstat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) &&
                   st.st_ino == note->inode && st.st_dev == note->device;
        };
        if (isNotedFirst(note->firstTemp)) {
            // The first rename was not made: the old pair stands, the new one goes.
            ::unlink(note->firstTemp.c_str());
            if (IsPlainFile(note->secondTemp)) {
                ::unlink(note->secondTemp.c_str());
            }
        } else if (isNotedFirst(note->firstTarget)) {
            // The first is in place: the second follows it.
            if (IsPlainFile(note->secondTemp)) {
                std::rename(note->secondTemp.c_str(), note->secondTarget.c_str());
            }
        } else if (IsPlainFile(note->secondTemp)) {
            // The first was replaced since by another write: this pair's second is stale.
            ::unlink(note->secondTemp.c_str());
        }
    }
    ::unlink(notePath.c_str());
    ::close(fd);
    return true;
}
