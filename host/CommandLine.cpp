#include "CommandLine.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ostream>

#include "engine/EngineVersion.h"
#include "engine/MessageTable.h"
#include "host/HtmlSettings.h"
#include "platform/FileSystem.h"

namespace {

void Append(std::string& list, const char* piece) {
    if (!list.empty()) list += ';';
    list += piece;
}

bool EndsWith(const std::string& s, const char* suffix) {
    const size_t n = std::strlen(suffix);
    return s.size() >= n && s.compare(s.size() - n, n, suffix) == 0;
}

void PrintVersion(std::ostream& out) {
    int v[4] = {0, 0, 0, 0};
    std::sscanf(ProgramFileVersion(), "%i,%i,%i,%i", &v[0], &v[1], &v[2], &v[3]);
    const char* engine = EngineMessageText(2);
    out << "\nQem Glut\n" << "\nEngine version: " << (engine ? engine : "") << "\n" << "\nBuild: " << v[3] << "\n";
}

// Takes the page's settings; false when the page holds no engine object.
bool ApplyPage(const HtmlSettings& page, HostSettings& s) {
    if (!page.HoldsObject()) return false;
    s.scriptName = page.scriptName;
    s.engineParams = page.engineParam;
    s.userParams = page.userParam;
    if (!page.backgroundColor.empty()) {
        const size_t hash = page.backgroundColor.find('#');
        const uint32_t rgb = hash == std::string::npos ? 0 : ParseHexColour(page.backgroundColor.c_str() + hash + 1);
        s.background = ((rgb >> 16) & 0xFF) | (((rgb >> 8) & 0xFF) << 8) | ((rgb & 0xFF) << 16);
    }
    if (!page.width.empty() && page.width.back() != '%') s.width = std::atoi(page.width.c_str());
    if (!page.height.empty() && page.height.back() != '%') s.height = std::atoi(page.height.c_str());
    return true;
}

}  // namespace

const char* UsageText() {
    return " Script.bin [file.htm] [-s] [-c] [-ms] [-width h] [-height H] [-f [-r resolution]] [-w width] "
           "[-h height] [-EngineParam eparam] [-Userparam uparam] [-help] [-v]\n"
           "\n"
           "  file.html       use file .bin and settings from a standard Qem html file\n"
           "  -ms             enable multisample antialiasing (4 samples by default - incompatible with -s)\n"
           "  -s              enable active stereo (incompatible with -ms)\n"
           "  -w width        window width (used if not fullscreen, default is 640px)\n"
           "  -h height       window height (used if not fullscreen, default is 480px)\n"
           "  -c              enable stencil buffer\n"
           "  -f              enable fullscreen mode (on a single monitor)\n"
           "  -b              enable borderless mode (used if not fullscreen) \n"
           "  -r              screen resolution. Format screen \"[width'x'height][':'bitsPerPixel]['@'videoRate]\"\n"
           "  -EngineParam    pass eparam to the engine\n"
           "  -UserParam      pass uparam to the script functions 'OnInit' and 'OnDownload'\n"
           "  -stream\t\t   enables network streaming'\n"
           "  -noConsole      hides the console window\n"
           "  -help           show this help\n"
           "  -v              print engine version\n";
}

