// The stereo mode's remover: the same bytes however a run is cut into calls and from any
// hop it starts a warm-up before; what it removes and keeps, tone by tone; the delay it
// declares.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <functional>
#include <limits>
#include <numbers>
#include <random>
#include <string>
#include <vector>

#include "processing/stereo_remover.h"
#include "trackbars/parameters.h"

namespace {

constexpr unsigned kRate = 44100;
using Frames = std::vector<std::int16_t>;  // interleaved stereo

struct Outputs {
    Frames out;
    Frames vocal;
};

// A tone of amplitude peak, split between the channels by the level angle panAngle (0: left
// alone, pi/4: centre, pi/2: right alone).
void AddTone(std::vector<double>& mix, double hz, double peak, double panAngle,
             unsigned rate = kRate) {
    for (std::size_t i = 0; i < mix.size() / 2; ++i) {
        const double v = peak * std::sin(2.0 * std::numbers::pi * hz * i / rate);
        mix[2 * i] += v * std::cos(panAngle) * std::numbers::sqrt2;
        mix[2 * i + 1] += v * std::sin(panAngle) * std::numbers::sqrt2;
    }
}

Frames ToFrames(const std::vector<double>& mix) {
    Frames frames(mix.size());
    std::transform(mix.begin(), mix.end(), frames.begin(), [](double v) {
        return static_cast<std::int16_t>(std::clamp(std::lround(v), -32768L, 32767L));
    });
    return frames;
}

// Tones at several directions, all in the start-up band, and a noise floor when noisy: a mix
// whose bins all hold something.
Frames BusyMix(std::size_t frames, bool noisy = true, unsigned rate = kRate) {
    std::vector<double> mix(2 * frames, 0.0);
    AddTone(mix, 440.0, 4000.0, std::numbers::pi / 4, rate);
    AddTone(mix, 1250.0, 3000.0, 0.3, rate);
    AddTone(mix, 3100.0, 2000.0, 1.2, rate);
    AddTone(mix, 330.0, 5000.0, std::numbers::pi / 4, rate);
    if (noisy) {
        std::mt19937 random(7);
        std::normal_distribution<double> noise(0.0, 800.0);
        for (double& v : mix) {
            v += noise(random);
        }
    }
    return ToFrames(mix);
}

Outputs Process(StereoRemover& remover, const ProcessingParameters& params, const Frames& in,
                const std::vector<std::size_t>& chunks) {
    Outputs run{Frames(in.size()), Frames(in.size())};
    const std::size_t frames = in.size() / 2;
    std::size_t done = 0;
    for (std::size_t i = 0; done < frames; ++i) {
        const std::size_t n = std::min(chunks[i % chunks.size()], frames - done);
        remover.Process(params, &in[2 * done], &run.out[2 * done], &run.vocal[2 * done], n);
        done += n;
    }
    return run;
}

Outputs ProcessWhole(const ProcessingParameters& params, const Frames& in) {
    StereoRemover remover(kRate);
    return Process(remover, params, in, {in.size() / 2});
}

// Root-mean-square level of one channel in dB, over the frames from first to last.
double LevelDb(const Frames& frames, std::size_t channel, std::size_t first, std::size_t last) {
    double sum = 0.0;
    for (std::size_t i = first; i < last; ++i) {
        sum += static_cast<double>(frames[2 * i + channel]) * frames[2 * i + channel];
    }
    return 10.0 * std::log10(sum / static_cast<double>(last - first) + 1e-12);
}

TEST(StereoRemoverTest, SameBytesHoweverARunIsCutOrStarted) {
    ProcessingParameters params;
    params.focus = 0.8f;
    const Frames in = BusyMix(3 * kRate);
    const Outputs whole = ProcessWhole(params, in);

    struct Case {
        std::string name;
        std::vector<std::size_t> chunks;
        std::size_t startHops;  // the run starts a warm-up before this hop; 0: from the start
    };
    StereoRemover probe(kRate);
    const std::size_t hop = probe.Hop();
    const std::size_t warmUp = probe.WarmUp();
    ASSERT_EQ(warmUp % hop, 0u);
    const std::size_t firstHop = warmUp / hop;
    const std::vector<Case> cases = {
        {"odd blocks", {1, 7, 333, 1021, 4099, 2}, 0},
        {"single frames", {1}, 0},
        {"from the first hop a warm-up allows", {4096}, firstHop},
        {"three hops later, odd blocks", {999, 5}, firstHop + 3},
        {"near the end", {65536}, in.size() / 2 / hop - 4},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::size_t from = c.startHops == 0 ? 0 : c.startHops * hop - warmUp;
        const Frames tail(in.begin() + static_cast<std::ptrdiff_t>(2 * from), in.end());
        StereoRemover remover(kRate);
        const Outputs part = Process(remover, params, tail, c.chunks);
        // From the hop on (or from the start), the run's frames are the whole run's.
        const std::size_t skip = c.startHops == 0 ? 0 : warmUp;
        ASSERT_TRUE(std::equal(part.out.begin() + static_cast<std::ptrdiff_t>(2 * skip),
                               part.out.end(),
                               whole.out.begin() + static_cast<std::ptrdiff_t>(2 * (from + skip))));
        ASSERT_TRUE(
            std::equal(part.vocal.begin() + static_cast<std::ptrdiff_t>(2 * skip), part.vocal.end(),
                       whole.vocal.begin() + static_cast<std::ptrdiff_t>(2 * (from + skip))));
    }
}

// A trackbar moved between two calls: the levels act on the very next frame out, wholly; the
// rest are heard within a quarter hop (the window they remake fades in) and act wholly once
// the reverberation predicted from what the old settings removed has passed, a warm-up after
// the move. Before the move nothing changes, and from there on the run is the one with the new
// setting throughout.
TEST(StereoRemoverTest, LevelsActAtOnceTheRestWithinAQuarterHop) {
    struct Case {
        std::string name;
        std::function<void(ProcessingParameters&)> move;
        bool atOnce;
    };
    const std::vector<Case> cases = {
        {"output level", [](ProcessingParameters& p) { p.outputGain = 1.7f; }, true},
        {"left level", [](ProcessingParameters& p) { p.leftGain = 1.1f; }, true},
        {"right level", [](ProcessingParameters& p) { p.rightGain = 4.0f; }, true},
        {"pan", [](ProcessingParameters& p) { p.aim = AimFor(12); }, false},
        {"focus", [](ProcessingParameters& p) { p.focus = 0.1f; }, false},
        {"low cut-off", [](ProcessingParameters& p) { p.lowCutoff = 700; }, false},
        {"high cut-off", [](ProcessingParameters& p) { p.highCutoff = 2000; }, false},
    };
    const Frames in = BusyMix(2 * kRate);
    ProcessingParameters start;
    start.focus = 0.8f;
    const Outputs before = ProcessWhole(start, in);
    for (const Case& c : cases) {
        for (const std::size_t moved : {std::size_t{9000}, std::size_t{4 * 2048}}) {
            SCOPED_TRACE(c.name + ", moved at frame " + std::to_string(moved));
            ProcessingParameters params;
            params.focus = start.focus;
            c.move(params);
            const Outputs after = ProcessWhole(params, in);
            StereoRemover remover(kRate);
            const std::size_t hop = remover.Hop();
            Outputs run{Frames(in.size()), Frames(in.size())};
            remover.Process(start, in.data(), run.out.data(), run.vocal.data(), moved);
            remover.Process(params, &in[2 * moved], &run.out[2 * moved], &run.vocal[2 * moved],
                            in.size() / 2 - moved);
            const std::size_t all = in.size() / 2;
            const std::size_t from = c.atOnce ? moved : (moved / hop + 1) * hop + remover.WarmUp();
            // The frames of f from one frame on, or up to the other.
            const auto part = [](const Frames& f, std::size_t first, std::size_t end) {
                return Frames(f.begin() + static_cast<std::ptrdiff_t>(2 * first),
                              f.begin() + static_cast<std::ptrdiff_t>(2 * end));
            };
            EXPECT_TRUE(part(run.out, 0, moved) == part(before.out, 0, moved));
            const std::size_t heard = std::min(moved + hop / 4, all);
            EXPECT_TRUE(part(run.out, moved, heard) != part(before.out, moved, heard))
                << "not heard within a quarter hop";
            EXPECT_TRUE(part(run.out, from, all) == part(after.out, from, all));
            EXPECT_TRUE(part(run.vocal, from, all) == part(after.vocal, from, all));
            EXPECT_TRUE(part(after.out, from, all) != part(before.out, from, all))
                << "the move changes nothing";
        }
    }
}

// Trackbars dragged while it plays, several moves within a hop, through a closed band and
// back: whatever was remade, the output and the vocal still add up to the input; the first
// move is heard within a quarter hop; a warm-up after the last move the run is the one with
// the final settings throughout.
TEST(StereoRemoverTest, DraggedTrackbarsKeepTheWholeAndEndOnTheFinalSettings) {
    using Set = std::function<void(ProcessingParameters&)>;
    const Set closeBand = [](ProcessingParameters& p) {
        p.lowCutoff = 1040;
        p.highCutoff = 900;
    };
    const Set openBand = [](ProcessingParameters& p) {
        p.lowCutoff = 240;
        p.highCutoff = 10875;
    };
    struct Move {
        std::size_t at;  // frame
        Set set;
    };
    struct Case {
        std::string name;
        Set start;
        std::vector<Move> moves;
    };
    const Set nothing = [](ProcessingParameters&) {};
    const std::vector<Case> cases = {
        {"pan there and back within a hop",
         nothing,
         {{9000, [](auto& p) { p.aim = AimFor(12); }},
          {9300, [](auto& p) { p.aim = AimFor(-12); }},
          {9700, [](auto& p) { p.aim = AimFor(0); }}}},
        {"each trackbar in turn, mid-hop",
         nothing,
         {{9000, [](auto& p) { p.focus = 0.1f; }},
          {9500, [](auto& p) { p.lowCutoff = 700; }},
          {10000, [](auto& p) { p.highCutoff = 2000; }},
          {12001, [](auto& p) { p.aim = AimFor(-20); }}}},
        {"a closed band opened", closeBand, {{9000, openBand}}},
        {"the band closed and opened again in one hop",
         nothing,
         {{9000, closeBand}, {9500, openBand}, {9600, [](auto& p) { p.focus = 0.9f; }}}},
    };
    const Frames in = BusyMix(2 * kRate);
    const std::size_t all = in.size() / 2;
    const auto part = [](const Frames& f, std::size_t first, std::size_t end) {
        return Frames(f.begin() + static_cast<std::ptrdiff_t>(2 * first),
                      f.begin() + static_cast<std::ptrdiff_t>(2 * end));
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ProcessingParameters params;
        c.start(params);
        const Outputs unmoved = ProcessWhole(params, in);
        StereoRemover remover(kRate);
        const std::size_t hop = remover.Hop();
        Outputs run{Frames(in.size()), Frames(in.size())};
        std::size_t done = 0;
        for (const Move& move : c.moves) {
            remover.Process(params, &in[2 * done], &run.out[2 * done], &run.vocal[2 * done],
                            move.at - done);
            done = move.at;
            move.set(params);
        }
        remover.Process(params, &in[2 * done], &run.out[2 * done], &run.vocal[2 * done],
                        all - done);
        const Outputs settled = ProcessWhole(params, in);

        const std::size_t first = c.moves.front().at;
        EXPECT_TRUE(part(run.out, first, first + hop / 4) !=
                    part(unmoved.out, first, first + hop / 4))
            << "not heard within a quarter hop";
        const std::size_t from = (c.moves.back().at / hop + 1) * hop + remover.WarmUp();
        EXPECT_TRUE(part(run.out, from, all) == part(settled.out, from, all));
        EXPECT_TRUE(part(run.vocal, from, all) == part(settled.vocal, from, all));
        const std::size_t delay = 2 * remover.Latency();
        int largest = 0;
        for (std::size_t i = delay; i < in.size(); ++i) {
            largest = std::max(largest, std::abs(run.out[i] + run.vocal[i] - in[i - delay]));
        }
        EXPECT_LE(largest, 2) << "the output and the vocal no longer add up to the input";
    }
}

TEST(StereoRemoverTest, RemovesTheAimedSourceAndKeepsTheRest) {
    struct Case {
        std::string name;
        std::function<void(std::vector<double>&)> make;
        float aim;
        float focus;
        double leftChangeDb;  // wanted change of each channel's level; nothing: removed
        double rightChangeDb;
    };
    constexpr double kRemoved = -100.0;
    const float centre = AimFor(0);
    const std::vector<Case> cases = {
        {"centred tone in band", [](auto& m) { AddTone(m, 1000.0, 8000.0, std::numbers::pi / 4); },
         centre, 0.5f, kRemoved, kRemoved},
        {"centred tone below the low cut-off",
         [](auto& m) { AddTone(m, 110.0, 8000.0, std::numbers::pi / 4); }, centre, 0.5f, 0.0, 0.0},
        {"centred tone above the high cut-off",
         [](auto& m) { AddTone(m, 15000.0, 8000.0, std::numbers::pi / 4); }, centre, 0.5f, 0.0,
         0.0},
        {"hard-left tone in band", [](auto& m) { AddTone(m, 1000.0, 8000.0, 0.0); }, centre, 0.5f,
         0.0, kRemoved},
        {"hard-right tone in band, sharpest focus",
         [](auto& m) { AddTone(m, 2000.0, 8000.0, std::numbers::pi / 2); }, centre, 1.0f, kRemoved,
         0.0},
        {"tone aimed at on the left", [](auto& m) { AddTone(m, 1500.0, 8000.0, AimFor(-12)); },
         AimFor(-12), 0.5f, kRemoved, kRemoved},
    };
    const std::size_t frames = 2 * kRate;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<double> mix(2 * frames, 0.0);
        c.make(mix);
        const Frames in = ToFrames(mix);
        ProcessingParameters params;
        params.aim = c.aim;
        params.focus = c.focus;
        StereoRemover remover(kRate);
        const Outputs run = Process(remover, params, in, {frames});
        const std::size_t delay = remover.Latency();
        // Clear of the start, where the covariance is still filling, and of the end.
        const std::size_t first = delay + remover.WarmUp();
        const std::size_t last = frames - remover.Hop();
        const double wanted[2] = {c.leftChangeDb, c.rightChangeDb};
        const double before[2] = {LevelDb(in, 0, first - delay, last - delay),
                                  LevelDb(in, 1, first - delay, last - delay)};
        for (std::size_t ch = 0; ch < 2; ++ch) {
            const double after = LevelDb(run.out, ch, first, last);
            if (before[ch] < 0.0) {
                // Nothing of the other channel's sound leaks into a silent one.
                EXPECT_LT(after - std::max(before[0], before[1]), -30.0) << "channel " << ch;
            } else if (wanted[ch] == kRemoved) {
                EXPECT_LT(after - before[ch], -30.0) << "channel " << ch;
            } else {
                EXPECT_NEAR(after - before[ch], wanted[ch], 0.5) << "channel " << ch;
            }
        }
    }
}

