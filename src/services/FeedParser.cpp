// Reads a feed with libexpat over the document as UTF-8; what its elements mean is FeedMapping's. The
// refusals (declared entities, depth, size) and the leniencies of the reader this one replaced are kept.
#include "services/FeedParser.h"

#include "services/FeedDates.h"
#include "services/FeedEncoding.h"
#include "services/FeedMapping.h"
#include "services/HtmlText.h"

#include <QStringConverter>
#include <QStringDecoder>

#include <expat.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

namespace {

using FeedEncoding::declaredEncoding;
using FeedEncoding::kCp1252High;
using FeedEncoding::Source;
using FeedEncoding::sourceOf;

// Latin 1 or windows-1252 bytes as UTF-8, written directly: no character takes more than three bytes,
// and no text copy of the whole body is made on the way.
QByteArray singleByteToUtf8(const QByteArray& bytes, bool cp1252) {
    QByteArray out;
    out.reserve(bytes.size() + bytes.size() / 4);
    for (const char c : bytes) {
        const uchar b = uchar(c);
        if (b < 0x80) {
            out.append(c);
            continue;
        }
        const char16_t u = cp1252 && b <= 0x9F && kCp1252High[b - 0x80] != 0 ? kCp1252High[b - 0x80] : b;
        if (u < 0x800) {
            out.append(char(0xC0 | (u >> 6)));
        } else {
            out.append(char(0xE0 | (u >> 12)));
            out.append(char(0x80 | ((u >> 6) & 0x3F)));
        }
        out.append(char(0x80 | (u & 0x3F)));
    }
    return out;
}

// ---- the document as UTF-8

// A leading byte-order mark or a UTF-16 / UTF-32 shape gives the encoding; otherwise the declared one
// (read by sourceOf) does. Everything is handed to the parser as UTF-8, whatever the declaration says.
struct Utf8Doc {
    QByteArray bytes;
    QString error;
};

Utf8Doc utf8Of(const QByteArray& bytes, const Source& source) {
    switch (source.kind) {
    case Source::Kind::latin1:
        return {singleByteToUtf8(bytes, false), {}};
    case Source::Kind::cp1252:
        return {singleByteToUtf8(bytes, true), {}};
    case Source::Kind::text:
        return {source.text.toUtf8(), {}};
    case Source::Kind::bytes:
        break;
    }
    const auto detected = QStringConverter::encodingForData(bytes, u'<');
    const QByteArray declared = declaredEncoding(bytes);
    if (!detected || *detected == QStringConverter::Utf8) {
        // A wide encoding declared over narrow bytes cannot be read as declared.
        if (declared.startsWith("utf-16"))
            return {{}, QStringLiteral("Start tag expected.")};
        return {bytes, {}};
    }
    const bool bom = bytes.startsWith("\xFF\xFE") || bytes.startsWith("\xFE\xFF");
    QStringDecoder decoder =
        bom || declared.isEmpty() ? QStringDecoder(*detected) : QStringDecoder(declared.constData());
    if (!decoder.isValid())
        return {{}, QStringLiteral("Start tag expected.")};
    const QString text = decoder(bytes);
    if (decoder.hasError())
        return {{}, QStringLiteral("Encountered incorrectly encoded content.")};
    return {text.toUtf8(), {}};
}

// The length without a character cut off by the end of the body: a streaming decoder leaves such a
// tail unread, so it is not an error. Anything else wrong with the bytes is the parser's to find.
qsizetype withoutCutCharacter(const QByteArray& utf8) {
    const qsizetype size = utf8.size();
    for (qsizetype back = 1; back <= 3 && back <= size; ++back) {
        const uchar c = uchar(utf8[size - back]);
        if ((c & 0xC0) == 0x80)
            continue; // a continuation byte: the lead is further back
        const int length = c >= 0xC2 && c <= 0xDF   ? 2
                           : c >= 0xE0 && c <= 0xEF ? 3
                           : c >= 0xF0 && c <= 0xF4 ? 4
                                                    : 0;
        return length > back ? size - back : size;
    }
    return size;
}

// A name with at most one colon, which neither starts nor ends it. The parser takes any number of
// colons; the reader this one replaced did not.
bool isQualifiedName(const char* name) {
    const char* colon = strchr(name, ':');
    if (!colon)
        return true;
    return colon != name && colon[1] != '\0' && !strchr(colon + 1, ':');
}

// The character a predefined entity stands for, or 0.
char predefined(QByteArrayView entity) {
    return entity == "lt"     ? '<'
           : entity == "gt"   ? '>'
           : entity == "amp"  ? '&'
           : entity == "quot" ? '"'
           : entity == "apos" ? '\''
                              : 0;
}

// An attribute value as written between its quotes, read as Qt's reader did under an external document
// type: references to entities nobody declared stay as written (the parser drops them). `kept` tells
// whether any did.
std::string valueKeepingUnknownEntities(QByteArrayView raw, bool* kept) {
    std::string out;
    for (qsizetype i = 0; i < raw.size(); ++i) {
        const char c = raw[i];
        if (c == '\r') {
            out.push_back(' ');
            if (i + 1 < raw.size() && raw[i + 1] == '\n')
                ++i;
            continue;
        }
        if (c != '&') {
            out.push_back(c == '\t' || c == '\n' ? ' ' : c);
            continue;
        }
        const qsizetype semi = raw.indexOf(';', i);
        const QByteArrayView entity = raw.sliced(i + 1, semi - i - 1);
        if (entity.startsWith('#')) {
            const bool hex = entity.size() > 1 && entity[1] == 'x';
            const char32_t code = entity.sliced(hex ? 2 : 1).toByteArray().toUInt(nullptr, hex ? 16 : 10);
            out += QString::fromUcs4(&code, 1).toStdString();
        } else if (const char stands = predefined(entity)) {
            out.push_back(stands);
        } else {
            out.append(raw.data() + i, size_t(semi - i + 1));
            *kept = true;
        }
        i = semi;
    }
    return out;
}

// One pass of the parser over the document, the bytes of misplaced document types left out.
class Pass {
public:
    // `skipped`: ranges of `doc` the parser is not shown, in order.
    // `doctypeOnly`: stop once a document type at the start has been read through.
    Pass(QByteArrayView doc, const std::vector<std::pair<qsizetype, qsizetype>>& skipped, bool doctypeOnly)
        : m_doc(doc)
        , m_skipped(skipped)
        , m_doctypeOnly(doctypeOnly)
        , m_parser(newParser(this)) {}
    ~Pass() { XML_ParserFree(m_parser); }
    Pass(const Pass&) = delete;
    Pass& operator=(const Pass&) = delete;

