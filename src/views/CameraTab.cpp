#include "views/CameraTab.h"

#include "services/CameraService.h"
#include "views/IconButton.h"
#include "views/Icons.h"
#include "views/KitPanelStyle.h"
#include "views/Switch.h"
#include "views/SystemColors.h"

#include <QAbstractButton>
#include <QGraphicsOpacityEffect>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QPushButton>
#include <QVBoxLayout>

namespace {

using KitPanelStyle::CapsuleButton;
using KitPanelStyle::pixelFont;

// The on / off capsule of the header: red while the mirror runs, green while it is off.
constexpr CapsuleButton::Look kMainLook{QSize(24, 10), 0, 0, 0, true};
// How much of its colour the header's capsule shows.
constexpr qreal kMainFillAlpha = 0.35;

QLabel* label(const QString& text, qreal px, QColor color, QWidget* parent) {
    auto* l = new QLabel(text, parent);
    l->setFont(pixelFont(px));
    QPalette pal = l->palette();
    pal.setColor(QPalette::WindowText, color);
    l->setPalette(pal);
    return l;
}

// One shape: its symbol and name on a capsule, brighter when chosen.
class ShapeChip : public QAbstractButton {
public:
    ShapeChip(QString symbol, const QString& text, QWidget* parent)
        : QAbstractButton(parent)
        , m_symbol(std::move(symbol)) {
        setText(text);
        setFont(pixelFont(10, QFont::DemiBold));
        setCheckable(true);
        setCursor(Qt::PointingHandCursor);
    }
    QSize sizeHint() const override {
        return QSize(10 + 12 + 4 + fontMetrics().horizontalAdvance(text()) + 10, fontMetrics().height() + 10);
    }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter p(this);
        p.setRenderHint(QPainter::Antialiasing);
        p.setPen(Qt::NoPen);
        p.setBrush(SystemColors::white(isChecked() ? 0.16 : 0.05));
        const QRectF r = QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5);
        p.drawRoundedRect(r, r.height() / 2, r.height() / 2);
        const QColor ink = isChecked() ? QColor(Qt::white) : SystemColors::white(0.5);
        const QSize iconSize(12, 12);
        const int textWidth = fontMetrics().horizontalAdvance(text());
        int x = (width() - (iconSize.width() + 4 + textWidth)) / 2;
        p.drawPixmap(QRect(QPoint(x, (height() - iconSize.height()) / 2), iconSize),
                     Icons::pixmap(m_symbol, iconSize, ink, devicePixelRatioF()));
        x += iconSize.width() + 4;
        p.setPen(ink);
        p.setFont(font());
        p.drawText(QRect(x, 0, textWidth + 1, height()), Qt::AlignVCenter | Qt::AlignLeft, text());
    }

private:
    QString m_symbol;
};

// A 16 × 16 colour dot, ringed in white when chosen.
class Swatch : public QAbstractButton {
public:
    Swatch(QColor color, QWidget* parent)
        : QAbstractButton(parent)
        , m_color(color) {
        setCheckable(true);
        setFixedSize(16, 16);
        setCursor(Qt::PointingHandCursor);
    }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter p(this);
        p.setRenderHint(QPainter::Antialiasing);
        p.setBrush(m_color);
        if (isChecked())
            p.setPen(QPen(Qt::white, 2));
        else
            p.setPen(Qt::NoPen);
        p.drawEllipse(QRectF(rect()).adjusted(1, 1, -1, -1));
    }

private:
    QColor m_color;
};

// A border width: a white bar 22 wide and as tall as the width, brighter when it is the current one.
class WidthButton : public QAbstractButton {
public:
    WidthButton(double width, QWidget* parent)
        : QAbstractButton(parent)
        , m_width(width) {
        setCheckable(true);
        setFixedSize(22, 18);
        setCursor(Qt::PointingHandCursor);
    }
    double value() const { return m_width; }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter p(this);
        p.setRenderHint(QPainter::Antialiasing);
        p.setPen(Qt::NoPen);
        p.setBrush(SystemColors::white(isChecked() ? 0.9 : 0.35));
        const QRectF bar(0, (height() - m_width) / 2, width(), m_width);
        p.drawRoundedRect(bar, m_width / 2, m_width / 2);
    }

