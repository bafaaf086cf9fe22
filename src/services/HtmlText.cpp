// Tag stripping and entity decoding for the HTML fragments feeds put in their summaries.
#include "services/HtmlText.h"

namespace {

// Named HTML entities worth decoding in summaries; numeric ones are decoded in general.
QString decodeEntities(const QString& text) {
    if (!text.contains(u'&'))
        return text;
    static const struct {
        const char* name;
        char16_t ch;
    } named[] = {{"amp", u'&'},     {"lt", u'<'},      {"gt", u'>'},       {"quot", u'"'},
                 {"apos", u'\''},   {"nbsp", u' '},    {"hellip", 0x2026}, {"mdash", 0x2014},
                 {"ndash", 0x2013}, {"lsquo", 0x2018}, {"rsquo", 0x2019},  {"ldquo", 0x201C},
                 {"rdquo", 0x201D}, {"copy", 0x00A9},  {"reg", 0x00AE}};
    // Every entity is longer than what it stands for, so the text never grows.
    QString out(text.size(), Qt::Uninitialized);
    QChar* d = out.data();
    const QChar* src = text.constData();
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (src[i] != u'&') {
            *d++ = src[i];
            continue;
        }
        const qsizetype semi = text.indexOf(u';', i + 1);
        if (semi < 0 || semi - i > 12) {
            *d++ = src[i];
            continue;
        }
        const QStringView name = QStringView(text).sliced(i + 1, semi - i - 1);
        bool done = false;
        if (name.startsWith(u'#') && name.size() > 1) {
            bool ok = false;
            const uint code = (name[1] == u'x' || name[1] == u'X') ? name.sliced(2).toUInt(&ok, 16)
                                                                   : name.sliced(1).toUInt(&ok, 10);
            if (ok && code > 0 && code <= 0x10FFFF && !(code >= 0xD800 && code <= 0xDFFF)) {
                if (QChar::requiresSurrogates(code)) {
                    *d++ = QChar(QChar::highSurrogate(code));
                    *d++ = QChar(QChar::lowSurrogate(code));
                } else {
                    *d++ = QChar(char16_t(code));
                }
                done = true;
            }
        } else {
            for (const auto& e : named)
                if (name == QLatin1String(e.name)) {
                    *d++ = QChar(e.ch);
                    done = true;
                    break;
                }
        }
        if (done)
            i = semi;
        else
            *d++ = src[i];
    }
    out.truncate(d - out.constData());
    return out;
}

} // namespace

bool HtmlText::hasMarkup(QStringView text) {
    const auto isNameChar = [](QChar c) { return c.isLetterOrNumber() && c.unicode() < 0x80; };
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        if (c == u'<' && i + 1 < text.size()) {
            // A tag starts with a letter, "/" or "!" and closes before the next "<".
            const QChar next = text[i + 1];
            if (!(next.unicode() < 0x80 && (next.isLetter() || next == u'/' || next == u'!')))
                continue;
            for (qsizetype j = i + 2; j < text.size() && text[j] != u'<'; ++j)
                if (text[j] == u'>')
                    return true;
        } else if (c == u'&') {
            // An entity: a name or "#" and digits, then ";", within the length of the longest we decode.
            qsizetype j = i + 1;
            if (j < text.size() && text[j] == u'#')
                ++j;
            const qsizetype nameStart = j;
            while (j < text.size() && j - i <= 10 && isNameChar(text[j]))
                ++j;
            if (j > nameStart && j < text.size() && text[j] == u';')
                return true;
        }
    }
    return false;
}

QString HtmlText::plainLine(const QString& html) {
    static const QLatin1StringView gapTags[] = {QLatin1StringView("</p>"),   QLatin1StringView("<br>"),
                                                QLatin1StringView("<br/>"),  QLatin1StringView("<br />"),
                                                QLatin1StringView("</div>"), QLatin1StringView("</li>")};
    // Each step writes straight into a buffer as large as its input: none of them makes text longer.
    QString stripped(html.size(), Qt::Uninitialized);
    QChar* d = stripped.data();
    const QChar* src = html.constData();
    bool inTag = false;
    qsizetype tagStart = -1;
    for (qsizetype i = 0; i < html.size(); ++i) {
        const QChar c = src[i];
        if (c == u'<') {
            inTag = true;
            tagStart = i;
        } else if (c == u'>') {
            if (inTag) {
                const QStringView tag = QStringView(html).sliced(tagStart, i - tagStart + 1);
                if (tag.size() >= 4 && tag.size() <= 6) // the lengths of the gap tags
                    for (const QLatin1StringView g : gapTags)
                        if (tag.compare(g, Qt::CaseInsensitive) == 0) {
                            *d++ = u' ';
                            break;
                        }
            }
            inTag = false;
        } else if (!inTag) {
            *d++ = c == u'\n' ? QChar(u' ') : c;
        }
    }
    stripped.truncate(d - stripped.constData());
    stripped.replace(QLatin1String("&nbsp;"), QLatin1String(" "));
    const QString decoded = decodeEntities(stripped);
    QString out(decoded.size(), Qt::Uninitialized);
    QChar* o = out.data();
    QChar* const first = o;
    bool pendingSpace = false;
    for (const QChar c : decoded) {
        if (c == u' ' || c == u'\n') {
            pendingSpace = o != first;
            continue;
        }
        if (pendingSpace)
            *o++ = u' ';
        pendingSpace = false;
        *o++ = c;
    }
    out.truncate(o - first);
    return out.trimmed();
}