// A sung-like source at the aim (a step off) among diffuse sound and an instrument beside it:
// however sharp the focus, the source goes as deep, since sharpening narrows what is taken around
// the aim and never what lies on it. Measured as the source's least-squares weight in the output.
TEST(StereoRemoverTest, MoreFocusNeverRemovesLessOfTheAimedSource) {
    const std::size_t frames = 3 * kRate;
    std::vector<double> source(2 * frames, 0.0);
    for (const double hz : {440.0, 660.0, 880.0, 1320.0, 1760.0}) {
        AddTone(source, hz, 1500.0, AimFor(4));
    }
    std::vector<double> mix = source;
    AddTone(mix, 523.0, 3000.0, AimFor(-20));
    std::mt19937 random(3);
    std::normal_distribution<double> noise(0.0, 300.0);
    for (double& v : mix) {
        v += noise(random);
    }
    const Frames in = ToFrames(mix);
    double previous = 0.0;
    for (const float focus : {0.2f, 0.5f, 0.8f, 1.0f}) {
        SCOPED_TRACE("focus " + std::to_string(focus));
        ProcessingParameters params;
        params.aim = AimFor(5);  // a step off, as an aim found from a mix may be
        params.focus = focus;
        StereoRemover remover(kRate);
        const Outputs run = Process(remover, params, in, {frames});
        const std::size_t delay = remover.Latency();
        double along = 0.0;
        double power = 0.0;
        for (std::size_t i = 2 * (delay + remover.WarmUp()); i < 2 * frames; ++i) {
            along += run.out[i] * source[i - 2 * delay];
            power += source[i - 2 * delay] * source[i - 2 * delay];
        }
        const double removedDb = -20.0 * std::log10(std::abs(along / power) + 1e-9);
        // Beyond 40 dB the source is gone; depth past it is rounding.
        EXPECT_GT(removedDb, 25.0);
        EXPECT_GT(removedDb, std::min(previous, 40.0) - 1.0);
        previous = removedDb;
    }
}

