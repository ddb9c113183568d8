#include "export/annotation_spool.h"

#include <cerrno>
#include <cstring>

namespace sphyra {

namespace {

// As EDFlib keeps a text: at most 40 bytes, control bytes (which would end a TAL) as '.'.
// The cut never splits a UTF-8 sequence.
constexpr std::size_t kMaxText = 40;

std::string EdfText(const std::string& text) {
    std::size_t n = std::min(text.size(), kMaxText);
    if (n < text.size()) {
        while (n > 0 && (static_cast<unsigned char>(text[n]) & 0xC0) == 0x80) --n;
    }
    std::string out = text.substr(0, n);
    for (char& c : out) {
        if (static_cast<unsigned char>(c) < 32) c = '.';
    }
    return out;
}

struct EntryHead {
    std::int64_t place;
    std::int64_t onset;
    std::int64_t duration;
    std::uint8_t length;
};

}  // namespace

AnnotationSpool::~AnnotationSpool() {
    if (m_file != nullptr) std::fclose(m_file);
}

bool AnnotationSpool::Open(std::string& error) {
    m_file = std::tmpfile();
    if (m_file == nullptr) {
        error = std::string("cannot create a temporary file for the annotations: ") +
                std::strerror(errno);
        return false;
    }
    return true;
}

void AnnotationSpool::Add(std::int64_t onset, std::int64_t duration, const std::string& text) {
    ++m_count;
    Held held{onset, m_count, duration, EdfText(text)};
    if (onset < m_placed) {
        // Its place has gone by: it goes where the stream stands.
        ++m_late;
        Emit(m_placed, held);
        return;
    }
    m_window.push(std::move(held));
    if (onset > m_newest) {
        m_newest = onset;
        Release(m_newest - kWindow);
    }
}

void AnnotationSpool::Release(std::int64_t before) {
    while (!m_window.empty() && m_window.top().onset < before) {
        Emit(m_window.top().onset, m_window.top());
        m_window.pop();
    }
}

void AnnotationSpool::Emit(std::int64_t place, const Held& held) {
    m_placed = place;
    if (m_file == nullptr) return;
    EntryHead head{};
    head.place = place;
    head.onset = held.onset;
    head.duration = held.duration;
    head.length = static_cast<std::uint8_t>(held.text.size());
    std::fwrite(&head, sizeof head, 1, m_file);
    std::fwrite(held.text.data(), 1, held.text.size(), m_file);
}

bool AnnotationSpool::StartReading(std::string& error) {
    while (!m_window.empty()) {
        Emit(m_window.top().onset, m_window.top());
        m_window.pop();
    }
    if (m_file == nullptr || std::fflush(m_file) != 0 || std::ferror(m_file) != 0 ||
        std::fseek(m_file, 0, SEEK_SET) != 0) {
        error = "writing the annotations' temporary file failed (disk full?)";
        return false;
    }
    return true;
}

bool AnnotationSpool::Next(SpooledAnnotation& annotation) {
    EntryHead head{};
    if (m_file == nullptr || std::fread(&head, sizeof head, 1, m_file) != 1) return false;
    annotation.place = head.place;
    annotation.onset = head.onset;
    annotation.duration = head.duration;
    annotation.text.resize(head.length);
    return std::fread(annotation.text.data(), 1, head.length, m_file) == head.length;
}

}  // namespace sphyra
