// The settings of an HTML page that embeds the engine: its object tag (class
// id, width, height, ID) and its PARAM tags (ScriptName, EngineParam,
// EngineVersion, BackgroundColor, UserParam).
#pragma once

#include <cstdio>
#include <string>

// The engine's class id in the page's object tag.
extern const char* const kEngineClassId;

struct HtmlSettings {
    std::string pagePath;
    FILE* file = nullptr;
    std::string id;
    std::string height;
    std::string width;
    std::string classId;
    std::string scriptName;
    std::string engineVersion;
    std::string backgroundColor;
    std::string engineParam;
    std::string userParam;

    // The page holds the engine's object.
    bool HoldsObject() const { return !classId.empty(); }
};

// The next token of the page (at most 255 characters); false at the end of
// the file with nothing read.
bool HtmlNextToken(FILE* file, std::string& token);
// Reads "=" and then the value token; false (and no value) when the next
// token is not "=".
bool HtmlReadValue(FILE* file, std::string& value);
// Parses the page's tokens into the settings.
void HtmlParseObject(HtmlSettings& settings);
// Opens the page and parses it; false when it cannot be opened.
bool ReadHtmlSettings(const std::string& pagePath, HtmlSettings& settings);
void CloseHtmlSettings(HtmlSettings& settings);