// A low voice at the aim, its partials smeared by vibrato across the few bins between them,
// goes; what sounds beside it at the aim stays: noise (drums) and steady tones between the
// voice's partials (a chord of another instrument). Each measured as its least-squares weight
// in the output.
// The mix through the remover aimed at the centre: a part's least-squares weight in the
// output, in dB, once the remover is warm.
std::function<double(const std::vector<double>&)> KeptAtCentre(const std::vector<double>& mix) {
    ProcessingParameters params;
    params.aim = AimFor(0);
    params.focus = 0.5f;
    StereoRemover remover(kRate);
    const Outputs run = Process(remover, params, ToFrames(mix), {mix.size() / 2});
    const std::size_t delay = remover.Latency();
    const std::size_t first = 2 * (delay + remover.WarmUp());
    return [run, delay, first](const std::vector<double>& part) {
        double along = 0.0;
        double power = 0.0;
        for (std::size_t i = first; i < part.size(); ++i) {
            along += run.out[i] * part[i - 2 * delay];
            power += part[i - 2 * delay] * part[i - 2 * delay];
        }
        return 20.0 * std::log10(std::abs(along / power) + 1e-9);
    };
}

TEST(StereoRemoverTest, ALowVoiceWithVibratoGoesWhatSoundsBesideItStays) {
    const std::size_t frames = 3 * kRate;
    std::vector<double> voice(2 * frames, 0.0);
    std::vector<double> noise(2 * frames, 0.0);
    std::vector<double> chord(2 * frames, 0.0);
    std::mt19937 random(5);
    std::normal_distribution<double> white(0.0, 500.0);
    double phase = 0.0;
    for (std::size_t i = 0; i < frames; ++i) {
        const double t = static_cast<double>(i) / kRate;
        const double pitch =
            98.0 * std::pow(2.0, 0.35 / 12.0 * std::sin(2 * std::numbers::pi * 5.5 * t));
        phase += 2.0 * std::numbers::pi * pitch / kRate;
        double v = 0.0;
        for (int h = 3; h <= 40; ++h) {
            v += 3000.0 / h * std::sin(h * phase);
        }
        voice[2 * i] = voice[2 * i + 1] = v;
        noise[2 * i] = noise[2 * i + 1] = white(random);
        for (const double halfway : {4.5, 6.5, 9.5}) {
            chord[2 * i] += 400.0 * std::sin(2.0 * std::numbers::pi * halfway * 98.0 * t);
        }
        chord[2 * i + 1] = chord[2 * i];
    }
    for (const std::vector<double>* beside : {&noise, &chord}) {
        const char* name = beside == &noise ? "noise" : "chord";
        std::vector<double> mix(2 * frames);
        std::transform(voice.begin(), voice.end(), beside->begin(), mix.begin(), std::plus<>());
        const auto keptDb = KeptAtCentre(mix);
        EXPECT_LT(keptDb(voice), -25.0) << "the voice beside the " << name;
        EXPECT_GT(keptDb(*beside), -3.0) << name;
    }
}

