// Widgets over the service's published state; every action goes to the service.
#include "views/NewsTab.h"

#include "views/DarkField.h"
#include "views/EmptyHint.h"
#include "views/IconButton.h"
#include "views/Icons.h"
#include "views/LazyRows.h"
#include "views/ScrollPage.h"
#include "views/SystemColors.h"

#include <QDesktopServices>
#include <QHBoxLayout>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollArea>
#include <QTextLayout>
#include <QVBoxLayout>

namespace {

QLabel* spinner(QWidget* parent) {
    auto* s = new QLabel(QStringLiteral("…"), parent);
    s->setObjectName(QStringLiteral("spinner"));
    s->setFixedSize(22, 22);
    s->setAlignment(Qt::AlignCenter);
    s->setStyleSheet(QStringLiteral("color: white; background: transparent;"));
    return s;
}

QLabel* label(const QString& text, int px, bool bold, const QString& color, QWidget* parent) {
    auto* l = new QLabel(text, parent);
    l->setTextFormat(Qt::PlainText);
    QFont f = l->font();
    f.setPixelSize(px);
    f.setWeight(bold ? QFont::DemiBold : QFont::Normal);
    l->setFont(f);
    l->setStyleSheet(QStringLiteral("color: %1; background: transparent;").arg(color));
    return l;
}

// Wrapped text of at most `lines` lines: as tall as the lines it needs, the last one shown ends in "…"
// when the text goes on.
class LineLimitedLabel : public QLabel {
public:
    LineLimitedLabel(int lines, QWidget* parent)
        : QLabel(parent)
        , m_lines(lines) {
        setWordWrap(true);
        setAlignment(Qt::AlignLeft | Qt::AlignTop);
    }

    int heightForWidth(int width) const override {
        const QMargins m = contentsMargins();
        const int lines = qMax(1, int(layoutLines(width - m.left() - m.right()).size()));
        return lines * fontMetrics().lineSpacing() + m.top() + m.bottom();
    }
    QSize sizeHint() const override { return {QLabel::sizeHint().width(), heightForWidth(width())}; }
    QSize minimumSizeHint() const override { return {0, fontMetrics().lineSpacing()}; }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter p(this);
        p.setPen(palette().color(QPalette::WindowText));
        const QRect r = contentsRect();
        const QFontMetrics fm = fontMetrics();
        const QList<QPair<int, int>> lines = layoutLines(r.width());
        for (int n = 0; n < lines.size(); ++n) {
            const int y = r.top() + n * fm.lineSpacing() + fm.ascent();
            const bool last = n == lines.size() - 1;
            const int end = lines[n].first + lines[n].second;
            if (last && end < text().size()) {
                // Text left over for lines that are not shown: the last line ends in an ellipsis.
                const QString rest = text().mid(lines[n].first).simplified();
                p.drawText(QPoint(r.left(), y), fm.elidedText(rest, Qt::ElideRight, r.width()));
            } else {
                p.drawText(QPoint(r.left(), y), text().mid(lines[n].first, lines[n].second).trimmed());
            }
        }
    }

private:
    // Start and length of each shown line at `width`, at most the limit.
    QList<QPair<int, int>> layoutLines(int width) const {
        QList<QPair<int, int>> lines;
        if (text().isEmpty() || width <= 0)
            return lines;
        QString shown = text();
        shown.replace(QLatin1Char('\n'), QChar::LineSeparator); // a break in the text is a break on screen
        QTextLayout layout(shown, font());
        QTextOption option(Qt::AlignLeft);
        option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
        layout.setTextOption(option);
        layout.beginLayout();
        while (lines.size() < m_lines) {
            QTextLine line = layout.createLine();
            if (!line.isValid())
                break;
            line.setLineWidth(width);
            lines.append({line.textStart(), line.textLength()});
        }
        layout.endLayout();
        return lines;
    }

private:
    int m_lines;
};

