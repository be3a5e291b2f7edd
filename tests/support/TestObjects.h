// Script objects for tests: a class that counts its destructions and encodes
// one integer, an object factory that rebuilds it by name, a program that
// declares script classes, and values and method records made in one call.
#pragma once

#include <memory>

#include "vm/VmProgram.h"
#include "vm/VmValue.h"

namespace qemtest {

class CountingObject : public CVmClassBase {
public:
    explicit CountingObject(int32_t id = 0) : m_id(id) {}
    ~CountingObject() override { ++s_destroyed; }
    const char* ClassName() override { return "TestObj"; }
    bool Serialize(ByteWriter& out) override {
        out.PutInt32(m_id);
        return true;
    }
    int32_t m_id;
    static int s_destroyed;
};

// Rebuilds "TESTOBJ" objects; any other class name is unknown.
class CountingObjectFactory : public VmObjectFactory {
public:
    CVmClassBase* CreateObjectFromStream(const std::string& upperName, ByteReader& in) override {
        if (upperName != "TESTOBJ") return nullptr;
        int32_t id;
        if (!in.GetInt32(id)) return nullptr;
        return new CountingObject(id);
    }
};

CVmValue Int(int32_t n);
CVmValue Real(float f);
CVmValue Str(const char* s);
VmClassMethodDecl Method(const std::string& name, int start, int16_t params);

// A program whose code only returns, declaring T (member TM), S (members M1
// and M2, base T, a destructor) and U (member UM, bases S and T).
std::shared_ptr<VmProgram> DeclaredClassProgram();

}  // namespace qemtest