    FeedMapping mapping;
    // Why the document was refused, or empty.
    QString error;
    // Where in `doc` the parser stopped on an error of its own, or -1.
    qsizetype errorAt = -1;
    // Where the first document type ended, once one was read through.
    qsizetype doctypeEnd = -1;

    bool run() {
        qsizetype from = 0;
        for (const auto& [start, end] : m_skipped) {
            if (!feed(from, start, false))
                return false;
            from = end;
        }
        return feed(from, m_doc.size(), true);
    }

private:
    static XML_Parser newParser(Pass* pass) {
        // The bytes are UTF-8 whatever the declaration names: the document was converted beforehand.
        XML_Parser p = XML_ParserCreate("UTF-8");
        XML_SetUserData(p, pass);
        XML_SetElementHandler(p, onStart, onEnd);
        XML_SetCharacterDataHandler(p, onText);
        XML_SetCdataSectionHandler(p, onCdataStart, onCdataEnd);
        XML_SetProcessingInstructionHandler(p, onInstruction);
        XML_SetXmlDeclHandler(p, onXmlDecl);
        XML_SetStartDoctypeDeclHandler(p, onDoctype);
        XML_SetEndDoctypeDeclHandler(p, onDoctypeEnd);
        XML_SetElementDeclHandler(p, onElementDecl);
        XML_SetAttlistDeclHandler(p, onAttlistDecl);
        XML_SetEntityDeclHandler(p, onEntityDecl);
        XML_SetNotationDeclHandler(p, onNotationDecl);
        XML_SetSkippedEntityHandler(p, onSkippedEntity);
        // Parameter entities are looked up, so that a reference to an undeclared one is reported; with no
        // handler for outside entities, the external subset is never read.
        XML_SetParamEntityParsing(p, XML_PARAM_ENTITY_PARSING_ALWAYS);
        return p;
    }

    // Handed over in slices: the parser copies what it is given into a buffer of its own, which then
    // stays small.
    bool feed(qsizetype from, qsizetype to, bool last) {
        constexpr qsizetype kSliceBytes = 64 * 1024;
        m_segments.push_back(Segment{m_fed, from});
        m_fed += to - from;
        do {
            const qsizetype n = std::min(kSliceBytes, to - from);
            if (XML_Parse(m_parser, m_doc.data() + from, int(n), last && from + n == to) != XML_STATUS_OK) {
                if (error.isEmpty()) {
                    errorAt = docOffset(XML_GetCurrentByteIndex(m_parser));
                    error = QString::fromUtf8(XML_ErrorString(XML_GetErrorCode(m_parser)));
                }
                return false;
            }
            from += n;
        } while (from < to);
        return true;
    }

    // A parser position as an offset in `doc`.
    qsizetype docOffset(XML_Index index) const {
        for (auto s = m_segments.rbegin(); s != m_segments.rend(); ++s)
            if (index >= s->fedBefore)
                return s->docStart + qsizetype(index - s->fedBefore);
        return qsizetype(index);
    }