// A high voice a double octave above a centred bass: a pitch at the bass's note explains the
// voice's partials too, but taking it would take the bass's own partials between them.
TEST(StereoRemoverTest, AHighVoiceAboveACentredBassGoesTheBassStays) {
    const std::size_t frames = 3 * kRate;
    std::vector<double> voice(2 * frames, 0.0);
    std::vector<double> bass(2 * frames, 0.0);
    double phase = 0.0;
    for (std::size_t i = 0; i < frames; ++i) {
        const double t = static_cast<double>(i) / kRate;
        phase += 2.0 * std::numbers::pi * 392.0 *
                 std::pow(2.0, 0.35 / 12.0 * std::sin(2 * std::numbers::pi * 5.5 * t)) / kRate;
        for (int h = 1; h <= 6; ++h) {
            voice[2 * i] += 3000.0 / h * std::sin(h * phase);
        }
        // The bass's partials in band that lie between the voice's.
        for (const int h : {3, 5, 6, 7}) {
            bass[2 * i] += 1500.0 / h * std::sin(2.0 * std::numbers::pi * h * 98.0 * t);
        }
        voice[2 * i + 1] = voice[2 * i];
        bass[2 * i + 1] = bass[2 * i];
    }
    std::vector<double> mix(2 * frames);
    std::transform(voice.begin(), voice.end(), bass.begin(), mix.begin(), std::plus<>());
    const auto keptDb = KeptAtCentre(mix);
    EXPECT_LT(keptDb(voice), -20.0);
    EXPECT_GT(keptDb(bass), -3.0);
}

