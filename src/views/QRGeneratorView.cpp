#include "views/QRGeneratorView.h"

#include "services/UtilsState.h"
#include "views/IconButton.h"
#include "views/Icons.h"
#include "views/KitPanelStyle.h"
#include "views/SystemColors.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QStackedWidget>
#include <QVBoxLayout>

using KitPanelStyle::pixelFont;

namespace {

// The code on a white card, drawn without smoothing so the modules stay sharp.
class QRCard : public QLabel {
public:
    using QLabel::QLabel;
    QImage image;

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter p(this);
        p.setRenderHint(QPainter::Antialiasing);
        p.setPen(Qt::NoPen);
        p.setBrush(Qt::white);
        p.drawRoundedRect(QRectF(rect()), 10, 10);
        p.setRenderHint(QPainter::SmoothPixmapTransform, false);
        if (!image.isNull())
            p.drawImage(rect().adjusted(8, 8, -8, -8), image);
    }
};

} // namespace

QRGeneratorView::QRGeneratorView(UtilsState& utils, QWidget* parent)
    : QWidget(parent)
    , m_utils(utils) {
    const auto [column, top] = KitPanelStyle::panelColumn(this);
    m_field = new QLineEdit(this);
    m_field->setObjectName(QStringLiteral("url"));
    m_field->setPlaceholderText(QStringLiteral("Cole uma URL — ex: https://example.org ou localhost:3000"));
    m_field->setFont(pixelFont(10.5, QFont::Normal, true));
    m_field->setFrame(false);
    m_field->setStyleSheet(QStringLiteral("QLineEdit { color: white; background: rgba(255,255,255,0.07);"
                                          " border-radius: 8px; padding: 7px 9px; }"));
    connect(m_field, &QLineEdit::textEdited, &m_utils, &UtilsState::setInput);
    top->addWidget(m_field, 1);
    auto* paste = new KitPanelStyle::CapsuleButton(QStringLiteral("doc.on.clipboard"), tr("Colar"), 0.12,
                                                   QSize(9, 6), this);
    paste->setObjectName(QStringLiteral("paste"));
    paste->setFont(pixelFont(10, QFont::DemiBold));
    paste->setToolTip(tr("Colar URL da área de transferência"));
    connect(paste, &QPushButton::clicked, &m_utils, &UtilsState::pasteURL);
    top->addWidget(paste);
    m_clear = new IconButton(
        QStringLiteral("xmark.circle"), QStringLiteral("Limpar"), Qt::white,
        [this] { m_utils.setInput(QString()); }, this);
    m_clear->setObjectName(QStringLiteral("clear"));
    top->addWidget(m_clear);

    m_body = new QStackedWidget(this);
    // Without a code: the faint symbol and the output or the hint.
    auto* empty = new QWidget(m_body);
    auto* emptyColumn = new QVBoxLayout(empty);
    emptyColumn->setSpacing(8);
    emptyColumn->addStretch(1);
    auto* symbol = new QLabel(empty);
    symbol->setPixmap(Icons::pixmap(QStringLiteral("qrcode"), QSize(30, 30), SystemColors::white(0.2),
                                    devicePixelRatioF()));
    symbol->setAlignment(Qt::AlignCenter);
    emptyColumn->addWidget(symbol);
    m_message = new QLabel(empty);
    m_message->setObjectName(QStringLiteral("message"));
    m_message->setAlignment(Qt::AlignCenter);
    m_message->setWordWrap(true);
    m_message->setTextFormat(Qt::PlainText);
    m_message->setFont(pixelFont(11));
    emptyColumn->addWidget(m_message);
    emptyColumn->addStretch(1);
    m_body->addWidget(empty);

    auto* shown = new QWidget(m_body);
    auto* row = new QHBoxLayout(shown);
    row->setSpacing(14);
    row->addStretch(1);
    auto* card = new QRCard(shown);
    card->setObjectName(QStringLiteral("code"));
    card->setFixedSize(156 + 16, 156 + 16);
    m_image = card;
    row->addWidget(card, 0, Qt::AlignVCenter);
    auto* side = new QVBoxLayout;
    side->setSpacing(10);
    side->addStretch(1);
    auto* title = new QLabel(tr("Point your phone's camera"), shown);
    title->setFont(pixelFont(12, QFont::DemiBold));
    title->setStyleSheet(QStringLiteral("color: white; background: transparent;"));
    side->addWidget(title);
    m_address = new QLabel(shown);
    m_address->setObjectName(QStringLiteral("address"));
    m_address->setTextFormat(Qt::PlainText);
    m_address->setWordWrap(true);
    m_address->setTextInteractionFlags(Qt::TextSelectableByMouse);
    m_address->setFont(pixelFont(10, QFont::Normal, true));
    m_address->setMaximumHeight(QFontMetrics(m_address->font()).lineSpacing() * 4);
    m_address->setStyleSheet(
        QStringLiteral("color: %1; background: transparent;").arg(SystemColors::cyan().name()));
    side->addWidget(m_address);
    auto* lanHint =
        new QLabel(tr("For local addresses, keep your phone on the same Wi-Fi as your Mac."), shown);
    lanHint->setWordWrap(true);
    lanHint->setFont(pixelFont(10));
    lanHint->setStyleSheet(QStringLiteral("color: rgba(255,255,255,0.45); background: transparent;"));
    side->addWidget(lanHint);
    auto* copy = new KitPanelStyle::CapsuleButton(QStringLiteral("doc.on.doc"), tr("Copy URL"), 0.12,
                                                  QSize(9, 5), shown);
    copy->setObjectName(QStringLiteral("copy"));
    copy->setFont(pixelFont(10, QFont::DemiBold));
    connect(copy, &QPushButton::clicked, &m_utils, &UtilsState::copyOutput);
    side->addWidget(copy, 0, Qt::AlignLeft);
    side->addStretch(1);
    row->addLayout(side, 1);
    m_body->addWidget(shown);
    column->addWidget(m_body, 1);

    connect(&m_utils, &UtilsState::inputChanged, this, &QRGeneratorView::refresh);
    connect(&m_utils, &UtilsState::outputChanged, this, &QRGeneratorView::refresh);
    connect(&m_utils, &UtilsState::qrImageChanged, this, &QRGeneratorView::refresh);
    refresh();
}

void QRGeneratorView::refresh() {
    // Only a change from elsewhere is written back, so typing keeps its cursor.
    if (m_field->text() != m_utils.input())
        m_field->setText(m_utils.input());
    m_clear->setVisible(!m_utils.input().isEmpty());
    const QImage code = m_utils.qrImage();
    const QString output = m_utils.output();
    static_cast<QRCard*>(m_image)->image = code;
    m_image->update();
    m_address->setText(output);
    const bool error = output.startsWith(QStringLiteral("❌"));
    m_message->setText(output.isEmpty() ? QStringLiteral("Digite ou cole uma URL para gerar o QR Code")
                                        : output);
    m_message->setStyleSheet(
        QStringLiteral("color: %1; background: transparent;")
            .arg(error ? SystemColors::red().name() : QStringLiteral("rgba(255,255,255,0.45)")));
    m_body->setCurrentIndex(code.isNull() ? 0 : 1);
}
