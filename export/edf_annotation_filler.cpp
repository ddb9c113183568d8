#include "export/edf_annotation_filler.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstring>
#include <vector>

namespace sphyra {

namespace {

constexpr char kTalEnd = 20;    // 0x14 ends an onset and each annotation text
constexpr char kDuration = 21;  // 0x15 comes before a duration

// The header's fields this needs, and where the annotation signals lie in a record.
struct EdfLayout {
    std::int64_t headerBytes = 0;
    std::int64_t records = 0;
    std::int64_t recordBytes = 0;
    std::int64_t areaOffset = 0;  // of the first annotation signal within a record
    std::int64_t slotBytes = 0;   // bytes of each annotation signal in a record
    int slots = 0;
};

std::int64_t Field(const std::string& header, std::size_t at, std::size_t size) {
    std::int64_t value = -1;
    const char* p = header.data() + at;
    while (size > 0 && *p == ' ') ++p, --size;
    std::from_chars(p, p + size, value);
    return value;
}

bool ReadAll(int fd, char* data, std::size_t size, off_t at) {
    while (size > 0) {
        const ssize_t n = ::pread(fd, data, size, at);
        if (n <= 0) return false;
        data += n;
        size -= static_cast<std::size_t>(n);
        at += n;
    }
    return true;
}

bool WriteAll(int fd, const char* data, std::size_t size, off_t at) {
    while (size > 0) {
        const ssize_t n = ::pwrite(fd, data, size, at);
        if (n <= 0) return false;
        data += n;
        size -= static_cast<std::size_t>(n);
        at += n;
    }
    return true;
}

// The annotation signals must be EDFlib's: equal in size and together at the end
// of each record, so that one read and one write cover them.
bool ReadLayout(int fd, EdfLayout& layout) {
    std::string header(256, '\0');
    if (!ReadAll(fd, header.data(), header.size(), 0)) return false;
    layout.headerBytes = Field(header, 184, 8);
    layout.records = Field(header, 236, 8);
    const std::int64_t signals = Field(header, 252, 4);
    if (signals <= 0 || layout.headerBytes != (signals + 1) * 256 || layout.records < 0) {
        return false;
    }
    header.resize(static_cast<std::size_t>(layout.headerBytes));
    if (!ReadAll(fd, header.data() + 256, header.size() - 256, 256)) return false;
    const auto ns = static_cast<std::size_t>(signals);
    for (std::size_t i = 0; i < ns; ++i) {
        const bool annotation = header.compare(256 + i * 16, 15, "EDF Annotations") == 0;
        const std::int64_t bytes = 2 * Field(header, 256 + ns * 216 + i * 8, 8);
        if (bytes <= 0) return false;
        if (annotation) {
            if (layout.slots == 0) {
                layout.areaOffset = layout.recordBytes;
                layout.slotBytes = bytes;
            } else if (bytes != layout.slotBytes) {
                return false;
            }
            ++layout.slots;
        } else if (layout.slots > 0) {
            return false;
        }
        layout.recordBytes += bytes;
    }
    return layout.slots > 0;
}

// "+12.3456" from 100 µs units, EDFlib's way: the fraction only when there is one.
void AppendTime(std::string& out, std::int64_t value) {
    char text[24];
    out += std::string_view(text, std::to_chars(text, text + sizeof text, value / 10'000).ptr);
    if (value % 10'000 != 0) {
        const auto fraction = static_cast<int>(value % 10'000);
        out += '.';
        for (int scale = 1000; scale > 0; scale /= 10) {
            out += static_cast<char>('0' + fraction / scale % 10);
        }
    }
}

void FormatTal(std::string& tal, const SpooledAnnotation& a, std::int64_t startOffset) {
    tal.assign(1, '+');
    AppendTime(tal, a.onset + startOffset);
    if (a.duration >= 0) {
        tal += kDuration;
        AppendTime(tal, a.duration);
    }
    tal += kTalEnd;
    tal += a.text;
    tal += kTalEnd;
    tal += '\0';
}

// The length of the time-keeping TAL EDFlib put at the start of the record.
std::size_t TimeKeepingEnd(const std::vector<char>& area, std::size_t slotBytes) {
    for (std::size_t i = 1; i + 2 < slotBytes; ++i) {
        if (area[i] == kTalEnd && area[i + 1] == kTalEnd && area[i + 2] == '\0') return i + 3;
    }
    return 0;
}

}  // namespace

bool FillEdfAnnotations(const std::filesystem::path& path, AnnotationSpool& spool,
                        std::int64_t recordLength, std::int64_t startOffset, AnnotationFill& fill,
                        std::string& error) {
    if (!spool.StartReading(error)) return false;
    SpooledAnnotation next;
    bool have = spool.Next(next);
    if (!have) return true;
    const int fd = ::open(path.c_str(), O_RDWR | O_CLOEXEC);
    if (fd < 0) {
        error = "cannot reopen " + path.string() + " for its annotations: " + std::strerror(errno);
        return false;
    }
    EdfLayout layout;
    bool ok = ReadLayout(fd, layout);
    if (!ok) error = path.string() + ": not the EDF+ layout expected for its annotations";
    const auto slotBytes = static_cast<std::size_t>(layout.slotBytes);
    std::vector<char> area(slotBytes * static_cast<std::size_t>(std::max(layout.slots, 0)));
    std::string tal;
    std::int64_t record = 0;
    while (ok && have) {
        // One placed at the very end (a port closing as the capture ends) goes in the last record.
        record = std::max(record, std::min(next.place / recordLength, layout.records - 1));
        if (record >= layout.records) break;
        const off_t at = layout.headerBytes + record * layout.recordBytes + layout.areaOffset;
        if (!ReadAll(fd, area.data(), area.size(), at)) {
            error = "cannot read back " + path.string() + ": " + std::strerror(errno);
            ok = false;
            break;
        }
        std::size_t used = TimeKeepingEnd(area, slotBytes);
        if (used == 0) {
            error = path.string() + ": a data record without its time-keeping annotation";
            ok = false;
            break;
        }
        std::fill(area.begin() + static_cast<std::ptrdiff_t>(used), area.end(), '\0');
        std::size_t slot = 0;
        bool changed = false;
        while (have && std::min(next.place / recordLength, layout.records - 1) <= record) {
            FormatTal(tal, next, startOffset);
            while (slot < area.size() / slotBytes && used + tal.size() > slotBytes) {
                ++slot;
                used = 0;
            }
            if (slot == area.size() / slotBytes) break;  // full: on to the next record
            std::memcpy(area.data() + slot * slotBytes + used, tal.data(), tal.size());
            used += tal.size();
            changed = true;
            ++fill.written;
            have = spool.Next(next);
        }
        if (changed && !WriteAll(fd, area.data(), area.size(), at)) {
            error = "writing the annotations into " + path.string() +
                    " failed: " + std::strerror(errno);
            ok = false;
        }
        ++record;
    }
    // What is left had no room between its place and the end of the file.
    for (; ok && have; have = spool.Next(next)) ++fill.lost;
    if (::close(fd) != 0 && ok) {
        error = "closing " + path.string() + " failed: " + std::strerror(errno);
        ok = false;
    }
    return ok;
}

}  // namespace sphyra
