// The kit's text tools: exact result and failure texts, the refused values, and tool detection.
#include "services/KitTools.h"

#include <QJsonDocument>
#include <QtTest>

#include <clocale>
#include <ctime>

using KitTools::Result;

namespace {

QString segment(const QByteArray& json) {
    return QString::fromLatin1(json.toBase64(QByteArray::Base64UrlEncoding | QByteArray::OmitTrailingEquals));
}

QString token(const QByteArray& header, const QByteArray& payload) {
    return segment(header) + "." + segment(payload) + ".c2lnbmF0dXJl";
}

const QDateTime kNow(QDate(2026, 7, 13), QTime(12, 0), Qt::UTC);

KitTools::LanLookup lan(std::optional<QString> ip) {
    return [ip] { return ip; };
}

} // namespace

class tst_KitTools : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void json_data();
    void json();
    void jsonErrors_data();
    void jsonErrors();
    void jwt_data();
    void jwt();
    void base64_data();
    void base64();
    void epoch_data();
    void epoch();
    void epochSameMoment();
    void color_data();
    void color();
    void colorUnderBrazilianLocale();
    void qr_data();
    void qr();
    void detect_data();
    void detect();
    void blankInputEmptiesEveryTool_data();
    void blankInputEmptiesEveryTool();
    void hostileInput_data();
    void hostileInput();
};

void tst_KitTools::initTestCase() {
    qputenv("TZ", "America/Sao_Paulo");
    tzset();
}

void tst_KitTools::json_data() {
    QTest::addColumn<QString>("input");
    QTest::addColumn<QString>("output");
    QTest::newRow("bare number unchanged") << "42"
                                           << "42";
    QTest::newRow("bare string") << "\"olá\""
                                 << "\"olá\"";
    QTest::newRow("true") << "true"
                          << "true";
    QTest::newRow("null") << "null"
                          << "null";
    QTest::newRow("keys sorted") << "{\"b\":1,\"a\":2}"
                                 << "{\n    \"a\": 2,\n    \"b\": 1\n}";
    QTest::newRow("nested keys sorted")
        << "[{\"z\":{\"y\":1,\"x\":[]}}]"
        << "[\n    {\n        \"z\": {\n            \"x\": [\n            ],\n"
           "            \"y\": 1\n        }\n    }\n]";
    QTest::newRow("1.0 prints as 1") << "[1.0]"
                                     << "[\n    1\n]";
    QTest::newRow("large integer exact") << "[9007199254740993]"
                                         << "[\n    9007199254740993\n]";
    QTest::newRow("unicode kept") << "{\"ç\":\"ã\"}"
                                  << "{\n    \"ç\": \"ã\"\n}";
}

void tst_KitTools::json() {
    QFETCH(QString, input);
    QFETCH(QString, output);
    QCOMPARE(KitTools::formatJSON(input), output);
}

void tst_KitTools::jsonErrors_data() {
    QTest::addColumn<QString>("input");
    QTest::addColumn<QString>("prefix");
    const QString invalid = QStringLiteral("❌ JSON inválido: ");
    QTest::newRow("two values") << "1,2" << invalid;
    QTest::newRow("breaks out of the wrapper") << "1],[2" << invalid;
    QTest::newRow("closing bracket only") << "]" << invalid;
    QTest::newRow("unterminated") << "{\"a\":" << invalid;
    QTest::newRow("word") << "hello" << invalid;
    QTest::newRow("trailing comma") << "[1,]" << invalid;
    QTest::newRow("lone surrogate") << QString(QChar(0xD800)) << QStringLiteral("❌ Entrada inválida");
}

void tst_KitTools::jsonErrors() {
    QFETCH(QString, input);
    QFETCH(QString, prefix);
    const QString out = KitTools::formatJSON(input);
    QVERIFY2(out.startsWith(prefix), qPrintable(out));
}

