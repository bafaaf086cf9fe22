// libFuzzer entry over the decoders of the stored files (clipboard, custom tabs, feeds, news, shelf, board,
// saved commands): any bytes must decode or be refused, never crash; and what decodes must keep its
// stored form through another save and load, or a store would change (lose data) each time it is read.
#include "model/ClipItem.h"
#include "model/CustomTab.h"
#include "model/Feed.h"
#include "model/KanbanCard.h"
#include "model/NewsItem.h"
#include "model/SavedCommand.h"
#include "model/ShelfItem.h"

#include <QJsonDocument>

#include <cstddef>
#include <cstdint>

namespace {

// The encoded form is the same after one more decode and encode.
template <typename Decode, typename Encode>
void roundTrip(const QByteArray& bytes, Decode decode, Encode encode) {
    const auto first = decode(bytes);
    if (!first)
        return;
    const QByteArray saved = encode(*first);
    const auto again = decode(saved);
    if (!again || encode(*again) != saved)
        __builtin_trap();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0)
        return 0;
    // The first byte picks the store; the rest is the file.
    const QByteArray bytes(reinterpret_cast<const char*>(data + 1), qsizetype(size - 1));
    switch (data[0] % 7) {
    case 0:
        roundTrip(bytes, ClipItemCodec::decode, ClipItemCodec::encode);
        break;
    case 1:
        roundTrip(bytes, CustomTabCodec::decode, CustomTabCodec::encode);
        break;
    case 2:
        roundTrip(bytes, Feeds::decode, Feeds::encode);
        break;
    case 3:
        roundTrip(bytes, NewsItems::decode, NewsItems::encode);
        break;
    case 4:
        roundTrip(bytes, ShelfItems::decode, ShelfItems::encode);
        break;
    case 5:
        roundTrip(bytes, SavedCommandCodec::decodeList, SavedCommandCodec::encodeList);
        break;
    case 6:
        // The board is kept inside the settings file as a JSON value.
        roundTrip(
            bytes,
            [](const QByteArray& b) {
                const QJsonDocument doc = QJsonDocument::fromJson(b);
                return KanbanCards::decode(doc.isArray() ? QJsonValue(doc.array())
                                                         : QJsonValue(doc.object()));
            },
            [](const QList<KanbanCard>& cards) {
                return QJsonDocument(KanbanCards::encode(cards)).toJson();
            });
        break;
    }
    return 0;
}
