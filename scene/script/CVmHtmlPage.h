// The script class CVmHtmlPage: a text page (VRHtmlPage), empty or loaded
// from a page file. Methods answer method calls only.
#pragma once

#include <cstdint>
#include <memory>

#include "scene/VRHtmlPage.h"
#include "vm/VmRegister.h"

class CVmHtmlPage : public CVmClassBase {
public:
    static constexpr const char* kClassName = "CVmHtmlPage";

    // The empty page, or the page of the file (null: empty).
    explicit CVmHtmlPage(const char* file = nullptr)
        : m_page(file ? std::make_unique<VRHtmlPage>(file) : std::make_unique<VRHtmlPage>()) {}
    const char* ClassName() override { return kClassName; }

    VRHtmlPage& Page() { return *m_page; }

    class CRegister : public CVmRegisterClass {
    public:
        const char* GetClassName() override { return kClassName; }
        VmNativeMethod GetFactory() override { return Handler(&CRegister::Create); }
        bool RegisterMethods(int32_t n) override;

    private:
        // CVmHtmlPage() or CVmHtmlPage(file).
        void Create(CVmClassBase* object, int mode);
        void Load(CVmClassBase* object, int mode);
        void Draw(CVmClassBase* object, int mode);
        // Compose and Componi.
        void Compose(CVmClassBase* object, int mode);

        static VRHtmlPage* Target(CVmClassBase* object, int mode);
    };

private:
    std::unique_ptr<VRHtmlPage> m_page;
};
