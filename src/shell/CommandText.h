#pragma once
#include <string>

// The command text: from the command line, or handed over by a second start.
// "test" also asks the call callback to drop offered calls.
struct CommandText {
    std::string text;
    bool testRequested = false;
};
