// The script class CVmXml: property trees for scripts. A script makes one
// CVmXml object and uses it as a function library: trees are Integer handles
// that its methods hand out and take back, and text results are written into
// a String the script passes as a buffer (its characters, then a zero byte;
// the String's length stays as it was).
//
// Handles are small non-zero numbers from a table; a deleted, never-issued
// or forged one answers like the handle 0 (0 or false, nothing else). No
// method raises a script error: failures are the result and the last error
// text (getXMLError).
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string>

#include "vm/VmRegister.h"

namespace Mirrow {
class ptree;
}

class CVmXml : public CVmClassBase {
public:
    static constexpr const char* kClassName = "CVmXml";
    const char* ClassName() override { return kClassName; }

    class CRegister : public CVmRegisterClass {
    public:
        // workingFolder: the folder file names are relative to, read at each
        // call (null: the engine machine's working folder); it must outlive
        // the registration.
        explicit CRegister(const std::string* workingFolder = nullptr);
        ~CRegister() override;

        const char* GetClassName() override { return kClassName; }
        VmNativeMethod GetFactory() override { return Handler(&CRegister::Create); }
        bool RegisterMethods(int32_t n) override;
        bool AfterBinding() override { return true; }

    private:
        void Create(CVmClassBase* object, int mode);
        void SaveXML(CVmClassBase* object, int mode);
        void NewXML(CVmClassBase* object, int mode);
        void SaveXMLString(CVmClassBase* object, int mode);
        void LoadXML(CVmClassBase* object, int mode);
        void LoadXMLString(CVmClassBase* object, int mode);
        void DeleteXML(CVmClassBase* object, int mode);
        void GetNode(CVmClassBase* object, int mode);
        void PutNode(CVmClassBase* object, int mode);
        void DeleteNode(CVmClassBase* object, int mode);
        void CountNodes(CVmClassBase* object, int mode);
        void AppendNode(CVmClassBase* object, int mode);
        void EnumNodes(CVmClassBase* object, int mode);
        void Dump(CVmClassBase* object, int mode);
        void GetXMLError(CVmClassBase* object, int mode);

        // Parameters are read without type reports: a missing or mistyped
        // handle is the handle 0, a missing text the empty text.
        // The tree of parameter k's handle, or null.
        Mirrow::ptree* TreeParam(int32_t k);
        std::string TextParam(int32_t k);
        // A script path (parameter k) as a tree path.
        std::string PathParam(int32_t k);
        // (handle, path, buffer, size): the node at the path (the shared
        // empty tree on a miss, null for an unknown handle), the buffer
        // parameter and the size.
        struct NodeOutput {
            const Mirrow::ptree* node;
            CVmValue* buffer;
            int32_t size;
        };
        NodeOutput ReadNodeOutput();
        // putNode and appendNode: (handle, path, value).
        void SetNode(bool append);
        // A new handle for the tree.
        int32_t Keep(std::unique_ptr<Mirrow::ptree> tree);

        const std::string* m_workingFolder;
        std::map<int32_t, std::unique_ptr<Mirrow::ptree>> m_trees;
        int32_t m_lastHandle = 0;
    };
};