// One rounded row; a click anywhere on it runs `action`.
class Row : public QWidget {
public:
    Row(std::function<void()> action, QWidget* parent)
        : QWidget(parent)
        , m_action(std::move(action)) {
        setAttribute(Qt::WA_Hover);
        if (m_action)
            setCursor(Qt::PointingHandCursor);
    }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter p(this);
        p.setRenderHint(QPainter::Antialiasing);
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(255, 255, 255, 13));
        p.drawRoundedRect(rect(), 7, 7);
    }
    void mouseReleaseEvent(QMouseEvent* e) override {
        if (m_action && e->button() == Qt::LeftButton && rect().contains(e->position().toPoint()))
            m_action();
    }

private:
    std::function<void()> m_action;
};

} // namespace

NewsTab::NewsTab(NewsService& service, Estilo estilo, QWidget* parent)
    : QWidget(parent)
    , m_service(service)
    , m_estilo(estilo)
    , m_open([](const QUrl& url) { QDesktopServices::openUrl(url); }) {
    const bool site = estilo == Estilo::site;
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(0, 8, 0, 0);
    column->setSpacing(6);

    auto* input = new QHBoxLayout;
    input->setSpacing(6);
    m_field = new DarkField(
        site ? tr("paste a site (blog, news, YouTube…)") : tr("@handle on X — like @nasa"), this);
    m_field->setObjectName(QStringLiteral("addField"));
    input->addWidget(m_field, 1);
    m_addSpinner = spinner(this);
    input->addWidget(m_addSpinner);
    m_add = new IconButton(
        QStringLiteral("plus"), site ? tr("Add site") : tr("Follow profile"), Qt::white,
        [this] { adicionar(); }, this);
    m_add->setObjectName(QStringLiteral("addButton"));
    input->addWidget(m_add);
    m_refreshSpinner = spinner(this);
    input->addWidget(m_refreshSpinner);
    m_refresh = new IconButton(
        QStringLiteral("arrow.clockwise"), tr("Check for new posts now"), Qt::white,
        [this] { m_service.refresh(true); }, this);
    m_refresh->setObjectName(QStringLiteral("refreshButton"));
    input->addWidget(m_refresh);
    m_markAll = new IconButton(
        QStringLiteral("checkmark.circle"), QStringLiteral("Mark all as read"), Qt::white,
        [this] { m_service.markAllSeen(); }, this);
    m_markAll->setObjectName(QStringLiteral("markAllButton"));
    input->addWidget(m_markAll);
    m_toggle = new IconButton(
        QStringLiteral("slider.horizontal.3"), QStringLiteral("Manage sources"), Qt::white,
        [this] {
            m_mostrandoFontes = !m_mostrandoFontes;
            updateButtons();
            rebuildList();
        },
        this);
    m_toggle->setObjectName(QStringLiteral("sourcesToggle"));
    input->addWidget(m_toggle);
    column->addLayout(input);

    m_error = label(QString(), 10, false, QStringLiteral("orange"), this);
    m_error->setObjectName(QStringLiteral("addError"));
    m_error->setWordWrap(true);
    column->addWidget(m_error);

    // The empty state: a faint symbol above the text, inset 30 above and below.
    m_emptyBox = new QWidget(this);
    m_emptyBox->setObjectName(QStringLiteral("emptyState"));
    auto* emptyColumn = new QVBoxLayout(m_emptyBox);
    emptyColumn->setContentsMargins(0, 30, 0, 30);
    emptyColumn->setSpacing(8);
    m_emptySymbol = new QLabel(m_emptyBox);
    m_emptySymbol->setObjectName(QStringLiteral("emptySymbol"));
    m_emptySymbol->setAlignment(Qt::AlignCenter);
    m_emptySymbol->setFixedHeight(26);
    emptyColumn->addWidget(m_emptySymbol);
    m_empty = new EmptyHint(QString(), m_emptyBox);
    m_empty->setContentsMargins(0, 0, 0, 0);
    QFont emptyFont = m_empty->font();
    emptyFont.setPixelSize(10);
    m_empty->setFont(emptyFont);
    m_empty->setStyleSheet(
        QStringLiteral("QLabel { color: rgba(255, 255, 255, 102); background: transparent; }"));
    emptyColumn->addWidget(m_empty);
    emptyColumn->addStretch(1); // the height left over goes below the text, not between it and its symbol
    column->addWidget(m_emptyBox);

    m_scroll = ScrollPage::create(this);
    auto* holder = new QWidget;
    auto* holderColumn = new QVBoxLayout(holder);
    holderColumn->setContentsMargins(0, 0, 0, 0);
    m_rows = new LazyRows(
        [this](int index, QWidget* rowParent) -> QWidget* {
            if (m_mostrandoFontes) {
                const Feed feed = m_shownFeeds.at(index);
                auto* row = new Row(nullptr, rowParent);
                auto* h = new QHBoxLayout(row);
                h->setContentsMargins(8, 4, 8, 4);
                h->setSpacing(8);
                h->addWidget(label(m_estilo == Estilo::site ? QStringLiteral("◉") : QStringLiteral("@"), 11,
                                   false, QStringLiteral("rgba(0, 255, 255, 178)"), row));
                auto* v = new QVBoxLayout;
                v->setSpacing(1);
                v->addWidget(label(feed.title, 11, true, QStringLiteral("white"), row));
                auto* siteLine =
                    label(feed.siteURL, 9, false, QStringLiteral("rgba(255, 255, 255, 89)"), row);
                siteLine->setText(siteLine->fontMetrics().elidedText(feed.siteURL, Qt::ElideMiddle, 260));
                v->addWidget(siteLine);
                h->addLayout(v, 1);
                auto* x = new IconButton(
                    QStringLiteral("xmark"), m_estilo == Estilo::site ? tr("Remove source") : tr("Unfollow"),
                    Qt::white, [this, feed] { m_service.remove(feed); }, row);
                x->setObjectName(QStringLiteral("removeButton"));
                h->addWidget(x);
                return row;
            }
            const NewsItem item = m_shownItems.at(index);
            auto* row = new Row([this, item] { abrir(item); }, rowParent);
            auto* h = new QHBoxLayout(row);
            h->setContentsMargins(8, 4, 8, 4);
            h->setSpacing(8);
            h->addWidget(label(QStringLiteral("●"), 6, false,
                               item.seen ? QStringLiteral("transparent") : QStringLiteral("cyan"), row));
            auto* v = new QVBoxLayout;
            v->setSpacing(1);
            auto* lead = new LineLimitedLabel(m_estilo == Estilo::site ? 2 : 3, row);
            lead->setTextFormat(Qt::PlainText);
            lead->setText(textoPrincipal(item, m_estilo));
            QFont leadFont = lead->font();
            leadFont.setPixelSize(11);
            leadFont.setWeight(item.seen ? QFont::Normal : QFont::DemiBold);
            lead->setFont(leadFont);
            lead->setStyleSheet(
                QStringLiteral("color: %1; background: transparent;")
                    .arg(item.seen ? QStringLiteral("rgba(255, 255, 255, 178)") : QStringLiteral("white")));
            lead->setObjectName(QStringLiteral("mainText"));
            v->addWidget(lead);
            QString meta = item.feedTitle;
            if (item.published)
                meta += QStringLiteral(" · ") + relativeTime(*item.published, m_service.now());
            auto* metaLine = label(meta, 9, false, QStringLiteral("rgba(255, 255, 255, 102)"), row);
            metaLine->setObjectName(QStringLiteral("metaLine"));
            v->addWidget(metaLine);
            h->addLayout(v, 1);
            return row;
        },
        3, holder);
    holderColumn->addWidget(m_rows);
    holderColumn->addStretch(1);
    ScrollPage::setContent(m_scroll, holder);
    column->addWidget(m_scroll, 1);

    connect(m_field, &QLineEdit::textChanged, this,
            [this](const QString& text) { m_service.setComposing(!text.isEmpty()); });
    connect(m_field, &QLineEdit::returnPressed, this, &NewsTab::adicionar);
    connect(&m_service, &NewsService::changed, this, [this] {
        updateButtons();
        if (m_shownItems != m_service.items() || m_shownFeeds != m_service.feeds())
            rebuildList();
    });
    updateButtons();
    rebuildList();
}

