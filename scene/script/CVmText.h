// The script class CVmText: one line of text in the scene (VRText). Made
// with (text, x, y[, font name[, character set]]) it uses the named outline
// font or, without a name, the image font; made without arguments it is an
// empty text in the outline font "Tahoma". Methods answer method calls only.
#pragma once

#include <cstdint>

#include "scene/VRText.h"
#include "vm/VmRegister.h"

class CVmText : public CVmClassBase {
public:
    static constexpr const char* kClassName = "CVmText";
    static constexpr const char* kDefaultFont = "Tahoma";

    // The empty text in the default outline font.
    CVmText() : m_text("", 0, 0, kDefaultFont, 0) {}
    // The text (null: empty, with a warning) at (x, y) in the named outline
    // font, or the image font without a name.
    CVmText(const char* text, float x, float y, const char* fontName, int32_t characterSet)
        : m_text(text, x, y, fontName, characterSet) {}
    const char* ClassName() override { return kClassName; }

    VRText& Text() { return m_text; }

    class CRegister : public CVmRegisterClass {
    public:
        const char* GetClassName() override { return kClassName; }
        VmNativeMethod GetFactory() override { return Handler(&CRegister::Create); }
        bool RegisterMethods(int32_t n) override;

    private:
        void Create(CVmClassBase* object, int mode);
        void SetColor(CVmClassBase* object, int mode);
        void Load(CVmClassBase* object, int mode);
        void SetPosition(CVmClassBase* object, int mode);
        void SetScale(CVmClassBase* object, int mode);
        void Draw(CVmClassBase* object, int mode);

        // The object's text in a method call; null (with the bare error)
        // in any other mode.
        static VRText* Target(CVmClassBase* object, int mode);
    };

private:
    VRText m_text;
};
