// JSON helpers of the debugger: member access that never throws, and engine
// text in JSON values. Script text is Windows-1252 inside the engine, but
// jsoncpp writes UTF-8 and mangles other bytes, so text is converted
// (platform/TextEncoding.h) on its way into a JSON value and back when a
// JSON reply is printed on the console.
#pragma once

#include <string>

#include <json/value.h>

#include "platform/TextEncoding.h"

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
