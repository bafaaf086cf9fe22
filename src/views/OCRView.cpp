#include "views/OCRView.h"

#include "services/UtilsState.h"
#include "views/IconButton.h"
#include "views/KitOutputText.h"
#include "views/KitPanelStyle.h"
#include "views/SystemColors.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QVBoxLayout>

using KitPanelStyle::pixelFont;

OCRView::OCRView(UtilsState& utils, QWidget* parent)
    : QWidget(parent)
    , m_utils(utils) {
    // The button and its hint as far apart as the rows.
    const auto [column, top] = KitPanelStyle::panelColumn(this, {}, 8, 8);
    m_capture = new KitPanelStyle::CapsuleButton(QStringLiteral("text.viewfinder"), QString(), 0.16,
                                                 QSize(14, 6), this);
    m_capture->setObjectName(QStringLiteral("capture"));
    m_capture->setFont(pixelFont(11, QFont::DemiBold));
    connect(m_capture, &QPushButton::clicked, &m_utils, &UtilsState::captureAndOCR);
    top->addWidget(m_capture);
    auto* hint =
        new QLabel(tr("The recognized text goes straight to your clipboard. The first time, macOS asks for "
                      "Screen Recording permission."),
                   this);
    hint->setObjectName(QStringLiteral("hint"));
    hint->setWordWrap(true);
    hint->setFont(pixelFont(9));
    hint->setStyleSheet(QStringLiteral("color: rgba(255,255,255,0.35); background: transparent;"));
    top->addWidget(hint, 1);

    auto* bottom = new QHBoxLayout;
    bottom->setSpacing(6);
    m_text = new KitOutputText(QStringLiteral("recognized text…"), 10.5, this);
    m_text->setObjectName(QStringLiteral("output"));
    bottom->addWidget(m_text, 1);
    auto* copy = new IconButton(
        QStringLiteral("doc.on.doc"), QStringLiteral("Copy text"), Qt::white,
        [this] { m_utils.copyOutput(); }, this);
    copy->setObjectName(QStringLiteral("copy"));
    bottom->addWidget(copy, 0, Qt::AlignTop);
    column->addLayout(bottom, 1);

    connect(&m_utils, &UtilsState::capturingChanged, this, &OCRView::refresh);
    connect(&m_utils, &UtilsState::outputChanged, this, &OCRView::refresh);
    refresh();
}

void OCRView::refresh() {
    const bool busy = m_utils.capturing();
    m_capture->setText(busy ? tr("Selecting…") : tr("Capture screen area"));
    m_capture->setEnabled(!busy);
    m_capture->updateGeometry();
    m_text->showOutput(m_utils.output());
}
