// The script class byteBuffer: a growable array of bytes with a read offset,
// the currency of binary dumps, network transport, native libraries and
// serialised script values. Its bytes and view are a ByteBufferContent.
//
// An encoded byteBuffer is its whole content as a big-endian length and the
// bytes (the offset is not kept), so buffers travel inside encoded values,
// arrays included.
//
// GetBuffer answers the buffer's handle, never an address; FillBuffer takes
// bytes only from the buffer of a live handle.
#pragma once

#include <cstdint>

#include "runtime/ByteBufferContent.h"
#include "vm/VmRegister.h"

class byteBuffer : public CVmClassBase {
public:
    static constexpr const char* kClassName = "byteBuffer";
    const char* ClassName() override { return kClassName; }
    bool Serialize(ByteWriter& out) override;

    ByteBufferContent& Content() { return m_content; }

    class CRegister : public CVmRegisterClass {
    public:
        const char* GetClassName() override { return kClassName; }
        VmNativeMethod GetFactory() override { return Handler(&CRegister::Create); }
        bool RegisterMethods(int32_t n) override;
        // A new buffer from its encoding; null when the stated length runs
        // past the input.
        CVmClassBase* CreateFromStream(ByteReader& in) override;

    private:
        // byteBuffer([size]).
        void Create(CVmClassBase* object, int mode);
        void FillBuffer(CVmClassBase* object, int mode);
        void GetBuffer(CVmClassBase* object, int mode);
        void GetSize(CVmClassBase* object, int mode);
        void SetSize(CVmClassBase* object, int mode);
        void ToString(CVmClassBase* object, int mode);
        void ToVector(CVmClassBase* object, int mode);
        void Get(CVmClassBase* object, int mode);
        void SetBuffer(CVmClassBase* object, int mode);
        void Fill(CVmClassBase* object, int mode);
        void VarDecode(CVmClassBase* object, int mode);
        void VarEncode(CVmClassBase* object, int mode);
        void SetOffset(CVmClassBase* object, int mode);
        void Append(CVmClassBase* object, int mode);
    };

private:
    ByteBufferContent m_content;
};
