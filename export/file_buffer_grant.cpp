#include "export/file_buffer_grant.h"

#include <cstdio>

namespace sphyra {

namespace {
thread_local FileBufferGrant* t_pending = nullptr;
}  // namespace

FileBufferGrant::FileBufferGrant(std::size_t bytes)
    : m_buffer(std::make_unique<char[]>(bytes)), m_size(bytes) {
    t_pending = this;
}

FileBufferGrant::~FileBufferGrant() {
    Withdraw();
}

void FileBufferGrant::Withdraw() {
    if (t_pending == this) t_pending = nullptr;
}

FileBufferGrant* FileBufferGrant::Pending() {
    return t_pending;
}

}  // namespace sphyra

#ifdef SPHYRA_WRAP_FOPEN64
extern "C" {
std::FILE* __real_fopen64(const char* path, const char* mode);

std::FILE* __wrap_fopen64(const char* path, const char* mode) {
    std::FILE* file = __real_fopen64(path, mode);
    sphyra::FileBufferGrant* grant = sphyra::FileBufferGrant::Pending();
    if (file == nullptr || grant == nullptr) return file;
    grant->Withdraw();
    // Before any I/O on the file, as setvbuf requires; if refused, stdio's own buffer stays.
    if (std::setvbuf(file, grant->Buffer(), _IOFBF, grant->Size()) == 0) grant->Take();
    return file;
}
}
#endif