    void refuse(const QString& why) {
        if (error.isEmpty())
            error = why;
        XML_StopParser(m_parser, XML_FALSE);
    }
    bool stopped() const { return !error.isEmpty(); }
    void needQualified(const char* name) {
        if (!isQualifiedName(name))
            refuse(QStringLiteral("Invalid XML name."));
    }

    static Pass& of(void* data) { return *static_cast<Pass*>(data); }

    static void XMLCALL onStart(void* data, const XML_Char* name, const XML_Char** attributes) {
        Pass& p = of(data);
        if (p.stopped())
            return;
        if (int(p.m_open.size()) >= FeedParser::kMaxDepth)
            return p.refuse(
                QStringLiteral("document nested deeper than %1 levels").arg(FeedParser::kMaxDepth));
        p.needQualified(name);
        for (const XML_Char** a = attributes; *a; a += 2)
            p.needQualified(*a);
        if (p.stopped())
            return;
        const FeedMapping::Role role = FeedMapping::roleOf(QByteArrayView(name));
        if (p.m_externalSubset)
            p.startKeepingUnknownEntities(role, attributes);
        else
            p.mapping.start(role, attributes);
        p.m_open.push_back(role);
    }

    // Under an external document type the parser drops references to entities it has not seen from
    // attribute values; the values are read again from the tag's own bytes when they hold any.
    void startKeepingUnknownEntities(FeedMapping::Role role, const XML_Char** attributes) {
        const qsizetype at = docOffset(XML_GetCurrentByteIndex(m_parser));
        const QByteArrayView tag = m_doc.sliced(at, XML_GetCurrentByteCount(m_parser));
        if (!tag.contains('&'))
            return mapping.start(role, attributes);
        std::vector<std::string> values;
        std::vector<const char*> rewritten;
        const int specified = XML_GetSpecifiedAttributeCount(m_parser);
        // The specified attributes come first, in the order they are written.
        qsizetype i = 0;
        for (int a = 0; attributes[a]; a += 2) {
            rewritten.push_back(attributes[a]);
            rewritten.push_back(attributes[a + 1]);
            if (a >= specified)
                continue;
            const qsizetype open = tag.indexOf('=', i);
            qsizetype q = open + 1;
            while (tag[q] != '"' && tag[q] != '\'')
                ++q;
            const qsizetype close = tag.indexOf(tag[q], q + 1);
            i = close + 1;
            bool kept = false;
            std::string value = valueKeepingUnknownEntities(tag.sliced(q + 1, close - q - 1), &kept);
            if (kept) {
                values.push_back(std::move(value));
                rewritten.back() = nullptr; // filled in below, once `values` holds still
            }
        }
        rewritten.push_back(nullptr);
        size_t v = 0;
        for (size_t k = 1; k + 1 < rewritten.size(); k += 2)
            if (!rewritten[k])
                rewritten[k] = values[v++].c_str();
        mapping.start(role, rewritten.data());
    }

    static void XMLCALL onEnd(void* data, const XML_Char*) {
        Pass& p = of(data);
        if (p.stopped())
            return;
        const FeedMapping::Role role = p.m_open.back();
        p.m_open.pop_back();
        p.mapping.end(role);
    }

    static void XMLCALL onText(void* data, const XML_Char* s, int len) {
        Pass& p = of(data);
        if (!p.stopped())
            p.mapping.text(s, len, p.m_inCdata);
    }

    static void XMLCALL onCdataStart(void* data) { of(data).m_inCdata = true; }
    static void XMLCALL onCdataEnd(void* data) { of(data).m_inCdata = false; }

    static void XMLCALL onInstruction(void* data, const XML_Char* target, const XML_Char*) {
        of(data).needQualified(target);
    }

    static void XMLCALL onXmlDecl(void* data, const XML_Char* version, const XML_Char*, int) {
        if (version && strcmp(version, "1.0") != 0)
            of(data).refuse(QStringLiteral("Unsupported XML version."));
    }

    static void XMLCALL onDoctype(void* data, const XML_Char* name, const XML_Char* systemId, const XML_Char*,
                                  int) {
        Pass& p = of(data);
        p.needQualified(name);
        if (systemId && strpbrk(systemId, "<&"))
            p.refuse(QStringLiteral("Unexpected character in a system identifier."));
        if (systemId)
            p.m_externalSubset = true;
    }

    static void XMLCALL onDoctypeEnd(void* data) {
        Pass& p = of(data);
        if (p.doctypeEnd < 0)
            p.doctypeEnd =
                p.docOffset(XML_GetCurrentByteIndex(p.m_parser)) + XML_GetCurrentByteCount(p.m_parser);
        if (p.m_doctypeOnly)
            XML_StopParser(p.m_parser, XML_FALSE);
    }

