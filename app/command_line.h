#pragma once

#include <QString>
#include <string>
#include <vector>

// What the window program's command line asks for.
struct StartRequest {
    enum class Action { OpenWindow, PrintHelp, PrintVersion, Refuse };
    Action action = Action::OpenWindow;
    QString input;  // OpenWindow: the absolute path of the file to select; empty for none
    // What is printed instead of opening the window: the help, the version, or (Refuse) what
    // is wrong and the usage.
    QString message;
    int exitStatus = 0;  // Refuse: 2 for a usage error, 1 for a file that cannot be used
};

// Reads the arguments after the program's name: [--help | --version | [--] FILE].
StartRequest ParseCommandLine(const std::vector<std::string>& args);
