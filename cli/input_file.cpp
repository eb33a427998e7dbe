#include "input_file.h"

#include <cstdio>

std::optional<EngineInput> PrepareCliInput(const std::string& path, ConsoleWindow& window) {
    WindowState& state = window.State();
    EngineInput input = PrepareEngineInput(path, [&](double done) {
        window.ShowStepProgress("decoding ", done);
        return state.m_bStopRequest == 0;
    });
    window.FinishStatus();
    switch (input.Status()) {
        case InputStatus::Ready:
            return input;
        case InputStatus::Cancelled:
            return std::nullopt;
        case InputStatus::NotStereo:
            window.ShowMessage(input.Refusal());
            return std::nullopt;
        case InputStatus::NotAudio:
        case InputStatus::NoSpace:
            break;
    }
    std::fprintf(stderr, "zerbex2-cli: %s: %s", path.c_str(), input.Refusal());
    return std::nullopt;
}