    static void XMLCALL onElementDecl(void* data, const XML_Char* name, XML_Content* model) {
        Pass& p = of(data);
        XML_FreeContentModel(p.m_parser, model);
        p.needQualified(name);
    }

    static void XMLCALL onAttlistDecl(void* data, const XML_Char* element, const XML_Char* attribute,
                                      const XML_Char*, const XML_Char*, int) {
        Pass& p = of(data);
        p.needQualified(element);
        p.needQualified(attribute);
    }

    // Feeds declare no entities; a declaration is how amplification and outside files get in.
    static void XMLCALL onEntityDecl(void* data, const XML_Char*, int, const XML_Char*, int, const XML_Char*,
                                     const XML_Char*, const XML_Char*, const XML_Char*) {
        of(data).refuse(QStringLiteral("document declares entities"));
    }
    static void XMLCALL onNotationDecl(void* data, const XML_Char*, const XML_Char*, const XML_Char*,
                                       const XML_Char*) {
        of(data).refuse(QStringLiteral("document declares entities"));
    }

    static void XMLCALL onSkippedEntity(void* data, const XML_Char* name, int parameter) {
        Pass& p = of(data);
        if (parameter)
            p.refuse(QStringLiteral("Entity '%1' not declared.").arg(QString::fromUtf8(name)));
        else
            p.refuse(QStringLiteral("document refers to an undeclared entity"));
    }

    struct Segment {
        XML_Index fedBefore; // bytes handed to the parser before this segment
        qsizetype docStart;
    };

    QByteArrayView m_doc;
    const std::vector<std::pair<qsizetype, qsizetype>>& m_skipped;
    bool m_doctypeOnly;
    XML_Parser m_parser;
    std::vector<Segment> m_segments;
    XML_Index m_fed = 0;
    std::vector<FeedMapping::Role> m_open;
    bool m_externalSubset = false;
    bool m_inCdata = false;
};

// Qt's reader took a document type anywhere, any number of times. A misplaced one is where the parser
// stops; its end (or why it is refused) comes from reading it alone, and the document is read again
// without it. Each costs a whole pass, so past a few the parser's refusal stands.
constexpr int kMaxMisplacedDoctypes = 8;

struct Doctype {
    qsizetype end = -1;
    QString error;
};

// The document type starting at `at` read alone: its end, or why it is refused.
Doctype readDoctype(QByteArrayView doc, qsizetype at) {
    const std::vector<std::pair<qsizetype, qsizetype>> none;
    Pass alone(doc.sliced(at), none, true);
    alone.run();
    if (alone.doctypeEnd < 0)
        return {-1, alone.error};
    return {at + alone.doctypeEnd, {}};
}

// Where a document type starts that the parser stopped at (at its '<' or, in content, two bytes on), or
// -1 when it stopped at something else.
qsizetype misplacedDoctypeAt(QByteArrayView doc, qsizetype errorAt) {
    for (const qsizetype at : {errorAt, errorAt - 2})
        if (at >= 0 && at <= doc.size() && doc.sliced(at).startsWith("<!DOCTYPE"))
            return at;
    return -1;
}

} // namespace

std::optional<ParsedFeed> FeedParser::parse(const QByteArray& bytes, QString* error) {
    auto fail = [error](const QString& why) -> std::optional<ParsedFeed> {
        if (error)
            *error = why;
        return std::nullopt;
    };
    if (bytes.size() > kMaxBodyBytes)
        return fail(QStringLiteral("document larger than %1 bytes").arg(kMaxBodyBytes));

    QString unsupported;
    const std::optional<Source> source = sourceOf(bytes, &unsupported);
    if (!source)
        return fail(unsupported);
    const Utf8Doc doc = utf8Of(bytes, *source);
    if (!doc.error.isEmpty())
        return fail(doc.error);
    const QByteArrayView utf8(doc.bytes.constData(), withoutCutCharacter(doc.bytes));

    std::vector<std::pair<qsizetype, qsizetype>> skipped;
    for (;;) {
        Pass pass(utf8, skipped, false);
        if (pass.run()) {
            std::optional<ParsedFeed> feed = pass.mapping.result();
            return feed ? feed : fail(QStringLiteral("no feed title and no entries"));
        }
        const qsizetype at = misplacedDoctypeAt(utf8, pass.errorAt);
        if (at < 0 || int(skipped.size()) >= kMaxMisplacedDoctypes)
            return fail(pass.error);
        const Doctype doctype = readDoctype(utf8, at);
        if (doctype.end < 0)
            return fail(doctype.error);
        skipped.emplace_back(at, doctype.end);
    }
}

std::optional<QDateTime> FeedParser::parseDate(QStringView text) {
    return FeedDates::parse(text);
}

QString FeedParser::semHTML(const QString& html) {
    return HtmlText::plainLine(html);
}
