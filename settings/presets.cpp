#include "settings/presets.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <functional>
#include <system_error>
#include <thread>
#include <unordered_map>

#include "render/safe_output.h"
#include "render/transfer_all.h"
#include "settings/cache_folder.h"

namespace fs = std::filesystem;

// The shipped presets' text (res/presets/shipped-presets.ini), compiled in.
extern const char kShippedPresetsText[];

namespace {

// A hand-edited file this large is no presets file.
constexpr std::uintmax_t kMaxFileBytes = 1u << 20;

constexpr char kModeKey[] = "mode";
constexpr char kLoudnessKey[] = "loudness";
constexpr char kByteOrderMark[] = "\xEF\xBB\xBF";
// How long a change waits for another program's change of the file to end.
constexpr auto kLockWait = std::chrono::seconds(10);

constexpr char kFileHeader[] =
    "# Zerbex 2 presets: trackbar settings saved by the window's \"Save settings as preset...\",\n"
    "# applied by its \"Presets\" menu and by `zerbex2-cli render --preset NAME`.\n";

// One section of the file, as it is written there.
struct Entry {
    std::string name;
    int line = 0;                  // of its "[name]"
    std::string text;              // its lines, up to the next section
    std::optional<Preset> preset;  // when every setting was read
};

struct FileContents {
    std::string preamble;  // the lines before the first section
    std::vector<Entry> entries;
};

std::string_view Trim(std::string_view text) {
    const auto first = text.find_first_not_of(" \t\r");
    if (first == std::string_view::npos) {
        return {};
    }
    return text.substr(first, text.find_last_not_of(" \t\r") - first + 1);
}

std::string LowerCase(std::string_view text) {
    std::string lower(text);
    for (char& c : lower) {
        c = c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
    }
    return lower;
}

bool SameName(std::string_view a, std::string_view b) {
    return LowerCase(a) == LowerCase(b);
}

std::string Quoted(std::string_view text) {
    return "'" + std::string(text) + "'";
}

std::optional<int> ParseWhole(std::string_view text) {
    int value = 0;
    const char* end = text.data() + text.size();
    const auto [stop, error] = std::from_chars(text.data(), end, value);
    if (text.empty() || error != std::errc() || stop != end) {
        return std::nullopt;
    }
    return value;
}

// Takes one "key = value" line into preset; why it cannot, otherwise. seen holds the keys
// read so far.
std::optional<std::string> ReadSetting(std::string_view line, Preset& preset,
                                       std::vector<std::string>& seen) {
    const auto eq = line.find('=');
    if (eq == std::string_view::npos) {
        return Quoted(line) + " is no 'setting = value' line";
    }
    const std::string key(Trim(line.substr(0, eq)));
    const std::string value(Trim(line.substr(eq + 1)));
    if (std::find(seen.begin(), seen.end(), key) != seen.end()) {
        return key + " is given twice";
    }
    seen.push_back(key);
    // Stores a value read, or says what the setting must be.
    const auto take = [&value](const auto& read, auto& setting,
                               const std::string& must) -> std::optional<std::string> {
        if (!read) {
            return must + " (got " + Quoted(value) + ")";
        }
        setting = *read;
        return std::nullopt;
    };
    if (key == kModeKey) {
        return take(ModeFromName(value), preset.mode, "mode must be one of " + ModeNamesText());
    }
    if (key == kLoudnessKey) {
        return take(ParseLoudness(value), preset.loudness,
                    std::string(kLoudnessKey) + " must be match, off or a loudness in LUFS");
    }
    // Every trackbar but the places in the file: the focus, key and tempo a section may leave
    // out (a file from before them has none).
    const auto row = std::ranges::find_if(
        kKnobs, [&key](const KnobRow& r) { return key == r.name && r.unit != Unit::Position; });
    if (row == std::end(kKnobs)) {
        return "unknown setting " + Quoted(key);
    }
    std::optional<int> number =
        row->perUnit == 1 ? ParseWhole(value) : StepsFromText(value, row->perUnit);
    if (number && (*number < row->min || *number > row->max)) {
        number.reset();
    }
    return take(number, PositionOf(preset.positions, row->knob),
                key + " must be " + RangeText(row->min, row->max, row->perUnit));
}

// The settings a section did not give, "low, high"; empty when it gave all.
std::string Missing(const std::vector<std::string>& seen) {
    std::string missing;
    const auto note = [&](const char* key) {
        if (std::find(seen.begin(), seen.end(), key) == seen.end()) {
            missing += (missing.empty() ? "" : ", ") + std::string(key);
        }
    };
    note(kModeKey);
    for (const Knob knob : kProcessingKnobs) {
        note(RowOf(knob).name);
    }
    return missing;
}

// Reads a text of sections, noting each damaged one in problems ("SOURCE, line N: ...").
class PresetParser {
  public:
    PresetParser(std::string source, std::vector<std::string>& problems)
        : m_source(std::move(source)), m_problems(problems) {}

