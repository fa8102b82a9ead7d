#pragma once

#include <QByteArray>
#include <QString>

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <ctime>
#include <deque>
#include <mutex>
#include <thread>
#include <vector>

namespace platform::zip {

// Deflates an archive's members on several threads ahead of the one thread that writes the archive, so a
// backup of many attachments is not held to one core. The writer asks for the members in order; a member is
// compressed (in memory) by whichever worker reaches it first, or by the writer itself when none has. Workers
// run at most a fixed number of bytes ahead of the writer, so memory stays bounded however large the archive.
class MemberCompressor
{
public:
    // Files larger than this are left to the writer's own streaming compression: holding them in memory would
    // cost more than compressing them in parallel gains.
    static constexpr qint64 LargestMember = 16LL * 1024 * 1024;
    // How far (in bytes of uncompressed member data) the workers may run ahead of the writer.
    static constexpr qint64 BytesAhead = 64LL * 1024 * 1024;

    struct Result
    {
        bool ok = false;
        int systemError = 0; // errno of the failed read
        const QByteArray *data = nullptr; // the raw deflate stream
        qint64 size = 0;                  // uncompressed
        qint64 compressedSize = 0;
        quint32 crc = 0;
        std::time_t mtime = 0;
        std::uint32_t mode = 0; // st_mode of the file
    };

    explicit MemberCompressor(int workers);
    ~MemberCompressor();
    MemberCompressor(const MemberCompressor &) = delete;
    MemberCompressor &operator=(const MemberCompressor &) = delete;

    // Adds a member before start(); returns its index.
    int add(const QString &path, qint64 size);
    // Starts the workers; members are taken in the order they were added.
    void start();
    // The member compressed, waiting for a worker or compressing it here when nobody has begun it.
    // The data stays valid until release(index).
    Result take(int index);
    // The writer is done with the member's bytes (its sizes, checksum and times stay).
    void release(int index);

private:
    enum class State { Pending, Running, Done, Released };
    struct Job
    {
        QString path;
        qint64 size = 0; // as added: what the member counts against the bytes ahead
        qint64 uncompressed = 0; // as read
        State state = State::Pending;
        bool ok = false;
        int systemError = 0;
        QByteArray data;
        quint32 crc = 0;
        std::time_t mtime = 0;
        std::uint32_t mode = 0;
    };

    void work();
    // Compresses the job with the lock let go meanwhile; it counts against the bytes ahead until released.
    void runLocked(Job &job, std::unique_lock<std::mutex> &lock);
    void compress(Job &job);
    bool claimableLocked(std::size_t index) const;
    Result resultLocked(const Job &job) const;

    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::deque<Job> m_jobs; // stable addresses while workers fill them
    std::size_t m_nextToClaim = 0;
    std::size_t m_firstUnreleased = 0;
    qint64 m_bytesAhead = 0;
    std::atomic<bool> m_stopping = false;
    int m_workerCount = 0;
    std::vector<std::thread> m_workers;
};

} // namespace platform::zip
