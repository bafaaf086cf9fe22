// The kit's fast JSON printer against the QJsonDocument round trip it replaces: byte for byte on valid
// documents (which it must not decline), and through the kit's formatter on broken, lenient, deep and
// generated-then-damaged ones, whose verdict and error text must stay Qt's.
#include "services/JsonPrettyPrinter.h"
#include "services/KitTools.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRandomGenerator>
#include <QtTest>

#include <cmath>
#include <cstring>

namespace {

// The formatter as it was: the text as the one element of an array, through QJsonDocument.
QString qtFormatted(const QString& text) {
    if (!QStringView(text).isValidUtf16())
        return QStringLiteral("❌ Entrada inválida");
    QJsonParseError error;
    const QJsonDocument doc = QJsonDocument::fromJson("[" + text.toUtf8() + "]", &error);
    if (error.error != QJsonParseError::NoError)
        return QStringLiteral("❌ JSON inválido: ") + error.errorString() +
               QStringLiteral(" (offset %1)").arg(qMax(0, error.offset - 1));
    const QJsonArray wrapped = doc.array();
    if (wrapped.size() != 1)
        return QStringLiteral("❌ JSON inválido: ") +
               QJsonParseError{0, QJsonParseError::GarbageAtEnd}.errorString();
    const QJsonValue value = wrapped.at(0);
    const auto indented = [](const QJsonDocument& d) {
        QByteArray bytes = d.toJson(QJsonDocument::Indented);
        if (bytes.endsWith('\n'))
            bytes.chop(1);
        return QString::fromUtf8(bytes);
    };
    if (value.isObject())
        return indented(QJsonDocument(value.toObject()));
    if (value.isArray())
        return indented(QJsonDocument(value.toArray()));
    const QByteArray bytes = QJsonDocument(QJsonArray{value}).toJson(QJsonDocument::Compact);
    return QString::fromUtf8(bytes.mid(1, bytes.size() - 2));
}

// Random standard JSON: nesting, repeated and escaped keys, every kind of character and number spelling.
class Generator {
public:
    explicit Generator(quint32 seed)
        : m_random(seed) {}

    QString document() {
        m_astralKeys = below(2);
        QString out;
        value(out, 0);
        space(out);
        return out;
    }

private:
    int below(int n) { return int(m_random.bounded(n)); }

    void space(QString& out) {
        static const char* const kSpaces[] = {"", "", "", " ", "\n", "\t", "\r\n  "};
        out += QLatin1String(kSpaces[below(7)]);
    }

    void value(QString& out, int depth) {
        space(out);
        const int kind = depth >= 6 ? 2 + below(4) : below(6);
        switch (kind) {
        case 0:
        case 1: {
            const bool object = kind == 0;
            out += object ? u'{' : u'[';
            const int count = below(6);
            for (int i = 0; i < count; ++i) {
                if (i)
                    out += u',';
                if (object) {
                    space(out);
                    key(out);
                    space(out);
                    out += u':';
                }
                value(out, depth + 1);
                space(out);
            }
            out += object ? u'}' : u']';
            return;
        }
        case 2:
            string(out, 1 + below(12));
            return;
        case 3:
        case 4:
            number(out);
            return;
        default:
            out += QLatin1String(below(3) == 0 ? "true" : below(2) ? "false" : "null");
        }
    }

    // The escape of one character, hex digits in either case.
    void escaped(QString& out, char16_t c) {
        QString hex = QString::asprintf("\\u%04x", unsigned(c));
        out += below(2) ? hex : hex.toUpper().replace(QLatin1String("\\U"), QLatin1String("\\u"));
    }

    void key(QString& out) {
        static const char16_t* const kKeys[] = {u"a",   u"b",  u"A",      u"aa",     u"",       u"é",
                                                u"ç",   u"😀",  u"\uE000", u"\uFFFF", u"id",     u"ID",
                                                u"a b", u"\"", u"\\",     u"\n",     u"\u0001", u"z"};
        // Astral keys and keys above the surrogates never share a document (see sameAsQt).
        std::u16string_view k;
        do {
            k = kKeys[below(int(std::size(kKeys)))];
        } while (k == (m_astralKeys ? u"\uE000" : u"😀") || k == (m_astralKeys ? u"\uFFFF" : u"😀"));
        out += u'"';
        bool escapeNext = false; // the low half of a pair goes the way of the high one
        for (char16_t c : k) {
            const bool escape =
                QChar::isLowSurrogate(c) ? escapeNext : c < 0x20 || c == u'"' || c == u'\\' || below(4) == 0;
            escapeNext = escape;
            if (escape)
                escaped(out, c);
            else
                out += QChar(c);
        }
        out += u'"';
    }

