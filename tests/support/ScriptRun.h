// Runs a test script through the program, as the end-to-end tests of the
// script classes and functions do.
#pragma once

#include <functional>
#include <map>
#include <string>
#include <vector>

namespace qemtest {

class MethodScript;
class ScratchFolder;

// Writes the script as <name>.bin into the scratch folder and runs `program`
// on it in a 160x120 window, with its temporary folder in the scratch folder
// (and the environment changes), until the output holds `until` (30 s at
// most); the whole output. The program is stopped when this returns.
std::string RunScript(const std::string& program, const ScratchFolder& scratch, MethodScript& script,
                      const std::string& name, const std::string& until,
                      const std::map<std::string, std::string>& environment = {});

// What a script does that stops it, and the error it stops with (the text
// after the line's prefix).
struct StoppingScript {
    std::function<void(MethodScript&)> build;
    std::string error;
};

// Runs each as a script whose OnInit prints "BEGIN", runs `build` and then
// prints "DONE", and whose OnError prints "went on": `build` must stop the
// script with the error, and the engine must go on to OnError.
void ExpectEachStopsTheScript(const std::string& program, const ScratchFolder& scratch,
                              const std::vector<StoppingScript>& scripts);

// Begins a frame (SCENEBEGIN) whose projection and model-view matrices are
// the identity, so that the window is -1 to 1 on both axes; textures replace
// the colour, and depth test, fog, blending, alpha test and culling are off.
void BeginIdentityFrame(MethodScript& s);

// The output after the script's "BEGIN\n" (all of it when there is none), up
// to `end` when that is given and found.
std::string AfterBegin(const std::string& output, const std::string& end = "");

}  // namespace qemtest
