// Phone view: close and copy in the header, the code on a white card, the address below it.
#include "views/QRViewer.h"

#include "services/ClipboardService.h"
#include "views/IconButton.h"
#include "views/SystemColors.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QPainterPath>
#include <QVBoxLayout>

// The code drawn without smoothing, so the modules stay sharp at any scale.
class ModulesView : public QWidget {
public:
    explicit ModulesView(QWidget* parent)
        : QWidget(parent) {
        setFixedSize(150, 150);
    }
    void setImage(const QImage& image) {
        m_image = image;
        update();
    }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter p(this);
        p.setRenderHint(QPainter::SmoothPixmapTransform, false);
        p.drawImage(rect(), m_image);
    }

private:
    QImage m_image;
};

namespace {

// The white rounded card behind the code; its padding is the layout's margin.
class WhiteCard : public QWidget {
public:
    using QWidget::QWidget;

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter p(this);
        p.setRenderHint(QPainter::Antialiasing);
        QPainterPath path;
        path.addRoundedRect(QRectF(rect()), 10, 10);
        p.fillPath(path, Qt::white);
    }
};

QLabel* textLabel(int pixelSize, const QString& color, QWidget* parent) {
    auto* label = new QLabel(parent);
    label->setTextFormat(Qt::PlainText);
    QFont f = label->font();
    f.setPixelSize(pixelSize);
    label->setFont(f);
    label->setStyleSheet(QStringLiteral("color: %1; background: transparent;").arg(color));
    return label;
}

} // namespace

QRViewer::QRViewer(CommandsService& service, ClipboardService& clipboard, const CommandsService::QRInfo& info,
                   QWidget* parent)
    : QWidget(parent)
    , m_service(service)
    , m_clipboard(clipboard) {
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(0, 8, 0, 0);
    column->setSpacing(8);

    auto* header = new QHBoxLayout;
    header->setSpacing(8);
    header->addWidget(new IconButton(
        QStringLiteral("xmark"), QStringLiteral("Close"), Qt::white,
        [this] { m_service.setQrInfo(std::nullopt); }, this));
    m_title = textLabel(12, QStringLiteral("white"), this);
    QFont titleFont = m_title->font();
    titleFont.setWeight(QFont::DemiBold);
    m_title->setFont(titleFont);
    m_title->setObjectName(QStringLiteral("qrTitle"));
    header->addWidget(m_title);
    header->addStretch(1);
    m_copy = new IconButton(
        QStringLiteral("doc.on.doc"), QStringLiteral("Copy URL"), Qt::white,
        [this] {
            if (!m_info.url)
                return;
            m_clipboard.copyText(*m_info.url);
        },
        this);
    m_copy->setObjectName(QStringLiteral("copyURL"));
    header->addWidget(m_copy);
    column->addLayout(header);

    m_card = new WhiteCard(this);
    m_card->setObjectName(QStringLiteral("qrImage"));
    auto* cardLayout = new QVBoxLayout(m_card);
    cardLayout->setContentsMargins(8, 8, 8, 8);
    m_image = new ModulesView(m_card);
    cardLayout->addWidget(m_image);
    column->addWidget(m_card, 0, Qt::AlignHCenter);

    m_url = textLabel(10, SystemColors::cyan().name(), this);
    m_url->setObjectName(QStringLiteral("qrURL"));
    m_url->setTextInteractionFlags(Qt::TextSelectableByMouse);
    column->addWidget(m_url, 0, Qt::AlignHCenter);

    m_message = textLabel(11, QStringLiteral("rgba(255, 255, 255, 140)"), this);
    m_message->setObjectName(QStringLiteral("qrMessage"));
    m_message->setWordWrap(true);
    m_message->setAlignment(Qt::AlignCenter);
    column->addWidget(m_message);
    column->addStretch(1);

    setInfo(info);
}

void QRViewer::setInfo(const CommandsService::QRInfo& info) {
    m_info = info;
    m_title->setText(tr("Open %1 on your phone").arg(info.name));
    m_copy->setVisible(info.url.has_value());
    const bool hasImage = !info.image.isNull();
    m_card->setVisible(hasImage);
    m_image->setImage(info.image);
    m_url->setVisible(hasImage && info.url.has_value());
    m_url->setText(info.url ? tr("%1  ·  phone on the same Wi-Fi").arg(*info.url) : QString());
    m_message->setVisible(!hasImage);
    m_message->setText(info.message.value_or(QStringLiteral("…")));
}
