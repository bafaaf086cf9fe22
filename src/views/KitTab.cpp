#include "views/KitTab.h"

#include "services/KitTools.h"
#include "services/UtilsState.h"
#include "views/ChipRow.h"
#include "views/ElidedLabel.h"
#include "views/IconButton.h"
#include "views/ImageConvertView.h"
#include "views/KitOutputText.h"
#include "views/KitPanelStyle.h"
#include "views/OCRView.h"
#include "views/QRGeneratorView.h"
#include "views/SystemColors.h"

#include <QColorDialog>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QPlainTextEdit>
#include <QSignalBlocker>
#include <QStackedWidget>
#include <QToolButton>
#include <QVBoxLayout>

using KitPanelStyle::pixelFont;

namespace {

constexpr DevTool kTools[] = {DevTool::json,  DevTool::jwt, DevTool::uuid, DevTool::base64, DevTool::epoch,
                              DevTool::color, DevTool::qr,  DevTool::ocr,  DevTool::image};

enum Page { textPage, qrPage, ocrPage, imagePage };

QString placeholder(DevTool tool) {
    switch (tool) {
    case DevTool::json:
        return QStringLiteral("Cole um JSON pra formatar…");
    case DevTool::jwt:
        return QStringLiteral("Cole um token JWT (xxx.yyy.zzz)…");
    case DevTool::base64:
        return QStringLiteral("Texto pra codificar, ou base64 pra decodificar…");
    case DevTool::epoch:
        return QStringLiteral("Ex: 1784493808, 1784493808000 ou 2026-07-13T19:00:00Z");
    case DevTool::color:
        return QStringLiteral("Ex: #FF6B35 ou rgb(255, 107, 53)");
    default:
        return QString();
    }
}

// A square filled with a colour and outlined faintly.
class Swatch : public QWidget {
public:
    using QWidget::QWidget;
    QColor color = SystemColors::orange();
    qreal radius = 6;

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter p(this);
        p.setRenderHint(QPainter::Antialiasing);
        p.setPen(QPen(SystemColors::white(0.2), 1));
        p.setBrush(color);
        p.drawRoundedRect(QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5), radius, radius);
    }
};

class WellButton : public QToolButton {
public:
    using QToolButton::QToolButton;
    QColor color = SystemColors::orange();

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter p(this);
        p.setRenderHint(QPainter::Antialiasing);
        p.setPen(QPen(SystemColors::white(0.3), 1));
        p.setBrush(color);
        p.drawRoundedRect(QRectF(rect()).adjusted(2.5, 2.5, -2.5, -2.5), 4, 4);
    }
};

} // namespace

KitTab::KitTab(UtilsState& utils, QWidget* parent)
    : QWidget(parent)
    , m_utils(utils) {
    const auto [column, top] = KitPanelStyle::panelColumn(this, QMargins(0, 8, 0, 0), 6, 4);
    m_chips = new ChipRow(this);
    m_chips->setObjectName(QStringLiteral("tools"));
    m_chips->setSpacing(8, 4);
    QList<ChipRow::Chip> chips;
    for (DevTool tool : kTools)
        chips.append({KitTools::rawValue(tool), KitTools::symbol(tool), int(tool)});
    m_chips->setChips(chips);
    connect(m_chips, &ChipRow::chosen, this, [this](int v) { m_utils.setTool(DevTool(v)); });
    top->addWidget(m_chips);
    top->addStretch(1);
    auto* detect = new IconButton(
        QStringLiteral("sparkles.rectangle.stack"),
        QStringLiteral("Paste from clipboard and detect the tool"), Qt::white,
        [this] { m_utils.pasteAndDetect(); }, this);
    detect->setObjectName(QStringLiteral("pasteDetect"));
    top->addWidget(detect);

    m_pages = new QStackedWidget(this);
    m_textPage = buildTextPage();
    m_pages->insertWidget(textPage, m_textPage);
    auto* qr = new QRGeneratorView(m_utils, m_pages);
    qr->setObjectName(QStringLiteral("qrPanel"));
    m_pages->insertWidget(qrPage, qr);
    auto* ocr = new OCRView(m_utils, m_pages);
    ocr->setObjectName(QStringLiteral("ocrPanel"));
    m_pages->insertWidget(ocrPage, ocr);
    auto* image = new ImageConvertView(m_utils, m_pages);
    image->setObjectName(QStringLiteral("imagePanel"));
    m_pages->insertWidget(imagePage, image);
    column->addWidget(m_pages, 1);

    connect(&m_utils, &UtilsState::toolChanged, this, &KitTab::refreshTool);
    connect(&m_utils, &UtilsState::inputChanged, this, &KitTab::refreshInput);
    connect(&m_utils, &UtilsState::outputChanged, this, &KitTab::refreshOutput);
    connect(&m_utils, &UtilsState::swatchChanged, this, &KitTab::refreshSwatch);
    refreshTool();
    refreshInput();
    refreshOutput();
    refreshSwatch();
}

