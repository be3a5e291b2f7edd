#include "functions/CVmStringFunctions.h"

#include <cstring>
#include <string_view>
#include <vector>

#include "functions/ScriptFormat.h"
#include "runtime/PackFormat.h"
#include "vm/VirtualMachine.h"

namespace {

// A format or a source as the C library reads it: up to its first zero byte.
std::string_view CText(const CVmString& s) { return std::string_view(s.CStr(), std::strlen(s.CStr())); }

// A Real as a 64-bit integer, truncated toward zero and saturating.
int64_t Truncate64(float f) {
    if (f != f) return 0;
    if (f >= 9223372036854775807.0f) return INT64_MAX;
    if (f <= -9223372036854775807.0f) return INT64_MIN;
    return static_cast<int64_t>(f);
}

// The value of a conversion from a script value; false when the value does
// not fit the conversion's class.
bool ToFormatValue(const CVmValue& v, const FormatConversion& c, FormatValue& out) {
    switch (v.type) {
    case VmValueType::Integer:
        if (c.cls == FormatClass::Float) {
            out.real = v.asInt;
            return true;
        }
        out.integer = v.asInt;
        return c.cls == FormatClass::Short || c.cls == FormatClass::Long;
    case VmValueType::Real:
        if (c.cls == FormatClass::Float) {
            out.real = v.asReal;
            return true;
        }
        out.integer = c.prefix == 'I' ? Truncate64(v.asReal) : VmTruncate(v.asReal);
        return c.cls == FormatClass::Short || c.cls == FormatClass::Long;
    case VmValueType::String:
        out.text = v.asString->CStr();
        out.integer = static_cast<unsigned char>(out.text[0]);
        return c.cls == FormatClass::String || c.cls == FormatClass::Char;
    default:
        return false;
    }
}

constexpr const char* kInvalidEncoded = "Invalid encoded string.";

}  // namespace

// One line per built function (FunctionTable.h).
void CVmStringFunctions::AddFunctions() {
    AddFunction("Sscanf", &CVmStringFunctions::Sscanf);
    AddFunction("Split", &CVmStringFunctions::Split);
    AddFunction("Sprintf", &CVmStringFunctions::Sprintf);
    AddFunction("PackVector", &CVmStringFunctions::PackVector);
    AddFunction("UnpackVector", &CVmStringFunctions::UnpackVector);
    AddFunction("VarStringDecode", &CVmStringFunctions::VarStringDecode);
    AddFunction("VarStringEncode", &CVmStringFunctions::VarStringEncode);
}

const CVmString* CVmStringFunctions::StringParam(int32_t k) {
    const CVmString* s = nullptr;
    if (!ReadParam(k, s, false)) VmErrorMsg(2013, k);
    return s;
}

// ---------------------------------------------------------------------------
// Formatting and scanning

void CVmStringFunctions::Sprintf(CVmClassBase*, int) {
    const CVmString* format = StringParam(1);
    if (!format) return;
    const std::string_view f = CText(*format);
    const ParsedFormat parsed = ParseScriptFormat(f);
    if (!parsed.valid) return VmErrorMsg(2020, 1);
    const int32_t n = static_cast<int32_t>(parsed.conversions.size());
    if (ArgCount() - 1 < n) return VmErrorMsg(2025);
    std::vector<FormatValue> values(static_cast<size_t>(n));
    for (int32_t k = 0; k < n; ++k) {
        if (!ToFormatValue(*GetParam(k + 2), parsed.conversions[static_cast<size_t>(k)],
                           values[static_cast<size_t>(k)]))
            return VmErrorMsg(2017, k + 2);
    }
    const std::string text = ScriptSprintf(f, parsed, values);
    VmReturnString(text.data(), static_cast<int32_t>(text.size()));
}

void CVmStringFunctions::Sscanf(CVmClassBase*, int) {
    const CVmString* source = StringParam(1);
    if (!source) return;
    const CVmString* format = StringParam(2);
    if (!format) return;
    const std::string_view f = CText(*format);
    const ParsedFormat parsed = ParseScriptFormat(f);
    if (!parsed.valid) return VmErrorMsg(2020, 2);
    if (parsed.moreThanMax) return VmErrorMsg(2021);
    const int32_t n = static_cast<int32_t>(parsed.conversions.size());
    if (ArgCount() - 2 != n) return VmErrorMsg(2024);

    // Strings are scanned into their own buffers, bounded by their length:
    // the buffer is never grown.
    std::vector<ScanTarget> targets(static_cast<size_t>(n));
    for (int32_t k = 0; k < n; ++k) {
        const FormatConversion& c = parsed.conversions[static_cast<size_t>(k)];
        CVmValue* v = GetParam(k + 3);
        if (c.cls == FormatClass::String) {
            if (v->type != VmValueType::String) return VmErrorMsg(2022, k + 3);
            if (v->asString->Length() < 1 || !v->asString->HasBuffer()) return VmErrorMsg(2023, k + 3);
            targets[static_cast<size_t>(k)].text = v->asString->data;
            targets[static_cast<size_t>(k)].room = v->asString->Length();
        } else if (c.cls == FormatClass::Char && c.width > kMaxScanChars) {
            return VmErrorMsg(2020, 2);
        }
    }
    const int count = ScriptSscanf(source->CStr(), f, parsed, targets);
    if (count != n) VmWarningMsg(this, 4003);
    for (int32_t k = 0; k < n && k < count; ++k) {
        const FormatConversion& c = parsed.conversions[static_cast<size_t>(k)];
        const ScanTarget& t = targets[static_cast<size_t>(k)];
        CVmValue* v = GetParam(k + 3);
        switch (c.cls) {
        case FormatClass::Char: {
            const char ch = static_cast<char>(t.integer);
            v->SetString(&ch, 1);
            break;
        }
        case FormatClass::Float:
            v->SetReal(t.real);
            break;
        case FormatClass::Short:
        case FormatClass::Long:
            v->SetInteger(t.integer);
            break;
        case FormatClass::String: {
            // A text that fills the whole room may have been cut.
            const int32_t length = static_cast<int32_t>(strnlen(t.text, static_cast<size_t>(t.room) + 1));
            if (length >= t.room) {
                v->SetVoid();
                return VmErrorMsg(2023, k + 3);
            }
            v->asString->length = length;
            break;
        }
        }
    }
    VmReturnInteger(count);
}

