#include "export/pulse_log.h"

#include <cerrno>
#include <cstring>

namespace sphyra {

PulseLog::~PulseLog() {
    if (m_file != nullptr) std::fclose(m_file);
}

bool PulseLog::Open(std::string& error) {
    m_file = std::tmpfile();
    if (m_file == nullptr)
        error = std::string("cannot create a temporary file: ") + std::strerror(errno);
    return m_file != nullptr;
}

void PulseLog::Write(const PulseEvent& event) {
    if (m_file != nullptr) std::fwrite(&event, sizeof event, 1, m_file);
}

bool PulseLog::StartReading() {
    m_havePeek = false;
    return m_file != nullptr && std::fflush(m_file) == 0 && std::ferror(m_file) == 0 &&
           std::fseek(m_file, 0, SEEK_SET) == 0;
}

bool PulseLog::Next(std::uint64_t step, PulseEvent& event) {
    if (m_file == nullptr) return false;
    if (!m_havePeek) m_havePeek = std::fread(&m_peek, sizeof m_peek, 1, m_file) == 1;
    if (!m_havePeek || m_peek.step != step) return false;
    event = m_peek;
    m_havePeek = false;
    return true;
}

}  // namespace sphyra
