#include "debugger/DebugJson.h"

#include <json/writer.h>

std::string DebugJsonLine(const Json::Value& value) {
    static const Json::StreamWriterBuilder compact = [] {
        Json::StreamWriterBuilder builder;
        builder["indentation"] = "";
        return builder;
    }();
    return Json::writeString(compact, value);
}

Json::Value DebugJsonText(const std::string& cp1252) { return Json::Value(Cp1252ToUtf8(cp1252)); }

const Json::Value& JsonMember(const Json::Value& object, const char* key) {
    static const Json::Value absent;
    if (!object.isObject()) return absent;
    const Json::Value* value = object.find(key, key + std::strlen(key));
    return value ? *value : absent;
}

const Json::Value& JsonArrayMember(const Json::Value& object, const char* key) {
    static const Json::Value empty(Json::arrayValue);
    const Json::Value& value = JsonMember(object, key);
    return value.isArray() ? value : empty;
}
