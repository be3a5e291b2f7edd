// The GL functions that hand the GL images, lists and arrays.
#include "functions/CVmFunctionGL.h"

#include "vm/VirtualMachine.h"

namespace {
void NotAvailable() { VmErrorStream() << "This function is not available yet."; }
}  // namespace

void CVmFunctionGL::TexImage1D(CVmClassBase*, int) { NotAvailable(); }
void CVmFunctionGL::TexImage2D(CVmClassBase*, int) { NotAvailable(); }
void CVmFunctionGL::TexImage3D(CVmClassBase*, int) { NotAvailable(); }
void CVmFunctionGL::TexSubImage2D(CVmClassBase*, int) { NotAvailable(); }
void CVmFunctionGL::CallLists(CVmClassBase*, int) { NotAvailable(); }
void CVmFunctionGL::VertexPointer(CVmClassBase*, int) { NotAvailable(); }
void CVmFunctionGL::TexCoordPointer(CVmClassBase*, int) { NotAvailable(); }
void CVmFunctionGL::NormalPointer(CVmClassBase*, int) { NotAvailable(); }
void CVmFunctionGL::DrawElements(CVmClassBase*, int) { NotAvailable(); }
void CVmFunctionGL::FramebufferTexture2D(CVmClassBase*, int) { NotAvailable(); }
