// JSON helpers of the debugger: member access that never throws, and the
// text conversions at the JSON boundary. Script text is Windows-1252 inside
// the engine, but jsoncpp writes UTF-8 and mangles other bytes, so text is
// converted on its way into a JSON value and back when a JSON reply is
// printed on the console.
#pragma once

#include <string>

#include <json/value.h>

// Every Windows-1252 byte becomes its UTF-8 sequence. The five bytes the code
// page leaves undefined map to the C1 controls of the same value, so that
// Utf8ToCp1252 gives the original bytes back.
std::string Cp1252ToUtf8(const std::string& text);

// The inverse of Cp1252ToUtf8. A character that Windows-1252 cannot hold
// becomes '?'; bytes that are not well-formed UTF-8 are kept as they are.
std::string Utf8ToCp1252(const std::string& text);

// The compact one-line text of a JSON reply: no blanks or line breaks, the
// members of objects in byte order of their keys, no final line end.
std::string DebugJsonLine(const Json::Value& value);

// A JSON string holding engine text.
Json::Value DebugJsonText(const std::string& cp1252);

// The member of an object, or a null value when `object` is not an object or
// has no such member. jsoncpp throws when a member of another kind of value
// is asked for, and its values arrive from files and clients.
const Json::Value& JsonMember(const Json::Value& object, const char* key);
// The member when it is an array, else an empty array.
const Json::Value& JsonArrayMember(const Json::Value& object, const char* key);
