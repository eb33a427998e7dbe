#pragma once

#include "render/render_sink.h"
#include "render/safe_output.h"

// A sink that writes a file through SafeOutput, its commit in two steps: Prepare does all
// that may fail (the encoder's end, the flush, the sync), and only then is the file put in
// place, alone (Commit) or with another as a pair (CommitPair).
class FileSink : public RenderSink {
  public:
    // Everything of Commit but the rename; false leaves the target as it was.
    virtual bool Prepare() = 0;
    virtual SafeOutput& Output() = 0;
    bool Commit() override { return Prepare() && Output().Publish(); }
};
