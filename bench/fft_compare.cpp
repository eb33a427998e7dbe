// The stereo mode's transform: a 4,096-point real forward and inverse transform of each
// channel once a hop of 1,024 frames, timed per second of 44.1 kHz stereo, for each library
// considered. KissFFT and FFTW3 are linked by this bench alone; FFTW3 is GPL-2+, which our
// licence cannot take.
//
// Usage: zerbex_fft_compare [SECONDS]   (default 60 s of audio per library; best of 5 runs)
//
// Built where libfftw3-dev and libkissfft-dev are installed. Measured here (processor time,
// 2 cores, quiet machine, best of 5 runs of 30 s of audio):
//   PFFFT (float, real, ordered)                 1.86 ms per second of audio  (chosen)
//   KissFFT 131 (libkissfft-float, kiss_fftr)    8.52 ms
//   KissFFT 131 (kissfft.hh, double, complex)   10.32 ms
//   FFTW 3.3.10 (double, r2c/c2r, MEASURE)       1.16 ms
// PFFFT is 4.6 times as fast as KissFFT, near FFTW, and BSD-like; Debian does not package
// it, so third_party keeps its two files. The remover needs three transforms a hop (the
// removed source is one spectrum), at hops of 2,048.

#include <fftw3.h>
#include <kiss_fftr.h>
#include <pffft.h>
#include <kissfft.hh>

#include <algorithm>
#include <cmath>
#include <complex>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <functional>
#include <vector>

