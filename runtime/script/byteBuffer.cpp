#include "byteBuffer.h"

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "vm/ByteStream.h"
#include "vm/VirtualMachine.h"

namespace {

const char* const kWrongValue = "value must be between 0 and 255";
const char* const kWrongSource = "Invalid parameter type. The parameter must be a string, a vector or a bytebuffer.";
const char* const kWrongSize = "size must be between 0 and 1073741791";
const char* const kTooLarge = "the buffer cannot grow beyond 1073741791 bytes";
const char* const kWrongHandle = "Invalid buffer handle: it is not one that GetBuffer gave for a live byteBuffer.";
const char* const kWrongCount = "count must not be negative";
static_assert(ByteBufferContent::kMaxSize == 1073741791, "the size messages name the largest buffer");

ByteBufferContent* ContentOf(CVmClassBase* object) {
    auto* b = dynamic_cast<byteBuffer*>(object);
    return b ? &b->Content() : nullptr;
}

// A Vector's floats as bytes: four each, in host order.
size_t VectorBytes(const VmVectorParam& v) { return static_cast<size_t>(v.Count()) * sizeof(float); }

}  // namespace

bool byteBuffer::Serialize(ByteWriter& out) {
    out.PutInt32(m_content.Length());
    out.PutBytes(m_content.Data(), static_cast<size_t>(m_content.Length()));
    return true;
}

CVmClassBase* byteBuffer::CRegister::CreateFromStream(ByteReader& in) {
    int32_t length;
    if (!in.GetInt32(length)) return nullptr;
    if (!ByteBufferContent::ValidSize(length)) {
        in.Fail();
        return nullptr;
    }
    // The length is checked against what is really left before anything
    // of that size is made.
    const uint8_t* bytes = in.Take(static_cast<size_t>(length));
    if (!bytes) return nullptr;
    auto* buffer = new byteBuffer();
    buffer->m_content.Assign(bytes, static_cast<size_t>(length));
    return buffer;
}

bool byteBuffer::CRegister::RegisterMethods(int32_t n) {
    CVmRegisterClass::RegisterMethods(n);
    AddMethod("FillBuffer", &CRegister::FillBuffer);
    AddMethod("GetBuffer", &CRegister::GetBuffer);
    AddMethod("GetSize", &CRegister::GetSize);
    AddMethod("SetSize", &CRegister::SetSize);
    AddMethod("ToString", &CRegister::ToString);
    AddMethod("ToVector", &CRegister::ToVector);
    AddMethod("Get", &CRegister::Get);
    AddMethod("SetBuffer", &CRegister::SetBuffer);
    AddMethod("Fill", &CRegister::Fill);
    AddMethod("VarDecode", &CRegister::VarDecode);
    AddMethod("VarEncode", &CRegister::VarEncode);
    AddMethod("SetOffset", &CRegister::SetOffset);
    AddMethod("Append", &CRegister::Append);
    return true;
}

void byteBuffer::CRegister::Create(CVmClassBase*, int) {
    int32_t size = 0;
    if (!ReadParams(Optional(size))) return;
    if (!ByteBufferContent::ValidSize(size)) {
        VmErrorStream() << kWrongSize;
        return;
    }
    auto* buffer = new byteBuffer();
    buffer->m_content.Reset(size, ' ');
    ReturnObject(buffer);
}

void byteBuffer::CRegister::FillBuffer(CVmClassBase* object, int) {
    ByteBufferContent* c = ContentOf(object);
    if (!c) return;
    const CVmString* text = nullptr;
    VmVectorParam vector;
    bool assigned;
    if (ReadParam(1, text, false)) {
        assigned = c->Assign(text->CStr(), static_cast<size_t>(text->Length()));
    } else if (ReadParam(1, vector, false)) {
        assigned = c->Assign(vector.Data(), VectorBytes(vector));
    } else {
        int32_t handle, count;
        if (!ReadParams(handle, count)) return;
        if (count < 0) {
            VmErrorStream() << kWrongCount;
            return;
        }
        // Copied out first: the source may be this buffer.
        std::string bytes;
        const bool live = ByteBufferContent::WithHandle(handle, [&](ByteBufferContent& source) {
            bytes.assign(reinterpret_cast<const char*>(source.View()),
                         static_cast<size_t>(std::min(count, source.ViewSize())));
        });
        if (!live) {
            VmErrorStream() << kWrongHandle;
            return;
        }
        assigned = c->Assign(bytes.data(), bytes.size());
    }
    if (!assigned) VmErrorStream() << kTooLarge;
}