NewsTab::~NewsTab() = default;

QString NewsTab::textoPrincipal(const NewsItem& item, Estilo estilo) {
    const QString summary = item.summary.value_or(QString()).trimmed();
    if (estilo == Estilo::perfil && !summary.isEmpty())
        return summary;
    return item.title.isEmpty() ? summary : item.title;
}

QString NewsTab::relativeTime(const QDateTime& date, const QDateTime& now) {
    const qint64 s = date.secsTo(now);
    if (s < 0)
        return tr("in the future");
    if (s < 60)
        return tr("just now");
    const auto ago = [](qint64 n, const char* one, const char* many) {
        return n == 1 ? tr(one) : tr(many).arg(QString::number(n));
    };
    if (s < 3600)
        return ago(s / 60, QT_TR_NOOP("1 minute ago"), QT_TR_NOOP("%1 minutes ago"));
    if (s < 86400)
        return ago(s / 3600, QT_TR_NOOP("1 hour ago"), QT_TR_NOOP("%1 hours ago"));
    if (s < 7 * 86400)
        return s < 2 * 86400 ? tr("yesterday") : tr("%1 days ago").arg(QString::number(s / 86400));
    if (s < 30 * 86400)
        return ago(s / (7 * 86400), QT_TR_NOOP("1 week ago"), QT_TR_NOOP("%1 weeks ago"));
    if (s < 365 * 86400)
        return ago(s / (30 * 86400), QT_TR_NOOP("1 month ago"), QT_TR_NOOP("%1 months ago"));
    return ago(s / (365 * 86400), QT_TR_NOOP("1 year ago"), QT_TR_NOOP("%1 years ago"));
}