void tst_KitTools::jwt_data() {
    QTest::addColumn<QString>("input");
    QTest::addColumn<QString>("output");
    const QString header = "Header:\n{\n    \"alg\": \"HS256\"\n}\n\nPayload:\n";
    QTest::newRow("one piece") << "abc"
                               << "❌ JWT precisa de pelo menos header.payload";
    QTest::newRow("empty pieces dropped") << "abc.."
                                          << "❌ JWT precisa de pelo menos header.payload";
    QTest::newRow("one-letter pieces") << "a.b"
                                       << "Header:\n(base64 inválido)\n\nPayload:\n(base64 inválido)";
    QTest::newRow("expired") << token("{\"alg\":\"HS256\"}", "{\"exp\":1}")
                             << header + "{\n    \"exp\": 1\n}\n\n⚠️ EXPIRADO em 31/12/1969 21:00";
    QTest::newRow("valid until") << token("{\"alg\":\"HS256\"}", "{\"exp\":1900000000}")
                                 << header + "{\n    \"exp\": 1900000000\n}\n\n✅ Válido até 17/03/2030 14:46";
    QTest::newRow("exp as string: no note")
        << token("{\"alg\":\"HS256\"}", "{\"exp\":\"123\"}") << header + "{\n    \"exp\": \"123\"\n}";
    QTest::newRow("exp as bool: no note")
        << token("{\"alg\":\"HS256\"}", "{\"exp\":true}") << header + "{\n    \"exp\": true\n}";
    QTest::newRow("exp beyond any date: no note")
        << token("{\"alg\":\"HS256\"}", "{\"exp\":1e300}") << header + "{\n    \"exp\": 1e+300\n}";
    QTest::newRow("array payload: no note") << token("{\"alg\":\"HS256\"}", "[1]") << header + "[\n    1\n]";
    QTest::newRow("text payload") << token("{\"alg\":\"HS256\"}", "just text") << header + "just text";
    QTest::newRow("binary payload") << token("{\"alg\":\"HS256\"}", "\xff\xfe\x01") << header + "(binário)";
    // Length 2 and 3 modulo 4 decode once padded.
    QTest::newRow("url-safe, unpadded") << "eyJhIjoxfQ.eyJiIjoyfQ"
                                        << "Header:\n{\n    \"a\": 1\n}\n\nPayload:\n{\n    \"b\": 2\n}";
    QTest::newRow("url-safe characters") << "-_-_.eyJiIjoyfQ"
                                         << "Header:\n(binário)\n\nPayload:\n{\n    \"b\": 2\n}";
}

void tst_KitTools::jwt() {
    QFETCH(QString, input);
    QFETCH(QString, output);
    QCOMPARE(KitTools::jwt(input, kNow), output);
}

void tst_KitTools::base64_data() {
    QTest::addColumn<QString>("input");
    QTest::addColumn<QString>("output");
    QTest::newRow("decodes, then encodes the input") << "SGVsbG8="
                                                     << "Decodificado:\nHello\n\nCodificado:\nU0dWc2JHOD0=";
    QTest::newRow("unpadded is not Base64") << "YQ"
                                            << "Codificado:\nWVE=";
    QTest::newRow("blank inside") << "Y Q=="
                                  << "Codificado:\nWSBRPT0=";
    QTest::newRow("padding in the middle") << "ab=c"
                                           << "Codificado:\nYWI9Yw==";
    QTest::newRow("line break inside") << "SGVs\nbG8="
                                       << "Codificado:\nU0dWcwpiRzg9";
    QTest::newRow("not UTF-8 once decoded") << "//79"
                                            << "Codificado:\nLy83OQ==";
    QTest::newRow("UTF-8 input encoded as UTF-8") << "ação"
                                                  << "Codificado:\nYcOnw6Nv";
}

void tst_KitTools::base64() {
    QFETCH(QString, input);
    QFETCH(QString, output);
    QCOMPARE(KitTools::base64(input), output);
}

