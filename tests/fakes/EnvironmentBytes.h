// What a child was started with, read back from the kernel's copy: the tests that check that a child
// sees this process's environment byte for byte share the values and the reading.
#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QTest>

namespace EnvironmentBytes {

// Run by the child, prints its own start-up environment as hexadecimal bytes.
inline const QString kDumpCommand = QStringLiteral("od -An -v -tx1 /proc/$$/environ");

// The rows of a `value` column: Latin-1, bytes of no encoding, UTF-8.
inline void addValueRows() {
    QTest::addColumn<QByteArray>("value");
    QTest::newRow("latin-1") << QByteArray("caf\xe9");
    QTest::newRow("no encoding's bytes") << QByteArray("\xff\xfe\x80\x01 x");
    QTest::newRow("utf-8") << QByteArray("a\xc3\xa7\xc3\xa3o");
}

// The entries ("NAME=value") of what kDumpCommand printed.
inline QList<QByteArray> entries(const QByteArray& dump) {
    return QByteArray::fromHex(dump).split('\0');
}

} // namespace EnvironmentBytes
