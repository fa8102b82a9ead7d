#include "platform/zip/MemberCompressor.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <zlib.h>

using platform::zip::MemberCompressor;

namespace {

QByteArray inflateRaw(const QByteArray &deflated, qint64 size)
{
    QByteArray out(qsizetype(size), Qt::Uninitialized);
    z_stream stream{};
    if (inflateInit2(&stream, -MAX_WBITS) != Z_OK)
        return {};
    stream.next_in = reinterpret_cast<Bytef *>(const_cast<char *>(deflated.constData()));
    stream.avail_in = uInt(deflated.size());
    stream.next_out = reinterpret_cast<Bytef *>(out.data());
    stream.avail_out = uInt(out.size());
    const int status = inflate(&stream, Z_FINISH);
    inflateEnd(&stream);
    return status == Z_STREAM_END && stream.total_out == uLong(size) ? out : QByteArray("inflate failed");
}

quint32 crcOf(const QByteArray &bytes)
{
    return quint32(crc32(crc32(0, Z_NULL, 0), reinterpret_cast<const Bytef *>(bytes.constData()), uInt(bytes.size())));
}

class MemberCompressorTest : public ::testing::Test
{
protected:
    QString write(const QString &name, const QByteArray &bytes)
    {
        const QString path = dir.filePath(name);
        QFile file(path);
        EXPECT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(bytes);
        return path;
    }
    QByteArray content(int i) const { return QByteArray::number(i).repeated(1000 + i * 997); }

    QTemporaryDir dir;
};

} // namespace

TEST_F(MemberCompressorTest, EveryMemberInflatesToItsFileWithItsChecksumWhateverTheWorkers)
{
    for (int workers : {0, 1, 4}) {
        SCOPED_TRACE(workers);
        MemberCompressor compressor(workers);
        for (int i = 0; i < 30; ++i)
            compressor.add(write(QStringLiteral("m%1").arg(i), content(i)), content(i).size());
        compressor.start();
        for (int i = 0; i < 30; ++i) {
            const MemberCompressor::Result result = compressor.take(i);
            ASSERT_TRUE(result.ok);
            EXPECT_EQ(result.size, content(i).size());
            EXPECT_EQ(result.crc, crcOf(content(i)));
            EXPECT_EQ(inflateRaw(*result.data, result.size), content(i));
            compressor.release(i);
        }
    }
}

TEST_F(MemberCompressorTest, AReleasedMemberIsCompressedAgainAndAMissingFileIsAFailure)
{
    MemberCompressor compressor(2);
    const int kept = compressor.add(write(QStringLiteral("kept"), content(3)), content(3).size());
    const int gone = compressor.add(dir.filePath(QStringLiteral("never-there")), 10);
    compressor.start();
    compressor.release(kept); // not taken yet: nothing happens
    ASSERT_TRUE(compressor.take(kept).ok);
    compressor.release(kept);
    const MemberCompressor::Result again = compressor.take(kept);
    ASSERT_TRUE(again.ok);
    EXPECT_EQ(inflateRaw(*again.data, again.size), content(3));

    const MemberCompressor::Result missing = compressor.take(gone);
    EXPECT_FALSE(missing.ok);
    EXPECT_EQ(missing.systemError, ENOENT);
    EXPECT_FALSE(compressor.take(99).ok);
}

TEST_F(MemberCompressorTest, ItCanGoWhileItsWorkersAreBusyOrWaiting)
{
    // More than the workers may hold ahead, and a writer that never comes: going must not wait for all of it.
    const QByteArray big(8 * 1024 * 1024, 'b');
    const QString path = write(QStringLiteral("big"), big);
    auto compressor = std::make_unique<MemberCompressor>(4);
    for (int i = 0; i < 40; ++i)
        compressor->add(path, big.size());
    compressor->start();
    EXPECT_TRUE(compressor->take(0).ok);
    compressor.reset();
}
