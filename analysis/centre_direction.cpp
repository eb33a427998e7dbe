#include "analysis/centre_direction.h"

#include <algorithm>
#include <cmath>
#include <complex>
#include <functional>
#include <numbers>

#include "analysis/fft_bands.h"

namespace {

constexpr std::size_t kFrameSize = 2048;
constexpr double kRate = 44100.0;
constexpr double kLowestHz = 200.0;
constexpr double kHighestHz = 4000.0;
constexpr double kMaxPhase = 0.15;  // radians between the channels of an "in phase" cell
constexpr double kMaxBalanceDb = 9.0;
constexpr double kStepDb = 0.25;
constexpr double kAngleStep = std::numbers::pi / 480;  // a quarter of a pan step
// A channel with less than this share of the other's energy holds nothing of the cell.
constexpr double kAloneShare = 1e-4;
constexpr double kPeakShare = 2.0;
// The voice's direction is the heaviest of spans of half a pan step each side: the
// reverberation's spread and a doubled part's sides fall outside.
constexpr std::size_t kVoiceReach = 2;
// Below this the bass's partials, in the centre and louder than the voice, stand out too.
constexpr double kVoiceLowestHz = 300.0;

// Weights over evenly spaced values from lowest to highest.
class Histogram {
  public:
    Histogram(double lowest, double highest, double step)
        : m_lowest(lowest),
          m_step(step),
          m_weight(static_cast<std::size_t>(std::lround((highest - lowest) / step)) + 1, 0.0) {}

    void Add(double value, double energy) {
        const auto index = static_cast<std::size_t>(std::lround((value - m_lowest) / m_step));
        m_weight[std::min(index, m_weight.size() - 1)] += energy;
    }

    // The centre of the heaviest reach * 2 + 1 neighbouring steps; the middle when all are
    // empty.
    double Peak(std::size_t reach = 1) const {
        double best = 0.0;
        std::size_t bestIndex = m_weight.size() / 2;
        for (std::size_t i = reach; i + reach < m_weight.size(); ++i) {
            double sum = 0.0;
            for (std::size_t j = i - reach; j <= i + reach; ++j) {
                sum += m_weight[j];
            }
            if (sum > best) {
                best = sum;
                bestIndex = i;
            }
        }
        return static_cast<double>(bestIndex) * m_step + m_lowest;
    }

  private:
    double m_lowest;
    double m_step;
    std::vector<double> m_weight;
};

// What is done with a cell whose channels are in phase: its left and right energies, its
// frequency and whether it is a peak of the frame's spectrum.
using CellSink = std::function<void(double el, double er, double hz, bool peak)>;

// A cell that stands out of the spectrum as a partial does: no weaker than its neighbours,
// kPeakShare times stronger than the cells two away. Drums and reverberation seldom do.
bool IsPeak(const std::vector<double>& energy, std::size_t k) {
    return energy[k] >= energy[k - 1] && energy[k] >= energy[k + 1] &&
           energy[k] > kPeakShare * energy[k - 2] && energy[k] > kPeakShare * energy[k + 2];
}

// Both channels of a frame in one transform: left real, right imaginary.
void AddFrame(const StereoFrames& frames, std::size_t start, const std::vector<double>& window,
              std::vector<std::complex<double>>& buffer, std::vector<double>& energy,
              const CellSink& sink) {
    for (std::size_t i = 0; i < kFrameSize; ++i) {
        const std::size_t at = 2 * (start + i);
        buffer[i] = std::complex<double>(frames[at], frames[at + 1]) * window[i];
    }
    Fft(buffer);
    const auto first = static_cast<std::size_t>(kLowestHz * kFrameSize / kRate);
    const auto last = static_cast<std::size_t>(kHighestHz * kFrameSize / kRate);
    for (std::size_t bin = first - 2; bin <= last + 2; ++bin) {
        energy[bin] = std::norm(buffer[bin]) + std::norm(buffer[kFrameSize - bin]);
    }
    for (std::size_t bin = first; bin <= last; ++bin) {
        const std::complex<double> z = buffer[bin];
        const std::complex<double> mirror = std::conj(buffer[kFrameSize - bin]);
        const std::complex<double> left = (z + mirror) * 0.5;
        const std::complex<double> right = (z - mirror) * std::complex<double>(0.0, -0.5);
        const double el = std::norm(left);
        const double er = std::norm(right);
        if (el + er <= 0.0) {
            continue;
        }
        // A cell that one channel holds alone is in phase too: its phase is no measure.
        const bool alone = std::min(el, er) <= kAloneShare * std::max(el, er);
        if (alone || std::abs(std::arg(left * std::conj(right))) <= kMaxPhase) {
            sink(el, er, static_cast<double>(bin) * kRate / kFrameSize, IsPeak(energy, bin));
        }
    }
}

// Every in-phase cell of the voice's range in the excerpts, half-overlapping Hann frames.
void ForEachInPhaseCell(const std::vector<StereoFrames>& excerpts, const CellSink& sink) {
    const std::vector<double> window = HannWindow(kFrameSize);
    std::vector<std::complex<double>> buffer(kFrameSize);
    std::vector<double> energy(kFrameSize / 2 + 1, 0.0);
    for (const StereoFrames& frames : excerpts) {
        const std::size_t count = frames.size() / 2;
        for (std::size_t start = 0; start + kFrameSize <= count; start += kFrameSize / 2) {
            AddFrame(frames, start, window, buffer, energy, sink);
        }
    }
}

}  // namespace

double CentreBalanceDb(const std::vector<StereoFrames>& excerpts) {
    Histogram histogram(-kMaxBalanceDb, kMaxBalanceDb, kStepDb);
    ForEachInPhaseCell(excerpts, [&histogram](double el, double er, double, bool) {
        if (el <= 0.0 || er <= 0.0) {
            return;
        }
        const double balanceDb = 10.0 * std::log10(el / er);
        if (std::abs(balanceDb) <= kMaxBalanceDb) {
            histogram.Add(balanceDb, std::sqrt(el * er));
        }
    });
    return histogram.Peak();
}

double VoiceAngle(const std::vector<StereoFrames>& excerpts) {
    Histogram histogram(0.0, std::numbers::pi / 2, kAngleStep);
    // The partials of a sung note, weighed by the cell's whole energy: a voice panned hard to
    // a side counts as much as one in the centre. The centred drums and bass, louder in all,
    // are seldom peaks in the voice's range.
    ForEachInPhaseCell(excerpts, [&histogram](double el, double er, double hz, bool peak) {
        if (peak && hz >= kVoiceLowestHz) {
            histogram.Add(std::atan2(std::sqrt(er), std::sqrt(el)), el + er);
        }
    });
    return histogram.Peak(kVoiceReach);
}
