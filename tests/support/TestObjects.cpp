#include "support/TestObjects.h"

#include "vm/VmInstruction.h"

int qemtest::CountingObject::s_destroyed = 0;

CVmValue qemtest::Int(int32_t n) {
    CVmValue v;
    v.SetInteger(n);
    return v;
}

CVmValue qemtest::Real(float f) {
    CVmValue v;
    v.SetReal(f);
    return v;
}

CVmValue qemtest::Str(const char* s) {
    CVmValue v;
    v.SetString(s);
    return v;
}

VmClassMethodDecl qemtest::Method(const std::string& name, int start, int16_t params) {
    VmClassMethodDecl m;
    m.name = name;
    m.start = start;
    m.paramCount = params;
    return m;
}

std::shared_ptr<VmProgram> qemtest::DeclaredClassProgram() {
    auto p = std::make_shared<VmProgram>();
    const int32_t fields[32] = {};
    VmInstruction ret;
    ret.Set(OP_RETURN, 57, fields);
    p->code = {ret, ret};  // the start-up code, then S's destructor
    VmClassDeclaration t;
    t.name = "T";
    t.members = {"TM"};
    VmClassDeclaration s;
    s.name = "S";
    s.members = {"M1", "M2"};
    s.bases = {0};
    VmClassMethodDecl destructor;
    destructor.name = "$$~S";
    destructor.start = 1;
    destructor.paramCount = 1;
    s.methods = {destructor};
    s.destructor = 0;
    VmClassDeclaration u;
    u.name = "U";
    u.members = {"UM"};
    u.bases = {1, 0};
    p->classes = {t, s, u};
    return p;
}
