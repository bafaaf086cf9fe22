// QR rendering through libqrencode.
#include "services/QRCode.h"

#include <qrencode.h>

#include <memory>

namespace {

// ISO/IEC 18004 asks for four light modules around the symbol; phones fail more often without them.
constexpr int kQuietZone = 4;

QRcode* encode(const QByteArray& bytes) {
    if (!bytes.isEmpty())
        return QRcode_encodeData(int(bytes.size()), reinterpret_cast<const unsigned char*>(bytes.constData()),
                                 0, QR_ECLEVEL_M);
    // The one-shot call refuses empty data; an input with no segments still gives a valid version 1 symbol.
    std::unique_ptr<QRinput, decltype(&QRinput_free)> input(QRinput_new2(0, QR_ECLEVEL_M), QRinput_free);
    return input ? QRcode_encodeInput(input.get()) : nullptr;
}

} // namespace

namespace QRCode {

QImage image(const QString& text, double size) {
    const int pixels = qRound(size);
    if (!(size > 0) || pixels < 1)
        return {};
    std::unique_ptr<QRcode, decltype(&QRcode_free)> code(encode(text.toUtf8()), QRcode_free);
    if (!code || code->width <= 0)
        return {};

    const int n = code->width;
    const int side = n + 2 * kQuietZone;
    QImage modules(side, side, QImage::Format_Grayscale8);
    modules.fill(255);
    for (int y = 0; y < n; ++y) {
        uchar* row = modules.scanLine(y + kQuietZone) + kQuietZone;
        const unsigned char* src = code->data + y * n;
        for (int x = 0; x < n; ++x)
            row[x] = (src[x] & 1) ? 0 : 255; // bit 0 = dark module
    }
    return modules.scaled(pixels, pixels, Qt::IgnoreAspectRatio, Qt::FastTransformation)
        .convertToFormat(QImage::Format_RGB32);
}

} // namespace QRCode
