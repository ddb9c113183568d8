#pragma once

#include <cstddef>
#include <memory>

namespace sphyra {

// EDFlib writes through stdio with its default buffer, one file-system block of
// 4 KB: a system call for every 4 KB, about a tenth of an export's CPU time. EDFlib
// keeps its FILE to itself, so on Linux the link sends fopen64 through us
// (--wrap), and a grant made on a thread hands its buffer to the next file that
// thread opens. Elsewhere a grant is never taken and nothing changes.
class FileBufferGrant {
public:
    explicit FileBufferGrant(std::size_t bytes);
    // The buffer must outlive the file that took it: close the file first.
    ~FileBufferGrant();
    FileBufferGrant(const FileBufferGrant&) = delete;
    FileBufferGrant& operator=(const FileBufferGrant&) = delete;

    // Ends the offer, so that no later file on this thread takes the buffer.
    void Withdraw();
    bool Taken() const { return m_taken; }

    // For the fopen64 wrapper: the offer pending on this thread, if any.
    static FileBufferGrant* Pending();
    void Take() { m_taken = true; }
    char* Buffer() { return m_buffer.get(); }
    std::size_t Size() const { return m_size; }

private:
    std::unique_ptr<char[]> m_buffer;
    std::size_t m_size;
    bool m_taken = false;
};

}  // namespace sphyra
