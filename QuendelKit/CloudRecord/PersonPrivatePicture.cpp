#include "QuendelKit/CloudRecord/PersonPrivatePicture.h"

#include <QBuffer>
#include <QImageWriter>

#include <algorithm>
#include <cmath>

QImage PersonPrivatePicture::imageFromValue(const QVariant &picture)
{
    if (!picture.isValid())
        return QImage();
    if (picture.metaType() == QMetaType::fromType<QImage>())
        return picture.value<QImage>();
    if (picture.metaType().id() == QMetaType::QByteArray) {
        const QByteArray data = picture.toByteArray();
        return data.isEmpty() ? QImage() : QImage::fromData(data);
    }
    return QImage();
}

QByteArray PersonPrivatePicture::defaultEncoder(const QImage &image, bool lossless, float factor)
{
    QByteArray data;
    QBuffer buffer(&data);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, lossless ? QByteArrayLiteral("png") : QByteArrayLiteral("jpeg"));
    if (!lossless)
        writer.setQuality(std::clamp(int(std::lround(double(factor) * 100.0)), 0, 100));
    if (!writer.write(image))
        return QByteArray();
    return data;
}

std::optional<QByteArray> PersonPrivatePicture::generateCompressedImage(const QVariant &picture, const Encoder &encoder,
                                                                        int *steps)
{
    if (steps)
        *steps = 0;
    const QImage image = imageFromValue(picture);
    if (image.isNull())
        return std::nullopt;
    const Encoder &encode = encoder ? encoder : Encoder(&PersonPrivatePicture::defaultEncoder);

    // The step value runs in single precision as the format has always stepped it (0, 0.1, ... about 1.0).
    float q = 0.0f;
    QByteArray data;
    for (int step = 0; step < MaxCompressionSteps; ++step) {
        const bool lossless = q < 0.05f;
        // Past ten tenths the factor would go below zero; the last step is the smallest JPEG there is.
        data = encode(image, lossless, std::max(0.0f, 1.0f - q));
        if (steps)
            *steps = step + 1;
        if (!data.isEmpty() && data.size() <= MaxRecordPictureSize)
            return data;
        q += 0.1f;
    }
    return std::nullopt;
}
