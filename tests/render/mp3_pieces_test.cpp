#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "codecs/codec_module.h"
#include "render/mp3_pieces.h"
#include "render/render_pool.h"
#include "tests/test_support/command.h"
#include "tests/test_support/wav_builder.h"

namespace {

namespace fs = std::filesystem;
using Samples = std::vector<std::int16_t>;

// A muxer that keeps the packets handed to it.
class PacketList final : public AudioEncoder {
  public:
    bool Open(std::FILE* /*out*/, int /*rate*/, const AudioTags& /*tags*/,
              const CoverArt& /*cover*/) override {
        return false;
    }
    bool Write(const std::int16_t* /*frames*/, std::size_t /*count*/) override { return false; }
    bool Finish() override { return false; }
    std::string Error() const override { return {}; }
    bool WritePackets(const std::vector<EncodedPacket>& packets) override {
        list.insert(list.end(), packets.begin(), packets.end());
        return true;
    }
    bool FinishPackets() override { return finished = true; }

    std::vector<EncodedPacket> list;
    bool finished = false;
};

// Notes with vibrato, a bass, noise and a click every half second (short blocks), different
// on each side.
Samples Music(int rate, double seconds) {
    const auto frames = static_cast<std::size_t>(seconds * rate);
    Samples out(frames * 2);
    std::uint32_t noise = 12345;
    for (std::size_t i = 0; i < frames; ++i) {
        const double t = static_cast<double>(i) / rate;
        noise = noise * 1664525U + 1013904223U;
        const double n = (static_cast<double>(noise >> 8) / (1 << 24) - 0.5) * 0.05;
        const double click = std::fmod(t, 0.5) < 0.002 ? 0.5 : 0.0;
        const double left =
            0.3 * std::sin(2 * M_PI * 220 * t) * (1 + 0.5 * std::sin(2 * M_PI * t)) +
            0.15 * std::sin(2 * M_PI * 55 * t) + n + click;
        const double right = 0.25 * std::sin(2 * M_PI * 277 * t + std::sin(5 * t)) +
                             0.15 * std::sin(2 * M_PI * 55 * t) - n + click;
        out[2 * i] = static_cast<std::int16_t>(left * 20000);
        out[2 * i + 1] = static_cast<std::int16_t>(right * 20000);
    }
    return out;
}

constexpr Mp3PieceLayout kLayout{96, 32, 12, 4};
// A warm-up that leaves no frame to join at: every piece goes on in order.
constexpr Mp3PieceLayout kNoJoins{96, 32, 33, 4};

std::vector<EncodedPacket> InPieces(const Samples& in, const EncoderSettings& settings, int rate,
                                    RenderPool* pool, Mp3PieceLayout layout, std::size_t& inOrder) {
    PacketList muxer;
    Mp3Pieces pieces(settings, rate, muxer, pool, layout);
    constexpr std::size_t kBlock = 4321;  // frames a call, on no grid of the stream's
    for (std::size_t at = 0; at < in.size() / 2; at += kBlock) {
        EXPECT_TRUE(pieces.Write(in.data() + at * 2, std::min(kBlock, in.size() / 2 - at)));
    }
    EXPECT_TRUE(pieces.Finish()) << pieces.Error();
    EXPECT_TRUE(muxer.finished);
    inOrder = pieces.InOrderStretches();
    return muxer.list;
}

std::vector<EncodedPacket> InOneRun(const Samples& in, const EncoderSettings& settings, int rate) {
    const auto encoder = Codecs()->newPacketEncoder(settings);
    std::vector<EncodedPacket> packets;
    EXPECT_TRUE(encoder->Open(rate) && encoder->Write(in.data(), in.size() / 2, packets) &&
                encoder->Finish(packets));
    return packets;
}

// The packets in an MP3 file by the module's muxer, decoded back by ffmpeg.
Samples WrittenAndDecoded(const fs::path& path, const std::vector<EncodedPacket>& packets,
                          const EncoderSettings& settings, int rate) {
    std::FILE* file = std::fopen(path.c_str(), "wb");
    const auto muxer = Codecs()->newEncoder(settings);
    EXPECT_TRUE(file != nullptr && muxer->Open(file, rate, {{"title", "Joined"}}, {}));
    EXPECT_TRUE(muxer->WritePackets(packets) && muxer->FinishPackets()) << muxer->Error();
    std::fclose(file);
    const std::string out =
        RunCommand({"ffmpeg", "-v", "error", "-i", path.string(), "-f", "s16le", "-"}).out;
    Samples samples(out.size() / 2);
    std::memcpy(samples.data(), out.data(), samples.size() * 2);
    return samples;
}

double Snr(const Samples& ref, const Samples& got, std::size_t from, std::size_t to) {
    double signal = 0;
    double noise = 0;
    for (std::size_t i = from * 2; i < std::min({to * 2, ref.size(), got.size()}); ++i) {
        const double r = ref[i];
        const double error = got[i] - r;
        signal += r * r;
        noise += error * error;
    }
    return 10 * std::log10(signal / std::max(noise, 1.0));
}

// Pieces joined decode as one encoder's run does: as long, as close to the input over all
// and around each boundary, and the same bytes whatever the threads. Where no boundary
// joins, the bytes are the one run's.
TEST(Mp3Pieces, JoinedPiecesDecodeAsOneRunWhateverTheThreads) {
    ASSERT_NE(Codecs(), nullptr);
    struct Case {
        int rate;
        EncoderSettings settings;
        Mp3PieceLayout layout = kLayout;
    };
    const Case cases[] = {
        {44100, {"mp3", true, 2, 0, ""}},
        {48000, {"mp3", false, 0, 128, ""}},
        {32000, {"mp3", true, 0, 0, ""}},
        {44100, {"mp3", true, 2, 0, ""}, kNoJoins},
    };
    RenderPool pool(2);
    TempDir dir;
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.rate) + " Hz, " +
                     (c.settings.vbr ? "V" + std::to_string(c.settings.quality)
                                     : std::to_string(c.settings.bitrateKbps) + " kbps"));
        const Samples in = Music(c.rate, 20.3);
        std::size_t inOrder = 0;
        const auto alone = InPieces(in, c.settings, c.rate, nullptr, c.layout, inOrder);
        const auto threaded = InPieces(in, c.settings, c.rate, &pool, c.layout, inOrder);
        ASSERT_EQ(alone.size(), threaded.size());
        for (std::size_t i = 0; i < alone.size(); ++i) {
            ASSERT_EQ(alone[i].bytes, threaded[i].bytes) << "packet " << i;
        }
        const auto oneRun = InOneRun(in, c.settings, c.rate);
        ASSERT_EQ(threaded.size(), oneRun.size());
        const std::size_t boundaries = (oneRun.size() - 1) / kLayout.frames;
        if (c.layout.warmUp > c.layout.preroll) {
            EXPECT_EQ(inOrder, boundaries);
            for (std::size_t i = 0; i < oneRun.size(); ++i) {
                ASSERT_EQ(threaded[i].bytes, oneRun[i].bytes) << "packet " << i;
            }
            continue;
        }
        EXPECT_LE(inOrder * 4, boundaries) << "most boundaries join";

        const Samples joined = WrittenAndDecoded(dir / "pieces.mp3", threaded, c.settings, c.rate);
        const Samples whole = WrittenAndDecoded(dir / "whole.mp3", oneRun, c.settings, c.rate);
        ASSERT_EQ(joined.size(), in.size()) << "the encoder's delay and padding recorded";
        ASSERT_EQ(whole.size(), in.size());
        const double overall = Snr(in, whole, 0, in.size() / 2);
        EXPECT_GT(Snr(in, joined, 0, in.size() / 2), overall - 0.5);

        for (std::size_t b = 1; b <= boundaries; ++b) {
            const std::size_t at = b * kLayout.frames * Mp3Pieces::kFrameSamples;
            const std::size_t from = at - kLayout.preroll * Mp3Pieces::kFrameSamples;
            const std::size_t to = at + 2 * Mp3Pieces::kFrameSamples;
            EXPECT_GT(Snr(in, joined, from, to), std::min(Snr(in, whole, from, to), overall) - 3)
                << "around boundary " << b;
        }
    }
}

}  // namespace
