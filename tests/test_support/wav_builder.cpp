#include "tests/test_support/wav_builder.h"

#include <cmath>
#include <cstring>
#include <fstream>
#include <iterator>
#include <random>
#include <stdexcept>

namespace fs = std::filesystem;

void AppendLe16(Bytes& out, std::uint16_t v) {
    out.push_back(static_cast<std::uint8_t>(v));
    out.push_back(static_cast<std::uint8_t>(v >> 8));
}

void AppendLe32(Bytes& out, std::uint32_t v) {
    for (int shift = 0; shift < 32; shift += 8) {
        out.push_back(static_cast<std::uint8_t>(v >> shift));
    }
}

void AppendId(Bytes& out, const char* id) {
    for (int i = 0; i < 4; ++i) {
        out.push_back(static_cast<std::uint8_t>(id[i]));
    }
}

Bytes ChunkWithSize(const char* id, std::uint32_t sizeField, const Bytes& body) {
    Bytes out;
    AppendId(out, id);
    AppendLe32(out, sizeField);
    out.insert(out.end(), body.begin(), body.end());
    return out;
}

Bytes Chunk(const char* id, const Bytes& body, bool padOdd) {
    Bytes out = ChunkWithSize(id, static_cast<std::uint32_t>(body.size()), body);
    if (padOdd && body.size() % 2 == 1) {
        out.push_back(0);
    }
    return out;
}

Bytes Concat(const std::vector<Bytes>& parts) {
    Bytes out;
    for (const Bytes& part : parts) {
        out.insert(out.end(), part.begin(), part.end());
    }
    return out;
}

Bytes ListChunk(const char* type, const std::vector<Bytes>& children) {
    Bytes body;
    AppendId(body, type);
    const Bytes rest = Concat(children);
    body.insert(body.end(), rest.begin(), rest.end());
    return Chunk("LIST", body);
}

Bytes Riff(const std::vector<Bytes>& chunks, const char* form) {
    const Bytes body = Concat(chunks);
    Bytes out;
    AppendId(out, "RIFF");
    AppendLe32(out, static_cast<std::uint32_t>(body.size() + 4));
    AppendId(out, form);
    out.insert(out.end(), body.begin(), body.end());
    return out;
}

Bytes FmtBody(std::uint16_t channels, std::uint32_t rate, std::uint16_t bits, std::uint16_t tag,
              const Bytes& extra) {
    Bytes out;
    const std::uint16_t align = static_cast<std::uint16_t>(channels * bits / 8);
    AppendLe16(out, tag);
    AppendLe16(out, channels);
    AppendLe32(out, rate);
    AppendLe32(out, rate * align);
    AppendLe16(out, align);
    AppendLe16(out, bits);
    out.insert(out.end(), extra.begin(), extra.end());
    return out;
}

Bytes ExtensibleFmtBody(std::uint16_t channels, std::uint32_t rate, std::uint16_t bits) {
    Bytes extra;
    AppendLe16(extra, 22);                       // size of the extension
    AppendLe16(extra, bits);                     // valid bits
    AppendLe32(extra, channels == 2 ? 3u : 4u);  // front left | front right, or centre
    // KSDATAFORMAT_SUBTYPE_PCM
    const std::uint8_t guid[16] = {0x01, 0x00, 0x00, 0x00, 0x00, 0x00, 0x10, 0x00,
                                   0x80, 0x00, 0x00, 0xaa, 0x00, 0x38, 0x9b, 0x71};
    extra.insert(extra.end(), guid, guid + 16);
    return FmtBody(channels, rate, bits, 0xFFFE, extra);
}

Bytes Samples(const std::vector<std::int16_t>& interleaved) {
    Bytes out;
    out.reserve(interleaved.size() * 2);
    for (std::int16_t s : interleaved) {
        AppendLe16(out, static_cast<std::uint16_t>(s));
    }
    return out;
}

std::vector<std::int16_t> SamplesOf(const Bytes& bytes) {
    std::vector<std::int16_t> out(bytes.size() / 2);
    for (std::size_t i = 0; i < out.size(); ++i) {
        out[i] = static_cast<std::int16_t>(bytes[2 * i] | (bytes[2 * i + 1] << 8));
    }
    return out;
}

Bytes SimpleWav(const std::vector<std::int16_t>& interleaved, std::uint16_t channels,
                std::uint32_t rate) {
    return Riff({Chunk("fmt ", FmtBody(channels, rate)), Chunk("data", Samples(interleaved))});
}

std::vector<std::int16_t> TestSignal(std::size_t frames, std::uint32_t seed) {
    std::mt19937 random(seed);
    std::uniform_int_distribution<int> noise(-2000, 2000);
    std::vector<std::int16_t> out;
    out.reserve(frames * 2);
    constexpr double kTwoPi = 6.283185307179586;
    for (std::size_t i = 0; i < frames; ++i) {
        const double t = static_cast<double>(i) / 44100.0;
        const double centre = 9000.0 * std::sin(kTwoPi * 440.0 * t);
        const double bass = 6000.0 * std::sin(kTwoPi * 80.0 * t);
        const double side = 5000.0 * std::sin(kTwoPi * 3000.0 * t);
        out.push_back(static_cast<std::int16_t>(centre + bass + side + noise(random)));
        out.push_back(static_cast<std::int16_t>(centre + bass - side + noise(random)));
    }
    return out;
}

void WriteFile(const fs::path& path, const Bytes& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
    if (!out) {
        throw std::runtime_error("cannot write " + path.string());
    }
}

Bytes ReadFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        throw std::runtime_error("cannot read " + path.string());
    }
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

TempDir::TempDir() {
    std::random_device random;
    for (int attempt = 0; attempt < 100; ++attempt) {
        const fs::path candidate =
            fs::temp_directory_path() / ("zerbex-test-" + std::to_string(random()));
        if (fs::create_directory(candidate)) {
            m_path = candidate;
            return;
        }
    }
    throw std::runtime_error("cannot create a temporary directory");
}

TempDir::~TempDir() {
    std::error_code ec;
    fs::remove_all(m_path, ec);
}