QWidget* KitTab::buildTextPage() {
    auto* page = new QWidget(this);
    auto* column = new QVBoxLayout(page);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(6);

    m_colorRow = new QWidget(page);
    m_colorRow->setObjectName(QStringLiteral("colorRow"));
    auto* row = new QHBoxLayout(m_colorRow);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(6);
    auto* well = new WellButton(m_colorRow);
    m_well = well;
    m_well->setObjectName(QStringLiteral("colorWell"));
    m_well->setFixedSize(28, 24);
    m_well->setToolTip(tr("Pick a color"));
    m_well->setAccessibleName(tr("Escolher cor"));
    m_well->setCursor(Qt::PointingHandCursor);
    connect(m_well, &QToolButton::clicked, this, &KitTab::chooseColor);
    row->addWidget(m_well);
    auto* pick = new KitPanelStyle::CapsuleButton(QStringLiteral("eyedropper"), tr("Pick from screen"), 0.09,
                                                  QSize(7, 4), m_colorRow);
    pick->setObjectName(QStringLiteral("pickScreen"));
    pick->setFont(pixelFont(10, QFont::DemiBold));
    pick->setInk(0.75);
    connect(pick, &QPushButton::clicked, &m_utils, &UtilsState::pickColorFromScreen);
    row->addWidget(pick);
    // One line that ends in "…" when the input is longer than the row.
    m_colorInput = new ElidedLabel(Qt::ElideRight, m_colorRow);
    m_colorInput->setObjectName(QStringLiteral("colorInput"));
    m_colorInput->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    m_colorInput->setFont(pixelFont(10, QFont::Normal, true));
    m_colorInput->setStyleSheet(QStringLiteral("color: rgba(255,255,255,0.45); background: transparent;"));
    row->addWidget(m_colorInput, 1);
    column->addWidget(m_colorRow);

    m_editor = new QPlainTextEdit(page);
    m_editor->setObjectName(QStringLiteral("editor"));
    m_editor->setFixedHeight(74);
    m_editor->setFont(pixelFont(10.5, QFont::Normal, true));
    m_editor->setFrameShape(QFrame::NoFrame);
    m_editor->setStyleSheet(
        QStringLiteral("QPlainTextEdit { color: white; background: rgba(255,255,255,0.07);"
                       " border-radius: 8px; padding: 4px; }"));
    QPalette pal = m_editor->palette();
    pal.setColor(QPalette::PlaceholderText, SystemColors::white(0.3));
    m_editor->setPalette(pal);
    connect(m_editor, &QPlainTextEdit::textChanged, this, [this] {
        const QString text = m_editor->toPlainText();
        if (text != m_utils.input())
            m_utils.setInput(text);
    });
    column->addWidget(m_editor);

    auto* result = new QHBoxLayout;
    result->setSpacing(6);
    m_result = new KitOutputText(QStringLiteral("result…"), 10.5, page);
    m_result->setObjectName(QStringLiteral("result"));
    result->addWidget(m_result, 1);
    auto* side = new QVBoxLayout;
    side->setSpacing(6);
    // Beside the UUID it makes rather than in the chip row: the row has no room left for it, and
    // making room would drop every chip's symbol and move the chips whenever UUID is chosen.
    m_generate = new KitPanelStyle::CapsuleButton(QString(), tr("Generate"), 0.16, QSize(10, 4), page);
    m_generate->setObjectName(QStringLiteral("generate"));
    m_generate->setFont(pixelFont(10, QFont::DemiBold));
    connect(m_generate, &QPushButton::clicked, &m_utils, &UtilsState::generateUUID);
    side->addWidget(m_generate, 0, Qt::AlignHCenter);
    auto* swatch = new Swatch(page);
    m_swatch = swatch;
    m_swatch->setObjectName(QStringLiteral("swatch"));
    m_swatch->setFixedSize(34, 34);
    side->addWidget(m_swatch, 0, Qt::AlignHCenter);
    m_copy = new IconButton(
        QStringLiteral("doc.on.doc"), QStringLiteral("Copy result"), Qt::white,
        [this] { m_utils.copyOutput(); }, page);
    m_copy->setObjectName(QStringLiteral("copy"));
    side->addWidget(m_copy, 0, Qt::AlignHCenter);
    side->addStretch(1);
    result->addLayout(side);
    column->addLayout(result, 1);
    return page;
}