// ---------------------------------------------------------------------------
// Splitting

void CVmStringFunctions::Split(CVmClassBase*, int) {
    const CVmString* text = StringParam(1);
    if (!text) return;
    const CVmString* separator = nullptr;
    if (!ReadParam(2, separator, false) || separator->Length() == 0) return VmErrorMsg(2013, 2);
    int32_t limit = -1;  // none
    if (ArgCount() >= 3 && !ReadParam(3, limit)) return;

    const char* t = text->CStr();
    const int32_t length = text->Length();
    const char* sep = separator->CStr();
    const int32_t sepLength = separator->Length();
    CVmValue result;
    CVmArray* pieces = new CVmArray(0);
    result.SetArray(pieces);
    CVmValue piece;
    int32_t start = 0;
    int32_t pos = 0;
    do {
        if (length - pos >= sepLength && std::memcmp(t + pos, sep, static_cast<size_t>(sepLength)) == 0) {
            piece.SetString(t + start, pos - start);
            pieces->Append(piece);
            pos += sepLength - 1;
            start = pos + 1;
        }
        ++pos;
        if (limit > 0 && pieces->count >= limit) break;
    } while (pos < length);
    const int32_t stop = pos < length ? pos : length;
    piece.SetString(t + start, stop > start ? stop - start : 0);
    pieces->Append(piece);
    if (CVmValue* r = VmGetReturnSlot()) r->Move(result);
}

// ---------------------------------------------------------------------------
// Packing

void CVmStringFunctions::PackVector(CVmClassBase*, int) {
    std::string format;
    if (!ReadParams(format)) return;
    VmVectorParam values;
    if (!ReadParam(2, values, false)) return VmErrorMsg(2012, 2);
    const int32_t size = PackFormatByteSize(format, true);
    if (size < 0) return VmErrorMsg(2017, 1);
    if (ArgCount() < 3) {
        CVmValue result;
        result.SetType(VmValueType::String);
        result.asString->InitCount(size);
        PackVectorToBytes(values.Data(), format, reinterpret_cast<uint8_t*>(result.asString->data), values.Count(),
                          static_cast<size_t>(size));
        if (CVmValue* r = VmGetReturnSlot()) r->Move(result);
        return;
    }
    const CVmString* out = nullptr;
    if (!ReadParam(3, out)) return;
    if (out->Length() < size || (size > 0 && !out->HasBuffer())) return VmReturnInteger(-1);
    PackVectorToBytes(values.Data(), format, reinterpret_cast<uint8_t*>(out->data), values.Count(),
                      static_cast<size_t>(out->Length()));
    VmReturnInteger(size);
}

void CVmStringFunctions::UnpackVector(CVmClassBase*, int) {
    std::string format;
    if (!ReadParams(format)) return;
    const CVmString* bytes = nullptr;
    if (!ReadParam(2, bytes, false)) return VmErrorMsg(2013, 2);
    const int32_t count = PackFormatValueCount(format);
    const int32_t size = PackFormatByteSize(format, false);
    if (count < 0 || size < 0) return VmErrorMsg(2017, 1);
    const bool hasOutput = ArgCount() >= 3;
    VmVectorParam out;
    if (hasOutput && !ReadParam(3, out)) return;
    // Fewer bytes than the format's fields: nothing is read past them.
    if (bytes->Length() < size) return hasOutput ? VmReturnInteger(-1) : VmErrorMsg(2017, 2);
    const auto* data = reinterpret_cast<const uint8_t*>(bytes->CStr());
    if (!hasOutput) {
        std::vector<float> values(static_cast<size_t>(count), 0.0f);
        UnpackBytesToVector(format, data, static_cast<size_t>(bytes->Length()), values.data(), count);
        return VmReturnVector(values.data(), count);
    }
    if (out.Count() < count) return VmReturnInteger(-1);
    UnpackBytesToVector(format, data, static_cast<size_t>(bytes->Length()), out.Data(), out.Count());
    VmReturnInteger(count);
}

// ---------------------------------------------------------------------------
// The value encoding

void CVmStringFunctions::VarStringEncode(CVmClassBase*, int) {
    CVmValue* value = nullptr;
    if (!ReadParams(value)) return;
    std::vector<uint8_t> bytes;
    ByteWriter out(bytes);
    // A type without an encoding still gives its type byte.
    value->WriteTo(out);
    VmReturnString(reinterpret_cast<const char*>(bytes.data()), static_cast<int32_t>(bytes.size()));
}

void CVmStringFunctions::VarStringDecode(CVmClassBase*, int) {
    const CVmString* text = nullptr;
    if (!ReadParam(1, text, false)) return;
    // Every stated length and count is checked against the String's bytes;
    // objects come back through the running machine's classes.
    ByteReader in(reinterpret_cast<const uint8_t*>(text->CStr()), static_cast<size_t>(text->Length()));
    CVmValue value;
    if (!value.ReadFrom(in, g_currentVM)) {
        VmErrorStream() << kInvalidEncoded;
        return;
    }
    if (CVmValue* r = VmGetReturnSlot()) r->Move(value);
}
