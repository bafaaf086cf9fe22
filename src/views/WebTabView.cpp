// Web tab: header with the reload button, then the page or the text that the address is not usable.
#include "views/WebTabView.h"

#include "views/IconButton.h"
#include "views/SectionTitle.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QVBoxLayout>

WebTabView::WebTabView(const CustomTab& tab, WebPageFactory factory, QWidget* parent)
    : QWidget(parent)
    , m_tab(tab)
    , m_factory(std::move(factory)) {
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(0, 8, 0, 0);
    column->setSpacing(4);

    auto* header = new QHBoxLayout;
    auto* title = new SectionTitle(m_tab.name, this);
    title->setObjectName(QStringLiteral("title"));
    // Centred on the button beside it: no room above, as a caption over rows has.
    title->setContentsMargins(0, 0, 0, 0);
    header->addWidget(title);
    header->addStretch(1);
    m_reload = new IconButton(
        QStringLiteral("arrow.clockwise"), tr("Reload page"), QColor(255, 255, 255, 140),
        [this] { reload(); }, this);
    m_reload->setObjectName(QStringLiteral("reload"));
    header->addWidget(m_reload);
    column->addLayout(header);

    m_pageArea = new QWidget(this);
    m_pageArea->setObjectName(QStringLiteral("pageArea"));
    m_pageLayout = new QVBoxLayout(m_pageArea);
    m_pageLayout->setContentsMargins(0, 0, 0, 0);
    column->addWidget(m_pageArea, 1);

    m_invalid = new QLabel(tr("Invalid URL — edit this tab in Settings."), this);
    m_invalid->setObjectName(QStringLiteral("invalid"));
    m_invalid->setTextFormat(Qt::PlainText);
    m_invalid->setAlignment(Qt::AlignCenter);
    m_invalid->setWordWrap(true);
    QFont invalidFont = m_invalid->font();
    invalidFont.setPixelSize(11);
    m_invalid->setFont(invalidFont);
    m_invalid->setStyleSheet(QStringLiteral("color: rgba(255, 255, 255, 102); background: transparent;"));
    column->addWidget(m_invalid, 1);

    m_dropTimer.setSingleShot(true);
    m_dropTimer.setInterval(kKeepHiddenMs);
    connect(&m_dropTimer, &QTimer::timeout, this, &WebTabView::dropPage);

    syncBody();
}

void WebTabView::setTab(const CustomTab& tab) {
    const std::optional<QUrl> before = pageURL();
    m_tab = tab;
    if (auto* title = findChild<SectionTitle*>(QStringLiteral("title")))
        title->setTitle(m_tab.name);
    if (pageURL() != before) {
        dropPage();
        syncBody();
        if (isVisible())
            createPage();
    }
}

std::optional<QUrl> WebTabView::pageURL() const {
    std::optional<QUrl> url = m_tab.resolvedURL();
    // Only web pages: a typed file:, data: or javascript: address is not loaded.
    if (url && url->scheme() != QLatin1String("http") && url->scheme() != QLatin1String("https"))
        return std::nullopt;
    if (url && url->host().isEmpty())
        return std::nullopt;
    return url;
}

QString WebTabView::pageIdentity() const {
    return m_tab.id.toString(QUuid::WithoutBraces).toUpper() + QLatin1Char('-') +
           QString::number(m_reloadToken);
}

bool WebTabView::showsInvalidText() const {
    return !m_invalid->isHidden();
}

void WebTabView::reload() {
    ++m_reloadToken;
    dropPage();
    if (isVisible())
        createPage();
}

void WebTabView::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    m_dropTimer.stop();
    createPage();
}

void WebTabView::hideEvent(QHideEvent* event) {
    QWidget::hideEvent(event);
    if (m_page)
        m_dropTimer.start();
}

void WebTabView::syncBody() {
    const bool valid = pageURL().has_value();
    m_pageArea->setVisible(valid);
    m_invalid->setVisible(!valid);
}

void WebTabView::createPage() {
    const std::optional<QUrl> url = pageURL();
    if (m_page || !url || !m_factory)
        return;
    m_page = m_factory(*url, m_pageArea);
    if (!m_page)
        return;
    m_page->setObjectName(QStringLiteral("page-") + pageIdentity());
    m_pageLayout->addWidget(m_page);
    m_page->show();
}

void WebTabView::dropPage() {
    m_dropTimer.stop();
    // At once rather than later: the engine's page and its renderer end with the widget.
    delete m_page.data();
}
