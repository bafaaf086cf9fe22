// libFuzzer entry over the kit's text tools: any text, with every tool, must give an output text (a result
// or a "❌" line), never a crash, an overflow or a hang.
#include "services/KitTools.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0)
        return 0;
    // The first byte picks the tool; the rest is the pasted text, as bytes from anywhere (not always UTF-8).
    const DevTool tool = DevTool(data[0] % 9);
    const QString text = QString::fromUtf8(reinterpret_cast<const char*>(data + 1), qsizetype(size - 1));
    static const QDateTime now = QDateTime::fromSecsSinceEpoch(1784493808, Qt::UTC);
    static const KitTools::LanLookup lan = [] {
        return std::optional<QString>(QStringLiteral("192.168.1.20"));
    };
    const KitTools::Result result = KitTools::process(tool, text, now, lan);
    if (!text.trimmed().isEmpty() && tool != DevTool::uuid && tool != DevTool::ocr &&
        tool != DevTool::image && result.output.isEmpty())
        __builtin_trap(); // every text tool answers a non-blank input
    (void)KitTools::detectTool(text);
    return 0;
}
