#pragma once

#include <string>

#include "render/job_observer.h"

// What the user is told, in the wording the window's message boxes and the command
// line's lines share.
std::string MessageText(const JobMessage& message);
