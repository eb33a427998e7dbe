#include "bench/bench_support.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <random>
#include <stdexcept>
#include <string>

#include "settings/job_messages.h"

namespace fs = std::filesystem;

namespace {

void PutLe16(std::vector<unsigned char>& out, std::uint16_t v) {
    out.push_back(static_cast<unsigned char>(v));
    out.push_back(static_cast<unsigned char>(v >> 8));
}

void PutLe32(std::vector<unsigned char>& out, std::uint32_t v) {
    PutLe16(out, static_cast<std::uint16_t>(v));
    PutLe16(out, static_cast<std::uint16_t>(v >> 16));
}

void PutId(std::vector<unsigned char>& out, const char* id) {
    out.insert(out.end(), id, id + 4);
}

}  // namespace

std::vector<unsigned char> SignalBytes(std::size_t frames) {
    std::mt19937 random(7);
    std::uniform_int_distribution<int> noise(-1500, 1500);
    constexpr double kTwoPi = 6.283185307179586;
    std::vector<unsigned char> out;
    out.reserve(frames * 4);
    for (std::size_t i = 0; i < frames; ++i) {
        const double t = static_cast<double>(i) / 44100.0;
        const double voice = 9000.0 * std::sin(kTwoPi * 330.0 * t) * std::sin(kTwoPi * 0.5 * t);
        const double bass = 7000.0 * std::sin(kTwoPi * 55.0 * t);
        const double side = 6000.0 * std::sin(kTwoPi * 2500.0 * t);
        PutLe16(out, static_cast<std::uint16_t>(
                         static_cast<std::int16_t>(voice + bass + side + noise(random))));
        PutLe16(out, static_cast<std::uint16_t>(
                         static_cast<std::int16_t>(voice + bass - side + noise(random))));
    }
    return out;
}

void WriteSignalWav(const fs::path& path, std::size_t frames) {
    const std::vector<unsigned char> data = SignalBytes(frames);
    std::vector<unsigned char> header;
    PutId(header, "RIFF");
    PutLe32(header, static_cast<std::uint32_t>(36 + data.size()));
    PutId(header, "WAVE");
    PutId(header, "fmt ");
    PutLe32(header, 16);
    PutLe16(header, 1);
    PutLe16(header, 2);
    PutLe32(header, 44100);
    PutLe32(header, 44100 * 4);
    PutLe16(header, 4);
    PutLe16(header, 16);
    PutId(header, "data");
    PutLe32(header, static_cast<std::uint32_t>(data.size()));
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    file.write(reinterpret_cast<const char*>(header.data()),
               static_cast<std::streamsize>(header.size()));
    file.write(reinterpret_cast<const char*>(data.data()),
               static_cast<std::streamsize>(data.size()));
    if (!file) {
        throw std::runtime_error("cannot write " + path.string());
    }
}

void QuietObserver::Message(const JobMessage& message) {
    std::fprintf(stderr, "%s\n", MessageText(message).c_str());
}

ScratchDir::ScratchDir() {
    std::string pattern = (fs::temp_directory_path() / "zerbex_bench_XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr) {
        throw std::runtime_error("cannot create a scratch folder");
    }
    m_path = pattern;
}

ScratchDir::~ScratchDir() {
    std::error_code ec;
    fs::remove_all(m_path, ec);
}