void KitTab::refreshTool() {
    const DevTool tool = m_utils.tool();
    m_chips->setCurrent(int(tool));
    m_generate->setVisible(tool == DevTool::uuid);
    switch (tool) {
    case DevTool::qr:
        m_pages->setCurrentIndex(qrPage);
        break;
    case DevTool::ocr:
        m_pages->setCurrentIndex(ocrPage);
        break;
    case DevTool::image:
        m_pages->setCurrentIndex(imagePage);
        break;
    default:
        m_pages->setCurrentIndex(textPage);
        break;
    }
    m_colorRow->setVisible(tool == DevTool::color);
    m_editor->setVisible(tool != DevTool::uuid);
    m_editor->setPlaceholderText(placeholder(tool));
}

void KitTab::refreshInput() {
    const QString input = m_utils.input();
    if (m_editor->toPlainText() != input) {
        const QSignalBlocker block(m_editor);
        m_editor->setPlainText(input);
    }
    m_colorInput->setText(input.isEmpty() ? QStringLiteral("Escolha ou informe um HEX")
                                          : input.left(200).split(QLatin1Char('\n')).value(0));
}

void KitTab::refreshOutput() {
    m_result->showOutput(m_utils.output());
}

void KitTab::refreshSwatch() {
    const std::optional<QColor> swatch = m_utils.swatch();
    m_swatch->setVisible(swatch.has_value());
    if (swatch)
        static_cast<Swatch*>(m_swatch)->color = *swatch;
    m_swatch->update();
    static_cast<WellButton*>(m_well)->color = swatch.value_or(SystemColors::orange());
    m_well->update();
}

void KitTab::chooseColor() {
    // A dialog of the island's own window: the island then stacks itself right under it and hands it the
    // keyboard, as it does for the command form's file pickers. The desktop's own dialog would open
    // behind the island.
    auto* dialog = new QColorDialog(m_utils.swatch().value_or(SystemColors::orange()), window());
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->setWindowTitle(tr("Escolher cor"));
    dialog->setOption(QColorDialog::ShowAlphaChannel, false);
    dialog->setOption(QColorDialog::DontUseNativeDialog);
    dialog->setWindowFlag(Qt::WindowStaysOnTopHint);
    connect(dialog, &QColorDialog::currentColorChanged, &m_utils, &UtilsState::setPickedColor);
    // Another tab replaces this one: its dialog goes with it.
    connect(this, &QObject::destroyed, dialog, &QWidget::close);
    dialog->open();
    dialog->raise();
    dialog->activateWindow();
}
