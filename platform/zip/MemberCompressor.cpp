#include "platform/zip/MemberCompressor.h"

#include <QFile>

#include <cerrno>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <zlib.h>

namespace platform::zip {

namespace {

constexpr std::size_t ReadChunk = 1024 * 1024;
// The level every member gets, the zip tool's own default.
constexpr int DeflateLevel = 6;

} // namespace

MemberCompressor::MemberCompressor(int workers)
    : m_workerCount(std::max(0, workers))
{
}

MemberCompressor::~MemberCompressor()
{
    {
        std::lock_guard lock(m_mutex);
        m_stopping = true;
    }
    m_changed.notify_all();
    for (std::thread &worker : m_workers)
        worker.join();
}

int MemberCompressor::add(const QString &path, qint64 size)
{
    std::lock_guard lock(m_mutex);
    Job &job = m_jobs.emplace_back();
    job.path = path;
    job.size = size;
    return int(m_jobs.size() - 1);
}

void MemberCompressor::start()
{
    std::lock_guard lock(m_mutex);
    if (!m_workers.empty())
        return;
    // One member needs no helper: the writer compresses it itself.
    const int count = std::min<int>(m_workerCount, int(m_jobs.size()) - 1);
    for (int i = 0; i < count; ++i)
        m_workers.emplace_back([this] { work(); });
}

bool MemberCompressor::claimableLocked(std::size_t index) const
{
    // The member the writer waits for is always taken, whatever is held ahead of it.
    return index <= m_firstUnreleased || m_bytesAhead + m_jobs[index].size <= BytesAhead;
}

void MemberCompressor::work()
{
    std::unique_lock lock(m_mutex);
    for (;;) {
        while (m_nextToClaim < m_jobs.size() && m_jobs[m_nextToClaim].state != State::Pending)
            ++m_nextToClaim;
        if (m_stopping || m_nextToClaim >= m_jobs.size())
            return;
        if (!claimableLocked(m_nextToClaim)) {
            m_changed.wait(lock);
            continue;
        }
        runLocked(m_jobs[m_nextToClaim++], lock);
    }
}

void MemberCompressor::runLocked(Job &job, std::unique_lock<std::mutex> &lock)
{
    job.state = State::Running;
    m_bytesAhead += job.size;
    lock.unlock();
    compress(job);
    lock.lock();
    job.state = State::Done;
    m_changed.notify_all();
}

MemberCompressor::Result MemberCompressor::resultLocked(const Job &job) const
{
    Result result;
    result.ok = job.ok;
    result.systemError = job.systemError;
    result.data = &job.data;
    result.size = job.uncompressed;
    result.compressedSize = job.data.size();
    result.crc = job.crc;
    result.mtime = job.mtime;
    result.mode = job.mode;
    return result;
}

MemberCompressor::Result MemberCompressor::take(int index)
{
    std::unique_lock lock(m_mutex);
    if (index < 0 || std::size_t(index) >= m_jobs.size())
        return Result{};
    Job &job = m_jobs[std::size_t(index)];
    if (job.state == State::Pending || job.state == State::Released)
        runLocked(job, lock);
    m_changed.wait(lock, [&] { return job.state != State::Running; });
    return resultLocked(job);
}

void MemberCompressor::release(int index)
{
    {
        std::lock_guard lock(m_mutex);
        if (index < 0 || std::size_t(index) >= m_jobs.size())
            return;
        Job &job = m_jobs[std::size_t(index)];
        if (job.state != State::Done)
            return;
        job.state = State::Released;
        job.data = QByteArray();
        m_bytesAhead -= job.size;
        while (m_firstUnreleased < m_jobs.size() && m_jobs[m_firstUnreleased].state == State::Released)
            ++m_firstUnreleased;
    }
    m_changed.notify_all();
}

void MemberCompressor::compress(Job &job)
{
    job.ok = false;
    job.systemError = 0;
    job.uncompressed = 0;
    job.data = QByteArray();
    const int fd = ::open(QFile::encodeName(job.path).constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        job.systemError = errno;
        return;
    }
    struct stat info {};
    if (::fstat(fd, &info) != 0) {
        job.systemError = errno;
        ::close(fd);
        return;
    }
    job.mtime = info.st_mtime;
    job.mode = std::uint32_t(info.st_mode);

    z_stream stream{};
    if (deflateInit2(&stream, DeflateLevel, Z_DEFLATED, -MAX_WBITS, 8, Z_DEFAULT_STRATEGY) != Z_OK) {
        job.systemError = ENOMEM;
        ::close(fd);
        return;
    }
    QByteArray out;
    out.resize(qsizetype(deflateBound(&stream, uLong(std::max<qint64>(job.size, info.st_size)))) + 64);
    QByteArray input(qsizetype(ReadChunk), Qt::Uninitialized);
    uLong crc = crc32(0L, Z_NULL, 0);
    qint64 total = 0;
    bool failed = false;
    for (;;) {
        if (m_stopping) {
            job.systemError = ECANCELED;
            failed = true;
            break;
        }
        const ssize_t n = ::read(fd, input.data(), ReadChunk);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            job.systemError = errno;
            failed = true;
            break;
        }
        total += n;
        crc = crc32(crc, reinterpret_cast<const Bytef *>(input.constData()), uInt(n));
        const int flush = n == 0 ? Z_FINISH : Z_NO_FLUSH;
        stream.next_in = reinterpret_cast<Bytef *>(input.data());
        stream.avail_in = uInt(n);
        int status = Z_OK;
        do {
            if (stream.total_out + ReadChunk > std::size_t(out.size()))
                out.resize(out.size() + qsizetype(ReadChunk) * 4);
            stream.next_out = reinterpret_cast<Bytef *>(out.data()) + stream.total_out;
            stream.avail_out = uInt(std::size_t(out.size()) - stream.total_out);
            status = deflate(&stream, flush);
            if (status == Z_STREAM_ERROR) {
                job.systemError = EIO;
                failed = true;
                break;
            }
        } while (stream.avail_out == 0 || (flush == Z_FINISH && status != Z_STREAM_END));
        if (failed || flush == Z_FINISH)
            break;
    }
    out.resize(qsizetype(stream.total_out));
    // Text shrinks to a fraction of the room made for it; what waits for the writer should hold no more.
    if (out.capacity() > out.size() + out.size() / 4)
        out.squeeze();
    deflateEnd(&stream);
    ::close(fd);
    if (failed)
        return;
    job.data = std::move(out);
    job.uncompressed = total;
    job.crc = quint32(crc);
    job.ok = true;
}

} // namespace platform::zip
