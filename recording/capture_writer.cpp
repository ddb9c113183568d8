#include "recording/capture_writer.h"

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <system_error>
#include <utility>

#include <fcntl.h>
#include <unistd.h>

namespace sphyra {
namespace {

using capture::ChunkType;
using capture::PortEventCode;

constexpr int kMaxNameAttempts = 1000;
// Past this much queued, the thread is woken early so memory stays small.
constexpr std::size_t kEagerWriteBytes = 1U << 20;

// Writes all of `n` bytes; on failure returns errno and sets `done` to what did go.
int WriteAll(int fd, const std::uint8_t* p, std::size_t n, std::size_t& done) {
    done = 0;
    while (done < n) {
        const ssize_t r = ::write(fd, p + done, n - done);
        if (r < 0) {
            if (errno == EINTR) continue;
            return errno;
        }
        if (r == 0) return EIO;
        done += static_cast<std::size_t>(r);
    }
    return 0;
}

int SyncFd(int fd) {
    while (::fdatasync(fd) != 0) {
        if (errno != EINTR) return errno;
    }
    return 0;
}

// The length of the whole chunks at the front of `batch` that fit in `n` bytes.
std::size_t WholeChunks(const std::vector<std::uint8_t>& batch, std::size_t n) {
    std::size_t pos = 0;
    while (pos + capture::kChunkHeadSize <= batch.size()) {
        const std::size_t size =
            capture::kChunkHeadSize +
            capture::LoadLe<std::uint16_t>(&batch[pos + capture::kChunkLengthOffset]) +
            capture::kCrcSize;
        if (pos + size > n) break;
        pos += size;
    }
    return pos;
}

// A new file's name must survive a power cut too, so its folder is synced.
void SyncFolder(const std::filesystem::path& folder) {
    const int dir = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir < 0) return;
    ::fsync(dir);
    ::close(dir);
}

std::string StoppedMessage(int err, std::string_view what, const std::filesystem::path& path) {
    return "录制已停止：" + DescribeCaptureError(err, what, path) + "。已写入的数据完好。";
}

}  // namespace

std::string DescribeCaptureError(int err, std::string_view what,
                                 const std::filesystem::path& path) {
    std::string reason;
    switch (err) {
        case ENOSPC:
            reason = "磁盘已满";
            break;
        case EDQUOT:
            reason = "磁盘配额已用完";
            break;
        case EFBIG:
            reason = "文件超过了允许的大小";
            break;
        case EIO:
            reason = "磁盘读写错误";
            break;
        case EACCES:
        case EPERM:
            reason = "没有写入权限";
            break;
        case EROFS:
            reason = "文件夹所在的磁盘是只读的";
            break;
        case ENOBUFS:
            reason = "磁盘写入跟不上接收";
            break;
        default:
            reason = std::strerror(err);
            break;
    }
    return reason + "（" + std::string(what) + " " + path.string() + ": " + std::strerror(err) +
           "）";
}

CaptureWriter::CaptureWriter(CaptureWriterOptions options) : m_options(options) {}

CaptureWriter::~CaptureWriter() {
    Close();
}

bool CaptureWriter::Open(const std::filesystem::path& folder, const capture::CaptureHeader& header,
                         std::string* error) {
    auto report = [&](int err, std::string_view what, const std::filesystem::path& where) {
        if (error != nullptr) *error = "无法开始录制：" + DescribeCaptureError(err, what, where);
        return false;
    };
    if (IsOpen()) return report(EBUSY, "open", m_path);

    // A file over `ulimit -f` must come back as EFBIG, which is reported, instead
    // of SIGXFSZ ending the whole program.
    std::signal(SIGXFSZ, SIG_IGN);

    std::error_code ec;
    std::filesystem::create_directories(folder, ec);
    if (ec) return report(ec.value(), "mkdir", folder);

    int fd = -1;
    std::filesystem::path path;
    for (int attempt = 1; attempt <= kMaxNameAttempts && fd < 0; ++attempt) {
        path = folder / capture::CaptureFileName(header.startTimeUs, attempt);
        fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_APPEND | O_CLOEXEC, 0644);
        if (fd < 0 && errno != EEXIST) return report(errno, "open", path);
    }
    if (fd < 0) return report(EEXIST, "open", path);

    const std::vector<std::uint8_t> head = capture::EncodeHeader(header);
    std::size_t done = 0;
    int err = WriteAll(fd, head.data(), head.size(), done);
    if (err == 0) err = SyncFd(fd);
    if (err != 0) {
        ::close(fd);
        ::unlink(path.c_str());
        return report(err, "write", path);
    }
    SyncFolder(folder);

    m_fd = fd;
    m_path = path;
    m_written = head.size();
    m_size = head.size();
    m_durable = head.size();
    m_failed = false;
    m_error.clear();
    m_pending.clear();
    m_closing = false;
    m_flushAsked = m_flushDone = 0;
    m_thread = std::thread([this] { Run(); });
    return true;
}

bool CaptureWriter::AppendReceived(std::int64_t timeUs, std::uint32_t tick,
                                   const std::uint8_t* bytes, std::size_t n) {
    do {
        const std::size_t part = std::min(n, capture::kMaxPayload);
        if (!Enqueue(ChunkType::BytesReceived, timeUs, tick, bytes, part)) return false;
        bytes += part;
        n -= part;
    } while (n > 0);
    return true;
}