void byteBuffer::CRegister::GetBuffer(CVmClassBase* object, int) {
    if (ByteBufferContent* c = ContentOf(object)) VmReturnInteger(c->Handle());
}

void byteBuffer::CRegister::GetSize(CVmClassBase* object, int) {
    if (ByteBufferContent* c = ContentOf(object)) VmReturnInteger(c->ViewSize());
}

void byteBuffer::CRegister::SetSize(CVmClassBase* object, int) {
    ByteBufferContent* c = ContentOf(object);
    int32_t size;
    if (!c || !ReadParams(size)) return;
    if (!c->Resize(size)) VmErrorStream() << kWrongSize;
}

void byteBuffer::CRegister::ToString(CVmClassBase* object, int) {
    if (ByteBufferContent* c = ContentOf(object)) VmReturnString(reinterpret_cast<const char*>(c->View()), c->ViewSize());
}

void byteBuffer::CRegister::ToVector(CVmClassBase* object, int) {
    ByteBufferContent* c = ContentOf(object);
    if (!c) return;
    // Whole floats only: a remainder of 1 to 3 bytes is left out.
    std::vector<float> values(static_cast<size_t>(c->ViewSize()) / sizeof(float));
    if (!values.empty()) std::memcpy(values.data(), c->View(), values.size() * sizeof(float));
    VmReturnVector(values.data(), static_cast<int32_t>(values.size()));
}

void byteBuffer::CRegister::Get(CVmClassBase* object, int) {
    ByteBufferContent* c = ContentOf(object);
    int32_t pos;
    uint8_t value;
    if (c && ReadParams(pos) && c->ByteAt(pos, value)) VmReturnInteger(value);
}

void byteBuffer::CRegister::SetBuffer(CVmClassBase* object, int) {
    ByteBufferContent* c = ContentOf(object);
    if (!c) return;
    const CVmString* text = nullptr;
    VmVectorParam vector;
    byteBuffer* other = nullptr;
    int32_t copied;
    if (ReadParam(1, text, false)) {
        copied = c->CopyToView(text->CStr(), static_cast<size_t>(text->Length()));
    } else if (ReadParam(1, vector, false)) {
        copied = c->CopyToView(vector.Data(), VectorBytes(vector));
    } else if (ReadParam(1, other, false)) {
        const ByteBufferContent& source = other->Content();
        copied = c->CopyToView(source.View(), static_cast<size_t>(source.ViewSize()));
    } else {
        VmErrorStream() << kWrongSource;
        return;
    }
    VmReturnInteger(copied);
}

void byteBuffer::CRegister::Fill(CVmClassBase* object, int) {
    ByteBufferContent* c = ContentOf(object);
    int32_t value;
    if (!c || !ReadParams(value)) return;
    if (value < 0 || value > 255) {
        VmErrorStream() << kWrongValue;
        return;
    }
    c->Fill(static_cast<uint8_t>(value));
}

void byteBuffer::CRegister::VarDecode(CVmClassBase* object, int) {
    ByteBufferContent* c = ContentOf(object);
    if (!c) return;
    // Every stated length and count is checked against the view's bytes.
    ByteReader in(c->View(), static_cast<size_t>(c->ViewSize()));
    CVmValue value;
    if (!value.ReadFrom(in, g_currentVM)) return;
    if (CVmValue* r = VmGetReturnSlot()) r->Move(value);
}

void byteBuffer::CRegister::VarEncode(CVmClassBase* object, int) {
    ByteBufferContent* c = ContentOf(object);
    CVmValue* value = nullptr;
    if (!c || !ReadParams(value)) return;
    std::vector<uint8_t> bytes;
    ByteWriter out(bytes);
    VmReturnBool(value->WriteTo(out) && c->Assign(bytes.data(), bytes.size()));
}

void byteBuffer::CRegister::SetOffset(CVmClassBase* object, int) {
    ByteBufferContent* c = ContentOf(object);
    int32_t offset;
    if (c && ReadParams(offset)) VmReturnInteger(c->SetOffset(offset));
}

void byteBuffer::CRegister::Append(CVmClassBase* object, int) {
    ByteBufferContent* c = ContentOf(object);
    byteBuffer* other = nullptr;
    if (!c || !ReadParams(other)) return;
    const ByteBufferContent& source = other->Content();
    if (!c->Append(source.View(), static_cast<size_t>(source.ViewSize()))) VmErrorStream() << kTooLarge;
}
