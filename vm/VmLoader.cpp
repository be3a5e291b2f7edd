// Loading a bytecode file into the machine. The whole file is read and
// checked before anything of the loaded program changes, so a file that is
// refused leaves the earlier program running; then the earlier program and
// its modules go, the imported modules load, and the program is bound and
// started.
#include <algorithm>
#include <cstring>
#include <filesystem>
#include <istream>

#include "VirtualMachine.h"
#include "VmBytecodeFile.h"
#include "VmExternScritpFunction.h"

namespace {

// Makes a machine current for the time of a load and restores the one before.
class CurrentMachine {
public:
    explicit CurrentMachine(CVirtualMachine* vm) : m_previous(g_currentVM) { g_currentVM = vm; }
    ~CurrentMachine() { g_currentVM = m_previous; }
    CurrentMachine(const CurrentMachine&) = delete;
    CurrentMachine& operator=(const CurrentMachine&) = delete;

private:
    CVirtualMachine* m_previous;
};

// Appends what the stream holds until out has limit bytes; false when the
// stream holds more than that.
bool ReadUpTo(std::istream& in, std::vector<uint8_t>& out, size_t limit) {
    constexpr size_t kChunk = 1 << 16;
    while (out.size() < limit && in) {
        const size_t at = out.size();
        const size_t want = std::min(kChunk, limit - at);
        out.resize(at + want);
        in.read(reinterpret_cast<char*>(out.data() + at), static_cast<std::streamsize>(want));
        out.resize(at + static_cast<size_t>(in.gcount()));
    }
    return !in || in.peek() == std::char_traits<char>::eof();
}

// The same file under any spelling of its path, as far as the file system
// tells; "" for a program that has no path.
std::string FileKey(const std::string& path) {
    if (path.empty()) return "";
    std::string p = path;
    for (char& c : p)
        if (c == '\\') c = '/';
    std::error_code ec;
    const std::filesystem::path absolute = std::filesystem::absolute(p, ec);
    if (ec) return std::filesystem::path(p).lexically_normal().string();
    const std::filesystem::path canonical = std::filesystem::weakly_canonical(absolute, ec);
    return (ec ? absolute.lexically_normal() : canonical).string();
}

}  // namespace

std::ostream& CVirtualMachine::LoadError() {
    // No instruction runs while a file loads: the message reports line 0.
    // The run state stays as it was, so a refused file leaves the earlier
    // program running.
    const int32_t ip = m_ip;
    const bool error = m_error, stop = m_stop;
    m_ip = -1;
    std::ostream& os = Error(-1);
    m_ip = ip;
    m_error = error;
    m_stop = stop;
    return os;
}

bool CVirtualMachine::Load(const std::string& path) {
    std::unique_ptr<std::istream> in = OpenFile(path);
    if (!in) {
        LoadError() << "cannot open file '" << path << "'.";
        return false;
    }
    return LoadFromStream(*in, path);
}

bool CVirtualMachine::LoadFromStream(std::istream& in, const std::string& path) {
    CurrentMachine current(this);
    // The magic first: a stream that is no bytecode is not read to its end.
    std::vector<uint8_t> bytes;
    ReadUpTo(in, bytes, kVmMagicSize);
    const bool magic = bytes.size() == kVmMagicSize && std::memcmp(bytes.data(), kVmBytecodeMagic, kVmMagicSize) == 0;
    if (magic && !ReadUpTo(in, bytes, kMaxBytecodeSize)) {
        LoadError() << "Invalid bytecode in '" << path << "': the file is larger than " << (kMaxBytecodeSize >> 20)
                    << " MB.";
        return false;
    }
    ByteReader reader(bytes);
    VmBytecodeHeader header;
    switch (VmReadBytecodeHeader(reader, header)) {
    case VmHeaderStatus::NotBytecode:
        LoadError() << "This file is not a bytecode for the Virtual Machine.";
        return false;
    case VmHeaderStatus::Truncated:
        LoadError() << "Invalid bytecode in '" << path << "': the header is truncated.";
        return false;
    case VmHeaderStatus::Ok:
        break;
    }
    if (!CheckVersion(header.version, false)) {
        LoadError() << "Invalid version of bytecode.";
        return false;
    }
    std::shared_ptr<VmProgram> program = std::make_shared<VmProgram>();
    std::string fault = VmReadBytecodeSections(reader, header, *program);
    if (fault.empty()) fault = program->Validate();
    if (!fault.empty()) {
        LoadError() << "Invalid bytecode in '" << path << "': " << fault;
        return false;
    }

    UnloadProgram();
    ReleaseImports();
    m_loadKey = FileKey(path);
    if (!m_parent) m_importBudget = kMaxImportedModules;
    LoadImports(program->imports);
    m_debugSessionPending = false;
    if (m_debugFlag && program->hasLineTable && m_debugLoader)
        m_debugSessionPending = m_debugLoader->ReadDebugInfo(*this, path + ".dbg");
    return StartProgram(std::move(program));
}

bool CVirtualMachine::ImportsFile(const std::string& key) const {
    for (const CVirtualMachine* vm = this; vm; vm = vm->m_parent)
        if (!key.empty() && vm->m_loadKey == key) return true;
    return false;
}

void CVirtualMachine::LoadImports(const std::vector<std::string>& paths) {
    CVirtualMachine* root = this;
    while (root->m_parent) root = root->m_parent;
    for (const std::string& path : paths) {
        if (ImportsFile(FileKey(path))) {
            LoadError() << "Cyclic import of '" << path << "' refused.";
            continue;
        }
        if (root->m_importBudget <= 0) {
            LoadError() << "Too many imported modules: '" << path << "' is not loaded.";
            continue;
        }
        --root->m_importBudget;
        // A module's machine shares this machine's function sets and classes
        // and writes where this machine writes. A module that fails to load
        // adds no functions.
        std::unique_ptr<CVirtualMachineImported> module(new CVirtualMachineImported(this));
        g_currentVM = this;
        module->SetOutputStream(m_out, m_quiet);
        const bool loaded = module->Load(path);
        g_currentVM = this;
        if (!loaded) continue;
        CVmExternScritpFunction* set = new CVmExternScritpFunction(module.get());
        RegisterFunctions(set);
        m_importSets.push_back(set);
        // A stop request walks the modules from another thread.
        std::lock_guard<std::mutex> guard(m_stopLock);
        if (StopRequested()) module->RequestStop();
        m_importedMachines.push_back(std::move(module));
    }
}

void CVirtualMachine::ReleaseImports() {
    // A later module lists the sets of earlier ones among its inherited
    // sets: the machines go last first, then the sets.
    while (!m_importedMachines.empty()) {
        std::unique_ptr<CVirtualMachineImported> last;
        {
            std::lock_guard<std::mutex> guard(m_stopLock);
            last = std::move(m_importedMachines.back());
            m_importedMachines.pop_back();
        }
    }
    for (CVmRegisterFunction* set : m_importSets) {
        m_registry.m_sets.Detach(set);
        delete set;
    }
    m_importSets.clear();
}

void CVirtualMachine::StartPendingDebugSession() {
    if (!m_debugSessionPending) return;
    m_debugSessionPending = false;
    if (m_debugLoader) m_debugLoader->StartSession(*this);
}