bool NewsTab::opensInBrowser(const QUrl& url) {
    const QString scheme = url.scheme().toLower();
    return url.isValid() && !url.host().isEmpty() &&
           (scheme == QLatin1String("http") || scheme == QLatin1String("https"));
}

void NewsTab::abrir(const NewsItem& item) {
    m_service.markSeen(item);
    const QUrl url(item.link, QUrl::StrictMode);
    if (opensInBrowser(url))
        m_open(url);
}

void NewsTab::adicionar() {
    const QString text = m_field->text();
    m_field->clear();
    m_service.setComposing(false);
    m_service.addFeed(text);
}

void NewsTab::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    m_service.refresh(false);
}

void NewsTab::hideEvent(QHideEvent* event) {
    QWidget::hideEvent(event);
    m_service.setComposing(false);
}

void NewsTab::updateButtons() {
    const bool hasFeeds = !m_service.feeds().isEmpty();
    m_add->setVisible(!m_service.adding());
    m_addSpinner->setVisible(m_service.adding());
    m_refresh->setVisible(hasFeeds && !m_service.refreshing());
    m_refreshSpinner->setVisible(hasFeeds && m_service.refreshing());
    m_markAll->setVisible(m_service.hasUnread());
    m_toggle->setSymbol(m_mostrandoFontes ? QStringLiteral("newspaper")
                                          : QStringLiteral("slider.horizontal.3"));
    m_toggle->setHelp(m_mostrandoFontes ? QStringLiteral("See posts") : QStringLiteral("Manage sources"));
    m_error->setVisible(m_service.hasAddError());
    m_error->setText(m_service.addError());
}

void NewsTab::rebuildList() {
    m_shownItems = m_service.items();
    m_shownFeeds = m_service.feeds();
    const int count = int(m_mostrandoFontes ? m_shownFeeds.size() : m_shownItems.size());
    if (count == 0) {
        const QString symbol = m_mostrandoFontes          ? QStringLiteral("tray")
                               : m_estilo == Estilo::site ? QStringLiteral("newspaper")
                                                          : QStringLiteral("at");
        m_emptySymbol->setProperty("symbol", symbol);
        m_emptySymbol->setPixmap(
            Icons::pixmap(symbol, QSize(26, 26), SystemColors::white(0.25), devicePixelRatioF()));
        if (m_mostrandoFontes)
            m_empty->setText(QStringLiteral("No sources yet."));
        else if (!m_shownFeeds.isEmpty())
            m_empty->setText(tr("No posts yet. They arrive on the next refresh."));
        else
            m_empty->setText(m_estilo == Estilo::site ? tr("Add a site and get its new posts here.")
                                                      : tr("Follow people on X — their posts land here."));
    }
    m_emptyBox->setVisible(count == 0);
    m_scroll->setVisible(count > 0);
    m_rows->reset(count);
}
