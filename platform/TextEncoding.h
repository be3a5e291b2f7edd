// Text conversions at the edges of the engine. Text inside the engine is
// single-byte Windows-1252; programs and libraries outside (JSON writers,
// GTK dialogs) speak UTF-8.
#pragma once

#include <string>

// Every Windows-1252 byte becomes its UTF-8 sequence. The five bytes the code
// page leaves undefined map to the C1 controls of the same value, so that
// Utf8ToCp1252 gives the original bytes back.
std::string Cp1252ToUtf8(const std::string& text);

// The inverse of Cp1252ToUtf8. A character that Windows-1252 cannot hold
// becomes '?'; bytes that are not well-formed UTF-8 are kept as they are.
std::string Utf8ToCp1252(const std::string& text);

