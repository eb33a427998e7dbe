#pragma once

// The stereo mode: removes the source at one direction of the stereo image, frequency bin by
// frequency bin, inside the band between the two cut-offs, and keeps everything else.
//
// Short-time Fourier transforms of both channels. In each bin, the share of its power that
// lies along the aimed direction d = (cos aim, sin aim) decides how much of the bin is the
// source's: all of it within an inner angle of the aim, none beyond an outer one, a raised
// cosine between (the focus narrows both; at focus 0 both are a right angle and the mode is
// the channel difference). What the mask takes is the bin's projection on d, so the sound
// off the aim keeps its place in the image. Three refinements, off at focus 0:
// - a bin no higher than its neighbours' median along d is broadband (a snare, a hat) and
//   stays, so the drums at the centre are kept while the partials of a sung note go;
// - the note's pitch, found from the partials at the aim, spares its partials that test (a
//   low voice's, smeared by vibrato, lie close together) and carries the removal to its
//   lowest partial below the band, so a low voice goes while the bass beside it stays;
// - the source's reverberation, predicted from the power removed over the last hops with an
//   exponential decay, is taken from what remains where it dominates.
// A smooth band weight applies at the cut-offs.
//
// The input is what the per-frame processing gives in this mode: the attenuated input, as in
// the original mode. The remover applies the channel levels (to each channel's remainder,
// relative to their start-up value) and the output level itself.
//
// The window is the longest power of two of frames within 0.1 s of the rate, 256 .. 8,192
// (4,096 at 44.1 and 48 kHz), the hop a quarter of it.
//
// Output frame n depends only on input frames within a bounded distance of n and on n's place
// on the hop grid: a run started WarmUp() frames before a multiple of Hop() gives, from that
// multiple on, the same bytes as a run from the start. That is what lets a long write run in
// segments side by side and still give the same bytes at every thread count.

#include <cstddef>
#include <cstdint>
#include <memory>

#include "processing/processing_parameters.h"

class StereoRemover {
  public:
    explicit StereoRemover(unsigned sampleRate);
    ~StereoRemover();
    StereoRemover(const StereoRemover&) = delete;
    StereoRemover& operator=(const StereoRemover&) = delete;

    // Frames between an input frame and the output frame made from it: one window.
    std::size_t Latency() const;
    // Frames between two reads of the parameters; segments start on multiples of it.
    std::size_t Hop() const;
    // Input frames before a segment's first frame that bring the run to the state a run from
    // the start has there; a multiple of Hop().
    std::size_t WarmUp() const;

    // Forgets every frame put: the state of a run before its first frame.
    void Reset();

    // count interleaved 16-bit stereo frames in, count out, Latency() frames later than they
    // went in (the first Latency() frames out of a fresh run are silence). vocal, when not
    // null, receives the removed part at the output level. The levels are read once a call
    // and apply to every frame it gives. The rest of the parameters are read at each hop's
    // last frame and at every call: a change between two hops remakes the last hop's window
    // with them, so it fades in from the call's first frame out; the reverberation predicted
    // from earlier hops follows within WarmUp() frames. With parameters that do not change, how a
    // run is cut into calls changes nothing.
    void Process(const ProcessingParameters& params, const std::int16_t* in, std::int16_t* out,
                 std::int16_t* vocal, std::size_t count);

    // As Process, but where the source lies is estimated from guide (count frames that go in
    // beside in): the removal of a mix, applied to one of its stems, for measuring them apart.
    // A run takes its guide from one of the two for all of its calls.
    void ProcessGuided(const ProcessingParameters& params, const std::int16_t* guide,
                       const std::int16_t* in, std::int16_t* out, std::int16_t* vocal,
                       std::size_t count);

  private:
    struct State;
    std::unique_ptr<State> m_state;
};