    void string(QString& out, int length) {
        out += u'"';
        for (int i = 0; i < length; ++i) {
            switch (below(14)) {
            case 0:
                out += QLatin1String(below(2) ? "\\\"" : "\\\\");
                break;
            case 1: {
                static const char* const kNamed[] = {"\\b", "\\f", "\\n", "\\r", "\\t", "\\/"};
                out += QLatin1String(kNamed[below(6)]);
                break;
            }
            case 2:
                escaped(out, char16_t(below(0x20)));
                break;
            case 3:
                out += below(2) ? QStringLiteral("😀") : QStringLiteral("\\ud83d\\ude00");
                break;
            case 4: {
                static const char16_t kOdd[] = {0x7f, 0x80, 0xa0, 0x2028, 0xfeff, 0xfffd, 0xffff, u'/'};
                const char16_t c = kOdd[below(int(std::size(kOdd)))];
                if (c == 0xfeff || below(2)) // raw, Qt may drop it (see sameAsQt)
                    escaped(out, c);
                else
                    out += QChar(c);
                break;
            }
            case 5:
                out += QStringLiteral("ação");
                break;
            default:
                out += QChar(u'a' + below(26));
            }
        }
        out += u'"';
    }

    QString digits(int count, bool leadingZeroAllowed) {
        QString s;
        for (int i = 0; i < count; ++i)
            s += QChar(u'0' + ((i == 0 && !leadingZeroAllowed) ? 1 + below(9) : below(10)));
        return s;
    }

    void number(QString& out) {
        const QString sign = below(3) == 0 ? QStringLiteral("-") : QString();
        switch (below(9)) {
        case 0:
            out += sign + QString::number(below(1000));
            break;
        case 1:
            out += sign + digits(1 + below(22), false); // across the 64-bit limit
            break;
        case 2: {
            static const char* const kEdges[] = {"-0",
                                                 "0",
                                                 "9223372036854775807",
                                                 "-9223372036854775808",
                                                 "9223372036854775808",
                                                 "-9223372036854775809",
                                                 "9007199254740993",
                                                 "18446744073709551616",
                                                 "1e15",
                                                 "1e16",
                                                 "1e17",
                                                 "1e21",
                                                 "1E22",
                                                 "123456789012345678",
                                                 "1234567890123456789",
                                                 "-0.0",
                                                 "0e0",
                                                 "0.0e-10",
                                                 "1e-4",
                                                 "1e-5",
                                                 "0.001",
                                                 "5e-324",
                                                 "1.7976931348623157e308",
                                                 "2.5e-7"};
            out += QLatin1String(kEdges[below(int(std::size(kEdges)))]);
            break;
        }
        case 3:
            out += sign + digits(1 + below(6), false) + u'.' + digits(1 + below(8), true);
            break;
        case 4:
            out += sign + (below(2) ? QStringLiteral("0") : digits(1 + below(3), false)) + u'.' +
                   digits(1 + below(4), true) + (below(2) ? u'e' : u'E') +
                   (below(3) == 0   ? QStringLiteral("+")
                    : below(2) == 0 ? QStringLiteral("-")
                                    : QString()) +
                   QString::number(below(40));
            break;
        case 5:
        case 6: {
            // Any normal double, in its full 17 digits.
            double d = 0;
            do {
                const quint64 bits = m_random.generate64();
                std::memcpy(&d, &bits, sizeof d);
            } while (!std::isnormal(d));
            out += QString::number(d, 'g', 17);
            break;
        }
        case 7:
            out += sign + digits(1 + below(3), false) + u'e' + QString::number(below(25));
            break;
        default:
            out += sign + QStringLiteral("0.") + QString(below(8), u'0') + digits(1 + below(4), false);
        }
    }

