#include "functions/CVmObjectFunctions.h"

#include "scene/script/CVmHtmlPage.h"
#include "scene/script/CVmText.h"
#include "vm/VirtualMachine.h"

// One line per built function (FunctionTable.h).
void CVmObjectFunctions::AddFunctions() {
    AddFunction("NewText", &CVmObjectFunctions::NewText);
    AddFunction("NewHtmlPage", &CVmObjectFunctions::NewHtmlPage);
}

// NewText(text, x, y) in the image font; NewText() the default text.
void CVmObjectFunctions::NewText(CVmClassBase*, int) {
    if (ArgCount() == 0) return ReturnObject(new CVmText());
    ReturnObject(new CVmText(GetParamString(1, false), GetParamFloat(2, false), GetParamFloat(3, false), nullptr, 0));
}

// NewHtmlPage() or NewHtmlPage(page file).
void CVmObjectFunctions::NewHtmlPage(CVmClassBase*, int) { ReturnObject(new CVmHtmlPage(GetParamString(1, false))); }
