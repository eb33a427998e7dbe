#include "input_file.h"

#include <cstdio>

std::optional<EngineInput> PrepareCliInput(const std::string& path, ConsoleWindow& window) {
    WindowState& state = window.State();
    EngineInput input = PrepareEngineInput(path, [&](double done) {
        window.ShowStepProgress("decoding ", done);
        return state.m_bStopRequest == 0;
    });
    window.FinishStatus();
    if (input.Status() == InputStatus::Ready) {
        return input;
    }
    ReportUnusableInput(path, input.Status(), window);
    return std::nullopt;
}

void ReportUnusableInput(const std::string& path, InputStatus status, ConsoleWindow& window) {
    switch (status) {
        case InputStatus::Ready:
        case InputStatus::Cancelled:
            return;
        case InputStatus::NotStereo:
            window.ShowMessage(RefusalOf(status));
            return;
        case InputStatus::NotAudio:
        case InputStatus::NoSpace:
            break;
    }
    std::fprintf(stderr, "zerbex2-cli: %s: %s", path.c_str(), RefusalOf(status));
}