void tst_KitTools::epoch_data() {
    QTest::addColumn<QString>("input");
    QTest::addColumn<QString>("output");
    const QString unknown = QStringLiteral("❌ Não reconheci — use epoch ou data ISO");
    QTest::newRow("seconds") << "1784493808"
                             << "Local:  19/07/2026 17:43:28\nISO:    2026-07-19T20:43:28Z";
    QTest::newRow("1e12 is seconds") << "1e12"
                                     << "Local:  26/09/33658 22:46:40\nISO:    33658-09-27T01:46:40Z";
    QTest::newRow("fraction dropped") << "0.9"
                                      << "Local:  31/12/1969 21:00:00\nISO:    1970-01-01T00:00:00Z";
    QTest::newRow("negative") << "-1"
                              << "Local:  31/12/1969 20:59:59\nISO:    1969-12-31T23:59:59Z";
    QTest::newRow("ISO Z") << "2026-07-13T19:00:00Z"
                           << "Segundos:      1783969200\nMilissegundos: 1783969200000";
    QTest::newRow("ISO fraction") << "2026-07-13T19:00:00.5Z"
                                  << "Segundos:      1783969200\nMilissegundos: 1783969200000";
    QTest::newRow("ISO offset") << "2026-07-13T16:00:00-03:00"
                                << "Segundos:      1783969200\nMilissegundos: 1783969200000";
    QTest::newRow("day first, local") << "01/02/2026 10:00:00"
                                      << "Segundos:      1769950800\nMilissegundos: 1769950800000";
    QTest::newRow("before 1970 toward zero") << "1969-12-31T23:59:59.5Z"
                                             << "Segundos:      0\nMilissegundos: 0";
    QTest::newRow("date alone") << "2026-07-13" << unknown;
    QTest::newRow("nan") << "nan" << unknown;
    QTest::newRow("inf") << "inf" << unknown;
    QTest::newRow("-infinity") << "-infinity" << unknown;
    QTest::newRow("1e400") << "1e400" << unknown;
    QTest::newRow("beyond the date range") << "1e16" << unknown;
    QTest::newRow("far past") << "-1e14" << unknown;
    QTest::newRow("comma decimal") << "1,5" << unknown;
    QTest::newRow("trailing letter") << "1784493808x" << unknown;
    QTest::newRow("word") << "ontem" << unknown;
}

void tst_KitTools::epoch() {
    QFETCH(QString, input);
    QFETCH(QString, output);
    QCOMPARE(KitTools::epoch(input), output);
}

void tst_KitTools::epochSameMoment() {
    QCOMPARE(KitTools::epoch("1784493808000"), KitTools::epoch("1784493808"));
    QCOMPARE(KitTools::epoch("1784493808123"), KitTools::epoch("1784493808"));
}

void tst_KitTools::color_data() {
    QTest::addColumn<QString>("input");
    QTest::addColumn<QString>("output");
    const QString orange =
        "HEX:  #FF8000\nRGB:  rgb(255, 128, 0)\nSwiftUI: Color(red: 1.000, green: 0.502, blue: 0.000)";
    const QString unknown = QStringLiteral("❌ Use #RRGGBB ou rgb(r, g, b)");
    QTest::newRow("hex") << "FF8000" << orange;
    QTest::newRow("one #") << "#FF8000" << orange;
    QTest::newRow("two #") << "##FF8000" << orange;
    QTest::newRow("lower case") << "#ff8000" << orange;
    QTest::newRow("commas") << "255,128,0" << orange;
    QTest::newRow("rgb with blanks") << "rgb(255 128 0)" << orange;
    QTest::newRow("four numbers: first three") << "255, 128, 0, 99" << orange;
    QTest::newRow("six decimal digits read as hex")
        << "123456"
        << "HEX:  #123456\nRGB:  rgb(18, 52, 86)\nSwiftUI: Color(red: "
           "0.071, green: 0.204, blue: 0.337)";
    QTest::newRow("sign counts among six")
        << "+FFFFF"
        << "HEX:  #0FFFFF\nRGB:  rgb(15, 255, 255)\nSwiftUI: Color(red: 0.059, "
           "green: 1.000, blue: 1.000)";
    QTest::newRow("negative: two's complement")
        << "-FFFFF"
        << "HEX:  #F00001\nRGB:  rgb(240, 0, 1)\nSwiftUI: Color(red: 0.941, "
           "green: 0.000, blue: 0.004)";
    QTest::newRow("256 refused") << "256,0,0" << unknown;
    QTest::newRow("two numbers") << "10, 20" << unknown;
    QTest::newRow("0x prefix") << "0x1234" << unknown;
    QTest::newRow("number beyond 64 bits skipped")
        << "99999999999999999999, 1, 2, 3"
        << "HEX:  #010203\nRGB:  rgb(1, 2, 3)\nSwiftUI: Color(red: 0.004, "
           "green: 0.008, blue: 0.012)";
    QTest::newRow("sign alone") << "+" << unknown;
    QTest::newRow("five hex and a blank") << "FFFFF " << unknown;
}

