// The system's fonts, found by face name through fontconfig.
#pragma once

#include <string>

// The file of the installed face that best matches the name (fontconfig's
// substitutions apply: a face that is not installed gives a similar one,
// at worst the default sans face); empty when no font is installed.
std::string FontFileForFace(const std::string& face);
