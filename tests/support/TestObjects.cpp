#include "support/TestObjects.h"

#include "vm/VmInstruction.h"

int qemtest::CountingObject::s_destroyed = 0;

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