CommandLineOutcome ParseCommandLine(int argc, const char* const* argv, HostSettings& s, std::ostream& out) {
    const char* program = argc > 0 && argv[0] ? argv[0] : "";
    const char* slash = std::strrchr(program, '/');
    const char* backslash = std::strrchr(program, '\\');
    const char* last = slash > backslash ? slash : backslash;
    s.programName = last ? last + 1 : program;

    bool help = false, version = false, bad = false;
    for (int i = 1; i < argc && !bad; ++i) {
        const char* arg = argv[i];
        if (arg[0] != '-') {
            if (s.scriptName.empty()) {
                s.scriptName = arg;
                continue;
            }
            bad = true;
        } else {
            const std::string name = arg + 1;
            const bool hasValue = i + 1 < argc;
            if (hasValue && SameIgnoringCase(name, "ENGINEPARAM")) {
                Append(s.engineParams, argv[++i]);
            } else if (hasValue && SameIgnoringCase(name, "USERPARAM")) {
                Append(s.userParams, argv[++i]);
            } else if (SameIgnoringCase(name, "MS")) {
                s.displayMode |= 0x80;
            } else if (SameIgnoringCase(name, "S")) {
                s.displayMode |= 0x100;
            } else if (SameIgnoringCase(name, "C")) {
                s.displayMode |= 0x20;
            } else if (SameIgnoringCase(name, "B")) {
                s.borderless = true;
            } else if (SameIgnoringCase(name, "HELP")) {
                help = true;
            } else if (SameIgnoringCase(name, "F")) {
                s.fullScreen = true;
            } else if (hasValue && (SameIgnoringCase(name, "W") || SameIgnoringCase(name, "WIDTH"))) {
                s.width = std::atoi(argv[++i]);
                bad = s.width < 1;
            } else if (hasValue && (SameIgnoringCase(name, "H") || SameIgnoringCase(name, "HEIGHT"))) {
                s.height = std::atoi(argv[++i]);
                bad = s.height < 1;
            } else if (hasValue && SameIgnoringCase(name, "R")) {
                s.resolution = argv[++i];
            } else if (SameIgnoringCase(name, "V")) {
                version = true;
            } else if (SameIgnoringCase(name, "STREAM")) {
                s.stream = true;
            } else if (SameIgnoringCase(name, "NOCONSOLE")) {
                s.noConsole = true;
            } else {
                bad = true;
            }
        }
        if (bad) out << "Error Bad option: '" << arg << "'.\n";
    }
    if (version) {
        PrintVersion(out);
        return CommandLineOutcome::ShowVersion;
    }

    bool pageWithoutObject = false;
    if (s.scriptName.size() >= 5 && (EndsWith(s.scriptName, ".htm") || EndsWith(s.scriptName, ".html"))) {
        HtmlSettings page;
        page.file = std::fopen(s.scriptName.c_str(), "rb");
        if (!page.file) {
            out << "File non found!\n";
            return CommandLineOutcome::PageNotFound;
        }
        page.pagePath = s.scriptName;
        const size_t cut = s.scriptName.find_last_of("/\\");
        if (cut != std::string::npos) ChangeWorkingFolder(s.scriptName.substr(0, cut));
        HtmlParseObject(page);
        CloseHtmlSettings(page);
        pageWithoutObject = !ApplyPage(page, s);
    }
    if (help || s.scriptName.empty() || bad || pageWithoutObject) {
        out << "\nUsage: \n\n" << s.programName << UsageText() << "\n";
        return CommandLineOutcome::ShowUsage;
    }
    ApplyEngineParamDisplayFlags(s);
    if (!s.resolution.empty()) s.screenModeChanged = true;
    return CommandLineOutcome::Run;
}

uint32_t ParseHexColour(const char* text) {
    uint32_t value = 0;
    for (const char* p = text ? text : ""; *p; ++p) {
        const char c = *p;
        if (c == ' ' && value == 0) continue;
        int digit;
        if (c >= '0' && c <= '9')
            digit = c - '0';
        else if (c >= 'a' && c <= 'f')
            digit = c - 'a' + 10;
        else if (c >= 'A' && c <= 'F')
            digit = c - 'A' + 10;
        else
            break;  // the value ends at the first character that is no digit
        value = value * 16 + static_cast<uint32_t>(digit);
    }
    return value;
}

void ApplyEngineParamDisplayFlags(HostSettings& s) {
    size_t start = 0;
    while (start < s.engineParams.size()) {
        size_t end = s.engineParams.find(';', start);
        if (end == std::string::npos) end = s.engineParams.size();
        const std::string piece = s.engineParams.substr(start, end - start);
        if (piece == "STEREO") s.displayMode |= 0x100;
        if (piece.compare(0, 8, "STENCIL=") == 0) s.displayMode |= 0x20;
        start = end + 1;
    }
}

int ParseScreenResolution(const std::string& text, int32_t fields[4]) {
    const int n = std::sscanf(text.c_str(), "%ix%i:%i@%i", &fields[0], &fields[1], &fields[2], &fields[3]);
    return n < 0 ? 0 : n;
}