private:
    double m_width;
};

QString shapeSymbol(CameraShape shape) {
    switch (shape) {
    case CameraShape::widescreen:
        return QStringLiteral("rectangle");
    case CameraShape::square:
        return QStringLiteral("square");
    case CameraShape::circle:
        return QStringLiteral("circle");
    }
    return QStringLiteral("rectangle");
}

} // namespace

CameraTab::CameraTab(CameraService& service, QWidget* parent)
    : QWidget(parent)
    , m_service(service) {
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(14, 10, 14, 10);
    column->setSpacing(10);

    auto* header = new QHBoxLayout();
    header->setSpacing(10);
    m_cameraButton = new IconButton(
        QStringLiteral("web.camera"), QString(), SystemColors::white(0.35), [this] { m_service.toggle(); },
        this);
    m_cameraButton->setObjectName(QStringLiteral("cameraToggle"));
    m_cameraButton->setFixedSize(26, 26);
    m_cameraButton->setIconSize(QSize(20, 20));
    header->addWidget(m_cameraButton, 0, Qt::AlignVCenter);
    m_status = label(QString(), 10, SystemColors::orange(), this);
    m_status->setObjectName(QStringLiteral("cameraStatus"));
    m_status->setWordWrap(true);
    header->addWidget(m_status, 1, Qt::AlignVCenter);
    header->addStretch();
    auto* main = new CapsuleButton(kMainLook, this);
    main->setObjectName(QStringLiteral("cameraMain"));
    main->setFont(pixelFont(12, QFont::DemiBold));
    main->setCursor(Qt::PointingHandCursor);
    connect(main, &QPushButton::clicked, this, [this] { m_service.toggle(); });
    m_mainButton = main;
    header->addWidget(main, 0, Qt::AlignVCenter);
    column->addLayout(header);

    auto* shapes = new QHBoxLayout();
    shapes->setSpacing(6);
    shapes->addWidget(label(tr("Shape"), 11, SystemColors::white(0.6), this));
    for (CameraShape shape : CameraShapes::all) {
        auto* chip = new ShapeChip(shapeSymbol(shape), CameraShapes::rawValue(shape), this);
        chip->setObjectName(QStringLiteral("shape-%1").arg(CameraShapes::rawValue(shape)));
        connect(chip, &QAbstractButton::clicked, this, [this, shape] {
            m_service.setShape(shape);
            refresh(); // a repeated tap on the chosen chip must not leave it unchecked
        });
        m_shapeChips.append(chip);
        shapes->addWidget(chip);
    }
    shapes->addStretch();
    column->addLayout(shapes);

    auto* border = new QHBoxLayout();
    border->setSpacing(10);
    border->addWidget(label(tr("Border"), 11, SystemColors::white(0.6), this));
    m_borderSwitch = Switch::onIsland(this);
    m_borderSwitch->setObjectName(QStringLiteral("borderSwitch"));
    connect(m_borderSwitch, &QAbstractButton::clicked, this, [this](bool on) { m_service.setBorderOn(on); });
    border->addWidget(m_borderSwitch);
    m_borderChoices = new QWidget(this);
    auto* choices = new QHBoxLayout(m_borderChoices);
    choices->setContentsMargins(0, 0, 0, 0);
    choices->setSpacing(10);
    auto* swatches = new QHBoxLayout();
    swatches->setSpacing(6);
    const QList<QColor>& colors = CameraService::borderColors();
    for (int i = 0; i < colors.size(); ++i) {
        auto* swatch = new Swatch(colors[i], m_borderChoices);
        swatch->setObjectName(QStringLiteral("swatch-%1").arg(i));
        connect(swatch, &QAbstractButton::clicked, this, [this, i] {
            m_service.setBorderColorIndex(i);
            refresh();
        });
        m_swatches.append(swatch);
        swatches->addWidget(swatch);
    }
    choices->addLayout(swatches);
    auto* widths = new QHBoxLayout();
    widths->setSpacing(4);
    for (double w : kBorderWidths) {
        auto* button = new WidthButton(w, m_borderChoices);
        button->setObjectName(QStringLiteral("width-%1").arg(w));
        connect(button, &QAbstractButton::clicked, this, [this, w] {
            m_service.setBorderWidth(w);
            refresh();
        });
        m_widths.append(button);
        widths->addWidget(button);
    }
    choices->addLayout(widths);
    // Faded while the border is off, yet still there to choose from.
    auto* fade = new QGraphicsOpacityEffect(m_borderChoices);
    m_borderChoices->setGraphicsEffect(fade);
    border->addWidget(m_borderChoices);
    border->addStretch();
    column->addLayout(border);

    m_mirrorSwitch = Switch::onIsland(this);
    m_mirrorSwitch->setObjectName(QStringLiteral("mirrorSwitch"));
    m_mirrorSwitch->setText(tr("Mirror the image (like a real mirror)"));
    m_mirrorSwitch->setFont(pixelFont(11));
    connect(m_mirrorSwitch, &QAbstractButton::clicked, this, [this](bool on) { m_service.setMirrored(on); });
    column->addWidget(m_mirrorSwitch, 0, Qt::AlignLeft);

    QLabel* hint =
        label(tr("Drag the middle to move · pull edges and corners to resize (the cursor changes). "
                 "The preview stays on screen even when the island is closed."),
              9.5, SystemColors::white(0.4), this);
    hint->setObjectName(QStringLiteral("cameraHint"));
    hint->setWordWrap(true);
    column->addWidget(hint);
    column->addStretch();

    for (auto signal :
         {&CameraService::isActiveChanged, &CameraService::statusChanged, &CameraService::shapeChanged,
          &CameraService::borderOnChanged, &CameraService::borderColorIndexChanged,
          &CameraService::borderWidthChanged, &CameraService::mirroredChanged})
        connect(&m_service, signal, this, &CameraTab::refresh);
    refresh();
}

