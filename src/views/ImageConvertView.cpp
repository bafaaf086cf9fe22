#include "views/ImageConvertView.h"

#include "services/UtilsState.h"
#include "views/ChipRow.h"
#include "views/FileDrops.h"
#include "views/Icons.h"
#include "views/KitOutputText.h"
#include "views/KitPanelStyle.h"
#include "views/SystemColors.h"

#include <QDragEnterEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QMimeData>
#include <QPainter>
#include <QVBoxLayout>

using KitPanelStyle::pixelFont;

namespace {

QStringList localPaths(const QMimeData* data) {
    QStringList paths;
    for (const QUrl& url : FileDrops::localFiles(data))
        paths.append(url.toLocalFile());
    return paths;
}

// The dashed drop zone; brighter while a drag of files hovers over it.
// It takes file drags itself, so the island around it does not put them on the shelf.
class DropZone : public QWidget {
public:
    DropZone(ImageConvertView* owner, QWidget* parent)
        : QWidget(parent)
        , m_owner(owner) {
        setMinimumHeight(80);
        FileDrops::claim(this);
    }

protected:
    void dragEnterEvent(QDragEnterEvent* event) override {
        if (localPaths(event->mimeData()).isEmpty()) {
            event->ignore(); // not files: the island may take it
            return;
        }
        event->acceptProposedAction();
        m_owner->setTargeted(true);
    }
    void dragMoveEvent(QDragMoveEvent* event) override {
        if (localPaths(event->mimeData()).isEmpty())
            event->ignore();
        else
            event->acceptProposedAction();
    }
    void dragLeaveEvent(QDragLeaveEvent*) override { m_owner->setTargeted(false); }
    void dropEvent(QDropEvent* event) override {
        m_owner->setTargeted(false);
        const QStringList paths = localPaths(event->mimeData());
        if (paths.isEmpty()) {
            event->ignore();
            return;
        }
        event->acceptProposedAction();
        m_owner->dropFiles(paths);
    }

    void paintEvent(QPaintEvent*) override {
        const bool on = m_owner->targeted();
        QPainter p(this);
        p.setRenderHint(QPainter::Antialiasing);
        const QRectF r = QRectF(rect()).adjusted(0.75, 0.75, -0.75, -0.75);
        p.setPen(Qt::NoPen);
        p.setBrush(SystemColors::white(on ? 0.08 : 0.03));
        p.drawRoundedRect(r, 10, 10);
        QPen dash(SystemColors::white(on ? 0.6 : 0.2), 1.5);
        dash.setDashPattern({6 / 1.5, 6 / 1.5});
        p.setPen(dash);
        p.setBrush(Qt::NoBrush);
        p.drawRoundedRect(r, 10, 10);

        const QFont textFont = pixelFont(10);
        const QString text = ImageConvertView::tr("Drop images here (HEIC, PNG, JPEG, TIFF, WebP…)\nThe "
                                                  "converted file is saved in the same folder.");
        const QFontMetrics fm(textFont);
        const QRect textBox =
            fm.boundingRect(QRect(0, 0, width() - 16, 1000), Qt::AlignHCenter | Qt::TextWordWrap, text);
        const int top = (height() - 24 - 6 - textBox.height()) / 2;
        p.drawPixmap(QRect((width() - 24) / 2, top, 24, 24),
                     Icons::pixmap(QStringLiteral("photo.badge.arrow.down"), QSize(24, 24),
                                   SystemColors::white(on ? 0.8 : 0.3), devicePixelRatioF()));
        p.setFont(textFont);
        p.setPen(SystemColors::white(0.4));
        p.drawText(QRect(8, top + 30, width() - 16, textBox.height()), Qt::AlignHCenter | Qt::TextWordWrap,
                   text);
    }

private:
    ImageConvertView* m_owner;
};

} // namespace

ImageConvertView::ImageConvertView(UtilsState& utils, QWidget* parent)
    : QWidget(parent)
    , m_utils(utils) {
    const auto [column, top] = KitPanelStyle::panelColumn(this);
    auto* label = new QLabel(tr("Convert to:"), this);
    label->setFont(pixelFont(10));
    label->setStyleSheet(QStringLiteral("color: rgba(255,255,255,0.55); background: transparent;"));
    top->addWidget(label);
    m_formats = new ChipRow(this);
    m_formats->setObjectName(QStringLiteral("formats"));
    QList<ChipRow::Chip> chips;
    for (ImageOutputFormat f :
         {ImageOutputFormat::png, ImageOutputFormat::jpeg, ImageOutputFormat::heic, ImageOutputFormat::tiff})
        chips.append({rawValue(f), QString(), int(f)});
    m_formats->setChips(chips);
    connect(m_formats, &ChipRow::chosen, this,
            [this](int v) { m_utils.setImageFormat(ImageOutputFormat(v)); });
    top->addWidget(m_formats);
    top->addStretch(1);

    m_zone = new DropZone(this, this);
    m_zone->setObjectName(QStringLiteral("dropZone"));
    column->addWidget(m_zone);

    m_text = new KitOutputText(QString(), 10, this);
    m_text->setObjectName(QStringLiteral("output"));
    column->addWidget(m_text, 1);
    column->addStretch(0);

    connect(&m_utils, &UtilsState::imageFormatChanged, this, &ImageConvertView::refresh);
    connect(&m_utils, &UtilsState::outputChanged, this, &ImageConvertView::refresh);
    refresh();
}

void ImageConvertView::refresh() {
    m_formats->setCurrent(int(m_utils.imageFormat()));
    const QString output = m_utils.output();
    m_text->showOutput(output);
    m_text->setVisible(!output.isEmpty());
}

void ImageConvertView::setTargeted(bool targeted) {
    if (targeted == m_targeted)
        return;
    m_targeted = targeted;
    m_zone->update();
}

void ImageConvertView::dropFiles(const QStringList& paths) {
    if (!paths.isEmpty())
        m_utils.convertImages(paths);
}