bool CaptureWriter::AppendMarker(std::int64_t timeUs, std::uint32_t tick, std::uint32_t number,
                                 std::string_view text) {
    const auto payload = capture::MarkerPayload(number, text);
    return Enqueue(ChunkType::Marker, timeUs, tick, payload.data(), payload.size());
}

bool CaptureWriter::AppendPortEvent(std::int64_t timeUs, std::uint32_t tick, PortEventCode code,
                                    std::string_view text) {
    const auto payload = capture::PortEventPayload(code, text);
    return Enqueue(ChunkType::PortEvent, timeUs, tick, payload.data(), payload.size());
}

bool CaptureWriter::Enqueue(ChunkType type, std::int64_t timeUs, std::uint32_t tick,
                            const std::uint8_t* payload, std::size_t n) {
    std::unique_lock lock(m_mutex);
    if (m_fd < 0 || m_closing || m_failed) return false;
    if (m_pending.size() > m_options.maxBacklog) {
        // The thread is stuck on a slow disk; it adds the error chunk when it is free.
        m_failed = true;
        m_error = StoppedMessage(ENOBUFS, "write", m_path);
        m_pending.clear();
        m_tailErrno = ENOBUFS;
        m_wake.notify_one();
        return false;
    }
    const std::size_t before = m_pending.size();
    capture::AppendChunk(m_pending, type, timeUs, tick, payload, n);
    m_size += m_pending.size() - before;
    m_lastTimeUs = timeUs;
    m_lastTick = tick;
    if (m_pending.size() >= kEagerWriteBytes && before < kEagerWriteBytes) m_wake.notify_one();
    return true;
}

bool CaptureWriter::Flush() {
    std::unique_lock lock(m_mutex);
    if (m_fd < 0 || !m_thread.joinable()) return !m_failed;
    const std::uint64_t ticket = ++m_flushAsked;
    m_wake.notify_one();
    m_done.wait(lock, [&] { return m_flushDone >= ticket; });
    return !m_failed;
}

bool CaptureWriter::Close() {
    if (m_fd < 0) return !m_failed;
    {
        std::lock_guard lock(m_mutex);
        m_closing = true;
        ++m_flushAsked;
    }
    m_wake.notify_one();
    if (m_thread.joinable()) m_thread.join();
    ::close(m_fd);
    m_fd = -1;
    return !m_failed;
}

std::string CaptureWriter::Error() const {
    std::lock_guard lock(m_mutex);
    return m_error;
}

void CaptureWriter::Run() {
    std::vector<std::uint8_t> batch;
    std::unique_lock lock(m_mutex);
    for (;;) {
        m_wake.wait_for(lock, m_options.syncInterval, [&] {
            return m_closing || m_flushAsked > m_flushDone || m_pending.size() >= kEagerWriteBytes;
        });
        const std::uint64_t asked = m_flushAsked;
        const bool closing = m_closing;
        batch.clear();
        batch.swap(m_pending);
        const std::int64_t timeUs = m_lastTimeUs;
        const std::uint32_t tick = m_lastTick;
        const int tailErrno = std::exchange(m_tailErrno, 0);
        lock.unlock();
        if (!batch.empty() && !m_failed) WriteBatch(batch, timeUs, tick);
        if (tailErrno != 0) WriteErrorChunk(tailErrno, timeUs, tick);
        lock.lock();
        m_flushDone = asked;
        m_done.notify_all();
        if (closing) return;
    }
}

void CaptureWriter::WriteBatch(const std::vector<std::uint8_t>& batch, std::int64_t lastTimeUs,
                               std::uint32_t lastTick) {
    std::size_t done = 0;
    int err = WriteAll(m_fd, batch.data(), batch.size(), done);
    if (err != 0) {
        // Keep the file ending on a whole chunk, so what is there reads cleanly.
        const std::size_t whole = WholeChunks(batch, done);
        m_written += whole;
        if (whole != done && ::ftruncate(m_fd, static_cast<off_t>(m_written)) != 0) {
            // Left as it is: a reader stops at the cut chunk all the same.
        }
        Fail(err, "write", lastTimeUs, lastTick);
        return;
    }
    m_written += batch.size();
    err = SyncFd(m_fd);
    if (err != 0) {
        Fail(err, "fdatasync", lastTimeUs, lastTick);
        return;
    }
    m_durable = m_written;
}

void CaptureWriter::Fail(int err, std::string_view what, std::int64_t timeUs, std::uint32_t tick) {
    {
        std::lock_guard lock(m_mutex);
        if (m_failed) return;
        m_failed = true;
        m_error = StoppedMessage(err, what, m_path);
        m_pending.clear();
    }
    WriteErrorChunk(err, timeUs, tick);
}

void CaptureWriter::WriteErrorChunk(int err, std::int64_t timeUs, std::uint32_t tick) {
    // Say in the file why it ends, if the disk still takes these few bytes.
    std::vector<std::uint8_t> tail;
    const auto payload =
        capture::PortEventPayload(PortEventCode::RecordingError, std::strerror(err));
    capture::AppendChunk(tail, ChunkType::PortEvent, timeUs, tick, payload.data(), payload.size());
    std::size_t done = 0;
    if (WriteAll(m_fd, tail.data(), tail.size(), done) == 0) {
        m_written += tail.size();
    } else if (done > 0 && ::ftruncate(m_fd, static_cast<off_t>(m_written)) != 0) {
        // Left as it is: a reader stops at the cut chunk all the same.
    }
    if (SyncFd(m_fd) == 0) m_durable = m_written;
}

}  // namespace sphyra