void tst_KitTools::color() {
    QFETCH(QString, input);
    QFETCH(QString, output);
    const Result r = KitTools::color(input);
    QCOMPARE(r.output, output);
    QCOMPARE(r.swatch.has_value(), !output.startsWith(u"❌"));
}

void tst_KitTools::colorUnderBrazilianLocale() {
    // The C library in a Brazilian locale would print "0,502".
    const char* previous = std::setlocale(LC_ALL, nullptr);
    const QByteArray saved = previous ? QByteArray(previous) : QByteArray("C");
    if (!std::setlocale(LC_ALL, "pt_BR.UTF-8"))
        std::setlocale(LC_NUMERIC, "de_DE.UTF-8");
    const Result r = KitTools::color("#FF8000");
    const QString epochOut = KitTools::epoch("1.5e9");
    std::setlocale(LC_ALL, saved.constData());
    QVERIFY(r.output.endsWith("Color(red: 1.000, green: 0.502, blue: 0.000)"));
    QVERIFY(epochOut.startsWith("Local:  "));
    QCOMPARE(r.swatch, QColor(255, 128, 0));
}

void tst_KitTools::qr_data() {
    QTest::addColumn<QString>("input");
    QTest::addColumn<std::optional<QString>>("lanIP");
    QTest::addColumn<QString>("output");
    const std::optional<QString> ip = QStringLiteral("192.168.1.20");
    const std::optional<QString> none;
    QTest::newRow("localhost gets the LAN address")
        << "localhost:3000/app" << ip << "https://192.168.1.20:3000/app";
    QTest::newRow("127.0.0.1 too") << "http://127.0.0.1:8080/x?y=1#z" << ip
                                   << "http://192.168.1.20:8080/x?y=1#z";
    QTest::newRow("capitals kept") << "http://LOCALHOST:3000" << ip << "http://LOCALHOST:3000";
    QTest::newRow("public host kept") << "example.org/a b" << ip << "❌ Informe uma URL HTTP ou HTTPS válida";
    QTest::newRow("public host") << "example.org/path?q=1#f" << ip << "https://example.org/path?q=1#f";
    QTest::newRow("user info kept") << "http://me@localhost:1/" << ip << "http://me@192.168.1.20:1/";
    QTest::newRow("ftp refused") << "ftp://example.org" << ip << "❌ Informe uma URL HTTP ou HTTPS válida";
    QTest::newRow("no host") << "https://" << ip << "❌ Informe uma URL HTTP ou HTTPS válida";
    QTest::newRow("no LAN address") << "localhost:3000" << none
                                    << "❌ Não encontrei o IP local deste computador";
}

void tst_KitTools::qr() {
    QFETCH(QString, input);
    QFETCH(std::optional<QString>, lanIP);
    QFETCH(QString, output);
    const Result r = KitTools::qr(input, lan(lanIP));
    QCOMPARE(r.output, output);
    QCOMPARE(r.qrImage.isNull(), output.startsWith(u"❌"));
    if (!r.qrImage.isNull())
        QCOMPARE(r.qrImage.size(), QSize(300, 300));
}

