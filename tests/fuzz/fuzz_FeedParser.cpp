// libFuzzer entry over the feed reader: any bytes must give a result or a refusal, never a crash.
#include "services/FeedParser.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QByteArray bytes = QByteArray::fromRawData(reinterpret_cast<const char*>(data), qsizetype(size));
    QString error;
    (void)FeedParser::parse(bytes, &error);
    (void)FeedParser::parseDate(QString::fromLatin1(bytes.left(80)));
    (void)FeedParser::semHTML(QString::fromUtf8(bytes.left(4096)));
    return 0;
}
