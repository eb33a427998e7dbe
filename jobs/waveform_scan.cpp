#include "jobs/waveform_scan.h"

#include <algorithm>
#include <chrono>
#include <memory>
#include <utility>

#include "container/wave_walk.h"
#include "jobs/input_file.h"

namespace {

constexpr std::size_t kReadBytes = 256 * 1024;
constexpr auto kBatchEvery = std::chrono::milliseconds(100);

// Reads the first "data" chunk of 16-bit stereo frames and ends the walk.
class EnvelopeWalk : public WalkHandler {
  public:
    EnvelopeWalk(PlayInput& input, std::stop_token stop, double lowHz, double highHz,
                 WaveformScan::Sink& sink)
        : m_input(input), m_stop(std::move(stop)), m_lowHz(lowHz), m_highHz(highHz), m_sink(sink) {}

    bool Container(const unsigned char* /*bytes*/, std::size_t /*n*/) override { return true; }
    void Format(const WaveFormat& format) override { m_format = format; }
    bool Data(std::uint64_t length) override;

  private:
    void Send(std::uint64_t totalFrames, bool done);

    PlayInput& m_input;
    std::stop_token m_stop;
    double m_lowHz;
    double m_highHz;
    WaveformScan::Sink& m_sink;
    WaveFormat m_format;
    EnvelopeBatch m_batch;
};

bool EnvelopeWalk::Data(std::uint64_t length) {
    if (m_format.channels != 2 || m_format.BytesPerSample() != 2) {
        return false;
    }
    EnvelopeMeter meter(m_format.sampleRate, m_lowHz, m_highHz);
    std::vector<unsigned char> bytes(kReadBytes);
    std::vector<std::int16_t> frames(kReadBytes / 2);
    std::uint64_t position = 0;
    auto sent = std::chrono::steady_clock::now();
    while (!m_stop.stop_requested()) {
        const std::uint64_t known = m_input.DataLength(length, position);
        if (position >= known) {
            break;
        }
        const std::size_t want =
            static_cast<std::size_t>(std::min<std::uint64_t>(known - position, kReadBytes)) / 4 * 4;
        const std::size_t got = want == 0 ? 0 : m_input.Read(bytes.data(), want);
        if (got < 4) {
            break;
        }
        const std::size_t count = got / 4;
        for (std::size_t i = 0; i < 2 * count; ++i) {
            frames[i] = static_cast<std::int16_t>(bytes[2 * i] | (bytes[2 * i + 1] << 8));
        }
        meter.Feed(frames.data(), count, m_batch.buckets);
        position += count * 4;
        if (const auto now = std::chrono::steady_clock::now(); now - sent >= kBatchEvery) {
            Send(m_input.DataLength(length, position) / 4, false);
            sent = now;
        }
    }
    if (!m_stop.stop_requested()) {
        meter.Finish(m_batch.buckets);
        Send(position / 4, true);
    }
    return false;
}

void EnvelopeWalk::Send(std::uint64_t totalFrames, bool done) {
    m_batch.totalFrames = totalFrames;
    m_batch.rate = m_format.sampleRate;
    m_batch.done = done;
    const std::uint64_t next = m_batch.firstBucket + m_batch.buckets.size();
    m_sink(std::move(m_batch));
    m_batch = {};
    m_batch.firstBucket = next;
}

}  // namespace

void WaveformScan::Start(const InputFile& input, double lowHz, double highHz, Sink sink) {
    Stop();
    m_stop = std::stop_source();
    std::unique_ptr<PlayInput> reader = input.Open(m_stop.get_token());
    if (!reader) {
        return;  // the playback says what is wrong with it
    }
    m_thread = std::thread(
        [this, reader = std::move(reader), lowHz, highHz, sink = std::move(sink)]() mutable {
            EnvelopeWalk walk(*reader, m_stop.get_token(), lowHz, highHz, sink);
            WalkWave(*reader, walk);
        });
}

void WaveformScan::Stop() {
    m_stop.request_stop();
    if (m_thread.joinable()) {
        m_thread.join();
    }
}