void tst_KitTools::detect_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<DevTool>("tool");
    QTest::newRow("JWT shape, even when not Base64") << "abcdefgh.ijklmnop.q" << DevTool::jwt;
    QTest::newRow("JWT with empty signature") << "abcdefgh.ijklmnop." << DevTool::jwt;
    QTest::newRow("JWT part of 7: a dotted host") << "abcdefg.ijklmnop.q" << DevTool::qr;
    QTest::newRow("object") << "{\"a\":1}" << DevTool::json;
    QTest::newRow("leading blank: not by detection") << " {}" << DevTool::json;
    QTest::newRow("broken object") << "{\"a\":" << DevTool::json;
    QTest::newRow("ten digits") << "1784493808" << DevTool::epoch;
    QTest::newRow("thirteen digits") << "1784493808000" << DevTool::epoch;
    QTest::newRow("nine digits") << "178449380" << DevTool::json;
    QTest::newRow("six decimal digits") << "123456" << DevTool::color;
    QTest::newRow("hex colour") << "#FF6B35" << DevTool::color;
    QTest::newRow("address with port") << "192.168.0.1:8080" << DevTool::qr;
    QTest::newRow("localhost") << "localhost" << DevTool::qr;
    QTest::newRow("dotted host") << "example.org" << DevTool::qr;
    QTest::newRow("word") << "HelloWorld123" << DevTool::json;
    QTest::newRow("Base64 of 16") << "SGVsbG8gV29ybGQh" << DevTool::base64;
    QTest::newRow("Base64 of 12: too short") << "SGVsbG8gV29y" << DevTool::json;
    QTest::newRow("unpadded 13") << "SGVsbG8gV29yb" << DevTool::json;
}

void tst_KitTools::detect() {
    QFETCH(QString, text);
    QFETCH(DevTool, tool);
    QCOMPARE(KitTools::detectTool(text), tool);
}

void tst_KitTools::blankInputEmptiesEveryTool_data() {
    QTest::addColumn<DevTool>("tool");
    for (DevTool t : {DevTool::json, DevTool::jwt, DevTool::uuid, DevTool::base64, DevTool::epoch,
                      DevTool::color, DevTool::qr, DevTool::ocr, DevTool::image})
        QTest::newRow(qPrintable(KitTools::rawValue(t))) << t;
}

void tst_KitTools::blankInputEmptiesEveryTool() {
    QFETCH(DevTool, tool);
    const Result r = KitTools::process(tool, " \n\t ", kNow, lan("10.0.0.1"), "earlier result");
    QCOMPARE(r.output, QString());
    QVERIFY(!r.swatch);
    QVERIFY(r.qrImage.isNull());
    // Tools that compute nothing keep what they showed.
    const Result kept = KitTools::process(tool, "x", kNow, lan("10.0.0.1"), "earlier result");
    if (tool == DevTool::uuid || tool == DevTool::ocr || tool == DevTool::image)
        QCOMPARE(kept.output, QString("earlier result"));
}

void tst_KitTools::hostileInput_data() {
    QTest::addColumn<DevTool>("tool");
    QTest::addColumn<QString>("input");
    QTest::addColumn<QString>("prefix");
    QTest::newRow("10000 nested brackets")
        << DevTool::json << QString(10000, '[') + QString(10000, ']') << QStringLiteral("❌ JSON inválido: ");
    QTest::newRow("10000 unclosed") << DevTool::json << QString(10000, '{')
                                    << QStringLiteral("❌ JSON inválido: ");
    const QString big = "\"" + QString(5 * 1024 * 1024, 'a') + "\"";
    QTest::newRow("JWT with a 5 MB segment")
        << DevTool::jwt << "eyJhIjoxfQ." + QString(5 * 1024 * 1024, 'A') << "Header:\n";
    QTest::newRow("5 MB JSON string") << DevTool::json << big << "\"aaaa";
    QTest::newRow("replacement characters")
        << DevTool::base64 << QString::fromUtf8("\xff\xfe\xfd") << "Codificado:\n";
    QTest::newRow("many numbers") << DevTool::color << QString("1,").repeated(200000) << "HEX:  #010101";
    QTest::newRow("huge epoch digits") << DevTool::epoch << QString(100000, '9') << "❌";
    QTest::newRow("long URL") << DevTool::qr << "example.org/" + QString(100000, 'a')
                              << "❌ Não foi possível gerar o QR Code";
}

void tst_KitTools::hostileInput() {
    QFETCH(DevTool, tool);
    QFETCH(QString, input);
    QFETCH(QString, prefix);
    const Result r = KitTools::process(tool, input, kNow, lan("10.0.0.1"));
    QVERIFY2(r.output.startsWith(prefix), qPrintable(r.output.left(80)));
}

QTEST_GUILESS_MAIN(tst_KitTools)
#include "tst_KitTools.moc"
