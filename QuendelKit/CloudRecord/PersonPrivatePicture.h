#pragma once

#include <QByteArray>
#include <QImage>
#include <QVariant>

#include <functional>
#include <optional>

// A private contact's picture on its way into a cloud record, which holds at most MaxRecordPictureSize bytes
// of it: first the lossless representation, then JPEG at falling quality until it fits.
class PersonPrivatePicture
{
public:
    static constexpr qsizetype MaxRecordPictureSize = 1048576;
    // The lossless representation and JPEG at factors 0.9, 0.8, ... 0.1 and about 0: there is nothing
    // smaller to try after that.
    static constexpr int MaxCompressionSteps = 11;

    // Encodes the image: losslessly when `lossless` is set, else as JPEG at `factor` (0 smallest, 1 best).
    // Empty data when it cannot.
    using Encoder = std::function<QByteArray(const QImage &image, bool lossless, float factor)>;

    // The stored picture (image data or a QImage) as an image; a null image when it holds none.
    static QImage imageFromValue(const QVariant &picture);

    // The picture encoded to at most MaxRecordPictureSize bytes. nullopt when the picture is empty or cannot
    // be decoded, or when even the smallest step is too large (the steps always end). `steps`, when given,
    // receives the number of encodings made.
    static std::optional<QByteArray> generateCompressedImage(const QVariant &picture, const Encoder &encoder = {},
                                                             int *steps = nullptr);

    // Lossless PNG, or JPEG at the factor.
    static QByteArray defaultEncoder(const QImage &image, bool lossless, float factor);
};
