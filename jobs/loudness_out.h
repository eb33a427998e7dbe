#pragma once

// The window's "Match loudness" while it plays: the sound on its way to the device gets the
// gain that brings what has played so far to the loudness of the input read so far, limited
// to the true-peak ceiling as a write is; the gain glides as the two measures settle. The
// limiter's lookahead delays the sound by a few milliseconds, which a drain lets out.

#include <memory>
#include <optional>
#include <vector>

#include "playback/audio_out.h"
#include "processing/loudness.h"
#include "render/loudness_sinks.h"

class LoudnessOut : public AudioOut {
  public:
    // target: a loudness in LUFS to bring the sound to instead of the input's.
    explicit LoudnessOut(AudioOut& out, std::optional<double> target = std::nullopt)
        : m_out(out), m_target(target) {}

    bool Open(const AudioFormat& format, const std::string& device = {}) override;
    void SetDevice(std::string device) override { m_out.SetDevice(std::move(device)); }
    bool IsOpen() const override { return m_out.IsOpen(); }
    void WaitForRoom() override { m_out.WaitForRoom(); }
    bool Write(const unsigned char* data, std::size_t bytes) override;
    void Drain() override;
    void Close() override { m_out.Close(); }
    void Abort() override { m_out.Abort(); }
    std::string Error() const override { return m_out.Error(); }

    // Frames of the input as read, before the processing: what the loudness is brought to.
    void Input(const unsigned char* bytes, std::size_t n);

  private:
    AudioOut& m_out;
    std::optional<double> m_target;
    std::unique_ptr<TruePeakLimiter> m_limiter;
    std::unique_ptr<RunningLoudness> m_input;
    std::unique_ptr<RunningLoudness> m_output;
    std::vector<std::int16_t> m_samples;
    std::vector<unsigned char> m_bytes;
};
