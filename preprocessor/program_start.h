// Foreparse's start-up command line and its File and Debug menu actions,
// without the window: messages and dialogs go through the platform prompts.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "preprocessor/PPU1.h"

namespace krv::pp {

// The model path of a chosen file: a trailing ".QTL" or ".qtl" is dropped.
std::string ModelPathFromChosenFile(const std::string& path);

// Acts on the arguments after the program name: a non-empty first one runs
// at once (batch mode); a non-empty second one turns the dump on.
void HandleCommandLine(Preprocessor& pp, const std::vector<std::string>& args);

// Wraps the run alone (the window's hourglass), not the dialog or a message.
using RunScope = std::function<void(const std::function<void()>& run)>;

// The File menu: refuses a second run, asks for the model file and runs.
// Throws nothing: an unexpected file error is shown in a message box.
void Getfile(Preprocessor& pp, const RunScope& scope = {});

// The Debug menu: dumps the tables as they stand.
void Debug1Click(Preprocessor& pp);

}  // namespace krv::pp