    QRandomGenerator m_random;
    bool m_astralKeys = false;
};

} // namespace

class tst_JsonPrettyPrinter : public QObject {
    Q_OBJECT
private slots:
    void sameAsQt_data();
    void sameAsQt();
    void generatedDocuments();
    void damagedDocuments();
};

void tst_JsonPrettyPrinter::sameAsQt_data() {
    QTest::addColumn<QString>("input");
    QTest::addColumn<bool>("printed"); // the fast printer must take it (not decline)
    const auto nested = [](int depth, const QString& open, const QString& close) {
        return open.repeated(depth) + close.repeated(depth);
    };
    // Valid documents.
    QTest::newRow("bare scalars") << " \t\"a\\u0041\\/\" \n" << true;
    QTest::newRow("negative zero") << "[-0, -0.0, 0e5, -0e-5]" << true;
    QTest::newRow("integer edges")
        << "[9223372036854775807, -9223372036854775808, 9223372036854775808, -9223372036854775809]" << true;
    QTest::newRow("integral doubles") << "[1e15, 1e17, 9.2e18, 9.3e18, -9.3e18, 1E2, 123.456e3, 1.0]" << true;
    QTest::newRow("fixed or exponent")
        << "[0.001, 0.0001, 1e-5, 1.25e-3, 1e20, 1e21, 12345678901234567890]" << true;
    QTest::newRow("extreme doubles") << "[5e-324, 4.9e-324, 1.7976931348623157e308, 2.2250738585072014e-308]"
                                     << true;
    QTest::newRow("long mantissa") << "[0.1000000000000000055511151231257827, 3.14159265358979323846264338]"
                                   << true;
    QTest::newRow("escapes out") << "\"\\u0000\\u001f\\u007f\\b\\f\\n\\r\\t\\\"\\\\ \\u2028\"" << true;
    QTest::newRow("surrogate pair escaped") << "{\"\\ud83d\\ude00\": \"\\uD83D\\uDE00😀\"}" << true;
    QTest::newRow("astral and BMP keys") << "{\"😀\":1,\"a\":5,\"\\ud83d\\ude01\":6,\"ç\":0}" << true;
    QTest::newRow("private-use and BMP keys") << "{\"\\uffff\":2,\"\\ue000\":3,\"\uE001\":4,\"a\":5}" << true;
    // Qt's order between these depends on how each key was written.
    QTest::newRow("astral and private-use keys") << "{\"😀\":1,\"\\uffff\":2,\"\\ue000\":3,\"a\":5}" << false;
    QTest::newRow("escaped astral and private-use keys")
        << "{\"\\ud83d\\ude00\":1,\"\\uffff\":2,\"\\ue000\":3}" << false;
    QTest::newRow("repeated keys, last wins") << "{\"b\":1,\"a\":2,\"b\":[3],\"a\":{}}" << true;
    QTest::newRow("same key spelt twice") << "{\"a\":1,\"\\u0061\":2}" << true;
    QTest::newRow("repeated keys in order") << "{\"a\":1,\"a\":2}" << true;
    QTest::newRow("empty containers") << "{\"a\":[],\"b\":{},\"c\":[[],{}]}" << true;
    QTest::newRow("511 levels") << nested(511, "[", "]") << true;
    QTest::newRow("512 levels") << nested(512, "{\"a\":", "}").chopped(512) + "1" + QString(512, u'}')
                                << true;
    // Declined: Qt decides.
    QTest::newRow("513 levels") << nested(513, "[", "]") << false;
    QTest::newRow("1023 levels") << nested(1023, "[", "]") << false;
    QTest::newRow("1024 levels") << nested(1024, "[", "]") << false;
    QTest::newRow("10000 levels") << nested(10000, "[", "]") << false;
    QTest::newRow("10000 unclosed") << QString(10000, u'{') << false;
    QTest::newRow("lone surrogate escaped") << "[\"\\ud800\", \"\\udc00x\"]" << false;
    QTest::newRow("half pair escaped") << "\"\\ud83d😀\"" << false;
    QTest::newRow("number out of range") << "[1e400]" << false;
    QTest::newRow("number underflows") << "[1e-400]" << false;
    QTest::newRow("zero with a huge exponent") << "[0e500, 0.0e-500]" << true;
    QTest::newRow("lenient numbers") << "[1., .5, 01, -, 1e, +1]" << false;
    QTest::newRow("byte order mark in strings") << "[\"\uFEFFx\", \"a\uFEFF\", {\"\uFEFF\": 1}]" << false;
    QTest::newRow("byte order mark escaped") << "[\"\\ufeffx\", {\"\\uFEFF\": 1}]" << true;
    QTest::newRow("raw tab in a string") << "\"a\tb\"" << false;
    QTest::newRow("unknown escape") << "\"\\x\"" << false;
    QTest::newRow("short unicode escape") << "\"\\u12\"" << false;
    QTest::newRow("other whitespace") << "\v1" << false;
    QTest::newRow("two values") << "1,2" << false;
    QTest::newRow("breaks out of the wrapper") << "1],[2" << false;
    QTest::newRow("closing bracket only") << "]" << false;
    QTest::newRow("empty") << "" << false;
    QTest::newRow("unterminated") << "{\"a\":" << false;
    QTest::newRow("unterminated string") << "\"abc" << false;
    QTest::newRow("trailing commas") << "[1,]" << false;
    QTest::newRow("object trailing comma") << "{\"a\":1,}" << false;
    QTest::newRow("missing colon") << "{\"a\" 1}" << false;
    QTest::newRow("bare key") << "{a:1}" << false;
    QTest::newRow("word") << "hello" << false;
    QTest::newRow("truncated literal") << "[tru]" << false;
    QTest::newRow("lone surrogate raw") << QString(QChar(0xD800)) << false;
    QTest::newRow("NUL outside strings") << QString(QChar(0)) + "1" << false;
}

