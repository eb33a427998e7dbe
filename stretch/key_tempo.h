#pragma once

// Key and tempo: a stage after the processing that plays the processed frames in another key
// or at another speed. At the original key and speed nothing passes through it at all.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

namespace soundtouch {
class SoundTouch;
}

struct KeyTempo {
    int key = 0;      // tenths of a semitone up (negative: down)
    int tempo = 100;  // percent of the original speed

    bool Neutral() const { return key == 0 && tempo == 100; }
    bool operator==(const KeyTempo&) const = default;
};

// The frames that frames of input last at tempo: rounded to the nearest.
std::uint64_t StretchedFrames(std::uint64_t frames, int tempo);

// 16-bit stereo frames in, stretched or shifted frames out, as SoundTouch makes them. The
// output starts with the input's first frame (the library's start-up delay is taken out),
// and a run ended with Flush lasts StretchedFrames of its input at a constant tempo. The
// settings may change between any two Puts; the frames already inside keep the old ones.
// One thread at a time.
class KeyTempoStage {
  public:
    explicit KeyTempoStage(unsigned sampleRate);
    ~KeyTempoStage();
    KeyTempoStage(const KeyTempoStage&) = delete;
    KeyTempoStage& operator=(const KeyTempoStage&) = delete;

    void Set(const KeyTempo& settings);
    // Whole frames, little-endian, interleaved.
    void Put(const unsigned char* frames, std::size_t count);
    // Moves up to count frames of what came out into frames; how many it moved.
    std::size_t Take(unsigned char* frames, std::size_t count);
    std::size_t Ready() const;
    // The end of a run: what is still inside comes out, with silence after it as needed.
    void Flush();
    // Forgets every frame put, for a fresh run.
    void Clear();

  private:
    std::unique_ptr<soundtouch::SoundTouch> m_touch;
    KeyTempo m_settings;
    std::vector<float> m_samples;  // conversion room
};
