#include "views/FileDrops.h"

#include <QMimeData>
#include <QVariant>
#include <QWidget>

namespace {
constexpr char kClaim[] = "quillbayTakesFileDrops";
}

namespace FileDrops {

QList<QUrl> localFiles(const QMimeData* mime) {
    QList<QUrl> files;
    if (!mime || !mime->hasUrls())
        return files;
    for (const QUrl& url : mime->urls()) {
        // text/uri-list also carries web addresses on X11.
        if (url.isLocalFile() && !url.toLocalFile().isEmpty())
            files << url;
    }
    return files;
}

void claim(QWidget* target) {
    target->setAcceptDrops(true);
    target->setProperty(kClaim, true);
}

bool claimed(const QWidget* widget, const QWidget* host) {
    for (const QWidget* w = widget; w && w != host; w = w->parentWidget())
        if (w->property(kClaim).toBool())
            return true;
    return false;
}

} // namespace FileDrops