void tst_JsonPrettyPrinter::sameAsQt() {
    QFETCH(QString, input);
    QFETCH(bool, printed);
    const QString expected = qtFormatted(input);
    const std::optional<QString> fast = JsonPrettyPrinter::indented(input);
    QCOMPARE(fast.has_value(), printed);
    if (fast)
        QCOMPARE(*fast, expected);
    QCOMPARE(KitTools::formatJSON(input), expected);
}

void tst_JsonPrettyPrinter::generatedDocuments() {
    Generator generate(20260713);
    for (int i = 0; i < 3000; ++i) {
        const QString doc = generate.document();
        const std::optional<QString> fast = JsonPrettyPrinter::indented(doc);
        QVERIFY2(fast, qPrintable(doc));
        const QString want = qtFormatted(doc);
        if (*fast != want) {
            qsizetype k = 0;
            while (k < want.size() && k < fast->size() && want[k] == fast->at(k))
                ++k;
            qDebug() << doc << "\nGOT" << fast->mid(qMax(0, k - 60), 120) << "\nWANT"
                     << want.mid(qMax(0, k - 60), 120);
        }
        QCOMPARE(*fast, want);
    }
}

// One character removed, repeated or replaced: mostly broken documents, sometimes valid or lenient ones.
void tst_JsonPrettyPrinter::damagedDocuments() {
    Generator generate(7);
    QRandomGenerator random(11);
    static const char16_t kReplacements[] = {u'"', u'\\', u',', u':', u']',  u'}', u'[',   u'{', u'0',
                                             u'e', u'.',  u'-', u' ', u'\t', u'x', 0xD800, u'u'};
    for (int i = 0; i < 3000; ++i) {
        QString doc = generate.document();
        if (doc.isEmpty())
            continue;
        const qsizetype at = random.bounded(doc.size());
        switch (random.bounded(3)) {
        case 0:
            doc.remove(at, 1);
            break;
        case 1:
            doc.insert(at, doc.at(at));
            break;
        default:
            doc[at] = QChar(kReplacements[random.bounded(int(std::size(kReplacements)))]);
        }
        QCOMPARE(KitTools::formatJSON(doc), qtFormatted(doc));
    }
}

QTEST_GUILESS_MAIN(tst_JsonPrettyPrinter)
#include "tst_JsonPrettyPrinter.moc"