// Each mix through the remover against what its output must be, made from the input delayed
// by Latency(): the channel difference at focus 0 in band, the input less the vocal, the
// input itself with the band closed. Within a LSB or two: each output is rounded.
TEST(StereoRemoverTest, ExactRelations) {
    struct Case {
        std::string name;
        std::function<void(ProcessingParameters&)> set;
        std::function<std::int16_t(const Frames& delayed, const Outputs& run, std::size_t i)> want;
        int tolerance;
        bool noisy = true;  // noise reaches past any band: only tones for a relation in band
    };
    const auto differenceOfChannels = [](const Frames& delayed, const Outputs&, std::size_t i) {
        const std::size_t pair = i & ~std::size_t{1};
        const double half = (delayed[pair] - delayed[pair + 1]) / 2.0;
        return static_cast<std::int16_t>(std::lround(i == pair ? half : -half));
    };
    const std::vector<Case> cases = {
        {"focus 0: the channel difference",
         [](ProcessingParameters& p) {
             p.focus = 0.0f;
             p.lowCutoff = 40;  // the tones lie clear of both edges
             p.highCutoff = 14900;
         },
         differenceOfChannels, 2, false},
        {"output and vocal add up to the input", [](ProcessingParameters& p) { p.focus = 0.7f; },
         [](const Frames& delayed, const Outputs& run, std::size_t i) {
             return static_cast<std::int16_t>(delayed[i] - run.vocal[i]);
         },
         2},
        {"band closed: the input, Latency() later",
         [](ProcessingParameters& p) {
             p.lowCutoff = 1040;
             p.highCutoff = 900;
         },
         [](const Frames& delayed, const Outputs&, std::size_t i) { return delayed[i]; }, 1},
    };
    // Each rate has its own window size; at 8 kHz the band reaches the highest bin, which the
    // transforms keep apart from the others.
    for (const unsigned rate : {8000u, 22050u, 44100u, 96000u}) {
        for (const Case& c : cases) {
            SCOPED_TRACE(c.name + " at " + std::to_string(rate) + " Hz");
            const Frames in = BusyMix(rate, c.noisy, rate);  // a second
            ProcessingParameters params;
            c.set(params);
            StereoRemover remover(rate);
            const Outputs run = Process(remover, params, in, {in.size() / 2});
            const std::size_t delay = 2 * remover.Latency();
            Frames delayed(in.size(), 0);
            std::copy(in.begin(), in.end() - static_cast<std::ptrdiff_t>(delay),
                      delayed.begin() + static_cast<std::ptrdiff_t>(delay));
            int largest = 0;
            for (std::size_t i = delay + 2 * remover.WarmUp(); i < in.size(); ++i) {
                largest = std::max(largest, std::abs(run.out[i] - c.want(delayed, run, i)));
            }
            EXPECT_LE(largest, c.tolerance);
        }
    }
}