    FileContents Parse(std::string_view text) {
        int number = 0;
        while (!text.empty()) {
            const auto end = text.find('\n');
            const std::string_view raw =
                end == std::string_view::npos ? text : text.substr(0, end + 1);
            text.remove_prefix(raw.size());
            Line(raw, ++number);
        }
        FlushPending();
        Close();
        return std::move(m_contents);
    }

  private:
    // Blank lines and comments wait: a comment right above a section belongs to it.
    void Line(std::string_view raw, int number) {
        const std::string_view line = Trim(raw.substr(0, raw.find('\n')));
        if (line.empty() || line.front() == '#' || line.front() == ';') {
            m_pending += raw;
            m_pendingBlank = line.empty() ? m_pending.size() : m_pendingBlank;
            return;
        }
        if (line.front() == '[') {
            const std::string comment = m_pending.substr(m_pendingBlank);
            m_pending.resize(m_pendingBlank);
            FlushPending();
            Close();
            Open(line, number);
            Text() += comment;
            Text() += raw;
            return;
        }
        FlushPending();
        Text() += raw;
        if (m_contents.entries.empty()) {
            Note(number, Quoted(line) + " is outside any preset");
        } else if (std::optional<Preset>& preset = m_contents.entries.back().preset) {
            if (std::optional<std::string> error = ReadSetting(line, *preset, m_seen)) {
                Fail(number, *error);
            }
        }
    }

    // The open section's text, or the preamble before any.
    std::string& Text() {
        return m_contents.entries.empty() ? m_contents.preamble : m_contents.entries.back().text;
    }

    void FlushPending() {
        Text() += m_pending;
        m_pending.clear();
        m_pendingBlank = 0;
    }

    // The section's preset is read while it is open, and dropped when it is damaged.
    void Open(std::string_view header, int number) {
        m_seen.clear();
        Entry& entry = m_contents.entries.emplace_back();
        entry.line = number;
        if (header.back() != ']') {
            entry.name = std::string(Trim(header.substr(1)));
            Fail(number, "a preset's name must end with ']'");
            return;
        }
        entry.name = std::string(Trim(header.substr(1, header.size() - 2)));
        if (const std::optional<std::string> problem = PresetNameProblem(entry.name)) {
            Fail(number, *problem);
            return;
        }
        entry.preset.emplace().name = entry.name;
    }

    void Close() {
        if (m_contents.entries.empty() || !m_contents.entries.back().preset) {
            return;
        }
        if (const std::string missing = Missing(m_seen); !missing.empty()) {
            Fail(m_contents.entries.back().line, "it does not give " + missing);
        }
    }

    void Fail(int number, const std::string& what) {
        Entry& entry = m_contents.entries.back();
        entry.preset.reset();
        Note(number, what + "; the preset " + Quoted(entry.name) + " is not loaded");
    }

    void Note(int number, const std::string& what) {
        m_problems.push_back(m_source + ", line " + std::to_string(number) + ": " + what);
    }

