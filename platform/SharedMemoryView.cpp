#include "platform/SharedMemoryView.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

SharedMemoryView::~SharedMemoryView() { Close(); }

bool SharedMemoryView::OpenExisting(const std::string& name, size_t size) {
    Close();
    const int fd = shm_open(name.c_str(), O_RDWR | O_CLOEXEC, 0);
    if (fd < 0) return false;
    // Touching a page beyond the object's end would fault.
    struct stat st;
    void* data = MAP_FAILED;
    if (fstat(fd, &st) == 0 && st.st_size >= static_cast<off_t>(size))
        data = mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
    close(fd);  // the mapping keeps the object
    if (data == MAP_FAILED) return false;
    m_data = data;
    m_size = size;
    return true;
}

void SharedMemoryView::Close() {
    if (m_data) munmap(m_data, m_size);
    m_data = nullptr;
    m_size = 0;
}
