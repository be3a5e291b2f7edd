#include "HtmlSettings.h"

#include <cstring>

#include "platform/FileSystem.h"

const char* const kEngineClassId = "CLSID:3A41C7E0-9B2D-4F6A-8C15-2E7D90B4A6F3";

namespace {

constexpr size_t kMaxToken = 255;

// Skips a comment up to "-->", matched character by character.
void SkipComment(FILE* file) {
    static const char kClose[] = "-->";
    int matched = 0;
    int c;
    while (matched < 3 && (c = std::fgetc(file)) != EOF) matched = c == kClose[matched] ? matched + 1 : 0;
}

}  // namespace

bool HtmlNextToken(FILE* file, std::string& token) {
    token.clear();
    for (;;) {
        const int c = std::fgetc(file);
        if (c == EOF) return !token.empty();
        if (c <= ' ') {
            if (!token.empty()) return true;
            continue;
        }
        if (c == '"') {
            // A quoted token runs to the next quote; blanks inside stay.
            int q;
            while ((q = std::fgetc(file)) != EOF && q != '"')
                if (token.size() < kMaxToken) token += static_cast<char>(q);
            return true;
        }
        if (c == '=' || c == '>') {
            if (token.empty()) {
                token += static_cast<char>(c);
                return true;
            }
            std::ungetc(c, file);
            return true;
        }
        if (token.size() < kMaxToken) token += static_cast<char>(c);
        if (token == "<!--") {
            SkipComment(file);
            token.clear();
        }
    }
}

bool HtmlReadValue(FILE* file, std::string& value) {
    std::string t;
    if (!HtmlNextToken(file, t) || t != "=") return false;
    HtmlNextToken(file, value);
    return true;
}

void HtmlParseObject(HtmlSettings& s) {
    enum { Outside, InObjectTag, InObject, InParam } state = Outside;
    std::string* selected = nullptr;  // the field the last recognised NAME chose
    std::string token;
    while (HtmlNextToken(s.file, token)) {
        if (state == Outside) {
            if (SameIgnoringCase(token, "<OBJECT")) state = InObjectTag;
            continue;
        }
        if (state == InObjectTag) {
            if (token == ">") {
                state = InObject;
                continue;
            }
            std::string* field = SameIgnoringCase(token, "CLASSID") ? &s.classId
                                 : SameIgnoringCase(token, "width") ? &s.width
                                 : SameIgnoringCase(token, "height") ? &s.height
                                 : SameIgnoringCase(token, "ID") ? &s.id
                                                                 : nullptr;
            if (field) {
                std::string value;
                if (!HtmlReadValue(s.file, value)) {
                    state = Outside;
                    continue;
                }
                *field = value;
                if (field == &s.classId && !SameIgnoringCase(value, kEngineClassId)) {
                    s.classId.clear();
                    state = Outside;
                }
                continue;
            }
            // Any other token is tested as inside the object.
        }
        if (state == InObjectTag || state == InObject) {
            if (token == "</OBJECT") return;
            if (SameIgnoringCase(token, "<PARAM")) state = InParam;
            continue;
        }
        // In a PARAM tag.
        if (token == ">") {
            state = InObject;
        } else if (token == "</OBJECT") {
            return;
        } else if (SameIgnoringCase(token, "NAME")) {
            std::string name;
            if (!HtmlReadValue(s.file, name)) {
                state = InObject;
                continue;
            }
            std::string* field = SameIgnoringCase(name, "ScriptName")        ? &s.scriptName
                                 : SameIgnoringCase(name, "EngineParam")     ? &s.engineParam
                                 : SameIgnoringCase(name, "EngineVersion")   ? &s.engineVersion
                                 : SameIgnoringCase(name, "BackgroundColor") ? &s.backgroundColor
                                 : SameIgnoringCase(name, "UserParam")       ? &s.userParam
                                                                             : nullptr;
            if (field)
                selected = field;
            else
                state = InObject;
        } else if (SameIgnoringCase(token, "VALUE")) {
            std::string value;
            if (!HtmlReadValue(s.file, value)) {
                state = InObject;
                continue;
            }
            if (selected) *selected = value;
        }
    }
}

bool ReadHtmlSettings(const std::string& pagePath, HtmlSettings& settings) {
    settings = HtmlSettings();
    settings.pagePath = pagePath;
    settings.file = std::fopen(pagePath.c_str(), "rb");
    if (!settings.file) return false;
    HtmlParseObject(settings);
    return true;
}

void CloseHtmlSettings(HtmlSettings& settings) {
    if (settings.file) std::fclose(settings.file);
    settings.file = nullptr;
}