    std::string m_source;
    std::vector<std::string>& m_problems;
    FileContents m_contents;
    std::vector<std::string> m_seen;  // the keys the open section gave
    std::string m_pending;            // blank and comment lines not yet placed
    std::size_t m_pendingBlank = 0;   // how much of it ends with its last blank line
};

// The file's text; nothing, with the reason in problems, when it exists but cannot be read.
// A missing file reads as empty.
std::optional<std::string> ReadText(const fs::path& file, std::vector<std::string>& problems) {
    const auto refused = [&](const std::string& why) -> std::optional<std::string> {
        problems.push_back(file.string() + why);
        return std::nullopt;
    };
    std::FILE* in = std::fopen(file.c_str(), "rb");
    if (in == nullptr) {
        return errno == ENOENT ? std::string()
                               : refused(std::string(" cannot be read: ") + std::strerror(errno));
    }
    // One byte beyond the largest file tells one that is larger.
    std::string text(kMaxFileBytes + 1, '\0');
    text.resize(std::fread(text.data(), 1, text.size(), in));
    const bool failed = std::ferror(in) != 0;
    const int error = errno;
    std::fclose(in);
    if (failed) {
        return refused(std::string(" cannot be read: ") + std::strerror(error));
    }
    if (text.size() > kMaxFileBytes) {
        return refused(" is larger than 1 MB: no preset of it is loaded");
    }
    // A byte-order mark, as some editors save UTF-8, is no part of the first line.
    if (text.starts_with(kByteOrderMark)) {
        text.erase(0, std::strlen(kByteOrderMark));
    }
    return text;
}

// The user's file as sections; nothing, with the reason, when it cannot be read.
std::optional<FileContents> ReadFile(const fs::path& file, std::vector<std::string>& problems) {
    const std::optional<std::string> text = ReadText(file, problems);
    if (!text) {
        return std::nullopt;
    }
    return PresetParser(file.string(), problems).Parse(*text);
}

std::string PresetText(const Preset& preset) {
    std::string text = "[" + preset.name + "]\n" + kModeKey + " = " + ModeName(preset.mode) + "\n";
    for (const auto& [key, value] : PresetSettings(preset)) {
        text.append(key).append(" = ").append(value).append("\n");
    }
    return text;
}

std::string FileText(const FileContents& contents) {
    std::string text = contents.preamble.empty() ? std::string(kFileHeader) : contents.preamble;
    for (const Entry& entry : contents.entries) {
        if (!text.empty() && text.back() != '\n') {
            text += '\n';
        }
        if (!text.ends_with("\n\n")) {
            text += '\n';
        }
        text += entry.text;
    }
    return text;
}

// Writes text to a temporary file beside file (the file a link names, where it is one: the
// link stays) and renames it over that once it was written and synced; why not, otherwise.
std::optional<std::string> WriteWhole(const fs::path& file, const std::string& text) {
    const auto failed = [&file](int error) {
        return std::optional<std::string>(file.string() +
                                          " cannot be written: " + std::strerror(error));
    };
    const fs::path target = ResolveOutputTarget(file);
    std::error_code ec;
    if (!target.parent_path().empty() && (fs::create_directories(target.parent_path(), ec), ec)) {
        return failed(ec.value());
    }
    std::string temporary =
        (target.parent_path() / ("." + target.filename().string() + ".XXXXXX")).string();
    const int fd = ::mkstemp(temporary.data());
    if (fd < 0) {
        return failed(errno);
    }
    int error = 0;
    if (!TransferAll(::pwrite, fd, text.data(), text.size(), 0) || ::fsync(fd) != 0) {
        error = errno;
    }
    if (::close(fd) != 0 && error == 0) {
        error = errno;
    }
    if (error == 0 && std::rename(temporary.c_str(), target.c_str()) != 0) {
        error = errno;
    }
    if (error != 0) {
        ::unlink(temporary.c_str());
        return failed(error);
    }
    return std::nullopt;
}

// Holds the presets file for one change, from its reading to its rename: two windows that
// save at once take turns, and the second reads what the first wrote. The lock is taken on
// the folder the file is in (the file itself is replaced by each change), so that nothing
// is left beside it. A folder that cannot be made or opened takes no lock: the change then
// fails on the file, and says why.
class ChangeLock {
  public:
    explicit ChangeLock(const fs::path& file) {
        const fs::path target = ResolveOutputTarget(file);
        const fs::path folder = target.parent_path().empty() ? fs::path(".") : target.parent_path();
        std::error_code ec;
        fs::create_directories(folder, ec);
        m_fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (m_fd < 0) {
            return;
        }
        const auto giveUp = std::chrono::steady_clock::now() + kLockWait;
        while (::flock(m_fd, LOCK_EX | LOCK_NB) != 0) {
            if (errno != EWOULDBLOCK && errno != EINTR) {
                return;  // a file system without locks: as before them
            }
            if (std::chrono::steady_clock::now() >= giveUp) {
                m_problem = file.string() + " is being changed by another program; try again";
                return;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
    }
    ~ChangeLock() {
        if (m_fd >= 0) {
            ::close(m_fd);  // and the lock with it
        }
    }
    ChangeLock(const ChangeLock&) = delete;
    ChangeLock& operator=(const ChangeLock&) = delete;

    // Why the file cannot be changed now; nothing when it may be.
    const std::optional<std::string>& Problem() const { return m_problem; }

  private:
    int m_fd = -1;
    std::optional<std::string> m_problem;
};

// Reads the file's sections under the lock, lets change edit them and writes them back; an
// error text when the file cannot be locked, read or written, or change refuses.
std::optional<std::string> ChangeFile(
    const fs::path& file, const std::function<std::optional<std::string>(FileContents&)>& change) {
    const ChangeLock lock(file);
    if (lock.Problem()) {
        return lock.Problem();
    }
    std::vector<std::string> problems;
    std::optional<FileContents> contents = ReadFile(file, problems);
    if (!contents) {
        return problems.front();
    }
    if (std::optional<std::string> refused = change(*contents)) {
        return refused;
    }
    return WriteWhole(file, FileText(*contents));
}

// Removes the entries named name; whether there were any.
bool RemoveEntries(FileContents& contents, std::string_view name) {
    return std::erase_if(contents.entries,
                         [name](const Entry& e) { return SameName(e.name, name); }) > 0;
}

}  // namespace

const Preset* PresetList::Find(std::string_view name) const {
    const auto found = std::find_if(presets.begin(), presets.end(),
                                    [name](const Preset& p) { return SameName(p.name, name); });
    return found == presets.end() ? nullptr : &*found;
}

std::string PresetList::Names() const {
    std::string names;
    for (const Preset& preset : presets) {
        names += (names.empty() ? "" : ", ") + Quoted(preset.name);
    }
    return names;
}

fs::path DefaultPresetsPath() {
    return XdgBaseFolder("XDG_CONFIG_HOME", ".config") / kPresetsFileName;
}

PresetList ShippedPresets() {
    PresetList list;
    const FileContents shipped =
        PresetParser("shipped presets", list.problems).Parse(kShippedPresetsText);
    for (const Entry& entry : shipped.entries) {
        if (entry.preset) {
            list.presets.push_back(*entry.preset);
            list.presets.back().shipped = true;
        }
    }
    return list;
}

PresetList LoadPresets(const fs::path& file) {
    PresetList list = ShippedPresets();
    const std::optional<FileContents> contents = ReadFile(file, list.problems);
    if (!contents) {
        return list;
    }
    // Each name looked up once: a file of thousands of entries loads in linear time.
    std::unordered_map<std::string, bool> names;  // lower-case name: shipped
    for (const Preset& preset : list.presets) {
        names.emplace(LowerCase(preset.name), true);
    }
    std::size_t loaded = 0;
    for (const Entry& entry : contents->entries) {
        if (!entry.preset) {
            continue;
        }
        const std::string place = file.string() + ", line " + std::to_string(entry.line) + ": ";
        const auto [first, added] = names.emplace(LowerCase(entry.name), false);
        if (!added) {
            list.problems.push_back(place +
                                    (first->second
                                         ? Quoted(entry.name) + " is the name of a shipped preset"
                                         : "a second preset named " + Quoted(entry.name)) +
                                    "; this one is not loaded");
            continue;
        }
        if (loaded == kMaxPresets) {
            list.problems.push_back(place + "the file holds more than " +
                                    std::to_string(kMaxPresets) +
                                    " presets; this one and those after it are not loaded");
            break;
        }
        ++loaded;
        list.presets.push_back(*entry.preset);
    }
    return list;
}

std::vector<std::pair<std::string, std::string>> PresetSettings(const Preset& preset) {
    std::vector<std::pair<std::string, std::string>> settings;
    for (const Knob knob : kProcessingKnobs) {
        settings.emplace_back(RowOf(knob).name, std::to_string(PositionOf(preset.positions, knob)));
    }
    // Only where they are not the start-up ones: such a section reads as before them.
    const auto optional = [&](Knob knob) {
        const KnobRow& row = RowOf(knob);
        if (const int pos = PositionOf(preset.positions, knob); pos != row.start) {
            settings.emplace_back(row.name, KnobValueText(row, pos));
        }
    };
    std::ranges::for_each(kStereoKnobs, optional);
    std::ranges::for_each(kKeyTempoKnobs, optional);
    if (preset.loudness.On()) {
        settings.emplace_back(kLoudnessKey, LoudnessText(preset.loudness));
    }
    return settings;
}

std::optional<std::string> PresetNameProblem(std::string_view name) {
    if (Trim(name).empty()) {
        return std::string("a preset needs a name");
    }
    if (name.size() > kMaxPresetNameBytes) {
        return "a preset's name may have at most " + std::to_string(kMaxPresetNameBytes) + " bytes";
    }
    if (std::any_of(name.begin(), name.end(),
                    [](char c) { return static_cast<unsigned char>(c) < 0x20 || c == '\x7f'; })) {
        return std::string("a preset's name may not hold control characters");
    }
    return std::nullopt;
}

std::optional<std::string> SavePreset(const fs::path& file, const Preset& preset) {
    if (std::optional<std::string> problem = PresetNameProblem(preset.name)) {
        return problem;
    }
    if (Trim(preset.name) != preset.name) {
        return "a preset's name may not begin or end with a blank";
    }
    if (ShippedPresets().Find(preset.name) != nullptr) {
        return Quoted(preset.name) + " is the name of a shipped preset";
    }
    return ChangeFile(file, [&](FileContents& contents) -> std::optional<std::string> {
        std::vector<Entry>& entries = contents.entries;
        // In the place of the first of its namesakes, or last.
        const auto at =
            std::find_if(entries.begin(), entries.end(),
                         [&](const Entry& e) { return SameName(e.name, preset.name); }) -
            entries.begin();
        if (static_cast<std::size_t>(at) == entries.size() && entries.size() >= kMaxPresets) {
            return file.string() + " holds " + std::to_string(entries.size()) +
                   " presets, the most it may: delete one first";
        }
        RemoveEntries(contents, preset.name);
        entries.insert(entries.begin() + at, Entry{preset.name, 0, PresetText(preset), preset});
        return std::nullopt;
    });
}

std::optional<std::string> DeletePreset(const fs::path& file, std::string_view name) {
    if (ShippedPresets().Find(name) != nullptr) {
        return Quoted(name) + " is a shipped preset and cannot be deleted";
    }
    return ChangeFile(file, [&](FileContents& contents) -> std::optional<std::string> {
        if (!RemoveEntries(contents, name)) {
            return "there is no preset " + Quoted(name) + " in " + file.string();
        }
        return std::nullopt;
    });
}
