// The host's settings: from the command line, or from an HTML page named on
// it, before the window exists.
#pragma once

#include <cstdint>
#include <iosfwd>
#include <string>

struct HostSettings {
    std::string programName;
    std::string scriptName;
    std::string engineParams;
    std::string userParams;
    std::string resolution;
    uint32_t displayMode = 0x12;  // GLUT_RGBA | GLUT_DOUBLE | GLUT_DEPTH
    int32_t width = 640;
    int32_t height = 480;
    uint32_t background = 0;  // red in bits 0-7, green 8-15, blue 16-23
    bool borderless = false;
    bool fullScreen = false;
    bool stream = false;
    bool noConsole = false;
    bool screenModeChanged = false;
};

// What the program does after reading its command line.
enum class CommandLineOutcome {
    Run,           // open the window and run the script
    ShowUsage,     // the usage was printed: wait for a key, end with 0
    ShowVersion,   // the version was printed: end with 0
    PageNotFound,  // "File non found!"
};

// Reads argc/argv into settings, printing messages, the usage and the
// version to out. An HTML page named on the line is read (and the working
// folder moves to its folder).
CommandLineOutcome ParseCommandLine(int argc, const char* const* argv, HostSettings& settings, std::ostream& out);

// The usage text after "\nUsage: \n\n" and the program name.
const char* UsageText();

// Hexadecimal digits to a number (blanks skipped while it is still 0).
uint32_t ParseHexColour(const char* text);

// Display-mode bits from the engine parameters: a piece "STEREO" adds
// stereo, a piece starting with "STENCIL=" adds the stencil buffer.
void ApplyEngineParamDisplayFlags(HostSettings& settings);

// The fields of a "-r" text ("%ix%i:%i@%i"): width, height, bits per pixel,
// refresh rate; answers how many were read.
int ParseScreenResolution(const std::string& text, int32_t fields[4]);