// Any rate a file declares and any parameters the fuzzers feed: a window within 0.1 s where the
// rate allows, silence kept silent, full scale and DC saturated rather than wrapped or crashed.
TEST(StereoRemoverTest, AnyRateAndAnyParameters) {
    constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();
    constexpr float kInf = std::numeric_limits<float>::infinity();
    for (const unsigned rate : {0u, 1u, 8000u, 44100u, 192000u, 4000000000u}) {
        SCOPED_TRACE("rate " + std::to_string(rate));
        StereoRemover remover(rate);
        EXPECT_EQ(remover.WarmUp() % remover.Hop(), 0u);
        EXPECT_LE(remover.Latency(), std::max<double>(256.0, 0.1 * rate));
        const std::size_t frames = 3 * remover.WarmUp();
        Frames loud(2 * frames);
        for (std::size_t i = 0; i < loud.size(); ++i) {
            loud[i] = (i / 4000) % 2 == 0 ? 32767 : -32768;  // full-scale square, then DC
        }
        ProcessingParameters plain;
        plain.lowCutoff = -5;
        plain.highCutoff = 2000000000;
        remover.Reset();
        const Outputs reference = Process(remover, plain, loud, {frames});
        for (const float odd : {kNaN, kInf, -kInf, 1e30f}) {
            ProcessingParameters params;
            params.aim = odd;
            params.focus = odd;
            params.leftGain = odd;
            params.outputGain = odd;
            params.lowCutoff = plain.lowCutoff;
            params.highCutoff = plain.highCutoff;
            remover.Reset();
            const Frames silence(2 * frames, 0);
            const Outputs quiet = Process(remover, params, silence, {frames});
            EXPECT_EQ(quiet.out, silence);
            EXPECT_EQ(quiet.vocal, silence);
            remover.Reset();
            const Outputs full = Process(remover, params, loud, {frames});
            if (!std::isfinite(odd)) {
                // A value that is no number reads as the start-up value.
                int largest = 0;
                for (std::size_t i = 0; i < loud.size(); ++i) {
                    largest = std::max(largest, std::abs(full.out[i] - reference.out[i]));
                }
                EXPECT_LE(largest, 1);
            }
        }
    }
}

}  // namespace
