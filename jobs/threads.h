#pragma once

// What a program sets once in its main, for as long as it runs: how many threads its jobs'
// pools may have in all (ThreadAllowance), and the cores they count (CoreCount).

#include "render/render_pool.h"

inline int CoreCount() {
    return RenderPool::CoreCount();
}
