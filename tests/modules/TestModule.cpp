// An extension module for the tests, built in several variants:
//   QEM_TEST_CLASSES      the number of classes GetRegClass hands out (1 or 2)
//   QEM_TEST_NO_HELP      leaves Help out
//   QEM_TEST_THIRD        the third version number (4 matches the engine)
//   QEM_TEST_NULL_VERSION Version answers null
// Every variant exports QemTestSeen, which tells what __QEM_INIT was given.
#include <cstring>
#include <ostream>
#include <string>

#include "engine/ExternModule.h"
#include "vm/VmRegister.h"

#ifndef QEM_TEST_CLASSES
#define QEM_TEST_CLASSES 1
#endif
#ifndef QEM_TEST_THIRD
#define QEM_TEST_THIRD 4
#endif

namespace {

std::string g_seenWorkingFolder = "(not called)";
bool g_seenNullForType2 = false;

// Greeter(name): Greet() answers "Hello, " + name; Add(a, b) answers a + b.
class Greeter : public CVmClassBase {
public:
    explicit Greeter(const char* name) : m_name(name) {}
    const char* ClassName() override { return "Greeter"; }
    std::string m_name;

    class CRegister : public CVmRegisterClass {
    public:
        const char* GetClassName() override { return "Greeter"; }
        VmNativeMethod GetFactory() override { return Handler(&CRegister::Create); }
        bool RegisterMethods(int32_t n) override {
            CVmRegisterClass::RegisterMethods(n);
            AddMethod("Greet", &CRegister::Greet);
            AddMethod("Add", &CRegister::Add);
            return true;
        }
        void Create(CVmClassBase*, int) {
            const char* name = GetParamString(1);
            if (!VmHasError()) ReturnObject(new Greeter(name));
        }
        void Greet(CVmClassBase* object, int) {
            VmReturnString(("Hello, " + static_cast<Greeter*>(object)->m_name).c_str());
        }
        void Add(CVmClassBase*, int) {
            const int32_t a = GetParamInt(1), b = GetParamInt(2);
            if (!VmHasError()) VmReturnInteger(a + b);
        }
    };
};

// Counter(): Next() answers 1, 2, 3, ...
class Counter : public CVmClassBase {
public:
    const char* ClassName() override { return "Counter"; }
    int32_t m_count = 0;

    class CRegister : public CVmRegisterClass {
    public:
        const char* GetClassName() override { return "Counter"; }
        VmNativeMethod GetFactory() override { return Handler(&CRegister::Create); }
        bool RegisterMethods(int32_t n) override {
            CVmRegisterClass::RegisterMethods(n);
            AddMethod("Next", &CRegister::Next);
            return true;
        }
        void Create(CVmClassBase*, int) { ReturnObject(new Counter()); }
        void Next(CVmClassBase* object, int) { VmReturnInteger(++static_cast<Counter*>(object)->m_count); }
    };
};

const QemModuleVersion kVersion = {2, 0, QEM_TEST_THIRD};

}  // namespace

extern "C" {

void __QEM_INIT(QemHostServicesProc services) {
    const char* folder = static_cast<const char*>(services(kHostWorkingFolder));
    g_seenWorkingFolder = folder ? folder : "(null)";
    g_seenNullForType2 = services(2) == nullptr;
}

CVmRegisterClass* GetRegClass(int32_t index) {
    if (index == 0) return new Greeter::CRegister();
    if (index == 1 && QEM_TEST_CLASSES > 1) return new Counter::CRegister();
    return nullptr;
}

const QemModuleVersion* Version() {
#ifdef QEM_TEST_NULL_VERSION
    return nullptr;
#else
    return &kVersion;
#endif
}

#ifndef QEM_TEST_NO_HELP
void Help(std::ostream& out) { out << "\nGreeter module: Greeter(name).Greet(), Add(a, b)"; }
#endif

// For the tests: what __QEM_INIT saw, "|" and "null" when type 2 gave null.
const char* QemTestSeen() {
    static std::string seen;
    seen = g_seenWorkingFolder + (g_seenNullForType2 ? "|null" : "|set");
    return seen.c_str();
}

}  // extern "C"
