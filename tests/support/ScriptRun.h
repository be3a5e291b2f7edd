// Runs a test script through the program, as the end-to-end tests of the
// script classes and functions do.
#pragma once

#include <map>
#include <string>

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

// The output after the script's "BEGIN\n" (all of it when there is none), up
// to `end` when that is given and found.
std::string AfterBegin(const std::string& output, const std::string& end = "");

}  // namespace qemtest