namespace {

constexpr int kSize = 4096;
constexpr int kHop = 1024;
constexpr double kRate = 44100.0;
constexpr int kRuns = 5;

struct Result {
    double msPerSecond;
    double worstError;  // largest round-trip error on a full-scale signal, in LSBs
};

// One hop's work on a frame of both channels: forward, then inverse, of each; with check, returns
// the round trip's largest error against the input (left out of the timed runs).
using HopWork = std::function<double(const std::vector<double>&, bool check)>;

std::vector<double> TestFrame() {
    std::vector<double> frame(kSize);
    unsigned seed = 12345;
    for (double& v : frame) {
        seed = seed * 1103515245U + 12345U;
        v = static_cast<double>(static_cast<int>(seed >> 16) % 65536 - 32768);
    }
    return frame;
}

// The largest difference between an unnormalised round trip and the frame it came from.
template <typename T>
double WorstError(const T* out, const std::vector<double>& frame) {
    double error = 0.0;
    for (int i = 0; i < kSize; ++i) {
        error = std::max(error, std::abs(static_cast<double>(out[i]) / kSize - frame[i]));
    }
    return error;
}

Result Time(double seconds, const HopWork& hop) {
    const std::vector<double> frame = TestFrame();
    const auto hops = static_cast<long>(seconds * kRate / kHop);
    double best = 1e30;
    const double error = hop(frame, true);
    for (int run = 0; run < kRuns; ++run) {
        // Processor time: the machine is shared, and a wall clock counts the others' work.
        const std::clock_t start = std::clock();
        for (long i = 0; i < hops; ++i) {
            hop(frame, false);
        }
        best = std::min(best, static_cast<double>(std::clock() - start) / CLOCKS_PER_SEC);
    }
    return {best * 1000.0 / seconds, error};
}

Result KissReal(double seconds) {
    kiss_fftr_cfg forward = kiss_fftr_alloc(kSize, 0, nullptr, nullptr);
    kiss_fftr_cfg inverse = kiss_fftr_alloc(kSize, 1, nullptr, nullptr);
    if (forward == nullptr || inverse == nullptr) {
        std::fprintf(stderr, "kiss_fftr_alloc failed\n");
        std::exit(1);
    }
    std::vector<float> in(kSize);
    std::vector<float> out(kSize);
    std::vector<kiss_fft_cpx> spectrum(kSize / 2 + 1);
    const Result result = Time(seconds, [&](const std::vector<double>& frame, bool check) {
        double error = 0.0;
        for (int channel = 0; channel < 2; ++channel) {
            std::copy(frame.begin(), frame.end(), in.begin());
            kiss_fftr(forward, in.data(), spectrum.data());
            kiss_fftri(inverse, spectrum.data(), out.data());
            error = check ? std::max(error, WorstError(out.data(), frame)) : 0.0;
        }
        return error;
    });
    kiss_fftr_free(forward);
    kiss_fftr_free(inverse);
    return result;
}

// Both channels in one complex transform each way, left real and right imaginary.
Result KissComplexDouble(double seconds) {
    const kissfft<double> forward(kSize, false);
    const kissfft<double> inverse(kSize, true);
    std::vector<std::complex<double>> in(kSize);
    std::vector<std::complex<double>> spectrum(kSize);
    std::vector<std::complex<double>> out(kSize);
    return Time(seconds, [&](const std::vector<double>& frame, bool check) {
        for (int i = 0; i < kSize; ++i) {
            in[i] = {frame[i], frame[kSize - 1 - i]};
        }
        forward.transform(in.data(), spectrum.data());
        inverse.transform(spectrum.data(), out.data());
        double error = 0.0;
        for (int i = 0; check && i < kSize; ++i) {
            error = std::max(error, std::abs(out[i].real() / kSize - frame[i]));
        }
        return error;
    });
}

Result PffftReal(double seconds) {
    PFFFT_Setup* setup = pffft_new_setup(kSize, PFFFT_REAL);
    auto* in = static_cast<float*>(pffft_aligned_malloc(kSize * sizeof(float)));
    auto* spectrum = static_cast<float*>(pffft_aligned_malloc(kSize * sizeof(float)));
    auto* out = static_cast<float*>(pffft_aligned_malloc(kSize * sizeof(float)));
    auto* work = static_cast<float*>(pffft_aligned_malloc(kSize * sizeof(float)));
    if (setup == nullptr || in == nullptr || spectrum == nullptr || out == nullptr ||
        work == nullptr) {
        std::fprintf(stderr, "PFFFT set-up failed\n");
        std::exit(1);
    }
    const Result result = Time(seconds, [&](const std::vector<double>& frame, bool check) {
        double error = 0.0;
        for (int channel = 0; channel < 2; ++channel) {
            std::copy(frame.begin(), frame.end(), in);
            pffft_transform_ordered(setup, in, spectrum, work, PFFFT_FORWARD);
            pffft_transform_ordered(setup, spectrum, out, work, PFFFT_BACKWARD);
            error = check ? std::max(error, WorstError(out, frame)) : 0.0;
        }
        return error;
    });
    for (float* p : {in, spectrum, out, work}) {
        pffft_aligned_free(p);
    }
    pffft_destroy_setup(setup);
    return result;
}

Result Fftw(double seconds) {
    double* in = fftw_alloc_real(kSize);
    double* out = fftw_alloc_real(kSize);
    fftw_complex* spectrum = fftw_alloc_complex(kSize / 2 + 1);
    fftw_plan forward = fftw_plan_dft_r2c_1d(kSize, in, spectrum, FFTW_MEASURE);
    fftw_plan inverse = fftw_plan_dft_c2r_1d(kSize, spectrum, out, FFTW_MEASURE);
    const Result result = Time(seconds, [&](const std::vector<double>& frame, bool check) {
        double error = 0.0;
        for (int channel = 0; channel < 2; ++channel) {
            std::copy(frame.begin(), frame.end(), in);
            fftw_execute(forward);
            fftw_execute(inverse);
            error = check ? std::max(error, WorstError(out, frame)) : 0.0;
        }
        return error;
    });
    fftw_destroy_plan(forward);
    fftw_destroy_plan(inverse);
    fftw_free(in);
    fftw_free(out);
    fftw_free(spectrum);
    return result;
}

}  // namespace

int main(int argc, char** argv) {
    const double seconds = argc > 1 ? std::atof(argv[1]) : 60.0;
    if (!(seconds > 0.0)) {
        std::fprintf(stderr, "usage: zerbex_fft_compare [SECONDS]\n");
        return 2;
    }
    const auto print = [](const char* name, const Result& r) {
        std::printf("%-44s %6.2f ms per second of audio, round trip within %.4f LSB\n", name,
                    r.msPerSecond, r.worstError);
    };
    print("PFFFT (float, real, ordered)", PffftReal(seconds));
    print("KissFFT (libkissfft-float, kiss_fftr)", KissReal(seconds));
    print("KissFFT (kissfft.hh, double, complex)", KissComplexDouble(seconds));
    print("FFTW3 (double, r2c/c2r, FFTW_MEASURE)", Fftw(seconds));
    return 0;
}