void CameraTab::refresh() {
    const bool on = m_service.isActive();
    m_cameraButton->setSymbol(on ? QStringLiteral("web.camera.fill") : QStringLiteral("web.camera"));
    m_cameraButton->setTint(on ? SystemColors::green() : SystemColors::white(0.35));
    m_status->setText(m_service.status());
    m_status->setVisible(!m_service.status().isEmpty());
    auto* main = static_cast<CapsuleButton*>(m_mainButton);
    main->setText(on ? tr("Turn off mirror") : tr("Turn on camera"));
    QColor fill = on ? SystemColors::red() : SystemColors::green();
    fill.setAlphaF(kMainFillAlpha);
    main->setFillColor(fill);
    main->updateGeometry();

    for (int i = 0; i < m_shapeChips.size(); ++i)
        m_shapeChips[i]->setChecked(CameraShapes::all[size_t(i)] == m_service.shape());
    m_borderSwitch->setChecked(m_service.borderOn());
    for (int i = 0; i < m_swatches.size(); ++i)
        m_swatches[i]->setChecked(i == m_service.borderColorIndex());
    for (QAbstractButton* b : m_widths)
        b->setChecked(static_cast<WidthButton*>(b)->value() == m_service.borderWidth());
    static_cast<QGraphicsOpacityEffect*>(m_borderChoices->graphicsEffect())
        ->setOpacity(m_service.borderOn() ? 1.0 : 0.3);
    m_mirrorSwitch->setChecked(m_service.mirrored());
}
