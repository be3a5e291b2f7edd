// A view of a named shared-memory object that another process created:
// opened for reading and writing, never created.
#pragma once

#include <cstddef>
#include <string>

class SharedMemoryView {
public:
    SharedMemoryView() = default;
    ~SharedMemoryView();
    SharedMemoryView(const SharedMemoryView&) = delete;
    SharedMemoryView& operator=(const SharedMemoryView&) = delete;

    // Maps the first `size` bytes of the object ("/name"); false when it
    // does not exist, cannot be opened or is smaller than that.
    bool OpenExisting(const std::string& name, size_t size);
    void Close();
    void* Data() const { return m_data; }

private:
    void* m_data = nullptr;
    size_t m_size = 0;
};
